//------------------------------------------------------------------------------
// song_test.cpp -- the committed module, as the composer writes it and as a
// listener hears it through libopenmpt (and, when installed, xmp)
//------------------------------------------------------------------------------
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <set>

#include "child_process.h"
#include "files.h"
#include "render.h"
#include "score.h"

namespace {

using namespace composer_test;

const std::vector<uint8_t>& Committed() {
    static const std::vector<uint8_t> bytes = readBytes(COMMITTED_MODULE);
    return bytes;
}

std::unique_ptr<openmpt::module> Open(std::string* log = nullptr) {
    return Load(Committed(), log);
}

// One render of the whole piece, played once, shared by the tests.
const std::vector<float>& WholeSong() {
    static const std::vector<float> pcm = [] {
        auto m = Open();
        m->set_repeat_count(0);
        return Render(*m, m->get_duration_seconds() + 5.0);
    }();
    return pcm;
}

TEST(SongFile, ComposerWritesTheCommittedModule) {
    ASSERT_FALSE(Committed().empty()) << COMMITTED_MODULE;
    ScratchDir scratch("composer-test");
    const std::string &dir = scratch.path();
    // Once with a path, once with the default name in the working directory.
    std::string named = dir + "/named.xm";
    ASSERT_EQ(std::system(("'" COMPOSER_PROGRAM "' '" + named + "'").c_str()), 0);
    ASSERT_EQ(std::system(("cd '" + dir + "' && '" COMPOSER_PROGRAM "'").c_str()), 0);
    EXPECT_TRUE(readBytes(named) == Committed()) << "regenerate with: composer assets/demomain.xm";
    EXPECT_TRUE(readBytes(dir + "/demomain.xm") == Committed());
}

TEST(SongFile, FitsInTwoMebibytes) {
    EXPECT_GT(Committed().size(), 1000u);
    EXPECT_LE(Committed().size(), 2u * 1024 * 1024);
}

TEST(SongForm, LoadsWithoutWarnings) {
    std::string log;
    auto m = Open(&log);
    EXPECT_EQ(log, "");
    EXPECT_EQ(m->get_metadata("warnings"), "");
    EXPECT_EQ(m->get_metadata("type"), "xm");
}

TEST(SongForm, HasTheShapeOfAPiece) {
    auto m = Open();
    EXPECT_GE(m->get_num_channels(), 8);
    EXPECT_LE(m->get_num_channels(), 16);
    EXPECT_GE(m->get_duration_seconds(), 80.0);
    EXPECT_GE(m->get_num_instruments(), 6);
    EXPECT_EQ(m->get_current_speed(), 6);  // four rows a beat at speed 6: tempo is BPM
    EXPECT_GE(m->get_current_tempo(), 110);
    EXPECT_LE(m->get_current_tempo(), 150);

    // At least 8 different patterns in the order list, different in content.
    ASSERT_GE(m->get_num_orders(), 16);
    std::set<std::string> distinct;
    for (int o = 0; o < m->get_num_orders(); ++o) {
        int p = m->get_order_pattern(o);
        std::string content;
        for (int r = 0; r < m->get_pattern_num_rows(p); ++r)
            for (int c = 0; c < m->get_num_channels(); ++c)
                content += m->format_pattern_row_channel(p, r, c);
        distinct.insert(content);
    }
    EXPECT_GE(distinct.size(), 8u);
}

TEST(SongForm, EveryInstrumentIsPlayed) {
    xm::Module song = score::ComposeSong();
    std::set<int> used;
    for (uint8_t o : song.orders)
        for (const xm::Cell& c : song.patterns[o].cells)
            if (c.instrument)
                used.insert(c.instrument);
    EXPECT_EQ(used.size(), song.instruments.size());
    EXPECT_GE(song.instruments.size(), 6u);
}

TEST(SongLevels, AWholeRenderMeetsTheFigures) {
    auto m = Open();
    const std::vector<float>& pcm = WholeSong();
    double seconds = static_cast<double>(pcm.size() / 2) / kRate;
    EXPECT_NEAR(seconds, m->get_duration_seconds(), 0.15);  // the last notes ring a little past the end
    EXPECT_LT(PeakDb(pcm), -0.3);
    double rms = RmsDb(pcm, 0, pcm.size() / 2);
    EXPECT_GT(rms, -22.0);
    EXPECT_LT(rms, -12.0);
    // No stretch of the piece drops out.
    for (size_t start = 0; start + 2 * kRate <= pcm.size() / 2; start += kRate)
        EXPECT_GT(RmsDb(pcm, start, start + 2 * kRate), -40.0) << "at " << start / kRate << " s";
}

// Sum of squared differences between two stretches of interleaved frames.
double Difference(const std::vector<float>& a, size_t atA, const std::vector<float>& b, size_t atB, size_t frames) {
    double sum = 0.0;
    for (size_t i = 0; i < frames * 2; ++i) {
        double d = static_cast<double>(a[atA * 2 + i]) - b[atB * 2 + i];
        sum += d * d;
    }
    return sum;
}

TEST(SongLoop, TheRestartIsSeamless) {
    auto m = Open();
    m->set_repeat_count(-1);
    const double length = m->get_duration_seconds();
    std::vector<float> pcm = Render(*m, length + 6.0);
    ASSERT_EQ(pcm.size() / 2, static_cast<size_t>((length + 6.0) * kRate));
    const int restartOrder = Committed().at(66) | Committed().at(67) << 8;
    EXPECT_EQ(m->get_current_order(), restartOrder);

    // Up to the loop point the looping render is the single pass; the first
    // frame where they part is where the song jumped back.
    const std::vector<float>& once = WholeSong();
    size_t loop = 0;
    while (loop * 2 < once.size() && once[loop * 2] == pcm[loop * 2] && once[loop * 2 + 1] == pcm[loop * 2 + 1])
        ++loop;
    ASSERT_NEAR(static_cast<double>(loop) / kRate, length, 0.2);

    // No silence longer than 50 ms from a second before the loop point to a
    // second after it.
    const size_t block = kRate / 200;  // 5 ms
    size_t quiet = 0, longest = 0;
    for (size_t b = loop - kRate; b < loop + kRate; b += block) {
        quiet = RmsDb(pcm, b, b + block) < -60.0 ? quiet + block : 0;
        longest = std::max(longest, quiet);
    }
    EXPECT_LT(longest, kRate / 20);

    // No step in level across it.
    double before = RmsDb(pcm, loop - kRate / 2, loop);
    double after = RmsDb(pcm, loop, loop + kRate / 2);
    EXPECT_NEAR(before, after, 3.0);

    // Once the previous pattern's last notes have died away, the second pass
    // is the first pass from the restart position, frame for frame.
    auto first = Open();
    const size_t restart = static_cast<size_t>(first->set_position_order_row(restartOrder, 0) * kRate);
    const size_t again = loop + kRate;
    size_t best = 0;
    double bestDiff = -1.0;
    for (size_t at = restart + kRate - kRate / 5; at < restart + kRate + kRate / 5; ++at) {
        double d = Difference(once, at, pcm, again, 2048);
        if (bestDiff < 0.0 || d < bestDiff) {
            bestDiff = d;
            best = at;
        }
    }
    double level = Difference(once, best, std::vector<float>(once.size(), 0.0f), 0, 3 * kRate);
    double diff = Difference(once, best, pcm, again, 3 * kRate);
    EXPECT_LT(10.0 * std::log10(diff / level), -60.0);
}

// xmp writes "Duration     : 1min50s" to stderr when it loads a module.
TEST(SongPlayers, XmpLoadsItWithTheSameDuration) {
    std::string xmp = XMP_PROGRAM;
    if (xmp.empty())
        GTEST_SKIP() << "xmp is not installed";
    Finished run = runToEnd({xmp, {"--load-only", COMMITTED_MODULE}});
    std::string out = run.out + run.err;
    EXPECT_EQ(out.find("Unrecognized"), std::string::npos) << out;
    EXPECT_EQ(out.find("Error"), std::string::npos) << out;
    size_t at = out.find("Duration");
    ASSERT_NE(at, std::string::npos) << out;
    int minutes = -1, seconds = -1;
    ASSERT_EQ(std::sscanf(out.c_str() + at, "Duration : %dmin%ds", &minutes, &seconds), 2) << out;
    int xmpSeconds = minutes * 60 + seconds;
    EXPECT_NEAR(xmpSeconds, Open()->get_duration_seconds(), 1.0);
}

}  // namespace
