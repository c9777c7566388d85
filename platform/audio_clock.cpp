#include "platform/audio_clock.h"

#include <algorithm>
#include <cmath>

namespace platform {

namespace {
// The loop: a disagreement e (seconds of sound) is worked off at e / kSettle
// seconds per second, and moves the learnt speed by kRateGain * e per second
// it lasts. With these two the loop is critically damped, with a natural
// time constant of 2 s: a report late by a few milliseconds moves the clock
// by a few microseconds.
constexpr double kSettle = 1.0;
constexpr double kRateGain = 0.25;
// The learnt speed stays within 1% of the nominal one; real devices are
// within a tenth of that.
constexpr double kMaxDrift = 0.01;
// A gap between reports counts for the speed as at most this long.
constexpr double kMaxStep = 0.1;

double Seconds(int64_t ns) { return static_cast<double>(ns) * 1e-9; }
}  // namespace

AudioClock::AudioClock(int64_t rate_) : rate(static_cast<double>(rate_)) {}

void AudioClock::Restart()
{
    anchored = false;
    correction = 0;
    correctionSpeed = 0;
    limit = 0;
    reported = 0;
    recentCount = 0;
}

// The clock's own line: the anchor moved on at the learnt speed, plus the
// part of the disagreement worked off so far.
double AudioClock::Model(int64_t time) const
{
    double since = Seconds(std::max<int64_t>(time - anchorTime, 0));
    double worked = std::min(std::fabs(correction), correctionSpeed * since);
    return anchorPosition + speed * since + (correction < 0 ? -worked : worked);
}

double AudioClock::Current(int64_t time) const { return std::min(Model(time), limit); }

void AudioClock::Report(int64_t written, int64_t queued, int64_t time)
{
    if (paused) return;
    double heard = static_cast<double>(written - queued) / rate;
    double given = static_cast<double>(written) / rate;
    if (!anchored) {
        anchored = true;
        anchorPosition = heard;
        anchorTime = time;
        correction = 0;
        correctionSpeed = 0;
        limit = given;
        recent[0] = {heard, time};
        recentCount = 1;
        return;
    }
    time = std::max(time, anchorTime);
    double position = Current(time);
    double elapsed = Seconds(time - anchorTime);
    limit = std::max(limit, given);

    // Where the sound is now, by the earliest-looking recent report: each
    // carried forward at the learnt speed. One that would put the sound past
    // what the device was given predates a stall, and is forgotten.
    int kept = 0;
    for (int i = 0; i < recentCount; ++i) {
        if (recent[i].position + speed * Seconds(time - recent[i].time) <= limit) recent[kept++] = recent[i];
    }
    if (kept == kWindow) {
        std::copy(recent + 1, recent + kWindow, recent);
        --kept;
    }
    recent[kept++] = {heard, time};
    recentCount = kept;
    double sound = heard;
    for (int i = 0; i < recentCount; ++i) {
        sound = std::max(sound, recent[i].position + speed * Seconds(time - recent[i].time));
    }

    double error = sound - position;
    if (error > kCatchUpSeconds) {
        position = sound;
        error = 0;
    }
    if (error < -kLockSeconds) {
        // Ahead of the sound after a stall: stand still until it catches up.
        correctionSpeed = speed;
    } else {
        correctionSpeed = std::fabs(error) / kSettle;
        if (error <= kLockSeconds) {
            speed += kRateGain * error * std::min(elapsed, kMaxStep);
            speed = std::clamp(speed, 1.0 - kMaxDrift, 1.0 + kMaxDrift);
        }
    }
    anchorPosition = position;
    anchorTime = time;
    correction = error;
}

void AudioClock::Pause(int64_t time)
{
    if (paused) return;
    if (anchored) reported = std::max(reported, Current(time));
    paused = true;
}

void AudioClock::Resume(int64_t time)
{
    if (!paused) return;
    paused = false;
    if (!anchored) return;
    anchorPosition = reported;
    anchorTime = time;
    correction = 0;
    correctionSpeed = 0;
    recentCount = 0;
}

int64_t AudioClock::Position(int64_t time)
{
    if (!paused && anchored) reported = std::max(reported, Current(time));
    return reported <= 0 ? 0 : static_cast<int64_t>(std::floor(reported * rate));
}

}  // namespace platform
