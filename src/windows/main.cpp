// main.cpp -- the Windows program's entry point.
//
// As on Linux, only --help, --version and --fps are read here, before any
// window opens; everything else goes to GLUT unchanged.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "demo.h"
#include "pacer.h"
#include "platform.h"

static void printUsage(const char *name)
{
    printf("Usage: %s [--fps N] [GLUT OPTION]...\n"
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
           "                     Without it frames are drawn back to back, as fast as the\n"
           "                     machine and the screen's refresh allow. play.cmd, beside\n"
           "                     this program, starts it with --fps 60.\n"
           "  --help             show this text and exit\n"
           "  --version          show the version and exit\n"
           "\n"
           "Music:\n"
           "  The XM module \"demomain.xm\" in the working directory (the folder the\n"
           "  program was unpacked into, when it is started from Explorer). Without a\n"
           "  sound device or a playable module the show runs silently and says why.\n"
           "\n"
           "Environment:\n"
           "  SDL_AUDIODRIVER    the sound output: wasapi, directsound; dummy for\n"
           "                     silence, disk to write the sound to SDL_DISKAUDIOFILE\n",
           name);
}

int main(int argc, char **argv)
{
    for (int i = 1; i < argc; ++i) {
        // The value of --fps is not an option itself.
        if (strcmp(argv[i], "--fps") == 0) {
            ++i;
            continue;
        }
        bool help = strcmp(argv[i], "--help") == 0;
        if (help || strcmp(argv[i], "--version") == 0) {
            if (help)
                printUsage(sysProgramName());
            else
                printf("%s (tha corbanet demo) %s\n", sysProgramName(), DEMO_VERSION);
            return fflush(stdout) == 0 ? 0 : 1;
        }
    }
    // freeglut's Windows side takes DISPLAY, when it is set, for the name of
    // a display device, fails to open it and warns on stderr. On Windows the
    // variable only ever belongs to X software (an X server for Windows,
    // Wine on its host), so the show does not pass it on.
    _putenv("DISPLAY=");
    std::string why;
    if (!pacerTakeOption(&argc, argv, &why)) {
        fprintf(stderr, "%s: %s\nTry '%s --help'.\n", sysProgramName(), why.c_str(), sysProgramName());
        return 2;
    }
    return showMain(argc, argv);
}
