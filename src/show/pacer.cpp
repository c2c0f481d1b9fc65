// pacer.cpp -- at most a given number of frames a second (see pacer.h).
#include "pacer.h"

#include <cstring>

#include "demo.h"
#include "platform.h"

static unsigned rate;                   // frames a second; 0: no waiting
static bool scheduled;                  // the first frame has begun
static unsigned long long firstMoment;  // when it began, on sysNanoseconds
static unsigned long long frameIndex;   // frames since then: the one about to begin

void pacerStart(unsigned framesPerSecond)
{
    rate = framesPerSecond;
    scheduled = false;
}

void pacerWait()
{
    if (rate == 0)
        return;
    unsigned long long now = sysNanoseconds();
    if (!scheduled) {
        scheduled = true;
        firstMoment = now;
        frameIndex = 0;
        return;
    }
    frameIndex += 1;
    // k/N seconds in whole nanoseconds, from the first frame: the rounding
    // of one moment is never carried into the next.
    unsigned long long moment = firstMoment + frameIndex * 1000000000ull / rate;
    if (now < moment) {
        sysSleepUntil(moment);
        return;
    }
    if (now - moment > pacerStallFrames * 1000000000ull / rate) {
        firstMoment = now;
        frameIndex = 0;
    }
}

void pacedDisplay()
{
    pacerWait();
    display();
}

// A whole number from 1 to pacerMaxRate, digits only.
static bool parseRate(const char *text, unsigned *value)
{
    unsigned n = 0;
    if (!*text)
        return false;
    for (const char *p = text; *p; ++p) {
        if (*p < '0' || *p > '9')
            return false;
        n = n * 10 + (unsigned)(*p - '0');
        if (n > pacerMaxRate)
            return false;
    }
    if (n < 1)
        return false;
    *value = n;
    return true;
}

bool takeFpsOption(int *argc, char **argv, unsigned *framesPerSecond, std::string *error)
{
    *framesPerSecond = 0;
    if (*argc < 1)                  // started with no name at all: nothing to take
        return true;
    int kept = 1;
    for (int i = 1; i < *argc; ++i) {
        const char *arg = argv[i];
        // GLUT's options that take a value keep it, whatever it looks like.
        if ((strcmp(arg, "-display") == 0 || strcmp(arg, "-geometry") == 0) && i + 1 < *argc) {
            argv[kept++] = argv[i++];
            argv[kept++] = argv[i];
            continue;
        }
        const char *value;
        if (strcmp(arg, "--fps") == 0) {
            if (i + 1 >= *argc) {
                *error = "--fps needs a number of frames a second, from 1 to " + std::to_string(pacerMaxRate);
                return false;
            }
            value = argv[++i];
        } else if (strncmp(arg, "--fps=", 6) == 0) {
            value = arg + 6;
        } else {
            argv[kept++] = argv[i];
            continue;
        }
        if (!parseRate(value, framesPerSecond)) {
            *error = "--fps takes a whole number of frames a second from 1 to " + std::to_string(pacerMaxRate) +
                     ", not '" + value + "'";
            *framesPerSecond = 0;
            return false;
        }
    }
    *argc = kept;
    argv[kept] = nullptr;
    return true;
}

bool pacerTakeOption(int *argc, char **argv, std::string *error)
{
    unsigned fps = 0;
    if (!takeFpsOption(argc, argv, &fps, error))
        return false;
    if (fps) {
        pacerStart(fps);
        showFrame = pacedDisplay;
    }
    return true;
}
