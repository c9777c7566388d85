// The thin vector types the kernels are written over, on x86: V128 (SSE2,
// the x86-64 baseline; emscripten turns the same intrinsics into
// WebAssembly's 128-bit vector instructions) and V256 (AVX2).
//
// A kernel is one template over the vector type; each level's unit
// instantiates it for its own type. The operations keep AVX2's shape: those
// named for lanes (unpacks, byte shifts, shuffles, packs, pair
// multiply-adds) work within each 128-bit half, so a V256 holds two V128s
// side by side and does on each what a V128 does. The few that give lanes
// in memory order across the whole vector say so (Interleave16,
// WidenBytes).
//
// A 256-bit function must be compiled for AVX2, and so must everything
// that hands a V256 to it: a function compiled for the baseline passes
// 256-bit vectors under another calling convention, and gets wrong bytes
// back wherever the call is not inlined (every call, in an unoptimised
// build). The operations on V256 carry the target themselves; a
// subsystem's AVX2 unit includes its kernel bodies between
// ORCHID_AVX2_BEGIN and ORCHID_AVX2_END, which compile every function
// defined there for AVX2, and declares its entry points
// ORCHID_AVX2_KERNEL (the target, and every call under it inlined). The
// bodies have internal linkage, so the baseline unit's copies and the
// AVX2 unit's never stand in for each other; whatever else the bodies
// include comes before ORCHID_AVX2_BEGIN, and keeps the baseline.
//
// A level without an operation that a kernel needs leaves it out here, and
// the kernel's body chooses another way for that level (`if constexpr` on
// the type); a new level (NEON) is a header like this one with the same
// names.
#pragma once

#if defined(__x86_64__)
#include <immintrin.h>
#else
#include <emmintrin.h>
#endif

#include <cstdint>

#define ORCHID_AVX2 __attribute__((target("avx2")))
#define ORCHID_AVX2_KERNEL __attribute__((target("avx2"), flatten))
// The entry points of the 128-bit level: the body inlined whole, as at
// AVX2, rather than split into calls taking their vectors through memory.
#define ORCHID_KERNEL __attribute__((flatten))
#if defined(__clang__)
#define ORCHID_AVX2_BEGIN _Pragma("clang attribute push(__attribute__((target(\"avx2\"))), apply_to = function)")
#define ORCHID_AVX2_END _Pragma("clang attribute pop")
#else
#define ORCHID_AVX2_BEGIN _Pragma("GCC push_options") _Pragma("GCC target(\"avx2\")")
#define ORCHID_AVX2_END _Pragma("GCC pop_options")
#endif

namespace simd {

struct V128 {
    __m128i v;
    static constexpr int kBytes = 16;
    static constexpr int kHalves = 1;

