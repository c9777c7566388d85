#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <vector>

#include "dedraw/convert.h"

namespace {

// The fast conversions against the plain ones, on random pixels and every
// row length around the vector width (with offsets that break alignment).
TEST(Convert, FastPathsMatchScalarByteForByte)
{
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

        dedraw::scalar::Convert32To565Row(in32.data() + offset, a16.data() + 1, count);
        dedraw::Convert32To565Row(in32.data() + offset, b16.data() + 1, count);
        ASSERT_EQ(a16, b16) << "565 count " << count;

        dedraw::scalar::Convert32To555Row(in32.data() + offset, a16.data() + 1, count);
        dedraw::Convert32To555Row(in32.data() + offset, b16.data() + 1, count);
        ASSERT_EQ(a16, b16) << "555 count " << count;

        dedraw::scalar::Convert565To555Row(in16.data() + offset, a16.data() + 1, count);
        dedraw::Convert565To555Row(in16.data() + offset, b16.data() + 1, count);
        ASSERT_EQ(a16, b16) << "565->555 count " << count;

        dedraw::scalar::Convert565To32Row(in16.data() + offset, a32.data() + 1, count);
        dedraw::Convert565To32Row(in16.data() + offset, b32.data() + 1, count);
        ASSERT_EQ(a32, b32) << "565->32 count " << count;
    }
}

TEST(Convert, WorkedExamples)
{
    const uint32_t in[] = {0x00FFFFFF, 0x00808080, 0xFFFFFFFF, 0x00000000, 0x00F80000, 0x0000FC00, 0x000000F8,
                           0x00070307, 0x00123456};
    uint16_t out565[9];
    uint16_t out555[9];
    dedraw::Convert32To565Row(in, out565, 9);
    dedraw::Convert32To555Row(in, out555, 9);
    EXPECT_EQ(out565[0], 0xFFFF);
    EXPECT_EQ(out555[0], 0x7FFF);
    EXPECT_EQ(out565[1], 0x8410);
    EXPECT_EQ(out555[1], 0x4210);
    EXPECT_EQ(out565[2], 0xFFFF);  // the top byte plays no part
    EXPECT_EQ(out565[4], 0xF800);
    EXPECT_EQ(out565[5], 0x07E0);
    EXPECT_EQ(out565[6], 0x001F);
    EXPECT_EQ(out565[7], 0x0000);  // low bits dropped, no rounding
    EXPECT_EQ(out555[7], 0x0000);
    EXPECT_EQ(out565[8], ((0x12 >> 3) << 11) | ((0x34 >> 2) << 5) | (0x56 >> 3));
    EXPECT_EQ(out555[8], ((0x12 >> 3) << 10) | ((0x34 >> 3) << 5) | (0x56 >> 3));

    const uint16_t s[] = {0xFFFF, 0xF800, 0x07E0, 0x001F};
    uint32_t out32[4];
    uint8_t out24[12];
    uint16_t to555[4];
    dedraw::Convert565To32Row(s, out32, 4);
    dedraw::Convert565To24Row(s, out24, 4);
    dedraw::Convert565To555Row(s, to555, 4);
    EXPECT_EQ(out32[0], 0x00F8FCF8u);
    EXPECT_EQ(out32[1], 0x00F80000u);
    EXPECT_EQ(out32[2], 0x0000FC00u);
    EXPECT_EQ(out32[3], 0x000000F8u);
    const uint8_t expect24[12] = {0xF8, 0xFC, 0xF8, 0, 0, 0xF8, 0, 0xFC, 0, 0xF8, 0, 0};
    EXPECT_EQ(std::memcmp(out24, expect24, 12), 0);
    EXPECT_EQ(to555[0], 0x7FFF);
    EXPECT_EQ(to555[1], 0x7C00);
    EXPECT_EQ(to555[2], 0x03E0);
    EXPECT_EQ(to555[3], 0x001F);

    const uint32_t p24[] = {0xAA123456};
    uint8_t b24[3];
    dedraw::Convert32To24Row(p24, b24, 1);
    EXPECT_EQ(b24[0], 0x56);
    EXPECT_EQ(b24[1], 0x34);
    EXPECT_EQ(b24[2], 0x12);
}

}  // namespace
