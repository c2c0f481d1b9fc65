//------------------------------------------------------------------------------
// xm_writer_test.cpp -- the encoder's bytes, and what libopenmpt reads from them
//------------------------------------------------------------------------------
#include "xm_writer.h"

#include <gtest/gtest.h>

#include <cmath>
#include <stdexcept>
#include <string>

#include "files.h"
#include "render.h"

namespace {

using composer_test::kRate;
using composer_test::Load;

uint32_t U16(const std::vector<uint8_t>& b, size_t at) { return b.at(at) | (b.at(at + 1) << 8); }
uint32_t U32(const std::vector<uint8_t>& b, size_t at) { return U16(b, at) | (U16(b, at + 2) << 16); }

xm::Sample ConstantSample(const char* name, size_t frames, int16_t value) {
    xm::Sample s;
    s.name = name;
    s.data.assign(frames, value);
    return s;
}

xm::Instrument OneSample(const char* name, xm::Sample s) {
    xm::Instrument ins;
    ins.name = name;
    ins.samples.push_back(std::move(s));
    return ins;
}

// Cells spread over two patterns of different lengths, touching every field,
// the packing's edge cases (a lone parameter, a key off, full cells) included.
xm::Module CellModule() {
    xm::Module m;
    m.name = "roundtrip";
    m.tracker = "writer test";
    m.channels = 4;
    m.speed = 3;
    m.bpm = 125;
    m.patterns = {xm::Pattern(16, 4), xm::Pattern(32, 4)};
    for (size_t p = 0; p < m.patterns.size(); ++p) {
        xm::Pattern& pat = m.patterns[p];
        for (int r = 0; r < pat.rows; ++r)
            for (int c = 0; c < 4; ++c) {
                int k = r * 4 + c + static_cast<int>(p) * 7;
                xm::Cell& cell = pat.at(r, c);
                if (k % 3 == 0) {
                    cell.note = static_cast<uint8_t>(1 + (k * 7) % 96);
                    cell.instrument = static_cast<uint8_t>(1 + k % 2);
                }
                if (k % 4 == 1)
                    cell.volume = xm::VolumeColumn(k % 65);
                if (k % 5 == 2) {
                    static const uint8_t kEffects[4] = {0x00, 0x04, 0x08, 0x0A};
                    cell.effect = kEffects[k % 4];
                    cell.param = cell.effect == 0x0A ? 0x0F : static_cast<uint8_t>(0x10 + k % 200);
                }
                if (k % 23 == 11)
                    cell = xm::Cell{xm::kNoteOff, 0, 0, 0, 0};
            }
    }
    m.orders = {1, 0, 1};
    m.restart = 1;
    m.instruments = {OneSample("first", ConstantSample("one", 800, 12000)),
                     OneSample("second", ConstantSample("two", 2000, -9000))};
    return m;
}

TEST(XmWriterBytes, HeaderFieldsSitAtTheirOffsets) {
    xm::Module m = CellModule();
    std::vector<uint8_t> b = xm::Encode(m);
    EXPECT_EQ(std::string(b.begin(), b.begin() + 17), "Extended Module: ");
    EXPECT_EQ(std::string(b.begin() + 17, b.begin() + 26), "roundtrip");
    EXPECT_EQ(b[26], 0);  // name padded with zeros
    EXPECT_EQ(b[37], 0x1A);
    EXPECT_EQ(std::string(b.begin() + 38, b.begin() + 49), "writer test");
    EXPECT_EQ(U16(b, 58), 0x0104u);
    EXPECT_EQ(U32(b, 60), 276u);
    EXPECT_EQ(U16(b, 64), 3u);  // song length
    EXPECT_EQ(U16(b, 66), 1u);  // restart position
    EXPECT_EQ(U16(b, 68), 4u);
    EXPECT_EQ(U16(b, 70), 2u);
    EXPECT_EQ(U16(b, 72), 2u);
    EXPECT_EQ(U16(b, 74), 1u);  // linear frequencies
    EXPECT_EQ(U16(b, 76), 3u);
    EXPECT_EQ(U16(b, 78), 125u);
    EXPECT_EQ(b[80], 1);
    EXPECT_EQ(b[81], 0);
    EXPECT_EQ(b[82], 1);
    EXPECT_EQ(b[83], 0);  // unused orders are zero
    // The first pattern header follows the 256-entry order table.
    EXPECT_EQ(U32(b, 336), 9u);
    EXPECT_EQ(b[340], 0);
    EXPECT_EQ(U16(b, 341), 16u);
}

TEST(XmWriterBytes, CellsArePackedByTheirFields) {
    xm::Module m = CellModule();
    m.patterns = {xm::Pattern(2, 4)};
    m.orders = {0};
    m.restart = 0;
    m.patterns[0].at(0, 1) = xm::Cell{49, 1, 0x50, 0x0F, 0x06};  // every field: stored raw
    m.patterns[0].at(1, 0) = xm::Cell{0, 0, 0, 0, 0x37};         // a lone parameter
    m.patterns[0].at(1, 2) = xm::Cell{xm::kNoteOff, 0, 0, 0, 0};
    std::vector<uint8_t> b = xm::Encode(m);
    const std::vector<uint8_t> expected = {0x80, 49, 1, 0x50, 0x0F, 0x06, 0x80, 0x80,
                                           0x90, 0x37, 0x80, 0x81, xm::kNoteOff, 0x80};
    ASSERT_EQ(U16(b, 343), expected.size());
    EXPECT_EQ(std::vector<uint8_t>(b.begin() + 345, b.begin() + 345 + expected.size()), expected);
}

TEST(XmWriterBytes, SamplesAreDeltaCodedSixteenBit) {
    xm::Module m = CellModule();
    xm::Sample s;
    s.data = {100, -200, 32767, -32768, 0};
    s.loop = xm::Loop::Forward;
    s.loopStart = 1;
    s.loopLength = 3;
    m.instruments = {OneSample("first", ConstantSample("one", 8, 1)), OneSample("deltas", s)};
    std::vector<uint8_t> b = xm::Encode(m);
    // The last instrument's data is the end of the file: 5 frames of 2 bytes.
    ASSERT_GE(b.size(), 10u + 40u);
    size_t data = b.size() - 10;
    size_t header = data - 40;
    EXPECT_EQ(U32(b, header), 10u);      // length in bytes
    EXPECT_EQ(U32(b, header + 4), 2u);   // loop start in bytes
    EXPECT_EQ(U32(b, header + 8), 6u);   // loop length in bytes
    EXPECT_EQ(b[header + 14], 0x11);     // forward loop, 16-bit
    int16_t running = 0;
    for (size_t i = 0; i < s.data.size(); ++i) {
        running = static_cast<int16_t>(static_cast<uint16_t>(running) + U16(b, data + 2 * i));
        EXPECT_EQ(running, s.data[i]) << "frame " << i;
    }
}

TEST(XmWriterBytes, RejectsWhatTheFormatCannotHold) {
    auto fails = [](auto change) {
        xm::Module m = CellModule();
        change(m);
        EXPECT_THROW(xm::Encode(m), std::invalid_argument);
    };
    fails([](xm::Module& m) { m.channels = 5; });
    fails([](xm::Module& m) { m.channels = 34; });
    fails([](xm::Module& m) { m.orders = {0, 2}; });
    fails([](xm::Module& m) { m.restart = 3; });
    fails([](xm::Module& m) { m.patterns[0].at(0, 0).note = 98; });
    fails([](xm::Module& m) { m.patterns[0].at(0, 0).instrument = 3; });
    fails([](xm::Module& m) { m.patterns[1] = xm::Pattern(257, 4); });
    fails([](xm::Module& m) { m.patterns[1] = xm::Pattern(16, 6); });
    fails([](xm::Module& m) { m.instruments[0].volume.points.assign(13, {0, 0}); });
    fails([](xm::Module& m) { m.instruments[0].volume.points = {{0, 64}, {10, 65}}; });
    fails([](xm::Module& m) { m.instruments[0].volume.points = {{5, 64}, {5, 32}}; });
    fails([](xm::Module& m) { m.instruments[0].volume.points = {{0, 64}}; m.instruments[0].volume.sustain = 1; });
    fails([](xm::Module& m) {
        m.instruments[0].samples[0].loop = xm::Loop::Forward;
        m.instruments[0].samples[0].loopStart = 700;
        m.instruments[0].samples[0].loopLength = 101;
    });
    xm::Module fine = CellModule();
    EXPECT_NO_THROW(xm::Encode(fine));
}

// A module of a few hundred bytes waits in the stream's buffer until the file
// is closed: a full disk must still be reported then.
TEST(XmWriterFile, SaveReportsWhatCannotBeWritten) {
    xm::Module tiny;
    tiny.orders = {0};
    tiny.patterns = {xm::Pattern(1, tiny.channels)};
    ASSERT_LT(xm::Encode(tiny).size(), 1024u);
    EXPECT_FALSE(xm::Save("/dev/full", tiny));
    EXPECT_FALSE(xm::Save("/nonexistent-dir/module.xm", tiny));
    ScratchDir dir("xm-writer-test");
    EXPECT_TRUE(xm::Save(dir.path() + "/tiny.xm", tiny));
    EXPECT_TRUE(readBytes(dir.path() + "/tiny.xm") == xm::Encode(tiny));
}

TEST(XmWriterPitch, TuningHitsTheAskedRate) {
    for (double rate : {8363.0, 22050.0, 44100.0, 66977.0, 14080.0, 4000.0}) {
        xm::Sample s;
        xm::TuneSample(s, rate);
        double got = xm::PlaybackRate(s, 49);
        EXPECT_NEAR(std::log2(got / rate) * 12.0 * 128.0, 0.0, 0.51) << rate;  // within half a finetune step
        // An octave up doubles the rate.
        EXPECT_NEAR(xm::PlaybackRate(s, 61) / got, 2.0, 1e-9);
    }
    // The sum of relative note and finetune, 28.78 semitones for 44.1 kHz.
    xm::Sample cd;
    xm::TuneSample(cd, 44100.0);
    EXPECT_NEAR(cd.relativeNote * 128 + cd.finetune, 3684, 1);
}

// ---- Read back by libopenmpt ---------------------------------------------

TEST(XmWriterReadBack, PatternsOrdersAndNamesSurvive) {
    xm::Module m = CellModule();
    std::string log;
    auto loaded = Load(xm::Encode(m), &log);
    openmpt::module& mod = *loaded;
    EXPECT_EQ(log, "");
    EXPECT_EQ(mod.get_metadata("title"), "roundtrip");
    EXPECT_EQ(mod.get_metadata("tracker"), "writer test");
    EXPECT_EQ(mod.get_num_channels(), 4);
    EXPECT_EQ(mod.get_current_speed(), 3);
    EXPECT_EQ(mod.get_current_tempo(), 125);
    ASSERT_EQ(mod.get_num_orders(), 3);
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(mod.get_order_pattern(i), m.orders[static_cast<size_t>(i)]);
    ASSERT_EQ(mod.get_num_patterns(), 2);
    EXPECT_EQ(mod.get_instrument_names(), (std::vector<std::string>{"first", "second"}));
    EXPECT_EQ(mod.get_sample_names(), (std::vector<std::string>{"one", "two"}));

    using M = openmpt::module;
    for (int p = 0; p < 2; ++p) {
        const xm::Pattern& pat = m.patterns[static_cast<size_t>(p)];
        ASSERT_EQ(mod.get_pattern_num_rows(p), pat.rows);
        for (int r = 0; r < pat.rows; ++r)
            for (int c = 0; c < 4; ++c) {
                const xm::Cell& cell = pat.at(r, c);
                SCOPED_TRACE("pattern " + std::to_string(p) + " row " + std::to_string(r) + " channel " + std::to_string(c));
                // libopenmpt counts octaves one higher than FastTracker and
                // keeps key off as 255.
                int note = cell.note == xm::kNoteOff ? 255 : cell.note ? cell.note + 12 : 0;
                EXPECT_EQ(mod.get_pattern_row_channel_command(p, r, c, M::command_note), note);
                EXPECT_EQ(mod.get_pattern_row_channel_command(p, r, c, M::command_instrument), cell.instrument);
                if (cell.volume) {
                    EXPECT_EQ(mod.format_pattern_row_channel_command(p, r, c, M::command_volumeffect), "v");
                    EXPECT_EQ(mod.get_pattern_row_channel_command(p, r, c, M::command_volume), cell.volume - 0x10);
                } else {
                    EXPECT_EQ(mod.get_pattern_row_channel_command(p, r, c, M::command_volumeffect), 0);
                }
                std::string effect = cell.effect || cell.param ? std::string(1, "0123456789ABCDEF"[cell.effect]) : ".";
                EXPECT_EQ(mod.format_pattern_row_channel_command(p, r, c, M::command_effect), effect);
                EXPECT_EQ(mod.get_pattern_row_channel_command(p, r, c, M::command_parameter), cell.param);
            }
    }
}

TEST(XmWriterReadBack, AnInstrumentWithoutSamplesKeepsTheNextInPlace) {
    xm::Module m = CellModule();
    xm::Instrument empty;
    empty.name = "empty";
    m.instruments.insert(m.instruments.begin() + 1, empty);
    std::string log;
    auto loaded = Load(xm::Encode(m), &log);
    EXPECT_EQ(log, "");
    EXPECT_EQ(loaded->get_instrument_names(), (std::vector<std::string>{"first", "empty", "second"}));
    EXPECT_EQ(loaded->get_sample_names(), (std::vector<std::string>{"one", "two"}));
}

// First and last frame in [from, to) whose level is above a fraction of the
// loudest there; -1 if none. libopenmpt lets a sample that ends die away over
// a few hundred frames instead of stopping dead, so lengths are read high up.
std::pair<long, long> Sounding(const std::vector<float>& pcm, double from, double to, float fraction) {
    long begin = static_cast<long>(from * kRate);
    long end = std::min<long>(static_cast<long>(to * kRate), static_cast<long>(pcm.size() / 2));
    float loudest = 0.0f;
    for (long i = begin; i < end; ++i)
        loudest = std::max(loudest, std::fabs(pcm[2 * i]) + std::fabs(pcm[2 * i + 1]));
    long first = -1, last = -1;
    for (long i = begin; i < end; ++i)
        if (std::fabs(pcm[2 * i]) + std::fabs(pcm[2 * i + 1]) > fraction * loudest && loudest > 0.0f) {
            if (first < 0)
                first = i;
            last = i;
        }
    return {first, last};
}

TEST(XmWriterReadBack, SampleLengthsLoopsAndEnvelopesPlay) {
    xm::Module m;
    m.channels = 2;
    m.speed = 6;
    m.bpm = 125;  // 0.12 s a row, 0.02 s a tick
    m.orders = {0};
    m.patterns = {xm::Pattern(64, 2)};
    xm::Sample ramp = ConstantSample("ramp", 2000, 0);
    for (size_t i = 0; i < ramp.data.size(); ++i)
        ramp.data[i] = static_cast<int16_t>(-16000 + static_cast<int>(i) * 16);
    xm::Sample looped = ConstantSample("looped", 400, 10000);
    looped.loop = xm::Loop::Forward;
    looped.loopStart = 100;
    looped.loopLength = 300;
    xm::Instrument faded = OneSample("faded", looped);
    faded.volume.points = {{0, 64}, {10, 32}, {20, 0}};
    m.instruments = {OneSample("flat", ConstantSample("flat", 800, 12000)), OneSample("ramp", ramp),
                     OneSample("looped", looped), faded};
    m.patterns[0].at(0, 0) = {49, 1, 0, 0, 0};   // 0.00 s
    m.patterns[0].at(16, 0) = {49, 2, 0, 0, 0};  // 1.92 s
    m.patterns[0].at(24, 1) = {49, 4, 0, 0, 0};  // 2.88 s
    m.patterns[0].at(40, 0) = {49, 3, 0, 0, 0};  // 4.80 s

    auto loaded = Load(xm::Encode(m));
    openmpt::module& mod = *loaded;
    mod.set_repeat_count(0);
    std::vector<float> pcm = composer_test::Render(mod, 8.0);
    ASSERT_GT(pcm.size() / 2, static_cast<size_t>(7.6 * kRate));
    const double stretch = kRate / 8363.0;  // C-4 with no tuning plays at 8363 Hz

    auto flat = Sounding(pcm, 0.0, 1.9, 0.8f);
    EXPECT_NEAR(flat.second - flat.first, 800 * stretch, 100);
    // A constant sample plays as a constant level; a delta-coding slip would not.
    long mid = (flat.first + flat.second) / 2;
    float ref = pcm[2 * mid];
    EXPECT_GT(ref, 0.01f);
    for (long i = flat.first + 300; i < flat.second - 300; ++i)
        ASSERT_NEAR(pcm[2 * i], ref, 0.01f * ref) << "frame " << i;

    auto rising = Sounding(pcm, 1.9, 2.8, 0.8f);
    EXPECT_NEAR(rising.second - rising.first, 2000 * stretch, 100);
    long quarter = (rising.second - rising.first) / 4;
    EXPECT_LT(pcm[2 * (rising.first + quarter)], 0.0f);
    EXPECT_GT(pcm[2 * (rising.second - quarter)], 0.0f);

    // The envelope fades a looped sample out within 20 ticks.
    auto fading = Sounding(pcm, 2.85, 4.75, 0.002f);
    ASSERT_GE(fading.first, 0);
    EXPECT_LT(fading.second, static_cast<long>(3.35 * kRate));
    double early = std::fabs(pcm[2 * (fading.first + kRate / 20) + 1]);
    double late = std::fabs(pcm[2 * (fading.first + kRate / 4) + 1]);
    EXPECT_GT(early, 1.5 * late);

    // The loop keeps a 400-frame sample going to the end of the pattern.
    auto held = Sounding(pcm, 4.75, 7.6, 0.002f);
    EXPECT_GE(held.second, static_cast<long>(7.6 * kRate) - 10);
}

}  // namespace
