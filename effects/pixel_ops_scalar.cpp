// The reference kernels: one pixel at a time, exactly as the drawing rules
// read.
#include <cstring>

#include "effects/pixel_kernels.h"

namespace orchid::pixel::kernels {

void ScalarApply(int mode, uint32_t* d, const uint32_t* s, const uint8_t* m, int maskTest, std::size_t n)
{
    if (mode == EFFECT_COPY) {
        std::memmove(d, s, n * 4);
        return;
    }
    if (mode < 0 || mode > 5) return;
    for (std::size_t i = 0; i < n; ++i) {
        uint8_t maskByte = (mode == EFFECT_MASK_COPY || mode == EFFECT_MASK_BLEND || mode == EFFECT_MASK_ADD) ? m[i] : 0;
        d[i] = ApplyOne(mode, s[i], d[i], maskByte, maskTest);
    }
}

void ScalarFill(int mode, uint32_t* d, uint32_t colour, std::size_t n)
{
    if (mode != EFFECT_COPY && mode != EFFECT_BLEND && mode != EFFECT_ADD) return;
    for (std::size_t i = 0; i < n; ++i) d[i] = ApplyOne(mode, colour, d[i], 0, MASK_ABOVE_128);
}

void ScalarCrossFade(uint32_t* d, const uint32_t* a, const uint32_t* b, int level, std::size_t n)
{
    const uint32_t weightA = static_cast<uint32_t>(level);
    const uint32_t weightB = 255u - weightA;
    for (std::size_t i = 0; i < n; ++i) {
        uint32_t pa = a[i], pb = b[i], out = 0;
        for (int shift = 0; shift < 32; shift += 8) {
            uint32_t byte = (((pa >> shift) & 0xFFu) * weightA + ((pb >> shift) & 0xFFu) * weightB) >> 8;
            out |= byte << shift;
        }
        d[i] = out;
    }
}

void ScalarSpan(int mode, uint32_t* d, std::size_t n, const TexelWalk& walk)
{
    if (mode < 0 || mode > 5) return;
    const bool masked = mode == EFFECT_MASK_COPY || mode == EFFECT_MASK_BLEND || mode == EFFECT_MASK_ADD;
    uint32_t tx = walk.tx, ty = walk.ty;
    for (std::size_t i = 0; i < n; ++i) {
        int32_t index = TexelIndex(tx, ty, walk);
        d[i] = ApplyOne(mode, walk.texels[index], d[i], masked ? walk.mask[index] : 0, walk.maskTest);
        tx += static_cast<uint32_t>(walk.txstep);
        ty += static_cast<uint32_t>(walk.tystep);
    }
}

}  // namespace orchid::pixel::kernels
