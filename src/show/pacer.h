// pacer.h -- at most a given number of frames a second.
//
// The show moves a fixed step per frame, so its pace is the frame rate. With
// a rate of N set, frame k may begin k/N seconds after the first frame, on
// the platform's monotonic clock: each moment is counted from the first
// frame, not from the previous one, so waking late never adds up to drift.
// A frame that is already late begins at once; one that is more than
// pacerStallFrames periods late (the window was dragged, the machine
// stalled) starts the schedule again from now, so the show does not race
// through the frames it missed.
//
// The waits go through sysSleepUntil, the clock is sysNanoseconds, so a test
// substitutes both. Without a rate nothing waits.
#ifndef PACER_H
#define PACER_H

#include <string>

const unsigned pacerMaxRate = 1000;    // frames a second
const unsigned pacerStallFrames = 4;   // lateness, in periods, that starts the schedule again

// Sets the rate (0: back to back) and forgets the schedule: the next
// pacerWait is the first frame's and begins at once.
void pacerStart(unsigned framesPerSecond);

// Called before each frame: waits until the frame's moment, or not at all
// when the frame is late.
void pacerWait();

// The frame with its wait before it: pacerWait(), then display(). The
// frame itself is display's, call for call.
void pacedDisplay();

// Takes "--fps N" or "--fps=N" out of the command line (the last one given
// counts) and leaves everything else in order for GLUT. Sets
// *framesPerSecond to N, or to 0 when there is no --fps. On a value that is
// missing or not a whole number from 1 to pacerMaxRate returns false and
// says why in *error.
bool takeFpsOption(int *argc, char **argv, unsigned *framesPerSecond, std::string *error);

// What every entry point does with it: takes --fps out of the command line
// and, when one is given, starts the pacer and puts it in front of the
// frames (showFrame). False, with *error, on a bad value.
bool pacerTakeOption(int *argc, char **argv, std::string *error);

#endif
