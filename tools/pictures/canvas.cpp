//------------------------------------------------------------------------------
// canvas.cpp
// Surfaces, noise and filters for the painter.
//------------------------------------------------------------------------------
#include "pictures.h"

#include <cairo-ft.h>
#include <fontconfig/fontconfig.h>
#include <png.h>

#include <algorithm>
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

float hashNoise(int x, int y, uint32_t seed)
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
    return (float)(h >> 8) / 8388608.0f - 1.0f;
}

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

// One box pass along rows or columns, edges clamped.
template <typename T> static void boxPass(Grid<T> &g, int r, bool rows)
{
    const int w = g.w, n = rows ? g.w : g.h, lines = rows ? g.h : g.w;
    std::vector<T> line(n), out(n);
    const float inv = 1.0f / (float)(2 * r + 1);
    for (int l = 0; l < lines; l++) {
        for (int i = 0; i < n; i++)
            line[i] = rows ? g.px[(size_t)l * w + i] : g.px[(size_t)i * w + l];
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
            (rows ? g.px[(size_t)l * w + i] : g.px[(size_t)i * w + l]) = out[i];
    }
}

template <typename T> Grid<T> blur(const Grid<T> &g, float radius)
{
    Grid<T> out = g;
    // Three box passes approximate a Gaussian of sigma about radius.
    int r = (int)std::lround(radius * 0.8f);
    for (int pass = 0; r >= 1 && pass < 3; pass++) {
        boxPass(out, r, true);
        boxPass(out, r, false);
    }
    return out;
}
template Mask blur(const Mask &, float);
template Image blur(const Image &, float);

// The value of the pixel nearest (x, y), clamped to the edges.
template <typename T> static T nearest(const Grid<T> &g, float x, float y)
{
    return g.get((int)std::lround(x), (int)std::lround(y));
}

