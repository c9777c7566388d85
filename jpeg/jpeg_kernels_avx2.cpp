// AVX2 forms of the pixel kernels, compiled for AVX2 function by function
// and called only after a run-time check of the CPU. The arithmetic is that
// of the SSE2 forms (see there) on wider vectors: the passes over a dense
// block take 8 lanes of 32 bits in one vector, and the transform of two
// blocks puts them side by side, one in each 128-bit half. A block on its
// own takes the SSE2 form unless it is dense, and so do two blocks that
// each have only column 0 or only row 0 nonzero: the SSE2 form's ways for
// these need little arithmetic in the first place.
#include <immintrin.h>

#include "jpeg/jpeg_kernels.h"

#define ORCHID_AVX2 __attribute__((target("avx2")))

namespace jpeg_kernels {

namespace {

// a * ka + b * kb for 8 lanes of 16-bit a and b, as 8 lanes of 32 bits.
ORCHID_AVX2 inline __m256i Madd(__m128i a, __m128i b, int16_t ka, int16_t kb)
{
    __m256i pairs = _mm256_set_m128i(_mm_unpackhi_epi16(a, b), _mm_unpacklo_epi16(a, b));
    return _mm256_madd_epi16(pairs, _mm256_set_epi16(kb, ka, kb, ka, kb, ka, kb, ka, kb, ka, kb, ka, kb, ka, kb, ka));
}

ORCHID_AVX2 inline void Transpose(__m128i r[8])
{
    __m128i a0 = _mm_unpacklo_epi16(r[0], r[1]), a1 = _mm_unpackhi_epi16(r[0], r[1]);
    __m128i a2 = _mm_unpacklo_epi16(r[2], r[3]), a3 = _mm_unpackhi_epi16(r[2], r[3]);
    __m128i a4 = _mm_unpacklo_epi16(r[4], r[5]), a5 = _mm_unpackhi_epi16(r[4], r[5]);
    __m128i a6 = _mm_unpacklo_epi16(r[6], r[7]), a7 = _mm_unpackhi_epi16(r[6], r[7]);
    __m128i b0 = _mm_unpacklo_epi32(a0, a2), b1 = _mm_unpackhi_epi32(a0, a2);
    __m128i b2 = _mm_unpacklo_epi32(a1, a3), b3 = _mm_unpackhi_epi32(a1, a3);
    __m128i b4 = _mm_unpacklo_epi32(a4, a6), b5 = _mm_unpackhi_epi32(a4, a6);
    __m128i b6 = _mm_unpacklo_epi32(a5, a7), b7 = _mm_unpackhi_epi32(a5, a7);
    r[0] = _mm_unpacklo_epi64(b0, b4);
    r[1] = _mm_unpackhi_epi64(b0, b4);
    r[2] = _mm_unpacklo_epi64(b1, b5);
    r[3] = _mm_unpackhi_epi64(b1, b5);
    r[4] = _mm_unpacklo_epi64(b2, b6);
    r[5] = _mm_unpackhi_epi64(b2, b6);
    r[6] = _mm_unpacklo_epi64(b3, b7);
    r[7] = _mm_unpackhi_epi64(b3, b7);
}

// One 8-point pass over 8 lanes, each output plus `bias`.
ORCHID_AVX2 inline void Pass(const __m128i c[8], __m256i x[8], int32_t bias)
{
    const __m256i b = _mm256_set1_epi32(bias);
    __m256i t2 = Madd(c[2], c[6], kFix_0_541196100, kT2C6);
    __m256i t3 = Madd(c[2], c[6], kT3C2, kFix_0_541196100);
    __m256i t0 = _mm256_add_epi32(Madd(c[0], c[4], kFix_1_0, kFix_1_0), b);
    __m256i t1 = _mm256_add_epi32(Madd(c[0], c[4], kFix_1_0, -kFix_1_0), b);
    __m256i t10 = _mm256_add_epi32(t0, t3), t13 = _mm256_sub_epi32(t0, t3);
    __m256i t11 = _mm256_add_epi32(t1, t2), t12 = _mm256_sub_epi32(t1, t2);

    __m256i u0 = _mm256_add_epi32(Madd(c[1], c[3], kU0C1, kU0C3), Madd(c[5], c[7], kU0C5, kU0C7));
    __m256i u1 = _mm256_add_epi32(Madd(c[1], c[3], kU1C1, kU1C3), Madd(c[5], c[7], kU1C5, kU1C7));
    __m256i u2 = _mm256_add_epi32(Madd(c[1], c[3], kU2C1, kU2C3), Madd(c[5], c[7], kU2C5, kU2C7));
    __m256i u3 = _mm256_add_epi32(Madd(c[1], c[3], kU3C1, kU3C3), Madd(c[5], c[7], kU3C5, kU3C7));

    x[0] = _mm256_add_epi32(t10, u3);
    x[7] = _mm256_sub_epi32(t10, u3);
    x[1] = _mm256_add_epi32(t11, u2);
    x[6] = _mm256_sub_epi32(t11, u2);
    x[2] = _mm256_add_epi32(t12, u1);
    x[5] = _mm256_sub_epi32(t12, u1);
    x[3] = _mm256_add_epi32(t13, u0);
    x[4] = _mm256_sub_epi32(t13, u0);
}

// 8 lanes of 32 bits back to 8 lanes of 16 bits, in order (values fit).
ORCHID_AVX2 inline __m128i Narrow(__m256i v)
{
    return _mm_packs_epi32(_mm256_castsi256_si128(v), _mm256_extracti128_si256(v, 1));
}

// x >> 11 kept to 16 bits (x carries the rounding), as in the SSE2 form.
ORCHID_AVX2 inline __m128i Narrow1(__m256i x)
{
    return Narrow(_mm256_srai_epi32(_mm256_slli_epi32(x, 16 - kIdctPass1Shift), 16));
}

// The samples of two lines of pass-2 outputs, a's in bytes 0-7 and b's in
// 8-15, made as in the SSE2 form.
ORCHID_AVX2 inline __m128i Samples(__m256i a, __m256i b)
{
    __m128i la = Narrow(_mm256_srai_epi32(a, kIdctPass2Shift));
    __m128i lb = Narrow(_mm256_srai_epi32(b, kIdctPass2Shift));
    return _mm_xor_si128(_mm_packs_epi16(la, lb), _mm_set1_epi8(static_cast<char>(0x80)));
}

// The transform of a block with nonzero coefficients in rows 4-7 and
// beyond column 0.
ORCHID_AVX2 inline void IdctDense(const int16_t* coef, uint8_t* out, int stride)
{
    __m128i v[8];
    __m256i x[8];
    for (int i = 0; i < 8; ++i) v[i] = _mm_loadu_si128(reinterpret_cast<const __m128i*>(coef + 8 * i));
    Transpose(v);
    Pass(v, x, kIdctPass1Round);
    for (int i = 0; i < 8; ++i) v[i] = Narrow1(x[i]);
    Transpose(v);
    Pass(v, x, kIdctPass2Round);
    for (int r = 0; r < 8; r += 2) {
        __m128i rows = Samples(x[r], x[r + 1]);
        _mm_storel_epi64(reinterpret_cast<__m128i*>(out + r * stride), rows);
        _mm_storel_epi64(reinterpret_cast<__m128i*>(out + (r + 1) * stride), _mm_srli_si128(rows, 8));
    }
}

}  // namespace

ORCHID_AVX2 void IdctAvx2(const int16_t* coef, uint8_t* out, int stride)
{
    __m128i rows4to7 = _mm_setzero_si128(), all = _mm_setzero_si128();
    for (int i = 0; i < 8; ++i) {
        __m128i row = _mm_loadu_si128(reinterpret_cast<const __m128i*>(coef + 8 * i));
        if (i >= 4) rows4to7 = _mm_or_si128(rows4to7, row);
        all = _mm_or_si128(all, row);
    }
    const __m128i columns1to7 = _mm_set_epi16(-1, -1, -1, -1, -1, -1, -1, 0);
    if (_mm_testz_si128(rows4to7, rows4to7) || _mm_testz_si128(all, columns1to7)) {
        IdctSse2(coef, out, stride);
    } else {
        IdctDense(coef, out, stride);
    }
}

namespace {

// Two blocks side by side: in each 256-bit vector, block a in the low
// 128-bit half and block b in the high one. Unpacks, shuffles,
// multiply-adds and packs work within the halves, so this is the SSE2
// form's arithmetic on both blocks at once.
struct I32x16 {
    __m256i lo, hi;  // per half: lanes 0-3 and 4-7 of the 16-bit vector
};

ORCHID_AVX2 inline I32x16 Add(I32x16 a, I32x16 b)
{
    return {_mm256_add_epi32(a.lo, b.lo), _mm256_add_epi32(a.hi, b.hi)};
}

ORCHID_AVX2 inline I32x16 Sub(I32x16 a, I32x16 b)
{
    return {_mm256_sub_epi32(a.lo, b.lo), _mm256_sub_epi32(a.hi, b.hi)};
}

ORCHID_AVX2 inline I32x16 MaddPair(__m256i a, __m256i b, int16_t ka, int16_t kb)
{
    const __m256i k = _mm256_set1_epi32(static_cast<int32_t>((static_cast<uint32_t>(static_cast<uint16_t>(kb)) << 16) |
                                                             static_cast<uint16_t>(ka)));
    return {_mm256_madd_epi16(_mm256_unpacklo_epi16(a, b), k), _mm256_madd_epi16(_mm256_unpackhi_epi16(a, b), k)};
}

ORCHID_AVX2 inline void TransposePair(__m256i r[8])
{
    __m256i a0 = _mm256_unpacklo_epi16(r[0], r[1]), a1 = _mm256_unpackhi_epi16(r[0], r[1]);
    __m256i a2 = _mm256_unpacklo_epi16(r[2], r[3]), a3 = _mm256_unpackhi_epi16(r[2], r[3]);
    __m256i a4 = _mm256_unpacklo_epi16(r[4], r[5]), a5 = _mm256_unpackhi_epi16(r[4], r[5]);
    __m256i a6 = _mm256_unpacklo_epi16(r[6], r[7]), a7 = _mm256_unpackhi_epi16(r[6], r[7]);
    __m256i b0 = _mm256_unpacklo_epi32(a0, a2), b1 = _mm256_unpackhi_epi32(a0, a2);
    __m256i b2 = _mm256_unpacklo_epi32(a1, a3), b3 = _mm256_unpackhi_epi32(a1, a3);
    __m256i b4 = _mm256_unpacklo_epi32(a4, a6), b5 = _mm256_unpackhi_epi32(a4, a6);
    __m256i b6 = _mm256_unpacklo_epi32(a5, a7), b7 = _mm256_unpackhi_epi32(a5, a7);
    r[0] = _mm256_unpacklo_epi64(b0, b4);
    r[1] = _mm256_unpackhi_epi64(b0, b4);
    r[2] = _mm256_unpacklo_epi64(b1, b5);
    r[3] = _mm256_unpackhi_epi64(b1, b5);
    r[4] = _mm256_unpacklo_epi64(b2, b6);
    r[5] = _mm256_unpackhi_epi64(b2, b6);
    r[6] = _mm256_unpacklo_epi64(b3, b7);
    r[7] = _mm256_unpackhi_epi64(b3, b7);
}

// The last steps of a pass: the even part's four terms and the odd part's
// four sums combined into the eight outputs.
ORCHID_AVX2 inline void Combine(I32x16 t0, I32x16 t1, I32x16 t2, I32x16 t3, I32x16 u0, I32x16 u1, I32x16 u2,
                                I32x16 u3, I32x16 x[8])
{
    I32x16 t10 = Add(t0, t3), t13 = Sub(t0, t3), t11 = Add(t1, t2), t12 = Sub(t1, t2);
    x[0] = Add(t10, u3);
    x[7] = Sub(t10, u3);
    x[1] = Add(t11, u2);
    x[6] = Sub(t11, u2);
    x[2] = Add(t12, u1);
    x[5] = Sub(t12, u1);
    x[3] = Add(t13, u0);
    x[4] = Sub(t13, u0);
}

ORCHID_AVX2 inline void PassPair(const __m256i c[8], I32x16 x[8], int32_t bias)
{
    const __m256i b = _mm256_set1_epi32(bias);
    I32x16 t2 = MaddPair(c[2], c[6], kFix_0_541196100, kT2C6);
    I32x16 t3 = MaddPair(c[2], c[6], kT3C2, kFix_0_541196100);
    I32x16 t0 = Add(MaddPair(c[0], c[4], kFix_1_0, kFix_1_0), {b, b});
    I32x16 t1 = Add(MaddPair(c[0], c[4], kFix_1_0, -kFix_1_0), {b, b});
    I32x16 u0 = Add(MaddPair(c[1], c[3], kU0C1, kU0C3), MaddPair(c[5], c[7], kU0C5, kU0C7));
    I32x16 u1 = Add(MaddPair(c[1], c[3], kU1C1, kU1C3), MaddPair(c[5], c[7], kU1C5, kU1C7));
    I32x16 u2 = Add(MaddPair(c[1], c[3], kU2C1, kU2C3), MaddPair(c[5], c[7], kU2C5, kU2C7));
    I32x16 u3 = Add(MaddPair(c[1], c[3], kU3C1, kU3C3), MaddPair(c[5], c[7], kU3C5, kU3C7));

    Combine(t0, t1, t2, t3, u0, u1, u2, u3, x);
}

// The second pass of two blocks whose intermediate rows 4-7 are zero, as
// in the SSE2 form.
ORCHID_AVX2 inline void Pass2Inputs0To3Pair(const __m256i c[4], I32x16 x[8])
{
    const __m256i round = _mm256_set1_epi16(kIdctPass2Round / kFix_1_0);
    const __m256i zero = _mm256_setzero_si256();
    I32x16 t2 = MaddPair(c[2], zero, kFix_0_541196100, 0);
    I32x16 t3 = MaddPair(c[2], zero, kT3C2, 0);
    I32x16 t0 = MaddPair(c[0], round, kFix_1_0, kFix_1_0);  // t1 too
    I32x16 u0 = MaddPair(c[1], c[3], kU0C1, kU0C3);
    I32x16 u1 = MaddPair(c[1], c[3], kU1C1, kU1C3);
    I32x16 u2 = MaddPair(c[1], c[3], kU2C1, kU2C3);
    I32x16 u3 = MaddPair(c[1], c[3], kU3C1, kU3C3);

    Combine(t0, t0, t2, t3, u0, u1, u2, u3, x);
}

// Four pairs of 16-bit multipliers, pair k in 32-bit lane k of each half.
ORCHID_AVX2 inline __m256i Pairs(int16_t a0, int16_t b0, int16_t a1, int16_t b1, int16_t a2, int16_t b2, int16_t a3,
                                 int16_t b3)
{
    return _mm256_set_epi16(b3, a3, b2, a2, b1, a1, b0, a0, b3, a3, b2, a2, b1, a1, b0, a0);
}

// Outputs k (lo) and 7 - k (hi, reversed back into order) of one row of
// each block, from its even part e and odd part o.
ORCHID_AVX2 inline I32x16 Outputs(__m256i e, __m256i o)
{
    return {_mm256_add_epi32(e, o), _mm256_shuffle_epi32(_mm256_sub_epi32(e, o), _MM_SHUFFLE(0, 1, 2, 3))};
}

// The row pass of one row of each block, plus its rounding, row by row as
// in the SSE2 form.
ORCHID_AVX2 inline I32x16 RowPassPair(__m256i row)
{
    const int16_t k1 = kFix_1_0, k2 = kFix_0_541196100;
    __m256i pairs = _mm256_unpacklo_epi16(row, _mm256_srli_si256(row, 8));  // (0,4) (1,5) (2,6) (3,7)
    __m256i e = _mm256_add_epi32(
        _mm256_madd_epi16(_mm256_shuffle_epi32(pairs, 0x00), Pairs(k1, k1, k1, -k1, k1, -k1, k1, k1)),
        _mm256_madd_epi16(_mm256_shuffle_epi32(pairs, 0xAA), Pairs(kT3C2, k2, k2, kT2C6, -k2, -kT2C6, -kT3C2, -k2)));
    __m256i o = _mm256_add_epi32(
        _mm256_madd_epi16(_mm256_shuffle_epi32(pairs, 0x55),
                          Pairs(kU3C1, kU3C5, kU2C1, kU2C5, kU1C1, kU1C5, kU0C1, kU0C5)),
        _mm256_madd_epi16(_mm256_shuffle_epi32(pairs, 0xFF),
                          Pairs(kU3C3, kU3C7, kU2C3, kU2C7, kU1C3, kU1C7, kU0C3, kU0C7)));
    return Outputs(_mm256_add_epi32(e, _mm256_set1_epi32(kIdctPass1Round)), o);
}

// RowPassPair of rows whose coefficients 4-7 are zero.
ORCHID_AVX2 inline I32x16 RowPass4Pair(__m256i row)
{
    const int16_t k1 = kFix_1_0, k2 = kFix_0_541196100;
    __m256i pairs = _mm256_shufflelo_epi16(row, _MM_SHUFFLE(3, 1, 2, 0));  // (0,2) (1,3)
    __m256i e = _mm256_madd_epi16(_mm256_shuffle_epi32(pairs, 0x00), Pairs(k1, kT3C2, k1, k2, k1, -k2, k1, -kT3C2));
    __m256i o = _mm256_madd_epi16(_mm256_shuffle_epi32(pairs, 0x55),
                                  Pairs(kU3C1, kU3C3, kU2C1, kU2C3, kU1C1, kU1C3, kU0C1, kU0C3));
    return Outputs(_mm256_add_epi32(e, _mm256_set1_epi32(kIdctPass1Round)), o);
}

ORCHID_AVX2 inline __m256i Narrow1Pair(I32x16 x)
{
    constexpr int up = 16 - kIdctPass1Shift;
    __m256i lo = _mm256_srai_epi32(_mm256_slli_epi32(x.lo, up), 16);
    __m256i hi = _mm256_srai_epi32(_mm256_slli_epi32(x.hi, up), 16);
    return _mm256_packs_epi32(lo, hi);
}

ORCHID_AVX2 inline __m256i SamplesPair(I32x16 a, I32x16 b)
{
    __m256i la = _mm256_packs_epi32(_mm256_srai_epi32(a.lo, kIdctPass2Shift), _mm256_srai_epi32(a.hi, kIdctPass2Shift));
    __m256i lb = _mm256_packs_epi32(_mm256_srai_epi32(b.lo, kIdctPass2Shift), _mm256_srai_epi32(b.hi, kIdctPass2Shift));
    return _mm256_xor_si256(_mm256_packs_epi16(la, lb), _mm256_set1_epi8(static_cast<char>(0x80)));
}

// Bit 0: the low half of v is zero; bit 1: the high half.
ORCHID_AVX2 inline unsigned ZeroHalves(__m256i v)
{
    unsigned m = static_cast<unsigned>(_mm256_movemask_epi8(_mm256_cmpeq_epi8(v, _mm256_setzero_si256())));
    return ((m & 0xFFFFu) == 0xFFFFu ? 1u : 0u) | (m >> 16 == 0xFFFFu ? 2u : 0u);
}

}  // namespace

// Two blocks that each have one line only (column 0 or row 0) take the
// SSE2 form's short ways one after the other; any other pair goes side by
// side, with the shorter passes when both have rows 4-7 zero. (Splitting a
// pair of unlike shapes costs more than it saves.)
ORCHID_AVX2 void IdctPairAvx2(const int16_t* a, uint8_t* out_a, int stride_a, const int16_t* b, uint8_t* out_b,
                              int stride_b)
{
    __m256i v[8];
    I32x16 x[8];
    for (int i = 0; i < 8; ++i) {
        v[i] = _mm256_loadu2_m128i(reinterpret_cast<const __m128i*>(b + 8 * i),
                                   reinterpret_cast<const __m128i*>(a + 8 * i));
    }
    const __m256i rows1to3 = _mm256_or_si256(_mm256_or_si256(v[1], v[2]), v[3]);
    const __m256i rows4to7 = _mm256_or_si256(_mm256_or_si256(v[4], v[5]), _mm256_or_si256(v[6], v[7]));
    const __m256i rows0to3 = _mm256_or_si256(v[0], rows1to3);
    const __m256i columns1to7 = _mm256_set_epi16(-1, -1, -1, -1, -1, -1, -1, 0, -1, -1, -1, -1, -1, -1, -1, 0);
    // Per block (bit 0: a, bit 1: b): one line only; rows 4-7 zero.
    const unsigned line = ZeroHalves(_mm256_and_si256(_mm256_or_si256(rows0to3, rows4to7), columns1to7)) |
                          ZeroHalves(_mm256_or_si256(rows1to3, rows4to7));
    const unsigned top_rows = ZeroHalves(rows4to7);
    if (line == 3) {
        IdctSse2(a, out_a, stride_a);
        IdctSse2(b, out_b, stride_b);
        return;
    }
    if (top_rows == 3) {
        if (ZeroHalves(_mm256_srli_si256(rows0to3, 8)) == 3) {
            for (int r = 0; r < 4; ++r) v[r] = Narrow1Pair(RowPass4Pair(v[r]));
        } else {
            for (int r = 0; r < 4; ++r) v[r] = Narrow1Pair(RowPassPair(v[r]));
        }
        Pass2Inputs0To3Pair(v, x);
    } else {
        TransposePair(v);
        PassPair(v, x, kIdctPass1Round);
        for (int i = 0; i < 8; ++i) v[i] = Narrow1Pair(x[i]);
        TransposePair(v);
        PassPair(v, x, kIdctPass2Round);
    }
    for (int r = 0; r < 8; r += 2) {
        __m256i rows = SamplesPair(x[r], x[r + 1]);
        __m128i ra = _mm256_castsi256_si128(rows), rb = _mm256_extracti128_si256(rows, 1);
        _mm_storel_epi64(reinterpret_cast<__m128i*>(out_a + r * stride_a), ra);
        _mm_storel_epi64(reinterpret_cast<__m128i*>(out_a + (r + 1) * stride_a), _mm_srli_si128(ra, 8));
        _mm_storel_epi64(reinterpret_cast<__m128i*>(out_b + r * stride_b), rb);
        _mm_storel_epi64(reinterpret_cast<__m128i*>(out_b + (r + 1) * stride_b), _mm_srli_si128(rb, 8));
    }
}

namespace {

// (a * ka + b * kb + 32768) >> 16 for 16 lanes of 16 bits, in order.
ORCHID_AVX2 inline __m256i Term(__m256i a, __m256i b, int16_t ka, int16_t kb)
{
    const __m256i k = _mm256_set_epi16(kb, ka, kb, ka, kb, ka, kb, ka, kb, ka, kb, ka, kb, ka, kb, ka);
    const __m256i half = _mm256_set1_epi32(kColorRound);
    __m256i lo = _mm256_srai_epi32(_mm256_add_epi32(_mm256_madd_epi16(_mm256_unpacklo_epi16(a, b), k), half),
                                  kColorBits);
    __m256i hi = _mm256_srai_epi32(_mm256_add_epi32(_mm256_madd_epi16(_mm256_unpackhi_epi16(a, b), k), half),
                                  kColorBits);
    return _mm256_packs_epi32(lo, hi);  // lane-wise unpack and pack keep the order
}

struct ChromaTerms {
    __m256i red, green, blue;
};

ORCHID_AVX2 inline ChromaTerms Terms(const uint8_t* cb, const uint8_t* cr)
{
    const __m256i k255 = _mm256_set1_epi16(255);
    __m256i b = _mm256_cvtepu8_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(cb)));
    __m256i r = _mm256_cvtepu8_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(cr)));
    __m256i db = _mm256_sub_epi16(_mm256_add_epi16(b, b), k255);
    __m256i dr = _mm256_sub_epi16(_mm256_add_epi16(r, r), k255);
    return {Term(dr, dr, kCrToRedHalf, kCrToRedRest), Term(dr, db, -kCrToGreen, -kCbToGreen),
            Term(db, db, kCbToBlueHalf, kCbToBlueRest)};
}

