#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "error/error_log.h"
#include "platform/clock.h"
#include "timer/timer.h"

namespace {

// A clock that tests move by hand. Every read inside a wait can run a step
// of the test's own (for example "the render took 35 ms").
class JumpingClock : public platform::Clock {
public:
    int QueryFrequency(int64_t* f) override
    {
        *f = frequency;
        return frequency > 0;
    }
    int QueryCounter(int64_t* c) override
    {
        *c = now;
        return 1;
    }
    void Spin() override { now += spinStep; }
    int64_t frequency = 3579545;
    int64_t now = 1000;
    int64_t spinStep = 100;
};

int updates = 0;
int renders = 0;
std::vector<int> log;  // 'u' and 'r' in calling order
platform::Clock* clockUnderTest = nullptr;
int64_t renderCost = 0;

int Update()
{
    ++updates;
    log.push_back('u');
    return 1;
}
int Render()
{
    ++renders;
    log.push_back('r');
    if (renderCost != 0) static_cast<JumpingClock*>(clockUnderTest)->now += renderCost;
    return 1;
}

class TimerTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_EQ(errorLog.Init(nullptr), 1);
        updates = renders = 0;
        renderCost = 0;
        log.clear();
    }
    void TearDown() override
    {
        platform::SetActiveClock(nullptr);
        errorLog.Free();
        errorLog.count = 0;
        errorLog.length = 0;
    }
};

TEST_F(TimerTest, VirtualClockRunsOneUpdatePerFrame)
{
    platform::VirtualClock clock;
    platform::SetActiveClock(&clock);
    Timer t;
    ASSERT_EQ(t.Init(), 1);
    for (int i = 0; i < 5000; ++i) t.RunFrame(Update, Render);
    EXPECT_EQ(updates, 5000);
    EXPECT_EQ(renders, 5000);
    EXPECT_EQ(clock.Hundredths(), 5000);
    EXPECT_EQ(t.ticks, 5000);
    // A paused show restarts the timer in every idle moment and still advances.
    for (int i = 0; i < 100; ++i) {
        t.Restart();
        t.RunFrame(Update, Render);
    }
    EXPECT_EQ(updates, 5100);
    EXPECT_EQ(clock.Hundredths(), 5100);
}

TEST_F(TimerTest, CatchesUpAfterASlowRender)
{
    JumpingClock clock;
    clockUnderTest = &clock;
    platform::SetActiveClock(&clock);
    Timer t;
    ASSERT_EQ(t.Init(), 1);
    const int64_t hundredth = clock.frequency / 100;  // 35795 counts
    clock.spinStep = hundredth / 7;

    t.RunFrame(Update, Render);
    EXPECT_EQ(updates, 1);
    renderCost = hundredth * 35 / 10;  // the next render takes 35 ms
    t.RunFrame(Update, Render);
    renderCost = 0;
    log.clear();
    t.RunFrame(Update, Render);
    // 3 or 4 updates before the next render, then exactly one render.
    int u = static_cast<int>(log.size()) - 1;
    EXPECT_GE(u, 3);
    EXPECT_LE(u, 4);
    EXPECT_EQ(log.back(), 'r');

    // Never two renders within one hundredth: consecutive frames differ in ticks.
    int64_t last = t.ticks;
    for (int i = 0; i < 200; ++i) {
        t.RunFrame(Update, Render);
        EXPECT_GT(t.ticks, last);
        last = t.ticks;
    }
}

TEST_F(TimerTest, RestartForgetsThePause)
{
    JumpingClock clock;
    platform::SetActiveClock(&clock);
    Timer t;
    ASSERT_EQ(t.Init(), 1);
    clock.spinStep = clock.frequency / 100;
    t.RunFrame(Update, Render);
    clock.now += clock.frequency * 30;  // half a minute away
    t.Restart();
    updates = 0;
    t.RunFrame(Update, Render);
    EXPECT_EQ(updates, 1);
    EXPECT_EQ(t.elapsed, 1);
}

TEST_F(TimerTest, ComputeFpsEveryHundredUpdates)
{
    platform::VirtualClock clock;
    platform::SetActiveClock(&clock);
    Timer t;
    ASSERT_EQ(t.Init(), 1);
    t.updateCount = 99;
    t.frameCount = 57;
    t.ComputeFps();
    EXPECT_EQ(t.fps, 0);
    EXPECT_EQ(t.updateCount, 99);
    t.updateCount = 100;
    t.ComputeFps();
    EXPECT_EQ(t.fps, 57);
    EXPECT_EQ(t.updateCount, 0);
    EXPECT_EQ(t.frameCount, 0);
    t.updateCount = 300;
    t.frameCount = 100;
    t.ComputeFps();
    EXPECT_EQ(t.fps, 33);
}

TEST_F(TimerTest, ReportsMisuse)
{
    Timer t;
    EXPECT_THROW(t.RunFrame(Update, Render), ErrorException);
    EXPECT_EQ(updates + renders, 0);
    EXPECT_NE(std::string(errorLog.Report()).find("Timer error:\n Timer must be initialized.\nFilename: timer/timer\n"),
              std::string::npos);

    JumpingClock noCounter;
    noCounter.frequency = 0;
    platform::SetActiveClock(&noCounter);
    EXPECT_THROW(t.Init(), ErrorException);
    EXPECT_EQ(t.initialized, 0);
    EXPECT_NE(std::string(errorLog.Report()).find(" No hardware timer found. (very rare error)\n"), std::string::npos);

    platform::SetActiveClock(nullptr);
    ASSERT_EQ(t.Init(), 1);
    EXPECT_THROW(t.Init(), ErrorException);
    EXPECT_NE(std::string(errorLog.Report()).find(" Timer already initialized.\n"), std::string::npos);
}

}  // namespace
