// options.h -- the command line of `capture`.
#ifndef CAPTURE_OPTIONS_H
#define CAPTURE_OPTIONS_H

#include <string>

struct CaptureOptions {
    std::string output = "show.mp4";    // "-" for standard output
    std::string muxer = "mp4";          // FFmpeg's name of the container the output's name asks for
    std::string module = "demomain.xm"; // the music, as the show reads it: from the working directory
    int width = 1920;
    int height = 1080;
    int fps = 60;                   // video frames a second, and show frames a second
    bool quiet = false;             // no progress bar and no statistics
    bool help = false;
    bool version = false;
};

// Reads the arguments into `options`. Returns false with a one-line reason in
// `error` for anything it cannot take; `options` is then partly filled.
bool parseOptions(int argc, char **argv, CaptureOptions *options, std::string *error);

// The text --help prints, naming the program `name` and the module that
// a recording would play now.
std::string usageText(const std::string &name, const std::string &module);

#endif
