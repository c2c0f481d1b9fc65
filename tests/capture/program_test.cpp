// program_test.cpp -- the capture program from outside: how it refuses what
// it cannot do, how it stops when asked, and a quiet run without music.
// Every run has no DISPLAY and no SDL_AUDIODRIVER in its environment.
#include <gtest/gtest.h>

#include <csignal>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#include "capture_support.h"

namespace {

int exitCode(const ProgramRun &run)
{
    return WIFEXITED(run.status) ? WEXITSTATUS(run.status) : -1;
}

// One line, naming the program and saying `what`.
void expectOneLine(const std::string &err, const std::string &what)
{
    EXPECT_EQ(err.rfind("capture: ", 0), 0u) << err;
    EXPECT_NE(err.find(what), std::string::npos) << err;
    EXPECT_EQ(err.find('\n'), err.size() - 1) << err;
}

}  // namespace

TEST(Program, HelpGoesToStandardOutput)
{
    ProgramRun run = runCapture({"--help"}, DEMO_BINARY_DIR);
    EXPECT_EQ(exitCode(run), 0);
    EXPECT_NE(run.out.find("Usage: capture"), std::string::npos) << run.out;
    EXPECT_EQ(run.err, "");
}

TEST(Program, BadArgumentsGiveAMessageAndStatus2)
{
    std::string dir = makeScratchDir("args");
    struct Case {
        std::vector<std::string> args;
        std::string what;
    } cases[] = {
        {{"--fps", "0"}, "--fps"},
        {{"--size", "640x481"}, "even"},
        {{"--size", "big"}, "--size"},
        {{"--colour"}, "--colour"},
        {{"-o", dir + "/a.mp4", "b.mp4"}, "b.mp4"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        ProgramRun run = runCapture(c.args, dir);
        EXPECT_EQ(exitCode(run), 2);
        expectOneLine(run.err, c.what);
        EXPECT_EQ(run.out, "");
    }
    EXPECT_TRUE(listDir(dir).empty());
}

TEST(Program, UnwritableOutputGivesAMessageAndLeavesNothing)
{
    std::string dir = makeScratchDir("unwritable");
    struct Case {
        std::string output;
        std::string what;
    } cases[] = {
        {dir + "/missing-folder/show.mp4", "No such file or directory"},
        {dir, "directory"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.output);
        ProgramRun run = runCapture({"--quiet", "--size", "64x48", "-o", c.output}, dir);
        EXPECT_EQ(exitCode(run), 1);
        expectOneLine(run.err, c.what);
        EXPECT_NE(run.err.find(c.output), std::string::npos);
        EXPECT_EQ(run.out, "");
    }
    EXPECT_TRUE(listDir(dir).empty());
}

TEST(Program, SizeTheRendererCannotDrawGivesAMessage)
{
    std::string dir = makeScratchDir("toolarge");
    ProgramRun run = runCapture({"--quiet", "--size", "20000x64", "-o", "show.mp4"}, dir);
    EXPECT_EQ(exitCode(run), 1);
    expectOneLine(run.err, "cannot draw 20000x64");
    EXPECT_TRUE(listDir(dir).empty());
}

TEST(Program, InterruptStopsCleanlyAndLeavesNothing)
{
    std::string dir = makeScratchDir("interrupt");
    std::vector<pid_t> helpers;
    ProgramRun run = runCapture({"--quiet", "--size", "160x120", "--fps", "10", "-o", dir + "/show.mp4"},
                                DEMO_BINARY_DIR, [&](pid_t pid) {
                                    // Once the recording is under way: its file exists.
                                    for (int i = 0; i < 400 && listDir(dir).empty(); ++i)
                                        usleep(25000);
                                    usleep(300000);
                                    helpers = childrenOf(pid);
                                    kill(pid, SIGINT);
                                });
    EXPECT_EQ(exitCode(run), 128 + SIGINT) << run.err;
    EXPECT_NE(run.err.find("interrupted"), std::string::npos) << run.err;
    EXPECT_EQ(run.out, "");
    EXPECT_TRUE(listDir(dir).empty()) << listDir(dir)[0];
    // The X server it started went with it.
    EXPECT_FALSE(helpers.empty());
    for (pid_t p : helpers)
        EXPECT_NE(kill(p, 0), 0) << "process " << p << " still there";
}

TEST(Program, QuietRunWithoutTheModuleHasASilentSoundtrack)
{
    // A folder without demomain.xm: the show says once that its music is
    // off, the recording goes on, and the soundtrack is silence as long as
    // the video. At 5 frames a second the pictures take 150 frames.
    std::string dir = makeScratchDir("nomusic");
    ProgramRun run = runCapture({"--quiet", "--size", "64x48", "--fps", "5", "-o", "silent.mp4"}, dir);
    EXPECT_EQ(exitCode(run), 0) << run.err;
    EXPECT_EQ(run.out, "");
    // Nothing but the music layer's one line: no progress, no statistics,
    // and no complaint about a sound device.
    EXPECT_EQ(run.err, "capture: music off: demomain.xm: No such file or directory\n");
    EXPECT_EQ(listDir(dir), std::vector<std::string>{"silent.mp4"});

    DecodedFile f = decodeFile(dir + "/silent.mp4", {});
    ASSERT_EQ(f.error, "");
    EXPECT_EQ(f.width, 64);
    EXPECT_EQ(f.height, 48);
    EXPECT_EQ((int64_t)f.frameIndexes.size(), 2722 + 30 * 5);
    EXPECT_NEAR(f.videoSeconds, (2722 + 30 * 5) / 5.0, 1e-6);
    EXPECT_NEAR((double)f.audioSamples / 44100, f.videoSeconds, 1024.0 / 44100);
    EXPECT_EQ(f.audioPeak, 0.0f);
}
