// The 256-bit vector of simd/vec128.h: the same operations with the same
// names, over the AVX2 intrinsics, for units compiled with -mavx2 (whose
// functions run only after the run-time CPU check). Unpacks, packs,
// shuffles and byte shifts work within each 128-bit half, as the
// instructions do: a kernel written for Vec128 runs on two independent
// halves at once, and the Zip operations cross between them.
#pragma once

#if !defined(__AVX2__)
#error "simd/vec256.h is for units compiled with -mavx2"
#endif

#include <immintrin.h>

#include <cstdint>

#include "simd/vec128.h"

namespace simd {
namespace {

struct Vec256 {
    __m256i v;

    static constexpr int kBytes = 32;

    static Vec256 Zero() { return {_mm256_setzero_si256()}; }
    static Vec256 Splat8(int8_t x) { return {_mm256_set1_epi8(x)}; }
    static Vec256 Splat16(int16_t x) { return {_mm256_set1_epi16(x)}; }
    static Vec256 Splat32(int32_t x) { return {_mm256_set1_epi32(x)}; }
    // The eight 16-bit lanes of each 128-bit half, lane 0 first.
    static Vec256 Lanes16(int16_t e0, int16_t e1, int16_t e2, int16_t e3, int16_t e4, int16_t e5, int16_t e6,
                          int16_t e7)
    {
        return {_mm256_setr_epi16(e0, e1, e2, e3, e4, e5, e6, e7, e0, e1, e2, e3, e4, e5, e6, e7)};
    }
    static Vec256 Lanes32(int32_t e0, int32_t e1, int32_t e2, int32_t e3, int32_t e4, int32_t e5, int32_t e6,
                          int32_t e7)
    {
        return {_mm256_setr_epi32(e0, e1, e2, e3, e4, e5, e6, e7)};
    }
    static Vec256 Load(const void* p) { return {_mm256_loadu_si256(static_cast<const __m256i*>(p))}; }
    // The low half from lo, the high half from hi.
    static Vec256 LoadHalves(const void* lo, const void* hi)
    {
        return {_mm256_loadu2_m128i(static_cast<const __m128i*>(hi), static_cast<const __m128i*>(lo))};
    }
    static Vec256 FromHalves(Vec128 lo, Vec128 hi) { return {_mm256_set_m128i(hi.v, lo.v)}; }
    // One byte per 16-bit lane, zero-extended.
    static Vec256 LoadBytesAs16(const uint8_t* p)
    {
        return {_mm256_cvtepu8_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p)))};
    }
};

inline void Store(void* p, Vec256 a) { _mm256_storeu_si256(static_cast<__m256i*>(p), a.v); }
inline Vec128 Lower(Vec256 a) { return {_mm256_castsi256_si128(a.v)}; }
inline Vec128 Upper(Vec256 a) { return {_mm256_extracti128_si256(a.v, 1)}; }

inline Vec256 And(Vec256 a, Vec256 b) { return {_mm256_and_si256(a.v, b.v)}; }
inline Vec256 Or(Vec256 a, Vec256 b) { return {_mm256_or_si256(a.v, b.v)}; }
inline Vec256 Xor(Vec256 a, Vec256 b) { return {_mm256_xor_si256(a.v, b.v)}; }
inline Vec256 AndNot(Vec256 a, Vec256 b) { return {_mm256_andnot_si256(b.v, a.v)}; }
// Per bit: yes where mask is set, else no (mask lanes all ones or zeros).
inline Vec256 Select(Vec256 mask, Vec256 yes, Vec256 no) { return {_mm256_blendv_epi8(no.v, yes.v, mask.v)}; }

inline Vec256 Add8(Vec256 a, Vec256 b) { return {_mm256_add_epi8(a.v, b.v)}; }
inline Vec256 AddSaturateU8(Vec256 a, Vec256 b) { return {_mm256_adds_epu8(a.v, b.v)}; }
inline Vec256 Add16(Vec256 a, Vec256 b) { return {_mm256_add_epi16(a.v, b.v)}; }
inline Vec256 Sub16(Vec256 a, Vec256 b) { return {_mm256_sub_epi16(a.v, b.v)}; }
inline Vec256 Add32(Vec256 a, Vec256 b) { return {_mm256_add_epi32(a.v, b.v)}; }
inline Vec256 Sub32(Vec256 a, Vec256 b) { return {_mm256_sub_epi32(a.v, b.v)}; }
inline Vec256 Min16(Vec256 a, Vec256 b) { return {_mm256_min_epi16(a.v, b.v)}; }
inline Vec256 Max16(Vec256 a, Vec256 b) { return {_mm256_max_epi16(a.v, b.v)}; }
inline Vec256 MulLow16(Vec256 a, Vec256 b) { return {_mm256_mullo_epi16(a.v, b.v)}; }
inline Vec256 MulAdd16(Vec256 a, Vec256 b) { return {_mm256_madd_epi16(a.v, b.v)}; }

template <int n> Vec256 ShiftLeft16(Vec256 a) { return {_mm256_slli_epi16(a.v, n)}; }
template <int n> Vec256 ShiftRightU16(Vec256 a) { return {_mm256_srli_epi16(a.v, n)}; }
template <int n> Vec256 ShiftRight16(Vec256 a) { return {_mm256_srai_epi16(a.v, n)}; }
template <int n> Vec256 ShiftLeft32(Vec256 a) { return {_mm256_slli_epi32(a.v, n)}; }
template <int n> Vec256 ShiftRightU32(Vec256 a) { return {_mm256_srli_epi32(a.v, n)}; }
template <int n> Vec256 ShiftRight32(Vec256 a) { return {_mm256_srai_epi32(a.v, n)}; }
template <int n> Vec256 ShiftRightU64(Vec256 a) { return {_mm256_srli_epi64(a.v, n)}; }
// Each 128-bit half shifted by n bytes, zeros shifted in.
template <int n> Vec256 ByteShiftLeft(Vec256 a) { return {_mm256_slli_si256(a.v, n)}; }
template <int n> Vec256 ByteShiftRight(Vec256 a) { return {_mm256_srli_si256(a.v, n)}; }

