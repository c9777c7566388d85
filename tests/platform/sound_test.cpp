// The MP3 decoder: any rate and channel count comes out as 44.1 kHz 16-bit
// stereo, and the length it reports is exactly what it decodes.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
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

#if defined(ORCHID_TEST_MP3_FORMAT_CHANGE)
// 3 s at 8 kHz mono joined to 3 s at 44.1 kHz stereo, either way round:
// both parts are played, each converted to the output format, and the
// length is what is played.
TEST_F(Mp3DecoderTest, AFormatChangeMidwayPlaysOnAndTheLengthIsWhatIsPlayed)
{
    for (const char* name : {"8000-1-then-44100-2.mp3", "44100-2-then-8000-1.mp3"}) {
        Mp3Decoder d;
        ASSERT_TRUE(d.Open((std::string(ORCHID_TEST_MP3_FORMAT_CHANGE) + "/" + name).c_str())) << name;
        static uint8_t buffer[1 << 16];
        uint64_t total = 0;
        for (size_t n; (n = d.Read(buffer, sizeof buffer)) > 0;) total += n;
        EXPECT_EQ(d.LengthBytes(), total) << name;
        // The encoders' delay and padding add a little to the 6 s.
        EXPECT_GE(total, 6u * 176400u) << name;
        EXPECT_LT(total, 6u * 176400u + 176400u / 4u) << name;
    }
}
#endif

#if defined(ORCHID_TEST_MP3_CASES)
// The system codec's path held to the Linux path: the files and what
// libmpg123 decodes from each, made on the host (make_mp3s.py).
std::vector<uint8_t> ReadWhole(const std::string& name)
{
    std::vector<uint8_t> bytes;
    if (FILE* f = std::fopen((std::string(ORCHID_TEST_MP3_CASES) + "/" + name).c_str(), "rb")) {
        uint8_t block[65536];
        for (size_t n; (n = std::fread(block, 1, sizeof block, f)) > 0;) bytes.insert(bytes.end(), block, block + n);
        std::fclose(f);
    }
    return bytes;
}

std::vector<int16_t> Samples(const std::vector<uint8_t>& bytes)
{
    std::vector<int16_t> samples(bytes.size() / 2);
    std::memcpy(samples.data(), bytes.data(), samples.size() * 2);
    return samples;
}

// All the decoder gives from the file, as 16-bit values; empty when refused.
std::vector<int16_t> Decode(const std::string& name)
{
    Mp3Decoder d;
    if (!d.Open((std::string(ORCHID_TEST_MP3_CASES) + "/" + name).c_str())) return {};
    std::vector<uint8_t> bytes(d.LengthBytes());
    EXPECT_EQ(d.Read(bytes.data(), bytes.size()), bytes.size()) << name;
    return Samples(bytes);
}

// Where two runs of samples first differ by more than 3 (Wine's codec rounds
// a little differently from the host's libmpg123; a run shifted by a single
// sample differs by hundreds), and how many values do.
std::string Difference(const std::vector<int16_t>& got, const std::vector<int16_t>& expected, size_t from = 0,
                       size_t shift = 0)
{
    size_t first = 0, count = 0;
    for (size_t i = from; i < got.size() && i + shift < expected.size(); ++i) {
        if (std::abs(got[i] - expected[i + shift]) <= 3) continue;
        if (count++ == 0) first = i;
       
    }
    return count == 0 ? "" : std::to_string(count) + " values differ, the first at " + std::to_string(first);
}

// At 44.1 kHz the sound is libmpg123's, value for value, from the same
// start to the same end, whatever the encoder wrote in its Info frame
// (LAME's name, ffmpeg's, or no Info frame at all), and with zeros between
// the tag and the first frame.
TEST(Mp3AgainstLinuxTest, At441kHzTheSamplesAreLibmpg123s)
{
    for (const char* name : {"lavc-44100-2", "lavc-44100-1", "lame-44100-2", "plain-44100-2", "zeros-44100-2"}) {
        const std::vector<int16_t> expected = Samples(ReadWhole(std::string(name) + ".pcm"));
        ASSERT_FALSE(expected.empty()) << name;
        const std::vector<int16_t> got = Decode(std::string(name) + ".mp3");
        EXPECT_EQ(got.size(), expected.size()) << name;
        EXPECT_EQ(Difference(got, expected), "") << name;
    }
}

