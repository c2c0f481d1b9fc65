// program_test.cpp -- the capture program from outside: how it refuses what
// it cannot do, how it stops when asked, and a quiet run without music.
// Every run has no DISPLAY and no SDL_AUDIODRIVER in its environment.
#include <gtest/gtest.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/un.h>
#include <unistd.h>
#include <vector>

#include "capture_support.h"

namespace {

// One line, naming the program and saying `what`.
void expectOneLine(const std::string &err, const std::string &what)
{
    EXPECT_EQ(err.rfind("capture: ", 0), 0u) << err;
    EXPECT_NE(err.find(what), std::string::npos) << err;
    EXPECT_EQ(err.find('\n'), err.size() - 1) << err;
}

// The file type bits of `path` itself (a link is not followed), 0 for none.
mode_t typeOf(const std::string &path)
{
    struct stat st;
    return lstat(path.c_str(), &st) == 0 ? (st.st_mode & S_IFMT) : 0;
}

const std::vector<std::string> quickShow = {"--quiet", "--size", "32x32", "--fps", "5"};

std::vector<std::string> with(std::vector<std::string> args, const std::vector<std::string> &more)
{
    args.insert(args.end(), more.begin(), more.end());
    return args;
}

}  // namespace

TEST(Program, HelpGoesToStandardOutput)
{
    Finished run = runCapture({"--help"}, DEMO_BINARY_DIR);
    EXPECT_EQ(exitCode(run.status), 0);
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
        Finished run = runCapture(c.args, dir);
        EXPECT_EQ(exitCode(run.status), 2);
        expectOneLine(run.err, c.what);
        EXPECT_EQ(run.out, "");
    }
    EXPECT_TRUE(listDir(dir).empty());
}

TEST(Program, UnwritableOutputGivesAMessageAndLeavesNothing)
{
    std::string dir = makeScratchDir("unwritable");
    ASSERT_EQ(mkdir((dir + "/folder.mp4").c_str(), 0755), 0);
    struct Case {
        std::string output;
        std::string what;
    } cases[] = {
        {dir + "/missing-folder/show.mp4", "No such file or directory"},
        {dir + "/folder.mp4", "directory"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.output);
        Finished run = runCapture({"--quiet", "--size", "64x48", "-o", c.output}, dir);
        EXPECT_EQ(exitCode(run.status), 1);
        expectOneLine(run.err, c.what);
        EXPECT_NE(run.err.find(c.output), std::string::npos);
        EXPECT_EQ(run.out, "");
    }
    EXPECT_EQ(listDir(dir), std::vector<std::string>{"folder.mp4"});
}

TEST(Program, OutputThatIsNotARegularFileIsRefusedBeforeAnyWorkAndLeftAlone)
{
    // The rename at the end would replace whatever has the name. Refused
    // first thing: not even the show's word on its (missing) module comes.
    std::string dir = makeScratchDir("special");
    struct Case {
        std::string name;
        mode_t type;
        std::string what;
    } cases[] = {{"fifo.mp4", S_IFIFO, "a FIFO"}, {"socket.mp4", S_IFSOCK, "a socket"},
                 {"folder.mp4", S_IFDIR, "a directory"}, {"device.mp4", S_IFCHR, "a device"}};
    ASSERT_EQ(mkfifo((dir + "/fifo.mp4").c_str(), 0644), 0);
    ASSERT_EQ(mkdir((dir + "/folder.mp4").c_str(), 0755), 0);
    int sock = socket(AF_UNIX, SOCK_STREAM, 0);
    struct sockaddr_un address = {};
    address.sun_family = AF_UNIX;
    snprintf(address.sun_path, sizeof address.sun_path, "%s/socket.mp4", dir.c_str());
    ASSERT_EQ(bind(sock, (struct sockaddr *)&address, sizeof address), 0);
    // A copy of /dev/null, as only root can make one.
    bool device = mknod((dir + "/device.mp4").c_str(), S_IFCHR | 0666, makedev(1, 3)) == 0;
    std::vector<std::string> before = listDir(dir);
    for (const Case &c : cases) {
        if (c.type == S_IFCHR && !device)
            continue;
        SCOPED_TRACE(c.name);
        for (const std::string &output : {dir + "/" + c.name, std::string("link-to-") + c.name}) {
            std::string linkDir = makeScratchDir("speciallink");
            ASSERT_EQ(symlink((dir + "/" + c.name).c_str(), (linkDir + "/link-to-" + c.name).c_str()), 0);
            Finished run = runCapture(with(quickShow, {"--module", "missing.xm", "-o", output}), linkDir);
            EXPECT_EQ(exitCode(run.status), 1);
            expectOneLine(run.err, "it is " + c.what + ", not a regular file");
            EXPECT_EQ(typeOf(dir + "/" + c.name), c.type);
            EXPECT_EQ(typeOf(linkDir + "/link-to-" + c.name), (mode_t)S_IFLNK);
            EXPECT_EQ(listDir(linkDir), std::vector<std::string>{"link-to-" + c.name});
        }
    }
    EXPECT_EQ(listDir(dir), before);
    close(sock);
}

