#include <gtest/gtest.h>

#include <string>

#include "../platform/test_mp3.h"
#include "audio/audio.h"
#include "error/error_log.h"
#include "platform/clock.h"
#include "platform/headless/headless_backend.h"
#include "tests/support/log.h"

using namespace platform;

namespace {

class HeadlessAudioTest : public test_support::LogTest {
protected:
    static void SetUpTestSuite() { stereo = test_mp3::Make("stereo", 2.0); }
    static void TearDownTestSuite() { test_mp3::CleanUp(); }
    void SetUp() override
    {
        if (stereo.empty()) GTEST_SKIP() << "lame is not installed";
        LogTest::SetUp();
        headless::Install(headless::Options{});
        clock.Set(0);
        SetActiveClock(&clock);
    }
    void TearDown() override
    {
        a.Release();
        SetActiveClock(nullptr);
        headless::Uninstall();
        LogTest::TearDown();
    }
    static inline std::string stereo;
    VirtualClock clock;
    Audio a;
};

TEST_F(HeadlessAudioTest, PositionFollowsTheVirtualClockOneHundredthAtATime)
{
    ASSERT_EQ(a.Init(0, nullptr), 1);
    ASSERT_EQ(a.LoadStream(stereo.c_str()), 1);
    clock.Set(123456);  // not on a hundredth: only elapsed time counts
    a.Play();
    EXPECT_EQ(a.bytesPerSecond, 176400u);
    for (int h = 0; h < 150; ++h) {
        ASSERT_EQ(a.GetPosition(), h);
        clock.Step(VirtualClock::kCountsPerHundredth);
    }
    // Paused: the position stands still; started again, it goes on.
    int at = a.GetPosition();
    a.Pause();
    for (int i = 0; i < 30; ++i) clock.Spin();
    EXPECT_EQ(a.GetPosition(), at);
    a.Resume();
    clock.Step(VirtualClock::kCountsPerHundredth);
    EXPECT_EQ(a.GetPosition(), at + 1);
    // Past the stream's end it goes on with the clock, so a show longer
    // than its music still ends.
    int before = a.GetPosition();
    clock.Step(VirtualClock::kFrequency * 10);
    EXPECT_GT(static_cast<uint32_t>(a.GetPosition()), a.length / 1764);
    EXPECT_EQ(a.GetPosition(), before + 1000);
    EXPECT_EQ(errorLog.count, 0);
}

TEST_F(HeadlessAudioTest, MissingOrCorruptFilesCannotMakeAStream)
{
    ASSERT_EQ(a.Init(0, nullptr), 1);
    std::string garbage = test_mp3::WriteFile("garbage.mp3", std::string(20000, '\x5a'));
    std::string empty = test_mp3::WriteFile("empty.mp3", "");
    for (const std::string& name : {std::string("/nonexistent/kestrune-velomar.mp3"), garbage, empty}) {
        EXPECT_THROW(a.LoadStream(name.c_str()), ErrorException) << name;
        EXPECT_EQ(a.stream, 0u);
    }
    EXPECT_EQ(errorLog.count, 3);
    EXPECT_EQ(std::string(errorLog.Report()).rfind("Audio error:\n Can't create stream.\nFilename: audio/audio\n", 0),
              0u);
}

}  // namespace
