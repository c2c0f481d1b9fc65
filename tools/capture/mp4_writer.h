// mp4_writer.h -- pictures and the music into a video file.
//
// H.264 (libx264) in yuv420p, which every player takes, and AAC; encoded in
// this process through FFmpeg's libraries. The video's frame rate is fixed;
// the audio follows the video: after every picture the music layer's pulled
// output (musicPull) is encoded up to the time the video has reached, so the
// file is interleaved as it is written and both streams end together.
//
// FFmpeg's own log never reaches the terminal: the writer keeps its last
// error line instead and adds it to the one-line reason of a failed call.
#ifndef MP4_WRITER_H
#define MP4_WRITER_H

#include <cstdint>
#include <string>

struct AVFormatContext;
struct AVCodecContext;
struct AVStream;
struct AVFrame;
struct AVPacket;

// The rate of the soundtrack, and of the music layer's pulled output.
const int soundtrackRate = 44100;

class Mp4Writer {
public:
    Mp4Writer() = default;
    Mp4Writer(const Mp4Writer &) = delete;
    Mp4Writer &operator=(const Mp4Writer &) = delete;
    ~Mp4Writer();                   // without finish(), leaves an unplayable file

    // Creates `url` (a file name, or "pipe:N" for the file descriptor N) in
    // the container FFmpeg's muxer `muxer` writes ("mp4", "mov",
    // "matroska"); `streamed` is for an output that cannot seek, written as
    // fragmented MP4 that a player reads as it comes. False with a one-line
    // reason in `error` otherwise.
    bool open(const std::string &url, int width, int height, int fps, std::string *error,
              const std::string &muxer = "mp4", bool streamed = false);

    // One picture, four bytes a pixel in the order R, G, B, A, rows from the
    // bottom up as OpenGL reads them, shown for `copies` frames.
    bool addPicture(const uint8_t *rgba, unsigned copies, std::string *error);

    // Drains the encoders, ends the soundtrack at the video's length and
    // completes the file.
    bool finish(std::string *error);

    int64_t frames() const { return videoFrames; }
    int64_t audioSamples() const { return samplesSent; }

private:
    bool encodeAudioUntil(int64_t samples, std::string *error);
    bool send(AVCodecContext *codec, AVStream *stream, AVFrame *frame, std::string *error);

    AVFormatContext *format = nullptr;
    AVCodecContext *videoCodec = nullptr;
    AVCodecContext *audioCodec = nullptr;
    AVStream *videoStream = nullptr;
    AVStream *audioStream = nullptr;
    AVFrame *picture = nullptr;     // the yuv420p frame handed to the encoder
    AVFrame *sound = nullptr;
    AVPacket *packet = nullptr;
    int fps = 0;
    int64_t videoFrames = 0;        // frames handed to the video encoder so far
    int64_t samplesSent = 0;        // stereo samples handed to the audio encoder so far
};

#endif
