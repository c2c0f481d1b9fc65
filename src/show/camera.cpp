// camera.cpp -- the orbit camera.
//
// The eye circles the vertical axis at cameraRadius; cameraDegree counts
// half-turns. Only eye x and z are written here: eye y, the centre and the up
// vector stay where they are until the blast glides them to the front.
#include <cmath>

#include "demo.h"

void accCam(float camAcc)
{
    cameraSpeed += camAcc;
}

void moveCam()
{
    cameraDegree += cameraSpeed;
    // 3.14159265 rather than the full-precision pi: the orbit's positions are
    // part of the show's fixed course.
    double angle = cameraDegree * 3.14159265;
    myGluLookAt[0] = (float)(sin(angle) * cameraRadius);
    myGluLookAt[2] = (float)(cos(angle) * cameraRadius);
}
