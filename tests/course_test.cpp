// course_test.cpp -- the whole show, frame by frame, in a real window.
//
// The show is run once, from init() to the slideshow's exit, with the clock
// moved 10 ms per frame and the sleeps replaced by clock advances. The state
// after every frame, a few screen shots and every picture showing are kept,
// and the tests below check that course against the show's fixed timetable.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <map>
#include <string>
#include <vector>

#include "demo.h"
#include "png_file.h"
#include "show_harness.h"

namespace {

const int W = 640, H = 480;
const unsigned frameMs = 10;
const int shotFrames[] = {1000, 2250, 2400, 2600, 2722};

struct Snap {
    ushort sequence;
    float speed, degree, space, radius;
    short direction;
    unsigned secondary[3];
    float look[9];
    float size0;
    float rotation[25];
    unsigned frames;
};

struct Showing {
    unsigned seconds;
    std::vector<unsigned char> screen;
};

struct Course {
    std::vector<Snap> snaps;                    // [0] after init, [f] after frame f
    Snap atExit;                                // the state when the show ended itself
    std::map<int, std::vector<unsigned char>> shots;
    std::vector<Showing> showings;
    bool exited = false;
    int exitStatus = -1;
    std::string stdoutText;
    BlastElement wallAfterLastGlide[301];
};

Snap snapshot()
{
    Snap s;
    s.sequence = sequence;
    s.speed = cameraSpeed;
    s.degree = cameraDegree;
    s.space = spinnerSpace;
    s.radius = cameraRadius;
    s.direction = cameraDirection;
    for (int i = 0; i < 3; ++i)
        s.secondary[i] = secondarySequence[i];
    for (int i = 0; i < 9; ++i)
        s.look[i] = myGluLookAt[i];
    s.size0 = mySpinner[0].mySize;
    for (int i = 0; i < 25; ++i)
        s.rotation[i] = mySpinner[i].myRotation;
    s.frames = frames;
    return s;
}

Course runCourse()
{
    Course c;
    fakePlatform.onSleep = [&c](unsigned seconds) {
        c.showings.push_back({seconds, readFrontBuffer(W, H)});
    };
    startShow(W, H);
    c.snaps.push_back(snapshot());

    testing::internal::CaptureStdout();
    for (int f = 1; f <= 4000 && !c.exited; ++f) {
        fakePlatform.clockMs += frameMs;
        try {
            display();
        } catch (const ShowExit &e) {
            c.exited = true;
            c.exitStatus = e.status;
            c.atExit = snapshot();
            break;
        }
        c.snaps.push_back(snapshot());
        for (int shot : shotFrames)
            if (f == shot)
                c.shots[f] = readFrontBuffer(W, H);
        if (f == 2722)
            for (int e = 0; e < 301; ++e)
                c.wallAfterLastGlide[e] = blastElements[e];
    }
    c.stdoutText = testing::internal::GetCapturedStdout();
    return c;
}

const Course &course()
{
    static Course c = runCourse();
    return c;
}

// The first frame in which `sequence` had reached `value` when it completed
// (frame 2723 never completes: it runs the slideshow).
int firstFrameWithSequence(unsigned value)
{
    const Course &c = course();
    for (size_t f = 1; f < c.snaps.size(); ++f)
        if (c.snaps[f].sequence >= value)
            return (int)f;
    return c.atExit.sequence >= value ? (int)c.snaps.size() : -1;
}

std::string sourcePath(const std::string &rel)
{
    return std::string(DEMO_SOURCE_DIR) + "/" + rel;
}

}  // namespace

TEST(Course, EntersEachStateInItsFrame)
{
    ASSERT_TRUE(course().exited);
    EXPECT_EQ(firstFrameWithSequence(1), 2152);
    EXPECT_EQ(firstFrameWithSequence(2), 2352);
    EXPECT_EQ(firstFrameWithSequence(3), 2503);
    EXPECT_EQ(firstFrameWithSequence(4), 2723);
    EXPECT_EQ(course().snaps[2722].sequence, 3);
    EXPECT_EQ(course().atExit.sequence, 4);
}

TEST(Course, CameraSwingAndGridSpacing)
{
    const std::vector<Snap> &s = course().snaps;
    struct Row {
        int frame;
        double speed;
        int direction;
        double space;
    } rows[] = {
        {1, 0.00005, 1, 1.004},
        {600, 0.0300002, 1, 3.3999691},
        {601, 0.0299502, -1, 3.3999691},
        {1800, -0.0300002, -1, -1.3959975},
        {1801, 0.0300502, 1, -1.3959975},
        {1802, 0.0300002, -1, -1.3959975},
        {1803, -0.0299502, 1, -1.3959975},
    };
    for (const Row &r : rows) {
        SCOPED_TRACE("frame " + std::to_string(r.frame));
        EXPECT_NEAR(s[r.frame].speed, r.speed, 6e-8);
        EXPECT_EQ(s[r.frame].direction, r.direction);
        EXPECT_NEAR(s[r.frame].space, r.space, 6e-8);
    }
    // The first frame steps from the initial values exactly.
    EXPECT_EQ(s[1].speed, 0.00005f);
    EXPECT_EQ(s[1].space, 1.004f);
    // The spacing holds while the speed is outside the band.
    EXPECT_EQ(s[601].space, s[600].space);
    // The grid collapses first in frame 1451, then in 2152; the spacing then
    // stays frozen while the sphere shrinks.
    EXPECT_EQ(s[1450].secondary[2], 0u);
    EXPECT_EQ(s[1451].secondary[2], 1u);
    EXPECT_EQ(s[2151].secondary[2], 1u);
    EXPECT_EQ(s[2152].secondary[2], 2u);
    EXPECT_LT(std::fabs(s[1451].space), 0.0001f);
    EXPECT_LT(std::fabs(s[2152].space), 0.0001f);
    EXPECT_EQ(s[2352].space, s[2152].space);
    EXPECT_EQ(s[2352].secondary[2], 2u);
}

