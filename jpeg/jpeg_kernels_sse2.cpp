// SSE2 forms of the pixel kernels (SSE2 is the x86-64 baseline).
//
// Every product of the scalar transform is expanded into pairs of 16-bit
// inputs times 16-bit constants (pmaddwd), e.g. pass output u3 =
// c1*12299 + (c7+c1)*-7373 + (c1+c5)*-3196 + (c1+c3+c5+c7)*9633 =
// c1*11363 + c3*9633 + c5*6437 + c7*2260 (the multipliers are in
// jpeg_constants.h). Both forms are the same sums modulo 2^32, so the
// results are identical for every input, whatever order the products are
// added in; each pass's rounding term goes into its even part once rather
// than into every output.
//
// A dense block is transposed so that each vector holds one coefficient
// position of the 8 rows, and both passes work on 8 lines at once. Most
// blocks of real pictures are sparse, and their shape picks a cheaper way:
// - only column 0: every row of the intermediate block is flat, so one
//   column transform gives all the samples, each row one value;
// - only row 0: one row transform gives all the samples, each column one
//   value;
// - rows 4-7 zero: the first pass runs on rows 0-3 alone, one row per
//   vector (no transposes), with the products of columns 4-7 left out when
//   those are zero as well; the second pass leaves out inputs 4-7.
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

inline bool IsZero(__m128i v) { return _mm_movemask_epi8(_mm_cmpeq_epi8(v, _mm_setzero_si128())) == 0xFFFF; }

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

// The last steps of a pass: the even part's four terms and the odd part's
// four sums combined into the eight outputs.
inline void Combine(I32x8 t0, I32x8 t1, I32x8 t2, I32x8 t3, I32x8 u0, I32x8 u1, I32x8 u2, I32x8 u3, I32x8 x[8])
{
    I32x8 t10 = Add(t0, t3), t13 = Sub(t0, t3), t11 = Add(t1, t2), t12 = Sub(t1, t2);
    x[0] = Add(t10, u3);
    x[7] = Sub(t10, u3);
    x[1] = Add(t11, u2);
    x[6] = Sub(t11, u2);
    x[2] = Add(t12, u1);
    x[5] = Sub(t12, u1);
    x[3] = Add(t13, u0);
    x[4] = Sub(t13, u0);
}

// One 8-point pass over 8 lanes: c[i] holds input i of every lane; x[i]
// receives output i plus `bias`.
inline void Pass(const __m128i c[8], I32x8 x[8], int32_t bias)
{
    const __m128i b = _mm_set1_epi32(bias);
    I32x8 t2 = Madd(c[2], c[6], kFix_0_541196100, kT2C6);
    I32x8 t3 = Madd(c[2], c[6], kT3C2, kFix_0_541196100);
    I32x8 t0 = Add(Madd(c[0], c[4], kFix_1_0, kFix_1_0), {b, b});
    I32x8 t1 = Add(Madd(c[0], c[4], kFix_1_0, -kFix_1_0), {b, b});
    I32x8 u0 = Add(Madd(c[1], c[3], kU0C1, kU0C3), Madd(c[5], c[7], kU0C5, kU0C7));
    I32x8 u1 = Add(Madd(c[1], c[3], kU1C1, kU1C3), Madd(c[5], c[7], kU1C5, kU1C7));
    I32x8 u2 = Add(Madd(c[1], c[3], kU2C1, kU2C3), Madd(c[5], c[7], kU2C5, kU2C7));
    I32x8 u3 = Add(Madd(c[1], c[3], kU3C1, kU3C3), Madd(c[5], c[7], kU3C5, kU3C7));

    Combine(t0, t1, t2, t3, u0, u1, u2, u3, x);
}

// The second pass when inputs 4-7 are zero in every lane: the products
// with them are left out. The rounding term enters as input 0's partner in
// its pair multiply.
inline void Pass2Inputs0To3(const __m128i c[4], I32x8 x[8])
{
    static_assert(kIdctPass2Round % kFix_1_0 == 0);
    const __m128i round = _mm_set1_epi16(kIdctPass2Round / kFix_1_0);
    const __m128i zero = _mm_setzero_si128();
    I32x8 t2 = Madd(c[2], zero, kFix_0_541196100, 0);
    I32x8 t3 = Madd(c[2], zero, kT3C2, 0);
    I32x8 t0 = Madd(c[0], round, kFix_1_0, kFix_1_0);  // t1 too
    I32x8 u0 = Madd(c[1], c[3], kU0C1, kU0C3);
    I32x8 u1 = Madd(c[1], c[3], kU1C1, kU1C3);
    I32x8 u2 = Madd(c[1], c[3], kU2C1, kU2C3);
    I32x8 u3 = Madd(c[1], c[3], kU3C1, kU3C3);

    Combine(t0, t0, t2, t3, u0, u1, u2, u3, x);
}

