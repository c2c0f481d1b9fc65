// icon.cpp -- see icon.h.
#include "icon.h"

#include <algorithm>
#include <cmath>

#include <png.h>

bool readPng(const std::string &path, RgbaImage *image, std::string *error)
{
    png_image png{};
    png.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&png, path.c_str())) {
        *error = path + ": " + png.message;
        return false;
    }
    png.format = PNG_FORMAT_RGBA;
    image->width = (int)png.width;
    image->height = (int)png.height;
    image->pixels.assign(PNG_IMAGE_SIZE(png), 0);
    if (!png_image_finish_read(&png, nullptr, image->pixels.data(), 0, nullptr)) {
        *error = path + ": " + png.message;
        png_image_free(&png);
        return false;
    }
    return true;
}

bool writePng(const std::string &path, const RgbaImage &image, std::string *error)
{
    png_image png{};
    png.version = PNG_IMAGE_VERSION;
    png.width = (png_uint_32)image.width;
    png.height = (png_uint_32)image.height;
    png.format = PNG_FORMAT_RGBA;
    if (!png_image_write_to_file(&png, path.c_str(), 0, image.pixels.data(), 0, nullptr)) {
        *error = path + ": " + png.message;
        return false;
    }
    return true;
}

// How much of the source interval [i, i + 1) the destination interval
// [from, to) (in source units) covers.
static double overlap(int i, double from, double to)
{
    return std::max(0.0, std::min(to, i + 1.0) - std::max(from, (double)i));
}

RgbaImage fitSquare(const RgbaImage &picture, int side)
{
    RgbaImage icon;
    icon.width = side;
    icon.height = side;
    icon.pixels.assign((size_t)side * side * 4, 0);
    if (picture.width <= 0 || picture.height <= 0 || side <= 0)
        return icon;

    double scale = std::min(1.0, std::min((double)side / picture.width, (double)side / picture.height));
    int w = std::max(1, (int)std::lround(picture.width * scale));
    int h = std::max(1, (int)std::lround(picture.height * scale));
    int left = (side - w) / 2;
    int top = (side - h) / 2;
    double stepX = (double)picture.width / w;
    double stepY = (double)picture.height / h;

    for (int y = 0; y < h; ++y) {
        double y0 = y * stepY, y1 = (y + 1) * stepY;
        for (int x = 0; x < w; ++x) {
            double x0 = x * stepX, x1 = (x + 1) * stepX;
            // Colours are weighted by alpha, so transparent source pixels
            // lend the average no colour of their own.
            double sum[4] = {0, 0, 0, 0};
            double area = 0;
            for (int sy = (int)y0; sy < picture.height && sy < y1; ++sy) {
                double wy = overlap(sy, y0, y1);
                for (int sx = (int)x0; sx < picture.width && sx < x1; ++sx) {
                    double weight = wy * overlap(sx, x0, x1);
                    const uint8_t *p = &picture.pixels[((size_t)sy * picture.width + sx) * 4];
                    double a = p[3] / 255.0;
                    for (int c = 0; c < 3; ++c)
                        sum[c] += weight * a * p[c];
                    sum[3] += weight * a;
                    area += weight;
                }
            }
            uint8_t *out = &icon.pixels[((size_t)(top + y) * side + left + x) * 4];
            if (sum[3] > 0)
                for (int c = 0; c < 3; ++c)
                    out[c] = (uint8_t)std::lround(std::min(255.0, sum[c] / sum[3]));
            out[3] = (uint8_t)std::lround(std::min(255.0, 255.0 * sum[3] / area));
        }
    }
    return icon;
}
