// audio_startup_test.cpp -- an audio output that cannot be had costs no wait.
//
// The show opens its audio output just before the first frame, so any wait
// in a failing open is black screen. What a start does is seen, not timed:
// the probe (audio_start_probe.cpp) makes one start of the music layer under
// strace, and the system calls of its main thread, the show's thread, between
// the probe's two marks are read back. A start that gives up must make none
// that waits for time to pass (a sleep, a poll or a timed wait with a time
// limit) and must not end a thread: shutting SDL's audio down on the spot
// ends and joins its device-watching thread, which sleeps in steps of a
// tenth of a second.
#include <gtest/gtest.h>

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <string>
#include <unistd.h>
#include <vector>

#include "child_process.h"
#include "failing_audio.h"
#include "files.h"
#include "sound.h"

namespace {

struct Trace {
    bool ran = false;               // strace and the probe ended normally
    std::string printed;            // the probe's standard output
    bool framed = false;            // both marks seen on the main thread
    std::vector<std::string> waits; // what the start did that waits, one line each
};

std::string probePath()
{
    return std::string(DEMO_BINARY_DIR) + "/audio_start_probe";
}

// The parts of a trace line "TID name(args...": false for lines that are not
// the start of a call ("TID <... name resumed>", "TID +++ exited ...").
bool parseCall(const std::string &line, pid_t *tid, std::string *name, std::string *args)
{
    size_t at = 0;
    while (at < line.size() && isdigit((unsigned char)line[at]))
        ++at;
    if (at == 0)
        return false;
    *tid = (pid_t)atol(line.c_str());
    while (at < line.size() && line[at] == ' ')
        ++at;
    size_t open = at;
    while (open < line.size() && (isalnum((unsigned char)line[open]) || line[open] == '_'))
        ++open;
    if (open == at || open >= line.size() || line[open] != '(')
        return false;
    *name = line.substr(at, open - at);
    *args = line.substr(open + 1);
    return true;
}

bool contains(const std::string &text, const char *part)
{
    return text.find(part) != std::string::npos;
}

// Whether the call's last argument, its time limit, is zero (the call only
// looks and returns): "..., 0)" or "..., 0 <unfinished ...>".
bool lastArgumentZero(const std::string &args)
{
    return contains(args, ", 0)") || contains(args, ", 0 <unfinished");
}

// The main thread's system calls between the marks, and the ends of other
// threads seen meanwhile, judged as the header says. strace -f also follows
// the processes the libraries start; their calls are not the show's thread's.
void judge(const std::string &log, pid_t mainThread, Trace *t)
{
    std::istringstream in(log);
    std::string line;
    bool inside = false, begun = false;
    while (std::getline(in, line)) {
        pid_t tid = -1;
        std::string name, args;
        if (!parseCall(line, &tid, &name, &args))
            continue;
        if (tid == mainThread && name == "write" && contains(args, "\"probe: start begins\"")) {
            inside = begun = true;
            continue;
        }
        if (tid == mainThread && name == "write" && contains(args, "\"probe: start ends\"")) {
            inside = false;
            t->framed = begun;
            continue;
        }
        if (!inside)
            continue;
        if (tid != mainThread) {
            // A thread ends in exit, a process (a helper the libraries
            // start, such as D-Bus's) in exit_group.
            if (name == "exit")
                t->waits.push_back("a thread ended: " + line);
            continue;
        }
        // A time limit that is not zero: the call may wait for it.
        bool waits = false;
        if (name == "nanosleep" || name == "clock_nanosleep")
            waits = true;
        else if (name == "poll" || name == "epoll_wait")
            waits = !lastArgumentZero(args);
        else if (name == "epoll_pwait" || name == "epoll_pwait2")
            waits = !contains(args, ", 0, NULL") && !contains(args, "{tv_sec=0, tv_nsec=0}");
        else if (name == "ppoll" || name == "pselect6" || name == "select")
            waits = !contains(args, "{tv_sec=0, tv_nsec=0}") && !contains(args, "{tv_sec=0, tv_usec=0}");
        else if (name == "futex")
            waits = contains(args, "FUTEX_WAIT") && contains(args, "{tv_sec=");
        if (waits)
            t->waits.push_back(line);
    }
}

// One start of the layer in the probe under strace, with `env` added.
Trace traceStart(const std::vector<std::string> &env, const std::vector<std::string> &probeArgs = {})
{
    Trace t;
    ScratchDir dir("audio-startup");
    const std::string log = dir.file("trace");
    // -f follows every thread; each line starts with the thread's id.
    std::vector<std::string> args = {"60", "strace", "-f", "-qq", "-o", log, probePath()};
    args.insert(args.end(), probeArgs.begin(), probeArgs.end());
    Finished run = runToEnd({"timeout", args, "", env});
    t.ran = exitCode(run.status) == 0;
    t.printed = run.out;
    std::string text = readFile(log);
    // The probe's own process is the first line's: its main thread.
    pid_t mainThread = text.empty() ? -1 : (pid_t)atol(text.c_str());
    judge(text, mainThread, &t);
    return t;
}

class FailingAudio : public testing::TestWithParam<AudioFailure> {
};

std::string joined(const std::vector<std::string> &lines)
{
    std::string s;
    for (const std::string &l : lines)
        s += "  " + l + "\n";
    return s;
}

TEST_P(FailingAudio, GivingUpMakesNoWait)
{
    Trace t = traceStart(GetParam().env);
    ASSERT_TRUE(t.ran) << "strace or the probe failed";
    EXPECT_EQ(t.printed, "failed\n") << "the output was to fail to open";
    ASSERT_TRUE(t.framed) << "the probe's marks were not in the trace";
    EXPECT_TRUE(t.waits.empty()) << "the failing start waited:\n" << joined(t.waits);
}

INSTANTIATE_TEST_SUITE_P(Matrix, FailingAudio, testing::ValuesIn(audioFailures), audioFailureName);

// The watch sees a wait where there is one: the probe itself sleeping a
// millisecond inside its marks, after a failing start.
TEST(FailingAudioWatch, SeesASleepInTheStart)
{
    Trace t = traceStart({"SDL_AUDIODRIVER=alsa", "AUDIODEV=hw:99,0"}, {"--wait-ms", "1"});
    ASSERT_TRUE(t.ran);
    ASSERT_TRUE(t.framed);
    ASSERT_EQ(t.waits.size(), 1u) << joined(t.waits);
    EXPECT_NE(t.waits[0].find("nanosleep"), std::string::npos) << t.waits[0];
}

// Closing without a start, closing twice, and starting again after a close
// (whether the last start failed or not) all work: the show's way out and a
// front end that restarts the music rely on them.
int startCloseCycle()
{
    soundClose();
    setenv("SDL_AUDIODRIVER", "nonexistent", 1);
    if (soundInit(44100, 32))
        return 1;
    soundClose();
    setenv("SDL_AUDIODRIVER", "alsa", 1);
    setenv("AUDIODEV", "hw:99,0", 1);
    if (soundInit(44100, 32))
        return 2;
    soundClose();
    setenv("SDL_AUDIODRIVER", "dummy", 1);
    if (!soundInit(44100, 32))
        return 3;
    soundClose();
    soundClose();
    if (!soundInit(44100, 32))
        return 4;
    soundClose();
    return 0;
}

TEST(AudioLifecycle, CloseAndStartAgainInAnyOrder)
{
    // In a child of its own, so that SDL starts as fresh as in the show.
    Finished run = runInChild([] { _exit(startCloseCycle()); }, 60);
    EXPECT_EQ(exitCode(run.status), 0) << describeStatus(run.status);
}

}  // namespace
