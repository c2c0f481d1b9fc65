// options_test.cpp -- the command line: what it takes, and the one-line
// reasons for what it refuses.
#include <gtest/gtest.h>

#include <string>
#include <vector>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/imgutils.h>
#include <libavutil/log.h>
}

#include "options.h"

namespace {

struct Parsed {
    bool ok;
    CaptureOptions options;
    std::string error;
};

Parsed parse(std::vector<std::string> args)
{
    args.insert(args.begin(), "capture");
    std::vector<char *> argv;
    for (std::string &a : args)
        argv.push_back(&a[0]);
    argv.push_back(nullptr);
    Parsed p;
    p.ok = parseOptions((int)args.size(), argv.data(), &p.options, &p.error);
    return p;
}

// The arguments as a trace shows them.
std::string shown(const std::vector<std::string> &args)
{
    std::string text;
    for (const std::string &a : args)
        text += "'" + a + "' ";
    return text;
}

}  // namespace

TEST(Options, TakesEveryOptionInItsForms)
{
    struct Case {
        std::vector<std::string> args;
        std::string output;
        int width, height, fps;
        bool quiet, help;
    } cases[] = {
        {{}, "show.mp4", 1920, 1080, 60, false, false},         // the defaults
        {{"-o", "a.mp4", "--size", "1280x720", "--fps", "30", "--quiet"}, "a.mp4", 1280, 720, 30, true, false},
        {{"--output=b.mp4", "--size=160x120", "--fps=10", "-q", "-h"}, "b.mp4", 160, 120, 10, true, true},
        // The limits themselves are allowed.
        {{"--size", "16x16384", "--fps", "240"}, "show.mp4", 16, 16384, 240, false, false},
        // Parsing again in one process starts afresh.
        {{"--fps", "1"}, "show.mp4", 1920, 1080, 1, false, false},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(shown(c.args));
        Parsed p = parse(c.args);
        ASSERT_TRUE(p.ok) << p.error;
        EXPECT_EQ(p.options.output, c.output);
        EXPECT_EQ(p.options.width, c.width);
        EXPECT_EQ(p.options.height, c.height);
        EXPECT_EQ(p.options.fps, c.fps);
        EXPECT_EQ(p.options.quiet, c.quiet);
        EXPECT_EQ(p.options.help, c.help);
    }
}

