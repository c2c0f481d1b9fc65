// png_file.h -- 8-bit PNG files for the tests, through libpng.
#ifndef PNG_FILE_H
#define PNG_FILE_H

#include <string>
#include <vector>

// `channels` is 1 (grey), 3 (RGB) or 4 (RGBA); rows are top first, or bottom
// first (as OpenGL reads a window back) where `bottomUp` is set. Reading
// converts whatever the file holds to the channels asked for. False when the
// file cannot be written or read, or the pixels do not fit the size.
bool writePng(const std::string &path, int width, int height, int channels, const std::vector<unsigned char> &pixels,
              bool bottomUp = false);
bool readPng(const std::string &path, int *width, int *height, int channels, std::vector<unsigned char> *pixels,
             bool bottomUp = false);

#endif