// Other rates: the codec's samples are libmpg123's at the file's own rate,
// and each 44.1 kHz sample lies on the straight line between the two around
// its time (computed exactly here), even between full-scale neighbours of
// opposite sign (a square wave).
TEST(Mp3AgainstLinuxTest, OtherRatesAreLibmpg123sSamplesInterpolated)
{
    struct Case {
        const char* name;
        int64_t rate;
        size_t channels;
    };
    for (const Case& c : {Case{"lavc-48000-2", 48000, 2}, Case{"lavc-22050-1", 22050, 1},
                          Case{"lavc-11025-2", 11025, 2}, Case{"square-48000-1", 48000, 1}}) {
        const std::vector<int16_t> native = Samples(ReadWhole(std::string(c.name) + ".native.pcm"));
        ASSERT_FALSE(native.empty()) << c.name;
        std::vector<int16_t> got = Decode(std::string(c.name) + ".mp3");
        const int64_t frames = static_cast<int64_t>(native.size() / c.channels);
        EXPECT_EQ(static_cast<int64_t>(got.size() / 2), (frames * 44100 + c.rate - 1) / c.rate) << c.name;
        std::vector<int16_t> expected;
        for (int64_t k = 0;; ++k) {
            const int64_t i = k * c.rate / 44100, phase = k * c.rate % 44100;
            if (i + 1 >= frames) break;
            for (size_t ch = 0; ch < 2; ++ch) {
                const int64_t before = native[static_cast<size_t>(i) * c.channels + ch % c.channels];
                const int64_t after = native[static_cast<size_t>(i + 1) * c.channels + ch % c.channels];
                const double exact = static_cast<double>(before) +
                                     static_cast<double>(after - before) * static_cast<double>(phase) / 44100.0;
                expected.push_back(static_cast<int16_t>(std::trunc(exact)));
            }
        }
        ASSERT_LE(expected.size(), got.size()) << c.name;
        got.resize(expected.size());
        EXPECT_EQ(Difference(got, expected), "") << c.name;
    }
}

// Two ID3v2 tags in a row play as the file with one; a frame whose header
// is broken is stepped over and the rest plays to the end, as it would
// without that frame.
TEST(Mp3AgainstLinuxTest, TagsAndDamageAreSteppedOver)
{
    const std::vector<int16_t> whole = Samples(ReadWhole("lavc-44100-2.pcm"));
    ASSERT_FALSE(whole.empty());
    const std::vector<int16_t> twoTags = Decode("twotags-44100-2.mp3");
    EXPECT_EQ(twoTags.size(), whole.size());
    EXPECT_EQ(Difference(twoTags, whole), "");

    // Frame 40 (after the Info frame, 39 with sound) is gone: 1152 samples
    // fewer. Up to it the sound is the whole file's; two frames after it
    // (the bit reservoir and the overlap reach back one frame each), the
    // whole file's 1152 samples further on.
    const std::vector<int16_t> damaged = Decode("damaged-44100-2.mp3");
    EXPECT_EQ(damaged.size(), whole.size() - 2 * 1152);
    const size_t lost = (39 * 1152 - 576 - 529) * 2;
    std::vector<int16_t> before(damaged.begin(), damaged.begin() + static_cast<long>(lost));
    EXPECT_EQ(Difference(before, whole), "");
    EXPECT_EQ(Difference(damaged, whole, lost + 3 * 1152 * 2, 1152 * 2), "");
}

