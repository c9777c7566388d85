#include "tiny3d/vertex.h"

#include "error/memory.h"
#include "error/report.h"

ORCHID_REPORT_MODULE("tiny3d/vertex");

T3D_Coordinate::T3D_Coordinate() : x(0), y(0), z(0), sx(0), sy(0), sz(0), reserved(0) {}

void T3D_Coordinate::SetScreen(double screenX, double screenY, double screenZ)
{
    sx = screenX;
    sy = screenY;
    sz = screenZ;
}

T3D_CoordinateFixed::T3D_CoordinateFixed() : x(0), y(0), z(0), sx(0), sy(0), sz(0), reserved(0) {}

// ---------------------------------------------------------------- T3D_Vertex

T3D_Vertex::T3D_Vertex() : c(nullptr), tx(0), ty(0), type(0) {}

T3D_Vertex::~T3D_Vertex()
{
    if (type != 0) Release();
}

int T3D_Vertex::Init(int newType)
{
    if (type != 0) {
        REPORT_AT(44, ERR_TINY3D, "T3D_Vertex class already initialized.\n");
        return 0;
    }
    type = newType;
    if (newType == T3D_REFERENCE) return 1;
    if (newType == T3D_OWNED) {
        c = orchid::MemNew<T3D_Coordinate>();
        if (c == nullptr) {
            REPORT_AT(59, ERR_OUT_OF_MEMORY, "T3D_Coordinate *c\n", static_cast<int>(sizeof(T3D_Coordinate)));
            return 0;
        }
        return 1;
    }
    REPORT_AT(67, ERR_TINY3D, "T3D_Vertex class given unknown type.\n");
    return 0;
}

void T3D_Vertex::Free()
{
    if (type == 0) {
        RECORD_AT(87, ERR_TINY3D, "T3D_Vertex class not initialized.\n");
        return;
    }
    if (type == T3D_OWNED) {
        if (c != nullptr) {
            orchid::MemDelete(c);
            c = nullptr;
        } else {
            RECORD_AT(103, ERR_TINY3D, "T3D_Vertex::T3D_Coordinate *c was null.\n");
        }
    }
    type = 0;
}

void T3D_Vertex::Release()
{
    if (type == 0) return;
    if (type == T3D_OWNED && c != nullptr) {
        orchid::MemDelete(c);
        c = nullptr;
    }
    type = 0;
}

// ----------------------------------------------------------- T3D_VertexFixed

T3D_VertexFixed::T3D_VertexFixed() : c(nullptr), tx(0), ty(0), type(0) {}

T3D_VertexFixed::~T3D_VertexFixed()
{
    if (type != 0) Release();
}

int T3D_VertexFixed::Init(int newType)
{
    if (type != 0) {
        REPORT_AT(190, ERR_TINY3D, "T3D_VertexFixed class already initialized.\n");
        return 0;
    }
    type = newType;
    if (newType == T3D_REFERENCE) return 1;
    if (newType == T3D_OWNED) {
        c = orchid::MemNew<T3D_CoordinateFixed>();
        if (c == nullptr) {
            REPORT_AT(205, ERR_OUT_OF_MEMORY, "T3D_CoordinateFixed *c\n",
                      static_cast<int>(sizeof(T3D_CoordinateFixed)));
            return 0;
        }
        return 1;
    }
    REPORT_AT(213, ERR_TINY3D, "T3D_VertexFixed class given unknown type.\n");
    return 0;
}

void T3D_VertexFixed::Free()
{
    if (type == 0) {
        RECORD_AT(233, ERR_TINY3D, "T3D_VertexFixed class not initialized.\n");
        return;
    }
    if (type == T3D_OWNED) {
        if (c != nullptr) {
            orchid::MemDelete(c);
            c = nullptr;
        } else {
            RECORD_AT(249, ERR_TINY3D, "T3D_VertexFixed::T3D_Coordinate *c was null.\n");
        }
    }
    type = 0;
}

void T3D_VertexFixed::Release()
{
    if (type == 0) return;
    if (type == T3D_OWNED && c != nullptr) {
        orchid::MemDelete(c);
        c = nullptr;
    }
    type = 0;
}
