// capture_support.h -- what the recorder's tests share: running `capture`
// as a child process, scratch folders, and reading a video file back with
// FFmpeg's own demuxer and decoders.
#ifndef CAPTURE_SUPPORT_H
#define CAPTURE_SUPPORT_H

#include <cstdint>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <sys/types.h>
#include <vector>

#include "child_process.h"
#include "files.h"

// A new empty folder under the system's temporary folder, removed with its
// contents when the test program ends.
std::string makeScratchDir(const std::string &tag);

// The names in a folder, sorted, without "." and "..".
std::vector<std::string> listDir(const std::string &dir);

// Runs the capture program with `args` in `cwd`, with DISPLAY and
// SDL_AUDIODRIVER removed from its environment, and collects both output
// streams (a run that hangs is killed after 900 s). `whileRunning` is called once with the child's pid right after
// it starts.
Finished runCapture(const std::vector<std::string> &args, const std::string &cwd,
                    const std::function<void(pid_t)> &whileRunning = {});

// Processes whose parent is `pid`.
std::vector<pid_t> childrenOf(pid_t pid);

struct DecodedFile {
    std::string error;              // empty when the file was read to its end
    // video
    std::string videoCodec, pixelFormat;
    int width = 0, height = 0;
    double fps = 0;
    std::vector<int64_t> frameIndexes;      // each decoded frame's time in frames, in output order
    double videoSeconds = 0;                // frames' total duration
    std::map<int64_t, std::vector<unsigned char>> pictures;  // RGB, bottom row first
    // audio
    std::string audioCodec;
    int sampleRate = 0, channels = 0;
    int64_t audioSamples = 0;               // decoded stereo samples, priming skipped
    float audioPeak = 0;
    std::vector<double> audioLoudness;      // RMS of each tenth of a second, both channels
};

// Decodes the whole file; keeps the pictures of the video frames in `keep`.
DecodedFile decodeFile(const std::string &path, const std::set<int64_t> &keep);

// Peak signal-to-noise ratio of two equally sized 8-bit images, in dB
// (1000 for identical ones).
double psnr(const std::vector<unsigned char> &a, const std::vector<unsigned char> &b);

#endif