TEST(Options, RefusesWithAOneLineReason)
{
    struct Case {
        std::vector<std::string> args;
        std::string mentions;
    } cases[] = {
        {{"--fps", "0"}, "--fps"},
        {{"--fps", "241"}, "--fps"},
        {{"--fps", "12x"}, "12x"},
        {{"--fps", "-5"}, "--fps"},
        {{"--fps", ""}, "--fps"},
        {{"--fps", "99999999999999999999"}, "--fps"},
        {{"--size", "160"}, "WIDTHxHEIGHT"},
        {{"--size", "x120"}, "--size"},
        {{"--size", "160x"}, "--size"},
        {{"--size", "+160x120"}, "--size"},
        {{"--size", "161x120"}, "even"},
        {{"--size", "160x121"}, "even"},
        {{"--size", "8x8"}, "16"},
        {{"--size", "16386x100"}, "16384"},
        {{"--size", "16384x16130"}, "16128"},
        {{"--quiet=1"}, "--quiet takes no value"},
        {{"--qui=yes"}, "--quiet takes no value"},
        {{"--help=me"}, "--help takes no value"},
        {{"-o", "show.avi"}, ".mp4, .mkv or .mov"},
        {{"-o", "show"}, ".mp4, .mkv or .mov"},
        {{"-o", ".mp4"}, ".mp4, .mkv or .mov"},
        {{"--module", ""}, "empty"},
        {{"--module"}, "--module"},
        {{"-o", ""}, "empty"},
        {{"--size"}, "--size"},
        {{"-o"}, "-o"},
        {{"--nope"}, "--nope"},
        {{"-x"}, "-x"},
        {{"stray.mp4"}, "stray.mp4"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(shown(c.args));
        Parsed p = parse(c.args);
        EXPECT_FALSE(p.ok);
        EXPECT_NE(p.error.find(c.mentions), std::string::npos) << p.error;
        EXPECT_EQ(p.error.find('\n'), std::string::npos) << p.error;
    }
}

TEST(Options, UsageNamesEveryOption)
{
    std::string text = usageText("capture", "demomain.xm");
    for (const char *o : {"-o", "--size", "--fps", "--quiet", "--help", "show.mp4", "1920x1080", "60",
                          "--module", "demomain.xm in the working directory", "--version", ".mkv", ".mov"})
        EXPECT_NE(text.find(o), std::string::npos) << o;
    // Called through a launcher: its name, and the module it passes.
    text = usageText("corbanet-demo-capture", "/usr/share/corbanet-demo/demomain.xm");
    EXPECT_EQ(text.rfind("Usage: corbanet-demo-capture ", 0), 0u) << text;
    EXPECT_NE(text.find("(default /usr/share/corbanet-demo/demomain.xm)"), std::string::npos) << text;
}

TEST(Options, OutputNameChoosesTheContainerAndModuleIsTaken)
{
    struct Case {
        const char *name, *muxer;
    } cases[] = {{"a.mp4", "mp4"}, {"dir.mkv/b.MP4", "mp4"}, {"c.mkv", "matroska"},
                 {"d.MOV", "mov"}, {"-", "mp4"}};
    for (const Case &c : cases) {
        Parsed p = parse({"-o", c.name, "--module", "../music/song.xm"});
        ASSERT_TRUE(p.ok) << c.name << ": " << p.error;
        EXPECT_EQ(p.options.output, c.name);
        EXPECT_EQ(p.options.muxer, c.muxer) << c.name;
        EXPECT_EQ(p.options.module, "../music/song.xm");
    }
    EXPECT_EQ(parse({}).options.module, "demomain.xm");
    EXPECT_TRUE(parse({"--version"}).options.version);
}

namespace {

// Whether libx264 starts on pictures of this size, as the recorder asks it.
bool x264Opens(int width, int height)
{
    const AVCodec *codec = avcodec_find_encoder_by_name("libx264");
    AVCodecContext *c = avcodec_alloc_context3(codec);
    c->width = width;
    c->height = height;
    c->time_base = AVRational{1, 60};
    c->pix_fmt = AV_PIX_FMT_YUV420P;
    bool ok = avcodec_open2(c, codec, nullptr) == 0;
    avcodec_free_context(&c);
    return ok;
}

}  // namespace

TEST(Options, SizeTakesExactlyWhatTheEncoderTakes)
{
    // FFmpeg decides: its picture check for the area, and libx264 itself
    // for each side (tried on a thin picture, so that the area is small).
    av_log_set_level(AV_LOG_QUIET);
    std::vector<int> sides = {16, 1080, 8192, 16126, 16128, 16130, 16382, 16384, 16386, 16388};
    for (int w : sides) {
        for (int h : sides) {
            bool takes = av_image_check_size((unsigned)w, (unsigned)h, 0, nullptr) == 0 && x264Opens(w, 16)
                         && x264Opens(16, h);
            std::string size = std::to_string(w) + "x" + std::to_string(h);
            Parsed p = parse({"--size", size});
            EXPECT_EQ(p.ok, takes) << size << ": " << p.error;
            // Refusing, it says how much it takes: the side's limit, or
            // the largest height FFmpeg's check allows at this width.
            if (p.ok || w > 16384)
                continue;
            std::string limit = "16384";
            if (h <= 16384) {
                int most = h;
                while (av_image_check_size((unsigned)w, (unsigned)most, 0, nullptr) != 0)
                    most -= 2;
                limit = std::to_string(most);
            }
            EXPECT_NE(p.error.find(limit), std::string::npos) << size << ": " << p.error;
        }
    }
}