TEST(Course, CameraMovesTwicePerFrameDuringTheField)
{
    const std::vector<Snap> &s = course().snaps;
    // Frame 1: the speed becomes 0.00005 and moveCam runs twice.
    EXPECT_FLOAT_EQ(s[1].degree, 0.0001f);
    EXPECT_FLOAT_EQ(s[1].look[0], (float)(std::sin(0.0001f * 3.14159265) * 5.0));
    EXPECT_FLOAT_EQ(s[1].look[2], (float)(std::cos(0.0001f * 3.14159265) * 5.0));
    EXPECT_EQ(s[1].look[1], 1.0f);
    for (int f : {300, 1000, 2000, 2300}) {
        SCOPED_TRACE("frame " + std::to_string(f));
        EXPECT_NEAR(s[f].degree - s[f - 1].degree, 2.0 * s[f].speed, 1e-5);
    }
    // In the blast's flight the camera stands still at radius 8; in the hold
    // it orbits once per frame.
    EXPECT_EQ(s[2400].degree, s[2399].degree);
    EXPECT_EQ(s[2400].radius, 8.0f);
    EXPECT_NEAR(std::hypot(s[2400].look[0], s[2400].look[2]), 8.0, 1e-5);
    EXPECT_NEAR(s[2480].degree - s[2479].degree, 0.005, 1e-6);
    // During the reassembly the orbit stops.
    EXPECT_EQ(s[2600].degree, s[2599].degree);
}

TEST(Course, SpinnersTurnAsTheGridDrawsThem)
{
    const std::vector<Snap> &s = course().snaps;
    for (int k = 0; k < 25; ++k) {
        SCOPED_TRACE("spinner " + std::to_string(k));
        float expected = (k == 4 || k == 8 || k == 12 || k == 16) ? 3.0f : k > 20 ? 0.0f : 1.5f;
        EXPECT_EQ(s[1].rotation[k], expected);
        EXPECT_EQ(s[2].rotation[k], 2 * expected);
    }
    // Only spinner 0 keeps turning while it shrinks.
    EXPECT_EQ(s[2300].rotation[0] - s[2299].rotation[0], 1.5f);
    EXPECT_EQ(s[2300].rotation[1], s[2299].rotation[1]);
}

TEST(Course, CentreSphereShrinksToNothing)
{
    const std::vector<Snap> &s = course().snaps;
    EXPECT_EQ(s[2152].size0, 1.0f);
    EXPECT_FLOAT_EQ(s[2153].size0, 0.995f);
    EXPECT_GT(s[2351].size0, 0.001f);
    EXPECT_LE(s[2352].size0, 0.001f);
    // The blast draws nothing in the frame that handed over to it.
    EXPECT_EQ(s[2352].secondary[0], 0u);
    EXPECT_EQ(s[2353].secondary[0], 1u);
}

TEST(Course, BlastSpreadFollowsItsPhases)
{
    const std::vector<Snap> &s = course().snaps;
    // The spread drawn in blast frame k is what frame k - 1 left.
    auto drawn = [&](int k) { return s[2352 + k - 1].secondary[1]; };
    EXPECT_EQ(drawn(1), 0u);
    EXPECT_EQ(drawn(100), 99u);
    EXPECT_EQ(drawn(101), 100u);
    EXPECT_EQ(drawn(150), 100u);
    EXPECT_EQ(drawn(271), 100u);
    EXPECT_EQ(drawn(272), 99u);
    EXPECT_EQ(drawn(370), 1u);
    EXPECT_EQ(course().atExit.secondary[1], 0u);
    EXPECT_EQ(s[2502].sequence, 2);
    EXPECT_EQ(s[2503].sequence, 3);
    EXPECT_EQ(s[2503].speed, 0.0f);
}

