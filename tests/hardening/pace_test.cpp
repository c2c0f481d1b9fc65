// pace_test.cpp -- the show with --fps, in a real window on a private X
// server, with the real clock and the real waits.
#include "show_fixture.h"

#include <cstdio>
#include <sys/wait.h>

namespace {

// On a screen of 64x48 pixels, where frames without the pacer come fastest.
class Paced : public ShowTest {
protected:
    void SetUp() override
    {
        ShowTest::SetUp();
        if (HasFatalFailure())
            return;
        screen.stop();
        std::string why;
        ASSERT_TRUE(screen.start(64, 48, &why)) << why;
        placeModule(scratch.path());
    }
};

// At 200 frames a second frame 400 may begin no sooner than 399/200 s after
// frame 1: from just before frame 1 to just after frame 400 is at least
// 1.995 s, and the statistics, whose clock starts before frame 1, say as
// much, however fast the frames themselves are drawn.
TEST_F(Paced, TwoHundredFramesASecondHoldFourHundredFramesToTwoSeconds)
{
    Launch launch = with(runner(), "SHOW_RUNNER_ESC_AT=400");
    launch.args = {"--fps", "200"};
    ChildProcess p;
    ASSERT_TRUE(p.start(launch));
    ASSERT_TRUE(p.finish(courseSeconds)) << "still running; stderr:\n" << tailOf(p.err);
    checkFullCourse(launch, p);
    CourseReport r = parseReport(p.err);
    ASSERT_EQ(r.keys.size(), 1u);
    EXPECT_EQ(r.keys[0], std::make_pair(27u, 400u));
    EXPECT_GE(r.spanMs, 1995.0) << "frames 1 to 400 in " << r.spanMs << " ms";
    float seconds = 0;
    ASSERT_EQ(sscanf(p.out.c_str() + p.out.find("Time   "), "Time   %f", &seconds), 1) << p.out;
    EXPECT_GE(seconds, 1.995f) << p.out;
    printf("[ paced    ] frames 1 to 400 at --fps 200 in %.3f s; the statistics say %.3f s\n", r.spanMs / 1000, seconds);
}

} // namespace
