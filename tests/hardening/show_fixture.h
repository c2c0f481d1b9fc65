// show_fixture.h -- what every hardening test shares: a private X server, a
// working directory for the child, and the checks of a whole course.
#ifndef SHOW_FIXTURE_H
#define SHOW_FIXTURE_H

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "private_display.h"
#include "show_process.h"

// The show's fixed timetable as the runner reports it: the scene each frame
// began, and the slideshow's pictures with their seconds.
const unsigned courseFrames = 2722;
const std::map<unsigned, unsigned> courseSequenceFrames = {{1, 2152}, {2, 2352}, {3, 2503}, {4, 2723}};
const std::vector<unsigned> courseSleeps = {5, 5, 5, 10, 5};

// A whole course takes seconds with the sleeps skipped; the bound leaves room
// for a loaded machine and the sanitizer build.
const double courseSeconds = 240;

// A run up to its first frame: the time from the fork to the frame on
// screen, and the processor time the child spent on the way.
struct FirstFrame {
    double ms = -1;
    double cpuMs = -1;
};

class ShowTest : public testing::Test {
protected:
    void SetUp() override;

    // The runner in the scratch directory, on this test's X server, with
    // silent audio and its report switched on.
    Launch runner() const;
    // The same for `start` itself, with the slideshow's real sleeps.
    Launch start() const;

    // Copies the show's module into `dir` under the name the show loads.
    void placeModule(const std::string &dir) const;

    // Runs `launch` to its end and checks a full course ending with status 0:
    // every scene in its frame, every picture, and (when standard output
    // was captured) exactly the statistics block of 2722 frames.
    void expectFullCourse(const Launch &launch, ChildProcess *ran = nullptr);
    // The checks of expectFullCourse, on a child that has ended.
    void checkFullCourse(const Launch &launch, const ChildProcess &p);

    // The processor time `launch` spends up to its first frame, as a
    // multiple of what the same runner with the show's own module spends
    // (medians of five runs each, taken turn about): work done, which a busy
    // machine inflates far less than the time waited.
    double startWorkOverGood(const Launch &launch);

    // Five first frames of `launch` and of the same runner with the show's
    // own module, taken turn about: the medians of each, case then good.
    std::pair<FirstFrame, FirstFrame> firstFramesBesideGood(const Launch &launch);

    PrivateDisplay screen;                      // on a display number the server picks itself
    ScratchDir scratch{"show-hardening"};
    std::vector<unsigned char> module;          // the show's own module, as built
};

// A ShowTest whose scratch folder holds the show's own module.
class ShowWithModule : public ShowTest {
protected:
    void SetUp() override;
};

// Appends NAME=value to a launch's environment.
Launch with(Launch launch, const std::string &setting);

// The last lines of a child's stderr, for failure messages.
std::string tailOf(const std::string &text, size_t lines = 12);

#endif
