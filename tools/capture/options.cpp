// options.cpp -- see options.h.
#include "options.h"

#include <cerrno>
#include <cstdlib>
#include <getopt.h>

// A whole decimal number in [low, high], nothing before or after it.
static bool readNumber(const char *text, int low, int high, int *value)
{
    if (*text < '0' || *text > '9')
        return false;
    errno = 0;
    char *end = nullptr;
    long v = strtol(text, &end, 10);
    if (errno != 0 || *end != '\0' || v < low || v > high)
        return false;
    *value = (int)v;
    return true;
}

static bool readSize(const std::string &text, int *width, int *height, std::string *error)
{
    size_t x = text.find('x');
    int w = 0, h = 0;
    if (x == std::string::npos || !readNumber(text.substr(0, x).c_str(), 1, 1 << 30, &w)
        || !readNumber(text.substr(x + 1).c_str(), 1, 1 << 30, &h)) {
        *error = "--size: expected WIDTHxHEIGHT, such as 1280x720, got '" + text + "'";
        return false;
    }
    if (w < captureMinSide || h < captureMinSide || w > captureMaxSide || h > captureMaxSide) {
        *error = "--size: each side must be from " + std::to_string(captureMinSide) + " to "
                 + std::to_string(captureMaxSide) + " pixels, got '" + text + "'";
        return false;
    }
    // yuv420p keeps one colour sample per 2 x 2 pixels, so the encoder takes
    // even sides only.
    if (w % 2 || h % 2) {
        *error = "--size: width and height must be even, got '" + text + "'";
        return false;
    }
    *width = w;
    *height = h;
    return true;
}

bool parseOptions(int argc, char **argv, CaptureOptions *options, std::string *error)
{
    static const struct option longOptions[] = {
        {"output", required_argument, nullptr, 'o'},
        {"size", required_argument, nullptr, 's'},
        {"fps", required_argument, nullptr, 'f'},
        {"quiet", no_argument, nullptr, 'q'},
        {"help", no_argument, nullptr, 'h'},
        {nullptr, 0, nullptr, 0},
    };
    optind = 0;                     // start afresh: getopt keeps its place between calls
    opterr = 0;                     // the messages are ours, one line each
    int c;
    while ((c = getopt_long(argc, argv, ":o:qh", longOptions, nullptr)) != -1) {
        switch (c) {
        case 'o':
            if (*optarg == '\0') {
                *error = "-o: the output file name is empty";
                return false;
            }
            options->output = optarg;
            break;
        case 's':
            if (!readSize(optarg, &options->width, &options->height, error))
                return false;
            break;
        case 'f':
            if (!readNumber(optarg, 1, captureMaxFps, &options->fps)) {
                *error = "--fps: expected a whole number from 1 to " + std::to_string(captureMaxFps)
                         + ", got '" + optarg + "'";
                return false;
            }
            break;
        case 'q':
            options->quiet = true;
            break;
        case 'h':
            options->help = true;
            break;
        case ':':
            *error = std::string(argv[optind - 1]) + ": needs a value";
            return false;
        default:
            if (optopt)
                *error = std::string("unknown option '-") + (char)optopt + "'";
            else
                *error = std::string("unknown option '") + argv[optind - 1] + "'";
            return false;
        }
    }
    if (optind < argc) {
        *error = std::string("unexpected argument '") + argv[optind] + "'";
        return false;
    }
    return true;
}

std::string usageText()
{
    return "Usage: capture [-o FILE] [--size WxH] [--fps N] [--quiet] [--help]\n"
           "Records the whole show to an MP4 file (H.264 video, AAC audio), without a\n"
           "display or a sound device. Reads \"demomain.xm\" from the working directory.\n"
           "\n"
           "  -o, --output FILE  the video file to write (default show.mp4)\n"
           "  --size WxH         picture size in pixels, even sides (default 1920x1080)\n"
           "  --fps N            frames a second, 1 to 240 (default 60); the show\n"
           "                     moves one step per frame, so this sets its pace\n"
           "  -q, --quiet        no progress bar and no statistics on stderr\n"
           "  -h, --help         show this text\n";
}
