// SSE2 forms of the pixel kernels (SSE2 is the x86-64 baseline).
//
// The transform works on all 8 rows (then all 8 columns) at once: the block
// is transposed so that each vector holds one coefficient position of the 8
// rows. Every product of the scalar form is expanded into pairs of 16-bit
// inputs times 16-bit constants (pmaddwd), e.g. pass output u3 =
// c1*12299 + (c7+c1)*-7373 + (c1+c5)*-3196 + (c1+c3+c5+c7)*9633 =
// c1*11363 + c3*9633 + c5*6437 + c7*2260 (the multipliers are in
// jpeg_constants.h). Both forms are the same sums modulo 2^32, so the
// results are identical for every input.
#include <emmintrin.h>

#include "jpeg/jpeg_kernels.h"

namespace jpeg_kernels {

namespace {

// Eight 32-bit lanes in two halves.
struct I32x8 {
    __m128i lo, hi;
};

inline I32x8 Add(I32x8 a, I32x8 b) { return {_mm_add_epi32(a.lo, b.lo), _mm_add_epi32(a.hi, b.hi)}; }
inline I32x8 Sub(I32x8 a, I32x8 b) { return {_mm_sub_epi32(a.lo, b.lo), _mm_sub_epi32(a.hi, b.hi)}; }

// a * ka + b * kb for 8 lanes of 16-bit a and b.
inline I32x8 Madd(__m128i a, __m128i b, int16_t ka, int16_t kb)
{
    __m128i k = _mm_set_epi16(kb, ka, kb, ka, kb, ka, kb, ka);
    return {_mm_madd_epi16(_mm_unpacklo_epi16(a, b), k), _mm_madd_epi16(_mm_unpackhi_epi16(a, b), k)};
}

inline void Transpose(__m128i r[8])
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

// One 8-point pass over 8 lanes: c[i] holds input i of every lane; x[i]
// receives output i before rounding.
inline void Pass(const __m128i c[8], I32x8 x[8])
{
    I32x8 t2 = Madd(c[2], c[6], kFix_0_541196100, kT2C6);
    I32x8 t3 = Madd(c[2], c[6], kT3C2, kFix_0_541196100);
    I32x8 t0 = Madd(c[0], c[4], kFix_1_0, kFix_1_0);
    I32x8 t1 = Madd(c[0], c[4], kFix_1_0, -kFix_1_0);
    I32x8 t10 = Add(t0, t3), t13 = Sub(t0, t3), t11 = Add(t1, t2), t12 = Sub(t1, t2);

    I32x8 u0 = Add(Madd(c[1], c[3], kU0C1, kU0C3), Madd(c[5], c[7], kU0C5, kU0C7));
    I32x8 u1 = Add(Madd(c[1], c[3], kU1C1, kU1C3), Madd(c[5], c[7], kU1C5, kU1C7));
    I32x8 u2 = Add(Madd(c[1], c[3], kU2C1, kU2C3), Madd(c[5], c[7], kU2C5, kU2C7));
    I32x8 u3 = Add(Madd(c[1], c[3], kU3C1, kU3C3), Madd(c[5], c[7], kU3C5, kU3C7));

    x[0] = Add(t10, u3);
    x[7] = Sub(t10, u3);
    x[1] = Add(t11, u2);
    x[6] = Sub(t11, u2);
    x[2] = Add(t12, u1);
    x[5] = Sub(t12, u1);
    x[3] = Add(t13, u0);
    x[4] = Sub(t13, u0);
}

// Pass 1 of a block whose rows 4-7 are zero: those rows' outputs are zero,
// so only lanes 0-3 (rows 0-3) are computed, as 32-bit lanes in x[i].
inline void PassRows0To3(const __m128i c[8], __m128i x[8])
{
    auto madd = [](__m128i a, __m128i b, int16_t ka, int16_t kb) {
        return _mm_madd_epi16(_mm_unpacklo_epi16(a, b), _mm_set_epi16(kb, ka, kb, ka, kb, ka, kb, ka));
    };
    __m128i t2 = madd(c[2], c[6], kFix_0_541196100, kT2C6);
    __m128i t3 = madd(c[2], c[6], kT3C2, kFix_0_541196100);
    __m128i t0 = madd(c[0], c[4], kFix_1_0, kFix_1_0);
    __m128i t1 = madd(c[0], c[4], kFix_1_0, -kFix_1_0);
    __m128i t10 = _mm_add_epi32(t0, t3), t13 = _mm_sub_epi32(t0, t3);
    __m128i t11 = _mm_add_epi32(t1, t2), t12 = _mm_sub_epi32(t1, t2);

    __m128i u0 = _mm_add_epi32(madd(c[1], c[3], kU0C1, kU0C3), madd(c[5], c[7], kU0C5, kU0C7));
    __m128i u1 = _mm_add_epi32(madd(c[1], c[3], kU1C1, kU1C3), madd(c[5], c[7], kU1C5, kU1C7));
    __m128i u2 = _mm_add_epi32(madd(c[1], c[3], kU2C1, kU2C3), madd(c[5], c[7], kU2C5, kU2C7));
    __m128i u3 = _mm_add_epi32(madd(c[1], c[3], kU3C1, kU3C3), madd(c[5], c[7], kU3C5, kU3C7));

    x[0] = _mm_add_epi32(t10, u3);
    x[7] = _mm_sub_epi32(t10, u3);
    x[1] = _mm_add_epi32(t11, u2);
    x[6] = _mm_sub_epi32(t11, u2);
    x[2] = _mm_add_epi32(t12, u1);
    x[5] = _mm_sub_epi32(t12, u1);
    x[3] = _mm_add_epi32(t13, u0);
    x[4] = _mm_sub_epi32(t13, u0);
}

// A pass whose inputs 4-7 are zero in every lane: the products with them
// are left out (they add nothing, modulo 2^32 as everywhere).
inline void PassInputs0To3(const __m128i c[8], I32x8 x[8])
{
    const __m128i zero = _mm_setzero_si128();
    I32x8 t2 = Madd(c[2], zero, kFix_0_541196100, 0);
    I32x8 t3 = Madd(c[2], zero, kT3C2, 0);
    I32x8 t0 = Madd(c[0], zero, kFix_1_0, 0);  // t1 too
    I32x8 t10 = Add(t0, t3), t13 = Sub(t0, t3), t11 = Add(t0, t2), t12 = Sub(t0, t2);

    I32x8 u0 = Madd(c[1], c[3], kU0C1, kU0C3);
    I32x8 u1 = Madd(c[1], c[3], kU1C1, kU1C3);
    I32x8 u2 = Madd(c[1], c[3], kU2C1, kU2C3);
    I32x8 u3 = Madd(c[1], c[3], kU3C1, kU3C3);

    x[0] = Add(t10, u3);
    x[7] = Sub(t10, u3);
    x[1] = Add(t11, u2);
    x[6] = Sub(t11, u2);
    x[2] = Add(t12, u1);
    x[5] = Sub(t12, u1);
    x[3] = Add(t13, u0);
    x[4] = Sub(t13, u0);
}

// (x + 1024) >> 11, kept to 16 bits (truncated, as the scalar form does).
inline __m128i RoundPass1(I32x8 x)
{
    const __m128i bias = _mm_set1_epi32(kIdctPass1Round);
    __m128i lo = _mm_srai_epi32(_mm_add_epi32(x.lo, bias), kIdctPass1Shift);
    __m128i hi = _mm_srai_epi32(_mm_add_epi32(x.hi, bias), kIdctPass1Shift);
    lo = _mm_srai_epi32(_mm_slli_epi32(lo, 16), 16);
    hi = _mm_srai_epi32(_mm_slli_epi32(hi, 16), 16);
    return _mm_packs_epi32(lo, hi);
}

// ((x + 131072) >> 18) + 128 as 16-bit lanes (the shifted value always fits).
inline __m128i RoundPass2(I32x8 x)
{
    const __m128i bias = _mm_set1_epi32(kIdctPass2Round);
    __m128i lo = _mm_srai_epi32(_mm_add_epi32(x.lo, bias), kIdctPass2Shift);
    __m128i hi = _mm_srai_epi32(_mm_add_epi32(x.hi, bias), kIdctPass2Shift);
    return _mm_add_epi16(_mm_packs_epi32(lo, hi), _mm_set1_epi16(kSampleOffset));
}

}  // namespace

void IdctSse2(const int16_t* coef, uint8_t* out, int stride)
{
    __m128i v[8];
    I32x8 x[8];
    for (int i = 0; i < 8; ++i) v[i] = _mm_loadu_si128(reinterpret_cast<const __m128i*>(coef + 8 * i));
    // Blocks of little vertical detail (rows 4-7 zero, as in most blocks of
    // smooth pictures) take the shorter passes.
    const __m128i zero = _mm_setzero_si128();
    __m128i low_rows = _mm_or_si128(_mm_or_si128(v[4], v[5]), _mm_or_si128(v[6], v[7]));
    bool top_rows_only = _mm_movemask_epi8(_mm_cmpeq_epi8(low_rows, zero)) == 0xFFFF;
    if (top_rows_only) {
        __m128i rows1to3 = _mm_or_si128(_mm_or_si128(v[1], v[2]), v[3]);
        if (_mm_movemask_epi8(_mm_cmpeq_epi8(rows1to3, zero)) == 0xFFFF) {
            // Only row 0: every column has only its first input, so each
            // column's samples are ((c + 16) >> 5) + 128 of that row's
            // output c, the same down all eight rows.
            __m128i c[8];
            for (int i = 0; i < 8; ++i) c[i] = _mm_cvtsi32_si128(static_cast<uint16_t>(coef[i]));
            __m128i half[8];
            PassRows0To3(c, half);
            for (int i = 0; i < 8; ++i) v[i] = RoundPass1({half[i], zero});
            Transpose(v);  // v[0]: the row's eight outputs
            __m128i lo = _mm_srai_epi32(_mm_unpacklo_epi16(v[0], v[0]), 16);
            __m128i hi = _mm_srai_epi32(_mm_unpackhi_epi16(v[0], v[0]), 16);
            const __m128i round = _mm_set1_epi32(kIdctDcRound);
            lo = _mm_srai_epi32(_mm_add_epi32(lo, round), kIdctDcShift);
            hi = _mm_srai_epi32(_mm_add_epi32(hi, round), kIdctDcShift);
            __m128i samples = _mm_add_epi16(_mm_packs_epi32(lo, hi), _mm_set1_epi16(kSampleOffset));
            samples = _mm_packus_epi16(samples, samples);
            for (int r = 0; r < 8; ++r) _mm_storel_epi64(reinterpret_cast<__m128i*>(out + r * stride), samples);
            return;
        }
    }
    Transpose(v);  // v[i]: coefficient i of each row
    if (top_rows_only) {
        __m128i half[8];
        PassRows0To3(v, half);
        for (int i = 0; i < 8; ++i) v[i] = RoundPass1({half[i], zero});
        Transpose(v);  // v[k]: row k of the intermediate block, zero from row 4
        PassInputs0To3(v, x);
    } else {
        Pass(v, x);
        for (int i = 0; i < 8; ++i) v[i] = RoundPass1(x[i]);  // v[i]: output i of each row
        Transpose(v);  // v[k]: row k of the intermediate block
        Pass(v, x);
    }
    for (int r = 0; r < 8; r += 2) {
        __m128i rows = _mm_packus_epi16(RoundPass2(x[r]), RoundPass2(x[r + 1]));
        _mm_storel_epi64(reinterpret_cast<__m128i*>(out + r * stride), rows);
        _mm_storel_epi64(reinterpret_cast<__m128i*>(out + (r + 1) * stride), _mm_srli_si128(rows, 8));
    }
}

// 128-bit vectors hold one block: the pair is two transforms.
void IdctPairSse2(const int16_t* a, uint8_t* out_a, int stride_a, const int16_t* b, uint8_t* out_b, int stride_b)
{
    IdctSse2(a, out_a, stride_a);
    IdctSse2(b, out_b, stride_b);
}

namespace {

struct ChromaTerms {
    __m128i red, green, blue;  // 8 lanes of 16 bits
};

// (a * ka + b * kb + 32768) >> 16 for 8 lanes.
inline __m128i Term(__m128i a, __m128i b, int16_t ka, int16_t kb)
{
    const __m128i half = _mm_set1_epi32(kColorRound);
    I32x8 p = Madd(a, b, ka, kb);
    __m128i lo = _mm_srai_epi32(_mm_add_epi32(p.lo, half), kColorBits);
    __m128i hi = _mm_srai_epi32(_mm_add_epi32(p.hi, half), kColorBits);
    return _mm_packs_epi32(lo, hi);
}

// The colour tables' values for 8 chroma pairs, with d = 2 C - 255:
// red (kCrToRed dr + 32768) >> 16, blue (kCbToBlue db + 32768) >> 16,
// green (-kCrToGreen dr - kCbToGreen db + 32768) >> 16.
inline ChromaTerms Terms(const uint8_t* cb, const uint8_t* cr)
{
    const __m128i zero = _mm_setzero_si128();
    const __m128i k255 = _mm_set1_epi16(255);
    __m128i b = _mm_unpacklo_epi8(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(cb)), zero);
    __m128i r = _mm_unpacklo_epi8(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(cr)), zero);
    __m128i db = _mm_sub_epi16(_mm_add_epi16(b, b), k255);
    __m128i dr = _mm_sub_epi16(_mm_add_epi16(r, r), k255);
    return {Term(dr, dr, kCrToRedHalf, kCrToRedRest), Term(dr, db, -kCrToGreen, -kCbToGreen),
            Term(db, db, kCbToBlueHalf, kCbToBlueRest)};
}

