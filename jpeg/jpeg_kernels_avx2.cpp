// The AVX2 level of the pixel kernels, called only after a run-time check
// of the CPU: the vector forms over V256, two blocks side by side in the
// transform of a pair and sixteen pixels a step in the colour conversion.
// A block on its own stays in 128 bits, its dense passes taking the eight
// 32-bit lanes of a row in one 256-bit vector.
#include <cstdint>
#include <type_traits>

#include "jpeg/jpeg_kernels.h"
#include "simd/vec_x86.h"

ORCHID_AVX2_BEGIN
#include "jpeg/jpeg_kernels_vector.h"
ORCHID_AVX2_END

namespace jpeg_kernels {

using simd::V256;

ORCHID_AVX2_KERNEL void IdctAvx2(const int16_t* coef, uint8_t* out, int stride)
{
    vector::Idct<vector::Wide256>(coef, out, stride);
}

ORCHID_AVX2_KERNEL void IdctPairAvx2(const int16_t* a, uint8_t* out_a, int stride_a, const int16_t* b,
                                     uint8_t* out_b, int stride_b)
{
    vector::IdctPair<V256, vector::Wide256>(a, out_a, stride_a, b, out_b, stride_b);
}

ORCHID_AVX2_KERNEL void ColorH1Avx2(const uint8_t* y, const uint8_t* cb, const uint8_t* cr, uint8_t* out,
                                    int pixels, const ColorTables*)
{
    vector::ColorH1<V256>(y, cb, cr, out, pixels);
}

ORCHID_AVX2_KERNEL void ColorH2Avx2(const uint8_t* y, const uint8_t* cb, const uint8_t* cr, uint8_t* out,
                                    int pixels, const ColorTables*)
{
    vector::ColorH2<V256>(y, cb, cr, out, pixels);
}

ORCHID_AVX2_KERNEL void ColorH1PairAvx2(const uint8_t* y0, const uint8_t* y1, const uint8_t* cb, const uint8_t* cr,
                                        uint8_t* out0, uint8_t* out1, int pixels, const ColorTables*)
{
    vector::ColorH1Pair<V256>(y0, y1, cb, cr, out0, out1, pixels);
}

ORCHID_AVX2_KERNEL void ColorH2PairAvx2(const uint8_t* y0, const uint8_t* y1, const uint8_t* cb, const uint8_t* cr,
                                        uint8_t* out0, uint8_t* out1, int pixels, const ColorTables*)
{
    vector::ColorH2Pair<V256>(y0, y1, cb, cr, out0, out1, pixels);
}

ORCHID_AVX2_KERNEL void PackTripletsAvx2(const uint8_t* rgbx, uint8_t* rgb, int pixels)
{
    vector::PackTriplets<V256>(rgbx, rgb, pixels);
}

ORCHID_AVX2_KERNEL void TripletsToWordsAvx2(const uint8_t* rgb, uint32_t* words, int pixels)
{
    vector::TripletsToWords<V256>(rgb, words, pixels);
}

}  // namespace jpeg_kernels
