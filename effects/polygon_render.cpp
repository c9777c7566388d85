#include "effects/polygon_render.h"

#include <algorithm>
#include <cmath>
#include <new>

#include "effects/effects.h"
#include "effects/image_checks.h"
#include "effects/pixel_ops.h"
#include "error/memory.h"
#include "error/report.h"
#include "pixmap/pixmap.h"

ORCHID_REPORT_MODULE("effects/polygon_render");

PolygonRender polygonRender;

int32_t TruncToInt(double value)
{
    if (std::isnan(value)) return 0;
    if (value >= 2147483647.0) return INT32_MAX;
    if (value <= -2147483648.0) return INT32_MIN;
    return static_cast<int32_t>(value);
}

namespace {

// 16.16 from a whole number; the shift wraps as the 32-bit format does.
int32_t ToFixed(int32_t whole) { return static_cast<int32_t>(static_cast<uint32_t>(whole) << 16); }

// value + count steps, wrapping like count additions of the step would.
int32_t Advance(int32_t value, int32_t step, int64_t count)
{
    return static_cast<int32_t>(static_cast<uint32_t>(value) +
                                static_cast<uint32_t>(step) * static_cast<uint32_t>(count));
}

struct Bank {
    int32_t* PolygonRender::*field;
    const char* name;      // the out-of-memory report's variable
    const char* missing;   // Free's report when it is gone
    int allocLine;
    int freeLine;
};

const Bank kBanks[6] = {
    {&PolygonRender::leftbank, "int *leftbank\n", "int *leftbank was null.\n", 76, 173},
    {&PolygonRender::lefttxbank, "int *lefttxbank\n", "int *lefttxbank was null.\n", 80, 179},
    {&PolygonRender::lefttybank, "int *lefttybank\n", "int *lefttybank was null.\n", 84, 185},
    {&PolygonRender::rightbank, "int *rightbank\n", "int *rightbank was null.\n", 88, 191},
    {&PolygonRender::righttxbank, "int *righttxbank\n", "int *righttxbank was null.\n", 92, 197},
    {&PolygonRender::righttybank, "int *righttybank\n", "int *righttybank was null.\n", 96, 203},
};

}  // namespace

PolygonRender::PolygonRender()
    : initialized(0), leftbank(nullptr), lefttxbank(nullptr), lefttybank(nullptr), rightbank(nullptr),
      righttxbank(nullptr), righttybank(nullptr), bankRows(0), v(nullptr), p(nullptr)
{
}

PolygonRender::~PolygonRender()
{
    if (initialized) Release();
}

int PolygonRender::Init(Pixmap* target)
{
    if (initialized) {
        REPORT_AT(67, ERR_MISC, "PolygonRender class already initialized.\n");
        return 0;
    }
    // Only the target's height matters; without a target there are no rows.
    const int rows = (target != nullptr && target->height > 0) ? target->height : 0;
    const int bankBytes = static_cast<int>(std::min<int64_t>(int64_t{rows} * 4, INT32_MAX));

    // A failure part way releases what was made, so nothing is stranded
    // while the renderer reads as uninitialised.
    for (const Bank& bank : kBanks) {
        int32_t* table = static_cast<int32_t*>(orchid::MemAlloc(static_cast<std::size_t>(bankBytes)));
        if (table == nullptr) {
            ReleaseParts(false);
            REPORT_AT(bank.allocLine, ERR_OUT_OF_MEMORY, bank.name, bankBytes);
            return 0;
        }
        this->*bank.field = table;
    }
    bankRows = rows;

    v = static_cast<T3D_VertexFixed*>(orchid::MemAlloc(sizeof(T3D_VertexFixed) * kVertexCount));
    if (v == nullptr) {
        ReleaseParts(false);
        REPORT_AT(110, ERR_OUT_OF_MEMORY, "T3D_VertexFixed *v\n", static_cast<int>(sizeof(T3D_VertexFixed) * kVertexCount));
        return 0;
    }
    for (int i = 0; i < kVertexCount; ++i) new (&v[i]) T3D_VertexFixed();
    try {
        for (int i = 0; i < kVertexCount; ++i) {
            if (!v[i].Init(T3D_OWNED)) {
                ReleaseParts(false);
                return 0;
            }
        }
    } catch (const ErrorException&) {
        ReleaseParts(false);
        throw;
    }

    p = orchid::MemNew<T3D_Polygon>();
    if (p == nullptr) {
        ReleaseParts(false);
        REPORT_AT(119, ERR_OUT_OF_MEMORY, "T3D_Polygon *p\n", static_cast<int>(sizeof(T3D_Polygon)));
        return 0;
    }
    int made = 0;
    try {
        made = p->Init(kVertexCount, T3D_OWNED);
    } catch (const ErrorException&) {
        ReleaseParts(false);
        throw;
    }
    if (!made) {
        ReleaseParts(false);
        return 0;
    }
    initialized = 1;
    return 1;
}

