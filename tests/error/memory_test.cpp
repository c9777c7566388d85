// The allocator's contract: every block, small or large, comes back zeroed,
// 16-byte aligned and usable to its last byte, also when it reuses memory
// an earlier block held; and the failing allocator counts every block.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>

#include "error/memory.h"

namespace {

const std::size_t kSizes[] = {0, 1, 17, 4096, (std::size_t{1} << 20) - 1, std::size_t{1} << 20, 640 * 480 * 4,
                              1920 * 480 * 4 + 3};

TEST(Memory, BlocksAreZeroedAlignedAndUsableToTheEnd)
{
    for (int round = 0; round < 2; ++round) {
        for (std::size_t bytes : kSizes) {
            SCOPED_TRACE(bytes);
            auto* block = static_cast<unsigned char*>(orchid::MemAlloc(bytes));
            ASSERT_NE(block, nullptr);
            EXPECT_EQ(reinterpret_cast<std::uintptr_t>(block) % 16, 0u);
            EXPECT_TRUE(std::all_of(block, block + bytes, [](unsigned char b) { return b == 0; }));
            // Dirty it: the second round must find zeros again.
            std::memset(block, 0xA5, bytes);
            orchid::MemFree(block);
        }
    }
    orchid::MemFree(nullptr);
}

TEST(Memory, FailAtCountsLargeAndSmallBlocksAlike)
{
    orchid::alloc_test::FailAt(2);
    void* first = orchid::MemAlloc(std::size_t{4} << 20);
    void* second = orchid::MemAlloc(16);
    void* third = orchid::MemAlloc(std::size_t{4} << 20);
    EXPECT_NE(first, nullptr);
    EXPECT_EQ(second, nullptr);
    EXPECT_NE(third, nullptr);
    EXPECT_EQ(orchid::alloc_test::Count(), 3);

    orchid::alloc_test::FailAt(1, true);
    EXPECT_EQ(orchid::MemAlloc(16), nullptr);
    EXPECT_EQ(orchid::MemAlloc(std::size_t{4} << 20), nullptr);
    orchid::alloc_test::FailAt(0);
    orchid::MemFree(first);
    orchid::MemFree(third);
}

TEST(Memory, ARequestNoMachineCanMeetFails)
{
    EXPECT_EQ(orchid::MemAlloc(SIZE_MAX), nullptr);
    EXPECT_EQ(orchid::MemAlloc(SIZE_MAX - 8), nullptr);
}

}  // namespace
