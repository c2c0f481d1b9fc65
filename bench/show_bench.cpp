// show_bench.cpp -- the show as `start` runs it, timed from inside, and the
// floor beneath it.
//
// main is the show's own showMain: the window, the frames and the music are
// the real ones. The show's seams (platform.h, showFrame) put this file
// after every frame, in place of the slideshow's sleeps, which return at
// once, so the run is the frames plus a moment, and in the way out. The
// link (see CMakeLists.txt) routes the audio callback's rendering,
// openmpt_module_read_interleaved_stereo, through this file, which times it
// and passes it on.
//
// With BENCH_FLOOR=1 it is the floor instead, the least a frame can cost:
// the show's window (double-buffered RGB with depth, made full screen) only
// cleared and swapped, as many frames as the show's course, back to back,
// with no music. What the show spends above this is its own drawing.
//
// Reports on stderr, one line each, "bench: <key> <value>", for bench/run.py:
//   first-frame <t>          the moment the first frame's swap returned, in
//                            CLOCK_MONOTONIC seconds, which the driver
//                            shares, so it can measure from its start of the
//                            program
//   renderer <name>          the GL renderer's name
//   frames <n>, frame-seconds <s>  frames 2 to n drawn in s seconds
//   thread-share <name> <share>    CPU per thread while the frames ran
//   audio-blocks <n>, audio-block-seconds <s>, audio-render-max <s>,
//   audio-render-p99 <s>, audio-render-median <s>, audio-late <n>
//                            the callback's renders while the frames ran
//   peak-rss-mib <m>         at the end
//
// With BENCH_FIRST_FRAME_ONLY=1 it ends right after the first frame. It reads
// --fps as `start` does (bench/pace.py times the paced course).
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <map>
#include <mutex>
#include <string>
#include <sys/resource.h>
#include <unistd.h>
#include <vector>

#include <GL/glut.h>

#include "demo.h"
#include "pacer.h"
#include "platform.h"

extern "C" {
struct openmpt_module;
size_t __real_openmpt_module_read_interleaved_stereo(openmpt_module *mod, int32_t rate, size_t count,
                                                     int16_t *stereo);
size_t __wrap_openmpt_module_read_interleaved_stereo(openmpt_module *mod, int32_t rate, size_t count,
                                                     int16_t *stereo);
}

static const unsigned courseFrames = 2722;

static bool firstFrameOnly, floorOnly;
static void (*benchedFrame)();      // the show's frame (paced or not), or the floor's
static double firstFrameAt;
static std::map<std::string, double> cpuAtFirstFrame;
static bool courseReported;

// Written by the audio thread, read by the main thread once the frames end.
static std::mutex audioLock;
static std::vector<double> renderSeconds;
static double blockSeconds;

static bool flag(const char *name)
{
    const char *value = getenv(name);
    return value && *value == '1';
}

// CLOCK_MONOTONIC in seconds.
static double now()
{
    struct timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return (double)ts.tv_sec + (double)ts.tv_nsec * 1e-9;
}

// dprintf writes each line in one write, so the audio thread's output
// cannot cut into it.
static void report(const char *key, double value)
{
    dprintf(2, "bench: %s %.9g\n", key, value);
}

// Nanoseconds of CPU each thread of this process has run so far, by thread
// name (threads sharing a name are added up), from /proc/self/task.
static std::map<std::string, double> threadCpu()
{
    std::map<std::string, double> cpu;
    std::error_code failed;
    for (const auto &task : std::filesystem::directory_iterator("/proc/self/task", failed)) {
        std::string name;
        double ns = 0;
        std::ifstream comm(task.path() / "comm");
        std::ifstream sched(task.path() / "schedstat");    // first field: ns spent running
        if (!std::getline(comm, name) || !(sched >> ns))
            continue;
        // llvmpipe-0, llvmpipe-1, ...: numbered workers count as one kind.
        size_t dash = name.find_last_of('-');
        if (dash != std::string::npos && dash + 1 < name.size()
            && name.find_first_not_of("0123456789", dash + 1) == std::string::npos)
            name.erase(dash);
        cpu[name] += ns;
    }
    return cpu;
}

