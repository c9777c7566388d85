// The mode dialog on the desktop: a borderless SDL window with the
// template's picture (or, without one, a violet banner with the name) across
// its top and its buttons under it, labelled in DejaVu Sans, all scaled with
// the desktop. Mouse, Tab, arrows, Enter and Space choose; Escape sends the
// cancel command.
#pragma once

#include <SDL.h>

#include "platform/backend.h"
#include "platform/sdl/sdl_font.h"

namespace platform::sdl {

// The dialog's layout and drawing, apart from any window. Dialog units are
// those of the template's 8-point font on a 96-dpi screen (1.5 pixels
// across, 1.625 down), times `scale`. The banner fills the top row, from
// edge to edge, at the picture control's height; the buttons keep their
// sizes and rows, an even gap apart, each row centred.
class ModeDialogView {
public:
    struct Button {
        int id;
        const char* text;
        SDL_Rect rect;
    };
    static constexpr int kMaxButtons = 8;

    ModeDialogView(const DialogTemplate& dialogTemplate, double scale, const char* fontPath = kDejaVuSans);
    ~ModeDialogView();
    ModeDialogView(const ModeDialogView&) = delete;
    ModeDialogView& operator=(const ModeDialogView&) = delete;

    int Width() const { return width; }
    int Height() const { return height; }
    const SDL_Rect& BannerRect() const { return bannerRect; }
    int ButtonCount() const { return buttonCount; }
    const Button& ButtonAt(int i) const { return buttons[i]; }
    // True when the labels are in the anti-aliased font, false when its file
    // could not be opened and the bitmap font stands in.
    bool SmoothText() const { return labelFont.Smooth(); }
    // The button at x, y, or -1.
    int Hit(int x, int y) const;

    // Draws the dialog into `renderer` (always the same one: the banner's
    // texture is made for it on the first call), with button `focus` framed,
    // `hover` lit and `pressed` pushed in; -1 for none.
    void Draw(SDL_Renderer* renderer, int focus, int hover, int pressed);

private:
    void DrawBanner(SDL_Renderer* renderer);

    int width;
    int height;
    int line;  // the width of frame lines
    int bannerPicture = 0;
    bool bannerLoaded = false;
    SDL_Texture* banner = nullptr;
    SDL_Rect bannerRect = {};
    Button buttons[kMaxButtons] = {};
    int buttonCount = 0;
    TextFont labelFont;
    TextFont titleFont;
};

// The scale of the dialog on a desktop `screenHeight` pixels high: 1 up to
// 768 pixels, in proportion above.
double DialogScale(int screenHeight);

// The modal loop of the dialog: true once the dialog procedure has ended
// the dialog, false when the window cannot be made or the program is asked
// to end meanwhile.
bool RunModeDialog(WindowRecord& dialog, const DialogTemplate& dialogTemplate);

}  // namespace platform::sdl
