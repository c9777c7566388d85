// SSE2 forms of the 16-bit conversions (SSE2 is the x86-64 baseline): eight
// pixels at a time, the tail with the plain rows.
#include <emmintrin.h>

#include "dedraw/convert.h"

namespace dedraw {

namespace sse2 {

namespace {

// Four 32-bit lanes holding values below 0x10000 -> eight 16-bit words.
// The lanes are sign-extended from their low half first, so the signed
// saturating pack keeps every bit.
inline __m128i Pack32To16(__m128i low, __m128i high)
{
    low = _mm_srai_epi32(_mm_slli_epi32(low, 16), 16);
    high = _mm_srai_epi32(_mm_slli_epi32(high, 16), 16);
    return _mm_packs_epi32(low, high);
}

// The 5-6-5 word of each pixel: (p >> 8) & 0xF800 | (p >> 5) & 0x07E0 |
// (p >> 3) & 0x001F, the same bits as the shift-and-mask form.
inline __m128i To565(__m128i p)
{
    __m128i r = _mm_and_si128(_mm_srli_epi32(p, 8), _mm_set1_epi32(0xF800));
    __m128i g = _mm_and_si128(_mm_srli_epi32(p, 5), _mm_set1_epi32(0x07E0));
    __m128i b = _mm_and_si128(_mm_srli_epi32(p, 3), _mm_set1_epi32(0x001F));
    return _mm_or_si128(_mm_or_si128(r, g), b);
}

inline __m128i To555(__m128i p)
{
    __m128i r = _mm_and_si128(_mm_srli_epi32(p, 9), _mm_set1_epi32(0x7C00));
    __m128i g = _mm_and_si128(_mm_srli_epi32(p, 6), _mm_set1_epi32(0x03E0));
    __m128i b = _mm_and_si128(_mm_srli_epi32(p, 3), _mm_set1_epi32(0x001F));
    return _mm_or_si128(_mm_or_si128(r, g), b);
}

inline __m128i Expand565(__m128i s)
{
    __m128i r = _mm_slli_epi32(_mm_and_si128(s, _mm_set1_epi32(0xF800)), 8);
    __m128i g = _mm_slli_epi32(_mm_and_si128(s, _mm_set1_epi32(0x07E0)), 5);
    __m128i b = _mm_slli_epi32(_mm_and_si128(s, _mm_set1_epi32(0x001F)), 3);
    return _mm_or_si128(_mm_or_si128(r, g), b);
}

}  // namespace

void Convert32To565Row(const uint32_t* source, uint16_t* target, int count)
{
    int x = 0;
    for (; x + 8 <= count; x += 8) {
        __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(source + x));
        __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(source + x + 4));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(target + x), Pack32To16(To565(a), To565(b)));
    }
    scalar::Convert32To565Row(source + x, target + x, count - x);
}

void Convert32To555Row(const uint32_t* source, uint16_t* target, int count)
{
    int x = 0;
    for (; x + 8 <= count; x += 8) {
        __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(source + x));
        __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(source + x + 4));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(target + x), Pack32To16(To555(a), To555(b)));
    }
    scalar::Convert32To555Row(source + x, target + x, count - x);
}

void Convert565To32Row(const uint16_t* source, uint32_t* target, int count)
{
    int x = 0;
    const __m128i zero = _mm_setzero_si128();
    for (; x + 8 <= count; x += 8) {
        __m128i s = _mm_loadu_si128(reinterpret_cast<const __m128i*>(source + x));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(target + x), Expand565(_mm_unpacklo_epi16(s, zero)));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(target + x + 4), Expand565(_mm_unpackhi_epi16(s, zero)));
    }
    scalar::Convert565To32Row(source + x, target + x, count - x);
}

void Convert565To555Row(const uint16_t* source, uint16_t* target, int count)
{
    int x = 0;
    const __m128i blue = _mm_set1_epi16(0x001F);
    const __m128i redGreen = _mm_set1_epi16(0x7FE0);
    for (; x + 8 <= count; x += 8) {
        __m128i s = _mm_loadu_si128(reinterpret_cast<const __m128i*>(source + x));
        __m128i v = _mm_or_si128(_mm_and_si128(s, blue), _mm_and_si128(_mm_srli_epi16(s, 1), redGreen));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(target + x), v);
    }
    scalar::Convert565To555Row(source + x, target + x, count - x);
}

}  // namespace sse2

}  // namespace dedraw
