// music_files_test.cpp -- every bad music file leaves a whole, silent show.
//
// Each case puts its own "demomain.xm" in the runner's working directory,
// runs the show and checks it ended as usual, then compares the work done
// before the first frame with that of the show's own module. A file the
// music layer refuses leaves it with no module, whatever the reason, so its
// show ends by Esc after frame 250; a file that loads may play, so its
// show runs its whole course.
#include "show_fixture.h"

#include <fcntl.h>
#include <random>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// ---- reading and patching a module in place ---------------------------------

unsigned get16(const std::vector<unsigned char> &b, size_t at)
{
    return b[at] | b[at + 1] << 8;
}

unsigned get32(const std::vector<unsigned char> &b, size_t at)
{
    return b[at] | b[at + 1] << 8 | b[at + 2] << 16 | (unsigned)b[at + 3] << 24;
}

void put16(std::vector<unsigned char> &b, size_t at, unsigned v)
{
    b[at] = v & 0xff;
    b[at + 1] = (v >> 8) & 0xff;
}

void put32(std::vector<unsigned char> &b, size_t at, unsigned v)
{
    put16(b, at, v & 0xffff);
    put16(b, at + 2, v >> 16);
}

// Where the parts of an XM file start, found by walking it as a loader does.
struct XmLayout {
    std::vector<size_t> patterns;               // pattern headers
    std::vector<size_t> sampleHeaders;          // 40-byte sample headers
    size_t end = 0;                             // just past the last sample's data
};

XmLayout walkXm(const std::vector<unsigned char> &b)
{
    XmLayout x;
    size_t p = 60 + get32(b, 60);
    for (unsigned i = 0; i < get16(b, 70); ++i) {
        x.patterns.push_back(p);
        p += get32(b, p) + get16(b, p + 7);
    }
    for (unsigned i = 0; i < get16(b, 72); ++i) {
        unsigned samples = get16(b, p + 27);
        size_t headers = p + get32(b, p);
        size_t data = 0;
        for (unsigned s = 0; s < samples; ++s) {
            x.sampleHeaders.push_back(headers + 40 * s);
            data += get32(b, headers + 40 * s);
        }
        p = headers + 40 * samples + data;
    }
    x.end = p;
    return x;
}

// ---- the cases ----------------------------------------------------------------

struct MusicCase {
    const char *name;
    // Prepares "demomain.xm" in `dir` from the show's module.
    void (*prepare)(const std::string &dir, std::vector<unsigned char> module);
    const char *refusal;                        // what the music-off line must say, or null
    bool unprivileged;                          // run as a user the file's mode shuts out
};

void put(const std::string &dir, const std::vector<unsigned char> &bytes)
{
    ASSERT_TRUE(writeFile(dir + "/demomain.xm", bytes));
}

