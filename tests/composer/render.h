//------------------------------------------------------------------------------
// render.h -- reading modules and playing them through libopenmpt in tests
//------------------------------------------------------------------------------
#pragma once

#include <libopenmpt/libopenmpt.hpp>

#include <cmath>
#include <cstdint>
#include <fstream>
#include <iterator>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

namespace composer_test {

constexpr int kRate = 44100;

// The module in `bytes` as libopenmpt reads it; what it logs meanwhile (its
// warnings) in *log.
inline std::unique_ptr<openmpt::module> Load(const std::vector<uint8_t>& bytes, std::string* log = nullptr) {
    std::ostringstream out;
    auto m = std::make_unique<openmpt::module>(bytes, out);
    if (log)
        *log = out.str();
    return m;
}

// Interleaved stereo floats, 1.0 = full scale.
inline std::vector<float> Render(openmpt::module& module, double seconds) {
    std::vector<float> out(static_cast<size_t>(seconds * kRate) * 2);
    size_t done = 0;
    while (done < out.size()) {
        size_t want = std::min<size_t>(4096, (out.size() - done) / 2);
        size_t got = module.read_interleaved_stereo(kRate, want, out.data() + done);
        if (got == 0)
            break;
        done += got * 2;
    }
    out.resize(done);
    return out;
}

inline double Db(double amplitude) { return 20.0 * std::log10(std::max(amplitude, 1e-12)); }

// RMS in dBFS of the interleaved frames [first, last).
inline double RmsDb(const std::vector<float>& pcm, size_t first, size_t last) {
    double sum = 0.0;
    for (size_t i = first * 2; i < last * 2 && i < pcm.size(); ++i)
        sum += static_cast<double>(pcm[i]) * pcm[i];
    size_t n = std::min(last * 2, pcm.size()) - first * 2;
    return Db(std::sqrt(sum / static_cast<double>(n)));
}

inline double PeakDb(const std::vector<float>& pcm) {
    double peak = 0.0;
    for (float v : pcm)
        peak = std::max(peak, static_cast<double>(std::fabs(v)));
    return Db(peak);
}

}  // namespace composer_test
