#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "demo/cross_fade.h"
#include "demo/routines.h"
#include "effects/effects.h"
#include "effects/polygon_render.h"
#include "error/error_log.h"
#include "pixmap/pixmap.h"

namespace {

constexpr uint32_t kUntouched = 0x5A5A5A5A;
constexpr double kShowPi = 3.1415926535;

class DemoDraw : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_EQ(target.Create(640, 480, 32), 1);
        ASSERT_EQ(effects.SetBuffer(&target), 1);
        ASSERT_EQ(polygonRender.Init(&target), 1);
        ASSERT_EQ(texture.Create(128, 128, 32), 1);
        for (int y = 0; y < 128; ++y) {
            for (int x = 0; x < 128; ++x) texture.pixInt[y * 128 + x] = 0x01000000u | (y << 8) | x;
        }
        for (int i = 0; i < target.numPixels; ++i) target.pixInt[i] = kUntouched;
    }
    void TearDown() override
    {
        polygonRender.Release();
        effects.buffer = nullptr;
    }
    // Screen corner i of the last quad.
    static std::pair<double, double> Corner(int i)
    {
        const T3D_Coordinate* c = polygonRender.p->vertices[i]->c;
        return {c->sx, c->sy};
    }
    static std::pair<double, double> TexCoord(int i)
    {
        const T3D_Vertex* v = polygonRender.p->vertices[i];
        return {v->tx, v->ty};
    }
    using P = std::pair<double, double>;

    Pixmap target, texture;
};

TEST_F(DemoDraw, QuadLayoutTruncatesTheCorners)
{
    DrawQuad(300, 200, 100, 40, 0, EFFECT_COPY, &texture, nullptr);
    EXPECT_EQ(Corner(0), P(250, 220));
    EXPECT_EQ(Corner(1), P(350, 219));
    EXPECT_EQ(Corner(2), P(350, 179));
    EXPECT_EQ(Corner(3), P(250, 180));
    EXPECT_EQ(polygonRender.p->count, 4);
    EXPECT_EQ(TexCoord(2), P(127, 127));
    EXPECT_EQ(polygonRender.p->vertices[0]->c->sz, 0.0);
    // At angle 0 the texture's first row is at the bottom.
    EXPECT_LT(target.pixInt[218 * 640 + 300] >> 8 & 0xFF, 10u);
    EXPECT_GT(target.pixInt[180 * 640 + 300] >> 8 & 0xFF, 120u);

    // A spinning quad is drawn with colour zero.
    effects.SetColour(0x00123456);
    DrawSpinQuad(100, 100, 50, 1.0, EFFECT_ADD, &texture, nullptr);
    EXPECT_EQ(effects.colour, 0u);
}

TEST_F(DemoDraw, CaptionsStandUpright)
{
    // Angle pi with a negative width: upright, not mirrored.
    DrawQuadNoMask(320, 240, -256, 128, kShowPi, EFFECT_COPY, &texture);
    uint32_t topLeft = target.pixInt[180 * 640 + 200], bottomRight = target.pixInt[300 * 640 + 440];
    EXPECT_LT(topLeft >> 8 & 0xFF, 10u);
    EXPECT_LT(topLeft & 0xFF, 10u);
    EXPECT_GT(bottomRight >> 8 & 0xFF, 117u);
    EXPECT_GT(bottomRight & 0xFF, 117u);
    EXPECT_EQ(polygonRender.p->mask, nullptr);
}

TEST_F(DemoDraw, InsetUsesTheInnerWindow)
{
    Pixmap mask;
    ASSERT_EQ(mask.Create(128, 128, 8), 1);
    for (int i = 0; i < mask.numBytes; ++i) mask.pixChar[i] = 200;
    DrawQuadInset(320, 240, 300, 300, 0.3, EFFECT_MASK_BLEND, &texture, &mask);
    EXPECT_EQ(TexCoord(0), P(4, 8));
    EXPECT_EQ(TexCoord(1), P(123, 8));
    EXPECT_EQ(TexCoord(2), P(123, 119));
    EXPECT_EQ(TexCoord(3), P(4, 119));
    EXPECT_EQ(polygonRender.p->mask, &mask);
    // Every texel drawn comes from that window (blended over the background).
    DrawQuadInset(320, 240, 300, 300, 0.3, EFFECT_COPY, &texture, nullptr);
    int drawn = 0;
    for (int i = 0; i < target.numPixels; ++i) {
        uint32_t p = target.pixInt[i];
        if (p == kUntouched) continue;
        ++drawn;
        ASSERT_GE(p & 0xFF, 4u);
        ASSERT_LE(p & 0xFF, 123u);
        ASSERT_GE(p >> 8 & 0xFF, 8u);
        ASSERT_LE(p >> 8 & 0xFF, 119u);
    }
    EXPECT_GT(drawn, 50000);
}

TEST_F(DemoDraw, ScreenPanelCoversItsQuadrilateral)
{
    // Left edge 388, right edge 578, the top falling from 15 on the right to
    // 39 on the left.
    DrawScreenPanel(&texture);
    EXPECT_EQ(target.pixInt[100 * 640 + 390] >> 24, 1u);
    EXPECT_EQ(target.pixInt[100 * 640 + 577] >> 24, 1u);
    EXPECT_EQ(target.pixInt[100 * 640 + 578], kUntouched);
    EXPECT_EQ(target.pixInt[20 * 640 + 400], kUntouched);
    DrawScreenPanel(nullptr);
}

