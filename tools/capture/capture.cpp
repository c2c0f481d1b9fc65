// capture.cpp -- records the whole show to a video file.
//
// The same show as `start`, from the same core library, drawn in a window on
// a virtual X server of our own and encoded frame by frame with the music
// rendered beside it. Needs no display and no sound device.
#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <mutex>
#include <stdexcept>
#include <string>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

#include <GL/freeglut.h>

#include "music_file.h"
#include "mp4_writer.h"
#include "options.h"
#include "platform.h"
#include "private_display.h"
#include "recorder.h"

#ifdef CAPTURE_LEAK_CHECK          // the sanitizer build (DEMO_SANITIZE)
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

static int fail(const std::string &why)
{
    fprintf(stderr, "%s: %s\n", programName.c_str(), why.c_str());
    return 1;
}

// ---- the output file --------------------------------------------------------

// What a file of this type is called in a message.
static const char *kindOf(mode_t mode)
{
    if (S_ISDIR(mode))
        return "a directory";
    if (S_ISCHR(mode) || S_ISBLK(mode))
        return "a device";
    if (S_ISFIFO(mode))
        return "a FIFO";
    if (S_ISSOCK(mode))
        return "a socket";
    return "a special file";
}

// The file a name finally stands for: the name itself, or where its chain
// of symbolic links ends, which need not exist yet. False when the chain
// is too long to follow.
static bool followLinks(const std::string &path, std::string *target)
{
    std::string at = path;
    for (int hops = 0; hops < 40; ++hops) {
        struct stat st;
        if (lstat(at.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) {
            *target = at;
            return true;
        }
        std::string link(4096, '\0');
        ssize_t n = readlink(at.c_str(), &link[0], link.size());
        if (n < 0 || (size_t)n >= link.size())
            return false;
        link.resize((size_t)n);
        size_t slash = at.rfind('/');
        if (link[0] == '/' || slash == std::string::npos)
            at = link;
        else
            at = at.substr(0, slash + 1) + link;    // relative to the link's own folder
    }
    errno = ELOOP;
    return false;
}

// The video is written under a temporary name beside the final one and
// renamed at the end, so an interrupted or failed recording never leaves a
// partial file where a finished one is expected.
struct OutputFile {
    std::string final;              // where the video goes: the name, or its link's target
    std::string temporary;          // removed unless committed
    ~OutputFile()
    {
        if (!temporary.empty())
            unlink(temporary.c_str());
    }

    // False with a one-line reason when `path` cannot be written, or is
    // there but is not a regular file. A link is written through: its
    // target gets the new file beside it and the link stays. Anything else
    // is refused untouched, since the rename at the end would replace it, a
    // device or a FIFO included.
    bool create(const std::string &path, std::string *error)
    {
        struct stat st;
        if (!followLinks(path, &final)) {
            *error = "cannot write " + path + ": " + strerror(errno);
            return false;
        }
        if (stat(final.c_str(), &st) == 0 && !S_ISREG(st.st_mode)) {
            *error = "cannot write " + path + ": it is " + kindOf(st.st_mode) + ", not a regular file";
            return false;
        }
        std::string name = final + ".XXXXXX.part";
        int fd = mkstemps(&name[0], 5);
        if (fd < 0) {
            *error = "cannot write " + path + ": " + strerror(errno);
            return false;
        }
        // mkstemps makes the file private; the video gets the permissions
        // any new file would.
        mode_t mask = umask(0);
        umask(mask);
        fchmod(fd, 0666 & ~mask);
        close(fd);
        temporary = name;
        return true;
    }

    bool commit(const std::string &shown, std::string *error)
    {
        if (rename(temporary.c_str(), final.c_str()) != 0) {
            *error = "cannot write " + shown + ": " + strerror(errno);
            return false;
        }
        temporary.clear();
        return true;
    }
};

// ---- encoding beside the show -------------------------------------------

// The show draws the next frame while this one is converted and encoded on
// a thread of its own. Three buffers, used in turn: one being drawn into,
// one being encoded, one spare so that neither side waits on a short hiccup
// of the other.
class EncodingSink : public FrameSink {
public:
    EncodingSink(Mp4Writer &w, size_t pictureBytes) : writer(w)
    {
        for (std::vector<unsigned char> &b : buffers)
            b.resize(pictureBytes);
        worker = std::thread(&EncodingSink::work, this);
    }
    ~EncodingSink() override
    {
        std::string ignored;
        drain(&ignored);
    }

    // Throws std::runtime_error once the writer has failed.
    unsigned char *nextBuffer() override
    {
        std::unique_lock<std::mutex> hold(lock);
        changed.wait(hold, [this] { return submitted - encoded < count || !failure.empty(); });
        if (!failure.empty())
            throw std::runtime_error(failure);
        return buffers[submitted % count].data();
    }
    void submit(unsigned n) override
    {
        std::lock_guard<std::mutex> hold(lock);
        copies[submitted++ % count] = n;
        changed.notify_all();
    }

    // Waits until every submitted picture is encoded and ends the worker.
    // False with the writer's reason in `error` if any failed.
    bool drain(std::string *error)
    {
        {
            std::lock_guard<std::mutex> hold(lock);
            closing = true;
            changed.notify_all();
        }
        if (worker.joinable())
            worker.join();
        *error = failure;
        return failure.empty();
    }

    std::atomic<uint64_t> framesEncoded{0};

private:
    void work()
    {
        std::unique_lock<std::mutex> hold(lock);
        for (;;) {
            changed.wait(hold, [this] { return encoded < submitted || closing; });
            if (encoded == submitted)
                return;
            unsigned n = copies[encoded % count];
            hold.unlock();
            std::string why;
            bool ok = writer.addPicture(buffers[encoded % count].data(), n, &why);
            hold.lock();
            if (!ok) {
                failure = why.empty() ? "encoding failed" : why;    // never empty: it marks the failure
                changed.notify_all();
                return;
            }
            framesEncoded += n;
            ++encoded;
            changed.notify_all();
        }
    }

    static const unsigned count = 3;
    Mp4Writer &writer;
    std::vector<unsigned char> buffers[count];
    unsigned copies[count] = {};
    uint64_t submitted = 0, encoded = 0;    // pictures handed over, and encoded
    bool closing = false;
    std::string failure;
    std::mutex lock;
    std::condition_variable changed;
    std::thread worker;
};

// ---- the progress bar ---------------------------------------------------

// On a terminal, one line redrawn in place a few times a second: frames
// done of how many, the speed against real time and the time left.
// Elsewhere (a log file, CI) a plain line at every tenth of the way.
static struct {
    bool on, terminal;
    uint64_t expected;              // only for the bar's length and the time left
    int fps;
    std::chrono::steady_clock::time_point started, drawn;
    int tenth;
} progress;

static void showProgress(uint64_t done, bool last)
{
    auto now = std::chrono::steady_clock::now();
    int tenth = (int)(std::min(done, progress.expected) * 10 / progress.expected);
    if (!progress.on
        || (!last && (progress.terminal ? now - progress.drawn < std::chrono::milliseconds(200)
                                        : tenth <= progress.tenth)))
        return;
    progress.drawn = now;
    progress.tenth = tenth;
    uint64_t total = std::max(progress.expected, done);
    int filled = (int)(done * 30 / total);
    std::string line = programName + ": [" + std::string(filled, '#') + std::string(30 - filled, '.') + "] "
                       + std::to_string(done) + "/" + std::to_string(total) + " frames";
    double elapsed = std::chrono::duration<double>(now - progress.started).count();
    if (elapsed > 0 && done > 0) {
        long left = (long)((double)(total - done) * elapsed / (double)done + 0.5);
        char speed[80];
        snprintf(speed, sizeof speed, "  %.2fx real time  %ld:%02ld left", (double)done / progress.fps / elapsed,
                 left / 60, left % 60);
        line += speed;
    }
    fprintf(stderr, progress.terminal ? "\r%s\033[K%s" : "%s%s", line.c_str(),
            progress.terminal && !last ? "" : "\n");
    fflush(stderr);
}

// ---- the recording ------------------------------------------------------

// Closes the window before the server goes: freeglut and Mesa must not
// find their display gone.
struct RecordingWindow {
    ~RecordingWindow()
    {
#ifdef CAPTURE_LEAK_CHECK
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
        url = output.temporary;
    }

    PrivateDisplay display;
    if (!display.start(screenSide, screenSide, &error))
        return fail(error);
    RecordingWindow window;
    if (!openRecordingWindow(display.name(), o.width, o.height, &error))
        return fail(error);

    musicReadFrom(o.module.c_str());
    Mp4Writer writer;
    if (!writer.open(url, o.width, o.height, o.fps, &error, o.muxer, streamed))
        return fail(error);

    EncodingSink sink(writer, (size_t)o.width * o.height * 4);
    auto now = std::chrono::steady_clock::now();
    progress = {!o.quiet, isatty(2) != 0, showDrawnFrames + (uint64_t)showPictureSeconds * o.fps, o.fps,
                now, now, 0};
    RecordingResult show;
    try {
        show = recordShow(o.width, o.height, o.fps, sink, [&] {
            showProgress(sink.framesEncoded, false);
            return stopSignal != 0;
        });
    } catch (const RecordingStopped &) {
        sink.drain(&error);
        fprintf(stderr, "\n%s: interrupted; %s\n", programName.c_str(),
                streamed ? "the video on standard output is cut short" : (o.output + " not written").c_str());
        return 128 + stopSignal;
    } catch (const std::exception &e) {
        sink.drain(&error);
        return fail(e.what());
    }
    if (!sink.drain(&error) || !writer.finish(&error) || (!streamed && !output.commit(o.output, &error)))
        return fail(error);
    showProgress(sink.framesEncoded, true);
    if (!o.quiet)
        fputs(show.statistics.c_str(), stderr);
    return show.exitStatus;
}

int main(int argc, char **argv)
{
    sysGuardStandardStreams();
    programName = sysProgramName();
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
