// show_runner.cpp -- the show exactly as `start` runs it, for the tests that
// drive the real program in a child process.
//
// main calls the same showMain as `start`, so the window, the music layer,
// the frames and the way out are the show's own. Only two things differ:
//
// - The slideshow's sleeps return at once, so a whole course takes seconds.
// - The callbacks the show registers with the toolkit are wrapped (the link
//   redirects glutDisplayFunc, glutIdleFunc, glutKeyboardFunc and
//   glutSpecialFunc here; see CMakeLists.txt). The wrappers call the show's
//   own callbacks unchanged and, with SHOW_RUNNER_REPORT set, write on stderr
//   what happened, one line each, for the test to read:
//     runner: first-frame <ms>         the first frame is on screen; CLOCK_MONOTONIC
//     runner: frame <f>                every 250 frames
//     runner: sequence <s> frame <f>   the scene changed to <s> in frame <f>
//     runner: key <k> frame <f>        an ordinary key reached the show after frame <f>
//     runner: special <k> frame <f>    a special key, likewise
//     runner: sleep <s> frame <f>      the slideshow asked for a sleep of <s> seconds
//
// It reads --fps as `start` does, with the same pacer in front of the frames.
//
// Further switches, all off unless set:
//   SHOW_RUNNER_FRAME_MS=<n>           wait n ms after each frame (gives keys time to land)
//   SHOW_RUNNER_ESC_AT=<f>             Esc reaches the show's keyboard callback right after frame f,
//                                      first reporting
//     runner: span <ms>                from just before frame 1 to just after frame f; CLOCK_MONOTONIC
//   SHOW_RUNNER_FIRST_FRAME_ONLY=1     end with status 0 right after the first frame
//   SHOW_RUNNER_HOLD_AT=<f>            after frame f (a multiple of 250, once its
//                                      line is written), wait for a signal, then go on
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <dlfcn.h>
#include <link.h>
#include <string>
#include <unistd.h>
#include <vector>

#include <GL/freeglut.h>

#include "child_process.h"
#include "demo.h"
#include "pacer.h"
#include "platform.h"

extern "C" {
void __real_glutDisplayFunc(void (*callback)());
void __real_glutIdleFunc(void (*callback)());
void __real_glutKeyboardFunc(void (*callback)(unsigned char, int, int));
void __real_glutSpecialFunc(void (*callback)(int, int, int));
void __wrap_glutDisplayFunc(void (*callback)());
void __wrap_glutIdleFunc(void (*callback)());
void __wrap_glutKeyboardFunc(void (*callback)(unsigned char, int, int));
void __wrap_glutSpecialFunc(void (*callback)(int, int, int));
}

static bool reporting;
static bool firstFrameOnly;
static unsigned pauseMs;
static unsigned holdAt;
static unsigned escAt;
static double firstFrameBegan;     // ms, CLOCK_MONOTONIC

static void (*showDisplay)();
static void (*showIdle)();
static void (*showKeyboard)(unsigned char, int, int);
static void (*showSpecial)(int, int, int);

static unsigned frameInProgress;   // the frame a display call is drawing
static ushort sequenceReported;    // the scene last reported
static bool firstFrameDone;

static void report(const char *format, unsigned a, unsigned b)
{
    if (!reporting)
        return;
    // One write per line, so that lines from a dying process arrive whole.
    char line[96];
    int n = snprintf(line, sizeof line, format, a, b);
    if (n > 0 && write(2, line, (size_t)n) < 0) {
    }
}

static int noteLibrary(struct dl_phdr_info *info, size_t, void *names)
{
    if (info->dlpi_name && *info->dlpi_name)
        static_cast<std::vector<std::string> *>(names)->push_back(info->dlpi_name);
    return 0;
}

// The GL driver and the audio back ends are loaded by their libraries at
// run time and unloaded again on the way out, before a sanitizer build's
// leak check runs; their leaks would then be reported against no library at
// all, and no suppression could name them. Every library in the process by
// the first frame is therefore kept loaded to the end.
static void keepLibrariesLoaded()
{
    std::vector<std::string> names;
    dl_iterate_phdr(noteLibrary, &names);
    for (const std::string &name : names)
        dlopen(name.c_str(), RTLD_NOW | RTLD_NOLOAD | RTLD_NODELETE);
}