TEST(Program, LinkIsWrittenThroughAndTheNameChoosesTheContainer)
{
    // A relative link in one folder to an older video in another: the video
    // replaces the target, the link stays as it was.
    std::string videos = makeScratchDir("linktarget");
    std::string links = makeScratchDir("links");
    { std::ofstream(videos + "/real.mkv") << "an older video"; }
    std::string relative = "../" + videos.substr(videos.rfind('/') + 1) + "/real.mkv";
    ASSERT_EQ(symlink(relative.c_str(), (links + "/show.mkv").c_str()), 0);
    Finished run = runCapture(with(quickShow, {"-o", links + "/show.mkv"}), DEMO_BINARY_DIR);
    ASSERT_EQ(exitCode(run.status), 0) << run.err;
    EXPECT_EQ(run.err, "");
    EXPECT_EQ(typeOf(links + "/show.mkv"), (mode_t)S_IFLNK);
    char target[4096] = {0};
    ASSERT_GT(readlink((links + "/show.mkv").c_str(), target, sizeof target - 1), 0);
    EXPECT_EQ(target, relative);
    EXPECT_EQ(listDir(links), std::vector<std::string>{"show.mkv"});
    EXPECT_EQ(listDir(videos), std::vector<std::string>{"real.mkv"});
    EXPECT_EQ(readFile(videos + "/real.mkv").substr(0, 4), "\x1a\x45\xdf\xa3");  // Matroska
    DecodedFile f = decodeFile(videos + "/real.mkv", {});
    ASSERT_EQ(f.error, "");
    EXPECT_EQ((int64_t)f.frameIndexes.size(), 2722 + 30 * 5);
}

TEST(Program, DashStreamsFragmentedMp4ToStandardOutputWithTheModuleGiven)
{
    // From a folder without demomain.xm: the module comes from --module, for
    // the show and the soundtrack alike, so nobody says the music is off.
    std::string dir = makeScratchDir("stream");
    std::string module = std::string(DEMO_BINARY_DIR) + "/demomain.xm";
    Finished run = runCapture(with(quickShow, {"--module", module, "-o", "-"}), dir);
    ASSERT_EQ(exitCode(run.status), 0) << run.err;
    EXPECT_EQ(run.err, "");
    EXPECT_TRUE(listDir(dir).empty());
    // Fragmented: the index up front is empty, the frames come in fragments.
    ASSERT_GT(run.out.size(), 64u);
    EXPECT_EQ(run.out.substr(4, 4), "ftyp");
    EXPECT_NE(run.out.find("moof"), std::string::npos);
    std::string saved = makeScratchDir("streamed") + "/stream.mp4";
    { std::ofstream(saved, std::ios::binary) << run.out; }
    DecodedFile f = decodeFile(saved, {});
    ASSERT_EQ(f.error, "");
    EXPECT_EQ((int64_t)f.frameIndexes.size(), 2722 + 30 * 5);
    // Fragments carry no edit list, so the AAC encoder's priming (1024
    // samples) and the last frame's padding are decoded too.
    EXPECT_NEAR((double)f.audioSamples / 44100, f.videoSeconds, 2 * 1024.0 / 44100);
    EXPECT_GT(f.audioPeak, 0.01f);
}

