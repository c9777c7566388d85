// The textured polygon rasteriser: scan-converts a closed outline into the
// effects target in one of the six drawing modes, stretching the texture by
// affine interpolation along the edges (16.16 fixed point) and across rows.
#pragma once

#include <cstddef>
#include <cstdint>

#include "effects/pixel_ops.h"
#include "tiny3d/polygon.h"
#include "tiny3d/vertex.h"

class Pixmap;

// Conversion of a double to a 32-bit int, truncating toward zero. Values
// beyond the int range saturate and NaN gives 0, so that no input is
// undefined.
int32_t TruncToInt(double value);

class PolygonRender {
public:
    static constexpr int kVertexCount = 256;

    PolygonRender();
    ~PolygonRender();
    PolygonRender(const PolygonRender&) = delete;
    PolygonRender& operator=(const PolygonRender&) = delete;

    // Banks of target->height rows, the fixed vertices and the shared
    // polygon p. 1 on success, 0 after a failure report.
    int Init(Pixmap* target);
    void Free();
    void Release();

    // Draws the first `count` vertices of the polygon into the effects
    // target with its texture (and mask in modes 2, 3, 5). A polygon of more
    // than 255 vertices, or more than it holds, is refused; rows of a target
    // taller than the banks are not drawn.
    void DrawPolygon(int mode, T3D_Polygon* polygon);

    int32_t initialized;

    // Edge tables, one entry per row, 16.16.
    int32_t* leftbank;
    int32_t* lefttxbank;
    int32_t* lefttybank;
    int32_t* rightbank;
    int32_t* righttxbank;
    int32_t* righttybank;
    int32_t bankRows;
    // The outline in fixed point plus the closing copy of its first vertex.
    T3D_VertexFixed* v;
    // The polygon that scenes fill in and draw.
    T3D_Polygon* p;

private:
    // Teardown pieces. `orderly` runs the records' own Free (which reports
    // what is missing); otherwise their silent Release, used to undo a
    // failed Init.
    void ReleasePolygon(bool orderly);
    void ReleaseVertices(bool orderly);
    void ReleaseParts(bool orderly);

    // The steps across a row, by the texture ranges and the width they were
    // divided by. A width of 0 matches no row.
    struct RowSteps {
        int64_t dx = 0;
        int64_t txRange = 0, tyRange = 0;
        int32_t txstep = 0, tystep = 0;
    };
    // One row of a polygon, ready to fill: n pixels from d in the pixel
    // rule, walking the texture. The target, the texture and the mask are
    // the polygon's; the steps are those of the last row laid out.
    struct RowSpan {
        uint32_t* pixels;
        int64_t width, rows;
        uint32_t* d;
        std::size_t n;
        int rule;
        orchid::pixel::TexelWalk walk;
        RowSteps steps;
    };
    // The six span fillers, one per mode: each lays out row y of the
    // polygon in its mode, and returns false when the row draws nothing.
    bool SpanCopy(int y, RowSpan& row);
    bool SpanBlend(int y, RowSpan& row);
    bool SpanMaskCopy(int y, RowSpan& row);
    bool SpanMaskBlend(int y, RowSpan& row);
    bool SpanAdd(int y, RowSpan& row);
    bool SpanMaskAdd(int y, RowSpan& row);
    // The shared body of the six: `rule` is the pixel rule, `inset` 1 for
    // the masked copy's one-pixel-shorter span.
    bool Span(int y, int rule, int maskTest, int inset, RowSpan& row);
};

extern PolygonRender polygonRender;
