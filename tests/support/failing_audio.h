// failing_audio.h -- the ways the music's audio output fails to open, for
// the tests that start the music layer, or the whole show, with each.
#ifndef TEST_FAILING_AUDIO_H
#define TEST_FAILING_AUDIO_H

#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

struct AudioFailure {
    const char *name;
    std::vector<std::string> env;   // laid over the environment
};

// No driver at all; ALSA with a card that is not there (SDL's device
// watcher is running by then); the disk driver, which opens its output file
// when the device opens, with a file that cannot be created.
const AudioFailure audioFailures[] = {
    {"NoSuchDriver", {"SDL_AUDIODRIVER=nonexistent"}},
    {"SoundCardMissing", {"SDL_AUDIODRIVER=alsa", "AUDIODEV=hw:99,0"}},
    {"DeviceFailsToOpen", {"SDL_AUDIODRIVER=disk", "SDL_DISKAUDIOFILE=/nonexistent-dir/out.raw"}},
};

inline void PrintTo(const AudioFailure &c, std::ostream *os)
{
    *os << c.name;
}

// The case's name in the test's name.
inline std::string audioFailureName(const testing::TestParamInfo<AudioFailure> &info)
{
    return info.param.name;
}

#endif
