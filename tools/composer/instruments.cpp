//------------------------------------------------------------------------------
// instruments.cpp -- drum and synth sounds, made sample by sample
//
// Drums are one-shot samples rendered at 44.1 kHz. The pitched sounds are
// sums of sine harmonics over a loop in which every voice completes a whole
// number of cycles, so the loop joins without a seam; an optional attack
// before the loop lets the tone change (a filter closing) before it settles.
//------------------------------------------------------------------------------
#include "score.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <functional>
#include <numeric>

namespace instruments {

namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr double kRate = 44100.0;
constexpr double kMiddleC = 261.6255653005986;  // what note C-4 sounds

// xorshift32: noise that is the same on every run.
class Noise {
  public:
    explicit Noise(uint32_t seed) : state_(seed ? seed : 1) {}
    double next() {  // -1..1
        state_ ^= state_ << 13;
        state_ ^= state_ >> 17;
        state_ ^= state_ << 5;
        return static_cast<double>(state_) / 2147483648.0 - 1.0;
    }
    uint32_t bits() { next(); return state_; }

  private:
    uint32_t state_;
};

// One-pole high-pass filter.
class HighPass {
  public:
    explicit HighPass(double cutoff) : a_(1.0 / (1.0 + 2.0 * kPi * cutoff / kRate)) {}
    double operator()(double x) {
        y_ = a_ * (y_ + x - x_);
        x_ = x;
        return y_;
    }

