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
#include <memory>
#include <mutex>
#include <string>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <thread>
#include <unistd.h>
#include <vector>

#include <libopenmpt/libopenmpt.h>

#include <SDL.h>

#include "child_process.h"
#include "disk_device.h"
#include "files.h"
#include "sound.h"

namespace {

const std::string modulePath = std::string(DEMO_BINARY_DIR) + "/demomain.xm";

std::string scratchDir()
{
    static ScratchDir dir("sound-test");
    return dir.path();
}

// libopenmpt's own rendering of the module, 16-bit stereo at `rate`: from
// its start or from the start of order `fromOrder`, repeating as
// `repeatCount` says; shorter than asked where the module ends first.
std::vector<int16_t> referenceRender(size_t frameCount, int repeatCount = -1, int fromOrder = 0, int rate = 44100)
{
    std::string file = readFile(modulePath);
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
        size_t n = openmpt_module_read_interleaved_stereo(mod, rate, std::min<size_t>(1024, frameCount - done),
                                                          pcm.data() + 2 * done);
        if (n == 0)
            break;
        done += n;
    }
    openmpt_module_destroy(mod);
    pcm.resize(done * 2);
    return pcm;
}

// The largest sample difference between `count` frames of one channel of a
// (0 left, 1 right) from frame `ai` and of one of b from frame `bi`.
int channelDifference(const std::vector<int16_t> &a, size_t ai, int ac, const std::vector<int16_t> &b, size_t bi,
                      int bc, size_t count)
{
    int worst = 0;
    for (size_t i = 0; i < count; ++i)
        worst = std::max(worst, std::abs(a[(ai + i) * 2 + ac] - b[(bi + i) * 2 + bc]));
    return worst;
}

double channelRms(const std::vector<int16_t> &pcm, size_t from, int channel, size_t count)
{
    double sum = 0;
    for (size_t i = from; i < from + count; ++i)
        sum += (double)pcm[i * 2 + channel] * pcm[i * 2 + channel];
    return std::sqrt(sum / (double)count);
}

double threadCpuMs()
{
    timespec t;
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return (double)t.tv_sec * 1e3 + (double)t.tv_nsec / 1e6;
}

// The system call a thread is blocked in, by name where it is one a load
// could block in.
std::string nameOfCall(long number)
{
    switch (number) {
    case SYS_openat: return "a blocking open (openat)";
    case SYS_open: return "a blocking open (open)";
    case SYS_read: return "a read";
    default: return "system call " + std::to_string(number);
    }
}

// A load that cannot hang the test: musicLoad runs on a thread of its own,
// looked at every 100 ms. It is blocked when it is seen asleep in the
// kernel, in the same system call and without a tick of processor time, at
// every look for two seconds on end: a load that is only slow, on a busy
// machine, runs or waits for a processor in between. A blocked load fails,
// naming the call it waits in, and is then set free: a FIFO's reader is
// released by a writer's open. A load that keeps running for a minute is
// stopped looking at (it never returns: the test has failed).
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
    TaskView first;
    int stillLooks = 0;
    for (int look = 0; look < 600 && !shared->done; ++look) {
        if (shared->cv.wait_for(lock, std::chrono::milliseconds(100), [&] { return shared->done; }))
            break;
        TaskView now = viewTask("/proc/self/task/" + std::to_string(shared->tid));
        bool asleep = now.state == 'S' || now.state == 'D';
        if (asleep && stillLooks > 0 && now.call == first.call && now.ticks == first.ticks)
            ++stillLooks;
        else {
            first = now;
            stillLooks = asleep ? 1 : 0;
        }
        if (stillLooks > 20) {
            shared->load.blocked = nameOfCall(now.call);
            break;
        }
    }
    if (!shared->done && shared->load.blocked.empty())
        shared->load.blocked = "a load that did not end (" + nameOfCall(viewTask("/proc/self/task/" + std::to_string(shared->tid)).call) + ")";
    if (!shared->done) {
        lock.unlock();
        int writer = open(path.c_str(), O_WRONLY | O_NONBLOCK);
        if (writer >= 0)
            close(writer);
        lock.lock();
        shared->cv.wait_for(lock, std::chrono::seconds(3), [&] { return shared->done; });
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

// The processor time of loading `path`: the median of three, since one
// reading is at the mercy of whatever else the machine does.
double loadCpuMs(const std::string &path)
{
    std::vector<double> ms;
    for (int i = 0; i < 3; ++i)
        ms.push_back(watchedLoad(path).cpuMs);
    std::sort(ms.begin(), ms.end());
    return ms[1];
}

}  // namespace

