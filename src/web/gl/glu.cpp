// glu.cpp -- the part of GLU the show calls: the camera, the projection and
// the quadric sphere.
//
// The sphere is cut exactly as Mesa's GLU 9.0 cuts it: the same single-
// precision sine and cosine tables, the same vertices, normals and texture
// coordinates in the same order, as triangle fans at the poles without
// texture coordinates and quad strips everywhere else. A tessellation is
// recorded the first time its parameters come up and replayed afterwards.
#include <GL/glu.h>

#include <cmath>
#include <vector>

#include "gl_internal.h"

struct GLUquadric {
    GLenum normals;
    GLboolean textureCoords;
    GLenum drawStyle;
};

namespace {

const double pi = 3.14159265358979323846;
const int cacheSize = 240;      // GLU's table size; more slices or stacks are cut to fit

// One vertex as GLU issues it, with the normal and texture coordinates
// current at that moment.
struct SphereVertex {
    GLfloat position[3];
    GLfloat normal[3];
};

struct SpherePrimitive {
    GLenum mode;
    std::vector<SphereVertex> vertices;
};

struct Sphere {
    GLdouble radius;
    GLint slices, stacks;
    GLenum normals;
    GLboolean textureCoords;
    std::vector<SpherePrimitive> primitives;
    GLfloat lastNormal[3];      // the current normal GLU leaves behind
    bool setsNormal;
};

// Recording: the sphere's calls go here instead of to GL.
Sphere *recording;
GLfloat recordNormal[3];
bool recordedNormal;

void normal3f(GLfloat x, GLfloat y, GLfloat z)
{
    recordNormal[0] = x;
    recordNormal[1] = y;
    recordNormal[2] = z;
    recordedNormal = true;
}

void begin(GLenum mode)
{
    recording->primitives.push_back({mode, {}});
}

void vertex3f(GLfloat x, GLfloat y, GLfloat z)
{
    SphereVertex v = {{x, y, z}, {recordNormal[0], recordNormal[1], recordNormal[2]}};
    recording->primitives.back().vertices.push_back(v);
}

// Texture coordinates go nowhere visible (texturing is never enabled), but
// they decide which of GLU's two ways the sphere is cut.
void texCoord2f(GLfloat, GLfloat)
{
}

// Mesa GLU's gluSphere, filled style, as a sequence of the calls above.
void tessellate(Sphere *sp)
{
    GLint slices = sp->slices, stacks = sp->stacks;
    GLdouble radius = sp->radius;
    GLfloat sinCache1a[cacheSize], cosCache1a[cacheSize];
    GLfloat sinCache2a[cacheSize], cosCache2a[cacheSize];
    GLfloat sinCache3a[cacheSize], cosCache3a[cacheSize];
    GLfloat sinCache1b[cacheSize], cosCache1b[cacheSize];
    GLfloat sinCache2b[cacheSize], cosCache2b[cacheSize];
    GLfloat sinCache3b[cacheSize], cosCache3b[cacheSize];
    GLfloat angle, zLow, zHigh;
    GLfloat sintemp1 = 0, sintemp2 = 0, sintemp3 = 0, sintemp4 = 0;
    GLfloat costemp3 = 0, costemp4 = 0;
    GLint i, j, start, finish;
    bool smooth = sp->normals == GLU_SMOOTH, flat = sp->normals == GLU_FLAT;
    bool needCache2 = smooth || false, needCache3 = flat;

    for (i = 0; i < slices; i++) {
        angle = (GLfloat)(2 * pi * i / slices);
        sinCache1a[i] = (GLfloat)std::sin((double)angle);
        cosCache1a[i] = (GLfloat)std::cos((double)angle);
        sinCache2a[i] = sinCache1a[i];
        cosCache2a[i] = cosCache1a[i];
    }
    for (j = 0; j <= stacks; j++) {
        angle = (GLfloat)(pi * j / stacks);
        sinCache2b[j] = (GLfloat)std::sin((double)angle);
        cosCache2b[j] = (GLfloat)std::cos((double)angle);
        sinCache1b[j] = (GLfloat)(radius * std::sin((double)angle));
        cosCache1b[j] = (GLfloat)(radius * std::cos((double)angle));
    }
    sinCache1b[0] = 0;          // make sure it comes to a point
    sinCache1b[stacks] = 0;
    if (needCache3) {
        for (i = 0; i < slices; i++) {
            angle = (GLfloat)(2 * pi * (i - 0.5) / slices);
            sinCache3a[i] = (GLfloat)std::sin((double)angle);
            cosCache3a[i] = (GLfloat)std::cos((double)angle);
        }
        for (j = 0; j <= stacks; j++) {
            angle = (GLfloat)(pi * (j - 0.5) / stacks);
            sinCache3b[j] = (GLfloat)std::sin((double)angle);
            cosCache3b[j] = (GLfloat)std::cos((double)angle);
        }
    }
    sinCache1a[slices] = sinCache1a[0];
    cosCache1a[slices] = cosCache1a[0];
    sinCache2a[slices] = sinCache2a[0];
    cosCache2a[slices] = cosCache2a[0];
    sinCache3a[slices] = sinCache3a[0];
    cosCache3a[slices] = cosCache3a[0];
    (void)needCache2;

    if (!sp->textureCoords) {
        // The poles as triangle fans: not when texturing, because the apex
        // needs its own texture coordinates for every neighbour.
        start = 1;
        finish = stacks - 1;

        sintemp2 = sinCache1b[1];
        zHigh = cosCache1b[1];
        if (flat) {
            sintemp3 = sinCache3b[1];
            costemp3 = cosCache3b[1];
        } else if (smooth) {
            sintemp3 = sinCache2b[1];
            costemp3 = cosCache2b[1];
            normal3f(sinCache2a[0] * sinCache2b[0], cosCache2a[0] * sinCache2b[0], cosCache2b[0]);
        }
        begin(kTriangleFan);
        vertex3f(0.0, 0.0, (GLfloat)radius);
        for (i = slices; i >= 0; i--) {
            if (smooth)
                normal3f(sinCache2a[i] * sintemp3, cosCache2a[i] * sintemp3, costemp3);
            else if (flat && i != slices)
                normal3f(sinCache3a[i + 1] * sintemp3, cosCache3a[i + 1] * sintemp3, costemp3);
            vertex3f(sintemp2 * sinCache1a[i], sintemp2 * cosCache1a[i], zHigh);
        }

        sintemp2 = sinCache1b[stacks - 1];
        zHigh = cosCache1b[stacks - 1];
        if (flat) {
            sintemp3 = sinCache3b[stacks];
            costemp3 = cosCache3b[stacks];
        } else if (smooth) {
            sintemp3 = sinCache2b[stacks - 1];
            costemp3 = cosCache2b[stacks - 1];
            normal3f(sinCache2a[stacks] * sinCache2b[stacks], cosCache2a[stacks] * sinCache2b[stacks],
                     cosCache2b[stacks]);
        }
        begin(kTriangleFan);
        vertex3f(0.0, 0.0, (GLfloat)-radius);
        for (i = 0; i <= slices; i++) {
            if (smooth || flat) {
                const GLfloat *s = smooth ? sinCache2a : sinCache3a, *c = smooth ? cosCache2a : cosCache3a;
                normal3f(s[i] * sintemp3, c[i] * sintemp3, costemp3);
            }
            vertex3f(sintemp2 * sinCache1a[i], sintemp2 * cosCache1a[i], zHigh);
        }
    } else {
        start = 0;
        finish = stacks;
    }
    for (j = start; j < finish; j++) {
        zLow = cosCache1b[j];
        zHigh = cosCache1b[j + 1];
        sintemp1 = sinCache1b[j];
        sintemp2 = sinCache1b[j + 1];
        if (flat) {
            sintemp4 = sinCache3b[j + 1];
            costemp4 = cosCache3b[j + 1];
        } else if (smooth) {
            sintemp3 = sinCache2b[j + 1];
            costemp3 = cosCache2b[j + 1];
            sintemp4 = sinCache2b[j];
            costemp4 = cosCache2b[j];
        }
        begin(kQuadStrip);
        for (i = 0; i <= slices; i++) {
            if (smooth)
                normal3f(sinCache2a[i] * sintemp3, cosCache2a[i] * sintemp3, costemp3);
            if (sp->textureCoords)
                texCoord2f(1 - (float)i / slices, 1 - (float)(j + 1) / stacks);
            vertex3f(sintemp2 * sinCache1a[i], sintemp2 * cosCache1a[i], zHigh);
            if (smooth)
                normal3f(sinCache2a[i] * sintemp4, cosCache2a[i] * sintemp4, costemp4);
            else if (flat)
                normal3f(sinCache3a[i] * sintemp4, cosCache3a[i] * sintemp4, costemp4);
            if (sp->textureCoords)
                texCoord2f(1 - (float)i / slices, 1 - (float)j / stacks);
            vertex3f(sintemp1 * sinCache1a[i], sintemp1 * cosCache1a[i], zLow);
        }
    }
}

// The recorded spheres, most recently used first. The show asks for a
// handful of sizes, and one new size per frame while its last sphere shrinks.
std::vector<Sphere *> spheres;
const size_t keptSpheres = 8;

Sphere *sphereFor(GLdouble radius, GLint slices, GLint stacks, GLenum normals, GLboolean textureCoords)
{
    for (size_t k = 0; k < spheres.size(); ++k) {
        Sphere *s = spheres[k];
        if (s->radius == radius && s->slices == slices && s->stacks == stacks && s->normals == normals &&
            s->textureCoords == textureCoords) {
            spheres.erase(spheres.begin() + k);
            spheres.insert(spheres.begin(), s);
            return s;
        }
    }
    Sphere *s = new Sphere{radius, slices, stacks, normals, textureCoords, {}, {0, 0, 0}, false};
    recording = s;
    recordedNormal = false;
    webCurrentNormal(recordNormal);
    tessellate(s);
    s->setsNormal = recordedNormal;
    for (int k = 0; k < 3; ++k)
        s->lastNormal[k] = recordNormal[k];
    recording = nullptr;
    spheres.insert(spheres.begin(), s);
    if (spheres.size() > keptSpheres) {
        delete spheres.back();
        spheres.pop_back();
    }
    return s;
}

}  // namespace

