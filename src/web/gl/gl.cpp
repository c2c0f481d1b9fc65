// gl.cpp -- the part of OpenGL 1.x the show calls, drawn with WebGL 2.
//
// WebGL has no fixed-function pipeline, so this file keeps GL 1.x's state
// itself: the two matrix stacks, the current colour and normal, the lights
// and the material. Each vertex is moved into eye space here, as GL does at
// glVertex time with the model-view matrix then current; the vertex shader
// (webgl.js) applies the projection and lights the vertex by the GL 1.x
// lighting equation. Primitives are gathered into one indexed batch of
// triangles or of lines and drawn when something that changes the picture's
// state comes along (a clear, a light, a switch between lines and
// triangles, a swap).
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
void webglClear(unsigned mask, float r, float g, float b, float a, float depth);
void webglCapability(unsigned cap, int on);
void webglDepthFunc(unsigned func);
void webglBlendFunc(unsigned src, unsigned dst);
void webglDraw(int lines, const float *vertices, int vertexCount, const uint16_t *indices, int indexCount,
               const float *projection, const float *state);
void webglDrawPixels(int width, int height, const unsigned char *rgba, int strideBytes);
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

GLfloat currentColor[4] = {1, 1, 1, 1};
GLfloat currentNormal[3] = {0, 0, 1};
GLfloat currentTexCoord[2] = {0, 0};

struct Light {
    bool enabled;
    GLfloat ambient[4], diffuse[4], specular[4];
    GLfloat position[4];       // eye coordinates
    GLfloat spotDirection[3];  // eye coordinates
    GLfloat spotExponent, spotCutoff;
    GLfloat attenuation[3];    // constant, linear, quadratic
};

Light lights[2] = {
    {false, {0, 0, 0, 1}, {1, 1, 1, 1}, {1, 1, 1, 1}, {0, 0, 1, 0}, {0, 0, -1}, 0, 180, {1, 0, 0}},
    {false, {0, 0, 0, 1}, {0, 0, 0, 1}, {0, 0, 0, 1}, {0, 0, 1, 0}, {0, 0, -1}, 0, 180, {1, 0, 0}},
};

bool lighting = false;
bool colorMaterial = false;
GLfloat materialAmbient[4] = {0.2f, 0.2f, 0.2f, 1};
GLfloat materialDiffuse[4] = {0.8f, 0.8f, 0.8f, 1};
GLfloat materialSpecular[4] = {0, 0, 0, 1};
GLfloat materialEmission[4] = {0, 0, 0, 1};
GLfloat materialShininess = 0;
const GLfloat sceneAmbient[4] = {0.2f, 0.2f, 0.2f, 1};

GLfloat clearColor[4] = {0, 0, 0, 0};
GLfloat clearDepth = 1;
int unpackAlignment = 4;

// The batch: per vertex the eye-space position, the eye-space normal and the
// colour (ten floats); 16-bit indices into it, as triangles or as lines. A
// batch goes out before it outgrows its indices; the show's primitives have
// a few dozen vertices at most, and one of more than `primitiveRoom`
// vertices is cut there.
std::vector<float> batchVertices;
std::vector<uint16_t> batchIndices;
const uint32_t batchRoom = 65535;          // index 65535 restarts a primitive in WebGL 2
const uint32_t primitiveRoom = 4096;
bool batchLines = false;

// The primitive between glBegin and glEnd.
bool inPrimitive = false;
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

// top = top * m, in single precision as GL computes it.
void multiply(const GLfloat *m)
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
    float v[10];
    for (int r = 0; r < 3; ++r)
        v[r] = m[r] * p[0] + m[4 + r] * p[1] + m[8 + r] * p[2] + m[12 + r];
    for (int r = 0; r < 3; ++r)
        v[3 + r] = normalMatrix[r * 3] * n[0] + normalMatrix[r * 3 + 1] * n[1] + normalMatrix[r * 3 + 2] * n[2];
    std::memcpy(v + 6, currentColor, sizeof currentColor);
    batchVertices.insert(batchVertices.end(), v, v + 10);
}

