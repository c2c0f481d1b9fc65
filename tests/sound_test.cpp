// sound_test.cpp -- the music layer against SDL's file-writing and missing
// audio drivers, with the show's real module.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fcntl.h>
#include <fstream>
#include <iterator>
#include <memory>
#include <mutex>
#include <string>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <thread>
#include <unistd.h>
#include <vector>

#include <libopenmpt/libopenmpt.h>

#include "disk_device.h"
#include "sound.h"

namespace {

const std::string modulePath = std::string(DEMO_BINARY_DIR) + "/demomain.xm";

std::string scratchDir()
{
    static std::string dir = [] {
        char tmpl[] = "/tmp/sound-test-XXXXXX";
        return std::string(mkdtemp(tmpl));
    }();
    return dir;
}

std::vector<char> readAll(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    return std::vector<char>(std::istreambuf_iterator<char>(in), {});
}

void writeAll(const std::string &path, const std::vector<char> &bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), (std::streamsize)bytes.size());
}

// libopenmpt's own rendering of the module, 16-bit stereo: from its start
// or from the start of order `fromOrder`, repeating as `repeatCount` says;
// shorter than asked where the module ends first.
std::vector<int16_t> referenceRender(size_t frameCount, int repeatCount = -1, int fromOrder = 0)
{
    std::vector<char> file = readAll(modulePath);
    openmpt_module *mod = openmpt_module_create_from_memory2(file.data(), file.size(), nullptr, nullptr, nullptr,
                                                             nullptr, nullptr, nullptr, nullptr);
    std::vector<int16_t> pcm(frameCount * 2);
    if (!mod)
        return {};
    openmpt_module_set_repeat_count(mod, repeatCount);
    if (fromOrder > 0)
        openmpt_module_set_position_order_row(mod, fromOrder, 0);
    size_t done = 0;
    while (done < frameCount) {
        size_t n = openmpt_module_read_interleaved_stereo(mod, 44100, std::min<size_t>(1024, frameCount - done),
                                                          pcm.data() + 2 * done);
        if (n == 0)
            break;
        done += n;
    }
    openmpt_module_destroy(mod);
    pcm.resize(done * 2);
    return pcm;
}

std::vector<int16_t> readPcm(const std::string &path)
{
    std::vector<char> bytes = readAll(path);
    std::vector<int16_t> pcm(bytes.size() / 2);
    memcpy(pcm.data(), bytes.data(), pcm.size() * 2);
    return pcm;
}

// The largest sample difference between `count` frames of a from frame
// `ai` and of b from frame `bi`.
int worstDifference(const std::vector<int16_t> &a, size_t ai, const std::vector<int16_t> &b, size_t bi, size_t count)
{
    int worst = 0;
    for (size_t i = 0; i < count * 2; ++i)
        worst = std::max(worst, std::abs(a[ai * 2 + i] - b[bi * 2 + i]));
    return worst;
}


double rms(const std::vector<int16_t> &pcm, size_t from, size_t count)
{
    double sum = 0;
    for (size_t i = from * 2; i < (from + count) * 2; ++i)
        sum += (double)pcm[i] * pcm[i];
    return std::sqrt(sum / (double)(count * 2));
}

double threadCpuMs()
{
    timespec t;
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return (double)t.tv_sec * 1e3 + (double)t.tv_nsec / 1e6;
}

// The system call a thread of this process is in, by name where it is one
// a load could block in.
std::string systemCallOf(pid_t tid)
{
    std::ifstream in("/proc/self/task/" + std::to_string(tid) + "/syscall");
    long number = -1;
    if (!(in >> number))
        return "an unknown place";
    switch (number) {
    case SYS_openat: return "a blocking open (openat)";
    case SYS_open: return "a blocking open (open)";
    case SYS_read: return "a read";
    default: return "system call " + std::to_string(number);
    }
}

