// mp4_writer_test.cpp -- the encoder end on its own: pictures made here,
// written, and read back with FFmpeg's demuxer and decoders; and the offline
// soundtrack against libopenmpt itself.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <unistd.h>
#include <vector>

#include <libopenmpt/libopenmpt.h>

#include "capture_support.h"
#include "mp4_writer.h"
#include "music_file.h"
#include "sound.h"

namespace {

const int W = 64, H = 48;

// An RGBA picture, bottom row first, with the lower half `below` and the
// upper half `above`.
std::vector<unsigned char> halves(const unsigned char below[3], const unsigned char above[3])
{
    std::vector<unsigned char> rgba((size_t)W * H * 4);
    for (int y = 0; y < H; ++y)
        for (int x = 0; x < W; ++x)
            for (int c = 0; c < 4; ++c)
                rgba[((size_t)y * W + x) * 4 + c] = c == 3 ? 255 : (y < H / 2 ? below : above)[c];
    return rgba;
}

// The colour at the middle of the lower or the upper half of a decoded
// (RGB, bottom row first) picture.
std::vector<int> colourAt(const std::vector<unsigned char> &rgb, bool upper)
{
    int y = upper ? 3 * H / 4 : H / 4;
    const unsigned char *p = &rgb[((size_t)y * W + W / 2) * 3];
    return {p[0], p[1], p[2]};
}

void expectColour(const std::vector<int> &got, const unsigned char want[3])
{
    for (int c = 0; c < 3; ++c)
        EXPECT_NEAR(got[c], want[c], 6) << "channel " << c;
}

std::string moduleFile()
{
    return std::string(DEMO_BINARY_DIR) + "/demomain.xm";
}

std::string firstBytes(const std::string &path, size_t count)
{
    std::ifstream in(path, std::ios::binary);
    std::string bytes(count, '\0');
    in.read(&bytes[0], (std::streamsize)count);
    bytes.resize((size_t)in.gcount());
    return bytes;
}

// The music layer's pulled output, ended (musicPullEnd) when this goes.
struct PulledMusic {
    ~PulledMusic() { musicPullEnd(); }
};

// The module at `path` playing into the music layer's pulled output, as
// the show starts it in a recording; none when it would not load.
MusicModule *playPulled(const std::string &path)
{
    musicPullAt(soundtrackRate);
    soundInit(soundtrackRate, 32);
    MusicModule *module = musicLoad(path.c_str());
    musicPlay(module);
    return module;
}

}  // namespace

TEST(Mp4Writer, PicturesComeBackInOrderUprightAndInTheirColours)
{
    const unsigned char red[3] = {220, 30, 30}, blue[3] = {30, 30, 220}, green[3] = {30, 200, 40},
                        white[3] = {235, 235, 235};
    std::string dir = makeScratchDir("writer");
    std::string path = dir + "/pictures.mp4";
    Mp4Writer writer;
    std::string error;
    ASSERT_TRUE(writer.open(path, W, H, 10, &error)) << error;
    ASSERT_TRUE(writer.addPicture(halves(blue, red).data(), 1, &error)) << error;
    ASSERT_TRUE(writer.addPicture(halves(green, white).data(), 4, &error)) << error;
    ASSERT_TRUE(writer.addPicture(halves(red, blue).data(), 2, &error)) << error;
    ASSERT_TRUE(writer.finish(&error)) << error;
    EXPECT_EQ(writer.frames(), 7);

    DecodedFile f = decodeFile(path, {0, 1, 4, 5, 6});
    ASSERT_EQ(f.error, "");
    EXPECT_EQ(f.videoCodec, "h264");
    EXPECT_EQ(f.pixelFormat, "yuv420p");
    EXPECT_EQ(f.width, W);
    EXPECT_EQ(f.height, H);
    EXPECT_DOUBLE_EQ(f.fps, 10);
    EXPECT_EQ(f.frameIndexes, (std::vector<int64_t>{0, 1, 2, 3, 4, 5, 6}));
    EXPECT_NEAR(f.videoSeconds, 0.7, 1e-9);
    ASSERT_EQ(f.pictures.size(), 5u);
    // The picture's lower half stays at the bottom: rows are not flipped
    // twice or not at all, and red stays red.
    struct Shown {
        int frame;
        const unsigned char *lower, *upper;
    } shown[] = {{0, blue, red}, {1, green, white}, {4, green, white}, {5, red, blue}, {6, red, blue}};
    for (const Shown &s : shown) {
        SCOPED_TRACE("frame " + std::to_string(s.frame));
        expectColour(colourAt(f.pictures[s.frame], false), s.lower);
        expectColour(colourAt(f.pictures[s.frame], true), s.upper);
    }
    // A silent soundtrack is still a soundtrack, exactly as long.
    EXPECT_EQ(f.audioCodec, "aac");
    EXPECT_EQ(f.sampleRate, 44100);
    EXPECT_EQ(f.channels, 2);
    EXPECT_EQ(writer.audioSamples(), 44100 * 7 / 10);
    EXPECT_NEAR((double)f.audioSamples, 44100 * 0.7, 1024);
    EXPECT_EQ(f.audioPeak, 0.0f);
    EXPECT_EQ(listDir(dir), std::vector<std::string>{"pictures.mp4"});
}

