// demo.h -- the shared state of the show and the routines that move it.
//
// Every variable here lives for the whole run and is defined once, in
// demo_state.cpp. The scenes read and write them directly; there is no other
// channel between the parts of the show.
#ifndef DEMO_H
#define DEMO_H

#include <GL/glu.h>

#include "SPINNER.h"

typedef unsigned short ushort;

// ---- scene state ----------------------------------------------------------
extern ushort sequence;              // 0 field, 1 shrinking sphere, 2 blast, 3 reassembly, 4 slideshow
extern unsigned secondarySequence[3];// [0] blast frame, [1] blast spread, [2] zero passes of the grid
extern unsigned blastToLast[10];     // blast phase limits; only the first three are used
extern unsigned frames;              // frames completed so far
extern unsigned startTime;           // clock reading taken just before the music starts
extern unsigned stopTime;            // clock reading taken on the way out
extern float secondsDemoRun;         // run time, computed on the way out

// ---- camera ---------------------------------------------------------------
extern float myGluLookAt[9];         // eye xyz, centre xyz, up xyz, as gluLookAt takes them
extern float cameraRadius;           // distance of the eye from the vertical axis
extern float cameraDegree;           // orbit angle in half-turns
extern float cameraSpeed;            // half-turns added per moveCam
extern short cameraDirection;        // sign of the swing's acceleration

// ---- spinner field --------------------------------------------------------
extern float spinnerSpace;           // spacing of the 5 x 5 grid
extern float Light0Position[4];      // dim fill light
extern float Light1Position[4];      // spotlight above the field
extern GLUquadricObj *quadObj;       // the quadric every spinner is drawn with
extern Spinner mySpinner[25];

// ---- triangle blast -------------------------------------------------------
struct BlastElement {
    float coords[3][3];              // current vertices
    float speed[3];                  // flight direction, scaled by the spread
    float origCoords[3][3];          // home vertices in the wall
    float color[3];                  // drawn white regardless
};
extern BlastElement blastElements[301];
extern unsigned randomSeed;

// ---- music ----------------------------------------------------------------
struct MusicModule;
extern MusicModule *song;

// ---- shell (shell.cpp) -----------------------------------------------------
int showMain(int argc, char **argv);    // the whole program, in the three steps below and init()
void showOpenWindow(int *argc, char **argv, int width, int height, bool atCorner);
void showRun();                         // full screen, callbacks, the toolkit's loop; never returns
void init();
void display();
void reshape(int w, int h);
void keyboard(unsigned char key, int x, int y);
void arrow_keys(int a_keys, int x, int y);
extern void (*showFrame)();             // the display and idle callback: display, or the paced display

// ---- fixed rendering state and lights (render_setup.cpp) --------------------
void setupRendering();

// ---- orbit camera (camera.cpp) -----------------------------------------------
void accCam(float camAcc);
void moveCam();

// ---- scenes -------------------------------------------------------------------
void makeSpinner(Spinner *spinner, float x, float y, float z);  // spinner_field.cpp
void doSpinners();
unsigned nextRandom();                                           // blast.cpp
void initBlast();
void doBlast();
void drawLogo();                                                 // slideshow.cpp

#endif
