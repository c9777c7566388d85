#include "error/memory.h"

#include <cstdlib>

namespace orchid {
namespace {
long allocCount = 0;
long failAt = 0;
bool failSticky = false;
}  // namespace

void* MemAlloc(std::size_t bytes)
{
    ++allocCount;
    if (failAt != 0 && (allocCount == failAt || (failSticky && allocCount > failAt))) {
        return nullptr;
    }
    return std::calloc(bytes == 0 ? 1 : bytes, 1);
}

void MemFree(void* block) { std::free(block); }

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
