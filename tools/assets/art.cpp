#include "art.h"

#include <algorithm>
#include <cmath>

#include "orchid.h"

namespace gen {

Fonts::Fonts(const std::string& dir)
    : serifBold(dir + "/DejaVuSerif-Bold.ttf"),
      sansBold(dir + "/DejaVuSans-Bold.ttf"),
      sansCondBold(dir + "/DejaVuSansCondensed-Bold.ttf")
{
}

namespace {

// The show's palette: dusk over orchid country.
const Rgb kNight = Hex(0x0B0820);
const Rgb kIndigo = Hex(0x1C1240);
const Rgb kPlum = Hex(0x3E1553);
const Rgb kMagenta = Hex(0xB0307A);
const Rgb kRose = Hex(0xF08CB4);
const Rgb kPeach = Hex(0xF7A76C);
const Rgb kGold = Hex(0xF5C96B);
const Rgb kCream = Hex(0xFFF3E0);
const Rgb kLeaf = Hex(0x2F5D3A);
const Rgb kLeafLight = Hex(0x5E9A5A);
const Rgb kStem = Hex(0x5A4A2E);

// Sky of a dusk: indigo at the top, through plum and rose to a warm horizon.
Rgb DuskSky(float v, float warmth)
{
    Rgb top = Mix(kIndigo, kNight, 0.3f);
    Rgb warm = Mix(Hex(0x4A2A6E), kPeach, warmth);
    return Ramp({top, Hex(0x2E1B5C), Mix(kPlum, kMagenta, 0.5f), Mix(kRose, warm, 0.5f), warm}, v);
}

// A closed quadrilateral test (corners in order, convex).
bool InQuad(const float q[8], float x, float y)
{
    bool pos = false, neg = false;
    for (int i = 0; i < 4; ++i) {
        float ax = q[i * 2], ay = q[i * 2 + 1], bx = q[(i * 2 + 2) % 8], by = q[(i * 2 + 3) % 8];
        float cr = (bx - ax) * (y - ay) - (by - ay) * (x - ax);
        if (cr > 0) pos = true;
        if (cr < 0) neg = true;
    }
    return !(pos && neg);
}

// 3x3 supersampled coverage of a quadrilateral over a picture.
void QuadCov(Coverage& cov, const float q[8])
{
    float minx = q[0], maxx = q[0], miny = q[1], maxy = q[1];
    for (int i = 1; i < 4; ++i) {
        minx = std::min(minx, q[i * 2]); maxx = std::max(maxx, q[i * 2]);
        miny = std::min(miny, q[i * 2 + 1]); maxy = std::max(maxy, q[i * 2 + 1]);
    }
    for (int y = std::max(0, int(miny) - 1); y <= std::min(cov.h - 1, int(maxy) + 1); ++y)
        for (int x = std::max(0, int(minx) - 1); x <= std::min(cov.w - 1, int(maxx) + 1); ++x) {
            int n = 0;
            for (int sy = 0; sy < 3; ++sy)
                for (int sx = 0; sx < 3; ++sx)
                    n += InQuad(q, float(x) + (float(sx) - 1) / 3, float(y) + (float(sy) - 1) / 3);
            cov.at(x, y) = std::max(cov.at(x, y), float(n) / 9);
        }
}

// A broad orchid leaf: a curved blade from (x0, y0) to its tip.
void LeafCov(Coverage& cov, float x0, float y0, float x1, float y1, float bend, float width)
{
    float mx = (x0 + x1) * 0.5f, my = (y0 + y1) * 0.5f;
    float nx = -(y1 - y0), ny = x1 - x0;
    float len = std::hypot(nx, ny);
    nx /= len;
    ny /= len;
    float cx = mx + nx * bend, cy = my + ny * bend;
    const int n = 40;
    for (int i = 0; i < n; ++i) {
        float t0 = float(i) / n, t1 = float(i + 1) / n;
        auto pt = [&](float t, float& x, float& y) {
            float u = 1 - t;
            x = u * u * x0 + 2 * u * t * cx + t * t * x1;
            y = u * u * y0 + 2 * u * t * cy + t * t * y1;
        };
        float ax, ay, bx, by;
        pt(t0, ax, ay);
        pt(t1, bx, by);
        auto wid = [&](float t) { return width * std::sqrt(std::max(0.0f, std::sin(float(kPi) * std::pow(t, 0.7f)))) + 0.6f; };
        CapsuleCov(cov, ax, ay, bx, by, wid(t0), wid(t1));
    }
}

// Paints leaves with a lighter midrib side.
void PaintLeaves(Image& img, const Coverage& cov, Rgb dark, Rgb light, float lightDirX)
{
    for (int y = 0; y < img.h; ++y)
        for (int x = 0; x < img.w; ++x) {
            float a = cov.at(x, y);
            if (a <= 0) continue;
            float n = Fbm(float(x) * 0.03f, float(y) * 0.03f, 3, 91);
            float l = Clamp01(0.5f + lightDirX * (cov.Sample(float(x) - 3, float(y) - 3) - cov.Sample(float(x) + 3, float(y) + 3)));
            img.Blend(x, y, Mix(dark, light, 0.3f * n + 0.5f * l), a);
        }
}

// A flower spray: a curved stem with orchids along it and buds at its end.
struct Spray {
    float stem[8];
    int flowers;
    float radius;
    int style;
    float stemWidth;
};

void PaintSpray(Image& img, Coverage* cov, const Spray& s, float angleJitter, int seed)
{
    Coverage stem(img.w, img.h);
    BezierCov(stem, s.stem, s.stemWidth, s.stemWidth * 0.5f);
    Paint(img, stem, kStem);
    if (cov)
        for (size_t i = 0; i < stem.a.size(); ++i) cov->a[i] = std::max(cov->a[i], stem.a[i]);
    auto at = [&](float t, float& x, float& y) {
        float u = 1 - t;
        x = u * u * u * s.stem[0] + 3 * u * u * t * s.stem[2] + 3 * u * t * t * s.stem[4] + t * t * t * s.stem[6];
        y = u * u * u * s.stem[1] + 3 * u * u * t * s.stem[3] + 3 * u * t * t * s.stem[5] + t * t * t * s.stem[7];
    };
    OrchidStyle st = FlowerStyle(s.style);
    // Buds at the tip, small to large, green turning to the flower's colour.
    OrchidStyle bud = st;
    bud.sepalBase = Mix(st.sepalBase, kLeafLight, 0.55f);
    bud.sepalTip = Mix(st.sepalTip, kLeafLight, 0.3f);
    for (int b = 0; b < 3; ++b) {
        float t = 1.0f - float(b) * 0.045f, x, y;
        at(t, x, y);
        float r = s.radius * (0.12f + 0.06f * float(b));
        PaintBud(img, cov, x, y + r * 0.9f, r, float(kPi) * 0.5f, bud);
    }
    for (int i = s.flowers - 1; i >= 0; --i) {
        float t = 0.25f + 0.6f * float(i) / float(std::max(1, s.flowers - 1)), x, y;
        at(t, x, y);
        float r = s.radius * (1.0f - 0.25f * float(i) / float(std::max(1, s.flowers)));
        float ang = (Hash(i, seed, 3) - 0.5f) * angleJitter;
        PaintOrchid(img, cov, x, y + r * 0.55f, r, ang, st);
    }
}

float Ridge(float x, float base, float amp, float freq, int seed)
{
    return base - amp * (Fbm(x * freq, 0.5f, 5, seed) - 0.5f) * 2;
}

void Stars(Image& img, float density, float maxY, int seed)
{
    for (int y = 0; y < img.h && float(y) < maxY; ++y)
        for (int x = 0; x < img.w; ++x) {
            float h = Hash(x, y, seed);
            if (h < density) {
                float b = Hash(x, y, seed + 1) * (1 - float(y) / maxY);
                img.at(x, y) = Screen(img.at(x, y), Hex(0xFFF4E8) * (0.4f + 0.6f * b));
            }
        }
}

}  // namespace

// ---------------------------------------------------------------------------

Picture TitlePicture(const Fonts& f)
{
    const int W = 640, H = 480;
    Coverage letters(W, H);
    float em = 182;
    float track = 8;
    float width = f.serifBold.Width("ORCHID", em, em, track);
    float sx = std::min(em, em * 590 / width);
    float capH = f.serifBold.CapHeight() * em;
    float base = 240 + capH * 0.5f;
    f.serifBold.DrawCentred(letters, "ORCHID", 320, base, sx, em, track);
    // A fine rule with a diamond under the name.
    float ry = base + 26;
    CapsuleCov(letters, 150, ry, 290, ry, 1.6f, 1.6f);
    CapsuleCov(letters, 350, ry, 490, ry, 1.6f, 1.6f);
    float dq[8] = {320, ry - 9, 329, ry, 320, ry + 9, 311, ry};
    QuadCov(letters, dq);

    Picture p;
    p.img = Image(W, H);
    float top = base - capH;
    for (int y = 0; y < H; ++y)
        for (int x = 0; x < W; ++x) {
            float v = Clamp01((float(y) - top) / (capH + 40));
            Rgb c = Ramp({Hex(0xFFF6E6), Hex(0xFFD59A), Hex(0xF49AC2), Hex(0xC2307A), Hex(0x7A1E6C)}, v);
            float n = Fbm(float(x) * 0.02f, float(y) * 0.05f, 4, 5);
            c = c * (0.9f + 0.2f * n);
            // Soft bevel: lighter toward the upper-left edge of each stroke.
            float e = letters.Sample(float(x) - 2, float(y) - 2) - letters.Sample(float(x) + 2, float(y) + 2);
            c = Screen(c, Hex(0xFFFFFF) * Clamp01(e * 0.6f));
            c = c * (1 - 0.35f * Clamp01(-e));
            p.img.at(x, y) = c;
        }
    p.mask = HardMask(letters);
    return p;
}

Picture FlowerPicture(int index)
{
    const int S = 256;
    OrchidStyle st = FlowerStyle(index);
    // Outside the silhouette the picture continues in the rim colour, so the
    // hard mask edge never shows a dark seam after compression.
    Picture p;
    p.img = Image(S, S, st.petalTip * (1 - st.rim));
    Coverage cov(S, S);
    PaintOrchid(p.img, &cov, 128, 128, 124, 0, st);
    p.mask = HardMask(cov);
    return p;
}

Picture DropPicture()
{
    const int W = 10, H = 14;
    Picture p;
    p.img = Image(W, H);
    Coverage cov(W, H);
    for (int y = 0; y < H; ++y)
        for (int x = 0; x < W; ++x) {
            int n = 0;
            float light = 0;
            for (int sy = 0; sy < 4; ++sy)
                for (int sx = 0; sx < 4; ++sx) {
                    float px = float(x) + (float(sx) + 0.5f) / 4, py = float(y) + (float(sy) + 0.5f) / 4;
                    // Round body below, pointed tip at the top.
                    float dx = px - 5.0f, dy = py - 9.2f;
                    bool in = dx * dx + dy * dy < 4.6f * 4.6f;
                    if (!in && py < 9.2f && py > 0.3f) {
                        float half = 4.6f * std::pow((py - 0.3f) / 8.9f, 1.3f);
                        in = std::fabs(dx) < half;
                    }
                    if (in) {
                        ++n;
                        light += Clamp01(1 - std::hypot(px - 3.6f, py - 8.0f) / 2.2f);
                    }
                }
            float a = float(n) / 16;
            cov.at(x, y) = a;
            float body = float(y) / H;
            // Drawn half-blended over white, so it is painted deep.
            Rgb c = Mix(Hex(0x6FA8E8), Hex(0x1A4494), body);
            if (n > 0) c = Mix(c, Hex(0xFFFFFF), light / float(n));
            p.img.at(x, y) = c;
        }
    p.mask = HardMask(cov);
    return p;
}

Picture PatternPicture()
{
    // An ornamental panel: a gilded frame with an orchid rosette, open
    // between its scrolls. Symmetric left to right, as the show mirrors it.
    const int S = 128;
    Coverage cov(S, S);
    float outer[8] = {6, 10, 121, 10, 121, 117, 6, 117};
    Coverage frame(S, S);
    QuadCov(frame, outer);
    Coverage hole(S, S);
    float inner[8] = {14, 18, 113, 18, 113, 109, 14, 109};
    QuadCov(hole, inner);
    for (size_t i = 0; i < cov.a.size(); ++i) cov.a[i] = std::max(0.0f, frame.a[i] - hole.a[i]);
    // Corner rosettes and scrolls.
    const float corners[4][2] = {{14, 18}, {113, 18}, {113, 109}, {14, 109}};
    for (const auto& c : corners) DiscCov(cov, c[0], c[1], 7.5f);
    // A fine inner frame and a ring in each corner.
    Coverage line(S, S), lineHole(S, S);
    float lineOuter[8] = {19, 23, 108, 23, 108, 104, 19, 104};
    float lineInner[8] = {21, 25, 106, 25, 106, 102, 21, 102};
    QuadCov(line, lineOuter);
    QuadCov(lineHole, lineInner);
    for (size_t i = 0; i < cov.a.size(); ++i) cov.a[i] = std::max(cov.a[i], line.a[i] - lineHole.a[i]);
    const float rings[4][2] = {{27, 31}, {100, 31}, {100, 96}, {27, 96}};
    for (const auto& c : rings) {
        Coverage ring(S, S), hole(S, S);
        DiscCov(ring, c[0], c[1], 5);
        DiscCov(hole, c[0], c[1], 2.6f);
        for (size_t i = 0; i < cov.a.size(); ++i) cov.a[i] = std::max(cov.a[i], ring.a[i] - hole.a[i]);
    }
    for (int side = 0; side < 2; ++side) {
        float m = side == 0 ? 1.0f : -1.0f;
        float cx = 63.5f;
        float b1[8] = {cx + m * 0, 104, cx + m * 30, 100, cx + m * 44, 80, cx + m * 40, 60};
        BezierCov(cov, b1, 2.6f, 1.6f);
        float b2[8] = {cx + m * 40, 60, cx + m * 36, 40, cx + m * 20, 28, cx + m * 6, 26};
        BezierCov(cov, b2, 1.6f, 1.2f);
        DiscCov(cov, cx + m * 42, 62, 3.5f);
        DiscCov(cov, cx + m * 26, 96, 2.5f);
    }
    Picture p;
    p.img = Image(S, S);
    Coverage flower(S, S);
    Image tmp(S, S);
    PaintOrchid(tmp, &flower, 63.5f, 62, 34, 0, FlowerStyle(0));
    for (int y = 0; y < S; ++y)
        for (int x = 0; x < S; ++x) {
            float v = float(y) / S;
            Rgb gold = Ramp({Hex(0xFFE9A8), Hex(0xE0A84A), Hex(0xB87A2A), Hex(0xF3CF7A)}, v);
            float e = cov.Sample(float(x) - 1, float(y) - 1) - cov.Sample(float(x) + 1, float(y) + 1);
            gold = Screen(gold, Hex(0xFFFFFF) * Clamp01(e * 0.7f)) * (1 - 0.3f * Clamp01(-e));
            float fa = flower.at(x, y);
            p.img.at(x, y) = Mix(gold, tmp.at(x, y), fa);
            cov.at(x, y) = std::max(cov.at(x, y), fa);
        }
    p.mask = HardMask(cov);
    return p;
}

Picture BlurPicture()
{
    // A large orchid spray on white. The white around it matches the white
    // frame it is drawn over, so the later fade from the whole picture is
    // seamless. A bud tip hangs above the drop at (96, 110).
    const int W = 640, H = 480;
    Picture p;
    p.img = Image(W, H, Hex(0xFFFFFF));
    Coverage cov(W, H);
    Coverage leaves(W, H);
    LeafCov(leaves, 250, 500, 40, 420, -40, 34);
    LeafCov(leaves, 300, 500, 600, 440, 50, 36);
    LeafCov(leaves, 280, 500, 470, 395, 30, 28);
    PaintLeaves(p.img, leaves, kLeaf, kLeafLight, 1.0f);
    for (size_t i = 0; i < cov.a.size(); ++i) cov.a[i] = leaves.a[i];
    // The main stem arches from the leaves up and over to the left, ending in
    // the buds above the drop.
    Coverage stem(W, H);
    float s1[8] = {300, 440, 320, 200, 200, 95, 101, 100};
    BezierCov(stem, s1, 4.0f, 2.0f);
    Paint(p.img, stem, Hex(0x6B5A36));
    for (size_t i = 0; i < cov.a.size(); ++i) cov.a[i] = std::max(cov.a[i], stem.a[i]);
    OrchidStyle st = FlowerStyle(0);
    OrchidStyle pink = FlowerStyle(4);
    PaintBud(p.img, &cov, 101, 102, 7, float(kPi) * 0.5f, pink);
    PaintBud(p.img, &cov, 128, 98, 10, float(kPi) * 0.45f, pink);
    PaintBud(p.img, &cov, 160, 103, 13, float(kPi) * 0.4f, pink);
    PaintOrchid(p.img, &cov, 225, 150, 62, -0.15f, pink);
    PaintOrchid(p.img, &cov, 300, 230, 92, 0.08f, st);
    PaintOrchid(p.img, &cov, 430, 250, 100, -0.05f, pink);
    PaintOrchid(p.img, &cov, 540, 330, 78, 0.12f, st);
    p.mask = HardMask(cov);
    return p;
}

Image WallpaperPicture()
{
    // A dark damask of small orchids on a lattice; noise and motifs wrap at
    // 512 so the tiles meet without a seam.
    const int S = 512;
    Image img(S, S);
    for (int y = 0; y < S; ++y)
        for (int x = 0; x < S; ++x) {
            float n = Fbm(float(x) / 64.0f, float(y) / 64.0f, 4, 21, 8);
            float diag = 0.5f + 0.5f * std::sin(float(x + y) * float(2 * kPi) / 128.0f);
            // Mid-toned: the show lays scan lines and other layers over it.
            Rgb c = Mix(Hex(0x3E1E66), Hex(0x6A3496), 0.6f * n + 0.15f * diag);
            // A fine trellis joining the large flowers; its lines repeat every
            // 128 pixels, so they wrap too.
            auto fold = [](int v) {
                int m = ((v % 128) + 128) % 128;
                return float(std::min(m, 128 - m));
            };
            float d = std::min(fold(x + y - 64), fold(x - y)) / 1.4142f;
            c = Mix(c, Hex(0xC8A0D8), 0.35f * Clamp01(1.2f - d));
            img.at(x, y) = c;
        }
    OrchidStyle st = FlowerStyle(2);
    st.petalBase = Hex(0x8A58C0); st.petalTip = Hex(0xC49AEC);
    st.sepalBase = Hex(0x7E50B6); st.sepalTip = Hex(0xB48CE2);
    st.lip = Hex(0xC8508E); st.lipTip = Hex(0xE07AB0); st.throat = Hex(0xE8C25A);
    st.blushAmount = 0.2f;
    // Two interleaved lattices; each motif is painted at every wrapped
    // position it touches.
    for (int j = 0; j < 4; ++j)
        for (int i = 0; i < 4; ++i)
            for (int k = 0; k < 2; ++k) {
                float cx = float(i) * 128 + (k ? 64 : 0) + 32;
                float cy = float(j) * 128 + (k ? 64 : 0) + 32;
                float r = k ? 26.0f : 36.0f;
                float ang = k ? float(kPi) : 0.0f;
                for (int oy = -1; oy <= 1; ++oy)
                    for (int ox = -1; ox <= 1; ++ox)
                        PaintOrchid(img, nullptr, cx + float(ox * S), cy + float(oy * S), r, ang, st, k ? 0.55f : 0.8f);
            }
    return img;
}

Image BranchPicture()
{
    // An orchid branch. It is blended over the wallpaper with no mask, so its
    // ground fades to the wallpaper's own mid violet at the edges.
    const int S = 256;
    Image img(S, S);
    for (int y = 0; y < S; ++y)
        for (int x = 0; x < S; ++x) {
            float d = std::hypot(float(x) - 150, float(y) - 100) / 180;
            img.at(x, y) = Mix(Hex(0x7A4AA6), Hex(0x4E2A78), Clamp01(d));
        }
    Coverage leaves(S, S);
    LeafCov(leaves, 30, 250, 160, 235, 18, 16);
    LeafCov(leaves, 40, 256, 0, 190, -12, 13);
    PaintLeaves(img, leaves, kLeaf, kLeafLight, 1.0f);
    Spray s{{40, 240, 30, 120, 120, 40, 240, 70}, 4, 40, 0, 3.0f};
    PaintSpray(img, nullptr, s, 0.5f, 2);
    return img;
}

Image TilePicture()
{
    // Seen as a tall hanging scroll (128x256) with a cascading spray; stored
    // upside down and squeezed to 128x128, as the show flips and stretches it.
    const int W = 128, H = 256;
    Image seen(W, H);
    for (int y = 0; y < H; ++y)
        for (int x = 0; x < W; ++x) {
            bool border = x < 8 || x >= W - 8 || y < 12 || y >= H - 12;
            float n = Fbm(float(x) * 0.05f, float(y) * 0.05f, 3, 44);
            Rgb silk = Mix(Hex(0xF4E6D0), Hex(0xE8D2B8), n);
            Rgb frame = Mix(Hex(0x6E2450), Hex(0x4A1438), n);
            seen.at(x, y) = border ? frame : silk;
            if ((x == 8 || x == W - 9) && y >= 12 && y < H - 12) seen.at(x, y) = Hex(0xC9A050);
            if ((y == 12 || y == H - 13) && x >= 8 && x < W - 8) seen.at(x, y) = Hex(0xC9A050);
        }
    // Rods at top and bottom.
    for (int y = 0; y < 6; ++y)
        for (int x = 0; x < W; ++x) {
            seen.at(x, y) = Mix(Hex(0x3A2414), Hex(0x8A6A3A), float(y) / 5);
            seen.at(x, H - 1 - y) = Mix(Hex(0x3A2414), Hex(0x8A6A3A), float(y) / 5);
        }
    Spray s{{30, 20, 110, 60, 20, 150, 80, 236}, 5, 20, 4, 1.8f};
    PaintSpray(seen, nullptr, s, 0.8f, 5);
    return FlipVertical(SqueezeRows(seen, 2));
}

Image BridgePicture()
{
    // A stone bridge of three arches across still water at dusk, the low sun
    // glowing through the middle arch, an orchid spray hanging into the view.
    const int W = 640, H = 480;
    const float water = 330;
    Image img(W, H);
    for (int y = 0; y < int(water); ++y)
        for (int x = 0; x < W; ++x) {
            float v = Clamp01(float(y) / water);
            Rgb c = DuskSky(v, 0.85f);
            float cl = Fbm(float(x) * 0.006f, float(y) * 0.03f, 5, 3);
            float cloud = Smooth(0.55f, 0.75f, cl) * (1 - v * 0.4f);
            c = Mix(c, Mix(Hex(0x6A2E6A), Hex(0xF29A7A), v), cloud * 0.6f);
            float sun = std::hypot(float(x) - 320, float(y) - 312);
            c = Screen(c, Hex(0xFFD28A) * (Clamp01(1 - sun / 230) * 0.55f + Clamp01(1 - sun / 60) * 0.4f));
            if (sun < 24) c = Mix(c, Hex(0xFFF2C8), Clamp01(24 - sun));
            img.at(x, y) = c;
        }
    // Far hills on the horizon.
    for (int x = 0; x < W; ++x) {
        float h1 = Ridge(float(x), 296, 26, 0.006f, 31);
        float h2 = Ridge(float(x), 316, 12, 0.014f, 37);
        for (int y = 0; y < int(water); ++y) {
            if (float(y) > h1) img.Blend(x, y, Hex(0x7A4478), 0.6f * Clamp01(float(y) + 1 - h1));
            if (float(y) > h2) img.Blend(x, y, Hex(0x4A2A5E), 0.85f * Clamp01(float(y) + 1 - h2));
        }
    }
    // The bridge: deck, parapet and three round arches springing from the water.
    const float deckTop = 214, crown = 242;
    const float arch[3] = {110, 320, 530};
    const float span = 92;
    Coverage bridge(W, H);
    for (int y = 190; y < int(water); ++y)
        for (int x = 0; x < W; ++x) {
            int n = 0;
            for (int sy = 0; sy < 3; ++sy)
                for (int sx = 0; sx < 3; ++sx) {
                    float fx = float(x) + (float(sx) - 1) / 3, fy = float(y) + (float(sy) - 1) / 3;
                    bool in = fy >= deckTop;
                    for (float c : arch) {
                        float dx = (fx - c) / span, dy = (fy - water) / (water - crown);
                        if (dx * dx + dy * dy < 1) in = false;
                    }
                    // Parapet: a rail with balusters.
                    if (fy >= deckTop - 14 && fy < deckTop && (std::fmod(fx + 400, 16.0f) < 6 || fy < deckTop - 10)) in = true;
                    n += in;
                }
            bridge.at(x, y) = float(n) / 9;
        }
    for (int y = 190; y < int(water); ++y)
        for (int x = 0; x < W; ++x) {
            float a = bridge.at(x, y);
            if (a <= 0) continue;
            float fx = float(x), fy = float(y);
            float stone = Fbm(fx * 0.08f, fy * 0.08f, 3, 55);
            Rgb c = Mix(Hex(0x26162E), Hex(0x46283E), stone * 0.7f);
            // Courses of masonry and the voussoirs around each arch.
            if (std::fmod(fy, 9.0f) < 1) c = c * 0.8f;
            for (float ac : arch) {
                float dx = (fx - ac) / span, dy = (fy - water) / (water - crown);
                float r = std::sqrt(dx * dx + dy * dy);
                if (r > 1 && r < 1.16f) {
                    c = Mix(c, Hex(0x5A3448), 0.5f);
                    float ang = std::atan2(dy, dx);
                    if (std::fmod(ang * 18 + 100, 1.0f) < 0.12f) c = c * 0.7f;
                }
                // Warm light on the inner face of each arch.
                if (r > 1 && r < 1.04f && dy > -0.9f) c = Mix(c, Hex(0xE08A6A), 0.35f);
            }
            if (fy < deckTop - 9 || (fy >= deckTop && fy < deckTop + 3)) c = Mix(c, Hex(0xD07A7A), 0.35f);
            img.Blend(x, y, c, a);
        }
    // Lamps on the parapet.
    Coverage lamps(W, H);
    for (int i = 0; i < 8; ++i) {
        float lx = 40 + float(i) * 80;
        Coverage post(W, H);
        CapsuleCov(post, lx, deckTop - 14, lx, deckTop - 30, 1.2f, 1.2f);
        Paint(img, post, Hex(0x1E1226));
        DiscCov(lamps, lx, deckTop - 33, 3.0f);
    }
    Paint(img, lamps, Hex(0xFFEFC0));
    Glow(img, lamps, Hex(0xFFB870), 10, 3.0f);
    // The water mirrors everything above it, broken by ripples and darker
    // toward the viewer.
    for (int y = int(water); y < H; ++y)
        for (int x = 0; x < W; ++x) {
            float d = float(y) - water;
            float ripple = (Noise(float(x) * 0.02f, d * 0.35f, 8) - 0.5f) * (3 + d * 0.05f);
            float my = water - 1 - d * 1.1f + ripple;
            Rgb c = Mix(img.Sample(float(x) + ripple, std::max(0.0f, my)),
                        img.Sample(float(x) - ripple, std::max(0.0f, my - 2)), 0.5f);
            float glint = Smooth(0.72f, 0.8f, Noise(float(x) * 0.05f, d * 0.6f, 12)) * Clamp01(1 - std::fabs(float(x) - 320) / 90);
            c = Screen(c * 0.78f, Hex(0xFFD0A0) * glint * 0.5f);
            img.at(x, y) = Mix(c, Hex(0x1A0E2A), Clamp01(d / 200) * 0.55f);
        }
    // A hanging spray of orchids in the top-right corner.
    Spray s{{660, -10, 600, 40, 560, 70, 520, 130}, 3, 30, 1, 2.5f};
    PaintSpray(img, nullptr, s, 0.6f, 9);
    return img;
}

Image PanoramaPicture()
{
    // From dusk at the left to night at the right: layered hills over a lake,
    // orchid trees in the foreground and, at the far right, a screen on a hill
    // where the show's picture appears.
    const int W = 1920, H = 480;
    const float horizon = 330;
    Image img(W, H);
    for (int y = 0; y < H; ++y)
        for (int x = 0; x < W; ++x) {
            float u = float(x) / W;
            float v = Clamp01(float(y) / horizon);
            Rgb dusk = DuskSky(v, 0.8f);
            Rgb night = Ramp({kNight, Hex(0x141640), Hex(0x2A2A66), Hex(0x4A3A7A)}, v);
            Rgb c = Mix(dusk, night, Smooth(0.15f, 0.75f, u));
            float cl = Fbm(float(x) * 0.004f, float(y) * 0.025f, 5, 71);
            c = Mix(c, Mix(Hex(0x5A2A66), Hex(0xE08A8A), v * (1 - u)), Smooth(0.58f, 0.8f, cl) * 0.45f);
            img.at(x, y) = c;
        }
    Stars(img, 0.004f, horizon - 60, 3);
    // The moon above the screen.
    Coverage moon(W, H);
    DiscCov(moon, 1500, 70, 22);
    Paint(img, moon, Hex(0xFFF3D6));
    Glow(img, moon, Hex(0xA0A8FF), 20, 1.2f);
    // Hills, far to near.
    struct Layer { float base, amp, freq; int seed; Rgb dusk, night; };
    const Layer layers[3] = {
        {270, 50, 0.0025f, 41, Hex(0x7A4680), Hex(0x2C2A5A)},
        {300, 40, 0.005f, 43, Hex(0x4E2A62), Hex(0x1C1A40)},
        {322, 26, 0.01f, 47, Hex(0x2E1840), Hex(0x110E28)},
    };
    for (const Layer& l : layers)
        for (int x = 0; x < W; ++x) {
            float top = Ridge(float(x), l.base, l.amp, l.freq, l.seed);
            // A rounded hill under the screen.
            float hx = (float(x) - 1700) / 260;
            if (l.seed == 47 && std::fabs(hx) < 1) top = std::min(top, 330 - 90 * (1 - hx * hx) * (1 - hx * hx) + 8);
            float u = float(x) / W;
            Rgb c = Mix(l.dusk, l.night, Smooth(0.15f, 0.75f, u));
            for (int y = std::max(0, int(top)); y < int(horizon) + 2; ++y) {
                float a = Clamp01(float(y) + 1 - top);
                float haze = Clamp01((float(y) - top) / 60) * 0.25f;
                img.Blend(x, y, Mix(c, c * 0.7f, haze), a);
            }
        }
    // The far bridge, small, at the left: a deck on five round arches.
    Coverage bridge(W, H);
    for (int y = 296; y < 331; ++y)
        for (int x = 100; x < 440; ++x) {
            int n = 0;
            for (int sy = 0; sy < 3; ++sy)
                for (int sx = 0; sx < 3; ++sx) {
                    float fx = float(x) + (float(sx) - 1) / 3, fy = float(y) + (float(sy) - 1) / 3;
                    bool in = fy >= 304 && fx >= 110 && fx <= 430;
                    for (int k = 0; k < 5; ++k) {
                        float dx = (fx - (142 + float(k) * 64)) / 27, dy = (fy - 331) / 20;
                        if (dx * dx + dy * dy < 1) in = false;
                    }
                    if (fy >= 299 && fy < 304 && fx >= 110 && fx <= 430 && (std::fmod(fx, 8.0f) < 2 || fy < 300)) in = true;
                    n += in;
                }
            bridge.at(x, y) = float(n) / 9;
        }
    Paint(img, bridge, Hex(0x2A1834));
    Coverage farLamps(W, H);
    for (int k = 0; k < 6; ++k) DiscCov(farLamps, 112 + float(k) * 64, 296, 1.4f);
    Paint(img, farLamps, Hex(0xFFE0A0));
    Glow(img, farLamps, Hex(0xFFB060), 5, 2.0f);
    // The lake.
    for (int y = int(horizon); y < H; ++y)
        for (int x = 0; x < W; ++x) {
            float d = float(y) - horizon;
            float ripple = (Noise(float(x) * 0.015f, d * 0.3f, 9) - 0.5f) * (3 + d * 0.06f);
            Rgb c = img.Sample(float(x) + ripple * 2, std::max(0.0f, horizon - d * 1.1f - 2 + ripple));
            img.at(x, y) = Mix(c * 0.75f, Hex(0x0C0A1E), Clamp01(d / 200) * 0.5f);
        }
    // The screen: a dark frame on two posts, angled toward the viewer. Its
    // face is where the show lays its picture, so the frame surrounds the
    // corners (1604, 39), (1794, 15), (1794, 188), (1604, 163).
    Coverage posts(W, H);
    CapsuleCov(posts, 1640, 150, 1640, 262, 5, 6);
    CapsuleCov(posts, 1760, 170, 1760, 248, 6, 7);
    CapsuleCov(posts, 1640, 200, 1760, 214, 2, 2);
    Paint(img, posts, Hex(0x16121E));
    Coverage frame(W, H), face(W, H);
    float outer[8] = {1594, 29, 1805, 3, 1805, 200, 1594, 173};
    float inner[8] = {1604, 39, 1794, 15, 1794, 188, 1604, 163};
    QuadCov(frame, outer);
    QuadCov(face, inner);
    Paint(img, frame, Hex(0x24202E));
    for (int y = 0; y < 210; ++y)
        for (int x = 1590; x < 1810; ++x) {
            float a = face.at(x, y);
            if (a <= 0) continue;
            float g = float(y - 15) / 175;
            img.Blend(x, y, Mix(Hex(0x263A5A), Hex(0x101426), g) * (1 + 0.25f * Clamp01(1 - std::fabs(float(x - 1700) / 60 - g))), a);
        }
    Coverage bulbs(W, H);
    for (int i = 0; i <= 10; ++i) {
        float t = float(i) / 10;
        DiscCov(bulbs, Lerp(1594, 1805, t), Lerp(29, 3, t) - 0.5f, 1.8f);
        DiscCov(bulbs, Lerp(1594, 1805, t), Lerp(173, 200, t) + 0.5f, 1.8f);
    }
    Paint(img, bulbs, Hex(0xFFE6A8));
    Glow(img, bulbs, Hex(0xFFB060), 6, 2.0f);
    // Foreground: a dark bank along the bottom with orchid plants on it,
    // their sprays arching over the water.
    for (int x = 0; x < W; ++x) {
        float top = 452 - 14 * (Fbm(float(x) * 0.01f, 3.5f, 4, 77) - 0.5f) * 2;
        for (int y = int(top); y < H; ++y) img.Blend(x, y, Hex(0x0C0814), Clamp01(float(y) + 1 - top));
    }
    const float plantX[6] = {150, 520, 860, 1130, 1420, 1900};
    for (int i = 0; i < 6; ++i) {
        float x = plantX[i];
        float m = (i % 2) ? -1.0f : 1.0f;
        Coverage leaves(W, H);
        LeafCov(leaves, x, 456, x - 70, 440, -12, 12);
        LeafCov(leaves, x, 456, x + 75, 436, 14, 13);
        LeafCov(leaves, x, 458, x + m * 30, 420, m * 6, 9);
        PaintLeaves(img, leaves, Hex(0x14261C), Hex(0x2E4A34), 1.0f);
        Spray sp{{x, 452, x + m * 10, 360, x + m * 70, 330, x + m * 130, 372}, 4, 17, (i * 2 + 1) % 6, 2.0f};
        PaintSpray(img, nullptr, sp, 0.8f, 20 + i);
    }
    return img;
}

Image ScreenPicture(const Fonts& f)
{
    // The picture on the big screen: an orchid in a glow, and the name.
    const int S = 256;
    Image img(S, S);
    for (int y = 0; y < S; ++y)
        for (int x = 0; x < S; ++x) {
            float d = std::hypot(float(x) - 128, float(y) - 112) / 180;
            img.at(x, y) = Mix(Hex(0x6A2A8A), Hex(0x0E0A24), Clamp01(d));
        }
    Coverage glowCov(S, S);
    DiscCov(glowCov, 128, 112, 80);
    Glow(img, glowCov, Hex(0xE060A0), 24, 0.7f);
    PaintOrchid(img, nullptr, 128, 108, 92, 0, FlowerStyle(1));
    Coverage text(S, S);
    f.serifBold.DrawCentred(text, "ORCHID", 128, 238, 30, 30, 4);
    Glow(img, text, Hex(0xFF80C0), 3, 1.2f);
    Paint(img, text, Hex(0xFFF0F6));
    return img;
}

Image StagePicture()
{
    // A small theatre: velvet curtains, a wooden floor and a spotlit orchid.
    const int W = 640, H = 480;
    const float floorY = 360;
    Image img(W, H);
    for (int y = 0; y < H; ++y)
        for (int x = 0; x < W; ++x) {
            Rgb c;
            if (float(y) < floorY) {
                // Back wall: a dim purple with a soft pool of light.
                float d = std::hypot((float(x) - 440) / 1.3f, float(y) - 250) / 320;
                c = Mix(Hex(0x3A1A50), Hex(0x0E0818), Clamp01(d));
            } else {
                float v = (float(y) - floorY) / (H - floorY);
                float px = (float(x) - 440) / (0.6f + v);  // planks converge toward the back
                float plank = 0.5f + 0.5f * std::cos(px * float(2 * kPi) / 60);
                c = Mix(Hex(0x5A3220), Hex(0x2A1610), 0.4f + 0.3f * plank) * (0.6f + 0.5f * v);
                float pool = std::hypot((float(x) - 440) / 2.2f, float(y) - 395) / 90;
                c = Screen(c, Hex(0xFFD8A0) * Clamp01(1 - pool) * 0.6f);
            }
            img.at(x, y) = c;
        }
    // The spotlight cone.
    for (int y = 0; y < int(floorY) + 40; ++y)
        for (int x = 0; x < W; ++x) {
            float cx = 520 - (520 - 440) * float(y) / 400;
            float half = 20 + float(y) * 0.28f;
            float a = Clamp01(1 - std::fabs(float(x) - cx) / half) * 0.22f;
            img.at(x, y) = Screen(img.at(x, y), Hex(0xFFE8C0) * a);
        }
    // A pot and its orchid.
    Coverage pot(W, H);
    float q[8] = {412, 330, 468, 330, 460, 380, 420, 380};
    QuadCov(pot, q);
    Paint(img, pot, Hex(0xE8E0F0));
    for (int y = 330; y < 380; ++y)
        for (int x = 410; x < 470; ++x)
            if (pot.at(x, y) > 0) img.at(x, y) = img.at(x, y) * (0.75f + 0.35f * float(470 - x) / 60);
    Coverage leaves(W, H);
    LeafCov(leaves, 440, 334, 370, 322, -10, 10);
    LeafCov(leaves, 440, 334, 515, 318, 12, 11);
    PaintLeaves(img, leaves, kLeaf, kLeafLight, 1.0f);
    Spray s{{440, 330, 415, 190, 470, 100, 545, 125}, 5, 26, 0, 2.5f};
    PaintSpray(img, nullptr, s, 0.5f, 12);
    // Footlights along the front of the stage.
    Coverage lights(W, H);
    for (int i = 0; i < 11; ++i) DiscCov(lights, 130 + float(i) * 40, 470, 3.0f);
    Paint(img, lights, Hex(0xFFF0C8));
    Glow(img, lights, Hex(0xFFB060), 9, 2.5f);
    // Curtains: deep folds at both sides and a valance on top.
    for (int y = 0; y < H; ++y)
        for (int x = 0; x < W; ++x) {
            float fx = float(x), fy = float(y);
            float leftEdge = 70 + 30 * Smooth(0, 380, fy) + 6 * std::sin(fy * 0.05f);
            float rightEdge = 590 - 30 * Smooth(0, 380, fy) - 6 * std::sin(fy * 0.05f + 1);
            bool valance = fy < 40 + 10 * std::sin(fx * float(2 * kPi) / 80) * (fy > 30 ? 1.0f : 0.0f);
            float a = 0;
            if (fx < leftEdge) a = Clamp01(leftEdge - fx);
            if (fx > rightEdge) a = Clamp01(fx - rightEdge);
            if (valance) a = 1;
            if (a <= 0) continue;
            float fold = 0.5f + 0.5f * std::cos(fx * float(2 * kPi) / 26 + (valance ? 0 : fy * 0.004f));
            Rgb c = Mix(Hex(0x3A0A24), Hex(0x9A1E4A), fold * fold);
            if (valance && fy > 30) c = Mix(c, kGold, 0.3f);
            img.Blend(x, y, c, a);
        }
    return img;
}

Image ClosingPicture(const Fonts& f)
{
    // Night: a moon over still water and an orchid spray in moonlight.
    const int W = 640, H = 480;
    const float horizon = 340;
    Image img(W, H);
    for (int y = 0; y < H; ++y)
        for (int x = 0; x < W; ++x) {
            float v = Clamp01(float(y) / horizon);
            Rgb c = Ramp({Hex(0x05061A), Hex(0x101A44), Hex(0x28306A), Hex(0x4E4A8A)}, v);
            float cl = Fbm(float(x) * 0.005f, float(y) * 0.03f, 5, 88);
            c = Mix(c, Hex(0x5A5A9A), Smooth(0.6f, 0.85f, cl) * 0.35f);
            img.at(x, y) = c;
        }
    Stars(img, 0.006f, horizon - 40, 17);
    Coverage moon(W, H);
    DiscCov(moon, 470, 110, 40);
    for (int y = 60; y < 160; ++y)
        for (int x = 420; x < 520; ++x) {
            float a = moon.at(x, y);
            if (a <= 0) continue;
            float n = Fbm(float(x) * 0.08f, float(y) * 0.08f, 3, 5);
            img.Blend(x, y, Mix(Hex(0xFFF6DE), Hex(0xD8D0C0), Smooth(0.5f, 0.7f, n)), a);
        }
    Glow(img, moon, Hex(0x8890D0), 30, 1.0f);
    for (int x = 0; x < W; ++x) {
        float top = Ridge(float(x), 322, 22, 0.008f, 61);
        for (int y = int(top); y < int(horizon) + 1; ++y) img.Blend(x, y, Hex(0x0C0C26), Clamp01(float(y) + 1 - top));
    }
    for (int y = int(horizon); y < H; ++y)
        for (int x = 0; x < W; ++x) {
            float d = float(y) - horizon;
            float ripple = (Noise(float(x) * 0.03f, d * 0.4f, 4) - 0.5f) * (2 + d * 0.05f);
            Rgb c = img.Sample(float(x) + ripple * 3, std::max(0.0f, horizon - d * 1.15f - 2 + ripple));
            img.at(x, y) = c * 0.7f;
        }
    OrchidStyle st = FlowerStyle(0);
    Spray s{{-10, 120, 120, 60, 220, 140, 250, 300}, 5, 44, 0, 4.0f};
    (void)st;
    PaintSpray(img, nullptr, s, 0.5f, 33);
    // Moonlight tints everything cool.
    for (Rgb& c : img.px) c = Mix(c, c * Hex(0xB8C4FF), 0.35f);
    Coverage text(W, H);
    f.serifBold.DrawCentred(text, "ORCHID", 320, 452, 28, 28, 10);
    Glow(img, text, Hex(0x8080FF), 4, 0.8f);
    Paint(img, text, Hex(0xE8E4FF), 0.9f);
    return img;
}

Picture CaptionPicture(const Fonts& f, const std::string& text, int shownHeight, CaptionStyle style)
{
    const int S = 256;
    const float k = float(S) / float(shownHeight);  // vertical stretch
    Picture p;
    p.img = Image(S, S);
    Coverage letters(S, S);
    if (style != CaptionStyle::Ornament) {
        // Letter size as seen: caps of about 40% of the shown height.
        const Typeface& face = f.sansCondBold;
        float cap = face.CapHeight();
        float seenCap = float(shownHeight) * (style == CaptionStyle::Lettering ? 0.5f : 0.4f);
        float em = seenCap / cap;
        float track = em * 0.12f;
        float width = face.Width(text, em, em, track);
        float sx = em;
        if (width > 232) {
            sx = em * 232 / width;
            track *= 232 / width;
        }
        float baseline = (float(shownHeight) * 0.5f + seenCap * 0.5f) * k;
        face.DrawCentred(letters, text, 128, baseline, sx, em * k, track);
    }
    for (int y = 0; y < S; ++y)
        for (int x = 0; x < S; ++x) {
            float v = float(y) / S, u = float(x) / S;
            float ends = Smooth(0.0f, 0.12f, u) * Smooth(0.0f, 0.12f, 1 - u);
            Rgb c;
            switch (style) {
            case CaptionStyle::Band: {
                c = Mix(Hex(0x140A26), Mix(Hex(0x3E1553), Hex(0x2A1448), u), 0.4f + 0.6f * ends);
                float rule = (std::fabs(v - 0.1f) < 0.02f || std::fabs(v - 0.9f) < 0.02f) ? 1.0f : 0.0f;
                c = Mix(c, kGold, rule * ends * 0.8f);
                Rgb ink = Mix(Hex(0xFFF4F8), Hex(0xF4A6CA), v);
                c = Mix(c, ink, letters.at(x, y));
                break;
            }
            case CaptionStyle::Stage: {
                c = Mix(Hex(0x20060E), Hex(0x5A1030), (0.5f + 0.5f * std::sin(v * float(kPi))) * (0.3f + 0.7f * ends));
                float rule = (std::fabs(v - 0.08f) < 0.02f || std::fabs(v - 0.92f) < 0.02f) ? 1.0f : 0.0f;
                c = Mix(c, kGold, rule * ends);
                Rgb ink = Mix(Hex(0xFFF0C0), Hex(0xE8A840), v);
                c = Mix(c, ink, letters.at(x, y));
                break;
            }
            case CaptionStyle::Lettering:
                // Half-blended over the picture: painted bright.
                c = Mix(Hex(0xFFFBEA), Hex(0xFFB0D8), v);
                break;
            case CaptionStyle::Ornament: {
                // A line of light with a diamond at its centre; the same when
                // turned a half turn.
                float dy = std::fabs(v - 0.5f) * float(shownHeight);  // in shown rows
                float dx = std::fabs(u - 0.5f) * 256;
                float line = Clamp01(1 - dy / 1.2f) * Smooth(0, 110, 128 - dx);
                float halo = std::exp(-dy * dy / 18) * 0.35f * Smooth(0, 120, 128 - dx);
                float diamond = Clamp01(1 - (dx / 14 + dy / 9)) * 1.5f;
                float dots = 0;
                for (float d : {40.0f, 70.0f, 95.0f}) dots += Clamp01(1.5f - std::hypot(dx - d, dy * 1.0f));
                float a = Clamp01(line + halo + diamond + dots);
                c = Mix(Hex(0x000000), Mix(Hex(0xFFD890), Hex(0xFFFFFF), Clamp01(diamond + line)), a);
                break;
            }
            }
            p.img.at(x, y) = c;
        }
    if (style == CaptionStyle::Lettering) {
        for (int y = 0; y < S; ++y)
            for (int x = 0; x < S; ++x) {
                float e = letters.Sample(float(x) - 1, float(y) - 4) - letters.Sample(float(x) + 1, float(y) + 4);
                p.img.at(x, y) = Screen(p.img.at(x, y), Hex(0xFFFFFF) * Clamp01(e * 0.8f));
            }
        p.mask = HardMask(letters);
    }
    return p;
}

Image BannerPicture(const Fonts& f)
{
    const int W = 230, H = 50;
    Image img(W, H);
    for (int y = 0; y < H; ++y)
        for (int x = 0; x < W; ++x) {
            float u = float(x) / W, v = float(y) / H;
            Rgb c = Mix(Ramp({Hex(0x1C1240), Hex(0x4A1E62), Hex(0x8A2A6E)}, u), Hex(0x0B0820), v * 0.6f);
            img.at(x, y) = c;
        }
    Coverage glowSpot(W, H);
    DiscCov(glowSpot, 26, 25, 18);
    Glow(img, glowSpot, Hex(0xF080C0), 8, 0.6f);
    PaintOrchid(img, nullptr, 26, 24, 21, 0, FlowerStyle(0));
    Coverage text(W, H);
    float em = 34;
    f.serifBold.DrawCentred(text, "ORCHID", 136, 37, em, em, 2);
    Glow(img, text, Hex(0xFF70B0), 3, 1.0f);
    for (int y = 0; y < H; ++y)
        for (int x = 0; x < W; ++x)
            img.Blend(x, y, Mix(Hex(0xFFF6E6), Hex(0xF4A0C8), float(y - 12) / 26), text.at(x, y));
    return img;
}

Image IconPicture(int size)
{
    // Drawn for 32 pixels and scaled: a pixel's centre x + 0.5 of the
    // 32-pixel design is (x + 0.5) * k in the larger picture.
    const float k = float(size) / 32;
    const float centre = (15.5f + 0.5f) * k - 0.5f, flowerY = (15.0f + 0.5f) * k - 0.5f;
    Image img(size, size);
    for (int y = 0; y < size; ++y)
        for (int x = 0; x < size; ++x) {
            float d = std::hypot(float(x) - centre, float(y) - centre) / (22 * k);
            img.at(x, y) = Mix(Hex(0x5A2478), Hex(0x1A0C30), Clamp01(d));
        }
    PaintOrchid(img, nullptr, centre, flowerY, 15.5f * k, 0, FlowerStyle(1));
    return img;
}

Image ShownCaption(const Image& caption, int shownHeight)
{
    Image out(caption.w, shownHeight);
    for (int y = 0; y < shownHeight; ++y) {
        int sy = std::min(caption.h - 1, int(float(y) * float(caption.h - 1) / float(shownHeight - 1)));
        for (int x = 0; x < caption.w; ++x) out.at(x, y) = caption.at(x, sy);
    }
    return out;
}

Image ShownTile(const Image& tile)
{
    Image out(tile.w, tile.h * 2);
    for (int y = 0; y < out.h; ++y)
        for (int x = 0; x < tile.w; ++x) out.at(x, y) = tile.at(x, tile.h - 1 - y / 2);
    return out;
}

}  // namespace gen
