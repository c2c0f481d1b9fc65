// show_harness_windows.cpp -- the Windows side of tests/support/show_harness.h
// (the rest is show_harness_common.cpp): a freeglut window. Under Wine a
// window's front buffer reads back black, so there is no readFrontBuffer
// here: frames_test reads each frame's back buffer as it is swapped.
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
