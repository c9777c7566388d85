// The NEON level of the pixel kernels (ARM64): the vector forms over
// simd/vec_neon.h's V128, one block at a time as at SSE2; NEON's byte
// table look-up gives the loader's byte moves both ways.
#include "jpeg/jpeg_kernels_vector.h"

namespace jpeg_kernels {

using simd::V128;
using Wide128 = vector::Wide<V128>;

ORCHID_KERNEL void IdctNeon(const int16_t* coef, uint8_t* out, int stride) { vector::Idct<Wide128>(coef, out, stride); }

ORCHID_KERNEL void IdctPairNeon(const int16_t* a, uint8_t* out_a, int stride_a, const int16_t* b, uint8_t* out_b,
                                int stride_b)
{
    vector::IdctPair<V128, Wide128>(a, out_a, stride_a, b, out_b, stride_b);
}

ORCHID_KERNEL void ColorH1Neon(const uint8_t* y, const uint8_t* cb, const uint8_t* cr, uint8_t* out, int pixels,
                               const ColorTables*)
{
    vector::ColorH1<V128>(y, cb, cr, out, pixels);
}

ORCHID_KERNEL void ColorH2Neon(const uint8_t* y, const uint8_t* cb, const uint8_t* cr, uint8_t* out, int pixels,
                               const ColorTables*)
{
    vector::ColorH2<V128>(y, cb, cr, out, pixels);
}

ORCHID_KERNEL void ColorH1PairNeon(const uint8_t* y0, const uint8_t* y1, const uint8_t* cb, const uint8_t* cr,
                                   uint8_t* out0, uint8_t* out1, int pixels, const ColorTables*)
{
    vector::ColorH1Pair<V128>(y0, y1, cb, cr, out0, out1, pixels);
}

ORCHID_KERNEL void ColorH2PairNeon(const uint8_t* y0, const uint8_t* y1, const uint8_t* cb, const uint8_t* cr,
                                   uint8_t* out0, uint8_t* out1, int pixels, const ColorTables*)
{
    vector::ColorH2Pair<V128>(y0, y1, cb, cr, out0, out1, pixels);
}

ORCHID_KERNEL void PackTripletsNeon(const uint8_t* rgbx, uint8_t* rgb, int pixels)
{
    vector::PackTriplets<V128>(rgbx, rgb, pixels);
}

ORCHID_KERNEL void TripletsToWordsNeon(const uint8_t* rgb, uint32_t* words, int pixels)
{
    vector::TripletsToWords<V128>(rgb, words, pixels);
}

}  // namespace jpeg_kernels
