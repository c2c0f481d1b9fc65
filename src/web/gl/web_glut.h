// web_glut.h -- what the web's entry point adds to its GLUT loop.
//
// Not part of GLUT: the page's test and benchmark modes watch the frames
// from here, without the show knowing.
#ifndef WEB_GLUT_H_HOOKS
#define WEB_GLUT_H_HOOKS

struct WebFrameHooks {
    void (*after)() = nullptr;      // after the frame's idle function returned
    bool backToBack = false;        // frames as fast as they come, not one per animation frame
    int fps = 60;                   // otherwise at most this many frames a second
    bool fixedSize = false;         // the canvas keeps fixedWidth x fixedHeight
    int fixedWidth = 0, fixedHeight = 0;
};

void webSetFrameHooks(const WebFrameHooks &hooks);

// The canvas's size in pixels, as the last reshape gave it.
void webWindowSize(int *width, int *height);

#endif
