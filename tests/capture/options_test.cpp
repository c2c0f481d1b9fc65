// options_test.cpp -- the command line: what it takes, and the one-line
// reasons for what it refuses.
#include <gtest/gtest.h>

#include <string>
#include <vector>

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

}  // namespace

TEST(Options, DefaultsWithoutArguments)
{
    Parsed p = parse({});
    ASSERT_TRUE(p.ok) << p.error;
    EXPECT_EQ(p.options.output, "show.mp4");
    EXPECT_EQ(p.options.width, 1920);
    EXPECT_EQ(p.options.height, 1080);
    EXPECT_EQ(p.options.fps, 60);
    EXPECT_FALSE(p.options.quiet);
    EXPECT_FALSE(p.options.help);
}

TEST(Options, TakesEveryOptionInItsForms)
{
    Parsed p = parse({"-o", "a.mp4", "--size", "1280x720", "--fps", "30", "--quiet"});
    ASSERT_TRUE(p.ok) << p.error;
    EXPECT_EQ(p.options.output, "a.mp4");
    EXPECT_EQ(p.options.width, 1280);
    EXPECT_EQ(p.options.height, 720);
    EXPECT_EQ(p.options.fps, 30);
    EXPECT_TRUE(p.options.quiet);

    p = parse({"--output=b.mp4", "--size=160x120", "--fps=10", "-q", "-h"});
    ASSERT_TRUE(p.ok) << p.error;
    EXPECT_EQ(p.options.output, "b.mp4");
    EXPECT_EQ(p.options.width, 160);
    EXPECT_EQ(p.options.height, 120);
    EXPECT_EQ(p.options.fps, 10);
    EXPECT_TRUE(p.options.quiet);
    EXPECT_TRUE(p.options.help);

    // The limits themselves are allowed.
    p = parse({"--size", "16x32766", "--fps", "240"});
    ASSERT_TRUE(p.ok) << p.error;
    EXPECT_EQ(p.options.height, 32766);
    EXPECT_EQ(p.options.fps, 240);
    // Parsing twice in one process starts afresh.
    p = parse({"--fps", "1"});
    ASSERT_TRUE(p.ok) << p.error;
    EXPECT_EQ(p.options.fps, 1);
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
        {{"--size", "32768x100"}, "32766"},
        {{"-o", ""}, "empty"},
        {{"--size"}, "--size"},
        {{"-o"}, "-o"},
        {{"--nope"}, "--nope"},
        {{"-x"}, "-x"},
        {{"stray.mp4"}, "stray.mp4"},
    };
    for (const Case &c : cases) {
        std::string shown;
        for (const std::string &a : c.args)
            shown += "'" + a + "' ";
        SCOPED_TRACE(shown);
        Parsed p = parse(c.args);
        EXPECT_FALSE(p.ok);
        EXPECT_NE(p.error.find(c.mentions), std::string::npos) << p.error;
        EXPECT_EQ(p.error.find('\n'), std::string::npos) << p.error;
    }
}

TEST(Options, UsageNamesEveryOption)
{
    std::string text = usageText("capture", "demomain.xm");
    for (const char *o : {"-o", "--size", "--fps", "--quiet", "--help", "show.mp4", "1920x1080", "60"})
        EXPECT_NE(text.find(o), std::string::npos) << o;
}
