// Scalar reference forms of the pixel kernels, and the run-time choice
// between them and the SIMD forms.
//
// The inverse DCT is the Loeffler-Ligtenberg-Moschytz integer transform with
// 13 fractional bits in its constants and 2 extra bits kept between the
// passes, rows first; its constants are in jpeg_constants.h. All sums and
// products are taken modulo 2^32 and every pass-1 output is kept to 16 bits,
// so coefficients of any size give defined results that the SIMD forms
// reproduce exactly.
#include "jpeg/jpeg_kernels.h"

#include "simd/chooser.h"

namespace jpeg_kernels {

void FillColorTables(ColorTables* t)
{
    for (int i = 0; i < 256; ++i) {
        int d = 2 * i - 255;
        t->crr[i] = (kCrToRed * d + kColorRound) >> kColorBits;
        t->cbb[i] = (kCbToBlue * d + kColorRound) >> kColorBits;
        t->crg[i] = -kCrToGreen * d;
        t->cbg[i] = -kCbToGreen * d + kColorRound;
    }
}

namespace {

inline uint8_t Clamp255(int32_t v)
{
    return static_cast<uint8_t>(v < 0 ? 0 : (v > 255 ? 255 : v));
}

// A constant as a factor of the modulo-2^32 arithmetic.
constexpr uint32_t U(int32_t k) { return static_cast<uint32_t>(k); }

// One 8-point pass. c[] holds the inputs (sign-extended to 32 bits); x[]
// receives the eight outputs before rounding, in output order.
inline void Idct8(const int32_t* c, uint32_t* x)
{
    const uint32_t c0 = static_cast<uint32_t>(c[0]), c1 = static_cast<uint32_t>(c[1]);
    const uint32_t c2 = static_cast<uint32_t>(c[2]), c3 = static_cast<uint32_t>(c[3]);
    const uint32_t c4 = static_cast<uint32_t>(c[4]), c5 = static_cast<uint32_t>(c[5]);
    const uint32_t c6 = static_cast<uint32_t>(c[6]), c7 = static_cast<uint32_t>(c[7]);

    uint32_t z1 = (c2 + c6) * U(kFix_0_541196100);
    uint32_t t2 = z1 - c6 * U(kFix_1_847759065);
    uint32_t t3 = z1 + c2 * U(kFix_0_765366865);
    uint32_t t0 = (c0 + c4) * U(kFix_1_0);
    uint32_t t1 = (c0 - c4) * U(kFix_1_0);
    uint32_t t10 = t0 + t3, t13 = t0 - t3, t11 = t1 + t2, t12 = t1 - t2;

    uint32_t z5 = (c1 + c3 + c5 + c7) * U(kFix_1_175875602);
    uint32_t o1 = (c7 + c1) * U(-kFix_0_899976223);
    uint32_t o2 = (c5 + c3) * U(-kFix_2_562915447);
    uint32_t o3 = (c7 + c3) * U(-kFix_1_961570560) + z5;
    uint32_t o4 = (c1 + c5) * U(-kFix_0_390180644) + z5;
    uint32_t u0 = c7 * U(kFix_0_298631336) + o1 + o3;
    uint32_t u1 = c5 * U(kFix_2_053119869) + o2 + o4;
    uint32_t u2 = c3 * U(kFix_3_072711026) + o2 + o3;
    uint32_t u3 = c1 * U(kFix_1_501321110) + o1 + o4;

    x[0] = t10 + u3;
    x[7] = t10 - u3;
    x[1] = t11 + u2;
    x[6] = t11 - u2;
    x[2] = t12 + u1;
    x[5] = t12 - u1;
    x[3] = t13 + u0;
    x[4] = t13 - u0;
}

}  // namespace

void IdctScalar(const int16_t* coef, uint8_t* out, int stride)
{
    int16_t ws[64];
    int32_t c[8];
    uint32_t x[8];

    for (int r = 0; r < 8; ++r) {
        const int16_t* in = coef + r * 8;
        int16_t* w = ws + r * 8;
        if ((in[1] | in[2] | in[3] | in[4] | in[5] | in[6] | in[7]) == 0) {
            int16_t dc = static_cast<int16_t>(static_cast<uint32_t>(in[0]) * (1u << kIdctPassBits));
            for (int i = 0; i < 8; ++i) w[i] = dc;
            continue;
        }
        for (int i = 0; i < 8; ++i) c[i] = in[i];
        Idct8(c, x);
        for (int i = 0; i < 8; ++i) {
            w[i] = static_cast<int16_t>(static_cast<int32_t>(x[i] + U(kIdctPass1Round)) >> kIdctPass1Shift);
        }
    }

    for (int col = 0; col < 8; ++col) {
        const int16_t* in = ws + col;
        if ((in[8] | in[16] | in[24] | in[32] | in[40] | in[48] | in[56]) == 0) {
            uint8_t v = Clamp255(((in[0] + kIdctDcRound) >> kIdctDcShift) + kSampleOffset);
            for (int r = 0; r < 8; ++r) out[r * stride + col] = v;
            continue;
        }
        for (int i = 0; i < 8; ++i) c[i] = in[i * 8];
        Idct8(c, x);
        for (int r = 0; r < 8; ++r) {
            out[r * stride + col] = Clamp255((static_cast<int32_t>(x[r] + U(kIdctPass2Round)) >> kIdctPass2Shift) +
                                             kSampleOffset);
        }
    }
}

void IdctPairScalar(const int16_t* a, uint8_t* out_a, int stride_a, const int16_t* b, uint8_t* out_b, int stride_b)
{
    IdctScalar(a, out_a, stride_a);
    IdctScalar(b, out_b, stride_b);
}

namespace {

inline void ColorPixel(int y, int cb, int cr, uint8_t* out, const ColorTables* t)
{
    out[0] = Clamp255(y + t->crr[cr]);
    out[1] = Clamp255(y + ((t->crg[cr] + t->cbg[cb]) >> kColorBits));
    out[2] = Clamp255(y + t->cbb[cb]);
}

}  // namespace

void ColorH1Scalar(const uint8_t* y, const uint8_t* cb, const uint8_t* cr, uint8_t* out, int pixels,
                   const ColorTables* t)
{
    for (int x = 0; x < pixels; ++x) ColorPixel(y[x], cb[x], cr[x], out + 4 * x, t);
}

void ColorH2Scalar(const uint8_t* y, const uint8_t* cb, const uint8_t* cr, uint8_t* out, int pixels,
                   const ColorTables* t)
{
    for (int x = 0; x < pixels; ++x) ColorPixel(y[x], cb[x >> 1], cr[x >> 1], out + 4 * x, t);
}

void ColorH1PairScalar(const uint8_t* y0, const uint8_t* y1, const uint8_t* cb, const uint8_t* cr, uint8_t* out0,
                       uint8_t* out1, int pixels, const ColorTables* t)
{
    ColorH1Scalar(y0, cb, cr, out0, pixels, t);
    ColorH1Scalar(y1, cb, cr, out1, pixels, t);
}

void ColorH2PairScalar(const uint8_t* y0, const uint8_t* y1, const uint8_t* cb, const uint8_t* cr, uint8_t* out0,
                       uint8_t* out1, int pixels, const ColorTables* t)
{
    ColorH2Scalar(y0, cb, cr, out0, pixels, t);
    ColorH2Scalar(y1, cb, cr, out1, pixels, t);
}

void PackTripletsScalar(const uint8_t* rgbx, uint8_t* rgb, int pixels)
{
    for (int x = 0; x < pixels; ++x) {
        rgb[3 * x + 0] = rgbx[4 * x + 0];
        rgb[3 * x + 1] = rgbx[4 * x + 1];
        rgb[3 * x + 2] = rgbx[4 * x + 2];
    }
}

void TripletsToWordsScalar(const uint8_t* rgb, uint32_t* words, int pixels)
{
    for (int i = 0; i < pixels; ++i, rgb += 3) {
        words[i] = (static_cast<uint32_t>(rgb[0]) << 16) | (static_cast<uint32_t>(rgb[1]) << 8) | rgb[2];
    }
}

namespace {

constexpr Kernels kScalar = {IdctScalar,        IdctPairScalar,    ColorH1Scalar,      ColorH2Scalar,
                             ColorH1PairScalar, ColorH2PairScalar, PackTripletsScalar, TripletsToWordsScalar};
#if defined(__x86_64__) || defined(__wasm_simd128__)
// SSE2 has no byte shuffle: triplets are packed with masks and shifts, and
// widening them to words is left to the scalar form.
constexpr Kernels kSse2 = {IdctSse2,        IdctPairSse2,    ColorH1Sse2,     ColorH2Sse2,
                           ColorH1PairSse2, ColorH2PairSse2, PackTripletsSse2};
#endif
#if defined(__x86_64__)
constexpr Kernels kAvx2 = {IdctAvx2,        IdctPairAvx2,    ColorH1Avx2,      ColorH2Avx2,
                           ColorH1PairAvx2, ColorH2PairAvx2, PackTripletsAvx2, TripletsToWordsAvx2};
#endif
#if defined(__aarch64__)
constexpr Kernels kNeon = {IdctNeon,        IdctPairNeon,    ColorH1Neon,      ColorH2Neon,
                           ColorH1PairNeon, ColorH2PairNeon, PackTripletsNeon, TripletsToWordsNeon};
#endif

}  // namespace

const Kernels& KernelsFor(simd::Level level)
{
    static const simd::Chooser<Kernels, &Kernels::idct, &Kernels::idctPair, &Kernels::colorH1, &Kernels::colorH2,
                            &Kernels::colorH1Pair, &Kernels::colorH2Pair, &Kernels::packTriplets,
                            &Kernels::tripletsToWords>
        chooser({
            .scalar = &kScalar,
#if defined(__x86_64__)
            .sse2 = &kSse2,
            .avx2 = &kAvx2,
#endif
#if defined(__wasm_simd128__)
            // The SSE2 forms, as WebAssembly vector instructions.
            .wasm128 = &kSse2,
#endif
#if defined(__aarch64__)
            .neon = &kNeon,
#endif
        });
    return chooser.For(level);
}

const Kernels& Active() { return KernelsFor(simd::Active()); }

}  // namespace jpeg_kernels
