// Tiny3D's coordinate and vertex records: a position in double precision and
// its 16.16 fixed-point twin, and the vertices that carry them together with
// texture coordinates.
#pragma once

#include <cstdint>

// Type codes shared by vertices and polygons (0 means not initialised).
constexpr int T3D_REFERENCE = 1;  // allocates no parts; the caller points them at its own records
constexpr int T3D_OWNED = 2;      // allocates and owns its parts

struct T3D_Coordinate {
    T3D_Coordinate();
    void SetScreen(double sx, double sy, double sz);

    double x, y, z;     // unused beyond zeroing
    double sx, sy, sz;  // position on the screen in pixels
    int32_t reserved;
};

struct T3D_CoordinateFixed {
    T3D_CoordinateFixed();

    int32_t x, y, z;
    int32_t sx;  // 16.16 fixed point
    int32_t sy;  // whole pixel row
    int32_t sz;
    int32_t reserved;
};

class T3D_Vertex {
public:
    T3D_Vertex();
    ~T3D_Vertex();
    T3D_Vertex(const T3D_Vertex&) = delete;
    T3D_Vertex& operator=(const T3D_Vertex&) = delete;

    int Init(int type);
    void Free();
    void Release();

    T3D_Coordinate* c;
    double tx;  // texture column in texels
    double ty;  // texture row in texels
    int32_t type;
};

class T3D_VertexFixed {
public:
    T3D_VertexFixed();
    ~T3D_VertexFixed();
    T3D_VertexFixed(const T3D_VertexFixed&) = delete;
    T3D_VertexFixed& operator=(const T3D_VertexFixed&) = delete;

    int Init(int type);
    void Free();
    void Release();

    T3D_CoordinateFixed* c;
    int32_t tx;  // 16.16
    int32_t ty;  // 16.16
    int32_t type;
};
