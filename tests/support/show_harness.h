// show_harness.h -- drives the real show inside a test process.
//
// The show runs in a real GLUT window on the X display the tests were given
// (a virtual one under CI), drawn by Mesa. The harness replaces only the
// platform services: a clock that the test moves, sleeps that advance that
// clock instead of blocking, and an exit that throws ShowExit.
#ifndef SHOW_HARNESS_H
#define SHOW_HARNESS_H

#include <functional>
#include <string>
#include <vector>

struct ShowExit {
    int status;
};

struct FakePlatform {
    unsigned clockMs = 0;                       // what sysMilliseconds returns
    std::vector<unsigned> sleeps;               // every sleep asked for, in seconds
    std::function<void(unsigned)> onSleep;      // runs before the clock is advanced
};

extern FakePlatform fakePlatform;

// Points the show's platform services at fakePlatform.
void installFakePlatform();

// Puts the real process exit back, for a child that must really end.
void restoreRealExit();

// Creates the show's window at a fixed client size, wholly on screen.
void openShowWindow(int width, int height);

// Brings the show up as `start` does, in a window of the given size: the
// window, init(), then the first reshape() that the toolkit would deliver.
// The platform services are the fake ones.
void startShow(int width, int height);

// RGB pixels of the front buffer (what the last swap presented), bottom row
// first, three bytes a pixel.
std::vector<unsigned char> readFrontBuffer(int width, int height);


// The largest per-channel difference and the share of pixels differing by
// more than `tolerance` between two equally sized RGB images.
struct ImageDiff {
    int maxDelta;
    double shareOver;
};
ImageDiff compareImages(const std::vector<unsigned char> &a, const std::vector<unsigned char> &b, int tolerance);

#endif
