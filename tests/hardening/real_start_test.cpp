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

class RealStart : public ShowTest {
protected:
    void SetUp() override
    {
        ShowTest::SetUp();
        if (!HasFatalFailure())
            placeModule(scratch.path());
    }
};

// True while the process's main thread is blocked in a sleep call; the show
// sleeps nowhere but in the slideshow.
bool mainThreadSleeping(pid_t pid)
{
    char path[64];
    snprintf(path, sizeof path, "/proc/%d/syscall", (int)pid);
    FILE *f = fopen(path, "r");
    if (!f)
        return false;
    long number = -1;
    bool read = fscanf(f, "%ld", &number) == 1;
    fclose(f);
    return read && (number == SYS_clock_nanosleep || number == SYS_nanosleep);
}

// Waits until the show has been asleep, without a pause, for `heldMs`;
// `since` is when that sleep was first seen.
bool waitForSlideshowSleep(ShowProcess &p, double seconds, double heldMs, double &since)
{
    double deadline = monotonicMs() + seconds * 1000.0;
    since = -1;
    while (monotonicMs() < deadline && !p.ended) {
        if (!mainThreadSleeping(p.pid))
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
    ShowProcess p;
    expectFullCourse(start(), &p);
    float seconds = 0;
    ASSERT_NE(p.out.find("Time   "), std::string::npos);
    sscanf(p.out.c_str() + p.out.find("Time   "), "Time   %f", &seconds);
    EXPECT_GE(seconds, 30.0f) << "the pictures are held 30 seconds in all";
    printf("[ start    ] whole run %.1f s\n", seconds);
}

class SignalDuringSleep : public RealStart, public testing::WithParamInterface<int> {
};

TEST_P(SignalDuringSleep, EndsWithinASecond)
{
    const int sig = GetParam();
    ShowProcess p;
    ASSERT_TRUE(p.start(start()));
    double asleep = 0;
    ASSERT_TRUE(waitForSlideshowSleep(p, courseSeconds, 300, asleep)) << "never reached the slideshow\n"
                                                                      << tailOf(p.err);
    double sent = monotonicMs();
    p.signal(sig);
    EXPECT_TRUE(p.finish(courseSeconds)) << "still running long after the signal";
    // It ends within the sleep it was in, before the picture (held 5 s at
    // the least) would have changed: a signal that waits for the sleep's
    // end would come later.
    EXPECT_LT(p.endedMs, asleep + 5000) << "ended " << p.endedMs - asleep << " ms into a sleep of 5 s or more";
    EXPECT_TRUE(WIFSIGNALED(p.status) && WTERMSIG(p.status) == sig) << describeStatus(p.status);
    EXPECT_EQ(p.out, "") << "the show ended by itself";
    printf("[ signal   ] ended %.0f ms after the signal, %s\n", p.endedMs - sent, describeStatus(p.status).c_str());
}

INSTANTIATE_TEST_SUITE_P(Matrix, SignalDuringSleep, testing::Values(SIGTERM, SIGINT),
                         [](const testing::TestParamInfo<int> &info) {
                             return std::string(info.param == SIGTERM ? "SIGTERM" : "SIGINT");
                         });

}  // namespace
