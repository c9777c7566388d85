// The show's resources as the program sees them (the embedded table), the
// music file beside the program, and the generator that makes both.
#include <gtest/gtest.h>

#include <mpg123.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <string>
#include <unistd.h>
#include <vector>

#include "pixmap/pixmap.h"
#include "platform/resources.h"
#include "tests/jpeg/libjpeg_peer.h"
#include "tests/support/scratch_folder.h"

namespace {

enum class Kind { Jpeg, Mask, Glyphs, Bitmap };

struct Expected {
    int id;
    const char* name;
    Kind kind;
    int width, height;  // for masks: the partner picture's size
    int partner;        // masks: the picture whose size they take
};

// The show's asset table.
const Expected kAssets[] = {
    {146, "bridgePic", Kind::Jpeg, 640, 480, 0},
    {147, "panoramaPic", Kind::Jpeg, 1920, 480, 0},
    {153, "stagePic", Kind::Jpeg, 640, 480, 0},
    {148, "titlePic", Kind::Jpeg, 640, 480, 0},
    {149, "titleMask", Kind::Mask, 640, 480, 148},
    {154, "blurPic", Kind::Jpeg, 640, 480, 0},
    {155, "blurMask", Kind::Mask, 640, 480, 154},
    {157, "dropPic", Kind::Jpeg, 10, 14, 0},
    {158, "dropMask", Kind::Mask, 10, 14, 157},
    {152, "wallpaperPic", Kind::Jpeg, 512, 512, 0},
    {138, "patternPic", Kind::Jpeg, 128, 128, 0},
    {139, "patternMask", Kind::Mask, 128, 128, 138},
    {156, "branchPic", Kind::Jpeg, 256, 256, 0},
    {145, "tilePic", Kind::Jpeg, 128, 128, 0},
    {164, "flowerPic1", Kind::Jpeg, 256, 256, 0},
    {165, "flowerPic2", Kind::Jpeg, 256, 256, 0},
    {167, "flowerPic3", Kind::Jpeg, 256, 256, 0},
    {168, "flowerPic4", Kind::Jpeg, 256, 256, 0},
    {169, "flowerPic5", Kind::Jpeg, 256, 256, 0},
    {170, "flowerPic6", Kind::Jpeg, 256, 256, 0},
    {166, "flowerMask", Kind::Mask, 256, 256, 167},
    {160, "captionPic9", Kind::Jpeg, 256, 256, 0},
    {162, "captionPic10", Kind::Jpeg, 256, 256, 0},
    {161, "captionPic11", Kind::Jpeg, 256, 256, 0},
    {163, "captionPic12", Kind::Jpeg, 256, 256, 0},
    {171, "closingPic", Kind::Jpeg, 640, 480, 0},
    {159, "screenPic", Kind::Jpeg, 256, 256, 0},
    {178, "captionPic1", Kind::Jpeg, 256, 256, 0},
    {173, "captionPic2", Kind::Jpeg, 256, 256, 0},
    {174, "captionPic3", Kind::Jpeg, 256, 256, 0},
    {175, "captionPic4", Kind::Jpeg, 256, 256, 0},
    {176, "captionPic5", Kind::Jpeg, 256, 256, 0},
    {177, "captionPic6", Kind::Jpeg, 256, 256, 0},
    {7, "captionPic7", Kind::Jpeg, 256, 256, 0},
    {184, "captionMask7", Kind::Mask, 256, 256, 7},
    {185, "captionPic8", Kind::Jpeg, 256, 256, 0},
    {186, "captionMask8", Kind::Mask, 256, 256, 185},
    {123, "font", Kind::Glyphs, 4 * 48, 6, 0},
    {144, "banner", Kind::Bitmap, 230, 50, 0},
    {181, "icon", Kind::Bitmap, 32, 32, 0},
};

std::vector<uint8_t> Resource(int id)
{
    platform::ResourceBlock b = platform::FindResource(platform::MakeIntResource(id));
    return std::vector<uint8_t>(b.data, b.data + b.size);
}

std::vector<uint8_t> ReadFile(const std::filesystem::path& p)
{
    std::ifstream f(p, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
}

// What the frame header of a JPEG says.
struct JpegHeader {
    int sofMarker = 0;  // 0xC0 for baseline sequential
    int sofCount = 0;
    int width = 0, height = 0, components = 0;
    int sampling[3] = {0, 0, 0};  // H << 4 | V per component
    bool restarts = false;        // a DRI segment with a nonzero interval
};

JpegHeader ParseJpeg(const std::vector<uint8_t>& d)
{
    JpegHeader h;
    if (d.size() < 4 || d[0] != 0xFF || d[1] != 0xD8) return h;
    size_t p = 2;
    while (p + 4 <= d.size()) {
        if (d[p] != 0xFF) return h;
        int marker = d[p + 1];
        size_t len = size_t(d[p + 2]) << 8 | d[p + 3];
        if (p + 2 + len > d.size()) return h;
        const uint8_t* s = &d[p + 4];
        if (marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC) {
            h.sofMarker = marker;
            ++h.sofCount;
            h.height = s[1] << 8 | s[2];
            h.width = s[3] << 8 | s[4];
            h.components = s[5];
            for (int c = 0; c < std::min(3, h.components); ++c) h.sampling[c] = s[6 + c * 3 + 1];
        }
        if (marker == 0xDD && len >= 4) h.restarts = (s[0] << 8 | s[1]) != 0;
        if (marker == 0xDA) break;  // entropy-coded data follows
        p += 2 + len;
    }
    return h;
}

TEST(Assets, EveryResourceExistsWithItsKindAndSize)
{
    int h1v1 = 0, h2v2 = 0, withRestarts = 0;
    for (const Expected& e : kAssets) {
        SCOPED_TRACE(e.name);
        std::vector<uint8_t> d = Resource(e.id);
        ASSERT_FALSE(d.empty());
        switch (e.kind) {
        case Kind::Jpeg: {
            JpegHeader h = ParseJpeg(d);  // sizes: where the pictures are decoded
            EXPECT_EQ(h.sofMarker, 0xC0);  // baseline sequential only
            EXPECT_EQ(h.sofCount, 1);
            EXPECT_EQ(h.components, 3);
            EXPECT_TRUE(h.sampling[0] == 0x11 || h.sampling[0] == 0x22) << std::hex << h.sampling[0];
            EXPECT_EQ(h.sampling[1], 0x11);
            EXPECT_EQ(h.sampling[2], 0x11);
            h1v1 += h.sampling[0] == 0x11;
            h2v2 += h.sampling[0] == 0x22;
            withRestarts += h.restarts;
            break;
        }
        case Kind::Mask: {
            JpegHeader ph = ParseJpeg(Resource(e.partner));
            EXPECT_EQ(d.size(), size_t(ph.width) * size_t(ph.height));
            EXPECT_EQ(d.size(), size_t(e.width) * size_t(e.height));
            // Hard: masks tested as nonzero must not grow a halo.
            size_t on = 0;
            for (uint8_t b : d) {
                ASSERT_TRUE(b == 0 || b == 255) << int(b);
                on += b == 255;
            }
            EXPECT_GT(on, 0u);
            EXPECT_LT(on, d.size());
            break;
        }
        case Kind::Glyphs:
            EXPECT_EQ(d.size(), 1152u);
            break;
        case Kind::Bitmap: {
            ASSERT_GE(d.size(), 54u + 1024u);
            auto u16 = [&](size_t o) { return int(d[o] | d[o + 1] << 8); };
            auto u32 = [&](size_t o) { return int32_t(uint32_t(u16(o)) | uint32_t(u16(o + 2)) << 16); };
            EXPECT_EQ(d[0], 'B');
            EXPECT_EQ(d[1], 'M');
            EXPECT_EQ(size_t(u32(2)), d.size());
            EXPECT_EQ(u32(14), 40);  // BITMAPINFOHEADER
            EXPECT_EQ(u32(18), e.width);
            EXPECT_EQ(std::abs(u32(22)), e.height);
            EXPECT_EQ(u16(28), 8);  // bits per pixel
            EXPECT_EQ(u32(30), 0);  // uncompressed
            EXPECT_TRUE(u32(46) == 0 || u32(46) == 256);
            size_t stride = (size_t(e.width) + 3) & ~size_t(3);
            EXPECT_EQ(size_t(u32(10)) + stride * size_t(e.height), d.size());
            break;
        }
        }
    }
    EXPECT_GT(h1v1, 0);
    EXPECT_GT(h2v2, 0);
    EXPECT_GT(withRestarts, 0);
}

TEST(Assets, PicturesDecodeWithBothDecodersAlike)
{
    for (const Expected& e : kAssets) {
        if (e.kind != Kind::Jpeg) continue;
        SCOPED_TRACE(e.name);
        std::vector<uint8_t> d = Resource(e.id);
        int w = 0, h = 0;
        std::vector<uint8_t> ref = jpeg_peer::Decode(d.data(), d.size(), 3, &w, &h);
        ASSERT_EQ(w, e.width);
        ASSERT_EQ(h, e.height);

        Pixmap pic;
        ASSERT_EQ(pic.LoadJpeg(platform::MakeIntResource(e.id), 32), 1);
        ASSERT_EQ(pic.width, w);
        ASSERT_EQ(pic.height, h);
        int worst = 0;
        double total = 0;
        for (int i = 0; i < w * h; ++i) {
            uint32_t p = pic.pixInt[i];
            int got[3] = {int(p >> 16 & 255), int(p >> 8 & 255), int(p & 255)};
            for (int c = 0; c < 3; ++c) {
                int diff = std::abs(got[c] - ref[size_t(i) * 3 + size_t(c)]);
                worst = std::max(worst, diff);
                total += diff;
            }
        }
        // The two IDCTs and colour conversions round differently, by a few
        // levels at most; any real decoding fault shows far larger.
        EXPECT_LE(worst, 8);
        EXPECT_LT(total / (w * h * 3.0), 1.5);
    }
}

TEST(Assets, WallpaperTilesWithoutASeam)
{
    int w = 0, h = 0;
    std::vector<uint8_t> wallpaper = Resource(152);
    std::vector<uint8_t> rgb = jpeg_peer::Decode(wallpaper.data(), wallpaper.size(), 3, &w, &h);
    ASSERT_EQ(w, h);
    // Mean difference between two columns (or rows) of the picture.
    auto between = [&](int a, int b, bool columns) {
        double sum = 0;
        for (int i = 0; i < w; ++i)
            for (int c = 0; c < 3; ++c) {
                size_t pa = columns ? size_t(i) * w + a : size_t(a) * w + i;
                size_t pb = columns ? size_t(i) * w + b : size_t(b) * w + i;
                sum += std::abs(int(rgb[pa * 3 + c]) - int(rgb[pb * 3 + c]));
            }
        return sum / (w * 3.0);
    };
    for (bool columns : {true, false}) {
        // Where the picture wraps, it joins no worse than across its own
        // 16-pixel block edges.
        double edges = 0;
        for (int k = 1; k < w / 16; ++k) edges += between(k * 16 - 1, k * 16, columns);
        edges /= w / 16 - 1;
        EXPECT_LT(between(w - 1, 0, columns), 2 * edges) << (columns ? "columns" : "rows");
    }
}

TEST(Assets, GlyphBlockHoldsTheSmallFont)
{
    std::vector<uint8_t> d = Resource(123);
    ASSERT_EQ(d.size(), 1152u);
    auto glyph = [&](int code) {
        std::string s;
        for (int r = 0; r < 6; ++r)
            for (int c = 0; c < 4; ++c) s += d[size_t((code - 48) * 24 + r * 4 + c)] ? '1' : '0';
        return s;
    };
    EXPECT_EQ(glyph('A'), "010011101010111010100000");
    std::set<std::string> seen;
    for (int code = 48; code < 96; ++code) {
        SCOPED_TRACE(code);
        std::string g = glyph(code);
        for (int i = 0; i < 24; ++i) {
            uint8_t b = d[size_t((code - 48) * 24 + i)];
            ASSERT_TRUE(b == 0 || b == 255);
            if (i % 4 == 3 || i >= 20) {
                EXPECT_EQ(g[size_t(i)], '0');  // spacing column and row
            }
        }
        EXPECT_NE(g.find('1'), std::string::npos);
        EXPECT_TRUE(seen.insert(g).second) << "two codes share a glyph";
    }
}

// The music, decoded: format, length, level and the shape of the timeline.
class Music : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        ASSERT_EQ(mpg123_init(), MPG123_OK);
        int err = 0;
        mpg123_handle* mh = mpg123_new(nullptr, &err);
        ASSERT_NE(mh, nullptr);
        mpg123_param(mh, MPG123_ADD_FLAGS, MPG123_GAPLESS | MPG123_QUIET, 0);
        ASSERT_EQ(mpg123_open(mh, ORCHID_MUSIC_FILE), MPG123_OK);
        long r = 0;
        ASSERT_EQ(mpg123_getformat(mh, &r, &channels, &encoding), MPG123_OK);
        rate = r;
        std::vector<unsigned char> buf(1 << 16);
        size_t got = 0;
        int status;
        while ((status = mpg123_read(mh, buf.data(), buf.size(), &got)) == MPG123_OK || got > 0) {
            const int16_t* s = reinterpret_cast<const int16_t*>(buf.data());
            pcm.insert(pcm.end(), s, s + got / 2);
            if (status != MPG123_OK) break;
        }
        mpg123_close(mh);
        mpg123_delete(mh);
    }
    static double Seconds() { return double(pcm.size()) / 2.0 / double(rate); }
    static double Rms(double from, double to)
    {
        size_t a = size_t(from * double(rate)) * 2, b = std::min(pcm.size(), size_t(to * double(rate)) * 2);
        double sum = 0;
        for (size_t i = a; i < b; ++i) sum += double(pcm[i]) * pcm[i];
        return std::sqrt(sum / double(std::max<size_t>(1, b - a)));
    }
    static std::vector<int16_t> pcm;
    static long rate;
    static int channels, encoding;
};
std::vector<int16_t> Music::pcm;
long Music::rate = 0;
int Music::channels = 0, Music::encoding = 0;