// A load that cannot hang the test: musicLoad runs on a thread of its own.
// A file that is only refused is answered at once; a load still running
// after a few seconds (whatever the machine's load, far beyond any file's)
// is waiting for something and fails, naming the system call it waits in.
// It is then set free: a FIFO's reader is released by a writer's open.
struct Load {
    MusicModule *module = nullptr;
    double cpuMs = 0;           // the loading thread's processor time
    std::string blocked;        // where it waited, if it did not return
};

Load watchedLoad(const std::string &path)
{
    struct Shared {
        std::mutex m;
        std::condition_variable cv;
        bool done = false;
        pid_t tid = 0;
        Load load;
    };
    auto shared = std::make_shared<Shared>();
    std::thread loader([shared, path] {
        {
            std::lock_guard<std::mutex> lock(shared->m);
            shared->tid = (pid_t)syscall(SYS_gettid);
        }
        double cpu0 = threadCpuMs();
        MusicModule *m = musicLoad(path.c_str());
        double cpu = threadCpuMs() - cpu0;
        std::lock_guard<std::mutex> lock(shared->m);
        shared->load.module = m;
        shared->load.cpuMs = cpu;
        shared->done = true;
        shared->cv.notify_all();
    });
    std::unique_lock<std::mutex> lock(shared->m);
    if (!shared->cv.wait_for(lock, std::chrono::seconds(3), [&] { return shared->done; })) {
        std::string where = systemCallOf(shared->tid);
        lock.unlock();
        int writer = open(path.c_str(), O_WRONLY | O_NONBLOCK);
        if (writer >= 0)
            close(writer);
        lock.lock();
        shared->cv.wait_for(lock, std::chrono::seconds(3), [&] { return shared->done; });
        shared->load.blocked = where;
    }
    bool done = shared->done;
    Load load = shared->load;
    lock.unlock();
    if (done)
        loader.join();
    else
        loader.detach();        // still stuck: the test has failed already
    return load;
}

// The processor time of loading the show's own module, the most work a
// load does: the median of three.
double goodLoadCpuMs()
{
    std::vector<double> ms;
    for (int i = 0; i < 3; ++i)
        ms.push_back(watchedLoad(modulePath).cpuMs);
    std::sort(ms.begin(), ms.end());
    return ms[1];
}

}  // namespace

TEST(Music, ReachesTheAudioDeviceAsTheModuleSounds)
{
    std::string out = scratchDir() + "/device.raw";
    setenv("SDL_AUDIODRIVER", "disk", 1);
    setenv("SDL_DISKAUDIOFILE", out.c_str(), 1);
    auto opening = std::chrono::steady_clock::now();
    ASSERT_TRUE(soundInit(44100, 32));
    MusicModule *song = musicLoad(modulePath.c_str());
    ASSERT_NE(song, nullptr);
    musicPlay(song);
    double beforePlay = std::chrono::duration<double>(std::chrono::steady_clock::now() - opening).count();
    std::this_thread::sleep_for(std::chrono::milliseconds(1500));   // the disk device plays in real time
    musicStop(song);
    soundClose();
    unsetenv("SDL_DISKAUDIOFILE");

    std::vector<int16_t> device = readPcm(out);
    ASSERT_GT(device.size(), 44100u * 2) << "less than a second reached the device";

    // The device may have played silence before playback began; from the
    // module's first sound on, it must have received exactly the module.
    std::vector<int16_t> ref = referenceRender(device.size() / 2);
    size_t d0 = firstSound(device), r0 = firstSound(ref);
    ASSERT_LT(d0, device.size() / 2) << "the device received only silence";
    size_t span = std::min(device.size() / 2 - d0, ref.size() / 2 - r0);
    ASSERT_GT(span, 22050u);
    // The player dithers its 16-bit output, so two renderings may differ by
    // a step or two; a different sound would differ by far more.
    EXPECT_LE(worstDifference(device, d0, ref, r0, span), 2);
    EXPECT_GT(rms(ref, r0, span), 100.0) << "the compared stretch is nearly silent";
    // Until the module plays the device receives silence, in real time at
    // most (it sleeps a buffer's length after each buffer): so the module
    // starts no later than the time spent before musicPlay returned, plus
    // the buffer then being written and the one after it (1024 frames each).
    EXPECT_LE(d0 - r0, beforePlay * 44100 + 2 * 1024)
        << "playback began " << (d0 - r0) / 44.1 << " ms in, musicPlay returned after " << beforePlay * 1e3 << " ms";
}