// Seeks to `places` (bytes from the start, in that order) and reads a few
// pieces from each: they are `whole` (the file read from the start) from
// there on, and past its end nothing. The failures, one line each.
std::string SeekAndCompare(Mp3Decoder& d, const std::vector<uint8_t>& whole, const std::vector<uint64_t>& places)
{
    std::string failures;
    static uint8_t piece[12288 + 4 + 9000];
    for (uint64_t at : places) {
        if (!d.Seek(at)) {
            failures += "seek to " + std::to_string(at) + " failed\n";
            continue;
        }
        const uint64_t from = at < whole.size() ? at : whole.size();
        size_t got = 0;
        for (size_t size : {size_t{9000}, size_t{4}, size_t{12288}}) got += d.Read(piece + got, size);
        const size_t expected = static_cast<size_t>(std::min<uint64_t>(sizeof piece, whole.size() - from));
        if (got != expected)
            failures += "at " + std::to_string(at) + ": " + std::to_string(got) + " bytes, not " +
                        std::to_string(expected) + "\n";
        else if (std::memcmp(piece, whole.data() + from, got) != 0)
            failures += "at " + std::to_string(at) + ": other bytes\n";
        else if (d.Read(piece, 4) != (from + got < whole.size() ? 4u : 0u))
            failures += "at " + std::to_string(at) + ": the next read\n";
    }
    return failures;
}

// The places a seek in a file of `bytes` bytes at `rate` Hz must get right:
// the start, the first samples, inside frames, around the frame boundaries
// where the codec's start moves on (every `period` frames, at least ten
// before the place) and around the frames past them, whatever the encoder's
// delay (none or 1105 samples), the last samples, the end and past it, then
// the same backwards.
std::vector<uint64_t> SeekPlaces(uint64_t bytes, int64_t rate, int64_t frameSamples, int64_t period)
{
    const int64_t samples = static_cast<int64_t>(bytes / 4);
    std::vector<int64_t> at = {0, 1, 2, 577, 1151, 1152, 1153, 4000, 33333};
    for (int64_t frame : {int64_t{9}, int64_t{10}, int64_t{11}, period - 1, period, period + 1, period + 9,
                          period + 10, period + 11, period + 12}) {
        for (int64_t delay : {0, 1105}) {
            // The first 44.1 kHz sample of the codec's frame `frame`.
            const int64_t first = ((frame * frameSamples - delay) * 44100 + rate - 1) / rate;
            for (int64_t d : {-1, 0, 1, 300}) at.push_back(first + d);
        }
    }
    for (int64_t back : {12000, 3000, 1153, 1152, 100, 2, 1, 0}) at.push_back(samples - back);
    std::vector<uint64_t> places;
    for (int64_t sample : at)
        if (sample >= 0 && sample <= samples) places.push_back(static_cast<uint64_t>(sample) * 4);
    for (uint64_t past : {uint64_t{4}, uint64_t{4096}, uint64_t{1} << 62}) places.push_back(bytes + past);
    places.insert(places.end(), places.rbegin(), places.rend());
    return places;
}

// A seek starts the codec near the place, not at the first frame, and gives
// byte for byte what a play from the start gives there: at 44.1 kHz, stereo
// and mono (which is interpolated, without an Info frame, so without
// delay), at 48 kHz, and with MPEG-2's 576-sample frames at 22.05 kHz.
TEST(Mp3SeekTest, EveryPlaceGivesWhatAPlayFromTheStartGives)
{
    struct Case {
        const char* name;
        int64_t rate, frameSamples, period;
    };
    for (const Case& c : {Case{"long-44100-2", 44100, 1152, 512}, Case{"long-44100-1", 44100, 1152, 512},
                          Case{"long-48000-2", 48000, 1152, 512}, Case{"long-22050-1", 22050, 576, 1024}}) {
        Mp3Decoder d;
        ASSERT_TRUE(d.Open((std::string(ORCHID_TEST_MP3_CASES) + "/" + c.name + ".mp3").c_str())) << c.name;
        std::vector<uint8_t> whole(d.LengthBytes());
        ASSERT_EQ(d.Read(whole.data(), whole.size()), whole.size()) << c.name;
        // Past the places a seek may start the codec at, with room to spare.
        ASSERT_GT(static_cast<int64_t>(whole.size() / 4) * c.rate / 44100, (c.period + 14) * c.frameSamples)
            << c.name;
        EXPECT_EQ(SeekAndCompare(d, whole, SeekPlaces(whole.size(), c.rate, c.frameSamples, c.period)), "")
            << c.name;
        // Read from the start again after the seeks, in small pieces.
        ASSERT_TRUE(d.Rewind());
        std::vector<uint8_t> again(whole.size());
        size_t got = 0;
        for (size_t n; (n = d.Read(again.data() + got, std::min<size_t>(1000, again.size() - got))) > 0;) got += n;
        EXPECT_EQ(got, whole.size()) << c.name;
        EXPECT_TRUE(again == whole) << c.name;
    }
}

