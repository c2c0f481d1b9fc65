// capture_support.cpp -- see capture_support.h.
#include "capture_support.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <list>
#include <unistd.h>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/pixdesc.h>
#include <libswscale/swscale.h>
}

std::string makeScratchDir(const std::string &tag)
{
    // Removed with everything in them at exit; children leave by _exit and
    // never remove them.
    static std::list<ScratchDir> dirs;
    return dirs.emplace_back("capture-" + tag).path();
}

std::vector<std::string> listDir(const std::string &dir)
{
    std::vector<std::string> names;
    std::error_code unreadable;             // an empty list for a folder that is not there
    for (const auto &entry : std::filesystem::directory_iterator(dir, unreadable))
        names.push_back(entry.path().filename());
    std::sort(names.begin(), names.end());
    return names;
}

Finished runCapture(const std::vector<std::string> &args, const std::string &cwd,
                    const std::function<void(pid_t)> &whileRunning)
{
    ChildProcess child;
    if (child.start({CAPTURE_PROGRAM, args, cwd, {"DISPLAY", "SDL_AUDIODRIVER"}})) {
        if (whileRunning)
            whileRunning(child.pid);
        child.finish(900);
    }
    return {child.status, child.out, child.err};
}

std::vector<pid_t> childrenOf(pid_t parent)
{
    std::vector<pid_t> found;
    for (const std::string &name : listDir("/proc"))
        if (name.find_first_not_of("0123456789") == std::string::npos && viewTask("/proc/" + name).parent == parent)
            found.push_back((pid_t)std::stoi(name));
    return found;
}

namespace {

struct Decoder {
    AVCodecContext *codec = nullptr;
    int stream = -1;
    ~Decoder() { avcodec_free_context(&codec); }
    bool open(AVFormatContext *format, AVMediaType type)
    {
        stream = av_find_best_stream(format, type, -1, -1, nullptr, 0);
        if (stream < 0)
            return false;
        AVCodecParameters *par = format->streams[stream]->codecpar;
        const AVCodec *dec = avcodec_find_decoder(par->codec_id);
        codec = avcodec_alloc_context3(dec);
        if (!dec || !codec || avcodec_parameters_to_context(codec, par) < 0)
            return false;
        codec->pkt_timebase = format->streams[stream]->time_base;
        return avcodec_open2(codec, dec, nullptr) >= 0;
    }
};

void takePicture(DecodedFile *file, AVFrame *frame, AVRational timeBase, const std::set<int64_t> &keep)
{
    int64_t index = llround(frame->best_effort_timestamp * av_q2d(timeBase) * file->fps);
    file->frameIndexes.push_back(index);
    file->videoSeconds += frame->pkt_duration * av_q2d(timeBase);
    if (!keep.count(index))
        return;
    int w = frame->width, h = frame->height;
    std::vector<unsigned char> rgb((size_t)w * h * 3);
    SwsContext *sws = sws_getContext(w, h, (AVPixelFormat)frame->format, w, h, AV_PIX_FMT_RGB24,
                                     SWS_POINT, nullptr, nullptr, nullptr);
    // Written from the last row up, so that the picture is bottom row first
    // as OpenGL reads and the show's test support stores them.
    uint8_t *dst[1] = {rgb.data() + (size_t)(h - 1) * w * 3};
    int dstStride[1] = {-w * 3};
    sws_scale(sws, frame->data, frame->linesize, 0, h, dst, dstStride);
    sws_freeContext(sws);
    file->pictures[index] = rgb;
}

struct Loudness {
    int window;
    double sum = 0;
    int n = 0;
    void add(DecodedFile *file, float l, float r)
    {
        sum += (double)l * l + (double)r * r;
        if (++n == window) {
            file->audioLoudness.push_back(std::sqrt(sum / (2.0 * n)));
            sum = 0;
            n = 0;
        }
    }
};

void takeSound(DecodedFile *file, AVFrame *frame, Loudness *loudness)
{
    file->audioSamples += frame->nb_samples;
    bool planar = av_sample_fmt_is_planar((AVSampleFormat)frame->format);
    for (int i = 0; i < frame->nb_samples; ++i) {
        float l, r;
        if (frame->format == AV_SAMPLE_FMT_FLTP) {
            l = ((const float *)frame->data[0])[i];
            r = ((const float *)frame->data[1])[i];
        } else if (frame->format == AV_SAMPLE_FMT_FLT && !planar) {
            l = ((const float *)frame->data[0])[2 * i];
            r = ((const float *)frame->data[0])[2 * i + 1];
        } else {
            file->error = "unexpected sample format";
            return;
        }
        file->audioPeak = std::max(file->audioPeak, std::max(std::fabs(l), std::fabs(r)));
        loudness->add(file, l, r);
    }
}

}  // namespace

DecodedFile decodeFile(const std::string &path, const std::set<int64_t> &keep)
{
    DecodedFile file;
    AVFormatContext *format = nullptr;
    if (avformat_open_input(&format, path.c_str(), nullptr, nullptr) < 0) {
        file.error = "cannot open " + path;
        return file;
    }
    Decoder video, audio;
    if (avformat_find_stream_info(format, nullptr) < 0 || !video.open(format, AVMEDIA_TYPE_VIDEO)
        || !audio.open(format, AVMEDIA_TYPE_AUDIO)) {
        file.error = "no video and audio stream to decode";
        avformat_close_input(&format);
        return file;
    }
    AVStream *vs = format->streams[video.stream];
    file.videoCodec = avcodec_get_name(vs->codecpar->codec_id);
    file.pixelFormat = av_get_pix_fmt_name((AVPixelFormat)vs->codecpar->format);
    file.width = vs->codecpar->width;
    file.height = vs->codecpar->height;
    file.fps = av_q2d(vs->avg_frame_rate);
    AVStream *as = format->streams[audio.stream];
    file.audioCodec = avcodec_get_name(as->codecpar->codec_id);
    file.sampleRate = as->codecpar->sample_rate;
    file.channels = as->codecpar->ch_layout.nb_channels;
    Loudness loudness{file.sampleRate / 10};

    AVPacket *packet = av_packet_alloc();
    AVFrame *frame = av_frame_alloc();
    auto drain = [&](Decoder &d) {
        while (avcodec_receive_frame(d.codec, frame) >= 0) {
            if (&d == &video)
                takePicture(&file, frame, vs->time_base, keep);
            else
                takeSound(&file, frame, &loudness);
            av_frame_unref(frame);
        }
    };
    while (av_read_frame(format, packet) >= 0) {
        Decoder *d = packet->stream_index == video.stream ? &video
                     : packet->stream_index == audio.stream ? &audio : nullptr;
        if (d && avcodec_send_packet(d->codec, packet) >= 0)
            drain(*d);
        av_packet_unref(packet);
    }
    for (Decoder *d : {&video, &audio}) {
        avcodec_send_packet(d->codec, nullptr);
        drain(*d);
    }
    av_frame_free(&frame);
    av_packet_free(&packet);
    avformat_close_input(&format);
    return file;
}

double psnr(const std::vector<unsigned char> &a, const std::vector<unsigned char> &b)
{
    if (a.size() != b.size() || a.empty())
        return 0;
    double sum = 0;
    for (size_t i = 0; i < a.size(); ++i) {
        double d = (double)a[i] - (double)b[i];
        sum += d * d;
    }
    if (sum == 0)
        return 1000;
    return 10 * std::log10(255.0 * 255.0 / (sum / (double)a.size()));
}
