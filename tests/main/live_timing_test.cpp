// Live play, simulated: the whole show through the shell on the fake
// backend, with a display that shows frames at its refresh rate (or as fast
// as they come), and a sound device whose position moves in buffer steps,
// with jitter, on a clock of its own that drifts against the system's. The
// times the show's update sees must run 0, 1, 2, ... with nothing repeated
// and nothing skipped but at counted resynchronisations, and the show's
// state at every scene change must be what a capture gives.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "demo/demo.h"
#include "error/error_log.h"
#include "main/app_state.h"
#include "main/dialog.h"
#include "main/shell.h"
#include "platform/clock.h"
#include "platform/fake/fake_backend.h"
#include "platform/headless/headless_backend.h"
#include "tests/support/scripted_clock.h"
#include "tests/support/show.h"

using platform::fake::FakePlatform;

namespace {

constexpr int64_t kSecond = 1000000000;
constexpr int64_t kRate = 44100;
constexpr int64_t kBytesPerFrame = 4;

struct Scenario {
    const char* name;
    int refreshHz;        // 0: no vsync, a frame is shown as soon as it is drawn
    int64_t bufferFrames;  // the device takes this much at each callback
    int64_t jitterNs;      // each callback runs up to this late
    int64_t driftPpm;      // the device's clock against the system's
    int32_t lead;          // hundredths drawn ahead of the music heard
};

// What the update saw, and the state it left at each change of scene.
struct Record {
    std::vector<int32_t> times;
    std::string sceneChanges;
};

Record* recording = nullptr;
int32_t lastScene = -1;

void RecordingUpdate()
{
    recording->times.push_back(musicPosition);
    DemoUpdate();
    if (scene != lastScene) {
        lastScene = scene;
        char line[96];
        std::snprintf(line, sizeof line, "t=%d scene %d flash %d caption %d blur %d\n", musicPosition, scene,
                      flashLevel, captionLevel, blurCount);
        recording->sceneChanges += line;
    }
}

// System time in nanoseconds, moved on by the timer's busy wait and by each
// shown frame; the music's position is worked out from it at every step.
class SimulatedTime final : public platform::Clock {
public:
    int QueryFrequency(int64_t* frequency) override
    {
        *frequency = kSecond;
        return 1;
    }
    int QueryCounter(int64_t* counter) override
    {
        *counter = now;
        return 1;
    }
    void Spin() override { Advance(200000); }

    void Advance(int64_t ns)
    {
        now += ns;
        UpdateDevice();
    }

    // A frame was shown: drawing it took `drawNs`; with vsync the display
    // then holds it until the next refresh.
    void FrameShown()
    {
        Advance(drawNs);
        if (scenario.refreshHz > 0) {
            int64_t period = kSecond / scenario.refreshHz;
            Advance(period - now % period);
        }
    }

    // The device: once the music starts, callback k comes when the device
    // has played k buffers by its own clock, a pseudo-random moment late.
    // The position it reports is the bytes handed over up to the last
    // callback, less the buffer still queued: it moves in buffer steps.
    void UpdateDevice()
    {
        if (!running || fake == nullptr) return;
        if (startNs < 0) startNs = now;
        for (;;) {
            int64_t frames = (callbacks + 1) * scenario.bufferFrames;
            double deviceRate = static_cast<double>(kRate) * (1.0 + static_cast<double>(scenario.driftPpm) * 1e-6);
            int64_t due = startNs + static_cast<int64_t>(static_cast<double>(frames) * kSecond / deviceRate);
            if (now < due + nextJitter) break;
            ++callbacks;
            jitterState = jitterState * 1103515245u + 12345u;
            nextJitter = scenario.jitterNs > 0 ? static_cast<int64_t>((jitterState >> 8) % scenario.jitterNs) : 0;
        }
        int64_t heard = (callbacks - 1) * scenario.bufferFrames;
        fake->position = static_cast<uint32_t>((heard < 0 ? 0 : heard) * kBytesPerFrame);
    }

