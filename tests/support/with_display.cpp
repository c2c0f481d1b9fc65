// with_display.cpp -- with_display COMMAND [ARGS...]
//
// Runs COMMAND on a virtual X server of its own (1280 x 720), so that tests
// which read their window back never see another test's window on top of
// theirs, and ends the server when COMMAND ends. The exit status is
// COMMAND's, or 128 + the signal that ended it.
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include "private_display.h"

int main(int argc, char **argv)
{
    if (argc < 2) {
        fprintf(stderr, "usage: with_display COMMAND [ARGS...]\n");
        return 2;
    }
    PrivateDisplay display;
    std::string error;
    if (!display.start(1280, 720, &error)) {
        fprintf(stderr, "with_display: %s\n", error.c_str());
        return 1;
    }
    setenv("DISPLAY", display.name().c_str(), 1);
    pid_t pid = fork();
    if (pid == 0) {
        prctl(PR_SET_PDEATHSIG, SIGKILL);       // a test whose runner was killed goes with it
        execvp(argv[1], argv + 1);
        perror(argv[1]);
        _exit(127);
    }
    int status = 0;
    while (pid > 0 && waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    display.stop();
    if (pid < 0)
        return 1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}
