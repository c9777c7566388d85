#include "text.h"

#include <ft2build.h>
#include FT_FREETYPE_H

#include <algorithm>
#include <cmath>
#include <stdexcept>
#include <vector>

namespace gen {

namespace {
std::vector<uint32_t> Utf8(const std::string& s)
{
    std::vector<uint32_t> out;
    for (size_t i = 0; i < s.size();) {
        unsigned char c = static_cast<unsigned char>(s[i]);
        uint32_t cp;
        int n;
        if (c < 0x80) { cp = c; n = 1; }
        else if ((c >> 5) == 6) { cp = c & 0x1F; n = 2; }
        else if ((c >> 4) == 14) { cp = c & 0x0F; n = 3; }
        else { cp = c & 0x07; n = 4; }
        for (int k = 1; k < n && i + size_t(k) < s.size(); ++k) cp = (cp << 6) | (static_cast<unsigned char>(s[i + size_t(k)]) & 0x3F);
        out.push_back(cp);
        i += size_t(n);
    }
    return out;
}
}  // namespace

Typeface::Typeface(const std::string& path)
{
    if (FT_Init_FreeType(&lib_) != 0) throw std::runtime_error("FreeType did not start");
    if (FT_New_Face(lib_, path.c_str(), 0, &face_) != 0) {
        FT_Done_FreeType(lib_);
        throw std::runtime_error("cannot open font " + path);
    }
}

Typeface::~Typeface()
{
    FT_Done_Face(face_);
    FT_Done_FreeType(lib_);
}

float Typeface::CapHeight() const
{
    FT_Set_Char_Size(face_, 0, 1000 * 64, 72, 72);
    FT_Load_Char(face_, 'H', FT_LOAD_NO_HINTING);
    return float(face_->glyph->metrics.horiBearingY) / 64.0f / 1000.0f;
}

float Typeface::Width(const std::string& text, float sx, float sy, float tracking) const
{
    FT_Set_Transform(face_, nullptr, nullptr);
    FT_Set_Char_Size(face_, FT_F26Dot6(std::lround(sx * 64)), FT_F26Dot6(std::lround(sy * 64)), 72, 72);
    float w = 0;
    std::vector<uint32_t> cps = Utf8(text);
    for (size_t i = 0; i < cps.size(); ++i) {
        FT_Load_Char(face_, cps[i], FT_LOAD_NO_HINTING);
        w += float(face_->glyph->advance.x) / 64.0f;
        if (i + 1 < cps.size()) w += tracking;
    }
    return w;
}

void Typeface::Draw(Coverage& cov, const std::string& text, float x, float baseline, float sx, float sy,
                    float tracking) const
{
    FT_Set_Char_Size(face_, FT_F26Dot6(std::lround(sx * 64)), FT_F26Dot6(std::lround(sy * 64)), 72, 72);
    float pen = x;
    for (uint32_t cp : Utf8(text)) {
        // Whole pixels go to the bitmap position, the fraction into the outline.
        float fx = std::floor(pen), fy = std::floor(baseline);
        FT_Vector delta{FT_Pos(std::lround((pen - fx) * 64)), FT_Pos(-std::lround((baseline - fy) * 64))};
        FT_Set_Transform(face_, nullptr, &delta);
        if (FT_Load_Char(face_, cp, FT_LOAD_NO_HINTING | FT_LOAD_RENDER) != 0) continue;
        FT_GlyphSlot g = face_->glyph;
        int ox = int(fx) + g->bitmap_left, oy = int(fy) - g->bitmap_top;
        for (unsigned r = 0; r < g->bitmap.rows; ++r)
            for (unsigned c = 0; c < g->bitmap.width; ++c) {
                int px = ox + int(c), py = oy + int(r);
                if (px < 0 || py < 0 || px >= cov.w || py >= cov.h) continue;
                float a = g->bitmap.buffer[r * unsigned(g->bitmap.pitch) + c] / 255.0f;
                cov.at(px, py) = std::min(1.0f, cov.at(px, py) + a);
            }
        pen += float(g->advance.x) / 64.0f + tracking;
    }
    FT_Set_Transform(face_, nullptr, nullptr);
}

void Typeface::DrawCentred(Coverage& cov, const std::string& text, float cx, float baseline, float sx, float sy,
                           float tracking) const
{
    Draw(cov, text, cx - Width(text, sx, sy, tracking) * 0.5f, baseline, sx, sy, tracking);
}

}  // namespace gen
