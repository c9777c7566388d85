// The pixel conversions of frame presentation, one row at a time. Each has
// a plain version, the reference, and the four 16-bit ones an SSE2 and a
// NEON version that give the same bytes. Those four entry points take, on
// every row, the kernels of the SIMD level in use (simd::Active()).
#pragma once

#include <cstdint>

#include "simd/simd.h"

namespace dedraw {

// 0x00RRGGBB -> 5-6-5 and 5-5-5 words (low bits dropped).
void Convert32To565Row(const uint32_t* source, uint16_t* target, int count);
void Convert32To555Row(const uint32_t* source, uint16_t* target, int count);
// 0x00RRGGBB -> bytes blue, green, red.
void Convert32To24Row(const uint32_t* source, uint8_t* target, int count);
// 5-6-5 -> 0x00RRGGBB with the new low bits 0, bytes, and 5-5-5.
void Convert565To32Row(const uint16_t* source, uint32_t* target, int count);
void Convert565To24Row(const uint16_t* source, uint8_t* target, int count);
void Convert565To555Row(const uint16_t* source, uint16_t* target, int count);

// The kernels of one level (see simd/chooser.h): a level's own table fills
// the entries it does better, the rest fall through to the level below.
struct Kernels {
    void (*convert32To565)(const uint32_t* source, uint16_t* target, int count) = nullptr;
    void (*convert32To555)(const uint32_t* source, uint16_t* target, int count) = nullptr;
    void (*convert565To32)(const uint16_t* source, uint32_t* target, int count) = nullptr;
    void (*convert565To555)(const uint16_t* source, uint16_t* target, int count) = nullptr;
};

// The kernels of a level; a level the CPU lacks gives those of the best it
// has.
const Kernels& KernelsFor(simd::Level level);
// The kernels of the level in use.
const Kernels& Active();

// The individual forms, for tests and benchmarks.
namespace scalar {
void Convert32To565Row(const uint32_t* source, uint16_t* target, int count);
void Convert32To555Row(const uint32_t* source, uint16_t* target, int count);
void Convert565To32Row(const uint16_t* source, uint32_t* target, int count);
void Convert565To555Row(const uint16_t* source, uint16_t* target, int count);
}  // namespace scalar

#if defined(__x86_64__) || defined(__wasm_simd128__)
// On WebAssembly these compile to its 128-bit vector instructions.
namespace sse2 {
void Convert32To565Row(const uint32_t* source, uint16_t* target, int count);
void Convert32To555Row(const uint32_t* source, uint16_t* target, int count);
void Convert565To32Row(const uint16_t* source, uint32_t* target, int count);
void Convert565To555Row(const uint16_t* source, uint16_t* target, int count);
}  // namespace sse2
#endif

#if defined(__aarch64__)
namespace neon {
void Convert32To565Row(const uint32_t* source, uint16_t* target, int count);
void Convert32To555Row(const uint32_t* source, uint16_t* target, int count);
void Convert565To32Row(const uint16_t* source, uint32_t* target, int count);
void Convert565To555Row(const uint16_t* source, uint16_t* target, int count);
}  // namespace neon
#endif

}  // namespace dedraw
