// show_harness_common.cpp -- the parts of show_harness.h that are the same on
// every system the tests run on: the substituted platform services, the
// show's start and the comparison of pictures. The window and the read-back
// are each system's own (show_harness.cpp for X11,
// src/windows/tests/show_harness_windows.cpp for Windows).
#include "show_harness.h"

#include <algorithm>
#include <cstdlib>

#include "demo.h"
#include "platform.h"

FakePlatform fakePlatform;

// Read during dynamic initialisation, after the constant initialisation
// that gave sysExit its real value.
static void (*const realExit)(int) = sysExit;

static unsigned fakeMilliseconds()
{
    return fakePlatform.clockMs;
}

static void fakeSleep(unsigned seconds)
{
    fakePlatform.sleeps.push_back(seconds);
    if (fakePlatform.onSleep)
        fakePlatform.onSleep(seconds);
    fakePlatform.clockMs += seconds * 1000;
}

static void throwingExit(int status)
{
    throw ShowExit{status};
}

void installFakePlatform()
{
    sysMilliseconds = fakeMilliseconds;
    sysSleepSeconds = fakeSleep;
    sysExit = throwingExit;
}

void restoreRealExit()
{
    sysExit = realExit;
}

void startShow(int width, int height)
{
    openShowWindow(width, height);
    installFakePlatform();
    init();
    reshape(width, height);
}

ImageDiff compareImages(const std::vector<unsigned char> &a, const std::vector<unsigned char> &b, int tolerance)
{
    ImageDiff d = {0, 1.0};
    if (a.size() != b.size() || a.empty())
        return {255, 1.0};
    size_t over = 0;
    for (size_t i = 0; i < a.size(); i += 3) {
        int worst = 0;
        for (int c = 0; c < 3; ++c)
            worst = std::max(worst, std::abs((int)a[i + c] - (int)b[i + c]));
        d.maxDelta = std::max(d.maxDelta, worst);
        if (worst > tolerance)
            over += 1;
    }
    d.shareOver = (double)over / (double)(a.size() / 3);
    return d;
}
