// options.h -- the command line of `capture`.
#ifndef CAPTURE_OPTIONS_H
#define CAPTURE_OPTIONS_H

#include <string>

struct CaptureOptions {
    std::string output = "show.mp4";
    int width = 1920;
    int height = 1080;
    int fps = 60;                   // video frames a second, and show frames a second
    bool quiet = false;             // no progress bar and no statistics
    bool help = false;
};

// The limits a size and a rate must keep before the renderer is asked; it
// may take less.
const int captureMinSide = 16;
const int captureMaxSide = 32766;     // X11 draws no window wider or taller than 32767
const int captureMaxFps = 240;

// Reads the arguments into `options`. Returns false with a one-line reason in
// `error` for anything it cannot take; `options` is then partly filled.
bool parseOptions(int argc, char **argv, CaptureOptions *options, std::string *error);

// The text --help prints.
std::string usageText();

#endif
