// mp4_writer.cpp -- see mp4_writer.h.
#include "mp4_writer.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <mutex>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/opt.h>
}
#include <libyuv/convert.h>

#include "soundtrack.h"

// FFmpeg's log, kept instead of printed. Encoder threads log too, hence the
// lock; a line may come in pieces.
static std::mutex logLock;
static std::string logPending;          // the line being assembled
static std::string logLastError;        // the last complete error line

static void keepFfmpegLog(void *context, int level, const char *format, va_list args)
{
    if (level > AV_LOG_ERROR)
        return;
    char text[1024];
    vsnprintf(text, sizeof text, format, args);
    std::lock_guard<std::mutex> hold(logLock);
    if (logPending.empty() && context) {
        const AVClass *c = *(const AVClass **)context;
        if (c && c->item_name)
            logPending = std::string(c->item_name(context)) + ": ";
    }
    logPending += text;
    if (!logPending.empty() && logPending.back() == '\n') {
        logPending.pop_back();
        logLastError = logPending;
        logPending.clear();
    }
}

std::string takeFfmpegError()
{
    std::lock_guard<std::mutex> hold(logLock);
    std::string line;
    line.swap(logLastError);
    return line;
}

// FFmpeg's reason for a failure code, with what its log said about it.
static std::string avError(int code)
{
    char text[AV_ERROR_MAX_STRING_SIZE] = {0};
    av_strerror(code, text, sizeof text);
    std::string said = takeFfmpegError();
    return said.empty() ? std::string(text) : std::string(text) + " (" + said + ")";
}

Mp4Writer::~Mp4Writer()
{
    if (format) {
        if (format->pb)
            avio_closep(&format->pb);
        avformat_free_context(format);
    }
    avcodec_free_context(&videoCodec);
    avcodec_free_context(&audioCodec);
    av_frame_free(&picture);
    av_frame_free(&sound);
    av_packet_free(&packet);
}

static AVCodecContext *openVideoCodec(const VideoSettings &v, bool globalHeader, std::string *error)
{
    const AVCodec *codec = avcodec_find_encoder_by_name("libx264");
    if (!codec) {
        *error = "this FFmpeg has no libx264 encoder";
        return nullptr;
    }
    AVCodecContext *c = avcodec_alloc_context3(codec);
    c->width = v.width;
    c->height = v.height;
    c->time_base = AVRational{1, v.fps};
    c->framerate = AVRational{v.fps, 1};
    c->pix_fmt = AV_PIX_FMT_YUV420P;
    // libyuv converts with the BT.601 matrix into the limited range; the
    // pictures themselves are sRGB.
    c->color_range = AVCOL_RANGE_MPEG;
    c->colorspace = AVCOL_SPC_SMPTE170M;
    c->color_primaries = AVCOL_PRI_BT709;
    c->color_trc = AVCOL_TRC_IEC61966_2_1;
    if (globalHeader)
        c->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    av_opt_set(c->priv_data, "preset", v.preset, 0);
    av_opt_set(c->priv_data, "x264-params", "cabac=1", 0);
    av_opt_set_double(c->priv_data, "crf", v.crf, 0);
    int r = avcodec_open2(c, codec, nullptr);
    if (r < 0) {
        *error = "cannot start the H.264 encoder: " + avError(r);
        avcodec_free_context(&c);
    }
    return c;
}

static AVCodecContext *openAudioCodec(bool globalHeader, std::string *error)
{
    const AVCodec *codec = avcodec_find_encoder(AV_CODEC_ID_AAC);
    if (!codec) {
        *error = "this FFmpeg has no AAC encoder";
        return nullptr;
    }
    AVCodecContext *c = avcodec_alloc_context3(codec);
    c->sample_fmt = AV_SAMPLE_FMT_FLTP;
    c->sample_rate = Soundtrack::rate;
    c->ch_layout = AV_CHANNEL_LAYOUT_STEREO;
    c->bit_rate = 192000;
    c->time_base = AVRational{1, Soundtrack::rate};
    if (globalHeader)
        c->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    int r = avcodec_open2(c, codec, nullptr);
    if (r < 0) {
        *error = "cannot start the AAC encoder: " + avError(r);
        avcodec_free_context(&c);
    }
    return c;
}

static AVStream *addStream(AVFormatContext *format, AVCodecContext *codec)
{
    AVStream *s = avformat_new_stream(format, nullptr);
    if (!s || avcodec_parameters_from_context(s->codecpar, codec) < 0)
        return nullptr;
    s->time_base = codec->time_base;
    return s;
}

