#include "platform/clock.h"

#include "os/clock.h"

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#endif

namespace platform {

int SteadyClock::QueryFrequency(int64_t* frequency) { return os::MonotonicFrequency(frequency) ? 1 : 0; }

int SteadyClock::QueryCounter(int64_t* counter) { return os::MonotonicCounter(counter) ? 1 : 0; }

void SteadyClock::Spin()
{
#if defined(__x86_64__) || defined(__i386__)
    _mm_pause();
#endif
}

int VirtualClock::QueryFrequency(int64_t* frequency)
{
    *frequency = kFrequency;
    return 1;
}

int VirtualClock::QueryCounter(int64_t* counter)
{
    *counter = now;
    return 1;
}

void VirtualClock::Spin()
{
    now = (now / kCountsPerHundredth + 1) * kCountsPerHundredth;
}

namespace {
SteadyClock steadyClock;
Clock* activeClock = &steadyClock;
}  // namespace

Clock& ActiveClock() { return *activeClock; }
void SetActiveClock(Clock* clock) { activeClock = clock != nullptr ? clock : &steadyClock; }

int QueryPerformanceFrequency(int64_t* frequency) { return activeClock->QueryFrequency(frequency); }
int QueryPerformanceCounter(int64_t* counter) { return activeClock->QueryCounter(counter); }
void SpinWait() { activeClock->Spin(); }

}  // namespace platform
