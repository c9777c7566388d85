// Tiny3D's polygon: a closed outline of vertices with the texture (and mask)
// drawn on it.
#pragma once

#include <cstdint>

#include "tiny3d/vertex.h"

class Pixmap;

class T3D_Polygon {
public:
    T3D_Polygon();
    ~T3D_Polygon();
    T3D_Polygon(const T3D_Polygon&) = delete;
    T3D_Polygon& operator=(const T3D_Polygon&) = delete;

    int Init(int count, int type);
    void Free();
    void Release();

    T3D_Vertex** vertices;
    Pixmap* texture;  // 32-bit, not owned
    Pixmap* mask;     // 8-bit, texture-sized, not owned
    int32_t count;    // vertices drawn; callers may lower it after Init
    int32_t initialized;
    int32_t type;
    // Entries of `vertices` made by Init. Free and Release walk all of them,
    // so lowering `count` to draw fewer corners never strands a vertex.
    int32_t allocated;

private:
    // Deletes whatever a failed Init had built.
    void UndoInit();
};
