//------------------------------------------------------------------------------
// figure.cpp
// The two figure paintings. A head-and-shoulders bust is modelled as a signed
// distance field and ray-marched with one hard key light, shadows and ambient
// occlusion; the render is then worked over into paint (brush strokes that
// follow the forms, the paint's relief, canvas weave).
//
// Model space: y up, the figure faces +z, one unit is about half a head high.
//------------------------------------------------------------------------------
#include "pictures.h"

#include <algorithm>
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

enum Material { SKIN, EYE, HAIR, MOUTH, CLOTH };

// The head tilts and turns about the top of the neck.
const V3 kNeckPivot = {0.0f, -0.55f, -0.1f};

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
    bool onHead; // skin of the head rather than of the body
};

// Upper and lower lip shapes, shared by the model and the lip colour.
struct Lips {
    V3 upperC, upperR, lowerC, lowerR;
};

struct Figure {
    Pose pose;
    float cp, sp, cy, sy;
    V3 mastoid[2]; // behind the ears, in world space, where the neck muscles start
    float mouthY;  // the middle of the mouth, in head space
    Lips lips;

    explicit Figure(const Pose &p) : pose(p)
    {
        cp = std::cos(p.pitch), sp = std::sin(p.pitch);
        cy = std::cos(p.yaw), sy = std::sin(p.yaw);
        mastoid[0] = headToWorld({-0.42f, -0.42f, -0.12f});
        mastoid[1] = headToWorld({0.42f, -0.42f, -0.12f});
        mouthY = -0.55f - 0.05f * p.mouthOpen;
        lips = {{0.0f, -0.505f, 0.76f}, {0.16f, 0.042f, 0.075f}, {0.0f, mouthY - 0.065f - 0.06f * p.mouthOpen, 0.74f},
                {0.145f, 0.05f, 0.075f}};
    }

    // World direction into head space: undo the turn and then the tilt.
    V3 dirToHead(V3 d) const
    {
        V3 r = {d.x * cy - d.z * sy, d.y, d.x * sy + d.z * cy};
        return {r.x, r.y * cp - r.z * sp, r.y * sp + r.z * cp};
    }

    V3 toHead(V3 p) const { return dirToHead(p - kNeckPivot) + kNeckPivot; }

    // Head space direction back to world space.
    V3 headDirToWorld(V3 d) const
    {
        V3 s = {d.x, d.y * cp + d.z * sp, -d.y * sp + d.z * cp};
        return {s.x * cy + s.z * sy, s.y, -s.x * sy + s.z * cy};
    }

    V3 headToWorld(V3 p) const { return headDirToWorld(p - kNeckPivot) + kNeckPivot; }

