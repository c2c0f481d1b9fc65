// progress.cpp -- see progress.h.
#include "progress.h"
#include "platform.h"

#include <algorithm>
#include <unistd.h>

Progress::Progress(FILE *o, bool on, uint64_t expectedFrames, int rate)
    : out(o), enabled(on), terminal(isatty(fileno(o))), expected(std::max<uint64_t>(expectedFrames, 1)),
      fps(rate), started(Clock::now()), lastDrawn(started)
{
}

static std::string minutesAndSeconds(double seconds)
{
    long s = (long)(seconds + 0.5);
    char text[32];
    snprintf(text, sizeof text, "%ld:%02ld", s / 60, s % 60);
    return text;
}

std::string Progress::line(uint64_t done, double elapsed) const
{
    uint64_t total = std::max(expected, done);
    const int width = 30;
    int filled = (int)(done * width / total);
    std::string bar(filled, '#');
    bar.append(width - filled, '.');

    char text[160];
    int n = snprintf(text, sizeof text, "%s: [%s] %llu/%llu frames", sysProgramName(), bar.c_str(),
                     (unsigned long long)done, (unsigned long long)total);
    std::string s(text, (size_t)n);
    if (elapsed > 0 && done > 0) {
        double speed = (double)done / fps / elapsed;            // seconds of video per second
        double left = (double)(total - done) * elapsed / (double)done;
        snprintf(text, sizeof text, "  %.2fx real time  %s left", speed, minutesAndSeconds(left).c_str());
        s += text;
    }
    return s;
}

void Progress::update(uint64_t done)
{
    if (!enabled)
        return;
    Clock::time_point now = Clock::now();
    double elapsed = std::chrono::duration<double>(now - started).count();
    if (terminal) {
        if (now - lastDrawn < std::chrono::milliseconds(200))
            return;
        lastDrawn = now;
        fprintf(out, "\r%s\033[K", line(done, elapsed).c_str());
    } else {
        int tenth = (int)(std::min(done, expected) * 10 / expected);
        if (tenth <= lastTenth)
            return;
        lastTenth = tenth;
        fprintf(out, "%s\n", line(done, elapsed).c_str());
    }
    fflush(out);
}

void Progress::finish(uint64_t done)
{
    if (!enabled)
        return;
    double elapsed = std::chrono::duration<double>(Clock::now() - started).count();
    fprintf(out, terminal ? "\r%s\033[K\n" : "%s\n", line(done, elapsed).c_str());
    fflush(out);
}
