#include "dedraw/convert.h"

namespace dedraw {

namespace scalar {

void Convert32To565Row(const uint32_t* source, uint16_t* target, int count)
{
    for (int x = 0; x < count; ++x) {
        uint32_t p = source[x];
        target[x] = static_cast<uint16_t>((((p >> 19) & 0x1F) << 11) | (((p >> 10) & 0x3F) << 5) | ((p >> 3) & 0x1F));
    }
}

void Convert32To555Row(const uint32_t* source, uint16_t* target, int count)
{
    for (int x = 0; x < count; ++x) {
        uint32_t p = source[x];
        target[x] = static_cast<uint16_t>((((p >> 19) & 0x1F) << 10) | (((p >> 11) & 0x1F) << 5) | ((p >> 3) & 0x1F));
    }
}

void Convert565To32Row(const uint16_t* source, uint32_t* target, int count)
{
    for (int x = 0; x < count; ++x) {
        uint32_t s = source[x];
        target[x] = ((s & 0xF800) << 8) | ((s & 0x07E0) << 5) | ((s & 0x001F) << 3);
    }
}

void Convert565To555Row(const uint16_t* source, uint16_t* target, int count)
{
    for (int x = 0; x < count; ++x) {
        uint32_t s = source[x];
        target[x] = static_cast<uint16_t>((s & 0x001F) | ((s >> 1) & 0x7FE0));
    }
}

}  // namespace scalar

void Convert32To24Row(const uint32_t* source, uint8_t* target, int count)
{
    for (int x = 0; x < count; ++x) {
        uint32_t p = source[x];
        target[3 * x] = static_cast<uint8_t>(p & 0xFF);
        target[3 * x + 1] = static_cast<uint8_t>((p >> 8) & 0xFF);
        target[3 * x + 2] = static_cast<uint8_t>((p >> 16) & 0xFF);
    }
}

void Convert565To24Row(const uint16_t* source, uint8_t* target, int count)
{
    for (int x = 0; x < count; ++x) {
        uint32_t s = source[x];
        target[3 * x] = static_cast<uint8_t>((s << 3) & 0xF8);
        target[3 * x + 1] = static_cast<uint8_t>((s >> 3) & 0xFC);
        target[3 * x + 2] = static_cast<uint8_t>((s >> 8) & 0xF8);
    }
}

namespace {

const ConvertKernels kScalar = {"scalar", scalar::Convert32To565Row, scalar::Convert32To555Row,
                                scalar::Convert565To32Row, scalar::Convert565To555Row};
#if defined(__x86_64__)
// The conversions have no AVX2 forms: the AVX2 level uses the SSE2 ones.
const ConvertKernels kSse2 = {"sse2", sse2::Convert32To565Row, sse2::Convert32To555Row, sse2::Convert565To32Row,
                              sse2::Convert565To555Row};
#endif
#if defined(__wasm_simd128__)
const ConvertKernels kWasm128 = {"wasm-simd128", sse2::Convert32To565Row, sse2::Convert32To555Row,
                                 sse2::Convert565To32Row, sse2::Convert565To555Row};
#endif

}  // namespace

const ConvertKernels& Kernels(simd::Level level)
{
    if (!simd::Supported(level)) level = simd::Best();
#if defined(__x86_64__)
    if (level == simd::Level::Avx2 || level == simd::Level::Sse2) return kSse2;
#endif
#if defined(__wasm_simd128__)
    if (level == simd::Level::Wasm128) return kWasm128;
#endif
    return kScalar;
}

const ConvertKernels& Active() { return Kernels(simd::Active()); }

void Convert32To565Row(const uint32_t* source, uint16_t* target, int count)
{
    Active().convert32To565(source, target, count);
}

void Convert32To555Row(const uint32_t* source, uint16_t* target, int count)
{
    Active().convert32To555(source, target, count);
}

void Convert565To32Row(const uint16_t* source, uint32_t* target, int count)
{
    Active().convert565To32(source, target, count);
}

void Convert565To555Row(const uint16_t* source, uint16_t* target, int count)
{
    Active().convert565To555(source, target, count);
}

}  // namespace dedraw
