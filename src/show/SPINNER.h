// SPINNER.h -- one sphere of the spinner field.
#ifndef SPINNER_H
#define SPINNER_H

#include <GL/glu.h>

// A solid sphere that turns a little further about its own axes every time
// it is drawn. Plain data: the field reads and writes the members directly.
class Spinner {
public:
    float myHeight;     // kept from setSize; drawing does not read it
    float myRadius;     // kept from setSize; drawing does not read it
    float myRotation;   // accumulated angle, degrees
    float mySpeed;      // degrees added per rotate()
    float mySize;       // diameter of the drawn sphere

    Spinner();
    void setSize(float height, float radius);
    void setSpeed(float speed);
    void rotate(float spinX, float spinY, float spinZ);
    void draw(GLUquadricObj *myQuadric);
};

#endif
