// The monotonic clock on Windows: the performance counter.
#include <windows.h>

#include "os/clock.h"

namespace os {

bool MonotonicFrequency(int64_t* frequency)
{
    LARGE_INTEGER value;
    *frequency = ::QueryPerformanceFrequency(&value) != 0 ? value.QuadPart : 0;
    return *frequency > 0;
}

bool MonotonicCounter(int64_t* counter)
{
    LARGE_INTEGER value;
    if (::QueryPerformanceCounter(&value) == 0) return false;
    *counter = value.QuadPart;
    return true;
}

}  // namespace os
