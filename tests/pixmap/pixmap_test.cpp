#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "error/error_log.h"
#include "error/memory.h"
#include "pixmap/pixmap.h"
#include "platform/resources.h"
#include "tests/support/log.h"
#include "tests/support/resources.h"

namespace {

class PixmapTest : public test_support::LogTest {
protected:
    test_support::TestResources resources;
};

TEST_F(PixmapTest, CreateComputesLayoutAndZeroFills)
{
    Pixmap frame;
    ASSERT_EQ(frame.Create(640, 480, 32), 1);
    EXPECT_EQ(frame.pitch, 2560);
    EXPECT_EQ(frame.numBytes, 1228800);
    EXPECT_EQ(frame.numPixels, 307200);
    EXPECT_EQ(frame.xShift, 9);
    EXPECT_EQ(frame.pitchShift, 11);
    EXPECT_EQ(frame.ylook[479], 479 * 640);
    EXPECT_EQ(static_cast<void*>(frame.pixInt), static_cast<void*>(frame.pixChar));
    EXPECT_EQ(static_cast<void*>(frame.pixShort), static_cast<void*>(frame.pixChar));
    for (int i = 0; i < frame.numBytes; ++i) ASSERT_EQ(frame.pixChar[i], 0) << i;

    Pixmap rgb;
    ASSERT_EQ(rgb.Create(10, 3, 24), 1);
    EXPECT_EQ(rgb.pitch, 30);
    EXPECT_EQ(rgb.numBytes, 90);
}

TEST(PixmapShift, PowersOfTwoAreExactOthersRoundDown)
{
    for (int k = 0; k < 31; ++k) EXPECT_EQ(PixmapShift(1 << k), k) << "2^" << k;
    for (int k = 2; k < 31; ++k) {
        EXPECT_EQ(PixmapShift((1 << k) - 1), k - 1) << "2^" << k << " - 1";
        EXPECT_EQ(PixmapShift((1 << k) + 1), k) << "2^" << k << " + 1";
    }
    EXPECT_EQ(PixmapShift(1920), 10);
}

TEST_F(PixmapTest, InitialiserFailuresReportAndLeaveNothingAllocated)
{
    Pixmap p;
    EXPECT_THROW(p.Create(16, 16, 12), ErrorException);
    EXPECT_EQ(p.initialized, 0);
    EXPECT_EQ(p.ylook, nullptr);  // the row table is not leaked
    EXPECT_NE(Report().find("Pixmap object error:\n Invalid bpp.\nFilename: pixmap/pixmap\nLine: "),
              std::string::npos);

    for (auto [w, h] : {std::pair{0, 10}, {10, 0}, {-1, 10}, {10, -5}, {65536, 65536}, {46341, 46341}}) {
        Pixmap bad;
        EXPECT_THROW(bad.Create(w, h, 8), ErrorException) << w << "x" << h;
        EXPECT_EQ(bad.initialized, 0);
        EXPECT_EQ(bad.ylook, nullptr);
        EXPECT_EQ(bad.pixChar, nullptr);
    }
    Pixmap big;  // 23,171 x 23,171 x 4 bytes would wrap 32 bits
    EXPECT_THROW(big.Create(23171, 23171, 32), ErrorException);

    Pixmap live;
    ASSERT_EQ(live.Create(4, 4, 32), 1);
    live.pixInt[5] = 0x123456;
    EXPECT_THROW(live.Create(8, 8, 32), ErrorException);
    EXPECT_EQ(live.width, 4);
    EXPECT_EQ(live.pixInt[5], 0x123456u);
    EXPECT_NE(Report().find(" Pixmap already initialized.\n"), std::string::npos);
}

TEST_F(PixmapTest, OutOfMemoryReportsNameTheBufferAndSize)
{
    Pixmap p;
    orchid::alloc_test::FailAt(1);
    EXPECT_THROW(p.Create(640, 480, 32), ErrorException);
    EXPECT_EQ(p.initialized, 0);
    EXPECT_NE(Report().find("Out of memory error:\nVariable: ylook\nSize: 1920 bytes\nFilename: pixmap/pixmap\n"),
              std::string::npos);

    orchid::alloc_test::FailAt(2);
    EXPECT_THROW(p.Create(640, 480, 32), ErrorException);
    EXPECT_EQ(p.ylook, nullptr);  // released when the pixel buffer failed
    EXPECT_NE(Report().find("Variable: pixChar\nSize: 1228800 bytes\n"), std::string::npos);
    orchid::alloc_test::FailAt(0);
    EXPECT_EQ(p.Create(640, 480, 32), 1);
}

TEST_F(PixmapTest, LoadRawReadsResourceBytes)
{
    std::vector<uint8_t> mask(6 * 4 + 3);
    for (size_t i = 0; i < mask.size(); ++i) mask[i] = static_cast<uint8_t>(i * 7);
    const char* res = resources.Add(149, mask);

    Pixmap m;
    ASSERT_EQ(m.LoadRaw(res, 6, 4, 8), 1);
    for (int i = 0; i < 24; ++i) EXPECT_EQ(m.pixChar[i], mask[i]);  // a longer resource loads its first bytes

    Pixmap shortOne;
    EXPECT_THROW(shortOne.LoadRaw(res, 6, 5, 8), ErrorException);
    EXPECT_EQ(shortOne.initialized, 0);
    EXPECT_EQ(shortOne.pixChar, nullptr);
    EXPECT_NE(Report().find("Windows error:\n Couldn't load resource inside exe.\n"), std::string::npos);

    Pixmap missing;
    EXPECT_THROW(missing.LoadRaw(platform::MakeIntResource(999), 2, 2, 8), ErrorException);
    Pixmap nullName;
    EXPECT_THROW(nullName.LoadRaw(nullptr, 2, 2, 8), ErrorException);
    EXPECT_NE(Report().find(" 'char *resname' was null.\n"), std::string::npos);
}

TEST_F(PixmapTest, FreeRecordsWithoutThrowing)
{
    Pixmap p;
    EXPECT_NO_THROW(p.Free());
    EXPECT_EQ(errorLog.count, 1);
    EXPECT_NE(Report().find("Pixmap object error:\n Not initialized.\n"), std::string::npos);

    ASSERT_EQ(p.Create(2, 2, 16), 1);
    p.Free();
    EXPECT_EQ(p.initialized, 0);
    EXPECT_EQ(p.pixChar, nullptr);
    EXPECT_EQ(errorLog.count, 1);
    ASSERT_EQ(p.Create(3, 3, 16), 1);  // usable again after Free
}

TEST_F(PixmapTest, ResFileReadsLikeAFile)
{
    const std::vector<uint8_t> bytes = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11};
    const char* res = resources.Add(7, bytes);

    ResFile* f = ResFile_Open(res);
    uint8_t out[16] = {};
    EXPECT_EQ(ResFile_Read(out, 5, f), 5);
    EXPECT_EQ(ResFile_Read(out + 5, -3, f), 0);
    EXPECT_EQ(ResFile_Read(out + 5, 100, f), 6);
    EXPECT_EQ(f->position, 11u);
    EXPECT_EQ(ResFile_Read(out, 4, f), 0);
    EXPECT_EQ(f->position, f->size);
    EXPECT_EQ(0, memcmp(out, bytes.data(), bytes.size()));
    ResFile_Close(f);

    ResFile* none = ResFile_Open(platform::MakeIntResource(4242));
    EXPECT_EQ(none->size, 0u);
    EXPECT_EQ(ResFile_Read(out, 4, none), 0);
    ResFile_Close(none);

    // Without memory for the record, the resource reads as empty and closes safely.
    orchid::alloc_test::FailAt(1);
    ResFile* empty = ResFile_Open(res);
    orchid::alloc_test::FailAt(0);
    ASSERT_NE(empty, nullptr);
    EXPECT_EQ(ResFile_Read(out, 4, empty), 0);
    ResFile_Close(empty);
}

}  // namespace
