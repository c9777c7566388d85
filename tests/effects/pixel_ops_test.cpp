#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "effects/pixel_ops.h"
#include "test_images.h"

using namespace orchid::pixel;
using test_images::Channel;
using test_images::RefMode;

namespace {

std::vector<const Ops*> AllKernels()
{
    std::vector<const Ops*> all = {&Scalar()};
    for (const Ops* ops : {Sse2(), Avx2()}) {
        if (ops != nullptr) all.push_back(ops);
    }
    return all;
}

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

TEST(PixelOps, ApplyAndFillMatchTheRules)
{
    std::mt19937 rng(7);
    for (const Ops* ops : AllKernels()) {
        SCOPED_TRACE(ops->name);
        for (int round = 0; round < 300; ++round) {
            const size_t n = rng() % 70;
            const size_t offset = rng() % 5;  // unaligned rows
            const int mode = static_cast<int>(rng() % 8) - 1;
            const int test = static_cast<int>(rng() % 2);
            std::vector<uint32_t> s = RandomPixels(rng, n + 5), d = RandomPixels(rng, n + 5);
            std::vector<uint8_t> m = RandomMask(rng, n + 5);
            std::vector<uint32_t> expected = d;
            for (size_t i = 0; i < n; ++i) {
                expected[offset + i] = RefMode(mode, s[offset + i], d[offset + i], m[offset + i], test == MASK_NONZERO);
            }
            ops->apply(mode, d.data() + offset, s.data() + offset, m.data() + offset, test, n);
            ASSERT_EQ(d, expected) << "mode " << mode << " n " << n;

            const uint32_t colour = rng();
            for (size_t i = 0; i < n; ++i) {
                bool fills = mode == 0 || mode == 1 || mode == 4;
                expected[offset + i] = fills ? RefMode(mode, colour, d[offset + i], 0, false) : d[offset + i];
            }
            ops->fill(mode, d.data() + offset, colour, n);
            ASSERT_EQ(d, expected) << "fill mode " << mode << " n " << n;
        }
    }
}

TEST(PixelOps, CrossFadeMatchesTheRule)
{
    std::mt19937 rng(8);
    for (const Ops* ops : AllKernels()) {
        SCOPED_TRACE(ops->name);
        for (int round = 0; round < 200; ++round) {
            const size_t n = rng() % 40;
            const int level = round < 2 ? round * 255 : static_cast<int>(rng() % 256);
            std::vector<uint32_t> a = RandomPixels(rng, n), b = RandomPixels(rng, n), d(n);
            for (size_t i = 0; i < n; ++i) {
                uint32_t out = 0;
                for (int k = 0; k < 4; ++k) {
                    out |= ((Channel(a[i], k) * level + Channel(b[i], k) * (255 - level)) >> 8) << (8 * k);
                }
                d[i] = out;
            }
            std::vector<uint32_t> got(n);
            ops->crossFade(got.data(), a.data(), b.data(), level, n);
            ASSERT_EQ(got, d) << "level " << level;
            ops->crossFade(b.data(), a.data(), b.data(), level, n);  // in place over B
            ASSERT_EQ(b, d);
        }
    }
}

TEST(PixelOps, SpansMatchTheScalarWalk)
{
    std::mt19937 rng(9);
    const int sides[] = {1, 4, 16, 64};
    for (const Ops* ops : AllKernels()) {
        SCOPED_TRACE(ops->name);
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
            const size_t n = rng() % 50;
            std::vector<uint32_t> expected = RandomPixels(rng, n), got = expected;
            Scalar().span(mode, expected.data(), n, walk);
            ops->span(mode, got.data(), n, walk);
            ASSERT_EQ(got, expected) << "mode " << mode << " round " << round;
        }
    }
}

}  // namespace