void PolygonRender::ReleasePolygon(bool orderly)
{
    if (orderly) p->Free(); else p->Release();
    orchid::MemDelete(p);
    p = nullptr;
}

void PolygonRender::ReleaseVertices(bool orderly)
{
    for (int i = 0; i < kVertexCount; ++i) {
        if (orderly) v[i].Free(); else v[i].Release();
        v[i].~T3D_VertexFixed();
    }
    orchid::MemFree(v);
    v = nullptr;
}

void PolygonRender::ReleaseParts(bool orderly)
{
    if (p != nullptr) ReleasePolygon(orderly);
    if (v != nullptr) ReleaseVertices(orderly);
    for (const Bank& bank : kBanks) {
        orchid::MemFree(this->*bank.field);
        this->*bank.field = nullptr;
    }
    bankRows = 0;
}

void PolygonRender::Free()
{
    if (!initialized) {
        RECORD_AT(140, ERR_MISC, "PolygonRender class not initialized.\n");
        return;
    }
    if (p != nullptr) {
        ReleasePolygon(true);
    } else {
        RECORD_AT(154, ERR_MISC, "T3D_Polygon *p was null.\n");
    }
    if (v != nullptr) {
        ReleaseVertices(true);
    } else {
        RECORD_AT(165, ERR_MISC, "T3D_VertexFixed *v was null.\n");
    }
    for (const Bank& bank : kBanks) {
        if (this->*bank.field != nullptr) {
            orchid::MemFree(this->*bank.field);
            this->*bank.field = nullptr;
        } else {
            RECORD_AT(bank.freeLine, ERR_MISC, bank.missing);
        }
    }
    bankRows = 0;
    initialized = 0;
}

void PolygonRender::Release()
{
    if (!initialized) return;
    ReleaseParts(true);
    initialized = 0;
}

