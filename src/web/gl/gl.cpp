// gl.cpp -- the part of OpenGL 1.x the show calls, drawn with WebGL 2.
//
// WebGL has no fixed-function pipeline, so this file keeps GL 1.x's state
// itself: the two matrix stacks, the current colour and normal, and the
// lights. Each vertex is moved into eye space here, as GL does at glVertex
// time with the model-view matrix then current; the vertex shader
// (webgl.js) applies the projection and lights the vertex by the GL 1.x
// lighting equation. Primitives are gathered into one indexed batch of
// triangles or of lines and drawn when something that changes the picture's
// state comes along (a clear, a light, a switch between lines and
// triangles, a swap).
//
// The lighting is the show's: its set-up switches on lighting, both lights
// and colour material before anything is drawn and never switches them off,
// and nothing sets a material, so the shader always lights by both lights
// with the current colour as the ambient and diffuse material, a black
// specular and emission. A light's ambient colour and its attenuation stay
// GL's defaults (none, constant 1), which add nothing. Blending is never
// switched on and texturing never used. The clear colour and depth and the
// depth function the show sets are GL's initial ones, which are WebGL's too.
#include <GL/gl.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <emscripten.h>
#include <vector>

#include "gl_internal.h"

// ---- the browser side (webgl.js) -------------------------------------------
extern "C" {
int webglCreate();
int webglWarmUp();
void webglViewport(int x, int y, int w, int h);
void webglClear(unsigned mask);
void webglEnable(unsigned cap);
void webglDraw(int lines, const float *vertices, int vertexCount, const uint16_t *indices, int indexCount,
               const float *projection, const float *lights);
void webglDrawPixels(int width, int height, const unsigned char *rgba);
void webglReadPixels(int x, int y, int width, int height, unsigned char *rgba);
void webglCanvasSize(int width, int height);
}

namespace {

typedef GLfloat Matrix[16];    // column-major, element (row r, column c) at [c * 4 + r]

const int stackDepth = 32;

struct MatrixStack {
    Matrix m[stackDepth];
    int top = 0;
};

MatrixStack modelview, projection;
MatrixStack *current = &modelview;

// The normal matrix (inverse transpose of the model-view's upper 3 x 3),
// recomputed when the model-view has changed.
GLfloat normalMatrix[9];
bool normalMatrixStale = true;

GLfloat currentColor[3] = {1, 1, 1};
GLfloat currentNormal[3] = {0, 0, 1};

// A light as the vertex shader reads it (uLights in webgl.js): four vec4.
struct Light {
    GLfloat spotExponent;
    GLfloat spotCosCutoff;     // -2: a cut-off of 180 degrees, no cone at all
    GLfloat unused[2];
    GLfloat diffuse[4];
    GLfloat position[4];       // eye coordinates
    GLfloat spotDirection[4];  // eye coordinates; the fourth is unused
};

Light lights[2] = {
    {0, -2, {0, 0}, {1, 1, 1, 1}, {0, 0, 1, 0}, {0, 0, -1, 0}},
    {0, -2, {0, 0}, {0, 0, 0, 1}, {0, 0, 1, 0}, {0, 0, -1, 0}},
};
static_assert(sizeof lights == 32 * sizeof(float), "the shader reads eight vec4");

// The batch: per vertex the eye-space position, the eye-space normal and the
// colour (nine floats); 16-bit indices into it, as triangles or as lines. A
// batch goes out before it outgrows its indices; the show's primitives have
// a few dozen vertices at most, and one of more than `primitiveRoom`
// vertices is cut there.
const int vertexFloats = 9;
std::vector<float> batchVertices;
std::vector<uint16_t> batchIndices;
const uint32_t batchRoom = 65535;          // index 65535 restarts a primitive in WebGL 2
const uint32_t primitiveRoom = 4096;
bool batchLines = false;

// The primitive between glBegin and glEnd.
GLenum primitiveMode = 0;
uint32_t primitiveFirst = 0;

GLfloat *top()
{
    return current->m[current->top];
}

void identity(GLfloat *m)
{
    std::memset(m, 0, sizeof(Matrix));
    m[0] = m[5] = m[10] = m[15] = 1;
}

// The projection is drawn with the batch, so the batch goes out before it
// changes.
void beforeChange()
{
    if (current == &projection)
        webFlush();
}

void touched()
{
    if (current == &modelview)
        normalMatrixStale = true;
}

}  // namespace

