// platform.cpp -- clock, sleep and exit for the show in a browser page.
//
// The slideshow's sleeps suspend the frame (ASYNCIFY) and give the browser
// back its event loop, so the picture shows and the music plays on. The way
// out ends the frames, hands the page the end of the show, and leaves the
// program suspended for good: it must not return into the frame it ended.
#include "platform.h"

#include <emscripten.h>

static double clockBase = emscripten_get_now();

static unsigned webMilliseconds()
{
    return (unsigned)(emscripten_get_now() - clockBase);
}

// The page hears of each picture: the slideshow keeps its own time, hidden
// or not (page.js).
static void webSleepSeconds(unsigned seconds)
{
    EM_ASM({ Module.onPicture(); });
    emscripten_sleep(seconds * 1000);
}

static void webExit(int status)
{
    emscripten_cancel_main_loop();
    EM_ASM({ Module.onShowEnd($0); }, status);
    for (;;)
        emscripten_sleep(3600 * 1000);
}

unsigned (*sysMilliseconds)() = webMilliseconds;
void (*sysSleepSeconds)(unsigned) = webSleepSeconds;
void (*sysExit)(int) = webExit;

// A page has no file descriptors to close and no pipe to break.
void sysGuardStandardStreams()
{
}

// The page's messages go to the console under the program's own name.
const char *sysProgramName()
{
    return "start";
}
