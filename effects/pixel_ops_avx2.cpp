// AVX2 kernels: eight pixels per register. Every function here is
// compiled for AVX2 (the shared bodies between ORCHID_AVX2_BEGIN and
// ORCHID_AVX2_END, the rest by their own target), and is reached only
// through the table chosen after the run-time CPU check, so the rest of
// the program stays SSE2.
#include <immintrin.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "effects/pixel_kernels.h"
#include "simd/vec_x86.h"

ORCHID_AVX2_BEGIN
#include "effects/pixel_ops_vector.h"
ORCHID_AVX2_END

namespace orchid::pixel::kernels {

namespace {

ORCHID_AVX2 inline __m256i Load(const uint32_t* p) { return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p)); }
ORCHID_AVX2 inline void Store(uint32_t* p, __m256i v) { _mm256_storeu_si256(reinterpret_cast<__m256i*>(p), v); }

ORCHID_AVX2 inline __m256i BlendV(__m256i s, __m256i d)
{
    const __m256i low = _mm256_set1_epi32(0xFEFEFE);
    return _mm256_srli_epi32(_mm256_add_epi32(_mm256_and_si256(s, low), _mm256_and_si256(d, low)), 1);
}

ORCHID_AVX2 inline __m256i Rule(int mode, __m256i s, __m256i d)
{
    switch (mode) {
    case EFFECT_BLEND:
    case EFFECT_MASK_BLEND: return BlendV(s, d);
    case EFFECT_ADD:
    case EFFECT_MASK_ADD: return _mm256_adds_epu8(s, d);
    default: return s;
    }
}

ORCHID_AVX2 inline __m256i Choose(__m256i select, __m256i yes, __m256i no)
{
    return _mm256_blendv_epi8(no, yes, select);
}

// Mask values (0..255 in 32-bit lanes) select where they are greater than
// this: 128 for the > 128 test, 0 for the nonzero one.
ORCHID_AVX2 inline __m256i MaskThreshold(int maskTest)
{
    return _mm256_set1_epi32(maskTest == MASK_NONZERO ? 0 : 128);
}

}  // namespace

ORCHID_AVX2_KERNEL void Avx2Apply(int mode, uint32_t* d, const uint32_t* s, const uint8_t* m, int maskTest, std::size_t n)
{
    vector::Apply<simd::V256>(mode, d, s, m, maskTest, n);
}

ORCHID_AVX2_KERNEL void Avx2Fill(int mode, uint32_t* d, uint32_t colour, std::size_t n)
{
    vector::Fill<simd::V256>(mode, d, colour, n);
}

ORCHID_AVX2_KERNEL void Avx2CrossFade(uint32_t* d, const uint32_t* a, const uint32_t* b, int level, std::size_t n)
{
    vector::CrossFade<simd::V256>(d, a, b, level, n);
}

// The mask bytes at eight indices (each in [0, maxIndex]). Each lane
// gathers the four bytes ending at its own, or the first four when its index
// is below 3, so no read leaves the mask; the byte is then shifted down.
ORCHID_AVX2 inline __m256i GatherMaskBytes(const uint8_t* mask, __m256i index, bool gatherable)
{
    if (!gatherable) {
        alignas(32) int32_t at[8];
        _mm256_store_si256(reinterpret_cast<__m256i*>(at), index);
        return _mm256_setr_epi32(mask[at[0]], mask[at[1]], mask[at[2]], mask[at[3]], mask[at[4]], mask[at[5]],
                                 mask[at[6]], mask[at[7]]);
    }
    const __m256i three = _mm256_set1_epi32(3);
    const __m256i start = _mm256_sub_epi32(_mm256_max_epi32(index, three), three);
    const __m256i words = _mm256_i32gather_epi32(reinterpret_cast<const int*>(mask), start, 1);
    const __m256i shift = _mm256_slli_epi32(_mm256_sub_epi32(index, start), 3);
    return _mm256_and_si256(_mm256_srlv_epi32(words, shift), _mm256_set1_epi32(0xFF));
}

