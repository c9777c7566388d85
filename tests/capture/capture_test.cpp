// The headless frame sinks: which presents become which frames, the
// conversion of shown surfaces to RGB, PNG files (also on a full disk and
// over existing files), the ffmpeg pipe (also without ffmpeg), the frames
// digest, the benchmark table and the progress line.
#include <gtest/gtest.h>
#include <png.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "capture/benchmark_sink.h"
#include "capture/capture.h"
#include "capture/ffmpeg_sink.h"
#include "capture/frame_digest.h"
#include "capture/png_sink.h"
#include "error/error_log.h"
#include "tests/support/log.h"
#include "tests/support/scratch_folder.h"

using capture::FrameRate;
using capture::FrameSchedule;
using platform::FrameView;
using platform::PixelLayout;

namespace {

std::vector<long> FramesOf(const FrameSchedule& s, long present)
{
    long first = 0;
    int n = s.FramesOf(present, &first);
    std::vector<long> out;
    for (int k = 0; k < n; ++k) out.push_back(first + k);
    return out;
}

TEST(FrameSchedule, KeepsEveryStepthPresentWithinFromAndTo)
{
    FrameSchedule s50(50, 0, -1);
    EXPECT_EQ(FramesOf(s50, 1), std::vector<long>{0});
    EXPECT_EQ(FramesOf(s50, 2), std::vector<long>{1});
    EXPECT_TRUE(FramesOf(s50, 3).empty());
    EXPECT_EQ(FramesOf(s50, 21460), std::vector<long>{10730});
    EXPECT_FALSE(s50.Complete(21461));

    // At 100 fps the first present also stands for frame 1.
    FrameSchedule s100(100, 0, -1);
    EXPECT_EQ(FramesOf(s100, 1), (std::vector<long>{0, 1}));
    EXPECT_EQ(FramesOf(s100, 2), std::vector<long>{2});

    FrameSchedule s4(4, 0, -1);
    EXPECT_TRUE(FramesOf(s4, 24).empty());
    EXPECT_EQ(FramesOf(s4, 25), std::vector<long>{1});

    FrameSchedule s(50, 100, 200);  // 1.00 s to 2.00 s
    EXPECT_TRUE(FramesOf(s, 1).empty());
    EXPECT_TRUE(FramesOf(s, 98).empty());
    EXPECT_EQ(FramesOf(s, 100), std::vector<long>{50});
    EXPECT_EQ(FramesOf(s, 200), std::vector<long>{100});
    EXPECT_TRUE(FramesOf(s, 202).empty());
    EXPECT_FALSE(s.Complete(199));
    EXPECT_TRUE(s.Complete(200));
    EXPECT_EQ(s.PresentsNeeded(21461), 200);

    FrameSchedule atZero(100, 0, 0);
    EXPECT_EQ(FramesOf(atZero, 1), std::vector<long>{0});
    EXPECT_TRUE(atZero.Complete(1));
}

// Frame i shows hundredth floor(100 i / fps): every frame comes exactly once,
// in order, from the present of its hundredth (the first present standing
// for hundredths 0 and 1), whatever the span.
void ExpectEveryFrameOnceAtItsHundredth(const FrameSchedule& s, long presents)
{
    long next = -1;
    for (long present = 1; present <= presents; ++present) {
        for (long index : FramesOf(s, present)) {
            const int64_t hundredth = 100 * static_cast<int64_t>(index) * s.rate.den / s.rate.num;
            ASSERT_EQ(hundredth, present == 1 && hundredth == 0 ? 0 : present) << index;
            ASSERT_GE(hundredth, s.fromHundredths) << index;
            if (s.toHundredths >= 0) {
                ASSERT_LE(hundredth, s.toHundredths) << index;
            }
            if (next >= 0) {
                ASSERT_EQ(index, next);
            }
            next = index + 1;
        }
    }
    ASSERT_GE(next, 0) << "no frame";
    // The frame after the last falls past the span (or the presents).
    const int64_t after = 100 * static_cast<int64_t>(next) * s.rate.den / s.rate.num;
    EXPECT_TRUE(after > presents || (s.toHundredths >= 0 && after > s.toHundredths)) << next;
}

TEST(FrameSchedule, AnyRateShowsTheLastHundredthBegunByEachFramesTime)
{
    // 60 fps: frames at hundredths 0, 1, 3, 5, 6, 8, ...; present 2 stands
    // for none, present 1 for two.
    FrameSchedule s60(60, 0, -1);
    EXPECT_EQ(FramesOf(s60, 1), (std::vector<long>{0, 1}));
    EXPECT_TRUE(FramesOf(s60, 2).empty());
    EXPECT_EQ(FramesOf(s60, 3), std::vector<long>{2});
    EXPECT_EQ(FramesOf(s60, 5), std::vector<long>{3});
    EXPECT_EQ(FramesOf(s60, 6), std::vector<long>{4});
    EXPECT_EQ(FramesOf(s60, 100), std::vector<long>{60});
    EXPECT_EQ(s60.FramesWithin(21461), 12878);  // frames 0 .. 12877, the last at 214.61 s

    // 59.94 fps: frame 599 at 9.99 s, frame 600 at 600 x 1001 / 60000 =
    // 10.01 s, so nothing at 10.00 s; the ratio is kept in lowest terms.
    FrameSchedule ntsc({120000, 2002}, 0, -1);
    EXPECT_EQ(ntsc.rate.num, 60000);
    EXPECT_EQ(ntsc.rate.den, 1001);
    EXPECT_EQ(FramesOf(ntsc, 999), std::vector<long>{599});
    EXPECT_TRUE(FramesOf(ntsc, 1000).empty());
    EXPECT_EQ(FramesOf(ntsc, 1001), std::vector<long>{600});
    EXPECT_EQ(ntsc.FramesWithin(21461), 12865);

    // --from and --to pick frames of the same grid: 24000/1001 from 1.00 s
    // starts with frame 24 (at 1.001 s, hundredth 100).
    FrameSchedule film({24000, 1001}, 100, 150);
    EXPECT_TRUE(FramesOf(film, 99).empty());
    EXPECT_EQ(FramesOf(film, 100), std::vector<long>{24});

    for (FrameRate rate : {FrameRate(100), FrameRate(60), FrameRate(50), FrameRate(30000, 1001),
                           FrameRate(60000, 1001), FrameRate(7), FrameRate(1, 3), FrameRate(9999, 100)}) {
        SCOPED_TRACE(testing::Message() << rate.num << "/" << rate.den);
        ExpectEveryFrameOnceAtItsHundredth(FrameSchedule(rate, 0, -1), 2000);
        ExpectEveryFrameOnceAtItsHundredth(FrameSchedule(rate, 1, 1500), 2000);
        ExpectEveryFrameOnceAtItsHundredth(FrameSchedule(rate, 317, 1403), 2000);
    }
    // A rate that divides 100 keeps every (100 / fps)-th present.
    for (int fps : {100, 50, 25, 20, 10, 5, 4, 2, 1}) {
        FrameSchedule s(fps, 0, -1);
        for (long present = 2; present <= 400; ++present) {
            const std::vector<long> got = FramesOf(s, present);
            if (present % (100 / fps) == 0)
                EXPECT_EQ(got, std::vector<long>{present / (100 / fps)}) << fps << " " << present;
            else
                EXPECT_TRUE(got.empty()) << fps << " " << present;
        }
    }
}

TEST(ConvertToRgb, EveryLayoutGivesFullRangeRgbAndScaleRepeatsPixels)
{
    uint8_t out[2 * 2 * 3 * 4];
    // 32 bits, with a pitch wider than the row.
    uint32_t xrgb[4] = {0xFF123456, 0x00ABCDEF, 0xDEADBEEF, 0xDEADBEEF};
    FrameView f32{reinterpret_cast<uint8_t*>(xrgb), 2, 1, 16, 32, PixelLayout::XRGB8888};
    capture::ConvertToRgb(f32, 1, out);
    EXPECT_EQ(0, std::memcmp(out, "\x12\x34\x56\xAB\xCD\xEF", 6));

    uint8_t bgr[6] = {1, 2, 3, 4, 5, 6};
    FrameView f24{bgr, 2, 1, 6, 24, PixelLayout::BGR24};
    capture::ConvertToRgb(f24, 1, out);
    EXPECT_EQ(0, std::memcmp(out, "\x03\x02\x01\x06\x05\x04", 6));

    uint16_t w565[2] = {0xFFFF, 0xF800};
    FrameView f565{reinterpret_cast<uint8_t*>(w565), 2, 1, 4, 16, PixelLayout::RGB565};
    capture::ConvertToRgb(f565, 1, out);
    EXPECT_EQ(0, std::memcmp(out, "\xFF\xFF\xFF\xFF\x00\x00", 6));

    uint16_t w555[2] = {0x7FFF, 0x03E0};
    FrameView f555{reinterpret_cast<uint8_t*>(w555), 2, 1, 4, 16, PixelLayout::RGB555};
    capture::ConvertToRgb(f555, 1, out);
    EXPECT_EQ(0, std::memcmp(out, "\xFF\xFF\xFF\x00\xFF\x00", 6));

    // Scale 2: each pixel twice across, each row twice down.
    capture::ConvertToRgb(f24, 2, out);
    const uint8_t row[12] = {3, 2, 1, 3, 2, 1, 6, 5, 4, 6, 5, 4};
    EXPECT_EQ(0, std::memcmp(out, row, 12));
    EXPECT_EQ(0, std::memcmp(out + 12, row, 12));
}

TEST(ConvertToRgb, PresetsCentreTheLargestWholeEnlargementOnBlack)
{
    struct {
        int height, scale, width, left, top;
    } const presets[] = {{1080, 2, 1920, 320, 60}, {1440, 3, 2560, 320, 0}, {2160, 4, 3840, 640, 120}};
    for (const auto& p : presets) {
        const capture::Framing f = capture::FramingOf(640, 480, 1, p.height);
        EXPECT_EQ(f.width, p.width) << p.height;
        EXPECT_EQ(f.height, p.height);
        EXPECT_EQ(f.scale, p.scale) << p.height;
        EXPECT_EQ(f.left, p.left) << p.height;
        EXPECT_EQ(f.top, p.top) << p.height;
    }
    // An odd margin leaves the extra pixel right and below; a picture wider
    // than the frame does not fit.
    const capture::Framing odd = capture::FramingOf(641, 481, 1, 1080);
    EXPECT_EQ(odd.scale, 2);
    EXPECT_EQ(odd.left, 319);
    EXPECT_EQ(odd.top, 59);
    EXPECT_EQ(capture::FramingOf(2000, 10, 1, 1080).scale, 0);
    // Without a preset the scale fills the frame.
    const capture::Framing plain = capture::FramingOf(640, 480, 3, 0);
    EXPECT_EQ(plain.width, 1920);
    EXPECT_EQ(plain.height, 1440);
    EXPECT_EQ(plain.left, 0);
}

class SinkTest : public test_support::LogTest {
protected:
    void SetUp() override
    {
        LogTest::SetUp();
        for (int i = 0; i < 8 * 4; ++i) pixels[i] = 0x00102030u + static_cast<uint32_t>(i);
        frame = FrameView{reinterpret_cast<uint8_t*>(pixels), 8, 4, 32, 32, PixelLayout::XRGB8888};
    }
    test_support::ScratchFolder scratch{"capture"};
    const std::string dir = scratch.Path();
    uint32_t pixels[8 * 4];
    FrameView frame;
};

// Reads an RGB PNG back.
std::vector<uint8_t> ReadPng(const std::string& path, int* width, int* height)
{
    png_image image;
    std::memset(&image, 0, sizeof image);
    image.version = PNG_IMAGE_VERSION;
    std::vector<uint8_t> rgb;
    if (!png_image_begin_read_from_file(&image, path.c_str())) return rgb;
    image.format = PNG_FORMAT_RGB;
    rgb.resize(PNG_IMAGE_SIZE(image));
    if (!png_image_finish_read(&image, nullptr, rgb.data(), 0, nullptr)) rgb.clear();
    *width = static_cast<int>(image.width);
    *height = static_cast<int>(image.height);
    return rgb;
}

TEST_F(SinkTest, PngFilesAreNamedByFrameIndexAndHoldTheScaledFrame)
{
    capture::PngSink sink((dir + "/frames").c_str(), FrameSchedule(50, 2, 4), 2);
    ASSERT_EQ(sink.Open(8, 4), 1);
    for (int k = 0; k < 6; ++k) sink.Frame(frame);
    sink.Close();
    EXPECT_EQ(sink.written, 2);  // frames 1 and 2: times 0.02 and 0.04 s
    struct stat st;
    EXPECT_NE(stat((dir + "/frames/frame-00000.png").c_str(), &st), 0);
    EXPECT_NE(stat((dir + "/frames/frame-00003.png").c_str(), &st), 0);
    int w = 0, h = 0;
    std::vector<uint8_t> rgb = ReadPng(dir + "/frames/frame-00002.png", &w, &h);
    ASSERT_EQ(rgb.size(), 16u * 8u * 3u);
    EXPECT_EQ(w, 16);
    EXPECT_EQ(h, 8);
    // Pixel (3, 2) of the frame, 0x102043, lands at (6..7, 4..5).
    for (int y : {4, 5}) EXPECT_EQ(std::memcmp(&rgb[(y * 16 + 6) * 3], "\x10\x20\x43\x10\x20\x43", 6), 0) << y;
    EXPECT_EQ(errorLog.count, 0);
}

// A 1080-line capture of a frame that changes: every output frame is
// 1920 x 1080, the picture twice its size at (320, 60), and black around
// it, frame after frame.
TEST_F(SinkTest, AHeightPresetFramesEveryPictureOnBlack)
{
    std::vector<uint32_t> big(640 * 480);
    FrameView view{reinterpret_cast<uint8_t*>(big.data()), 640, 480, 640 * 4, 32, PixelLayout::XRGB8888};
    // Frames 0 and 1 are the first present's picture, frame 2 the second's.
    capture::PngSink sink((dir + "/tall").c_str(), FrameSchedule(100, 0, 2), 1);
    sink.presetHeight = 1080;
    for (int k = 0; k < 2; ++k) {
        for (int i = 0; i < 640 * 480; ++i) big[i] = 0x00FFFFFFu - static_cast<uint32_t>(k);
        big[0] = 0x00112233;           // top left
        big[640 * 480 - 1] = 0x00445566;  // bottom right
        sink.Frame(view);
    }
    sink.Close();
    ASSERT_EQ(sink.written, 3);
    for (int k = 0; k < 2; ++k) {
        int w = 0, h = 0;
        const std::vector<uint8_t> rgb =
            ReadPng(dir + "/tall/frame-0000" + std::to_string(2 * k) + ".png", &w, &h);
        ASSERT_EQ(w, 1920);
        ASSERT_EQ(h, 1080);
        auto at = [&](int x, int y) { return &rgb[(static_cast<std::size_t>(y) * 1920 + x) * 3]; };
        for (int y : {60, 61}) EXPECT_EQ(std::memcmp(at(320, y), "\x11\x22\x33\x11\x22\x33", 6), 0) << y;
        for (int y : {1018, 1019}) EXPECT_EQ(std::memcmp(at(1598, y), "\x44\x55\x66\x44\x55\x66", 6), 0) << y;
        const uint8_t white = static_cast<uint8_t>(0xFF - k);
        EXPECT_EQ(at(322, 60)[2], white);
        // Black just outside each edge of the picture and in the corners.
        long lit = 0;
        for (int y = 0; y < 1080; ++y)
            for (int x = 0; x < 1920; ++x)
                if (x < 320 || x >= 1600 || y < 60 || y >= 1020) lit += at(x, y)[0] | at(x, y)[1] | at(x, y)[2];
        EXPECT_EQ(lit, 0) << k;
    }
    EXPECT_EQ(errorLog.count, 0);
}

// The names in a folder.
std::vector<std::string> Names(const std::string& dir)
{
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(dir)) names.push_back(entry.path().filename());
    std::sort(names.begin(), names.end());
    return names;
}