// Four pairs of 16-bit multipliers, pair k in 32-bit lane k.
inline __m128i Pairs(int16_t a0, int16_t b0, int16_t a1, int16_t b1, int16_t a2, int16_t b2, int16_t a3, int16_t b3)
{
    return _mm_set_epi16(b3, a3, b2, a2, b1, a1, b0, a0);
}

// The outputs of one line from its even part e and odd part o (lane k:
// output k's, k = 0-3): output k is e + o, output 7 - k is e - o.
inline I32x8 Outputs(__m128i e, __m128i o)
{
    return {_mm_add_epi32(e, o), _mm_shuffle_epi32(_mm_sub_epi32(e, o), _MM_SHUFFLE(0, 1, 2, 3))};
}

// One 8-point pass of a single line, the inputs given in pairs (0, 4),
// (1, 5), (2, 6), (3, 7), each pair in every 32-bit lane of its vector:
// outputs 0-7 plus `bias` in lanes 0-7.
inline I32x8 LinePass(__m128i p04, __m128i p15, __m128i p26, __m128i p37, int32_t bias)
{
    const int16_t k1 = kFix_1_0, k2 = kFix_0_541196100;
    __m128i e = _mm_add_epi32(_mm_madd_epi16(p04, Pairs(k1, k1, k1, -k1, k1, -k1, k1, k1)),
                              _mm_madd_epi16(p26, Pairs(kT3C2, k2, k2, kT2C6, -k2, -kT2C6, -kT3C2, -k2)));
    __m128i o = _mm_add_epi32(_mm_madd_epi16(p15, Pairs(kU3C1, kU3C5, kU2C1, kU2C5, kU1C1, kU1C5, kU0C1, kU0C5)),
                              _mm_madd_epi16(p37, Pairs(kU3C3, kU3C7, kU2C3, kU2C7, kU1C3, kU1C7, kU0C3, kU0C7)));
    return Outputs(_mm_add_epi32(e, _mm_set1_epi32(bias)), o);
}

// The row pass of one row of coefficients (8 lanes of 16 bits), its
// outputs plus the row pass's rounding.
inline I32x8 RowPass(__m128i row)
{
    __m128i pairs = _mm_unpacklo_epi16(row, _mm_srli_si128(row, 8));  // (0,4) (1,5) (2,6) (3,7)
    return LinePass(_mm_shuffle_epi32(pairs, 0x00), _mm_shuffle_epi32(pairs, 0x55), _mm_shuffle_epi32(pairs, 0xAA),
                    _mm_shuffle_epi32(pairs, 0xFF), kIdctPass1Round);
}

// RowPass of a row whose coefficients 4-7 are zero: the products with them
// are left out.
inline I32x8 RowPass4(__m128i row)
{
    const int16_t k1 = kFix_1_0, k2 = kFix_0_541196100;
    __m128i pairs = _mm_shufflelo_epi16(row, _MM_SHUFFLE(3, 1, 2, 0));  // (0,2) (1,3)
    __m128i p02 = _mm_shuffle_epi32(pairs, 0x00), p13 = _mm_shuffle_epi32(pairs, 0x55);
    __m128i e = _mm_madd_epi16(p02, Pairs(k1, kT3C2, k1, k2, k1, -k2, k1, -kT3C2));
    __m128i o = _mm_madd_epi16(p13, Pairs(kU3C1, kU3C3, kU2C1, kU2C3, kU1C1, kU1C3, kU0C1, kU0C3));
    return Outputs(_mm_add_epi32(e, _mm_set1_epi32(kIdctPass1Round)), o);
}

// x >> 11 (x carries the rounding already), kept to 16 bits: bits 11-26 of
// x, sign-extended, as the scalar form truncates.
inline __m128i Narrow1(I32x8 x)
{
    constexpr int up = 16 - kIdctPass1Shift;
    __m128i lo = _mm_srai_epi32(_mm_slli_epi32(x.lo, up), 16);
    __m128i hi = _mm_srai_epi32(_mm_slli_epi32(x.hi, up), 16);
    return _mm_packs_epi32(lo, hi);
}

// The samples of two lines of pass-2 outputs a and b (which carry the
// rounding already), a's in bytes 0-7 and b's in 8-15: (x >> 18) + 128,
// limited to 0..255. The shifted values fit 16 bits; packing them to
// signed bytes limits them to -128..127, and flipping each byte's top bit
// then adds the 128.
inline __m128i Samples(I32x8 a, I32x8 b)
{
    static_assert(kSampleOffset == 128);
    __m128i la = _mm_packs_epi32(_mm_srai_epi32(a.lo, kIdctPass2Shift), _mm_srai_epi32(a.hi, kIdctPass2Shift));
    __m128i lb = _mm_packs_epi32(_mm_srai_epi32(b.lo, kIdctPass2Shift), _mm_srai_epi32(b.hi, kIdctPass2Shift));
    return _mm_xor_si128(_mm_packs_epi16(la, lb), _mm_set1_epi8(static_cast<char>(0x80)));
}

