// blast.cpp -- the second scene: 301 triangles fly apart and build a wall.
//
// For 100 frames the triangles fly outward from a small cluster, for 50
// they hang while the camera circles, and for 220 they glide home into a
// flat wall while the camera glides to a frontal view. Frames, not time,
// drive every phase.
#include <GL/glut.h>

#include "demo.h"

// The blast's own random source, a fixed linear congruential generator: the
// cluster, the directions and the colours must be the same in every run on
// every platform, which the C library's rand() does not promise.
unsigned nextRandom()
{
    randomSeed = randomSeed * 22695477u + 1u;
    return (randomSeed >> 16) & 0x7FFF;
}

// One random draw as a value between 0 and 0.32767.
static double randomUnit()
{
    return nextRandom() * 0.00001;
}

// Puts element n's three home vertices in the wall's plane, z = 0; a number
// past the last element is ignored.
static void setHome(unsigned n, float ax, float ay, float bx, float by, float cx, float cy)
{
    if (n >= 301)
        return;
    float (*o)[3] = blastElements[n].origCoords;
    o[0][0] = ax; o[0][1] = ay; o[0][2] = 0;
    o[1][0] = bx; o[1][1] = by; o[1][2] = 0;
    o[2][0] = cx; o[2][1] = cy; o[2][2] = 0;
}

void initBlast()
{
    blastToLast[0] = 100;                       // flight
    blastToLast[1] = blastToLast[0] + 50;       // hold
    blastToLast[2] = blastToLast[1] + 220;      // reassembly

    // Cell size of the wall: 50 columns over about 20 units, 3 rows over 10.
    float triangleXincrease = (float)(3.9867110f * 0.1);
    float triangleYincrease = (float)(33.333332f * 0.1);

    for (int e = 0; e < 301; ++e) {
        BlastElement *b = &blastElements[e];
        for (int k = 0; k < 3; ++k) {
            float first = (float)randomUnit();
            b->speed[k] = (float)(first - randomUnit());
        }
        for (int k = 0; k < 3; ++k)
            b->color[k] = (float)randomUnit();
        for (int v = 0; v < 3; ++v)
            for (int k = 0; k < 3; ++k)
                b->coords[v][k] = (float)randomUnit();
    }

    // Two triangles per cell, column by column; element 0 gets no cell and
    // keeps its home at the origin, so it ends as a point.
    const int maxColums = 50;
    unsigned n = 0;
    for (int Column = 0; Column < maxColums; ++Column) {
        for (int Row = 0; Row < 3; ++Row) {
            // In double: C++ would round int x float to a float before the
            // subtraction; the corners are rounded once, when stored.
            float x0 = (float)(Column * (double)triangleXincrease - 5);
            float x1 = (float)((Column + 1) * (double)triangleXincrease - 5);
            float y0 = (float)(Row * (double)triangleYincrease - 4);
            float y1 = (float)((Row + 1) * (double)triangleYincrease - 4);

            setHome(++n, x0, y0, x1, y1, x0, y1);
            setHome(++n, x0, y0, x1, y0, x1, y1);
        }
    }
}

// The frontal view the camera glides to while the wall forms.
static const float frontView[9] = {0, 0, 5, 0, 0, -5, 0, 1, 0};

void doBlast()
{
    cameraSpeed = 0.001f;
    glDisable(GL_BLEND);

    for (int e = 0; e < 301; ++e) {
        BlastElement *b = &blastElements[e];
        unsigned s = secondarySequence[1];
        float dx = (float)(s * (double)b->speed[0]);
        float dy = (float)(s * (double)b->speed[1]);
        float dz = (float)(s * (double)b->speed[2]);
        glTranslatef(dx, dy, dz);
        // No normal of their own: the triangles are lit with whatever normal
        // the wire sphere left current.
        glBegin(GL_TRIANGLES);
            glColor3f(1, 1, 1);
            glTexCoord2f(1, 1);
            glVertex3f(b->coords[2][0], b->coords[2][1], b->coords[2][2]);
            glTexCoord2f(1, 0);
            glVertex3f(b->coords[1][0], b->coords[1][1], b->coords[1][2]);
            glTexCoord2f(0, 0);
            glVertex3f(b->coords[0][0], b->coords[0][1], b->coords[0][2]);
        glEnd();
        glTranslatef(-dx, -dy, -dz);            // undo the move without touching the stack
    }

    unsigned c = secondarySequence[0];
    if (c < blastToLast[0]) {                   // flight: out to radius 8, no orbit
        cameraRadius = 8.0f;
        secondarySequence[0] += 1;
        secondarySequence[1] += 1;
        cameraSpeed = 0;
    } else if (c < blastToLast[1]) {            // hold: the camera circles
        cameraSpeed = 0.005f;
        secondarySequence[0] += 1;
    } else if (c < blastToLast[2]) {            // reassembly: a share of the way home each frame
        sequence = 3;
        int secondarySequencesLeft = (int)(blastToLast[2] - c);
        double left = secondarySequencesLeft;
        for (int e = 0; e < 301; ++e) {
            BlastElement *b = &blastElements[e];
            for (int v = 0; v < 3; ++v)
                for (int k = 0; k < 3; ++k)
                    b->coords[v][k] = (float)(b->coords[v][k] - (b->coords[v][k] - (double)b->origCoords[v][k]) / left);
        }
        for (int i = 0; i < 9; ++i)
            myGluLookAt[i] = (float)(myGluLookAt[i] - (myGluLookAt[i] - (double)frontView[i]) / left);
        cameraSpeed = 0;
        secondarySequence[1] -= secondarySequence[1] / (unsigned)secondarySequencesLeft;
        secondarySequence[0] += 1;
    } else if (c == blastToLast[2]) {           // done: the wall exact, on to the pictures
        for (int e = 0; e < 301; ++e)
            for (int v = 0; v < 3; ++v)
                for (int k = 0; k < 3; ++k)
                    blastElements[e].coords[v][k] = blastElements[e].origCoords[v][k];
        sequence = 4;
        glutSwapBuffers();
    }
}