TEST_F(SinkTest, AFileThatCannotBeWrittenIsReportedAndLeavesNothing)
{
    // A file size limit makes every write past 16 bytes fail, as a full
    // disk does (with the signal ignored, the write returns EFBIG).
    struct rlimit saved;
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
    void (*previous)(int) = std::signal(SIGXFSZ, SIG_IGN);
    struct rlimit tight = saved;
    tight.rlim_cur = 16;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &tight), 0);
    capture::PngSink sink(dir.c_str(), FrameSchedule(50, 0, -1), 1);
    ASSERT_EQ(sink.Open(8, 4), 1);
    bool threw = false;
    try {
        sink.Frame(frame);
    } catch (const ErrorException&) {
        threw = true;
    }
    setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, previous);
    sink.Close();
    EXPECT_TRUE(threw);
    EXPECT_EQ(sink.written, 0);
    std::string report = errorLog.Report();
    EXPECT_NE(report.find("File error:\nThe file '" + dir +
                          "/frame-00000.png' could not be written: File too large. Nothing was left under its name.\n"),
              std::string::npos)
        << report;
    EXPECT_TRUE(Names(dir).empty());
}

TEST_F(SinkTest, AnExistingFrameIsReplacedOnlyWhenAskedForAndNeverWrittenThrough)
{
    if (access("/dev/full", W_OK) != 0) GTEST_SKIP() << "no /dev/full";
    // In place of the first frame, a link to a device that is always full:
    // left alone without overwrite, replaced by the frame (the device
    // untouched) with it.
    const std::string first = dir + "/frame-00000.png";
    ASSERT_EQ(symlink("/dev/full", first.c_str()), 0);
    {
        capture::PngSink sink(dir.c_str(), FrameSchedule(50, 0, -1), 1);
        EXPECT_THROW(sink.Frame(frame), ErrorException);
        sink.Close();
        EXPECT_EQ(sink.written, 0);
    }
    std::string report = errorLog.Report();
    EXPECT_NE(report.find("The file '" + first + "' exists and was left as it was (-y replaces it).\n"),
              std::string::npos)
        << report;
    struct stat st;
    ASSERT_EQ(lstat(first.c_str(), &st), 0);
    EXPECT_TRUE(S_ISLNK(st.st_mode));
    EXPECT_EQ(Names(dir), std::vector<std::string>{"frame-00000.png"});

    test_support::FreshLog();
    capture::PngSink sink(dir.c_str(), FrameSchedule(50, 0, -1), 1);
    sink.overwrite = true;
    sink.Frame(frame);
    sink.Close();
    EXPECT_EQ(errorLog.count, 0) << errorLog.Report();
    EXPECT_EQ(sink.written, 1);
    ASSERT_EQ(lstat(first.c_str(), &st), 0);
    EXPECT_TRUE(S_ISREG(st.st_mode));
    int w = 0, h = 0;
    EXPECT_EQ(ReadPng(first, &w, &h).size(), 8u * 4u * 3u);
}

