#include <gtest/gtest.h>

#include "platform/clock.h"

namespace {

TEST(VirtualClock, SpinEndsAtTheNextHundredth)
{
    platform::VirtualClock clock;
    clock.Spin();
    EXPECT_EQ(clock.Now(), platform::VirtualClock::kCountsPerHundredth);
    clock.Step(3);  // off the boundary: the next spin lands on it again
    clock.Spin();
    EXPECT_EQ(clock.Now(), 2 * platform::VirtualClock::kCountsPerHundredth);
    EXPECT_EQ(clock.Hundredths(), 2);
}

TEST(SteadyClock, CountsForward)
{
    platform::SteadyClock clock;
    int64_t f = 0, a = 0, b = 0;
    ASSERT_EQ(clock.QueryFrequency(&f), 1);
    EXPECT_GE(f, 1000000);
    clock.QueryCounter(&a);
    clock.QueryCounter(&b);
    EXPECT_GE(b, a);
}

}  // namespace
