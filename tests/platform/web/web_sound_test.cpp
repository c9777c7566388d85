// The browser's sound, under node with the page's objects stood in for:
// the music the page decoded (a few float samples) and an audio context
// whose clock the test sets. What the music class relies on: the stream's
// length and samples in 16-bit stereo bytes, the position as bytes heard at
// 176,400 a second (the context's time less its output latency, never
// going back), and pause and resume reaching the context.
#include <gtest/gtest.h>

#include <emscripten.h>

#include <cstdint>
#include <cstring>

#include "platform/backend.h"
#include "platform/mp3_decoder.h"
#include "platform/web/web_backend.h"

namespace {

constexpr char kMusic[] = "kestrune-velomar.mp3";

// The page's objects, as the page's script sets them up.
// Four frames of stereo, with values beyond full scale.
EM_JS(void, DecodedMusic, (const char* name), {
    var left = new Float32Array([ 0, 0.5, -1, 2 ]);
    var right = new Float32Array([ 1, -0.5, 0.25, -2 ]);
    Module.orchidMusic = {
        name : UTF8ToString(name),
        buffer : {length : 4, numberOfChannels : 2, getChannelData : function(c) { return c == 0 ? left : right; }}
    };
});

EM_JS(void, UndecodableMusic, (const char* name), { Module.orchidMusic = {name : UTF8ToString(name), buffer : null}; });

EM_JS(void, AudioContext, (double now, double latency), {
    Module.orchidAudio = {
        context : {
            currentTime : now,
            outputLatency : latency,
            state : 'running',
            destination : {},
            resume : function() { this.state = 'running'; },
            suspend : function() { this.state = 'suspended'; },
            createBufferSource : function() {
                return {connect : function() {}, start : function() {}, stop : function() {}, disconnect : function() {}};
            }
        },
        source : null,
        startTime : 0
    };
});

EM_JS(void, NoAudioContext, (), { Module.orchidAudio = null; });

EM_JS(void, SetTime, (double now, double latency), {
    Module.orchidAudio.context.currentTime = now;
    Module.orchidAudio.context.outputLatency = latency;
});

EM_JS(int, ContextSuspended, (), { return Module.orchidAudio.context.state == 'suspended'; });
EM_JS(int, MusicPlaying, (), { return Module.orchidAudio.source != null; });

// An audio context that also makes gain nodes, and notes where each source
// was started in the music.
EM_JS(void, AudioContextWithGain, (double now), {
    Module.orchidAudio = {
        context : {
            currentTime : now,
            outputLatency : 0,
            state : 'running',
            destination : {},
            resume : function() { this.state = 'running'; },
            suspend : function() { this.state = 'suspended'; },
            createGain : function() { return {gain : {value : 1}, connect : function() {}}; },
            createBufferSource : function() {
                return {
                    connect : function() {},
                    start : function(when, offset) { Module.orchidStartOffset = offset || 0; },
                    stop : function() {},
                    disconnect : function() {}
                };
            }
        },
        source : null,
        startTime : 0
    };
});

EM_JS(double, StartOffset, (), { return Module.orchidStartOffset; });
EM_JS(double, Gain, (), { return Module.orchidAudio.gain ? Module.orchidAudio.gain.gain.value : 1; });

TEST(WebMusicFile, OpensOnlyWhatThePageDecodedAndReadsItAs16BitStereo)
{
    UndecodableMusic(kMusic);
    platform::Mp3Decoder decoder;
    EXPECT_FALSE(decoder.Open(kMusic)) << "a file the browser could not decode";

    DecodedMusic(kMusic);
    EXPECT_FALSE(decoder.Open("other.mp3"));
    ASSERT_TRUE(decoder.Open(kMusic));
    EXPECT_EQ(decoder.LengthBytes(), 16u);

    int16_t samples[10] = {};
    EXPECT_EQ(decoder.Read(reinterpret_cast<uint8_t*>(samples), 12), 12u);
    const int16_t expected[8] = {0, 32767, 16384, -16384, -32767, 8192, 32767, -32767};
    EXPECT_EQ(std::memcmp(samples, expected, 12), 0);
    EXPECT_EQ(decoder.Read(reinterpret_cast<uint8_t*>(samples + 6), 8), 4u) << "one frame was left";
    EXPECT_EQ(std::memcmp(samples, expected, sizeof expected), 0) << "values beyond full scale are clipped";
    EXPECT_EQ(decoder.Read(reinterpret_cast<uint8_t*>(samples), 8), 0u) << "at the end";

    ASSERT_TRUE(decoder.Rewind());
    int16_t again[8] = {};
    EXPECT_EQ(decoder.Read(reinterpret_cast<uint8_t*>(again), sizeof again), sizeof again);
    EXPECT_EQ(std::memcmp(again, expected, sizeof expected), 0);

    decoder.Close();
    EXPECT_EQ(decoder.LengthBytes(), 0u);
    EXPECT_EQ(decoder.Read(reinterpret_cast<uint8_t*>(again), sizeof again), 0u);
    EXPECT_FALSE(decoder.Rewind());
}

class WebSoundTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        DecodedMusic(kMusic);
        platform::web::Install(platform::web::Options{});
    }
    void TearDown() override { platform::web::Uninstall(); }
};

