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
#include "sound.h"

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <sys/stat.h>
#include <thread>
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
    std::string raw = std::string(argv[3]) + ".device";

    setenv("SDL_AUDIODRIVER", "disk", 1);
    setenv("SDL_DISKAUDIOFILE", raw.c_str(), 1);
    setenv("SDL_DISKAUDIODELAY", "0", 1);
    if (!soundInit(int(rate), 32))
        return 1;
    MusicModule *song = musicLoad(module);
    if (!song)
        return 1;
    musicPlay(song);
    // The device writes silence as fast as it can until musicPlay: wait for
    // whatever it wrote by then, the wanted seconds and one more.
    struct stat atPlay;
    if (stat(raw.c_str(), &atPlay) != 0)
        return 1;
    const off_t wanted = atPlay.st_size + off_t(frames + rate) * 4;
    for (int waited = 0;; waited += 10) {
        struct stat st;
        if (stat(raw.c_str(), &st) == 0 && st.st_size >= wanted)
            break;
        if (waited > 120000) {
            fprintf(stderr, "desktop_render: the disk device wrote too little\n");
            return 1;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    musicStop(song);
    soundClose();

    std::ifstream in(raw, std::ios::binary);
    std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    remove(raw.c_str());
    const int16_t *samples = reinterpret_cast<const int16_t *>(bytes.data());
    size_t total = bytes.size() / 4, first = 0;
    while (first < total && samples[2 * first] == 0 && samples[2 * first + 1] == 0)
        first++;
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