// top = top * m, in single precision as GL computes it.
void webMultMatrixf(const GLfloat m[16])
{
    beforeChange();
    GLfloat *a = top();
    Matrix r;
    for (int c = 0; c < 4; ++c)
        for (int row = 0; row < 4; ++row) {
            GLfloat s = 0;
            for (int k = 0; k < 4; ++k)
                s += a[k * 4 + row] * m[c * 4 + k];
            r[c * 4 + row] = s;
        }
    std::memcpy(a, r, sizeof r);
    touched();
}

namespace {

void updateNormalMatrix()
{
    const GLfloat *m = modelview.m[modelview.top];
    // Upper 3 x 3, a[row][col].
    double a[3][3];
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 3; ++c)
            a[r][c] = m[c * 4 + r];
    double cof[3][3];
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 3; ++c) {
            int r1 = (r + 1) % 3, r2 = (r + 2) % 3, c1 = (c + 1) % 3, c2 = (c + 2) % 3;
            cof[r][c] = a[r1][c1] * a[r2][c2] - a[r1][c2] * a[r2][c1];
        }
    double det = a[0][0] * cof[0][0] + a[0][1] * cof[0][1] + a[0][2] * cof[0][2];
    // The inverse transpose is the cofactor matrix over the determinant. A
    // singular matrix (the show's very first, degenerate camera) leaves the
    // normals untransformed, as Mesa does.
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 3; ++c)
            normalMatrix[r * 3 + c] = det == 0 ? (r == c ? 1.0f : 0.0f) : (GLfloat)(cof[r][c] / det);
    normalMatrixStale = false;
}

void appendVertex(const GLfloat *p, const GLfloat *n)
{
    if (normalMatrixStale)
        updateNormalMatrix();
    const GLfloat *m = modelview.m[modelview.top];
    float v[vertexFloats];
    for (int r = 0; r < 3; ++r)
        v[r] = m[r] * p[0] + m[4 + r] * p[1] + m[8 + r] * p[2] + m[12 + r];
    for (int r = 0; r < 3; ++r)
        v[3 + r] = normalMatrix[r * 3] * n[0] + normalMatrix[r * 3 + 1] * n[1] + normalMatrix[r * 3 + 2] * n[2];
    std::memcpy(v + 6, currentColor, sizeof currentColor);
    batchVertices.insert(batchVertices.end(), v, v + vertexFloats);
}

uint32_t vertexCount()
{
    return (uint32_t)(batchVertices.size() / vertexFloats);
}

// Starts a primitive of the given kind, sending the batch first when it
// holds the other kind, so that drawing order is kept.
void beginKind(bool lines, uint32_t vertices)
{
    if ((lines != batchLines && !batchIndices.empty()) || vertexCount() + vertices > batchRoom)
        webFlush();
    batchLines = lines;
}

}  // namespace

// Indices of a primitive of `count` vertices: the batch's vertices from
// `first` on, or, with `elements`, those vertices picked by the elements.
// The show's triangles, GLU's quad strips and GLUT's line strips and loops;
// quads of a strip are split along the diagonal from their first to their
// last vertex, as Mesa splits them.
void webArrayElements(GLenum mode, unsigned first, const unsigned short *elements, int count)
{
    auto at = [&](int i) { return (uint16_t)(first + (elements ? elements[i] : i)); };
    std::vector<uint16_t> &ix = batchIndices;
    if (mode == GL_TRIANGLES) {
        for (int i = 0; i + 2 < count; i += 3)
            ix.insert(ix.end(), {at(i), at(i + 1), at(i + 2)});
    } else if (mode == kQuadStrip) {
        for (int i = 0; i + 3 < count; i += 2) {
            ix.insert(ix.end(), {at(i), at(i + 1), at(i + 3)});
            ix.insert(ix.end(), {at(i), at(i + 3), at(i + 2)});
        }
    } else {
        for (int i = 0; i + 1 < count; ++i)
            ix.insert(ix.end(), {at(i), at(i + 1)});
        if (mode == kLineLoop)
            ix.insert(ix.end(), {at(count - 1), at(0)});
    }
}

