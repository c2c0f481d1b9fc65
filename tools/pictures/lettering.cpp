//------------------------------------------------------------------------------
// lettering.cpp
// The two lettering pictures: the title (orange on grey) and the closing line
// (green on stained brown). Cairo draws the glyph outlines as masks; shading,
// bevel and shadow are computed per pixel from those masks.
//------------------------------------------------------------------------------
#include "pictures.h"

#include <cmath>
#include <numeric>

namespace {

struct TextStyle {
    Rgb top, middle, bottom; // fill gradient over the text's height
    Rgb outline;
    float outlineWidth;      // pixels, centred on the glyph edge
    float shadowBlur;        // pixels
    float shadowX, shadowY;  // pixels, offset of the cast shadow
    float shadowStrength;    // 0..1 darkening under the letters
    float ink;               // 0..1 how much the ground's texture shows through the fill
};

struct TextLine {
    const char *text;
    cairo_font_face_t *font;
    float size;      // em size in pixels
    float x, y;      // baseline start, or the centre x when centred
    bool centred;
    float spacing;   // extra pixels after each letter
};

// Lays out the lines as one path: letter by letter when spaced, whole otherwise.
void textPath(cairo_t *cr, const std::vector<TextLine> &lines)
{
    cairo_font_options_t *opt = cairo_font_options_create();
    cairo_font_options_set_hint_style(opt, CAIRO_HINT_STYLE_NONE);
    cairo_font_options_set_hint_metrics(opt, CAIRO_HINT_METRICS_OFF);
    cairo_set_font_options(cr, opt);
    cairo_font_options_destroy(opt);
    for (const TextLine &l : lines) {
        cairo_set_font_face(cr, l.font);
        cairo_set_font_size(cr, l.size);
        std::vector<double> advance; // each letter's, with the spacing after it
        for (const char *c = l.text; *c; c++) {
            char one[2] = {*c, 0};
            cairo_text_extents_t e;
            cairo_text_extents(cr, one, &e);
            advance.push_back(e.x_advance + l.spacing);
        }
        double total = std::accumulate(advance.begin(), advance.end(), 0.0) - l.spacing;
        double x = l.centred ? l.x - total / 2.0 : l.x;
        if (l.spacing == 0.0f) {
            // Whole-string layout keeps the font's own kerning-free advances.
            cairo_move_to(cr, x, l.y);
            cairo_text_path(cr, l.text);
            continue;
        }
        for (size_t i = 0; l.text[i]; i++) {
            char one[2] = {l.text[i], 0};
            cairo_move_to(cr, x, l.y);
            cairo_text_path(cr, one);
            x += advance[i];
        }
    }
}

// Paints the lettering onto the ground: cast shadow, dark outline, then the
// fill with its gradient and a bevel lit from the upper left.
void paintText(Image &img, const std::vector<TextLine> &lines, const TextStyle &st, float textTop,
               float textBottom, uint32_t seed)
{
    const int w = img.w, h = img.h;
    Mask fill = drawMask(w, h, [&](cairo_t *cr) {
        textPath(cr, lines);
        cairo_fill(cr);
    });
    Mask outline = drawMask(w, h, [&](cairo_t *cr) {
        textPath(cr, lines);
        cairo_set_line_width(cr, st.outlineWidth);
        cairo_set_line_join(cr, CAIRO_LINE_JOIN_ROUND);
        cairo_stroke_preserve(cr);
        cairo_fill(cr);
    });
    Mask shadow = blur(outline, st.shadowBlur);
    Mask height = blur(fill, 2.5f);

    // Cast shadow: the ground darkens under the displaced, blurred letters.
    for (int y = 0; y < h; y++)
        for (int x = 0; x < w; x++) {
            float s = shadow.get(x - (int)st.shadowX, y - (int)st.shadowY);
            img.at(x, y) = img.at(x, y) * (1.0f - st.shadowStrength * s);
        }

    const float lx = -0.55f, ly = -0.65f, lz = 0.52f; // light direction, towards the viewer
    for (int y = 0; y < h; y++) {
        float t = clamp01(((float)y - textTop) / (textBottom - textTop));
        Rgb grad = t < 0.5f ? mix(st.top, st.middle, t * 2.0f) : mix(st.middle, st.bottom, t * 2.0f - 1.0f);
        for (int x = 0; x < w; x++) {
            float o = outline.at(x, y), f = fill.at(x, y);
            if (o <= 0.0f && f <= 0.0f)
                continue;
            Rgb ground = img.at(x, y);
            // The outline darkens towards its outer edge.
            Rgb line = st.outline * (0.75f + 0.25f * o);
            Rgb c = mix(ground, line, o);
            if (f > 0.0f) {
                float nx = (height.get(x - 1, y) - height.get(x + 1, y)) * 2.2f;
                float ny = (height.get(x, y - 1) - height.get(x, y + 1)) * 2.2f;
                float nz = 1.0f;
                float len = std::sqrt(nx * nx + ny * ny + nz * nz);
                nx /= len, ny /= len, nz /= len;
                float diff = nx * lx + ny * ly + nz * lz;
                // Half-vector to a viewer straight ahead, for the glint.
                float hx = lx, hy = ly, hz = lz + 1.0f;
                float hl = std::sqrt(hx * hx + hy * hy + hz * hz);
                float spec = std::pow(std::fmax(0.0f, (nx * hx + ny * hy + nz * hz) / hl), 40.0f);
                float grain = 1.0f + 0.06f * fbm((float)x * 0.08f, (float)y * 0.08f, 3, seed) +
                              0.03f * hashNoise(x, y, seed + 7u);
                float texture = 1.0f - st.ink + st.ink * (ground.r + ground.g + ground.b) / 1.2f;
                Rgb body = grad * (0.55f + 0.75f * diff) * grain * texture;
                body = body + Rgb{1.0f, 0.96f, 0.85f} * (0.55f * spec);
                c = mix(c, body, f);
            }
            img.at(x, y) = c;
        }
    }
}

} // namespace

