// Memory straight from the operating system's pages, for the allocator's
// large blocks (error/memory.cpp). Below the error log: it reports nothing,
// a failure is a null result.
#pragma once

#include <cstddef>

namespace os {

// The 2 MiB huge page of x86-64 and of ARM64 with 4 KiB pages. ARM64
// kernels with 16 or 64 KiB pages map 2 MiB as one contiguous run of page
// table entries (their huge pages proper, 32 MiB and 512 MiB, are larger
// than any block the allocator asks for).
constexpr std::size_t kTwoMebibytes = std::size_t{2} << 20;

// The size and alignment of the blocks below: 2 MiB, or the system's page
// where that is larger, so always a whole number of the system's pages,
// whatever size those have (found at run time, never assumed).
std::size_t HugePage();

// `bytes` bytes (a multiple of HugePage()) of fresh zero-filled pages,
// starting on a HugePage() boundary and offered to the system for huge pages
// (only advice: without them the pages work all the same). Null when the
// system has no such memory to give.
void* AllocateHugePages(std::size_t bytes);
// Gives back what AllocateHugePages returned, with the same size.
void FreeHugePages(void* start, std::size_t bytes);

}  // namespace os
