// spinner.cpp -- the Spinner class.
#include "SPINNER.h"

#include <GL/gl.h>

// Height, radius and speed are left alone: the global array is zeroed at
// load and the show gives every spinner its speed during start-up.
Spinner::Spinner()
{
    myRotation = 0;
    mySize = 1.0f;
}

void Spinner::setSize(float height, float radius)
{
    myHeight = height;
    myRadius = radius;
}

void Spinner::setSpeed(float speed)
{
    mySpeed = speed;
}

void Spinner::rotate(float spinX, float spinY, float spinZ)
{
    myRotation += mySpeed;
    glRotatef(myRotation, spinX, spinY, spinZ);
}

void Spinner::draw(GLUquadricObj *myQuadric)
{
    gluSphere(myQuadric, mySize * 0.5, 20, 20);
}
