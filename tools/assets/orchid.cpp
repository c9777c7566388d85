#include "orchid.h"

#include <algorithm>
#include <cmath>

namespace gen {

namespace {

struct Part {
    float angle;  // direction from the centre, radians, y down
    float length;
    float width;  // largest half width
    float widest; // position of the largest width, 0..1 along the part
};

const float kDeg = float(kPi / 180.0);
// Back to front: lateral sepals, dorsal sepal, petals, lip lobes, lip.
const Part kLateralSepals[2] = {{50 * kDeg, 0.86f, 0.23f, 0.55f}, {130 * kDeg, 0.86f, 0.23f, 0.55f}};
const Part kDorsalSepal = {-90 * kDeg, 0.92f, 0.26f, 0.55f};
const Part kPetals[2] = {{-16 * kDeg, 0.98f, 0.45f, 0.6f}, {196 * kDeg, 0.98f, 0.45f, 0.6f}};
const Part kLipLobes[2] = {{35 * kDeg, 0.30f, 0.10f, 0.55f}, {145 * kDeg, 0.30f, 0.10f, 0.55f}};
const Part kLip = {90 * kDeg, 0.56f, 0.17f, 0.72f};

// Position along (t, 0..1) and across (s, -1..1) a part, if inside.
bool InPart(const Part& p, float x, float y, float& t, float& s)
{
    float c = std::cos(p.angle), sn = std::sin(p.angle);
    float u = x * c + y * sn, v = -x * sn + y * c;
    t = u / p.length;
    if (t <= 0 || t >= 1) return false;
    float e = t < p.widest ? (t - p.widest) / p.widest : (t - p.widest) / (1 - p.widest);
    float w = p.width * std::sqrt(std::max(0.0f, 1 - e * e)) * (0.3f + 0.7f * Smooth(0.0f, 0.35f, t));
    if (std::fabs(v) >= w) return false;
    s = v / w;
    return true;
}

Rgb Shade(const OrchidStyle& st, Rgb base, Rgb tip, float t, float s, float x, float y, int seed)
{
    Rgb c = Mix(base, tip, std::pow(t, 0.8f));
    float vein = 0.5f + 0.5f * std::cos(s * float(kPi) * 7.0f + t * 3.0f);
    vein = std::pow(vein, 6.0f) * st.veins * (1 - 0.5f * t);
    c = Mix(c, st.vein, vein);
    c = Mix(c, st.blush, st.blushAmount * (1 - Smooth(0.05f, 0.45f, t)));
    if (st.spots > 0 && t > 0.12f && t < 0.75f) {
        float n = Noise(x * 16, y * 16, seed);
        float spot = Smooth(0.62f, 0.70f, n) * st.spots * (1 - Smooth(0.45f, 0.75f, t));
        c = Mix(c, st.spot, spot);
    }
    float rim = Smooth(0.78f, 1.0f, std::fabs(s)) + Smooth(0.9f, 1.0f, t);
    c = c * (1 - st.rim * Clamp01(rim));
    float light = 1 + 0.10f * (-x - y) / 1.4f;
    return c * light;
}

// Colour of the flower at a point, or false outside.
bool OrchidColour(const OrchidStyle& st, float x, float y, Rgb& out)
{
    float t, s;
    // Column and throat in front.
    float dc = std::hypot(x, y - 0.02f);
    if (dc < 0.085f) {
        out = Mix(st.column, st.column * 0.8f, Smooth(0.05f, 0.085f, dc));
        if (std::hypot(x, y - 0.07f) < 0.03f) out = Mix(st.throat, st.lip, 0.3f);
        return true;
    }
    if (InPart(kLip, x, y, t, s)) {
        out = Mix(st.lip, st.lipTip, t);
        float th = std::hypot(x * 1.4f, y - 0.16f);
        out = Mix(out, st.throat, 1 - Smooth(0.05f, 0.1f, th));
        if (th < 0.1f && Noise(x * 40, y * 40, 7) > 0.65f) out = Mix(out, st.lip * 0.7f, 0.8f);
        out = out * (1 - 0.35f * Smooth(0.7f, 1.0f, std::fabs(s)));
        return true;
    }
    for (const Part& p : kLipLobes)
        if (InPart(p, x, y, t, s)) {
            out = Mix(st.lip, st.throat, 0.35f * (1 - t)) * (1 - 0.3f * Smooth(0.6f, 1.0f, std::fabs(s)));
            return true;
        }
    for (int i = 0; i < 2; ++i)
        if (InPart(kPetals[i], x, y, t, s)) {
            out = Shade(st, st.petalBase, st.petalTip, t, s, x, y, 11);
            return true;
        }
    if (InPart(kDorsalSepal, x, y, t, s)) {
        out = Shade(st, st.sepalBase, st.sepalTip, t, s, x, y, 12);
        return true;
    }
    for (int i = 0; i < 2; ++i)
        if (InPart(kLateralSepals[i], x, y, t, s)) {
            // The lower sepals sit behind: a touch darker.
            out = Shade(st, st.sepalBase, st.sepalTip, t, s, x, y, 13) * 0.92f;
            return true;
        }
    return false;
}

}  // namespace

bool OrchidInside(float x, float y)
{
    Rgb dummy;
    return OrchidColour(OrchidStyle{}, x, y, dummy);
}

OrchidStyle FlowerStyle(int index)
{
    OrchidStyle s;
    switch (index) {
    case 0:  // white with a rose flush
        s.petalBase = Hex(0xF3D3E6); s.petalTip = Hex(0xFFFBFD);
        s.sepalBase = Hex(0xF0D8E6); s.sepalTip = Hex(0xFDF8F6);
        s.vein = Hex(0xE39AC2); s.veins = 0.35f; s.blush = Hex(0xE87DB5); s.blushAmount = 0.45f;
        s.lip = Hex(0xC2186B); s.lipTip = Hex(0xE04A94); s.throat = Hex(0xF7C948);
        s.rim = 0.12f;
        break;
    case 1:  // magenta
        s.petalBase = Hex(0xB0185E); s.petalTip = Hex(0xEE5FA7);
        s.sepalBase = Hex(0xA81A5C); s.sepalTip = Hex(0xE2579C);
        s.vein = Hex(0x7D0C40); s.veins = 0.4f; s.blush = Hex(0x8A0E48); s.blushAmount = 0.5f;
        s.lip = Hex(0x6B0A3A); s.lipTip = Hex(0x9E1356); s.throat = Hex(0xF5B83D);
        s.rim = 0.22f;
        break;
    case 2:  // violet
        s.petalBase = Hex(0x6F47B8); s.petalTip = Hex(0xC7B0F2);
        s.sepalBase = Hex(0x6A45B0); s.sepalTip = Hex(0xB9A0EA);
        s.vein = Hex(0x4B2A8C); s.veins = 0.35f; s.blush = Hex(0x52308F); s.blushAmount = 0.4f;
        s.lip = Hex(0x4A1D7A); s.lipTip = Hex(0x7B3FB5); s.throat = Hex(0xF2D24B);
        s.rim = 0.2f;
        break;
    case 3:  // gold with red spots
        s.petalBase = Hex(0xE79A1E); s.petalTip = Hex(0xFFE27A);
        s.sepalBase = Hex(0xE08E1A); s.sepalTip = Hex(0xFAD56A);
        s.vein = Hex(0xC0631A); s.veins = 0.2f; s.blush = Hex(0xD0601A); s.blushAmount = 0.3f;
        s.lip = Hex(0xB3261E); s.lipTip = Hex(0xD8452E); s.throat = Hex(0xFFF0A0);
        s.spot = Hex(0xA3241C); s.spots = 0.9f;
        s.rim = 0.2f;
        break;
    case 4:  // pale pink with magenta stripes
        s.petalBase = Hex(0xF2A7CB); s.petalTip = Hex(0xFBD9E8);
        s.sepalBase = Hex(0xEFA2C6); s.sepalTip = Hex(0xF9D2E3);
        s.vein = Hex(0xC2307A); s.veins = 0.8f; s.blush = Hex(0xD04B8E); s.blushAmount = 0.3f;
        s.lip = Hex(0xA0145A); s.lipTip = Hex(0xC83A80); s.throat = Hex(0xF8D25A);
        s.rim = 0.15f;
        break;
    default:  // coral
        s.petalBase = Hex(0xF2663F); s.petalTip = Hex(0xFFC0A0);
        s.sepalBase = Hex(0xEC6A44); s.sepalTip = Hex(0xFDBB98);
        s.vein = Hex(0xC8442A); s.veins = 0.3f; s.blush = Hex(0xD9432B); s.blushAmount = 0.35f;
        s.lip = Hex(0xB0202E); s.lipTip = Hex(0xD83E46); s.throat = Hex(0xFFE07A);
        s.rim = 0.18f;
        break;
    }
    return s;
}

void PaintOrchid(Image& img, Coverage* cov, float cx, float cy, float radius, float angle, const OrchidStyle& style,
                 float opacity)
{
    float c = std::cos(angle), s = std::sin(angle);
    int x0 = std::max(0, int(cx - radius * 1.05f) - 1), x1 = std::min(img.w - 1, int(cx + radius * 1.05f) + 1);
    int y0 = std::max(0, int(cy - radius * 1.05f) - 1), y1 = std::min(img.h - 1, int(cy + radius * 1.05f) + 1);
    for (int y = y0; y <= y1; ++y)
        for (int x = x0; x <= x1; ++x) {
            Rgb sum;
            int hits = 0;
            for (int sy = 0; sy < 3; ++sy)
                for (int sx = 0; sx < 3; ++sx) {
                    float px = (float(x) + (float(sx) + 0.5f) / 3 - 0.5f - cx) / radius;
                    float py = (float(y) + (float(sy) + 0.5f) / 3 - 0.5f - cy) / radius;
                    float lx = px * c + py * s, ly = -px * s + py * c;
                    Rgb col;
                    if (OrchidColour(style, lx, ly, col)) {
                        sum = sum + col;
                        ++hits;
                    }
                }
            if (hits == 0) continue;
            float a = float(hits) / 9.0f;
            img.Blend(x, y, sum * (1.0f / float(hits)), a * opacity);
            if (cov) cov->at(x, y) = std::max(cov->at(x, y), a);
        }
}

void PaintBud(Image& img, Coverage* cov, float cx, float cy, float radius, float angle, const OrchidStyle& style)
{
    float c = std::cos(angle), s = std::sin(angle);
    int x0 = std::max(0, int(cx - radius) - 2), x1 = std::min(img.w - 1, int(cx + radius) + 2);
    int y0 = std::max(0, int(cy - radius) - 2), y1 = std::min(img.h - 1, int(cy + radius) + 2);
    for (int y = y0; y <= y1; ++y)
        for (int x = x0; x <= x1; ++x) {
            float px = (float(x) - cx) / radius, py = (float(y) - cy) / radius;
            float u = px * c + py * s, v = -px * s + py * c;  // u along the bud, tip at u = 1
            float t = (u + 1) * 0.5f;
            float w = 0.55f * std::sqrt(std::max(0.0f, 1 - (t - 0.4f) * (t - 0.4f) / 0.36f));
            float d = (std::fabs(v) - w) * radius;
            float a = Clamp01(0.5f - d) * (t > 0 && t < 1 ? 1.0f : 0.0f);
            if (a <= 0) continue;
            Rgb col = Mix(style.sepalBase, style.sepalTip, t) * (1 - 0.3f * std::fabs(v / std::max(w, 0.01f)));
            img.Blend(x, y, col, a);
            if (cov) cov->at(x, y) = std::max(cov->at(x, y), a);
        }
}

}  // namespace gen