    Hit head(V3 p) const
    {
        const Pose &o = pose;
        V3 m = {std::fabs(p.x), p.y, p.z}; // mirrored for the paired features
        float d = sdEllipsoid(p - V3{0.0f, 0.14f, -0.08f}, {0.70f, 0.80f, 0.84f});
        d = smin(d, sdEllipsoid(p - V3{0.0f, -0.30f, 0.12f}, {0.5f, 0.62f, 0.64f}), 0.25f);
        d = smin(d, sdEllipsoid(p - V3{0.0f, -0.80f, 0.36f}, {0.23f, 0.17f, 0.2f}), 0.2f);
        d = smin(d, sdEllipsoid(m - V3{0.29f, -0.62f, 0.2f}, {0.16f, 0.13f, 0.22f}), 0.2f); // jaw corners
        d = smin(d, sdSphere(m - V3{0.37f, -0.12f, 0.47f}, 0.19f), 0.16f);                 // cheekbones
        float by = 0.22f + o.browRaise;
        d = smin(d, sdCapsule(m, {0.0f, by, 0.66f}, {0.36f, by - 0.02f, 0.58f}, 0.1f), 0.12f);
        // Eye sockets.
        d = smax(d, -sdEllipsoid(m - V3{0.26f, 0.04f, 0.74f}, {0.16f, 0.09f * o.eyeOpen, 0.13f}), 0.05f);
        // Nose: bridge, tip and wings, with the nostrils pressed in beneath.
        d = smin(d, sdCapsule(p, {0.0f, 0.12f, 0.76f}, {0.0f, -0.27f, 0.97f}, 0.07f), 0.08f);
        d = smin(d, sdEllipsoid(p - V3{0.0f, -0.3f, 0.9f}, {0.085f, 0.075f, 0.09f}), 0.05f);
        d = smin(d, sdEllipsoid(m - V3{0.09f, -0.33f, 0.84f}, {0.07f, 0.06f, 0.07f}), 0.04f);
        d = smax(d, -sdEllipsoid(m - V3{0.05f, -0.385f, 0.88f}, {0.03f, 0.018f, 0.035f}), 0.015f);
        // Lips, and the opening between them.
        d = smin(d, sdEllipsoid(p - lips.upperC, lips.upperR), 0.05f);
        d = smin(d, sdEllipsoid(p - lips.lowerC, lips.lowerR), 0.05f);
        Material mat = SKIN;
        if (o.mouthOpen > 0.0f) {
            float cut = sdEllipsoid(p - V3{0.0f, mouthY, 0.86f}, {0.12f + 0.03f * o.mouthOpen, 0.025f + 0.08f * o.mouthOpen,
                                                               0.22f});
            d = smax(d, -cut, 0.03f);
            if (cut < 0.02f && d < 0.05f)
                mat = MOUTH;
        }
        // Fear wrinkles the forehead in shallow horizontal creases.
        if (o.browRaise > 0.0f && p.z > 0.3f) {
            float fy = p.y - 0.42f - 0.1f * m.x * m.x;
            float crease = 0.0f;
            for (int i = 0; i < 3; i++) {
                float c = fy - 0.1f * (float)i;
                crease += std::exp(-c * c / 0.0009f);
            }
            d += 0.008f * crease * smoothstep(0.55f, 0.2f, m.x);
        }
        // Top of the neck, which turns with the head.
        d = smin(d, sdCapsule(p, {0.0f, -0.45f, -0.12f}, {0.0f, -1.1f, -0.2f}, 0.28f), 0.15f);
        // Ears: the shell, with its bowl pressed in.
        float ear = sdEllipsoid(m - V3{0.7f, -0.06f, -0.06f}, {0.08f, 0.22f, 0.14f});
        ear = smax(ear, -sdEllipsoid(m - V3{0.76f, -0.04f, -0.04f}, {0.04f, 0.13f, 0.08f}), 0.02f);
        d = smin(d, ear, 0.05f);

        // Eyelids: a skin shell just outside the eyeball, open between two
        // planes; fear opens them wide.
        V3 ec = m - V3{0.26f, 0.04f, 0.62f};
        float lid = sdSphere(ec, 0.135f);
        lid = smax(lid, smin(0.045f * o.eyeOpen - ec.y + 0.1f * ec.x, ec.y + 0.055f * o.eyeOpen, 0.01f), 0.01f);
        d = smin(d, lid, 0.02f);
        Hit h = {d, mat, true};
        float eye = sdSphere(ec, 0.12f);
        if (eye < h.d)
            h = {eye, EYE, true};
        // Hair: a shell over the skull in a few broad locks, cut back at the
        // hairline.
        V3 hp = p - V3{0.0f, 0.2f, -0.08f};
        float hair = sdEllipsoid(hp, {0.79f, 0.9f, 0.93f});
        hair += 0.035f * noise3(p * 3.0f, 51u) + 0.012f * noise3(p * 7.0f, 52u);
        // The hairline rises at the temples; locks of a fringe fall below it.
        float locks = std::fabs(valueNoise(p.x * 7.0f, 0.0f, 54u));
        float hairline = 0.42f - p.y + 0.12f * m.x * m.x - 0.6f * std::fmax(0.0f, 0.45f - p.z) -
                         0.12f * locks * smoothstep(0.5f, 0.2f, m.x) + 0.03f * noise3(p * 6.0f, 53u);
        // Thinning towards the hairline, so the hair meets the skin without a step.
        hair += 0.06f * smoothstep(-0.12f, 0.0f, hairline);
        hair = smax(hair, hairline, 0.06f);
        if (hair < h.d)
            h = {hair, HAIR, true};
        return h;
    }

