// environment_test.cpp -- the show against a hostile environment: no audio,
// a broken standard output, signals, and an X server that goes away.
#include "failing_audio.h"
#include "show_fixture.h"

#include <csignal>
#include <sys/wait.h>

namespace {

class Environment : public ShowWithModule {
};

// ---- audio ---------------------------------------------------------------------

class NoAudio : public Environment, public testing::WithParamInterface<AudioFailure> {
};

TEST_P(NoAudio, SilentFullCourseWithoutExtraWork)
{
    Launch launch = runner();
    for (const std::string &setting : GetParam().env)
        launch = with(launch, setting);
    ChildProcess p;
    expectFullCourse(launch, &p);
    EXPECT_NE(p.err.find(": music off: audio: "), std::string::npos) << tailOf(p.err);
    // No more work before the first frame than with working audio; a start
    // that sits and waits is audio_startup_test's to find, by the time it
    // spends blocked. (The milliseconds to the first frame are the benchmark's.)
    EXPECT_LE(startWorkOverGood(launch), 1.5) << "more work before the first frame than with working audio";
}

INSTANTIATE_TEST_SUITE_P(Matrix, NoAudio, testing::ValuesIn(audioFailures), audioFailureName);

// ---- standard output -------------------------------------------------------------

struct OutputCase {
    const char *name;
    StdoutTo out;
};

void PrintTo(const OutputCase &c, std::ostream *os)
{
    *os << c.name;
}

class BrokenStdout : public Environment, public testing::WithParamInterface<OutputCase> {
};

const OutputCase outputCases[] = {
    {"Closed", StdoutTo::Closed},
    {"ReaderGone", StdoutTo::ReaderGone},
    {"DevFull", StdoutTo::DevFull},
};

TEST_P(BrokenStdout, FullCourseAndExitZero)
{
    Launch launch = runner();
    launch.out = GetParam().out;
    expectFullCourse(launch);
}

INSTANTIATE_TEST_SUITE_P(Matrix, BrokenStdout, testing::ValuesIn(outputCases),
                         [](const testing::TestParamInfo<OutputCase> &info) { return info.param.name; });

// ---- signals during frames ----------------------------------------------------------

class SignalDuringFrames : public Environment, public testing::WithParamInterface<int> {
};

// It ends at once, counted in the show's own frames: the runner holds after
// frame 500 until a signal comes, and reports every 250th frame, so a show
// that caught the signal and drew on would report frame 750.
TEST_P(SignalDuringFrames, EndsBeforeAnotherFrameIsReported)
{
    const int sig = GetParam();
    ChildProcess p;
    ASSERT_TRUE(p.start(with(runner(), "SHOW_RUNNER_HOLD_AT=500")));
    ASSERT_TRUE(p.waitForText("runner: frame 500\n", courseSeconds)) << tailOf(p.err);
    ASSERT_FALSE(p.ended);
    double sent = monotonicMs();
    p.signal(sig);
    EXPECT_TRUE(p.finish(courseSeconds)) << "still running long after the signal";
    CourseReport r = parseReport(p.err);
    EXPECT_EQ(r.lastFrame, 500u) << "frames went on after the signal";
    EXPECT_TRUE(WIFSIGNALED(p.status) && WTERMSIG(p.status) == sig) << describeStatus(p.status);
    EXPECT_FALSE(r.sequenceFrame.count(4)) << "the course ran to its end before the signal";
    printf("[ signal   ] ended %.0f ms after the signal, %s\n", p.endedMs - sent, describeStatus(p.status).c_str());
}

INSTANTIATE_TEST_SUITE_P(Matrix, SignalDuringFrames, testing::Values(SIGTERM, SIGINT),
                         [](const testing::TestParamInfo<int> &info) {
                             return std::string(info.param == SIGTERM ? "SIGTERM" : "SIGINT");
                         });

// ---- the X server going away ------------------------------------------------------------

TEST_F(Environment, XServerGoneMidShowEndsTheProcess)
{
    ChildProcess p;
    ASSERT_TRUE(p.start(runner()));
    ASSERT_TRUE(p.waitForText("runner: frame 250\n", courseSeconds)) << tailOf(p.err);
    double gone = monotonicMs();
    screen.stop();
    // The toolkit's default for a lost connection is to end the process;
    // any status will do, as long as it does not hang on. What shows it
    // ended because the server went, and not at its own end, is that it
    // never reached the slideshow; the time limit only stops a child that
    // hangs.
    EXPECT_TRUE(p.finish(courseSeconds)) << "still running long after the X server went away\n" << tailOf(p.err);
    EXPECT_FALSE(parseReport(p.err).sequenceFrame.count(4)) << "the course ran to its end first";
    printf("[ x server ] process ended %.0f ms after the server, %s\n", p.endedMs - gone,
           describeStatus(p.status).c_str());
}

}  // namespace
