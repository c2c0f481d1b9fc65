//------------------------------------------------------------------------------
// xm_writer.cpp -- turns an xm::Module into the bytes of an .xm file
//------------------------------------------------------------------------------
#include "xm_writer.h"

#include <cmath>
#include <fstream>
#include <stdexcept>

namespace xm {

namespace {

constexpr uint32_t kHeaderSize = 276;        // counted from offset 60
constexpr uint32_t kInstrumentHeaderSize = 263;
constexpr uint32_t kSampleHeaderSize = 40;
constexpr int kMaxSamplesPerInstrument = 16;

class Writer {
  public:
    void u8(uint32_t v) { bytes.push_back(static_cast<uint8_t>(v)); }
    void u16(uint32_t v) { u8(v & 0xFF); u8((v >> 8) & 0xFF); }
    void u32(uint32_t v) { u16(v & 0xFFFF); u16((v >> 16) & 0xFFFF); }
    void zeros(size_t n) { bytes.insert(bytes.end(), n, 0); }
    // Fixed-width text field: cut to size, padded with zeros.
    void text(const std::string& s, size_t width) {
        for (size_t i = 0; i < width; ++i)
            u8(i < s.size() ? static_cast<uint8_t>(s[i]) : 0);
    }
    std::vector<uint8_t> bytes;
};

void Require(bool ok, const char* what) {
    if (!ok)
        throw std::invalid_argument(what);
}

void WriteHeader(Writer& w, const Module& m) {
    Require(m.channels >= 2 && m.channels <= 32 && m.channels % 2 == 0, "channel count must be even, 2..32");
    Require(!m.orders.empty() && m.orders.size() <= 256, "order list must have 1..256 entries");
    Require(m.restart >= 0 && m.restart < static_cast<int>(m.orders.size()), "restart position outside the order list");
    Require(!m.patterns.empty() && m.patterns.size() <= 256, "need 1..256 patterns");
    Require(m.instruments.size() <= 128, "at most 128 instruments");
    Require(m.speed >= 1 && m.speed <= 31, "speed must be 1..31");
    Require(m.bpm >= 32 && m.bpm <= 255, "BPM must be 32..255");
    for (uint8_t o : m.orders)
        Require(o < m.patterns.size(), "order refers to a missing pattern");

    w.text("Extended Module: ", 17);
    w.text(m.name, 20);
    w.u8(0x1A);
    w.text(m.tracker, 20);
    w.u16(0x0104);
    w.u32(kHeaderSize);
    w.u16(static_cast<uint32_t>(m.orders.size()));
    w.u16(static_cast<uint32_t>(m.restart));
    w.u16(static_cast<uint32_t>(m.channels));
    w.u16(static_cast<uint32_t>(m.patterns.size()));
    w.u16(static_cast<uint32_t>(m.instruments.size()));
    w.u16(1);  // linear frequency table
    w.u16(static_cast<uint32_t>(m.speed));
    w.u16(static_cast<uint32_t>(m.bpm));
    for (size_t i = 0; i < 256; ++i)
        w.u8(i < m.orders.size() ? m.orders[i] : 0);
}

// A cell with all five fields is stored as they are; any other cell gets a
// flag byte naming the fields that follow (an empty cell is just 0x80).
void WriteCell(Writer& w, const Cell& c) {
    Require(c.note <= kNoteOff, "note outside 0..97");
    Require(c.volume == 0 || c.volume >= 0x10, "bad volume column byte");
    const uint8_t fields[5] = {c.note, c.instrument, c.volume, c.effect, c.param};
    uint8_t flags = 0x80;
    for (int i = 0; i < 5; ++i)
        if (fields[i])
            flags |= static_cast<uint8_t>(1 << i);
    if (flags != 0x9F)
        w.u8(flags);
    for (uint8_t f : fields)
        if (f)
            w.u8(f);
}

void WritePattern(Writer& w, const Pattern& p, const Module& m) {
    Require(p.rows >= 1 && p.rows <= 256, "pattern rows must be 1..256");
    Require(p.channels == m.channels, "pattern channel count differs from the module's");
    Require(p.cells.size() == static_cast<size_t>(p.rows * p.channels), "pattern cell count does not match its size");
    w.u32(9);
    w.u8(0);
    w.u16(static_cast<uint32_t>(p.rows));
    // The packed cells follow their size, so they are packed first.
    Writer packed;
    for (const Cell& c : p.cells) {
        Require(c.instrument <= m.instruments.size(), "cell refers to a missing instrument");
        WriteCell(packed, c);
    }
    Require(packed.bytes.size() <= 0xFFFF, "packed pattern larger than 64 KiB");
    w.u16(static_cast<uint32_t>(packed.bytes.size()));
    w.bytes.insert(w.bytes.end(), packed.bytes.begin(), packed.bytes.end());
}

void WriteEnvelopePoints(Writer& w, const Envelope& e) {
    Require(e.points.size() <= kMaxEnvelopePoints, "more than 12 envelope points");
    for (size_t i = 0; i < e.points.size(); ++i) {
        Require(e.points[i].value <= 64, "envelope value above 64");
        Require(i == 0 || e.points[i].tick > e.points[i - 1].tick, "envelope ticks must rise");
        w.u16(e.points[i].tick);
        w.u16(e.points[i].value);
    }
    w.zeros(4 * (kMaxEnvelopePoints - e.points.size()));  // the unused points
}

uint8_t EnvelopeFlags(const Envelope& e) {
    if (e.points.empty())
        return 0;
    uint8_t flags = 1;
    if (e.sustain >= 0) flags |= 2;
    if (e.loopStart >= 0 && e.loopEnd >= e.loopStart) flags |= 4;
    return flags;
}

uint8_t PointIndex(int index, const Envelope& e) {
    Require(index < static_cast<int>(e.points.size()), "envelope sustain or loop point outside its points");
    return static_cast<uint8_t>(index < 0 ? 0 : index);
}

void WriteSampleHeader(Writer& w, const Sample& s) {
    Require(s.loop == Loop::None || (s.loopLength > 0 && s.loopStart + s.loopLength <= s.data.size()),
            "sample loop outside the sample");
    w.u32(static_cast<uint32_t>(s.data.size() * 2));
    w.u32(s.loop == Loop::None ? 0 : s.loopStart * 2);
    w.u32(s.loop == Loop::None ? 0 : s.loopLength * 2);
    Require(s.volume <= 64, "sample volume above 64");
    w.u8(s.volume);
    w.u8(static_cast<uint8_t>(s.finetune));
    w.u8(static_cast<uint8_t>(s.loop) | 0x10);
    w.u8(s.panning);
    w.u8(static_cast<uint8_t>(s.relativeNote));
    w.u8(0);
    w.text(s.name, 22);
}

// Sample data is stored as the difference from the previous frame.
void WriteSampleData(Writer& w, const Sample& s) {
    int16_t previous = 0;
    for (int16_t v : s.data) {
        w.u16(static_cast<uint16_t>(static_cast<uint16_t>(v) - static_cast<uint16_t>(previous)));
        previous = v;
    }
}

void WriteInstrument(Writer& w, const Instrument& ins) {
    Require(ins.samples.size() <= kMaxSamplesPerInstrument, "too many samples in one instrument");
    for (uint8_t s : ins.noteMap)
        Require(ins.samples.empty() || s < ins.samples.size(), "note map refers to a missing sample");
    // An instrument without samples ends after its sample count.
    w.u32(ins.samples.empty() ? 29 : kInstrumentHeaderSize);
    w.text(ins.name, 22);
    w.u8(0);
    w.u16(static_cast<uint32_t>(ins.samples.size()));
    if (ins.samples.empty())
        return;
    w.u32(kSampleHeaderSize);
    for (uint8_t s : ins.noteMap)
        w.u8(s);
    WriteEnvelopePoints(w, ins.volume);
    WriteEnvelopePoints(w, ins.panning);
    w.u8(static_cast<uint32_t>(ins.volume.points.size()));
    w.u8(static_cast<uint32_t>(ins.panning.points.size()));
    for (const Envelope* e : {&ins.volume, &ins.panning}) {
        w.u8(PointIndex(e->sustain, *e));
        w.u8(PointIndex(e->loopStart, *e));
        w.u8(PointIndex(e->loopEnd, *e));
    }
    w.u8(EnvelopeFlags(ins.volume));
    w.u8(EnvelopeFlags(ins.panning));
    w.u8(ins.vibrato.type);
    w.u8(ins.vibrato.sweep);
    w.u8(ins.vibrato.depth);
    w.u8(ins.vibrato.rate);
    w.u16(ins.fadeout);
    w.zeros(22);
    for (const Sample& s : ins.samples)
        WriteSampleHeader(w, s);
    for (const Sample& s : ins.samples)
        WriteSampleData(w, s);
}

}  // namespace

void TuneSample(Sample& sample, double rateAtC4) {
    // C-4 with no relative note plays at 8363 Hz; each semitone is 1/12 octave
    // and the finetune splits a semitone into 128 steps.
    long steps = std::lround(12.0 * 128.0 * std::log2(rateAtC4 / 8363.0));
    long note = steps >= 0 ? steps / 128 : -((-steps + 127) / 128);
    long fine = steps - note * 128;
    if (note < -96 || note > 95)
        throw std::invalid_argument("sample rate out of the playable range");
    sample.relativeNote = static_cast<int8_t>(note);
    sample.finetune = static_cast<int8_t>(fine);
}

double PlaybackRate(const Sample& sample, int note) {
    double period = 7680.0 - 64.0 * (note - 1 + sample.relativeNote) - sample.finetune / 2.0;
    return 8363.0 * std::pow(2.0, (4608.0 - period) / 768.0);
}

std::vector<uint8_t> Encode(const Module& module) {
    Writer w;
    WriteHeader(w, module);
    for (const Pattern& p : module.patterns)
        WritePattern(w, p, module);
    for (const Instrument& ins : module.instruments)
        WriteInstrument(w, ins);
    return w.bytes;
}

bool Save(const std::string& path, const Module& module) {
    std::vector<uint8_t> bytes = Encode(module);
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    if (!out)
        return false;
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    out.close();  // what is still buffered is written here, and may fail here
    return static_cast<bool>(out);
}

}  // namespace xm
