// Lettering with FreeType: lines of text rendered as coverage, with separate
// horizontal and vertical sizes so that text can be drawn stretched.
#pragma once

#include <string>

#include "canvas.h"

struct FT_LibraryRec_;
struct FT_FaceRec_;

namespace gen {

class Typeface {
public:
    explicit Typeface(const std::string& path);
    ~Typeface();
    Typeface(const Typeface&) = delete;
    Typeface& operator=(const Typeface&) = delete;

    // Advance width in pixels of a UTF-8 line at horizontal size sx and
    // vertical size sy (pixels per em), with `tracking` extra pixels after
    // every letter but the last.
    float Width(const std::string& text, float sx, float sy, float tracking = 0) const;
    // Adds the line's coverage to cov with its left end at x and baseline at y.
    void Draw(Coverage& cov, const std::string& text, float x, float baseline, float sx, float sy,
              float tracking = 0) const;
    // Same, centred on cx.
    void DrawCentred(Coverage& cov, const std::string& text, float cx, float baseline, float sx, float sy,
                     float tracking = 0) const;
    // Height of a capital letter above the baseline, per pixel of vertical size.
    float CapHeight() const;

private:
    FT_LibraryRec_* lib_ = nullptr;
    FT_FaceRec_* face_ = nullptr;
};

}  // namespace gen
