// The PNG encoder against libpng and zlib as independent readers: every
// image read back byte for byte, every chunk's CRC and the zlib stream's
// Adler-32 checked by zlib, all three block forms used, sizes against
// libpng's default settings, and the same bytes on every platform.
#include "capture/png_encoder.h"

#include <gtest/gtest.h>
#include <png.h>
#include <zlib.h>

#include <cstdio>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "capture/frame_digest.h"

namespace {

uint32_t U32(const uint8_t* p) { return uint32_t{p[0]} << 24 | uint32_t{p[1]} << 16 | uint32_t{p[2]} << 8 | p[3]; }

struct Encoded {
    std::vector<uint8_t> bytes;
    std::vector<uint8_t> zlibStream;  // the IDAT chunks' data, joined
};

// Checks the file's structure with zlib as the reference: signature, IHDR,
// each chunk's CRC, the zlib stream inflating to the filtered rows (which
// checks the Adler-32), IEND last.
void CheckStructure(const Encoded& e, int width, int height)
{
    const std::vector<uint8_t>& b = e.bytes;
    ASSERT_GE(b.size(), 8u + 25 + 12 + 12);
    const uint8_t signature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    ASSERT_EQ(std::memcmp(b.data(), signature, 8), 0);
    std::size_t at = 8;
    std::string types;
    while (at + 12 <= b.size()) {
        const uint32_t length = U32(&b[at]);
        ASSERT_LE(at + 12 + length, b.size());
        const std::string type(reinterpret_cast<const char*>(&b[at + 4]), 4);
        types += type + " ";
        EXPECT_EQ(U32(&b[at + 8 + length]), crc32(0, &b[at + 4], length + 4)) << type;
        if (type == "IHDR") {
            EXPECT_EQ(U32(&b[at + 8]), static_cast<uint32_t>(width));
            EXPECT_EQ(U32(&b[at + 12]), static_cast<uint32_t>(height));
        }
        at += 12 + length;
    }
    EXPECT_EQ(at, b.size());
    EXPECT_EQ(types, "IHDR IDAT IEND ");

    std::vector<uint8_t> rows(static_cast<std::size_t>(height) * (static_cast<std::size_t>(width) * 3 + 1));
    uLongf size = static_cast<uLongf>(rows.size());
    ASSERT_EQ(uncompress(rows.data(), &size, e.zlibStream.data(), static_cast<uLong>(e.zlibStream.size())), Z_OK);
    EXPECT_EQ(size, rows.size());
}

Encoded Encode(capture::PngEncoder& encoder, const std::vector<uint8_t>& rgb)
{
    std::size_t size = 0;
    const uint8_t* data = encoder.Encode(rgb.data(), &size);
    Encoded e;
    e.bytes.assign(data, data + size);
    std::size_t at = 8;
    while (at + 12 <= size) {
        const uint32_t length = U32(&data[at]);
        if (std::memcmp(&data[at + 4], "IDAT", 4) == 0)
            e.zlibStream.insert(e.zlibStream.end(), data + at + 8, data + at + 8 + length);
        at += 12 + length;
    }
    return e;
}

std::vector<uint8_t> ReadWithLibpng(const std::vector<uint8_t>& png, int* width, int* height)
{
    png_image image;
    std::memset(&image, 0, sizeof image);
    image.version = PNG_IMAGE_VERSION;
    std::vector<uint8_t> rgb;
    if (!png_image_begin_read_from_memory(&image, png.data(), png.size())) return rgb;
    image.format = PNG_FORMAT_RGB;
    rgb.resize(PNG_IMAGE_SIZE(image));
    if (!png_image_finish_read(&image, nullptr, rgb.data(), 0, nullptr)) rgb.clear();
    *width = static_cast<int>(image.width);
    *height = static_cast<int>(image.height);
    return rgb;
}

// Encodes, checks the structure, reads back with libpng; returns the file.
Encoded RoundTrip(const std::vector<uint8_t>& rgb, int width, int height)
{
    capture::PngEncoder encoder;
    EXPECT_EQ(encoder.Open(width, height), 1);
    Encoded e = Encode(encoder, rgb);
    CheckStructure(e, width, height);
    int w = 0, h = 0;
    EXPECT_TRUE(ReadWithLibpng(e.bytes, &w, &h) == rgb) << width << "x" << height;
    EXPECT_EQ(w, width);
    EXPECT_EQ(h, height);
    return e;
}

// The type of the zlib stream's first deflate block: 0 stored, 1 fixed, 2
// dynamic Huffman.
int FirstBlockType(const Encoded& e) { return (e.zlibStream[2] >> 1) & 3; }

enum class Content { Noise, Gradient, Flat, Mixed };

std::vector<uint8_t> MakeImage(int width, int height, Content content, uint32_t seed)
{
    std::mt19937 rng(seed);
    std::vector<uint8_t> rgb(static_cast<std::size_t>(width) * height * 3);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            uint8_t* p = &rgb[(static_cast<std::size_t>(y) * width + x) * 3];
            for (int c = 0; c < 3; ++c) {
                switch (content) {
                    case Content::Noise: p[c] = static_cast<uint8_t>(rng()); break;
                    case Content::Gradient: p[c] = static_cast<uint8_t>(x * (c + 1) + y * (3 - c)); break;
                    case Content::Flat: p[c] = static_cast<uint8_t>(40 * c + 7); break;
                    case Content::Mixed:
                        p[c] = ((x / 7 + y / 5) % 3 == 0) ? static_cast<uint8_t>(rng() & 0x1F)
                                                            : static_cast<uint8_t>((x ^ y) * (c + 3));
                        break;
                }
            }
        }
    }
    return rgb;
}

