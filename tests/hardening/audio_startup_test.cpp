// audio_startup_test.cpp -- an audio output that cannot be had costs no time.
//
// The show opens its audio output just before the first frame, so every
// millisecond a failing open takes is a millisecond of black screen. The
// costly part happens only in a process that has never started audio before,
// so each start below runs in a freshly forked child; this process itself
// never touches the audio library.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#include "sound.h"

namespace {

// Runs `body` in a child and returns the number it wrote back, or -1.
double inFreshProcess(double (*body)())
{
    int fds[2];
    if (pipe(fds) != 0)
        return -1;
    pid_t pid = fork();
    if (pid == 0) {
        close(fds[0]);
        double value = body();
        ssize_t ignored = write(fds[1], &value, sizeof value);
        (void)ignored;
        _exit(0);                               // no exit handlers: the parent's gtest state is not ours
    }
    close(fds[1]);
    double value = -1;
    if (read(fds[0], &value, sizeof value) != (ssize_t)sizeof value)
        value = -1;
    close(fds[0]);
    int status = 0;
    waitpid(pid, &status, 0);
    return value;
}

// Nanoseconds this thread has run and has waited to run, from the
// scheduler's own accounts; false where the kernel keeps none.
bool schedulerTimes(double *runningNs, double *waitingNs)
{
    FILE *f = fopen("/proc/thread-self/schedstat", "r");
    if (!f)
        return false;
    bool ok = fscanf(f, "%lf %lf", runningNs, waitingNs) == 2;
    fclose(f);
    return ok;
}

// Milliseconds the first start of the audio output spent blocked (not
// running and not waiting for a processor), and whether it opened.
// On a busy machine a start may wait its turn for a processor for a long
// time; only the time it chose to wait tells a slow start from a busy machine.
struct Start {
    double blockedMs = -1;
    bool opened = false;
};

Start timeFirstStart()
{
    double run0 = 0, wait0 = 0, run1 = 0, wait1 = 0;
    bool accounted = schedulerTimes(&run0, &wait0);
    auto before = std::chrono::steady_clock::now();
    Start s;
    s.opened = soundInit(44100, 32);
    double ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - before).count();
    if (accounted && schedulerTimes(&run1, &wait1))
        ms -= ((run1 - run0) + (wait1 - wait0)) / 1e6;
    s.blockedMs = ms < 0 ? 0 : ms;
    return s;
}

// The start as the child reports it: the blocked milliseconds, negated
// (less one) where the output opened; -1 where the child said nothing.
double failingStart()
{
    Start s = timeFirstStart();
    return s.opened ? -2 - s.blockedMs : s.blockedMs;
}

double workingStart()
{
    setenv("SDL_AUDIODRIVER", "dummy", 1);      // SDL's silent output, which always opens
    Start s = timeFirstStart();
    return s.opened ? s.blockedMs : -2;
}

struct FailingOutput {
    const char *name;
    const char *driver;
    const char *device;                         // AUDIODEV, or null
};

void PrintTo(const FailingOutput &c, std::ostream *os)
{
    *os << c.name;
}

class FailingAudio : public testing::TestWithParam<FailingOutput> {
};

double median(const std::vector<double> &sorted)
{
    return sorted[sorted.size() / 2];
}

// A failed start does not sit and wait. A layer that shuts the audio
// library down on the spot waits for its device-watching thread, up to a
// tenth of a second in some of the starts. The yardstick is a start that
// works, with SDL's silent output, taken in turn with the failing ones in
// this run, so that a busy machine weighs on both alike: it waits for the
// audio thread it starts. A failed start must usually (its median of forty)
// block no longer than the working start blocks at its worst but one.
TEST_P(FailingAudio, GivingUpTakesNoTime)
{
    const FailingOutput &c = GetParam();
    std::vector<double> failing, working;
    for (int i = 0; i < 40; ++i) {
        setenv("SDL_AUDIODRIVER", c.driver, 1);
        if (c.device)
            setenv("AUDIODEV", c.device, 1);
        else
            unsetenv("AUDIODEV");
        double t = inFreshProcess(failingStart);
        ASSERT_GT(t, -1.5) << "the output opened after all";
        ASSERT_GE(t, 0.0) << "the child reported nothing";
        failing.push_back(t);
        unsetenv("AUDIODEV");
        t = inFreshProcess(workingStart);
        ASSERT_GE(t, 0.0) << "SDL's silent output did not open";
        working.push_back(t);
    }
    std::sort(failing.begin(), failing.end());
    std::sort(working.begin(), working.end());
    double yardstick = working[working.size() - 2];
    EXPECT_LE(median(failing), yardstick)
        << "failed starts blocked " << median(failing) << " ms (median), longer than a working start's "
        << yardstick << " ms (longest but one)";
    printf("[ audio    ] failed first start blocked: median %.1f ms, longest %.1f ms; working start: median %.1f ms, "
           "longest but one %.1f ms\n",
           median(failing), failing.back(), median(working), yardstick);
}

const FailingOutput outputs[] = {
    {"NoSuchDriver", "nonexistent", nullptr},
    {"SoundCardMissing", "alsa", "hw:99,0"},
};

INSTANTIATE_TEST_SUITE_P(Matrix, FailingAudio, testing::ValuesIn(outputs),
                         [](const testing::TestParamInfo<FailingOutput> &info) { return info.param.name; });

// Closing without a start, closing twice, and starting again after a close
// (whether the last start failed or not) all work: the show's way out and a
// front end that restarts the music rely on them.
double startCloseCycle()
{
    soundClose();
    setenv("SDL_AUDIODRIVER", "nonexistent", 1);
    if (soundInit(44100, 32))
        return 1;
    soundClose();
    setenv("SDL_AUDIODRIVER", "alsa", 1);
    setenv("AUDIODEV", "hw:99,0", 1);
    if (soundInit(44100, 32))
        return 2;
    soundClose();
    setenv("SDL_AUDIODRIVER", "dummy", 1);
    if (!soundInit(44100, 32))
        return 3;
    soundClose();
    soundClose();
    if (!soundInit(44100, 32))
        return 4;
    soundClose();
    return 0;
}

TEST(AudioLifecycle, CloseAndStartAgainInAnyOrder)
{
    EXPECT_EQ(inFreshProcess(startCloseCycle), 0.0);
}

}  // namespace
