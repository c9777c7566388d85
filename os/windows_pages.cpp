// Memory pages on Windows.
#include <windows.h>

#include <cstdint>

#include "os/pages.h"

namespace os {

// Windows gives address space in 64 KiB steps and frees a reservation only
// whole, so the aligned start is found in a reservation one huge page too
// large, which is then given back and taken again at that start. Another
// thread may take the place in between; a few tries settle it. (Large pages
// need a privilege ordinary users lack; the pages are the normal ones.)
// Reservations start on 64 KiB boundaries, of which 2 MiB is a whole
// number.
std::size_t HugePage() { return kTwoMebibytes; }

void* AllocateHugePages(std::size_t bytes)
{
    const std::size_t kHugePage = HugePage();
    if (bytes == 0 || bytes % kHugePage != 0 || bytes > SIZE_MAX - kHugePage) return nullptr;
    for (int attempt = 0; attempt < 8; ++attempt) {
        void* probe = VirtualAlloc(nullptr, bytes + kHugePage, MEM_RESERVE, PAGE_NOACCESS);
        if (probe == nullptr) return nullptr;
        const auto base = reinterpret_cast<std::uintptr_t>(probe);
        const std::uintptr_t start = (base + kHugePage - 1) / kHugePage * kHugePage;
        VirtualFree(probe, 0, MEM_RELEASE);
        void* pages =
            VirtualAlloc(reinterpret_cast<void*>(start), bytes, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE);
        if (pages != nullptr) return pages;
    }
    return nullptr;
}

void FreeHugePages(void* start, std::size_t)
{
    if (start != nullptr) VirtualFree(start, 0, MEM_RELEASE);
}

}  // namespace os
