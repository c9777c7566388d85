// The pixel kernels written once over a vector type of simd/vec_x86.h:
// each level's unit (pixel_ops_sse2.cpp, pixel_ops_avx2.cpp) instantiates
// them with its own type, V::kBytes / 4 pixels per register. Tails are done
// one pixel at a time with the reference rules.
#pragma once

#include <cstddef>
#include <cstdint>

#include "effects/pixel_kernels.h"
#include "simd/vec_x86.h"

namespace orchid::pixel::kernels::vector {

// The halving blend of each pixel: the low bit of every byte dropped, the
// rest summed and halved, so no byte carries into the next.
template <class V> inline V BlendV(V s, V d)
{
    const V low = V::Splat32(0xFEFEFE);
    return simd::ShiftRightLogical32<1>(simd::Add32(simd::And(s, low), simd::And(d, low)));
}

template <class V> inline V Rule(int mode, V s, V d)
{
    switch (mode) {
    case EFFECT_BLEND:
    case EFFECT_MASK_BLEND: return BlendV(s, d);
    case EFFECT_ADD:
    case EFFECT_MASK_ADD: return simd::AddSaturateU8(s, d);
    default: return s;
    }
}

// Two registers a turn.
template <class V> inline void Fill(int mode, uint32_t* d, uint32_t colour, std::size_t n)
{
    constexpr std::size_t kLanes = V::kBytes / 4;
    if (mode != EFFECT_COPY && mode != EFFECT_BLEND && mode != EFFECT_ADD) return;
    const V c = V::Splat32(static_cast<int32_t>(colour));
    std::size_t i = 0;
    if (mode == EFFECT_COPY) {
        for (; i + 2 * kLanes <= n; i += 2 * kLanes) {
            simd::Store(d + i, c);
            simd::Store(d + i + kLanes, c);
        }
    } else {
        for (; i + 2 * kLanes <= n; i += 2 * kLanes) {
            const V a = Rule(mode, c, V::Load(d + i));
            const V b = Rule(mode, c, V::Load(d + i + kLanes));
            simd::Store(d + i, a);
            simd::Store(d + i + kLanes, b);
        }
    }
    for (; i < n; ++i) d[i] = ApplyOne(mode, colour, d[i], 0, MASK_ABOVE_128);
}

template <class V> inline void CrossFade(uint32_t* d, const uint32_t* a, const uint32_t* b, int level, std::size_t n)
{
    constexpr std::size_t kLanes = V::kBytes / 4;
    const V zero = V::Zero();
    const V weightA = V::Splat16(static_cast<int16_t>(level));
    const V weightB = V::Splat16(static_cast<int16_t>(255 - level));
    std::size_t i = 0;
    for (; i + kLanes <= n; i += kLanes) {
        const V pa = V::Load(a + i), pb = V::Load(b + i);
        // Each byte widened to 16 bits: a * L + b * (255 - L) <= 65025 fits.
        // Unpacking and packing both stay inside each 128-bit half, so the
        // pixels come back in their order.
        const V lo = simd::Add16(simd::MultiplyLow16(simd::UnpackLo8(pa, zero), weightA),
                                 simd::MultiplyLow16(simd::UnpackLo8(pb, zero), weightB));
        const V hi = simd::Add16(simd::MultiplyLow16(simd::UnpackHi8(pa, zero), weightA),
                                 simd::MultiplyLow16(simd::UnpackHi8(pb, zero), weightB));
        simd::Store(d + i, simd::PackUnsigned16To8(simd::ShiftRightLogical16<8>(lo), simd::ShiftRightLogical16<8>(hi)));
    }
    if (i < n) ScalarCrossFade(d + i, a + i, b + i, level, n - i);
}

}  // namespace orchid::pixel::kernels::vector
