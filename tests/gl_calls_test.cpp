// gl_calls_test.cpp -- the exact graphics calls of start-up, reshape and
// every frame of the course, recorded while the show draws in a real window.
//
// Every frame is held call by call, value by value, against the course as
// tests/course_reference.cpp works it out from the show's rules alone; that
// reference is in turn held to the figures the rules print.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include <GL/freeglut.h>

#ifndef _WIN32
#include "child_process.h"
#endif
#include "course_reference.h"
#include "demo.h"
#include "gl_trace.h"
#include "show_harness.h"

namespace {

typedef std::vector<std::string> Calls;

const int W = 160, H = 120;

struct Recording {
    Calls init;
    Calls firstFrame, lastFrame, lastExpected;
    int framesDrawn = 0;                    // frames display() was called for
    int referenceFrames = 0;                // frames the reference took to reach the pictures
    std::string firstDifference;            // "frame F, call I: ..." or empty
    std::set<std::string> namesSeen;
    std::vector<int> framesWithoutOneSwap;
    std::vector<size_t> callsAtSleep;       // trace length when each sleep began
    std::vector<unsigned> sleeps;
    Calls keys;                             // everything the key handlers called
    std::vector<ushort> sequenceAfter;      // [f]: the show's scene after frame f
    bool exited = false;
};

// Where two frames' calls first part, or empty when they are equal.
std::string difference(int frame, const Calls &actual, const Calls &expected)
{
    for (size_t i = 0; i < std::max(actual.size(), expected.size()); ++i) {
        const char *none = "(no call)";
        std::string a = i < actual.size() ? actual[i] : none, e = i < expected.size() ? expected[i] : none;
        if (a != e)
            return "frame " + std::to_string(frame) + ", call " + std::to_string(i) + ": the show made " + a +
                   ", the course calls for " + e;
    }
    return "";
}

Recording record()
{
    Recording r;
    openShowWindow(W, H);
    installFakePlatform();
    fakePlatform.onSleep = [&r](unsigned s) {
        r.callsAtSleep.push_back(glTrace.size());
        r.sleeps.push_back(s);
    };
    glTracing = true;
    glTrace.clear();
    init();
    r.init = glTrace;
    reshape(W, H);

    ReferenceCourse course;
    r.sequenceAfter.push_back(0);
    testing::internal::CaptureStdout();
    for (int f = 1; f <= 3000 && !r.exited; ++f) {
        if (f == 500) {
            // Every key but Esc, and every special key, in the middle of the field.
            glTrace.clear();
            for (int k = 0; k < 256; ++k)
                if (k != 27)
                    keyboard((unsigned char)k, 10, 10);
            for (int k = 0; k < 512; ++k)
                arrow_keys(k, 10, 10);
            r.keys = glTrace;
        }
        Calls expected;
        if (course.scene < 4) {
            expected = course.frame();
            if (course.scene == 4)
                r.referenceFrames = f;
        }
        glTrace.clear();
        try {
            display();
        } catch (const ShowExit &) {
            r.exited = true;
        }
        r.framesDrawn = f;
        int swaps = 0;
        for (const std::string &c : glTrace) {
            r.namesSeen.insert(c.substr(0, c.find('(')));
            swaps += c == "glutSwapBuffers()";
        }
        if (!r.exited && swaps != 1)
            r.framesWithoutOneSwap.push_back(f);
        r.sequenceAfter.push_back(sequence);
        if (r.firstDifference.empty())
            r.firstDifference = difference(f, glTrace, expected);
        if (f == 1)
            r.firstFrame = glTrace;
        r.lastFrame = glTrace;
        r.lastExpected = expected;
    }
    testing::internal::GetCapturedStdout();
    glTracing = false;
    return r;
}

const Recording &recording()
{
    static Recording r = record();
    return r;
}

void expectCalls(const Calls &actual, const Calls &expected)
{
    ASSERT_EQ(actual.size(), expected.size());
    for (size_t i = 0; i < expected.size(); ++i)
        ASSERT_EQ(actual[i], expected[i]) << "call " << i;
}

std::string digits(double v, int n)
{
    char buf[40];
    snprintf(buf, sizeof buf, "%.*g", n, v);
    return buf;
}

}  // namespace