static void afterFirstFrame()
{
    firstFrameDone = true;
    keepLibrariesLoaded();
    struct timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    if (reporting) {
        char line[64];
        int n = snprintf(line, sizeof line, "runner: first-frame %.3f\n",
                         (double)ts.tv_sec * 1000.0 + (double)ts.tv_nsec / 1e6);
        if (n > 0 && write(2, line, (size_t)n) < 0) {
        }
    }
    if (firstFrameOnly)
        _exit(0);
}

static void noteSequence()
{
    if (sequence != sequenceReported) {
        sequenceReported = sequence;
        report("runner: sequence %u frame %u\n", sequence, frameInProgress);
    }
}

static void wrappedKeyboard(unsigned char key, int x, int y);

// Runs one frame of the show, whichever callback the toolkit chose for it.
static void frame(void (*draw)())
{
    frameInProgress = frames + 1;
    if (frameInProgress == 1)
        firstFrameBegan = monotonicMs();
    draw();
    noteSequence();
    if (frames % 250 == 0 && frames != 0)
        report("runner: frame %u\n", frames, 0);
    if (!firstFrameDone)
        afterFirstFrame();
    if (pauseMs)
        usleep(pauseMs * 1000u);
    if (holdAt && frames == holdAt)
        pause();                        // returns only if a signal is caught
    if (escAt && frames == escAt) {
        if (reporting) {
            char line[64];
            int n = snprintf(line, sizeof line, "runner: span %.3f\n", monotonicMs() - firstFrameBegan);
            if (n > 0 && write(2, line, (size_t)n) < 0) {
            }
        }
        wrappedKeyboard(27, 0, 0);
    }
}

static void wrappedDisplay()
{
    frame(showDisplay);
}

static void wrappedIdle()
{
    frame(showIdle);
}

static void wrappedKeyboard(unsigned char key, int x, int y)
{
    report("runner: key %u frame %u\n", key, frames);
    showKeyboard(key, x, y);
}

static void wrappedSpecial(int key, int x, int y)
{
    report("runner: special %u frame %u\n", (unsigned)key, frames);
    showSpecial(key, x, y);
}

void __wrap_glutDisplayFunc(void (*callback)())
{
    showDisplay = callback;
    __real_glutDisplayFunc(callback ? wrappedDisplay : nullptr);
}

void __wrap_glutIdleFunc(void (*callback)())
{
    showIdle = callback;
    __real_glutIdleFunc(callback ? wrappedIdle : nullptr);
}

void __wrap_glutKeyboardFunc(void (*callback)(unsigned char, int, int))
{
    showKeyboard = callback;
    __real_glutKeyboardFunc(callback ? wrappedKeyboard : nullptr);
}

void __wrap_glutSpecialFunc(void (*callback)(int, int, int))
{
    showSpecial = callback;
    __real_glutSpecialFunc(callback ? wrappedSpecial : nullptr);
}

// The slideshow runs inside the frame that handed over to it, which never
// completes: the show ends from within it.
static void skipSleep(unsigned seconds)
{
    noteSequence();
    report("runner: sleep %u frame %u\n", seconds, frameInProgress);
}

static bool envSet(const char *name)
{
    const char *v = getenv(name);
    return v && *v && *v != '0';
}

int main(int argc, char **argv)
{
    reporting = envSet("SHOW_RUNNER_REPORT");
    firstFrameOnly = envSet("SHOW_RUNNER_FIRST_FRAME_ONLY");
    if (const char *at = getenv("SHOW_RUNNER_HOLD_AT"))
        holdAt = (unsigned)strtoul(at, nullptr, 10);
    if (const char *ms = getenv("SHOW_RUNNER_FRAME_MS"))
        pauseMs = (unsigned)strtoul(ms, nullptr, 10);
    if (const char *at = getenv("SHOW_RUNNER_ESC_AT"))
        escAt = (unsigned)strtoul(at, nullptr, 10);
    std::string why;
    if (!pacerTakeOption(&argc, argv, &why)) {
        fprintf(stderr, "show_runner: %s\n", why.c_str());
        return 2;
    }
    sequenceReported = sequence;
    sysSleepSeconds = skipSleep;
    return showMain(argc, argv);
}
