// The vector forms of the pixel kernels, written once over the vector
// types of simd/vec.h. Each level's unit instantiates them for its own
// type: V128 (SSE2, WebAssembly, NEON) holds one block's row (8 lanes of 16
// bits), V256 (AVX2) two blocks' rows side by side, one in each 128-bit
// half. Private to jpeg/, and to each unit that includes it (internal
// linkage: the AVX2 unit compiles it for AVX2, the SSE2 one for the
// baseline).
//
// Every product of the scalar transform is expanded into pairs of 16-bit
// inputs times 16-bit constants (a pair multiply-add), e.g. pass output
// u3 = c1*12299 + (c7+c1)*-7373 + (c1+c5)*-3196 + (c1+c3+c5+c7)*9633 =
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
// Blocks taken two at a time go side by side unless both have one line
// only (column 0 or row 0): those take the one-block short ways, which need
// little arithmetic in the first place. (Splitting a pair of unlike shapes
// costs more than it saves.)
#pragma once

#include <cstdint>
#include <type_traits>

#include "jpeg/jpeg_kernels.h"
#include "simd/vec.h"

namespace jpeg_kernels::vector {
namespace {

using simd::V128;

// Eight 32-bit lanes per block, in two vectors: lanes 0-3 and 4-7 of the
// 16-bit vector they came from.
template <class V>
struct Wide {
    V lo, hi;

    static Wide Add(Wide a, Wide b) { return {Add32(a.lo, b.lo), Add32(a.hi, b.hi)}; }
    static Wide Sub(Wide a, Wide b) { return {Sub32(a.lo, b.lo), Sub32(a.hi, b.hi)}; }
    static Wide Splat(int32_t k) { return {V::Splat32(k), V::Splat32(k)}; }
    // a * ka + b * kb for the 16-bit lanes of a and b.
    static Wide Madd(V a, V b, int16_t ka, int16_t kb)
    {
        const V k = V::Set16(ka, kb, ka, kb, ka, kb, ka, kb);
        return {MultiplyAddPairs(UnpackLo16(a, b), k), MultiplyAddPairs(UnpackHi16(a, b), k)};
    }
    template <int N> static Wide ShiftLeft(Wide a) { return {simd::ShiftLeft32<N>(a.lo), simd::ShiftLeft32<N>(a.hi)}; }
    template <int N> static Wide ShiftRightArith(Wide a)
    {
        return {simd::ShiftRightArith32<N>(a.lo), simd::ShiftRightArith32<N>(a.hi)};
    }
    // Back to 16 bits, saturating.
    static V Narrow(Wide a) { return PackSigned32To16(a.lo, a.hi); }
};

#if defined(__x86_64__)
// One block's eight 32-bit lanes in a single 256-bit vector: the dense
// passes of a block on its own, where AVX2 is there.
struct Wide256 {
    simd::V256 v;