TEST_F(SinkTest, AFileInPlaceOfTheDirectoryIsReported)
{
    std::string path = dir + "/plain";
    ASSERT_TRUE(std::ofstream(path).good());
    capture::PngSink sink(path.c_str(), FrameSchedule(50, 0, -1), 1);
    EXPECT_THROW(sink.Open(8, 4), ErrorException);
    EXPECT_NE(std::string(errorLog.Report()).find("is not a directory.\n"), std::string::npos);
}

TEST_F(SinkTest, MissingFfmpegIsReportedWithAPointerToFrames)
{
    capture::FfmpegSink sink((dir + "/out.mkv").c_str(), nullptr, FrameSchedule(50, 0, -1), 1);
    sink.program = "orchid-no-such-ffmpeg";
    EXPECT_FALSE(capture::FfmpegSink::ProgramAvailable(sink.program));
    ASSERT_EQ(sink.Open(8, 4), 1);
    EXPECT_THROW(sink.Frame(frame), ErrorException);
    sink.Close();
    std::string report = errorLog.Report();
    EXPECT_NE(report.find("The ffmpeg program was not found."), std::string::npos) << report;
    EXPECT_NE(report.find("--frames DIR"), std::string::npos) << report;
}

TEST_F(SinkTest, AnEncoderThatFailsIsReportedAndReaped)
{
    // `false` reads nothing and exits 1: either the pipe breaks while
    // writing, or closing finds the failed exit.
    capture::FfmpegSink sink((dir + "/out.mkv").c_str(), nullptr, FrameSchedule(50, 0, -1), 64);
    sink.program = "false";
    ASSERT_EQ(sink.Open(8, 4), 1);
    bool threw = false;
    for (int k = 0; k < 20 && !threw; ++k) {
        try {
            sink.Frame(frame);
        } catch (const ErrorException&) {
            threw = true;
        }
    }
    sink.Close();
    std::string report = errorLog.Report();
    EXPECT_TRUE(report.find("ffmpeg stopped taking frames") != std::string::npos ||
                report.find("could not finish") != std::string::npos)
        << report;
}

