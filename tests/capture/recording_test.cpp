// recording_test.cpp -- whole recordings against the show as `start` draws it.
//
// Three runs of the whole course at a small size, side by side in child
// processes, each on an X server of its own (none uses the test command's
// display):
//  - the show as `start` runs it, through the show's test support: a real
//    window, real buffer swaps, the presented window read back from the X
//    server after chosen frames and at every picture;
//  - the recorder, in process, with a sink that keeps the same frames;
//  - the `capture` program itself, whose file is then decoded.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <set>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#include <GL/freeglut.h>
#include <libopenmpt/libopenmpt.h>

#include "capture_support.h"
#include "demo.h"
#include "private_display.h"
#include "recorder.h"
#include "show_harness.h"

namespace {

const int W = 160, H = 120, FPS = 10;
const int drawnFrames = 2722;
const int showFrames[] = {1, 700, 1451, 2152, 2353, 2450, 2600, 2722};
const unsigned pictureSeconds[] = {5, 5, 5, 10, 5};

// The video frame (from 0) where each picture showing starts.
int showingStart(int i)
{
    int at = drawnFrames;
    for (int k = 0; k < i; ++k)
        at += (int)pictureSeconds[k] * FPS;
    return at;
}

// The video frames the checks look at: the chosen show frames, and the
// first and the last frame of every showing.
std::set<int64_t> videoFramesKept()
{
    std::set<int64_t> keep;
    for (int f : showFrames)
        keep.insert(f - 1);
    for (int i = 0; i < 5; ++i) {
        keep.insert(showingStart(i));
        keep.insert(showingStart(i) + (int)pictureSeconds[i] * FPS - 1);
    }
    return keep;
}

std::vector<unsigned char> readPicture(const std::string &path)
{
    std::string s = readFile(path);
    return std::vector<unsigned char>(s.begin(), s.end());
}

void writePicture(const std::string &path, const std::vector<unsigned char> &rgb)
{
    writeFile(path, std::string(rgb.begin(), rgb.end()));
}

// ---- the show as start runs it --------------------------------------------

[[noreturn]] void runReference(const std::string &dir)
{
    PrivateDisplay server;
    std::string error;
    if (!server.start(W, H, &error))           // the window must be wholly on screen to be read back
        _exit(3);
    setenv("DISPLAY", server.name().c_str(), 1);
    setenv("SDL_AUDIODRIVER", "dummy", 1);
    int showing = 0;
    fakePlatform.onSleep = [&](unsigned) {
        writePicture(dir + "/showing" + std::to_string(showing++), readFrontBuffer(W, H));
    };
    startShow(W, H);
    try {
        for (int f = 1; f <= 4000; ++f) {
            fakePlatform.clockMs += 10;
            display();
            for (int chosen : showFrames)
                if (f == chosen)
                    writePicture(dir + "/frame" + std::to_string(f), readFrontBuffer(W, H));
        }
    } catch (const ShowExit &) {
        server.stop();
        _exit(0);
    }
    _exit(4);
}

// ---- the recorder -------------------------------------------------------------

class KeepingSink : public FrameSink {
public:
    KeepingSink(const std::string &d) : dir(d), keep(videoFramesKept()), buffer((size_t)W * H * 4) {}
    unsigned char *nextBuffer() override { return buffer.data(); }
    void submit(unsigned n) override
    {
        runs << n << "\n";
        for (unsigned i = 0; i < n; ++i, ++next) {
            if (!keep.count(next))
                continue;
            std::vector<unsigned char> rgb((size_t)W * H * 3);
            for (size_t p = 0; p < (size_t)W * H; ++p)
                for (int c = 0; c < 3; ++c)
                    rgb[p * 3 + c] = buffer[p * 4 + c];
            writePicture(dir + "/video" + std::to_string(next), rgb);
        }
    }
    std::string dir;
    std::set<int64_t> keep;
    std::vector<unsigned char> buffer;
    std::ostringstream runs;
    int64_t next = 0;
};

[[noreturn]] void runRecorder(const std::string &dir)
{
    unsetenv("DISPLAY");
    unsetenv("SDL_AUDIODRIVER");
    PrivateDisplay server;
    std::string error;
    if (!server.start(64, 64, &error) || !openRecordingWindow(server.name(), W, H, &error))
        _exit(3);
    KeepingSink sink(dir);
    RecordingResult result = recordShow(W, H, FPS, sink, [] { return false; });
    writeFile(dir + "/runs", sink.runs.str());
    writeFile(dir + "/statistics", result.statistics);
    writeFile(dir + "/result", std::to_string(result.exitStatus) + " " + std::to_string(result.frames));
    glutExit();
    server.stop();
    _exit(0);
}

// ---- all three ----------------------------------------------------------------

struct Runs {
    std::string referenceDir, recorderDir, programDir;
    int referenceStatus = -1, recorderStatus = -1;
    Finished program;
    DecodedFile file;
};

Runs runAll()
{
    Runs r;
    r.referenceDir = makeScratchDir("reference");
    r.recorderDir = makeScratchDir("recorder");
    r.programDir = makeScratchDir("program");
    // The reference and the recorder in children of their own, beside the program.
    ChildProcess reference, recorder;
    Launch referenceRun, recorderRun;
    referenceRun.body = [&] { runReference(r.referenceDir); };
    recorderRun.body = [&] { runRecorder(r.recorderDir); };
    reference.start(referenceRun);
    recorder.start(recorderRun);
    r.program = runCapture({"--size", std::to_string(W) + "x" + std::to_string(H), "--fps", std::to_string(FPS),
                            "-o", r.programDir + "/show.mp4"},
                           DEMO_BINARY_DIR);
    reference.finish(900);
    recorder.finish(900);
    r.referenceStatus = reference.status;
    r.recorderStatus = recorder.status;
    r.file = decodeFile(r.programDir + "/show.mp4", videoFramesKept());
    return r;
}

const Runs &runs()
{
    static Runs r = runAll();
    return r;
}

// Which reference a video frame (from 0) shows, by the show's timetable.
std::string referenceFor(int64_t video)
{
    if (video < drawnFrames)
        return "frame" + std::to_string(video + 1);
    for (int i = 4; i >= 0; --i)
        if (video >= showingStart(i))
            return "showing" + std::to_string(i);
    return "";
}

}  // namespace

