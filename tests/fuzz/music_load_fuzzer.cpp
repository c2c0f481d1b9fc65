// music_load_fuzzer.cpp -- libFuzzer target for the music layer's load path.
//
// Whatever bytes the module file holds, musicLoad gives a module or none; it
// must not crash, hang or leak. Each input is written to an in-memory file
// and loaded by name, through the same open, checks and read as the show's
// "demomain.xm"; soundClose then releases whatever was loaded.
//
// The decoder is a system library built without coverage instrumentation,
// so on its own libFuzzer would see every input as the same few branches of
// our layer and throw the seeds away. The same bytes are therefore also
// handed to the decoder directly, and what it says about them (each kind of
// log message, its error code, the shape of the module it made) is counted
// in libFuzzer's extra counters: inputs that make the decoder behave
// differently count as new.
#include <cctype>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <sys/mman.h>
#include <unistd.h>

#include <libopenmpt/libopenmpt.h>

#include "sound.h"

__attribute__((used, section("__libfuzzer_extra_counters"))) static uint8_t decoderSays[8192];

static void count(unsigned kind, unsigned long long value)
{
    unsigned slot = (unsigned)((kind * 0x9E3779B1u) ^ (unsigned)(value * 0x85EBCA77u)) % sizeof decoderSays;
    if (decoderSays[slot] < 255)
        decoderSays[slot] += 1;
}

// Numbers vary with every input; the kind of message does not.
static void countLogMessage(const char *message, void *)
{
    unsigned long long hash = 1469598103934665603ull;
    for (const char *c = message; *c; ++c)
        if (!isdigit((unsigned char)*c))
            hash = (hash ^ (unsigned char)*c) * 1099511628211ull;
    count(1, hash);
}

static unsigned bucket(long long n)
{
    unsigned b = 0;
    while (n > 0 && b < 40) {
        n >>= 1;
        b += 1;
    }
    return b;
}

static void countWhatTheDecoderMakes(const uint8_t *data, size_t size)
{
    int error = 0;
    openmpt_module *mod = openmpt_module_create_from_memory2(data, size, countLogMessage, nullptr, nullptr,
                                                             nullptr, &error, nullptr, nullptr);
    count(2, (unsigned)error);
    if (!mod)
        return;
    count(3, bucket(openmpt_module_get_num_orders(mod)));
    count(4, bucket(openmpt_module_get_num_patterns(mod)));
    count(5, bucket(openmpt_module_get_num_instruments(mod)));
    count(6, bucket(openmpt_module_get_num_samples(mod)));
    count(7, bucket(openmpt_module_get_num_channels(mod)));
    count(8, bucket((long long)openmpt_module_get_duration_seconds(mod)));
    openmpt_module_destroy(mod);
}

static char path[64];

static int openMemoryFile()
{
    int fd = memfd_create("demomain.xm", MFD_CLOEXEC);
    if (fd < 0) {
        perror("memfd_create");
        abort();
    }
    snprintf(path, sizeof path, "/proc/self/fd/%d", fd);
    return fd;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static int fd = openMemoryFile();
    if (ftruncate(fd, 0) != 0 || (size && pwrite(fd, data, size, 0) != (ssize_t)size)) {
        perror("memory file");
        abort();
    }
    musicLoad(path);
    soundClose();
    countWhatTheDecoderMakes(data, size);
    return 0;
}
