// sound.cpp -- the web's music layer: the page's DemoMusic player (music.js)
// plays the module with libopenmpt in an AudioWorklet.
//
// The page prepares everything that takes time (the audio output, the
// worklet, the module's bytes) from the start button's click, before the
// show starts; these calls only switch it on and off, and the player reports
// in one line why the music is off when it is.
#include "sound.h"

#include <emscripten.h>

// The show holds at most one module; its handle only has to be non-null.
struct MusicModule {
    bool loaded;
};

static MusicModule song;

EM_JS(int, jsSoundInit, (int rate), {
    if (typeof DemoMusic === 'undefined') {
        console.error('music off: audio: music.js is not on the page');
        return 0;
    }
    return DemoMusic.init(rate) ? 1 : 0;
});

EM_JS(int, jsMusicLoad, (const char *name), {
    return typeof DemoMusic !== 'undefined' && DemoMusic.load(UTF8ToString(name)) ? 1 : 0;
});

EM_JS(void, jsMusicCall, (int which), {
    if (typeof DemoMusic === 'undefined')
        return;
    if (which == 0)
        DemoMusic.play();
    else if (which == 1)
        DemoMusic.stop();
    else
        DemoMusic.close();
});

bool soundInit(int rate, int channels)
{
    (void)channels;     // libopenmpt mixes every channel of the module itself
    return jsSoundInit(rate) != 0;
}

MusicModule *musicLoad(const char *name)
{
    if (!jsMusicLoad(name))
        return nullptr;
    song.loaded = true;
    return &song;
}

void musicPlay(MusicModule *module)
{
    if (module && module->loaded)
        jsMusicCall(0);
}

void musicStop(MusicModule *module)
{
    if (module && module->loaded)
        jsMusicCall(1);
}

void soundClose()
{
    jsMusicCall(2);
    song.loaded = false;
}
