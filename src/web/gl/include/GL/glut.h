/* glut.h -- the part of GLUT that the show calls, for the browser.
 *
 * Implemented by src/web/gl/glut.cpp: the window is the page's canvas, the
 * main loop runs one frame per animation frame of the browser, and the wire
 * sphere is tessellated exactly as freeglut tessellates it. */
#ifndef WEB_GLUT_H
#define WEB_GLUT_H

#include <GL/gl.h>
#include <GL/glu.h>

#define GLUT_RGB 0
#define GLUT_DOUBLE 2
#define GLUT_DEPTH 16

#ifdef __cplusplus
extern "C" {
#endif

void glutInit(int *argcp, char **argv);
void glutInitDisplayMode(unsigned int mode);
void glutInitWindowSize(int width, int height);
void glutInitWindowPosition(int x, int y);
int glutCreateWindow(const char *title);
void glutFullScreen(void);
void glutDisplayFunc(void (*func)(void));
void glutReshapeFunc(void (*func)(int width, int height));
void glutKeyboardFunc(void (*func)(unsigned char key, int x, int y));
void glutSpecialFunc(void (*func)(int key, int x, int y));
void glutIdleFunc(void (*func)(void));
void glutMainLoop(void);
void glutSwapBuffers(void);
void glutWireSphere(double radius, GLint slices, GLint stacks);

#ifdef __cplusplus
}
#endif

#endif
