//------------------------------------------------------------------------------
// png_util.h
// Helpers for the picture tests: files and child processes (scratch
// folders and whole files: files.h; PNG files: png_file.h).
//------------------------------------------------------------------------------
#ifndef PNG_UTIL_H
#define PNG_UTIL_H

#include <string>
#include <vector>

#include "files.h"
#include "png_file.h"

bool fileExists(const std::string &path);

// Runs a shell command; returns its exit status and what it printed on
// stdout and stderr together.
int runCommand(const std::string &cmd, std::string &output);

#endif