TEST(Recording, EveryFrameOfTheShowThenEachPictureForItsSeconds)
{
    const Runs &r = runs();
    ASSERT_EQ(exitCode(r.recorderStatus), 0) << describeStatus(r.recorderStatus);
    std::istringstream runs(readFile(r.recorderDir + "/runs"));
    std::vector<unsigned> copies;
    for (unsigned n; runs >> n;)
        copies.push_back(n);
    ASSERT_EQ(copies.size(), (size_t)drawnFrames + 5);
    for (int f = 0; f < drawnFrames; ++f)
        ASSERT_EQ(copies[f], 1u) << "show frame " << f + 1;
    for (int i = 0; i < 5; ++i)
        EXPECT_EQ(copies[drawnFrames + i], pictureSeconds[i] * FPS) << "showing " << i + 1;
    EXPECT_EQ(readFile(r.recorderDir + "/result"), "0 " + std::to_string(drawnFrames + 30 * FPS));
}

TEST(Recording, StatisticsReportTheVideosTime)
{
    const Runs &r = runs();
    // The clock read frames / fps: the show ran exactly as long as the video.
    unsigned videoMs = (drawnFrames + 30 * FPS) * 1000 / FPS;
    float seconds = (float)(videoMs * 0.001);
    std::ostringstream expected;
    expected << "*********************\n"
             << "Frames " << drawnFrames << "\n"
             << "Time   " << seconds << "\n"
             << "Fps    " << (float)(drawnFrames / (double)seconds) << "\n"
             << "*********************\n";
    EXPECT_EQ(readFile(r.recorderDir + "/statistics"), expected.str());
    EXPECT_NE(expected.str().find("Time   302.2\n"), std::string::npos);
}

TEST(Recording, FramesEqualWhatStartShows)
{
    const Runs &r = runs();
    ASSERT_EQ(exitCode(r.referenceStatus), 0) << describeStatus(r.referenceStatus);
    ASSERT_EQ(exitCode(r.recorderStatus), 0) << describeStatus(r.recorderStatus);
    for (int64_t v : videoFramesKept()) {
        SCOPED_TRACE("video frame " + std::to_string(v) + ", " + referenceFor(v));
        std::vector<unsigned char> shown = readPicture(r.referenceDir + "/" + referenceFor(v));
        std::vector<unsigned char> recorded = readPicture(r.recorderDir + "/video" + std::to_string(v));
        ASSERT_EQ(shown.size(), (size_t)W * H * 3);
        ASSERT_EQ(recorded.size(), shown.size());
        ImageDiff d = compareImages(recorded, shown, 0);
        EXPECT_EQ(d.maxDelta, 0) << d.shareOver * 100 << "% of pixels differ";
    }
}

