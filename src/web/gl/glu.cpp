// glu.cpp -- the part of GLU the show calls: the camera, the projection and
// the quadric sphere.
//
// The show draws its spheres filled, with smooth normals and texture
// coordinates: it sets its one quadric so before every sphere. The sphere is
// cut exactly as Mesa's GLU 9.0 cuts such a sphere: the same single-
// precision sine and cosine tables, the same vertices and normals in the
// same order, quad strips from pole to pole (the texture coordinates change
// nothing on screen, since texturing is never switched on). The cut is
// recorded for the parameters of the last sphere and replayed while they
// stay the same.
#include <GL/glu.h>

#include <cmath>
#include <vector>

#include "gl_internal.h"

// The quadric's settings are always the show's: it keeps none.
struct GLUquadric {
};

namespace {

const double pi = 3.14159265358979323846;

// One vertex as GLU issues it, with the normal current at that moment.
struct SphereVertex {
    GLfloat position[3];
    GLfloat normal[3];
};

// The last sphere cut: its parameters and its quad strips, one after the
// other, 2 * (slices + 1) vertices each.
GLdouble cutRadius;
GLint cutSlices, cutStacks;
std::vector<SphereVertex> cut;

// Mesa GLU's gluSphere, filled, smooth, with texture coordinates. Its
// tables hold, for each slice and each stack, the sine and cosine of a
// single-precision angle, rounded to single precision; the last slice is the
// first again, and the sphere comes to a point at both poles.
void cutSphere(GLdouble radius, GLint slices, GLint stacks)
{
    auto sine = [](GLfloat a) { return (GLfloat)std::sin((double)a); };
    auto cosine = [](GLfloat a) { return (GLfloat)std::cos((double)a); };
    auto sliceAngle = [&](int i) { return (GLfloat)(2 * pi * (i % slices) / slices); };
    auto stackAngle = [&](int j) { return (GLfloat)(pi * j / stacks); };
    // The ring at stack j: its distance from the axis and its height.
    auto ringRadius = [&](int j) {
        return j == 0 || j == stacks ? 0.0f : (GLfloat)(radius * std::sin((double)stackAngle(j)));
    };
    auto ringZ = [&](int j) { return (GLfloat)(radius * std::cos((double)stackAngle(j))); };

    cutRadius = radius;
    cutSlices = slices;
    cutStacks = stacks;
    cut.clear();
    for (int j = 0; j < stacks; j++) {
        GLfloat zLow = ringZ(j), zHigh = ringZ(j + 1);
        GLfloat sintemp1 = ringRadius(j), sintemp2 = ringRadius(j + 1);
        GLfloat sintemp3 = sine(stackAngle(j + 1)), costemp3 = cosine(stackAngle(j + 1));
        GLfloat sintemp4 = sine(stackAngle(j)), costemp4 = cosine(stackAngle(j));
        for (int i = 0; i <= slices; i++) {
            GLfloat sinSlice = sine(sliceAngle(i)), cosSlice = cosine(sliceAngle(i));
            cut.push_back({{sintemp2 * sinSlice, sintemp2 * cosSlice, zHigh},
                           {sinSlice * sintemp3, cosSlice * sintemp3, costemp3}});
            cut.push_back({{sintemp1 * sinSlice, sintemp1 * cosSlice, zLow},
                           {sinSlice * sintemp4, cosSlice * sintemp4, costemp4}});
        }
    }
}

}  // namespace

GLUquadric *gluNewQuadric(void)
{
    return new GLUquadric;
}

void gluQuadricDrawStyle(GLUquadric *, GLenum)
{
}

void gluQuadricNormals(GLUquadric *, GLenum)
{
}

void gluQuadricTexture(GLUquadric *, GLboolean)
{
}

// Each vertex with its normal; the last one's normal stays current, as
// GLU leaves it.
void gluSphere(GLUquadric *, GLdouble radius, GLint slices, GLint stacks)
{
    if (cut.empty() || radius != cutRadius || slices != cutSlices || stacks != cutStacks)
        cutSphere(radius, slices, stacks);
    const size_t strip = 2 * (size_t)(slices + 1);
    for (size_t first = 0; first < cut.size(); first += strip) {
        glBegin(kQuadStrip);
        for (size_t k = first; k < first + strip; ++k) {
            webNormal3f(cut[k].normal[0], cut[k].normal[1], cut[k].normal[2]);
            glVertex3f(cut[k].position[0], cut[k].position[1], cut[k].position[2]);
        }
        glEnd();
    }
}

void gluLookAt(GLdouble eyeX, GLdouble eyeY, GLdouble eyeZ, GLdouble centerX, GLdouble centerY, GLdouble centerZ,
               GLdouble upX, GLdouble upY, GLdouble upZ)
{
    auto normalize = [](float v[3]) {
        float r = (float)std::sqrt((double)(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]));
        if (r == 0.0)
            return;
        v[0] /= r;
        v[1] /= r;
        v[2] /= r;
    };
    auto cross = [](const float a[3], const float b[3], float out[3]) {
        out[0] = a[1] * b[2] - a[2] * b[1];
        out[1] = a[2] * b[0] - a[0] * b[2];
        out[2] = a[0] * b[1] - a[1] * b[0];
    };
    float forward[3] = {(float)(centerX - eyeX), (float)(centerY - eyeY), (float)(centerZ - eyeZ)};
    float up[3] = {(float)upX, (float)upY, (float)upZ};
    float side[3];
    normalize(forward);
    cross(forward, up, side);
    normalize(side);
    cross(side, forward, up);

    GLfloat m[16] = {side[0], up[0], -forward[0], 0, side[1], up[1], -forward[1], 0,
                     side[2], up[2], -forward[2], 0, 0, 0, 0, 1};
    webMultMatrixf(m);
    glTranslatef((GLfloat)-eyeX, (GLfloat)-eyeY, (GLfloat)-eyeZ);
}

void gluPerspective(GLdouble fovy, GLdouble aspect, GLdouble zNear, GLdouble zFar)
{
    double radians = fovy / 2 * pi / 180;
    double deltaZ = zFar - zNear;
    double cotangent = std::cos(radians) / std::sin(radians);
    GLfloat m[16] = {(GLfloat)(cotangent / aspect), 0, 0, 0, 0, (GLfloat)cotangent, 0, 0,
                     0, 0, (GLfloat)(-(zFar + zNear) / deltaZ), -1, 0, 0, (GLfloat)(-2 * zNear * zFar / deltaZ), 0};
    webMultMatrixf(m);
}