namespace {

// Directions along which paint is dragged: one unit vector per pixel.
struct Dir {
    float x, y;
};
using Flow = Grid<Dir>;

// The flow runs along the isophotes of the picture (so strokes wrap round
// forms and run beside edges), bending towards the fallback direction where
// the picture is flat. The structure tensor is smoothed over 3 pixels; the
// fallback enters with weight 0.01 (luminance gradients are about 0..4
// across an edge), so it holds only where the picture has little structure.
Flow strokeFlow(const Image &img, const FlowFallback &fallback)
{
    const int w = img.w, h = img.h;
    Mask lum(w, h), e(w, h), f(w, h), g(w, h);
    for (int y = 0; y < h; y++)
        for (int x = 0; x < w; x++)
            lum.at(x, y) = luma(img.at(x, y));
    // Structure tensor from Sobel gradients, then smoothed.
    for (int y = 0; y < h; y++)
        for (int x = 0; x < w; x++) {
            float gx = (lum.get(x + 1, y - 1) + 2.0f * lum.get(x + 1, y) + lum.get(x + 1, y + 1)) -
                       (lum.get(x - 1, y - 1) + 2.0f * lum.get(x - 1, y) + lum.get(x - 1, y + 1));
            float gy = (lum.get(x - 1, y + 1) + 2.0f * lum.get(x, y + 1) + lum.get(x + 1, y + 1)) -
                       (lum.get(x - 1, y - 1) + 2.0f * lum.get(x, y - 1) + lum.get(x + 1, y - 1));
            e.at(x, y) = gx * gx;
            f.at(x, y) = gx * gy;
            g.at(x, y) = gy * gy;
        }
    e = blur(e, 3.0f);
    f = blur(f, 3.0f);
    g = blur(g, 3.0f);
    Flow flow(w, h);
    for (int y = 0; y < h; y++)
        for (int x = 0; x < w; x++) {
            float tx = 1.0f, ty = 0.0f;
            fallback((float)x, (float)y, tx, ty);
            // The fallback enters as a weak gradient across its own direction.
            float nx = -ty, ny = tx;
            float E = e.at(x, y) + 0.01f * nx * nx, F = f.at(x, y) + 0.01f * nx * ny, G = g.at(x, y) + 0.01f * ny * ny;
            float l1 = 0.5f * (E + G + std::sqrt((E - G) * (E - G) + 4.0f * F * F));
            float vx = F, vy = l1 - E;
            if (vx * vx + vy * vy < 1e-12f)
                vx = l1 - G, vy = F;
            float len = std::sqrt(vx * vx + vy * vy);
            flow.at(x, y) = len < 1e-6f ? Dir{tx, ty} : Dir{-vy / len, vx / len};
        }
    return flow;
}

struct Stroke {
    std::vector<float> x, y; // the path, at least one point
    Rgb colour;
    float radius;
    uint32_t seed;
};

// Follows the flow from (x, y) for up to `reach` pixels in one sense, while
// the reference keeps close to the stroke's colour, adding the points to it.
void trace(const Image &target, const Flow &flow, float x, float y, float sense, float reach, float step,
           float tolerance, Stroke &s)
{
    Dir t = nearest(flow, x, y);
    float tx = t.x * sense, ty = t.y * sense;
    for (float run = step; run <= reach; run += step) {
        Dir f = nearest(flow, x, y);
        float fx = f.x, fy = f.y;
        if (fx * tx + fy * ty < 0.0f)
            fx = -fx, fy = -fy;
        // Some inertia, so strokes bend smoothly rather than jitter.
        tx = 0.4f * tx + 0.6f * fx;
        ty = 0.4f * ty + 0.6f * fy;
        float l = std::sqrt(tx * tx + ty * ty);
        if (l < 1e-6f)
            break;
        tx /= l, ty /= l;
        float nx = x + tx * step, ny = y + ty * step;
        if (nx < 0.0f || ny < 0.0f || nx > (float)(target.w - 1) || ny > (float)(target.h - 1))
            break;
        if (colourDistance(nearest(target, nx, ny), s.colour) > tolerance)
            break;
        x = nx, y = ny;
        s.x.push_back(x);
        s.y.push_back(y);
    }
}

void drawStroke(Image &canvas, Mask &relief, const Stroke &s)
{
    const size_t n = s.x.size();
    const float r = s.radius;
    float x0 = s.x[0], x1 = s.x[0], y0 = s.y[0], y1 = s.y[0];
    std::vector<float> cum(n, 0.0f);
    for (size_t i = 1; i < n; i++) {
        x0 = std::fmin(x0, s.x[i]), x1 = std::fmax(x1, s.x[i]);
        y0 = std::fmin(y0, s.y[i]), y1 = std::fmax(y1, s.y[i]);
        cum[i] = cum[i - 1] + std::hypot(s.x[i] - s.x[i - 1], s.y[i] - s.y[i - 1]);
    }
    const float total = cum[n - 1];
    const int bristles = 2 + (int)(r * 0.9f);
    int ix0 = std::max(0, (int)std::floor(x0 - r - 1.0f)), ix1 = std::min(canvas.w - 1, (int)std::ceil(x1 + r + 1.0f));
    int iy0 = std::max(0, (int)std::floor(y0 - r - 1.0f)), iy1 = std::min(canvas.h - 1, (int)std::ceil(y1 + r + 1.0f));
    for (int y = iy0; y <= iy1; y++)
        for (int x = ix0; x <= ix1; x++) {
            const float px = (float)x, py = (float)y;
            float best = 1e30f, along = 0.0f, across = 0.0f;
            if (n == 1) {
                best = (px - s.x[0]) * (px - s.x[0]) + (py - s.y[0]) * (py - s.y[0]);
                across = py - s.y[0];
            }
            for (size_t i = 0; i + 1 < n; i++) {
                float ax = s.x[i], ay = s.y[i], bx = s.x[i + 1] - ax, by = s.y[i + 1] - ay;
                float ll = bx * bx + by * by;
                float t = ll > 0.0f ? clamp01(((px - ax) * bx + (py - ay) * by) / ll) : 0.0f;
                float qx = ax + bx * t - px, qy = ay + by * t - py;
                float d2 = qx * qx + qy * qy;
                if (d2 < best) {
                    best = d2;
                    along = cum[i] + t * std::sqrt(ll);
                    across = ll > 0.0f ? ((px - ax) * by - (py - ay) * bx) / std::sqrt(ll) : 0.0f;
                }
            }
            float d = std::sqrt(best);
            float cover = clamp01(r + 0.5f - d);
            if (cover <= 0.0f)
                continue;
            // Bristle streaks across the stroke, each loaded a little differently.
            float a = clamp01(across / (2.0f * r) + 0.5f);
            int bi = (int)(a * (float)bristles);
            float bv = 0.5f + 0.5f * hashNoise(bi, 0, s.seed);
            // The brush runs dry towards the end, raggedly along the bristles.
            float u = total > 0.0f ? along / total : 0.0f;
            float dry = 1.0f - smoothstep(0.7f, 1.05f, u + 0.25f * bv * (total > 2.0f * r ? 1.0f : 0.0f));
            float alpha = cover * (0.8f + 0.2f * bv) * (0.35f + 0.65f * dry);
            Rgb c = s.colour * (1.0f + 0.04f * (bv - 0.5f));
            Rgb &dst = canvas.at(x, y);
            dst = mix(dst, c, alpha);
            float ridge = (0.5f + 0.5f * bv) * (1.0f - 0.6f * (2.0f * a - 1.0f) * (2.0f * a - 1.0f));
            relief.at(x, y) += (ridge - relief.at(x, y)) * alpha;
        }
}

} // namespace