void PolygonRender::DrawPolygon(int mode, T3D_Polygon* polygon)
{
    if (!initialized || polygon == nullptr || polygon->vertices == nullptr) return;
    Pixmap* target = effects.buffer;
    if (!orchid::Holds32(target)) return;
    // The closing copy needs a spare entry of v, and every vertex drawn must
    // exist with its coordinate.
    const int n = polygon->count;
    if (n < 1 || n >= kVertexCount || n > polygon->allocated) return;
    for (int i = 0; i < n; ++i) {
        if (polygon->vertices[i] == nullptr || polygon->vertices[i]->c == nullptr) return;
    }

    // The outline: every vertex in fixed point, closed by a copy of the first.
    for (int i = 0; i < n; ++i) {
        const T3D_Vertex& vertex = *polygon->vertices[i];
        v[i].c->sx = ToFixed(TruncToInt(vertex.c->sx));
        v[i].c->sy = TruncToInt(vertex.c->sy);
        v[i].tx = ToFixed(TruncToInt(vertex.tx));
        v[i].ty = ToFixed(TruncToInt(vertex.ty));
    }
    v[n].c->sx = v[0].c->sx;
    v[n].c->sy = v[0].c->sy;
    v[n].tx = v[0].tx;
    v[n].ty = v[0].ty;

    // Rows beyond the banks (a target taller than the one given to Init)
    // are neither recorded nor drawn.
    const int64_t rows = std::min<int64_t>(target->height, bankRows);

    // The edges: each one fills one side's banks over its rows, from its
    // upper end inclusive to its lower end exclusive; downward edges the right
    // side, upward ones the left.
    int64_t ymin = v[0].c->sy, ymax = v[0].c->sy;
    for (int i = 0; i < n; ++i) {
        const T3D_VertexFixed& a = v[i];
        const T3D_VertexFixed& b = v[i + 1];
        ymin = std::min<int64_t>(ymin, b.c->sy);
        ymax = std::max<int64_t>(ymax, b.c->sy);
        const int64_t dy = int64_t{b.c->sy} - a.c->sy;
        if (dy == 0) continue;
        const double divisor = static_cast<double>(dy);
        const int32_t xstep = TruncToInt((static_cast<double>(b.c->sx) - static_cast<double>(a.c->sx)) / divisor);
        const int32_t txstep = TruncToInt((static_cast<double>(b.tx) - static_cast<double>(a.tx)) / divisor);
        const int32_t tystep = TruncToInt((static_cast<double>(b.ty) - static_cast<double>(a.ty)) / divisor);

        const T3D_VertexFixed& upper = dy > 0 ? a : b;
        const int64_t top = upper.c->sy;
        const int64_t bottom = top + (dy > 0 ? dy : -dy);
        int32_t* xs = dy > 0 ? rightbank : leftbank;
        int32_t* txs = dy > 0 ? righttxbank : lefttxbank;
        int32_t* tys = dy > 0 ? righttybank : lefttybank;
        // Rows above the target are stepped over in one go.
        const int64_t first = std::max<int64_t>(top, 0);
        uint32_t x = static_cast<uint32_t>(Advance(upper.c->sx, xstep, first - top));
        uint32_t tx = static_cast<uint32_t>(Advance(upper.tx, txstep, first - top));
        uint32_t ty = static_cast<uint32_t>(Advance(upper.ty, tystep, first - top));
        for (int64_t y = first; y < std::min(bottom, rows); ++y) {
            xs[y] = static_cast<int32_t>(x);
            txs[y] = static_cast<int32_t>(tx);
            tys[y] = static_cast<int32_t>(ty);
            x += static_cast<uint32_t>(xstep);
            tx += static_cast<uint32_t>(txstep);
            ty += static_cast<uint32_t>(tystep);
        }
    }

    // The spans: each row of the outline is filled between its two banks,
    // from a texture that can be read and, in the masked modes, a mask that
    // covers it.
    if (mode < EFFECT_COPY || mode > EFFECT_MASK_ADD) return;
    Pixmap* texture = polygon->texture;
    Pixmap* mask = polygon->mask;
    const bool masked = mode == EFFECT_MASK_COPY || mode == EFFECT_MASK_BLEND || mode == EFFECT_MASK_ADD;
    if (!orchid::Holds32(texture) || (masked && !orchid::Holds8(mask, orchid::Pixels(texture)))) return;
    // What every row shares is set once; the filler of the mode lays out
    // the rest of each row.
    RowSpan row;
    row.pixels = target->pixInt;
    row.width = target->width;
    row.rows = rows;
    row.walk.texels = texture->pixInt;
    row.walk.mask = masked ? mask->pixChar : nullptr;
    row.walk.maxIndex = static_cast<int32_t>(orchid::Pixels(texture) - 1);
    row.walk.shift = std::clamp<int32_t>(texture->xShift, 0, 31);
    auto layOut = [&](int y) {
        switch (mode) {
        case EFFECT_COPY: return SpanCopy(y, row);
        case EFFECT_BLEND: return SpanBlend(y, row);
        case EFFECT_MASK_COPY: return SpanMaskCopy(y, row);
        case EFFECT_MASK_BLEND: return SpanMaskBlend(y, row);
        case EFFECT_ADD: return SpanAdd(y, row);
        default: return SpanMaskAdd(y, row);
        }
    };
    const auto fill = orchid::pixel::Active().span;
    ymin = std::clamp<int64_t>(ymin, 0, rows);
    ymax = std::clamp<int64_t>(ymax, 0, rows);
    for (int64_t y = ymin; y < ymax; ++y) {
        if (layOut(static_cast<int>(y))) fill(row.rule, row.d, row.n, row.walk);
    }
}