TEST_F(DemoDraw, ScanlinesFillEvenRows)
{
    effects.SetColour(0x00ABCD37);
    DrawScanlines();
    for (int y = 0; y < 480; ++y) {
        uint32_t expected = (y % 2 == 0) ? 0x37373737u : kUntouched;
        for (int x = 0; x < 640; ++x) ASSERT_EQ(target.pixInt[y * 640 + x], expected) << x << "," << y;
    }
}

TEST_F(DemoDraw, LightBarAddsWhereTheMaskSelects)
{
    Pixmap mask;
    ASSERT_EQ(mask.Create(640, 480, 8), 1);
    for (int i = 0; i < mask.numBytes; ++i) mask.pixChar[i] = 200;
    mask.pixChar[10 * 640 + 2] = 128;
    effects.SetColour(0xC0C0C010);
    DrawLightBar(-5, 10, &mask);
    for (int y = 0; y < 480; ++y) {
        for (int x = 0; x < 640; ++x) {
            bool lit = x <= 4 && !(x == 2 && y == 10);
            ASSERT_EQ(target.pixInt[y * 640 + x], lit ? 0xFFFFFF6Au : kUntouched) << x << "," << y;
        }
    }
    DrawLightBar(640, 50, &mask);
    DrawLightBar(2147483600, 100, &mask);
    DrawLightBar(10, 10, nullptr);
    Pixmap smallMask;
    ASSERT_EQ(smallMask.Create(64, 48, 8), 1);
    DrawLightBar(10, 10, &smallMask);
    EXPECT_EQ(target.pixInt[639], kUntouched);
    EXPECT_EQ(target.pixInt[12], kUntouched);
}

// Rows are passed over by testing their mask bytes eight at a time: a
// single selecting byte anywhere under the bar must still be found, and
// bytes of 128 and below never select.
TEST_F(DemoDraw, LightBarFindsALoneSelectingByteAnywhereInItsRow)
{
    Pixmap mask;
    ASSERT_EQ(mask.Create(640, 480, 8), 1);
    for (int i = 0; i < mask.numBytes; ++i) mask.pixChar[i] = static_cast<uint8_t>(i % 2 == 0 ? 128 : 0);
    for (int y = 0; y < 21; ++y) mask.pixChar[y * 640 + 100 + y] = static_cast<uint8_t>(y % 2 == 0 ? 129 : 255);
    effects.SetColour(0x00010203);
    DrawLightBar(100, 21, &mask);
    for (int y = 0; y < 480; ++y) {
        for (int x = 90; x < 130; ++x) {
            const bool lit = y < 21 && x == 100 + y;
            ASSERT_EQ(target.pixInt[y * 640 + x], lit ? 0x5A5B5C5Du : kUntouched) << x << "," << y;
        }
    }
}

TEST_F(DemoDraw, CrossFadeLevelStaysInRange)
{
    CrossFade fade;
    fade.Add(40);  // before any pair
    EXPECT_EQ(fade.level, 40);
    fade.Set(-7, &texture, &target);
    EXPECT_EQ(fade.level, 0);
    fade.Set(300, &texture, &target);
    EXPECT_EQ(fade.level, 255);
    fade.Add(-2147483647 - 1);
    EXPECT_EQ(fade.level, 0);
    fade.Add(2147483647);
    EXPECT_EQ(fade.level, 255);
}

TEST_F(DemoDraw, CrossFadeBlendsPerByte)
{
    Pixmap a, b;
    ASSERT_EQ(a.Create(700, 500, 32), 1);  // wider and taller than the target
    ASSERT_EQ(b.Create(640, 480, 32), 1);
    std::mt19937 rng(3);
    for (int i = 0; i < a.numPixels; ++i) a.pixInt[i] = rng();
    for (int i = 0; i < b.numPixels; ++i) b.pixInt[i] = rng();
    CrossFade fade;
    fade.Set(77, &a, &b);
    fade.Draw();
    for (int y = 0; y < 480; y += 7) {
        for (int x = 0; x < 640; x += 3) {
            uint32_t pa = a.pixInt[y * 700 + x], pb = b.pixInt[y * 640 + x], expected = 0;
            for (int k = 0; k < 32; k += 8) {
                expected |= ((((pa >> k) & 0xFF) * 77 + ((pb >> k) & 0xFF) * 178) >> 8) << k;
            }
            ASSERT_EQ(target.pixInt[y * 640 + x], expected) << x << "," << y;
        }
    }

    // Level 0 over the target itself darkens each nonzero byte by one step.
    for (int i = 0; i < target.numPixels; ++i) target.pixInt[i] = 0x00FF0180u;
    fade.Set(0, &a, &target);
    fade.Draw();
    EXPECT_EQ(target.pixInt[1234], 0x00FE007Fu);
}

TEST_F(DemoDraw, CrossFadeWithoutAFullPairDrawsNothing)
{
    Pixmap small;
    ASSERT_EQ(small.Create(320, 480, 32), 1);
    CrossFade fade;
    fade.Draw();  // never set
    fade.Set(100, &texture, nullptr);
    fade.Draw();
    fade.Set(100, &small, &target);
    fade.Draw();
    fade.Set(100, &target, &small);
    fade.Draw();
    for (int i = 0; i < target.numPixels; ++i) ASSERT_EQ(target.pixInt[i], kUntouched);
}

}  // namespace