TEST_F(Music, IsStereoSixteenBitAt44100OutlastsTheShowAndPeaksBelowFullScale)
{
    EXPECT_EQ(rate, 44100);
    EXPECT_EQ(channels, 2);
    EXPECT_EQ(encoding, MPG123_ENC_SIGNED_16);
    EXPECT_GE(Seconds(), 215.0);
    EXPECT_LT(Seconds(), 220.0);
    // Peaks at most one decibel below full scale.
    int peak = 0;
    for (int16_t s : pcm) peak = std::max(peak, std::abs(int(s)));
    EXPECT_LE(peak, int(32768 * std::pow(10.0, -1.0 / 20)));
    EXPECT_GT(peak, 16384);  // and is not a whisper
}

TEST_F(Music, FollowsTheTimeline)
{
    // A soft opening; the beat arrives with the flash at 27.6 s.
    EXPECT_LT(Rms(2, 20), Rms(28, 35) * 0.6);
    // The white scene is calmer than the journey after 63 s.
    EXPECT_LT(Rms(40, 50), Rms(75, 110));
    // Something plays through every part of the show.
    for (double t = 2; t < 204; t += 2) {
        EXPECT_GT(Rms(t, t + 2), 300.0) << t;
    }
    // Faded out by the time the show ends.
    EXPECT_LT(Rms(214.6, Seconds()), 3.0);
    EXPECT_LT(Rms(212, 214.6), Rms(190, 200) * 0.1);
}

