// options.cpp -- see options.h.
#include "options.h"

#include <cctype>
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
    if (h > captureMaxHeight(w)) {
        *error = "--size: " + text + " is more than the encoder takes: at width " + std::to_string(w)
                 + " the height can be at most " + std::to_string(captureMaxHeight(w));
        return false;
    }
    *width = w;
    *height = h;
    return true;
}

int captureMaxHeight(int width)
{
    long long h = captureMaxPaddedArea / (width + 128) - 128;
    if (h > captureMaxSide)
        h = captureMaxSide;
    return (int)(h - h % 2);
}

// The container FFmpeg writes for an output name: the name's ending chooses.
static bool containerFor(const std::string &name, std::string *muxer)
{
    static const struct {
        const char *ending, *muxer;
    } known[] = {{".mp4", "mp4"}, {".mov", "mov"}, {".mkv", "matroska"}};
    if (name == "-") {
        *muxer = "mp4";             // fragmented, so that a player can read it as it comes
        return true;
    }
    std::string lower;
    for (char c : name)
        lower += (char)tolower((unsigned char)c);
    for (const auto &k : known) {
        std::string e = k.ending;
        if (lower.size() > e.size() && lower.compare(lower.size() - e.size(), e.size(), e) == 0) {
            *muxer = k.muxer;
            return true;
        }
    }
    return false;
}

bool parseOptions(int argc, char **argv, CaptureOptions *options, std::string *error)
{
    static const struct option longOptions[] = {
        {"output", required_argument, nullptr, 'o'},
        {"size", required_argument, nullptr, 's'},
        {"fps", required_argument, nullptr, 'f'},
        {"module", required_argument, nullptr, 'm'},
        {"quiet", no_argument, nullptr, 'q'},
        {"help", no_argument, nullptr, 'h'},
        {"version", no_argument, nullptr, 'V'},
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
        case 'm':
            if (*optarg == '\0') {
                *error = "--module: the module file name is empty";
                return false;
            }
            options->module = optarg;
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
        case 'V':
            options->version = true;
            break;
        case ':':
            *error = std::string(argv[optind - 1]) + ": needs a value";
            return false;
        default:
            // A value given to an option that takes none, such as --quiet=1:
            // getopt reports the option's own letter.
            if (optopt && std::string(argv[optind - 1]).rfind("--", 0) == 0) {
                for (const struct option *o = longOptions; o->name; ++o)
                    if (o->val == optopt && o->has_arg == no_argument) {
                        *error = std::string("--") + o->name + " takes no value";
                        return false;
                    }
            }
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
    if (!containerFor(options->output, &options->muxer)) {
        *error = "-o: '" + options->output + "' does not end in .mp4, .mkv or .mov, the containers it writes";
        return false;
    }
    return true;
}

std::string usageText(const std::string &name, const std::string &module)
{
    std::string moduleDefault =
        module == CaptureOptions().module ? module + " in the working directory" : module;
    return "Usage: " + name + " [-o FILE] [--size WxH] [--fps N] [--module FILE] [--quiet]\n"
           "Records the whole show to a video file (H.264 video, AAC audio), without a\n"
           "display or a sound device.\n"
           "\n"
           "Options:\n"
           "  -o, --output FILE  the video file to write (default show.mp4); its ending\n"
           "                     chooses the container: .mp4, .mkv or .mov. \"-\" writes\n"
           "                     fragmented MP4 to standard output, which must not be\n"
           "                     a terminal. An existing FILE must be a regular file or\n"
           "                     a link to one; the new video replaces it when complete\n"
           "  --size WxH         picture size in pixels, even sides from 16 to 16384,\n"
           "                     (W+128)x(H+128) at most 268435455 (default 1920x1080)\n"
           "  --fps N            frames a second, 1 to 240 (default 60); the show\n"
           "                     moves one step per frame, so this sets its pace\n"
           "  --module FILE      the XM music module to play (default " + moduleDefault + ")\n"
           "  -q, --quiet        no progress bar and no statistics on stderr\n"
           "  -h, --help         show this text\n"
           "  --version          show the version\n";
}
