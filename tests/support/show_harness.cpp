// show_harness.cpp -- see show_harness.h: the X11 window, its read-back and
// child processes (the rest is show_harness_common.cpp).
#include "show_harness.h"

#include "demo.h"

#include <cstdio>
#include <unistd.h>

#include <GL/freeglut.h>
#include <GL/glx.h>
#include <X11/Xutil.h>

void openShowWindow(int width, int height)
{
    static char name[] = "show-test";
    static char *argv[] = {name, nullptr};
    int argc = 1;
    showOpenWindow(&argc, argv, width, height, true);   // wholly on screen, so it can be read back
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
