//------------------------------------------------------------------------------
// figure.cpp
// The two figure paintings. A head-and-shoulders bust is modelled as a signed
// distance field and ray-marched with one hard key light, shadows and ambient
// occlusion; the render is then worked over into paint (Kuwahara smearing,
// stroke texture, canvas weave).
//
// Model space: y up, the figure faces +z, one unit is about half a head high.
//------------------------------------------------------------------------------
#include "pictures.h"

#include <cmath>

namespace {

struct V3 {
    float x, y, z;
};
V3 operator+(V3 a, V3 b) { return {a.x + b.x, a.y + b.y, a.z + b.z}; }
V3 operator-(V3 a, V3 b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
V3 operator*(V3 a, float s) { return {a.x * s, a.y * s, a.z * s}; }
float dot(V3 a, V3 b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
float length(V3 a) { return std::sqrt(dot(a, a)); }
V3 normalize(V3 a) { return a * (1.0f / length(a)); }
V3 cross(V3 a, V3 b) { return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x}; }

float sdSphere(V3 p, float r) { return length(p) - r; }

// Bound-corrected ellipsoid distance (exact enough for marching).
float sdEllipsoid(V3 p, V3 r)
{
    float k0 = length({p.x / r.x, p.y / r.y, p.z / r.z});
    float k1 = length({p.x / (r.x * r.x), p.y / (r.y * r.y), p.z / (r.z * r.z)});
    return k1 > 0.0f ? k0 * (k0 - 1.0f) / k1 : -std::fmin(r.x, std::fmin(r.y, r.z));
}

float sdCapsule(V3 p, V3 a, V3 b, float r)
{
    V3 pa = p - a, ba = b - a;
    float h = clamp01(dot(pa, ba) / dot(ba, ba));
    return length(pa - ba * h) - r;
}

float smin(float a, float b, float k)
{
    float h = clamp01(0.5f + 0.5f * (b - a) / k);
    return b + (a - b) * h - k * h * (1.0f - h);
}

float smax(float a, float b, float k) { return -smin(-a, -b, k); }

float noise3(V3 p, uint32_t seed)
{
    // Two slices of 2-D value noise, blended along z.
    float fz = std::floor(p.z), tz = p.z - fz;
    tz = tz * tz * (3.0f - 2.0f * tz);
    uint32_t s0 = seed + 7919u * (uint32_t)(int)fz;
    float a = valueNoise(p.x, p.y, s0), b = valueNoise(p.x, p.y, s0 + 7919u);
    return a + (b - a) * tz;
}

enum Material { SKIN, EYE, BROW, HAIR, MOUTH, CLOTH };

struct Pose {
    float pitch;      // radians, head tilted back (looking up) when positive
    float yaw;        // radians, head turned to the figure's left (+x) when positive
    float eyeOpen;    // 1 calm, larger shows white around the iris
    float browRaise;  // model units the brows lift
    float mouthOpen;  // 0 closed .. 1 gaping
    V3 gaze;          // direction of the eyes in head space
    int clothing;     // 0 bare, 1 open-collared shirt, 2 a drape across the chest
};

struct Hit {
    float d;
    Material m;
};

struct Figure {
    Pose pose;
    float cp, sp, cy, sy;

    explicit Figure(const Pose &p) : pose(p)
    {
        cp = std::cos(p.pitch), sp = std::sin(p.pitch);
        cy = std::cos(p.yaw), sy = std::sin(p.yaw);
    }

    // World point into head space: about the top of the neck, undo the turn
    // and then the tilt.
    V3 toHead(V3 p) const
    {
        const V3 pivot = {0.0f, -0.55f, -0.1f};
        V3 q = p - pivot;
        V3 r = {q.x * cy - q.z * sy, q.y, q.x * sy + q.z * cy};
        V3 s = {r.x, r.y * cp - r.z * sp, r.y * sp + r.z * cp};
        return s + pivot;
    }

    // Head space direction back to world space.
    V3 headDirToWorld(V3 d) const
    {
        V3 s = {d.x, d.y * cp + d.z * sp, -d.y * sp + d.z * cp};
        return {s.x * cy + s.z * sy, s.y, -s.x * sy + s.z * cy};
    }

    Hit head(V3 p) const
    {
        const Pose &o = pose;
        V3 m = {std::fabs(p.x), p.y, p.z}; // mirrored for the paired features
        float d = sdEllipsoid(p - V3{0.0f, 0.14f, -0.08f}, {0.70f, 0.80f, 0.84f});
        d = smin(d, sdEllipsoid(p - V3{0.0f, -0.30f, 0.12f}, {0.54f, 0.62f, 0.64f}), 0.25f);
        d = smin(d, sdEllipsoid(p - V3{0.0f, -0.80f, 0.36f}, {0.23f, 0.17f, 0.2f}), 0.2f);
        d = smin(d, sdEllipsoid(m - V3{0.32f, -0.62f, 0.22f}, {0.18f, 0.14f, 0.22f}), 0.2f); // jaw corners
        d = smin(d, sdSphere(m - V3{0.37f, -0.12f, 0.47f}, 0.19f), 0.16f);                 // cheekbones
        float by = 0.22f + o.browRaise;
        d = smin(d, sdCapsule(m, {0.0f, by, 0.66f}, {0.36f, by - 0.02f, 0.58f}, 0.1f), 0.12f);
        // Eye sockets.
        d = smax(d, -sdEllipsoid(m - V3{0.26f, 0.04f, 0.74f}, {0.16f, 0.09f * o.eyeOpen, 0.13f}), 0.05f);
        // Nose: bridge, tip and wings.
        d = smin(d, sdCapsule(p, {0.0f, 0.12f, 0.76f}, {0.0f, -0.27f, 0.97f}, 0.07f), 0.08f);
        d = smin(d, sdEllipsoid(p - V3{0.0f, -0.3f, 0.9f}, {0.085f, 0.075f, 0.09f}), 0.05f);
        d = smin(d, sdEllipsoid(m - V3{0.09f, -0.33f, 0.84f}, {0.07f, 0.06f, 0.07f}), 0.04f);
        // Lips, and the opening between them.
        float my = -0.55f - 0.05f * o.mouthOpen;
        d = smin(d, sdEllipsoid(p - V3{0.0f, -0.5f, 0.8f}, {0.2f, 0.055f, 0.09f}), 0.05f);
        d = smin(d, sdEllipsoid(p - V3{0.0f, my - 0.07f - 0.06f * o.mouthOpen, 0.78f}, {0.18f, 0.06f, 0.09f}),
                 0.05f);
        Material mat = SKIN;
        if (o.mouthOpen > 0.0f) {
            float cut = sdEllipsoid(p - V3{0.0f, my, 0.86f}, {0.12f + 0.03f * o.mouthOpen, 0.025f + 0.08f * o.mouthOpen,
                                                               0.22f});
            d = smax(d, -cut, 0.03f);
            if (cut < 0.02f && d < 0.05f)
                mat = MOUTH;
        }
        // Top of the neck, which turns with the head.
        d = smin(d, sdCapsule(p, {0.0f, -0.45f, -0.12f}, {0.0f, -1.1f, -0.2f}, 0.28f), 0.15f);
        // Ears.
        d = smin(d, sdEllipsoid(m - V3{0.7f, -0.06f, -0.06f}, {0.08f, 0.22f, 0.14f}), 0.05f);

        // Eyelids: a skin shell just outside the eyeball, open between two
        // planes; fear opens them wide.
        V3 ec = m - V3{0.26f, 0.04f, 0.62f};
        float lid = sdSphere(ec, 0.132f);
        lid = smax(lid, smin(0.045f * o.eyeOpen - ec.y + 0.1f * ec.x, ec.y + 0.055f * o.eyeOpen, 0.01f), 0.01f);
        d = smin(d, lid, 0.02f);
        Hit h = {d, mat};
        float eye = sdSphere(ec, 0.12f);
        if (eye < h.d)
            h = {eye, EYE};
        // Brows: inner ends lift more when the brow is raised, as in fear.
        float lift = o.browRaise * 1.4f;
        float brow = sdCapsule(m, {0.1f, 0.2f + lift + 0.03f, 0.73f}, {0.4f, 0.2f + o.browRaise * 0.6f, 0.62f}, 0.032f);
        if (brow < h.d)
            h = {brow, BROW};
        // Hair: a shell over the skull, cut back at the hairline, roughened.
        V3 hp = p - V3{0.0f, 0.2f, -0.08f};
        float hair = sdEllipsoid(hp, {0.79f, 0.88f, 0.93f});
        hair += 0.05f * noise3(p * 5.0f, 51u) + 0.008f * noise3(p * 13.0f, 52u);
        float hairline = 0.36f - p.y - 0.55f * std::fmax(0.0f, 0.45f - p.z);
        hair = smax(hair, hairline, 0.08f);
        if (hair < h.d)
            h = {hair, HAIR};
        return h;
    }

    Hit body(V3 p) const
    {
        V3 m = {std::fabs(p.x), p.y, p.z};
        float d = sdCapsule(p, {0.0f, -0.8f, -0.16f}, {0.0f, -1.6f, -0.16f}, 0.29f);
        // Trapezius slopes to the shoulders, deltoids, chest, upper arms.
        float shoulders = sdCapsule(m, {0.0f, -1.35f, -0.25f}, {1.15f, -1.78f, -0.26f}, 0.28f);
        shoulders = smin(shoulders, sdSphere(m - V3{1.22f, -1.95f, -0.2f}, 0.36f), 0.25f);
        shoulders = smin(shoulders, sdEllipsoid(p - V3{0.0f, -2.6f, -0.1f}, {1.2f, 1.05f, 0.62f}), 0.4f);
        shoulders = smin(shoulders, sdEllipsoid(m - V3{0.42f, -2.15f, 0.22f}, {0.45f, 0.32f, 0.3f}), 0.3f);
        shoulders = smin(shoulders, sdCapsule(m, {1.3f, -2.0f, -0.22f}, {1.42f, -3.8f, -0.18f}, 0.3f), 0.15f);
        d = smin(d, shoulders, 0.3f);
        Material mat = SKIN;
        if (pose.clothing == 1) {
            // A shirt with an open collar: below a V at the throat, with a few
            // soft folds running down from the shoulders.
            float collar = -1.45f - 0.9f * (0.5f - std::fmin(0.5f, std::fabs(p.x)));
            if (p.y < collar || std::fabs(p.x) > 0.55f) {
                mat = CLOTH;
                d -= 0.04f + 0.02f * std::sin(p.x * 7.0f + 1.5f * noise3(p * 1.5f, 61u)) * smoothstep(-1.6f, -2.4f, p.y);
            }
        } else if (pose.clothing == 2) {
            // Dark cloth slung diagonally across the chest.
            float edge = -2.3f + 0.35f * p.x + 0.06f * std::sin(p.x * 9.0f);
            float on = smoothstep(edge + 0.04f, edge - 0.04f, p.y); // the hem, blended to avoid a step
            if (on > 0.5f)
                mat = CLOTH;
            d -= on * (0.05f + 0.03f * std::sin(p.x * 6.0f - p.y * 4.0f + 2.0f * noise3(p * 1.2f, 62u)));
        }
        return {d, mat};
    }

    Hit map(V3 p) const
    {
        V3 hp = toHead(p);
        Hit h = {length(hp - V3{0.0f, -0.1f, 0.1f}) - 1.25f, SKIN};
        if (h.d < 0.2f)
            h = head(hp);
        Hit b = body(p);
        // The neck blends into the head, so join the skin smoothly.
        if (b.m == SKIN && h.m == SKIN)
            return {smin(h.d, b.d, 0.12f), SKIN};
        return b.d < h.d ? b : h;
    }

    V3 normal(V3 p) const
    {
        const float e = 0.002f;
        V3 a = {1, -1, -1}, b = {-1, -1, 1}, c = {-1, 1, -1}, d = {1, 1, 1};
        V3 n = a * map(p + a * e).d + b * map(p + b * e).d + c * map(p + c * e).d + d * map(p + d * e).d;
        return normalize(n);
    }

    bool march(V3 ro, V3 rd, float &t) const
    {
        t = 0.0f;
        for (int i = 0; i < 160 && t < 20.0f; i++) {
            float d = map(ro + rd * t).d;
            if (d < 0.0008f * t)
                return true;
            t += d * 0.9f;
        }
        return false;
    }

    // Hard-edged shadow with a narrow penumbra.
    float shadow(V3 p, V3 l) const
    {
        float res = 1.0f, t = 0.02f;
        for (int i = 0; i < 64 && t < 8.0f; i++) {
            float d = map(p + l * t).d;
            res = std::fmin(res, 24.0f * d / t);
            if (res < 0.001f)
                return 0.0f;
            t += std::fmax(0.01f, d);
        }
        return clamp01(res);
    }

    float occlusion(V3 p, V3 n) const
    {
        float occ = 0.0f, scale = 1.0f;
        for (int i = 1; i <= 5; i++) {
            float h = 0.03f * (float)i;
            occ += (h - map(p + n * h).d) * scale;
            scale *= 0.7f;
        }
        return clamp01(1.0f - 3.0f * occ);
    }
};

struct Camera {
    V3 eye, target;
    float fov; // vertical, radians
};

struct Palette {
    Rgb skin, hair, cloth;
};

struct Light {
    V3 dir;      // towards the light
    Rgb colour;
    float ambient;
    Rgb ambientColour;
};

// Renders the figure; returns linear colour and writes coverage (1 on the
// figure) so the background can be painted behind it.
Image render(const Figure &fig, const Camera &cam, const Light &light, const Palette &pal, int w, int h,
             Mask &cover)
{
    Image out(w, h);
    V3 fw = normalize(cam.target - cam.eye);
    V3 rt = normalize(cross(fw, {0, 1, 0}));
    V3 up = cross(rt, fw);
    float th = std::tan(cam.fov * 0.5f);
    const V3 gaze = fig.headDirToWorld(normalize(fig.pose.gaze));
    for (int y = 0; y < h; y++) {
        for (int x = 0; x < w; x++) {
            // Two by two samples per pixel.
            Rgb sum = {0, 0, 0};
            float hits = 0.0f;
            for (int s = 0; s < 4; s++) {
                float sx = ((float)x + 0.25f + 0.5f * (float)(s & 1)) / (float)h * 2.0f - (float)w / (float)h;
                float sy = 1.0f - ((float)y + 0.25f + 0.5f * (float)(s >> 1)) / (float)h * 2.0f;
                V3 rd = normalize(fw + rt * (sx * th) + up * (sy * th));
                float t;
                if (!fig.march(cam.eye, rd, t))
                    continue;
                V3 p = cam.eye + rd * t;
                Hit hit = fig.map(p);
                V3 n = fig.normal(p);
                float ndl = dot(n, light.dir);
                float sh = ndl > 0.0f ? fig.shadow(p + n * 0.004f, light.dir) : 0.0f;
                float ao = fig.occlusion(p, n);
                Rgb albedo;
                float gloss = 0.15f, power = 24.0f, wrap = 0.0f;
                switch (hit.m) {
                case SKIN:
                    albedo = pal.skin;
                    wrap = 0.2f;
                    break;
                case EYE: {
                    // Iris and pupil from the angle to the gaze.
                    V3 hp = fig.toHead(p);
                    V3 c = {hp.x > 0.0f ? 0.26f : -0.26f, 0.04f, 0.62f};
                    V3 en = fig.headDirToWorld(normalize(hp - c));
                    float cosg = dot(en, gaze);
                    albedo = cosg > 0.98f ? hexColor(0x0a0604)
                             : cosg > 0.935f ? hexColor(0x4a2c18)
                                            : hexColor(0xf4efe6);
                    gloss = 0.9f;
                    power = 120.0f;
                    wrap = 0.1f;
                    break;
                }
                case BROW:
                    albedo = hexColor(0x2a1a10);
                    gloss = 0.05f;
                    break;
                case HAIR:
                    albedo = pal.hair;
                    gloss = 0.06f;
                    power = 10.0f;
                    break;
                case MOUTH:
                    albedo = hexColor(0x3a1410);
                    gloss = 0.05f;
                    break;
                case CLOTH:
                    albedo = pal.cloth;
                    gloss = 0.03f;
                    wrap = 0.1f;
                    break;
                }
                float diff = clamp01((ndl + wrap) / (1.0f + wrap)) * sh;
                V3 hv = normalize(light.dir - rd);
                float spec = gloss * std::pow(std::fmax(0.0f, dot(n, hv)), power) * sh;
                Rgb c = albedo * light.colour * diff + light.colour * spec;
                // Warm bleed along the shadow edge of skin, as light scatters under it.
                if (hit.m == SKIN) {
                    float edge = smoothstep(-0.25f, 0.0f, ndl) * (1.0f - smoothstep(0.0f, 0.3f, ndl * sh));
                    c = c + Rgb{0.28f, 0.06f, 0.02f} * (edge * 0.18f);
                }
                c = c + albedo * light.ambientColour * (light.ambient * ao);
                sum = sum + c * (0.6f + 0.4f * ao);
                hits += 1.0f;
            }
            out.at(x, y) = sum * 0.25f;
            cover.at(x, y) = hits * 0.25f;
        }
    }
    return out;
}

// Display values from linear light, with a soft shoulder.
Rgb toDisplay(Rgb c)
{
    auto f = [](float v) {
        float d = std::pow(1.0f - std::exp(-1.8f * std::fmax(0.0f, v)), 1.0f / 2.2f);
        return 0.5f * d + 0.5f * d * d * (3.0f - 2.0f * d); // firmer contrast
    };
    return {f(c.r), f(c.g), f(c.b)};
}

// Brush texture: luminance ripples along a slowly turning stroke direction,
// plus the weave of the canvas.
void brushwork(Image &img, float strength, uint32_t seed)
{
    for (int y = 0; y < img.h; y++)
        for (int x = 0; x < img.w; x++) {
            float fx = (float)x, fy = (float)y;
            float ang = 0.8f + 1.5f * fbm(fx * 0.004f, fy * 0.004f, 2, seed);
            float u = fx * std::cos(ang) + fy * std::sin(ang), v = -fx * std::sin(ang) + fy * std::cos(ang);
            float stroke = fbm(u * 0.06f, v * 0.6f, 2, seed + 1u);
            float weave = 0.5f * (std::sin(fx * 1.9f) * std::sin(fy * 1.9f));
            float k = 1.0f + strength * (stroke + 0.35f * weave) + 0.02f * hashNoise(x, y, seed + 2u);
            img.at(x, y) = img.at(x, y) * k;
        }
}

} // namespace

Image paintSidelit()
{
    const int w = 402, h = 480;
    Pose pose = {0.05f, 0.42f, 1.0f, 0.0f, 0.0f, {0.3f, -0.05f, 1.0f}, 2};
    Palette pal = {hexColor(0xd9a27e), hexColor(0x0b0604), hexColor(0x5a1e14)};
    Figure fig(pose);
    Camera cam = {{0.6f, -0.7f, 7.2f}, {0.0f, -0.95f, 0.0f}, 0.56f};
    Light light = {normalize({1.0f, 0.45f, 0.05f}), {1.35f, 1.2f, 1.0f}, 0.04f, {0.5f, 0.55f, 0.7f}};
    Mask cover(w, h);
    Image lin = render(fig, cam, light, pal, w, h, cover);
    Image img(w, h);
    for (int y = 0; y < h; y++)
        for (int x = 0; x < w; x++) {
            // Near-black ground with a faint warm breath of light behind the figure.
            float dx = ((float)x - 300.0f) / 300.0f, dy = ((float)y - 150.0f) / 300.0f;
            Rgb bg = hexColor(0x120c08) * std::exp(-(dx * dx + dy * dy) * 2.0f);
            bg = bg * (1.0f + 0.4f * fbm((float)x * 0.02f, (float)y * 0.02f, 4, 71u));
            img.at(x, y) = mix(bg, toDisplay(lin.at(x, y)), cover.at(x, y));
        }
    img = kuwahara(img, 3);
    brushwork(img, 0.035f, 72u);
    return img;
}

Image paintSpider()
{
    const int w = 640, h = 480;
    Pose pose = {0.42f, 0.22f, 1.8f, 0.07f, 0.45f, {0.08f, 0.12f, 1.0f}, 1};
    Palette pal = {hexColor(0xd9a27e), hexColor(0x2e1c10), hexColor(0x6a6258)};
    Figure fig(pose);
    Camera cam = {{-0.4f, -1.1f, 8.0f}, {1.1f, -0.9f, 0.0f}, 0.6f};
    V3 toLight = normalize({0.45f, 1.0f, 0.65f});
    Light light = {toLight, {1.0f, 0.97f, 0.9f}, 0.1f, {0.6f, 0.6f, 0.65f}};
    Mask cover(w, h);
    Image lin = render(fig, cam, light, pal, w, h, cover);
    // The light's place on the picture: upper right, where he is looking.
    const float sx = 540.0f, sy = 40.0f;
    Image img(w, h);
    for (int y = 0; y < h; y++)
        for (int x = 0; x < w; x++) {
            float dx = (float)x - sx, dy = (float)y - sy;
            float r = std::sqrt(dx * dx + dy * dy);
            float ang = std::atan2(dy, dx);
            float rays = 0.5f + 0.5f * fbm(ang * 9.0f, 0.0f, 3, 81u);
            float glow = 2.2f * std::exp(-r / 60.0f) + 0.9f * std::exp(-r / 220.0f) * (0.6f + 0.8f * rays);
            float room = 0.05f + 0.03f * fbm((float)x * 0.01f, (float)y * 0.01f, 4, 82u);
            Rgb bg = Rgb{1, 1, 1} * (room + glow * 0.35f);
            Rgb fgc = lin.at(x, y);
            Rgb c = mix(bg, fgc, cover.at(x, y));
            // The glow spills over his edges too.
            c = c + Rgb{1, 1, 1} * (0.25f * std::exp(-r / 90.0f));
            img.at(x, y) = toDisplay(c);
        }
    img = kuwahara(img, 3);
    // Sepia: luminance through a brown-to-cream ramp.
    const Rgb dark = hexColor(0x1e1208), midc = hexColor(0x8a6238), light2 = hexColor(0xf6e7c8);
    for (int y = 0; y < h; y++)
        for (int x = 0; x < w; x++) {
            Rgb c = img.at(x, y);
            float l = clamp01(0.299f * c.r + 0.587f * c.g + 0.114f * c.b);
            img.at(x, y) = l < 0.5f ? mix(dark, midc, l * 2.0f) : mix(midc, light2, l * 2.0f - 1.0f);
        }
    brushwork(img, 0.035f, 83u);
    for (int y = 0; y < h; y++)
        for (int x = 0; x < w; x++) {
            float dx = ((float)x / (float)w - 0.5f) * 2.0f, dy = ((float)y / (float)h - 0.5f) * 2.0f;
            float v = 1.0f - 0.55f * smoothstep(0.5f, 1.45f, std::sqrt(dx * dx + dy * dy));
            img.at(x, y) = img.at(x, y) * v;
        }
    return img;
}
