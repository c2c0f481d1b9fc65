// page_options.cpp -- the options of the page's address, for the tests and
// the benchmark, with the page's record of the frames they read.
//
// They watch and steer the show from outside, through the show's own seams
// (the frame GLUT runs, the slideshow's sleep, the way out; see platform.h)
// and the canvas's size (webMeasureCanvas, gl_internal.h):
//   quick          the slideshow does not wait
//   size=WxH       the canvas keeps this size instead of filling the page
//   fast           frames back to back instead of paced animation frames
//   finish         every frame is made to finish before the next starts
//   shots=F,F,...  these frames are read back and handed to the page
//   pictures       the canvas is read back at each picture of the slideshow
//                  (read back at the canvas's size at the time)
//   log            the frame in which each scene begins goes to the console
// The pace, fps=N, is the page's pacer's (page/pacer.js).
#include <cstdio>
#include <cstdlib>
#include <emscripten.h>
#include <emscripten/html5.h>
#include <set>

#include "demo.h"
#include "gl_internal.h"
#include "platform.h"

namespace {

bool quick, fast, finish, readPictures, logScenes;
int fixedWidth, fixedHeight;
std::set<unsigned> shotFrames;
unsigned loggedSequence;
unsigned pictureCount;

void (*showsFrame)();
void (*showsSleep)(unsigned);
void (*showsExit)(int);

// The option `name` of the page's address: its value into `value` ("" for
// one given without a value); false when the address lacks it.
bool option(const char *name, char *value, int size)
{
    return EM_ASM_INT({
        var v = new URLSearchParams(location.search).get(UTF8ToString($0));
        if (v === null)
            return 0;
        stringToUTF8(v, $1, $2);
        return 1;
    }, name, value, size);
}

// Hands the canvas's pixels (RGBA, bottom row first) to the page.
void handOver(const char *name)
{
    int width = 0, height = 0;
    emscripten_get_canvas_element_size("#canvas", &width, &height);
    unsigned char *rgba = (unsigned char *)malloc((size_t)width * height * 4);
    webReadPixels(0, 0, width, height, rgba);
    EM_ASM({ Module.onPixels(UTF8ToString($0), $1, $2, HEAPU8.slice($3, $3 + $1 * $2 * 4)); },
           name, width, height, rgba);
    free(rgba);
}

// The scene the show is in, noted when it changes; `frame` is the frame
// that made the change.
void noteScene(unsigned frame)
{
    if (logScenes && sequence != loggedSequence) {
        loggedSequence = sequence;
        EM_ASM({ Module.log('scene ' + $0 + ' in frame ' + $1); }, sequence, frame);
    }
}

void fixedCanvas(int *width, int *height)
{
    *width = fixedWidth;
    *height = fixedHeight;
}

void watchedFrame()
{
    if (fast && frames == 0)    // the first frame, drawn in the click: the main loop is set up
        emscripten_set_main_loop_timing(EM_TIMING_SETIMMEDIATE, 0);
    showsFrame();
    noteScene(frames);
    if (shotFrames.count(frames)) {
        char name[32];
        snprintf(name, sizeof name, "frame%u", frames);
        handOver(name);
    }
    if (finish) {
        unsigned char pixel[4];
        webReadPixels(0, 0, 1, 1, pixel);       // waits until the frame is drawn
    }
    EM_ASM({ Module.onFrame($0); }, frames);
}

void watchedSleep(unsigned seconds)
{
    noteScene(frames + 1);                      // the slideshow runs inside the frame
    pictureCount += 1;
    if (readPictures) {
        char name[32];
        snprintf(name, sizeof name, "picture%u", pictureCount);
        handOver(name);
    }
    EM_ASM({ Module.log('picture ' + $0 + ' for ' + $1 + ' s'); }, pictureCount, seconds);
    showsSleep(quick ? 0 : seconds);
}

void watchedExit(int status)
{
    noteScene(frames + 1);
    showsExit(status);
}

}  // namespace

// Reads the options of the page's address and sets them up.
void pageOptions()
{
    char value[4096];
    quick = option("quick", value, sizeof value);
    fast = option("fast", value, sizeof value);
    finish = option("finish", value, sizeof value);
    readPictures = option("pictures", value, sizeof value);
    logScenes = option("log", value, sizeof value);
    int w = 0, h = 0;
    if (option("size", value, sizeof value) && sscanf(value, "%dx%d", &w, &h) == 2 && w > 0 && h > 0 &&
        w <= 8192 && h <= 8192) {
        fixedWidth = w;
        fixedHeight = h;
        webMeasureCanvas = fixedCanvas;
    }
    if (option("shots", value, sizeof value)) {
        for (const char *p = value; *p;) {
            char *end = nullptr;
            unsigned long f = strtoul(p, &end, 10);
            if (end == p)
                break;
            shotFrames.insert((unsigned)f);
            p = *end == ',' ? end + 1 : end;
        }
    }
    showsFrame = showFrame;
    showFrame = watchedFrame;
    showsSleep = sysSleepSeconds;
    sysSleepSeconds = watchedSleep;
    showsExit = sysExit;
    sysExit = watchedExit;
}
