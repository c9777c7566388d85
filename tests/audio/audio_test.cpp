#include <gtest/gtest.h>

#include <string>

#include "audio/audio.h"
#include "error/error_log.h"
#include "platform/fake/fake_backend.h"

using namespace platform;

namespace {

class AudioTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        errorLog.Free();
        errorLog.count = 0;
        errorLog.length = 0;
        errorLog.locked = 0;
        ASSERT_EQ(errorLog.Init(nullptr), 1);
        fake.Install();
    }
    void TearDown() override
    {
        a.Release();
        errorLog.Free();
    }

    template <class F>
    bool Throws(F f)
    {
        try {
            f();
        } catch (const ErrorException&) {
            return true;
        }
        return false;
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
    EXPECT_EQ(fake.lastInitDevice, -1);
    EXPECT_EQ(fake.lastInitFrequency, 44100u);
    EXPECT_EQ(fake.lastInitFlags, 0x10u);
    ASSERT_EQ(a.LoadStream("kestrune-velomar.mp3"), 1);
    EXPECT_STREQ(fake.lastStreamFile, "kestrune-velomar.mp3");
    EXPECT_EQ(fake.lastStreamFlags, 0x20000u);
    EXPECT_EQ(a.GetPosition(), 0);  // not started: no division by zero
    a.Play();
    EXPECT_EQ(a.bytesPerSecond, 176400u);
    EXPECT_EQ(a.length, 441000u);
    EXPECT_EQ(a.lengthSeconds, 2u);
    EXPECT_EQ(a.blockLength, 4608u);

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
}

TEST_F(AudioTest, SampleFormatFlags)
{
    fake.channelFlags = SOUND_SAMPLE_MONO | SOUND_SAMPLE_8BITS;
    fake.frequency = 22050;
    ASSERT_EQ(a.Init(0, nullptr), 1);
    ASSERT_EQ(a.LoadStream("x.mp3"), 1);
    a.Play();
    EXPECT_EQ(a.bytesPerSecond, 22050u);
    fake.position = 22050 * 2 + 11025;
    EXPECT_EQ(a.GetPosition(), 250);
}

TEST_F(AudioTest, SilentModeCallsNothing)
{
    ASSERT_EQ(a.Init(1, nullptr), 1);
    EXPECT_EQ(a.LoadStream("missing.mp3"), 1);
    a.Play();
    a.Pause();
    a.Resume();
    EXPECT_EQ(a.GetPosition(), 0);
    a.Free();
    EXPECT_STREQ(fake.soundCalls, "");
    EXPECT_EQ(errorLog.count, 0);
}

TEST_F(AudioTest, EveryFailureReports)
{
    fake.version = 0x00090000;
    EXPECT_TRUE(Throws([&] { a.Init(0, nullptr); }));
    EXPECT_TRUE(Reported("BASS version 0.8 was not loaded\nIncorrect BASS.DLL.\n"));
    EXPECT_STREQ(fake.soundCalls, "GetVersion");  // the device is never touched
    fake.version = kSoundVersion;

    fake.failInit = true;
    EXPECT_TRUE(Throws([&] { a.Init(0, nullptr); }));
    EXPECT_TRUE(Reported("Can't initialize digital sound system.\n"));
    EXPECT_EQ(a.initialized, 0);
    fake.failInit = false;

    EXPECT_TRUE(Throws([&] { a.LoadStream("x.mp3"); }));
    EXPECT_TRUE(Reported("Not initialized.\n"));
    EXPECT_TRUE(Throws([&] { a.Play(); }));
    EXPECT_TRUE(Throws([&] { a.Pause(); }));
    EXPECT_TRUE(Throws([&] { a.Resume(); }));
    int before = errorLog.count;
    a.Free();  // recorded only
    EXPECT_EQ(errorLog.count, before + 1);

    fake.failStart = true;  // the start in Init is not examined
    ASSERT_EQ(a.Init(0, nullptr), 1);
    EXPECT_TRUE(Throws([&] { a.Resume(); }));
    EXPECT_TRUE(Reported("Couldn't resume digital output.\n"));
    fake.failPause = true;
    EXPECT_TRUE(Throws([&] { a.Pause(); }));
    EXPECT_TRUE(Reported("Couldn't pause digital output.\n"));
    EXPECT_TRUE(Throws([&] { a.Init(0, nullptr); }));
    EXPECT_TRUE(Reported("Audio object already initialized.\n"));

    fake.failStreamCreate = true;
    EXPECT_TRUE(Throws([&] { a.LoadStream("x.mp3"); }));
    EXPECT_TRUE(Reported("Can't create stream.\n"));
    fake.failStreamCreate = false;
    ASSERT_EQ(a.LoadStream("x.mp3"), 1);
    fake.failStreamPlay = true;
    EXPECT_TRUE(Throws([&] { a.Play(); }));
    EXPECT_TRUE(Reported("Can't play stream.\n"));
    EXPECT_EQ(a.GetPosition(), 0);
}

}  // namespace
