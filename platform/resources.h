// Read-only data blocks built into the executable, found by resource id
// (a small integer, as MAKEINTRESOURCE passes it) or by name. The build
// embeds the files listed in assets/manifest.txt; tests may register blocks
// of their own.
#pragma once

#include <cstdint>

namespace platform {

struct ResourceBlock {
    const uint8_t* data;
    uint32_t size;
};

// The identifier form of a resource name: the id in the low word of a
// pointer-sized value.
inline const char* MakeIntResource(int id)
{
    return reinterpret_cast<const char*>(static_cast<uintptr_t>(static_cast<uint16_t>(id)));
}
inline bool IsIntResource(const char* resname)
{
    return (reinterpret_cast<uintptr_t>(resname) >> 16) == 0;
}

// Looks a resource up: registered blocks first, then the embedded table.
// A missing one yields {null, 0}.
ResourceBlock FindResource(const char* resname);

// Registers (or replaces) a block under an id; the caller keeps the bytes
// alive while registered. Used by tests.
void RegisterResource(int id, const void* data, uint32_t size);
void UnregisterResource(int id);
void ClearRegisteredResources();

// The table the build generates from the asset manifest.
struct EmbeddedResource {
    int id;
    const char* name;
    const uint8_t* begin;
    const uint8_t* end;
};
extern const EmbeddedResource* const kEmbeddedResources;
extern const int kEmbeddedResourceCount;

}  // namespace platform
