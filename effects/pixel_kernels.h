// The kernel functions behind the tables of pixel_ops.h.
#pragma once

#include <cstddef>
#include <cstdint>

#include "effects/pixel_ops.h"

namespace orchid::pixel::kernels {

void ScalarApply(int mode, uint32_t* d, const uint32_t* s, const uint8_t* m, int maskTest, std::size_t n);
void ScalarFill(int mode, uint32_t* d, uint32_t colour, std::size_t n);
void ScalarCrossFade(uint32_t* d, const uint32_t* a, const uint32_t* b, int level, std::size_t n);
void ScalarSpan(int mode, uint32_t* d, std::size_t n, const TexelWalk& walk);

#if defined(__x86_64__) || defined(__wasm_simd128__)
// On WebAssembly the SSE2 forms compile to its 128-bit vector instructions.
void Sse2Apply(int mode, uint32_t* d, const uint32_t* s, const uint8_t* m, int maskTest, std::size_t n);
void Sse2Fill(int mode, uint32_t* d, uint32_t colour, std::size_t n);
void Sse2CrossFade(uint32_t* d, const uint32_t* a, const uint32_t* b, int level, std::size_t n);
// Without a gather the texels are fetched one by one; the indices and the
// drawing mode take four pixels at a time.
void Sse2Span(int mode, uint32_t* d, std::size_t n, const TexelWalk& walk);
#endif

#if defined(__x86_64__)

// Only to be called when the CPU has AVX2.
void Avx2Apply(int mode, uint32_t* d, const uint32_t* s, const uint8_t* m, int maskTest, std::size_t n);
void Avx2Fill(int mode, uint32_t* d, uint32_t colour, std::size_t n);
void Avx2CrossFade(uint32_t* d, const uint32_t* a, const uint32_t* b, int level, std::size_t n);
void Avx2Span(int mode, uint32_t* d, std::size_t n, const TexelWalk& walk);
#endif

#if defined(__aarch64__)
void NeonApply(int mode, uint32_t* d, const uint32_t* s, const uint8_t* m, int maskTest, std::size_t n);
void NeonFill(int mode, uint32_t* d, uint32_t colour, std::size_t n);
void NeonCrossFade(uint32_t* d, const uint32_t* a, const uint32_t* b, int level, std::size_t n);
// Without a gather the texels are fetched one by one, as at SSE2.
void NeonSpan(int mode, uint32_t* d, std::size_t n, const TexelWalk& walk);
#endif

// The texel index of a walk position, as every kernel computes it.
inline int32_t TexelIndex(uint32_t tx, uint32_t ty, const TexelWalk& walk)
{
    uint32_t row = static_cast<uint32_t>(static_cast<int32_t>(ty) >> 16) << walk.shift;
    int32_t index = static_cast<int32_t>(row + static_cast<uint32_t>(static_cast<int32_t>(tx) >> 16));
    if (index < 0) return 0;
    return index > walk.maxIndex ? walk.maxIndex : index;
}

// One pixel of a drawing mode (0..5).
inline uint32_t ApplyOne(int mode, uint32_t s, uint32_t d, uint8_t m, int maskTest)
{
    switch (mode) {
    case EFFECT_COPY: return s;
    case EFFECT_BLEND: return Blend(s, d);
    case EFFECT_MASK_COPY: return Selects(m, maskTest) ? s : d;
    case EFFECT_MASK_BLEND: return Selects(m, maskTest) ? Blend(s, d) : d;
    case EFFECT_ADD: return AddSaturate(s, d);
    case EFFECT_MASK_ADD: return Selects(m, maskTest) ? AddSaturate(s, d) : d;
    default: return d;
    }
}

}  // namespace orchid::pixel::kernels
