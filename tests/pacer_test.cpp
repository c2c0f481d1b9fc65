// pacer_test.cpp -- the frame pacer with its clock and its wait substituted,
// and the --fps option as the programs read it.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <sys/wait.h>
#include <vector>

#include "child_process.h"
#include "demo.h"
#include "pacer.h"
#include "platform.h"

namespace {

const long long ms = 1000000;           // nanoseconds
const long long none = -1;              // the frame asked for no wait

// The substituted clock: it moves only when the pacer waits or a frame
// "draws"; every wait is recorded.
long long clockNow;
long long oversleep;                    // how late each wait wakes
std::vector<long long> asked;           // the moments waited for, per frame

unsigned long long fakeNanoseconds()
{
    return (unsigned long long)clockNow;
}

void fakeSleepUntil(unsigned long long moment)
{
    asked.back() = (long long)moment;
    if ((long long)moment > clockNow)
        clockNow = (long long)moment + oversleep;
}

class Pacer : public testing::Test {
protected:
    void SetUp() override
    {
        savedClock = sysNanoseconds;
        savedSleep = sysSleepUntil;
        sysNanoseconds = fakeNanoseconds;
        sysSleepUntil = fakeSleepUntil;
        oversleep = 0;
    }
    void TearDown() override
    {
        sysNanoseconds = savedClock;
        sysSleepUntil = savedSleep;
        pacerStart(0);
    }

    // Runs one wait per entry of `work` from `start`; after each wait the
    // frame takes work[i]. Returns the moment each wait asked for.
    std::vector<long long> run(unsigned rate, long long start, const std::vector<long long> &work)
    {
        clockNow = start;
        asked.clear();
        pacerStart(rate);
        for (long long w : work) {
            asked.push_back(none);
            pacerWait();
            clockNow += w;
        }
        return asked;
    }

