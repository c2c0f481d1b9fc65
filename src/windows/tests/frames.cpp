// frames.cpp -- the whole show in-process in a 640x480 window, with the clock
// moved 10 ms per frame and the sleeps turned into clock advances, as the
// Linux course test runs it. Writes what frames 1000, 2250, 2400, 2600 and
// 2722 put on the screen to OUTDIR/frameNNNN.rgb (RGB bytes, bottom row
// first), lets the slideshow end the show and prints its statistics and
// "exit STATUS". The picture is read from the back buffer as the frame swaps
// it (the link wraps glutSwapBuffers): under Wine the front buffer of a
// window reads back black.
//
//   frames OUTDIR
#include <cstdio>
#include <string>
#include <vector>

#include <GL/freeglut.h>

#include "demo.h"
#include "show_harness.h"

namespace {

const int W = 640, H = 480;
const int shotFrames[] = {1000, 2250, 2400, 2600, 2722};

std::string shotPath;        // where the frame being drawn goes, if anywhere
bool shotFailed;

bool writeFrame(const std::string &path)
{
    std::vector<unsigned char> rgb((size_t)W * H * 3);
    glReadBuffer(GL_BACK);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(0, 0, W, H, GL_RGB, GL_UNSIGNED_BYTE, rgb.data());
    FILE *f = fopen(path.c_str(), "wb");
    bool ok = f && fwrite(rgb.data(), 1, rgb.size(), f) == rgb.size();
    return f && fclose(f) == 0 && ok;
}

}  // namespace

extern "C" void __real_glutSwapBuffers();
extern "C" void __wrap_glutSwapBuffers()
{
    if (!shotPath.empty()) {
        shotFailed = !writeFrame(shotPath);
        shotPath.clear();
    }
    __real_glutSwapBuffers();
}

int main(int argc, char **argv)
{
    if (argc != 2) {
        fprintf(stderr, "usage: frames OUTDIR\n");
        return 2;
    }
    std::string outDir = argv[1];
    startShow(W, H);        // the window, the substituted clock, sleeps and exit
    try {
        for (int f = 1; f <= 4000; ++f) {
            fakePlatform.clockMs += 10;
            char name[32];
            snprintf(name, sizeof name, "/frame%04d.rgb", f);
            for (int shot : shotFrames)
                if (f == shot)
                    shotPath = outDir + name;
            display();
            if (shotFailed || !shotPath.empty()) {
                fprintf(stderr, "frames: frame %d not written to %s\n", f, (outDir + name).c_str());
                return 1;
            }
        }
    } catch (const ShowExit &e) {
        printf("exit %d\n", e.status);
        return 0;
    }
    fprintf(stderr, "frames: the show did not end\n");
    return 1;
}