TEST(Course, WallAndCameraArriveBeforeTheLastFrame)
{
    const Course &c = course();
    const float front[9] = {0, 0, 5, 0, 0, -5, 0, 1, 0};
    for (int i = 0; i < 9; ++i)
        EXPECT_EQ(c.snaps[2722].look[i], front[i]) << "look value " << i;
    for (int e = 0; e < 301; ++e)
        for (int v = 0; v < 3; ++v)
            for (int k = 0; k < 3; ++k)
                ASSERT_EQ(c.wallAfterLastGlide[e].coords[v][k], c.wallAfterLastGlide[e].origCoords[v][k])
                    << "element " << e << " vertex " << v;
    // In the last frame moveCam puts the eye back on the orbit of radius 8.
    EXPECT_NEAR(std::hypot(c.atExit.look[0], c.atExit.look[2]), 8.0, 1e-5);
}

TEST(Course, WallHomes)
{
    auto expectVertex = [](int e, int v, float x, float y) {
        EXPECT_FLOAT_EQ(blastElements[e].origCoords[v][0], x) << "element " << e << " vertex " << v;
        EXPECT_FLOAT_EQ(blastElements[e].origCoords[v][1], y) << "element " << e << " vertex " << v;
        EXPECT_EQ(blastElements[e].origCoords[v][2], 0.0f);
    };
    course();
    expectVertex(1, 0, -5, -4);
    expectVertex(1, 1, -4.6013288f, -0.66666675f);
    expectVertex(1, 2, -5, -0.66666675f);
    expectVertex(2, 0, -5, -4);
    expectVertex(2, 1, -4.6013288f, -4);
    expectVertex(2, 2, -4.6013288f, -0.66666675f);
    expectVertex(300, 2, 14.933555f, 6);
    for (int v = 0; v < 3; ++v)
        expectVertex(0, v, 0, 0);
}

TEST(Course, RandomSourceIsTheFixedGenerator)
{
    course();
    unsigned saved = randomSeed;
    randomSeed = 1;
    std::vector<unsigned> first(5);
    for (unsigned &r : first)
        r = nextRandom();
    randomSeed = saved;
    EXPECT_EQ(first, (std::vector<unsigned>{346, 130, 10982, 1090, 11656}));
}

TEST(Course, ReferenceFrames)
{
    const Course &c = course();
    bool update = getenv("DEMO_UPDATE_REFERENCES") != nullptr;
    for (int f : shotFrames) {
        SCOPED_TRACE("frame " + std::to_string(f));
        ASSERT_EQ(c.shots.count(f), 1u);
        char name[64];
        snprintf(name, sizeof name, "tests/reference/frame%04d.png", f);
        std::string path = sourcePath(name);
        if (update) {
            ASSERT_TRUE(writePng(path, W, H, 3, c.shots.at(f), true));
            continue;
        }
        int w = 0, h = 0;
        std::vector<unsigned char> ref;
        ASSERT_TRUE(readPng(path, &w, &h, 3, &ref, true)) << path;
        ASSERT_EQ(w, W);
        ASSERT_EQ(h, H);
        ImageDiff d = compareImages(c.shots.at(f), ref, 8);
        EXPECT_LT(d.shareOver, 0.005) << "largest difference " << d.maxDelta;
    }
}

TEST(Slideshow, ShowsEachPictureForItsSeconds)
{
    const Course &c = course();
    ASSERT_EQ(c.showings.size(), 5u);
    const char *names[] = {"litelogo", "sidelit", "spider", "zorsmall", "litelogo"};
    const unsigned seconds[] = {5, 5, 5, 10, 5};
    for (int i = 0; i < 5; ++i) {
        SCOPED_TRACE(std::string("showing ") + std::to_string(i + 1) + " " + names[i]);
        EXPECT_EQ(c.showings[i].seconds, seconds[i]);
        int pw = 0, ph = 0;
        std::vector<unsigned char> picture;
        ASSERT_TRUE(readPng(sourcePath(std::string("assets/") + names[i] + ".png"), &pw, &ph, 3, &picture, true));
        const std::vector<unsigned char> &screen = c.showings[i].screen;
        // One window pixel per picture pixel, from the lower-left corner; the
        // window's rows start at the bottom, as the picture's do.
        size_t wrong = 0, notBlack = 0;
        for (int y = 0; y < H; ++y) {
            for (int x = 0; x < W; ++x) {
                const unsigned char *p = &screen[((size_t)y * W + x) * 3];
                if (x < pw && y < ph) {
                    const unsigned char *q = &picture[((size_t)y * pw + x) * 3];
                    wrong += p[0] != q[0] || p[1] != q[1] || p[2] != q[2];
                } else {
                    notBlack += p[0] || p[1] || p[2];
                }
            }
        }
        EXPECT_EQ(wrong, 0u);
        if (i > 0) {                            // the first lands on the blast's last frame
            EXPECT_EQ(notBlack, 0u);
        }
    }
}

TEST(Slideshow, EndsTheShowWithTheStatistics)
{
    const Course &c = course();
    ASSERT_TRUE(c.exited);
    EXPECT_EQ(c.exitStatus, 0);
    EXPECT_EQ(c.atExit.frames, 2722u);
    // 2723 frames of 10 ms plus 30 seconds of pictures.
    EXPECT_EQ(c.stdoutText,
              "*********************\n"
              "Frames 2722\n"
              "Time   57.23\n"
              "Fps    47.5625\n"
              "*********************\n");
}
