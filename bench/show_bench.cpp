// show_bench.cpp -- the show as `start` runs it, timed from inside.
//
// main is the show's own showMain: the window, the frames and the music are
// the real ones. The slideshow's sleeps return at once, so the run is the
// frames plus a moment. The link (see CMakeLists.txt) routes two library
// calls of the core through this file, which times them and passes them on:
//
//   glutSwapBuffers                      the first frame on screen, the course's end
//   openmpt_module_read_interleaved_stereo  the audio callback's rendering
//
// Reports on stderr (see bench_probe.h):
//   first-frame <t>          monotonic time the first frame's swap returned
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
#include <mutex>
#include <string>
#include <vector>
#include <unistd.h>

#include <GL/glut.h>

#include "bench_probe.h"
#include "demo.h"
#include "pacer.h"
#include "platform.h"

extern "C" {
void __real_glutSwapBuffers();
void __wrap_glutSwapBuffers();
struct openmpt_module;
size_t __real_openmpt_module_read_interleaved_stereo(openmpt_module *mod, int32_t rate, size_t count,
                                                     int16_t *stereo);
size_t __wrap_openmpt_module_read_interleaved_stereo(openmpt_module *mod, int32_t rate, size_t count,
                                                     int16_t *stereo);
}

static bool firstFrameOnly;
static double firstFrameAt;
static std::map<std::string, double> cpuAtFirstFrame;
static bool courseReported;

// Written by the audio thread, read by the main thread once the frames end.
static std::mutex audioLock;
static std::vector<double> renderSeconds;
static double blockSeconds;

void __wrap_glutSwapBuffers()
{
    __real_glutSwapBuffers();
    if (firstFrameAt == 0 && frames == 1) {
        firstFrameAt = benchNow();
        benchReport("first-frame", firstFrameAt);
        if (firstFrameOnly)
            _exit(0);
        cpuAtFirstFrame = benchThreadCpu();
        std::lock_guard<std::mutex> hold(audioLock);
        renderSeconds.clear();          // from here on the frames run flat out
    }
}

size_t __wrap_openmpt_module_read_interleaved_stereo(openmpt_module *mod, int32_t rate, size_t count,
                                                     int16_t *stereo)
{
    double start = benchNow();
    size_t done = __real_openmpt_module_read_interleaved_stereo(mod, rate, count, stereo);
    double took = benchNow() - start;
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

// The slideshow's first sleep comes right after the course's last frame,
// with the music still playing: the moment to read the course's figures.
static void noSleep(unsigned)
{
    if (courseReported)
        return;
    courseReported = true;
    double now = benchNow();
    std::map<std::string, double> cpu = benchThreadCpu();
    benchReport("frames", (double)frames);
    benchReport("frame-seconds", now - firstFrameAt);
    benchReportThreadShares(cpuAtFirstFrame, cpu, now - firstFrameAt);

    std::lock_guard<std::mutex> hold(audioLock);
    size_t late = (size_t)std::count_if(renderSeconds.begin(), renderSeconds.end(),
                                        [](double s) { return s > blockSeconds; });
    benchReport("audio-blocks", (double)renderSeconds.size());
    benchReport("audio-block-seconds", blockSeconds);
    benchReport("audio-render-max", quantile(renderSeconds, 1.0));
    benchReport("audio-render-p99", quantile(renderSeconds, 0.99));
    benchReport("audio-render-median", quantile(renderSeconds, 0.5));
    benchReport("audio-late", (double)late);
}

static void reportAndExit(int status)
{
    benchReportPeakRss();
    exit(status);
}

int main(int argc, char **argv)
{
    const char *only = getenv("BENCH_FIRST_FRAME_ONLY");
    firstFrameOnly = only && *only == '1';
    sysSleepSeconds = noSleep;
    sysExit = reportAndExit;
    std::string why;
    if (!pacerTakeOption(&argc, argv, &why)) {
        fprintf(stderr, "show_bench: %s\n", why.c_str());
        return 2;
    }
    return showMain(argc, argv);
}
