// watched.cpp -- linked into start_watched.exe, which is start.exe's own
// main and show with two of its library calls passed through here (the
// linker's --wrap), for the tests to see what the viewer sees and hears:
//
// - SDL_OpenAudioDevice: with DEMO_DEVICE_RATE=N in the environment the
//   device runs at N Hz whatever the show asks for, as a sound card or
//   Windows' mixer runs at its own rate; the rate it was opened at is noted.
// - glutSwapBuffers: the moment of each swap on the show's own clock, from
//   its start time.
//
// At exit one line on stderr says what was seen:
//   start_watched: device RATE Hz, SWAPS swaps, last at T1 T2 T3 T4 T5 ms, exit at T ms
// (RATE 0 when no device opened; the last five swaps' moments, oldest first,
// are the slideshow's five pictures when the show ran to its end).
#include <cstdio>
#include <cstdlib>

#include <GL/freeglut.h>
#include <SDL.h>

#include "demo.h"
#include "platform.h"

static int deviceRate;
static unsigned swaps;
static unsigned lastSwaps[5];           // ring of the last five moments

static void sayWhatWasSeen()
{
    fprintf(stderr, "start_watched: device %d Hz, %u swaps, last at", deviceRate, swaps);
    for (unsigned i = 0; i < 5; ++i)
        fprintf(stderr, " %u", lastSwaps[(swaps + i) % 5]);
    fprintf(stderr, " ms, exit at %u ms\n", stopTime - startTime);
}

extern "C" SDL_AudioDeviceID __real_SDL_OpenAudioDevice(const char *, int, const SDL_AudioSpec *, SDL_AudioSpec *,
                                                        int);
extern "C" SDL_AudioDeviceID __wrap_SDL_OpenAudioDevice(const char *name, int capture, const SDL_AudioSpec *desired,
                                                        SDL_AudioSpec *obtained, int allowed)
{
    SDL_AudioSpec asked = *desired;
    if (const char *rate = getenv("DEMO_DEVICE_RATE"))
        asked.freq = atoi(rate);
    SDL_AudioDeviceID id = __real_SDL_OpenAudioDevice(name, capture, &asked, obtained, allowed);
    if (id && obtained)
        deviceRate = obtained->freq;
    return id;
}

extern "C" void __real_glutSwapBuffers();
extern "C" void __wrap_glutSwapBuffers()
{
    __real_glutSwapBuffers();
    lastSwaps[swaps % 5] = sysMilliseconds() - startTime;
    if (++swaps == 1)
        atexit(sayWhatWasSeen);
}
