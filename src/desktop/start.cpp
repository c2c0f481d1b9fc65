// start.cpp -- the show's entry point.
//
// The command line belongs to GLUT. Only --help, --version and --fps are read
// here, before any window opens; everything else goes on unchanged.
#include "demo.h"
#include "command_line.h"

// The usage after what every desktop program says first (command_line.cpp):
// the rest of --fps, the other options, the music and the environment.
static const char usage[] =
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
    "                     silence, disk to write the sound to SDL_DISKAUDIOFILE\n";

int main(int argc, char **argv)
{
    int status = 0;
    if (!showReadCommandLine(&argc, argv, usage, DEMO_VERSION, &status))
        return status;
    return showMain(argc, argv);
}
