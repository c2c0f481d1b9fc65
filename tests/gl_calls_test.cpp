// gl_calls_test.cpp -- the exact graphics calls of start-up, reshape and the
// frames of every scene, recorded while the show draws in a real window.
//
// The expected lists are written out from the show's rules: which calls a
// frame makes, in which order and with which values. The values that the
// show computes (camera, spacing, angles, vertices) are read from its state
// before the frame, so the lists check the calls, and the course tests check
// the numbers.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <map>
#include <set>
#include <string>
#include <vector>

#include <GL/freeglut.h>

#include "demo.h"
#include "gl_trace.h"
#include "show_harness.h"

namespace {

typedef std::vector<std::string> Calls;

const int W = 160, H = 120;
const std::set<int> keptFrames = {1, 2, 1000, 1800, 2152, 2153, 2352, 2353, 2400, 2503, 2723};

std::string n(double v)
{
    return glTraceNumber(v);
}

std::string call(const std::string &name, std::initializer_list<double> args)
{
    std::string s = name + "(";
    bool first = true;
    for (double a : args) {
        s += (first ? "" : ", ") + n(a);
        first = false;
    }
    return s + ")";
}

struct Before {             // the show's state when a frame starts
    float look[9];
    float space;
    ushort sequence;
    float rotation[25];
    float size0;
    unsigned spread;
    BlastElement elements[301];
};

struct Recording {
    Calls init;
    std::map<int, Calls> frames;
    std::map<int, Before> before;
    std::set<std::string> namesSeen;
    std::vector<int> framesWithoutOneSwap;
    std::vector<size_t> callsAtSleep;       // trace length when each sleep began
    std::vector<unsigned> sleeps;
    Calls keys;                             // everything the key handlers called
    std::map<int, ushort> sequenceAfter;
    bool exited = false;
};

Before captureBefore()
{
    Before b;
    for (int i = 0; i < 9; ++i)
        b.look[i] = myGluLookAt[i];
    b.space = spinnerSpace;
    b.sequence = sequence;
    for (int i = 0; i < 25; ++i)
        b.rotation[i] = mySpinner[i].myRotation;
    b.size0 = mySpinner[0].mySize;
    b.spread = secondarySequence[1];
    for (int e = 0; e < 301; ++e)
        b.elements[e] = blastElements[e];
    return b;
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

    testing::internal::CaptureStdout();
    for (int f = 1; f <= 3000; ++f) {
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
        bool keep = keptFrames.count(f) != 0;
        if (keep)
            r.before[f] = captureBefore();
        glTrace.clear();
        try {
            display();
        } catch (const ShowExit &) {
            r.exited = true;
        }
        int swaps = 0;
        for (const std::string &c : glTrace) {
            r.namesSeen.insert(c.substr(0, c.find('(')));
            swaps += c == "glutSwapBuffers()";
        }
        if (!r.exited && swaps != 1)
            r.framesWithoutOneSwap.push_back(f);
        r.sequenceAfter[f] = sequence;
        if (keep)
            r.frames[f] = glTrace;
        if (r.exited)
            break;
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

Calls frameOpening(const float look[9])
{
    return {"glClear(COLOR|DEPTH)", "gluQuadricDrawStyle(GLU_FILL)", "gluQuadricNormals(GLU_SMOOTH)",
            "glMatrixMode(GL_MODELVIEW)", "glLoadIdentity()",
            call("gluLookAt", {look[0], look[1], look[2], look[3], look[4], look[5], look[6], look[7], look[8]})};
}

const Calls lights = {"glLightfv(GL_LIGHT1, GL_POSITION, {0, 2, 0, 1})",
                      "glLightfv(GL_LIGHT0, GL_POSITION, {0, 0, 2, 1})"};

void append(Calls &to, const Calls &more)
{
    to.insert(to.end(), more.begin(), more.end());
}

Calls spinnerCalls(float x, float z, float rotation, float size)
{
    return {"glPushMatrix()",
            call("glTranslatef", {x, 0, z}),
            "glRotatef(90, 1, 0, 0)",
            call("glRotatef", {rotation, 0, 0.2f, 1}),
            call("glRotatef", {rotation, 0, 0, 1}),
            "gluQuadricTexture(1)",
            call("gluSphere", {size * 0.5, 20, 20}),
            "glPopMatrix()"};
}

// The grid: rows i, columns j from -2 to 2; the spinner index steps by 4 per
// row, so four spinners are drawn twice and turn twice.
Calls gridCalls(const Before &b)
{
    static const float rowColours[5][3] = {
        {1.0f, 0.5f, 0.5f}, {0.5f, 1.0f, 0.5f}, {0.5f, 0.5f, 1.0f}, {1.0f, 0.5f, 0.5f}, {0.5f, 1.0f, 0.5f}};
    float rotation[25];
    for (int k = 0; k < 25; ++k)
        rotation[k] = b.rotation[k];
    Calls calls;
    for (int i = -2; i <= 2; ++i) {
        for (int j = -2; j <= 2; ++j) {
            const float *c = rowColours[i + 2];
            calls.push_back(call("glColor4f", {c[0], c[1], c[2], 0.8f}));
            int k = (i + 2) * 4 + (j + 2);
            rotation[k] += 1.5f;
            append(calls, spinnerCalls(i * b.space, j * b.space, rotation[k], 1.0f));
        }
    }
    return calls;
}

Calls triangleCalls(const Before &b)
{
    Calls calls = {"glDisable(GL_BLEND)"};
    for (int e = 0; e < 301; ++e) {
        const BlastElement &t = b.elements[e];
        float d[3];
        for (int k = 0; k < 3; ++k)
            d[k] = (float)(b.spread * (double)t.speed[k]);
        calls.push_back(call("glTranslatef", {d[0], d[1], d[2]}));
        calls.push_back("glBegin(GL_TRIANGLES)");
        calls.push_back("glColor3f(1, 1, 1)");
        calls.push_back("glTexCoord2f(1, 1)");
        calls.push_back(call("glVertex3f", {t.coords[2][0], t.coords[2][1], t.coords[2][2]}));
        calls.push_back("glTexCoord2f(1, 0)");
        calls.push_back(call("glVertex3f", {t.coords[1][0], t.coords[1][1], t.coords[1][2]}));
        calls.push_back("glTexCoord2f(0, 0)");
        calls.push_back(call("glVertex3f", {t.coords[0][0], t.coords[0][1], t.coords[0][2]}));
        calls.push_back("glEnd()");
        calls.push_back(call("glTranslatef", {-d[0], -d[1], -d[2]}));
    }
    return calls;
}

void expectCalls(const Calls &actual, const Calls &expected)
{
    ASSERT_EQ(actual.size(), expected.size());
    for (size_t i = 0; i < expected.size(); ++i)
        ASSERT_EQ(actual[i], expected[i]) << "call " << i;
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

TEST(GlCalls, FieldFrames)
{
    const Recording &r = recording();
    for (int f : {1, 2, 1000, 1800, 2152}) {
        SCOPED_TRACE("frame " + std::to_string(f));
        const Before &b = r.before.at(f);
        Calls expected = frameOpening(b.look);
        expected.push_back("glutWireSphere(10, 30, 30)");
        append(expected, lights);
        append(expected, gridCalls(b));
        expected.push_back("glutSwapBuffers()");
        expectCalls(r.frames.at(f), expected);
    }
    // The very first frame looks from (0, 1, 0) at (0, 1, 0).
    EXPECT_EQ(r.frames.at(1)[5], "gluLookAt(0, 1, 0, 0, 1, 0, 0, 1, 0)");
}

TEST(GlCalls, ShrinkingSphereFrames)
{
    const Recording &r = recording();
    // 2153 is the first frame of the single sphere; 2352 its last, which
    // hands over to the blast but still draws no triangle.
    for (int f : {2153, 2352}) {
        SCOPED_TRACE("frame " + std::to_string(f));
        const Before &b = r.before.at(f);
        float size = (float)(b.size0 - 0.005);
        Calls expected = frameOpening(b.look);
        expected.push_back("glutWireSphere(10, 30, 30)");
        append(expected, lights);
        append(expected, spinnerCalls(0, 0, b.rotation[0] + 1.5f, size));
        expected.push_back("glutSwapBuffers()");
        expectCalls(r.frames.at(f), expected);
    }
    EXPECT_EQ(r.sequenceAfter.at(2352), 2);
}

TEST(GlCalls, BlastFrames)
{
    const Recording &r = recording();
    for (int f : {2353, 2400, 2503}) {
        SCOPED_TRACE("frame " + std::to_string(f));
        const Before &b = r.before.at(f);
        Calls expected = frameOpening(b.look);
        expected.push_back("glutWireSphere(10, 30, 30)");
        append(expected, triangleCalls(b));
        expected.push_back("glutSwapBuffers()");
        expectCalls(r.frames.at(f), expected);
    }
    EXPECT_EQ(r.before.at(2353).spread, 0u);
    EXPECT_EQ(r.before.at(2400).spread, 47u);
    EXPECT_EQ(r.before.at(2503).spread, 100u);
}

TEST(GlCalls, LastFrameSwapsTheWallThenShowsThePictures)
{
    const Recording &r = recording();
    const Before &b = r.before.at(2723);
    Calls expected = frameOpening(b.look);
    expected.push_back("glutWireSphere(10, 30, 30)");
    append(expected, triangleCalls(b));
    expected.push_back("glutSwapBuffers()");           // the blast's own swap of the finished wall
    const int sizes[5][2] = {{640, 301}, {402, 480}, {640, 480}, {640, 241}, {640, 301}};
    std::vector<size_t> sleepAt;
    for (int i = 0; i < 5; ++i) {
        if (i > 0)
            expected.push_back("glClear(COLOR|DEPTH)");
        expected.push_back("glPixelStorei(GL_UNPACK_ALIGNMENT, 1)");
        expected.push_back("glDrawPixels(" + n(sizes[i][0]) + ", " + n(sizes[i][1]) + ", GL_RGBA, GL_UNSIGNED_BYTE)");
        expected.push_back("glutSwapBuffers()");
        sleepAt.push_back(expected.size());
    }
    expectCalls(r.frames.at(2723), expected);
    // Each picture is held right after its swap, for its seconds.
    EXPECT_EQ(r.callsAtSleep, sleepAt);
    EXPECT_EQ(r.sleeps, (std::vector<unsigned>{5, 5, 5, 10, 5}));
}

TEST(GlCalls, KeysOtherThanEscDoNothing)
{
    const Recording &r = recording();
    EXPECT_TRUE(r.keys.empty()) << r.keys.front();
    // The course after the key presses keeps its timetable.
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
        "gluPerspective(80, 1.77777778, 1, 5000)", "glMatrixMode(GL_MODELVIEW)", "glLoadIdentity()",
    });
}

// The trace can only vouch for calls it knows: every graphics entry point the
// show's library refers to must be one of the traced ones.
TEST(GlCalls, TheLibraryCallsNoOtherGraphicsFunction)
{
    std::string cmd = std::string("nm -u --format=posix ") + DEMO_CORE_LIBRARY;
    FILE *p = popen(cmd.c_str(), "r");
    ASSERT_NE(p, nullptr);
    std::set<std::string> used;
    char line[512];
    while (fgets(line, sizeof line, p)) {
        std::string name(line, strcspn(line, " \n"));
        if (name.rfind("gl", 0) == 0)
            used.insert(name);
    }
    pclose(p);
    const std::set<std::string> expected = {
        "glBegin", "glBlendFunc", "glClear", "glClearColor", "glClearDepth", "glColor3f", "glColor4f",
        "glDepthFunc", "glDisable", "glDrawPixels", "glEnable", "glEnd", "glLightf", "glLightfv",
        "glLoadIdentity", "glMatrixMode", "glPixelStorei", "glPopMatrix", "glPushMatrix", "glRotatef",
        "glShadeModel", "glTexCoord2f", "glTranslatef", "glVertex3f", "glViewport", "gluLookAt",
        "gluNewQuadric", "gluPerspective", "gluQuadricDrawStyle", "gluQuadricNormals", "gluQuadricTexture",
        "gluSphere", "glutCreateWindow", "glutDisplayFunc", "glutFullScreen", "glutIdleFunc", "glutInit",
        "glutInitDisplayMode", "glutInitWindowSize", "glutKeyboardFunc", "glutMainLoop", "glutReshapeFunc",
        "glutSpecialFunc", "glutSwapBuffers", "glutWireSphere"};
    EXPECT_EQ(used, expected);
}
