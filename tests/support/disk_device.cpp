// disk_device.cpp -- the music layer played into SDL's disk device.
#include "disk_device.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <sys/stat.h>
#include <thread>

#include "sound.h"

int diskDeviceRate;
SDL_AudioSpec diskDeviceOpened;

extern "C" SDL_AudioDeviceID __real_SDL_OpenAudioDevice(const char *, int, const SDL_AudioSpec *, SDL_AudioSpec *,
                                                        int);
extern "C" SDL_AudioDeviceID __wrap_SDL_OpenAudioDevice(const char *name, int capture, const SDL_AudioSpec *desired,
                                                        SDL_AudioSpec *obtained, int allowed)
{
    SDL_AudioSpec asked = *desired;
    if (diskDeviceRate)
        asked.freq = diskDeviceRate;
    SDL_AudioDeviceID id = __real_SDL_OpenAudioDevice(name, capture, &asked, obtained, allowed);
    if (id && obtained)
        diskDeviceOpened = *obtained;
    return id;
}

off_t fileSize(const std::string &path)
{
    struct stat st;
    return stat(path.c_str(), &st) == 0 ? st.st_size : 0;
}

std::vector<int16_t> readPcm(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::vector<int16_t> pcm(bytes.size() / 2);
    std::memcpy(pcm.data(), bytes.data(), pcm.size() * 2);
    return pcm;
}

DiskDevicePlay playThroughDiskDevice(const std::string &module, const std::string &file, size_t frames)
{
    DiskDevicePlay play;
    setenv("SDL_AUDIODRIVER", "disk", 1);
    setenv("SDL_DISKAUDIOFILE", file.c_str(), 1);
    setenv("SDL_DISKAUDIODELAY", "0", 1);
    play.opened = soundInit(44100, 32);
    MusicModule *song = play.opened ? musicLoad(module.c_str()) : nullptr;
    play.loaded = song != nullptr;
    if (song) {
        // The device writes silence as fast as it can until musicPlay.
        musicPlay(song);
        const off_t wanted = fileSize(file) + (off_t)frames * 4;
        for (int waited = 0; waited < 120000 && fileSize(file) < wanted; waited += 10)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        musicStop(song);
    }
    soundClose();
    unsetenv("SDL_DISKAUDIOFILE");
    unsetenv("SDL_DISKAUDIODELAY");

    play.pcm = readPcm(file);
    std::remove(file.c_str());
    return play;
}

size_t firstSound(const std::vector<int16_t> &pcm, int above)
{
    for (size_t i = 0; i < pcm.size(); ++i)
        if (std::abs(pcm[i]) > above)
            return i / 2;
    return pcm.size() / 2;
}
