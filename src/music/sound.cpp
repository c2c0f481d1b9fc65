// sound.cpp -- the music layer on libopenmpt (decoding) and SDL2 (output).
//
// SDL's audio thread pulls samples through audioCallback, which renders them
// straight from the playing module. The main thread only swaps the playing
// module in and out under the device lock.
#include "sound.h"
#include "music_file.h"
#include "system.h"
#include "platform.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

#include <mutex>

#include <SDL.h>
#include <libopenmpt/libopenmpt.h>

struct MusicModule {
    openmpt_module *mod;
    MusicModule *next;          // every loaded module, released by soundClose
};

static SDL_AudioDeviceID device;    // 0 while there is no output
static bool audioUp;                // SDL's audio subsystem is initialised
static int deviceRate;
static MusicModule *playing;        // read by the audio thread under the lock
static MusicModule *loaded;
static const char *moduleFile;      // read instead of the name asked for, when set
static int pullRate;                // > 0: the output is pulled (musicPullAt), no device
static std::mutex pullLock;         // `playing` of the pulled output, read by musicPull

static void musicOff(const char *what, const char *why)
{
    fprintf(stderr, "%s: music off: %s: %s\n", sysProgramName(), what, why);
}

// Runs on SDL's audio thread.
static void audioCallback(void *, Uint8 *stream, int len)
{
    int16_t *out = (int16_t *)stream;
    size_t framesWanted = (size_t)len / (2 * sizeof(int16_t));
    size_t framesDone = 0;
    if (playing)
        framesDone = openmpt_module_read_interleaved_stereo(playing->mod, deviceRate, framesWanted, out);
    if (framesDone < framesWanted)
        memset(out + 2 * framesDone, 0, (framesWanted - framesDone) * 2 * sizeof(int16_t));
}

bool soundInit(int rate, int channels)
{
    if (pullRate > 0) {
        deviceRate = pullRate;
        return true;
    }
    // The audio libraries report every step of a failed device search on
    // stderr by themselves; the layer says in one line why the music is off.
    sysQuietAudioLibraries();
    (void)channels;     // libopenmpt mixes every channel of the module itself
    // The show never reads SDL's event queue, so SDL must leave SIGINT and
    // SIGTERM alone: they have to end the program as they end any other.
    SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
    if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) {
        musicOff("audio", SDL_GetError());
        return false;
    }
    audioUp = true;

    SDL_AudioSpec want, have;
    SDL_zero(want);
    want.freq = rate;
    want.format = AUDIO_S16SYS;
    want.channels = 2;
    want.samples = 1024;
    want.callback = audioCallback;
    device = SDL_OpenAudioDevice(nullptr, 0, &want, &have, SDL_AUDIO_ALLOW_FREQUENCY_CHANGE);
    if (device == 0) {
        musicOff("audio", SDL_GetError());
        // The subsystem stays up until soundClose: shutting it down joins
        // SDL's device-watching thread, which can take a tenth of a second
        // (ALSA's polls every 100 ms) and would hold up the first frame.
        return false;
    }
    deviceRate = have.freq;     // the module is rendered at whatever rate the device runs
    return true;
}

static void discardLog(const char *, void *)
{
}

// Reads the whole of a regular file into a new buffer. Special files are
// refused before a single byte is read: opening does not wait for a FIFO's
// writer, and endless devices never get read at all.
static char *readModuleFile(const char *name, size_t *size, const char **why)
{
    int fd = sysOpenForReading(name);
    if (fd < 0) {
        *why = strerror(errno);
        return nullptr;
    }
    struct stat st;
    static_assert(sizeof st.st_size >= 8, "file sizes beyond 4 GiB must not wrap into small ones");
    char *data = nullptr;
    if (fstat(fd, &st) != 0)
        *why = strerror(errno);
    else if (S_ISDIR(st.st_mode))
        *why = "is a directory";
    else if (!S_ISREG(st.st_mode))
        *why = "not a regular file";
    else if (st.st_size == 0)
        *why = "empty file";
    else if (st.st_size > musicMaxFileBytes)
        *why = "file larger than 64 MiB";
    else if (!(data = (char *)malloc((size_t)st.st_size)))
        *why = "out of memory";
    else {
        size_t got = 0;
        while (got < (size_t)st.st_size) {
            ssize_t n = read(fd, data + got, (size_t)st.st_size - got);
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                break;
            got += (size_t)n;
        }
        if (got == 0) {
            *why = "unreadable";
            free(data);
            data = nullptr;
        }
        *size = got;
    }
    close(fd);
    return data;
}

void musicReadFrom(const char *path)
{
    moduleFile = path;
}

MusicModule *musicLoad(const char *name)
{
    if (moduleFile)
        name = moduleFile;
    size_t size = 0;
    const char *why = "";
    char *data = readModuleFile(name, &size, &why);
    if (!data) {
        musicOff(name, why);
        return nullptr;
    }
    int error = 0;
    openmpt_module *mod = openmpt_module_create_from_memory2(data, size, discardLog, nullptr,
                                                             nullptr, nullptr, &error, nullptr, nullptr);
    free(data);
    if (!mod) {
        musicOff(name, "not a module that can be played");
        return nullptr;
    }
    openmpt_module_set_repeat_count(mod, -1);   // play on through the slideshow, forever

    MusicModule *module = (MusicModule *)malloc(sizeof *module);
    if (!module) {
        openmpt_module_destroy(mod);
        return nullptr;
    }
    module->mod = mod;
    module->next = loaded;
    loaded = module;
    return module;
}

void musicPlay(MusicModule *module)
{
    if (!module || (!device && pullRate == 0))
        return;
    // The module is swapped in under the lock of whoever renders it: SDL's
    // audio thread, or musicPull.
    if (device)
        SDL_LockAudioDevice(device);
    else
        pullLock.lock();
    openmpt_module_set_position_seconds(module->mod, 0.0);
    playing = module;
    if (device) {
        SDL_UnlockAudioDevice(device);
        SDL_PauseAudioDevice(device, 0);
    } else {
        pullLock.unlock();
    }
}

// A pulled output has no device: its module plays on into the recording.
void musicStop(MusicModule *module)
{
    if (!device || !module)
        return;
    SDL_LockAudioDevice(device);
    if (playing == module)
        playing = nullptr;
    SDL_UnlockAudioDevice(device);
}

void soundClose()
{
    if (pullRate > 0)
        return;                     // the module plays on into the recording: musicPullEnd
    if (device) {
        SDL_CloseAudioDevice(device);   // waits for a running callback to return
        device = 0;
    }
    if (audioUp) {
        SDL_QuitSubSystem(SDL_INIT_AUDIO);
        audioUp = false;
    }
    playing = nullptr;
    while (loaded) {
        MusicModule *next = loaded->next;
        openmpt_module_destroy(loaded->mod);
        free(loaded);
        loaded = next;
    }
}

void musicPullAt(int rate)
{
    pullRate = rate;
}

void musicPull(float *left, float *right, size_t count)
{
    size_t done = 0;
    {
        std::lock_guard<std::mutex> hold(pullLock);
        if (pullRate > 0 && playing)
            done = openmpt_module_read_float_stereo(playing->mod, pullRate, count, left, right);
    }
    if (done < count) {
        memset(left + done, 0, (count - done) * sizeof(float));
        memset(right + done, 0, (count - done) * sizeof(float));
    }
}

void musicPullEnd()
{
    {
        std::lock_guard<std::mutex> hold(pullLock);
        playing = nullptr;
    }
    pullRate = 0;
    soundClose();
}