    static V128 Load(const void* p) { return {_mm_loadu_si128(static_cast<const __m128i*>(p))}; }
    // The low 8 bytes from p, the rest zero.
    static V128 Load64(const void* p) { return {_mm_loadl_epi64(static_cast<const __m128i*>(p))}; }
    static V128 Zero() { return {_mm_setzero_si128()}; }
    static V128 Splat8(int8_t k) { return {_mm_set1_epi8(k)}; }
    static V128 Splat16(int16_t k) { return {_mm_set1_epi16(k)}; }
    static V128 Splat32(int32_t k) { return {_mm_set1_epi32(k)}; }
    // The 16-bit lanes of each half, lowest first.
    static V128 Set16(int16_t a0, int16_t a1, int16_t a2, int16_t a3, int16_t a4, int16_t a5, int16_t a6, int16_t a7)
    {
        return {_mm_setr_epi16(a0, a1, a2, a3, a4, a5, a6, a7)};
    }
    // kBytes / 2 bytes from p, each widened to a 16-bit lane, in order.
    static V128 WidenBytes(const uint8_t* p) { return {_mm_unpacklo_epi8(Load64(p).v, _mm_setzero_si128())}; }
};

inline void Store(void* p, V128 a) { _mm_storeu_si128(static_cast<__m128i*>(p), a.v); }
// The low 8 bytes.
inline void Store64(void* p, V128 a) { _mm_storel_epi64(static_cast<__m128i*>(p), a.v); }

inline V128 Or(V128 a, V128 b) { return {_mm_or_si128(a.v, b.v)}; }
inline V128 And(V128 a, V128 b) { return {_mm_and_si128(a.v, b.v)}; }
inline V128 Xor(V128 a, V128 b) { return {_mm_xor_si128(a.v, b.v)}; }
inline V128 Add16(V128 a, V128 b) { return {_mm_add_epi16(a.v, b.v)}; }
inline V128 Sub16(V128 a, V128 b) { return {_mm_sub_epi16(a.v, b.v)}; }
inline V128 Min16(V128 a, V128 b) { return {_mm_min_epi16(a.v, b.v)}; }
inline V128 Max16(V128 a, V128 b) { return {_mm_max_epi16(a.v, b.v)}; }
inline V128 Add32(V128 a, V128 b) { return {_mm_add_epi32(a.v, b.v)}; }
inline V128 Sub32(V128 a, V128 b) { return {_mm_sub_epi32(a.v, b.v)}; }
template <int N> V128 ShiftLeft16(V128 a) { return {_mm_slli_epi16(a.v, N)}; }
template <int N> V128 ShiftRightArith16(V128 a) { return {_mm_srai_epi16(a.v, N)}; }
template <int N> V128 ShiftLeft32(V128 a) { return {_mm_slli_epi32(a.v, N)}; }
template <int N> V128 ShiftRightArith32(V128 a) { return {_mm_srai_epi32(a.v, N)}; }
// Each half moved down by N bytes, zeros shifted in.
template <int N> V128 ShiftBytesDown(V128 a) { return {_mm_srli_si128(a.v, N)}; }
// Pairs of 16-bit lanes multiplied and summed into 32-bit lanes.
inline V128 MultiplyAddPairs(V128 a, V128 b) { return {_mm_madd_epi16(a.v, b.v)}; }
inline V128 UnpackLo16(V128 a, V128 b) { return {_mm_unpacklo_epi16(a.v, b.v)}; }
inline V128 UnpackHi16(V128 a, V128 b) { return {_mm_unpackhi_epi16(a.v, b.v)}; }
inline V128 UnpackLo32(V128 a, V128 b) { return {_mm_unpacklo_epi32(a.v, b.v)}; }
inline V128 UnpackHi32(V128 a, V128 b) { return {_mm_unpackhi_epi32(a.v, b.v)}; }
inline V128 UnpackLo64(V128 a, V128 b) { return {_mm_unpacklo_epi64(a.v, b.v)}; }
inline V128 UnpackHi64(V128 a, V128 b) { return {_mm_unpackhi_epi64(a.v, b.v)}; }
inline V128 UnpackLo8(V128 a, V128 b) { return {_mm_unpacklo_epi8(a.v, b.v)}; }
template <int Imm> V128 Shuffle32(V128 a) { return {_mm_shuffle_epi32(a.v, Imm)}; }
template <int Imm> V128 ShuffleLo16(V128 a) { return {_mm_shufflelo_epi16(a.v, Imm)}; }
inline V128 PackSigned32To16(V128 a, V128 b) { return {_mm_packs_epi32(a.v, b.v)}; }
inline V128 PackSigned16To8(V128 a, V128 b) { return {_mm_packs_epi16(a.v, b.v)}; }
inline V128 PackUnsigned16To8(V128 a, V128 b) { return {_mm_packus_epi16(a.v, b.v)}; }
// Bit h set where half h is all zero.
inline unsigned ZeroHalves(V128 a)
{
    return _mm_movemask_epi8(_mm_cmpeq_epi8(a.v, _mm_setzero_si128())) == 0xFFFF ? 1u : 0u;
}
inline V128 Half(V128 a, int) { return a; }

// The 16-bit lanes of a and b alternating, in memory order: lanes 0.. of
// the pair in `first`, the rest in `second`.
struct V128Pair {
    V128 first, second;
};
inline V128Pair Interleave16(V128 a, V128 b) { return {UnpackLo16(a, b), UnpackHi16(a, b)}; }

// Added for the pixel kernels (effects/).
template <int N> V128 ShiftRightLogical16(V128 a) { return {_mm_srli_epi16(a.v, N)}; }
template <int N> V128 ShiftRightLogical32(V128 a) { return {_mm_srli_epi32(a.v, N)}; }
inline V128 MultiplyLow16(V128 a, V128 b) { return {_mm_mullo_epi16(a.v, b.v)}; }
// Each unsigned byte summed, held at 255.
inline V128 AddSaturateU8(V128 a, V128 b) { return {_mm_adds_epu8(a.v, b.v)}; }
inline V128 UnpackHi8(V128 a, V128 b) { return {_mm_unpackhi_epi8(a.v, b.v)}; }
// Each byte of yes where select's is all ones, of no where it is zero.
inline V128 Choose(V128 select, V128 yes, V128 no)
{
    return {_mm_or_si128(_mm_and_si128(select.v, yes.v), _mm_andnot_si128(select.v, no.v))};
}
// All ones in each byte lane that compares so, else zero.
inline V128 Equal8(V128 a, V128 b) { return {_mm_cmpeq_epi8(a.v, b.v)}; }
inline V128 GreaterSigned8(V128 a, V128 b) { return {_mm_cmpgt_epi8(a.v, b.v)}; }
// Bit k set where byte k's top bit is.
inline unsigned TopBits8(V128 a) { return static_cast<unsigned>(_mm_movemask_epi8(a.v)); }
// The sixteen bytes of `bytes` (each all ones or zero) spread over
// 16 / (V::kBytes / 4) registers of 32-bit lanes, in memory order.
inline void WidenByteMasks(V128 bytes, V128 (&lanes)[4])
{
    const __m128i lo = _mm_unpacklo_epi8(bytes.v, bytes.v), hi = _mm_unpackhi_epi8(bytes.v, bytes.v);
    lanes[0] = {_mm_unpacklo_epi16(lo, lo)};
    lanes[1] = {_mm_unpackhi_epi16(lo, lo)};
    lanes[2] = {_mm_unpacklo_epi16(hi, hi)};
    lanes[3] = {_mm_unpackhi_epi16(hi, hi)};
}
// Whether a type loads and stores its 32-bit lanes under a lane mask
// (LanesBelow, MaskedLoad, MaskedStore).
template <class V> constexpr bool kHasMaskedLanes = false;
// All ones in the 32-bit lanes below count, zero in the rest.
template <class V> V LanesBelow(int count);
// The eight bytes of `bytes`, low first, each widened to a 32-bit lane.
template <class V> V WidenBytes32(uint64_t bytes);

#if defined(__x86_64__)

struct V256 {
    __m256i v;
    static constexpr int kBytes = 32;
    static constexpr int kHalves = 2;
    using HalfType = V128;

