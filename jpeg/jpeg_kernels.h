// The pixel kernels of the JPEG decoder: the integer inverse DCT and the
// YCbCr to RGB conversion of one line, and the loader's byte moves. Each
// exists as a plain scalar reference and in SIMD forms, one set per SIMD
// level; all forms give identical bytes for every input.
#pragma once

#include <cstdint>

#include "jpeg/jpeg_constants.h"
#include "simd/simd.h"

namespace jpeg_kernels {

// Colour tables indexed by a chroma sample (0..255), filled by
// FillColorTables: Cr to red, Cb to blue, Cr to green, Cb to green.
struct ColorTables {
    int32_t crr[256];
    int32_t cbb[256];
    int32_t crg[256];
    int32_t cbg[256];
};
void FillColorTables(ColorTables* t);

// Inverse DCT of one block of dequantised coefficients (natural order) into
// 8 x 8 samples, row r at out + r * stride.
using IdctFn = void (*)(const int16_t* coef, uint8_t* out, int stride);

// The inverse DCT of two blocks: a's samples at out_a, b's at out_b. Where
// vectors hold two blocks this costs little more than one.
using IdctPairFn = void (*)(const int16_t* a, uint8_t* out_a, int stride_a, const int16_t* b, uint8_t* out_b,
                            int stride_b);

// The one sample value of a block whose AC coefficients are all zero.
inline uint8_t DcOnlySample(int16_t dc)
{
    // Row pass, kept to 16 bits.
    int16_t row = static_cast<int16_t>(static_cast<uint32_t>(dc) * (1u << kIdctPassBits));
    // Column pass.
    int v = ((row + kIdctDcRound) >> kIdctDcShift) + kSampleOffset;
    return static_cast<uint8_t>(v < 0 ? 0 : (v > 255 ? 255 : v));
}

// Converts `pixels` pixels of one line to 4-byte red, green, blue, 0 pixels.
// H1: pixel x takes chroma sample x; H2: chroma sample x / 2. `pixels` is a
// multiple of 8 (H1) or 16 (H2).
using ColorFn = void (*)(const uint8_t* y, const uint8_t* cb, const uint8_t* cr, uint8_t* out,
                         int pixels, const ColorTables* t);

// Two lines that share one chroma row (vertically subsampled chroma): each
// pixel as ColorFn makes it, line 0 from y0 into out0, line 1 from y1 into
// out1; the chroma terms are computed once for both.
using ColorPairFn = void (*)(const uint8_t* y0, const uint8_t* y1, const uint8_t* cb, const uint8_t* cr,
                             uint8_t* out0, uint8_t* out1, int pixels, const ColorTables* t);

// The loader's byte moves. PackTriplets: the red, green and blue bytes of
// `pixels` 4-byte pixels, as consecutive triplets. TripletsToWords:
// `pixels` triplets (r, g, b) to the 32-bit words 0x00RRGGBB.
using PackFn = void (*)(const uint8_t* rgbx, uint8_t* rgb, int pixels);
using WordsFn = void (*)(const uint8_t* rgb, uint32_t* words, int pixels);

// The kernels of one level (see simd/chooser.h): a level's own table fills
// the entries it does better, the rest fall through to the level below.
struct Kernels {
    IdctFn idct = nullptr;
    IdctPairFn idctPair = nullptr;
    ColorFn colorH1 = nullptr;
    ColorFn colorH2 = nullptr;
    ColorPairFn colorH1Pair = nullptr;
    ColorPairFn colorH2Pair = nullptr;
    PackFn packTriplets = nullptr;
    WordsFn tripletsToWords = nullptr;
};

// The kernels of a level; a level the CPU lacks gives those of the best it
// has.
const Kernels& KernelsFor(simd::Level level);
// The kernels of the level in use (simd::Active()), which a decoder takes
// when it is made.
const Kernels& Active();

// The individual forms, for tests.
void IdctScalar(const int16_t* coef, uint8_t* out, int stride);
void IdctPairScalar(const int16_t* a, uint8_t* out_a, int stride_a, const int16_t* b, uint8_t* out_b, int stride_b);
void ColorH1Scalar(const uint8_t* y, const uint8_t* cb, const uint8_t* cr, uint8_t* out, int pixels,
                   const ColorTables* t);
void ColorH2Scalar(const uint8_t* y, const uint8_t* cb, const uint8_t* cr, uint8_t* out, int pixels,
                   const ColorTables* t);
void ColorH1PairScalar(const uint8_t* y0, const uint8_t* y1, const uint8_t* cb, const uint8_t* cr, uint8_t* out0,
                       uint8_t* out1, int pixels, const ColorTables* t);
void ColorH2PairScalar(const uint8_t* y0, const uint8_t* y1, const uint8_t* cb, const uint8_t* cr, uint8_t* out0,
                       uint8_t* out1, int pixels, const ColorTables* t);
void PackTripletsScalar(const uint8_t* rgbx, uint8_t* rgb, int pixels);
void TripletsToWordsScalar(const uint8_t* rgb, uint32_t* words, int pixels);
#if defined(__x86_64__) || defined(__wasm_simd128__)
// On WebAssembly the SSE2 forms compile to its 128-bit vector instructions.
void IdctSse2(const int16_t* coef, uint8_t* out, int stride);
void IdctPairSse2(const int16_t* a, uint8_t* out_a, int stride_a, const int16_t* b, uint8_t* out_b, int stride_b);
void ColorH1Sse2(const uint8_t* y, const uint8_t* cb, const uint8_t* cr, uint8_t* out, int pixels,
                 const ColorTables* t);
void ColorH2Sse2(const uint8_t* y, const uint8_t* cb, const uint8_t* cr, uint8_t* out, int pixels,
                 const ColorTables* t);
void ColorH1PairSse2(const uint8_t* y0, const uint8_t* y1, const uint8_t* cb, const uint8_t* cr, uint8_t* out0,
                     uint8_t* out1, int pixels, const ColorTables* t);
void ColorH2PairSse2(const uint8_t* y0, const uint8_t* y1, const uint8_t* cb, const uint8_t* cr, uint8_t* out0,
                     uint8_t* out1, int pixels, const ColorTables* t);
void PackTripletsSse2(const uint8_t* rgbx, uint8_t* rgb, int pixels);
#endif
#if defined(__x86_64__)
// Only on CPUs with AVX2 (simd::Supported(simd::Level::Avx2)).
void IdctAvx2(const int16_t* coef, uint8_t* out, int stride);
void IdctPairAvx2(const int16_t* a, uint8_t* out_a, int stride_a, const int16_t* b, uint8_t* out_b, int stride_b);
void ColorH1Avx2(const uint8_t* y, const uint8_t* cb, const uint8_t* cr, uint8_t* out, int pixels,
                 const ColorTables* t);
void ColorH2Avx2(const uint8_t* y, const uint8_t* cb, const uint8_t* cr, uint8_t* out, int pixels,
                 const ColorTables* t);
void ColorH1PairAvx2(const uint8_t* y0, const uint8_t* y1, const uint8_t* cb, const uint8_t* cr, uint8_t* out0,
                     uint8_t* out1, int pixels, const ColorTables* t);
void ColorH2PairAvx2(const uint8_t* y0, const uint8_t* y1, const uint8_t* cb, const uint8_t* cr, uint8_t* out0,
                     uint8_t* out1, int pixels, const ColorTables* t);
void PackTripletsAvx2(const uint8_t* rgbx, uint8_t* rgb, int pixels);
void TripletsToWordsAvx2(const uint8_t* rgb, uint32_t* words, int pixels);
#endif
#if defined(__aarch64__)
void IdctNeon(const int16_t* coef, uint8_t* out, int stride);
void IdctPairNeon(const int16_t* a, uint8_t* out_a, int stride_a, const int16_t* b, uint8_t* out_b, int stride_b);
void ColorH1Neon(const uint8_t* y, const uint8_t* cb, const uint8_t* cr, uint8_t* out, int pixels,
                 const ColorTables* t);
void ColorH2Neon(const uint8_t* y, const uint8_t* cb, const uint8_t* cr, uint8_t* out, int pixels,
                 const ColorTables* t);
void ColorH1PairNeon(const uint8_t* y0, const uint8_t* y1, const uint8_t* cb, const uint8_t* cr, uint8_t* out0,
                     uint8_t* out1, int pixels, const ColorTables* t);
void ColorH2PairNeon(const uint8_t* y0, const uint8_t* y1, const uint8_t* cb, const uint8_t* cr, uint8_t* out0,
                     uint8_t* out1, int pixels, const ColorTables* t);
void PackTripletsNeon(const uint8_t* rgbx, uint8_t* rgb, int pixels);
void TripletsToWordsNeon(const uint8_t* rgb, uint32_t* words, int pixels);
#endif

}  // namespace jpeg_kernels