    Hit body(V3 p) const
    {
        V3 m = {std::fabs(p.x), p.y, p.z};
        float d = sdCapsule(p, {0.0f, -0.8f, -0.16f}, {0.0f, -1.6f, -0.16f}, 0.29f);
        // The long neck muscles from behind the ears to the top of the breastbone.
        d = smin(d, sdCapsule(p, mastoid[0], {-0.07f, -1.48f, 0.1f}, 0.065f), 0.06f);
        d = smin(d, sdCapsule(p, mastoid[1], {0.07f, -1.48f, 0.1f}, 0.065f), 0.06f);
        // Trapezius slopes to the shoulders, deltoids, chest, upper arms.
        float shoulders = sdCapsule(m, {0.0f, -1.35f, -0.25f}, {1.15f, -1.78f, -0.26f}, 0.28f);
        shoulders = smin(shoulders, sdSphere(m - V3{1.22f, -1.95f, -0.2f}, 0.36f), 0.25f);
        shoulders = smin(shoulders, sdEllipsoid(p - V3{0.0f, -2.6f, -0.1f}, {1.2f, 1.05f, 0.62f}), 0.4f);
        shoulders = smin(shoulders, sdEllipsoid(m - V3{0.42f, -2.15f, 0.22f}, {0.45f, 0.32f, 0.3f}), 0.3f);
        shoulders = smin(shoulders, sdCapsule(m, {1.3f, -2.0f, -0.22f}, {1.42f, -3.8f, -0.18f}, 0.3f), 0.15f);
        // Collarbones.
        shoulders = smin(shoulders, sdCapsule(m, {0.12f, -1.55f, 0.16f}, {0.95f, -1.6f, -0.02f}, 0.06f), 0.08f);
        d = smin(d, shoulders, 0.3f);
        Hit h = {d, SKIN, false};
        float cloth = h.d;
        if (pose.clothing == 1) {
            // A shirt with an open collar: it stands off the body, its collar
            // rolls over along the V at the throat, and soft folds run down
            // from the shoulders.
            float vline = -2.05f + 1.15f * m.x;
            float edge = (p.y - vline) * 0.66f;
            float folds = 0.02f * std::sin(p.x * 6.0f + 2.0f * noise3(p * 1.3f, 61u)) * smoothstep(-1.7f, -2.5f, p.y);
            float roll = 0.045f * std::exp(-(edge + 0.07f) * (edge + 0.07f) / 0.004f);
            cloth = smax(d - 0.05f - folds - roll, edge, 0.02f);
        } else if (pose.clothing == 2) {
            // Heavy cloth slung diagonally across the chest: a layer standing
            // off the body with a rolled hem and folds sagging along it.
            float hem = -2.28f + 0.42f * p.x + 0.04f * std::sin(p.x * 2.5f + 0.7f);
            float edge = (p.y - hem) * 0.9f;
            float sag = hem - p.y; // depth below the hem
            float folds = 0.035f * std::sin(sag * 9.0f - p.x * 2.0f + 1.6f * noise3(p * 1.1f, 62u)) *
                          smoothstep(0.05f, 0.35f, sag);
            float roll = 0.035f * std::exp(-(edge + 0.06f) * (edge + 0.06f) / 0.003f);
            cloth = smax(d - 0.06f - folds - roll, edge, 0.025f);
        }
        if (cloth < h.d)
            h = {cloth, CLOTH, false};
        return h;
    }