bool Mp4Writer::open(const std::string &path, const VideoSettings &video, Soundtrack *soundtrack,
                     std::string *error, const OutputFormat &container)
{
    music = soundtrack;
    fps = video.fps;
    // The encoders' own reports (settings, statistics) are not for the user;
    // failures come back through the calls and are reported by them, with
    // the log's last error line.
    av_log_set_level(AV_LOG_ERROR);
    av_log_set_callback(keepFfmpegLog);
    takeFfmpegError();
    int r = avformat_alloc_output_context2(&format, nullptr, container.muxer.c_str(), path.c_str());
    if (r < 0) {
        *error = "cannot make a " + container.muxer + " file: " + avError(r);
        return false;
    }
    bool globalHeader = format->oformat->flags & AVFMT_GLOBALHEADER;
    videoCodec = openVideoCodec(video, globalHeader, error);
    if (!videoCodec)
        return false;
    audioCodec = openAudioCodec(globalHeader, error);
    if (!audioCodec)
        return false;
    videoStream = addStream(format, videoCodec);
    audioStream = addStream(format, audioCodec);
    if (!videoStream || !audioStream) {
        *error = "cannot add the streams to the MP4 file";
        return false;
    }
    videoStream->avg_frame_rate = videoCodec->framerate;

    picture = av_frame_alloc();
    sound = av_frame_alloc();
    packet = av_packet_alloc();
    if (!picture || !sound || !packet) {
        *error = "out of memory";
        return false;
    }
    picture->format = AV_PIX_FMT_YUV420P;
    picture->width = video.width;
    picture->height = video.height;
    sound->format = AV_SAMPLE_FMT_FLTP;
    sound->sample_rate = Soundtrack::rate;
    sound->ch_layout = AV_CHANNEL_LAYOUT_STEREO;
    sound->nb_samples = audioCodec->frame_size;
    if (av_frame_get_buffer(picture, 0) < 0 || av_frame_get_buffer(sound, 0) < 0) {
        *error = "out of memory";
        return false;
    }

    r = avio_open(&format->pb, path.c_str(), AVIO_FLAG_WRITE);
    if (r < 0) {
        *error = "cannot write " + path + ": " + avError(r);
        return false;
    }
    // MP4 and QuickTime: the index goes to the front once the file is
    // complete, so that a player can start before it has the whole file. A
    // stream cannot go back to the front: it starts with an empty index and
    // carries its frames in fragments, one from each key frame.
    AVDictionary *muxerOptions = nullptr;
    if (container.streamed)
        av_dict_set(&muxerOptions, "movflags", "+frag_keyframe+empty_moov+default_base_moof", 0);
    else if (container.muxer == "mp4" || container.muxer == "mov")
        av_dict_set(&muxerOptions, "movflags", "+faststart", 0);
    r = avformat_write_header(format, &muxerOptions);
    av_dict_free(&muxerOptions);
    if (r < 0) {
        *error = "cannot write " + path + ": " + avError(r);
        return false;
    }
    return true;
}

// Hands `frame` (or, for none, the end of the stream) to the encoder and
// writes every packet that comes out.
bool Mp4Writer::send(AVCodecContext *codec, AVStream *stream, AVFrame *frame, std::string *error)
{
    int r = avcodec_send_frame(codec, frame);
    if (r < 0) {
        *error = "encoding failed: " + avError(r);
        return false;
    }
    for (;;) {
        r = avcodec_receive_packet(codec, packet);
        if (r == AVERROR(EAGAIN) || r == AVERROR_EOF)
            return true;
        if (r < 0) {
            *error = "encoding failed: " + avError(r);
            return false;
        }
        // libx264 leaves the duration at 0, and some versions of the MP4
        // muxer then drop the last frame: every frame lasts one tick.
        if (codec == videoCodec)
            packet->duration = 1;
        av_packet_rescale_ts(packet, codec->time_base, stream->time_base);
        packet->stream_index = stream->index;
        r = av_interleaved_write_frame(format, packet);
        if (r < 0) {
            *error = "writing failed: " + avError(r);
            return false;
        }
    }
}

bool Mp4Writer::encodeAudioUntil(int64_t samples, std::string *error)
{
    while (samplesSent < samples) {
        int n = (int)std::min<int64_t>(audioCodec->frame_size, samples - samplesSent);
        if (av_frame_make_writable(sound) < 0) {
            *error = "out of memory";
            return false;
        }
        sound->nb_samples = n;
        music->read((float *)sound->data[0], (float *)sound->data[1], (size_t)n);
        sound->pts = samplesSent;
        samplesSent += n;
        if (!send(audioCodec, audioStream, sound, error))
            return false;
    }
    return true;
}

// The soundtrack's length for `frames` video frames, in samples.
static int64_t samplesFor(int64_t frames, int fps)
{
    return frames * Soundtrack::rate / fps;
}

bool Mp4Writer::addPicture(const uint8_t *rgba, unsigned copies, std::string *error)
{
    if (av_frame_make_writable(picture) < 0) {
        *error = "out of memory";
        return false;
    }
    // libyuv's "ABGR" is R, G, B, A in memory; a negative height reads the
    // rows from the last up, which turns OpenGL's bottom-up picture upright.
    libyuv::ABGRToI420(rgba, picture->width * 4,
                       picture->data[0], picture->linesize[0],
                       picture->data[1], picture->linesize[1],
                       picture->data[2], picture->linesize[2],
                       picture->width, -picture->height);
    for (unsigned i = 0; i < copies; ++i) {
        picture->pts = videoFrames++;
        if (!send(videoCodec, videoStream, picture, error))
            return false;
    }
    // Only whole audio frames while the video goes on: a short one must be
    // the last.
    int64_t due = samplesFor(videoFrames, fps);
    int frameSize = audioCodec->frame_size;
    return encodeAudioUntil(samplesSent + (due - samplesSent) / frameSize * frameSize, error);
}

bool Mp4Writer::finish(std::string *error)
{
    if (!encodeAudioUntil(samplesFor(videoFrames, fps), error))
        return false;
    if (!send(videoCodec, videoStream, nullptr, error) || !send(audioCodec, audioStream, nullptr, error))
        return false;
    int r = av_write_trailer(format);
    if (r < 0) {
        *error = "writing failed: " + avError(r);
        return false;
    }
    r = avio_closep(&format->pb);
    if (r < 0) {
        *error = "writing failed: " + avError(r);
        return false;
    }
    return true;
}
