// show_process.h -- the show as a separate program, on a private X server.
//
// The hardening tests start the real program (the runner, or `start`
// itself) as a child process, exactly as a shell would: default signal
// dispositions, a working directory holding whatever "demomain.xm" the test
// prepared, and standard output wired the way the case asks. They read what
// the child writes, can signal it, and time how long it takes to end.
#ifndef SHOW_PROCESS_H
#define SHOW_PROCESS_H

#include <sys/types.h>

#include <map>
#include <string>
#include <utility>
#include <vector>

#include "files.h"

// Milliseconds on the monotonic clock, the clock the runner reports in.
double monotonicMs();

enum class StdoutTo {
    Capture,        // a pipe the test reads
    Closed,         // no descriptor 1 at all
    ReaderGone,     // a pipe whose read end is closed before the child starts
    DevFull,        // /dev/full: every write fails with ENOSPC
};

struct Launch {
    std::string program;                        // path of the executable
    std::vector<std::string> args;              // its arguments, after its name
    std::string dir;                            // working directory
    std::vector<std::string> env;               // NAME=value, added to or replacing the test's own
    StdoutTo out = StdoutTo::Capture;
    bool asNobody = false;                      // drop to user nobody first when started as root
};

// What the runner reported about the course (see show_runner.cpp).
struct CourseReport {
    double firstFrameMs = -1;                   // monotonic time of the first frame, or -1
    unsigned lastFrame = 0;                     // the last "frame" progress line
    double spanMs = -1;                         // frame 1 to the Esc, with SHOW_RUNNER_ESC_AT
    std::map<unsigned, unsigned> sequenceFrame; // scene -> frame it began in
    std::vector<unsigned> sleeps;               // seconds, in order
    std::vector<std::pair<unsigned, unsigned>> keys;        // ordinary key, frame
    std::vector<std::pair<unsigned, unsigned>> specials;    // special key, frame
    std::vector<std::string> otherLines;        // stderr lines that are not the runner's
};

CourseReport parseReport(const std::string &err);

class ShowProcess {
public:
    ShowProcess() = default;
    ShowProcess(const ShowProcess &) = delete;
    ShowProcess &operator=(const ShowProcess &) = delete;
    ~ShowProcess();                             // kills a child still running

    bool start(const Launch &launch);

    // Collects output until stderr holds `text` or the child ends or the
    // time runs out; true if the text arrived.
    bool waitForText(const std::string &text, double seconds);

    // Collects output until the child ends; false if it still ran after
    // `seconds` (it is then killed).
    bool finish(double seconds);

    void signal(int sig);

    pid_t pid = -1;
    double startedMs = 0;                       // just before the fork
    double endedMs = 0;                         // when its end was seen (10 ms resolution)
    bool ended = false;
    int status = 0;                             // as from waitpid
    double cpuMs = -1;                          // processor time of all its threads, once it has ended
    std::string out, err;

private:
    bool pump(double untilMs, const std::string *text);
    bool reap(int options);
    int outFd = -1, errFd = -1;
};

// "exited 0", "killed by signal 15", ... for messages.
std::string describeStatus(int status);

// True if `out` is exactly the five-line statistics block of a run of
// `frames` frames.
bool isStatisticsBlock(const std::string &out, unsigned frames);

// Gives every Latin-1 character a key of its own on the X server at
// `display`, in keycodes that were spare, so that typing any of them needs
// no change of the keyboard map while the show runs.
bool mapEveryLatin1Key(const std::string &display);

// File helpers for preparing the music file.

// Where the build put the programs and the show's module.
std::string binaryPath(const std::string &name);

#endif