size_t __wrap_openmpt_module_read_interleaved_stereo(openmpt_module *mod, int32_t rate, size_t count,
                                                     int16_t *stereo)
{
    double start = now();
    size_t done = __real_openmpt_module_read_interleaved_stereo(mod, rate, count, stereo);
    double took = now() - start;
    std::lock_guard<std::mutex> hold(audioLock);
    renderSeconds.push_back(took);
    blockSeconds = (double)count / rate;
    return done;
}

static double quantile(std::vector<double> v, double q)
{
    if (v.empty())
        return 0;
    std::sort(v.begin(), v.end());
    return v[std::min(v.size() - 1, (size_t)(q * (v.size() - 1) + 0.5))];
}

// The figures of the frames drawn since the first: their time, each
// thread's share of one core, and the audio callback's renders.
static void reportCourse()
{
    double seconds = now() - firstFrameAt;
    std::map<std::string, double> cpu = threadCpu();
    report("frames", (double)frames);
    report("frame-seconds", seconds);
    for (const auto &t : cpu) {
        double share = (t.second - cpuAtFirstFrame[t.first]) * 1e-9 / seconds;
        dprintf(2, "bench: thread-share %s %.4f\n", t.first.c_str(), share);
    }

    std::lock_guard<std::mutex> hold(audioLock);
    size_t late = (size_t)std::count_if(renderSeconds.begin(), renderSeconds.end(),
                                        [](double s) { return s > blockSeconds; });
    report("audio-blocks", (double)renderSeconds.size());
    report("audio-block-seconds", blockSeconds);
    report("audio-render-max", quantile(renderSeconds, 1.0));
    report("audio-render-p99", quantile(renderSeconds, 0.99));
    report("audio-render-median", quantile(renderSeconds, 0.5));
    report("audio-late", (double)late);
}

static void reportAndExit(int status)
{
    struct rusage usage;
    getrusage(RUSAGE_SELF, &usage);
    report("peak-rss-mib", usage.ru_maxrss / 1024.0);
    exit(status);
}

// The floor's frame: the show's window cleared and swapped.
static void floorFrame()
{
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    frames += 1;
    glutSwapBuffers();
}

// The frame GLUT runs: the benched frame, whose last call is the swap, then
// a look at the count.
static void timedFrame()
{
    benchedFrame();
    if (frames == 1) {
        firstFrameAt = now();
        report("first-frame", firstFrameAt);
        dprintf(2, "bench: renderer %s\n", (const char *)glGetString(GL_RENDERER));
        if (firstFrameOnly)
            _exit(0);
        cpuAtFirstFrame = threadCpu();
        std::lock_guard<std::mutex> hold(audioLock);
        renderSeconds.clear();          // from here on the frames run flat out
    } else if (floorOnly && frames == courseFrames) {
        reportCourse();
        reportAndExit(0);
    }
}

// The slideshow's first sleep comes right after the course's last frame,
// with the music still playing: the moment to read the course's figures.
static void noSleep(unsigned)
{
    if (!courseReported)
        reportCourse();
    courseReported = true;
}

int main(int argc, char **argv)
{
    firstFrameOnly = flag("BENCH_FIRST_FRAME_ONLY");
    floorOnly = flag("BENCH_FLOOR");
    sysSleepSeconds = noSleep;
    sysExit = reportAndExit;
    std::string why;
    if (!pacerTakeOption(&argc, argv, &why)) {
        fprintf(stderr, "show_bench: %s\n", why.c_str());
        return 2;
    }
    benchedFrame = floorOnly ? floorFrame : showFrame;
    showFrame = timedFrame;
    if (!floorOnly)
        return showMain(argc, argv);
    showOpenWindow(&argc, argv, 500, 500, false);
    showRun();
    return 0;
}
