// show_process.cpp -- see show_process.h.
#include "show_process.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <grp.h>
#include <poll.h>
#include <sstream>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <X11/Xlib.h>

extern char **environ;

double monotonicMs()
{
    struct timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return (double)ts.tv_sec * 1000.0 + (double)ts.tv_nsec / 1e6;
}

// In a freshly forked child: undo what the test process may have changed
// and a shell would not pass on. An ignored SIGPIPE, in particular, would
// survive exec and hide the very fault the broken-pipe case looks for.
static void resetSignals()
{
    for (int sig = 1; sig < NSIG; ++sig)
        signal(sig, SIG_DFL);
    sigset_t none;
    sigemptyset(&none);
    sigprocmask(SIG_SETMASK, &none, nullptr);
}

// ---- ShowProcess -----------------------------------------------------------

ShowProcess::~ShowProcess()
{
    if (pid > 0 && !ended) {
        kill(pid, SIGKILL);
        waitpid(pid, nullptr, 0);
    }
    if (outFd >= 0)
        close(outFd);
    if (errFd >= 0)
        close(errFd);
}

// Copies a program to `to`, readable and executable by everyone.
static bool copyExecutable(const std::string &from, const std::string &to)
{
    int in = open(from.c_str(), O_RDONLY | O_CLOEXEC);
    if (in < 0)
        return false;
    int out = open(to.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0755);
    bool ok = out >= 0;
    char buf[1 << 16];
    ssize_t n;
    while (ok && (n = read(in, buf, sizeof buf)) > 0)
        ok = write(out, buf, (size_t)n) == n;
    close(in);
    if (out >= 0)
        ok = close(out) == 0 && ok;
    return ok && chmod(to.c_str(), 0755) == 0;
}

// The test's environment with the launch's settings laid over it.
static std::vector<std::string> childEnvironment(const std::vector<std::string> &extra)
{
    std::vector<std::string> env;
    for (char **e = environ; *e; ++e)
        env.push_back(*e);
    for (const std::string &setting : extra) {
        std::string key = setting.substr(0, setting.find('=') + 1);
        bool replaced = false;
        for (std::string &e : env)
            if (e.compare(0, key.size(), key) == 0) {
                e = setting;
                replaced = true;
            }
        if (!replaced)
            env.push_back(setting);
    }
    return env;
}

bool ShowProcess::start(const Launch &launch)
{
    int outPipe[2] = {-1, -1}, errPipe[2];
    if (pipe(errPipe) != 0)
        return false;
    if (launch.out != StdoutTo::Closed && pipe(outPipe) != 0)
        return false;
    if (launch.out == StdoutTo::ReaderGone) {
        close(outPipe[0]);
        outPipe[0] = -1;
    }

    std::vector<std::string> env = childEnvironment(launch.env);
    std::vector<char *> envp;
    for (std::string &e : env)
        envp.push_back(&e[0]);
    envp.push_back(nullptr);
    std::string program = launch.program;
    // User nobody may not reach the build tree (a checkout under /root is
    // closed to others), so it runs a copy placed in its own working folder.
    if (launch.asNobody && getuid() == 0) {
        program = launch.dir + "/program-for-nobody";
        if (!copyExecutable(launch.program, program))
            return false;
    }
    std::vector<std::string> words = launch.args;
    std::vector<char *> argv = {&program[0]};
    for (std::string &w : words)
        argv.push_back(&w[0]);
    argv.push_back(nullptr);

    startedMs = monotonicMs();
    pid = fork();
    if (pid == 0) {
        resetSignals();
        if (chdir(launch.dir.c_str()) != 0)
            _exit(126);
        if (launch.asNobody && getuid() == 0) {
            if (setgroups(0, nullptr) != 0 || setgid(65534) != 0 || setuid(65534) != 0)
                _exit(125);
        }
        dup2(errPipe[1], 2);
        close(errPipe[0]);
        close(errPipe[1]);
        switch (launch.out) {
        case StdoutTo::Capture:
        case StdoutTo::ReaderGone:
            dup2(outPipe[1], 1);
            if (outPipe[0] >= 0)
                close(outPipe[0]);
            close(outPipe[1]);
            break;
        case StdoutTo::Closed:
            close(1);
            break;
        case StdoutTo::DevFull: {
            int full = open("/dev/full", O_WRONLY);
            dup2(full, 1);
            close(full);
            close(outPipe[0]);
            close(outPipe[1]);
            break;
        }
        }
        execve(argv[0], argv.data(), envp.data());
        _exit(127);
    }
    close(errPipe[1]);
    errFd = errPipe[0];
    if (outPipe[1] >= 0)
        close(outPipe[1]);
    if (launch.out == StdoutTo::Capture)
        outFd = outPipe[0];
    else if (outPipe[0] >= 0)
        close(outPipe[0]);
    fcntl(errFd, F_SETFL, O_NONBLOCK);
    if (outFd >= 0)
        fcntl(outFd, F_SETFL, O_NONBLOCK);
    return pid > 0;
}

static void drain(int *fd, std::string *into)
{
    if (*fd < 0)
        return;
    char buf[4096];
    for (;;) {
        ssize_t n = read(*fd, buf, sizeof buf);
        if (n > 0) {
            into->append(buf, (size_t)n);
            continue;
        }
        if (n == 0) {                           // every writer has gone
            close(*fd);
            *fd = -1;
        }
        return;
    }
}