// The disk device, in real time, at the rate it chooses: from the module's
// first sound on it must have received exactly the module as libopenmpt
// renders it at that rate, left channel for left and right for right.
class MusicAtDeviceRate : public testing::TestWithParam<int> {
};

TEST_P(MusicAtDeviceRate, ReachesTheAudioDeviceAsTheModuleSounds)
{
    const int rate = GetParam();
    std::string out = scratchDir() + "/device-" + std::to_string(rate) + ".raw";
    setenv("SDL_AUDIODRIVER", "disk", 1);
    setenv("SDL_DISKAUDIOFILE", out.c_str(), 1);
    diskDeviceRate = rate;
    auto opening = std::chrono::steady_clock::now();
    bool opened = soundInit(44100, 32);        // what the show asks for, whatever the device runs at
    diskDeviceRate = 0;
    ASSERT_TRUE(opened);
    ASSERT_EQ(diskDeviceOpened.freq, rate) << "the device did not run at the rate the test gave it";
    MusicModule *song = musicLoad(modulePath.c_str());
    ASSERT_NE(song, nullptr);
    musicPlay(song);
    double beforePlayMs = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - opening).count();
    // The device plays in real time: wait until it holds a second and a
    // half past what it had when playback began (or a minute has gone by,
    // which only stops a device that never plays).
    const off_t wanted = fileSize(out) + (off_t)rate * 4 * 3 / 2;
    for (int i = 0; i < 6000 && fileSize(out) < wanted; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    musicStop(song);
    soundClose();
    unsetenv("SDL_DISKAUDIOFILE");

    std::vector<int16_t> device = readPcm(out);
    std::vector<int16_t> ref = referenceRender(device.size() / 2, -1, 0, rate);
    // The module's first frame on the device: where both first sound
    // clearly, a sample of more than 100 (the first quiet samples may be
    // dither in one render and zero in the other).
    size_t dLoud = firstSound(device, 100), rLoud = firstSound(ref, 100);
    ASSERT_LT(dLoud, device.size() / 2) << "the device received only silence";
    ASSERT_GE(dLoud, rLoud);
    const size_t at = dLoud - rLoud;
    size_t span = std::min(device.size() / 2 - at, ref.size() / 2);
    ASSERT_GE(span, (size_t)rate) << "less than a second of the module reached the device";
    // The player dithers its 16-bit output, so two renderings may differ by
    // a step or two; a different sound, or the other channel, by far more.
    EXPECT_LE(channelDifference(device, at, 0, ref, 0, 0, span), 2) << "left";
    EXPECT_LE(channelDifference(device, at, 1, ref, 0, 1, span), 2) << "right";
    EXPECT_GT(channelDifference(ref, 0, 0, ref, 0, 1, span), 100) << "the channels are too alike to tell apart";
    EXPECT_GT(channelRms(ref, 0, 0, span), 100.0) << "the compared stretch is nearly silent on the left";
    EXPECT_GT(channelRms(ref, 0, 1, span), 100.0) << "the compared stretch is nearly silent on the right";
    // Until the module plays the device receives silence, one buffer at a
    // time, and after each it sleeps the buffer's length in whole
    // milliseconds, rounded down, or longer on a busy machine: so the module
    // starts no later than the buffers that fit in the time spent before
    // musicPlay returned, plus the one then being written and the next.
    const double bufferMs = (double)(diskDeviceOpened.samples * 1000 / rate);
    EXPECT_LE(at, (size_t)(beforePlayMs / bufferMs + 2) * diskDeviceOpened.samples)
        << "playback began " << at * 1000.0 / rate << " ms in, musicPlay returned after " << beforePlayMs
        << " ms";
}

// 44.1 kHz, as the show asks; 48 kHz, the usual mix rate of Windows' and
// many sound servers' devices.
INSTANTIATE_TEST_SUITE_P(Rates, MusicAtDeviceRate, testing::Values(44100, 48000),
                         [](const testing::TestParamInfo<int> &info) { return std::to_string(info.param); });

