// recorder.cpp -- see recorder.h.
#include "recorder.h"

#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <stdexcept>
#include <unistd.h>

#include <GL/freeglut.h>

#include "demo.h"
#include "mp4_writer.h"
#include "music_file.h"
#include "platform.h"
#include "sound.h"

namespace {

struct ShowEnded {
    int status;
};

// The recording in progress, as the platform services see it.
struct Recording {
    int width, height, fps;
    uint64_t frames;                // video frames made so far
    FrameSink *sink;
    const std::function<bool()> *stopRequested;
};

Recording rec;

// A show that has not ended after this much video never will.
const unsigned maxSecondsOfVideo = 3600;

unsigned recordingMilliseconds()
{
    return (unsigned)(rec.frames * 1000 / (uint64_t)rec.fps);
}

// The picture the last swap presented is still in the back buffer: Mesa's
// software renderer copies it to the window and leaves it there.
void grab(unsigned copies)
{
    if (copies == 0)
        return;
    unsigned char *pixels = rec.sink->nextBuffer();
    glReadPixels(0, 0, rec.width, rec.height, GL_RGBA, GL_UNSIGNED_BYTE, pixels);
    rec.sink->submit(copies);
    rec.frames += copies;
    if ((*rec.stopRequested)())
        throw RecordingStopped{};
    if (rec.frames > (uint64_t)maxSecondsOfVideo * rec.fps)
        throw std::runtime_error("the show did not end within an hour of video");
}

void recordingSleep(unsigned seconds)
{
    grab(seconds * (unsigned)rec.fps);
}

void recordingExit(int status)
{
    throw ShowEnded{status};
}

void flushStdout()
{
    std::cout.flush();
    fflush(stdout);
}

// Standard output goes to an unnamed file while the show runs, so that its
// statistics neither mix with the caller's output nor land mid-line in a
// progress bar; the file is read back at the end. Without a file to collect
// it in, the output is dropped rather than let onto the caller's standard
// output.
class StdoutCollector {
public:
    StdoutCollector()
    {
        flushStdout();
        if (!file)
            file = fopen("/dev/null", "w+e");
        if (file && saved >= 0)
            dup2(fileno(file), 1);
    }
    ~StdoutCollector()
    {
        flushStdout();
        if (saved >= 0) {
            dup2(saved, 1);
            close(saved);
        }
        if (file)
            fclose(file);
    }
    std::string text()
    {
        flushStdout();
        std::string all;
        char buf[512];
        size_t n;
        if (file)
            rewind(file);
        while (file && (n = fread(buf, 1, sizeof buf, file)) > 0)
            all.append(buf, n);
        return all;
    }

private:
    FILE *file = tmpfile();
    int saved = dup(1);
};

}  // namespace

bool openRecordingWindow(const std::string &displayName, int width, int height, std::string *error)
{
    std::string name = displayName;
    char arg0[] = "capture", arg1[] = "-display";
    char *argv[] = {arg0, arg1, &name[0], nullptr};
    int argc = 3;
    showOpenWindow(&argc, argv, width, height, true);

    // The window may be larger than the server's screen: nobody looks at
    // it, and Mesa draws the whole of it all the same. What limits the size
    // is the renderer, and the window system's own size for a drawable.
    GLint largest[2] = {0, 0}, viewport[4] = {0, 0, 0, 0};
    glGetIntegerv(GL_MAX_VIEWPORT_DIMS, largest);
    glGetIntegerv(GL_VIEWPORT, viewport);
    if (width > largest[0] || height > largest[1] || viewport[2] != width || viewport[3] != height) {
        *error = "the renderer cannot draw " + std::to_string(width) + "x" + std::to_string(height)
                 + " pictures (it draws at most " + std::to_string(largest[0]) + "x"
                 + std::to_string(largest[1]) + ")";
        return false;
    }
    glReadBuffer(GL_BACK);
    return true;
}

RecordingResult recordShow(int width, int height, int fps, FrameSink &sink,
                           const std::function<bool()> &stopRequested)
{
    rec = Recording{width, height, fps, 0, &sink, &stopRequested};
    sysMilliseconds = recordingMilliseconds;
    sysSleepSeconds = recordingSleep;
    sysExit = recordingExit;
    // The music plays into no device: the writer pulls it, at the
    // recording's pace.
    musicPullAt(soundtrackRate);

    StdoutCollector output;
    RecordingResult result = {-1, 0, ""};
    try {
        init();
        reshape(width, height);     // what the toolkit delivers before the first frame
        for (;;) {
            display();
            grab(1);
        }
    } catch (const ShowEnded &e) {
        result.exitStatus = e.status;
    } catch (...) {
        soundClose();               // no audio thread left running into the exit
        throw;
    }
    result.frames = rec.frames;
    result.statistics = output.text();
    return result;
}