// Eight pixels copied from the texture row `texels` at 16.16 position
// `from` on, `steps` apart (each at most one texel).
ORCHID_AVX2 inline void CopyBlock(uint32_t* d, const uint32_t* texels, int64_t from, __m256i steps)
{
    const __m256i fraction = _mm256_set1_epi32(static_cast<int>(from & 0xFFFF));
    const __m256i offset = _mm256_srli_epi32(_mm256_add_epi32(fraction, steps), 16);
    Store(d, _mm256_permutevar8x32_epi32(Load(texels + (from >> 16)), offset));
}

// The common span of the show: an upright quad, where a row of the screen
// walks one row of the texture at most one texel per pixel, rightward or
// (a quad turned half round) leftward. When the whole walk stays inside the
// texture, each eight pixels read from eight texels in a row: one load from
// the lowest of them and a shuffle, no clamping needed. The mode and the
// direction are fixed per instance so that the loop carries no branches.
template <int Mode, bool Leftward>
ORCHID_AVX2 std::size_t UprightRunsIn(uint32_t* d, std::size_t n, const TexelWalk& walk, int64_t row, int64_t start)
{
    constexpr bool masked = vector::Masked(Mode);
    // The lane holding a block's lowest texel.
    constexpr int kLowestLane = Leftward ? 7 : 0;
    // Locals, so that the stores into d are not taken to change them.
    const uint32_t* const texels = walk.texels;
    const uint8_t* const mask = walk.mask;
    const int64_t lastBase = int64_t{walk.maxIndex} - 7;
    const __m256i threshold = MaskThreshold(walk.maskTest);
    // Each lane's distance from the lowest lane, in 16.16: never negative.
    const __m256i lanes = _mm256_sub_epi32(_mm256_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7), _mm256_set1_epi32(kLowestLane));
    const __m256i steps = _mm256_mullo_epi32(lanes, _mm256_set1_epi32(walk.txstep));
    const int64_t advance = int64_t{walk.txstep} * 8;
    // A block loads the eight texels from its lowest one on, which must stay
    // in the texture. Walking right, the blocks that may not are the last
    // ones; walking left, the first one has the highest texels, and when it
    // cannot, the span goes the general way.
    std::size_t blocks = n / 8;
    int64_t position = start + int64_t{walk.txstep} * kLowestLane;
    if constexpr (Leftward) {
        if (row + (position >> 16) > lastBase) blocks = 0;
    } else {
        while (blocks > 0 && row + ((position + advance * static_cast<int64_t>(blocks - 1)) >> 16) > lastBase) --blocks;
    }
    // Each block's texels come from its position alone, so blocks do not
    // wait on each other.
    std::size_t i = 0;
    if constexpr (Mode == EFFECT_COPY) {
        // Four blocks a turn: fewer loop steps per store.
        for (; i + 32 <= blocks * 8; i += 32, position += 4 * advance) {
            CopyBlock(d + i, texels + row, position, steps);
            CopyBlock(d + i + 8, texels + row, position + advance, steps);
            CopyBlock(d + i + 16, texels + row, position + 2 * advance, steps);
            CopyBlock(d + i + 24, texels + row, position + 3 * advance, steps);
        }
    }
    for (; i < blocks * 8; i += 8, position += advance) {
        const int64_t texel = row + (position >> 16);
        const __m256i fraction = _mm256_set1_epi32(static_cast<int>(position & 0xFFFF));
        const __m256i offset = _mm256_srli_epi32(_mm256_add_epi32(fraction, steps), 16);
        if constexpr (masked) {
            __m128i bytes = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(mask + texel));
            __m256i maskValues = _mm256_permutevar8x32_epi32(_mm256_cvtepu8_epi32(bytes), offset);
            const __m256i select = _mm256_cmpgt_epi32(maskValues, threshold);
            // Nothing selected: the eight pixels stay as they are.
            if (_mm256_testz_si256(select, select)) continue;
            const __m256i s = _mm256_permutevar8x32_epi32(Load(texels + texel), offset);
            const __m256i dv = Load(d + i);
            Store(d + i, Choose(select, Rule(Mode, s, dv), dv));
        } else if constexpr (Mode == EFFECT_COPY) {
            Store(d + i, _mm256_permutevar8x32_epi32(Load(texels + texel), offset));
        } else {
            const __m256i s = _mm256_permutevar8x32_epi32(Load(texels + texel), offset);
            Store(d + i, Rule(Mode, s, Load(d + i)));
        }
    }
    return i;
}