    ORCHID_AVX2 static V256 Load(const void* p) { return {_mm256_loadu_si256(static_cast<const __m256i*>(p))}; }
    // Two 128-bit halves from two places.
    ORCHID_AVX2 static V256 Load2(const void* lo, const void* hi)
    {
        return {_mm256_loadu2_m128i(static_cast<const __m128i*>(hi), static_cast<const __m128i*>(lo))};
    }
    ORCHID_AVX2 static V256 Zero() { return {_mm256_setzero_si256()}; }
    ORCHID_AVX2 static V256 Splat8(int8_t k) { return {_mm256_set1_epi8(k)}; }
    ORCHID_AVX2 static V256 Splat16(int16_t k) { return {_mm256_set1_epi16(k)}; }
    ORCHID_AVX2 static V256 Splat32(int32_t k) { return {_mm256_set1_epi32(k)}; }
    ORCHID_AVX2 static V256 Set16(int16_t a0, int16_t a1, int16_t a2, int16_t a3, int16_t a4, int16_t a5, int16_t a6,
                                  int16_t a7)
    {
        return {_mm256_setr_epi16(a0, a1, a2, a3, a4, a5, a6, a7, a0, a1, a2, a3, a4, a5, a6, a7)};
    }
    ORCHID_AVX2 static V256 WidenBytes(const uint8_t* p)
    {
        return {_mm256_cvtepu8_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p)))};
    }
};

