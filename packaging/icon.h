// icon.h -- the show's menu icon, made from its title picture.
//
// The title picture is wider than tall; an icon is square. The picture is
// shrunk to the icon's width by averaging the source pixels each icon pixel
// covers (so thin strokes fade rather than vanish or shimmer) and centred
// on a transparent square.
#ifndef ICON_H
#define ICON_H

#include <cstdint>
#include <string>
#include <vector>

struct RgbaImage {
    int width = 0;
    int height = 0;
    std::vector<uint8_t> pixels;     // rows top to bottom, 4 bytes a pixel, straight alpha
};

// Reads any PNG as 8-bit RGBA. On failure returns false and says why.
bool readPng(const std::string &path, RgbaImage *image, std::string *error);

// Writes an 8-bit RGBA PNG. On failure returns false and says why.
bool writePng(const std::string &path, const RgbaImage &image, std::string *error);

// The picture shrunk (never enlarged) to fit a side x side square, keeping
// its proportions, centred on transparent pixels.
RgbaImage fitSquare(const RgbaImage &picture, int side);

#endif
