// Our decoder against libjpeg-turbo (integer transform, replicating
// upsampling) on pictures libjpeg-turbo encodes in every accepted layout,
// baseline and progressive, with and without restarts, at odd sizes. The two
// differ only in rounding (pass order, colour constants, centring), so every
// channel must lie within 4 and the mean difference below 1.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "jpeg/jpeg_decoder.h"
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

// Our output as `channels` bytes per pixel, or empty on failure.
std::vector<uint8_t> DecodeOurs(const std::vector<uint8_t>& file, int channels, int* error)
{
    jpeg_decoder_memory_stream stream(file.data(), file.size());
    jpeg_decoder d(&stream);
    std::vector<uint8_t> out;
    if (d.error_code() != 0 || d.begin() != 0) {
        *error = d.error_code();
        return out;
    }
    int w = d.image_width();
    for (;;) {
        void* line;
        unsigned int len;
        int status = d.decode(&line, &len);
        if (status != 0) break;
        const uint8_t* p = static_cast<const uint8_t*>(line);
        for (int x = 0; x < w; ++x) {
            for (int c = 0; c < channels; ++c) out.push_back(p[x * d.pixel_bytes() + c]);
        }
    }
    *error = d.error_code();
    return out;
}

TEST(JpegCrossCheck, EveryLayoutAgreesWithLibjpegTurbo)
{
    const int sizes[][2] = {{1, 1}, {2, 3}, {7, 9}, {8, 8}, {17, 33}, {33, 17}, {64, 48}, {101, 77}, {250, 131}};
    int cases = 0;
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
                int error = 0;
                std::vector<uint8_t> ours = DecodeOurs(file, channels, &error);
                std::string what = std::string(layout.name) + " " + std::to_string(w) + "x" + std::to_string(h) +
                                   (o.progressive ? " progressive" : " baseline") +
                                   (o.restartInterval ? " restarts" : "");
                ASSERT_EQ(error, 0) << what;
                ASSERT_EQ(ours.size(), theirs.size()) << what;
                long total = 0;
                int worst = 0;
                for (size_t i = 0; i < ours.size(); ++i) {
                    int d = std::abs(static_cast<int>(ours[i]) - static_cast<int>(theirs[i]));
                    total += d;
                    if (d > worst) worst = d;
                }
                EXPECT_LE(worst, 4) << what;
                // The mean is only meaningful over enough samples.
                if (ours.size() >= 1000) {
                    EXPECT_LT(static_cast<double>(total) / static_cast<double>(ours.size()), 1.0) << what;
                }
                allTotal += total;
                allSamples += static_cast<long>(ours.size());
                ++cases;
            }
        }
    }
    EXPECT_EQ(cases, 5 * 9 * 4);
    EXPECT_LT(static_cast<double>(allTotal) / static_cast<double>(allSamples), 1.0);
}

}  // namespace
