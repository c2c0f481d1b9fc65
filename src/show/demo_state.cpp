// demo_state.cpp -- the show's global state with its values at load.
#include "demo.h"

ushort sequence = 0;
unsigned secondarySequence[3] = {0, 0, 0};
unsigned blastToLast[10] = {0};
unsigned frames = 0;
unsigned startTime = 0;
unsigned stopTime = 0;
float secondsDemoRun = 0;

// Eye, centre and up all start at (0, 1, 0): the first frame's view is
// degenerate until the first moveCam has placed the eye on its orbit.
float myGluLookAt[9] = {0, 1, 0, 0, 1, 0, 0, 1, 0};
float cameraRadius = 5.0f;
float cameraDegree = 0;
float cameraSpeed = 0;
short cameraDirection = 1;

float spinnerSpace = 1.0f;
float Light0Position[4] = {0, 0, 2, 1};
float Light1Position[4] = {0, 2, 0, 1};

// The quadric must exist before the spinners are built, and both are made
// before main: they are defined in this one file, in this order, because
// initialisation order is only fixed within a translation unit.
GLUquadricObj *quadObj = gluNewQuadric();
Spinner mySpinner[25];

BlastElement blastElements[301];
unsigned randomSeed = 1;

MusicModule *song = nullptr;
