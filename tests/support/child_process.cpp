// child_process.cpp -- see child_process.h.
#include "child_process.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <grp.h>
#include <poll.h>
#include <pty.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <iterator>
#include <sstream>

#include "files.h"

extern char **environ;

double monotonicMs()
{
    struct timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return (double)ts.tv_sec * 1000.0 + (double)ts.tv_nsec / 1e6;
}

// In a freshly forked child about to start a program: undo what the test
// process may have changed and a shell would not pass on. An ignored
// SIGPIPE, in particular, would survive exec and hide the very fault the
// broken-pipe cases look for.
static void resetSignals()
{
    for (int sig = 1; sig < NSIG; ++sig)
        signal(sig, SIG_DFL);
    sigset_t none;
    sigemptyset(&none);
    sigprocmask(SIG_SETMASK, &none, nullptr);
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
static std::vector<std::string> childEnvironment(const std::vector<std::string> &settings)
{
    std::vector<std::string> env;
    for (char **e = environ; *e; ++e)
        env.push_back(*e);
    for (const std::string &setting : settings) {
        size_t eq = setting.find('=');
        std::string key = setting.substr(0, eq) + "=";
        for (size_t i = env.size(); i-- > 0;)
            if (env[i].compare(0, key.size(), key) == 0)
                env.erase(env.begin() + (long)i);
        if (eq != std::string::npos)
            env.push_back(setting);
    }
    return env;
}

static std::vector<char *> pointers(std::vector<std::string> &words)
{
    std::vector<char *> p;
    for (std::string &w : words)
        p.push_back(&w[0]);
    p.push_back(nullptr);
    return p;
}

ChildProcess::~ChildProcess()
{
    if (pid > 0 && !ended) {
        kill(pid, SIGKILL);
        waitpid(pid, nullptr, 0);
    }
    for (int fd : {outFd, errFd, terminalFd})
        if (fd >= 0)
            close(fd);
}

bool ChildProcess::start(const Launch &launch)
{
    int outPipe[2] = {-1, -1}, errPipe[2], terminal = -1;
    if (pipe(errPipe) != 0)
        return false;
    if ((launch.out == StdoutTo::Capture || launch.out == StdoutTo::ReaderGone) && pipe(outPipe) != 0)
        return false;
    if (launch.out == StdoutTo::ReaderGone) {
        close(outPipe[0]);
        outPipe[0] = -1;
    }
    if (launch.out == StdoutTo::Terminal && openpty(&terminalFd, &terminal, nullptr, nullptr, nullptr) != 0)
        return false;

    std::vector<std::string> env = childEnvironment(launch.env);
    std::vector<char *> envp = pointers(env);
    std::string program = launch.program;
    // User nobody may not reach the build tree (a checkout under /root is
    // closed to others), so it runs a copy placed in its own working folder.
    if (launch.asNobody && getuid() == 0) {
        program = launch.dir + "/program-for-nobody";
        if (!copyExecutable(launch.program, program))
            return false;
    }
    std::vector<std::string> words = {program};
    words.insert(words.end(), launch.args.begin(), launch.args.end());
    std::vector<char *> argv = pointers(words);

    fflush(nullptr);                            // nothing buffered is written twice
    startedMs = monotonicMs();
    pid = fork();
    if (pid == 0) {
        if (!launch.dir.empty() && chdir(launch.dir.c_str()) != 0)
            _exit(126);
        if (launch.asNobody && getuid() == 0) {
            if (setgroups(0, nullptr) != 0 || setgid(65534) != 0 || setuid(65534) != 0)
                _exit(125);
        }
        dup2(errPipe[1], 2);
        close(errPipe[0]);
        close(errPipe[1]);
        int to = launch.out == StdoutTo::DevFull ? open("/dev/full", O_WRONLY)
                 : launch.out == StdoutTo::Terminal ? terminal
                                                    : outPipe[1];
        if (to >= 0) {
            dup2(to, 1);
            close(to);
        } else {
            close(1);
        }
        if (outPipe[0] >= 0)
            close(outPipe[0]);
        if (terminalFd >= 0)
            close(terminalFd);
        if (launch.body) {
            environ = envp.data();
            launch.body();
            _exit(99);                          // the body was expected not to return
        }
        resetSignals();
        execvpe(argv[0], argv.data(), envp.data());
        _exit(127);
    }
    close(errPipe[1]);
    errFd = errPipe[0];
    if (outPipe[1] >= 0)
        close(outPipe[1]);
    outFd = outPipe[0];
    if (terminal >= 0)
        close(terminal);
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
bool ChildProcess::reap(int options)
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
bool ChildProcess::pump(double untilMs, const std::string *text)
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

bool ChildProcess::waitForText(const std::string &text, double seconds)
{
    return pid > 0 && pump(monotonicMs() + seconds * 1000.0, &text);
}

bool ChildProcess::finish(double seconds)
{
    if (pid <= 0)
        return false;
    pump(monotonicMs() + seconds * 1000.0, nullptr);
    if (ended) {
        // The child's descriptors may linger in a process it left behind:
        // read to the end, for a while.
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

void ChildProcess::signal(int sig)
{
    if (pid > 0 && !ended)
        kill(pid, sig);
}

Finished runToEnd(const Launch &launch, double seconds)
{
    ChildProcess child;
    if (child.start(launch))
        child.finish(seconds);
    return {child.status, child.out, child.err};
}

Finished runInChild(const std::function<void()> &body, double seconds)
{
    Launch launch;
    launch.body = body;
    return runToEnd(launch, seconds);
}

std::string commandOutput(const std::string &command, int *status)
{
    Finished f = runToEnd({"/bin/sh", {"-c", command}});
    if (status)
        *status = f.status;
    return f.out;
}

int exitCode(int status)
{
    return status != -1 && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
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

TaskView viewTask(const std::string &procDir)
{
    TaskView v;
    std::string stat = readFile(procDir + "/stat");
    size_t close = stat.rfind(')');             // the name in brackets may hold spaces
    std::istringstream fields(close == std::string::npos ? "" : stat.substr(close + 2));
    std::vector<std::string> f{std::istream_iterator<std::string>(fields), std::istream_iterator<std::string>()};
    if (f.size() > 12) {
        v.state = f[0][0];
        v.parent = std::stoi(f[1]);
        v.flags = std::stoul(f[6]);
        v.ticks = std::stoll(f[11]) + std::stoll(f[12]);   // utime + stime
    }
    std::istringstream call(readFile(procDir + "/syscall"));
    if (!(call >> v.call))
        v.call = -1;
    std::istringstream status(readFile(procDir + "/status"));
    for (std::string line; std::getline(status, line);)
        if (line.rfind("SigPnd:", 0) == 0 || line.rfind("ShdPnd:", 0) == 0)
            v.pending |= std::stoull(line.substr(7), nullptr, 16);
    return v;
}
