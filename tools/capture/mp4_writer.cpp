// mp4_writer.cpp -- see mp4_writer.h.
#include "mp4_writer.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <mutex>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
}
#include <libyuv/convert.h>

#include "music_file.h"

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

// The log's last error line ("libx264: invalid width x height (...)"),
// which is then forgotten.
static std::string takeFfmpegError()
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
    if (format)
        avio_closep(&format->pb);
    avformat_free_context(format);
    avcodec_free_context(&videoCodec);
    avcodec_free_context(&audioCodec);
    av_frame_free(&picture);
    av_frame_free(&sound);
    av_packet_free(&packet);
}

// Opens the encoder `c` was made for, with `options` for it, and gives it
// its stream in `format`; `what` names the encoder in a failure.
static AVStream *openStream(AVFormatContext *format, AVCodecContext *c, AVDictionary **options, const char *what,
                            std::string *error)
{
    if (format->oformat->flags & AVFMT_GLOBALHEADER)
        c->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    int r = avcodec_open2(c, nullptr, options);
    av_dict_free(options);
    AVStream *s = nullptr;
    if (r >= 0 && !(s = avformat_new_stream(format, nullptr)))
        r = AVERROR(ENOMEM);
    if (r >= 0)
        r = avcodec_parameters_from_context(s->codecpar, c);
    if (r < 0) {
        *error = std::string("cannot start the ") + what + ": " + avError(r);
        return nullptr;
    }
    s->time_base = c->time_base;
    return s;
}

bool Mp4Writer::open(const std::string &url, int width, int height, int frameRate, std::string *error,
                     const std::string &muxer, bool streamed)
{
    fps = frameRate;
    // The encoders' own reports (settings, statistics) are not for the user;
    // failures come back through the calls and are reported by them, with
    // the log's last error line.
    av_log_set_level(AV_LOG_ERROR);
    av_log_set_callback(keepFfmpegLog);
    takeFfmpegError();
    int r = avformat_alloc_output_context2(&format, nullptr, muxer.c_str(), url.c_str());
    if (r < 0) {
        *error = "cannot make a " + muxer + " file: " + avError(r);
        return false;
    }
    const AVCodec *h264 = avcodec_find_encoder_by_name("libx264");
    const AVCodec *aac = avcodec_find_encoder(AV_CODEC_ID_AAC);
    if (!h264 || !aac) {
        *error = std::string("this FFmpeg has no ") + (h264 ? "AAC" : "libx264") + " encoder";
        return false;
    }
    videoCodec = avcodec_alloc_context3(h264);
    audioCodec = avcodec_alloc_context3(aac);
    picture = av_frame_alloc();
    sound = av_frame_alloc();
    packet = av_packet_alloc();
    if (!videoCodec || !audioCodec || !picture || !sound || !packet) {
        *error = "out of memory";
        return false;
    }

    videoCodec->width = picture->width = width;
    videoCodec->height = picture->height = height;
    videoCodec->time_base = AVRational{1, fps};
    videoCodec->framerate = AVRational{fps, 1};
    videoCodec->pix_fmt = AV_PIX_FMT_YUV420P;
    picture->format = AV_PIX_FMT_YUV420P;
    // libyuv converts with the BT.601 matrix into the limited range; the
    // pictures themselves are sRGB.
    videoCodec->color_range = AVCOL_RANGE_MPEG;
    videoCodec->colorspace = AVCOL_SPC_SMPTE170M;
    videoCodec->color_primaries = AVCOL_PRI_BT709;
    videoCodec->color_trc = AVCOL_TRC_IEC61966_2_1;
    // On a two-core machine x264 takes over half of the time even at its
    // fastest preset (the rest is the show's drawing), so: ultrafast, with
    // CABAC put back (a fifth smaller files for about one millisecond a
    // frame at 720p), and x264's default quality.
    AVDictionary *options = nullptr;
    av_dict_set(&options, "preset", "ultrafast", 0);
    av_dict_set(&options, "x264-params", "cabac=1", 0);
    av_dict_set(&options, "crf", "23", 0);
    if (!(videoStream = openStream(format, videoCodec, &options, "H.264 encoder", error)))
        return false;
    videoStream->avg_frame_rate = videoCodec->framerate;

    audioCodec->sample_fmt = AV_SAMPLE_FMT_FLTP;
    audioCodec->sample_rate = soundtrackRate;
    audioCodec->ch_layout = AV_CHANNEL_LAYOUT_STEREO;
    audioCodec->bit_rate = 192000;
    audioCodec->time_base = AVRational{1, soundtrackRate};
    if (!(audioStream = openStream(format, audioCodec, &options, "AAC encoder", error)))
        return false;
    sound->format = AV_SAMPLE_FMT_FLTP;
    sound->sample_rate = soundtrackRate;
    sound->ch_layout = AV_CHANNEL_LAYOUT_STEREO;
    sound->nb_samples = audioCodec->frame_size;
    if (av_frame_get_buffer(picture, 0) < 0 || av_frame_get_buffer(sound, 0) < 0) {
        *error = "out of memory";
        return false;
    }

    r = avio_open(&format->pb, url.c_str(), AVIO_FLAG_WRITE);
    // MP4 and QuickTime: the index goes to the front once the file is
    // complete, so that a player can start before it has the whole file. A
    // stream cannot go back to the front: it starts with an empty index and
    // carries its frames in fragments, one from each key frame.
    if (streamed)
        av_dict_set(&options, "movflags", "+frag_keyframe+empty_moov+default_base_moof", 0);
    else if (muxer == "mp4" || muxer == "mov")
        av_dict_set(&options, "movflags", "+faststart", 0);
    if (r >= 0)
        r = avformat_write_header(format, &options);
    av_dict_free(&options);
    if (r < 0) {
        *error = "cannot write " + url + ": " + avError(r);
        return false;
    }
    return true;
}