TEST_F(SinkTest, FfmpegWritesAPlayableVideo)
{
    if (!capture::FfmpegSink::ProgramAvailable("ffmpeg")) GTEST_SKIP() << "ffmpeg is not installed";
    std::string out = dir + "/out.mkv";
    capture::FfmpegSink sink(out.c_str(), nullptr, FrameSchedule(25, 0, -1), 2);
    ASSERT_EQ(sink.Open(8, 4), 1);
    for (int k = 0; k < 40; ++k) sink.Frame(frame);
    sink.Close();
    EXPECT_EQ(errorLog.count, 0) << errorLog.Report();
    EXPECT_EQ(sink.written, 11);  // frames 0..10
    std::string probe = "ffprobe -v error -count_frames -select_streams v:0 -show_entries "
                        "stream=nb_read_frames,width,height -of csv=p=0 '" + out + "'";
    std::FILE* p = popen(probe.c_str(), "r");
    ASSERT_NE(p, nullptr);
    char line[128] = {};
    ASSERT_NE(std::fgets(line, sizeof line, p), nullptr);
    pclose(p);
    EXPECT_STREQ(line, "16,8,11\n");
}

TEST(FrameDigest, IsXxh3OfTheRowsOfEveryFrameInOrderWithoutThePitchPadding)
{
    // Two 3 x 2 frames in buffers with 8 bytes of padding after each row.
    uint8_t padded[2][2 * 20];
    std::vector<uint8_t> rows;
    for (int f = 0; f < 2; ++f) {
        for (int i = 0; i < 2 * 20; ++i) padded[f][i] = static_cast<uint8_t>(i % 20 < 12 ? 7 * i + f : 0xEE);
        for (int y = 0; y < 2; ++y) rows.insert(rows.end(), padded[f] + y * 20, padded[f] + y * 20 + 12);
    }
    FrameView first{padded[0], 3, 2, 20, 32, PixelLayout::XRGB8888};
    FrameView second{padded[1], 3, 2, 20, 32, PixelLayout::XRGB8888};

    capture::FrameDigest digest;
    EXPECT_EQ(digest.Value(), 0x2D06800538D394C2u);  // XXH3-64 of nothing, seed 0
    digest.Add(first);
    EXPECT_EQ(digest.Value(), XXH3_64bits(rows.data(), 24));
    EXPECT_EQ(capture::HashFrame(first), XXH3_64bits(rows.data(), 24));
    digest.Add(second);
    EXPECT_EQ(digest.Value(), XXH3_64bits(rows.data(), 48));
    EXPECT_EQ(digest.frames, 2);
    digest.Reset();
    EXPECT_EQ(digest.frames, 0);
    EXPECT_EQ(digest.Value(), 0x2D06800538D394C2u);

    char text[17];
    capture::FormatDigest(0x00AB0000000000C1u, text);
    EXPECT_STREQ(text, "00ab0000000000c1");
}

