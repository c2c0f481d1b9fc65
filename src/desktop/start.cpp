// start.cpp -- the show's entry point.
//
// The command line belongs to GLUT. Only --help, --version and --fps are read
// here, before any window opens; everything else goes on unchanged.
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
           "                     machine and the screen's refresh allow. The launcher\n"
           "                     corbanet-demo gives --fps 60 unless --fps is given.\n"
           "  --help             show this text and exit\n"
           "  --version          show the version and exit\n"
           "\n"
           "Every other argument goes to GLUT unchanged, such as:\n"
           "  -display DISPLAY   the X display to open the window on\n"
           "  -geometry WxH+X+Y  the window's size and place before it goes full screen\n"
           "  -direct, -indirect, -sync, -gldebug, -iconic\n"
           "\n"
           "Music:\n"
           "  The XM module \"demomain.xm\" in the working directory; the launcher\n"
           "  corbanet-demo runs the show where the module is installed. Without a sound\n"
           "  device or a playable module the show runs silently and says why on stderr.\n"
           "\n"
           "Environment:\n"
           "  SDL_AUDIODRIVER    the sound output: pulseaudio, pipewire, alsa; dummy for\n"
           "                     silence, disk to write the sound to SDL_DISKAUDIOFILE\n",
           name);
}

int main(int argc, char **argv)
{
    for (int i = 1; i < argc; ++i) {
        // The values of options are not options themselves.
        if (strcmp(argv[i], "-display") == 0 || strcmp(argv[i], "-geometry") == 0 || strcmp(argv[i], "--fps") == 0) {
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
    std::string why;
    if (!pacerTakeOption(&argc, argv, &why)) {
        fprintf(stderr, "%s: %s\nTry '%s --help'.\n", sysProgramName(), why.c_str(), sysProgramName());
        return 2;
    }
    return showMain(argc, argv);
}
