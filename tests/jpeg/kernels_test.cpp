// The SIMD kernels give exactly the bytes of the scalar reference, for
// ordinary and for hostile inputs, at each level (whole decodes at every
// level are compared in the cross-check).
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <vector>

#include "jpeg/jpeg_kernels.h"
#include "tests/support/simd_levels.h"

using namespace jpeg_kernels;

namespace {

class JpegKernelsAt : public test_support::LevelTest {};
INSTANTIATE_TEST_SUITE_P(Simd, JpegKernelsAt, test_support::FastLevels(), test_support::LevelName);

TEST_P(JpegKernelsAt, IdctAndIdctPairMatchScalarForAnyCoefficients)
{
    const Kernels& k = KernelsFor(GetParam());
    std::mt19937 rng(7);
    int16_t block[64], previous[64] = {};
    uint8_t expect[8 * 11], got[8 * 11];
    // The pair transform: this trial's block and the one before, each with
    // its own stride, both in one buffer.
    uint8_t expectPair[8 * 11 + 8 * 9], gotPair[8 * 11 + 8 * 9];
    // Each trial fills one shape of nonzero positions (sparse shapes take
    // shorter ways through the transform) with one kind of values.
    auto inShape = [](int shape, int i) {
        int r = i / 8, c = i % 8;
        switch (shape) {
        case 0: return true;              // dense
        case 1: return i == 0;            // DC only
        case 2: return c == 0;            // column 0 only
        case 3: return r == 0;            // row 0 only
        case 4: return r < 4;             // rows 4-7 zero
        case 5: return r < 4 && c < 4;    // top-left 4 x 4
        case 6: return r < 2 && c < 2;    // top-left 2 x 2
        default: return r < 4 && c >= 4;  // top-right 4 x 4
        }
    };
    for (int trial = 0; trial < 64000; ++trial) {
        int shape = trial % 8, kind = (trial / 8) % 5;
        for (int i = 0; i < 64; ++i) {
            int v = 0;
            if (inShape(shape, i)) {
                switch (kind) {
                case 0: v = static_cast<int>(rng() % 64) - 32; break;                             // ordinary
                case 1: v = static_cast<int16_t>(rng()); break;                                    // anything
                case 2: v = (rng() & 1) ? 32767 : -32768; break;                                   // extremes
                case 3: v = (rng() % 8 == 0) ? static_cast<int>(rng() % 2048) - 1024 : 0; break;  // sparse
                default: v = static_cast<int16_t>(rng() >> (rng() % 16)); break;                  // any magnitude
                }
            }
            block[i] = static_cast<int16_t>(v);
        }
        std::memset(expect, 0xAA, sizeof(expect));
        IdctScalar(block, expect, 11);
        std::memset(got, 0xAA, sizeof(got));
        k.idct(block, got, 11);
        ASSERT_EQ(std::memcmp(expect, got, sizeof(got)), 0) << "trial " << trial;

        std::memset(expectPair, 0xAA, sizeof(expectPair));
        IdctScalar(block, expectPair, 11);
        IdctScalar(previous, expectPair + 8 * 11, 9);
        std::memset(gotPair, 0xAA, sizeof(gotPair));
        k.idctPair(block, gotPair, 11, previous, gotPair + 8 * 11, 9);
        ASSERT_EQ(std::memcmp(expectPair, gotPair, sizeof(gotPair)), 0) << "pair, trial " << trial;
        std::memcpy(previous, block, sizeof(block));
    }
}

TEST(JpegKernels, DcOnlyShortcutMatchesTheTransformForEveryDc)
{
    int16_t block[64] = {};
    uint8_t out[64];
    for (int dc = -32768; dc <= 32767; ++dc) {
        block[0] = static_cast<int16_t>(dc);
        IdctScalar(block, out, 8);
        for (int i = 0; i < 64; ++i) ASSERT_EQ(out[i], DcOnlySample(static_cast<int16_t>(dc))) << dc;
    }
}

TEST_P(JpegKernelsAt, ColourConversionOfLinesAndLinePairsMatchesScalarForEveryChromaPair)
{
    const Kernels& k = KernelsFor(GetParam());
    ColorTables tables;
    FillColorTables(&tables);
    std::mt19937 rng(3);
    const int n = 256;  // one line: every Cr for a fixed Cb, random Y
    std::vector<uint8_t> y(2 * n + 64), cb(n + 64), cr(n + 64);
    std::vector<uint8_t> expect(8 * n + 256), got(8 * n + 256);
    // The pair kernels: a second line of luma over the same chroma.
    std::vector<uint8_t> y1(2 * n + 64), expect1(8 * n + 256), got1(8 * n + 256);
    for (int cbValue = 0; cbValue < 256; ++cbValue) {
        const size_t off = static_cast<size_t>(cbValue % 4);  // unaligned rows
        for (int i = 0; i < n; ++i) {
            cb[off + static_cast<size_t>(i)] = static_cast<uint8_t>(cbValue);
            cr[off + static_cast<size_t>(i)] = static_cast<uint8_t>(i);
        }
        for (uint8_t& v : y) v = static_cast<uint8_t>(rng());
        for (uint8_t& v : y1) v = static_cast<uint8_t>(rng());
        for (bool h2 : {false, true}) {
            ColorFn scalar = h2 ? ColorH2Scalar : ColorH1Scalar;
            ColorFn single = h2 ? k.colorH2 : k.colorH1;
            ColorPairFn pair = h2 ? k.colorH2Pair : k.colorH1Pair;
            for (int pixels : {h2 ? 2 * n : n, 8, 16, 24, 40, 48, 80}) {
                if (h2 && pixels % 16 != 0) continue;
                std::fill(expect.begin(), expect.end(), 0);
                scalar(y.data() + off, cb.data() + off, cr.data() + off, expect.data() + off, pixels, &tables);
                std::fill(got.begin(), got.end(), 0);
                single(y.data() + off, cb.data() + off, cr.data() + off, got.data() + off, pixels, &tables);
                ASSERT_EQ(expect, got) << (h2 ? "H2" : "H1") << " cb " << cbValue << " pixels " << pixels;

                std::fill(expect1.begin(), expect1.end(), 0);
                scalar(y1.data() + off, cb.data() + off, cr.data() + off, expect1.data() + off, pixels, &tables);
                std::fill(got.begin(), got.end(), 0);
                std::fill(got1.begin(), got1.end(), 0);
                pair(y.data() + off, y1.data() + off, cb.data() + off, cr.data() + off, got.data() + off,
                     got1.data() + off, pixels, &tables);
                ASSERT_EQ(expect, got) << (h2 ? "H2" : "H1") << " pair, cb " << cbValue << " pixels " << pixels;
                ASSERT_EQ(expect1, got1) << (h2 ? "H2" : "H1") << " pair, cb " << cbValue << " pixels " << pixels;
            }
        }
    }
}

// Buffers of exactly the row's size, so that a block move reaching past
// either end fails under the address sanitizer.
TEST_P(JpegKernelsAt, LoaderByteMovesMatchScalarAtEveryLength)
{
    const Kernels& k = KernelsFor(GetParam());
    if (k.packTriplets == PackTripletsScalar && k.tripletsToWords == TripletsToWordsScalar) {
        GTEST_SKIP() << simd::Name(GetParam()) << " has no byte moves of its own: it uses the scalar ones";
    }
    std::mt19937 rng(11);
    for (int pixels = 0; pixels <= 67; ++pixels) {
        const int n = pixels == 67 ? 640 : pixels;
        std::vector<uint8_t> rgbx(4 * static_cast<size_t>(n));
        for (uint8_t& v : rgbx) v = static_cast<uint8_t>(rng());
        std::vector<uint8_t> rgb(3 * static_cast<size_t>(n)), gotRgb(rgb.size());
        std::vector<uint32_t> words(static_cast<size_t>(n)), gotWords(words.size());
        PackTripletsScalar(rgbx.data(), rgb.data(), n);
        TripletsToWordsScalar(rgb.data(), words.data(), n);
        k.packTriplets(rgbx.data(), gotRgb.data(), n);
        ASSERT_EQ(rgb, gotRgb) << "pixels " << n;
        k.tripletsToWords(rgb.data(), gotWords.data(), n);
        ASSERT_EQ(words, gotWords) << "pixels " << n;
    }
}

}  // namespace
