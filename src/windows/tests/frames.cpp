// frames.cpp -- the whole show in-process in a 640x480 window, with the clock
// moved 10 ms per frame and the sleeps turned into clock advances, as the
// Linux course test runs it. Writes what the window shows after frames 1000,
// 2250, 2400, 2600 and 2722 to OUTDIR/frameNNNN.rgb (RGB bytes, bottom row
// first), lets the slideshow end the show and prints its statistics and
// "exit STATUS".
//
//   frames OUTDIR
#include <cstdio>
#include <string>
#include <vector>

#include <GL/freeglut.h>
#include <windows.h>

#include "demo.h"
#include "platform.h"

namespace {

const int W = 640, H = 480;
const int shotFrames[] = {1000, 2250, 2400, 2600, 2722};
unsigned clockMs;

struct ShowExit {
    int status;
};

unsigned fakeMilliseconds() { return clockMs; }
void fakeSleep(unsigned seconds) { clockMs += seconds * 1000; }
void throwingExit(int status)
{
    fflush(stdout);
    throw ShowExit{status};
}

bool writeFrame(const std::string &path)
{
    std::vector<unsigned char> rgb((size_t)W * H * 3);
    glReadBuffer(GL_FRONT);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(0, 0, W, H, GL_RGB, GL_UNSIGNED_BYTE, rgb.data());
    FILE *f = fopen(path.c_str(), "wb");
    bool ok = f && fwrite(rgb.data(), 1, rgb.size(), f) == rgb.size();
    return f && fclose(f) == 0 && ok;
}

}  // namespace

int main(int argc, char **argv)
{
    if (argc != 2) {
        fprintf(stderr, "usage: frames OUTDIR\n");
        return 2;
    }
    std::string outDir = argv[1];
    int glutArgc = 1;
    glutInit(&glutArgc, argv);
    glutInitDisplayMode(GLUT_RGB | GLUT_DOUBLE | GLUT_DEPTH);
    glutInitWindowSize(W, H);
    glutInitWindowPosition(0, 0);
    glutCreateWindow("tha corbanet demo");
    glutDisplayFunc([] {});
    // Let the toolkit map the window before the show draws into it.
    for (int i = 0; i < 50; ++i) {
        glutMainLoopEvent();
        Sleep(10);
    }

    sysMilliseconds = fakeMilliseconds;
    sysSleepSeconds = fakeSleep;
    sysExit = throwingExit;
    init();
    reshape(W, H);
    try {
        for (int f = 1; f <= 4000; ++f) {
            clockMs += 10;
            display();
            for (int shot : shotFrames) {
                char name[32];
                snprintf(name, sizeof name, "/frame%04d.rgb", f);
                if (f == shot && !writeFrame(outDir + name)) {
                    fprintf(stderr, "frames: cannot write %s\n", (outDir + name).c_str());
                    return 1;
                }
            }
        }
    } catch (const ShowExit &e) {
        printf("exit %d\n", e.status);
        return 0;
    }
    fprintf(stderr, "frames: the show did not end\n");
    return 1;
}
