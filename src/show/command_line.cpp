// command_line.cpp -- see command_line.h.
#include "command_line.h"

#include <cstdio>
#include <cstring>
#include <string>

#include "pacer.h"
#include "platform.h"

// The start of every desktop program's usage; each goes on from the last
// line with its own words (`usage`).
static const char usageHead[] =
    "Usage: %s [--fps N] [GLUT OPTION]...\n"
    "Plays tha corbanet demo, a self-running real-time OpenGL show with its own\n"
    "tracker music, in a full-screen window: a field of lit spheres, a blast of\n"
    "triangles that rebuilds itself into a wall, and a slideshow. At its end, or\n"
    "on Esc, it prints its statistics (frames, seconds, frames a second) on\n"
    "standard output and exits.\n"
    "\n"
    "Keys:\n"
    "  Esc                ends the show before the slideshow; other keys are ignored\n"
    "\n"
    "Options:\n"
    "  --fps N            at most N frames a second (1 to 1000); the show moves a\n"
    "                     fixed step per frame and is meant to be seen at 60.\n"
    "                     Without it frames are drawn back to back, as fast as the\n";

bool showReadCommandLine(int *argc, char **argv, const char *usage, const char *version, int *status)
{
    const char *name = sysProgramName();
    for (int i = 1; i < *argc; ++i) {
        // The values of options are not options themselves.
        if (strcmp(argv[i], "-display") == 0 || strcmp(argv[i], "-geometry") == 0 || strcmp(argv[i], "--fps") == 0) {
            ++i;
            continue;
        }
        bool help = strcmp(argv[i], "--help") == 0;
        if (help || strcmp(argv[i], "--version") == 0) {
            if (help) {
                printf(usageHead, name);
                fputs(usage, stdout);
            } else {
                printf("%s (tha corbanet demo) %s\n", name, version);
            }
            *status = fflush(stdout) == 0 ? 0 : 1;
            return false;
        }
    }
    std::string why;
    if (!pacerTakeOption(argc, argv, &why)) {
        fprintf(stderr, "%s: %s\nTry '%s --help'.\n", name, why.c_str(), name);
        *status = 2;
        return false;
    }
    return true;
}