// 8 pixels from 8 luma samples (16-bit lanes) and their chroma terms.
inline void Store8(__m128i y, __m128i red, __m128i green, __m128i blue, uint8_t* out)
{
    const __m128i zero = _mm_setzero_si128();
    const __m128i k255 = _mm_set1_epi16(255);
    __m128i r = _mm_min_epi16(_mm_max_epi16(_mm_add_epi16(y, red), zero), k255);
    __m128i g = _mm_min_epi16(_mm_max_epi16(_mm_add_epi16(y, green), zero), k255);
    __m128i b = _mm_min_epi16(_mm_max_epi16(_mm_add_epi16(y, blue), zero), k255);
    __m128i rg = _mm_or_si128(r, _mm_slli_epi16(g, 8));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out), _mm_unpacklo_epi16(rg, b));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 16), _mm_unpackhi_epi16(rg, b));
}

inline __m128i Load8(const uint8_t* p)
{
    return _mm_unpacklo_epi8(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(p)), _mm_setzero_si128());
}

}  // namespace

void ColorH1Sse2(const uint8_t* y, const uint8_t* cb, const uint8_t* cr, uint8_t* out, int pixels,
                 const ColorTables*)
{
    for (int x = 0; x < pixels; x += 8) {
        ChromaTerms t = Terms(cb + x, cr + x);
        Store8(Load8(y + x), t.red, t.green, t.blue, out + 4 * x);
    }
}