TEST_F(WebSoundTest, WithoutAnAudioContextTheDeviceDoesNotOpen)
{
    NoAudioContext();
    EXPECT_EQ(platform::Sound().Init(-1, 44100, 0, nullptr), 0);
}

TEST_F(WebSoundTest, ThePositionIsTheContextsTimeSincePlayLessItsLatency)
{
    AudioContext(10.0, 0.0);
    platform::SoundLibrary& s = platform::Sound();
    ASSERT_NE(s.Init(-1, 44100, 0x10, nullptr), 0);
    uint32_t stream = s.StreamCreateFile(0, kMusic, 0, 0, 0x20000);
    ASSERT_NE(stream, 0u);
    EXPECT_EQ(s.StreamGetLength(stream), 16u);
    EXPECT_EQ(s.ChannelGetPosition(stream), 0u) << "before playing";
    ASSERT_NE(s.StreamPlay(stream, 0, 0), 0);
    EXPECT_EQ(MusicPlaying(), 1);

    SetTime(10.02, 0.04);
    EXPECT_EQ(s.ChannelGetPosition(stream), 0u) << "still on its way to the speaker";
    SetTime(12.54, 0.04);
    EXPECT_EQ(s.ChannelGetPosition(stream), 441000u) << "2.5 s heard";
    SetTime(12.55, 0.10);
    EXPECT_EQ(s.ChannelGetPosition(stream), 441000u) << "a longer latency does not move it back";
    SetTime(13.10, 0.10);
    EXPECT_EQ(s.ChannelGetPosition(stream), 529200u);

    EXPECT_NE(s.Pause(), 0);
    EXPECT_EQ(ContextSuspended(), 1);
    EXPECT_NE(s.Start(), 0);
    EXPECT_EQ(ContextSuspended(), 0);

    EXPECT_NE(s.Free(), 0);
    EXPECT_EQ(s.ChannelGetPosition(stream), 0u) << "the stream is gone";
    EXPECT_EQ(MusicPlaying(), 0) << "the music stopped";
}

// Moved, the music starts again from the new place and the position goes
// on from it (back as well as forward); the volume goes through a gain node.
TEST_F(WebSoundTest, MovedTheMusicPlaysFromThereAndTheVolumeIsAGain)
{
    AudioContextWithGain(10.0);
    platform::SoundLibrary& s = platform::Sound();
    ASSERT_NE(s.Init(-1, 44100, 0x10, nullptr), 0);
    uint32_t stream = s.StreamCreateFile(0, kMusic, 0, 0, 0x20000);
    ASSERT_NE(stream, 0u);
    EXPECT_EQ(s.ChannelSetPosition(stream, 176400), 0) << "not playing yet";
    ASSERT_NE(s.StreamPlay(stream, 0, 0), 0);
    SetTime(12.0, 0.0);
    EXPECT_EQ(s.ChannelGetPosition(stream), 352800u);

    ASSERT_NE(s.ChannelSetPosition(stream, 5 * 176400), 0);
    EXPECT_DOUBLE_EQ(StartOffset(), 5.0);
    EXPECT_EQ(s.ChannelGetPosition(stream), 882000u);
    SetTime(13.0, 0.0);
    EXPECT_EQ(s.ChannelGetPosition(stream), 1058400u);
    ASSERT_NE(s.ChannelSetPosition(stream, 176400), 0);
    EXPECT_EQ(s.ChannelGetPosition(stream), 176400u) << "moved back";

    EXPECT_EQ(Gain(), 1.0);
    ASSERT_NE(s.ChannelSetVolume(stream, 40), 0);
    EXPECT_DOUBLE_EQ(Gain(), 0.4);
    ASSERT_NE(s.ChannelSetVolume(stream, 140), 0);
    EXPECT_DOUBLE_EQ(Gain(), 1.0);
    EXPECT_NE(s.Free(), 0);
}

}  // namespace