TEST(GlCalls, StartUpSetsTheRenderingStateOnce)
{
    expectCalls(recording().init, {
        "glClearColor(0, 0, 0, 0)", "glClearDepth(1)", "glDepthFunc(GL_LESS)", "glEnable(GL_DEPTH_TEST)",
        "glShadeModel(GL_SMOOTH)",
        "glMatrixMode(GL_PROJECTION)", "glLoadIdentity()", "glMatrixMode(GL_MODELVIEW)",
        "glLightfv(GL_LIGHT0, GL_DIFFUSE, {0.200000003, 0.200000003, 0.200000003, 1})",
        "glLightfv(GL_LIGHT0, GL_SPOT_DIRECTION, {0, 0, -1})",
        "glLightfv(GL_LIGHT1, GL_DIFFUSE, {1, 1, 1, 1})",
        "glLightfv(GL_LIGHT1, GL_SPECULAR, {1, 1, 1, 1})",
        "glLightf(GL_LIGHT1, GL_SPOT_CUTOFF, 50)",
        "glLightf(GL_LIGHT1, GL_SPOT_EXPONENT, 50)",
        "glLightfv(GL_LIGHT1, GL_SPOT_DIRECTION, {0, -1, 0})",
        "glEnable(GL_LIGHT0)", "glEnable(GL_LIGHT1)", "glEnable(GL_LIGHTING)", "glEnable(GL_COLOR_MATERIAL)",
        "glDepthFunc(GL_LESS)", "glEnable(GL_DEPTH_TEST)",
        "glBlendFunc(GL_SRC_ALPHA, GL_ONE)",
    });
}

TEST(GlCalls, EveryFrameSwapsOnceAndUsesOnlyTheShowsCalls)
{
    const Recording &r = recording();
    ASSERT_TRUE(r.exited);
    EXPECT_TRUE(r.framesWithoutOneSwap.empty()) << "first such frame " << r.framesWithoutOneSwap.front();
    const std::set<std::string> allowed = {
        "glClear", "gluQuadricDrawStyle", "gluQuadricNormals", "glMatrixMode", "glLoadIdentity", "gluLookAt",
        "glutWireSphere", "glLightfv", "glColor4f", "glPushMatrix", "glTranslatef", "glRotatef",
        "gluQuadricTexture", "gluSphere", "glPopMatrix", "glDisable", "glBegin", "glColor3f", "glTexCoord2f",
        "glVertex3f", "glEnd", "glutSwapBuffers", "glPixelStorei", "glDrawPixels"};
    for (const std::string &name : r.namesSeen)
        EXPECT_TRUE(allowed.count(name)) << name << " is not a call of the show's frames";
}

// All 2722 frames and the pictures' frame, bit for bit.
TEST(GlCalls, EveryFrameIsTheCourseToTheLastBit)
{
    const Recording &r = recording();
    EXPECT_EQ(r.firstDifference, "");
    EXPECT_EQ(r.referenceFrames, 2723);
    EXPECT_EQ(r.framesDrawn, 2723);
    // The very first frame looks from (0, 1, 0) at (0, 1, 0).
    ASSERT_GT(r.firstFrame.size(), 5u);
    EXPECT_EQ(r.firstFrame[5], "gluLookAt(0, 1, 0, 0, 1, 0, 0, 1, 0)");
}

TEST(GlCalls, LastFrameSwapsTheWallThenShowsThePictures)
{
    const Recording &r = recording();
    // The blast's own swap of the finished wall comes before the pictures;
    // each picture is held right after its swap, for its seconds.
    std::vector<size_t> swapsAt;
    for (size_t i = 0; i < r.lastExpected.size(); ++i)
        if (r.lastExpected[i] == "glutSwapBuffers()")
            swapsAt.push_back(i + 1);
    ASSERT_EQ(swapsAt.size(), 6u);
    swapsAt.erase(swapsAt.begin());
    EXPECT_EQ(r.callsAtSleep, swapsAt);
    EXPECT_EQ(r.sleeps, (std::vector<unsigned>{5, 5, 5, 10, 5}));
}

