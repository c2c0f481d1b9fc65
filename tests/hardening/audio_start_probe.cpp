// audio_start_probe.cpp -- one start of the music layer's audio output, for
// audio_startup_test to watch under strace.
//
// The start is framed by two writes to descriptor -1, which fail at once and
// do nothing but show up in the trace, so that the watcher knows which of
// the main thread's system calls belong to it. Prints "opened" or "failed".
//
//   audio_start_probe [--wait-ms N]
//
// --wait-ms makes the probe itself sleep N ms inside the frame, after the
// start: the watcher's own proof that it sees a wait where there is one.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <unistd.h>

#include "sound.h"

static void mark(const char *what)
{
    ssize_t ignored = write(-1, what, strlen(what));
    (void)ignored;
}

int main(int argc, char **argv)
{
    long waitMs = 0;
    if (argc == 3 && strcmp(argv[1], "--wait-ms") == 0)
        waitMs = atol(argv[2]);
    mark("probe: start begins");
    bool opened = soundInit(44100, 32);
    if (waitMs > 0) {
        timespec t = {waitMs / 1000, waitMs % 1000 * 1000000};
        nanosleep(&t, nullptr);
    }
    mark("probe: start ends");
    printf("%s\n", opened ? "opened" : "failed");
    fflush(stdout);
    // No exit handlers: under a tracer the leak checker of a sanitizer build
    // cannot run, and the layer's close is not what is watched here.
    _exit(0);
}
