// encoding_sink.h -- encodes the pictures on a thread of its own.
//
// The show draws the next frame while this one is converted and encoded:
// the sink keeps a few picture buffers, and the worker thread hands each
// submitted one to the MP4 writer and gives it back.
#ifndef ENCODING_SINK_H
#define ENCODING_SINK_H

#include <atomic>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "recorder.h"

class Mp4Writer;

class EncodingSink : public FrameSink {
public:
    EncodingSink(Mp4Writer &writer, size_t pictureBytes);
    ~EncodingSink() override;

    // Throws std::runtime_error once the writer has failed.
    unsigned char *nextBuffer() override;
    void submit(unsigned copies) override;

    // Waits until every submitted picture is encoded and ends the worker.
    // False with the writer's reason in `error` if any failed.
    bool drain(std::string *error);

    // Frames encoded so far; read from any thread.
    uint64_t framesEncoded() const { return encoded.load(); }

private:
    void work();                    // runs on the worker thread

    Mp4Writer &writer;
    std::vector<std::vector<unsigned char>> buffers;
    std::mutex lock;
    std::condition_variable changed;
    std::deque<int> idle;                           // buffers free for the show
    std::deque<std::pair<int, unsigned>> waiting;   // buffer, copies: for the worker
    int filling = -1;                               // the buffer the show has now
    bool closing = false;
    bool failed = false;
    std::string failure;
    std::atomic<uint64_t> encoded{0};
    std::thread worker;
};

#endif
