// slideshow.cpp -- the last scene: four pictures, then the way out.
//
// Each picture is copied straight into the window at its natural size, from
// the lower-left corner, and held with a plain sleep: nothing is drawn and no
// input is read until the show ends.
#include <GL/glut.h>

#include "demo.h"
#include "platform.h"

#include "LITELOGO.h"
#include "SIDELIT.h"
#include "SPIDER.h"
#include "ZORSMALL.h"

static void showPicture(unsigned w, unsigned h, const void *pixels, unsigned seconds)
{
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    glDrawPixels(w, h, GL_RGBA, GL_UNSIGNED_BYTE, pixels);
    glutSwapBuffers();
    sysSleepSeconds(seconds);
}

void drawLogo()
{
    // The first picture lands on the back buffer as the blast's last swap
    // left it; the others on a cleared, black one.
    showPicture(litelogo_w, litelogo_h, litelogodata, 5);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    showPicture(sidelit_w, sidelit_h, sidelitdata, 5);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    showPicture(spider_w, spider_h, spiderdata, 5);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    showPicture(zorsmall_w, zorsmall_h, zorsmalldata, 10);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    showPicture(litelogo_w, litelogo_h, litelogodata, 5);

    keyboard(27, 0, 0);
}