// Rows r and r + 1 of samples, 8 bytes each, from the low and high halves.
inline void StoreRows(__m128i rows, uint8_t* out, int stride, int r)
{
    _mm_storel_epi64(reinterpret_cast<__m128i*>(out + r * stride), rows);
    _mm_storel_epi64(reinterpret_cast<__m128i*>(out + (r + 1) * stride), _mm_srli_si128(rows, 8));
}

// Only column 0 nonzero: row r of the intermediate block is the row pass's
// flat output int16(c[r][0] * 4) in every column, so every column gets the
// same column transform of those eight values, and output row k is one
// sample repeated.
inline void IdctColumn0(const __m128i v[8], uint8_t* out, int stride)
{
    auto pair = [](__m128i a, __m128i b) {
        return _mm_shuffle_epi32(_mm_slli_epi16(_mm_unpacklo_epi16(a, b), kIdctPassBits), 0x00);
    };
    I32x8 x = LinePass(pair(v[0], v[4]), pair(v[1], v[5]), pair(v[2], v[6]), pair(v[3], v[7]), kIdctPass2Round);
    __m128i s = Samples(x, x);                 // sample of row k in byte k
    s = _mm_unpacklo_epi8(s, s);               // each twice
    __m128i lo = _mm_unpacklo_epi16(s, s);     // rows 0-3, each 4 times
    __m128i hi = _mm_unpackhi_epi16(s, s);     // rows 4-7
    StoreRows(_mm_unpacklo_epi32(lo, lo), out, stride, 0);
    StoreRows(_mm_unpackhi_epi32(lo, lo), out, stride, 2);
    StoreRows(_mm_unpacklo_epi32(hi, hi), out, stride, 4);
    StoreRows(_mm_unpackhi_epi32(hi, hi), out, stride, 6);
}

// Only row 0 nonzero: column k of the intermediate block holds row 0's
// output w alone, so its samples are all ((w + 16) >> 5) + 128, reckoned
// here in 16 bits as (((w >> 1) + 8) >> 4) + 128, which is the same and
// cannot overflow.
inline void IdctRow0(__m128i row, uint8_t* out, int stride)
{
    __m128i w = Narrow1(RowPass(row));
    __m128i s = _mm_srai_epi16(_mm_add_epi16(_mm_srai_epi16(w, 1), _mm_set1_epi16(kIdctDcRound / 2)), kIdctDcShift - 1);
    s = _mm_add_epi16(s, _mm_set1_epi16(kSampleOffset));
    s = _mm_packus_epi16(s, s);
    for (int r = 0; r < 8; ++r) _mm_storel_epi64(reinterpret_cast<__m128i*>(out + r * stride), s);
}

}  // namespace

void IdctSse2(const int16_t* coef, uint8_t* out, int stride)
{
    __m128i v[8];
    for (int i = 0; i < 8; ++i) v[i] = _mm_loadu_si128(reinterpret_cast<const __m128i*>(coef + 8 * i));
    const __m128i rows1to3 = _mm_or_si128(_mm_or_si128(v[1], v[2]), v[3]);
    const __m128i rows4to7 = _mm_or_si128(_mm_or_si128(v[4], v[5]), _mm_or_si128(v[6], v[7]));
    const __m128i rows0to3 = _mm_or_si128(v[0], rows1to3);
    const __m128i columns1to7 = _mm_set_epi16(-1, -1, -1, -1, -1, -1, -1, 0);
    if (IsZero(_mm_and_si128(_mm_or_si128(rows0to3, rows4to7), columns1to7))) {
        IdctColumn0(v, out, stride);
        return;
    }
    I32x8 x[8];
    if (IsZero(rows4to7)) {
        if (IsZero(rows1to3)) {
            IdctRow0(v[0], out, stride);
            return;
        }
        // v[k]: row k of the intermediate block, k = 0-3 (rows 4-7 are zero).
        if (IsZero(_mm_srli_si128(rows0to3, 8))) {
            for (int r = 0; r < 4; ++r) v[r] = Narrow1(RowPass4(v[r]));
        } else {
            for (int r = 0; r < 4; ++r) v[r] = Narrow1(RowPass(v[r]));
        }
        Pass2Inputs0To3(v, x);
    } else {
        Transpose(v);  // v[i]: coefficient i of each row
        Pass(v, x, kIdctPass1Round);
        for (int i = 0; i < 8; ++i) v[i] = Narrow1(x[i]);  // v[i]: output i of each row
        Transpose(v);                                       // v[k]: row k of the intermediate block
        Pass(v, x, kIdctPass2Round);
    }
    for (int r = 0; r < 8; r += 2) StoreRows(Samples(x[r], x[r + 1]), out, stride, r);
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