Image paintLitelogo()
{
    const int w = 640, h = 301;
    Image img(w, h);
    // Brushed grey metal: a cool gradient, a soft light behind the lettering,
    // horizontal streaks and fine grain.
    for (int y = 0; y < h; y++)
        for (int x = 0; x < w; x++) {
            float fy = (float)y / (float)h;
            Rgb base = mix(hexColor(0x9a9ea4), hexColor(0x55585e), fy);
            float dx = ((float)x - 320.0f) / 330.0f, dy = ((float)y - 120.0f) / 190.0f;
            float glow = std::exp(-(dx * dx + dy * dy) * 1.6f);
            float streak = fbm((float)x * 0.004f, (float)y * 0.45f, 4, 11u);
            float mottle = fbm((float)x * 0.012f, (float)y * 0.012f, 4, 12u);
            float v = 0.82f + 0.28f * glow + 0.07f * streak + 0.05f * mottle + 0.025f * hashNoise(x, y, 13u);
            img.at(x, y) = base * v;
        }
    // Engraved guide lines above and below the title.
    for (int x = 40; x < w - 40; x++) {
        float fade = smoothstep(40.0f, 140.0f, (float)x) * smoothstep(40.0f, 140.0f, (float)(w - x));
        for (int y : {52, 252}) {
            img.at(x, y) = img.at(x, y) * (1.0f - 0.35f * fade);
            img.at(x, y + 1) = img.at(x, y + 1) * (1.0f + 0.25f * fade);
        }
    }

    cairo_font_face_t *title = loadFont("URW Bookman", "Demi Italic");
    cairo_font_face_t *small = loadFont("URW Gothic", "Demi");
    std::vector<TextLine> lines = {
        {"tha", title, 52.0f, 96.0f, 100.0f, false, 0.0f},
        // Sized and placed so the word's ink, outline and shadow keep about
        // fifty pixels clear of both sides.
        {"corbanet", title, 116.0f, 316.0f, 190.0f, true, 0.0f},
        {"DEMO", small, 40.0f, 388.0f, 240.0f, false, 14.0f},
    };
    const TextStyle st = {hexColor(0xffe070), hexColor(0xff8c1a), hexColor(0xb8380a), hexColor(0x1c0d06),
                          9.0f, 7.0f, 7.0f, 9.0f, 0.6f, 0.0f};
    paintText(img, lines, st, 70.0f, 245.0f, 14u);
    cairo_font_face_destroy(title);
    cairo_font_face_destroy(small);
    vignette(img, 0.45f, 0.45f, 1.25f, 0.8f, 0.6f);
    return img;
}

