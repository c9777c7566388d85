// The pixel kernels written once over a vector type of simd/vec.h: each
// level's unit (pixel_ops_sse2.cpp, pixel_ops_avx2.cpp, pixel_ops_neon.cpp)
// instantiates them with its own type, V::kBytes / 4 pixels per register.
// Tails are done one pixel at a time with the reference rules. Internal
// linkage: the AVX2 unit compiles these for AVX2, the SSE2 one for the
// baseline.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "effects/pixel_kernels.h"
#include "simd/vec.h"

namespace orchid::pixel::kernels::vector {
namespace {

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

constexpr bool Masked(int mode) { return mode == EFFECT_MASK_COPY || mode == EFFECT_MASK_BLEND || mode == EFFECT_MASK_ADD; }

// All ones in each mask byte that selects.
inline simd::V128 SelectBytes(simd::V128 bytes, int maskTest)
{
    if (maskTest == MASK_NONZERO) return simd::Xor(simd::Equal8(bytes, simd::V128::Zero()), simd::V128::Splat8(-1));
    // Unsigned byte > 128 is, with the top bit flipped, signed byte > 0.
    return simd::GreaterSigned8(simd::Xor(bytes, simd::V128::Splat8(static_cast<int8_t>(0x80))), simd::V128::Zero());
}

// Two registers a turn; sixteen pixels a turn under a mask, whose sixteen
// bytes are tested at once. Masks are shapes: where a turn's mask selects
// nothing, neither the source nor the target is touched. The mode is fixed
// per instance, so that the loops carry no branch on it.
template <class V, int Mode>
inline void ApplyIn(uint32_t* d, const uint32_t* s, const uint8_t* m, int maskTest, std::size_t n)
{
    constexpr std::size_t kLanes = V::kBytes / 4;
    constexpr std::size_t kRegisters = 16 / kLanes;
    constexpr bool kMasked = Masked(Mode);
    std::size_t i = 0;
    if constexpr (!kMasked) {
        for (; i + 2 * kLanes <= n; i += 2 * kLanes) {
            const V a = Rule(Mode, V::Load(s + i), V::Load(d + i));
            const V b = Rule(Mode, V::Load(s + i + kLanes), V::Load(d + i + kLanes));
            simd::Store(d + i, a);
            simd::Store(d + i + kLanes, b);
        }
    } else {
        for (; i + 16 <= n; i += 16) {
            const simd::V128 select = SelectBytes(simd::V128::Load(m + i), maskTest);
            const unsigned bits = simd::TopBits8(select);
            if (bits == 0) continue;
            V src[kRegisters];
            for (std::size_t r = 0; r < kRegisters; ++r) src[r] = V::Load(s + i + r * kLanes);
            if (Mode == EFFECT_MASK_COPY && bits == 0xFFFF) {
                for (std::size_t r = 0; r < kRegisters; ++r) simd::Store(d + i + r * kLanes, src[r]);
                continue;
            }
            V old[kRegisters], out[kRegisters];
            for (std::size_t r = 0; r < kRegisters; ++r) {
                old[r] = V::Load(d + i + r * kLanes);
                out[r] = Rule(Mode, src[r], old[r]);
            }
            if (bits != 0xFFFF) {
                V lanes[kRegisters];
                simd::WidenByteMasks(select, lanes);
                for (std::size_t r = 0; r < kRegisters; ++r) out[r] = simd::Choose(lanes[r], out[r], old[r]);
            }
            for (std::size_t r = 0; r < kRegisters; ++r) simd::Store(d + i + r * kLanes, out[r]);
        }
    }
    if constexpr (simd::kHasMaskedLanes<V>) {
        // The rest, a register at a time under a lane mask, so that nothing
        // past the row is read or written. The lane-mask operations are
        // found through their argument type: a type without them has none.
        for (; i < n; i += kLanes) {
            const std::size_t count = std::min(kLanes, n - i);
            const V live = simd::LanesBelow<V>(static_cast<int>(count));
            const V dv = MaskedLoad(d + i, live);
            const V sv = MaskedLoad(s + i, live);
            V select = live;
            if constexpr (kMasked) {
                uint64_t bytes = 0;
                std::memcpy(&bytes, m + i, count);
                const V threshold = V::Splat32(maskTest == MASK_NONZERO ? 0 : 128);
                select = simd::And(live, Greater32(simd::WidenBytes32<V>(bytes), threshold));
            }
            MaskedStore(d + i, live, simd::Choose(select, Rule(Mode, sv, dv), dv));
        }
    } else {
        for (; i < n; ++i) d[i] = ApplyOne(Mode, s[i], d[i], m != nullptr ? m[i] : 0, maskTest);
    }
}

template <class V>
inline void Apply(int mode, uint32_t* d, const uint32_t* s, const uint8_t* m, int maskTest, std::size_t n)
{
    switch (mode) {
    case EFFECT_COPY: std::memmove(d, s, n * 4); return;
    case EFFECT_BLEND: ApplyIn<V, EFFECT_BLEND>(d, s, m, maskTest, n); return;
    case EFFECT_MASK_COPY: ApplyIn<V, EFFECT_MASK_COPY>(d, s, m, maskTest, n); return;
    case EFFECT_MASK_BLEND: ApplyIn<V, EFFECT_MASK_BLEND>(d, s, m, maskTest, n); return;
    case EFFECT_ADD: ApplyIn<V, EFFECT_ADD>(d, s, m, maskTest, n); return;
    case EFFECT_MASK_ADD: ApplyIn<V, EFFECT_MASK_ADD>(d, s, m, maskTest, n); return;
    default: return;
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

}  // namespace
}  // namespace orchid::pixel::kernels::vector
