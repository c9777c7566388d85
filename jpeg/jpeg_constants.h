// The fixed-point constants of the JPEG pixel kernels, shared by the scalar
// and the SIMD forms: the multipliers, shifts and offsets of the integer
// inverse DCT and of the YCbCr to RGB conversion. Each multiplier is named
// after the real number it stands for.
#pragma once

#include <cstdint>

namespace jpeg_kernels {

// ---- Inverse DCT ----------------------------------------------------------

// The multipliers carry 13 fractional bits: each is its real value times
// 8192, rounded to the nearest integer.
inline constexpr int kIdctConstBits = 13;
// The row pass keeps 2 more fractional bits in its 16-bit outputs than the
// samples have, for the column pass.
inline constexpr int kIdctPassBits = 2;
// The row pass drops the multipliers' bits but keeps those 2.
inline constexpr int kIdctPass1Shift = kIdctConstBits - kIdctPassBits;
// The column pass drops both, and 3 more bits for the transform's factor of
// 1/8.
inline constexpr int kIdctPass2Shift = kIdctConstBits + kIdctPassBits + 3;
// A column whose only nonzero input is v has every output v * kFix_1_0: the
// column pass then reduces to (v + half) >> this.
inline constexpr int kIdctDcShift = kIdctPass2Shift - kIdctConstBits;
// Each shift rounds to nearest: half of its unit is added first.
inline constexpr int32_t kIdctPass1Round = 1 << (kIdctPass1Shift - 1);
inline constexpr int32_t kIdctPass2Round = 1 << (kIdctPass2Shift - 1);
inline constexpr int32_t kIdctDcRound = 1 << (kIdctDcShift - 1);
// Samples are transformed centred on zero; the output adds this back.
inline constexpr int kSampleOffset = 128;

static_assert(kIdctPass1Shift == 11 && kIdctPass2Shift == 18 && kIdctDcShift == 5);
static_assert(kIdctPass1Round == 1024 && kIdctPass2Round == 131072 && kIdctDcRound == 16);

// value x 8192, rounded.
constexpr int32_t IdctFix(double value) { return static_cast<int32_t>(value * (1 << kIdctConstBits) + 0.5); }

// With c(k) = cos(k pi / 16) and s = sqrt(2):
inline constexpr int32_t kFix_1_0 = 8192;
inline constexpr int32_t kFix_0_298631336 = 2446;   // s (-c1 + c3 + c5 - c7)
inline constexpr int32_t kFix_0_390180644 = 3196;   // s (c3 - c5)
inline constexpr int32_t kFix_0_541196100 = 4433;   // s c6
inline constexpr int32_t kFix_0_765366865 = 6270;   // s (c2 - c6)
inline constexpr int32_t kFix_0_899976223 = 7373;   // s (c3 - c7)
inline constexpr int32_t kFix_1_175875602 = 9633;   // s c3
inline constexpr int32_t kFix_1_501321110 = 12299;  // s (c1 + c3 - c5 - c7)
inline constexpr int32_t kFix_1_847759065 = 15137;  // s (c2 + c6)
inline constexpr int32_t kFix_1_961570560 = 16069;  // s (c3 + c5)
inline constexpr int32_t kFix_2_053119869 = 16819;  // s (c1 + c3 - c5 + c7)
inline constexpr int32_t kFix_2_562915447 = 20995;  // s (c1 + c3)
inline constexpr int32_t kFix_3_072711026 = 25172;  // s (c1 + c3 + c5 - c7)

static_assert(kFix_1_0 == IdctFix(1.0));
static_assert(kFix_0_298631336 == IdctFix(0.298631336));
static_assert(kFix_0_390180644 == IdctFix(0.390180644));
static_assert(kFix_0_541196100 == IdctFix(0.541196100));
static_assert(kFix_0_765366865 == IdctFix(0.765366865));
static_assert(kFix_0_899976223 == IdctFix(0.899976223));
static_assert(kFix_1_175875602 == IdctFix(1.175875602));
static_assert(kFix_1_501321110 == IdctFix(1.501321110));
static_assert(kFix_1_847759065 == IdctFix(1.847759065));
static_assert(kFix_1_961570560 == IdctFix(1.961570560));
static_assert(kFix_2_053119869 == IdctFix(2.053119869));
static_assert(kFix_2_562915447 == IdctFix(2.562915447));
static_assert(kFix_3_072711026 == IdctFix(3.072711026));

// The SIMD forms multiply two pairs of 16-bit lanes by two 16-bit
// multipliers and add the products in one instruction (pmaddwd), so there
// every pass output is a sum of input x multiplier terms: the products the
// scalar pass shares between outputs (z1, z5, o1 to o4 there) are multiplied
// out into one multiplier per input and output. Each is the sum of the
// rounded constants the scalar pass applies to that input, not the rounding
// of the real sum, so that both forms compute the same integers modulo
// 2^32; this is why 2260 and 2261 both stand for 0.275899379, and -2259
// for its negative.

// Even part: t2 = c2 * kFix_0_541196100 + c6 * kT2C6,
//            t3 = c2 * kT3C2 + c6 * kFix_0_541196100.
inline constexpr int16_t kT2C6 = kFix_0_541196100 - kFix_1_847759065;
inline constexpr int16_t kT3C2 = kFix_0_541196100 + kFix_0_765366865;
static_assert(kT2C6 == -10704 && kT3C2 == 10703);

// Odd part: uN = c1 * kUNC1 + c3 * kUNC3 + c5 * kUNC5 + c7 * kUNC7.
inline constexpr int16_t kU0C1 = kFix_1_175875602 - kFix_0_899976223;
inline constexpr int16_t kU0C3 = kFix_1_175875602 - kFix_1_961570560;
inline constexpr int16_t kU0C5 = kFix_1_175875602;
inline constexpr int16_t kU0C7 = kFix_0_298631336 - kFix_0_899976223 - kFix_1_961570560 + kFix_1_175875602;
inline constexpr int16_t kU1C1 = kFix_1_175875602 - kFix_0_390180644;
inline constexpr int16_t kU1C3 = kFix_1_175875602 - kFix_2_562915447;
inline constexpr int16_t kU1C5 = kFix_2_053119869 - kFix_2_562915447 - kFix_0_390180644 + kFix_1_175875602;
inline constexpr int16_t kU1C7 = kFix_1_175875602;
inline constexpr int16_t kU2C1 = kFix_1_175875602;
inline constexpr int16_t kU2C3 = kFix_3_072711026 - kFix_2_562915447 - kFix_1_961570560 + kFix_1_175875602;
inline constexpr int16_t kU2C5 = kFix_1_175875602 - kFix_2_562915447;
inline constexpr int16_t kU2C7 = kFix_1_175875602 - kFix_1_961570560;
inline constexpr int16_t kU3C1 = kFix_1_501321110 - kFix_0_899976223 - kFix_0_390180644 + kFix_1_175875602;
inline constexpr int16_t kU3C3 = kFix_1_175875602;
inline constexpr int16_t kU3C5 = kFix_1_175875602 - kFix_0_390180644;
inline constexpr int16_t kU3C7 = kFix_1_175875602 - kFix_0_899976223;

static_assert(kU0C1 == 2260 && kU0C3 == -6436 && kU0C5 == 9633 && kU0C7 == -11363);
static_assert(kU1C1 == 6437 && kU1C3 == -11362 && kU1C5 == 2261 && kU1C7 == 9633);
static_assert(kU2C1 == 9633 && kU2C3 == -2259 && kU2C5 == -11362 && kU2C7 == -6436);
static_assert(kU3C1 == 11363 && kU3C3 == 9633 && kU3C5 == 6437 && kU3C7 == 2260);

// ---- YCbCr to RGB ---------------------------------------------------------

// A chroma sample C enters as d = 2 C - 255 = 2 (C - 127.5), which keeps the
// centre exact in integers. The multipliers carry 16 fractional bits and,
// as d is twice the centred sample, are half the real coefficients.
inline constexpr int kColorBits = 16;
inline constexpr int32_t kColorRound = 1 << (kColorBits - 1);

// real coefficient / 2 x 65536, rounded.
constexpr int32_t ColorFix(double coefficient)
{
    return static_cast<int32_t>(coefficient / 2 * (1 << kColorBits) + 0.5);
}

inline constexpr int32_t kCrToRed = 45941;    // 1.402 / 2
inline constexpr int32_t kCbToBlue = 58065;   // 1.772 / 2
inline constexpr int32_t kCrToGreen = 23401;  // 0.71414 / 2, subtracted
inline constexpr int32_t kCbToGreen = 11277;  // 0.34414 / 2, subtracted

static_assert(kColorRound == 32768);
static_assert(kCrToRed == ColorFix(1.402) && kCbToBlue == ColorFix(1.772));
static_assert(kCrToGreen == ColorFix(0.71414) && kCbToGreen == ColorFix(0.34414));

// The red and blue multipliers do not fit the 16 bits of a SIMD pair
// multiplier: there each goes in two parts applied to the same d, whose
// products the pair multiply adds.
inline constexpr int16_t kCrToRedHalf = kCrToRed / 2;
inline constexpr int16_t kCrToRedRest = kCrToRed - kCrToRedHalf;
inline constexpr int16_t kCbToBlueHalf = kCbToBlue / 2;
inline constexpr int16_t kCbToBlueRest = kCbToBlue - kCbToBlueHalf;

static_assert(kCrToRedHalf == 22970 && kCrToRedRest == 22971);
static_assert(kCbToBlueHalf == 29032 && kCbToBlueRest == 29033);

}  // namespace jpeg_kernels
