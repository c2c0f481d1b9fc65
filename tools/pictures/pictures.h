//------------------------------------------------------------------------------
// pictures.h
// The four slideshow pictures the painter makes, each at its fixed size, and
// the painter's working surfaces (canvas.cpp): float RGB images, coverage masks
// drawn with Cairo, deterministic noise, and the filters the pictures share.
//------------------------------------------------------------------------------
#ifndef PICTURES_H
#define PICTURES_H

#include <cairo.h>

#include <cmath>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

struct Rgb {
    float r, g, b;
};

static inline Rgb operator+(Rgb a, Rgb b) { return {a.r + b.r, a.g + b.g, a.b + b.b}; }
static inline Rgb operator*(Rgb a, float s) { return {a.r * s, a.g * s, a.b * s}; }
static inline Rgb operator*(Rgb a, Rgb b) { return {a.r * b.r, a.g * b.g, a.b * b.b}; }
static inline Rgb mix(Rgb a, Rgb b, float t) { return a * (1.0f - t) + b * t; }
// Colour difference: the sum of the channels' differences.
static inline float colourDistance(Rgb a, Rgb b) { return std::fabs(a.r - b.r) + std::fabs(a.g - b.g) + std::fabs(a.b - b.b); }
static inline float luma(Rgb c) { return 0.299f * c.r + 0.587f * c.g + 0.114f * c.b; }
static inline float clamp01(float v) { return v < 0.0f ? 0.0f : (v > 1.0f ? 1.0f : v); }
static inline float smoothstep(float e0, float e1, float x)
{
    float t = clamp01((x - e0) / (e1 - e0));
    return t * t * (3.0f - 2.0f * t);
}
// 0xRRGGBB to linear-free 0..1 channels (the painter works in display values).
static inline Rgb hexColor(uint32_t c)
{
    return {(float)((c >> 16) & 255) / 255.0f, (float)((c >> 8) & 255) / 255.0f, (float)(c & 255) / 255.0f};
}

// One value per pixel, row 0 at the top of the picture as in the PNG:
// colours (Image) or coverage 0..1 (Mask).
template <typename T> struct Grid {
    int w = 0, h = 0;
    std::vector<T> px;
    Grid(int w_, int h_) : w(w_), h(h_), px((size_t)w_ * h_, T{}) {}
    T &at(int x, int y) { return px[(size_t)y * w + x]; }
    const T &at(int x, int y) const { return px[(size_t)y * w + x]; }
    // Clamped to the edge, so filters can read past the border.
    T get(int x, int y) const { return at(x < 0 ? 0 : (x >= w ? w - 1 : x), y < 0 ? 0 : (y >= h ? h - 1 : y)); }
};
using Image = Grid<Rgb>;
using Mask = Grid<float>;

// A small seeded generator (splitmix64), so every run paints the same bytes.
struct Rng {
    uint64_t s;
    explicit Rng(uint64_t seed) : s(seed) {}
    uint64_t next();
    float uniform(); // [0, 1)
    float range(float a, float b) { return a + (b - a) * uniform(); }
};

// Smooth value noise in about [-1, 1]; the seed picks an independent field.
float valueNoise(float x, float y, uint32_t seed);
// Fractal sum of octaves of valueNoise, about [-1, 1].
float fbm(float x, float y, int octaves, uint32_t seed);
// Per-pixel white noise in [-1, 1].
float hashNoise(int x, int y, uint32_t seed);

// Draws with Cairo into an A8 surface and returns its coverage.
Mask drawMask(int w, int h, const std::function<void(cairo_t *)> &draw);
// Gaussian blur (three box passes) of the given radius in pixels.
template <typename T> Grid<T> blur(const Grid<T> &g, float radius);

// Where the picture is flat, the direction (dx, dy) strokes take at (x, y).
using FlowFallback = std::function<void(float x, float y, float &dx, float &dy)>;
// One pass of brush strokes: brush radius and the longest stroke in pixels,
// and the colour error (sum of channels) above which a patch is repainted.
struct BrushPass {
    float radius, length, threshold;
};
// Repaints `ref` stroke by stroke, coarse passes first and then finer ones only
// where the painting still differs from the reference (so detail gets small
// brushes and broad areas keep their big strokes). Each stroke follows the
// picture's forms, carries bristle streaks and runs dry at its end; the
// paint's relief is then lit from the upper left.
Image paintOver(const Image &ref, const FlowFallback &fallback, const std::vector<BrushPass> &passes, uint32_t seed);
// Darkens towards the edges: by `strength` where the distance from the centre
// (1 at the middle of each side, each axis squared and weighted) passes from
// `inner` to `outer`.
void vignette(Image &img, float strength, float inner, float outer, float xWeight, float yWeight);
// Multiplies in the weave of the canvas.
void canvasWeave(Image &img, float strength, uint32_t seed);

// Selects a face by fontconfig family and style and fails if that exact face
// is not installed, so a missing font cannot silently change the pictures.
cairo_font_face_t *loadFont(const char *family, const char *style);

// Writes an 8-bit RGB PNG with fixed settings and no time stamp.
void writePng(const Image &img, const std::string &path);

Image paintLitelogo();  // 640 x 301: the title, orange lettering on brushed grey
Image paintSidelit();   // 402 x 480: a bust lit hard from the right, against black
Image paintSpider();    // 640 x 480: sepia, a young man staring up into a light
Image paintZorsmall();  // 640 x 241: the closing line, green on stained brown paper

#endif
