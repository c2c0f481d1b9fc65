// encoding_sink.cpp -- see encoding_sink.h.
#include "encoding_sink.h"

#include <stdexcept>

#include "mp4_writer.h"

// Three buffers: one being drawn into, one being encoded, one spare so that
// neither side waits on a short hiccup of the other.
static const int bufferCount = 3;

EncodingSink::EncodingSink(Mp4Writer &w, size_t pictureBytes) : writer(w)
{
    buffers.resize(bufferCount);
    for (int i = 0; i < bufferCount; ++i) {
        buffers[i].resize(pictureBytes);
        idle.push_back(i);
    }
    worker = std::thread(&EncodingSink::work, this);
}

EncodingSink::~EncodingSink()
{
    std::string ignored;
    drain(&ignored);
}

unsigned char *EncodingSink::nextBuffer()
{
    std::unique_lock<std::mutex> hold(lock);
    changed.wait(hold, [this] { return !idle.empty() || failed; });
    if (failed)
        throw std::runtime_error(failure);
    filling = idle.front();
    idle.pop_front();
    return buffers[filling].data();
}

void EncodingSink::submit(unsigned copies)
{
    {
        std::lock_guard<std::mutex> hold(lock);
        waiting.emplace_back(filling, copies);
        filling = -1;
    }
    changed.notify_all();
}

void EncodingSink::work()
{
    std::unique_lock<std::mutex> hold(lock);
    for (;;) {
        changed.wait(hold, [this] { return !waiting.empty() || closing; });
        if (waiting.empty())
            return;
        std::pair<int, unsigned> job = waiting.front();
        waiting.pop_front();
        bool skip = failed;
        hold.unlock();

        std::string why;
        bool ok = skip || writer.addPicture(buffers[job.first].data(), job.second, &why);
        if (ok && !skip)
            encoded += job.second;

        hold.lock();
        if (!ok && !failed) {
            failed = true;
            failure = why;
        }
        idle.push_back(job.first);
        changed.notify_all();
    }
}

bool EncodingSink::drain(std::string *error)
{
    {
        std::lock_guard<std::mutex> hold(lock);
        closing = true;
    }
    changed.notify_all();
    if (worker.joinable())
        worker.join();
    if (failed)
        *error = failure;
    return !failed;
}
