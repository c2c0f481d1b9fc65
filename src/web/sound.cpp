// sound.cpp -- the web's music layer: the page's DemoMusic player (music.js)
// plays the module with libopenmpt in an AudioWorklet.
//
// The page prepares everything that takes time (the audio output, the
// worklet, the module's bytes) from the start button's click, before the
// show starts; these calls only switch it on and off, and the player reports
// in one line why the music is off when it is. music.js is on every page
// that runs the program (page.js uses it before the program starts).
#include "sound.h"

#include <emscripten.h>

// The show holds at most one module; its handle only has to be non-null.
struct MusicModule {
};

static MusicModule song;

// libopenmpt mixes every channel of the module itself.
bool soundInit(int rate, int)
{
    return EM_ASM_INT({ return DemoMusic.init($0) ? 1 : 0; }, rate);
}

MusicModule *musicLoad(const char *name)
{
    return EM_ASM_INT({ return DemoMusic.load(UTF8ToString($0)) ? 1 : 0; }, name) ? &song : nullptr;
}

void musicPlay(MusicModule *module)
{
    if (module)
        EM_ASM({ DemoMusic.play(); });
}

void musicStop(MusicModule *module)
{
    if (module)
        EM_ASM({ DemoMusic.stop(); });
}

void soundClose()
{
    EM_ASM({ DemoMusic.close(); });
}
