// private_display.h -- a virtual X server of our own, for the show's window.
//
// The show draws through freeglut, which needs an X display; `capture` must
// run where there is none. So it starts Xvfb on a free display number, opens
// its window there, and stops the server on the way out. Mesa draws the
// window with the same software renderer `start` uses under Xvfb.
#ifndef PRIVATE_DISPLAY_H
#define PRIVATE_DISPLAY_H

#include <string>
#include <sys/types.h>

class PrivateDisplay {
public:
    PrivateDisplay() = default;
    PrivateDisplay(const PrivateDisplay &) = delete;
    PrivateDisplay &operator=(const PrivateDisplay &) = delete;
    ~PrivateDisplay();

    // Starts the server with one screen of the given size and waits until it
    // takes connections. False with a one-line reason in `error` otherwise.
    bool start(int screenWidth, int screenHeight, std::string *error);

    // ":N", the name to connect to; empty before start().
    const std::string &name() const { return displayName; }

    // Ends the server and waits for it; safe to call twice.
    void stop();

private:
    pid_t pid = -1;
    std::string displayName;
};

#endif
