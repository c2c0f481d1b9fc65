// glut.cpp -- the part of GLUT the show calls, in a browser page.
//
// The window is the page's canvas (id "canvas"). glutMainLoop hands the
// frames to emscripten's main loop: one call of the idle function per
// animation frame of the browser that the page's pacer lets through (at most
// `fps` a second; see page/pacer.js), after the keys that came in since the last
// one and a reshape when the canvas has changed size. The keys are the
// keyboard function's, those with a character; the show's special-key
// function does nothing, so no special key is passed on. The wire sphere is cut
// exactly as freeglut 3.4 cuts it and drawn as freeglut draws it: indexed
// line strips through the slices, then line loops round the stacks, each
// vertex with its own normal and the current normal left alone.
#include <GL/glut.h>

#include <algorithm>
#include <cmath>
#include <emscripten.h>
#include <emscripten/html5.h>
#include <string>
#include <vector>

#include "gl_internal.h"

// webgl.js: the main loop's animation frames through the page's pacer.
extern "C" void webglPaceFrames();
extern "C" void webglPacedNow();

namespace {

void (*idleFunc)();
void (*reshapeFunc)(int, int);
void (*keyboardFunc)(unsigned char, int, int);

int canvasWidth, canvasHeight;          // what reshape was last told

// The keys that came in since the last frame, as their character codes.
std::string pendingKeys;

EM_BOOL onKeyDown(int, const EmscriptenKeyboardEvent *e, void *)
{
    std::string key = e->key;
    if (key == "Escape")
        pendingKeys += '\033';
    else if (key == "Enter")
        pendingKeys += '\r';
    else if (key == "Backspace")
        pendingKeys += '\b';
    else if (key == "Tab")
        pendingKeys += '\t';
    else if (key.size() == 1 && (unsigned char)key[0] < 128)
        pendingKeys += key;
    return EM_FALSE;                    // the browser keeps its own keys (Esc leaves full screen)
}

// The canvas's drawing size for its size on the page. One picture pixel
// covers at least one CSS pixel, as on a desktop screen: on a high-density
// screen the browser scales the frame up rather than the show drawing it
// small in a corner. A frame has at most about as many pixels as 1920 x 1080
// (a very large window is drawn smaller and scaled up too). A screen whose
// device pixels are larger than CSS pixels (the page zoomed out) gets one
// picture pixel per device pixel.
void measureCanvas(int *width, int *height)
{
    const double mostPixels = 1920.0 * 1080.0;
    double w = 0, h = 0;
    emscripten_get_element_css_size("#canvas", &w, &h);
    double scale = std::min(1.0, emscripten_get_device_pixel_ratio());
    if (w * h * scale * scale > mostPixels)
        scale = std::sqrt(mostPixels / (w * h));
    *width = std::max(1, (int)std::lround(w * scale));
    *height = std::max(1, (int)std::lround(h * scale));
}

// The show has set every callback before its main loop starts.
void frame()
{
    int w = 0, h = 0;
    webMeasureCanvas(&w, &h);
    if (w != canvasWidth || h != canvasHeight) {
        canvasWidth = w;
        canvasHeight = h;
        webCanvasSize(w, h);
        reshapeFunc(w, h);
    }

    std::string keys;
    keys.swap(pendingKeys);
    for (char k : keys)
        keyboardFunc((unsigned char)k, 0, 0);

    idleFunc();
}

// The page is told when the first frame is drawn, known from a fence behind
// it that signals, asked between the browser's tasks: nothing waits for it.
void tellFirstFrameDrawn()
{
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
            Module.onFirstFrame();
        })();
    });
}

// The wire sphere last cut (the show draws one size): its parameters, its
// vertices and normals, and the indices of the lines through its slices and
// round its stacks.
struct WireSphere {
    double radius;
    GLint slices, stacks;
    std::vector<GLfloat> vertices, normals;
    std::vector<unsigned short> sliceIdx, stackIdx;
};

WireSphere wire;

