#include "platform/sdl/sdl_dialog.h"

#include <SDL.h>

#include <cstring>

#include "platform/sdl/sdl_font.h"
#include "platform/sdl/sdl_support.h"

namespace platform::sdl {

namespace {

// The window of one dialog, for as long as it runs.
class DialogWindow {
public:
    DialogWindow(WindowRecord& record, const DialogTemplate& t) : dialog(record), dialogTemplate(t) {}
    ~DialogWindow()
    {
        if (banner != nullptr) SDL_DestroyTexture(banner);
        if (renderer != nullptr) SDL_DestroyRenderer(renderer);
        if (window != nullptr) SDL_DestroyWindow(window);
        dialog.native = nullptr;
    }

    bool Open()
    {
        window = SDL_CreateWindow(dialog.title, SDL_WINDOWPOS_CENTERED, SDL_WINDOWPOS_CENTERED, dialog.width,
                                  dialog.height, SDL_WINDOW_BORDERLESS | SDL_WINDOW_ALWAYS_ON_TOP);
        if (window == nullptr) return false;
        renderer = MakeRenderer(window, 0);
        if (renderer == nullptr) return false;
        dialog.native = window;
        for (int i = 0; i < dialogTemplate.controlCount; ++i) {
            const DialogControl& c = dialogTemplate.controls[i];
            SDL_Rect r = {c.x * 3 / 2, c.y * 13 / 8, c.width * 3 / 2, c.height * 13 / 8};
            if (c.text != nullptr && buttonCount < kMaxButtons) {
                buttons[buttonCount++] = Button{c.id, c.text, r};
            } else if (c.pictureId != 0) {
                bannerRect = r;
                SDL_Surface* picture = LoadBitmapResource(c.pictureId);
                if (picture != nullptr) {
                    // The picture keeps its own size, as a bitmap control does.
                    bannerRect.w = picture->w;
                    bannerRect.h = picture->h;
                    banner = SDL_CreateTextureFromSurface(renderer, picture);
                    SDL_FreeSurface(picture);
                }
            }
        }
        SDL_ShowWindow(window);
        SDL_RaiseWindow(window);
        return true;
    }

    // The modal loop; false when the program is asked to end meanwhile.
    bool Run()
    {
        while (!dialog.dialogEnded) {
            Draw();
            SDL_Event e;
            if (SDL_WaitEventTimeout(&e, 100) == 0) continue;
            do {
                if (!Handle(e)) return false;
            } while (!dialog.dialogEnded && SDL_PollEvent(&e) != 0);
        }
        return true;
    }

private:
    static constexpr int kMaxButtons = 8;
    struct Button {
        int id;
        const char* text;
        SDL_Rect rect;
    };

    int Hit(int x, int y) const
    {
        SDL_Point p = {x, y};
        for (int i = 0; i < buttonCount; ++i) {
            if (SDL_PointInRect(&p, &buttons[i].rect)) return i;
        }
        return -1;
    }

    void Command(int id) { SendMessage(&dialog, WM_COMMAND, static_cast<WPARAM>(id), 0); }

    bool Handle(const SDL_Event& e)
    {
        Uint32 id = SDL_GetWindowID(window);
        switch (e.type) {
        case SDL_QUIT: return false;
        case SDL_MOUSEMOTION:
            if (e.motion.windowID == id) hover = Hit(e.motion.x, e.motion.y);
            break;
        case SDL_MOUSEBUTTONDOWN:
            if (e.button.windowID == id && e.button.button == SDL_BUTTON_LEFT) {
                pressed = Hit(e.button.x, e.button.y);
                if (pressed >= 0) focus = pressed;
            }
            break;
        case SDL_MOUSEBUTTONUP:
            if (e.button.windowID == id && e.button.button == SDL_BUTTON_LEFT) {
                int released = Hit(e.button.x, e.button.y);
                if (released >= 0 && released == pressed) Command(buttons[released].id);
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
        if (buttonCount == 0) return;
        switch (key) {
        case SDLK_TAB: focus = (focus + (shift ? buttonCount - 1 : 1)) % buttonCount; break;
        case SDLK_RIGHT:
        case SDLK_DOWN: focus = (focus + 1) % buttonCount; break;
        case SDLK_LEFT:
        case SDLK_UP: focus = (focus + buttonCount - 1) % buttonCount; break;
        case SDLK_RETURN:
        case SDLK_KP_ENTER:
        case SDLK_SPACE: Command(buttons[focus].id); break;
        // Escape sends the cancel command, which the mode dialog ignores.
        case SDLK_ESCAPE: Command(2); break;
        default: break;
        }
    }

    void Fill(const SDL_Rect& r, Uint8 red, Uint8 green, Uint8 blue)
    {
        SDL_SetRenderDrawColor(renderer, red, green, blue, 255);
        SDL_RenderFillRect(renderer, &r);
    }
    void Frame(const SDL_Rect& r, Uint8 red, Uint8 green, Uint8 blue)
    {
        SDL_SetRenderDrawColor(renderer, red, green, blue, 255);
        SDL_RenderDrawRect(renderer, &r);
    }

    void DrawBanner()
    {
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
        SDL_SetRenderDrawColor(renderer, 255, 240, 250, 255);
        int scale = 3;
        DrawText(renderer, "Orchid", bannerRect.x + (bannerRect.w - TextWidth("Orchid", scale)) / 2,
                 bannerRect.y + (bannerRect.h - 7 * scale) / 2, scale);
    }

    void Draw()
    {
        SDL_SetRenderDrawColor(renderer, 212, 208, 200, 255);
        SDL_RenderClear(renderer);
        DrawBanner();
        for (int i = 0; i < buttonCount; ++i) {
            const Button& b = buttons[i];
            bool down = i == pressed && i == hover;
            Uint8 face = down ? 170 : (i == hover ? 236 : 222);
            Fill(b.rect, face, face, static_cast<Uint8>(face + 6 > 255 ? 255 : face + 6));
            Frame(b.rect, 64, 64, 64);
            if (i == focus) {
                SDL_Rect inner = {b.rect.x + 2, b.rect.y + 2, b.rect.w - 4, b.rect.h - 4};
                Frame(inner, 96, 40, 140);
                SDL_Rect inner2 = {b.rect.x + 3, b.rect.y + 3, b.rect.w - 6, b.rect.h - 6};
                Frame(inner2, 96, 40, 140);
            }
            SDL_SetRenderDrawColor(renderer, 0, 0, 0, 255);
            int offset = down ? 1 : 0;
            DrawText(renderer, b.text, b.rect.x + (b.rect.w - TextWidth(b.text, 1)) / 2 + offset,
                     b.rect.y + (b.rect.h - 7) / 2 + offset, 1);
        }
        SDL_RenderPresent(renderer);
    }

    WindowRecord& dialog;
    const DialogTemplate& dialogTemplate;
    SDL_Window* window = nullptr;
    SDL_Renderer* renderer = nullptr;
    SDL_Texture* banner = nullptr;
    SDL_Rect bannerRect = {};
    Button buttons[kMaxButtons] = {};
    int buttonCount = 0;
    int focus = 0;
    int hover = -1;
    int pressed = -1;
};

}  // namespace

bool RunModeDialog(WindowRecord& dialog, const DialogTemplate& dialogTemplate)
{
    DialogWindow window(dialog, dialogTemplate);
    return window.Open() && window.Run();
}

}  // namespace platform::sdl
