// The MP3 decoder: any rate and channel count comes out as 44.1 kHz 16-bit
// stereo, and the length it reports is exactly what it decodes.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "platform/clock.h"
#include "platform/mp3_decoder.h"
#include "platform/stream_sound.h"
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

// A seek gives the very samples a read from the start gives there, and
// past the end nothing more.
TEST_F(Mp3DecoderTest, SeeksToTheSampleAReadFromTheStartGives)
{
    const std::string stereo = test_mp3::Make("stereo", 2.0);
    if (stereo.empty()) GTEST_SKIP() << "lame is not installed";
    Mp3Decoder d;
    ASSERT_TRUE(d.Open(stereo.c_str()));
    std::vector<uint8_t> whole(d.LengthBytes());
    ASSERT_EQ(d.Read(whole.data(), whole.size()), whole.size());
    static uint8_t part[8192];
    for (uint64_t at : {uint64_t{0}, uint64_t{4}, uint64_t{176400}, uint64_t{54321 * 4}, whole.size() - sizeof part}) {
        ASSERT_TRUE(d.Seek(at)) << at;
        ASSERT_EQ(d.Read(part, sizeof part), sizeof part) << at;
        EXPECT_EQ(std::memcmp(part, whole.data() + at, sizeof part), 0) << "at byte " << at;
    }
    ASSERT_TRUE(d.Seek(whole.size() + 4096));
    EXPECT_EQ(d.Read(part, sizeof part), 0u);
}

// The output without a device: moved, its position goes on from the
// hundredth it was moved to, a hundredth per hundredth of the clock, and
// stands still while paused.
TEST(ClockSoundTest, MovedItGoesOnFromThere)
{
    platform::VirtualClock clock;
    platform::SetActiveClock(&clock);
    {
        platform::ClockSound sound;
        ASSERT_EQ(sound.Init(-1, 44100, 0, nullptr), 1);
        const uint32_t stream = sound.StreamCreateFile(0, nullptr, 0, 0, 0);
        ASSERT_NE(stream, 0u);
        EXPECT_EQ(sound.ChannelSetPosition(stream, 1764 * 50), 0) << "not playing yet";
        ASSERT_EQ(sound.StreamPlay(stream, 0, 0), 1);
        auto hundredths = [&] { return sound.ChannelGetPosition(stream) / 1764; };
        clock.Step(3 * platform::VirtualClock::kCountsPerHundredth);
        EXPECT_EQ(hundredths(), 3u);
        ASSERT_EQ(sound.ChannelSetPosition(stream, 1234 * 1764 + 882), 1);
        EXPECT_EQ(hundredths(), 1234u);
        clock.Step(platform::VirtualClock::kCountsPerHundredth);
        EXPECT_EQ(hundredths(), 1235u);
        ASSERT_EQ(sound.Pause(), 1);
        clock.Step(5 * platform::VirtualClock::kCountsPerHundredth);
        ASSERT_EQ(sound.ChannelSetPosition(stream, 200 * 1764 + 882), 1);
        clock.Step(5 * platform::VirtualClock::kCountsPerHundredth);
        EXPECT_EQ(hundredths(), 200u) << "paused";
        ASSERT_EQ(sound.Start(), 1);
        clock.Step(2 * platform::VirtualClock::kCountsPerHundredth);
        EXPECT_EQ(hundredths(), 202u);

        int volume = 0;
        EXPECT_EQ(sound.ChannelSetVolume(stream, 140), 1);
        sound.ChannelGetAttributes(stream, nullptr, &volume, nullptr);
        EXPECT_EQ(volume, 100);
        EXPECT_EQ(sound.ChannelSetVolume(stream, 30), 1);
        sound.ChannelGetAttributes(stream, nullptr, &volume, nullptr);
        EXPECT_EQ(volume, 30);
        EXPECT_EQ(sound.ChannelSetVolume(stream + 1, 30), 0) << "no such stream";
    }
    platform::SetActiveClock(nullptr);
}

}  // namespace
