#include "effects/pixel_ops.h"

#include "effects/pixel_kernels.h"

namespace orchid::pixel {

namespace {

const Ops kScalar = {"scalar", kernels::ScalarApply, kernels::ScalarFill, kernels::ScalarCrossFade,
                     kernels::ScalarSpan};
// SSE2 has no gather, and spans fetch one texel at a time; they stay scalar.
const Ops kSse2 = {"sse2", kernels::Sse2Apply, kernels::Sse2Fill, kernels::Sse2CrossFade, kernels::ScalarSpan};
const Ops kAvx2 = {"avx2", kernels::Avx2Apply, kernels::Avx2Fill, kernels::Avx2CrossFade, kernels::Avx2Span};

bool HasAvx2() { return __builtin_cpu_supports("avx2"); }

const Ops* Fastest()
{
    if (const Ops* ops = Avx2()) return ops;
    if (const Ops* ops = Sse2()) return ops;
    return &kScalar;
}

const Ops* active = nullptr;

}  // namespace

const Ops& Scalar() { return kScalar; }

// SSE2 is part of every x86-64 processor.
const Ops* Sse2() { return &kSse2; }

const Ops* Avx2() { return HasAvx2() ? &kAvx2 : nullptr; }

const Ops& Active()
{
    if (active == nullptr) active = Fastest();
    return *active;
}

void Use(const Ops& ops) { active = &ops; }

}  // namespace orchid::pixel
