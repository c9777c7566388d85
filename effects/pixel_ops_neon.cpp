// NEON kernels (ARM64): the bodies of pixel_ops_vector.h over
// simd/vec_neon.h's V128, four pixels per register, and the level's own
// texture span. The tails are done one pixel at a time with the reference
// rules.
#include <arm_neon.h>

#include "effects/pixel_kernels.h"
#include "effects/pixel_ops_vector.h"

namespace orchid::pixel::kernels {

void NeonApply(int mode, uint32_t* d, const uint32_t* s, const uint8_t* m, int maskTest, std::size_t n)
{
    vector::Apply<simd::V128>(mode, d, s, m, maskTest, n);
}

void NeonFill(int mode, uint32_t* d, uint32_t colour, std::size_t n) { vector::Fill<simd::V128>(mode, d, colour, n); }

void NeonCrossFade(uint32_t* d, const uint32_t* a, const uint32_t* b, int level, std::size_t n)
{
    vector::CrossFade<simd::V128>(d, a, b, level, n);
}

// Four pixels at a time: the texel indices as the scalar walk computes
// them (32-bit, clamped to the texture), the texels fetched one by one
// (NEON has no gather), the drawing mode on all four.
void NeonSpan(int mode, uint32_t* d, std::size_t n, const TexelWalk& walk)
{
    if (mode < 0 || mode > 5) return;
    const bool masked = mode == EFFECT_MASK_COPY || mode == EFFECT_MASK_BLEND || mode == EFFECT_MASK_ADD;
    const uint32_t txstep = static_cast<uint32_t>(walk.txstep), tystep = static_cast<uint32_t>(walk.tystep);
    uint32_t tx = walk.tx, ty = walk.ty;
    std::size_t i = 0;
    if (n >= 4) {
        const uint32x4_t steps = {0, 1, 2, 3};
        uint32x4_t txv = vmlaq_n_u32(vdupq_n_u32(tx), steps, txstep);
        uint32x4_t tyv = vmlaq_n_u32(vdupq_n_u32(ty), steps, tystep);
        const uint32x4_t txAdvance = vdupq_n_u32(4 * txstep), tyAdvance = vdupq_n_u32(4 * tystep);
        const int32x4_t shift = vdupq_n_s32(walk.shift);
        const int32x4_t maxIndex = vdupq_n_s32(walk.maxIndex);
        // A mask byte selects above 0 (MASK_NONZERO) or above 128.
        const uint32x4_t threshold = vdupq_n_u32(walk.maskTest == MASK_NONZERO ? 0 : 128);
        alignas(16) int32_t index[4];
        for (; i + 4 <= n; i += 4) {
            // The row's start shifted in 32 bits as the scalar form does
            // (wrapping), plus the column; then clamped to [0, maxIndex].
            const uint32x4_t row = vshlq_u32(vreinterpretq_u32_s32(vshrq_n_s32(vreinterpretq_s32_u32(tyv), 16)), shift);
            int32x4_t v = vreinterpretq_s32_u32(
                vaddq_u32(row, vreinterpretq_u32_s32(vshrq_n_s32(vreinterpretq_s32_u32(txv), 16))));
            v = vminq_s32(vmaxq_s32(v, vdupq_n_s32(0)), maxIndex);
            vst1q_s32(index, v);
            txv = vaddq_u32(txv, txAdvance);
            tyv = vaddq_u32(tyv, tyAdvance);
            const uint32_t texels[4] = {walk.texels[index[0]], walk.texels[index[1]], walk.texels[index[2]],
                                        walk.texels[index[3]]};
            const simd::V128 s = simd::V128::Load(texels);
            const simd::V128 dv = simd::V128::Load(d + i);
            if (!masked) {
                simd::Store(d + i, vector::Rule(mode, s, dv));
                continue;
            }
            const uint32x4_t m = {walk.mask[index[0]], walk.mask[index[1]], walk.mask[index[2]], walk.mask[index[3]]};
            const simd::V128 select{vreinterpretq_u8_u32(vcgtq_u32(m, threshold))};
            simd::Store(d + i, simd::Choose(select, vector::Rule(mode, s, dv), dv));
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

}  // namespace orchid::pixel::kernels
