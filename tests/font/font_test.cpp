#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "error/error_log.h"
#include "error/memory.h"
#include "font/font.h"
#include "pixmap/pixmap.h"
#include "platform/resources.h"
#include "tests/support/log.h"
#include "tests/support/resources.h"

namespace {

class FontTest : public test_support::LogTest {
protected:
    void SetUp() override
    {
        LogTest::SetUp();
        // 48 glyphs of 4 x 6 for the codes 48..95; glyph k has every byte k + 1
        // except capital A, drawn as it is in the show's font.
        std::vector<uint8_t> glyphs(1152);
        for (int k = 0; k < 48; ++k)
            for (int i = 0; i < 24; ++i) glyphs[k * 24 + i] = static_cast<uint8_t>(k + 1);
        const char* a = "010011101010111010100000";
        for (int i = 0; i < 24; ++i) glyphs[(65 - 48) * 24 + i] = a[i] == '1' ? 255 : 0;
        resources.Add(123, std::move(glyphs));
        ASSERT_EQ(target.Create(640, 480, 32), 1);
    }
    test_support::TestResources resources;
    Pixmap target;
};

TEST_F(FontTest, LoadsGlyphsIntoTheirSlots)
{
    Font font;
    ASSERT_EQ(font.Init(&target, platform::MakeIntResource(123), 4, 6, 48, 48), 1);
    EXPECT_EQ(font.target, &target);
    std::string a;
    for (int i = 0; i < 24; ++i) a += font.glyphs[65 * 24 + i] == 255 ? '1' : '0';
    EXPECT_EQ(a, "010011101010111010100000");
    for (int i = 0; i < 24; ++i) {
        EXPECT_EQ(font.glyphs[97 * 24 + i], 0);  // small a is blank
        EXPECT_EQ(font.glyphs[47 * 24 + i], 0);
        EXPECT_EQ(font.glyphs[48 * 24 + i], 1);
        EXPECT_EQ(font.glyphs[95 * 24 + i], 48);
    }
    // Init on a live font replaces its store (the sanitizer run catches a leak).
    ASSERT_EQ(font.Init(&target, platform::MakeIntResource(123), 4, 6, 0, 48), 1);
    EXPECT_EQ(font.glyphs[0], 1);
    font.Free();
    EXPECT_EQ(font.glyphs, nullptr);
    EXPECT_EQ(font.initialized, 0);
    font.Free();  // nothing to free: no report
    EXPECT_EQ(errorLog.count, 0);
}

TEST_F(FontTest, FailuresReportTheirCategory)
{
    Font font;
    EXPECT_THROW(font.Init(&target, platform::MakeIntResource(123), 4, 6, 48, 49), ErrorException);
    EXPECT_EQ(font.initialized, 0);
    EXPECT_EQ(font.glyphs, nullptr);
    EXPECT_NE(std::string(errorLog.Report()).find("Windows error:\n \nFilename: font/font\nLine: "),
              std::string::npos);

    orchid::alloc_test::FailAt(1);
    EXPECT_THROW(font.Init(&target, platform::MakeIntResource(123), 4, 6, 48, 48), ErrorException);
    orchid::alloc_test::FailAt(0);
    EXPECT_NE(std::string(errorLog.Report()).find("Misc. error:\n \nFilename: font/font\n"), std::string::npos);

    EXPECT_THROW(font.SetTarget(nullptr), ErrorException);
    EXPECT_EQ(font.target, &target);
}

TEST_F(FontTest, RefusesRangesOutsideTheGlyphStore)
{
    struct Args {
        int w, h, first, count;
    };
    for (Args a : {Args{4, 6, 250, 48}, Args{4, 6, 200, 57}, Args{4, 6, -1, 48}, Args{4, 6, 48, -1},
                   Args{-4, 6, 48, 48}, Args{4, -6, 48, 48}, Args{65536, 65536, 0, 1}}) {
        Font font;
        EXPECT_THROW(font.Init(&target, platform::MakeIntResource(123), a.w, a.h, a.first, a.count),
                     ErrorException)
            << a.w << " " << a.h << " " << a.first << " " << a.count;
        EXPECT_EQ(font.initialized, 0);
        EXPECT_EQ(font.glyphs, nullptr);
    }
    Font full;  // the last slot is still reachable
    EXPECT_EQ(full.Init(&target, platform::MakeIntResource(123), 4, 6, 208, 48), 1);
}

}  // namespace
