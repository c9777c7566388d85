// SSE2 kernels: four pixels per register, the tails done one pixel at a time
// with the reference rules.
#include <emmintrin.h>

#include <cstring>

#include "effects/pixel_kernels.h"
#include "effects/pixel_ops_vector.h"

namespace orchid::pixel::kernels {

namespace {

inline __m128i Load(const uint32_t* p) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p)); }
inline void Store(uint32_t* p, __m128i v) { _mm_storeu_si128(reinterpret_cast<__m128i*>(p), v); }

inline __m128i BlendV(__m128i s, __m128i d)
{
    const __m128i low = _mm_set1_epi32(0xFEFEFE);
    return _mm_srli_epi32(_mm_add_epi32(_mm_and_si128(s, low), _mm_and_si128(d, low)), 1);
}

inline __m128i Choose(__m128i select, __m128i yes, __m128i no)
{
    return _mm_or_si128(_mm_and_si128(select, yes), _mm_andnot_si128(select, no));
}

inline __m128i Rule(int mode, __m128i s, __m128i d)
{
    switch (mode) {
    case EFFECT_BLEND:
    case EFFECT_MASK_BLEND: return BlendV(s, d);
    case EFFECT_ADD:
    case EFFECT_MASK_ADD: return _mm_adds_epu8(s, d);
    default: return s;
    }
}

}  // namespace

void Sse2Apply(int mode, uint32_t* d, const uint32_t* s, const uint8_t* m, int maskTest, std::size_t n)
{
    vector::Apply<simd::V128>(mode, d, s, m, maskTest, n);
}

void Sse2Span(int mode, uint32_t* d, std::size_t n, const TexelWalk& walk)
{
    if (mode < 0 || mode > 5) return;
    const bool masked = mode == EFFECT_MASK_COPY || mode == EFFECT_MASK_BLEND || mode == EFFECT_MASK_ADD;
    const uint32_t txstep = static_cast<uint32_t>(walk.txstep), tystep = static_cast<uint32_t>(walk.tystep);
    uint32_t tx = walk.tx, ty = walk.ty;
    std::size_t i = 0;
    if (n >= 4) {
        // Four pixels at a time: the texel indices as the scalar walk
        // computes them (32-bit, clamped to the texture), the texels fetched
        // one by one, the drawing mode on all four.
        __m128i txv = _mm_setr_epi32(static_cast<int>(tx), static_cast<int>(tx + txstep),
                                     static_cast<int>(tx + 2 * txstep), static_cast<int>(tx + 3 * txstep));
        __m128i tyv = _mm_setr_epi32(static_cast<int>(ty), static_cast<int>(ty + tystep),
                                     static_cast<int>(ty + 2 * tystep), static_cast<int>(ty + 3 * tystep));
        const __m128i txAdvance = _mm_set1_epi32(static_cast<int>(4 * txstep));
        const __m128i tyAdvance = _mm_set1_epi32(static_cast<int>(4 * tystep));
        const __m128i shift = _mm_cvtsi32_si128(walk.shift);
        const __m128i zero = _mm_setzero_si128();
        const __m128i maxIndex = _mm_set1_epi32(walk.maxIndex);
        // A mask byte selects above 0 (MASK_NONZERO) or above 128.
        const __m128i threshold = _mm_set1_epi32(walk.maskTest == MASK_NONZERO ? 0 : 128);
        alignas(16) int32_t index[4];
        for (; i + 4 <= n; i += 4) {
            __m128i v = _mm_add_epi32(_mm_sll_epi32(_mm_srai_epi32(tyv, 16), shift), _mm_srai_epi32(txv, 16));
            v = _mm_andnot_si128(_mm_cmplt_epi32(v, zero), v);
            v = Choose(_mm_cmpgt_epi32(v, maxIndex), maxIndex, v);
            _mm_store_si128(reinterpret_cast<__m128i*>(index), v);
            txv = _mm_add_epi32(txv, txAdvance);
            tyv = _mm_add_epi32(tyv, tyAdvance);
            const __m128i s = _mm_setr_epi32(static_cast<int>(walk.texels[index[0]]), static_cast<int>(walk.texels[index[1]]),
                                             static_cast<int>(walk.texels[index[2]]), static_cast<int>(walk.texels[index[3]]));
            const __m128i dv = Load(d + i);
            if (!masked) {
                Store(d + i, Rule(mode, s, dv));
                continue;
            }
            const __m128i m = _mm_setr_epi32(walk.mask[index[0]], walk.mask[index[1]], walk.mask[index[2]],
                                             walk.mask[index[3]]);
            Store(d + i, Choose(_mm_cmpgt_epi32(m, threshold), Rule(mode, s, dv), dv));
        }
        tx += static_cast<uint32_t>(i) * txstep;
        ty += static_cast<uint32_t>(i) * tystep;
    }
    for (; i < n; ++i) {
        const int32_t index = TexelIndex(tx, ty, walk);
        d[i] = ApplyOne(mode, walk.texels[index], d[i], masked ? walk.mask[index] : 0, walk.maskTest);
        tx += txstep;
        ty += tystep;
    }
}

void Sse2Fill(int mode, uint32_t* d, uint32_t colour, std::size_t n)
{
    vector::Fill<simd::V128>(mode, d, colour, n);
}

void Sse2CrossFade(uint32_t* d, const uint32_t* a, const uint32_t* b, int level, std::size_t n)
{
    vector::CrossFade<simd::V128>(d, a, b, level, n);
}

}  // namespace orchid::pixel::kernels
