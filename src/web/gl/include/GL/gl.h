/* gl.h -- the part of OpenGL 1.x that the show calls, for the browser.
 *
 * Implemented over WebGL 2 by src/web/gl/gl.cpp. The names, types and enum
 * values are those of the desktop's <GL/gl.h>, so the show's sources compile
 * unchanged; nothing outside the show's own calls is declared here. */
#ifndef WEB_GL_H
#define WEB_GL_H

typedef unsigned int GLenum;
typedef unsigned char GLboolean;
typedef unsigned int GLbitfield;
typedef void GLvoid;
typedef int GLint;
typedef int GLsizei;
typedef float GLfloat;
typedef float GLclampf;
typedef double GLdouble;
typedef double GLclampd;

#define GL_TRUE 1

#define GL_DEPTH_BUFFER_BIT 0x00000100
#define GL_COLOR_BUFFER_BIT 0x00004000

#define GL_TRIANGLES 0x0004

#define GL_ONE 1
#define GL_SRC_ALPHA 0x0302
#define GL_LESS 0x0201

#define GL_LIGHTING 0x0B50
#define GL_COLOR_MATERIAL 0x0B57
#define GL_DEPTH_TEST 0x0B71
#define GL_BLEND 0x0BE2
#define GL_LIGHT0 0x4000
#define GL_LIGHT1 0x4001

#define GL_DIFFUSE 0x1201
#define GL_SPECULAR 0x1202
#define GL_POSITION 0x1203
#define GL_SPOT_DIRECTION 0x1204
#define GL_SPOT_EXPONENT 0x1205
#define GL_SPOT_CUTOFF 0x1206

#define GL_SMOOTH 0x1D01
#define GL_MODELVIEW 0x1700
#define GL_PROJECTION 0x1701

#define GL_UNPACK_ALIGNMENT 0x0CF5
#define GL_UNSIGNED_BYTE 0x1401
#define GL_RGBA 0x1908

#ifdef __cplusplus
extern "C" {
#endif

void glClear(GLbitfield mask);
void glClearColor(GLclampf red, GLclampf green, GLclampf blue, GLclampf alpha);
void glClearDepth(GLclampd depth);
void glDepthFunc(GLenum func);
void glEnable(GLenum cap);
void glDisable(GLenum cap);
void glShadeModel(GLenum mode);
void glBlendFunc(GLenum sfactor, GLenum dfactor);
void glViewport(GLint x, GLint y, GLsizei width, GLsizei height);

void glMatrixMode(GLenum mode);
void glLoadIdentity(void);
void glPushMatrix(void);
void glPopMatrix(void);
void glTranslatef(GLfloat x, GLfloat y, GLfloat z);
void glRotatef(GLfloat angle, GLfloat x, GLfloat y, GLfloat z);

void glBegin(GLenum mode);
void glEnd(void);
void glColor3f(GLfloat red, GLfloat green, GLfloat blue);
void glColor4f(GLfloat red, GLfloat green, GLfloat blue, GLfloat alpha);
void glTexCoord2f(GLfloat s, GLfloat t);
void glVertex3f(GLfloat x, GLfloat y, GLfloat z);

void glLightf(GLenum light, GLenum pname, GLfloat param);
void glLightfv(GLenum light, GLenum pname, const GLfloat *params);

void glPixelStorei(GLenum pname, GLint param);
void glDrawPixels(GLsizei width, GLsizei height, GLenum format, GLenum type, const GLvoid *pixels);

#ifdef __cplusplus
}
#endif

#endif