void webFlush()
{
    if (!batchIndices.empty())
        webglDraw(batchLines, batchVertices.data(), (int)vertexCount(), batchIndices.data(), (int)batchIndices.size(),
                  projection.m[projection.top], reinterpret_cast<const float *>(lights));
    batchVertices.clear();
    batchIndices.clear();
}

// Called by the page while its start screen is up (see webgl.js).
extern "C" EMSCRIPTEN_KEEPALIVE int webPrepareGraphics()
{
    return webglWarmUp();
}

bool webCreateContext()
{
    identity(modelview.m[0]);
    identity(projection.m[0]);
    return webglCreate() != 0;
}

void webCanvasSize(int width, int height)
{
    webFlush();
    webglCanvasSize(width, height);
}

void webReadPixels(int x, int y, int width, int height, unsigned char *rgba)
{
    webFlush();
    webglReadPixels(x, y, width, height, rgba);
}

void webNormal3f(GLfloat x, GLfloat y, GLfloat z)
{
    currentNormal[0] = x;
    currentNormal[1] = y;
    currentNormal[2] = z;
}

unsigned webArrayVertices(const GLfloat *vertices, const GLfloat *normals, int count)
{
    beginKind(true, (uint32_t)count);
    uint32_t first = vertexCount();
    for (int k = 0; k < count; ++k)
        appendVertex(vertices + 3 * k, normals + 3 * k);
    return first;
}

// ---- the GL entry points ------------------------------------------------------

void glClear(GLbitfield mask)
{
    webFlush();
    webglClear(mask);
}

// Black, depth 1 and GL_LESS: GL's and WebGL's initial state.
void glClearColor(GLclampf, GLclampf, GLclampf, GLclampf)
{
}

void glClearDepth(GLclampd)
{
}

void glDepthFunc(GLenum)
{
}

// The depth test is WebGL's own; lighting, the lights and colour material
// are always on in the shader (see the top of this file).
void glEnable(GLenum cap)
{
    if (cap == GL_DEPTH_TEST) {
        webFlush();
        webglEnable(cap);
    }
}

// The show switches off only blending, which is never on.
void glDisable(GLenum)
{
}

// Smooth shading is what the vertex colours give; the show asks for nothing else.
void glShadeModel(GLenum)
{
}

// Blending is never switched on, so its factors change nothing.
void glBlendFunc(GLenum, GLenum)
{
}

void glViewport(GLint x, GLint y, GLsizei width, GLsizei height)
{
    webFlush();
    webglViewport(x, y, width, height);
}

void glMatrixMode(GLenum mode)
{
    current = mode == GL_PROJECTION ? &projection : &modelview;
}

void glLoadIdentity(void)
{
    beforeChange();
    identity(top());
    touched();
}

void glPushMatrix(void)
{
    if (current->top + 1 >= stackDepth)
        return;                             // stack overflow: GL ignores the call
    std::memcpy(current->m[current->top + 1], top(), sizeof(Matrix));
    current->top += 1;
}

void glPopMatrix(void)
{
    if (current->top == 0)
        return;                             // stack underflow: GL ignores the call
    beforeChange();
    current->top -= 1;
    touched();
}

void glTranslatef(GLfloat x, GLfloat y, GLfloat z)
{
    beforeChange();
    // Only the last column changes: m * T.
    GLfloat *m = top();
    for (int r = 0; r < 4; ++r)
        m[12 + r] = m[r] * x + m[4 + r] * y + m[8 + r] * z + m[12 + r];
}