bool PolygonRender::SpanCopy(int y, RowSpan& row)
{
    return Span(y, EFFECT_COPY, orchid::pixel::MASK_ABOVE_128, 0, row);
}

bool PolygonRender::SpanBlend(int y, RowSpan& row)
{
    return Span(y, EFFECT_BLEND, orchid::pixel::MASK_ABOVE_128, 0, row);
}

// The masked copy leaves out the first and the last pixel of each row, and
// its first pixel takes the texel of the row's left end.
bool PolygonRender::SpanMaskCopy(int y, RowSpan& row)
{
    return Span(y, EFFECT_MASK_COPY, orchid::pixel::MASK_ABOVE_128, 1, row);
}

bool PolygonRender::SpanMaskBlend(int y, RowSpan& row)
{
    return Span(y, EFFECT_MASK_BLEND, orchid::pixel::MASK_NONZERO, 0, row);
}

bool PolygonRender::SpanAdd(int y, RowSpan& row)
{
    return Span(y, EFFECT_ADD, orchid::pixel::MASK_ABOVE_128, 0, row);
}

bool PolygonRender::SpanMaskAdd(int y, RowSpan& row)
{
    return Span(y, EFFECT_MASK_ADD, orchid::pixel::MASK_ABOVE_128, 0, row);
}

// The texture and mask in the row were checked by DrawPolygon.
bool PolygonRender::Span(int y, int rule, int maskTest, int inset, RowSpan& row)
{
    if (y < 0 || y >= row.rows) return false;

    int64_t xl = leftbank[y] >> 16, xr = rightbank[y] >> 16;
    int32_t txl = lefttxbank[y], tyl = lefttybank[y];
    int32_t txr = righttxbank[y], tyr = righttybank[y];
    if (xl > xr) {
        std::swap(xl, xr);
        std::swap(txl, txr);
        std::swap(tyl, tyr);
    }
    const int64_t width = row.width;
    if (xr < 0 || xl >= width) return false;
    const int64_t dx = xr - xl;
    if (dx == 0) return false;

    const double span = static_cast<double>(dx);
    const int64_t txDiff = int64_t{txr} - txl, tyDiff = int64_t{tyr} - tyl;
    const double txRange = static_cast<double>(txDiff);
    const double tyRange = static_cast<double>(tyDiff);
    // The rows of an upright quad all divide the same ranges by the same
    // width: the steps of the row before serve again.
    RowSteps& steps = row.steps;
    if (steps.dx != dx || steps.txRange != txDiff || steps.tyRange != tyDiff) {
        steps.dx = dx;
        steps.txRange = txDiff;
        steps.tyRange = tyDiff;
        steps.txstep = TruncToInt(txRange / span);
        steps.tystep = TruncToInt(tyRange / span);
    }
    const int32_t txstep = steps.txstep, tystep = steps.tystep;
    if (xl < 0) {
        // The clipped part of the row is skipped in the texture too.
        txl = static_cast<int32_t>(static_cast<uint32_t>(txl) -
                                   static_cast<uint32_t>(TruncToInt(static_cast<double>(xl) * txRange / span)));
        tyl = static_cast<int32_t>(static_cast<uint32_t>(tyl) -
                                   static_cast<uint32_t>(TruncToInt(static_cast<double>(xl) * tyRange / span)));
        xl = 0;
    }
    if (xr > width) xr = width;

    const int64_t first = xl + inset, end = xr - inset;
    if (end <= first) return false;
    row.d = row.pixels + y * width + first;
    row.n = static_cast<std::size_t>(end - first);
    row.rule = rule;
    orchid::pixel::TexelWalk& walk = row.walk;
    walk.tx = static_cast<uint32_t>(txl);
    walk.ty = static_cast<uint32_t>(tyl);
    walk.txstep = txstep;
    walk.tystep = tystep;
    walk.maskTest = maskTest;
    return true;
}
