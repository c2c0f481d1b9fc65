// desktop_render -- the desktop's rendering of a module, for the browser's
// music test to compare against.
//
//   desktop_render MODULE SECONDS OUT.raw
//
// Plays MODULE through the desktop's own music layer (soundInit, musicLoad,
// musicPlay) into SDL's disk device, which writes what a sound card would
// play, as fast as it can (no delay between buffers). The silence the device
// writes before musicPlay is dropped; OUT.raw holds SECONDS of 16-bit stereo
// at 44100 Hz from the module's first sound (sox -t raw -r 44100 -e signed
// -b 16 -c 2 reads it). It then prints the module's length in seconds as the
// same libopenmpt reports it (one pass, no repeat).
#include "disk_device.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include <libopenmpt/libopenmpt.h>

int main(int argc, char **argv)
{
    if (argc != 4) {
        fprintf(stderr, "usage: desktop_render MODULE SECONDS OUT.raw\n");
        return 2;
    }
    const char *module = argv[1];
    const long rate = 44100;
    const size_t frames = size_t(atof(argv[2]) * rate);
    DiskDevicePlay played = playThroughDiskDevice(module, std::string(argv[3]) + ".device", frames + rate);
    if (!played.opened || !played.loaded)
        return 1;
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