    Hit map(V3 p) const
    {
        V3 hp = toHead(p);
        Hit h = {length(hp - V3{0.0f, -0.1f, 0.1f}) - 1.25f, SKIN, true};
        if (h.d < 0.2f)
            h = head(hp);
        Hit b = body(p);
        // The neck blends into the head, so join the skin smoothly.
        if (b.m == SKIN && h.m == SKIN)
            return {smin(h.d, b.d, 0.12f), SKIN, h.d < b.d};
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

    // Shadow with a narrow penumbra, as from a close, fairly small lamp.
    float shadow(V3 p, V3 l) const
    {
        float res = 1.0f, t = 0.02f;
        for (int i = 0; i < 64 && t < 8.0f; i++) {
            float d = map(p + l * t).d;
            res = std::fmin(res, 12.0f * d / t);
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

    V3 fw() const { return normalize(target - eye); }
    V3 rt() const { return normalize(cross(fw(), {0, 1, 0})); }
    V3 up() const { return cross(rt(), fw()); }
    V3 ray(float px, float py, int w, int h) const
    {
        float th = std::tan(fov * 0.5f);
        float sx = px / (float)h * 2.0f - (float)w / (float)h;
        float sy = 1.0f - py / (float)h * 2.0f;
        return normalize(fw() + rt() * (sx * th) + up() * (sy * th));
    }
    // World point to picture position (pixel corners at whole numbers).
    void project(V3 p, int w, int h, float &px, float &py) const
    {
        float th = std::tan(fov * 0.5f);
        V3 d = p - eye;
        float z = dot(d, fw());
        float sx = dot(d, rt()) / (z * th), sy = dot(d, up()) / (z * th);
        px = (sx + (float)w / (float)h) * (float)h * 0.5f;
        py = (1.0f - sy) * (float)h * 0.5f;
    }
};

struct Palette {
    Rgb skin, hair, cloth, iris, lip;
};

struct Light {
    V3 dir;      // towards the key light
    Rgb colour;
    float ambient;
    Rgb ambientColour;
    V3 fillDir;  // a dim unshadowed bounce from the other side
    Rgb fill;
    float reach; // 0, or how fast the key dies away from the lamp (per unit)
};

V3 reflect(V3 d, V3 n) { return d - n * (2.0f * dot(d, n)); }

// Skin colour over the body: the flush of cheeks, nose, ears and lips, a
// cool shadow of beard round the mouth and jaw, and a faint mottle.
Rgb skinColour(const Figure &fig, const Palette &pal, V3 p, V3 hp, bool onHead)
{
    Rgb c = pal.skin * (1.0f + 0.06f * noise3(p * 5.0f, 91u) + 0.03f * noise3(p * 19.0f, 92u));
    if (!onHead)
        return c;
    V3 m = {std::fabs(hp.x), hp.y, hp.z};
    auto blob = [](V3 a, V3 b, float r2) {
        V3 d = a - b;
        return std::exp(-dot(d, d) / r2);
    };
    float flush = 0.6f * blob(m, {0.36f, -0.22f, 0.56f}, 0.04f) + 0.7f * blob(hp, {0.0f, -0.28f, 0.93f}, 0.012f) +
                  0.6f * blob(m, {0.72f, -0.06f, -0.06f}, 0.03f);
    c = mix(c, c * Rgb{1.04f, 0.76f, 0.72f}, clamp01(flush));
    float beard = smoothstep(-0.4f, -0.62f, hp.y) * smoothstep(0.0f, 0.35f, hp.z) +
                  0.6f * smoothstep(-0.3f, -0.6f, hp.y) * smoothstep(0.45f, 0.6f, m.x);
    c = mix(c, c * Rgb{0.84f, 0.85f, 0.9f}, 0.45f * clamp01(beard));
    // Brows, painted on as hair: thick at the inner end, tapering outwards;
    // raised, the inner ends lift most, as in fear.
    if (hp.z > 0.45f) {
        float raise = fig.pose.browRaise;
        float ax = 0.1f - 0.03f * raise / 0.08f, ay = 0.25f + raise * 1.6f;
        float bx = 0.25f, by = 0.275f + raise * 1.0f, cx = 0.41f, cy = 0.21f + raise * 0.5f;
        auto seg = [&](float x0, float y0, float x1, float y1, float &t) {
            float dx = x1 - x0, dy = y1 - y0;
            t = clamp01(((m.x - x0) * dx + (m.y - y0) * dy) / (dx * dx + dy * dy));
            float qx = x0 + dx * t - m.x, qy = y0 + dy * t - m.y;
            return std::sqrt(qx * qx + qy * qy);
        };
        float t1, t2;
        float d1 = seg(ax, ay, bx, by, t1), d2 = seg(bx, by, cx, cy, t2);
        float along = d1 < d2 ? 0.5f * t1 : 0.5f + 0.5f * t2;
        float thick = 0.055f - 0.035f * along;
        float hairs = 0.8f + 0.2f * valueNoise(m.x * 50.0f + m.y * 50.0f, m.y * 10.0f - m.x * 10.0f, 98u);
        float brow = smoothstep(thick, thick * 0.4f, std::fmin(d1, d2)) * hairs * smoothstep(0.0f, 0.05f, along + 0.02f);
        c = mix(c, pal.hair * 0.8f, clamp01(1.1f * brow));
    }
    // Upper lids a shade darker and cooler.
    c = mix(c, c * Rgb{0.85f, 0.78f, 0.8f}, 0.6f * blob(m, {0.26f, 0.1f, 0.72f}, 0.006f));
    float lip = std::fmin(sdEllipsoid(hp - fig.lips.upperC, fig.lips.upperR),
                          sdEllipsoid(hp - fig.lips.lowerC, fig.lips.lowerR));
    c = mix(c, pal.lip, 0.7f * smoothstep(0.02f, 0.0f, lip) * smoothstep(0.17f, 0.1f, m.x));
    // Lashes darken the rim of the upper lid.
    V3 ec = m - V3{0.26f, 0.04f, 0.62f};
    float rim = ec.y - (0.045f * fig.pose.eyeOpen + 0.1f * ec.x);
    float lash = smoothstep(0.03f, 0.0f, rim) * smoothstep(-0.01f, 0.0f, rim) * smoothstep(0.17f, 0.14f, length(ec));
    c = mix(c, pal.hair * 0.5f, 0.8f * lash);
    return c;
}

struct Sample {
    Rgb colour;
    float cover;
    int material; // -1 for the ground
};

// Shades one ray: linear colour, or nothing when it misses the figure.
Sample shade(const Figure &fig, const Camera &cam, const Light &light, const Palette &pal, V3 rd)
{
    float t;
    if (!fig.march(cam.eye, rd, t))
        return {{0, 0, 0}, 0.0f, -1};
    V3 p = cam.eye + rd * t;
    Hit hit = fig.map(p);
    V3 n = fig.normal(p);
    V3 hp = fig.toHead(p);
    float ndl = dot(n, light.dir);
    float sh = ndl > -0.1f ? fig.shadow(p + n * 0.004f, light.dir) : 0.0f;
    float ao = fig.occlusion(p, n);
    V3 hv = normalize(light.dir - rd);
    float ndh = std::fmax(0.0f, dot(n, hv));
    Rgb albedo;
    float gloss = 0.12f, power = 24.0f, wrap = 0.0f, sheen = 0.0f;
    Rgb extra = {0, 0, 0};
    switch (hit.m) {
    case SKIN:
        albedo = skinColour(fig, pal, p, hp, hit.onHead);
        wrap = 0.25f;
        gloss = 0.1f;
        power = 18.0f;
        break;
    case EYE: {
        // Iris and pupil from the angle to the gaze; a dark ring round the iris
        // and fibres radiating from the pupil.
        V3 c = {hp.x > 0.0f ? 0.26f : -0.26f, 0.04f, 0.62f};
        V3 en = normalize(hp - c);
        V3 g = normalize(fig.pose.gaze);
        float cosg = dot(en, g);
        V3 side = cross(g, {0, 1, 0});
        float ang = std::atan2(dot(en, cross(side, g)), dot(en, side));
        float fibre = 0.85f + 0.15f * valueNoise(ang * 7.0f, 0.0f, 93u);
        if (cosg > 0.972f)
            albedo = hexColor(0x070504);
        else if (cosg > 0.87f) {
            float ring = smoothstep(0.9f, 0.87f, cosg);
            albedo = mix(pal.iris * fibre * (1.0f + 0.4f * smoothstep(0.94f, 0.972f, cosg)), pal.iris * 0.35f, ring);
        } else
            albedo = mix(hexColor(0xeae0d4), hexColor(0xc8a8a0), smoothstep(0.7f, 0.3f, cosg)); // reddening at the corners
        gloss = 0.6f;
        power = 90.0f;
        wrap = 0.2f;
        break;
    }
    case HAIR: {
        // Strands flow out from the crown; the colour varies strand to strand
        // and a broken sheen runs across them.
        V3 crown = {0.05f, 0.8f, -0.4f};
        V3 dv = hp - crown;
        V3 hn = normalize(V3{hp.x / 0.62f, (hp.y - 0.2f) / 0.81f, (hp.z + 0.08f) / 0.86f});
        V3 tg = normalize(dv - hn * dot(dv, hn));
        float az = std::atan2(dv.x, dv.z + 0.6f), rad = length(dv);
        float strand = fbm(az * 40.0f, rad * 2.5f, 3, 95u);
        float clump = fbm(az * 8.0f, rad * 1.2f, 2, 96u);
        albedo = pal.hair * (0.75f + 0.5f * strand + 0.3f * clump);
        V3 tw = fig.headDirToWorld(tg);
        V3 shifted = normalize(tw + n * (0.25f * strand));
        float th = dot(shifted, hv);
        float kk = std::pow(std::sqrt(std::fmax(0.0f, 1.0f - th * th)), 60.0f);
        // Dark hair shines in its own warm colour rather than white.
        Rgb tint = mix(Rgb{1, 1, 1}, pal.hair * (1.0f / std::fmax(pal.hair.r, 0.01f)), 0.6f);
        extra = light.colour * tint * (0.25f * kk * (0.6f + 0.6f * strand) * sh);
        gloss = 0.0f;
        wrap = 0.1f;
        break;
    }
    case MOUTH: {
        // Inside the mouth; the upper teeth show under the top lip.
        float top = fig.mouthY + 0.015f + 0.06f * fig.pose.mouthOpen;
        bool teeth = hp.y > top - 0.045f && std::fabs(hp.x) < 0.1f;
        albedo = teeth ? hexColor(0xcfc4b0) : hexColor(0x3a1410);
        gloss = teeth ? 0.2f : 0.05f;
        break;
    }
    case CLOTH:
        albedo = pal.cloth * (1.0f + 0.08f * noise3(p * 4.0f, 97u));
        gloss = 0.02f;
        wrap = 0.15f;
        sheen = 0.35f; // the pile catches light at grazing angles
        break;
    }
    float diff = clamp01((ndl + wrap) / (1.0f + wrap)) * sh;
    float spec = gloss * std::pow(ndh, power) * sh;
    // Away from a near lamp the key weakens; the head, nearest, keeps it all.
    float near = light.reach > 0.0f ? std::fmin(1.0f, std::exp(light.reach * dot(p, light.dir))) : 1.0f;
    sh *= near;
    diff *= near;
    spec *= near;
    extra = extra * near;
    Rgb c = albedo * light.colour * diff + light.colour * spec + extra;
    if (sheen > 0.0f) {
        float rim = std::pow(1.0f - std::fabs(dot(n, rd)), 3.0f);
        c = c + albedo * light.colour * (sheen * rim * clamp01(ndl + 0.3f) * sh);
    }
    if (hit.m == SKIN) {
        // Warm blood colour where light turns into shadow, as it scatters under the skin.
        float edge = smoothstep(-0.3f, 0.0f, ndl) * (1.0f - smoothstep(0.0f, 0.35f, ndl * sh));
        c = c + Rgb{0.3f, 0.07f, 0.03f} * (edge * 0.22f);
    }
    // A catch-light on the eye, where the lamp's reflection lands.
    if (hit.m == EYE) {
        float r = dot(reflect(rd, n), light.dir);
        c = c + light.colour * (1.5f * smoothstep(0.985f, 0.995f, r) * sh);
    }
    float fd = clamp01(dot(n, light.fillDir) * 0.6f + 0.4f);
    c = c + albedo * light.fill * (fd * ao);
    c = c + albedo * light.ambientColour * (light.ambient * ao);
    return {c * (0.65f + 0.35f * ao), 1.0f, (int)hit.m};
}

// Renders the figure; returns linear colour and writes coverage (1 on the
// figure) so the ground can be painted behind it. One ray per pixel, then
// four more where the figure's outline or a material edge passes.
Image render(const Figure &fig, const Camera &cam, const Light &light, const Palette &pal, int w, int h,
             Mask &cover)
{
    Image out(w, h);
    Grid<int> mat(w, h);
    for (int y = 0; y < h; y++)
        for (int x = 0; x < w; x++) {
            Sample s = shade(fig, cam, light, pal, cam.ray((float)x + 0.5f, (float)y + 0.5f, w, h));
            out.at(x, y) = s.colour;
            cover.at(x, y) = s.cover;
            mat.at(x, y) = s.material;
        }
    Image first = out;
    for (int y = 0; y < h; y++)
        for (int x = 0; x < w; x++) {
            // The neighbours; read clamped, a border pixel compares with itself.
            bool edge = false;
            const Rgb &c = first.at(x, y);
            for (int dy = -1; dy <= 1 && !edge; dy++)
                for (int dx = -1; dx <= 1 && !edge; dx++)
                    edge = mat.get(x + dx, y + dy) != mat.at(x, y) ||
                           colourDistance(first.get(x + dx, y + dy), c) > 0.25f;
            if (!edge)
                continue;
            Rgb sum = c;
            float hits = cover.at(x, y);
            for (int s = 0; s < 4; s++) {
                Sample a = shade(fig, cam, light, pal,
                                 cam.ray((float)x + 0.25f + 0.5f * (float)(s & 1), (float)y + 0.25f + 0.5f * (float)(s >> 1),
                                         w, h));
                sum = sum + a.colour;
                hits += a.cover;
            }
            out.at(x, y) = sum * 0.2f;
            cover.at(x, y) = hits * 0.2f;
        }
    // Colour where the figure is only partly present is premultiplied; undo it
    // so mixing with the ground is right.
    for (size_t i = 0; i < out.px.size(); i++)
        if (cover.px[i] > 0.0f)
            out.px[i] = out.px[i] * (1.0f / cover.px[i]);
    return out;
}

// Display values from linear light, with a soft shoulder.
// Half the curve works on luminance with the colour scaled along, so lit skin
// keeps some colour instead of bleaching; what overflows goes to white.
Rgb toDisplay(Rgb c)
{
    auto f = [](float v) {
        float d = std::pow(1.0f - std::exp(-1.8f * std::fmax(0.0f, v)), 1.0f / 2.2f);
        return 0.5f * d + 0.5f * d * d * (3.0f - 2.0f * d); // firmer contrast
    };
    float l = luma(c);
    if (l <= 1e-6f)
        return {0, 0, 0};
    Rgb o = mix(c * (f(l) / l), Rgb{f(c.r), f(c.g), f(c.b)}, 0.5f);
    float over = std::fmax(0.0f, std::fmax(o.r, std::fmax(o.g, o.b)) - 1.0f);
    o = mix(o, Rgb{1, 1, 1}, clamp01(over));
    return {clamp01(o.r), clamp01(o.g), clamp01(o.b)};
}

// Puts a small bright catch-light on each visible eye, offset from the pupil
// towards the lamp: the last touch a painter gives a portrait.
void catchLights(Image &img, const Figure &fig, const Camera &cam, const Light &light, Rgb colour, float size)
{
    const int w = img.w, h = img.h;
    V3 g = normalize(fig.pose.gaze);
    V3 lh = fig.dirToHead(light.dir);
    for (float side : {-1.0f, 1.0f}) {
        V3 c = {0.26f * side, 0.04f, 0.62f};
        V3 spot = c + normalize(g + lh * 0.45f) * 0.121f;
        V3 wp = fig.headToWorld(spot);
        // Hidden behind the nose or a lid?
        V3 rd = normalize(wp - cam.eye);
        float t;
        if (!fig.march(cam.eye, rd, t) || std::fabs(t - length(wp - cam.eye)) > 0.02f)
            continue;
        if (fig.map(cam.eye + rd * t).m != EYE)
            continue;
        float lit = clamp01(dot(fig.headDirToWorld(normalize(spot - c)), light.dir) + 0.6f);
        float px, py;
        cam.project(wp, w, h, px, py);
        for (int y = (int)py - 4; y <= (int)py + 4; y++)
            for (int x = (int)px - 4; x <= (int)px + 4; x++) {
                if (x < 0 || y < 0 || x >= w || y >= h)
                    continue;
                float dx = (float)x + 0.5f - px, dy = (float)y + 0.5f - py;
                float a = lit * clamp01(size + 0.5f - std::sqrt(dx * dx + dy * dy));
                img.at(x, y) = mix(img.at(x, y), colour, a * 0.9f);
            }
    }
}

} // namespace

Image paintSidelit()
{
    const int w = 402, h = 480;
    Pose pose = {0.05f, 0.42f, 1.0f, 0.0f, 0.0f, {0.3f, -0.05f, 1.0f}, 2};
    Palette pal = {hexColor(0xdba27c), hexColor(0x2c1a0e), hexColor(0x5e2216), hexColor(0x5a3418),
                   hexColor(0xa05a4c)};
    Figure fig(pose);
    Camera cam = {{0.6f, -0.7f, 7.2f}, {0.0f, -0.95f, 0.0f}, 0.56f};
    Light light = {normalize({1.0f, 0.45f, 0.05f}), {1.05f, 0.95f, 0.78f}, 0.04f, {0.5f, 0.55f, 0.7f},
                   normalize({-0.8f, 0.2f, 0.6f}), {0.032f, 0.031f, 0.035f}, 0.0f};
    Mask cover(w, h);
    Image lin = render(fig, cam, light, pal, w, h, cover);
    Image img(w, h);
    for (int y = 0; y < h; y++)
        for (int x = 0; x < w; x++) {
            // Near-black ground with a faint warm breath of light behind the figure.
            float dx = ((float)x - 300.0f) / 300.0f, dy = ((float)y - 150.0f) / 300.0f;
            Rgb bg = hexColor(0x1a110a) * std::exp(-(dx * dx + dy * dy) * 2.0f);
            bg = bg * (1.0f + 0.5f * fbm((float)x * 0.015f, (float)y * 0.015f, 4, 71u));
            img.at(x, y) = mix(bg, toDisplay(lin.at(x, y)), cover.at(x, y));
        }
    // Paint: strokes follow the forms, and lie on a slant across the ground.
    img = paintOver(img, [](float, float, float &dx, float &dy) { dx = 0.55f, dy = -0.83f; },
                    {{5.0f, 22.0f, 0.0f}, {2.6f, 12.0f, 0.11f}, {1.0f, 4.0f, 0.1f}}, 72u);
    catchLights(img, fig, cam, light, Rgb{1.0f, 0.97f, 0.9f}, 1.1f);
    canvasWeave(img, 0.035f, 73u);
    return img;
}

Image paintSpider()
{
    const int w = 640, h = 480;
    Pose pose = {0.42f, 0.22f, 1.9f, 0.08f, 0.6f, {0.08f, 0.3f, 1.0f}, 1};
    Palette pal = {hexColor(0xc8946e), hexColor(0x22150b), hexColor(0x7a7268), hexColor(0x2a1c10),
                   hexColor(0x985448)};
    Figure fig(pose);
    Camera cam = {{-0.4f, -1.1f, 8.0f}, {1.1f, -0.9f, 0.0f}, 0.6f};
    V3 toLight = normalize({0.45f, 1.0f, 0.65f});
    Light light = {toLight, {0.85f, 0.82f, 0.75f}, 0.06f, {0.6f, 0.6f, 0.65f}, normalize({-0.7f, -0.3f, 0.6f}),
                   {0.03f, 0.03f, 0.035f}, 0.55f};
    Mask cover(w, h);
    Image lin = render(fig, cam, light, pal, w, h, cover);
    // The light's place on the picture: upper right, where he is looking.
    const float sx = 540.0f, sy = 40.0f;
    // Sepia: luminance through a ramp from deep umber by way of ochre to cream.
    const Rgb ramp[] = {hexColor(0x140b05), hexColor(0x3e2612), hexColor(0x7a5530), hexColor(0xb48d5c),
                        hexColor(0xe6cfa2), hexColor(0xfff5de)};
    const int stops = (int)(sizeof ramp / sizeof ramp[0]) - 1;
    Image img(w, h);
    for (int y = 0; y < h; y++)
        for (int x = 0; x < w; x++) {
            float dx = (float)x - sx, dy = (float)y - sy;
            float r = std::sqrt(dx * dx + dy * dy);
            float ang = std::atan2(dy, dx);
            float rays = smoothstep(-0.2f, 0.5f, fbm(ang * 5.0f, 0.0f, 3, 81u));
            float glow = 4.0f * std::exp(-r / 30.0f) + 0.6f * std::exp(-r / 90.0f) + 0.45f * std::exp(-r / 240.0f) * (0.3f + rays);
            float room = 0.015f + 0.012f * fbm((float)x * 0.01f, (float)y * 0.01f, 4, 82u);
            Rgb bg = Rgb{1, 1, 1} * (room + glow * 0.35f);
            // Shafts of light through the haze: the glow carried outwards from
            // the lamp, blocked where his head and shoulders stand in its way.
            float sum = 0.0f;
            const int n = 40;
            for (int i = 0; i < n; i++) {
                float t = ((float)i + 0.5f) / (float)n;
                float qx = (float)x + (sx - (float)x) * t, qy = (float)y + (sy - (float)y) * t;
                int ix = (int)qx, iy = (int)qy;
                if (ix < 0 || iy < 0 || ix >= w || iy >= h)
                    continue;
                float qdx = qx - sx, qdy = qy - sy;
                sum += std::exp(-std::sqrt(qdx * qdx + qdy * qdy) / 90.0f) * (1.0f - cover.at(ix, iy));
            }
            float shaft = sum / (float)n;
            // The glow spills over his edges too.
            Rgb lit = mix(bg, lin.at(x, y), cover.at(x, y)) + Rgb{1, 1, 1} * (0.12f * shaft + 0.1f * std::exp(-r / 90.0f));
            Rgb c = toDisplay(lit);
            float l = std::pow(clamp01(luma(c)), 1.25f) * (float)stops;
            int i = std::min(stops - 1, (int)l);
            img.at(x, y) = mix(ramp[i], ramp[i + 1], l - (float)i);
        }
    // Towards the lamp where the picture is flat.
    auto towardsLamp = [sx, sy](float x, float y, float &dx, float &dy) {
        float ax = sx - x, ay = sy - y, l = std::sqrt(ax * ax + ay * ay) + 1e-3f;
        dx = ax / l;
        dy = ay / l;
    };
    img = paintOver(img, towardsLamp, {{6.0f, 26.0f, 0.0f}, {3.0f, 14.0f, 0.1f}, {1.0f, 4.0f, 0.09f}}, 83u);
    catchLights(img, fig, cam, light, hexColor(0xfffaf0), 1.3f);
    canvasWeave(img, 0.035f, 84u);
    vignette(img, 0.55f, 0.5f, 1.45f, 1.0f, 1.0f);
    return img;
}
