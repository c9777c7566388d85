#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "error/error_log.h"
#include "platform/clock.h"
#include "tests/support/log.h"
#include "timer/show_steps.h"
#include "timer/timer.h"

namespace {

// A clock that tests move by hand: each wait moves it `spinStep` counts and
// each render `renderCost` more (for example "the render took 35 ms").
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
    int64_t renderCost = 0;
};

JumpingClock* jumping = nullptr;
std::string calls;  // 'u' and 'r' in calling order

int Update()
{
    calls += 'u';
    return 1;
}
int Render()
{
    calls += 'r';
    if (jumping != nullptr) jumping->now += jumping->renderCost;
    return 1;
}
long Count(char c) { return std::count(calls.begin(), calls.end(), c); }

class TimerTest : public test_support::LogTest {
protected:
    void SetUp() override
    {
        LogTest::SetUp();
        calls.clear();
        jumping = nullptr;
    }
    void TearDown() override
    {
        platform::SetActiveClock(nullptr);
        LogTest::TearDown();
    }
};

TEST_F(TimerTest, VirtualClockRunsOneUpdatePerFrame)
{
    platform::VirtualClock clock;
    platform::SetActiveClock(&clock);
    Timer t;
    ASSERT_EQ(t.Init(), 1);
    for (int i = 0; i < 5000; ++i) t.RunFrame(Update, Render);
    EXPECT_EQ(Count('u'), 5000);
    EXPECT_EQ(Count('r'), 5000);
    EXPECT_EQ(clock.Hundredths(), 5000);
    EXPECT_EQ(t.ticks, 5000);
    // A paused show restarts the timer in every idle moment and still advances.
    for (int i = 0; i < 100; ++i) {
        t.Restart();
        t.RunFrame(Update, Render);
    }
    EXPECT_EQ(Count('u'), 5100);
    EXPECT_EQ(clock.Hundredths(), 5100);
}

TEST_F(TimerTest, CatchesUpAfterASlowRenderAndRestartForgetsAPause)
{
    JumpingClock clock;
    jumping = &clock;
    platform::SetActiveClock(&clock);
    Timer t;
    ASSERT_EQ(t.Init(), 1);
    const int64_t hundredth = clock.frequency / 100;  // 35795 counts
    clock.spinStep = hundredth / 7;

    t.RunFrame(Update, Render);
    EXPECT_EQ(calls, "ur");
    clock.renderCost = hundredth * 35 / 10;  // the next render takes 35 ms
    t.RunFrame(Update, Render);
    clock.renderCost = 0;
    calls.clear();
    t.RunFrame(Update, Render);
    // 3 or 4 updates before the next render, then exactly one render.
    EXPECT_TRUE(calls == "uuur" || calls == "uuuur") << calls;

    // Never two renders within one hundredth: consecutive frames differ in ticks.
    int64_t last = t.ticks;
    for (int i = 0; i < 200; ++i) {
        t.RunFrame(Update, Render);
        EXPECT_GT(t.ticks, last);
        last = t.ticks;
    }

    // Half a minute away, then a restart: one update, not three thousand.
    clock.now += clock.frequency * 30;
    t.Restart();
    calls.clear();
    t.RunFrame(Update, Render);
    EXPECT_EQ(calls, "ur");
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
    EXPECT_EQ(calls, "");
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

// The bounds as the timing docs give them: a jump when more than 25
// updates are due at once, a hold when the heard position is more than 3
// hundredths behind the next update; each counted once.
TEST(ShowStepsTest, JumpsPastAQuarterSecondDueAndHoldsMoreThanThreeBehind)
{
    ShowSteps steps;
    steps.Start(0);
    EXPECT_EQ(steps.Next(0), -1);
    EXPECT_EQ(steps.Next(25), 0);  // 25 due: replayed one by one
    EXPECT_EQ(steps.Next(25), 1);
    EXPECT_EQ(steps.resyncs, 0);

    steps.Start(0);
    EXPECT_EQ(steps.Next(26), 25);  // 26 due: straight to the last
    EXPECT_EQ(steps.resyncs, 1);
    EXPECT_EQ(steps.Next(26), -1);

    steps.Start(10);
    EXPECT_EQ(steps.Next(11), 10);
    EXPECT_EQ(steps.Next(8), -1);  // 3 behind the next update: waits
    EXPECT_EQ(steps.holding, 0);
    EXPECT_EQ(steps.resyncs, 0);
    EXPECT_EQ(steps.Next(7), -1);  // 4 behind: holds, counted once
    EXPECT_EQ(steps.Next(7), -1);
    EXPECT_EQ(steps.holding, 1);
    EXPECT_EQ(steps.resyncs, 1);
    EXPECT_EQ(steps.Next(12), 11);  // caught up: on from where it was
    EXPECT_EQ(steps.holding, 0);
}

}  // namespace