TEST(GlCalls, KeysOtherThanEscDoNothing)
{
    const Recording &r = recording();
    EXPECT_TRUE(r.keys.empty()) << r.keys.front();
    // The course after the key presses keeps its timetable.
    ASSERT_GE(r.sequenceAfter.size(), 2723u);
    EXPECT_EQ(r.sequenceAfter.at(2151), 0);
    EXPECT_EQ(r.sequenceAfter.at(2152), 1);
    EXPECT_EQ(r.sequenceAfter.at(2351), 1);
    EXPECT_EQ(r.sequenceAfter.at(2352), 2);
    EXPECT_EQ(r.sequenceAfter.at(2502), 2);
    EXPECT_EQ(r.sequenceAfter.at(2503), 3);
    EXPECT_EQ(r.sequenceAfter.at(2722), 3);
    EXPECT_TRUE(r.exited);
}

TEST(GlCalls, ReshapeSetsViewportAndPerspective)
{
    recording();
    glTracing = true;
    glTrace.clear();
    reshape(800, 0);                            // no height: the ratio is the width
    reshape(1280, 720);
    glTracing = false;
    expectCalls(glTrace, {
        "glViewport(0, 0, 800, 0)", "glMatrixMode(GL_PROJECTION)", "glLoadIdentity()",
        "gluPerspective(80, 800, 1, 5000)", "glMatrixMode(GL_MODELVIEW)", "glLoadIdentity()",
        "glViewport(0, 0, 1280, 720)", "glMatrixMode(GL_PROJECTION)", "glLoadIdentity()",
        "gluPerspective(80, 1.7777777777777777, 1, 5000)", "glMatrixMode(GL_MODELVIEW)", "glLoadIdentity()",
    });
}

#ifndef _WIN32
// The trace can only vouch for calls it knows: every graphics entry point the
// show's library refers to must be one of the traced ones. (The Windows
// build's library is a COFF archive, which this reading of nm does not cover.)
TEST(GlCalls, TheLibraryCallsNoOtherGraphicsFunction)
{
    Finished nm = runToEnd({"nm", {"-u", "--format=posix", DEMO_CORE_LIBRARY}});
    ASSERT_EQ(exitCode(nm.status), 0) << nm.err;
    std::set<std::string> used;
    std::istringstream lines(nm.out);
    std::string line;
    while (std::getline(lines, line)) {
        std::string name = line.substr(0, line.find(' '));
        if (name.rfind("gl", 0) == 0)
            used.insert(name);
    }
    const std::set<std::string> expected = {
        "glBegin", "glBlendFunc", "glClear", "glClearColor", "glClearDepth", "glColor3f", "glColor4f",
        "glDepthFunc", "glDisable", "glDrawPixels", "glEnable", "glEnd", "glLightf", "glLightfv",
        "glLoadIdentity", "glMatrixMode", "glPixelStorei", "glPopMatrix", "glPushMatrix", "glRotatef",
        "glShadeModel", "glTexCoord2f", "glTranslatef", "glVertex3f", "glViewport", "gluLookAt",
        "gluNewQuadric", "gluPerspective", "gluQuadricDrawStyle", "gluQuadricNormals", "gluQuadricTexture",
        "gluSphere", "glutCreateWindow", "glutDisplayFunc", "glutFullScreen", "glutIdleFunc", "glutInit",
        "glutInitDisplayMode", "glutInitWindowSize",
        "glutInitWindowPosition",   // the window the tests and the recorder open, at the screen's corner
        "glutKeyboardFunc", "glutMainLoop", "glutReshapeFunc",
        "glutSpecialFunc", "glutSwapBuffers", "glutWireSphere"};
    EXPECT_EQ(used, expected);
}
#endif

