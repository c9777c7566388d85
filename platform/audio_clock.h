// The heard position of a sound stream, as a smooth clock locked to the
// output device. A device tells its progress only now and then (each time it
// takes another buffer), and those reports come late by however long the
// thread that notes them took to wake. Between and across reports the clock
// runs on the steady clock at the device's own rate, which it learns: each
// report's disagreement is worked off as a small change of speed (a
// second-order loop with a time constant of two seconds), never as a step.
//
// - Monotonic and continuous: never backwards, no steps.
// - Reports are taken as possibly late, never early: the clock follows the
//   earliest-looking of the last few reports, so scheduling delay does not
//   hold it back.
// - A stall (no reports while the device starves or the server hiccups): the
//   clock cannot pass what the device was given, so it stops there. When the
//   reports resume behind it, it stands still until the sound catches up (a
//   disagreement of more than 20 ms), or slows a little (a smaller one).
// - Far behind the sound (more than 100 ms, as after a device that moved on
//   while paused), it moves forward to it at once: the only step it takes.
// - Paused, it stands still and resumes from where it stood. After a restart
//   it reads 0 until the first report shows sound coming out, then rises.
//
// Units: stream positions in whatever the device counts (bytes, frames) at
// `rate` of them per second of sound; times in nanoseconds of the steady
// clock. Not thread-safe: the caller serialises reports and reads.
#pragma once

#include <cstdint>

namespace platform {

class AudioClock {
public:
    explicit AudioClock(int64_t rate);

    // The stream starts again from position 0. The learnt device rate stays.
    void Restart();
    // At `time` the device had been given `written` units of the stream in
    // all, of which `queued` were not yet heard.
    void Report(int64_t written, int64_t queued, int64_t time);
    void Pause(int64_t time);
    void Resume(int64_t time);
    // What has been heard at `time`, never less than an earlier answer.
    int64_t Position(int64_t time);
    // The device's rate learnt so far, relative to the stream's nominal rate.
    double Speed() const { return speed; }

private:
    // Disagreements up to this size are worked off smoothly; the clock stands
    // still for a larger one ahead of the sound.
    static constexpr double kLockSeconds = 0.020;
    // Behind the sound by more than this, the clock moves forward at once.
    static constexpr double kCatchUpSeconds = 0.100;
    static constexpr int kWindow = 8;
    struct Heard {
        double position;
        int64_t time;
    };

    double Model(int64_t time) const;
    double Current(int64_t time) const;

    double rate;
    bool anchored = false;
    bool paused = false;
    // Position (seconds of sound) at anchorTime, the speed since, and the
    // disagreement being worked off at correctionSpeed.
    double anchorPosition = 0;
    int64_t anchorTime = 0;
    double speed = 1.0;
    double correction = 0;
    double correctionSpeed = 0;
    // What the device was given: the clock never passes it.
    double limit = 0;
    // The last answer; while paused, the answer.
    double reported = 0;
    Heard recent[kWindow] = {};
    int recentCount = 0;
};

}  // namespace platform
