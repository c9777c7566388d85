#include "platform/sdl/sdl_dialog.h"

#include <algorithm>
#include <cmath>

#include "platform/sdl/sdl_support.h"

namespace platform::sdl {

namespace {

// Pixels per dialog unit on a 96-dpi screen with the template's 8-point
// font, across and down.
constexpr double kUnitX = 1.5;
constexpr double kUnitY = 1.625;
// The template's font, and the banner's name when it has no picture.
constexpr int kLabelPoints = 8;
constexpr int kTitlePoints = 20;
// The gap between two buttons of a row, in dialog units.
constexpr int kButtonGap = 2;

int Pixels(int units, double perUnit, double scale)
{
    return static_cast<int>(std::lround(units * perUnit * scale));
}

int Dpi(double scale) { return static_cast<int>(std::lround(96.0 * scale)); }

}  // namespace

double DialogScale(int screenHeight) { return std::max(1.0, screenHeight / 768.0); }

ModeDialogView::ModeDialogView(const DialogTemplate& t, double scale, const char* fontPath)
    : width(Pixels(t.width, kUnitX, scale)),
      height(Pixels(t.height, kUnitY, scale)),
      line(std::max(1, static_cast<int>(std::lround(scale)))),
      labelFont(fontPath, kLabelPoints, Dpi(scale)),
      titleFont(fontPath, kTitlePoints, Dpi(scale))
{
    int first[kMaxButtons];  // the template's index of each button
    for (int i = 0; i < t.controlCount; ++i) {
        const DialogControl& c = t.controls[i];
        if (c.text != nullptr && buttonCount < kMaxButtons) {
            SDL_Rect r = {0, Pixels(c.y, kUnitY, scale), Pixels(c.width, kUnitX, scale),
                          Pixels(c.height, kUnitY, scale)};
            first[buttonCount] = i;
            buttons[buttonCount++] = Button{c.id, c.text, r};
        } else if (c.pictureId != 0) {
            bannerPicture = c.pictureId;
            bannerRect = {0, 0, width, Pixels(c.height, kUnitY, scale)};
        }
    }
    // Each row (the buttons of one y), left to right as the template places
    // them, centred across the dialog.
    const int gap = Pixels(kButtonGap, kUnitX, scale);
    bool placed[kMaxButtons] = {};
    for (int b = 0; b < buttonCount; ++b) {
        if (placed[b]) continue;
        int row[kMaxButtons];
        int n = 0;
        int rowWidth = -gap;
        for (int o = b; o < buttonCount; ++o) {
            if (t.controls[first[o]].y != t.controls[first[b]].y) continue;
            // Kept in order of x as it is filled.
            int k = n++;
            for (; k > 0 && t.controls[first[row[k - 1]]].x > t.controls[first[o]].x; --k) row[k] = row[k - 1];
            row[k] = o;
            rowWidth += buttons[o].rect.w + gap;
            placed[o] = true;
        }
        int x = (width - rowWidth) / 2;
        for (int k = 0; k < n; ++k) {
            buttons[row[k]].rect.x = x;
            x += buttons[row[k]].rect.w + gap;
        }
    }
}

ModeDialogView::~ModeDialogView()
{
    if (banner != nullptr) SDL_DestroyTexture(banner);
}

int ModeDialogView::Hit(int x, int y) const
{
    SDL_Point p = {x, y};
    for (int i = 0; i < buttonCount; ++i) {
        if (SDL_PointInRect(&p, &buttons[i].rect)) return i;
    }
    return -1;
}

void ModeDialogView::DrawBanner(SDL_Renderer* renderer)
{
    if (!bannerLoaded) {
        bannerLoaded = true;
        SDL_Surface* picture = bannerPicture != 0 ? LoadBitmapResource(bannerPicture) : nullptr;
        if (picture != nullptr) {
            banner = SDL_CreateTextureFromSurface(renderer, picture);
            SDL_FreeSurface(picture);
            // Stretched to fill the row: smoothly, not in blocks.
            if (banner != nullptr) SDL_SetTextureScaleMode(banner, SDL_ScaleModeLinear);
        }
    }
    if (banner != nullptr) {
        SDL_RenderCopy(renderer, banner, nullptr, &bannerRect);
        return;
    }
    // No banner picture in this program: a violet gradient with the name.
    for (int y = 0; y < bannerRect.h; ++y) {
        int t = bannerRect.h > 1 ? y * 255 / (bannerRect.h - 1) : 0;
        SDL_SetRenderDrawColor(renderer, static_cast<Uint8>(90 + t / 3), static_cast<Uint8>(30 + t / 6),
                               static_cast<Uint8>(120 + t / 4), 255);
        SDL_RenderDrawLine(renderer, bannerRect.x, bannerRect.y + y, bannerRect.x + bannerRect.w - 1,
                           bannerRect.y + y);
    }
    titleFont.Draw(renderer, "Orchid", bannerRect.x + (bannerRect.w - titleFont.Width("Orchid")) / 2,
                   bannerRect.y + (bannerRect.h - titleFont.Height()) / 2, SDL_Color{255, 240, 250, 255});
}

void ModeDialogView::Draw(SDL_Renderer* renderer, int focus, int hover, int pressed)
{
    auto frame = [&](const SDL_Rect& r, int inset, Uint8 red, Uint8 green, Uint8 blue) {
        SDL_SetRenderDrawColor(renderer, red, green, blue, 255);
        SDL_Rect sides[4] = {{r.x + inset, r.y + inset, r.w - 2 * inset, line},
                             {r.x + inset, r.y + r.h - inset - line, r.w - 2 * inset, line},
                             {r.x + inset, r.y + inset, line, r.h - 2 * inset},
                             {r.x + r.w - inset - line, r.y + inset, line, r.h - 2 * inset}};
        SDL_RenderFillRects(renderer, sides, 4);
    };
    SDL_SetRenderDrawColor(renderer, 212, 208, 200, 255);
    SDL_RenderClear(renderer);
    DrawBanner(renderer);
    for (int i = 0; i < buttonCount; ++i) {
        const Button& b = buttons[i];
        bool down = i == pressed && i == hover;
        Uint8 face = down ? 170 : (i == hover ? 236 : 222);
        SDL_SetRenderDrawColor(renderer, face, face, static_cast<Uint8>(face + 6 > 255 ? 255 : face + 6), 255);
        SDL_RenderFillRect(renderer, &b.rect);
        frame(b.rect, 0, 64, 64, 64);
        if (i == focus) frame(b.rect, 2 * line, 96, 40, 140);
        int offset = down ? line : 0;
        labelFont.Draw(renderer, b.text, b.rect.x + (b.rect.w - labelFont.Width(b.text)) / 2 + offset,
                       b.rect.y + (b.rect.h - labelFont.Height()) / 2 + offset, SDL_Color{0, 0, 0, 255});
    }
}

namespace {

// The window of one dialog, for as long as it runs.
class DialogWindow {
public:
    DialogWindow(WindowRecord& record, const DialogTemplate& t, double scale) : dialog(record), view(t, scale) {}
    ~DialogWindow()
    {
        if (renderer != nullptr) SDL_DestroyRenderer(renderer);
        if (window != nullptr) SDL_DestroyWindow(window);
        dialog.native = nullptr;
    }

