#include <gtest/gtest.h>

#include <array>
#include <random>
#include <vector>

#include "dedraw/convert.h"
#include "tests/support/simd_levels.h"

namespace {

class ConvertAt : public test_support::LevelTest {};
INSTANTIATE_TEST_SUITE_P(Simd, ConvertAt, test_support::FastLevels(), test_support::LevelName);

// A level's conversions against the plain ones, on random pixels and every
// row length around the vector width (with offsets that break alignment).
TEST_P(ConvertAt, MatchScalarByteForByte)
{
    const dedraw::Kernels& fast = dedraw::KernelsFor(GetParam());
    const dedraw::Kernels& plain = dedraw::KernelsFor(simd::Level::Scalar);
    if (&fast == &plain) GTEST_SKIP() << simd::Name(GetParam()) << " has no conversions of its own";
    std::mt19937 rng(12345);
    for (int round = 0; round < 200; ++round) {
        int count = round < 40 ? round : static_cast<int>(rng() % 700);
        int offset = static_cast<int>(rng() % 4);
        std::vector<uint32_t> in32(static_cast<size_t>(count + offset));
        std::vector<uint16_t> in16(static_cast<size_t>(count + offset));
        for (auto& p : in32) p = rng();
        for (auto& s : in16) s = static_cast<uint16_t>(rng());
        std::vector<uint16_t> a16(static_cast<size_t>(count + 9), 0xABCD), b16(a16);
        std::vector<uint32_t> a32(static_cast<size_t>(count + 9), 0xDEADBEEF), b32(a32);

        plain.convert32To565(in32.data() + offset, a16.data() + 1, count);
        fast.convert32To565(in32.data() + offset, b16.data() + 1, count);
        ASSERT_EQ(a16, b16) << "565 count " << count;

        plain.convert32To555(in32.data() + offset, a16.data() + 1, count);
        fast.convert32To555(in32.data() + offset, b16.data() + 1, count);
        ASSERT_EQ(a16, b16) << "555 count " << count;

        plain.convert565To555(in16.data() + offset, a16.data() + 1, count);
        fast.convert565To555(in16.data() + offset, b16.data() + 1, count);
        ASSERT_EQ(a16, b16) << "565->555 count " << count;

        plain.convert565To32(in16.data() + offset, a32.data() + 1, count);
        fast.convert565To32(in16.data() + offset, b32.data() + 1, count);
        ASSERT_EQ(a32, b32) << "565->32 count " << count;
    }
}

TEST(Convert, WorkedExamples)
{
    // The top byte plays no part; low bits are dropped, not rounded.
    const uint32_t in[] = {0x00FFFFFF, 0x00808080, 0xFFFFFFFF, 0x00000000, 0x00F80000,
                           0x0000FC00, 0x000000F8, 0x00070307, 0x00123456};
    std::array<uint16_t, 9> out565, out555;
    std::array<uint8_t, 27> out24;
    dedraw::Convert32To565Row(in, out565.data(), 9);
    dedraw::Convert32To555Row(in, out555.data(), 9);
    dedraw::Convert32To24Row(in, out24.data(), 9);
    EXPECT_EQ(out565, (std::array<uint16_t, 9>{0xFFFF, 0x8410, 0xFFFF, 0, 0xF800, 0x07E0, 0x001F, 0, 0x11AA}));
    EXPECT_EQ(out555, (std::array<uint16_t, 9>{0x7FFF, 0x4210, 0x7FFF, 0, 0x7C00, 0x03E0, 0x001F, 0, 0x08CA}));
    EXPECT_EQ(out24, (std::array<uint8_t, 27>{0xFF, 0xFF, 0xFF, 0x80, 0x80, 0x80, 0xFF, 0xFF, 0xFF, 0, 0, 0, 0, 0, 0xF8,
                                              0, 0xFC, 0, 0xF8, 0, 0, 0x07, 0x03, 0x07, 0x56, 0x34, 0x12}));

    const uint16_t s[] = {0xFFFF, 0xF800, 0x07E0, 0x001F};
    std::array<uint32_t, 4> out32;
    std::array<uint8_t, 12> from565To24;
    std::array<uint16_t, 4> to555;
    dedraw::Convert565To32Row(s, out32.data(), 4);
    dedraw::Convert565To24Row(s, from565To24.data(), 4);
    dedraw::Convert565To555Row(s, to555.data(), 4);
    EXPECT_EQ(out32, (std::array<uint32_t, 4>{0x00F8FCF8, 0x00F80000, 0x0000FC00, 0x000000F8}));
    EXPECT_EQ(from565To24, (std::array<uint8_t, 12>{0xF8, 0xFC, 0xF8, 0, 0, 0xF8, 0, 0xFC, 0, 0xF8, 0, 0}));
    EXPECT_EQ(to555, (std::array<uint16_t, 4>{0x7FFF, 0x7C00, 0x03E0, 0x001F}));
}

}  // namespace