TEST(Mp4Writer, SoundtrackEndsWithTheVideoAtAnyRate)
{
    // At 7 frames a second a frame is 6300 samples: neither stream's length
    // is a whole number of AAC frames.
    std::string dir = makeScratchDir("writer");
    for (int fps : {7, 24}) {
        SCOPED_TRACE("fps " + std::to_string(fps));
        std::string path = dir + "/rate" + std::to_string(fps) + ".mp4";
        PulledMusic music;
        ASSERT_NE(playPulled(moduleFile()), nullptr);
        Mp4Writer writer;
        std::string error;
        ASSERT_TRUE(writer.open(path, W, H, fps, &error));
        const unsigned char grey[3] = {128, 128, 128};
        std::vector<unsigned char> picture = halves(grey, grey);
        int frames = 0;
        for (int i = 0; i < 13; ++i) {
            ASSERT_TRUE(writer.addPicture(picture.data(), i % 3 + 1, &error)) << error;
            frames += i % 3 + 1;
        }
        ASSERT_TRUE(writer.finish(&error)) << error;
        ASSERT_EQ(frames, 25);

        DecodedFile f = decodeFile(path, {});
        ASSERT_EQ(f.error, "");
        ASSERT_EQ(f.frameIndexes.size(), (size_t)frames);
        for (size_t i = 0; i < f.frameIndexes.size(); ++i)
            ASSERT_EQ(f.frameIndexes[i], (int64_t)i);
        double videoSeconds = (double)frames / fps;
        EXPECT_NEAR(f.videoSeconds, videoSeconds, 1e-6);
        EXPECT_EQ(writer.audioSamples(), (int64_t)frames * 44100 / fps);
        EXPECT_NEAR((double)f.audioSamples / 44100, videoSeconds, 1024.0 / 44100);
        EXPECT_GT(f.audioPeak, 0.01f);
    }
}

TEST(Mp4Writer, UnwritablePathIsRefusedAtOpen)
{
    Mp4Writer writer;
    std::string error;
    EXPECT_FALSE(writer.open("/nonexistent-folder/x.mp4", W, H, 10, &error));
    EXPECT_NE(error.find("/nonexistent-folder/x.mp4"), std::string::npos) << error;
}

TEST(Soundtrack, IsTheModuleAsLibopenmptRendersIt)
{
    std::string path = moduleFile();
    PulledMusic music;
    MusicModule *module = playPulled(path);
    ASSERT_NE(module, nullptr);

    FILE *f = fopen(path.c_str(), "rb");
    ASSERT_NE(f, nullptr);
    std::vector<char> bytes(1 << 20);
    bytes.resize(fread(bytes.data(), 1, bytes.size(), f));
    fclose(f);
    openmpt_module *mod = openmpt_module_create_from_memory2(bytes.data(), bytes.size(), nullptr, nullptr,
                                                             nullptr, nullptr, nullptr, nullptr, nullptr);
    ASSERT_NE(mod, nullptr);
    openmpt_module_set_repeat_count(mod, -1);
    double length = openmpt_module_get_duration_seconds(mod);

    // Through the module's end and three seconds into its repeat, in blocks
    // of the encoder's size against blocks of another size. The mixer rounds
    // a little differently at other block boundaries, far below hearing.
    // Half way the show ends as Esc ends it, stopping the music and closing
    // the sound: the recording's encoder, behind it, still gets the music.
    size_t total = (size_t)((length + 3) * 44100);
    std::vector<float> l1(total), r1(total), l2(total), r2(total);
    for (size_t at = 0; at < total; at += 1024) {
        if (at / 1024 == total / 2048) {
            musicStop(module);
            soundClose();
        }
        musicPull(&l1[at], &r1[at], std::min<size_t>(1024, total - at));
    }
    for (size_t at = 0; at < total; at += 4000)
        openmpt_module_read_float_stereo(mod, 44100, std::min<size_t>(4000, total - at), &l2[at], &r2[at]);
    openmpt_module_destroy(mod);

    float worst = 0;
    for (size_t i = 0; i < total; ++i)
        worst = std::max(worst, std::max(std::fabs(l1[i] - l2[i]), std::fabs(r1[i] - r2[i])));
    EXPECT_LT(worst, 1e-4f);
    float lastSecond = 0;
    for (size_t i = total - 44100; i < total; ++i)
        lastSecond = std::max(lastSecond, std::fabs(l1[i]));
    EXPECT_GT(lastSecond, 0.01f) << "the module did not repeat";
}