ORCHID_AVX2 inline void Store16(__m256i y, __m256i red, __m256i green, __m256i blue, uint8_t* out)
{
    const __m256i zero = _mm256_setzero_si256();
    const __m256i k255 = _mm256_set1_epi16(255);
    __m256i r = _mm256_min_epi16(_mm256_max_epi16(_mm256_add_epi16(y, red), zero), k255);
    __m256i g = _mm256_min_epi16(_mm256_max_epi16(_mm256_add_epi16(y, green), zero), k255);
    __m256i b = _mm256_min_epi16(_mm256_max_epi16(_mm256_add_epi16(y, blue), zero), k255);
    __m256i rg = _mm256_or_si256(r, _mm256_slli_epi16(g, 8));
    __m256i lo = _mm256_unpacklo_epi16(rg, b);  // pixels 0-3 | 8-11
    __m256i hi = _mm256_unpackhi_epi16(rg, b);  // pixels 4-7 | 12-15
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(out), _mm256_permute2x128_si256(lo, hi, 0x20));
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + 32), _mm256_permute2x128_si256(lo, hi, 0x31));
}

ORCHID_AVX2 inline __m256i Load16(const uint8_t* p)
{
    return _mm256_cvtepu8_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p)));
}

}  // namespace

ORCHID_AVX2 void ColorH1Avx2(const uint8_t* y, const uint8_t* cb, const uint8_t* cr, uint8_t* out, int pixels,
                             const ColorTables* t)
{
    int x = 0;
    for (; x + 16 <= pixels; x += 16) {
        ChromaTerms c = Terms(cb + x, cr + x);
        Store16(Load16(y + x), c.red, c.green, c.blue, out + 4 * x);
    }
    if (x < pixels) ColorH1Sse2(y + x, cb + x, cr + x, out + 4 * x, pixels - x, t);
}

