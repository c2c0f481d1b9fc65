// system.h -- the few services the music layer needs that Linux and Windows
// provide under different names. Linux's are in desktop/platform.cpp,
// Windows' in windows/platform.cpp.
#ifndef SYSTEM_H
#define SYSTEM_H

// Keeps the system's audio libraries from printing their own errors, so that
// a failed device search is the music layer's one line. Called before the
// audio output is opened.
void sysQuietAudioLibraries();

// Opens `name` for reading its bytes unchanged (no text-mode translation),
// without waiting for a writer on a FIFO, without taking a terminal as the
// controlling one and without handing the descriptor to child processes.
// Returns a descriptor for read/fstat/close, or -1 with errno set.
int sysOpenForReading(const char *name);

#endif
