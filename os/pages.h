// Memory straight from the operating system's pages, for the allocator's
// large blocks (error/memory.cpp). Below the error log: it reports nothing,
// a failure is a null result.
#pragma once

#include <cstddef>

namespace os {

// The size and alignment of a huge page.
constexpr std::size_t kHugePage = std::size_t{2} << 20;

// `bytes` bytes (a multiple of kHugePage) of fresh zero-filled pages,
// starting on a kHugePage boundary and offered to the system for huge pages
// (only advice: without them the pages work all the same). Null when the
// system has no such memory to give.
void* AllocateHugePages(std::size_t bytes);
// Gives back what AllocateHugePages returned, with the same size.
void FreeHugePages(void* start, std::size_t bytes);

}  // namespace os