template <bool Leftward>
ORCHID_AVX2 std::size_t UprightRunsOf(int mode, uint32_t* d, std::size_t n, const TexelWalk& walk, int64_t row,
                                      int64_t start)
{
    switch (mode) {
    case EFFECT_COPY: return UprightRunsIn<EFFECT_COPY, Leftward>(d, n, walk, row, start);
    case EFFECT_BLEND: return UprightRunsIn<EFFECT_BLEND, Leftward>(d, n, walk, row, start);
    case EFFECT_MASK_COPY: return UprightRunsIn<EFFECT_MASK_COPY, Leftward>(d, n, walk, row, start);
    case EFFECT_MASK_BLEND: return UprightRunsIn<EFFECT_MASK_BLEND, Leftward>(d, n, walk, row, start);
    case EFFECT_ADD: return UprightRunsIn<EFFECT_ADD, Leftward>(d, n, walk, row, start);
    default: return UprightRunsIn<EFFECT_MASK_ADD, Leftward>(d, n, walk, row, start);
    }
}

// Returns the pixels done that way (a multiple of eight, possibly none).
ORCHID_AVX2 std::size_t UprightRuns(int mode, uint32_t* d, std::size_t n, const TexelWalk& walk)
{
    if (walk.tystep != 0 || walk.txstep < -0x10000 || walk.txstep > 0x10000 || n < 8) return 0;
    const int64_t start = static_cast<int32_t>(walk.tx);
    const int64_t end = start + int64_t{walk.txstep} * static_cast<int64_t>(n - 1);
    // The 32-bit walk must not wrap, and every texel must lie in the texture.
    if (end > INT32_MAX || end < INT32_MIN) return 0;
    const int64_t row = static_cast<int32_t>(static_cast<uint32_t>(static_cast<int32_t>(walk.ty) >> 16) << walk.shift);
    const int64_t low = std::min(start, end), high = std::max(start, end);
    if (row + (low >> 16) < 0 || row + (high >> 16) > walk.maxIndex) return 0;
    return walk.txstep < 0 ? UprightRunsOf<true>(mode, d, n, walk, row, start)
                           : UprightRunsOf<false>(mode, d, n, walk, row, start);
}

