/* glu.h -- the part of GLU that the show calls, for the browser.
 *
 * Implemented by src/web/gl/glu.cpp on top of the web graphics layer. The
 * sphere is tessellated exactly as Mesa's GLU tessellates it. */
#ifndef WEB_GLU_H
#define WEB_GLU_H

#include <GL/gl.h>

#define GLU_SMOOTH 100000
#define GLU_FILL 100012

#ifdef __cplusplus
extern "C" {
#endif

typedef struct GLUquadric GLUquadric;
typedef GLUquadric GLUquadricObj;

GLUquadric *gluNewQuadric(void);
void gluQuadricDrawStyle(GLUquadric *quad, GLenum draw);
void gluQuadricNormals(GLUquadric *quad, GLenum normal);
void gluQuadricTexture(GLUquadric *quad, GLboolean texture);
void gluSphere(GLUquadric *quad, GLdouble radius, GLint slices, GLint stacks);

void gluLookAt(GLdouble eyeX, GLdouble eyeY, GLdouble eyeZ,
               GLdouble centerX, GLdouble centerY, GLdouble centerZ,
               GLdouble upX, GLdouble upY, GLdouble upZ);
void gluPerspective(GLdouble fovy, GLdouble aspect, GLdouble zNear, GLdouble zFar);

#ifdef __cplusplus
}
#endif

#endif
