// Memory pages: aligned, zero-filled (also where dirtied pages were given
// back before), usable to the last byte; requests that are no whole number
// of huge pages, or that no machine can meet, get nothing.
#include <gtest/gtest.h>
#if !defined(_WIN32)
#include <unistd.h>
#endif

#include <algorithm>
#include <cstdint>
#include <cstring>

#include "os/pages.h"

namespace {


TEST(Pages, HugePagesComeAlignedZeroedAndUsableToTheEnd)
{
    const std::size_t kHugePage = os::HugePage();
#if !defined(_WIN32)
    // A whole number of the system's pages, whatever their size.
    EXPECT_EQ(kHugePage % static_cast<std::size_t>(sysconf(_SC_PAGESIZE)), 0u);
#endif
    for (int round = 0; round < 2; ++round) {
        for (std::size_t bytes : {kHugePage, 3 * kHugePage}) {
            auto* pages = static_cast<unsigned char*>(os::AllocateHugePages(bytes));
            ASSERT_NE(pages, nullptr);
            EXPECT_EQ(reinterpret_cast<std::uintptr_t>(pages) % kHugePage, 0u);
            EXPECT_TRUE(std::all_of(pages, pages + bytes, [](unsigned char b) { return b == 0; }));
            std::memset(pages, 0x5A, bytes);
            os::FreeHugePages(pages, bytes);
        }
    }
    os::FreeHugePages(nullptr, kHugePage);
}

TEST(Pages, RequestsThatAreNoWholeNumberOfHugePagesOrTooLargeGetNothing)
{
    const std::size_t kHugePage = os::HugePage();
    EXPECT_EQ(os::AllocateHugePages(0), nullptr);
    EXPECT_EQ(os::AllocateHugePages(kHugePage + 4096), nullptr);
    EXPECT_EQ(os::AllocateHugePages(SIZE_MAX / kHugePage * kHugePage), nullptr);
    EXPECT_EQ(os::AllocateHugePages(SIZE_MAX / 2 / kHugePage * kHugePage), nullptr);
}

}  // namespace