TEST(Program, WritesAPlayableFileOfTheWholeShow)
{
    const Runs &r = runs();
    ASSERT_TRUE(WIFEXITED(r.program.status)) << r.program.status;
    EXPECT_EQ(WEXITSTATUS(r.program.status), 0) << r.program.err;
    EXPECT_EQ(listDir(r.programDir), std::vector<std::string>{"show.mp4"});
    const DecodedFile &f = r.file;
    ASSERT_EQ(f.error, "");
    EXPECT_EQ(f.videoCodec, "h264");
    EXPECT_EQ(f.pixelFormat, "yuv420p");
    EXPECT_EQ(f.width, W);
    EXPECT_EQ(f.height, H);
    EXPECT_DOUBLE_EQ(f.fps, FPS);
    int64_t frames = drawnFrames + 30 * FPS;
    ASSERT_EQ((int64_t)f.frameIndexes.size(), frames);
    for (int64_t i = 0; i < frames; ++i)
        ASSERT_EQ(f.frameIndexes[i], i) << "frames out of order or missing";
    EXPECT_NEAR(f.videoSeconds, (double)frames / FPS, 1e-6);
    EXPECT_EQ(f.audioCodec, "aac");
    EXPECT_EQ(f.sampleRate, 44100);
    EXPECT_EQ(f.channels, 2);
    EXPECT_NEAR((double)f.audioSamples / f.sampleRate, (double)frames / FPS, 1024.0 / 44100);
}

TEST(Program, VideoFramesShowTheCourseInOrder)
{
    const Runs &r = runs();
    ASSERT_EQ(r.file.error, "");
    std::set<int64_t> kept = videoFramesKept();
    for (int64_t v : kept) {
        SCOPED_TRACE("video frame " + std::to_string(v) + ", " + referenceFor(v));
        ASSERT_EQ(r.file.pictures.count(v), 1u);
        const std::vector<unsigned char> &decoded = r.file.pictures.at(v);
        std::vector<unsigned char> reference = readPicture(r.referenceDir + "/" + referenceFor(v));
        double own = psnr(decoded, reference);
        EXPECT_GT(own, 30.0);
        // Nearer its own moment of the show than any other checked moment
        // that looks different (the first and the last picture are the same
        // where the window is smaller than the picture).
        for (int64_t other : kept) {
            std::vector<unsigned char> elsewhere = readPicture(r.referenceDir + "/" + referenceFor(other));
            if (psnr(reference, elsewhere) > 30.0)
                continue;
            double theirs = psnr(decoded, elsewhere);
            EXPECT_GT(own, theirs + 3) << "as close to " << referenceFor(other);
        }
    }
}

TEST(Program, StandardOutputStaysCleanAndStatisticsGoToStderr)
{
    const Runs &r = runs();
    EXPECT_EQ(r.program.out, "");
    EXPECT_NE(r.program.err.find("Frames 2722\nTime   302.2\n"), std::string::npos) << r.program.err;
    EXPECT_NE(r.program.err.find("3022/3022 frames"), std::string::npos) << r.program.err;
    // The music layer found a sound output (the dummy one) and the module.
    EXPECT_EQ(r.program.err.find("music off"), std::string::npos) << r.program.err;
}

TEST(Program, SoundtrackIsTheModuleFromItsStart)
{
    const Runs &r = runs();
    ASSERT_EQ(r.file.error, "");
    // The module as libopenmpt renders it, loudness per tenth of a second,
    // against the file's: same shape from the first tenth on.
    std::ifstream in(std::string(DEMO_BINARY_DIR) + "/demomain.xm", std::ios::binary);
    std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    openmpt_module *mod = openmpt_module_create_from_memory2(bytes.data(), bytes.size(), nullptr, nullptr, nullptr,
                                                             nullptr, nullptr, nullptr, nullptr);
    ASSERT_NE(mod, nullptr);
    openmpt_module_set_repeat_count(mod, -1);
    const size_t window = 4410;
    std::vector<double> direct;
    std::vector<float> l(window), rr(window);
    for (size_t k = 0; k < r.file.audioLoudness.size(); ++k) {
        openmpt_module_read_float_stereo(mod, 44100, window, l.data(), rr.data());
        double sum = 0;
        for (size_t i = 0; i < window; ++i)
            sum += (double)l[i] * l[i] + (double)rr[i] * rr[i];
        direct.push_back(std::sqrt(sum / (2.0 * window)));
    }
    openmpt_module_destroy(mod);
    ASSERT_GT(direct.size(), 100u);
    double worst = 0, loudest = 0;
    for (size_t k = 0; k < direct.size(); ++k) {
        worst = std::max(worst, std::fabs(direct[k] - r.file.audioLoudness[k]));
        loudest = std::max(loudest, direct[k]);
    }
    EXPECT_GT(loudest, 0.05);
    EXPECT_LT(worst, 0.1 * loudest);
}
