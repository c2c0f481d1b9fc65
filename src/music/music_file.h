// music_file.h -- what the music layer offers beyond sound.h: another file
// than the one the show asks for, and an output that the recorder pulls.
#ifndef MUSIC_FILE_H
#define MUSIC_FILE_H

#include <cstddef>

// Makes musicLoad() read the file `path` whatever name the show asks for,
// and name it in its messages; nullptr goes back to the name asked for. The
// recorder plays a module given on its command line this way. `path` must
// stay valid while modules are loaded.
void musicReadFrom(const char *path);

// The recorder's output instead of a sound device: soundInit then opens
// none and touches no audio library, and what plays is rendered only when
// musicPull asks for it, at `rate`, as fast as the caller wants it. Called
// before soundInit.
void musicPullAt(int rate);

// The next `count` stereo samples of what plays into the pulled output, as
// two planes of floats in [-1, 1]; silence where nothing plays. May be
// called from another thread than the show's. The module goes on, as it
// repeats, after the show has stopped it and closed the sound, so that a
// recording has the music of every frame it holds, however far its
// encoder is behind the show; musicPullEnd ends it.
void musicPull(float *left, float *right, size_t count);

// Ends the pulled output: the module stops and every module is released.
void musicPullEnd();

#endif
