// private_display.cpp -- see private_display.h.
#include "private_display.h"

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

PrivateDisplay::~PrivateDisplay()
{
    stop();
}

// Runs in the forked child: becomes the X server or reports why it could not.
[[noreturn]] static void execServer(int readyFd, pid_t parent, int screenWidth, int screenHeight)
{
    // Its own process group, so that Ctrl-C in a terminal reaches `capture`
    // alone and the server stays up until `capture` has closed its window;
    // and it ends with us, however we end.
    setpgid(0, 0);
    prctl(PR_SET_PDEATHSIG, SIGTERM);
    if (getppid() != parent)         // we ended before the line above took effect
        _exit(127);
    int nul = open("/dev/null", O_RDWR);
    if (nul >= 0) {
        dup2(nul, 0);
        dup2(nul, 1);
        dup2(nul, 2);
    }
    std::string fd = std::to_string(readyFd);
    std::string screen = std::to_string(screenWidth) + "x" + std::to_string(screenHeight) + "x24";
    execlp("Xvfb", "Xvfb", "-displayfd", fd.c_str(), "-screen", "0", screen.c_str(),
           "-nolisten", "tcp", "-noreset", (char *)nullptr);
    // Tell the parent why: the pipe carries the display number on success.
    char why[8];
    snprintf(why, sizeof why, "E%d\n", errno);
    ssize_t n = write(readyFd, why, strlen(why));
    (void)n;
    _exit(127);
}

bool PrivateDisplay::start(int screenWidth, int screenHeight, std::string *error)
{
    int fds[2] = {-1, -1};
    pid_t parent = getpid();
    if (pipe2(fds, O_CLOEXEC) != 0 || (pid = fork()) < 0) {
        *error = std::string("cannot start the X server: ") + strerror(errno);
        close(fds[0]);
        close(fds[1]);
        return false;
    }
    if (pid == 0) {
        close(fds[0]);
        fcntl(fds[1], F_SETFD, 0);      // the server writes its display number here
        execServer(fds[1], parent, screenWidth, screenHeight);
    }
    close(fds[1]);

    // Xvfb writes "N\n" once it takes connections, then keeps the pipe open.
    std::string reply;
    for (;;) {
        struct pollfd p = {fds[0], POLLIN, 0};
        int ready = poll(&p, 1, 20000);
        if (ready < 0 && errno == EINTR)
            continue;
        char buf[32];
        ssize_t n = ready > 0 ? read(fds[0], buf, sizeof buf) : 0;
        if (n <= 0)
            break;
        reply.append(buf, (size_t)n);
        if (reply.find('\n') != std::string::npos)
            break;
    }
    close(fds[0]);

    if (!reply.empty() && reply[0] >= '0' && reply[0] <= '9') {
        displayName = ":" + reply.substr(0, reply.find('\n'));
        return true;
    }
    if (!reply.empty() && reply[0] == 'E')
        *error = std::string("cannot run Xvfb, the virtual X server: ") + strerror(atoi(reply.c_str() + 1));
    else
        *error = "the virtual X server (Xvfb) did not start";
    stop();
    return false;
}

void PrivateDisplay::stop()
{
    if (pid <= 0)
        return;
    kill(pid, SIGTERM);
    while (waitpid(pid, nullptr, 0) < 0 && errno == EINTR) {
    }
    pid = -1;
    displayName.clear();
}