void cutWireSphere(double radiusIn, GLint slices, GLint stacks)
{
    wire = WireSphere{radiusIn, slices, stacks, {}, {}, {}, {}};
    const GLfloat radius = (GLfloat)radiusIn;
    const int nVert = slices * (stacks - 1) + 2;
    // freeglut's angles: round the circle backwards through the slices, half
    // of it from the top down through the stacks; each sine and cosine of a
    // single-precision angle, rounded to single precision.
    const GLfloat sliceAngle = 2 * (GLfloat)M_PI / (GLfloat)-slices, stackAngle = (GLfloat)M_PI / (GLfloat)stacks;
    auto sine = [](GLfloat a) { return (GLfloat)std::sin((double)a); };
    auto cosine = [](GLfloat a) { return (GLfloat)std::cos((double)a); };

    std::vector<GLfloat> &v = wire.vertices, &n = wire.normals;
    v.assign(nVert * 3, 0);
    n.assign(nVert * 3, 0);
    v[2] = radius;                      // top
    n[2] = 1.f;
    int idx = 3;
    for (int i = 1; i < stacks; i++) {
        for (int j = 0; j < slices; j++, idx += 3) {
            GLfloat x = cosine(sliceAngle * j) * sine(stackAngle * i);
            GLfloat y = sine(sliceAngle * j) * sine(stackAngle * i);
            GLfloat z = cosine(stackAngle * i);
            v[idx] = x * radius;
            v[idx + 1] = y * radius;
            v[idx + 2] = z * radius;
            n[idx] = x;
            n[idx + 1] = y;
            n[idx + 2] = z;
        }
    }
    v[idx + 2] = -radius;               // bottom
    n[idx + 2] = -1.f;

    for (int i = 0; i < stacks - 1; i++)
        for (int j = 0; j < slices; j++)
            wire.stackIdx.push_back((unsigned short)(1 + i * slices + j));
    for (int i = 0; i < slices; i++) {
        wire.sliceIdx.push_back(0);
        for (int j = 0; j < stacks - 1; j++)
            wire.sliceIdx.push_back((unsigned short)(1 + i + j * slices));
        wire.sliceIdx.push_back((unsigned short)(nVert - 1));
    }
}

}  // namespace

void (*webMeasureCanvas)(int *width, int *height) = measureCanvas;

void glutInit(int *, char **)
{
}

void glutInitDisplayMode(unsigned int)
{
}

// The window is the canvas, which the page sizes (see glutFullScreen).
void glutInitWindowSize(int, int)
{
}

void glutInitWindowPosition(int, int)
{
}

// The canvas gets a WebGL 2 context. Without one there is no window, and
// the show cannot go on: the page is told and the program stops here, as
// GLUT ends a program whose window cannot be opened.
int glutCreateWindow(const char *title)
{
    EM_ASM({ document.title = UTF8ToString($0); }, title);
    if (!webCreateContext()) {
        EM_ASM({ Module.onNoWebGL(); });
        emscripten_unwind_to_js_event_loop();
    }
    emscripten_set_keydown_callback(EMSCRIPTEN_EVENT_TARGET_WINDOW, nullptr, EM_TRUE, onKeyDown);
    return 1;
}

// The page has already asked the browser for full screen (only a click may),
// and the canvas follows the size of the page.
void glutFullScreen(void)
{
}

// Each frame is the idle function's, which the show makes the same as its
// display function; nothing else asks for a redisplay.
void glutDisplayFunc(void (*)(void))
{
}

void glutReshapeFunc(void (*func)(int, int))
{
    reshapeFunc = func;
}

void glutKeyboardFunc(void (*func)(unsigned char, int, int))
{
    keyboardFunc = func;
}

void glutSpecialFunc(void (*)(int, int, int))
{
}

void glutIdleFunc(void (*func)(void))
{
    idleFunc = func;
}

// Never returns, as GLUT's loop does not: the frames go on from the browser's
// event loop. The first frame is drawn here and now, in the page's click:
// the renderer draws it while the click goes on (the page opens the sound
// after it), and the pacer counts the next frames' moments from it.
void glutMainLoop(void)
{
    webglPaceFrames();
    emscripten_set_main_loop(frame, 0, 0);
    webglPacedNow();
    frame();
    tellFirstFrameDrawn();
    emscripten_unwind_to_js_event_loop();
}

// The browser shows the canvas when the frame's code returns to it; here the
// frame's drawing is sent off.
void glutSwapBuffers(void)
{
    webFlush();
}

void glutWireSphere(double radius, GLint slices, GLint stacks)
{
    if (wire.vertices.empty() || radius != wire.radius || slices != wire.slices || stacks != wire.stacks)
        cutWireSphere(radius, slices, stacks);
    const int sliceLen = stacks + 1, stackLen = slices;
    unsigned first = webArrayVertices(wire.vertices.data(), wire.normals.data(), (int)wire.vertices.size() / 3);
    for (int i = 0; i < slices; i++)
        webArrayElements(kLineStrip, first, &wire.sliceIdx[i * sliceLen], sliceLen);
    for (int i = 0; i < stacks - 1; i++)
        webArrayElements(kLineLoop, first, &wire.stackIdx[i * stackLen], stackLen);
}
