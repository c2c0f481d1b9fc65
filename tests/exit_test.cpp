// exit_test.cpp -- the way out: Esc silences the music, prints the run's
// statistics and ends the process with status 0, whatever standard output is.
//
// Each case runs keyboard() in a forked child, since the Esc path ends the
// process; the child's clock and frame count are set to known values.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <unistd.h>

#include <SDL.h>

#include "child_process.h"
#include "demo.h"
#include "platform.h"
#include "sound.h"
#include "show_harness.h"

namespace {

unsigned stopAt;
unsigned stoppedClock()
{
    return stopAt;
}

// The statistics block for a run of `count` frames between the two clock
// readings, as the child printed it.
Finished escAfter(unsigned count, unsigned start, unsigned stop)
{
    return runInChild([=] {
        frames = count;
        startTime = start;
        stopAt = stop;
        sysMilliseconds = stoppedClock;
        keyboard(27, 0, 0);
    });
}

std::string block(const std::string &f, const std::string &t, const std::string &fps)
{
    return "*********************\nFrames " + f + "\nTime   " + t + "\nFps    " + fps +
           "\n*********************\n";
}

// The way out, step by step, as the calls it makes are seen: the music's
// stop takes the audio device's lock and its close closes the device, seen
// in SDL's calls through the linker's wrappers (see CMakeLists.txt); the
// clock and the exit are substitutes, and the first character written to
// standard output stands for the print.
std::string exitSteps;

class StepRecorder : public std::streambuf {
protected:
    int overflow(int c) override
    {
        note("print");
        return c;
    }
    std::streamsize xsputn(const char *, std::streamsize n) override
    {
        note("print");
        return n;
    }

private:
    void note(const char *step)
    {
        if (exitSteps.find(step) == std::string::npos)
            exitSteps += std::string(step) + " ";
    }
};

unsigned recordedClock()
{
    exitSteps += "clock ";
    return 1000;
}

void recordedExit(int status)
{
    exitSteps += "exit";
    printf("%s", exitSteps.c_str());
    fflush(stdout);
    _exit(status);
}

}  // namespace

// Only what happens after the Esc is noted; the music's start takes the
// lock too.
bool noting;

extern "C" void __real_SDL_LockAudioDevice(SDL_AudioDeviceID device);
extern "C" void __wrap_SDL_LockAudioDevice(SDL_AudioDeviceID device)
{
    if (noting)
        exitSteps += "stop ";
    __real_SDL_LockAudioDevice(device);
}

extern "C" void __real_SDL_CloseAudioDevice(SDL_AudioDeviceID device);
extern "C" void __wrap_SDL_CloseAudioDevice(SDL_AudioDeviceID device)
{
    if (noting)
        exitSteps += "close ";
    __real_SDL_CloseAudioDevice(device);
}

TEST(Statistics, MusicEndsBeforeTheClockIsReadThenPrintThenExit)
{
    // The music stops and its output closes before the run's time is taken,
    // so closing it is not counted in the run; the block is printed from
    // that reading, and only then does the process end.
    Finished r = runInChild([] {
        // The show's music playing, into SDL's silent device.
        if (!soundInit(44100, 32) || !(song = musicLoad("demomain.xm")))
            _exit(97);
        musicPlay(song);
        static StepRecorder recorder;
        std::cout.rdbuf(&recorder);
        sysMilliseconds = recordedClock;
        sysExit = recordedExit;
        noting = true;
        keyboard(27, 0, 0);
    });
    EXPECT_EQ(exitCode(r.status), 0) << describeStatus(r.status);
    EXPECT_EQ(r.out, "stop close clock print exit");
}

TEST(Statistics, PrintsTheFiveLineBlock)
{
    Finished r = escAfter(7000, 1000, 141000);
    EXPECT_EQ(exitCode(r.status), 0) << describeStatus(r.status);
    EXPECT_EQ(r.out, block("7000", "140", "50"));
}

TEST(Statistics, NumbersUseSixSignificantDigits)
{
    EXPECT_EQ(escAfter(2469, 0, 1234500).out, block("2469", "1234.5", "2"));
    EXPECT_EQ(escAfter(1, 0, 1234567000).out, block("1", "1.23457e+06", "8.10001e-07"));
    EXPECT_EQ(escAfter(2722, 500, 75780).out, block("2722", "75.28", "36.1583"));
}

TEST(Statistics, ClockReadingsAreDifferencedInSixtyFourBits)
{
    // Readings near the top of the 32-bit range still give the right span.
    EXPECT_EQ(escAfter(100, 4294967000u, 4294967295u).out, block("100", "0.295", "338.983"));
}

TEST(Statistics, NoMeasurableTimeShowsARateOfZero)
{
    Finished r = escAfter(0, 5000, 5000);
    EXPECT_EQ(exitCode(r.status), 0) << describeStatus(r.status);
    EXPECT_EQ(r.out, block("0", "0", "0"));
    EXPECT_EQ(escAfter(3, 5000, 5000).out, block("3", "0", "0"));
}

TEST(Statistics, ExitStatusIsZeroWhateverStandardOutputIs)
{
    // Closed, full, and a pipe whose reader has gone: the writes fail, the
    // status stays 0, and no signal ends the child. Where the statistics
    // are lost, one line on stderr says so and why; a closed standard
    // output is /dev/null by then, which loses nothing.
    struct Case {
        StdoutTo out;
        std::vector<std::string> env;
        std::string err;
    } cases[] = {
        {StdoutTo::Closed, {}, ""},
        // The name a launcher gives, then the program's own name.
        {StdoutTo::DevFull, {"CORBANET_DEMO_NAME=corbanet-demo"},
         "corbanet-demo: statistics lost: No space left on device\n"},
        {StdoutTo::ReaderGone, {}, "exit_test: statistics lost: Broken pipe\n"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE("standard output case " + std::to_string((int)c.out));
        Launch launch("", {}, "", c.env);
        launch.out = c.out;
        launch.body = [] {
            sysGuardStandardStreams();
            keyboard(27, 0, 0);
        };
        Finished r = runToEnd(launch);
        EXPECT_EQ(exitCode(r.status), 0) << describeStatus(r.status);
        EXPECT_EQ(r.err, c.err);
    }
}

TEST(Keys, OnlyEscEndsTheShow)
{
    // Every other key returns and leaves the state as it was.
    Finished r = runInChild([] {
        frames = 42;
        for (int k = 0; k < 256; ++k)
            if (k != 27)
                keyboard((unsigned char)k, 0, 0);
        for (int k = 0; k < 256; ++k)
            arrow_keys(k, 0, 0);
        if (frames != 42 || sequence != 0 || stopTime != 0)
            _exit(3);
        _exit(7);
    });
    EXPECT_EQ(exitCode(r.status), 7) << describeStatus(r.status);
    EXPECT_EQ(r.out, "");
}
