// real_start_test.cpp -- `start` itself, with the slideshow's real sleeps.
//
// The runner skips the sleeps; these cases keep them, because what they look
// at happens in them: a whole run as a user sees it, and a signal that
// arrives while the slideshow holds a picture.
#include "show_fixture.h"

#include <csignal>
#include <cstdio>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

class RealStart : public ShowWithModule {
};

// True while the process's main thread is blocked in a sleep call; the show
// sleeps nowhere but in the slideshow.
bool sleeping(const TaskView &t)
{
    return t.state == 'S' && (t.call == SYS_clock_nanosleep || t.call == SYS_nanosleep);
}

std::string procOf(pid_t pid)
{
    return "/proc/" + std::to_string(pid);
}

// Waits until the show has been asleep, without a pause, for `heldMs`;
// `since` is when that sleep was first seen.
bool waitForSlideshowSleep(ChildProcess &p, double seconds, double heldMs, double &since)
{
    double deadline = monotonicMs() + seconds * 1000.0;
    since = -1;
    while (monotonicMs() < deadline && !p.ended) {
        if (!sleeping(viewTask(procOf(p.pid))))
            since = -1;
        else if (since < 0)
            since = monotonicMs();
        else if (monotonicMs() - since >= heldMs)
            return true;
        p.waitForText("\x01", 0.01);            // keeps reading the child's output meanwhile
    }
    return false;
}

TEST_F(RealStart, WholeRunWithTheSlideshowsSleeps)
{
    ChildProcess p;
    expectFullCourse(start(), &p);
    float seconds = 0;
    ASSERT_NE(p.out.find("Time   "), std::string::npos);
    sscanf(p.out.c_str() + p.out.find("Time   "), "Time   %f", &seconds);
    EXPECT_GE(seconds, 30.0f) << "the pictures are held 30 seconds in all";
    printf("[ start    ] whole run %.1f s\n", seconds);
}

class SignalDuringSleep : public RealStart, public testing::WithParamInterface<int> {
};

TEST_P(SignalDuringSleep, EndsInTheSleepItWasIn)
{
    const int sig = GetParam();
    ChildProcess p;
    ASSERT_TRUE(p.start(start()));
    double asleep = 0;
    ASSERT_TRUE(waitForSlideshowSleep(p, courseSeconds, 300, asleep)) << "never reached the slideshow\n"
                                                                      << tailOf(p.err);
    double sent = monotonicMs();
    p.signal(sig);
    // It ends in the sleep it was in: once the signal has been delivered it
    // is never seen asleep again unless it is already ending. A program that
    // caught the signal and slept on to the picture's end would be.
    bool sleptOn = false;
    while (!p.ended && !sleptOn) {
        TaskView t = viewTask(procOf(p.pid));
        sleptOn = sleeping(t) && !(t.flags & 0x4) && !(t.pending & (1ull << (sig - 1)));   // 0x4: PF_EXITING
        p.waitForText("\x01", 0.001);
        if (monotonicMs() - sent > courseSeconds * 1000.0)
            break;                              // only stops a child that never ends
    }
    EXPECT_FALSE(sleptOn) << "asleep again after the signal had been delivered";
    EXPECT_TRUE(p.finish(courseSeconds)) << "still running long after the signal";
    EXPECT_TRUE(WIFSIGNALED(p.status) && WTERMSIG(p.status) == sig) << describeStatus(p.status);
    EXPECT_EQ(p.out, "") << "the show ended by itself";
    printf("[ signal   ] ended %.0f ms after the signal, %s\n", p.endedMs - sent, describeStatus(p.status).c_str());
}

INSTANTIATE_TEST_SUITE_P(Matrix, SignalDuringSleep, testing::Values(SIGTERM, SIGINT),
                         [](const testing::TestParamInfo<int> &info) {
                             return std::string(info.param == SIGTERM ? "SIGTERM" : "SIGINT");
                         });

}  // namespace
