// capture.cpp -- records the whole show to a video file.
//
// The same show as `start`, from the same core library, drawn in a window on
// a virtual X server of our own and encoded frame by frame with the music
// rendered beside it. Needs no display and no sound device.
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <stdexcept>
#include <string>
#include <unistd.h>

#include <GL/freeglut.h>

#include "music_file.h"
#include "encoding_sink.h"
#include "mp4_writer.h"
#include "options.h"
#include "output_file.h"
#include "platform.h"
#include "private_display.h"
#include "progress.h"
#include "recorder.h"

#if defined(__SANITIZE_ADDRESS__)
#define CAPTURE_LEAK_CHECK 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define CAPTURE_LEAK_CHECK 1
#endif
#endif
#if CAPTURE_LEAK_CHECK
#include <sanitizer/lsan_interface.h>
#endif

// The show's timetable: 2722 drawn frames, then 30 seconds of pictures. It
// sizes the progress bar and nothing else; the recording simply runs until
// the show ends.
static const unsigned showDrawnFrames = 2722;
static const unsigned showPictureSeconds = 30;

// The window needs a screen to live on, not one as large as itself: nothing
// is ever looked at, and a small screen keeps the server's copying small.
static const int screenSide = 64;

static volatile sig_atomic_t stopSignal = 0;

static void onStopSignal(int sig)
{
    stopSignal = sig;
}

static void catchStopSignals()
{
    struct sigaction sa = {};
    sa.sa_handler = onStopSignal;
    sa.sa_flags = SA_RESETHAND;     // a second Ctrl-C ends the program at once
    sigemptyset(&sa.sa_mask);
    sigaction(SIGINT, &sa, nullptr);
    sigaction(SIGTERM, &sa, nullptr);
    sigaction(SIGHUP, &sa, nullptr);    // the terminal closed
}

// The name the program goes by in its messages and its usage, as the
// show's own messages give it.
static std::string programName;

static void takeProgramName()
{
    programName = sysProgramName();
}

static int fail(const std::string &why)
{
    fprintf(stderr, "%s: %s\n", programName.c_str(), why.c_str());
    return 1;
}

// Closes the window before the server goes: freeglut and Mesa must not
// find their display gone.
struct RecordingWindow {
    bool open = false;
    ~RecordingWindow()
    {
        if (!open)
            return;
#if CAPTURE_LEAK_CHECK
        // Closing the display unloads Mesa's driver, after which the leak
        // checker could no longer tell the driver's own allocations (which
        // it is told to ignore) from ours: it looks now, once.
        __lsan_do_leak_check();
#endif
        glutExit();
    }
};

static int record(const CaptureOptions &o)
{
    std::string error;
    // The output first, so that a name it cannot take is refused before any
    // work. Standard output is taken as it is now: the show's own output is
    // diverted from it while the show runs.
    bool streamed = o.output == "-";
    OutputFile output;
    std::string url;
    if (streamed) {
        int fd = fcntl(1, F_DUPFD_CLOEXEC, 3);
        if (fd < 0)
            return fail(std::string("cannot write to standard output: ") + strerror(errno));
        url = "pipe:" + std::to_string(fd);
    } else {
        if (!output.create(o.output, &error))
            return fail(error);
        url = output.temporaryPath();
    }

    PrivateDisplay display;
    if (!display.start(screenSide, screenSide, &error))
        return fail(error);
    RecordingWindow window;
    window.open = true;
    if (!openRecordingWindow(display.name(), o.width, o.height, &error))
        return fail(error);

    musicReadFrom(o.module.c_str());
    Mp4Writer writer;
    if (!writer.open(url, o.width, o.height, o.fps, &error, o.muxer, streamed))
        return fail(error);

    EncodingSink sink(writer, (size_t)o.width * o.height * 4);
    Progress progress(stderr, !o.quiet, showDrawnFrames + (uint64_t)showPictureSeconds * o.fps, o.fps);
    RecordingResult show;
    try {
        show = recordShow(o.width, o.height, o.fps, sink, [&] {
            progress.update(sink.framesEncoded());
            return stopSignal != 0;
        });
    } catch (const RecordingStopped &) {
        sink.drain(&error);
        if (streamed)
            fprintf(stderr, "\n%s: interrupted; the video on standard output is cut short\n",
                    programName.c_str());
        else
            fprintf(stderr, "\n%s: interrupted; %s not written\n", programName.c_str(), o.output.c_str());
        return 128 + stopSignal;
    } catch (const std::exception &e) {
        sink.drain(&error);
        return fail(e.what());
    }
    if (!sink.drain(&error) || !writer.finish(&error) || (!streamed && !output.commit(&error)))
        return fail(error);
    progress.finish(sink.framesEncoded());
    if (!o.quiet)
        fputs(show.statistics.c_str(), stderr);
    return show.exitStatus;
}

int main(int argc, char **argv)
{
    sysGuardStandardStreams();
    takeProgramName();
    const char *name = programName.c_str();
    CaptureOptions options;
    std::string error;
    if (!parseOptions(argc, argv, &options, &error)) {
        fprintf(stderr, "%s: %s (see %s --help)\n", name, error.c_str(), name);
        return 2;
    }
    if (options.help) {
        fputs(usageText(programName, options.module).c_str(), stdout);
        return 0;
    }
    if (options.version) {
        printf("%s (tha corbanet demo) %s\n", name, DEMO_VERSION);
        return 0;
    }
    if (options.output == "-" && isatty(1)) {
        fprintf(stderr, "%s: -o -: standard output is a terminal; send the video to a file or a player\n", name);
        return 2;
    }
    catchStopSignals();
    return record(options);
}
