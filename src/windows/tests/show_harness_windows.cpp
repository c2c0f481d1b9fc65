// show_harness_windows.cpp -- tests/support/show_harness.h for the Windows
// test programs: the same fake platform, a freeglut window, and the front
// buffer read back through GL (Wine draws with the host's GL, Mesa here).
#include "show_harness.h"

#include <algorithm>
#include <cstdlib>

#include <GL/freeglut.h>
#include <windows.h>

#include "demo.h"
#include "platform.h"

FakePlatform fakePlatform;

static void (*const realExit)(int) = sysExit;

static unsigned fakeMilliseconds() { return fakePlatform.clockMs; }

static void fakeSleep(unsigned seconds)
{
    fakePlatform.sleeps.push_back(seconds);
    if (fakePlatform.onSleep)
        fakePlatform.onSleep(seconds);
    fakePlatform.clockMs += seconds * 1000;
}

static void throwingExit(int status) { throw ShowExit{status}; }

void installFakePlatform()
{
    sysMilliseconds = fakeMilliseconds;
    sysSleepSeconds = fakeSleep;
    sysExit = throwingExit;
}

void restoreRealExit() { sysExit = realExit; }

void openShowWindow(int width, int height)
{
    static char name[] = "show-test";
    static char *argv[] = {name, nullptr};
    int argc = 1;
    glutInit(&argc, argv);
    glutInitDisplayMode(GLUT_RGB | GLUT_DOUBLE | GLUT_DEPTH);
    glutInitWindowSize(width, height);
    glutInitWindowPosition(0, 0);
    glutCreateWindow("tha corbanet demo");
    glutDisplayFunc([] {});
    for (int i = 0; i < 50; ++i) {      // let the toolkit map the window
        glutMainLoopEvent();
        Sleep(10);
    }
}

void startShow(int width, int height)
{
    openShowWindow(width, height);
    installFakePlatform();
    init();
    reshape(width, height);
}

std::vector<unsigned char> readFrontBuffer(int width, int height)
{
    std::vector<unsigned char> rgb((size_t)width * height * 3);
    glReadBuffer(GL_FRONT);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(0, 0, width, height, GL_RGB, GL_UNSIGNED_BYTE, rgb.data());
    return rgb;
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
