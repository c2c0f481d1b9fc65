//------------------------------------------------------------------------------
// instruments_test.cpp -- the synthesised samples: level, loops, tuning
//------------------------------------------------------------------------------
#include "score.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace {

constexpr double kPi = 3.14159265358979323846;

const std::vector<xm::Instrument>& All() {
    static const std::vector<xm::Instrument> all = instruments::MakeAll();
    return all;
}

const xm::Sample& SampleOf(int id) { return All().at(static_cast<size_t>(id - 1)).samples.at(0); }

int Peak(const xm::Sample& s) {
    int peak = 0;
    for (int16_t v : s.data)
        peak = std::max(peak, std::abs(static_cast<int>(v)));
    return peak;
}

TEST(Instruments, EveryOneHasAFullScaleSample) {
    ASSERT_EQ(All().size(), static_cast<size_t>(instruments::Count));
    for (const xm::Instrument& ins : All()) {
        SCOPED_TRACE(ins.name);
        ASSERT_EQ(ins.samples.size(), 1u);
        const xm::Sample& s = ins.samples[0];
        EXPECT_GT(s.data.size(), 100u);
        // Normalised to 95%: loud, yet no frame pinned at the limits.
        EXPECT_NEAR(Peak(s), 0.95 * 32767, 2);
    }
}

TEST(Instruments, TheSameCallMakesTheSameSamples) {
    std::vector<xm::Instrument> again = instruments::MakeAll();
    for (size_t i = 0; i < again.size(); ++i)
        EXPECT_EQ(again[i].samples[0].data, All()[i].samples[0].data) << All()[i].name;
}

TEST(Instruments, DrumsEndInSilence) {
    for (int id : {instruments::Kick, instruments::Snare, instruments::ClosedHat, instruments::OpenHat, instruments::Crash}) {
        const xm::Sample& s = SampleOf(id);
        SCOPED_TRACE(s.name);
        EXPECT_EQ(s.loop, xm::Loop::None);
        EXPECT_LE(std::abs(static_cast<int>(s.data.back())), 40);
        EXPECT_LE(std::abs(static_cast<int>(s.data.front())), 3000);  // no hard click on the attack either
    }
}

TEST(Instruments, SustainedSoundsLoopWithoutASeam) {
    for (int id : {instruments::Bass, instruments::Lead, instruments::Pad, instruments::Pluck}) {
        const xm::Instrument& ins = All()[static_cast<size_t>(id - 1)];
        const xm::Sample& s = ins.samples[0];
        SCOPED_TRACE(ins.name);
        ASSERT_EQ(s.loop, xm::Loop::Forward);
        ASSERT_GT(s.loopLength, 0u);
        ASSERT_EQ(s.loopStart + s.loopLength, s.data.size());
        EXPECT_FALSE(ins.volume.points.empty());
        // The step from the loop's last frame back to its first is no bigger
        // than the steps inside the loop.
        int largest = 0;
        for (size_t i = s.loopStart + 1; i < s.data.size(); ++i)
            largest = std::max(largest, std::abs(s.data[i] - s.data[i - 1]));
        int seam = std::abs(s.data[s.loopStart] - s.data.back());
        EXPECT_LE(seam, largest);
        EXPECT_GT(largest, 0);
    }
}

// Average of the strongest DFT bins (within half the strongest) below maxBin.
double FundamentalBins(const xm::Sample& s, int maxBin) {
    const size_t n = s.loopLength;
    std::vector<double> magnitude(static_cast<size_t>(maxBin) + 1, 0.0);
    for (int k = 1; k <= maxBin; ++k) {
        double re = 0.0, im = 0.0;
        for (size_t i = 0; i < n; ++i) {
            double phase = 2.0 * kPi * static_cast<double>((static_cast<size_t>(k) * i) % n) / n;
            re += s.data[s.loopStart + i] * std::cos(phase);
            im += s.data[s.loopStart + i] * std::sin(phase);
        }
        magnitude[static_cast<size_t>(k)] = std::hypot(re, im);
    }
    double top = *std::max_element(magnitude.begin(), magnitude.end());
    double sum = 0.0;
    int count = 0;
    for (int k = 1; k <= maxBin; ++k)
        if (magnitude[static_cast<size_t>(k)] > 0.5 * top) {
            sum += k;
            ++count;
        }
    return sum / count;
}

TEST(Instruments, PitchedSoundsPlayMiddleCOnC4) {
    for (int id : {instruments::Bass, instruments::Lead, instruments::Pad, instruments::Pluck}) {
        const xm::Sample& s = SampleOf(id);
        SCOPED_TRACE(s.name);
        int maxBin = static_cast<int>(s.loopLength / 100);  // periods are 128 frames or longer
        double cycles = FundamentalBins(s, std::max(maxBin, 1));
        double hz = xm::PlaybackRate(s, 49) * cycles / s.loopLength;
        double cents = 1200.0 * std::log2(hz / 261.6256);
        EXPECT_NEAR(cents, 0.0, 2.0) << hz << " Hz";
    }
}

TEST(Instruments, DrumsPlayAtTheirOwnRateOnC4) {
    for (int id : {instruments::Kick, instruments::Snare, instruments::ClosedHat, instruments::OpenHat, instruments::Crash})
        EXPECT_NEAR(xm::PlaybackRate(SampleOf(id), 49), 44100.0, 20.0);
}

}  // namespace
