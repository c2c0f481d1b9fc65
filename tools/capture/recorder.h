// recorder.h -- runs the show and hands over every video frame it makes.
//
// The show runs as `start` runs it, through the same core library and the
// same calls, in a real freeglut window. Only the platform services are
// replaced: the clock reads the recording's time (frames / fps), a sleep
// of n seconds becomes n x fps frames of the picture just shown, and the
// exit returns here. Each completed display() is one video frame.
#ifndef RECORDER_H
#define RECORDER_H

#include <cstdint>
#include <functional>
#include <string>

// Where the pictures go. Buffers hold width x height pixels of four bytes,
// R, G, B, A, rows from the bottom up (as OpenGL reads them).
class FrameSink {
public:
    virtual ~FrameSink() = default;
    // Room for the next picture; may wait until the consumer has some.
    virtual unsigned char *nextBuffer() = 0;
    // The buffer nextBuffer() gave last holds a finished picture, to be
    // shown for `copies` consecutive frames.
    virtual void submit(unsigned copies) = 0;
};

// Thrown out of recordShow() when `stopRequested` said so.
struct RecordingStopped {
};

// Opens the show's window, `width` x `height` pixels, on the X display
// `displayName`. False with a one-line reason in `error` when the renderer
// cannot draw pictures of that size. Either way glutExit() closes the
// window and the connection to the display.
bool openRecordingWindow(const std::string &displayName, int width, int height, std::string *error);

struct RecordingResult {
    int exitStatus;                 // what the show passed to its exit
    uint64_t frames;                // video frames handed to the sink
    std::string statistics;         // what the show printed on its way out
};

// Runs the show from init() to its end in the window opened above, at `fps`
// frames a second. `stopRequested` is asked after every video frame (or
// run of copies); when it answers true the recording stops with
// RecordingStopped. The show's standard output is collected, not printed.
// Can be called once per process: the show's state is not reset.
RecordingResult recordShow(int width, int height, int fps, FrameSink &sink,
                           const std::function<bool()> &stopRequested);

#endif
