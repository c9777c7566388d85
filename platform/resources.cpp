#include "platform/resources.h"

#include <cstring>

namespace platform {
namespace {

// A handful of test blocks at most; a fixed table keeps lookups free of
// allocation.
constexpr int kMaxRegistered = 64;
struct Registered {
    int id;
    const uint8_t* data;
    uint32_t size;
    bool used;
};
Registered registered[kMaxRegistered];

ResourceBlock Block(const EmbeddedResource& r)
{
    return {r.begin, static_cast<uint32_t>(r.end - r.begin)};
}

}  // namespace

ResourceBlock FindResource(const char* resname)
{
    if (resname == nullptr) return {nullptr, 0};
    if (IsIntResource(resname)) {
        int id = static_cast<int>(reinterpret_cast<uintptr_t>(resname));
        for (const Registered& r : registered) {
            if (r.used && r.id == id) return {r.data, r.size};
        }
        for (int i = 0; i < kEmbeddedResourceCount; ++i) {
            if (kEmbeddedResources[i].id == id) return Block(kEmbeddedResources[i]);
        }
        return {nullptr, 0};
    }
    for (int i = 0; i < kEmbeddedResourceCount; ++i) {
        const char* name = kEmbeddedResources[i].name;
        if (name != nullptr && std::strcmp(name, resname) == 0) {
            return Block(kEmbeddedResources[i]);
        }
    }
    return {nullptr, 0};
}

void RegisterResource(int id, const void* data, uint32_t size)
{
    Registered* freeSlot = nullptr;
    for (Registered& r : registered) {
        if (r.used && r.id == id) {
            r.data = static_cast<const uint8_t*>(data);
            r.size = size;
            return;
        }
        if (!r.used && freeSlot == nullptr) freeSlot = &r;
    }
    if (freeSlot != nullptr) *freeSlot = {id, static_cast<const uint8_t*>(data), size, true};
}

void UnregisterResource(int id)
{
    for (Registered& r : registered) {
        if (r.used && r.id == id) r = {};
    }
}

void ClearRegisteredResources()
{
    for (Registered& r : registered) r = {};
}

}  // namespace platform
