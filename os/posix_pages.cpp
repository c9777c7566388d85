// Memory pages on Linux: anonymous mappings, advised for huge pages.
#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>

#include "os/pages.h"

namespace os {

std::size_t HugePage()
{
    static const std::size_t size = [] {
        const long page = sysconf(_SC_PAGESIZE);
        // Pages are powers of two: 2 MiB is a whole number of any smaller one.
        return page > 0 && static_cast<std::size_t>(page) > kTwoMebibytes ? static_cast<std::size_t>(page)
                                                                          : kTwoMebibytes;
    }();
    return size;
}

void* AllocateHugePages(std::size_t bytes)
{
    const std::size_t kHugePage = HugePage();
    if (bytes == 0 || bytes % kHugePage != 0 || bytes > SIZE_MAX - kHugePage) return nullptr;
    // One huge page more than needed, so that an aligned start lies inside;
    // the rest on either side is given back at once.
    void* raw = mmap(nullptr, bytes + kHugePage, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (raw == MAP_FAILED) return nullptr;
    const auto base = reinterpret_cast<std::uintptr_t>(raw);
    const std::uintptr_t start = (base + kHugePage - 1) / kHugePage * kHugePage;
    if (start > base) munmap(raw, start - base);
    const std::uintptr_t end = base + bytes + kHugePage;
    if (end > start + bytes) munmap(reinterpret_cast<void*>(start + bytes), end - (start + bytes));
    madvise(reinterpret_cast<void*>(start), bytes, MADV_HUGEPAGE);
    return reinterpret_cast<void*>(start);
}

void FreeHugePages(void* start, std::size_t bytes)
{
    if (start != nullptr) munmap(start, bytes);
}

}  // namespace os