  private:
    double a_, x_ = 0.0, y_ = 0.0;
};

// The signal as a 16-bit sample at 95% of full scale, played at rateAtC4
// frames a second by note C-4, and looped forward over loopLength frames
// from loopStart unless loopLength is 0.
xm::Sample MakeSample(const char* name, const std::vector<double>& signal, double rateAtC4, size_t loopStart = 0,
                      size_t loopLength = 0) {
    double peak = 0.0;
    for (double v : signal)
        peak = std::max(peak, std::fabs(v));
    double gain = peak > 0.0 ? 0.95 * 32767.0 / peak : 0.0;
    xm::Sample s;
    s.name = name;
    for (double v : signal)
        s.data.push_back(static_cast<int16_t>(std::lround(v * gain)));
    if (loopLength > 0) {
        s.loop = xm::Loop::Forward;
        s.loopStart = static_cast<uint32_t>(loopStart);
        s.loopLength = static_cast<uint32_t>(loopLength);
    }
    xm::TuneSample(s, rateAtC4);
    return s;
}

std::vector<double> Render(double seconds, const std::function<double(double)>& at) {
    std::vector<double> out(static_cast<size_t>(seconds * kRate));
    for (size_t i = 0; i < out.size(); ++i)
        out[i] = at(static_cast<double>(i) / kRate);
    return out;
}

// The metallic core of the hats and the cymbal: six square waves at
// unrelated frequencies, as analogue drum machines do it.
double Metal(double t) {
    static const double kFreqs[6] = {205.3, 304.4, 369.6, 522.7, 540.0, 800.0};
    double sum = 0.0;
    for (double f : kFreqs)
        sum += std::fmod(t * f * 2.7, 1.0) < 0.5 ? 1.0 : -1.0;
    return sum / 6.0;
}

// Harmonic h of every voice has amplitude gain(h, t), t running 0..1 through
// the attack and staying 1 over the loop. Voice v completes cycles[v] cycles
// in loopFrames frames.
using HarmonicGain = std::function<double(int h, double t)>;

struct Additive {
    int attackFrames = 0;
    int loopFrames = 256;
    std::vector<int> cycles = {1};
    int harmonics = 16;
    bool randomPhase = false;
    HarmonicGain gain;
};

std::vector<double> Synthesise(const Additive& a, uint32_t seed) {
    // A sine table as long as the loop makes every phase an exact integer
    // index, so the last frame of the loop leads into the first.
    std::vector<double> table(static_cast<size_t>(a.loopFrames));
    for (int i = 0; i < a.loopFrames; ++i)
        table[static_cast<size_t>(i)] = std::sin(2.0 * kPi * i / a.loopFrames);

    Noise noise(seed);
    int voices = static_cast<int>(a.cycles.size());
    std::vector<int64_t> offset(static_cast<size_t>(voices * a.harmonics), 0);
    if (a.randomPhase)
        for (int64_t& o : offset)
            o = noise.bits() % static_cast<uint32_t>(a.loopFrames);

    int total = a.attackFrames + a.loopFrames;
    std::vector<double> out(static_cast<size_t>(total), 0.0);
    std::vector<double> g(static_cast<size_t>(a.harmonics));
    for (int n = 0; n < total; ++n) {
        double t = n < a.attackFrames ? static_cast<double>(n) / a.attackFrames : 1.0;
        if (n <= a.attackFrames)  // the gains are constant over the loop
            for (int h = 1; h <= a.harmonics; ++h)
                g[static_cast<size_t>(h - 1)] = a.gain(h, t);
        double sum = 0.0;
        for (int v = 0; v < voices; ++v) {
            int64_t step = a.cycles[static_cast<size_t>(v)];
            for (int h = 1; h <= a.harmonics; ++h) {
                size_t k = static_cast<size_t>(v * a.harmonics + h - 1);
                int64_t index = (h * step * n + offset[k]) % a.loopFrames;
                sum += g[static_cast<size_t>(h - 1)] * table[static_cast<size_t>(index)];
            }
        }
        out[static_cast<size_t>(n)] = sum;
    }
    return out;
}

// A pitched sample from an additive recipe: looped over its loop part and
// tuned so that note C-4 sounds middle C.
xm::Sample PitchedSample(const char* name, const Additive& a, uint32_t seed) {
    double meanCycles = std::accumulate(a.cycles.begin(), a.cycles.end(), 0.0) / static_cast<double>(a.cycles.size());
    return MakeSample(name, Synthesise(a, seed), kMiddleC * a.loopFrames / meanCycles,
                      static_cast<size_t>(a.attackFrames), static_cast<size_t>(a.loopFrames));
}

xm::Sample DrumSample(const char* name, std::vector<double> signal) {
    // Short fades at both ends, so the sample starts and stops without a click.
    size_t fadeIn = std::min(signal.size(), size_t{16});
    for (size_t i = 0; i < fadeIn; ++i)
        signal[i] *= static_cast<double>(i) / static_cast<double>(fadeIn);
    size_t fadeOut = std::min(signal.size(), static_cast<size_t>(0.005 * kRate));
    for (size_t i = 0; i < fadeOut; ++i)
        signal[signal.size() - 1 - i] *= static_cast<double>(i) / static_cast<double>(fadeOut);
    return MakeSample(name, signal, kRate);  // C-4 plays it as rendered
}

// An instrument of one sample, named after it. Its volume envelope is held at
// point `sustain` (-1: not held) while the key is down; after key off the
// sound fades out by `fadeout` a tick.
xm::Instrument Instrument(xm::Sample sample, uint8_t panning, std::vector<xm::EnvelopePoint> envelope = {},
                          int sustain = -1, uint16_t fadeout = 0) {
    xm::Instrument ins;
    ins.name = sample.name;
    sample.panning = panning;
    ins.samples.push_back(std::move(sample));
    ins.volume.points = std::move(envelope);
    ins.volume.sustain = sustain;
    ins.fadeout = fadeout;
    return ins;
}

xm::Instrument MakeKick() {
    Noise noise(0x4b1c);
    double phase = 0.0;
    std::vector<double> body = Render(0.32, [&](double t) {
        double f = 46.0 + 120.0 * std::exp(-t * 32.0);  // the pitch drop is the punch
        phase += 2.0 * kPi * f / kRate;
        double tone = std::sin(phase) * std::exp(-t * 8.0);
        double click = noise.next() * std::exp(-t * 500.0) * 0.4;
        return std::tanh(1.6 * (tone + click));
    });
    return Instrument(DrumSample("kick", body), 128);
}

xm::Instrument MakeSnare() {
    Noise noise(0x5a4e);
    HighPass hp(1200.0);
    std::vector<double> body = Render(0.26, [&](double t) {
        double tone = 0.55 * std::sin(2.0 * kPi * 185.0 * t) * std::exp(-t * 28.0) +
                      0.25 * std::sin(2.0 * kPi * 330.0 * t) * std::exp(-t * 36.0);
        double rattle = hp(noise.next()) * std::exp(-t * 13.0);
        return tone + 0.9 * rattle;
    });
    return Instrument(DrumSample("snare", body), 128);
}

std::vector<double> Cymbal(double seconds, double decay, double cutoff, uint32_t seed) {
    Noise noise(seed);
    HighPass hp1(cutoff), hp2(cutoff);
    return Render(seconds, [&](double t) {
        double x = 0.6 * Metal(t) + 0.5 * noise.next();
        double attack = std::min(1.0, t * 2000.0);  // 0.5 ms, no click
        return hp2(hp1(x)) * std::exp(-t * decay) * attack;
    });
}

xm::Instrument MakeBass() {
    // A sawtooth under a low-pass that closes over the attack, with the
    // fundamental doubled for weight.
    Additive a;
    a.attackFrames = 8192;
    a.loopFrames = 256;
    a.harmonics = 40;
    a.gain = [](int h, double t) {
        double cutoff = 4.0 + 26.0 * std::exp(-t * 5.0);
        double x = h / cutoff;
        return (h == 1 ? 2.0 : 1.0) / h / (1.0 + x * x * x * x);
    };
    return Instrument(PitchedSample("bass", a, 0xba55), 128, {{0, 64}, {8, 50}, {30, 44}}, 2, 4096);
}

xm::Instrument MakeLead() {
    // Two voices a few cents apart, each half sawtooth and half square.
    Additive a;
    a.loopFrames = 16384;
    a.cycles = {128, 129};
    a.harmonics = 20;
    a.gain = [](int h, double) { return (h % 2 ? 1.0 : 0.45) / h; };
    xm::Instrument ins = Instrument(PitchedSample("lead", a, 0x1ead), 128, {{0, 40}, {2, 64}, {12, 52}}, 2, 1536);
    ins.vibrato = {0, 48, 3, 8};
    return ins;
}

xm::Instrument MakePad() {
    // Three detuned soft sawtooths with scattered phases: a slow chorus.
    Additive a;
    a.loopFrames = 32768;
    a.cycles = {127, 128, 129};
    a.harmonics = 16;
    a.randomPhase = true;
    a.gain = [](int h, double) { return 1.0 / std::pow(h, 1.3); };
    return Instrument(PitchedSample("pad", a, 0x9ad), 128, {{0, 0}, {20, 64}, {60, 50}}, 2, 600);
}

xm::Instrument MakePluck() {
    // A hollow square whose brightness falls quickly; the envelope ends it.
    Additive a;
    a.attackFrames = 4096;
    a.loopFrames = 128;
    a.harmonics = 24;
    a.gain = [](int h, double t) {
        double cutoff = 3.0 + 20.0 * std::exp(-t * 4.0);
        double x = h / cutoff;
        return (h % 2 ? 1.0 : 0.2) / h / (1.0 + x * x);
    };
    return Instrument(PitchedSample("pluck", a, 0x91c), 128, {{0, 64}, {6, 30}, {20, 10}, {40, 0}});
}

xm::Instrument MakeRiser() {
    // Half a second of softened noise, looped with a cross-fade so the seam
    // does not tick. The envelope swells over two bars; the score bends it up.
    const size_t loop = static_cast<size_t>(0.5 * kRate);
    const size_t fade = static_cast<size_t>(0.05 * kRate);
    Noise noise(0x715e);
    HighPass hp(300.0);
    double low = 0.0;
    std::vector<double> raw(loop + fade);
    for (double& v : raw) {
        low += 0.45 * (noise.next() - low);  // a gentle low-pass
        v = hp(low);
    }
    std::vector<double> looped(loop);
    for (size_t i = 0; i < loop; ++i) {
        double v = raw[fade + i];
        if (i >= loop - fade) {
            double w = static_cast<double>(i - (loop - fade)) / static_cast<double>(fade);
            v = (1.0 - w) * v + w * raw[i - (loop - fade)];
        }
        looped[i] = v;
    }
    return Instrument(MakeSample("riser", looped, kRate, 0, loop), 128, {{0, 2}, {96, 20}, {192, 64}}, 2, 2048);
}

}  // namespace

std::vector<xm::Instrument> MakeAll() {
    return {MakeKick(), MakeSnare(),
            Instrument(DrumSample("closed hat", Cymbal(0.09, 55.0, 7000.0, 0x4a7)), 150),
            Instrument(DrumSample("open hat", Cymbal(0.45, 9.0, 6500.0, 0x09e)), 150),
            Instrument(DrumSample("crash", Cymbal(1.7, 2.4, 4000.0, 0xc2a5)), 110),
            MakeBass(), MakeLead(), MakePad(), MakePluck(), MakeRiser()};
}

}  // namespace instruments
