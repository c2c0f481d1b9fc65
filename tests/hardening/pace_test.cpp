// pace_test.cpp -- the show with --fps, in a real window on a private X
// server, with the real clock and the real waits.
#include "show_fixture.h"

#include <cstdio>
#include <sys/wait.h>

namespace {

class Paced : public ShowTest {
protected:
    void SetUp() override
    {
        ShowTest::SetUp();
        if (!HasFatalFailure())
            placeModule(scratch.path());
    }
};

// At 200 frames a second frame 400 may begin no sooner than 399/200 s after
// frame 1, and the show's clock starts before frame 1: with Esc right after
// frame 400 the statistics must say at least 1.995 s, however fast the
// frames themselves are drawn (unpaced, this screen draws several hundred a
// second).
TEST_F(Paced, TwoHundredFramesASecondHoldFourHundredFramesToTwoSeconds)
{
    Launch launch = with(runner(), "SHOW_RUNNER_ESC_AT=400");
    launch.args = {"--fps", "200"};
    ShowProcess p;
    ASSERT_TRUE(p.start(launch));
    ASSERT_TRUE(p.finish(courseSeconds)) << "still running; stderr:\n" << tailOf(p.err);
    ASSERT_TRUE(WIFEXITED(p.status) && WEXITSTATUS(p.status) == 0) << describeStatus(p.status) << "\n"
                                                                    << tailOf(p.err);
    ASSERT_TRUE(isStatisticsBlock(p.out, 400)) << p.out;
    CourseReport r = parseReport(p.err);
    ASSERT_EQ(r.keys.size(), 1u);
    EXPECT_EQ(r.keys[0], std::make_pair(27u, 400u));
    float seconds = 0;
    ASSERT_EQ(sscanf(p.out.c_str() + p.out.find("Time   "), "Time   %f", &seconds), 1) << p.out;
    EXPECT_GE(seconds, 1.995f) << p.out;
    printf("[ paced    ] 400 frames at --fps 200 in %.3f s\n", seconds);
}

} // namespace