const MusicCase cases[] = {
    {"Missing", [](const std::string &, std::vector<unsigned char>) {}, "No such file or directory", false},
    {"Empty", [](const std::string &d, std::vector<unsigned char>) { put(d, {}); }, "empty file", false},
    {"RandomBytes",
     [](const std::string &d, std::vector<unsigned char>) {
         std::mt19937 random(20240601);
         std::vector<unsigned char> bytes(65536);
         for (unsigned char &c : bytes)
             c = (unsigned char)random();
         put(d, bytes);
     },
     "not a module that can be played", false},
    {"TruncatedInHeader",
     [](const std::string &d, std::vector<unsigned char> m) {
         m.resize(200);
         put(d, m);
     },
     nullptr, false},
    {"TruncatedInSamples",
     [](const std::string &d, std::vector<unsigned char> m) {
         m.resize(m.size() * 2 / 3);
         put(d, m);
     },
     nullptr, false},
    {"HugeSampleLengths",
     [](const std::string &d, std::vector<unsigned char> m) {
         for (size_t h : walkXm(m).sampleHeaders) {
             put32(m, h, 0xfffffff0u);
             put32(m, h + 4, 0x7fffffffu);
             put32(m, h + 8, 0xffffffffu);
         }
         put(d, m);
     },
     nullptr, false},
    {"ManyLongPatterns",
     [](const std::string &d, std::vector<unsigned char> m) {
         // 256 patterns of 256 rows, all in the order list, against the
         // few patterns the file really holds.
         for (size_t p : walkXm(m).patterns)
             put16(m, p + 5, 256);
         put16(m, 70, 256);
         put16(m, 64, 256);
         for (unsigned i = 0; i < 256; ++i)
             m[80 + i] = (unsigned char)i;
         put(d, m);
     },
     nullptr, false},
    {"ZeroOrders",
     [](const std::string &d, std::vector<unsigned char> m) {
         put16(m, 64, 0);
         put(d, m);
     },
     nullptr, false},
    {"HeaderFieldsAtMaximum",
     [](const std::string &d, std::vector<unsigned char> m) {
         put32(m, 60, 0xffffffffu);             // header size
         put16(m, 66, 0xffff);                  // restart position
         put16(m, 68, 0xffff);                  // channels
         put16(m, 72, 0xffff);                  // instruments
         put16(m, 76, 0xffff);                  // tempo
         put16(m, 78, 0xffff);                  // BPM
         put(d, m);
     },
     nullptr, false},
    {"Directory",
     [](const std::string &d, std::vector<unsigned char>) {
         ASSERT_EQ(mkdir((d + "/demomain.xm").c_str(), 0755), 0);
     },
     "is a directory", false},
    {"FifoWithoutWriter",
     [](const std::string &d, std::vector<unsigned char>) {
         ASSERT_EQ(mkfifo((d + "/demomain.xm").c_str(), 0644), 0);
     },
     "not a regular file", false},
    {"LinkToDevZero",
     [](const std::string &d, std::vector<unsigned char>) {
         ASSERT_EQ(symlink("/dev/zero", (d + "/demomain.xm").c_str()), 0);
     },
     "not a regular file", false},
    {"OverSizeLimit",
     [](const std::string &d, std::vector<unsigned char> m) {
         // A playable module at the front and a hole after it: read in full,
         // it would load; the size alone must refuse it.
         put(d, m);
         ASSERT_EQ(truncate((d + "/demomain.xm").c_str(), 64LL * 1024 * 1024 + 1), 0);
     },
     "file larger than 64 MiB", false},
    {"NoReadPermission",
     [](const std::string &d, std::vector<unsigned char> m) {
         put(d, m);
         ASSERT_EQ(chmod((d + "/demomain.xm").c_str(), 0), 0);
     },
     "Permission denied", true},
};

void PrintTo(const MusicCase &c, std::ostream *os)
{
    *os << c.name;
}

class BadMusicFile : public ShowTest, public testing::WithParamInterface<MusicCase> {
};

TEST_P(BadMusicFile, FullCourseAndNoExtraWorkBeforeTheFirstFrame)
{
    const MusicCase &c = GetParam();
    c.prepare(scratch.path(), module);
    ASSERT_FALSE(HasFatalFailure());
    Launch launch = c.refusal ? with(runner(), "SHOW_RUNNER_ESC_AT=250") : runner();
    launch.asNobody = c.unprivileged;

    ChildProcess p;
    expectFullCourse(launch, &p);
    if (c.refusal) {
        EXPECT_NE(p.err.find(std::string(": music off: demomain.xm: ") + c.refusal), std::string::npos)
            << "stderr:\n" << tailOf(p.err);
    }

    // No more work before the first frame than the show's own module costs,
    // give or take; a file that blocked would give no first frame at all.
    // (The milliseconds to the first frame are the benchmark's.)
    EXPECT_LE(startWorkOverGood(launch), 1.5) << "more work before the first frame than with the show's own module";
}

INSTANTIATE_TEST_SUITE_P(Matrix, BadMusicFile, testing::ValuesIn(cases),
                         [](const testing::TestParamInfo<MusicCase> &info) { return info.param.name; });

// The hostile files above are made by patching the show's module; the
// patches must land where the format puts those fields.
TEST(HostileModules, WalkFindsEveryPartOfTheModule)
{
    std::vector<unsigned char> m = readBytes(binaryPath("demomain.xm"));
    ASSERT_GT(m.size(), 336u);
    XmLayout x = walkXm(m);
    EXPECT_EQ(x.patterns.size(), get16(m, 70));
    EXPECT_FALSE(x.sampleHeaders.empty());
    EXPECT_EQ(x.end, m.size());
    for (size_t p : x.patterns) {
        EXPECT_EQ(get32(m, p), 9u);             // every pattern header is 9 bytes long
        EXPECT_EQ(m[p + 4], 0);                 // packing type
    }
}

class GoodMusicFile : public ShowWithModule {
};

// The baseline every bad file is held against is itself a whole course.
TEST_F(GoodMusicFile, FullCourse)
{
    ChildProcess p;
    expectFullCourse(runner(), &p);
    EXPECT_EQ(p.err.find("music off"), std::string::npos) << "the show's own module did not play:\n" << p.err;
}

}  // namespace
