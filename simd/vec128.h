// A thin 128-bit integer vector over the SSE2 intrinsics (which emscripten
// maps to WebAssembly's 128-bit SIMD), so that a kernel is written once for
// every vector width: simd/vec256.h has the same operations, with the same
// names, on 256-bit vectors. Lanes are named by their width (8, 16, 32, 64
// bits); an operation named after a lane width treats the vector as lanes of
// that width, signed unless it says otherwise. Unpacks, packs, shuffles and
// byte shifts work within each 128-bit half of a wider vector, as the
// instructions do; the Zip operations interleave across the whole vector.
//
// Everything here has internal linkage: a unit compiled for a higher level
// (-mavx2) gets its own copies, which never stand in for another unit's.
// An operation a level lacks is written per level from what it has
// (CompactTriplets below: SSE2 has no byte shuffle).
#pragma once

#include <emmintrin.h>

#include <cstdint>

namespace simd {
namespace {

struct Vec128 {
    __m128i v;

    static constexpr int kBytes = 16;

    static Vec128 Zero() { return {_mm_setzero_si128()}; }
    static Vec128 Splat8(int8_t x) { return {_mm_set1_epi8(x)}; }
    static Vec128 Splat16(int16_t x) { return {_mm_set1_epi16(x)}; }
    static Vec128 Splat32(int32_t x) { return {_mm_set1_epi32(x)}; }
    // The eight 16-bit lanes, lane 0 first (in each 128-bit half of wider
    // vectors).
    static Vec128 Lanes16(int16_t e0, int16_t e1, int16_t e2, int16_t e3, int16_t e4, int16_t e5, int16_t e6,
                          int16_t e7)
    {
        return {_mm_setr_epi16(e0, e1, e2, e3, e4, e5, e6, e7)};
    }
    static Vec128 Lanes32(int32_t e0, int32_t e1, int32_t e2, int32_t e3) { return {_mm_setr_epi32(e0, e1, e2, e3)}; }
    static Vec128 Load(const void* p) { return {_mm_loadu_si128(static_cast<const __m128i*>(p))}; }
    // 8 bytes into the low half, the high half zero.
    static Vec128 LoadLow64(const void* p) { return {_mm_loadl_epi64(static_cast<const __m128i*>(p))}; }
    // One byte per 16-bit lane, zero-extended.
    static Vec128 LoadBytesAs16(const uint8_t* p)
    {
        return {_mm_unpacklo_epi8(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(p)), _mm_setzero_si128())};
    }
};

inline void Store(void* p, Vec128 a) { _mm_storeu_si128(static_cast<__m128i*>(p), a.v); }
// The low 8 bytes.
inline void StoreLow64(void* p, Vec128 a) { _mm_storel_epi64(static_cast<__m128i*>(p), a.v); }

inline Vec128 And(Vec128 a, Vec128 b) { return {_mm_and_si128(a.v, b.v)}; }
inline Vec128 Or(Vec128 a, Vec128 b) { return {_mm_or_si128(a.v, b.v)}; }
inline Vec128 Xor(Vec128 a, Vec128 b) { return {_mm_xor_si128(a.v, b.v)}; }
// a & ~b.
inline Vec128 AndNot(Vec128 a, Vec128 b) { return {_mm_andnot_si128(b.v, a.v)}; }
// Per bit: yes where mask is set, else no (mask lanes all ones or zeros).
inline Vec128 Select(Vec128 mask, Vec128 yes, Vec128 no)
{
    return {_mm_or_si128(_mm_and_si128(mask.v, yes.v), _mm_andnot_si128(mask.v, no.v))};
}

inline Vec128 Add8(Vec128 a, Vec128 b) { return {_mm_add_epi8(a.v, b.v)}; }
inline Vec128 AddSaturateU8(Vec128 a, Vec128 b) { return {_mm_adds_epu8(a.v, b.v)}; }
inline Vec128 Add16(Vec128 a, Vec128 b) { return {_mm_add_epi16(a.v, b.v)}; }
inline Vec128 Sub16(Vec128 a, Vec128 b) { return {_mm_sub_epi16(a.v, b.v)}; }
inline Vec128 Add32(Vec128 a, Vec128 b) { return {_mm_add_epi32(a.v, b.v)}; }
inline Vec128 Sub32(Vec128 a, Vec128 b) { return {_mm_sub_epi32(a.v, b.v)}; }
inline Vec128 Min16(Vec128 a, Vec128 b) { return {_mm_min_epi16(a.v, b.v)}; }
inline Vec128 Max16(Vec128 a, Vec128 b) { return {_mm_max_epi16(a.v, b.v)}; }
// The low 16 bits of each 16-bit product.
inline Vec128 MulLow16(Vec128 a, Vec128 b) { return {_mm_mullo_epi16(a.v, b.v)}; }
// Per 32-bit lane: a's two 16-bit lanes times b's, the products summed.
inline Vec128 MulAdd16(Vec128 a, Vec128 b) { return {_mm_madd_epi16(a.v, b.v)}; }

template <int n> Vec128 ShiftLeft16(Vec128 a) { return {_mm_slli_epi16(a.v, n)}; }
template <int n> Vec128 ShiftRightU16(Vec128 a) { return {_mm_srli_epi16(a.v, n)}; }
template <int n> Vec128 ShiftRight16(Vec128 a) { return {_mm_srai_epi16(a.v, n)}; }
template <int n> Vec128 ShiftLeft32(Vec128 a) { return {_mm_slli_epi32(a.v, n)}; }
template <int n> Vec128 ShiftRightU32(Vec128 a) { return {_mm_srli_epi32(a.v, n)}; }
template <int n> Vec128 ShiftRight32(Vec128 a) { return {_mm_srai_epi32(a.v, n)}; }
template <int n> Vec128 ShiftRightU64(Vec128 a) { return {_mm_srli_epi64(a.v, n)}; }
// The whole 128 bits shifted by n bytes, zeros shifted in.
template <int n> Vec128 ByteShiftLeft(Vec128 a) { return {_mm_slli_si128(a.v, n)}; }
template <int n> Vec128 ByteShiftRight(Vec128 a) { return {_mm_srli_si128(a.v, n)}; }

// All ones in each lane where a == b (or a > b, signed), else zeros.
inline Vec128 Equal8(Vec128 a, Vec128 b) { return {_mm_cmpeq_epi8(a.v, b.v)}; }
inline Vec128 Greater8(Vec128 a, Vec128 b) { return {_mm_cmpgt_epi8(a.v, b.v)}; }
inline Vec128 Equal32(Vec128 a, Vec128 b) { return {_mm_cmpeq_epi32(a.v, b.v)}; }
inline Vec128 Greater32(Vec128 a, Vec128 b) { return {_mm_cmpgt_epi32(a.v, b.v)}; }
inline bool AllZero(Vec128 a)
{
#if defined(__SSE4_1__)
    return _mm_testz_si128(a.v, a.v) != 0;
#else
    return _mm_movemask_epi8(_mm_cmpeq_epi8(a.v, _mm_setzero_si128())) == 0xFFFF;
#endif
}

// a's lanes then b's, each narrowed to half its width with saturation:
// signed 32 to 16, signed 16 to 8, signed 16 to unsigned 8.
inline Vec128 PackS32(Vec128 a, Vec128 b) { return {_mm_packs_epi32(a.v, b.v)}; }
inline Vec128 PackS16(Vec128 a, Vec128 b) { return {_mm_packs_epi16(a.v, b.v)}; }
inline Vec128 PackU16(Vec128 a, Vec128 b) { return {_mm_packus_epi16(a.v, b.v)}; }

// The low (Lo) or high (Hi) halves of a and b, lane by lane interleaved:
// a0 b0 a1 b1 ...
inline Vec128 UnpackLo8(Vec128 a, Vec128 b) { return {_mm_unpacklo_epi8(a.v, b.v)}; }
inline Vec128 UnpackHi8(Vec128 a, Vec128 b) { return {_mm_unpackhi_epi8(a.v, b.v)}; }
inline Vec128 UnpackLo16(Vec128 a, Vec128 b) { return {_mm_unpacklo_epi16(a.v, b.v)}; }
inline Vec128 UnpackHi16(Vec128 a, Vec128 b) { return {_mm_unpackhi_epi16(a.v, b.v)}; }
inline Vec128 UnpackLo32(Vec128 a, Vec128 b) { return {_mm_unpacklo_epi32(a.v, b.v)}; }
inline Vec128 UnpackHi32(Vec128 a, Vec128 b) { return {_mm_unpackhi_epi32(a.v, b.v)}; }
inline Vec128 UnpackLo64(Vec128 a, Vec128 b) { return {_mm_unpacklo_epi64(a.v, b.v)}; }
inline Vec128 UnpackHi64(Vec128 a, Vec128 b) { return {_mm_unpackhi_epi64(a.v, b.v)}; }
// The interleave of the whole vectors' lower (Lo) or upper (Hi) halves;
// at 128 bits, the unpacks.
inline Vec128 ZipLo16(Vec128 a, Vec128 b) { return UnpackLo16(a, b); }
inline Vec128 ZipHi16(Vec128 a, Vec128 b) { return UnpackHi16(a, b); }
// Stores UnpackLo(a, b) and UnpackHi(a, b) of the same a and b so that
// memory holds the whole interleave in order.
inline void StoreUnpacked(void* p, Vec128 lo, Vec128 hi)
{
    Store(p, lo);
    Store(static_cast<uint8_t*>(p) + 16, hi);
}

// Lane i of the result is lane (imm >> 2i) & 3 of a (32-bit lanes), or of
// its four low 16-bit lanes (ShuffleLo16, the high four kept).
template <int imm> Vec128 Shuffle32(Vec128 a) { return {_mm_shuffle_epi32(a.v, imm)}; }
template <int imm> Vec128 ShuffleLo16(Vec128 a) { return {_mm_shufflelo_epi16(a.v, imm)}; }

// The three low bytes of each 32-bit lane, packed together in the low 12
// bytes; the top 4 bytes are not defined. Without a byte shuffle: each
// lane's fourth byte dropped, in each 64-bit half the second lane's three
// bytes moved down next to the first's, then the upper half's six next to
// the lower's.
inline Vec128 CompactTriplets(Vec128 a)
{
    const __m128i first = _mm_set_epi32(0, 0x00FFFFFF, 0, 0x00FFFFFF);
    const __m128i second = _mm_set_epi32(0x00FFFFFF, 0, 0x00FFFFFF, 0);
    const __m128i lower_half = _mm_set_epi32(0, 0, -1, -1);
    __m128i sixes = _mm_or_si128(_mm_and_si128(a.v, first), _mm_srli_epi64(_mm_and_si128(a.v, second), 8));
    return {_mm_or_si128(_mm_and_si128(sixes, lower_half), _mm_slli_si128(_mm_srli_si128(sixes, 8), 6))};
}

}  // namespace
}  // namespace simd
