// start.cpp -- the show's entry point: one window, the callbacks, the loop.
#include <GL/glut.h>

#include "demo.h"
#include "platform.h"

int main(int argc, char **argv)
{
    sysGuardStandardStreams();

    glutInit(&argc, argv);
    glutInitDisplayMode(GLUT_RGB | GLUT_DOUBLE | GLUT_DEPTH);
    glutInitWindowSize(500, 500);
    glutCreateWindow("tha corbanet demo");

    init();

    glutFullScreen();
    glutDisplayFunc(display);
    glutReshapeFunc(reshape);
    glutKeyboardFunc(keyboard);
    glutSpecialFunc(arrow_keys);
    glutIdleFunc(display);          // frames back to back, as fast as they come
    glutMainLoop();
    return 0;
}
