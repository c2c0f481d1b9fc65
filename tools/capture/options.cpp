// options.cpp -- see options.h.
#include "options.h"

#include <cerrno>
#include <cstdlib>
#include <getopt.h>
#include <strings.h>

// What can be recorded. Each side: at least 16, even (yuv420p keeps one
// colour sample per 2 x 2 pixels), and at most 16384, the largest picture
// libx264 encodes and Mesa's software renderer draws. The area: FFmpeg
// refuses a picture whose (width + 128) x (height + 128) reaches
// INT_MAX / 8, so at 16384 wide the height can be at most 16128.
static const int minSide = 16, maxSide = 16384, maxFps = 240;
static const long long maxPaddedArea = 268435455;   // (w + 128) x (h + 128) at most

// A whole decimal number in [low, high], nothing before or after it.
static bool readNumber(const std::string &text, int low, int high, int *value)
{
    if (text.empty() || text[0] < '0' || text[0] > '9')
        return false;
    errno = 0;
    char *end = nullptr;
    long v = strtol(text.c_str(), &end, 10);
    if (errno != 0 || *end != '\0' || v < low || v > high)
        return false;
    *value = (int)v;
    return true;
}

static bool readSize(const std::string &text, int *width, int *height, std::string *error)
{
    size_t x = text.find('x');
    int w = 0, h = 0;
    if (x == std::string::npos || !readNumber(text.substr(0, x), 1, 1 << 30, &w)
        || !readNumber(text.substr(x + 1), 1, 1 << 30, &h)) {
        *error = "--size: expected WIDTHxHEIGHT, such as 1280x720, got '" + text + "'";
        return false;
    }
    if (w < minSide || h < minSide || w > maxSide || h > maxSide || w % 2 || h % 2) {
        *error = "--size: width and height must be even, each side from " + std::to_string(minSide) + " to "
                 + std::to_string(maxSide) + " pixels, got '" + text + "'";
        return false;
    }
    long long most = std::min<long long>(maxPaddedArea / (w + 128) - 128, maxSide);
    most -= most % 2;
    if (h > most) {
        *error = "--size: " + text + " is more than the encoder takes: at width " + std::to_string(w)
                 + " the height can be at most " + std::to_string(most);
        return false;
    }
    *width = w;
    *height = h;
    return true;
}

// The container FFmpeg writes for an output name: the name's ending
// chooses; "-" is MP4, fragmented so that a player can read it as it comes.
static bool containerFor(const std::string &name, std::string *muxer)
{
    static const char *const known[][2] = {{".mp4", "mp4"}, {".mov", "mov"}, {".mkv", "matroska"}};
    if (name == "-")
        return true;
    for (const auto &k : known) {
        if (name.size() > 4 && strcasecmp(name.c_str() + name.size() - 4, k[0]) == 0) {
            *muxer = k[1];
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
        std::string arg = argv[optind - 1];    // the option itself, or its value
        switch (c) {
        case 'o':
        case 'm':
            if (*optarg == '\0') {
                *error = c == 'o' ? "-o: the output file name is empty"
                                  : "--module: the module file name is empty";
                return false;
            }
            (c == 'o' ? options->output : options->module) = optarg;
            break;
        case 's':
            if (!readSize(optarg, &options->width, &options->height, error))
                return false;
            break;
        case 'f':
            if (!readNumber(optarg, 1, maxFps, &options->fps)) {
                *error = "--fps: expected a whole number from 1 to " + std::to_string(maxFps) + ", got '"
                         + optarg + "'";
                return false;
            }
            break;
        case 'q':
        case 'h':
        case 'V':
            (c == 'q' ? options->quiet : c == 'h' ? options->help : options->version) = true;
            break;
        case ':':
            *error = arg + ": needs a value";
            return false;
        default:
            // A value given to an option that takes none, such as --quiet=1:
            // getopt reports the option's own letter.
            for (const struct option *o = longOptions; optopt && arg.rfind("--", 0) == 0 && o->name; ++o)
                if (o->val == optopt && o->has_arg == no_argument) {
                    *error = std::string("--") + o->name + " takes no value";
                    return false;
                }
            *error = "unknown option '" + (optopt ? std::string("-") + (char)optopt : arg) + "'";
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