GLUquadric *gluNewQuadric(void)
{
    return new GLUquadric{GLU_SMOOTH, GL_FALSE, GLU_FILL};
}

void gluQuadricDrawStyle(GLUquadric *quad, GLenum draw)
{
    quad->drawStyle = draw;
}

void gluQuadricNormals(GLUquadric *quad, GLenum normal)
{
    quad->normals = normal;
}

void gluQuadricTexture(GLUquadric *quad, GLboolean texture)
{
    quad->textureCoords = texture;
}

// Filled spheres only: the show draws no other style, and a quadric set to
// another draws nothing here.
void gluSphere(GLUquadric *quad, GLdouble radius, GLint slices, GLint stacks)
{
    if (slices >= cacheSize)
        slices = cacheSize - 1;
    if (stacks >= cacheSize)
        stacks = cacheSize - 1;
    if (slices < 2 || stacks < 1 || radius < 0.0 || quad->drawStyle != GLU_FILL)
        return;
    Sphere *s = sphereFor(radius, slices, stacks, quad->normals, quad->textureCoords);
    for (const SpherePrimitive &p : s->primitives) {
        glBegin(p.mode);
        for (const SphereVertex &v : p.vertices) {
            if (s->setsNormal)
                webNormal3f(v.normal[0], v.normal[1], v.normal[2]);
            glVertex3f(v.position[0], v.position[1], v.position[2]);
        }
        glEnd();
    }
    if (s->setsNormal)
        webNormal3f(s->lastNormal[0], s->lastNormal[1], s->lastNormal[2]);
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
    webTranslated(-eyeX, -eyeY, -eyeZ);
}

void gluPerspective(GLdouble fovy, GLdouble aspect, GLdouble zNear, GLdouble zFar)
{
    double radians = fovy / 2 * pi / 180;
    double deltaZ = zFar - zNear;
    double sine = std::sin(radians);
    if (deltaZ == 0 || sine == 0 || aspect == 0)
        return;
    double cotangent = std::cos(radians) / sine;
    GLdouble m[16] = {cotangent / aspect, 0, 0, 0, 0, cotangent, 0, 0,
                      0, 0, -(zFar + zNear) / deltaZ, -1, 0, 0, -2 * zNear * zFar / deltaZ, 0};
    webMultMatrixd(m);
}
