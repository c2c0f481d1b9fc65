// show_fixture.cpp -- see show_fixture.h.
#include "show_fixture.h"

#include <algorithm>
#include <cstdio>
#include <sys/wait.h>

void ShowTest::SetUp()
{
    ASSERT_FALSE(scratch.path().empty()) << "no scratch directory";
    module = readBytes(binaryPath("demomain.xm"));
    ASSERT_GT(module.size(), 336u) << "the build did not place demomain.xm next to the programs";
    // A small screen: the full-screen window's frames cost the least there,
    // and what these tests look for is the same at every size.
    std::string why;
    ASSERT_TRUE(screen.start(64, 48, &why)) << why;
}

Launch ShowTest::runner() const
{
    Launch l;
    l.program = binaryPath("show_runner");
    l.dir = scratch.path();
    l.env = {"DISPLAY=" + screen.name(), "SDL_AUDIODRIVER=dummy", "SHOW_RUNNER_REPORT=1",
             "HOME=" + scratch.path()};
    return l;
}

Launch ShowTest::start() const
{
    Launch l = runner();
    l.program = binaryPath("start");
    return l;
}

void ShowWithModule::SetUp()
{
    ShowTest::SetUp();
    if (!HasFatalFailure())
        placeModule(scratch.path());
}

Launch with(Launch launch, const std::string &setting)
{
    launch.env.push_back(setting);
    return launch;
}

void ShowTest::placeModule(const std::string &dir) const
{
    ASSERT_TRUE(writeFile(dir + "/demomain.xm", module));
}

std::string tailOf(const std::string &text, size_t lines)
{
    size_t at = text.size();
    for (size_t n = 0; n <= lines && at != std::string::npos && at > 0; ++n)
        at = text.rfind('\n', at - 1);
    return at == std::string::npos || at == 0 ? text : text.substr(at + 1);
}

void ShowTest::expectFullCourse(const Launch &launch, ChildProcess *ran)
{
    ChildProcess own;
    ChildProcess &p = ran ? *ran : own;
    ASSERT_TRUE(p.start(launch));
    ASSERT_TRUE(p.finish(courseSeconds)) << "still running after " << courseSeconds << " s\n" << tailOf(p.err);
    checkFullCourse(launch, p);
}

// The name a program's messages begin with: its file's.
static std::string programFileName(const std::string &path)
{
    return path.substr(path.find_last_of('/') + 1);
}

void ShowTest::checkFullCourse(const Launch &launch, const ChildProcess &p)
{
    CourseReport r = parseReport(p.err);
    EXPECT_TRUE(WIFEXITED(p.status) && WEXITSTATUS(p.status) == 0)
        << describeStatus(p.status) << "\n" << tailOf(p.err);
    // A runner told to press Esc after frame f ends there: the scenes begun
    // by then, no picture, f frames.
    unsigned frames = courseFrames;
    for (const std::string &setting : launch.env)
        if (setting.rfind("SHOW_RUNNER_ESC_AT=", 0) == 0)
            frames = (unsigned)std::stoul(setting.substr(19));
    if (launch.program == binaryPath("show_runner")) {  // `start` itself reports nothing
        std::map<unsigned, unsigned> begun;
        for (auto [scene, frame] : courseSequenceFrames)
            if (frame <= frames || frames == courseFrames)
                begun[scene] = frame;
        EXPECT_EQ(r.sequenceFrame, begun);
        EXPECT_EQ(r.sleeps, frames == courseFrames ? courseSleeps : std::vector<unsigned>());
    }
    if (launch.out == StdoutTo::Capture) {
        EXPECT_TRUE(isStatisticsBlock(p.out, frames)) << "standard output:\n" << p.out;
    }

    // Nothing but the one line on why the music is off, if it is, and the
    // one saying that the statistics were lost where standard output
    // cannot take them (a closed one is /dev/null by then).
    size_t musicOff = 0, lost = 0;
    for (const std::string &line : r.otherLines) {
        if (line.find(": music off: ") != std::string::npos)
            musicOff += 1;
        else if (line.rfind(programFileName(launch.program) + ": statistics lost: ", 0) == 0)
            lost += 1;
        else
            ADD_FAILURE() << "unexpected line on stderr: " << line;
    }
    EXPECT_LE(musicOff, 1u);
    bool losing = launch.out == StdoutTo::DevFull || launch.out == StdoutTo::ReaderGone;
    EXPECT_EQ(lost, losing ? 1u : 0u);
}

// Runs `launch` up to its first frame; -1 without one.
static FirstFrame firstFrame(const Launch &launch)
{
    ChildProcess p;
    if (!p.start(with(launch, "SHOW_RUNNER_FIRST_FRAME_ONLY=1")) || !p.finish(60))
        return {};
    CourseReport r = parseReport(p.err);
    if (r.firstFrameMs < 0)
        return {};
    return {r.firstFrameMs - p.startedMs, p.cpuMs};
}

static double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

std::pair<FirstFrame, FirstFrame> ShowTest::firstFramesBesideGood(const Launch &launch)
{
    ScratchDir goodDir("show-hardening");
    placeModule(goodDir.path());
    // The same user as the case: an unprivileged run cannot use the shader
    // cache a privileged one filled, and would pay for compiling afresh.
    Launch good = runner();
    good.dir = goodDir.path();
    good.asNobody = launch.asNobody;
    firstFrame(good);                           // fills the caches the first run finds empty
    std::vector<double> ms[2], cpu[2];
    for (int i = 0; i < 5; ++i) {
        for (int which = 0; which < 2; ++which) {
            FirstFrame f = firstFrame(which ? launch : good);
            EXPECT_GE(f.ms, 0) << (which ? "no first frame" : "the show's own module gave no first frame");
            ms[which].push_back(f.ms < 0 ? 1e9 : f.ms);
            cpu[which].push_back(f.ms < 0 ? 1e9 : f.cpuMs);
        }
    }
    FirstFrame g = {median(ms[0]), median(cpu[0])}, c = {median(ms[1]), median(cpu[1])};
    printf("[ timing   ] first frame after %.1f ms, %.1f ms of processor time (medians of 5); with the show's "
           "module %.1f ms, %.1f ms\n", c.ms, c.cpuMs, g.ms, g.cpuMs);
    return {c, g};
}

double ShowTest::startWorkOverGood(const Launch &launch)
{
    auto f = firstFramesBesideGood(launch);
    return f.first.cpuMs / f.second.cpuMs;
}
