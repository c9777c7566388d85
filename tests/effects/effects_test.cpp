#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "effects/effects.h"
#include "effects/pixel_ops.h"
#include "error/error_log.h"
#include "pixmap/pixmap.h"
#include "test_images.h"
#include "tests/support/log.h"

using namespace test_images;

namespace {

// Runs `body` once at each SIMD level the CPU has.
template <class Body>
void ForEachKernels(Body body)
{
    const simd::Level before = simd::Active();
    for (simd::Level level : simd::kLevels) {
        if (!simd::Supported(level)) continue;
        SCOPED_TRACE(simd::Name(level));
        simd::SetActive(level);
        body();
    }
    simd::SetActive(before);
}

class EffectsTest : public test_support::LogTest {
protected:
    void SetUp() override
    {
        LogTest::SetUp();
        ASSERT_EQ(target.Create(64, 48, 32), 1);
        ASSERT_EQ(before.Create(64, 48, 32), 1);
        ASSERT_EQ(effects.SetBuffer(&target), 1);
    }
    void TearDown() override
    {
        effects.buffer = nullptr;
        LogTest::TearDown();
    }

    Pixmap target, before;
    std::mt19937 rng{1234};
};

TEST_F(EffectsTest, SetBufferRefusesNullAndKeepsTarget)
{
    errorLog.Free();
    EXPECT_EQ(effects.SetBuffer(nullptr), 0);  // log not running: nothing raised
    test_support::FreshLog();
    EXPECT_THROW(effects.SetBuffer(nullptr), ErrorException);
    EXPECT_EQ(effects.buffer, &target);
    EXPECT_EQ(std::string(errorLog.Report()),
              "Misc. error:\n Effects::SetBuffer given null buffer.\nFilename: effects/effects\nLine: 33\n\n");
}

TEST_F(EffectsTest, FillModes)
{
    ForEachKernels([&] {
        Random(target, rng);
        CopyPixels(before, target);
        for (int mode : {2, 3, 5, 6, -1}) {
            effects.Fill(mode);
            ASSERT_TRUE(SamePixels(before, target)) << mode;
        }
        effects.SetColour(0);
        effects.Fill(EFFECT_BLEND);
        for (int i = 0; i < target.numPixels; ++i) ASSERT_EQ(target.pixInt[i], RefBlend(0, before.pixInt[i]));
        target.pixInt[7] = 0xFFFFFFFF;
        effects.SetColour(0x00000001);
        effects.Fill(EFFECT_BLEND);
        EXPECT_EQ(target.pixInt[7], 0x007F7F7Fu);
        for (int i = 0; i < target.numPixels; ++i) target.pixInt[i] = 0x00201010;
        effects.SetColour(0x00F01008);
        effects.Fill(EFFECT_ADD);
        EXPECT_EQ(target.pixInt[target.numPixels - 1], 0x00FF2018u);
        effects.SetColour(0xAB123456);
        effects.Fill(EFFECT_COPY);
        EXPECT_EQ(target.pixInt[0], 0xAB123456u);
        EXPECT_EQ(target.pixInt[target.numPixels - 1], 0xAB123456u);
    });
}

TEST_F(EffectsTest, CombineEveryModeMatchesTheRules)
{
    Pixmap source, mask;
    ASSERT_EQ(source.Create(64, 48, 32), 1);
    ASSERT_EQ(mask.Create(64, 48, 8), 1);
    ForEachKernels([&] {
        for (int mode = -1; mode <= 6; ++mode) {
            Random(target, rng);
            Random(source, rng);
            RandomMask(mask, rng);
            CopyPixels(before, target);
            effects.Combine(mode, &source, &mask);
            for (int i = 0; i < target.numPixels; ++i) {
                ASSERT_EQ(target.pixInt[i], RefMode(mode, source.pixInt[i], before.pixInt[i], mask.pixChar[i], false))
                    << "mode " << mode << " pixel " << i;
            }
        }
        // Blending the target with itself clears each channel's low bit and
        // the top byte.
        Random(target, rng);
        CopyPixels(before, target);
        effects.Combine(EFFECT_BLEND, &target, nullptr);
        for (int i = 0; i < target.numPixels; ++i) ASSERT_EQ(target.pixInt[i], before.pixInt[i] & 0xFEFEFEu);
        // Masked modes without a mask draw nothing.
        effects.Combine(EFFECT_MASK_ADD, &source, nullptr);
        ASSERT_EQ(target.pixInt[0], before.pixInt[0] & 0xFEFEFEu);
    });
}

TEST_F(EffectsTest, CombineNeverPassesTheSmallerImage)
{
    Pixmap small, big, smallMask;
    ASSERT_EQ(small.Create(10, 10, 32), 1);
    ASSERT_EQ(big.Create(100, 100, 32), 1);
    ASSERT_EQ(smallMask.Create(10, 10, 8), 1);
    Random(target, rng);
    Random(small, rng);
    Random(big, rng);
    for (int i = 0; i < smallMask.numBytes; ++i) smallMask.pixChar[i] = 255;
    CopyPixels(before, target);

    effects.Combine(EFFECT_ADD, &small, nullptr);  // as far as the source reaches
    EXPECT_EQ(target.pixInt[99], RefAdd(small.pixInt[99], before.pixInt[99]));
    EXPECT_EQ(target.pixInt[100], before.pixInt[100]);

    CopyPixels(before, target);
    effects.Combine(EFFECT_MASK_COPY, &big, &smallMask);  // as far as the mask reaches
    EXPECT_EQ(target.pixInt[99], big.pixInt[99]);
    EXPECT_EQ(target.pixInt[100], before.pixInt[100]);

    effects.Combine(EFFECT_COPY, &big, nullptr);  // no further than the target holds
    EXPECT_EQ(target.pixInt[target.numPixels - 1], big.pixInt[target.numPixels - 1]);
}

// The sprite algorithm pixel by pixel, as the rules give it.
void RefSprite(Pixmap& t, int x, int y, int mode, const Pixmap& sprite, const Pixmap& mask)
{
    bool masked = mode == 2 || mode == 3 || mode == 5;
    int k = 0;
    for (int r = y; r < y + sprite.height; ++r) {
        for (int c = x; c < x + sprite.width; ++c, ++k) {
            if (masked && mask.pixChar[k] <= 128) continue;
            if (c < 0 || c >= t.width || r < 0 || r >= t.height) continue;
            uint32_t& d = t.pixInt[r * t.width + c];
            d = RefMode(mode, sprite.pixInt[k], d, mask.pixChar[k], false);
        }
    }
}

TEST_F(EffectsTest, DrawSpriteClipsOnEverySide)
{
    Pixmap sprite, mask, expected;
    ASSERT_EQ(sprite.Create(23, 17, 32), 1);
    ASSERT_EQ(mask.Create(23, 17, 8), 1);
    ASSERT_EQ(expected.Create(64, 48, 32), 1);
    const int positions[][2] = {{-10, -10}, {50, 40}, {-22, 5}, {63, 47}, {20, -16}, {10, 47}, {-100, 0},
                                {64, 0},    {0, 48},  {30, 20}, {-5, 40}, {2147483000, 5}};
    ForEachKernels([&] {
        for (const auto& pos : positions) {
            for (int mode = 0; mode <= 5; ++mode) {
                Random(target, rng);
                Random(sprite, rng);
                RandomMask(mask, rng);
                CopyPixels(expected, target);
                RefSprite(expected, pos[0] == 2147483000 ? 1000 : pos[0], pos[1], mode, sprite, mask);
                effects.DrawSprite(pos[0], pos[1], mode, &sprite, &mask);
                ASSERT_TRUE(SamePixels(expected, target)) << pos[0] << "," << pos[1] << " mode " << mode;
            }
        }
    });
}

TEST_F(EffectsTest, DrawTiledWrapsThroughTheTexture)
{
    Pixmap texture, mask, expected;
    ASSERT_EQ(texture.Create(16, 16, 32), 1);
    ASSERT_EQ(mask.Create(16, 16, 8), 1);
    ASSERT_EQ(expected.Create(64, 48, 32), 1);
    const int offsets[][2] = {{0, 0}, {-1, 0}, {5, -3}, {-2147483647 - 1, 2147483647}, {17, 100}};
    ForEachKernels([&] {
        for (const auto& off : offsets) {
            for (int mode = 0; mode <= 5; ++mode) {
                Random(target, rng);
                Random(texture, rng);
                RandomMask(mask, rng);
                CopyPixels(expected, target);
                for (int r = 0; r < 48; ++r) {
                    for (int c = 0; c < 64; ++c) {
                        int texel = texture.ylook[(static_cast<uint32_t>(off[1]) + r) & 15] +
                                    ((static_cast<uint32_t>(off[0]) + c) & 15);
                        uint32_t& d = expected.pixInt[r * 64 + c];
                        d = RefMode(mode, texture.pixInt[texel], d, mask.pixChar[texel], true);
                    }
                }
                effects.DrawTiled(off[0], off[1], mode, &texture, &mask);
                ASSERT_TRUE(SamePixels(expected, target)) << off[0] << "," << off[1] << " mode " << mode;
            }
        }
    });
}

TEST_F(EffectsTest, DrawTiledStaysInsideOddTextures)
{
    // A texture lower than it is wide would be read past its last row: it
    // draws nothing. Other sides are read inside the texture.
    Pixmap wide, odd;
    ASSERT_EQ(wide.Create(32, 8, 32), 1);
    ASSERT_EQ(odd.Create(12, 12, 32), 1);
    Random(target, rng);
    Random(odd, rng);
    CopyPixels(before, target);
    effects.DrawTiled(3, 9, EFFECT_COPY, &wide, nullptr);
    EXPECT_TRUE(SamePixels(before, target));
    ForEachKernels([&] {
        effects.DrawTiled(3, 9, EFFECT_ADD, &odd, nullptr);
        for (int r = 0; r < 48; ++r) {
            for (int c = 0; c < 64; ++c) {
                int texel = ((9 + r) & 11) * 12 + ((3 + c) & 11);
                ASSERT_EQ(target.pixInt[r * 64 + c], RefAdd(odd.pixInt[texel], before.pixInt[r * 64 + c]));
            }
        }
        CopyPixels(target, before);
    });
}

TEST_F(EffectsTest, CopyWindowClampsIntoTheSource)
{
    Pixmap panorama;
    ASSERT_EQ(panorama.Create(192, 60, 32), 1);
    for (int i = 0; i < panorama.numPixels; ++i) panorama.pixInt[i] = static_cast<uint32_t>(i) | 0xAA000000u;
    auto windowAt = [&](int wx, int wy) {
        for (int r = 0; r < 48; ++r) {
            for (int c = 0; c < 64; ++c) {
                if (target.pixInt[r * 64 + c] != panorama.pixInt[(wy + r) * 192 + wx + c]) return false;
            }
        }
        return true;
    };
    effects.CopyWindow(50, 5, &panorama);
    EXPECT_TRUE(windowAt(50, 5));
    effects.CopyWindow(1000, 1000, &panorama);
    EXPECT_TRUE(windowAt(128, 12));
    effects.CopyWindow(-7, -3, &panorama);
    EXPECT_TRUE(windowAt(0, 0));

    // A source smaller than the target has no window: nothing is read.
    Pixmap narrow;
    ASSERT_EQ(narrow.Create(40, 100, 32), 1);
    effects.CopyWindow(0, 0, &narrow);
    EXPECT_TRUE(windowAt(0, 0));
}

TEST_F(EffectsTest, ClearBorderZeroesOnlyTheFrame)
{
    for (int i = 0; i < target.numPixels; ++i) target.pixInt[i] = 0xFFFFFFFF;
    effects.ClearBorder();
    for (int y = 0; y < 48; ++y) {
        for (int x = 0; x < 64; ++x) {
            bool border = x == 0 || y == 0 || x == 63 || y == 47;
            ASSERT_EQ(target.pixInt[y * 64 + x], border ? 0u : 0xFFFFFFFFu) << x << "," << y;
        }
    }
}

TEST_F(EffectsTest, BlurRunsInPlaceInOrder)
{
    Pixmap image, expected;
    ASSERT_EQ(image.Create(640, 480, 32), 1);
    ASSERT_EQ(expected.Create(640, 480, 32), 1);
    Random(image, rng);
    CopyPixels(expected, image);
    uint32_t* p = expected.pixInt;
    for (int i = 640; i <= 306559; ++i) {
        uint32_t out = 0;
        for (int k = 0; k < 4; ++k) {
            uint32_t sum = Channel(p[i - 1], k) + Channel(p[i + 1], k) + Channel(p[i - 640], k) + Channel(p[i + 640], k);
            out |= (sum >> 2) << (8 * k);
        }
        p[i] = out;
    }
    effects.Blur(&image);
    EXPECT_TRUE(SamePixels(expected, image));

    // Four neighbours of 255 give 255.
    for (int i = 0; i < image.numPixels; ++i) image.pixInt[i] = 0xFFFFFFFF;
    effects.Blur(&image);
    EXPECT_EQ(image.pixInt[640 * 200 + 300], 0xFFFFFFFFu);
}

TEST_F(EffectsTest, OperationsWithoutUsableImagesDrawNothing)
{
    // Blur takes only 640 x 480 images.
    for (auto [width, height] : {std::pair{640, 100}, {641, 480}}) {
        Pixmap image, copy;
        ASSERT_EQ(image.Create(width, height, 32), 1);
        ASSERT_EQ(copy.Create(width, height, 32), 1);
        Random(image, rng);
        CopyPixels(copy, image);
        effects.Blur(&image);
        EXPECT_TRUE(SamePixels(copy, image)) << width << "x" << height;
    }
    effects.Blur(nullptr);

    Pixmap empty, grey;
    ASSERT_EQ(grey.Create(64, 48, 8), 1);
    Random(target, rng);
    CopyPixels(before, target);
    effects.Combine(EFFECT_BLEND, &empty, nullptr);
    effects.Combine(EFFECT_ADD, &grey, nullptr);
    effects.DrawSprite(0, 0, EFFECT_COPY, &grey, nullptr);
    effects.DrawSprite(0, 0, EFFECT_MASK_COPY, &target, nullptr);
    effects.DrawTiled(0, 0, EFFECT_COPY, nullptr, nullptr);
    effects.CopyWindow(0, 0, &empty);
    EXPECT_TRUE(SamePixels(before, target));
    effects.buffer = &grey;  // an 8-bit target is not drawn into
    effects.Fill(EFFECT_COPY);
    effects.ClearBorder();
    effects.buffer = nullptr;
    effects.Fill(EFFECT_COPY);
    EXPECT_EQ(grey.pixChar[0], 0);
}

}  // namespace
