#include "platform/clock.h"

#if defined(_WIN32)
#include <windows.h>
#else
#include <chrono>
#endif
#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#endif

namespace platform {

#if defined(_WIN32)
int SteadyClock::QueryFrequency(int64_t* frequency)
{
    LARGE_INTEGER value;
    *frequency = ::QueryPerformanceFrequency(&value) != 0 ? value.QuadPart : 0;
    return *frequency > 0 ? 1 : 0;
}

int SteadyClock::QueryCounter(int64_t* counter)
{
    LARGE_INTEGER value;
    if (::QueryPerformanceCounter(&value) == 0) return 0;
    *counter = value.QuadPart;
    return 1;
}
#else
int SteadyClock::QueryFrequency(int64_t* frequency)
{
    using Period = std::chrono::steady_clock::period;
    *frequency = static_cast<int64_t>(Period::den / Period::num);
    return *frequency > 0 ? 1 : 0;
}

int SteadyClock::QueryCounter(int64_t* counter)
{
    *counter = static_cast<int64_t>(std::chrono::steady_clock::now().time_since_epoch().count());
    return 1;
}
#endif

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
