// Our decoder against libjpeg-turbo (integer transform, replicating
// upsampling) on pictures libjpeg-turbo encodes in every accepted layout,
// baseline and progressive, with and without restarts, at odd sizes. The two
// differ only in rounding (pass order, colour constants, centring), so every
// channel must lie within 4 and the mean difference below 1. The SIMD
// kernels must give our scalar decode's lines byte for byte.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "jpeg/jpeg_decoder.h"
#include "simd/simd.h"
#include "tests/jpeg/libjpeg_peer.h"

namespace {

struct Layout {
    const char* name;
    bool grey;
    int h, v;
};

const Layout kLayouts[] = {
    {"grey", true, 1, 1}, {"H1V1", false, 1, 1}, {"H2V1", false, 2, 1}, {"H1V2", false, 1, 2}, {"H2V2", false, 2, 2},
};

struct Decoded {
    int error = 0, width = 0, pixelBytes = 0;
    std::vector<std::vector<uint8_t>> lines;  // as handed out, padded to whole MCUs
};

Decoded DecodeOurs(const std::vector<uint8_t>& file, simd::Level level)
{
    const simd::Level before = simd::Active();
    simd::SetActive(level);
    jpeg_decoder_memory_stream stream(file.data(), file.size());
    jpeg_decoder d(&stream);
    simd::SetActive(before);
    Decoded out;
    if (d.error_code() == 0 && d.begin() == 0) {
        out.width = d.image_width();
        out.pixelBytes = d.pixel_bytes();
        void* line;
        unsigned int len;
        while (d.decode(&line, &len) == 0) {
            const uint8_t* p = static_cast<const uint8_t*>(line);
            out.lines.emplace_back(p, p + len);
        }
    }
    out.error = d.error_code();
    return out;
}

TEST(JpegCrossCheck, EveryLayoutAgreesWithLibjpegTurboAndAtEveryKernelLevel)
{
    const int sizes[][2] = {{1, 1}, {2, 3}, {7, 9}, {8, 8}, {17, 33}, {33, 17}, {64, 48}, {101, 77}, {250, 131}};
    long allTotal = 0, allSamples = 0;
    for (const Layout& layout : kLayouts) {
        int channels = layout.grey ? 1 : 3;
        for (const auto& size : sizes) {
            int w = size[0], h = size[1];
            for (int variant = 0; variant < 4; ++variant) {
                jpeg_peer::EncodeOptions o;
                o.grey = layout.grey;
                o.hsamp = layout.h;
                o.vsamp = layout.v;
                o.progressive = (variant & 1) != 0;
                o.restartInterval = (variant & 2) ? 1 + (w + h) % 3 : 0;
                o.quality = 75 + 5 * variant;
                std::vector<uint8_t> px = jpeg_peer::TestPicture(w, h, channels, static_cast<uint32_t>(w * 131 + h));
                std::vector<uint8_t> file = jpeg_peer::Encode(px, w, h, o);
                std::vector<uint8_t> theirs = jpeg_peer::Decode(file.data(), file.size(), channels);
                std::string what = std::string(layout.name) + " " + std::to_string(w) + "x" + std::to_string(h) +
                                   (o.progressive ? " progressive" : " baseline") +
                                   (o.restartInterval ? " restarts" : "");
                Decoded ours = DecodeOurs(file, simd::Level::Scalar);
                ASSERT_EQ(ours.error, 0) << what;
                ASSERT_EQ(ours.width, w) << what;
                ASSERT_EQ(ours.lines.size(), static_cast<size_t>(h)) << what;
                for (simd::Level level : simd::kLevels) {
                    if (level == simd::Level::Scalar || !simd::Supported(level)) continue;
                    EXPECT_EQ(DecodeOurs(file, level).lines, ours.lines) << what << " at " << simd::Name(level);
                }
                long total = 0;
                int worst = 0;
                for (int y = 0; y < h; ++y) {
                    for (int x = 0; x < w; ++x) {
                        for (int c = 0; c < channels; ++c) {
                            int ourSample = ours.lines[y][x * ours.pixelBytes + c];
                            int d = std::abs(ourSample - theirs[(static_cast<size_t>(y) * w + x) * channels + c]);
                            total += d;
                            if (d > worst) worst = d;
                        }
                    }
                }
                EXPECT_LE(worst, 4) << what;
                // The mean is only meaningful over enough samples.
                if (w * h * channels >= 1000) {
                    EXPECT_LT(static_cast<double>(total) / (w * h * channels), 1.0) << what;
                }
                allTotal += total;
                allSamples += w * h * channels;
            }
        }
    }
    EXPECT_LT(static_cast<double>(allTotal) / static_cast<double>(allSamples), 1.0);
}

}  // namespace