ORCHID_AVX2 void ColorH2Avx2(const uint8_t* y, const uint8_t* cb, const uint8_t* cr, uint8_t* out, int pixels,
                             const ColorTables* t)
{
    int x = 0;
    for (; x + 32 <= pixels; x += 32) {
        ChromaTerms c = Terms(cb + x / 2, cr + x / 2);
        // Chroma lanes 0-15 serve pixels 0-31: lane i to pixels 2i and 2i+1.
        __m256i rlo = _mm256_permute4x64_epi64(c.red, 0x50), rhi = _mm256_permute4x64_epi64(c.red, 0xFA);
        __m256i glo = _mm256_permute4x64_epi64(c.green, 0x50), ghi = _mm256_permute4x64_epi64(c.green, 0xFA);
        __m256i blo = _mm256_permute4x64_epi64(c.blue, 0x50), bhi = _mm256_permute4x64_epi64(c.blue, 0xFA);
        Store16(Load16(y + x), _mm256_unpacklo_epi16(rlo, rlo), _mm256_unpacklo_epi16(glo, glo),
                _mm256_unpacklo_epi16(blo, blo), out + 4 * x);
        Store16(Load16(y + x + 16), _mm256_unpacklo_epi16(rhi, rhi), _mm256_unpacklo_epi16(ghi, ghi),
                _mm256_unpacklo_epi16(bhi, bhi), out + 4 * x + 64);
    }
    if (x < pixels) ColorH2Sse2(y + x, cb + x / 2, cr + x / 2, out + 4 * x, pixels - x, t);
}

