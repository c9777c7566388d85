#include "effects/effects.h"

#include <algorithm>
#include <cstring>

#include "effects/image_checks.h"
#include "effects/pixel_ops.h"
#include "error/report.h"
#include "pixmap/pixmap.h"

ORCHID_REPORT_MODULE("effects/effects");

Effects effects;

using orchid::pixel::Active;
using orchid::pixel::MASK_ABOVE_128;
using orchid::pixel::MASK_NONZERO;

namespace {
bool MaskedMode(int mode) { return mode == EFFECT_MASK_COPY || mode == EFFECT_MASK_BLEND || mode == EFFECT_MASK_ADD; }
bool KnownMode(int mode) { return mode >= EFFECT_COPY && mode <= EFFECT_MASK_ADD; }
}  // namespace

Effects::Effects() : colour(0), buffer(nullptr) {}

int Effects::SetBuffer(Pixmap* newBuffer)
{
    if (newBuffer == nullptr) {
        REPORT_AT(33, ERR_MISC, "Effects::SetBuffer given null buffer.\n");
        return 0;
    }
    buffer = newBuffer;
    return 1;
}

void Effects::SetColour(uint32_t newColour) { colour = newColour; }

void Effects::Fill(int mode)
{
    if (!orchid::Holds32(buffer)) return;
    Active().fill(mode, buffer->pixInt, colour, orchid::Pixels(buffer));
}

void Effects::Combine(int mode, Pixmap* source, Pixmap* mask)
{
    if (!KnownMode(mode) || buffer == nullptr || buffer->pixChar == nullptr || source == nullptr ||
        source->pixChar == nullptr) {
        return;
    }
    if (mode == EFFECT_COPY) {
        // A raw copy of the source's storage, never more than the target holds.
        std::memmove(buffer->pixChar, source->pixChar,
                     static_cast<std::size_t>(std::max(0, std::min(source->numBytes, buffer->numBytes))));
        return;
    }
    int64_t n = std::min<int64_t>({source->numPixels, source->numBytes / 4, buffer->numBytes / 4});
    if (MaskedMode(mode)) {
        if (mask == nullptr || mask->pixChar == nullptr) return;
        n = std::min<int64_t>(n, mask->numBytes);
    }
    if (n <= 0) return;
    Active().apply(mode, buffer->pixInt, source->pixInt, MaskedMode(mode) ? mask->pixChar : nullptr,
                   MASK_ABOVE_128, static_cast<std::size_t>(n));
}

void Effects::DrawSprite(int x, int y, int mode, Pixmap* sprite, Pixmap* mask)
{
    if (!KnownMode(mode) || !orchid::Holds32(buffer) || !orchid::Holds32(sprite)) return;
    if (MaskedMode(mode) && !orchid::Holds8(mask, orchid::Pixels(sprite))) return;

    // The pixels that land outside the target are exactly those of the rows
    // and columns outside it, so the sprite is clipped as a rectangle.
    const int64_t targetW = buffer->width, targetH = buffer->height;
    const int64_t spriteW = sprite->width, spriteH = sprite->height;
    const int64_t left = std::max<int64_t>(x, 0), right = std::min<int64_t>(int64_t{x} + spriteW, targetW);
    const int64_t top = std::max<int64_t>(y, 0), bottom = std::min<int64_t>(int64_t{y} + spriteH, targetH);
    if (left >= right || top >= bottom) return;

    const auto& ops = Active();
    for (int64_t r = top; r < bottom; ++r) {
        int64_t k = (r - y) * spriteW + (left - x);
        ops.apply(mode, buffer->pixInt + r * targetW + left, sprite->pixInt + k,
                  MaskedMode(mode) ? mask->pixChar + k : nullptr, MASK_ABOVE_128,
                  static_cast<std::size_t>(right - left));
    }
}

