// sound.h -- the music layer: start a tracker module, let it play, stop it.
//
// Five calls, made at start-up and on the way out; playback needs no
// attention in between. Every call tolerates what an earlier one failed to
// give: a missing audio device or a module that would not load leaves the
// show running silently, with one line on stderr saying why.
#ifndef SOUND_H
#define SOUND_H

struct MusicModule;

// Opens the audio output: `rate` samples per second, stereo. `channels` is
// the number of voices the module may mix at once (the player mixes all of a
// module's channels itself, so it is a ceiling, not a setting).
bool soundInit(int rate, int channels);

// Reads and decodes the module file `name`. Returns none (nullptr) for
// anything that is not a playable module, without blocking on special files
// and without reading more than the size limit.
MusicModule *musicLoad(const char *name);

// Starts playback from the beginning; the module repeats forever.
void musicPlay(MusicModule *module);

// Silences the module.
void musicStop(MusicModule *module);

// Shuts the audio output down and releases every loaded module.
void soundClose();

// Files larger than this are refused without being read.
const long long musicMaxFileBytes = 64LL * 1024 * 1024;

#endif