// Collects the child's status and the processor time it used.
bool ShowProcess::reap(int options)
{
    struct rusage usage;
    if (wait4(pid, &status, options, &usage) != pid)
        return false;
    cpuMs = (double)(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1000.0 +
            (double)(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1000.0;
    return true;
}

// Reads whatever the child wrote and notices its end, until `text` shows
// up on stderr, the child has ended, or the clock passes `untilMs`.
bool ShowProcess::pump(double untilMs, const std::string *text)
{
    for (;;) {
        if (!ended && reap(WNOHANG)) {
            ended = true;
            endedMs = monotonicMs();
        }
        drain(&outFd, &out);
        drain(&errFd, &err);
        if (text && err.find(*text) != std::string::npos)
            return true;
        if (ended)
            return !text;
        if (monotonicMs() >= untilMs)
            return false;
        struct pollfd p[2] = {{outFd, POLLIN, 0}, {errFd, POLLIN, 0}};
        poll(p, 2, 10);
    }
}

bool ShowProcess::waitForText(const std::string &text, double seconds)
{
    return pump(monotonicMs() + seconds * 1000.0, &text);
}

bool ShowProcess::finish(double seconds)
{
    pump(monotonicMs() + seconds * 1000.0, nullptr);
    if (ended) {
        // The child's descriptors may linger in nothing else: read to the end.
        double until = monotonicMs() + 2000;
        while ((outFd >= 0 || errFd >= 0) && monotonicMs() < until) {
            drain(&outFd, &out);
            drain(&errFd, &err);
            if (outFd >= 0 || errFd >= 0)
                usleep(2000);
        }
        return true;
    }
    kill(pid, SIGKILL);
    reap(0);
    ended = true;
    endedMs = monotonicMs();
    drain(&outFd, &out);
    drain(&errFd, &err);
    return false;
}

void ShowProcess::signal(int sig)
{
    if (pid > 0 && !ended)
        kill(pid, sig);
}

// ---- reading results -------------------------------------------------------

CourseReport parseReport(const std::string &err)
{
    CourseReport r;
    std::istringstream lines(err);
    std::string line;
    while (std::getline(lines, line)) {
        unsigned a = 0, b = 0;
        double ms = 0;
        if (sscanf(line.c_str(), "runner: first-frame %lf", &ms) == 1)
            r.firstFrameMs = ms;
        else if (sscanf(line.c_str(), "runner: sequence %u frame %u", &a, &b) == 2)
            r.sequenceFrame[a] = b;
        else if (sscanf(line.c_str(), "runner: sleep %u frame %u", &a, &b) == 2)
            r.sleeps.push_back(a);
        else if (sscanf(line.c_str(), "runner: key %u frame %u", &a, &b) == 2)
            r.keys.push_back({a, b});
        else if (sscanf(line.c_str(), "runner: special %u frame %u", &a, &b) == 2)
            r.specials.push_back({a, b});
        else if (sscanf(line.c_str(), "runner: span %lf", &ms) == 1)
            r.spanMs = ms;
        else if (sscanf(line.c_str(), "runner: frame %u", &a) == 1)
            r.lastFrame = a;
        else
            r.otherLines.push_back(line);
    }
    return r;
}

std::string describeStatus(int status)
{
    char text[64];
    if (WIFEXITED(status))
        snprintf(text, sizeof text, "exited %d", WEXITSTATUS(status));
    else if (WIFSIGNALED(status))
        snprintf(text, sizeof text, "killed by signal %d (%s)", WTERMSIG(status), strsignal(WTERMSIG(status)));
    else
        snprintf(text, sizeof text, "status 0x%x", status);
    return text;
}

bool isStatisticsBlock(const std::string &out, unsigned frames)
{
    std::istringstream lines(out);
    std::string l[6];
    int n = 0;
    while (n < 6 && std::getline(lines, l[n]))
        ++n;
    if (n != 5 || out.back() != '\n')
        return false;
    const std::string rule = "*********************";
    float seconds = 0, fps = 0;
    char tail;
    return l[0] == rule && l[4] == rule && l[1] == "Frames " + std::to_string(frames) &&
           sscanf(l[2].c_str(), "Time   %f%c", &seconds, &tail) == 1 &&
           sscanf(l[3].c_str(), "Fps    %f%c", &fps, &tail) == 1 && seconds > 0 && fps > 0;
}

std::string binaryPath(const std::string &name)
{
    return std::string(DEMO_BINARY_DIR) + "/" + name;
}

bool mapEveryLatin1Key(const std::string &display)
{
    Display *dpy = XOpenDisplay(display.c_str());
    if (!dpy)
        return false;
    int low = 0, high = 0, perCode = 0;
    XDisplayKeycodes(dpy, &low, &high);
    KeySym *map = XGetKeyboardMapping(dpy, (KeyCode)low, high - low + 1, &perCode);
    // Keycodes without a symbol, or with only the vendor symbols of
    // multimedia keys (XF86...), which the tests never press, are free.
    std::vector<bool> present(256, false);
    std::vector<int> free;
    for (int code = low; code <= high; ++code) {
        bool spare = true;
        for (int i = 0; i < perCode; ++i) {
            KeySym sym = map[(code - low) * perCode + i];
            if (sym != NoSymbol && (sym < 0x1008ff00 || sym > 0x1008ffff))
                spare = false;
            if (sym < 256)
                present[sym] = true;
        }
        if (spare)
            free.push_back(code);
    }
    XFree(map);
    bool ok = true;
    size_t next = 0;
    for (KeySym sym = 0x20; sym <= 0xff; ++sym) {
        if (present[sym] || (sym > 0x7e && sym < 0xa0))
            continue;
        if (next == free.size()) {
            ok = false;
            break;
        }
        KeySym both[2] = {sym, sym};
        XChangeKeyboardMapping(dpy, free[next++], 2, both, 1);
    }
    XSync(dpy, False);
    XCloseDisplay(dpy);
    return ok;
}
