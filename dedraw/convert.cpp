#include "dedraw/convert.h"

#include "simd/chooser.h"

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

constexpr Kernels kScalar = {scalar::Convert32To565Row, scalar::Convert32To555Row, scalar::Convert565To32Row,
                             scalar::Convert565To555Row};
#if defined(__x86_64__) || defined(__wasm_simd128__)
constexpr Kernels kSse2 = {sse2::Convert32To565Row, sse2::Convert32To555Row, sse2::Convert565To32Row,
                           sse2::Convert565To555Row};
#endif
#if defined(__aarch64__)
constexpr Kernels kNeon = {neon::Convert32To565Row, neon::Convert32To555Row, neon::Convert565To32Row,
                           neon::Convert565To555Row};
#endif

// The conversions have no AVX2 forms: the AVX2 level takes the SSE2 ones.

}  // namespace

const Kernels& KernelsFor(simd::Level level)
{
    static const simd::Chooser<Kernels, &Kernels::convert32To565, &Kernels::convert32To555, &Kernels::convert565To32,
                            &Kernels::convert565To555>
        chooser({
            .scalar = &kScalar,
#if defined(__x86_64__)
            .sse2 = &kSse2,
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
