// The one SIMD dispatch of the program. The level is detected once; every
// subsystem with vector kernels (JPEG decoding, the effects' pixel
// operations, the display conversions) asks Active() when it chooses a
// kernel, so that switching the level switches all of them at once.
//
// ORCHID_SIMD=scalar|sse2|avx2|wasm-simd128|neon in the environment forces
// a level. A value
// that names no level, or a level this CPU lacks, is not obeyed: one line on
// stderr names the problem and the level used instead, which is Best().
// An empty value counts as unset.
#pragma once

namespace simd {

// The x86 levels are ordered: each one's instructions include those of the
// levels below it. WebAssembly's 128-bit SIMD stands beside them, over the
// scalar level only; it runs the SSE2 kernels, which the compiler turns
// into WebAssembly vector instructions. ARM64's NEON stands beside them
// too, over scalar: the same kernel bodies over simd/vec_neon.h's type.
enum class Level { Scalar, Sse2, Avx2, Wasm128, Neon };
inline constexpr Level kLevels[] = {Level::Scalar, Level::Sse2, Level::Avx2, Level::Wasm128, Level::Neon};
inline constexpr int kLevelCount = sizeof kLevels / sizeof kLevels[0];

// The level under `level`, whose kernels it takes where it has none of its
// own (see simd/chooser.h): AVX2 over SSE2, SSE2, WebAssembly and NEON
// over scalar. The scalar level is the bottom, and its own.
constexpr Level Below(Level level)
{
    switch (level) {
    case Level::Avx2: return Level::Sse2;
    case Level::Sse2:
    case Level::Wasm128:
    case Level::Neon:
    case Level::Scalar: return Level::Scalar;
    }
    return Level::Scalar;
}

// The best level this CPU has (x86-64: Sse2 or Avx2; WebAssembly built with
// SIMD: Wasm128; ARM64: Neon; elsewhere Scalar).
Level Best();
// Whether a processor whose best level is `best` runs `level`.
bool Includes(Level best, Level level);
// Whether this CPU runs the level's instructions: Includes(Best(), level).
bool Supported(Level level);
// The level in use: ORCHID_SIMD if set and supported, else Best().
Level Active();
// Switches the level in use at run time (tests and tools). A level the CPU
// lacks is refused in favour of Best(), so no unsupported instruction ever
// runs.
void SetActive(Level level);
// "scalar", "sse2", "avx2", "wasm-simd128", "neon".
const char* Name(Level level);

}  // namespace simd
