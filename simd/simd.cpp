#include "simd/simd.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "simd/choice.h"

namespace simd {

namespace {

Level Detect()
{
#if defined(__x86_64__)
    // SSE2 is part of every x86-64 processor. The AVX2 check includes the
    // operating system's saving of the 256-bit registers.
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx2") ? Level::Avx2 : Level::Sse2;
#elif defined(__wasm_simd128__)
    // The module is built with SIMD: a browser without it does not load it.
    return Level::Wasm128;
#elif defined(__aarch64__)
    // Advanced SIMD is part of every ARMv8-A processor that runs AArch64.
    return Level::Neon;
#else
    return Level::Scalar;
#endif
}

Level FromEnvironment()
{
    Choice choice = Choose(std::getenv("ORCHID_SIMD"), Best());
    if (!choice.complaint.empty()) std::fprintf(stderr, "orchid: %s\n", choice.complaint.c_str());
    return choice.level;
}

Level& Current()
{
    static Level level = FromEnvironment();
    return level;
}

}  // namespace

Choice Choose(const char* wanted, Level best)
{
    if (wanted == nullptr || *wanted == '\0') return {best, {}};
    for (Level level : kLevels) {
        if (std::strcmp(wanted, Name(level)) != 0) continue;
        if (Includes(best, level)) return {level, {}};
        return {best, std::string("ORCHID_SIMD=") + wanted + ": this CPU lacks " + Name(level) + "; using " +
                          Name(best)};
    }
    std::string names;
    for (Level level : kLevels) names += std::string(names.empty() ? "" : ", ") + Name(level);
    return {best, std::string("ORCHID_SIMD=") + wanted + " is not a SIMD level (" + names + "); using " + Name(best)};
}

Level Best()
{
    static const Level best = Detect();
    return best;
}

bool Includes(Level best, Level level)
{
    // A processor runs its best level and every one below it.
    for (Level l = best;; l = Below(l)) {
        if (l == level) return true;
        if (l == Level::Scalar) return false;
    }
}

bool Supported(Level level) { return Includes(Best(), level); }

Level Active() { return Current(); }

void SetActive(Level level) { Current() = Supported(level) ? level : Best(); }

const char* Name(Level level)
{
    switch (level) {
    case Level::Scalar: return "scalar";
    case Level::Sse2: return "sse2";
    case Level::Avx2: return "avx2";
    case Level::Wasm128: return "wasm-simd128";
    case Level::Neon: return "neon";
    }
    return "unknown";
}

}  // namespace simd
