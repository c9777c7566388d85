// The mode dialog drawn off-screen, by SDL's software renderer into a memory
// surface (no display needed), with the program's own template and banner:
// the banner fills its row, each row of buttons is centred, the labels are
// anti-aliased (or in the bitmap font when the font file is missing), and
// everything grows with the desktop.
#include <gtest/gtest.h>

#include <SDL.h>

#include <algorithm>
#include <memory>
#include <set>

#include "main/dialog.h"
#include "platform/sdl/sdl_dialog.h"

using namespace platform;
using namespace platform::sdl;

namespace {

constexpr Uint32 kBackground = 0xD4D0C8;  // the dialog's grey
constexpr Uint32 kFrame = 0x404040;       // a button's outline

// The dialog drawn once, its pixels as 0xRRGGBB.
class Drawn {
public:
    Drawn(ModeDialogView& view, int focus = -1)
        : surface(SDL_CreateRGBSurfaceWithFormat(0, view.Width(), view.Height(), 32, SDL_PIXELFORMAT_ARGB8888),
                  SDL_FreeSurface)
    {
        EXPECT_NE(surface, nullptr) << SDL_GetError();
        if (surface == nullptr) return;
        SDL_Renderer* renderer = SDL_CreateSoftwareRenderer(surface.get());
        EXPECT_NE(renderer, nullptr) << SDL_GetError();
        if (renderer == nullptr) return;
        view.Draw(renderer, focus, -1, -1);
        SDL_RenderPresent(renderer);
        SDL_DestroyRenderer(renderer);
    }
    Uint32 At(int x, int y) const
    {
        const Uint8* row = static_cast<const Uint8*>(surface->pixels) + y * surface->pitch;
        return reinterpret_cast<const Uint32*>(row)[x] & 0xFFFFFF;
    }
    int Width() const { return surface->w; }

private:
    std::unique_ptr<SDL_Surface, void (*)(SDL_Surface*)> surface;
};

bool Grey(Uint32 c) { return (c >> 16) == ((c >> 8) & 0xFF) && (c >> 16) == (c & 0xFF); }

// The colours inside a button, its outline left out.
std::set<Uint32> Inside(const Drawn& d, const SDL_Rect& r)
{
    std::set<Uint32> colours;
    for (int y = r.y + 1; y < r.y + r.h - 1; ++y) {
        for (int x = r.x + 1; x < r.x + r.w - 1; ++x) colours.insert(d.At(x, y));
    }
    return colours;
}

// The box around the label's darkest pixels in a button (darker than its
// outline): width and height.
SDL_Point LabelSize(const Drawn& d, const SDL_Rect& r)
{
    int left = r.x + r.w, right = -1, top = r.y + r.h, bottom = -1;
    for (int y = r.y; y < r.y + r.h; ++y) {
        for (int x = r.x; x < r.x + r.w; ++x) {
            if ((d.At(x, y) & 0xFF) >= 48) continue;
            left = std::min(left, x), right = std::max(right, x);
            top = std::min(top, y), bottom = std::max(bottom, y);
        }
    }
    return {right - left + 1, bottom - top + 1};
}

TEST(ModeDialogView, BannerFillsItsRowAndEachRowOfButtonsIsCentred)
{
    for (double scale : {1.0, 1.40625, 2.0}) {
        SCOPED_TRACE(scale);
        ModeDialogView view(modeDialogTemplate, scale);
        Drawn d(view);
        EXPECT_EQ(view.Width(), static_cast<int>(157 * 1.5 * scale + 0.5));
        const SDL_Rect& banner = view.BannerRect();
        EXPECT_EQ(banner.x, 0);
        EXPECT_EQ(banner.y, 0);
        EXPECT_EQ(banner.w, view.Width());
        // The picture reaches both edges on every line of the row.
        for (int y = 0; y < banner.h; ++y) {
            ASSERT_NE(d.At(0, y), kBackground) << "left edge, line " << y;
            ASSERT_NE(d.At(view.Width() - 1, y), kBackground) << "right edge, line " << y;
        }
        ASSERT_EQ(view.ButtonCount(), 5);
        // Rows by their top; in each, the outermost outline pixels across
        // the middle line leave the same margin on both sides, within one
        // pixel, and buttons do not overlap.
        std::set<int> tops;
        for (int i = 0; i < view.ButtonCount(); ++i) tops.insert(view.ButtonAt(i).rect.y);
        EXPECT_EQ(tops.size(), 2u);
        for (int top : tops) {
            int y = -1, left = -1, right = -1;
            for (int i = 0; i < view.ButtonCount(); ++i) {
                const SDL_Rect& r = view.ButtonAt(i).rect;
                if (r.y != top) continue;
                y = r.y + r.h / 2;
                EXPECT_LE(r.y + r.h, view.Height());
                for (int j = 0; j < view.ButtonCount(); ++j) {
                    if (j == i) continue;
                    EXPECT_FALSE(SDL_HasIntersection(&r, &view.ButtonAt(j).rect)) << i << " " << j;
                }
            }
            for (int x = 0; x < view.Width(); ++x) {
                if (d.At(x, y) != kFrame) continue;
                if (left < 0) left = x;
                right = x;
            }
            ASSERT_GE(left, 0) << "no button outline on line " << y;
            EXPECT_LE(std::abs(left - (view.Width() - 1 - right)), 1) << "row at " << top << ": " << left
                                                                         << " px left, "
                                                                         << view.Width() - 1 - right << " right";
        }
    }
}

TEST(ModeDialogView, LabelsAreAntialiasedOrInTheBitmapFontWithoutTheFontFile)
{
    ModeDialogView smooth(modeDialogTemplate, 1.0);
    ASSERT_TRUE(smooth.SmoothText()) << "DejaVu Sans is missing: " << kDejaVuSans;
    Drawn s(smooth);
    ModeDialogView plain(modeDialogTemplate, 1.0, "/nonexistent/font.ttf");
    EXPECT_FALSE(plain.SmoothText());
    Drawn p(plain);
    for (int i = 0; i < smooth.ButtonCount(); ++i) {
        SCOPED_TRACE(smooth.ButtonAt(i).text);
        // Glyph edges blend black into the button's face: levels between.
        std::set<Uint32> between;
        for (Uint32 c : Inside(s, smooth.ButtonAt(i).rect)) {
            if (Grey(c) && c != 0 && (c & 0xFF) < 200) between.insert(c);
        }
        EXPECT_GE(between.size(), 5u);
        // The bitmap font: solid black on the face, nothing between.
        std::set<Uint32> colours = Inside(p, plain.ButtonAt(i).rect);
        EXPECT_EQ(colours.size(), 2u);
        EXPECT_EQ(colours.count(0u), 1u);
        // Both write the label at about the size of an 8-point font.
        SDL_Point a = LabelSize(s, smooth.ButtonAt(i).rect), b = LabelSize(p, plain.ButtonAt(i).rect);
        EXPECT_GE(a.y, 7);
        EXPECT_LE(a.y, 12);
        EXPECT_NEAR(a.x, b.x, a.x / 3);
    }
}

TEST(ModeDialogView, GrowsWithTheDesktop)
{
    EXPECT_EQ(DialogScale(600), 1.0);
    EXPECT_EQ(DialogScale(768), 1.0);
    EXPECT_EQ(DialogScale(1080), 1080 / 768.0);
    EXPECT_EQ(DialogScale(1536), 2.0);

    ModeDialogView small(modeDialogTemplate, 1.0), large(modeDialogTemplate, 2.0);
    EXPECT_EQ(large.Width(), 471);
    EXPECT_EQ(small.Height(), 127);  // 78 units of 1.625 pixels
    EXPECT_EQ(large.Height(), 254);
    Drawn s(small), l(large);
    for (int i = 0; i < small.ButtonCount(); ++i) {
        SCOPED_TRACE(small.ButtonAt(i).text);
        const SDL_Rect &a = small.ButtonAt(i).rect, &b = large.ButtonAt(i).rect;
        EXPECT_NEAR(b.w, 2 * a.w, 1);
        EXPECT_NEAR(b.h, 2 * a.h, 1);
        // The font is rendered at the larger size, not enlarged.
        SDL_Point sa = LabelSize(s, a), sb = LabelSize(l, b);
        EXPECT_NEAR(sb.x, 2 * sa.x, sa.x / 5);
        EXPECT_NEAR(sb.y, 2 * sa.y, sa.y / 4 + 1);
    }
    // A click lands on the button drawn there.
    const SDL_Rect& quit = large.ButtonAt(4).rect;
    EXPECT_EQ(large.ButtonAt(large.Hit(quit.x + quit.w / 2, quit.y + quit.h / 2)).id, IDC_BUTTON_QUIT);
    EXPECT_EQ(large.Hit(1, 1), -1);
}

}  // namespace
