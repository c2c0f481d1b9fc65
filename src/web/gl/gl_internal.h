// gl_internal.h -- what the web's GLU and GLUT share with its GL.
//
// GLU's sphere and GLUT's wire sphere are drawn through these calls, as the
// desktop's libraries draw through their GL: primitives the show itself never
// issues, and the current normal, which only the libraries set.
#ifndef WEB_GL_INTERNAL_H
#define WEB_GL_INTERNAL_H

#include <GL/gl.h>

// The primitive kinds GLU's sphere and GLUT's wire sphere draw, with their
// GL values.
const GLenum kLineLoop = 0x0002;
const GLenum kLineStrip = 0x0003;
const GLenum kQuadStrip = 0x0008;

void webNormal3f(GLfloat x, GLfloat y, GLfloat z);

// glMultMatrixf as GLU uses it (column-major, as GL).
void webMultMatrixf(const GLfloat m[16]);

// Drawing as glDrawElements does with a vertex and a normal array enabled:
// every vertex takes its normal from the array, and the current normal is
// left alone. webArrayVertices transforms `count` vertices into the batch
// for lines and returns the batch index of the first; webArrayElements then
// draws a line strip or loop through them.
unsigned webArrayVertices(const GLfloat *vertices, const GLfloat *normals, int count);
void webArrayElements(GLenum mode, unsigned first, const unsigned short *indices, int count);

// Sends what has been batched to the canvas.
void webFlush();

// The canvas: creation (false without WebGL 2) and its size in pixels.
bool webCreateContext();
void webCanvasSize(int width, int height);

// The canvas's drawing size, measured before each frame: by default for its
// size on the page (glut.cpp); the page's size option puts a fixed one in
// its place (main.cpp).
extern void (*webMeasureCanvas)(int *width, int *height);

// RGBA pixels of the canvas, bottom row first, for the tests and the
// benchmark; reading also makes the browser finish every queued draw.
void webReadPixels(int x, int y, int width, int height, unsigned char *rgba);

#endif
