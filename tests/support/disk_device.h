// disk_device.h -- the music layer's output as SDL's disk device receives it.
#ifndef DISK_DEVICE_H
#define DISK_DEVICE_H

#include <cstddef>
#include <cstdint>
#include <string>
#include <sys/types.h>
#include <vector>

#include <SDL.h>

struct DiskDevicePlay {
    bool opened = false;            // soundInit opened the disk device
    bool loaded = false;            // musicLoad took the module
    std::vector<int16_t> pcm;       // 16-bit stereo, the device's leading silence included
};

// Plays `module` through the music layer (soundInit, musicLoad, musicPlay)
// into SDL's disk device, which writes to `file` what a sound card would
// play, as fast as the layer renders rather than in real time, until the
// device holds `frames` frames past what it had written when playback began
// (two minutes at most). Then stops, closes, reads what the device wrote and
// removes the file.
DiskDevicePlay playThroughDiskDevice(const std::string &module, const std::string &file, size_t frames);

// The music layer's device opens pass through the wrapper in disk_device.cpp
// (a program that links it links with --wrap=SDL_OpenAudioDevice): with
// diskDeviceRate set, the device runs at that rate whatever the layer asks
// for, as a sound card or a sound server does; diskDeviceOpened is what the
// last open that succeeded obtained.
extern int diskDeviceRate;              // 0: as asked
extern SDL_AudioSpec diskDeviceOpened;

// The first frame of `pcm` with a sample louder than `above` (0: the first
// that is not silence); the frame count if none.
size_t firstSound(const std::vector<int16_t> &pcm, int above = 0);

// The 16-bit samples of a file the disk device wrote; its size in bytes
// (0 where there is none).
std::vector<int16_t> readPcm(const std::string &path);
off_t fileSize(const std::string &path);

#endif