// The show outlasts the module on a slow machine: the layer must start it
// over from its restart position, not fall silent.
TEST(Music, KeepsPlayingFromTheRestartPastTheModulesEnd)
{
    std::string file = readFile(modulePath);
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
    for (int channel : {0, 1})
        EXPECT_LE(channelDifference(device, at + loop + second, channel, restarted, second, channel, 7 * second), 2);
    // The loudness of both channels together.
    EXPECT_GT(std::hypot(channelRms(device, at + loop + second, 0, 7 * second),
                         channelRms(device, at + loop + second, 1, 7 * second)) / std::sqrt(2.0), 100.0)
        << "silence after the module's end";
}

// The show's whole use of the layer, start to close.
void musicStartToClose(bool *opened, MusicModule **song)
{
    *opened = soundInit(44100, 32);
    *song = musicLoad(modulePath.c_str());
    musicPlay(*song);
    musicStop(*song);
    soundClose();
}

// A device that fails leaves the module loaded and playing into nothing,
// with one line saying why. (That the failing start makes no wait is
// audio_startup_test's to see, in the start's system calls.)
TEST(Music, NoAudioDeviceLeavesTheShowSilent)
{
    for (const char *driver : {"nonexistent", "disk"}) {
        SCOPED_TRACE(driver);
        setenv("SDL_AUDIODRIVER", driver, 1);
        // For the disk driver, an output file that cannot be created.
        setenv("SDL_DISKAUDIOFILE", "/nonexistent-dir/out.raw", 1);
        bool opened = true;
        MusicModule *song = nullptr;
        testing::internal::CaptureStderr();
        musicStartToClose(&opened, &song);
        std::string err = testing::internal::GetCapturedStderr();
        EXPECT_FALSE(opened);
        EXPECT_NE(song, nullptr) << "the module itself is fine";
        EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1) << err;
        EXPECT_NE(err.find("music off"), std::string::npos) << err;
    }
    unsetenv("SDL_DISKAUDIOFILE");
}

TEST(Music, BadFilesLoadAsNoneWithoutWaiting)
{
    const std::string dir = scratchDir();
    std::string good = readFile(modulePath);
    ASSERT_GT(good.size(), 1000u);

    writeFile(dir + "/empty.xm", std::string());
    std::string noise(20000, '\0');
    unsigned x = 12345;
    for (char &c : noise)
        c = (char)((x = x * 1103515245u + 12345u) >> 16);
    writeFile(dir + "/noise.xm", noise);
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
    double goodMs = loadCpuMs(modulePath);
    testing::internal::GetCapturedStderr();
    for (const char *name : {"missing.xm", "empty.xm", "noise.xm", "directory.xm", "fifo.xm", "zero.xm",
                             "huge.xm"}) {
        SCOPED_TRACE(name);
        testing::internal::CaptureStderr();
        Load l = watchedLoad(dir + "/" + name);
        std::string err = testing::internal::GetCapturedStderr();
        ASSERT_EQ(l.blocked, "") << "musicLoad(\"" << name << "\") did not return: it waits in " << l.blocked;
        EXPECT_EQ(l.module, nullptr);
        testing::internal::CaptureStderr();
        double refusedMs = loadCpuMs(dir + "/" + name);
        testing::internal::GetCapturedStderr();
        EXPECT_LE(refusedMs, goodMs) << "the show's own module loads in " << goodMs << " ms of processor time";
        // One short line saying why, and nothing else.
        EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1) << err;
        EXPECT_NE(err.find("music off"), std::string::npos) << err;
    }

    // Truncated and hostile modules may load or not, and a module that loads
    // must play without harm. A cut module can cost the loader more than the
    // whole one (three times as much has been seen under the sanitizers),
    // but not ten times: more would be a loop on what it was given.
    setenv("SDL_AUDIODRIVER", "dummy", 1);
    ASSERT_TRUE(soundInit(44100, 32));
    for (size_t cut : {(size_t)60, (size_t)336, good.size() / 3, good.size() - 1}) {
        SCOPED_TRACE("cut at " + std::to_string(cut));
        writeFile(dir + "/cut.xm", good.substr(0, cut));
        testing::internal::CaptureStderr();
        Load l = watchedLoad(dir + "/cut.xm");
        double cutMs = l.blocked.empty() ? loadCpuMs(dir + "/cut.xm") : 0;
        testing::internal::GetCapturedStderr();
        ASSERT_EQ(l.blocked, "") << "musicLoad of a cut module did not return: it waits in " << l.blocked;
        EXPECT_LE(cutMs, 10 * goodMs) << "the whole module loads in " << goodMs << " ms of processor time";
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
