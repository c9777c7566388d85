// The system's monotonic clock, as a counter and its frequency (counts per
// second), for platform/clock's steady clock.
#pragma once

#include <cstdint>

namespace os {

// False when the system has no such clock.
bool MonotonicFrequency(int64_t* frequency);
bool MonotonicCounter(int64_t* counter);

}  // namespace os