    bool Open()
    {
        window = SDL_CreateWindow(dialog.title, SDL_WINDOWPOS_CENTERED, SDL_WINDOWPOS_CENTERED, view.Width(),
                                  view.Height(), SDL_WINDOW_BORDERLESS | SDL_WINDOW_ALWAYS_ON_TOP);
        if (window == nullptr) return false;
        renderer = MakeRenderer(window, 0);
        if (renderer == nullptr) return false;
        dialog.native = window;
        SDL_ShowWindow(window);
        SDL_RaiseWindow(window);
        return true;
    }

    // The modal loop; false when the program is asked to end meanwhile.
    bool Run()
    {
        while (!dialog.dialogEnded) {
            view.Draw(renderer, focus, hover, pressed);
            SDL_RenderPresent(renderer);
            SDL_Event e;
            if (SDL_WaitEventTimeout(&e, 100) == 0) continue;
            do {
                if (!Handle(e)) return false;
            } while (!dialog.dialogEnded && SDL_PollEvent(&e) != 0);
        }
        return true;
    }

private:
    void Command(int id) { SendMessage(&dialog, WM_COMMAND, static_cast<WPARAM>(id), 0); }

    bool Handle(const SDL_Event& e)
    {
        Uint32 id = SDL_GetWindowID(window);
        switch (e.type) {
        case SDL_QUIT: return false;
        case SDL_MOUSEMOTION:
            if (e.motion.windowID == id) hover = view.Hit(e.motion.x, e.motion.y);
            break;
        case SDL_MOUSEBUTTONDOWN:
            if (e.button.windowID == id && e.button.button == SDL_BUTTON_LEFT) {
                pressed = view.Hit(e.button.x, e.button.y);
                if (pressed >= 0) focus = pressed;
            }
            break;
        case SDL_MOUSEBUTTONUP:
            if (e.button.windowID == id && e.button.button == SDL_BUTTON_LEFT) {
                int released = view.Hit(e.button.x, e.button.y);
                if (released >= 0 && released == pressed) Command(view.ButtonAt(released).id);
                pressed = -1;
            }
            break;
        case SDL_KEYDOWN:
            if (e.key.windowID != id && e.key.windowID != 0) break;
            Key(e.key.keysym.sym, (e.key.keysym.mod & KMOD_SHIFT) != 0);
            break;
        default: break;
        }
        return true;
    }

    void Key(SDL_Keycode key, bool shift)
    {
        const int count = view.ButtonCount();
        if (count == 0) return;
        switch (key) {
        case SDLK_TAB: focus = (focus + (shift ? count - 1 : 1)) % count; break;
        case SDLK_RIGHT:
        case SDLK_DOWN: focus = (focus + 1) % count; break;
        case SDLK_LEFT:
        case SDLK_UP: focus = (focus + count - 1) % count; break;
        case SDLK_RETURN:
        case SDLK_KP_ENTER:
        case SDLK_SPACE: Command(view.ButtonAt(focus).id); break;
        // Escape sends the cancel command, which the mode dialog ignores.
        case SDLK_ESCAPE: Command(2); break;
        default: break;
        }
    }

    WindowRecord& dialog;
    ModeDialogView view;
    SDL_Window* window = nullptr;
    SDL_Renderer* renderer = nullptr;
    int focus = 0;
    int hover = -1;
    int pressed = -1;
};

}  // namespace

bool RunModeDialog(WindowRecord& dialog, const DialogTemplate& dialogTemplate)
{
    SDL_DisplayMode desktop;
    double scale = SDL_GetDesktopDisplayMode(0, &desktop) == 0 ? DialogScale(desktop.h) : 1.0;
    DialogWindow window(dialog, dialogTemplate, scale);
    return window.Open() && window.Run();
}

}  // namespace platform::sdl
