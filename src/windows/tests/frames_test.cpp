// frames_test.cpp -- the whole show in-process in a 640x480 window, with the
// clock moved 10 ms per frame and the sleeps turned into clock advances, as
// the Linux course test runs it: it ends by itself after frame 2722 with
// status 0, and frames 1000, 2250, 2400, 2600 and 2722 match the Linux
// reference frames (tests/reference, made raw by the picture converter when
// this is built) as on Linux: at least 99.5 % of the pixels within 8 levels.
// The picture is read from the back buffer as the frame swaps it (the link
// wraps glutSwapBuffers): under Wine the front buffer of a window reads back
// black.
#include <algorithm>
#include <cstdio>
#include <iterator>
#include <map>
#include <string>
#include <vector>

#include <GL/freeglut.h>
#include <gtest/gtest.h>

#include "demo.h"
#include "show_harness.h"

namespace {

const int W = 640, H = 480;
const int shotFrames[] = {1000, 2250, 2400, 2600, 2722};

int exitStatus = -1;                                // the show's; -1 while it has not ended
std::map<int, std::vector<unsigned char>> shots;    // RGB, bottom row first
int frameDrawn;

// Runs the course once, for every test.
void runCourse()
{
    static bool ran = false;
    if (ran)
        return;
    ran = true;
    startShow(W, H);        // the window, the substituted clock, sleeps and exit
    try {
        for (frameDrawn = 1; frameDrawn <= 4000; ++frameDrawn) {
            fakePlatform.clockMs += 10;
            display();
        }
    } catch (const ShowExit &e) {
        exitStatus = e.status;
    }
}

// The reference's RGBA bytes, bottom row first, as RGB; empty if unreadable.
std::vector<unsigned char> reference(int frame)
{
    std::vector<unsigned char> rgba((size_t)W * H * 4), rgb;
    std::string path = std::string(REFERENCE_DIR) + "/frame" + std::to_string(frame) + ".rgba";
    FILE *f = fopen(path.c_str(), "rb");
    bool whole = f && fread(rgba.data(), 1, rgba.size(), f) == rgba.size() && fgetc(f) == EOF;
    if (f)
        fclose(f);
    for (size_t i = 0; whole && i < rgba.size(); ++i)
        if (i % 4 != 3)
            rgb.push_back(rgba[i]);
    return rgb;
}

}  // namespace

// The first swap of a frame to keep holds its picture.
extern "C" void __real_glutSwapBuffers();
extern "C" void __wrap_glutSwapBuffers()
{
    if (std::count(std::begin(shotFrames), std::end(shotFrames), frameDrawn) && !shots.count(frameDrawn)) {
        std::vector<unsigned char> &rgb = shots[frameDrawn];
        rgb.resize((size_t)W * H * 3);
        glReadBuffer(GL_BACK);
        glPixelStorei(GL_PACK_ALIGNMENT, 1);
        glReadPixels(0, 0, W, H, GL_RGB, GL_UNSIGNED_BYTE, rgb.data());
    }
    __real_glutSwapBuffers();
}

TEST(Course, EndsByItselfAfterFrame2722)
{
    runCourse();
    EXPECT_EQ(exitStatus, 0);
    EXPECT_EQ(frames, 2722u);
}

TEST(Course, ReferenceFrames)
{
    runCourse();
    for (int f : shotFrames) {
        SCOPED_TRACE("frame " + std::to_string(f));
        ASSERT_EQ(shots.count(f), 1u);
        std::vector<unsigned char> ref = reference(f);
        ASSERT_EQ(ref.size(), (size_t)W * H * 3) << "no reference frame in " << REFERENCE_DIR;
        ImageDiff d = compareImages(shots.at(f), ref, 8);
        EXPECT_LT(d.shareOver, 0.005) << "largest difference " << d.maxDelta;
    }
}
