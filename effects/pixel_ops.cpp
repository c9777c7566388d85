#include "effects/pixel_ops.h"

#include "effects/pixel_kernels.h"
#include "simd/chooser.h"

namespace orchid::pixel {

namespace {

constexpr Kernels kScalar = {kernels::ScalarApply, kernels::ScalarFill, kernels::ScalarCrossFade,
                             kernels::ScalarSpan};
#if defined(__x86_64__) || defined(__wasm_simd128__)
// SSE2 has no gather: spans fetch one texel at a time, the rest is vector.
constexpr Kernels kSse2 = {kernels::Sse2Apply, kernels::Sse2Fill, kernels::Sse2CrossFade, kernels::Sse2Span};
#endif
#if defined(__x86_64__)
constexpr Kernels kAvx2 = {kernels::Avx2Apply, kernels::Avx2Fill, kernels::Avx2CrossFade, kernels::Avx2Span};
#endif
#if defined(__aarch64__)
constexpr Kernels kNeon = {kernels::NeonApply, kernels::NeonFill, kernels::NeonCrossFade, kernels::NeonSpan};
#endif

}  // namespace

const Kernels& KernelsFor(simd::Level level)
{
    static const simd::Chooser<Kernels, &Kernels::apply, &Kernels::fill, &Kernels::crossFade, &Kernels::span> chooser({
        .scalar = &kScalar,
#if defined(__x86_64__)
        .sse2 = &kSse2,
        .avx2 = &kAvx2,
#endif
#if defined(__wasm_simd128__)
        // The SSE2 forms, as WebAssembly vector instructions.
        .wasm128 = &kSse2,
#endif
#if defined(__aarch64__)
        .neon = &kNeon,
#endif
    });
    return chooser.For(level);
}

const Kernels& Active() { return KernelsFor(simd::Active()); }

}  // namespace orchid::pixel