Image paintZorsmall()
{
    const int w = 640, h = 241;
    Image img(w, h);
    // Old brown paper: mottled tone, fibres, ring stains from cups and a few
    // water marks, darker towards the burnt edges.
    Rng rng(20240);
    struct Stain {
        float x, y, r, width, depth;
    };
    std::vector<Stain> stains;
    for (int i = 0; i < 7; i++)
        stains.push_back({rng.range(0.0f, (float)w), rng.range(0.0f, (float)h), rng.range(25.0f, 90.0f),
                          rng.range(1.5f, 4.0f), rng.range(0.12f, 0.3f)});
    for (int y = 0; y < h; y++)
        for (int x = 0; x < w; x++) {
            float fx = (float)x, fy = (float)y;
            float mottle = fbm(fx * 0.008f, fy * 0.008f, 5, 31u);
            float fibre = fbm(fx * 0.05f, fy * 0.6f, 3, 32u);
            Rgb c = mix(hexColor(0x5a3519), hexColor(0x8e5e33), 0.5f + 0.9f * mottle);
            float v = 1.0f + 0.06f * fibre + 0.05f * hashNoise(x, y, 33u);
            for (const Stain &s : stains) {
                float warp = 6.0f * fbm(fx * 0.03f, fy * 0.03f, 3, 34u + (uint32_t)s.r);
                float d = std::sqrt((fx - s.x) * (fx - s.x) + (fy - s.y) * (fy - s.y)) + warp;
                float ring = std::exp(-((d - s.r) * (d - s.r)) / (2.0f * s.width * s.width));
                float inside = d < s.r ? 0.35f * smoothstep(s.r, s.r * 0.4f, d) : 0.0f;
                v *= 1.0f - s.depth * (ring + inside * 0.5f);
            }
            float blot = smoothstep(0.35f, 0.55f, fbm(fx * 0.02f, fy * 0.02f, 4, 35u));
            v *= 1.0f - 0.18f * blot;
            img.at(x, y) = c * v;
        }
    vignette(img, 0.55f, 0.45f, 1.25f, 0.8f, 0.6f);

    cairo_font_face_t *script = loadFont("Z003", "Medium Italic");
    cairo_font_face_t *serif = loadFont("URW Bookman", "Light Italic");
    std::vector<TextLine> big = {{"thanks for watching", script, 84.0f, 320.0f, 118.0f, true, 0.0f}};
    std::vector<TextLine> small = {{"see you at the next party", serif, 27.0f, 320.0f, 184.0f, true, 2.5f}};
    TextStyle st = {hexColor(0xb8f06a), hexColor(0x4cbf3a), hexColor(0x1d6d27), hexColor(0x0b2410),
                    5.0f, 5.0f, 4.0f, 5.0f, 0.55f, 0.35f};
    paintText(img, big, st, 50.0f, 140.0f, 36u);
    // Thinner outline and a closer shadow for the small line.
    st.outlineWidth = 2.5f;
    st.shadowBlur = 2.5f;
    st.shadowX = 2.0f;
    st.shadowY = 3.0f;
    paintText(img, small, st, 162.0f, 190.0f, 37u);
    cairo_font_face_destroy(script);
    cairo_font_face_destroy(serif);
    return img;
}