uint32_t vertexCount()
{
    return (uint32_t)(batchVertices.size() / 10);
}

// Starts a primitive of the given kind, sending the batch first when it
// holds the other kind, so that drawing order is kept.
void beginKind(bool lines, uint32_t vertices)
{
    if ((lines != batchLines && !batchIndices.empty()) || vertexCount() + vertices > batchRoom)
        webFlush();
    batchLines = lines;
}

bool isLineMode(GLenum mode)
{
    return mode == kLines || mode == kLineLoop || mode == kLineStrip;
}

// Indices of a primitive of `count` vertices: the batch's vertices from
// `first` on, or, with `elements`, those vertices picked by the elements.
// Quads of a strip are split along the diagonal from their first to their
// last vertex, as Mesa splits them.
void assemble(GLenum mode, uint32_t first, uint32_t count, const unsigned short *elements)
{
    auto at = [&](uint32_t i) { return (uint16_t)(first + (elements ? elements[i] : i)); };
    std::vector<uint16_t> &ix = batchIndices;
    switch (mode) {
    case GL_TRIANGLES:
        for (uint32_t i = 0; i + 2 < count; i += 3)
            ix.insert(ix.end(), {at(i), at(i + 1), at(i + 2)});
        break;
    case kQuadStrip:
        for (uint32_t i = 0; i + 3 < count; i += 2) {
            ix.insert(ix.end(), {at(i), at(i + 1), at(i + 3)});
            ix.insert(ix.end(), {at(i), at(i + 3), at(i + 2)});
        }
        break;
    case kLines:
        for (uint32_t i = 0; i + 1 < count; i += 2)
            ix.insert(ix.end(), {at(i), at(i + 1)});
        break;
    case kLineStrip:
    case kLineLoop:
        for (uint32_t i = 0; i + 1 < count; ++i)
            ix.insert(ix.end(), {at(i), at(i + 1)});
        if (mode == kLineLoop && count > 1)
            ix.insert(ix.end(), {at(count - 1), at(0)});
        break;
    default:
        break;
    }
}

// The lighting state as the vertex shader reads it (see webgl.js).
const int stateFloats = 80;

void packState(float *s)
{
    std::memset(s, 0, stateFloats * sizeof(float));
    s[0] = lighting;
    s[1] = colorMaterial;
    s[2] = materialShininess;
    std::memcpy(s + 4, materialAmbient, 16);
    std::memcpy(s + 8, materialDiffuse, 16);
    std::memcpy(s + 12, materialSpecular, 16);
    std::memcpy(s + 16, materialEmission, 16);
    std::memcpy(s + 20, sceneAmbient, 16);
    for (int i = 0; i < 2; ++i) {
        const Light &l = lights[i];
        float *b = s + 24 + i * 24;
        b[0] = l.enabled;
        b[1] = l.spotExponent;
        // A cut-off of 180 degrees means no cone at all.
        b[2] = l.spotCutoff == 180 ? -2.0f : (float)std::cos(l.spotCutoff * M_PI / 180.0);
        std::memcpy(b + 4, l.ambient, 16);
        std::memcpy(b + 8, l.diffuse, 16);
        std::memcpy(b + 12, l.specular, 16);
        std::memcpy(b + 16, l.position, 16);
        std::memcpy(b + 20, l.spotDirection, 12);
        std::memcpy(s + 72 + i * 4, l.attenuation, 12);
    }
}

Light *lightOf(GLenum light)
{
    if (light == GL_LIGHT0)
        return &lights[0];
    if (light == GL_LIGHT1)
        return &lights[1];
    return nullptr;
}

}  // namespace