    ORCHID_AVX2 static Wide256 Add(Wide256 a, Wide256 b) { return {simd::Add32(a.v, b.v)}; }
    ORCHID_AVX2 static Wide256 Sub(Wide256 a, Wide256 b) { return {simd::Sub32(a.v, b.v)}; }
    ORCHID_AVX2 static Wide256 Splat(int32_t k) { return {simd::V256::Splat32(k)}; }
    ORCHID_AVX2 static Wide256 Madd(V128 a, V128 b, int16_t ka, int16_t kb)
    {
        __m256i pairs = _mm256_set_m128i(_mm_unpackhi_epi16(a.v, b.v), _mm_unpacklo_epi16(a.v, b.v));
        return {{_mm256_madd_epi16(pairs, simd::V256::Set16(ka, kb, ka, kb, ka, kb, ka, kb).v)}};
    }
    template <int N> ORCHID_AVX2 static Wide256 ShiftLeft(Wide256 a) { return {simd::ShiftLeft32<N>(a.v)}; }
    template <int N> ORCHID_AVX2 static Wide256 ShiftRightArith(Wide256 a)
    {
        return {simd::ShiftRightArith32<N>(a.v)};
    }
    ORCHID_AVX2 static V128 Narrow(Wide256 a)
    {
        return {_mm_packs_epi32(_mm256_castsi256_si128(a.v.v), _mm256_extracti128_si256(a.v.v, 1))};
    }
};
#endif

// Rows in, columns out, per block: r[i] lane j becomes r[j] lane i.
template <class V>
inline void Transpose(V r[8])
{
    V a0 = UnpackLo16(r[0], r[1]), a1 = UnpackHi16(r[0], r[1]);
    V a2 = UnpackLo16(r[2], r[3]), a3 = UnpackHi16(r[2], r[3]);
    V a4 = UnpackLo16(r[4], r[5]), a5 = UnpackHi16(r[4], r[5]);
    V a6 = UnpackLo16(r[6], r[7]), a7 = UnpackHi16(r[6], r[7]);
    V b0 = UnpackLo32(a0, a2), b1 = UnpackHi32(a0, a2);
    V b2 = UnpackLo32(a1, a3), b3 = UnpackHi32(a1, a3);
    V b4 = UnpackLo32(a4, a6), b5 = UnpackHi32(a4, a6);
    V b6 = UnpackLo32(a5, a7), b7 = UnpackHi32(a5, a7);
    r[0] = UnpackLo64(b0, b4);
    r[1] = UnpackHi64(b0, b4);
    r[2] = UnpackLo64(b1, b5);
    r[3] = UnpackHi64(b1, b5);
    r[4] = UnpackLo64(b2, b6);
    r[5] = UnpackHi64(b2, b6);
    r[6] = UnpackLo64(b3, b7);
    r[7] = UnpackHi64(b3, b7);
}

// The last steps of a pass: the even part's four terms and the odd part's
// four sums combined into the eight outputs.
template <class W>
inline void Combine(W t0, W t1, W t2, W t3, W u0, W u1, W u2, W u3, W x[8])
{
    W t10 = W::Add(t0, t3), t13 = W::Sub(t0, t3), t11 = W::Add(t1, t2), t12 = W::Sub(t1, t2);
    x[0] = W::Add(t10, u3);
    x[7] = W::Sub(t10, u3);
    x[1] = W::Add(t11, u2);
    x[6] = W::Sub(t11, u2);
    x[2] = W::Add(t12, u1);
    x[5] = W::Sub(t12, u1);
    x[3] = W::Add(t13, u0);
    x[4] = W::Sub(t13, u0);
}

// One 8-point pass over 8 lanes: c[i] holds input i of every lane; x[i]
// receives output i plus `bias`.
template <class W, class V>
inline void Pass(const V c[8], W x[8], int32_t bias)
{
    const W b = W::Splat(bias);
    W t2 = W::Madd(c[2], c[6], kFix_0_541196100, kT2C6);
    W t3 = W::Madd(c[2], c[6], kT3C2, kFix_0_541196100);
    W t0 = W::Add(W::Madd(c[0], c[4], kFix_1_0, kFix_1_0), b);
    W t1 = W::Add(W::Madd(c[0], c[4], kFix_1_0, -kFix_1_0), b);
    W u0 = W::Add(W::Madd(c[1], c[3], kU0C1, kU0C3), W::Madd(c[5], c[7], kU0C5, kU0C7));
    W u1 = W::Add(W::Madd(c[1], c[3], kU1C1, kU1C3), W::Madd(c[5], c[7], kU1C5, kU1C7));
    W u2 = W::Add(W::Madd(c[1], c[3], kU2C1, kU2C3), W::Madd(c[5], c[7], kU2C5, kU2C7));
    W u3 = W::Add(W::Madd(c[1], c[3], kU3C1, kU3C3), W::Madd(c[5], c[7], kU3C5, kU3C7));

    Combine(t0, t1, t2, t3, u0, u1, u2, u3, x);
}

// The second pass when inputs 4-7 are zero in every lane: the products
// with them are left out. The rounding term enters as input 0's partner in
// its pair multiply.
template <class V>
inline void Pass2Inputs0To3(const V c[4], Wide<V> x[8])
{
    using W = Wide<V>;
    static_assert(kIdctPass2Round % kFix_1_0 == 0);
    const V round = V::Splat16(kIdctPass2Round / kFix_1_0);
    const V zero = V::Zero();
    W t2 = W::Madd(c[2], zero, kFix_0_541196100, 0);
    W t3 = W::Madd(c[2], zero, kT3C2, 0);
    W t0 = W::Madd(c[0], round, kFix_1_0, kFix_1_0);  // t1 too
    W u0 = W::Madd(c[1], c[3], kU0C1, kU0C3);
    W u1 = W::Madd(c[1], c[3], kU1C1, kU1C3);
    W u2 = W::Madd(c[1], c[3], kU2C1, kU2C3);
    W u3 = W::Madd(c[1], c[3], kU3C1, kU3C3);

    Combine(t0, t0, t2, t3, u0, u1, u2, u3, x);
}

// Four pairs of 16-bit multipliers, pair k in 32-bit lane k (of each half).
template <class V>
inline V Pairs(int16_t a0, int16_t b0, int16_t a1, int16_t b1, int16_t a2, int16_t b2, int16_t a3, int16_t b3)
{
    return V::Set16(a0, b0, a1, b1, a2, b2, a3, b3);
}

// The outputs of one line from its even part e and odd part o (lane k:
// output k's, k = 0-3): output k is e + o, output 7 - k is e - o.
template <class V>
inline Wide<V> Outputs(V e, V o)
{
    return {Add32(e, o), simd::Shuffle32<0x1B>(Sub32(e, o))};  // e - o with its lanes reversed
}

// One 8-point pass of a single line, the inputs given in pairs (0, 4),
// (1, 5), (2, 6), (3, 7), each pair in every 32-bit lane of its vector:
// outputs 0-7 plus `bias` in lanes 0-7.
template <class V>
inline Wide<V> LinePass(V p04, V p15, V p26, V p37, int32_t bias)
{
    const int16_t k1 = kFix_1_0, k2 = kFix_0_541196100;
    V e = Add32(MultiplyAddPairs(p04, Pairs<V>(k1, k1, k1, -k1, k1, -k1, k1, k1)),
                MultiplyAddPairs(p26, Pairs<V>(kT3C2, k2, k2, kT2C6, -k2, -kT2C6, -kT3C2, -k2)));
    V o = Add32(MultiplyAddPairs(p15, Pairs<V>(kU3C1, kU3C5, kU2C1, kU2C5, kU1C1, kU1C5, kU0C1, kU0C5)),
                MultiplyAddPairs(p37, Pairs<V>(kU3C3, kU3C7, kU2C3, kU2C7, kU1C3, kU1C7, kU0C3, kU0C7)));
    return Outputs(Add32(e, V::Splat32(bias)), o);
}

// The row pass of one row of coefficients (8 lanes of 16 bits), its
// outputs plus the row pass's rounding.
template <class V>
inline Wide<V> RowPass(V row)
{
    V pairs = UnpackLo16(row, simd::ShiftBytesDown<8>(row));  // (0,4) (1,5) (2,6) (3,7)
    return LinePass(simd::Shuffle32<0x00>(pairs), simd::Shuffle32<0x55>(pairs), simd::Shuffle32<0xAA>(pairs),
                    simd::Shuffle32<0xFF>(pairs), kIdctPass1Round);
}

// RowPass of a row whose coefficients 4-7 are zero: the products with them
// are left out.
template <class V>
inline Wide<V> RowPass4(V row)
{
    const int16_t k1 = kFix_1_0, k2 = kFix_0_541196100;
    V pairs = simd::ShuffleLo16<0xD8>(row);  // lanes 0 2 1 3: (0,2) (1,3)
    V p02 = simd::Shuffle32<0x00>(pairs), p13 = simd::Shuffle32<0x55>(pairs);
    V e = MultiplyAddPairs(p02, Pairs<V>(k1, kT3C2, k1, k2, k1, -k2, k1, -kT3C2));
    V o = MultiplyAddPairs(p13, Pairs<V>(kU3C1, kU3C3, kU2C1, kU2C3, kU1C1, kU1C3, kU0C1, kU0C3));
    return Outputs(Add32(e, V::Splat32(kIdctPass1Round)), o);
}

// x >> 11 (x carries the rounding already), kept to 16 bits: bits 11-26 of
// x, sign-extended, as the scalar form truncates.
template <class W>
inline auto Narrow1(W x)
{
    return W::Narrow(W::template ShiftRightArith<16>(W::template ShiftLeft<16 - kIdctPass1Shift>(x)));
}

// The samples of two lines of pass-2 outputs a and b (which carry the
// rounding already), a's in bytes 0-7 and b's in 8-15 (of each half):
// (x >> 18) + 128, limited to 0..255. The shifted values fit 16 bits;
// packing them to signed bytes limits them to -128..127, and flipping each
// byte's top bit then adds the 128.
template <class W>
inline auto Samples(W a, W b)
{
    static_assert(kSampleOffset == 128);
    auto la = W::Narrow(W::template ShiftRightArith<kIdctPass2Shift>(a));
    auto lb = W::Narrow(W::template ShiftRightArith<kIdctPass2Shift>(b));
    using V = decltype(la);
    return Xor(PackSigned16To8(la, lb), V::Splat8(static_cast<int8_t>(0x80)));
}

// Rows r and r + 1 of samples, 8 bytes each, from the low and high halves.
inline void StoreRows(V128 rows, uint8_t* out, int stride, int r)
{
    Store64(out + r * stride, rows);
    Store64(out + (r + 1) * stride, simd::ShiftBytesDown<8>(rows));
}

// Only column 0 nonzero: row r of the intermediate block is the row pass's
// flat output int16(c[r][0] * 4) in every column, so every column gets the
// same column transform of those eight values, and output row k is one
// sample repeated.
inline void IdctColumn0(const V128 v[8], uint8_t* out, int stride)
{
    auto pair = [](V128 a, V128 b) {
        return simd::Shuffle32<0x00>(simd::ShiftLeft16<kIdctPassBits>(UnpackLo16(a, b)));
    };
    Wide<V128> x = LinePass(pair(v[0], v[4]), pair(v[1], v[5]), pair(v[2], v[6]), pair(v[3], v[7]), kIdctPass2Round);
    V128 s = Samples(x, x);           // sample of row k in byte k
    s = UnpackLo8(s, s);              // each twice
    V128 lo = UnpackLo16(s, s);       // rows 0-3, each 4 times
    V128 hi = UnpackHi16(s, s);       // rows 4-7
    StoreRows(UnpackLo32(lo, lo), out, stride, 0);
    StoreRows(UnpackHi32(lo, lo), out, stride, 2);
    StoreRows(UnpackLo32(hi, hi), out, stride, 4);
    StoreRows(UnpackHi32(hi, hi), out, stride, 6);
}

// Only row 0 nonzero: column k of the intermediate block holds row 0's
// output w alone, so its samples are all ((w + 16) >> 5) + 128, reckoned
// here in 16 bits as (((w >> 1) + 8) >> 4) + 128, which is the same and
// cannot overflow.
inline void IdctRow0(V128 row, uint8_t* out, int stride)
{
    V128 w = Narrow1(RowPass(row));
    V128 s = simd::ShiftRightArith16<kIdctDcShift - 1>(
        Add16(simd::ShiftRightArith16<1>(w), V128::Splat16(kIdctDcRound / 2)));
    s = Add16(s, V128::Splat16(kSampleOffset));
    s = PackUnsigned16To8(s, s);
    for (int r = 0; r < 8; ++r) Store64(out + r * stride, s);
}

// The rows of a set of loaded blocks ORed together, for the tests of
// their shape; each test gives a mask of blocks (bit h: the block in half
// h), and is made only where it is asked.
template <class V>
struct Shape {
    V rows1to3, rows4to7, rows0to3;