TEST(PngEncoder, ChecksumsMatchZlib)
{
    const uint8_t check[] = "123456789";
    EXPECT_EQ(capture::Crc32(0, check, 9), 0xCBF43926u);
    EXPECT_EQ(capture::Adler32(1, reinterpret_cast<const uint8_t*>("Wikipedia"), 9), 0x11E60398u);
    // Lengths around Adler-32's reduction interval, all bytes 255 (the
    // largest sums), and continuing from a previous value.
    std::vector<uint8_t> ones(20000, 255);
    for (std::size_t n : {0u, 1u, 5551u, 5552u, 5553u, 11104u, 20000u}) {
        EXPECT_EQ(capture::Adler32(1, ones.data(), n), adler32(1, ones.data(), static_cast<uInt>(n))) << n;
        EXPECT_EQ(capture::Crc32(0, ones.data(), n), crc32(0, ones.data(), static_cast<uInt>(n))) << n;
    }
    std::vector<uint8_t> noise = MakeImage(100, 100, Content::Noise, 1);
    const uint32_t a = capture::Adler32(1, noise.data(), 12345);
    EXPECT_EQ(capture::Adler32(a, noise.data() + 12345, noise.size() - 12345),
              adler32(1, noise.data(), static_cast<uInt>(noise.size())));
    const uint32_t c = capture::Crc32(0, noise.data(), 777);
    EXPECT_EQ(capture::Crc32(c, noise.data() + 777, noise.size() - 777),
              crc32(0, noise.data(), static_cast<uInt>(noise.size())));
}

// Odd sizes, single rows and columns, every kind of content: each read back
// exactly, with the block form each content calls for.
TEST(PngEncoder, EveryImageReadsBackExactly)
{
    const int sizes[][2] = {{1, 1}, {1, 2}, {2, 1}, {3, 5}, {17, 13}, {1, 1000}, {1000, 1}, {641, 479}, {97, 61}};
    uint32_t seed = 1;
    for (const auto& s : sizes) {
        for (Content content : {Content::Noise, Content::Gradient, Content::Flat, Content::Mixed}) {
            RoundTrip(MakeImage(s[0], s[1], content, seed++), s[0], s[1]);
        }
    }
    // Incompressible data is stored; a tiny image takes the fixed code; a
    // large compressible one a dynamic code. Long runs of one colour give
    // matches of the longest length at distance 3, in more than one block.
    EXPECT_EQ(FirstBlockType(RoundTrip(MakeImage(640, 480, Content::Noise, 7), 640, 480)), 0);
    EXPECT_EQ(FirstBlockType(RoundTrip(MakeImage(4, 3, Content::Gradient, 8), 4, 3)), 1);
    EXPECT_EQ(FirstBlockType(RoundTrip(MakeImage(640, 480, Content::Mixed, 9), 640, 480)), 2);
    const Encoded flat = RoundTrip(MakeImage(2000, 1500, Content::Flat, 10), 2000, 1500);
    EXPECT_LT(flat.bytes.size(), 40000u);
}

