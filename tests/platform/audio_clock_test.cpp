// The sound clock against a simulated device: it plays at its own rate
// (drifting from the steady clock), takes a buffer each time it has room for
// one, and the report of that comes late by a random delay. The true heard
// position is what the device played less what it holds queued.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <vector>

#include "platform/audio_clock.h"

namespace {

using platform::AudioClock;

constexpr int64_t kRate = 176400;  // bytes per second: 44.1 kHz, 16-bit stereo
constexpr int64_t kMs = 1000000;
constexpr int64_t kTick = kMs / 10;

struct Scenario {
    int64_t bufferFrames = 1024;
    int64_t queueFrames = 1024;  // the device's queue when it asks for more
    double drift = 0;            // device rate against the steady clock
    int64_t lateMax = 0;         // reports come late by up to this (ns)
    int64_t lateOnceAt = -1;     // one report very late ...
    int64_t lateOnce = 0;        // ... by this
    int64_t stallAt = -1;        // the device stops playing ...
    int64_t stallFor = 0;        // ... for this long
    int64_t pauseAt = -1;        // the clock is paused ...
    int64_t pauseFor = 0;        // ... for this long
    int64_t seconds = 60;
};

struct Result {
    bool monotonic = true;
    double maxStep = 0;    // largest rise between reads 1 ms apart, in ms
    double maxError = 0;   // largest |clock - heard| after settling, in ms
    double rateRatio = 0;  // clock's rate over the device's, from 30 s on
    double speed = 0;      // the clock's learnt speed at the end
    double pausedMove = 0; // how far it moved while paused, in bytes
    double peakAfterStall = 0;
};

// Runs a scenario in ticks of 0.1 ms, reading the clock every millisecond.
// `settled(t)` says whether the error at t counts.
template <typename Settled>
Result Play(AudioClock& clock, const Scenario& s, Settled settled)
{
    std::mt19937_64 random(12345);
    std::uniform_int_distribution<int64_t> late(0, s.lateMax);
    const int64_t buffer = s.bufferFrames * 4;
    const int64_t queue = s.queueFrames * 4;
    const double deviceRate = static_cast<double>(kRate) * (1.0 + s.drift);

    double played = 0;  // bytes the device has played
    int64_t taken = 0;  // buffers taken
    int64_t lastReport = 0;
    struct Pending {
        int64_t time, written;
    };
    std::vector<Pending> pending;
    Result r;
    int64_t previous = 0;
    double positionAt30 = 0;
    bool paused = false;
    double pausedAt = 0;
    const int64_t end = s.seconds * 1000 * kMs;
    for (int64_t t = 0; t <= end; t += kTick) {
        bool stalled = s.stallAt >= 0 && t >= s.stallAt && t < s.stallAt + s.stallFor;
        bool pauseNow = s.pauseAt >= 0 && t >= s.pauseAt && t < s.pauseAt + s.pauseFor;
        if (pauseNow != paused) {
            paused = pauseNow;
            if (paused) {
                clock.Pause(t);
                pausedAt = static_cast<double>(clock.Position(t));
            } else {
                clock.Resume(t);
            }
        }
        if (!stalled && !paused) {
            // The device asks for buffer k when it has played k buffers.
            double next = played + deviceRate * 1e-9 * static_cast<double>(kTick);
            while (static_cast<double>(taken * buffer) <= next) {
                double frac = (static_cast<double>(taken * buffer) - played) / (next - played);
                int64_t asked = t + static_cast<int64_t>(frac * static_cast<double>(kTick));
                int64_t delay = late(random);
                if (taken == s.lateOnceAt) delay = s.lateOnce;
                lastReport = std::max(asked + delay, lastReport);
                pending.push_back({lastReport, (taken + 1) * buffer});
                ++taken;
            }
            played = next;
        }
        size_t done = 0;
        while (done < pending.size() && pending[done].time <= t) {
            clock.Report(pending[done].written, buffer + queue, pending[done].time);
            ++done;
        }
        pending.erase(pending.begin(), pending.begin() + static_cast<std::ptrdiff_t>(done));

        if (t % kMs != 0) continue;
        int64_t position = clock.Position(t);
        if (position < previous) r.monotonic = false;
        r.maxStep = std::max(r.maxStep, static_cast<double>(position - previous) * 1000.0 / kRate);
        previous = position;
        double heard = std::max(played - static_cast<double>(queue), 0.0);
        double error = (static_cast<double>(position) - heard) * 1000.0 / kRate;
        if (paused) r.pausedMove = std::max(r.pausedMove, static_cast<double>(position) - pausedAt);
        if (s.stallAt >= 0 && t >= s.stallAt) r.peakAfterStall = std::max(r.peakAfterStall, error);
        if (settled(t)) r.maxError = std::max(r.maxError, std::fabs(error));
        if (t == 30000 * kMs) positionAt30 = static_cast<double>(position);
        if (t == end) {
            double span = static_cast<double>(end - 30000 * kMs) * 1e-9;
            r.rateRatio = (static_cast<double>(position) - positionAt30) / span / deviceRate;
        }
    }
    r.speed = clock.Speed();
    return r;
}

template <typename Settled>
Result Play(const Scenario& s, Settled settled)
{
    AudioClock clock(kRate);
    return Play(clock, s, settled);
}

Result Play(const Scenario& s)
{
    return Play(s, [](int64_t t) { return t >= 5000 * kMs; });
}

// Steady play: buffer sizes, ±500 ppm of drift, reports late by up to 5 ms.
// The error bound: the clock follows the earliest of the last 8 reports, which
// with uniform lateness of up to 5 ms is late by 5/9 ms on average and rarely
// by more than 1.5 ms; the loop's own wander adds well under 0.5 ms.
TEST(AudioClock, FollowsTheDeviceRateAndPositionWithinTwoMilliseconds)
{
    for (int64_t frames : {1024, 2048}) {
        for (double drift : {-500e-6, 0.0, 500e-6}) {
            for (int64_t late : {int64_t{0}, 5 * kMs}) {
                SCOPED_TRACE(testing::Message() << frames << " frames, drift " << drift << ", late " << late);
                Scenario s;
                s.bufferFrames = frames;
                s.queueFrames = frames * 3 / 2;
                s.drift = drift;
                s.lateMax = late;
                s.seconds = 240;
                Result r = Play(s);
                EXPECT_TRUE(r.monotonic);
                EXPECT_LE(r.maxStep, 1.05);
                EXPECT_LE(r.maxError, 2.0);
                // Over 210 s the clock keeps the device's rate, not the
                // steady clock's, which is 500 ppm off.
                EXPECT_NEAR(r.rateRatio, 1.0, 20e-6);
                EXPECT_NEAR(r.speed, 1.0 + drift, 100e-6);
            }
        }
    }
}

TEST(AudioClock, StartsAtZeroAndRisesWhenTheSoundComesOut)
{
    AudioClock clock(kRate);
    EXPECT_EQ(clock.Position(5 * kMs), 0);
    // Two buffers of 1024 frames, the first heard after one buffer's time.
    clock.Report(4096, 8192, 10 * kMs);
    EXPECT_EQ(clock.Position(10 * kMs), 0);
    EXPECT_EQ(clock.Position(33 * kMs), 0);
    int64_t buffer = 4096 * kMs * 1000 / kRate;  // 23.2 ms
    EXPECT_NEAR(clock.Position(10 * kMs + buffer + 10 * kMs), 10 * kRate / 1000, 8);
}

TEST(AudioClock, RestartGoesBackToZeroAndKeepsTheLearntSpeed)
{
    AudioClock clock(kRate);
    Scenario s;
    s.drift = 300e-6;
    Result r = Play(clock, s, [](int64_t t) { return t >= 5000 * kMs; });
    EXPECT_LE(r.maxError, 2.0);
    int64_t later = 61000 * kMs;
    clock.Restart();
    EXPECT_EQ(clock.Position(later), 0);
    EXPECT_NEAR(clock.Speed(), 1.0003, 100e-6);
    clock.Report(4096, 4096, later);
    EXPECT_EQ(clock.Position(later + 1000 * kMs), 4096);  // stops at what was given
    clock.Report(kRate * 4, kRate * 2 + 4096, later + 1000 * kMs);
    EXPECT_NEAR(clock.Position(later + 1500 * kMs), kRate * 2 - 4096 + kRate * clock.Speed() / 2, 4);
}

TEST(AudioClock, PauseStandsStillAndResumesFromWhereItStood)
{
    Scenario s;
    s.lateMax = 3 * kMs;
    s.pauseAt = 20000 * kMs;
    s.pauseFor = 5000 * kMs;
    Result r = Play(s);
    EXPECT_TRUE(r.monotonic);
    EXPECT_EQ(r.pausedMove, 0.0);
    EXPECT_LE(r.maxStep, 1.05);
    EXPECT_LE(r.maxError, 2.0);

    // Reports while paused are not heard; a device that moved on far while
    // paused is caught up with at once, a little ahead only slowly.
    AudioClock clock(kRate);
    clock.Report(kRate + 4096, kRate + 4096, 0);
    clock.Pause(100 * kMs);
    int64_t stood = clock.Position(100 * kMs);
    EXPECT_EQ(stood, kRate / 10);
    clock.Report(1000000, 4096, 200 * kMs);
    EXPECT_EQ(clock.Position(300 * kMs), stood);
    clock.Resume(1000 * kMs);
    EXPECT_EQ(clock.Position(1000 * kMs), stood);
    clock.Report(stood + kRate / 2 + 4096, 4096, 1010 * kMs);
    EXPECT_NEAR(clock.Position(1010 * kMs), stood + kRate / 2, 4);
    clock.Report(stood + kRate / 2 + kRate * 7 / 100 + 4096, 4096, 1020 * kMs);
    int64_t slowly = clock.Position(1030 * kMs);
    EXPECT_GT(slowly, stood + kRate / 2 + kRate / 50);
    EXPECT_LT(slowly, stood + kRate / 2 + kRate / 50 + kRate / 200);
    EXPECT_EQ(clock.Speed(), 1.0);  // nor does the speed learn from it
}

// A report late by much more than a buffer's time, and a stall of the device
// (an underrun or a server hiccup). In a stall the clock runs on until it
// reaches what the device was given, stops there, and when the reports come
// back behind it stands still until the sound catches up; then the loop
// takes over again without its learnt rate disturbed.
TEST(AudioClock, LateReportsAndStallsSlowItDownButNeverStepIt)
{
    Scenario late;
    late.bufferFrames = 2048;
    late.queueFrames = 2048;
    late.lateMax = 2 * kMs;
    late.lateOnceAt = 400;
    late.lateOnce = 40 * kMs;
    Result r = Play(late);
    EXPECT_TRUE(r.monotonic);
    EXPECT_LE(r.maxStep, 1.05);
    EXPECT_LE(r.maxError, 2.0);

    for (int64_t stall : {30 * kMs, 300 * kMs, 3000 * kMs}) {
        SCOPED_TRACE(stall);
        Scenario s;
        s.bufferFrames = 2048;
        s.queueFrames = 2048;
        s.drift = 200e-6;
        s.lateMax = 2 * kMs;
        s.stallAt = 20000 * kMs;
        s.stallFor = stall;
        Result r = Play(s, [&](int64_t t) {
            return t >= 5000 * kMs && (t < s.stallAt || t > s.stallAt + stall + 4000 * kMs);
        });
        EXPECT_TRUE(r.monotonic);
        EXPECT_LE(r.maxStep, 1.05);
        EXPECT_LE(r.maxError, 2.0);
        // Never further ahead than the queue and the buffer last given.
        EXPECT_LE(r.peakAfterStall, 2 * 2048 * 1000.0 / 44100 + 2.0);
        EXPECT_NEAR(r.speed, 1.0002, 100e-6);
        EXPECT_NEAR(r.rateRatio, 1.0, 50e-6);
    }
}

}  // namespace
