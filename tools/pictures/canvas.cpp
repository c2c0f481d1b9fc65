//------------------------------------------------------------------------------
// canvas.cpp
// Surfaces, noise and filters for the painter.
//------------------------------------------------------------------------------
#include "canvas.h"

#include <cairo-ft.h>
#include <fontconfig/fontconfig.h>
#include <png.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

uint64_t Rng::next()
{
    uint64_t z = (s += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
}

float Rng::uniform() { return (float)(next() >> 40) / (float)(1u << 24); }

static uint32_t hash3(int x, int y, uint32_t seed)
{
    uint32_t h = seed * 0x9E3779B1u;
    h ^= (uint32_t)x * 0x85EBCA6Bu;
    h = (h << 13) | (h >> 19);
    h ^= (uint32_t)y * 0xC2B2AE35u;
    h ^= h >> 16;
    h *= 0x7FEB352Du;
    h ^= h >> 15;
    h *= 0x846CA68Bu;
    h ^= h >> 16;
    return h;
}

float hashNoise(int x, int y, uint32_t seed) { return (float)(hash3(x, y, seed) >> 8) / 8388608.0f - 1.0f; }

float valueNoise(float x, float y, uint32_t seed)
{
    float fx = std::floor(x), fy = std::floor(y);
    int ix = (int)fx, iy = (int)fy;
    float tx = x - fx, ty = y - fy;
    tx = tx * tx * (3.0f - 2.0f * tx);
    ty = ty * ty * (3.0f - 2.0f * ty);
    float a = hashNoise(ix, iy, seed), b = hashNoise(ix + 1, iy, seed);
    float c = hashNoise(ix, iy + 1, seed), d = hashNoise(ix + 1, iy + 1, seed);
    return (a + (b - a) * tx) + ((c + (d - c) * tx) - (a + (b - a) * tx)) * ty;
}

float fbm(float x, float y, int octaves, uint32_t seed)
{
    float sum = 0.0f, amp = 0.5f, norm = 0.0f;
    for (int i = 0; i < octaves; i++) {
        sum += amp * valueNoise(x, y, seed + 101u * (uint32_t)i);
        norm += amp;
        // Rotate between octaves so the grid does not show.
        float nx = 1.6f * x - 1.2f * y, ny = 1.2f * x + 1.6f * y;
        x = nx + 17.3f;
        y = ny - 9.1f;
        amp *= 0.5f;
    }
    return sum / norm;
}

Mask drawMask(int w, int h, const std::function<void(cairo_t *)> &draw)
{
    cairo_surface_t *s = cairo_image_surface_create(CAIRO_FORMAT_A8, w, h);
    cairo_t *cr = cairo_create(s);
    draw(cr);
    cairo_destroy(cr);
    cairo_surface_flush(s);
    Mask m(w, h);
    const unsigned char *data = cairo_image_surface_get_data(s);
    int stride = cairo_image_surface_get_stride(s);
    for (int y = 0; y < h; y++)
        for (int x = 0; x < w; x++)
            m.at(x, y) = (float)data[y * stride + x] / 255.0f;
    cairo_surface_destroy(s);
    return m;
}

// One box pass along rows (dx = 1) or columns, edges clamped.
template <typename T>
static void boxPass(std::vector<T> &v, int w, int h, int r, bool rows)
{
    const int n = rows ? w : h, lines = rows ? h : w;
    std::vector<T> line(n), out(n);
    const float inv = 1.0f / (float)(2 * r + 1);
    for (int l = 0; l < lines; l++) {
        for (int i = 0; i < n; i++)
            line[i] = rows ? v[(size_t)l * w + i] : v[(size_t)i * w + l];
        T acc = line[0] * 0.0f;
        for (int i = -r; i <= r; i++)
            acc = acc + line[i < 0 ? 0 : (i >= n ? n - 1 : i)];
        for (int i = 0; i < n; i++) {
            out[i] = acc * inv;
            int add = i + r + 1, sub = i - r;
            acc = acc + line[add >= n ? n - 1 : add];
            acc = acc + line[sub < 0 ? 0 : sub] * -1.0f;
        }
        for (int i = 0; i < n; i++)
            (rows ? v[(size_t)l * w + i] : v[(size_t)i * w + l]) = out[i];
    }
}

template <typename T>
static void gaussLike(std::vector<T> &v, int w, int h, float radius)
{
    // Three box passes approximate a Gaussian of sigma about radius.
    int r = (int)std::lround(radius * 0.8f);
    if (r < 1)
        return;
    for (int pass = 0; pass < 3; pass++) {
        boxPass(v, w, h, r, true);
        boxPass(v, w, h, r, false);
    }
}

Mask blur(const Mask &m, float radius)
{
    Mask out = m;
    gaussLike(out.v, out.w, out.h, radius);
    return out;
}

Image blur(const Image &img, float radius)
{
    Image out = img;
    gaussLike(out.px, out.w, out.h, radius);
    return out;
}

Image kuwahara(const Image &img, int radius)
{
    const int w = img.w, h = img.h, W = w + 1;
    // Summed-area tables of colour, luminance and luminance squared.
    std::vector<double> sr((size_t)W * (h + 1)), sg(sr.size()), sb(sr.size()), sl(sr.size()), sl2(sr.size());
    for (int y = 0; y < h; y++) {
        for (int x = 0; x < w; x++) {
            const Rgb &p = img.at(x, y);
            double l = 0.299 * p.r + 0.587 * p.g + 0.114 * p.b;
            size_t i = (size_t)(y + 1) * W + (x + 1), up = (size_t)y * W + (x + 1), left = i - 1,
                   diag = up - 1;
            sr[i] = p.r + sr[up] + sr[left] - sr[diag];
            sg[i] = p.g + sg[up] + sg[left] - sg[diag];
            sb[i] = p.b + sb[up] + sb[left] - sb[diag];
            sl[i] = l + sl[up] + sl[left] - sl[diag];
            sl2[i] = l * l + sl2[up] + sl2[left] - sl2[diag];
        }
    }
    auto box = [&](const std::vector<double> &t, int x0, int y0, int x1, int y1) {
        return t[(size_t)(y1 + 1) * W + (x1 + 1)] - t[(size_t)y0 * W + (x1 + 1)] - t[(size_t)(y1 + 1) * W + x0] +
               t[(size_t)y0 * W + x0];
    };
    Image out(w, h);
    for (int y = 0; y < h; y++) {
        for (int x = 0; x < w; x++) {
            double best = 1e30;
            Rgb pick = img.at(x, y);
            for (int q = 0; q < 4; q++) {
                int x0 = (q & 1) ? x : x - radius, x1 = (q & 1) ? x + radius : x;
                int y0 = (q & 2) ? y : y - radius, y1 = (q & 2) ? y + radius : y;
                x0 = x0 < 0 ? 0 : x0;
                y0 = y0 < 0 ? 0 : y0;
                x1 = x1 >= w ? w - 1 : x1;
                y1 = y1 >= h ? h - 1 : y1;
                double n = (double)(x1 - x0 + 1) * (y1 - y0 + 1);
                double mean = box(sl, x0, y0, x1, y1) / n;
                double var = box(sl2, x0, y0, x1, y1) / n - mean * mean;
                if (var < best) {
                    best = var;
                    pick = {(float)(box(sr, x0, y0, x1, y1) / n), (float)(box(sg, x0, y0, x1, y1) / n),
                            (float)(box(sb, x0, y0, x1, y1) / n)};
                }
            }
            out.at(x, y) = pick;
        }
    }
    return out;
}

cairo_font_face_t *loadFont(const char *family, const char *style)
{
    FcPattern *want = FcPatternCreate();
    FcPatternAddString(want, FC_FAMILY, (const FcChar8 *)family);
    FcPatternAddString(want, FC_STYLE, (const FcChar8 *)style);
    FcConfigSubstitute(nullptr, want, FcMatchPattern);
    FcDefaultSubstitute(want);
    FcResult result = FcResultNoMatch;
    FcPattern *match = FcFontMatch(nullptr, want, &result);
    FcPatternDestroy(want);
    FcChar8 *gotFamily = nullptr, *gotStyle = nullptr, *file = nullptr;
    int index = 0;
    if (!match || FcPatternGetString(match, FC_FAMILY, 0, &gotFamily) != FcResultMatch ||
        FcPatternGetString(match, FC_STYLE, 0, &gotStyle) != FcResultMatch ||
        FcPatternGetString(match, FC_FILE, 0, &file) != FcResultMatch ||
        std::strcmp((const char *)gotFamily, family) != 0 || std::strcmp((const char *)gotStyle, style) != 0) {
        std::fprintf(stderr, "painter: font \"%s %s\" is not installed (scripts/setup.sh installs it)\n", family,
                     style);
        std::exit(1);
    }
    FcPatternGetInteger(match, FC_INDEX, 0, &index);
    // Only the file goes to Cairo: the local fontconfig settings (hinting,
    // embolden, matrix) must not change the outlines.
    FcPattern *exact = FcPatternCreate();
    FcPatternAddString(exact, FC_FILE, file);
    FcPatternAddInteger(exact, FC_INDEX, index);
    FcPatternAddBool(exact, FC_HINTING, FcFalse);
    FcPatternAddBool(exact, FC_ANTIALIAS, FcTrue);
    FcPatternDestroy(match);
    cairo_font_face_t *face = cairo_ft_font_face_create_for_pattern(exact);
    FcPatternDestroy(exact);
    return face;
}

void writePng(const Image &img, const std::string &path)
{
    std::vector<unsigned char> bytes((size_t)img.w * img.h * 3);
    for (size_t i = 0; i < img.px.size(); i++) {
        const Rgb &p = img.px[i];
        bytes[3 * i + 0] = (unsigned char)std::lround(clamp01(p.r) * 255.0f);
        bytes[3 * i + 1] = (unsigned char)std::lround(clamp01(p.g) * 255.0f);
        bytes[3 * i + 2] = (unsigned char)std::lround(clamp01(p.b) * 255.0f);
    }
    png_image image;
    std::memset(&image, 0, sizeof image);
    image.version = PNG_IMAGE_VERSION;
    image.width = (png_uint_32)img.w;
    image.height = (png_uint_32)img.h;
    image.format = PNG_FORMAT_RGB;
    if (!png_image_write_to_file(&image, path.c_str(), 0, bytes.data(), img.w * 3, nullptr)) {
        std::fprintf(stderr, "painter: cannot write %s: %s\n", path.c_str(), image.message);
        std::exit(1);
    }
}