int currentLabel = 0;
int Label() { return currentLabel; }

TEST(BenchmarkSink, GroupsFrameTimesByLabelAndExpressesThemInCopies)
{
    capture::BenchmarkSink sink(Label);
    FrameView none{nullptr, 640, 480, 2560, 32, PixelLayout::XRGB8888};
    sink.Frame(none);  // only starts the clock
    currentLabel = 2;
    sink.Frame(none);
    sink.Frame(none);
    currentLabel = 9;  // out of range: the last group
    sink.Frame(none);
    EXPECT_EQ(sink.groups[2].count, 2);
    EXPECT_EQ(sink.groups[capture::BenchmarkSink::kLabels - 1].count, 1);
    EXPECT_GE(sink.groups[2].maxNs * 2, sink.groups[2].totalNs);

    sink.groups[2].totalNs = 2 * 300000;  // 300 us a frame
    sink.groups[2].maxNs = 400000;
    sink.groups[7].totalNs = 900000;
    sink.createdNs = sink.firstNs - 12500000;
    char buffer[2048] = {};
    std::FILE* out = fmemopen(buffer, sizeof buffer - 1, "w");
    sink.Print(out, 100000, 50000);  // a copy takes 100 us (50 us in cache)
    std::fclose(out);
    std::string text = buffer;
    EXPECT_NE(text.find("    2        2     300.0     400.0      3.00               6.00"), std::string::npos) << text;
    EXPECT_NE(text.find("mean frame cost: 500.0 us = 5.00 memcpys (10.00 in-cache memcpys); "
                        "worst scene: 7 at 9.00 memcpys (18.00 in-cache memcpys)"),
              std::string::npos)
        << text;
    EXPECT_NE(text.find("\nstart-up to the first frame: 12.5 ms\n"), std::string::npos) << text;
    EXPECT_EQ(text.find("frames digest"), std::string::npos) << "no frame image, no digest";
    EXPECT_GT(capture::BenchmarkSink::MeasureFrameCopy(64, 48, false), 0);

    // Through a run the in-cache yardstick copy is timed every kCopyEvery
    // frames.
    capture::BenchmarkSink run(Label);
    std::memset(buffer, 0, sizeof buffer);
    run.out = fmemopen(buffer, sizeof buffer - 1, "w");
    FrameView small{nullptr, 64, 48, 256, 32, PixelLayout::XRGB8888};
    const int every = capture::BenchmarkSink::kCopyEvery;
    for (int i = 0; i < 2 * every + every / 2; ++i) run.Frame(small);
    EXPECT_EQ(run.copies, 2);
    EXPECT_GT(run.copyTotalNs, 0);
    run.Close();
    std::fclose(run.out);
    EXPECT_NE(std::string(buffer).find("us in cache (mean of 2, timed through the run)"), std::string::npos) << buffer;
}