void ColorH2Sse2(const uint8_t* y, const uint8_t* cb, const uint8_t* cr, uint8_t* out, int pixels,
                 const ColorTables*)
{
    for (int x = 0; x < pixels; x += 16) {
        ChromaTerms t = Terms(cb + x / 2, cr + x / 2);
        Store8(Load8(y + x), _mm_unpacklo_epi16(t.red, t.red), _mm_unpacklo_epi16(t.green, t.green),
               _mm_unpacklo_epi16(t.blue, t.blue), out + 4 * x);
        Store8(Load8(y + x + 8), _mm_unpackhi_epi16(t.red, t.red), _mm_unpackhi_epi16(t.green, t.green),
               _mm_unpackhi_epi16(t.blue, t.blue), out + 4 * x + 32);
    }
}

void ColorH1PairSse2(const uint8_t* y0, const uint8_t* y1, const uint8_t* cb, const uint8_t* cr, uint8_t* out0,
                     uint8_t* out1, int pixels, const ColorTables*)
{
    for (int x = 0; x < pixels; x += 8) {
        ChromaTerms t = Terms(cb + x, cr + x);
        Store8(Load8(y0 + x), t.red, t.green, t.blue, out0 + 4 * x);
        Store8(Load8(y1 + x), t.red, t.green, t.blue, out1 + 4 * x);
    }
}

