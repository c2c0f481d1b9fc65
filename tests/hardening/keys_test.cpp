// keys_test.cpp -- no key but Esc changes the course of the show.
//
// While the runner plays the show (paced a little, so that keys arrive in
// every scene), xdotool presses every ordinary key but Esc and every special
// key the toolkit reports, over and over, through the X server as a user's
// keyboard would. The runner notes each key the show's callbacks receive.
#include "show_fixture.h"

#include <cstdio>
#include <set>
#include <unistd.h>

#include <GL/freeglut.h>

namespace {

// Runs xdotool on `display` with `args` and waits for it.
bool xdotool(const std::string &display, const std::vector<std::string> &args)
{
    return exitCode(runToEnd({"xdotool", args, "", {"DISPLAY=" + display}}, 60).status) == 0;
}

// Every character a keyboard can type but Esc: the printable Latin-1
// characters and the control characters Backspace, Tab, Return, Delete and
// Ctrl with a letter. (Ctrl with "[" or "3" would be Esc.)
std::vector<std::string> ordinaryKeys(std::set<unsigned> *codes)
{
    std::vector<std::string> keys;
    for (unsigned c = 0x20; c <= 0xff; ++c) {
        if (c > 0x7e && c < 0xa0)
            continue;
        char sym[16];
        snprintf(sym, sizeof sym, "0x%04x", c);
        keys.push_back(sym);
        codes->insert(c);
    }
    for (char letter = 'a'; letter <= 'z'; ++letter) {
        keys.push_back(std::string("ctrl+") + letter);
        codes->insert((unsigned)(letter - 'a' + 1));
    }
    const std::pair<const char *, unsigned> named[] = {{"BackSpace", 8}, {"Tab", 9}, {"Return", 13}, {"Delete", 127}};
    for (const auto &n : named) {
        keys.push_back(n.first);
        codes->insert(n.second);
    }
    return keys;
}

std::vector<std::string> specialKeys(std::set<unsigned> *codes)
{
    const std::pair<const char *, unsigned> named[] = {
        {"F1", GLUT_KEY_F1}, {"F2", GLUT_KEY_F2}, {"F3", GLUT_KEY_F3}, {"F4", GLUT_KEY_F4},
        {"F5", GLUT_KEY_F5}, {"F6", GLUT_KEY_F6}, {"F7", GLUT_KEY_F7}, {"F8", GLUT_KEY_F8},
        {"F9", GLUT_KEY_F9}, {"F10", GLUT_KEY_F10}, {"F11", GLUT_KEY_F11}, {"F12", GLUT_KEY_F12},
        {"Left", GLUT_KEY_LEFT}, {"Up", GLUT_KEY_UP}, {"Right", GLUT_KEY_RIGHT}, {"Down", GLUT_KEY_DOWN},
        {"Prior", GLUT_KEY_PAGE_UP}, {"Next", GLUT_KEY_PAGE_DOWN}, {"Home", GLUT_KEY_HOME},
        {"End", GLUT_KEY_END}, {"Insert", GLUT_KEY_INSERT}, {"Num_Lock", GLUT_KEY_NUM_LOCK},
        {"KP_Begin", GLUT_KEY_BEGIN}, {"Shift_L", GLUT_KEY_SHIFT_L}, {"Shift_R", GLUT_KEY_SHIFT_R},
        {"Control_L", GLUT_KEY_CTRL_L}, {"Control_R", GLUT_KEY_CTRL_R}, {"Alt_L", GLUT_KEY_ALT_L},
        {"Alt_R", GLUT_KEY_ALT_R},
    };
    std::vector<std::string> keys;
    for (const auto &n : named) {
        keys.push_back(n.first);
        codes->insert(n.second);
    }
    return keys;
}

class Keys : public ShowWithModule {
};

TEST_F(Keys, NoKeyButEscChangesTheCourse)
{
    ASSERT_TRUE(mapEveryLatin1Key(screen.name())) << "could not give every character a key";
    std::set<unsigned> ordinaryCodes, specialCodes;
    std::vector<std::string> ordinary = ordinaryKeys(&ordinaryCodes);
    std::vector<std::string> special = specialKeys(&specialCodes);
    ordinary.insert(ordinary.begin(), {"key", "--delay", "1"});
    special.insert(special.begin(), {"key", "--delay", "1"});

    Launch launch = with(runner(), "SHOW_RUNNER_FRAME_MS=3");
    ChildProcess p;
    ASSERT_TRUE(p.start(launch));
    ASSERT_TRUE(p.waitForText("runner: first-frame", 60)) << tailOf(p.err);
    // The window fills the screen; the pointer over it gives it the keys.
    xdotool(screen.name(), {"mousemove", "32", "24"});
    int rounds = 0;
    while (!p.ended && monotonicMs() - p.startedMs < courseSeconds * 1000.0) {
        xdotool(screen.name(), ordinary);
        xdotool(screen.name(), special);
        p.waitForText("\x01", 0.001);           // keeps reading the runner's report
        rounds += 1;
    }
    ASSERT_TRUE(p.finish(10));
    checkFullCourse(launch, p);

    CourseReport r = parseReport(p.err);
    std::set<unsigned> gotOrdinary, gotSpecial, frames;
    unsigned perScene[4] = {0, 0, 0, 0};
    auto note = [&](unsigned frame) {
        frames.insert(frame);
        perScene[frame < 2152 ? 0 : frame < 2352 ? 1 : frame < 2503 ? 2 : 3] += 1;
    };
    for (const auto &k : r.keys) {
        gotOrdinary.insert(k.first);
        note(k.second);
    }
    for (const auto &k : r.specials) {
        gotSpecial.insert(k.first);
        note(k.second);
    }
    EXPECT_EQ(gotOrdinary.count(27), 0u) << "Esc was sent";
    for (unsigned c : ordinaryCodes)
        EXPECT_EQ(gotOrdinary.count(c), 1u) << "key " << c << " never reached the show";
    for (unsigned c : specialCodes)
        EXPECT_EQ(gotSpecial.count(c), 1u) << "special key " << c << " never reached the show";
    EXPECT_GE(frames.size(), 300u) << "keys arrived at too few frames";
    for (int s = 0; s < 4; ++s)
        EXPECT_GT(perScene[s], 0u) << "no key arrived in scene " << s;
    printf("[ keys     ] %zu ordinary and %zu special presses in %d rounds, at %zu frames\n", r.keys.size(),
           r.specials.size(), rounds, frames.size());
}

}  // namespace