TEST(ProgressLine, PlainOutputGivesOneLinePerTenthCountingFramesWritten)
{
    char buffer[4096] = {};
    std::FILE* out = fmemopen(buffer, sizeof buffer - 1, "w");
    capture::ProgressLine progress;
    // 200 hundredths at 25 fps: frame 0 and every fourth present.
    progress.Start("capture", 200, 51, out, false);
    for (long done = 1; done <= 200; ++done) progress.Update(done, 1 + done / 4);
    progress.Finish();
    std::fclose(out);
    std::string text = buffer;
    int lines = 0;
    for (char c : text) lines += c == '\n';
    EXPECT_EQ(lines, 11) << text;
    EXPECT_NE(text.find("capture  50.0%  frame 26/51  "), std::string::npos) << text;
    // The speed: seconds of show time per second of wall time.
    std::size_t last = text.find("capture 100.0%  frame 51/51  ");
    ASSERT_NE(last, std::string::npos) << text;
    double speed = 0.0;
    char eta[16] = {};
    ASSERT_EQ(std::sscanf(text.c_str() + last, "capture 100.0%%  frame 51/51  %lfx  ETA %15s", &speed, eta), 2) << text;
    EXPECT_GT(speed, 0.0);
    EXPECT_STREQ(eta, "0:00");
    EXPECT_EQ(text.find('\r'), std::string::npos);
}

