// The MP3 decoder: any rate and channel count comes out as 44.1 kHz 16-bit
// stereo, and the length it reports is exactly what it decodes.
#include <gtest/gtest.h>

#include <string>

#include "platform/mp3_decoder.h"
#include "test_mp3.h"

using platform::Mp3Decoder;

namespace {

class Mp3DecoderTest : public ::testing::Test {
protected:
    void TearDown() override { test_mp3::CleanUp(); }
};

TEST_F(Mp3DecoderTest, GivesStereo441WithTheExactLength)
{
    const std::string stereo = test_mp3::Make("stereo", 2.0);
    const std::string mono = test_mp3::Make("mono", 1.0, 22050, 1);
    if (stereo.empty() || mono.empty()) GTEST_SKIP() << "lame is not installed";

    Mp3Decoder d;
    ASSERT_TRUE(d.Open(stereo.c_str()));
    // lame pads the start and end a little; the scan gives the decoded count.
    uint64_t length = d.LengthBytes();
    EXPECT_GE(length, 2u * 176400u);
    EXPECT_LT(length, 2u * 176400u + 4u * 4096u);
    static uint8_t buffer[1 << 16];
    uint64_t total = 0;
    for (size_t n; (n = d.Read(buffer, sizeof buffer)) > 0;) total += n;
    EXPECT_EQ(total, length);

    Mp3Decoder m;
    ASSERT_TRUE(m.Open(mono.c_str()));
    EXPECT_GE(m.LengthBytes(), 176400u);  // 1 s of 22.05 kHz mono comes out as 44.1 kHz stereo
    EXPECT_LT(m.LengthBytes(), 176400u + 4u * 4096u);
}

}  // namespace