void Effects::DrawTiled(int xoffset, int yoffset, int mode, Pixmap* texture, Pixmap* mask)
{
    if (!KnownMode(mode) || !orchid::Holds32(buffer) || !orchid::Holds32(texture)) return;
    if (MaskedMode(mode) && !orchid::Holds8(mask, orchid::Pixels(texture))) return;
    // Rows wrap with the width's mask too, so a texture lower than it is wide
    // would be read past its last row.
    if (texture->height < texture->width) return;

    const uint32_t side = static_cast<uint32_t>(texture->width);
    const uint32_t wrap = side - 1;
    const bool powerOfTwo = (side & wrap) == 0;
    const int64_t targetW = buffer->width, targetH = buffer->height;
    const auto& ops = Active();
    const uint8_t* maskBytes = MaskedMode(mode) ? mask->pixChar : nullptr;

    for (int64_t r = 0; r < targetH; ++r) {
        uint32_t* row = buffer->pixInt + r * targetW;
        const int64_t texRow = ((static_cast<uint32_t>(yoffset) + static_cast<uint32_t>(r)) & wrap) * int64_t{side};
        int64_t c = 0;
        while (c < targetW) {
            int64_t column = (static_cast<uint32_t>(xoffset) + static_cast<uint32_t>(c)) & wrap;
            // A power-of-two side wraps only at the texture's edge, so runs
            // of texels are contiguous up to it; any other side is taken
            // one texel at a time.
            int64_t run = powerOfTwo ? std::min<int64_t>(side - column, targetW - c) : 1;
            int64_t texel = texRow + column;
            ops.apply(mode, row + c, texture->pixInt + texel, maskBytes != nullptr ? maskBytes + texel : nullptr,
                      MASK_NONZERO, static_cast<std::size_t>(run));
            c += run;
        }
    }
}

void Effects::CopyWindow(int x, int y, Pixmap* source)
{
    if (!orchid::Holds32(buffer) || !orchid::Holds32(source)) return;
    const int64_t targetW = buffer->width, targetH = buffer->height;
    const int64_t sourceW = source->width, sourceH = source->height;
    // A source smaller than the target has no window to copy.
    if (sourceW < targetW || sourceH < targetH) return;

    int64_t left = std::max(x, 0), top = std::max(y, 0);
    if (left + targetW > sourceW) left = sourceW - targetW;
    if (top + targetH > sourceH) top = sourceH - targetH;
    for (int64_t r = 0; r < targetH; ++r) {
        std::memcpy(buffer->pixInt + r * targetW, source->pixInt + (top + r) * sourceW + left,
                    static_cast<std::size_t>(targetW) * 4);
    }
}

void Effects::ClearBorder()
{
    if (!orchid::Holds32(buffer)) return;
    const int64_t w = buffer->width, h = buffer->height;
    std::memset(buffer->pixInt, 0, static_cast<std::size_t>(w) * 4);
    std::memset(buffer->pixInt + (h - 1) * w, 0, static_cast<std::size_t>(w) * 4);
    for (int64_t y = 0; y < h; ++y) {
        buffer->pixInt[y * w] = 0;
        buffer->pixInt[y * w + w - 1] = 0;
    }
}

void Effects::Blur(Pixmap* image)
{
    constexpr int kRow = 640;
    constexpr int kFirst = kRow;                 // first pixel of row 1
    constexpr int kLast = kRow * 479 - 1;        // last pixel of row 478
    if (!orchid::Holds32(image) || image->width != kRow || image->height < 480) return;

    // In place and in order: left and up are already this pass's values,
    // right and down the old ones. The four bytes are summed two at a time in
    // 16-bit lanes; a sum of four bytes is at most 1020 and never carries
    // into the next lane.
    constexpr uint32_t kLanes = 0x00FF00FFu;
    uint32_t* p = image->pixInt;
    for (int i = kFirst; i <= kLast; ++i) {
        uint32_t l = p[i - 1], r = p[i + 1], u = p[i - kRow], d = p[i + kRow];
        uint32_t even = (l & kLanes) + (r & kLanes) + (u & kLanes) + (d & kLanes);
        uint32_t odd = ((l >> 8) & kLanes) + ((r >> 8) & kLanes) + ((u >> 8) & kLanes) + ((d >> 8) & kLanes);
        p[i] = ((even >> 2) & kLanes) | (((odd >> 2) & kLanes) << 8);
    }
}
