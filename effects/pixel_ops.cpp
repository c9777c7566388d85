#include "effects/pixel_ops.h"

#include "effects/pixel_kernels.h"

namespace orchid::pixel {

namespace {

const Ops kScalar = {"scalar", kernels::ScalarApply, kernels::ScalarFill, kernels::ScalarCrossFade,
                     kernels::ScalarSpan};
#if defined(__x86_64__)
// SSE2 has no gather, and spans fetch one texel at a time; they stay scalar.
const Ops kSse2 = {"sse2", kernels::Sse2Apply, kernels::Sse2Fill, kernels::Sse2CrossFade, kernels::ScalarSpan};
#endif
#if defined(__wasm_simd128__)
// The SSE2 forms, as WebAssembly vector instructions (no gather there either).
const Ops kWasm128 = {"wasm-simd128", kernels::Sse2Apply, kernels::Sse2Fill, kernels::Sse2CrossFade,
                      kernels::ScalarSpan};
#endif
#if defined(__x86_64__)
const Ops kAvx2 = {"avx2", kernels::Avx2Apply, kernels::Avx2Fill, kernels::Avx2CrossFade, kernels::Avx2Span};
#endif

}  // namespace

const Ops& Kernels(simd::Level level)
{
    if (!simd::Supported(level)) level = simd::Best();
#if defined(__x86_64__)
    if (level == simd::Level::Avx2) return kAvx2;
    if (level == simd::Level::Sse2) return kSse2;
#endif
#if defined(__wasm_simd128__)
    if (level == simd::Level::Wasm128) return kWasm128;
#endif
    return kScalar;
}

const Ops& Active() { return Kernels(simd::Active()); }

}  // namespace orchid::pixel
