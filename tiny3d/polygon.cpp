#include "tiny3d/polygon.h"

#include <cstdint>

#include "error/memory.h"
#include "error/report.h"

ORCHID_REPORT_MODULE("tiny3d/polygon");

T3D_Polygon::T3D_Polygon()
    : vertices(nullptr), texture(nullptr), mask(nullptr), count(0), initialized(0), type(0), allocated(0)
{
}

T3D_Polygon::~T3D_Polygon()
{
    if (initialized) Release();
}

int T3D_Polygon::Init(int newCount, int newType)
{
    if (initialized) {
        REPORT_AT(48, ERR_TINY3D, "T3D_Polygon class already initialized.\n");
        return 0;
    }
    count = newCount;
    type = newType;
    if (newType != T3D_REFERENCE && newType != T3D_OWNED) {
        REPORT_AT(96, ERR_TINY3D, "T3D_Polygon class given unkown type.\n");
        return 0;
    }

    // A negative count, or one whose array size does not fit an int, cannot
    // be allocated and is reported like any failed allocation.
    int64_t bytes = static_cast<int64_t>(newCount) * static_cast<int64_t>(sizeof(T3D_Vertex*));
    if (newCount >= 0 && bytes <= INT32_MAX) {
        vertices = static_cast<T3D_Vertex**>(orchid::MemAlloc(static_cast<std::size_t>(bytes)));
    }
    if (vertices == nullptr) {
        int size = bytes > INT32_MAX ? INT32_MAX : static_cast<int>(bytes);
        REPORT_AT(newType == T3D_REFERENCE ? 64 : 75, ERR_OUT_OF_MEMORY, "T3D_Vertex **vertices\n", size);
        return 0;
    }
    allocated = newCount;

    if (newType == T3D_OWNED) {
        // A failure part way undoes what was built, so that nothing is
        // stranded while the polygon reads as uninitialised.
        for (int i = 0; i < newCount; ++i) {
            vertices[i] = orchid::MemNew<T3D_Vertex>();
            if (vertices[i] == nullptr) {
                UndoInit();
                REPORT_AT(86, ERR_OUT_OF_MEMORY, "T3D_Vertex *vertices[i]\n", static_cast<int>(sizeof(T3D_Vertex)));
                return 0;
            }
            int ok = 0;
            try {
                ok = vertices[i]->Init(T3D_OWNED);
            } catch (const ErrorException&) {
                UndoInit();
                throw;
            }
            if (!ok) {
                UndoInit();
                return 0;
            }
        }
    }
    initialized = 1;
    return 1;
}

void T3D_Polygon::UndoInit()
{
    for (int i = 0; i < allocated; ++i) {
        orchid::MemDelete(vertices[i]);
        vertices[i] = nullptr;
    }
    orchid::MemFree(vertices);
    vertices = nullptr;
    allocated = 0;
}

void T3D_Polygon::Free()
{
    if (!initialized) {
        RECORD_AT(121, ERR_TINY3D, "T3D_Polygon class not initialized.\n");
        return;
    }
    if (type == T3D_REFERENCE) {
        if (vertices != nullptr) {
            orchid::MemFree(vertices);
            vertices = nullptr;
        } else {
            RECORD_AT(135, ERR_TINY3D, "T3D_Polygon::T3D_Vertex **vertices was null.\n");
        }
    } else if (type == T3D_OWNED) {
        // Without the array there are no entries to visit.
        if (vertices != nullptr) {
            for (int i = 0; i < allocated; ++i) {
                if (vertices[i] != nullptr) {
                    vertices[i]->Free();
                    orchid::MemDelete(vertices[i]);
                    vertices[i] = nullptr;
                } else {
                    RECORD_AT(148, ERR_TINY3D, "T3D_Polygon::T3D_Vertex *vertices[i] was null.\n");
                }
            }
            orchid::MemFree(vertices);
            vertices = nullptr;
        } else {
            RECORD_AT(159, ERR_TINY3D, "T3D_Polygon::T3D_Vertex **vertices was null.\n");
        }
    } else {
        RECORD_AT(166, ERR_TINY3D, "T3D_Polygon class not initialized.\n");
    }
    allocated = 0;
    initialized = 0;
}

void T3D_Polygon::Release()
{
    if (!initialized) return;
    if (type == T3D_OWNED && vertices != nullptr) {
        for (int i = 0; i < allocated; ++i) {
            if (vertices[i] == nullptr) continue;
            vertices[i]->Free();
            orchid::MemDelete(vertices[i]);
            vertices[i] = nullptr;
        }
    }
    if (type == T3D_REFERENCE || type == T3D_OWNED) {
        orchid::MemFree(vertices);
        vertices = nullptr;
    }
    allocated = 0;
    initialized = 0;
}
