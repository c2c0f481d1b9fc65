// shell.cpp -- start-up, the frame loop and the way out.
//
// Every frame is one call of display(). The scenes move `sequence` on
// themselves, and each test below reads it afresh, so a scene that hands over
// in this frame changes what the rest of this frame does.
#include <cerrno>
#include <cstring>
#include <iostream>

#include <GL/glut.h>

#include "demo.h"
#include "platform.h"
#include "sound.h"

// What GLUT runs for a frame: display itself, unless the entry point puts
// the frame pacer in front of it (start --fps).
void (*showFrame)() = display;

// The toolkit and the show's one window, double-buffered RGB with depth.
// The show's own is 500 x 500 wherever the window system puts it, before it
// goes full screen; a test or the recorder asks for the size it reads back,
// at the screen's corner (`atCorner`), and then draws the frames itself.
void showOpenWindow(int *argc, char **argv, int width, int height, bool atCorner)
{
    glutInit(argc, argv);
    glutInitDisplayMode(GLUT_RGB | GLUT_DOUBLE | GLUT_DEPTH);
    glutInitWindowSize(width, height);
    if (atCorner)
        glutInitWindowPosition(0, 0);
    glutCreateWindow("tha corbanet demo");
}

// Full screen, the callbacks, and the toolkit's loop, which never returns:
// the show ends through keyboard().
void showRun()
{
    glutFullScreen();
    glutDisplayFunc(showFrame);
    glutReshapeFunc(reshape);
    glutKeyboardFunc(keyboard);
    glutSpecialFunc(arrow_keys);
    glutIdleFunc(showFrame);        // frames back to back, as fast as they come or as the pacer lets them
    glutMainLoop();
}

// The whole program: the window, the show's start, then the loop.
int showMain(int argc, char **argv)
{
    sysGuardStandardStreams();
    showOpenWindow(&argc, argv, 500, 500, false);
    init();
    showRun();
    return 0;
}

void init()
{
    cameraRadius = 5.0f;
    cameraDegree = 0;
    cameraSpeed = 0;
    cameraDirection = 1;
    secondarySequence[0] = 0;

    setupRendering();

    for (int k = 0; k < 25; ++k)
        mySpinner[k].setSpeed(1.5f);

    initBlast();

    startTime = sysMilliseconds();
    soundInit(44100, 32);
    song = musicLoad("demomain.xm");
    musicPlay(song);
}

void display()
{
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    gluQuadricDrawStyle(quadObj, GLU_FILL);
    gluQuadricNormals(quadObj, GLU_SMOOTH);

    // The camera as the previous frame's moveCam calls left it.
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    gluLookAt(myGluLookAt[0], myGluLookAt[1], myGluLookAt[2],
              myGluLookAt[3], myGluLookAt[4], myGluLookAt[5],
              myGluLookAt[6], myGluLookAt[7], myGluLookAt[8]);

    if (sequence < 4)
        glutWireSphere(10.0, 30, 30);           // the cage around the scene

    if (sequence == 0 || sequence == 1) {
        doSpinners();
        moveCam();                              // the field swings the camera twice a frame
    } else if (sequence >= 2 && sequence <= 4) {
        doBlast();
    }

    if (sequence != 3)                          // the reassembly steers the camera itself
        moveCam();

    if (sequence == 4)
        drawLogo();                             // the slideshow ends the program

    frames += 1;
    glutSwapBuffers();
}

void reshape(int w, int h)
{
    glViewport(0, 0, w, h);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    double ratio = h == 0 ? (double)w : (double)w / h;  // a window of no height must not divide by zero
    gluPerspective(80.0, ratio, 1.0, 5000.0);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
}

// Esc ends the show with its statistics; every other key is ignored.
void keyboard(unsigned char key, int, int)
{
    if (key != 27)
        return;

    musicStop(song);
    soundClose();

    stopTime = sysMilliseconds();
    secondsDemoRun = (float)(((long long)stopTime - (long long)startTime) * 0.001);

    // An Esc within the clock's first tick has no measurable time; the rate
    // is then shown as 0 rather than as an infinity.
    float fps = secondsDemoRun > 0 ? (float)(frames / (double)secondsDemoRun) : 0.0f;

    errno = 0;
    std::cout << "*********************\n"
              << "Frames " << frames << "\n"
              << "Time   " << secondsDemoRun << "\n"
              << "Fps    " << fps << "\n"
              << "*********************\n";
    std::cout.flush();
    // A failed write does not change the exit status, but the user learns
    // that the statistics went nowhere.
    if (!std::cout) {
        int why = errno;
        std::cerr << sysProgramName() << ": statistics lost: " << (why ? std::strerror(why) : "write error") << "\n";
    }
    sysExit(0);
}

void arrow_keys(int, int, int)
{
}
