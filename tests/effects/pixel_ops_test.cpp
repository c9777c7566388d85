#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "effects/pixel_ops.h"
#include "test_images.h"
#include "tests/support/simd_levels.h"

using namespace orchid::pixel;
using test_images::Channel;
using test_images::RefMode;

namespace {

class PixelOpsAt : public test_support::LevelTest {};
INSTANTIATE_TEST_SUITE_P(Simd, PixelOpsAt, test_support::AllLevels(), test_support::LevelName);
class PixelSpansAt : public test_support::LevelTest {};
INSTANTIATE_TEST_SUITE_P(Simd, PixelSpansAt, test_support::FastLevels(), test_support::LevelName);

std::vector<uint32_t> RandomPixels(std::mt19937& rng, size_t n)
{
    std::vector<uint32_t> v(n);
    // Saturation and the top byte need extremes as often as not.
    for (uint32_t& p : v) p = (rng() % 4 == 0) ? (rng() & 0xFF00FF00u) | 0x00FF00FFu : rng();
    return v;
}

// Byte by byte, or in runs as drawn masks are, so that whole blocks select
// everything or nothing.
std::vector<uint8_t> RandomMask(std::mt19937& rng, size_t n)
{
    static const uint8_t kValues[] = {0, 1, 127, 128, 129, 255};
    const bool runs = rng() % 2 == 0;
    std::vector<uint8_t> m(n);
    for (size_t i = 0; i < n;) {
        const uint8_t value = (rng() & 1) ? kValues[rng() % 6] : static_cast<uint8_t>(rng());
        for (size_t run = runs ? 1 + rng() % 40 : 1; run > 0 && i < n; --run) m[i++] = value;
    }
    return m;
}

// Every mode (and two unknown ones) at every row length up to past a few
// vectors, so that each tail is met.
TEST_P(PixelOpsAt, ApplyAndFillMatchTheRules)
{
    const Kernels& ops = KernelsFor(GetParam());
    std::mt19937 rng(7);
    for (int mode = -1; mode <= 6; ++mode) {
        for (size_t n = 0; n < 70; ++n) {
            const size_t offset = rng() % 5;  // unaligned rows
            const int test = static_cast<int>(rng() % 2);
            std::vector<uint32_t> s = RandomPixels(rng, n + 5), d = RandomPixels(rng, n + 5);
            std::vector<uint8_t> m = RandomMask(rng, n + 5);
            std::vector<uint32_t> expected = d;
            for (size_t i = 0; i < n; ++i) {
                expected[offset + i] = RefMode(mode, s[offset + i], d[offset + i], m[offset + i], test == MASK_NONZERO);
            }
            ops.apply(mode, d.data() + offset, s.data() + offset, m.data() + offset, test, n);
            ASSERT_EQ(d, expected) << "mode " << mode << " n " << n;

            const uint32_t colour = rng();
            for (size_t i = 0; i < n; ++i) {
                bool fills = mode == 0 || mode == 1 || mode == 4;
                expected[offset + i] = fills ? RefMode(mode, colour, d[offset + i], 0, false) : d[offset + i];
            }
            ops.fill(mode, d.data() + offset, colour, n);
            ASSERT_EQ(d, expected) << "fill mode " << mode << " n " << n;
        }
    }
}

TEST_P(PixelOpsAt, CrossFadeMatchesTheRule)
{
    const Kernels& ops = KernelsFor(GetParam());
    std::mt19937 rng(8);
    for (int round = 0; round < 200; ++round) {
        const size_t n = static_cast<size_t>(round % 40);
        const size_t offset = rng() % 5;  // unaligned rows
        const int level = round < 2 ? round * 255 : static_cast<int>(rng() % 256);
        std::vector<uint32_t> a = RandomPixels(rng, n + offset), b = RandomPixels(rng, n + offset), d(n + offset);
        for (size_t i = offset; i < n + offset; ++i) {
            uint32_t out = 0;
            for (int k = 0; k < 4; ++k) {
                out |= ((Channel(a[i], k) * level + Channel(b[i], k) * (255 - level)) >> 8) << (8 * k);
            }
            d[i] = out;
        }
        std::vector<uint32_t> got(n + offset);
        ops.crossFade(got.data() + offset, a.data() + offset, b.data() + offset, level, n);
        ASSERT_EQ(got, d) << "level " << level << " n " << n;
        std::vector<uint32_t> inPlace = b;
        std::copy(d.begin() + static_cast<std::ptrdiff_t>(offset), d.end(),
                  inPlace.begin() + static_cast<std::ptrdiff_t>(offset));
        ops.crossFade(b.data() + offset, a.data() + offset, b.data() + offset, level, n);  // in place over B
        ASSERT_EQ(b, inPlace) << "level " << level << " n " << n;
    }
}

TEST_P(PixelSpansAt, SpansMatchTheScalarWalk)
{
    const Kernels& ops = KernelsFor(GetParam());
    const Kernels& scalar = KernelsFor(simd::Level::Scalar);
    if (ops.span == scalar.span) {
        GTEST_SKIP() << simd::Name(GetParam()) << " has no span kernel of its own (no gather): it uses the scalar one";
    }
    std::mt19937 rng(9);
    const int sides[] = {1, 4, 16, 64};
    for (int round = 0; round < 2000; ++round) {
        const int side = sides[rng() % 4];
        std::vector<uint32_t> texels = RandomPixels(rng, static_cast<size_t>(side) * side);
        std::vector<uint8_t> mask = RandomMask(rng, texels.size());
        TexelWalk walk{};
        walk.texels = texels.data();
        walk.mask = mask.data();
        walk.maxIndex = side * side - 1;
        walk.shift = side == 1 ? 0 : side == 4 ? 2 : side == 16 ? 4 : 6;
        // Steps from the show's range (around one texel per pixel), and
        // wild ones that leave the texture.
        const bool wild = rng() % 5 == 0;
        auto coord = [&] {
            return wild ? static_cast<uint32_t>(rng()) : static_cast<uint32_t>(rng() % (side << 16));
        };
        auto step = [&] {
            return wild ? static_cast<int32_t>(rng()) : static_cast<int32_t>(rng() % 0x30000) - 0x18000;
        };
        walk.tx = coord();
        walk.ty = coord();
        walk.txstep = step();
        walk.tystep = rng() % 3 == 0 ? 0 : step();
        walk.maskTest = static_cast<int>(rng() % 2);
        const int mode = static_cast<int>(rng() % 8) - 1;
        const size_t n = static_cast<size_t>(round % 50);
        std::vector<uint32_t> expected = RandomPixels(rng, n), got = expected;
        scalar.span(mode, expected.data(), n, walk);
        ops.span(mode, got.data(), n, walk);
        ASSERT_EQ(got, expected) << "mode " << mode << " round " << round;
    }
}

}  // namespace
