// Pixmap::LoadJpeg: depths, reports and clean failure.
#include <gtest/gtest.h>

#include <string>

#include "error/error_log.h"
#include "error/memory.h"
#include "jpeg/jpeg_decoder.h"
#include "pixmap/pixmap.h"
#include "platform/resources.h"
#include "tests/jpeg/jpeg_builder.h"
#include "tests/support/log.h"
#include "tests/support/resources.h"

using namespace jpeg_test;

namespace {

const std::vector<uint8_t> kAcCounts = {0, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
const std::vector<uint8_t> kAcValues = {0x00};

// A 16 x 8 H1V1 picture: left MCU decodes to red 255, green 128, blue 0
// (Y 142, Cb 0, Cr 208); right MCU to grey 101, 99, 101 (Y 100). With one
// component, its luma alone.
Bytes TwoColourPicture(size_t comps = 3, int yhv = 0x11)
{
    auto dc = Canonical(kDcCounts, kDcValues);
    auto ac = Canonical(kAcCounts, kAcValues);
    std::vector<Comp> frame = {{1, yhv, 0}, {2, 0x11, 0}, {3, 0x11, 0}};
    std::vector<ScanComp> scan = {{1, 0}, {2, 0}, {3, 0}};
    frame.resize(comps);
    scan.resize(comps);
    JpegBuilder b;
    b.Soi().Dqt(0).Sof(0xC0, 16, 8, frame).Dht(0x00, kDcCounts, kDcValues).Dht(0x10, kAcCounts, kAcValues).Sos(scan);
    BitWriter bw;
    const int mcus[2][3] = {{142, 0, 208}, {100, 128, 128}};
    int pred[3] = {0, 0, 0};
    for (const auto& m : mcus) {
        for (size_t c = 0; c < comps; ++c) {
            int v = 8 * (m[c] - 128);
            EncodeBlock(bw, dc, ac, v - pred[c]);
            pred[c] = v;
        }
    }
    return b.Raw(bw.Finish()).Eoi().data;
}

class LoadJpegTest : public test_support::LogTest {
protected:
    test_support::TestResources resources;
};

TEST_F(LoadJpegTest, StoresEveryDepth)
{
    const char* res = resources.Add(300, TwoColourPicture());
    Pixmap p32, p24, p16, p8;
    ASSERT_EQ(p32.LoadJpeg(res, 32), 1);
    EXPECT_EQ(p32.width, 16);
    EXPECT_EQ(p32.height, 8);
    EXPECT_EQ(p32.initialized, 1);
    EXPECT_EQ(p32.pixInt[0], 0x00FF8000u);
    EXPECT_EQ(p32.pixInt[7 * 16 + 15], 0x00656365u);

    ASSERT_EQ(p24.LoadJpeg(res, 24), 1);
    EXPECT_EQ(p24.pixChar[0], 0x00);
    EXPECT_EQ(p24.pixChar[1], 0x80);
    EXPECT_EQ(p24.pixChar[2], 0xFF);
    EXPECT_EQ(p24.pixChar[3 * 8 + 2], 101);

    ASSERT_EQ(p16.LoadJpeg(res, 16), 1);
    EXPECT_EQ(p16.pixShort[0], 0xFC00);
    EXPECT_EQ(p16.pixShort[8], 0x630C);

    ASSERT_EQ(p8.LoadJpeg(res, 8), 1);
    EXPECT_EQ(p8.pixChar[0], 0);

    // A second load into a live Pixmap is refused.
    EXPECT_THROW(p32.LoadJpeg(res, 32), ErrorException);
    EXPECT_NE(std::string(errorLog.Report()).find("Pixmap already initialized.\n"), std::string::npos);
    EXPECT_EQ(p32.pixInt[0], 0x00FF8000u);
}

TEST_F(LoadJpegTest, FailuresReportAndLeaveThePixmapEmpty)
{
    // A damaged segment after the last line's data, in place of EOI.
    Bytes damagedEnd = TwoColourPicture();
    damagedEnd.resize(damagedEnd.size() - 2);
    damagedEnd.insert(damagedEnd.end(), {0xFF, 0xC4, 0x00, 0x01});
    const struct {
        const char* res;
        int bpp;
        const char* text;
    } cases[] = {
        {nullptr, 32, "'char *resname' was null.\n"},
        {resources.Add(301, Bytes(100, 0x42)), 32, "Jpeg decoder failed: init\n"},
        {platform::MakeIntResource(399), 32, "Jpeg decoder failed: init\n"},
        {resources.Add(302, TwoColourPicture(3, 0x31)), 32, "Jpeg decoder failed: begin\n"},
        {resources.Add(303, TwoColourPicture(1)), 32, "'UCHAR *Pbuf' was null.\n"},
        {resources.Add(304, damagedEnd), 32, "Unknown error:\n Jpeg decoder failed: end\n"},
        {resources.Add(305, TwoColourPicture()), 12, "Invalid bpp.\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        Pixmap p;
        EXPECT_THROW(p.LoadJpeg(c.res, c.bpp), ErrorException);
        std::string report = errorLog.Report();
        EXPECT_NE(report.find(c.text), std::string::npos) << report;
        EXPECT_NE(report.find("Filename: pixmap/pixmap\n"), std::string::npos) << report;
        EXPECT_EQ(p.initialized, 0);
        EXPECT_EQ(p.pixChar, nullptr);
    }
}

TEST_F(LoadJpegTest, OutOfMemoryAtEveryStepIsReported)
{
    const char* res = resources.Add(306, TwoColourPicture());
    bool loaded = false;
    for (long n = 1; n < 40 && !loaded; ++n) {
        Pixmap p;
        orchid::alloc_test::FailAt(n);
        try {
            loaded = p.LoadJpeg(res, 32) == 1;
        } catch (const ErrorException&) {
            EXPECT_EQ(p.initialized, 0);
        }
        orchid::alloc_test::FailAt(0);
    }
    EXPECT_TRUE(loaded);
    std::string report = errorLog.Report();
    for (const char* text : {"'Pjpeg_decoder_file_stream\nPinput_stream' was null.\n", "'Pjpeg_decoder Pd' was null.\n",
                             "Jpeg decoder failed: begin\n", "ylook\n", "pixChar\n", "buffer32\n", "Pbuf\n"}) {
        EXPECT_NE(report.find(text), std::string::npos) << text;
    }
}

}  // namespace
