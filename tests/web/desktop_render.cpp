// desktop_render -- the desktop's rendering of a module, for the browser's
// music test to compare against.
//
//   desktop_render MODULE SECONDS OUT.raw [RATE]
//
// Plays MODULE through the desktop's own music layer (soundInit, musicLoad,
// musicPlay) into SDL's disk device, which writes what a sound card would
// play, as fast as it can (no delay between buffers). The layer asks for
// 44100 Hz as the show does; the device runs at RATE (default 44100), as a
// sound card or a sound server running at 48 kHz answers that request. The
// silence the device writes before musicPlay is dropped; OUT.raw holds
// SECONDS of 16-bit stereo at RATE from the module's first sound (sox -t raw
// -r RATE -e signed -b 16 -c 2 reads it). It then prints the module's length
// in seconds as the same libopenmpt reports it (one pass, no repeat).
#include "disk_device.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include <SDL.h>
#include <libopenmpt/libopenmpt.h>


int main(int argc, char **argv)
{
    if (argc != 4 && argc != 5) {
        fprintf(stderr, "usage: desktop_render MODULE SECONDS OUT.raw [RATE]\n");
        return 2;
    }
    const char *module = argv[1];
    diskDeviceRate = argc == 5 ? atoi(argv[4]) : 44100;
    if (diskDeviceRate < 8000 || diskDeviceRate > 192000) {
        fprintf(stderr, "desktop_render: %s: not a sample rate\n", argv[4]);
        return 2;
    }
    const long rate = diskDeviceRate;
    const size_t frames = size_t(atof(argv[2]) * rate);
    DiskDevicePlay played = playThroughDiskDevice(module, std::string(argv[3]) + ".device", frames + rate);
    if (!played.opened || !played.loaded)
        return 1;
    if (diskDeviceOpened.freq != diskDeviceRate) {
        fprintf(stderr, "desktop_render: the device runs at %d Hz, not %d\n", diskDeviceOpened.freq, diskDeviceRate);
        return 1;
    }
    const int16_t *samples = played.pcm.data();
    size_t total = played.pcm.size() / 2, first = firstSound(played.pcm);
    if (total - first < frames) {
        fprintf(stderr, "desktop_render: only %zu frames of sound\n", total - first);
        return 1;
    }

    std::ofstream out(argv[3], std::ios::binary);
    out.write(reinterpret_cast<const char *>(samples + 2 * first), std::streamsize(frames * 4));
    if (!out)
        return 1;

    // The loop's length, from the same library the layer plays with.
    std::vector<char> file;
    std::ifstream mod(module, std::ios::binary);
    file.assign(std::istreambuf_iterator<char>(mod), std::istreambuf_iterator<char>());
    openmpt_module *m = openmpt_module_create_from_memory2(file.data(), file.size(), nullptr, nullptr,
                                                           nullptr, nullptr, nullptr, nullptr, nullptr);
    if (!m)
        return 1;
    printf("%.6f\n", openmpt_module_get_duration_seconds(m));
    openmpt_module_destroy(m);
    return 0;
}
