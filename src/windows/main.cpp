// main.cpp -- the Windows program's entry point.
//
// As on Linux, only --help, --version and --fps are read here, before any
// window opens; everything else goes to GLUT unchanged.
#include <cstdlib>

#include "demo.h"
#include "command_line.h"

// The usage after what every desktop program says first (command_line.cpp):
// the rest of --fps, the other options, the music and the environment.
static const char usage[] =
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
    "                     silence, disk to write the sound to SDL_DISKAUDIOFILE\n";

int main(int argc, char **argv)
{
    // freeglut's Windows side takes DISPLAY, when it is set, for the name of
    // a display device, fails to open it and warns on stderr. On Windows the
    // variable only ever belongs to X software (an X server for Windows,
    // Wine on its host), so the show does not pass it on.
    _putenv("DISPLAY=");
    int status = 0;
    if (!showReadCommandLine(&argc, argv, usage, DEMO_VERSION, &status))
        return status;
    return showMain(argc, argv);
}
