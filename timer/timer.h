// The frame timer: waits for each new hundredth of a second on the
// performance counter, runs the update callback once per elapsed hundredth
// and the render callback once per frame, and counts frames per second.
#pragma once

#include <cstdint>

using TimerCallback = int (*)();

class Timer {
public:
    Timer();

    int Init();
    void RunFrame(TimerCallback update, TimerCallback render);
    void ReadTicks();
    void Restart();
    void ComputeFps();

    int32_t fps;
    int64_t ticks;
    int64_t lastTicks;
    int64_t elapsed;
    int64_t updateCount;
    int64_t frameCount;
    int64_t frequency;
    int64_t startCounter;
    int64_t counter;
    double ticksPerCount;
    int32_t initialized;

private:
    int CheckInitialized();
};

extern Timer timer;
