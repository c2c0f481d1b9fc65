// soundtrack.h -- the music rendered offline for the recording.
//
// The show plays the module through libopenmpt as the sound card asks for
// it; the recording takes the same module from the same renderer, at the
// same rate, from its start and repeating as the show lets it repeat, but
// as fast as the encoder wants it.
#ifndef SOUNDTRACK_H
#define SOUNDTRACK_H

#include <cstddef>

struct openmpt_module;

class Soundtrack {
public:
    static const int rate = 44100;      // the rate the show opens its sound output with

    Soundtrack() = default;
    Soundtrack(const Soundtrack &) = delete;
    Soundtrack &operator=(const Soundtrack &) = delete;
    ~Soundtrack();

    // Loads the module file. Anything that is not a playable module leaves
    // the soundtrack silent; the show's own music layer has already said why.
    void load(const char *path);

    bool silent() const { return mod == nullptr; }

    // The next `count` stereo samples, as two planes of floats in [-1, 1].
    void read(float *left, float *right, size_t count);

private:
    openmpt_module *mod = nullptr;
};

#endif