void webFlush()
{
    if (batchIndices.empty()) {
        batchVertices.clear();
        return;
    }
    float state[stateFloats];
    packState(state);
    webglDraw(batchLines, batchVertices.data(), (int)vertexCount(), batchIndices.data(), (int)batchIndices.size(),
              projection.m[projection.top], state);
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

void webMultMatrixf(const GLfloat m[16])
{
    multiply(m);
}

unsigned webArrayVertices(const GLfloat *vertices, const GLfloat *normals, int count)
{
    beginKind(true, (uint32_t)count);
    uint32_t first = vertexCount();
    for (int k = 0; k < count; ++k)
        appendVertex(vertices + 3 * k, normals + 3 * k);
    return first;
}

void webArrayElements(GLenum mode, unsigned first, const unsigned short *indices, int count)
{
    assemble(mode, first, (uint32_t)count, indices);
}

// ---- the GL entry points ------------------------------------------------------

void glClear(GLbitfield mask)
{
    webFlush();
    webglClear(mask, clearColor[0], clearColor[1], clearColor[2], clearColor[3], clearDepth);
}

void glClearColor(GLclampf red, GLclampf green, GLclampf blue, GLclampf alpha)
{
    auto clamp = [](GLfloat v) { return v < 0 ? 0.0f : v > 1 ? 1.0f : v; };
    clearColor[0] = clamp(red);
    clearColor[1] = clamp(green);
    clearColor[2] = clamp(blue);
    clearColor[3] = clamp(alpha);
}

void glClearDepth(GLclampd depth)
{
    clearDepth = (GLfloat)(depth < 0 ? 0 : depth > 1 ? 1 : depth);
}

void glDepthFunc(GLenum func)
{
    webFlush();
    webglDepthFunc(func);
}

static void setCapability(GLenum cap, bool on)
{
    webFlush();
    switch (cap) {
    case GL_LIGHTING: lighting = on; break;
    case GL_COLOR_MATERIAL: colorMaterial = on; break;
    case GL_LIGHT0: lights[0].enabled = on; break;
    case GL_LIGHT1: lights[1].enabled = on; break;
    case GL_DEPTH_TEST:
    case GL_BLEND: webglCapability(cap, on); break;
    default: break;
    }
}

void glEnable(GLenum cap)
{
    setCapability(cap, true);
}

void glDisable(GLenum cap)
{
    setCapability(cap, false);
}

// Smooth shading is what the vertex colours give; the show asks for nothing else.
void glShadeModel(GLenum)
{
}

void glBlendFunc(GLenum sfactor, GLenum dfactor)
{
    webFlush();
    webglBlendFunc(sfactor, dfactor);
}

void glViewport(GLint x, GLint y, GLsizei width, GLsizei height)
{
    webFlush();
    webglViewport(x, y, width, height);
}

void glMatrixMode(GLenum mode)
{
    if (mode == GL_MODELVIEW)
        current = &modelview;
    else if (mode == GL_PROJECTION)
        current = &projection;
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

// The rotation matrix as Mesa builds it: rotations about a principal axis
// exactly, any other axis normalised first.
void glRotatef(GLfloat angle, GLfloat x, GLfloat y, GLfloat z)
{
    beforeChange();
    GLfloat s = (GLfloat)std::sin(angle * M_PI / 180.0);
    GLfloat c = (GLfloat)std::cos(angle * M_PI / 180.0);
    Matrix m;
    identity(m);
#define M(row, col) m[(col) * 4 + (row)]
    bool done = false;
    if (x == 0 && y == 0 && z != 0) {
        M(0, 0) = c;
        M(1, 1) = c;
        M(0, 1) = z < 0 ? s : -s;
        M(1, 0) = z < 0 ? -s : s;
        done = true;
    } else if (x == 0 && z == 0 && y != 0) {
        M(0, 0) = c;
        M(2, 2) = c;
        M(0, 2) = y < 0 ? -s : s;
        M(2, 0) = y < 0 ? s : -s;
        done = true;
    } else if (y == 0 && z == 0 && x != 0) {
        M(1, 1) = c;
        M(2, 2) = c;
        M(1, 2) = x < 0 ? s : -s;
        M(2, 1) = x < 0 ? -s : s;
        done = true;
    }
    if (!done) {
        GLfloat mag = std::sqrt(x * x + y * y + z * z);
        if (mag <= 1.0e-4f)
            return;                         // no axis: no rotation
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
    multiply(m);
}

void glBegin(GLenum mode)
{
    beginKind(isLineMode(mode), primitiveRoom);
    inPrimitive = true;
    primitiveMode = mode;
    primitiveFirst = vertexCount();
}

void glEnd(void)
{
    if (!inPrimitive)
        return;
    inPrimitive = false;
    assemble(primitiveMode, primitiveFirst, vertexCount() - primitiveFirst, nullptr);
}

void glColor4f(GLfloat red, GLfloat green, GLfloat blue, GLfloat alpha)
{
    currentColor[0] = red;
    currentColor[1] = green;
    currentColor[2] = blue;
    currentColor[3] = alpha;
    // With colour material on, the colour is also the material's ambient and
    // diffuse colour, and stays so when colour material is switched off.
    if (colorMaterial) {
        std::memcpy(materialAmbient, currentColor, sizeof currentColor);
        std::memcpy(materialDiffuse, currentColor, sizeof currentColor);
    }
}

void glColor3f(GLfloat red, GLfloat green, GLfloat blue)
{
    glColor4f(red, green, blue, 1.0f);
}

// Texturing is never enabled, so the coordinates are kept as GL keeps them
// but change nothing on screen.
void glTexCoord2f(GLfloat s, GLfloat t)
{
    currentTexCoord[0] = s;
    currentTexCoord[1] = t;
}

void glVertex3f(GLfloat x, GLfloat y, GLfloat z)
{
    if (!inPrimitive || vertexCount() - primitiveFirst >= primitiveRoom)
        return;
    const GLfloat p[3] = {x, y, z};
    appendVertex(p, currentNormal);
}

void glLightfv(GLenum light, GLenum pname, const GLfloat *params)
{
    Light *l = lightOf(light);
    if (!l)
        return;
    webFlush();
    const GLfloat *m = modelview.m[modelview.top];
    switch (pname) {
    case GL_DIFFUSE: std::memcpy(l->diffuse, params, 16); break;
    case GL_SPECULAR: std::memcpy(l->specular, params, 16); break;
    case GL_POSITION:               // into eye coordinates by the current model-view
        for (int r = 0; r < 4; ++r)
            l->position[r] = m[r] * params[0] + m[4 + r] * params[1] + m[8 + r] * params[2] + m[12 + r] * params[3];
        break;
    case GL_SPOT_DIRECTION:         // by the model-view's upper 3 x 3
        for (int r = 0; r < 3; ++r)
            l->spotDirection[r] = m[r] * params[0] + m[4 + r] * params[1] + m[8 + r] * params[2];
        break;
    case GL_SPOT_EXPONENT:
    case GL_SPOT_CUTOFF: glLightf(light, pname, params[0]); break;
    default: break;
    }
}

void glLightf(GLenum light, GLenum pname, GLfloat param)
{
    Light *l = lightOf(light);
    if (!l)
        return;
    webFlush();
    if (pname == GL_SPOT_EXPONENT && param >= 0 && param <= 128)
        l->spotExponent = param;
    else if (pname == GL_SPOT_CUTOFF && ((param >= 0 && param <= 90) || param == 180))
        l->spotCutoff = param;
}

void glPixelStorei(GLenum pname, GLint param)
{
    if (pname == GL_UNPACK_ALIGNMENT && (param == 1 || param == 2 || param == 4 || param == 8))
        unpackAlignment = param;
}

// Copies the picture to the window's lower-left corner, one pixel per
// pixel: the default raster position, which the show never moves.
void glDrawPixels(GLsizei width, GLsizei height, GLenum format, GLenum type, const GLvoid *pixels)
{
    if (format != GL_RGBA || type != GL_UNSIGNED_BYTE || width <= 0 || height <= 0 || !pixels)
        return;
    webFlush();
    int stride = (width * 4 + unpackAlignment - 1) / unpackAlignment * unpackAlignment;
    webglDrawPixels(width, height, (const unsigned char *)pixels, stride);
}
