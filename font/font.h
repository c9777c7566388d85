// A small bitmap font: 256 glyph slots of glyphWidth x glyphHeight bytes,
// filled from a glyph resource, with the Pixmap text is meant to go into.
#pragma once

#include <cstdint>

class Pixmap;

class Font {
public:
    Font();
    ~Font();
    Font(const Font&) = delete;
    Font& operator=(const Font&) = delete;

    // Loads charCount glyphs for the codes from firstChar on. 1 on success,
    // 0 after a failure report.
    int Init(Pixmap* target, const char* resname, int glyphWidth, int glyphHeight, int firstChar,
             int charCount);
    void SetTarget(Pixmap* target);
    void Free();

    Pixmap* target;
    uint8_t* glyphs;
    int32_t glyphWidth;
    int32_t glyphHeight;
    int32_t glyphSize;
    int32_t initialized;
};
