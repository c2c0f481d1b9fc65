//------------------------------------------------------------------------------
// png_util.h
// Helpers for the picture tests: PNG files through libpng, child processes,
// scratch folders.
//------------------------------------------------------------------------------
#ifndef PNG_UTIL_H
#define PNG_UTIL_H

#include <string>
#include <vector>

// Writes an 8-bit PNG; channels is 1 (grey), 3 (RGB) or 4 (RGBA), rows top first.
void writeTestPng(const std::string &path, int w, int h, int channels, const std::vector<unsigned char> &bytes);

// Decodes any PNG to 8-bit RGBA, rows top first; false if it cannot be read.
bool readPngRgba(const std::string &path, int &w, int &h, std::vector<unsigned char> &rgba);

std::string readFile(const std::string &path);
bool fileExists(const std::string &path);

// Runs a shell command; returns its exit status and what it printed on
// stdout and stderr together.
int runCommand(const std::string &cmd, std::string &output);

// A fresh folder under the system's temporary folder, removed on destruction.
struct ScratchDir {
    std::string path;
    ScratchDir();
    ~ScratchDir();
};

#endif
