// platform.h -- the operating-system services the show uses.
//
// Each service is a function pointer with the real implementation as its
// default, so that a test or another front end (the recorder) can substitute
// a clock that advances by frames, sleeps that return at once, or an exit it
// can catch, without touching the scenes.
#ifndef PLATFORM_H
#define PLATFORM_H

// Milliseconds of real elapsed time from a fixed point at start-up, from a
// monotonic clock. Only differences between readings mean anything.
extern unsigned (*sysMilliseconds)();

// Blocks for whole seconds.
extern void (*sysSleepSeconds)(unsigned seconds);

// Nanoseconds of real elapsed time on the same monotonic clock, for waits
// finer than a millisecond (the frame pacer's moments).
extern unsigned long long (*sysNanoseconds)();

// Blocks until sysNanoseconds() reaches `moment`; returns at once when it
// already has.
extern void (*sysSleepUntil)(unsigned long long moment);

// Ends the process with the given status after flushing standard output.
// A substitute must not return either: it may throw or jump away.
extern void (*sysExit)(int status);

// The name the program's messages begin with ("start: ..."): the one it was
// called by where a launcher gives it (CORBANET_DEMO_NAME), else its file's
// own, without directory or ".exe".
const char *sysProgramName();

// Makes the process safe to write its statistics whatever it was started
// with: file descriptors 0 to 2 are opened on /dev/null where they were
// closed (so no later open can land on them), and a pipe whose reader has
// gone yields a failed write instead of killing the process.
void sysGuardStandardStreams();

#endif