    unsigned long long (*savedClock)();
    void (*savedSleep)(unsigned long long);
};

struct ScheduleCase {
    const char *name;
    unsigned rate;
    long long start;                    // the clock at the first frame
    long long oversleep;
    std::vector<long long> work;        // what each frame takes after its wait
    std::vector<long long> moments;     // what each wait asks for, or none
};

// Moments worked out by hand: k/N seconds after the first frame, in whole
// nanoseconds (1/60 s = 16666666.6 ns, 1/7 s = 142857142.8 ns).
const ScheduleCase scheduleCases[] = {
    {"sixty a second, frames that take no time", 60, 5 * ms, 0, {0, 0, 0, 0, 0, 0, 0},
     {none, 5 * ms + 16666666, 5 * ms + 33333333, 5 * ms + 50000000, 5 * ms + 66666666, 5 * ms + 83333333,
      5 * ms + 100000000}},
    {"sixty a second, waking 0.3 ms late each time: no drift", 60, 0, 300000, {2 * ms, 2 * ms, 2 * ms, 2 * ms},
     {none, 16666666, 33333333, 50000000}},
    {"seven a second", 7, 0, 0, {0, 0, 0, 0, 0, 0, 0, 0},
     {none, 142857142, 285714285, 428571428, 571428571, 714285714, 857142857, 1000000000}},
    {"a thousand a second", 1000, 1, 0, {0, 0, 0}, {none, 1 + 1 * ms, 1 + 2 * ms}},
    {"a late frame begins at once and the next keeps the schedule", 100, 0, 0, {1 * ms, 15 * ms, 1 * ms, 0},
     {none, 10 * ms, none, 30 * ms}},
    {"late by exactly four periods: the frames catch up", 100, 0, 0, {1 * ms, 50 * ms, 0, 0, 0, 0, 0},
     {none, 10 * ms, none, none, none, none, none, 70 * ms}},
    {"late by more than four periods: the schedule starts again", 100, 0, 0, {1 * ms, 50 * ms + 1, 1 * ms, 0},
     {none, 10 * ms, none, 60 * ms + 1 + 10 * ms, 60 * ms + 1 + 20 * ms}},
    {"a stall of a second", 100, 0, 0, {0, 1000 * ms, 3 * ms, 0}, {none, 10 * ms, none, 1010 * ms + 10 * ms, 1010 * ms + 20 * ms}},
    {"no rate: nothing waits", 0, 0, 0, {0, 0, 0, 0}, {none, none, none, none}},
};

TEST_F(Pacer, AsksForTheMomentsOfTheSchedule)
{
    for (const ScheduleCase &c : scheduleCases) {
        oversleep = c.oversleep;
        std::vector<long long> work = c.work;
        work.resize(c.moments.size(), 0);
        EXPECT_EQ(run(c.rate, c.start, work), c.moments) << c.name;
    }
}

// A thousand frames at 60 a second that each take 5 ms and each wake
// 0.1 ms late: frame k still begins at exactly k/60 s, the last of them at
// 1000/60 s = 16.666666666 s.
TEST_F(Pacer, DoesNotDriftOverManyFrames)
{
    oversleep = 100000;
    std::vector<long long> moments = run(60, 0, std::vector<long long>(1001, 5 * ms));
    ASSERT_EQ(moments.size(), 1001u);
    EXPECT_EQ(moments[600], 10000000000LL);
    EXPECT_EQ(moments[1000], 16666666666LL);
    for (size_t k = 1; k < moments.size(); ++k)
        ASSERT_EQ(moments[k], (long long)(k * 1000000000ull / 60)) << "frame " << k;
}

// Without --fps GLUT gets display itself, as both the display and the idle
// callback: frames back to back, with nothing in front of them.
TEST(ShowFrame, IsDisplayItselfUnlessPaced)
{
    EXPECT_EQ(showFrame, &display);
}

// ---- the option --------------------------------------------------------------

struct OptionCase {
    std::vector<std::string> args;      // after the program's name
    bool accepted;
    unsigned fps;
    std::vector<std::string> left;      // what GLUT is handed
};

const OptionCase optionCases[] = {
    {{}, true, 0, {}},
    {{"--fps", "60"}, true, 60, {}},
    {{"--fps=30"}, true, 30, {}},
    {{"--fps", "1"}, true, 1, {}},
    {{"--fps", "1000"}, true, 1000, {}},
    {{"--fps", "60", "--fps", "30"}, true, 30, {}},
    {{"-display", ":3", "--fps", "5", "-geometry", "9x9"}, true, 5, {"-display", ":3", "-geometry", "9x9"}},
    {{"-display", "--fps", "-iconic"}, true, 0, {"-display", "--fps", "-iconic"}},
    {{"-sync", "--fps", "200", "-direct"}, true, 200, {"-sync", "-direct"}},
    {{"--fps", "0"}, false, 0, {}},
    {{"--fps", "1001"}, false, 0, {}},
    {{"--fps", "abc"}, false, 0, {}},
    {{"--fps"}, false, 0, {}},
    {{"--fps", ""}, false, 0, {}},
    {{"--fps=", "60"}, false, 0, {}},
    {{"--fps", "-5"}, false, 0, {}},
    {{"--fps", "+60"}, false, 0, {}},
    {{"--fps", "60x"}, false, 0, {}},
    {{"--fps", " 60"}, false, 0, {}},
    {{"--fps", "99999999999999999999"}, false, 0, {}},
    {{"--fps", "60", "--fps", "0"}, false, 0, {}},
};

TEST(FpsOption, IsTakenOutOfTheCommandLine)
{
    for (const OptionCase &c : optionCases) {
        std::vector<std::string> words = {"start"};
        words.insert(words.end(), c.args.begin(), c.args.end());
        std::vector<char *> argv;
        for (std::string &w : words)
            argv.push_back(&w[0]);
        argv.push_back(nullptr);
        int argc = (int)words.size();
        unsigned fps = 12345;
        std::string why;
        std::string label = testing::PrintToString(c.args);
        ASSERT_EQ(takeFpsOption(&argc, argv.data(), &fps, &why), c.accepted) << label;
        EXPECT_EQ(fps, c.fps) << label;
        if (!c.accepted) {
            EXPECT_NE(why.find("--fps"), std::string::npos) << label << ": " << why;
            EXPECT_NE(why.find("1 to 1000"), std::string::npos) << label << ": " << why;
            continue;
        }
        std::vector<std::string> left(argv.begin() + 1, argv.begin() + argc);
        EXPECT_EQ(left, c.left) << label;
        EXPECT_EQ(argv[argc], nullptr) << label;
    }
}

// A program started with an empty argument vector has only its null end.
TEST(FpsOption, AnEmptyCommandLineIsLeftAlone)
{
    char *argv[] = {nullptr};
    int argc = 0;
    unsigned fps = 7;
    std::string why;
    EXPECT_TRUE(takeFpsOption(&argc, argv, &fps, &why));
    EXPECT_EQ(argc, 0);
    EXPECT_EQ(fps, 0u);
    EXPECT_EQ(argv[0], nullptr);
}

// The real program refuses a bad rate before it opens a window: without a
// display a window would fail with GLUT's own message and status 1.
TEST(FpsOption, TheProgramRefusesABadValueBeforeAnyWindow)
{
    const std::vector<std::vector<std::string>> bad = {{"--fps", "0"}, {"--fps", "1001"}, {"--fps", "abc"},
                                                       {"--fps"},       {"--fps=-1"},       {"--fps", "60", "--fps", "x"}};
    for (const std::vector<std::string> &args : bad) {
        SCOPED_TRACE(testing::PrintToString(args));
        Finished r = runToEnd({std::string(DEMO_BINARY_DIR) + "/start", args, DEMO_BINARY_DIR, {"DISPLAY"}}, 60);
        EXPECT_EQ(exitCode(r.status), 2) << describeStatus(r.status);
        for (const char *part : {"start: --fps", "from 1 to 1000", "Try 'start --help'."})
            EXPECT_NE(r.err.find(part), std::string::npos) << r.err;
        EXPECT_EQ(r.out, "") << "something went to standard output";
    }
}

// --help says what --fps does.
TEST(FpsOption, TheUsageSaysIt)
{
    std::string command = std::string("env -u DISPLAY timeout 60 '") + DEMO_BINARY_DIR + "/start' --help";
    int status = -1;
    std::string text = commandOutput(command, &status);
    EXPECT_EQ(status, 0);
    EXPECT_NE(text.find("[--fps N]"), std::string::npos) << text;
    EXPECT_NE(text.find("  --fps N            at most N frames a second (1 to 1000)"), std::string::npos) << text;
}

} // namespace
