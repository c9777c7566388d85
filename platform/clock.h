// The high-resolution counter the frame timer reads, standing in for the
// performance counter. Two clocks exist: the real, monotonic one, and a
// virtual one for headless capture, benchmarks and tests, in which time moves
// only when somebody waits for it.
#pragma once

#include <cstdint>

namespace platform {

class Clock {
public:
    virtual ~Clock() = default;
    // Counts per second; 0 when the clock has no counter.
    virtual int QueryFrequency(int64_t* frequency) = 0;
    virtual int QueryCounter(int64_t* counter) = 0;
    // Called by a busy wait between two reads that found no new hundredth.
    virtual void Spin() {}
};

// The system's monotonic clock: on Windows the performance counter itself,
// elsewhere std::chrono::steady_clock in nanoseconds.
class SteadyClock final : public Clock {
public:
    int QueryFrequency(int64_t* frequency) override;
    int QueryCounter(int64_t* counter) override;
    void Spin() override;
};

// A counter that code sets and steps. Spin moves it on to the start of the
// next hundredth of a second, so a wait for the next hundredth ends after
// exactly one hundredth of virtual time.
class VirtualClock final : public Clock {
public:
    static constexpr int64_t kFrequency = 1000000;
    static constexpr int64_t kCountsPerHundredth = kFrequency / 100;

    int QueryFrequency(int64_t* frequency) override;
    int QueryCounter(int64_t* counter) override;
    void Spin() override;

    void Set(int64_t counter) { now = counter; }
    void Step(int64_t counts) { now += counts; }
    int64_t Now() const { return now; }
    // Whole hundredths since counter 0.
    int64_t Hundredths() const { return now / kCountsPerHundredth; }

private:
    int64_t now = 0;
};

// The clock the program reads: the steady clock unless another was chosen.
Clock& ActiveClock();
// Chooses the clock (null goes back to the steady clock). The caller keeps
// ownership and keeps it alive while it is active.
void SetActiveClock(Clock* clock);

// The calls of the performance counter, on the active clock.
int QueryPerformanceFrequency(int64_t* frequency);
int QueryPerformanceCounter(int64_t* counter);
void SpinWait();

}  // namespace platform