void ColorH2PairSse2(const uint8_t* y0, const uint8_t* y1, const uint8_t* cb, const uint8_t* cr, uint8_t* out0,
                     uint8_t* out1, int pixels, const ColorTables*)
{
    for (int x = 0; x < pixels; x += 16) {
        ChromaTerms t = Terms(cb + x / 2, cr + x / 2);
        __m128i rlo = _mm_unpacklo_epi16(t.red, t.red), rhi = _mm_unpackhi_epi16(t.red, t.red);
        __m128i glo = _mm_unpacklo_epi16(t.green, t.green), ghi = _mm_unpackhi_epi16(t.green, t.green);
        __m128i blo = _mm_unpacklo_epi16(t.blue, t.blue), bhi = _mm_unpackhi_epi16(t.blue, t.blue);
        Store8(Load8(y0 + x), rlo, glo, blo, out0 + 4 * x);
        Store8(Load8(y0 + x + 8), rhi, ghi, bhi, out0 + 4 * x + 32);
        Store8(Load8(y1 + x), rlo, glo, blo, out1 + 4 * x);
        Store8(Load8(y1 + x + 8), rhi, ghi, bhi, out1 + 4 * x + 32);
    }
}

// Four pixels a step, with masks and shifts (SSE2 has no byte shuffle):
// each pixel's fourth byte dropped, in each 64-bit half the second pixel's
// three bytes moved down next to the first's, then the upper half's six
// bytes next to the lower half's.
void PackTripletsSse2(const uint8_t* rgbx, uint8_t* rgb, int pixels)
{
    const __m128i first = _mm_set_epi32(0, 0x00FFFFFF, 0, 0x00FFFFFF);
    const __m128i second = _mm_set_epi32(0x00FFFFFF, 0, 0x00FFFFFF, 0);
    const __m128i lower_half = _mm_set_epi32(0, 0, -1, -1);
    int x = 0;
    // A store writes 16 bytes for 12: it needs 6 pixels of room.
    for (; x + 6 <= pixels; x += 4) {
        __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(rgbx + 4 * x));
        __m128i sixes = _mm_or_si128(_mm_and_si128(v, first), _mm_srli_epi64(_mm_and_si128(v, second), 8));
        __m128i twelve = _mm_or_si128(_mm_and_si128(sixes, lower_half), _mm_slli_si128(_mm_srli_si128(sixes, 8), 6));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(rgb + 3 * x), twelve);
    }
    if (x < pixels) PackTripletsScalar(rgbx + 4 * x, rgb + 3 * x, pixels - x);
}

}  // namespace jpeg_kernels
