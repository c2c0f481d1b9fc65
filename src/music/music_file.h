// music_file.h -- what the music layer offers beyond sound.h.
#ifndef MUSIC_FILE_H
#define MUSIC_FILE_H

// Makes musicLoad() read the file `path` whatever name the show asks for,
// and name it in its messages; nullptr goes back to the name asked for. The
// recorder plays a module given on its command line this way. `path` must
// stay valid while modules are loaded.
void musicReadFrom(const char *path);

#endif
