#include <gtest/gtest.h>

#include <string>

#include "audio/audio.h"
#include "error/error_log.h"
#include "platform/fake/fake_backend.h"
#include "tests/support/log.h"

using namespace platform;

namespace {

class AudioTest : public test_support::LogTest {
protected:
    void SetUp() override
    {
        LogTest::SetUp();
        fake.Install();
    }
    void TearDown() override
    {
        a.Release();
        LogTest::TearDown();
    }

    static bool Reported(const char* message)
    {
        std::string entry = std::string("Audio error:\n ") + message + "Filename: audio/audio\nLine: ";
        return std::string(errorLog.Report()).find(entry) != std::string::npos;
    }

    fake::FakePlatform fake;
    Audio a;
};

TEST_F(AudioTest, PlaysAndFollowsThePosition)
{
    ASSERT_EQ(a.Init(0, nullptr), 1);
    EXPECT_EQ(fake.lastInitFrequency, 44100u);
    ASSERT_EQ(a.LoadStream("kestrune-velomar.mp3"), 1);
    EXPECT_STREQ(fake.lastStreamFile, "kestrune-velomar.mp3");
    EXPECT_EQ(a.GetPosition(), 0);  // not started: no division by zero
    a.Play();
    EXPECT_EQ(a.bytesPerSecond, 176400u);
    EXPECT_EQ(a.length, 441000u);

    fake.position = 441000;
    EXPECT_EQ(a.GetPosition(), 250);
    fake.position = 176400 * 3;
    EXPECT_EQ(a.GetPosition(), 300);
    // Positions in the middle of each hundredth give exactly that hundredth.
    for (uint32_t h = 0; h < 1000; ++h) {
        fake.position = h * 1764 + 882;
        ASSERT_EQ(a.GetPosition(), static_cast<int32_t>(h));
    }
    fake.soundCalls[0] = '\0';
    a.Free();
    EXPECT_EQ(a.initialized, 0);
    EXPECT_STREQ(fake.soundCalls, "Stop StreamFree Free");
    EXPECT_EQ(errorLog.count, 0);

    // The rate of bytes follows the sample format.
    fake.channelFlags = SOUND_SAMPLE_MONO | SOUND_SAMPLE_8BITS;
    fake.frequency = 22050;
    ASSERT_EQ(a.Init(0, nullptr), 1);
    ASSERT_EQ(a.LoadStream("x.mp3"), 1);
    a.Play();
    EXPECT_EQ(a.bytesPerSecond, 22050u);
    fake.position = 22050 * 2 + 11025;
    EXPECT_EQ(a.GetPosition(), 250);
}

// A position set is the one read back, at any sample format; the volume
// reaches the library clamped, and muting keeps it for when it is undone.
TEST_F(AudioTest, MovesThePositionAndSetsTheVolume)
{
    ASSERT_EQ(a.Init(0, nullptr), 1);
    ASSERT_EQ(a.LoadStream("x.mp3"), 1);
    // Set before Play: the music starts there.
    a.SetPosition(321);
    a.Play();
    EXPECT_EQ(a.GetPosition(), 321);
    for (int32_t h : {0, 1, 99, 100, 4321, 21460}) {
        a.SetPosition(h);
        EXPECT_EQ(a.GetPosition(), h);
    }
    a.SetPosition(-5);
    EXPECT_EQ(a.GetPosition(), 0);
    fake.failSetPosition = true;
    EXPECT_THROW(a.SetPosition(100), ErrorException);
    EXPECT_TRUE(Reported("Couldn't set the music position.\n"));
    a.Free();

    fake.channelFlags = SOUND_SAMPLE_MONO | SOUND_SAMPLE_8BITS;
    fake.frequency = 22050;
    fake.failSetPosition = false;
    ASSERT_EQ(a.Init(0, nullptr), 1);
    ASSERT_EQ(a.LoadStream("x.mp3"), 1);
    a.Play();
    for (int32_t h = 0; h < 1000; ++h) {
        a.SetPosition(h);
        ASSERT_EQ(a.GetPosition(), h);
    }

    a.SetVolume(50);
    EXPECT_EQ(fake.volume, 50);
    a.SetMuted(1);
    EXPECT_EQ(fake.volume, 0);
    a.SetVolume(70);
    EXPECT_EQ(fake.volume, 0) << "still muted";
    a.SetMuted(0);
    EXPECT_EQ(fake.volume, 70);
    a.SetVolume(150);
    EXPECT_EQ(fake.volume, 100);
    a.SetVolume(-20);
    EXPECT_EQ(fake.volume, 0);
}

TEST_F(AudioTest, SilentModeCallsNothing)
{
    ASSERT_EQ(a.Init(1, nullptr), 1);
    EXPECT_EQ(a.LoadStream("missing.mp3"), 1);
    a.Play();
    a.Pause();
    a.Resume();
    a.SetPosition(500);
    a.SetVolume(20);
    a.SetMuted(1);
    EXPECT_EQ(a.GetPosition(), 0);
    a.Free();
    EXPECT_STREQ(fake.soundCalls, "");
    EXPECT_EQ(errorLog.count, 0);
}

TEST_F(AudioTest, EveryFailureReports)
{
    fake.version = 0x00090000;
    EXPECT_THROW(a.Init(0, nullptr), ErrorException);
    EXPECT_TRUE(Reported("BASS version 0.8 was not loaded\nIncorrect BASS.DLL.\n"));
    EXPECT_STREQ(fake.soundCalls, "GetVersion");  // the device is never touched
    fake.version = kSoundVersion;

    fake.failInit = true;
    EXPECT_THROW(a.Init(0, nullptr), ErrorException);
    EXPECT_TRUE(Reported("Can't initialize digital sound system.\n"));
    EXPECT_EQ(a.initialized, 0);
    fake.failInit = false;

    EXPECT_THROW(a.LoadStream("x.mp3"), ErrorException);
    EXPECT_TRUE(Reported("Not initialized.\n"));
    EXPECT_THROW(a.Play(), ErrorException);
    EXPECT_THROW(a.Pause(), ErrorException);
    EXPECT_THROW(a.Resume(), ErrorException);
    int before = errorLog.count;
    a.Free();  // recorded only
    EXPECT_EQ(errorLog.count, before + 1);

    fake.failStart = true;  // the start in Init is not examined
    ASSERT_EQ(a.Init(0, nullptr), 1);
    EXPECT_THROW(a.Resume(), ErrorException);
    EXPECT_TRUE(Reported("Couldn't resume digital output.\n"));
    fake.failPause = true;
    EXPECT_THROW(a.Pause(), ErrorException);
    EXPECT_TRUE(Reported("Couldn't pause digital output.\n"));
    EXPECT_THROW(a.Init(0, nullptr), ErrorException);
    EXPECT_TRUE(Reported("Audio object already initialized.\n"));

    fake.failStreamCreate = true;
    EXPECT_THROW(a.LoadStream("x.mp3"), ErrorException);
    EXPECT_TRUE(Reported("Can't create stream.\n"));
    fake.failStreamCreate = false;
    ASSERT_EQ(a.LoadStream("x.mp3"), 1);
    fake.failStreamPlay = true;
    EXPECT_THROW(a.Play(), ErrorException);
    EXPECT_TRUE(Reported("Can't play stream.\n"));
    EXPECT_EQ(a.GetPosition(), 0);
}

}  // namespace