ORCHID_AVX2 void Avx2Span(int mode, uint32_t* d, std::size_t n, const TexelWalk& walk)
{
    if (mode < 0 || mode > 5) return;
    const bool masked = vector::Masked(mode);
    std::size_t i = UprightRuns(mode, d, n, walk);
    if (i == n) return;
    const uint32_t tx = walk.tx + static_cast<uint32_t>(walk.txstep) * static_cast<uint32_t>(i);
    const uint32_t ty = walk.ty + static_cast<uint32_t>(walk.tystep) * static_cast<uint32_t>(i);
    const __m256i lanes = _mm256_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7);
    __m256i txv = _mm256_add_epi32(_mm256_set1_epi32(static_cast<int>(tx)),
                                   _mm256_mullo_epi32(lanes, _mm256_set1_epi32(walk.txstep)));
    __m256i tyv = _mm256_add_epi32(_mm256_set1_epi32(static_cast<int>(ty)),
                                   _mm256_mullo_epi32(lanes, _mm256_set1_epi32(walk.tystep)));
    const __m256i txAdvance = _mm256_set1_epi32(static_cast<int>(static_cast<uint32_t>(walk.txstep) * 8u));
    const __m256i tyAdvance = _mm256_set1_epi32(static_cast<int>(static_cast<uint32_t>(walk.tystep) * 8u));
    const __m128i shift = _mm_cvtsi32_si128(walk.shift);
    const __m256i zero = _mm256_setzero_si256();
    const __m256i maxIndex = _mm256_set1_epi32(walk.maxIndex);
    const __m256i outsideWindow = _mm256_set1_epi32(~7);
    const __m256i threshold = MaskThreshold(walk.maskTest);
    // Eight texels can share a run of eight only when the walk moves at
    // most about a texel per pixel across and less than a row per pixel
    // down; shrunken or steep walks (the spinning flowers) always gather.
    const bool windowPossible =
        std::abs(int64_t{walk.txstep}) <= 0x12000 && std::abs(int64_t{walk.tystep}) < 0x10000;
    // Mask bytes are gathered four at a time, which needs four of them.
    const bool maskGatherable = walk.maxIndex >= 3;
    // The lane with the lowest index when the walk moves right or left.
    const bool leftward = walk.txstep < 0;

    for (; i + 8 <= n; i += 8) {
        __m256i index = _mm256_add_epi32(_mm256_sll_epi32(_mm256_srai_epi32(tyv, 16), shift),
                                         _mm256_srai_epi32(txv, 16));
        index = _mm256_min_epi32(_mm256_max_epi32(index, zero), maxIndex);
        int base = 0;
        __m256i offset = zero;
        bool inWindow = false;
        if (windowPossible) {
            base = leftward ? _mm256_extract_epi32(index, 7) : _mm_cvtsi128_si32(_mm256_castsi256_si128(index));
            offset = _mm256_sub_epi32(index, _mm256_set1_epi32(base));
            inWindow = base <= walk.maxIndex - 7 && _mm256_testz_si256(offset, outsideWindow);
        }
        txv = _mm256_add_epi32(txv, txAdvance);
        tyv = _mm256_add_epi32(tyv, tyAdvance);
        if (!masked) {
            // All eight texels in one run of eight: one load and a shuffle.
            const __m256i s = inWindow ? _mm256_permutevar8x32_epi32(Load(walk.texels + base), offset)
                                       : _mm256_i32gather_epi32(reinterpret_cast<const int*>(walk.texels), index, 4);
            Store(d + i, Rule(mode, s, Load(d + i)));
            continue;
        }
        // The mask first: where it selects nothing, no texel is fetched and
        // the pixels stay as they are; elsewhere only the selected texels.
        __m256i maskValues;
        if (inWindow) {
            __m128i bytes = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(walk.mask + base));
            maskValues = _mm256_permutevar8x32_epi32(_mm256_cvtepu8_epi32(bytes), offset);
        } else {
            maskValues = GatherMaskBytes(walk.mask, index, maskGatherable);
        }
        const __m256i select = _mm256_cmpgt_epi32(maskValues, threshold);
        if (_mm256_testz_si256(select, select)) continue;
        const __m256i s =
            inWindow ? _mm256_permutevar8x32_epi32(Load(walk.texels + base), offset)
                     : _mm256_mask_i32gather_epi32(zero, reinterpret_cast<const int*>(walk.texels), index, select, 4);
        const __m256i dv = Load(d + i);
        Store(d + i, Choose(select, Rule(mode, s, dv), dv));
    }
    if (i < n) {
        // The last one to seven pixels: the lanes past the span (their
        // indices clamped like any) fetch no texel and touch no pixel.
        const __m256i live = _mm256_cmpgt_epi32(_mm256_set1_epi32(static_cast<int>(n - i)), lanes);
        __m256i index = _mm256_add_epi32(_mm256_sll_epi32(_mm256_srai_epi32(tyv, 16), shift),
                                         _mm256_srai_epi32(txv, 16));
        index = _mm256_min_epi32(_mm256_max_epi32(index, zero), maxIndex);
        __m256i select = live;
        if (masked) {
            const __m256i maskValues = GatherMaskBytes(walk.mask, index, maskGatherable);
            select = _mm256_and_si256(live, _mm256_cmpgt_epi32(maskValues, threshold));
        }
        const __m256i s = _mm256_mask_i32gather_epi32(zero, reinterpret_cast<const int*>(walk.texels), index, select, 4);
        int* const at = reinterpret_cast<int*>(d + i);
        const __m256i dv = _mm256_maskload_epi32(at, live);
        _mm256_maskstore_epi32(at, live, Choose(select, Rule(mode, s, dv), dv));
    }
}

}  // namespace orchid::pixel::kernels