Image paintOver(const Image &ref, const FlowFallback &fallback, const std::vector<BrushPass> &passes, uint32_t seed)
{
    const int w = ref.w, h = ref.h;
    const Flow flow = strokeFlow(ref, fallback);
    // A soft underpainting, so no gap between strokes shows bare canvas.
    Image canvas = blur(ref, passes.front().radius * 1.5f);
    Mask relief(w, h);
    Rng rng(seed);
    for (size_t pass = 0; pass < passes.size(); pass++) {
        const BrushPass &bp = passes[pass];
        const Image target = blur(ref, bp.radius * 0.6f);
        const int cell = std::max(1, (int)std::lround(bp.radius * 1.2f));
        std::vector<Stroke> strokes;
        for (int cy = 0; cy < h; cy += cell)
            for (int cx = 0; cx < w; cx += cell) {
                float sum = 0.0f, worst = -1.0f;
                int bx = cx, by = cy, count = 0;
                for (int y = cy; y < std::min(h, cy + cell); y++)
                    for (int x = cx; x < std::min(w, cx + cell); x++) {
                        float e = colourDistance(canvas.at(x, y), target.at(x, y));
                        sum += e;
                        count++;
                        if (e > worst)
                            worst = e, bx = x, by = y;
                    }
                if (pass > 0 && sum / (float)count < bp.threshold)
                    continue;
                Stroke s;
                s.radius = bp.radius * rng.range(0.85f, 1.15f);
                s.seed = (uint32_t)(rng.next() >> 32);
                float sx = pass == 0 ? (float)cx + rng.range(0.0f, (float)cell) : (float)bx;
                float sy = pass == 0 ? (float)cy + rng.range(0.0f, (float)cell) : (float)by;
                sx = std::fmin(sx, (float)(w - 1));
                sy = std::fmin(sy, (float)(h - 1));
                Rgb c = nearest(target, sx, sy);
                // Paint is never mixed quite evenly.
                float tone = 1.0f + 0.035f * rng.range(-1.0f, 1.0f);
                c = Rgb{c.r * (1.0f + 0.02f * rng.range(-1.0f, 1.0f)), c.g, c.b * (1.0f + 0.02f * rng.range(-1.0f, 1.0f))} *
                    tone;
                s.colour = c;
                float reach = 0.5f * bp.length * rng.range(0.6f, 1.0f);
                float step = std::fmax(1.0f, bp.radius * 0.6f);
                float tol = std::fmax(0.08f, 2.0f * bp.threshold);
                // Backwards from the start, turned round, then forwards.
                trace(target, flow, sx, sy, -1.0f, reach, step, tol, s);
                std::reverse(s.x.begin(), s.x.end());
                std::reverse(s.y.begin(), s.y.end());
                s.x.push_back(sx);
                s.y.push_back(sy);
                trace(target, flow, sx, sy, 1.0f, reach, step, tol, s);
                strokes.push_back(std::move(s));
            }
        // Laid down in a shuffled order, as a hand would.
        for (size_t i = strokes.size(); i > 1; i--)
            std::swap(strokes[i - 1], strokes[(size_t)(rng.next() % i)]);
        for (const Stroke &s : strokes)
            drawStroke(canvas, relief, s);
    }
    // Impasto: the relief of the paint lit from the upper left.
    for (int y = 0; y < h; y++)
        for (int x = 0; x < w; x++) {
            float slope = (relief.get(x + 1, y) - relief.get(x - 1, y)) + (relief.get(x, y + 1) - relief.get(x, y - 1));
            canvas.at(x, y) = canvas.at(x, y) * (1.0f + 0.06f * slope);
        }
    return canvas;
}

void vignette(Image &img, float strength, float inner, float outer, float xWeight, float yWeight)
{
    for (int y = 0; y < img.h; y++)
        for (int x = 0; x < img.w; x++) {
            float dx = ((float)x / (float)img.w - 0.5f) * 2.0f, dy = ((float)y / (float)img.h - 0.5f) * 2.0f;
            float d = std::sqrt(dx * dx * xWeight + dy * dy * yWeight);
            img.at(x, y) = img.at(x, y) * (1.0f - strength * smoothstep(inner, outer, d));
        }
}

void canvasWeave(Image &img, float strength, uint32_t seed)
{
    for (int y = 0; y < img.h; y++)
        for (int x = 0; x < img.w; x++) {
            float fx = (float)x, fy = (float)y;
            // Threads over and under, slightly irregular in thickness.
            float warp = std::sin(fx * 1.85f + 0.8f * valueNoise(fx * 0.15f, fy * 0.02f, seed));
            float weft = std::sin(fy * 1.85f + 0.8f * valueNoise(fx * 0.02f, fy * 0.15f, seed + 1u));
            float k = 0.5f * warp * weft + 0.25f * hashNoise(x, y, seed + 2u);
            img.at(x, y) = img.at(x, y) * (1.0f + strength * k);
        }
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
    std::vector<unsigned char> bytes;
    for (const Rgb &p : img.px)
        for (float v : {p.r, p.g, p.b})
            bytes.push_back((unsigned char)std::lround(clamp01(v) * 255.0f));
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    image.width = (png_uint_32)img.w;
    image.height = (png_uint_32)img.h;
    image.format = PNG_FORMAT_RGB;
    if (!png_image_write_to_file(&image, path.c_str(), 0, bytes.data(), img.w * 3, nullptr)) {
        std::fprintf(stderr, "painter: cannot write %s: %s\n", path.c_str(), image.message);
        std::exit(1);
    }
}