ORCHID_AVX2 inline void Store(void* p, V256 a) { _mm256_storeu_si256(static_cast<__m256i*>(p), a.v); }

ORCHID_AVX2 inline V256 Or(V256 a, V256 b) { return {_mm256_or_si256(a.v, b.v)}; }
ORCHID_AVX2 inline V256 And(V256 a, V256 b) { return {_mm256_and_si256(a.v, b.v)}; }
ORCHID_AVX2 inline V256 Xor(V256 a, V256 b) { return {_mm256_xor_si256(a.v, b.v)}; }
ORCHID_AVX2 inline V256 Add16(V256 a, V256 b) { return {_mm256_add_epi16(a.v, b.v)}; }
ORCHID_AVX2 inline V256 Sub16(V256 a, V256 b) { return {_mm256_sub_epi16(a.v, b.v)}; }
ORCHID_AVX2 inline V256 Min16(V256 a, V256 b) { return {_mm256_min_epi16(a.v, b.v)}; }
ORCHID_AVX2 inline V256 Max16(V256 a, V256 b) { return {_mm256_max_epi16(a.v, b.v)}; }
ORCHID_AVX2 inline V256 Add32(V256 a, V256 b) { return {_mm256_add_epi32(a.v, b.v)}; }
ORCHID_AVX2 inline V256 Sub32(V256 a, V256 b) { return {_mm256_sub_epi32(a.v, b.v)}; }
template <int N> ORCHID_AVX2 V256 ShiftLeft16(V256 a) { return {_mm256_slli_epi16(a.v, N)}; }
template <int N> ORCHID_AVX2 V256 ShiftRightArith16(V256 a) { return {_mm256_srai_epi16(a.v, N)}; }
template <int N> ORCHID_AVX2 V256 ShiftLeft32(V256 a) { return {_mm256_slli_epi32(a.v, N)}; }
template <int N> ORCHID_AVX2 V256 ShiftRightArith32(V256 a) { return {_mm256_srai_epi32(a.v, N)}; }
template <int N> ORCHID_AVX2 V256 ShiftBytesDown(V256 a) { return {_mm256_srli_si256(a.v, N)}; }
ORCHID_AVX2 inline V256 MultiplyAddPairs(V256 a, V256 b) { return {_mm256_madd_epi16(a.v, b.v)}; }
ORCHID_AVX2 inline V256 UnpackLo16(V256 a, V256 b) { return {_mm256_unpacklo_epi16(a.v, b.v)}; }
ORCHID_AVX2 inline V256 UnpackHi16(V256 a, V256 b) { return {_mm256_unpackhi_epi16(a.v, b.v)}; }
ORCHID_AVX2 inline V256 UnpackLo32(V256 a, V256 b) { return {_mm256_unpacklo_epi32(a.v, b.v)}; }
ORCHID_AVX2 inline V256 UnpackHi32(V256 a, V256 b) { return {_mm256_unpackhi_epi32(a.v, b.v)}; }
ORCHID_AVX2 inline V256 UnpackLo64(V256 a, V256 b) { return {_mm256_unpacklo_epi64(a.v, b.v)}; }
ORCHID_AVX2 inline V256 UnpackHi64(V256 a, V256 b) { return {_mm256_unpackhi_epi64(a.v, b.v)}; }
ORCHID_AVX2 inline V256 UnpackLo8(V256 a, V256 b) { return {_mm256_unpacklo_epi8(a.v, b.v)}; }
template <int Imm> ORCHID_AVX2 V256 Shuffle32(V256 a) { return {_mm256_shuffle_epi32(a.v, Imm)}; }
template <int Imm> ORCHID_AVX2 V256 ShuffleLo16(V256 a) { return {_mm256_shufflelo_epi16(a.v, Imm)}; }
ORCHID_AVX2 inline V256 PackSigned32To16(V256 a, V256 b) { return {_mm256_packs_epi32(a.v, b.v)}; }
ORCHID_AVX2 inline V256 PackSigned16To8(V256 a, V256 b) { return {_mm256_packs_epi16(a.v, b.v)}; }
ORCHID_AVX2 inline V256 PackUnsigned16To8(V256 a, V256 b) { return {_mm256_packus_epi16(a.v, b.v)}; }
ORCHID_AVX2 inline unsigned ZeroHalves(V256 a)
{
    unsigned m = static_cast<unsigned>(_mm256_movemask_epi8(_mm256_cmpeq_epi8(a.v, _mm256_setzero_si256())));
    return ((m & 0xFFFFu) == 0xFFFFu ? 1u : 0u) | (m >> 16 == 0xFFFFu ? 2u : 0u);
}
ORCHID_AVX2 inline V128 Half(V256 a, int h)
{
    return {h == 0 ? _mm256_castsi256_si128(a.v) : _mm256_extracti128_si256(a.v, 1)};
}

