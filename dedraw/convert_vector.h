// The 16-bit conversions written once over a vector type of simd/vec.h,
// two registers of 32-bit pixels to one of 16-bit ones; each level's unit
// instantiates them with its own type, the tail with the plain rows.
//
// The packs and unpacks keep to each 128-bit half, so these give pixels in
// memory order only for a one-half type (V128); a wider level must put the
// halves back in order first.
#pragma once

#include <cstdint>

#include "dedraw/convert.h"
#include "simd/vec.h"

namespace dedraw::vector {
namespace {

// 32-bit lanes holding values below 0x10000 -> 16-bit words. The lanes are
// sign-extended from their low half first, so the signed saturating pack
// keeps every bit.
template <class V> inline V Pack32To16(V low, V high)
{
    low = simd::ShiftRightArith32<16>(simd::ShiftLeft32<16>(low));
    high = simd::ShiftRightArith32<16>(simd::ShiftLeft32<16>(high));
    return simd::PackSigned32To16(low, high);
}

// The 5-6-5 word of each pixel: (p >> 8) & 0xF800 | (p >> 5) & 0x07E0 |
// (p >> 3) & 0x001F, the same bits as the shift-and-mask form.
template <class V> inline V To565(V p)
{
    const V r = simd::And(simd::ShiftRightLogical32<8>(p), V::Splat32(0xF800));
    const V g = simd::And(simd::ShiftRightLogical32<5>(p), V::Splat32(0x07E0));
    const V b = simd::And(simd::ShiftRightLogical32<3>(p), V::Splat32(0x001F));
    return simd::Or(simd::Or(r, g), b);
}

template <class V> inline V To555(V p)
{
    const V r = simd::And(simd::ShiftRightLogical32<9>(p), V::Splat32(0x7C00));
    const V g = simd::And(simd::ShiftRightLogical32<6>(p), V::Splat32(0x03E0));
    const V b = simd::And(simd::ShiftRightLogical32<3>(p), V::Splat32(0x001F));
    return simd::Or(simd::Or(r, g), b);
}

template <class V> inline V Expand565(V s)
{
    const V r = simd::ShiftLeft32<8>(simd::And(s, V::Splat32(0xF800)));
    const V g = simd::ShiftLeft32<5>(simd::And(s, V::Splat32(0x07E0)));
    const V b = simd::ShiftLeft32<3>(simd::And(s, V::Splat32(0x001F)));
    return simd::Or(simd::Or(r, g), b);
}

template <class V> inline void Convert32To565Row(const uint32_t* source, uint16_t* target, int count)
{
    static_assert(V::kHalves == 1, "the pack keeps to each half");
    constexpr int kLanes = V::kBytes / 4;
    int x = 0;
    for (; x + 2 * kLanes <= count; x += 2 * kLanes) {
        simd::Store(target + x, Pack32To16(To565(V::Load(source + x)), To565(V::Load(source + x + kLanes))));
    }
    scalar::Convert32To565Row(source + x, target + x, count - x);
}

template <class V> inline void Convert32To555Row(const uint32_t* source, uint16_t* target, int count)
{
    static_assert(V::kHalves == 1, "the pack keeps to each half");
    constexpr int kLanes = V::kBytes / 4;
    int x = 0;
    for (; x + 2 * kLanes <= count; x += 2 * kLanes) {
        simd::Store(target + x, Pack32To16(To555(V::Load(source + x)), To555(V::Load(source + x + kLanes))));
    }
    scalar::Convert32To555Row(source + x, target + x, count - x);
}

template <class V> inline void Convert565To32Row(const uint16_t* source, uint32_t* target, int count)
{
    static_assert(V::kHalves == 1, "the unpacks keep to each half");
    constexpr int kLanes = V::kBytes / 4;
    const V zero = V::Zero();
    int x = 0;
    for (; x + 2 * kLanes <= count; x += 2 * kLanes) {
        const V s = V::Load(source + x);
        simd::Store(target + x, Expand565(simd::UnpackLo16(s, zero)));
        simd::Store(target + x + kLanes, Expand565(simd::UnpackHi16(s, zero)));
    }
    scalar::Convert565To32Row(source + x, target + x, count - x);
}

template <class V> inline void Convert565To555Row(const uint16_t* source, uint16_t* target, int count)
{
    constexpr int kWords = V::kBytes / 2;
    const V blue = V::Splat16(0x001F);
    const V redGreen = V::Splat16(0x7FE0);
    int x = 0;
    for (; x + kWords <= count; x += kWords) {
        const V s = V::Load(source + x);
        simd::Store(target + x, simd::Or(simd::And(s, blue), simd::And(simd::ShiftRightLogical16<1>(s), redGreen)));
    }
    scalar::Convert565To555Row(source + x, target + x, count - x);
}

}  // namespace
}  // namespace dedraw::vector
