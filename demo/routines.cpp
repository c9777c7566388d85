#include "demo/routines.h"

#include <algorithm>
#include <cstring>

#include "effects/effects.h"
#include "effects/image_checks.h"
#include "effects/pixel_ops.h"
#include "effects/polygon_render.h"
#include "fpmath/fpmath.h"
#include "pixmap/pixmap.h"

namespace {

// The value of pi the show's quads are laid out with.
constexpr double kPi = 3.1415926535;

struct Corner {
    double x, y;
};

// Stores the texture, mask, four corners and texture window (u0, v0) ..
// (u1, v1) into the renderer's shared polygon and draws it. Vertex 0 takes
// (u0, v0), then clockwise in texture space.
void DrawCorners(const Corner (&corners)[4], double u0, double v0, double u1, double v1, int mode, Pixmap* texture,
                 Pixmap* mask)
{
    T3D_Polygon* p = polygonRender.p;
    if (p == nullptr || p->vertices == nullptr || p->allocated < 4) return;
    const double u[4] = {u0, u1, u1, u0};
    const double v[4] = {v0, v0, v1, v1};
    p->texture = texture;
    p->mask = mask;
    p->count = 4;
    for (int i = 0; i < 4; ++i) {
        T3D_Vertex* vertex = p->vertices[i];
        vertex->tx = u[i];
        vertex->ty = v[i];
        vertex->c->SetScreen(corners[i].x, corners[i].y, 0);
    }
    polygonRender.DrawPolygon(mode, p);
}

// The quad of w x h around (x, y) turned by angle: each corner offset along
// the angle and along the angle a quarter turn back, truncated to a whole
// pixel.
void DrawLaidOut(double x, double y, double w, double h, double angle, int mode, Pixmap* texture, Pixmap* mask,
                 bool inset)
{
    if (texture == nullptr) return;
    const double halfW = w * 0.5, halfH = h * 0.5;
    const double back = angle - kPi * 0.5;
    const double sinA = fpmath::Sin(angle), cosA = fpmath::Cos(angle);
    const double sinB = fpmath::Sin(back), cosB = fpmath::Cos(back);
    auto corner = [](double cx, double cy) {
        return Corner{static_cast<double>(TruncToInt(cx)), static_cast<double>(TruncToInt(cy))};
    };
    const Corner corners[4] = {
        corner(x + halfW * sinA + halfW * sinB, y + halfH * cosA + halfH * cosB),
        corner(x + halfW * sinA - halfW * sinB, y + halfH * cosA - halfH * cosB),
        corner(x - halfW * sinA - halfW * sinB, y - halfH * cosA - halfH * cosB),
        corner(x - halfW * sinA + halfW * sinB, y - halfH * cosA + halfH * cosB),
    };
    const double tw = texture->width, th = texture->height;
    if (inset) {
        DrawCorners(corners, 4, 8, tw - 5, th - 9, mode, texture, mask);
    } else {
        DrawCorners(corners, 0, 0, tw - 1, th - 1, mode, texture, mask);
    }
}

}  // namespace

void DrawQuad(double x, double y, double w, double h, double angle, int mode, Pixmap* texture, Pixmap* mask)
{
    DrawLaidOut(x, y, w, h, angle, mode, texture, mask, false);
}

void DrawQuadNoMask(double x, double y, double w, double h, double angle, int mode, Pixmap* texture)
{
    DrawLaidOut(x, y, w, h, angle, mode, texture, nullptr, false);
}

void DrawQuadInset(double x, double y, double w, double h, double angle, int mode, Pixmap* texture, Pixmap* mask)
{
    DrawLaidOut(x, y, w, h, angle, mode, texture, mask, true);
}

void DrawSpinQuad(double x, double y, double size, double angle, int mode, Pixmap* texture, Pixmap* mask)
{
    effects.SetColour(0);
    DrawLaidOut(x, y, size, size, angle, mode, texture, mask, false);
}

void DrawScreenPanel(Pixmap* texture)
{
    if (texture == nullptr) return;
    const Corner corners[4] = {{388, 39}, {578, 15}, {578, 188}, {388, 163}};
    DrawCorners(corners, 0, 0, texture->width - 1, texture->height - 1, EFFECT_COPY, texture, nullptr);
}

void DrawScanlines()
{
    Pixmap* target = effects.buffer;
    if (!orchid::Holds32(target)) return;
    const int value = static_cast<int>(effects.colour & 0xFFu);
    for (int64_t r = 0; r < target->height; r += 2) {
        std::fill_n(reinterpret_cast<uint8_t*>(target->pixInt + r * target->width), int64_t{target->width} * 4,
                    static_cast<uint8_t>(value));
    }
}

namespace {

// Whether any of n mask bytes is above 128, eight at a time: a byte is
// when its top bit is set and so is, after adding 0x7F to its low seven
// bits, bit 7 of that sum (which no byte carries out of).
bool AnyAbove128(const uint8_t* m, int64_t n)
{
    constexpr uint64_t kTop = 0x8080808080808080u, kLow = 0x7F7F7F7F7F7F7F7Fu;
    for (int64_t i = 0; i < n; i += 8) {
        uint64_t word = 0;
        std::memcpy(&word, m + i, static_cast<std::size_t>(std::min<int64_t>(8, n - i)));
        if ((word & kTop & ((word & kLow) + kLow)) != 0) return true;
    }
    return false;
}

}  // namespace

void DrawLightBar(int x, int width, Pixmap* mask)
{
    Pixmap* target = effects.buffer;
    if (!orchid::Holds32(target) || !orchid::Holds8(mask, orchid::Pixels(target))) return;
    const int64_t w = target->width;
    const int64_t left = std::max<int64_t>(x, 0);
    const int64_t right = std::min<int64_t>(int64_t{x} + width, w);
    const uint32_t colour = effects.colour;
    for (int64_t r = 0; r < target->height; ++r) {
        uint32_t* row = target->pixInt + r * w;
        const uint8_t* maskRow = mask->pixChar + r * w;
        // Most rows of a title mask select nothing under the bar.
        if (!AnyAbove128(maskRow + left, right - left)) continue;
        for (int64_t j = left; j < right; ++j) {
            if (maskRow[j] > 128) row[j] = orchid::pixel::AddSaturate(colour, row[j]);
        }
    }
}