// The show outlasts the module on a slow machine: the layer must start it
// over from its restart position, not fall silent.
TEST(Music, KeepsPlayingFromTheRestartPastTheModulesEnd)
{
    std::vector<char> file = readAll(modulePath);
    ASSERT_GT(file.size(), 80u);
    const int restart = (unsigned char)file[66] | (unsigned char)file[67] << 8;  // the XM header's restart order
    const size_t second = 44100;
    std::vector<int16_t> once = referenceRender(300 * second, 0);   // one pass, with the last notes' tails
    const size_t pass = once.size() / 2;
    ASSERT_GT(pass, 60 * second);
    ASSERT_LT(pass, 300 * second);

    // The disk device as fast as the layer renders, not in real time.
    DiskDevicePlay played = playThroughDiskDevice(modulePath, scratchDir() + "/past-the-end.raw", pass + 10 * second);
    ASSERT_TRUE(played.opened);
    ASSERT_TRUE(played.loaded);
    const std::vector<int16_t> &device = played.pcm;
    size_t d0 = firstSound(device), r0 = firstSound(once);
    ASSERT_GE(d0, r0);
    const size_t at = d0 - r0;                  // the module's first frame on the device
    ASSERT_GE(device.size() / 2, at + pass + 8 * second) << "the device got too little to compare";
    // The device follows the first pass until the module starts over, at
    // its end...
    size_t loop = 0;
    while (loop < pass && std::abs(device[(at + loop) * 2] - once[loop * 2]) <= 2 &&
           std::abs(device[(at + loop) * 2 + 1] - once[loop * 2 + 1]) <= 2)
        ++loop;
    EXPECT_GT(loop, pass - second) << "the device left the module " << (double)(pass - loop) / second
                                   << " s before its end";
    // ...and then plays it as it sounds from the restart order: compared from
    // a second in, when the tails of the last notes have died away.
    std::vector<int16_t> restarted = referenceRender(8 * second, 0, restart);
    ASSERT_EQ(restarted.size(), 8 * second * 2);
    EXPECT_LE(worstDifference(device, at + loop + second, restarted, second, 7 * second), 2);
    EXPECT_GT(rms(device, at + loop + second, 7 * second), 100.0) << "silence after the module's end";
}

// The show's whole use of the layer, start to close, in seconds.
double musicStartToClose(bool *opened, MusicModule **song)
{
    auto t0 = std::chrono::steady_clock::now();
    *opened = soundInit(44100, 32);
    *song = musicLoad(modulePath.c_str());
    musicPlay(*song);
    musicStop(*song);
    soundClose();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
}

TEST(Music, NoAudioDeviceLeavesTheShowSilent)
{
    // A device that fails costs no more time than one that works (SDL's
    // silent driver, measured here first), which also starts and stops a
    // thread of its own.
    setenv("SDL_AUDIODRIVER", "dummy", 1);
    bool opened = false;
    MusicModule *song = nullptr;
    double working = musicStartToClose(&opened, &song);
    ASSERT_TRUE(opened);
    for (const char *driver : {"nonexistent", "disk"}) {
        SCOPED_TRACE(driver);
        setenv("SDL_AUDIODRIVER", driver, 1);
        // For the disk driver, an output file that cannot be created.
        setenv("SDL_DISKAUDIOFILE", "/nonexistent-dir/out.raw", 1);
        testing::internal::CaptureStderr();
        double seconds = musicStartToClose(&opened, &song);
        std::string err = testing::internal::GetCapturedStderr();
        EXPECT_FALSE(opened);
        EXPECT_NE(song, nullptr) << "the module itself is fine";
        EXPECT_NE(err.find("music off"), std::string::npos) << err;
        EXPECT_LE(seconds, 2 * working) << "a working device took " << working << " s";
    }
    unsetenv("SDL_DISKAUDIOFILE");
}