// The icon file holds first a 32 x 32, 256-colour image: the icon bitmap's
// header (its height doubled for the mask), palette and rows, then an
// all-zero (opaque) mask of 4 bytes a row; then the desktop's 48, 64, 128
// and 256-pixel PNG icons as they are, 256 written as 0 in the directory.
TEST(Generator, TheIconFileIsTheIconBitmapAndTheLargerIcons)
{
    const std::filesystem::path dir(ORCHID_ASSET_DIR);
    std::vector<uint8_t> bmp = ReadFile(dir / "icon.bmp");
    std::vector<uint8_t> ico = ReadFile(dir / "icon.ico");
    ASSERT_GT(bmp.size(), 14u + 40u);
    const int larger[] = {48, 64, 128, 256};
    const size_t count = 1 + std::size(larger);
    size_t image = bmp.size() - 14;
    ASSERT_GT(ico.size(), 6 + 16 * count);
    const uint8_t header[6] = {0, 0, 1, 0, uint8_t(count), 0};
    EXPECT_TRUE(std::equal(std::begin(header), std::end(header), ico.begin()));
    auto u32 = [&](size_t at) { return ico[at] | ico[at + 1] << 8 | ico[at + 2] << 16 | uint32_t(ico[at + 3]) << 24; };
    const uint8_t first[8] = {32, 32, 0, 0, 1, 0, 8, 0};
    EXPECT_TRUE(std::equal(std::begin(first), std::end(first), ico.begin() + 6));
    EXPECT_EQ(u32(6 + 8), image + 32 * 4);
    size_t offset = u32(6 + 12);
    EXPECT_EQ(offset, 6 + 16 * count);
    std::vector<uint8_t> expected(bmp.begin() + 14, bmp.end());
    expected[8] = 64;  // 32 rows of colour, 32 of mask
    expected.resize(image + 32 * 4, 0);
    ASSERT_LE(offset + expected.size(), ico.size());
    EXPECT_TRUE(std::equal(expected.begin(), expected.end(), ico.begin() + std::ptrdiff_t(offset)));
    size_t end = offset + expected.size();
    for (size_t i = 0; i < std::size(larger); ++i) {
        SCOPED_TRACE(larger[i]);
        const size_t entry = 6 + 16 * (1 + i);
        std::vector<uint8_t> png = ReadFile(dir / ("icon-" + std::to_string(larger[i]) + ".png"));
        EXPECT_EQ(ico[entry], uint8_t(larger[i]));
        EXPECT_EQ(ico[entry + 1], uint8_t(larger[i]));
        EXPECT_EQ(u32(entry + 8), png.size());
        EXPECT_EQ(u32(entry + 12), end);
        ASSERT_LE(end + png.size(), ico.size());
        EXPECT_TRUE(std::equal(png.begin(), png.end(), ico.begin() + std::ptrdiff_t(end)));
        end += png.size();
    }
    EXPECT_EQ(end, ico.size());
}

TEST(Generator, MakesTheSameBytesOnEveryRun)
{
    namespace fs = std::filesystem;
    const test_support::ScratchFolder scratch("assets");
    const fs::path dir = scratch.Path();
    std::string cmd = std::string("\"") + ORCHID_ASSET_GENERATOR + "\" --out \"" + dir.string() + "\" --music \"" +
                      (dir / "music.mp3").string() + "\" --fonts \"" + ORCHID_FONT_DIR + "\" > /dev/null";
    ASSERT_EQ(std::system(cmd.c_str()), 0);
    int compared = 0;
    for (const auto& entry : fs::directory_iterator(ORCHID_ASSET_DIR)) {
        if (!entry.is_regular_file()) continue;
        SCOPED_TRACE(entry.path().filename().string());
        EXPECT_TRUE(ReadFile(entry.path()) == ReadFile(dir / entry.path().filename()));
        ++compared;
    }
    // Every resource, the icon once more as the Windows resource compiler
    // takes it, and the desktop's five icons.
    EXPECT_EQ(compared, int(std::size(kAssets)) + 1 + 5);
    EXPECT_TRUE(ReadFile(ORCHID_MUSIC_FILE) == ReadFile(dir / "music.mp3"));
}

}  // namespace
