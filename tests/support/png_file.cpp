// png_file.cpp -- see png_file.h.
#include "png_file.h"

#include <png.h>

static png_uint_32 format(int channels)
{
    return channels == 1 ? PNG_FORMAT_GRAY : channels == 3 ? PNG_FORMAT_RGB : PNG_FORMAT_RGBA;
}

// libpng takes a negative row stride for a buffer that holds the bottom row first.
static int stride(int width, int channels, bool bottomUp)
{
    return (bottomUp ? -1 : 1) * width * channels;
}

bool writePng(const std::string &path, int width, int height, int channels, const std::vector<unsigned char> &pixels,
              bool bottomUp)
{
    png_image image = {};
    image.version = PNG_IMAGE_VERSION;
    image.width = (png_uint_32)width;
    image.height = (png_uint_32)height;
    image.format = format(channels);
    return pixels.size() == (size_t)width * height * channels &&
           png_image_write_to_file(&image, path.c_str(), 0, pixels.data(), stride(width, channels, bottomUp),
                                   nullptr) != 0;
}

bool readPng(const std::string &path, int *width, int *height, int channels, std::vector<unsigned char> *pixels,
             bool bottomUp)
{
    png_image image = {};
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&image, path.c_str()))
        return false;
    image.format = format(channels);
    *width = (int)image.width;
    *height = (int)image.height;
    pixels->assign(PNG_IMAGE_SIZE(image), 0);
    return png_image_finish_read(&image, nullptr, pixels->data(), stride(*width, channels, bottomUp), nullptr) != 0;
}
