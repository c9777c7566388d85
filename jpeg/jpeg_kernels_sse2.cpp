// The SSE2 level of the pixel kernels (SSE2 is the x86-64 baseline; on
// WebAssembly the same forms compile to its 128-bit vector instructions):
// the vector forms over V128.
#include "jpeg/jpeg_kernels_vector.h"

namespace jpeg_kernels {

using simd::V128;
using Wide128 = vector::Wide<V128>;

ORCHID_KERNEL void IdctSse2(const int16_t* coef, uint8_t* out, int stride) { vector::Idct<Wide128>(coef, out, stride); }

// 128-bit vectors hold one block: the pair is two transforms.
ORCHID_KERNEL void IdctPairSse2(const int16_t* a, uint8_t* out_a, int stride_a, const int16_t* b, uint8_t* out_b, int stride_b)
{
    vector::IdctPair<V128, Wide128>(a, out_a, stride_a, b, out_b, stride_b);
}

ORCHID_KERNEL void ColorH1Sse2(const uint8_t* y, const uint8_t* cb, const uint8_t* cr, uint8_t* out, int pixels,
                 const ColorTables*)
{
    vector::ColorH1<V128>(y, cb, cr, out, pixels);
}

ORCHID_KERNEL void ColorH2Sse2(const uint8_t* y, const uint8_t* cb, const uint8_t* cr, uint8_t* out, int pixels,
                 const ColorTables*)
{
    vector::ColorH2<V128>(y, cb, cr, out, pixels);
}

ORCHID_KERNEL void ColorH1PairSse2(const uint8_t* y0, const uint8_t* y1, const uint8_t* cb, const uint8_t* cr, uint8_t* out0,
                     uint8_t* out1, int pixels, const ColorTables*)
{
    vector::ColorH1Pair<V128>(y0, y1, cb, cr, out0, out1, pixels);
}

ORCHID_KERNEL void ColorH2PairSse2(const uint8_t* y0, const uint8_t* y1, const uint8_t* cb, const uint8_t* cr, uint8_t* out0,
                     uint8_t* out1, int pixels, const ColorTables*)
{
    vector::ColorH2Pair<V128>(y0, y1, cb, cr, out0, out1, pixels);
}

ORCHID_KERNEL void PackTripletsSse2(const uint8_t* rgbx, uint8_t* rgb, int pixels) { vector::PackTriplets<V128>(rgbx, rgb, pixels); }

}  // namespace jpeg_kernels
