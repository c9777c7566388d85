// Large blocks in the browser: WebAssembly has one linear memory and no page
// mappings, so the blocks come from the heap, aligned and zero-filled as
// fresh pages are. There are no huge pages to offer them for.
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "os/pages.h"

namespace os {

std::size_t HugePage() { return kTwoMebibytes; }

void* AllocateHugePages(std::size_t bytes)
{
    const std::size_t kHugePage = HugePage();
    if (bytes == 0 || bytes % kHugePage != 0 || bytes > SIZE_MAX - kHugePage) return nullptr;
    void* start = std::aligned_alloc(kHugePage, bytes);
    if (start != nullptr) std::memset(start, 0, bytes);
    return start;
}

void FreeHugePages(void* start, std::size_t) { std::free(start); }

}  // namespace os