// One encoder writes many images of its size; each file stands alone.
TEST(PngEncoder, ReusedEncoderGivesTheSameBytesAsAFreshOne)
{
    capture::PngEncoder reused;
    ASSERT_EQ(reused.Open(120, 90), 1);
    for (uint32_t seed = 1; seed <= 4; ++seed) {
        const std::vector<uint8_t> rgb = MakeImage(120, 90, seed % 2 ? Content::Mixed : Content::Noise, seed);
        capture::PngEncoder fresh;
        ASSERT_EQ(fresh.Open(120, 90), 1);
        EXPECT_EQ(Encode(reused, rgb).bytes, Encode(fresh, rgb).bytes) << seed;
    }
}

// The bytes are fixed: these hashes hold on every platform and compiler.
TEST(PngEncoder, SameBytesOnEveryPlatform)
{
    capture::PngEncoder encoder;
    ASSERT_EQ(encoder.Open(97, 61), 1);
    uint64_t h = 0;
    for (Content content : {Content::Noise, Content::Gradient, Content::Flat, Content::Mixed}) {
        const Encoded e = Encode(encoder, MakeImage(97, 61, content, 42));
        h = h * 31 + XXH3_64bits(e.bytes.data(), e.bytes.size());
    }
    EXPECT_EQ(h, uint64_t{0xe4df835df68d4bcc});
}

// Real pictures (the show's own, as the asset generator's previews hold
// them), enlarged as --scale enlarges frames: read back exactly at every
// scale, and at scale 1 about as small as libpng makes them by default.
TEST(PngEncoder, RealPicturesAtEveryScale)
{
    const char* names[] = {"stagePic", "panoramaPic", "bridgePic", "wallpaperPic", "blurPic-masked", "titlePic"};
    std::size_t ours = 0, libpngDefault = 0;
    for (const char* name : names) {
        const std::string path = std::string(ORCHID_ASSET_PREVIEW_DIR) + "/" + name + ".png";
        std::FILE* f = std::fopen(path.c_str(), "rb");
        ASSERT_NE(f, nullptr) << path;
        std::vector<uint8_t> file;
        uint8_t buffer[65536];
        for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, f)) > 0;) file.insert(file.end(), buffer, buffer + n);
        std::fclose(f);
        int w = 0, h = 0;
        const std::vector<uint8_t> picture = ReadWithLibpng(file, &w, &h);
        ASSERT_FALSE(picture.empty()) << path;

        const Encoded e = RoundTrip(picture, w, h);
        ours += e.bytes.size();
        png_image image;
        std::memset(&image, 0, sizeof image);
        image.version = PNG_IMAGE_VERSION;
        image.width = static_cast<png_uint_32>(w);
        image.height = static_cast<png_uint_32>(h);
        image.format = PNG_FORMAT_RGB;
        png_alloc_size_t size = 0;
        ASSERT_TRUE(png_image_write_get_memory_size(image, size, 0, picture.data(), 0, nullptr));
        libpngDefault += size;

        if (std::strcmp(name, "stagePic") != 0) continue;
        for (int k = 2; k <= 8; ++k) {
            std::vector<uint8_t> scaled(static_cast<std::size_t>(w) * k * h * k * 3);
            for (int y = 0; y < h * k; ++y)
                for (int x = 0; x < w * k; ++x)
                    std::memcpy(&scaled[(static_cast<std::size_t>(y) * w * k + x) * 3],
                                &picture[(static_cast<std::size_t>(y / k) * w + x / k) * 3], 3);
            RoundTrip(scaled, w * k, h * k);
        }
    }
    const double ratio = static_cast<double>(ours) / static_cast<double>(libpngDefault);
    std::printf("our PNG files are %.3f times the size of libpng's default\n", ratio);
    RecordProperty("size_against_libpng_default", std::to_string(ratio));
    EXPECT_LT(ratio, 1.05);
}

}  // namespace
