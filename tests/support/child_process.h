// child_process.h -- a program, or a piece of this test, in a child process.
//
// The tests start the real programs (`start`, the runner, `capture`, strace,
// xdotool, a shell command) as a shell would: default signal dispositions,
// a working folder and an environment of the test's choosing, standard
// output wired the way the case asks, both output streams collected. A test
// may instead run a function of its own in a forked child, to see what the
// show's code does on its way out without ending the test program.
#ifndef TEST_CHILD_PROCESS_H
#define TEST_CHILD_PROCESS_H

#include <sys/types.h>

#include <functional>
#include <string>
#include <utility>
#include <vector>

// Milliseconds on the monotonic clock, the clock the show's runner reports in.
double monotonicMs();

enum class StdoutTo {
    Capture,        // a pipe the test reads
    Closed,         // no descriptor 1 at all
    ReaderGone,     // a pipe whose read end is closed before the child starts
    DevFull,        // /dev/full: every write fails with ENOSPC
    Terminal,       // a pseudo-terminal
};

struct Launch {
    Launch(std::string program = "", std::vector<std::string> args = {}, std::string dir = "",
           std::vector<std::string> env = {})
        : program(std::move(program)), args(std::move(args)), dir(std::move(dir)), env(std::move(env))
    {
    }
    std::string program;                        // a path, or a name looked up on PATH
    std::vector<std::string> args;              // its arguments, after its name
    std::string dir;                            // working folder; empty: the test's own
    std::vector<std::string> env;               // NAME=value laid over the test's own; NAME alone removes it
    StdoutTo out = StdoutTo::Capture;
    bool asNobody = false;                      // drop to user nobody first when started as root
    std::function<void()> body;                 // when set, run instead of a program (it should not return)
};

class ChildProcess {
public:
    ChildProcess() = default;
    ChildProcess(const ChildProcess &) = delete;
    ChildProcess &operator=(const ChildProcess &) = delete;
    ~ChildProcess();                            // kills a child still running

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
    int status = -1;                            // as from waitpid
    double cpuMs = -1;                          // processor time of all its threads, once it has ended
    std::string out, err;

private:
    bool pump(double untilMs, const std::string *text);
    bool reap(int options);
    int outFd = -1, errFd = -1, terminalFd = -1;
};

// Starts `launch` and collects it to its end, killing it after `seconds`.
// A child that could not start has status -1.
struct Finished {
    int status = -1;
    std::string out, err;
};
Finished runToEnd(const Launch &launch, double seconds = 600);

// The same for a function of the test run in a forked child.
Finished runInChild(const std::function<void()> &body, double seconds = 600);

// What a shell command prints on standard output; its wait status in *status.
std::string commandOutput(const std::string &command, int *status = nullptr);

// The exit code of a child that exited, else -1.
int exitCode(int status);

// "exited 0", "killed by signal 15 (Terminated)", ... for messages.
std::string describeStatus(int status);

// What the kernel says of a process or thread, from its folder under /proc
// (/proc/PID: its main thread; /proc/self/task/TID: a thread of this test):
// its state (R running or ready to run, S or D asleep in the kernel), its
// parent process, the
// system call it is in (-1 when running or unknown), the processor time it
// has had in clock ticks, its flags (PF_EXITING, 0x4: ending), and the
// signals waiting to be delivered to it or to its process.
struct TaskView {
    char state = '?';
    int parent = 0;
    long call = -1;
    long long ticks = -1;
    unsigned long flags = 0;
    unsigned long long pending = 0;
};
TaskView viewTask(const std::string &procDir);

#endif