inline Vec256 Equal8(Vec256 a, Vec256 b) { return {_mm256_cmpeq_epi8(a.v, b.v)}; }
inline Vec256 Greater8(Vec256 a, Vec256 b) { return {_mm256_cmpgt_epi8(a.v, b.v)}; }
inline Vec256 Equal32(Vec256 a, Vec256 b) { return {_mm256_cmpeq_epi32(a.v, b.v)}; }
inline Vec256 Greater32(Vec256 a, Vec256 b) { return {_mm256_cmpgt_epi32(a.v, b.v)}; }
inline bool AllZero(Vec256 a) { return _mm256_testz_si256(a.v, a.v) != 0; }

inline Vec256 PackS32(Vec256 a, Vec256 b) { return {_mm256_packs_epi32(a.v, b.v)}; }
inline Vec256 PackS16(Vec256 a, Vec256 b) { return {_mm256_packs_epi16(a.v, b.v)}; }
inline Vec256 PackU16(Vec256 a, Vec256 b) { return {_mm256_packus_epi16(a.v, b.v)}; }
// The eight 32-bit lanes narrowed to 16 bits with saturation, in order.
inline Vec128 PackS32(Vec256 a) { return PackS32(Lower(a), Upper(a)); }

inline Vec256 UnpackLo8(Vec256 a, Vec256 b) { return {_mm256_unpacklo_epi8(a.v, b.v)}; }
inline Vec256 UnpackHi8(Vec256 a, Vec256 b) { return {_mm256_unpackhi_epi8(a.v, b.v)}; }
inline Vec256 UnpackLo16(Vec256 a, Vec256 b) { return {_mm256_unpacklo_epi16(a.v, b.v)}; }
inline Vec256 UnpackHi16(Vec256 a, Vec256 b) { return {_mm256_unpackhi_epi16(a.v, b.v)}; }
inline Vec256 UnpackLo32(Vec256 a, Vec256 b) { return {_mm256_unpacklo_epi32(a.v, b.v)}; }
inline Vec256 UnpackHi32(Vec256 a, Vec256 b) { return {_mm256_unpackhi_epi32(a.v, b.v)}; }
inline Vec256 UnpackLo64(Vec256 a, Vec256 b) { return {_mm256_unpacklo_epi64(a.v, b.v)}; }
inline Vec256 UnpackHi64(Vec256 a, Vec256 b) { return {_mm256_unpackhi_epi64(a.v, b.v)}; }
// The interleave of the whole vectors' lower or upper halves: their 64-bit
// quarters spread to each 128-bit half first.
inline Vec256 ZipLo16(Vec256 a, Vec256 b)
{
    return {_mm256_unpacklo_epi16(_mm256_permute4x64_epi64(a.v, 0x50), _mm256_permute4x64_epi64(b.v, 0x50))};
}
inline Vec256 ZipHi16(Vec256 a, Vec256 b)
{
    return {_mm256_unpacklo_epi16(_mm256_permute4x64_epi64(a.v, 0xFA), _mm256_permute4x64_epi64(b.v, 0xFA))};
}
// UnpackLo(a, b) holds the interleave's quarters 0 and 2, UnpackHi(a, b)
// 1 and 3: stored in order.
inline void StoreUnpacked(void* p, Vec256 lo, Vec256 hi)
{
    Store(p, Vec256{_mm256_permute2x128_si256(lo.v, hi.v, 0x20)});
    Store(static_cast<uint8_t*>(p) + 32, Vec256{_mm256_permute2x128_si256(lo.v, hi.v, 0x31)});
}

template <int imm> Vec256 Shuffle32(Vec256 a) { return {_mm256_shuffle_epi32(a.v, imm)}; }
template <int imm> Vec256 ShuffleLo16(Vec256 a) { return {_mm256_shufflelo_epi16(a.v, imm)}; }
// Byte i of each 128-bit half: the byte of that half table's byte i
// names, or zero where its top bit is set.
inline Vec256 Shuffle8(Vec256 a, Vec256 table) { return {_mm256_shuffle_epi8(a.v, table.v)}; }
// 32-bit lane i of the result: lane index[i] & 7 of a, across the halves.
inline Vec256 Permute32(Vec256 a, Vec256 index) { return {_mm256_permutevar8x32_epi32(a.v, index.v)}; }

// The three low bytes of each 32-bit lane, packed together in the low 24
// bytes; the top 8 are not defined.
inline Vec256 CompactTriplets(Vec256 a)
{
    const Vec256 pack = {_mm256_setr_epi8(0, 1, 2, 4, 5, 6, 8, 9, 10, 12, 13, 14, -1, -1, -1, -1,  //
                                          0, 1, 2, 4, 5, 6, 8, 9, 10, 12, 13, 14, -1, -1, -1, -1)};
    return Permute32(Shuffle8(a, pack), Vec256::Lanes32(0, 1, 2, 4, 5, 6, 7, 7));
}

}  // namespace
}  // namespace simd