// Layer II and free-format files, which libmpg123 plays and the Windows
// codec does not take, are refused with the reason.
TEST(Mp3AgainstLinuxTest, WhatTheCodecCannotTakeIsRefusedWithTheReason)
{
    for (const char* kind : {"layer2", "free"}) {
        const std::string name = std::string("refused-") + kind + "-44100-2.mp3";
        testing::internal::CaptureStderr();
        Mp3Decoder d;
        EXPECT_FALSE(d.Open((std::string(ORCHID_TEST_MP3_CASES) + "/" + name).c_str())) << name;
        const std::string said = testing::internal::GetCapturedStderr();
        EXPECT_NE(said.find(name), std::string::npos) << said;
        EXPECT_NE(said.find(std::string(kind) == "free" ? "free-format" : "layer II"), std::string::npos) << said;
        EXPECT_EQ(std::count(said.begin(), said.end(), '\n'), 1) << said;
    }
}
#endif

#if defined(ORCHID_TEST_MUSIC)
// The show's music: seeks all through it give what a play from the start
// gives, and a seek to 200 s takes a small part of decoding up to there
// (which is what a seek cost when the codec decoded from the start). Both
// times are printed.
TEST(Mp3SeekTest, TheMusicSeeksExactlyWithoutDecodingFromTheStart)
{
    Mp3Decoder d;
    ASSERT_TRUE(d.Open(ORCHID_TEST_MUSIC));
    std::vector<uint8_t> whole(d.LengthBytes());
    ASSERT_EQ(d.Read(whole.data(), whole.size()), whole.size());
    std::vector<uint64_t> places = SeekPlaces(whole.size(), 44100, 1152, 512);
    for (uint64_t second = 0; second * 176400 < whole.size(); second += 7) places.push_back(second * 176400 + 4 * 577);
    EXPECT_EQ(SeekAndCompare(d, whole, places), "");

    const uint64_t target = 200 * 176400;
    ASSERT_LT(target, whole.size());
    static uint8_t piece[16384];
    double seekSeconds = 1e9, fromStartSeconds = 1e9;
    for (int run = 0; run < 3; ++run) {
        const auto t0 = std::chrono::steady_clock::now();
        ASSERT_TRUE(d.Seek(target));
        ASSERT_EQ(d.Read(piece, sizeof piece), sizeof piece);
        const auto t1 = std::chrono::steady_clock::now();
        seekSeconds = std::min(seekSeconds, std::chrono::duration<double>(t1 - t0).count());
        EXPECT_EQ(std::memcmp(piece, whole.data() + target, sizeof piece), 0);

        ASSERT_TRUE(d.Rewind());
        for (uint64_t left = target; left > 0;) {
            const size_t n = d.Read(piece, static_cast<size_t>(std::min<uint64_t>(left, sizeof piece)));
            ASSERT_GT(n, 0u);
            left -= n;
        }
        ASSERT_EQ(d.Read(piece, sizeof piece), sizeof piece);
        const auto t2 = std::chrono::steady_clock::now();
        fromStartSeconds = std::min(fromStartSeconds, std::chrono::duration<double>(t2 - t1).count());
    }
    std::printf("seek to 200 s: %.1f ms; decoding from the start to 200 s: %.1f ms\n", seekSeconds * 1e3,
                fromStartSeconds * 1e3);
    // The codec starts 489 frames before the place (at most 521), not 7657.
    EXPECT_LT(seekSeconds * 4, fromStartSeconds);
}
#endif

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
