//------------------------------------------------------------------------------
// xm_writer.h -- an in-memory FastTracker 2 module and its encoder
//
// Knows nothing about music: it holds cells, samples and envelopes and turns
// them into the bytes of an .xm file (version 0x0104, linear frequency table,
// 16-bit delta-coded samples).
//------------------------------------------------------------------------------
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace xm {

constexpr uint8_t kNoteOff = 97;   // the "key off" note value
constexpr int kMaxEnvelopePoints = 12;

// One pattern cell. Zero in a field means "nothing there"; the volume column
// holds the raw XM byte (0x10..0x50 = volume 0..64, 0xC0..0xCF = panning).
struct Cell {
    uint8_t note = 0;        // 1 = C-0 ... 96 = B-7, 97 = key off
    uint8_t instrument = 0;  // 1..128
    uint8_t volume = 0;
    uint8_t effect = 0;
    uint8_t param = 0;

    bool empty() const { return !note && !instrument && !volume && !effect && !param; }
};

inline uint8_t VolumeColumn(int volume) { return static_cast<uint8_t>(0x10 + volume); }

struct Pattern {
    int rows = 64;
    int channels = 0;
    std::vector<Cell> cells;  // row-major: rows * channels

    Pattern(int rowCount, int channelCount)
        : rows(rowCount), channels(channelCount), cells(static_cast<size_t>(rowCount * channelCount)) {}
    Cell& at(int row, int channel) { return cells.at(static_cast<size_t>(row * channels + channel)); }
    const Cell& at(int row, int channel) const { return cells.at(static_cast<size_t>(row * channels + channel)); }
};

struct EnvelopePoint {
    uint16_t tick;
    uint16_t value;  // 0..64
};

// An envelope is on when it has points. Sustain and loop refer to point indices.
struct Envelope {
    std::vector<EnvelopePoint> points;
    int sustain = -1;
    int loopStart = -1;
    int loopEnd = -1;
};

enum class Loop : uint8_t { None = 0, Forward = 1, PingPong = 2 };

struct Sample {
    std::string name;
    std::vector<int16_t> data;  // always stored as 16-bit
    Loop loop = Loop::None;
    uint32_t loopStart = 0;     // in sample frames
    uint32_t loopLength = 0;    // in sample frames
    uint8_t volume = 64;
    int8_t finetune = 0;        // 1/128 semitone
    uint8_t panning = 128;
    int8_t relativeNote = 0;
};

// Sets relative note and finetune so that note C-4 plays the sample at
// rateAtC4 frames per second (linear frequency table).
void TuneSample(Sample& sample, double rateAtC4);

// The playback rate of a sample for a note, by the linear table's formula.
double PlaybackRate(const Sample& sample, int note);

struct AutoVibrato {
    uint8_t type = 0;   // 0 sine, 1 square, 2 ramp down, 3 ramp up
    uint8_t sweep = 0;
    uint8_t depth = 0;
    uint8_t rate = 0;
};

struct Instrument {
    std::string name;
    std::vector<Sample> samples;
    std::array<uint8_t, 96> noteMap{};  // sample index for each note
    Envelope volume;
    Envelope panning;
    AutoVibrato vibrato;
    uint16_t fadeout = 0;
};

struct Module {
    std::string name;
    std::string tracker;
    int channels = 8;
    int speed = 6;     // ticks per row
    int bpm = 125;
    int restart = 0;   // order index the song loops back to
    std::vector<uint8_t> orders;
    std::vector<Pattern> patterns;
    std::vector<Instrument> instruments;
};

// Encodes the whole module. Throws std::invalid_argument when the module
// cannot be expressed as an XM file (odd channel count, too many points...).
std::vector<uint8_t> Encode(const Module& module);

// Encodes and writes the module; false when the file cannot be written.
bool Save(const std::string& path, const Module& module);

}  // namespace xm
