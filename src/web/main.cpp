// main.cpp -- the show's entry point in a browser page.
//
// The page starts the program when its start button is clicked. Without
// options it runs the show as the desktop does. The page passes on the
// options of its own address (see page.js) for the tests and the benchmark:
//   quick          the slideshow does not wait
//   size=WxH       the canvas keeps this size instead of filling the page
//   fps=N          at most N frames a second (1 to 1000; 60 without it)
//   fast           frames back to back instead of paced animation frames
//   finish         every frame is made to finish before the next starts
//   shots=F,F,...  these frames are read back and handed to the page
//   pictures       the canvas is read back at each picture of the slideshow
// (read back at the canvas's size at the time)
//   log            the frame in which each scene begins goes to the console
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <emscripten.h>
#include <set>
#include <string>
#include <vector>

#include "demo.h"
#include "gl_internal.h"
#include "web_glut.h"
#include "web_modes.h"

WebModes webModes;

namespace {

WebFrameHooks hooks;
std::set<unsigned> shotFrames;
bool readPictures, logScenes, finishEach;
unsigned loggedSequence;
unsigned pictureCount;
bool firstFrameSeen;

// Hands the canvas's pixels (RGBA, bottom row first) to the page.
void handOver(const char *name)
{
    int width = 0, height = 0;
    webWindowSize(&width, &height);
    std::vector<unsigned char> rgba((size_t)width * height * 4);
    webReadPixels(0, 0, width, height, rgba.data());
    EM_ASM({
        if (Module.onPixels)
            Module.onPixels(UTF8ToString($0), $1, $2, HEAPU8.slice($3, $3 + $1 * $2 * 4));
    }, name, width, height, rgba.data());
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

void afterFrame()
{
    noteScene(frames);
    if (shotFrames.count(frames)) {
        char name[32];
        snprintf(name, sizeof name, "frame%u", frames);
        handOver(name);
    }
    if (finishEach) {
        unsigned char pixel[4];
        webReadPixels(0, 0, 1, 1, pixel);       // waits until the frame is drawn
    }
    if (!firstFrameSeen) {
        // The first frame is known drawn when a fence behind it signals,
        // asked between the browser's tasks: nothing waits for it.
        firstFrameSeen = true;
        EM_ASM({
            var gl = Module.canvas.getContext('webgl2');
            var fence = gl.fenceSync(gl.SYNC_GPU_COMMANDS_COMPLETE, 0);
            gl.flush();
            gl.getError();          // a round trip: the renderer has the frame now, not at the task's end
            (function poll() {
                if (gl.isContextLost() || gl.getSyncParameter(fence, gl.SYNC_STATUS) !== gl.SIGNALED) {
                    if (!gl.isContextLost())
                        setTimeout(poll, 1);
                    return;
                }
                gl.deleteSync(fence);
                if (Module.onFirstFrame)
                    Module.onFirstFrame();
            })();
        });
    }
    EM_ASM({
        if (Module.onFrame)
            Module.onFrame($0);
    }, frames);
}

void onPicture(unsigned seconds)
{
    noteScene(frames + 1);                      // the slideshow runs inside the frame
    pictureCount += 1;
    if (readPictures) {
        char name[32];
        snprintf(name, sizeof name, "picture%u", pictureCount);
        handOver(name);
    }
    EM_ASM({
        if (Module.onPicture)
            Module.onPicture($0, $1);
        Module.log('picture ' + $0 + ' for ' + $1 + ' s');
    }, pictureCount, seconds);
}

void onExit()
{
    noteScene(frames + 1);
}

// The page's options, as "name=value" or "name" strings.
std::vector<std::string> pageOptions()
{
    char *text = (char *)EM_ASM_INT({
        var options = Module.demoOptions || [];
        var s = options.join('\n');
        var n = lengthBytesUTF8(s) + 1;
        var p = _malloc(n);
        stringToUTF8(s, p, n);
        return p;
    });
    std::vector<std::string> out;
    std::string all = text;
    free(text);
    size_t start = 0;
    while (start < all.size()) {
        size_t end = all.find('\n', start);
        if (end == std::string::npos)
            end = all.size();
        out.push_back(all.substr(start, end - start));
        start = end + 1;
    }
    return out;
}

void readOptions()
{
    for (const std::string &o : pageOptions()) {
        std::string name = o.substr(0, o.find('='));
        std::string value = o.find('=') == std::string::npos ? "" : o.substr(o.find('=') + 1);
        if (name == "quick") {
            webModes.quick = true;
        } else if (name == "fast") {
            hooks.backToBack = true;
        } else if (name == "fps") {
            char *end = nullptr;
            long n = strtol(value.c_str(), &end, 10);
            if (!value.empty() && *end == '\0' && n >= 1 && n <= 1000)
                hooks.fps = (int)n;
        } else if (name == "finish") {
            finishEach = true;
        } else if (name == "pictures") {
            readPictures = true;
        } else if (name == "log") {
            logScenes = true;
        } else if (name == "size") {
            int w = 0, h = 0;
            if (sscanf(value.c_str(), "%dx%d", &w, &h) == 2 && w > 0 && h > 0 && w <= 8192 && h <= 8192) {
                hooks.fixedSize = true;
                hooks.fixedWidth = w;
                hooks.fixedHeight = h;
            }
        } else if (name == "shots") {
            for (const char *p = value.c_str(); *p;) {
                char *end = nullptr;
                unsigned long f = strtoul(p, &end, 10);
                if (end == p)
                    break;
                shotFrames.insert((unsigned)f);
                p = *end == ',' ? end + 1 : end;
            }
        }
    }
}

}  // namespace

int main(int argc, char **argv)
{
    readOptions();
    hooks.after = afterFrame;
    webSetFrameHooks(hooks);
    webModes.onSleep = onPicture;
    webModes.onExit = onExit;
    return showMain(argc, argv);
}
