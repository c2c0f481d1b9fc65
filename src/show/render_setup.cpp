// render_setup.cpp -- the fixed rendering state and the two lights.
//
// Set once at start-up and never changed: depth-tested, smooth-shaded, lit
// geometry whose material follows glColor. The light positions are not set
// here; the spinner field hands them over every frame so that the lights stay
// put in the scene while the camera moves.
#include <GL/gl.h>

#include "demo.h"

static const float Light0Diffuse[4] = {0.2f, 0.2f, 0.2f, 1.0f};   // dim grey fill
static const float Light0Direction[3] = {0, 0, -1};                // no effect: cut-off stays 180
static const float Light1Diffuse[4] = {1, 1, 1, 1};
static const float Light1Specular[4] = {1, 1, 1, 1};
static const float Light1Cutoff = 50;
static const float Light1Exponent = 50;
static const float Light1Direction[3] = {0, -1, 0};                // straight down

void setupRendering()
{
    glClearColor(0, 0, 0, 0);
    glClearDepth(1.0);
    glDepthFunc(GL_LESS);
    glEnable(GL_DEPTH_TEST);
    glShadeModel(GL_SMOOTH);

    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glMatrixMode(GL_MODELVIEW);

    glLightfv(GL_LIGHT0, GL_DIFFUSE, Light0Diffuse);
    glLightfv(GL_LIGHT0, GL_SPOT_DIRECTION, Light0Direction);
    glLightfv(GL_LIGHT1, GL_DIFFUSE, Light1Diffuse);
    glLightfv(GL_LIGHT1, GL_SPECULAR, Light1Specular);
    glLightf(GL_LIGHT1, GL_SPOT_CUTOFF, Light1Cutoff);
    glLightf(GL_LIGHT1, GL_SPOT_EXPONENT, Light1Exponent);
    glLightfv(GL_LIGHT1, GL_SPOT_DIRECTION, Light1Direction);

    glEnable(GL_LIGHT0);
    glEnable(GL_LIGHT1);
    glEnable(GL_LIGHTING);
    glEnable(GL_COLOR_MATERIAL);

    glDepthFunc(GL_LESS);
    glEnable(GL_DEPTH_TEST);

    // Additive blending is configured but GL_BLEND is never switched on, so
    // the alpha the scenes pass with their colours changes nothing.
    glBlendFunc(GL_SRC_ALPHA, GL_ONE);
}
