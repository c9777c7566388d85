#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "effects/effects.h"
#include "effects/pixel_ops.h"
#include "effects/polygon_render.h"
#include "error/error_log.h"
#include "error/memory.h"
#include "pixmap/pixmap.h"
#include "test_images.h"
#include "tests/support/log.h"
#include "tests/support/simd_levels.h"

using namespace test_images;
using namespace test_support;

namespace {

constexpr uint32_t kUntouched = 0x5A5A5A5A;

struct Point {
    double x, y, u, v;
};

class PolygonTest : public LogTest {
protected:
    void SetUp() override
    {
        LogTest::SetUp();
        ASSERT_EQ(target.Create(640, 480, 32), 1);
        ASSERT_EQ(effects.SetBuffer(&target), 1);
        ASSERT_EQ(polygonRender.Init(&target), 1);
        // Each texel tells where it came from: 0x01RRCC = row, column.
        ASSERT_EQ(texture.Create(128, 128, 32), 1);
        ASSERT_EQ(mask.Create(128, 128, 8), 1);
        for (int i = 0; i < 128 * 128; ++i) texture.pixInt[i] = Texel(i % 128, i / 128);
        for (int i = 0; i < mask.numBytes; ++i) mask.pixChar[i] = 255;
        Clear();
    }
    void TearDown() override
    {
        polygonRender.Release();
        effects.buffer = nullptr;
        LogTest::TearDown();
    }

    void Clear()
    {
        for (int i = 0; i < target.numPixels; ++i) target.pixInt[i] = kUntouched;
    }
    void Draw(int mode, const std::vector<Point>& points)
    {
        T3D_Polygon* p = polygonRender.p;
        p->texture = &texture;
        p->mask = &mask;
        p->count = static_cast<int>(points.size());
        for (size_t i = 0; i < points.size(); ++i) {
            p->vertices[i]->c->SetScreen(points[i].x, points[i].y, 0);
            p->vertices[i]->tx = points[i].u;
            p->vertices[i]->ty = points[i].v;
        }
        polygonRender.DrawPolygon(mode, p);
    }
    uint32_t At(int x, int y) const { return target.pixInt[y * 640 + x]; }
    static uint32_t Texel(int u, int v) { return 0x01000000u | (v << 8) | u; }
    // Every pixel inside [x0, x1] x [y0, y1] satisfies `inside`, and every
    // other pixel is untouched.
    template <class Inside>
    void ExpectRegion(int x0, int x1, int y0, int y1, Inside inside)
    {
        for (int y = 0; y < 480; ++y) {
            for (int x = 0; x < 640; ++x) {
                bool in = x >= x0 && x <= x1 && y >= y0 && y <= y1;
                ASSERT_EQ(At(x, y), in ? inside(x, y) : kUntouched) << x << "," << y;
            }
        }
    }