// The rotation matrix as Mesa builds it: rotations about the x or the z axis
// exactly, any other axis normalised first. The show's axes point the
// positive way.
void glRotatef(GLfloat angle, GLfloat x, GLfloat y, GLfloat z)
{
    beforeChange();
    GLfloat s = (GLfloat)std::sin(angle * M_PI / 180.0);
    GLfloat c = (GLfloat)std::cos(angle * M_PI / 180.0);
    Matrix m;
    identity(m);
#define M(row, col) m[(col) * 4 + (row)]
    if (x == 0 && y == 0 && z != 0) {
        M(0, 0) = c;
        M(1, 1) = c;
        M(0, 1) = -s;
        M(1, 0) = s;
    } else if (y == 0 && z == 0 && x != 0) {
        M(1, 1) = c;
        M(2, 2) = c;
        M(1, 2) = -s;
        M(2, 1) = s;
    } else {
        GLfloat mag = std::sqrt(x * x + y * y + z * z);
        x /= mag;
        y /= mag;
        z /= mag;
        GLfloat xx = x * x, yy = y * y, zz = z * z, xy = x * y, yz = y * z, zx = z * x;
        GLfloat xs = x * s, ys = y * s, zs = z * s, oneC = 1.0f - c;
        M(0, 0) = (oneC * xx) + c;
        M(0, 1) = (oneC * xy) - zs;
        M(0, 2) = (oneC * zx) + ys;
        M(1, 0) = (oneC * xy) + zs;
        M(1, 1) = (oneC * yy) + c;
        M(1, 2) = (oneC * yz) - xs;
        M(2, 0) = (oneC * zx) - ys;
        M(2, 1) = (oneC * yz) + xs;
        M(2, 2) = (oneC * zz) + c;
    }
#undef M
    webMultMatrixf(m);
}

void glBegin(GLenum mode)
{
    beginKind(false, primitiveRoom);
    primitiveMode = mode;
    primitiveFirst = vertexCount();
}

void glEnd(void)
{
    webArrayElements(primitiveMode, primitiveFirst, nullptr, (int)(vertexCount() - primitiveFirst));
}

// With colour material on, the colour is the material's ambient and diffuse
// colour. Its alpha changes nothing: nothing blends, and the canvas keeps
// no alpha.
void glColor4f(GLfloat red, GLfloat green, GLfloat blue, GLfloat)
{
    currentColor[0] = red;
    currentColor[1] = green;
    currentColor[2] = blue;
}

void glColor3f(GLfloat red, GLfloat green, GLfloat blue)
{
    glColor4f(red, green, blue, 1.0f);
}

// Texturing is never switched on, so the coordinates change nothing.
void glTexCoord2f(GLfloat, GLfloat)
{
}

void glVertex3f(GLfloat x, GLfloat y, GLfloat z)
{
    if (vertexCount() - primitiveFirst >= primitiveRoom)
        return;
    const GLfloat p[3] = {x, y, z};
    appendVertex(p, currentNormal);
}

// A light's specular colour meets the material's, which is black: it adds
// nothing and is not kept.
void glLightfv(GLenum light, GLenum pname, const GLfloat *params)
{
    Light &l = lights[light - GL_LIGHT0];
    webFlush();
    const GLfloat *m = modelview.m[modelview.top];
    if (pname == GL_DIFFUSE) {
        std::memcpy(l.diffuse, params, sizeof l.diffuse);
    } else if (pname == GL_POSITION) {      // into eye coordinates by the current model-view
        for (int r = 0; r < 4; ++r)
            l.position[r] = m[r] * params[0] + m[4 + r] * params[1] + m[8 + r] * params[2] + m[12 + r] * params[3];
    } else if (pname == GL_SPOT_DIRECTION) {    // by the model-view's upper 3 x 3
        for (int r = 0; r < 3; ++r)
            l.spotDirection[r] = m[r] * params[0] + m[4 + r] * params[1] + m[8 + r] * params[2];
    }
}

void glLightf(GLenum light, GLenum pname, GLfloat param)
{
    Light &l = lights[light - GL_LIGHT0];
    webFlush();
    if (pname == GL_SPOT_EXPONENT)
        l.spotExponent = param;
    else if (pname == GL_SPOT_CUTOFF)       // the show's cut-off is less than 180 degrees
        l.spotCosCutoff = (float)std::cos(param * M_PI / 180.0);
}

// Rows of RGBA bytes are a whole number of words long, so the show's
// alignment of 1 packs them as any of 1, 2 or 4 would.
void glPixelStorei(GLenum, GLint)
{
}

// Copies the picture (RGBA bytes, as the show passes it) to the window's
// lower-left corner, one pixel per pixel: the default raster position, which
// the show never moves.
void glDrawPixels(GLsizei width, GLsizei height, GLenum, GLenum, const GLvoid *pixels)
{
    webFlush();
    webglDrawPixels(width, height, (const unsigned char *)pixels);
}