    Scenario scenario = {};
    int64_t drawNs = 2000000;
    int64_t now = 0;
    int64_t startNs = -1;
    int64_t callbacks = 0;
    int64_t nextJitter = 0;
    uint32_t jitterState = 1;
    FakePlatform* fake = nullptr;
};

class LiveTiming : public test_support::ShellRunTest {
protected:
    void SetUp() override
    {
#ifdef ORCHID_SANITIZE
        GTEST_SKIP() << "whole-show simulations take too long under the sanitizers";
#endif
        ShellRunTest::SetUp();
        lastScene = -1;
        fake.Install();
        fake.dialogCommands[0] = IDC_BUTTON_WINDOWED;
        showUpdate = RecordingUpdate;
    }
    void TearDown() override
    {
        recording = nullptr;
        ShellRunTest::TearDown();
    }

    Record Run(platform::Clock& clock)
    {
        Record record;
        recording = &record;
        platform::SetActiveClock(&clock);
        EXPECT_EQ(WinMain(nullptr, nullptr, "", platform::SW_SHOWNORMAL), 0);
        EXPECT_EQ(errorLog.count, 0) << errorLog.Report();
        recording = nullptr;
        return record;
    }

    Record Simulate(const Scenario& scenario)
    {
        SimulatedTime time;
        time.scenario = scenario;
        time.fake = &fake;
        fake.onFrameShown = [&time] { time.FrameShown(); };
        Record record = Run(time);
        fake.onFrameShown = nullptr;
        return record;
    }

    FakePlatform fake;
};

// Breaks in the sequence of times: a repeat or a skip each.
int Breaks(const std::vector<int32_t>& times, std::string* where)
{
    int breaks = 0;
    for (size_t i = 1; i < times.size(); ++i) {
        if (times[i] == times[i - 1] + 1) continue;
        char pair[32];
        std::snprintf(pair, sizeof pair, " %d->%d", times[i - 1], times[i]);
        if (++breaks <= 5) *where += pair;
    }
    return breaks;
}

TEST_F(LiveTiming, EveryHundredthOnceAtAnyRefreshRateAndDriftAsInCapture)
{
    // One hundredth per wait, the music one on with it, as a capture runs.
    test_support::ScriptedClock captureTime{fake};
    const Record capture = Run(captureTime);
    ASSERT_EQ(capture.times.size(), static_cast<size_t>(kShowEnd + 2));
    ASSERT_EQ(capture.times.front(), 0);
    std::string where;
    ASSERT_EQ(Breaks(capture.times, &where), 0) << where;

    const Scenario scenarios[] = {
        {"60 Hz vsync, 2048-frame buffer, +500 ppm, drawn 2 ahead", 60, 2048, 3000000, 500, 2},
        {"75 Hz vsync, 1024-frame buffer, -500 ppm", 75, 1024, 2000000, -500, 0},
        {"144 Hz vsync, 2048-frame buffer, +500 ppm, drawn 2 ahead", 144, 2048, 3000000, 500, 2},
        {"no vsync, 1024-frame buffer, -500 ppm", 0, 1024, 3000000, -500, 0},
    };
    for (const Scenario& scenario : scenarios) {
        SCOPED_TRACE(scenario.name);
        TearDown();
        SetUp();
        displayLead = scenario.lead;
        const Record live = Simulate(scenario);
        ASSERT_FALSE(live.times.empty());
        EXPECT_EQ(live.times.front(), 0);
        EXPECT_EQ(live.times.back(), kShowEnd + 1);
        std::string breaks;
        EXPECT_EQ(Breaks(live.times, &breaks), showSteps.resyncs) << breaks;
        // At most one resynchronisation per 30 s of show.
        EXPECT_LE(showSteps.resyncs, kShowEnd / 3000);
        EXPECT_EQ(live.sceneChanges, capture.sceneChanges);
    }
}

// The original timing, where each update reads the position anew, is kept
// behind a switch; at 60 Hz it sees times twice and skips others, which is
// what the stepping above is for.
TEST_F(LiveTiming, LiteralTimingRepeatsAndSkipsAtSixtyHertz)
{
    literalTiming = 1;
    SimulatedTime time;
    time.scenario = {"60 Hz vsync, 1024-frame buffer", 60, 1024, 3000000, 0, 0};
    time.fake = &fake;
    fake.onFrameShown = [&] {
        time.FrameShown();
        if (musicPosition > 1000) fake.Key(mainWindow, platform::VK_ESCAPE);
    };
    const Record live = Run(time);
    fake.onFrameShown = nullptr;
    std::string where;
    EXPECT_GT(Breaks(live.times, &where), 100) << where;
}

}  // namespace
