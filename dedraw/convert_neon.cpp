// NEON forms of the 16-bit conversions (ARM64): the bodies of
// convert_vector.h over simd/vec_neon.h's V128, eight pixels at a time.
#include "dedraw/convert_vector.h"

namespace dedraw {

namespace neon {

void Convert32To565Row(const uint32_t* source, uint16_t* target, int count)
{
    vector::Convert32To565Row<simd::V128>(source, target, count);
}

void Convert32To555Row(const uint32_t* source, uint16_t* target, int count)
{
    vector::Convert32To555Row<simd::V128>(source, target, count);
}

void Convert565To32Row(const uint16_t* source, uint32_t* target, int count)
{
    vector::Convert565To32Row<simd::V128>(source, target, count);
}

void Convert565To555Row(const uint16_t* source, uint16_t* target, int count)
{
    vector::Convert565To555Row<simd::V128>(source, target, count);
}

}  // namespace neon

}  // namespace dedraw
