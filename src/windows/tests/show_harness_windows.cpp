// show_harness_windows.cpp -- the Windows side of tests/support/show_harness.h
// (the rest is show_harness_common.cpp): a freeglut window, and the front
// buffer read back through GL (Wine draws with the host's GL, Mesa here).
#include "show_harness.h"

#include "demo.h"

#include <GL/freeglut.h>
#include <windows.h>

void openShowWindow(int width, int height)
{
    static char name[] = "show-test";
    static char *argv[] = {name, nullptr};
    int argc = 1;
    showOpenWindow(&argc, argv, width, height, true);
    glutDisplayFunc([] {});
    for (int i = 0; i < 50; ++i) {      // let the toolkit map the window
        glutMainLoopEvent();
        Sleep(10);
    }
}

std::vector<unsigned char> readFrontBuffer(int width, int height)
{
    std::vector<unsigned char> rgb((size_t)width * height * 3);
    glReadBuffer(GL_FRONT);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(0, 0, width, height, GL_RGB, GL_UNSIGNED_BYTE, rgb.data());
    return rgb;
}
