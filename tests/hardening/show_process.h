// show_process.h -- reading what the show, run as a separate program on a
// private X server (child_process.h), said about its course.
#ifndef SHOW_PROCESS_H
#define SHOW_PROCESS_H

#include <map>
#include <string>
#include <utility>
#include <vector>

#include "child_process.h"
#include "files.h"

// What the runner reported about the course (see show_runner.cpp).
struct CourseReport {
    double firstFrameMs = -1;                   // monotonic time of the first frame, or -1
    unsigned lastFrame = 0;                     // the last "frame" progress line
    double spanMs = -1;                         // frame 1 to the Esc, with SHOW_RUNNER_ESC_AT
    std::map<unsigned, unsigned> sequenceFrame; // scene -> frame it began in
    std::vector<unsigned> sleeps;               // seconds, in order
    std::vector<std::pair<unsigned, unsigned>> keys;        // ordinary key, frame
    std::vector<std::pair<unsigned, unsigned>> specials;    // special key, frame
    std::vector<std::string> otherLines;        // stderr lines that are not the runner's
};

CourseReport parseReport(const std::string &err);

// True if `out` is exactly the five-line statistics block of a run of
// `frames` frames.
bool isStatisticsBlock(const std::string &out, unsigned frames);

// Gives every Latin-1 character a key of its own on the X server at
// `display`, in keycodes that were spare, so that typing any of them needs
// no change of the keyboard map while the show runs.
bool mapEveryLatin1Key(const std::string &display);

// Where the build put the programs and the show's module.
std::string binaryPath(const std::string &name);

#endif