TEST(Program, DashIsRefusedWhenStandardOutputIsATerminal)
{
    Launch launch(CAPTURE_PROGRAM, {"-q", "-o", "-"});
    launch.out = StdoutTo::Terminal;
    Finished run = runToEnd(launch, 60);
    EXPECT_EQ(exitCode(run.status), 2) << describeStatus(run.status);
    expectOneLine(run.err, "standard output is a terminal");
}

TEST(Program, SizeThatCannotBeRecordedIsRefusedUpFront)
{
    // Wider than libx264 encodes and the renderer draws: refused as an
    // argument, with the limit, before anything starts.
    std::string dir = makeScratchDir("toolarge");
    Finished run = runCapture({"--quiet", "--size", "20000x64", "-o", "show.mp4"}, dir);
    EXPECT_EQ(exitCode(run.status), 2);
    expectOneLine(run.err, "from 16 to 16384 pixels");
    EXPECT_TRUE(listDir(dir).empty());
}

TEST(Program, InterruptStopsCleanlyAndLeavesNothing)
{
    // Ctrl-C, and the terminal closing under it.
    for (int sig : {SIGINT, SIGHUP}) {
        SCOPED_TRACE(sig == SIGINT ? "SIGINT" : "SIGHUP");
        std::string dir = makeScratchDir("interrupt");
        std::vector<pid_t> helpers;
        Finished run = runCapture({"--quiet", "--size", "160x120", "--fps", "10", "-o", dir + "/show.mp4"},
                                  DEMO_BINARY_DIR, [&](pid_t pid) {
                                      // Once the recording is under way: its file exists.
                                      for (int i = 0; i < 400 && listDir(dir).empty(); ++i)
                                          usleep(25000);
                                      usleep(300000);
                                      helpers = childrenOf(pid);
                                      kill(pid, sig);
                                  });
        EXPECT_EQ(exitCode(run.status), 128 + sig) << run.err;
        EXPECT_NE(run.err.find("interrupted"), std::string::npos) << run.err;
        EXPECT_EQ(run.out, "");
        EXPECT_TRUE(listDir(dir).empty()) << listDir(dir)[0];
        // The X server it started went with it.
        EXPECT_FALSE(helpers.empty());
        for (pid_t p : helpers)
            EXPECT_NE(kill(p, 0), 0) << "process " << p << " still there";
    }
}

TEST(Program, QuietRunWithoutTheModuleHasASilentSoundtrack)
{
    // A folder without demomain.xm: the show says once that its music is
    // off, the recording goes on, and the soundtrack is silence as long as
    // the video. At 5 frames a second the pictures take 150 frames.
    std::string dir = makeScratchDir("nomusic");
    Finished run = runCapture({"--quiet", "--size", "64x48", "--fps", "5", "-o", "silent.mp4"}, dir);
    EXPECT_EQ(exitCode(run.status), 0) << run.err;
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

TEST(Program, ProgressNamesTheProgramHoweverLongItsName)
{
    // A launcher gives the name (CORBANET_DEMO_NAME); the progress line
    // carries all of it, and after it the bar and the count.
    std::string name(300, 'n');
    setenv("CORBANET_DEMO_NAME", name.c_str(), 1);
    Finished run = runCapture({"--size", "32x32", "--fps", "5", "-o", makeScratchDir("longname") + "/a.mp4"},
                              DEMO_BINARY_DIR);
    unsetenv("CORBANET_DEMO_NAME");
    EXPECT_EQ(exitCode(run.status), 0) << run.err;
    EXPECT_NE(run.err.find(name + ": [" + std::string(30, '#') + "] 2872/2872 frames  "), std::string::npos)
        << run.err;
}
