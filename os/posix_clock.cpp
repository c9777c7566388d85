// The monotonic clock where the C++ library's steady clock is the system's
// (Linux, the browser).
#include <chrono>

#include "os/clock.h"

namespace os {

bool MonotonicFrequency(int64_t* frequency)
{
    using Period = std::chrono::steady_clock::period;
    *frequency = static_cast<int64_t>(Period::den / Period::num);
    return *frequency > 0;
}

bool MonotonicCounter(int64_t* counter)
{
    *counter = static_cast<int64_t>(std::chrono::steady_clock::now().time_since_epoch().count());
    return true;
}

}  // namespace os