TEST(Soundtrack, MissingOrBadModuleIsSilence)
{
    std::string dir = makeScratchDir("sound");
    std::string notModule = dir + "/not-a-module.xm";
    FILE *f = fopen(notModule.c_str(), "w");
    ASSERT_NE(f, nullptr);
    fputs("this is not a tracker module\n", f);
    fclose(f);
    for (std::string path : {dir + "/missing.xm", notModule, dir}) {
        SCOPED_TRACE(path);
        PulledMusic music;
        EXPECT_EQ(playPulled(path), nullptr);
        std::vector<float> l(500, 1.0f), r(500, 1.0f);
        musicPull(l.data(), r.data(), l.size());
        for (size_t i = 0; i < l.size(); ++i)
            ASSERT_TRUE(l[i] == 0 && r[i] == 0) << "sample " << i;
    }
}

TEST(Mp4Writer, ContainerIsTheOneAskedFor)
{
    // Matroska starts with the EBML magic; MP4 and QuickTime with a file
    // type box whose brand tells them apart.
    struct Case {
        const char *muxer, *name;
        std::string magic;
        size_t at;
    } cases[] = {{"matroska", "a.mkv", "\x1a\x45\xdf\xa3", 0},
                 {"mov", "a.mov", "ftypqt  ", 4},
                 {"mp4", "a.mp4", "ftypisom", 4}};
    std::string dir = makeScratchDir("containers");
    const unsigned char grey[3] = {128, 128, 128};
    for (const Case &c : cases) {
        SCOPED_TRACE(c.muxer);
        Mp4Writer writer;
        std::string error;
        std::string path = dir + "/" + c.name;
        ASSERT_TRUE(writer.open(path, W, H, 10, &error, c.muxer)) << error;
        ASSERT_TRUE(writer.addPicture(halves(grey, grey).data(), 5, &error)) << error;
        ASSERT_TRUE(writer.finish(&error)) << error;
        EXPECT_EQ(firstBytes(path, c.at + c.magic.size()).substr(c.at), c.magic);
        DecodedFile f = decodeFile(path, {});
        ASSERT_EQ(f.error, "");
        EXPECT_EQ(f.frameIndexes.size(), 5u);
        EXPECT_NEAR(f.videoSeconds, 0.5, 1e-6);
    }
}

TEST(Mp4Writer, FfmpegsLogStaysOffTheTerminalAndExplainsTheFailure)
{
    // libx264 refuses a side over 16384 and logs why. Standard error is a
    // file for the duration.
    std::string dir = makeScratchDir("log");
    std::string errPath = dir + "/stderr";
    fflush(stderr);
    int saved = dup(2);
    FILE *err = fopen(errPath.c_str(), "w");
    ASSERT_NE(err, nullptr);
    dup2(fileno(err), 2);
    Mp4Writer writer;
    std::string error;
    bool opened = writer.open(dir + "/wide.mp4", 16386, 16, 10, &error);
    fflush(stderr);
    dup2(saved, 2);
    close(saved);
    fclose(err);
    EXPECT_FALSE(opened);
    EXPECT_NE(error.find("H.264 encoder"), std::string::npos) << error;
    EXPECT_NE(error.find("16386x16"), std::string::npos) << error;
    EXPECT_EQ(error.find('\n'), std::string::npos) << error;
    EXPECT_EQ(firstBytes(errPath, 4096), "");
}