TEST(FrameSchedule, CountsTheFramesARunWrites)
{
    EXPECT_EQ(FrameSchedule(50, 0, -1).FramesWithin(21461), 10731);
    EXPECT_EQ(FrameSchedule(100, 0, -1).FramesWithin(3), 4);
    EXPECT_EQ(FrameSchedule(1, 100, 300).FramesWithin(300), 3);
    EXPECT_EQ(FrameSchedule(10, 0, 0).FramesWithin(1), 1);
}

// The digest is of the frame the program rendered at every present, first
// one included, whatever the presented surface holds.
uint32_t rendered[4 * 3];
FrameView Rendered() { return FrameView{reinterpret_cast<uint8_t*>(rendered), 4, 3, 16, 32, PixelLayout::XRGB8888}; }

TEST(BenchmarkSink, PrintsTheDigestOfTheRenderedFrameAtEveryPresent)
{
    capture::BenchmarkSink sink(Label, Rendered);
    char buffer[2048] = {};
    sink.out = fmemopen(buffer, sizeof buffer - 1, "w");
    uint16_t shown[4 * 3] = {};
    FrameView surface{reinterpret_cast<uint8_t*>(shown), 4, 3, 8, 16, PixelLayout::RGB565};
    capture::FrameDigest expected;
    for (int present = 0; present < 5; ++present) {
        for (int i = 0; i < 12; ++i) rendered[i] = static_cast<uint32_t>(present * 1000 + i);
        shown[present] = 0xFFFF;
        sink.Frame(surface);
        expected.Add(Rendered());
    }
    sink.Close();
    std::fclose(sink.out);
    char text[17];
    capture::FormatDigest(expected.Value(), text);
    EXPECT_NE(std::string(buffer).find(std::string("\nframes digest ") + text + "\n"), std::string::npos) << buffer;
    EXPECT_EQ(sink.digest.frames, 5);
}

}  // namespace
