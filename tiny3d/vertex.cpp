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

// Both vertex records live the same way; they differ only in the coordinate
// record they own and in the texts and lines of their reports.
namespace {

struct VertexReports {
    int alreadyLine;
    const char* already;
    int outOfMemoryLine;
    const char* coordinateVariable;
    int unknownLine;
    const char* unknown;
    int notInitializedLine;
    const char* notInitialized;
    int missingLine;
    const char* missing;
};

constexpr VertexReports kVertexReports = {
    44,  "T3D_Vertex class already initialized.\n",
    59,  "T3D_Coordinate *c\n",
    67,  "T3D_Vertex class given unknown type.\n",
    87,  "T3D_Vertex class not initialized.\n",
    103, "T3D_Vertex::T3D_Coordinate *c was null.\n",
};

constexpr VertexReports kVertexFixedReports = {
    190, "T3D_VertexFixed class already initialized.\n",
    205, "T3D_CoordinateFixed *c\n",
    213, "T3D_VertexFixed class given unknown type.\n",
    233, "T3D_VertexFixed class not initialized.\n",
    249, "T3D_VertexFixed::T3D_Coordinate *c was null.\n",
};

template <class Coordinate>
int InitVertex(Coordinate*& c, int32_t& type, int newType, const VertexReports& r)
{
    if (type != 0) {
        REPORT_AT(r.alreadyLine, ERR_TINY3D, r.already);
        return 0;
    }
    type = newType;
    if (newType == T3D_REFERENCE) return 1;
    if (newType == T3D_OWNED) {
        c = orchid::MemNew<Coordinate>();
        if (c == nullptr) {
            REPORT_AT(r.outOfMemoryLine, ERR_OUT_OF_MEMORY, r.coordinateVariable,
                      static_cast<int>(sizeof(Coordinate)));
            return 0;
        }
        return 1;
    }
    REPORT_AT(r.unknownLine, ERR_TINY3D, r.unknown);
    return 0;
}

template <class Coordinate>
void FreeVertex(Coordinate*& c, int32_t& type, const VertexReports& r)
{
    if (type == 0) {
        RECORD_AT(r.notInitializedLine, ERR_TINY3D, r.notInitialized);
        return;
    }
    if (type == T3D_OWNED) {
        if (c != nullptr) {
            orchid::MemDelete(c);
            c = nullptr;
        } else {
            RECORD_AT(r.missingLine, ERR_TINY3D, r.missing);
        }
    }
    type = 0;
}

template <class Coordinate>
void ReleaseVertex(Coordinate*& c, int32_t& type)
{
    if (type == 0) return;
    if (type == T3D_OWNED && c != nullptr) {
        orchid::MemDelete(c);
        c = nullptr;
    }
    type = 0;
}

}  // namespace

T3D_Vertex::T3D_Vertex() : c(nullptr), tx(0), ty(0), type(0) {}

T3D_Vertex::~T3D_Vertex()
{
    if (type != 0) Release();
}

int T3D_Vertex::Init(int newType) { return InitVertex(c, type, newType, kVertexReports); }
void T3D_Vertex::Free() { FreeVertex(c, type, kVertexReports); }
void T3D_Vertex::Release() { ReleaseVertex(c, type); }

T3D_VertexFixed::T3D_VertexFixed() : c(nullptr), tx(0), ty(0), type(0) {}

T3D_VertexFixed::~T3D_VertexFixed()
{
    if (type != 0) Release();
}

int T3D_VertexFixed::Init(int newType) { return InitVertex(c, type, newType, kVertexFixedReports); }
void T3D_VertexFixed::Free() { FreeVertex(c, type, kVertexFixedReports); }
void T3D_VertexFixed::Release() { ReleaseVertex(c, type); }