    explicit Shape(const V v[8])
        : rows1to3(Or(Or(v[1], v[2]), v[3])), rows4to7(Or(Or(v[4], v[5]), Or(v[6], v[7]))),
          rows0to3(Or(v[0], rows1to3))
    {
    }
    // Column 0 only.
    unsigned Column0() const
    {
        return ZeroHalves(And(Or(rows0to3, rows4to7), V::Set16(0, -1, -1, -1, -1, -1, -1, -1)));
    }
    // Row 0 only, given rows 4-7 zero.
    unsigned Row0() const { return ZeroHalves(rows1to3); }
    // Rows 4-7 zero.
    unsigned TopRows() const { return ZeroHalves(rows4to7); }
    // Columns 4-7 of rows 0-3 zero.
    unsigned Columns0To3() const { return ZeroHalves(simd::ShiftBytesDown<8>(rows0to3)); }
};

// The transform of one block (the loaded rows v) whose shape is not one
// line only, into the samples x: rows 4-7 zero take the short first pass;
// dense blocks take both passes over the wide type W.
template <class W, class V>
inline void IdctBlocks(V v[8], const Shape<V>& shape, uint8_t* const out[], const int stride[])
{
    constexpr unsigned all = (1u << V::kHalves) - 1;
    Wide<V> x[8];
    if (shape.TopRows() == all) {
        // v[k]: row k of the intermediate block, k = 0-3 (rows 4-7 are zero).
        if (shape.Columns0To3() == all) {
            for (int r = 0; r < 4; ++r) v[r] = Narrow1(RowPass4(v[r]));
        } else {
            for (int r = 0; r < 4; ++r) v[r] = Narrow1(RowPass(v[r]));
        }
        Pass2Inputs0To3(v, x);
    } else if constexpr (!std::is_same_v<W, Wide<V>>) {
        // Both passes over W, the samples from there.
        W y[8];
        Transpose(v);
        Pass(v, y, kIdctPass1Round);
        for (int i = 0; i < 8; ++i) v[i] = Narrow1(y[i]);
        Transpose(v);
        Pass(v, y, kIdctPass2Round);
        for (int r = 0; r < 8; r += 2) StoreRows(Samples(y[r], y[r + 1]), out[0], stride[0], r);
        return;
    } else {
        Transpose(v);  // v[i]: coefficient i of each row
        Pass(v, x, kIdctPass1Round);
        for (int i = 0; i < 8; ++i) v[i] = Narrow1(x[i]);  // v[i]: output i of each row
        Transpose(v);                                       // v[k]: row k of the intermediate block
        Pass(v, x, kIdctPass2Round);
    }
    for (int r = 0; r < 8; r += 2) {
        const V rows = Samples(x[r], x[r + 1]);
        for (int h = 0; h < V::kHalves; ++h) StoreRows(Half(rows, h), out[h], stride[h], r);
    }
}

// One block. W: the wide type of its dense passes.
template <class W>
inline void Idct(const int16_t* coef, uint8_t* out, int stride)
{
    V128 v[8];
    for (int i = 0; i < 8; ++i) v[i] = V128::Load(coef + 8 * i);
    const Shape<V128> shape(v);
    if (shape.Column0()) {
        IdctColumn0(v, out, stride);
        return;
    }
    if (shape.TopRows() && shape.Row0()) {
        IdctRow0(v[0], out, stride);
        return;
    }
    IdctBlocks<W>(v, shape, &out, &stride);
}

// Two blocks: side by side in a V of two halves, else one after the other.
template <class V, class W>
inline void IdctPair(const int16_t* a, uint8_t* out_a, int stride_a, const int16_t* b, uint8_t* out_b, int stride_b)
{
    if constexpr (V::kHalves == 1) {
        Idct<W>(a, out_a, stride_a);
        Idct<W>(b, out_b, stride_b);
    } else {
        V v[8];
        for (int i = 0; i < 8; ++i) v[i] = V::Load2(a + 8 * i, b + 8 * i);
        const Shape<V> shape(v);
        // Per block: one line only.
        if ((shape.Column0() | ZeroHalves(Or(shape.rows1to3, shape.rows4to7))) == 3) {
            Idct<W>(a, out_a, stride_a);
            Idct<W>(b, out_b, stride_b);
            return;
        }
        uint8_t* const out[2] = {out_a, out_b};
        const int stride[2] = {stride_a, stride_b};
        IdctBlocks<Wide<V>>(v, shape, out, stride);
    }
}

// The colour conversion, V::kBytes / 2 pixels a step.

template <class V>
struct ChromaTerms {
    V red, green, blue;  // 16-bit lanes
};

// (a * ka + b * kb + 32768) >> 16 for the 16-bit lanes, in order.
template <class V>
inline V Term(V a, V b, int16_t ka, int16_t kb)
{
    const Wide<V> p = Wide<V>::Madd(a, b, ka, kb);
    const V half = V::Splat32(kColorRound);
    // Unpacking and packing within the halves keep the order.
    return PackSigned32To16(simd::ShiftRightArith32<kColorBits>(Add32(p.lo, half)),
                            simd::ShiftRightArith32<kColorBits>(Add32(p.hi, half)));
}

// The colour tables' values for the chroma pairs, with d = 2 C - 255:
// red (kCrToRed dr + 32768) >> 16, blue (kCbToBlue db + 32768) >> 16,
// green (-kCrToGreen dr - kCbToGreen db + 32768) >> 16.
template <class V>
inline ChromaTerms<V> Terms(const uint8_t* cb, const uint8_t* cr)
{
    const V k255 = V::Splat16(255);
    V b = V::WidenBytes(cb), r = V::WidenBytes(cr);
    V db = Sub16(Add16(b, b), k255);
    V dr = Sub16(Add16(r, r), k255);
    return {Term(dr, dr, kCrToRedHalf, kCrToRedRest), Term(dr, db, -kCrToGreen, -kCbToGreen),
            Term(db, db, kCbToBlueHalf, kCbToBlueRest)};
}

// The pixels of the luma samples y (16-bit lanes) and their chroma terms.
template <class V>
inline void StorePixels(V y, V red, V green, V blue, uint8_t* out)
{
    const V zero = V::Zero();
    const V k255 = V::Splat16(255);
    V r = Min16(Max16(Add16(y, red), zero), k255);
    V g = Min16(Max16(Add16(y, green), zero), k255);
    V b = Min16(Max16(Add16(y, blue), zero), k255);
    const auto pixels = Interleave16(Or(r, simd::ShiftLeft16<8>(g)), b);
    Store(out, pixels.first);
    Store(out + V::kBytes, pixels.second);
}

// Each chroma term twice, for two pixels each: lanes 0.. of the pair in
// `first`.
template <class V>
inline void StoreH2(V y0, V y1, const ChromaTerms<V>& t, uint8_t* out)
{
    const auto r = Interleave16(t.red, t.red), g = Interleave16(t.green, t.green), b = Interleave16(t.blue, t.blue);
    StorePixels(y0, r.first, g.first, b.first, out);
    StorePixels(y1, r.second, g.second, b.second, out + 2 * V::kBytes);
}

// The pixels of a step: the luma lanes of a vector.
template <class V>
constexpr int kStep = V::kBytes / 2;

template <class V>
inline void ColorH1(const uint8_t* y, const uint8_t* cb, const uint8_t* cr, uint8_t* out, int pixels)
{
    int x = 0;
    for (; x + kStep<V> <= pixels; x += kStep<V>) {
        ChromaTerms<V> t = Terms<V>(cb + x, cr + x);
        StorePixels(V::WidenBytes(y + x), t.red, t.green, t.blue, out + 4 * x);
    }
    if constexpr (V::kHalves > 1) {
        if (x < pixels) ColorH1<V128>(y + x, cb + x, cr + x, out + 4 * x, pixels - x);
    }
}

template <class V>
inline void ColorH2(const uint8_t* y, const uint8_t* cb, const uint8_t* cr, uint8_t* out, int pixels)
{
    int x = 0;
    for (; x + 2 * kStep<V> <= pixels; x += 2 * kStep<V>) {
        const ChromaTerms<V> t = Terms<V>(cb + x / 2, cr + x / 2);
        StoreH2(V::WidenBytes(y + x), V::WidenBytes(y + x + kStep<V>), t, out + 4 * x);
    }
    if constexpr (V::kHalves > 1) {
        if (x < pixels) ColorH2<V128>(y + x, cb + x / 2, cr + x / 2, out + 4 * x, pixels - x);
    }
}

template <class V>
inline void ColorH1Pair(const uint8_t* y0, const uint8_t* y1, const uint8_t* cb, const uint8_t* cr, uint8_t* out0,
                        uint8_t* out1, int pixels)
{
    int x = 0;
    for (; x + kStep<V> <= pixels; x += kStep<V>) {
        const ChromaTerms<V> t = Terms<V>(cb + x, cr + x);
        StorePixels(V::WidenBytes(y0 + x), t.red, t.green, t.blue, out0 + 4 * x);
        StorePixels(V::WidenBytes(y1 + x), t.red, t.green, t.blue, out1 + 4 * x);
    }
    if constexpr (V::kHalves > 1) {
        if (x < pixels) ColorH1Pair<V128>(y0 + x, y1 + x, cb + x, cr + x, out0 + 4 * x, out1 + 4 * x, pixels - x);
    }
}

template <class V>
inline void ColorH2Pair(const uint8_t* y0, const uint8_t* y1, const uint8_t* cb, const uint8_t* cr, uint8_t* out0,
                        uint8_t* out1, int pixels)
{
    int x = 0;
    for (; x + 2 * kStep<V> <= pixels; x += 2 * kStep<V>) {
        const ChromaTerms<V> t = Terms<V>(cb + x / 2, cr + x / 2);
        StoreH2(V::WidenBytes(y0 + x), V::WidenBytes(y0 + x + kStep<V>), t, out0 + 4 * x);
        StoreH2(V::WidenBytes(y1 + x), V::WidenBytes(y1 + x + kStep<V>), t, out1 + 4 * x);
    }
    if constexpr (V::kHalves > 1) {
        if (x < pixels) {
            ColorH2Pair<V128>(y0 + x, y1 + x, cb + x / 2, cr + x / 2, out0 + 4 * x, out1 + 4 * x, pixels - x);
        }
    }
}

// The byte moves of one vector, per level: the red, green and blue bytes
// of its 4-byte pixels, as consecutive triplets in its low 3/4; and the
// triplets of its low 3/4 as the words 0x00RRGGBB.

#if defined(__aarch64__)
// NEON picks bytes by a table of indices (16 and over give zero).
inline V128 PackRgbx(V128 v)
{
    alignas(16) static constexpr uint8_t kPack[16] = {0, 1, 2, 4, 5, 6, 8, 9, 10, 12, 13, 14, 16, 16, 16, 16};
    return simd::PickBytes(v, V128::Load(kPack));
}

// Each pixel's b, g, r, 0 from the triplets of bytes 0-11.
inline V128 WordsOfTriplets(V128 v)
{
    alignas(16) static constexpr uint8_t kOrder[16] = {2, 1, 0, 16, 5, 4, 3, 16, 8, 7, 6, 16, 11, 10, 9, 16};
    return simd::PickBytes(v, V128::Load(kOrder));
}
#else
// SSE2 has no byte shuffle: masks and shifts drop each pixel's fourth
// byte, in each 64-bit half move the second pixel's three bytes down next
// to the first's, then the upper half's six bytes next to the lower
// half's. (Widening triplets to words is left to the scalar form there.)
inline V128 PackRgbx(V128 v)
{
    const __m128i first = _mm_set_epi32(0, 0x00FFFFFF, 0, 0x00FFFFFF);
    const __m128i second = _mm_set_epi32(0x00FFFFFF, 0, 0x00FFFFFF, 0);
    const __m128i lower_half = _mm_set_epi32(0, 0, -1, -1);
    __m128i sixes = _mm_or_si128(_mm_and_si128(v.v, first), _mm_srli_epi64(_mm_and_si128(v.v, second), 8));
    return {_mm_or_si128(_mm_and_si128(sixes, lower_half), _mm_slli_si128(_mm_srli_si128(sixes, 8), 6))};
}
#endif

#if defined(__x86_64__)
// In each 128-bit half the twelve colour bytes of its four pixels first;
// then the two halves' twelve bytes side by side.
ORCHID_AVX2 inline simd::V256 PackRgbx(simd::V256 v)
{
    const __m256i pack = _mm256_setr_epi8(0, 1, 2, 4, 5, 6, 8, 9, 10, 12, 13, 14, -1, -1, -1, -1,  //
                                          0, 1, 2, 4, 5, 6, 8, 9, 10, 12, 13, 14, -1, -1, -1, -1);
    const __m256i join = _mm256_setr_epi32(0, 1, 2, 4, 5, 6, 7, 7);
    return {_mm256_permutevar8x32_epi32(_mm256_shuffle_epi8(v.v, pack), join)};
}

// Bytes 0-11 to the low half, 12-23 to the high one; then each pixel's
// b, g, r, 0.
ORCHID_AVX2 inline simd::V256 WordsOfTriplets(simd::V256 v)
{
    const __m256i spread = _mm256_setr_epi32(0, 1, 2, 2, 3, 4, 5, 5);
    const __m256i order = _mm256_setr_epi8(2, 1, 0, -1, 5, 4, 3, -1, 8, 7, 6, -1, 11, 10, 9, -1,  //
                                           2, 1, 0, -1, 5, 4, 3, -1, 8, 7, 6, -1, 11, 10, 9, -1);
    return {_mm256_shuffle_epi8(_mm256_permutevar8x32_epi32(v.v, spread), order)};
}
#endif

// The loader's byte moves, V::kBytes / 4 pixels a step, each load and
// store inside the row; the last few pixels go the scalar way. The packing
// of one vector is the level's own (PackRgbx, WordsOfTriplets).
template <class V>
inline void PackTriplets(const uint8_t* rgbx, uint8_t* rgb, int pixels)
{
    constexpr int step = V::kBytes / 4;
    // A store writes kBytes bytes for 3/4 of them: it needs this much room.
    constexpr int room = (V::kBytes + 2) / 3;
    int x = 0;
    for (; x + room <= pixels; x += step) Store(rgb + 3 * x, PackRgbx(V::Load(rgbx + 4 * x)));
    if (x < pixels) PackTripletsScalar(rgbx + 4 * x, rgb + 3 * x, pixels - x);
}

template <class V>
inline void TripletsToWords(const uint8_t* rgb, uint32_t* words, int pixels)
{
    constexpr int step = V::kBytes / 4;
    // A load reads kBytes bytes for 3/4 of them.
    constexpr int room = (V::kBytes + 2) / 3;
    int i = 0;
    for (; i + room <= pixels; i += step) Store(words + i, WordsOfTriplets(V::Load(rgb + 3 * i)));
    if (i < pixels) TripletsToWordsScalar(rgb + 3 * i, words + i, pixels - i);
}

}  // namespace
}  // namespace jpeg_kernels::vector