// The reference against the figures the rules print, so that it and the
// show cannot share a mistake unseen.
TEST(Reference, FollowsThePrintedTimetable)
{
    // After each frame: orbit speed, swing direction and grid spacing as the
    // timetable prints them, the spacing itself, the scene and zero passes.
    ReferenceCourse c;
    std::vector<std::string> at(2724);
    std::vector<float> spacing(2724);
    std::vector<unsigned> scene(2724), passes(2724);
    for (int f = 1; f <= 2723; ++f) {
        c.frame();
        at[f] = digits(c.turn, 6) + " " + std::to_string(c.swing) + " " + digits(c.spacing, 8);
        spacing[f] = c.spacing;
        scene[f] = c.scene;
        passes[f] = c.zeroPasses;
    }
    EXPECT_EQ(digits(spacing[1], 6), "1.004");
    EXPECT_EQ(at[1].substr(0, 8), "5e-05 1 ");
    EXPECT_EQ(at[600], "0.0300002 1 3.3999691");        // the 600th step: the first speed above 0.03
    EXPECT_EQ(at[601], "0.0299502 -1 3.3999691");       // the top turn
    EXPECT_EQ(at[1800], "-0.0300002 -1 -1.3959975");
    EXPECT_EQ(at[1801], "0.0300502 1 -1.3959975");      // the bottom burst
    EXPECT_EQ(at[1802], "0.0300002 -1 -1.3959975");
    EXPECT_EQ(at[1803], "-0.0299502 1 -1.3959975");
    EXPECT_EQ(passes[1450], 0u);
    EXPECT_EQ(passes[1451], 1u);
    EXPECT_GE(std::fabs(spacing[2151]), 0.0001f);
    EXPECT_LT(std::fabs(spacing[2152]), 0.0001f);
    const unsigned changes[] = {2152, 2352, 2503, 2723};
    for (unsigned s = 0; s < 4; ++s) {
        EXPECT_EQ(scene[changes[s] - 1], s) << "scene " << s + 1;
        EXPECT_EQ(scene[changes[s]], s + 1) << "scene " << s + 1;
    }
    EXPECT_EQ(spacing[2352], spacing[2152]);            // frozen while the sphere shrinks
}

TEST(Reference, BuildsTheWallAndTheClusterAsPrinted)
{
    ReferenceCourse c;
    EXPECT_EQ(digits(c.cellWidth, 8) + " " + digits(c.cellHeight, 8), "0.39867109 3.3333333");
    auto home = [&](int e) {
        std::string s;
        for (auto &v : c.triangles[e].home)
            s += "(" + digits(v[0], 8) + ", " + digits(v[1], 8) + ", " + digits(v[2], 8) + ")";
        return s;
    };
    EXPECT_EQ(home(0), "(0, 0, 0)(0, 0, 0)(0, 0, 0)");
    EXPECT_EQ(home(1), "(-5, -4, 0)(-4.6013288, -0.66666675, 0)(-5, -0.66666675, 0)");
    EXPECT_EQ(home(2), "(-5, -4, 0)(-4.6013288, -4, 0)(-4.6013288, -0.66666675, 0)");
    EXPECT_EQ(digits(c.triangles[300].home[2][0], 8) + " " + digits(c.triangles[300].home[2][1], 8), "14.933555 6");
    // 5418 draws in start-up; a fresh source starts 346, 130, 10982, 1090, 11656.
    c.seed = 1;
    std::vector<unsigned> first;
    for (int i = 0; i < 5; ++i)
        first.push_back(c.random());
    EXPECT_EQ(first, (std::vector<unsigned>{346, 130, 10982, 1090, 11656}));
    EXPECT_EQ(digits(c.triangles[0].heading[0], 8), digits((float)((float)(346 * 0.00001) - 130 * 0.00001), 8));
}

TEST(Reference, ReassemblesOverTheBlastsFrames)
{
    ReferenceCourse c;
    while (c.scene < 2)
        c.frame();
    std::vector<unsigned> spread(372);
    std::vector<float> glided;
    for (int b = 1; b <= 371; ++b) {
        spread[b] = c.spread;                       // the spread this blast frame draws
        c.frame();
        if (b == 370)
            glided.assign(c.eye, c.eye + 9);
    }
    EXPECT_EQ(spread[1], 0u);
    EXPECT_EQ(spread[100], 99u);
    EXPECT_EQ(spread[271], 100u);
    EXPECT_EQ(spread[272], 99u);
    EXPECT_EQ(spread[370], 1u);
    EXPECT_EQ(spread[371], 0u);
    // The last step divides by 1: the camera is exactly at the frontal view.
    EXPECT_EQ(glided, (std::vector<float>{0, 0, 5, 0, 0, -5, 0, 1, 0}));
}
