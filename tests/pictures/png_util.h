//------------------------------------------------------------------------------
// png_util.h
// Helpers for the picture tests: files, child processes, scratch folders
// (PNG files: png_file.h).
//------------------------------------------------------------------------------
#ifndef PNG_UTIL_H
#define PNG_UTIL_H

#include <string>
#include <vector>

#include "png_file.h"

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
