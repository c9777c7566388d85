#include "timer/timer.h"

#include "error/report.h"
#include "platform/clock.h"

ORCHID_REPORT_MODULE("timer/timer");

Timer timer;

Timer::Timer()
    : fps(0), ticks(0), lastTicks(0), elapsed(0), updateCount(0), frameCount(0), frequency(0),
      startCounter(0), counter(0), ticksPerCount(0.0), initialized(0)
{
}

int Timer::CheckInitialized()
{
    if (!initialized) {
        REPORT(ERR_TIMER, "Timer must be initialized.\n");
        return 0;
    }
    return 1;
}

int Timer::Init()
{
    if (initialized) {
        REPORT(ERR_TIMER, "Timer already initialized.\n");
        return 0;
    }
    if (!platform::QueryPerformanceFrequency(&frequency) || frequency <= 0) {
        REPORT(ERR_TIMER, "No hardware timer found. (very rare error)\n");
        return 0;
    }
    ticksPerCount = 1.0 / (static_cast<double>(frequency) * 0.01);
    platform::QueryPerformanceCounter(&startCounter);
    initialized = 1;
    return 1;
}

void Timer::ReadTicks()
{
    if (!CheckInitialized()) return;
    platform::QueryPerformanceCounter(&counter);
    ticks = static_cast<int64_t>(static_cast<double>(counter - startCounter) * ticksPerCount);
}

void Timer::Restart()
{
    if (!CheckInitialized()) return;
    platform::QueryPerformanceCounter(&startCounter);
    platform::QueryPerformanceCounter(&counter);
    ticks = static_cast<int64_t>(static_cast<double>(counter - startCounter) * ticksPerCount);
    lastTicks = ticks;
}

void Timer::RunFrame(TimerCallback update, TimerCallback render)
{
    if (!CheckInitialized()) return;
    // Busy wait for a new hundredth; the clock decides how to pass the time.
    while (ticks == lastTicks) {
        platform::SpinWait();
        ReadTicks();
    }
    elapsed = ticks - lastTicks;
    for (int64_t i = 0; i < elapsed; ++i) {
        if (update != nullptr) update();
        ++updateCount;
    }
    lastTicks = ticks;
    if (render != nullptr) render();
    ++frameCount;
}

void Timer::ComputeFps()
{
    if (!CheckInitialized()) return;
    if (updateCount >= 100) {
        fps = static_cast<int32_t>((frameCount * 100) / updateCount);
        updateCount = 0;
        frameCount = 0;
    }
}