struct V256Pair {
    V256 first, second;
};
ORCHID_AVX2 inline V256Pair Interleave16(V256 a, V256 b)
{
    __m256i lo = _mm256_unpacklo_epi16(a.v, b.v);  // lanes 0-3 | 8-11 of the pair
    __m256i hi = _mm256_unpackhi_epi16(a.v, b.v);  // lanes 4-7 | 12-15
    return {{_mm256_permute2x128_si256(lo, hi, 0x20)}, {_mm256_permute2x128_si256(lo, hi, 0x31)}};
}


// Added for the pixel kernels (effects/).
template <int N> ORCHID_AVX2 V256 ShiftRightLogical16(V256 a) { return {_mm256_srli_epi16(a.v, N)}; }
template <int N> ORCHID_AVX2 V256 ShiftRightLogical32(V256 a) { return {_mm256_srli_epi32(a.v, N)}; }
ORCHID_AVX2 inline V256 MultiplyLow16(V256 a, V256 b) { return {_mm256_mullo_epi16(a.v, b.v)}; }
ORCHID_AVX2 inline V256 AddSaturateU8(V256 a, V256 b) { return {_mm256_adds_epu8(a.v, b.v)}; }
ORCHID_AVX2 inline V256 UnpackHi8(V256 a, V256 b) { return {_mm256_unpackhi_epi8(a.v, b.v)}; }
ORCHID_AVX2 inline V256 Choose(V256 select, V256 yes, V256 no) { return {_mm256_blendv_epi8(no.v, yes.v, select.v)}; }
ORCHID_AVX2 inline V256 Greater32(V256 a, V256 b) { return {_mm256_cmpgt_epi32(a.v, b.v)}; }
ORCHID_AVX2 inline void WidenByteMasks(V128 bytes, V256 (&lanes)[2])
{
    lanes[0] = {_mm256_cvtepi8_epi32(bytes.v)};
    lanes[1] = {_mm256_cvtepi8_epi32(_mm_srli_si128(bytes.v, 8))};
}
template <> ORCHID_AVX2 inline V256 WidenBytes32<V256>(uint64_t bytes)
{
    return {_mm256_cvtepu8_epi32(_mm_cvtsi64_si128(static_cast<long long>(bytes)))};
}
template <> inline constexpr bool kHasMaskedLanes<V256> = true;
template <> ORCHID_AVX2 inline V256 LanesBelow<V256>(int count)
{
    return {_mm256_cmpgt_epi32(_mm256_set1_epi32(count), _mm256_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7))};
}
// The 32-bit lanes where live is all ones; the others neither read nor
// written (zero when loaded).
ORCHID_AVX2 inline V256 MaskedLoad(const void* p, V256 live)
{
    return {_mm256_maskload_epi32(static_cast<const int*>(p), live.v)};
}
ORCHID_AVX2 inline void MaskedStore(void* p, V256 live, V256 a) { _mm256_maskstore_epi32(static_cast<int*>(p), live.v, a.v); }

#endif

}  // namespace simd
