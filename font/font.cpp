#include "font/font.h"

#include "error/memory.h"
#include "error/report.h"
#include "pixmap/pixmap.h"

ORCHID_REPORT_MODULE("font/font");

namespace {
constexpr int kSlots = 256;
// A glyph store above this would be no small bitmap font.
constexpr int kMaxGlyphSize = 1 << 16;
}  // namespace

Font::Font() : target(nullptr), glyphs(nullptr), glyphWidth(0), glyphHeight(0), glyphSize(0), initialized(0) {}

Font::~Font()
{
    if (initialized) Free();
}

void Font::SetTarget(Pixmap* newTarget)
{
    if (newTarget == nullptr) {
        REPORT(ERR_MISC, "\n");
        return;
    }
    target = newTarget;
}

int Font::Init(Pixmap* newTarget, const char* resname, int width, int height, int firstChar, int charCount)
{
    // A live font gives up its old store first; sizes and ranges that would
    // put glyphs outside the 256 slots are refused.
    Free();
    if (width < 0 || height < 0 || firstChar < 0 || charCount < 0 || firstChar > kSlots ||
        charCount > kSlots - firstChar ||
        static_cast<int64_t>(width) * height > kMaxGlyphSize) {
        REPORT(ERR_MISC, "\n");
        return 0;
    }

    glyphWidth = width;
    glyphHeight = height;
    glyphSize = width * height;
    SetTarget(newTarget);

    glyphs = static_cast<uint8_t*>(orchid::MemAlloc(static_cast<std::size_t>(glyphSize) * kSlots));
    if (glyphs == nullptr) {
        REPORT(ERR_MISC, "\n");
        return 0;
    }

    ResFile* file = ResFile_Open(resname);
    int wanted = glyphSize * charCount;
    int got = ResFile_Read(glyphs + glyphSize * firstChar, wanted, file);
    ResFile_Close(file);
    if (got < wanted) {
        orchid::MemFree(glyphs);
        glyphs = nullptr;
        REPORT(ERR_WINDOWS, "\n");
        return 0;
    }
    initialized = 1;
    return 1;
}

void Font::Free()
{
    orchid::MemFree(glyphs);
    glyphs = nullptr;
    initialized = 0;
}
