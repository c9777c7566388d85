// The row kernels under every effects, polygon and cross-fade operation, in
// a plain scalar version (the reference) and in SSE2, AVX2 and NEON versions
// that give the same bytes, one table per SIMD level. Each operation takes the
// table of the level in use when it starts.
#pragma once

#include <cstddef>
#include <cstdint>

#include "effects/effects.h"
#include "simd/simd.h"

namespace orchid::pixel {

// How a mask byte selects a pixel.
enum MaskTest : int {
    MASK_ABOVE_128 = 0,  // byte > 128 (unsigned)
    MASK_NONZERO = 1,    // byte != 0
};

// A row of texels walked in 16.16 steps, as the polygon renderer draws it.
// The texel index ((ty >> 16) << shift) + (tx >> 16) is computed with 32-bit
// wrap-around and clamped to [0, maxIndex], so no coordinate can address
// outside the texture (or its mask, which has the texture's size).
struct TexelWalk {
    const uint32_t* texels;
    const uint8_t* mask;  // read only in the masked modes
    int32_t maxIndex;     // texture pixels - 1
    int32_t shift;        // texture xShift
    uint32_t tx, ty;      // 16.16 start
    int32_t txstep, tystep;
    int32_t maskTest;
};

// The kernels of one level (see simd/chooser.h): a level's own table fills
// the entries it does better, the rest fall through to the level below.
struct Kernels {
    // d[i] = mode(s[i], d[i]) for i < n; m[i] tested in modes 2, 3, 5.
    // d and s may be the same row.
    void (*apply)(int mode, uint32_t* d, const uint32_t* s, const uint8_t* m, int maskTest, std::size_t n) = nullptr;
    // d[i] = mode(colour, d[i]) for modes 0, 1, 4.
    void (*fill)(int mode, uint32_t* d, uint32_t colour, std::size_t n) = nullptr;
    // d[i] = per byte (a * level + b * (255 - level)) >> 8; d may be a or b.
    void (*crossFade)(uint32_t* d, const uint32_t* a, const uint32_t* b, int level, std::size_t n) = nullptr;
    // n pixels of a textured span.
    void (*span)(int mode, uint32_t* d, std::size_t n, const TexelWalk& walk) = nullptr;
};

// The kernels of a level; a level the CPU lacks gives those of the best it
// has.
const Kernels& KernelsFor(simd::Level level);
// The kernels of the level in use (simd::Active()).
const Kernels& Active();

// One pixel of each rule, as the scalar kernels compute it.
inline uint32_t Blend(uint32_t s, uint32_t d) { return ((s & 0xFEFEFEu) + (d & 0xFEFEFEu)) >> 1; }
inline uint32_t AddSaturate(uint32_t s, uint32_t d)
{
    uint32_t out = 0;
    for (int shift = 0; shift < 32; shift += 8) {
        uint32_t sum = ((s >> shift) & 0xFFu) + ((d >> shift) & 0xFFu);
        out |= (sum > 0xFFu ? 0xFFu : sum) << shift;
    }
    return out;
}
inline bool Selects(uint8_t maskByte, int maskTest)
{
    return maskTest == MASK_NONZERO ? maskByte != 0 : maskByte > 128;
}

}  // namespace orchid::pixel
