// Every allocation of the program goes through here: memory comes back
// zero-filled, or null on failure, and tests can make the N-th allocation
// fail so that each subsystem's out-of-memory report can be exercised.
#pragma once

#include <cstddef>
#include <new>
#include <utility>

namespace orchid {

// Zero-filled block of `bytes` bytes, or null when memory runs out (or a test
// asked this call to fail). A request of 0 bytes still yields a unique block.
void* MemAlloc(std::size_t bytes);
void MemFree(void* block);

// An object built in MemAlloc'd memory; null when the allocation fails.
template <class T, class... Args>
T* MemNew(Args&&... args)
{
    void* block = MemAlloc(sizeof(T));
    if (block == nullptr) return nullptr;
    return new (block) T(std::forward<Args>(args)...);
}

template <class T>
void MemDelete(T* object)
{
    if (object == nullptr) return;
    object->~T();
    MemFree(object);
}

// Test control of the allocator.
namespace alloc_test {
// From now on, the n-th allocation (1 = the next one) fails, and so does
// every later one while `sticky` is set. n = 0 turns failures off.
void FailAt(long n, bool sticky = false);
// Allocations made since the last FailAt (or program start).
long Count();
}  // namespace alloc_test

}  // namespace orchid
