// show_harness.cpp -- see show_harness.h.
#include "show_harness.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <sys/wait.h>
#include <unistd.h>

#include <GL/freeglut.h>
#include <GL/glx.h>
#include <X11/Xutil.h>

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

void openShowWindow(int width, int height)
{
    static char name[] = "show-test";
    static char *argv[] = {name, nullptr};
    int argc = 1;
    glutInit(&argc, argv);
    glutInitDisplayMode(GLUT_RGB | GLUT_DOUBLE | GLUT_DEPTH);
    glutInitWindowSize(width, height);
    glutInitWindowPosition(0, 0);           // wholly on screen, so it can be read back
    glutCreateWindow("tha corbanet demo");
    // The test draws by calling display() itself; the toolkit only has to
    // map the window, which takes a round of its event processing.
    static bool mapped;
    glutDisplayFunc([] {});
    glutWindowStatusFunc([](int state) { mapped = state == GLUT_FULLY_RETAINED; });
    for (int i = 0; i < 500 && !mapped; ++i) {
        glutMainLoopEvent();
        usleep(2000);
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
    // What the window shows, fetched from the X server: the software
    // renderer keeps no front buffer of its own to read back.
    std::vector<unsigned char> rgb((size_t)width * height * 3);
    Display *dpy = glXGetCurrentDisplay();
    XImage *img = XGetImage(dpy, glXGetCurrentDrawable(), 0, 0, width, height, AllPlanes, ZPixmap);
    if (!img)
        return rgb;
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            unsigned long p = XGetPixel(img, x, height - 1 - y);
            unsigned char *q = &rgb[((size_t)y * width + x) * 3];
            q[0] = (unsigned char)((p & img->red_mask) >> __builtin_ctzl(img->red_mask));
            q[1] = (unsigned char)((p & img->green_mask) >> __builtin_ctzl(img->green_mask));
            q[2] = (unsigned char)((p & img->blue_mask) >> __builtin_ctzl(img->blue_mask));
        }
    }
    XDestroyImage(img);
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

ChildResult runInChild(const std::function<void()> &body)
{
    ChildResult result = {-1, ""};
    int fds[2];
    if (pipe(fds) != 0)
        return result;
    fflush(stdout);
    pid_t pid = fork();
    if (pid == 0) {
        close(fds[0]);
        dup2(fds[1], 1);
        close(fds[1]);
        body();
        _exit(99);                              // the body was expected not to return
    }
    close(fds[1]);
    char buf[4096];
    ssize_t n;
    while ((n = read(fds[0], buf, sizeof buf)) > 0)
        result.out.append(buf, (size_t)n);
    close(fds[0]);
    waitpid(pid, &result.status, 0);
    return result;
}