TEST(Music, BadFilesLoadAsNoneWithoutWaiting)
{
    const std::string dir = scratchDir();
    std::vector<char> good = readAll(modulePath);
    ASSERT_GT(good.size(), 1000u);

    writeAll(dir + "/empty.xm", {});
    std::vector<char> noise(20000);
    unsigned x = 12345;
    for (char &c : noise)
        c = (char)((x = x * 1103515245u + 12345u) >> 16);
    writeAll(dir + "/noise.xm", noise);
    mkdir((dir + "/directory.xm").c_str(), 0755);
    mkfifo((dir + "/fifo.xm").c_str(), 0644);
    symlink("/dev/zero", (dir + "/zero.xm").c_str());
    {
        int fd = open((dir + "/huge.xm").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        ASSERT_GE(fd, 0);
        ASSERT_EQ(pwrite(fd, good.data(), good.size(), 0), (ssize_t)good.size());
        ASSERT_EQ(ftruncate(fd, musicMaxFileBytes + 1), 0);     // sparse: costs no disk
        close(fd);
    }

    // Each is refused with less work than loading a real module takes.
    testing::internal::CaptureStderr();
    double goodMs = goodLoadCpuMs();
    testing::internal::GetCapturedStderr();
    for (const char *name : {"missing.xm", "empty.xm", "noise.xm", "directory.xm", "fifo.xm", "zero.xm",
                             "huge.xm"}) {
        SCOPED_TRACE(name);
        testing::internal::CaptureStderr();
        Load l = watchedLoad(dir + "/" + name);
        std::string err = testing::internal::GetCapturedStderr();
        ASSERT_EQ(l.blocked, "") << "musicLoad(\"" << name << "\") did not return: it waits in " << l.blocked;
        EXPECT_EQ(l.module, nullptr);
        EXPECT_LE(l.cpuMs, goodMs) << "the show's own module loads in " << goodMs << " ms of processor time";
        // One short line saying why, and nothing else.
        EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1) << err;
        EXPECT_NE(err.find("music off"), std::string::npos) << err;
    }

    // Truncated and hostile modules may load or not, but with no more work
    // than the whole module, and a module that loads must play without harm.
    setenv("SDL_AUDIODRIVER", "dummy", 1);
    ASSERT_TRUE(soundInit(44100, 32));
    for (size_t cut : {(size_t)60, (size_t)336, good.size() / 3, good.size() - 1}) {
        SCOPED_TRACE("cut at " + std::to_string(cut));
        writeAll(dir + "/cut.xm", std::vector<char>(good.begin(), good.begin() + (long)cut));
        testing::internal::CaptureStderr();
        Load l = watchedLoad(dir + "/cut.xm");
        testing::internal::GetCapturedStderr();
        ASSERT_EQ(l.blocked, "") << "musicLoad of a cut module did not return: it waits in " << l.blocked;
        EXPECT_LE(l.cpuMs, 2 * goodMs) << "the whole module loads in " << goodMs << " ms of processor time";
        musicPlay(l.module);
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        musicStop(l.module);
    }
    soundClose();
}

TEST(Music, SystemAudioSaysAtMostOneLine)
{
    // Whatever the machine has, the layer alone speaks: nothing when the
    // device opens, one line when it does not, and no library chatter.
    setenv("SDL_AUDIODRIVER", "alsa", 1);
    testing::internal::CaptureStderr();
    bool opened = soundInit(44100, 32);
    soundClose();
    std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), opened ? 0 : 1) << err;
}