    Pixmap target, texture, mask;
    const std::vector<Point> square = {{100, 100, 0, 0}, {199, 100, 99, 0}, {199, 199, 99, 99}, {100, 199, 0, 99}};
};

TEST_F(PolygonTest, SquareInCopyAndMaskedCopy)
{
    Draw(EFFECT_COPY, square);
    ExpectRegion(100, 198, 100, 198, [](int x, int y) { return Texel(x - 100, y - 100); });
    // One pixel fewer at each end, the first one taking the left end's texel.
    Clear();
    Draw(EFFECT_MASK_COPY, square);
    ExpectRegion(101, 197, 100, 198, [](int x, int y) { return Texel(x - 101, y - 100); });
}

TEST_F(PolygonTest, RowsOfOneWidthTakeTheirOwnSteps)
{
    // Every row is 10 pixels wide, but the right edge runs 2.5 texels per
    // row to the right: the rows step 1, 1.25, 1.5 and 1.75 texels a pixel.
    Draw(EFFECT_COPY, {{10, 10, 0, 0}, {20, 10, 10, 0}, {20, 14, 20, 4}, {10, 14, 0, 4}});
    const int columns[4][10] = {{0, 1, 2, 3, 4, 5, 6, 7, 8, 9},
                                {0, 1, 2, 3, 5, 6, 7, 8, 10, 11},
                                {0, 1, 3, 4, 6, 7, 9, 10, 12, 13},
                                {0, 1, 3, 5, 7, 8, 10, 12, 14, 15}};
    ExpectRegion(10, 19, 10, 13, [&](int x, int y) { return Texel(columns[y - 10][x - 10], y - 10); });
}

TEST_F(PolygonTest, MaskTestsPerMode)
{
    for (int i = 0; i < mask.numBytes; ++i) mask.pixChar[i] = 100;
    Draw(EFFECT_MASK_COPY, square);
    Draw(EFFECT_MASK_ADD, square);
    EXPECT_EQ(At(150, 150), kUntouched);  // > 128 does not hold
    Draw(EFFECT_MASK_BLEND, square);      // nonzero does
    EXPECT_EQ(At(150, 150), RefBlend(Texel(50, 50), kUntouched));
}

TEST_F(PolygonTest, WindingDoesNotMatter)
{
    const std::vector<Point> quad = {{50, 30, 0, 0}, {300, 80, 127, 0}, {260, 400, 127, 127}, {20, 300, 0, 127}};
    for (int mode = 0; mode <= 5; ++mode) {
        Clear();
        Draw(mode, quad);
        std::vector<uint32_t> forward(target.pixInt, target.pixInt + target.numPixels);
        Clear();
        Draw(mode, {quad[3], quad[2], quad[1], quad[0]});
        ASSERT_TRUE(std::equal(forward.begin(), forward.end(), target.pixInt)) << mode;
        EXPECT_NE(At(150, 200), kUntouched);
    }
}

TEST_F(PolygonTest, NothingForFlatOutlinesPointRowsAndUnknownModes)
{
    Draw(EFFECT_COPY, {{10, 50, 0, 0}, {300, 50, 127, 0}, {200, 50, 127, 127}});
    Draw(EFFECT_COPY, {{100, 100, 0, 0}, {100, 200, 0, 127}, {100, 150, 5, 5}});  // xl == xr every row
    for (int i = 0; i < target.numPixels; ++i) ASSERT_EQ(target.pixInt[i], kUntouched);

    // Unknown modes draw nothing, but the banks are still rewritten.
    for (int mode : {6, -1}) {
        polygonRender.rightbank[150] = 0;
        Draw(mode, square);
        EXPECT_EQ(polygonRender.rightbank[150], 199 << 16);
        for (int i = 0; i < target.numPixels; ++i) ASSERT_EQ(target.pixInt[i], kUntouched);
    }
}

TEST_F(PolygonTest, ClippingShiftsTheTexture)
{
    Draw(EFFECT_COPY, {{-20, -10, 0, 0}, {79, -10, 99, 0}, {79, 89, 99, 99}, {-20, 89, 0, 99}});
    ExpectRegion(0, 78, 0, 88, [](int x, int y) { return Texel(x + 20, y + 10); });

    Clear();
    const std::vector<Point> right = {{600, 400, 0, 0}, {699, 400, 99, 0}, {699, 499, 99, 99}, {600, 499, 0, 99}};
    Draw(EFFECT_COPY, right);
    ExpectRegion(600, 639, 400, 479, [](int x, int y) { return Texel(x - 600, y - 400); });
    Clear();
    Draw(EFFECT_MASK_COPY, right);
    ExpectRegion(601, 638, 400, 479, [](int x, int y) { return Texel(x - 601, y - 400); });
}

TEST_F(PolygonTest, CoordinatesOutsideTheTextureReadInsideIt)
{
    for (int mode = 0; mode <= 5; ++mode) {
        Draw(mode, {{-300, -200, -5000, -70}, {900, 10, 30000, 0}, {700, 700, 1000, 4000}, {5, 300, -1, 1e9}});
    }
    for (int i = 0; i < target.numPixels; ++i) {
        uint32_t p = target.pixInt[i];
        ASSERT_TRUE(p == kUntouched || (p >> 24) != 0x5A) << i;
    }
    Draw(EFFECT_COPY, {{1e12, -1e12, 0, 0}, {-1e12, 1e300, 0, 0}, {0, 0, 0, 0}});
}

TEST_F(PolygonTest, RefusesTooManyVerticesAndMissingPieces)
{
    T3D_Polygon* p = polygonRender.p;
    std::vector<Point> many;
    for (int i = 0; i < 256; ++i) many.push_back({100.0 + (i % 2) * 50, 100.0 + i, 0, 0});
    Draw(EFFECT_COPY, many);  // the closing copy has no room: refused
    p->count = 300;           // more than the polygon holds
    polygonRender.DrawPolygon(EFFECT_COPY, p);
    p->count = 4;
    p->texture = nullptr;
    polygonRender.DrawPolygon(EFFECT_COPY, p);
    p->texture = &texture;
    p->mask = nullptr;
    polygonRender.DrawPolygon(EFFECT_MASK_BLEND, p);
    polygonRender.DrawPolygon(EFFECT_COPY, nullptr);
    for (int i = 0; i < target.numPixels; ++i) ASSERT_EQ(target.pixInt[i], kUntouched);
}

TEST_F(PolygonTest, TargetTallerThanTheBanks)
{
    polygonRender.Free();
    Pixmap shortOne;
    ASSERT_EQ(shortOne.Create(8, 100, 8), 1);
    ASSERT_EQ(polygonRender.Init(&shortOne), 1);
    EXPECT_EQ(polygonRender.bankRows, 100);
    Draw(EFFECT_COPY, {{10, 50, 0, 0}, {60, 50, 50, 0}, {60, 300, 50, 127}, {10, 300, 0, 127}});
    EXPECT_NE(At(20, 99), kUntouched);
    for (int y = 100; y < 480; ++y) {
        for (int x = 0; x < 640; ++x) ASSERT_EQ(At(x, y), kUntouched);
    }
}

TEST_F(PolygonTest, InitAndFreeReports)
{
    EXPECT_THROW(polygonRender.Init(&target), ErrorException);
    polygonRender.Free();
    polygonRender.Free();
    EXPECT_EQ(std::string(errorLog.Report()),
              Entry("Misc. error:\n", "PolygonRender class already initialized.\n", "effects/polygon_render", 67) +
                  Entry("Misc. error:\n", "PolygonRender class not initialized.\n", "effects/polygon_render", 140));

    FreshLog();
    ASSERT_EQ(polygonRender.Init(&target), 1);
    T3D_Polygon* p = polygonRender.p;
    int32_t* right = polygonRender.rightbank;
    polygonRender.p = nullptr;
    polygonRender.rightbank = nullptr;
    polygonRender.Free();
    orchid::MemDelete(p);
    orchid::MemFree(right);
    EXPECT_EQ(std::string(errorLog.Report()),
              Entry("Misc. error:\n", "T3D_Polygon *p was null.\n", "effects/polygon_render", 154) +
                  Entry("Misc. error:\n", "int *rightbank was null.\n", "effects/polygon_render", 191));
}

TEST_F(PolygonTest, InitOutOfMemoryLeavesNothingBehind)
{
    polygonRender.Free();
    const int fixedBytes = static_cast<int>(sizeof(T3D_VertexFixed)) * 256;
    struct Case {
        long failAt;
        std::string expected;
    };
    // Allocation order: six banks, v, the 256 fixed coordinates, p, p's
    // array, then each vertex and its coordinate.
    const Case cases[] = {
        {1, OutOfMemory("int *leftbank\n", 1920, "effects/polygon_render", 76)},
        {2, OutOfMemory("int *lefttxbank\n", 1920, "effects/polygon_render", 80)},
        {4, OutOfMemory("int *rightbank\n", 1920, "effects/polygon_render", 88)},
        {6, OutOfMemory("int *righttybank\n", 1920, "effects/polygon_render", 96)},
        {7, OutOfMemory("T3D_VertexFixed *v\n", fixedBytes, "effects/polygon_render", 110)},
        {100, OutOfMemory("T3D_CoordinateFixed *c\n", 28, "tiny3d/vertex", 205)},
        {264, OutOfMemory("T3D_Polygon *p\n", sizeof(T3D_Polygon), "effects/polygon_render", 119)},
        {265, OutOfMemory("T3D_Vertex **vertices\n", 256 * sizeof(T3D_Vertex*), "tiny3d/polygon", 75)},
        {400, OutOfMemory("T3D_Vertex *vertices[i]\n", sizeof(T3D_Vertex), "tiny3d/polygon", 86)},
    };
    for (const Case& c : cases) {
        FreshLog();
        orchid::alloc_test::FailAt(c.failAt);
        EXPECT_THROW(polygonRender.Init(&target), ErrorException) << c.failAt;
        orchid::alloc_test::FailAt(0);
        EXPECT_EQ(std::string(errorLog.Report()), c.expected);
        EXPECT_EQ(polygonRender.initialized, 0);
        EXPECT_EQ(polygonRender.leftbank, nullptr);
        EXPECT_EQ(polygonRender.v, nullptr);
        EXPECT_EQ(polygonRender.p, nullptr);
    }
    ASSERT_EQ(polygonRender.Init(&target), 1);
}

// Whole polygons drawn at a level with span kernels of its own against the
// same polygons drawn at the scalar level.
class PolygonSpansAt : public PolygonTest, public ::testing::WithParamInterface<simd::Level> {
protected:
    void SetUp() override
    {
        PolygonTest::SetUp();
        const simd::Level level = GetParam();
        if (!simd::Supported(level)) GTEST_SKIP() << "this CPU lacks " << simd::Name(level);
        if (orchid::pixel::KernelsFor(level).span == orchid::pixel::KernelsFor(simd::Level::Scalar).span) {
            GTEST_SKIP() << simd::Name(level) << " has no span kernel of its own (no gather): it uses the scalar one";
        }
    }
};
INSTANTIATE_TEST_SUITE_P(Simd, PolygonSpansAt, test_support::FastLevels(), test_support::LevelName);

TEST_P(PolygonSpansAt, DrawTheScalarLevelsBytes)
{
    std::mt19937 rng(99);
    const simd::Level before = simd::Active();
    std::vector<uint32_t> background(target.numPixels), expected;
    for (int round = 0; round < 60; ++round) {
        std::uniform_real_distribution<double> sx(-200, 840), sy(-200, 680);
        // Mostly inside the texture, sometimes far outside it.
        std::uniform_real_distribution<double> uv(round % 4 == 0 ? -300 : 0, round % 4 == 0 ? 400 : 127);
        std::vector<Point> points(3 + rng() % 4);
        for (Point& p : points) p = {sx(rng), sy(rng), uv(rng), uv(rng)};
        if (round % 3 == 0) {  // upright, the common case of the show
            points = {{sx(rng), 20, 0, 0}, {sx(rng), 20, 127, 0}, {sx(rng), 300, 127, 127}, {sx(rng), 300, 0, 127}};
        }
        const int mode = round % 6;
        // Noise, or a disc as drawn masks are: whole blocks then select
        // everything or nothing.
        const int radius = static_cast<int>(rng() % 80);
        for (int i = 0; i < mask.numBytes; ++i) {
            const int x = i % 128 - 64, y = i / 128 - 64;
            const uint8_t disc = x * x + y * y < radius * radius ? 129 : 128;
            mask.pixChar[i] = (round / 6) % 2 == 0 ? static_cast<uint8_t>(rng()) : disc;
        }
        for (uint32_t& b : background) b = rng();
        simd::SetActive(simd::Level::Scalar);
        std::copy(background.begin(), background.end(), target.pixInt);
        Draw(mode, points);
        expected.assign(target.pixInt, target.pixInt + target.numPixels);
        simd::SetActive(GetParam());
        std::copy(background.begin(), background.end(), target.pixInt);
        Draw(mode, points);
        simd::SetActive(before);
        ASSERT_TRUE(std::equal(expected.begin(), expected.end(), target.pixInt)) << "round " << round;
    }
}

}  // namespace
