// soundtrack.h -- the music for the recording: the show's own, pulled from
// its music layer as the encoder wants it.
//
// The recorder makes the music layer's output a pulled one (musicPullAt), so
// that the module the show loads and starts is the one the recording takes,
// from its start and repeating as the show lets it repeat, at the same rate.
#ifndef SOUNDTRACK_H
#define SOUNDTRACK_H

#include <cstddef>

class Soundtrack {
public:
    static const int rate = 44100;      // the rate the show opens its sound output with

    Soundtrack() = default;
    Soundtrack(const Soundtrack &) = delete;
    Soundtrack &operator=(const Soundtrack &) = delete;
    // Ends the pulled output and releases the modules (musicPullEnd).
    ~Soundtrack();

    // The next `count` stereo samples, as two planes of floats in [-1, 1];
    // silence while no module plays.
    void read(float *left, float *right, size_t count);
};

#endif