ORCHID_AVX2 void ColorH1PairAvx2(const uint8_t* y0, const uint8_t* y1, const uint8_t* cb, const uint8_t* cr,
                                 uint8_t* out0, uint8_t* out1, int pixels, const ColorTables* t)
{
    int x = 0;
    for (; x + 16 <= pixels; x += 16) {
        ChromaTerms c = Terms(cb + x, cr + x);
        Store16(Load16(y0 + x), c.red, c.green, c.blue, out0 + 4 * x);
        Store16(Load16(y1 + x), c.red, c.green, c.blue, out1 + 4 * x);
    }
    if (x < pixels) ColorH1PairSse2(y0 + x, y1 + x, cb + x, cr + x, out0 + 4 * x, out1 + 4 * x, pixels - x, t);
}

ORCHID_AVX2 void ColorH2PairAvx2(const uint8_t* y0, const uint8_t* y1, const uint8_t* cb, const uint8_t* cr,
                                 uint8_t* out0, uint8_t* out1, int pixels, const ColorTables* t)
{
    int x = 0;
    for (; x + 32 <= pixels; x += 32) {
        ChromaTerms c = Terms(cb + x / 2, cr + x / 2);
        // Chroma lanes 0-15 serve pixels 0-31 of both lines.
        __m256i rlo = _mm256_permute4x64_epi64(c.red, 0x50), rhi = _mm256_permute4x64_epi64(c.red, 0xFA);
        __m256i glo = _mm256_permute4x64_epi64(c.green, 0x50), ghi = _mm256_permute4x64_epi64(c.green, 0xFA);
        __m256i blo = _mm256_permute4x64_epi64(c.blue, 0x50), bhi = _mm256_permute4x64_epi64(c.blue, 0xFA);
        rlo = _mm256_unpacklo_epi16(rlo, rlo);
        rhi = _mm256_unpacklo_epi16(rhi, rhi);
        glo = _mm256_unpacklo_epi16(glo, glo);
        ghi = _mm256_unpacklo_epi16(ghi, ghi);
        blo = _mm256_unpacklo_epi16(blo, blo);
        bhi = _mm256_unpacklo_epi16(bhi, bhi);
        Store16(Load16(y0 + x), rlo, glo, blo, out0 + 4 * x);
        Store16(Load16(y0 + x + 16), rhi, ghi, bhi, out0 + 4 * x + 64);
        Store16(Load16(y1 + x), rlo, glo, blo, out1 + 4 * x);
        Store16(Load16(y1 + x + 16), rhi, ghi, bhi, out1 + 4 * x + 64);
    }
    if (x < pixels) {
        ColorH2PairSse2(y0 + x, y1 + x, cb + x / 2, cr + x / 2, out0 + 4 * x, out1 + 4 * x, pixels - x, t);
    }
}