// Hands `frame` (or, for none, the end of the stream) to the encoder and
// writes every packet that comes out.
bool Mp4Writer::send(AVCodecContext *codec, AVStream *stream, AVFrame *frame, std::string *error)
{
    int r = avcodec_send_frame(codec, frame);
    while (r >= 0 && (r = avcodec_receive_packet(codec, packet)) >= 0) {
        // libx264 leaves the duration at 0, and some versions of the MP4
        // muxer then drop the last frame: every frame lasts one tick.
        if (codec == videoCodec)
            packet->duration = 1;
        av_packet_rescale_ts(packet, codec->time_base, stream->time_base);
        packet->stream_index = stream->index;
        if ((r = av_interleaved_write_frame(format, packet)) < 0) {
            *error = "writing failed: " + avError(r);
            return false;
        }
    }
    if (r == AVERROR(EAGAIN) || r == AVERROR_EOF)
        return true;
    *error = "encoding failed: " + avError(r);
    return false;
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
        musicPull((float *)sound->data[0], (float *)sound->data[1], (size_t)n);
        sound->pts = samplesSent;
        samplesSent += n;
        if (!send(audioCodec, audioStream, sound, error))
            return false;
    }
    return true;
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
    int64_t due = videoFrames * soundtrackRate / fps;
    int frameSize = audioCodec->frame_size;
    return encodeAudioUntil(samplesSent + (due - samplesSent) / frameSize * frameSize, error);
}

bool Mp4Writer::finish(std::string *error)
{
    if (!encodeAudioUntil(videoFrames * soundtrackRate / fps, error)
        || !send(videoCodec, videoStream, nullptr, error) || !send(audioCodec, audioStream, nullptr, error))
        return false;
    int r = av_write_trailer(format);
    if (r >= 0)
        r = avio_closep(&format->pb);
    if (r < 0) {
        *error = "writing failed: " + avError(r);
        return false;
    }
    return true;
}
