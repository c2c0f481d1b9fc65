// spinner_field.cpp -- the opening scene: a breathing 5 x 5 field of spheres.
//
// In state 0 the grid's spacing swells and shrinks with the camera's swing;
// when it has passed through zero twice, state 1 shrinks the centre sphere to
// nothing and hands over to the blast. Everything here steps once per frame.
#include <GL/gl.h>

#include "demo.h"

// A twelve-step pastel colour wheel, repeated to 25 entries.
static const float colors[25][3] = {
    {1.0f, 0.5f, 0.5f}, {1.0f, 0.75f, 0.5f}, {1.0f, 1.0f, 0.5f}, {0.75f, 1.0f, 0.5f},
    {0.5f, 1.0f, 0.5f}, {0.5f, 1.0f, 0.75f}, {0.5f, 1.0f, 1.0f}, {0.5f, 0.75f, 1.0f},
    {0.5f, 0.5f, 1.0f}, {0.75f, 0.5f, 1.0f}, {1.0f, 0.5f, 1.0f}, {1.0f, 0.5f, 0.75f},
    {1.0f, 0.5f, 0.5f}, {1.0f, 0.75f, 0.5f}, {1.0f, 1.0f, 0.5f}, {0.75f, 1.0f, 0.5f},
    {0.5f, 1.0f, 0.5f}, {0.5f, 1.0f, 0.75f}, {0.5f, 1.0f, 1.0f}, {0.5f, 0.75f, 1.0f},
    {0.5f, 0.5f, 1.0f}, {0.75f, 0.5f, 1.0f}, {1.0f, 0.5f, 1.0f}, {1.0f, 0.5f, 0.75f},
    {1.0f, 0.5f, 0.5f},
};

void makeSpinner(Spinner *spinner, float x, float y, float z)
{
    glPushMatrix();
        glTranslatef(x, y, z);
        glRotatef(90, 1, 0, 0);
        spinner->rotate(0, 0.2f, 1.0f);
        glRotatef(spinner->myRotation, 0, 0, 1);   // the same angle once more, about z
        gluQuadricTexture(quadObj, GL_TRUE);
        spinner->draw(quadObj);
    glPopMatrix();
}

void doSpinners()
{
    // The lights are placed after the camera, so they stay fixed in the scene.
    glLightfv(GL_LIGHT1, GL_POSITION, Light1Position);
    glLightfv(GL_LIGHT0, GL_POSITION, Light0Position);

    if (sequence == 0) {
        // One colour per row. The index steps by 4 per row, so the last
        // sphere of a row and the first of the next are the same spinner
        // (it turns twice a frame), and spinners 21 to 24 are never drawn.
        for (short i = -2; i <= 2; ++i) {
            for (short j = -2; j <= 2; ++j) {
                const float *c = colors[(i + 2) * 4];
                glColor4f(c[0], c[1], c[2], 0.8f);
                makeSpinner(&mySpinner[(i + 2) * 4 + (j + 2)], i * spinnerSpace, 0, j * spinnerSpace);
            }
        }
    } else if (sequence == 1) {
        // The centre sphere keeps the colour the grid's last row left current.
        // The steps and the band are single-precision constants: their float
        // values enter the double-precision sums, which round once, when stored.
        mySpinner[0].mySize = (float)(mySpinner[0].mySize - (double)0.005f);
        makeSpinner(&mySpinner[0], 0, 0, 0);
        if (!(mySpinner[0].mySize > 0.001f))
            sequence = 2;
    }

    // The swing: the speed ramps by a small step in the direction's sign
    // while it stays within the band; outside it the direction flips.
    if (cameraSpeed >= -0.03f && cameraSpeed <= 0.03f) {
        accCam((float)(cameraDirection * (double)0.00005f));
        if (sequence == 0)
            spinnerSpace = (float)(spinnerSpace + cameraDirection * (double)0.004f);
    } else {
        cameraSpeed = cameraDirection * cameraSpeed;
        cameraDirection = (short)-cameraDirection;
        accCam((float)(cameraDirection * (double)0.00005f));
    }

    // The grid counts as collapsed while |spacing| is below 0.0001; the
    // second collapse ends the field.
    if ((int)(spinnerSpace * 10000.0) == 0 && sequence == 0) {
        secondarySequence[2] += 1;
        if (secondarySequence[2] == 2)
            sequence = 1;
    }
}