// Eight pixels a step; each 32-byte load or store stays inside the row,
// and the last few pixels go the scalar way.
ORCHID_AVX2 void PackTripletsAvx2(const uint8_t* rgbx, uint8_t* rgb, int pixels)
{
    // In each 128-bit half: the twelve colour bytes of its four pixels
    // first; then the two halves' twelve bytes side by side.
    const __m256i pack = _mm256_setr_epi8(0, 1, 2, 4, 5, 6, 8, 9, 10, 12, 13, 14, -1, -1, -1, -1,  //
                                          0, 1, 2, 4, 5, 6, 8, 9, 10, 12, 13, 14, -1, -1, -1, -1);
    const __m256i join = _mm256_setr_epi32(0, 1, 2, 4, 5, 6, 7, 7);
    int x = 0;
    // A store writes 32 bytes for 24: it needs 11 pixels of room.
    for (; x + 11 <= pixels; x += 8) {
        __m256i v = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(rgbx + 4 * x));
        v = _mm256_permutevar8x32_epi32(_mm256_shuffle_epi8(v, pack), join);
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(rgb + 3 * x), v);
    }
    if (x < pixels) PackTripletsScalar(rgbx + 4 * x, rgb + 3 * x, pixels - x);
}

ORCHID_AVX2 void TripletsToWordsAvx2(const uint8_t* rgb, uint32_t* words, int pixels)
{
    // Bytes 0-11 to the low half, 12-23 to the high one; then each pixel's
    // b, g, r, 0.
    const __m256i spread = _mm256_setr_epi32(0, 1, 2, 2, 3, 4, 5, 5);
    const __m256i order = _mm256_setr_epi8(2, 1, 0, -1, 5, 4, 3, -1, 8, 7, 6, -1, 11, 10, 9, -1,  //
                                           2, 1, 0, -1, 5, 4, 3, -1, 8, 7, 6, -1, 11, 10, 9, -1);
    int i = 0;
    // A load reads 32 bytes for 24: it needs 11 triplets of room.
    for (; i + 11 <= pixels; i += 8) {
        __m256i v = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(rgb + 3 * i));
        v = _mm256_shuffle_epi8(_mm256_permutevar8x32_epi32(v, spread), order);
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(words + i), v);
    }
    if (i < pixels) TripletsToWordsScalar(rgb + 3 * i, words + i, pixels - i);
}

}  // namespace jpeg_kernels
