#include "error/memory.h"

#include <cstdint>
#include <cstdlib>
#include <new>

#include "os/pages.h"

namespace orchid {
namespace {
long allocCount = 0;
long failAt = 0;
bool failSticky = false;

// Every block carries a header just in front of it, telling how it was
// obtained: from calloc (no mapping), or as pages of its own. Its
// alignment keeps it 16 bytes long where pointers have 4 (WebAssembly).
struct alignas(16) Header {
    void* mapping;
    std::size_t mappingBytes;
};
constexpr std::size_t kHeader = sizeof(Header);
static_assert(kHeader == 16, "blocks stay 16-byte aligned behind the header");

// Large blocks (the pictures, the frame, the surfaces) get pages of their
// own from the system (os/pages.h), aligned to os::HugePage() (2 MiB) and
// offered for huge pages. With 4 KiB pages a picture costs a page fault every 4 KiB when
// it is first written, and a frame that walks a dozen of them misses the TLB
// all the time. The block starts a few cache lines into its first huge page,
// its header in front of it in the same page. The number of lines differs
// from block to block: blocks that all started at the same offset in their
// pages would meet in the same cache sets wherever an operation walks two
// or three of them side by side. The offsets step by 64 bytes, the cache
// line of x86-64 and of most ARM64 cores; where lines are longer (128
// bytes) neighbouring offsets share one, and the blocks still spread.
constexpr std::size_t kMapFrom = std::size_t{1} << 20;
constexpr std::size_t kLine = 64;
constexpr std::size_t kLeadColours = 64;
std::size_t mappedCount = 0;

// AddressSanitizer only watches the edges of blocks it handed out itself,
// so under it every block comes from calloc.
#if defined(__SANITIZE_ADDRESS__)
constexpr bool kMapLargeBlocks = false;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr bool kMapLargeBlocks = false;
#else
constexpr bool kMapLargeBlocks = true;
#endif
#else
constexpr bool kMapLargeBlocks = true;
#endif

std::size_t RoundUp(std::size_t n, std::size_t to) { return (n + to - 1) / to * to; }

void* MapLarge(std::size_t bytes)
{
    if (bytes > SIZE_MAX / 2) return nullptr;
    // Consecutive blocks 17 lines apart, modulo 64 lines: 64 different
    // offsets within 4 KiB.
    const std::size_t lead = kLine * (1 + (mappedCount * 17) % kLeadColours);
    const std::size_t span = RoundUp(bytes + lead, os::HugePage());
    auto* mapping = static_cast<unsigned char*>(os::AllocateHugePages(span));
    if (mapping == nullptr) return nullptr;
    ++mappedCount;
    new (mapping + lead - kHeader) Header{mapping, span};
    return mapping + lead;
}

}  // namespace

void* MemAlloc(std::size_t bytes)
{
    ++allocCount;
    if (failAt != 0 && (allocCount == failAt || (failSticky && allocCount > failAt))) {
        return nullptr;
    }
    if (kMapLargeBlocks && bytes >= kMapFrom) {
        if (void* block = MapLarge(bytes)) return block;
    }
    if (bytes > SIZE_MAX - kHeader) return nullptr;
    auto* raw = static_cast<unsigned char*>(std::calloc(bytes + kHeader, 1));
    if (raw == nullptr) return nullptr;
    new (raw) Header{nullptr, 0};
    return raw + kHeader;
}

void MemFree(void* block)
{
    if (block == nullptr) return;
    auto* header = reinterpret_cast<Header*>(static_cast<unsigned char*>(block) - kHeader);
    if (header->mapping != nullptr) {
        os::FreeHugePages(header->mapping, header->mappingBytes);
    } else {
        std::free(header);
    }
}

namespace alloc_test {
void FailAt(long n, bool sticky)
{
    allocCount = 0;
    failAt = n;
    failSticky = sticky;
}

long Count() { return allocCount; }
}  // namespace alloc_test

}  // namespace orchid
