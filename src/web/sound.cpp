// sound.cpp -- PLACEHOLDER for the web's music layer, to be replaced by the
// real one (src/web/sound.cpp from the music work). It passes the show's five
// calls on to the page's DemoMusic object as the page/music contract names
// them, so that the show links and runs; the placeholder music.js that goes
// with it stays silent.
#include "sound.h"

#include <emscripten.h>

struct MusicModule {
    int unused;
};

static MusicModule loaded;

bool soundInit(int rate, int)
{
    return EM_ASM_INT({ return typeof DemoMusic != 'undefined' && DemoMusic.init($0) ? 1 : 0; }, rate) != 0;
}

MusicModule *musicLoad(const char *name)
{
    int ok = EM_ASM_INT({ return typeof DemoMusic != 'undefined' && DemoMusic.load(UTF8ToString($0)) ? 1 : 0; },
                        name);
    return ok ? &loaded : nullptr;
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
    EM_ASM({ if (typeof DemoMusic != 'undefined') DemoMusic.close(); });
}
