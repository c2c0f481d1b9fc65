// progress.h -- the progress bar `capture` draws on stderr.
//
// On a terminal, one line redrawn in place a few times a second: frames done
// of how many, the speed against real time and the time left. Elsewhere (a
// log file, CI) a plain line at every tenth of the way.
#ifndef PROGRESS_H
#define PROGRESS_H

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <string>

class Progress {
public:
    // `expectedFrames` is only for the bar's length and the time left.
    Progress(FILE *out, bool enabled, uint64_t expectedFrames, int fps);

    void update(uint64_t framesDone);
    void finish(uint64_t framesDone);

    // The text of one report, without line ending; `elapsedSeconds` is the
    // wall time since the start.
    std::string line(uint64_t framesDone, double elapsedSeconds) const;

private:
    using Clock = std::chrono::steady_clock;

    FILE *out;
    bool enabled;
    bool terminal;
    uint64_t expected;
    int fps;
    Clock::time_point started;
    Clock::time_point lastDrawn;
    int lastTenth = 0;
};

#endif
