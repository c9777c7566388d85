#include "platform/sdl/sdl_backend.h"

#include <SDL.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <memory>

#include "platform/backend.h"
#include "platform/lasting.h"
#include "platform/sdl/sdl_dialog.h"
#include "platform/sdl/sdl_font.h"
#include "platform/sdl/sdl_sound.h"
#include "platform/sdl/sdl_support.h"
#include "platform/sdl/sdl_x11.h"
#include "platform/stream_sound.h"

namespace platform::sdl {

namespace {

void SetIcon(SDL_Window* window, HICON icon)
{
    if (icon == nullptr) return;
    SDL_Surface* picture = LoadBitmapResource(static_cast<int>(reinterpret_cast<uintptr_t>(icon)));
    if (picture == nullptr) return;
    SDL_SetWindowIcon(window, picture);
    SDL_FreeSurface(picture);
}

WPARAM VirtualKey(SDL_Keycode key)
{
    if (key >= SDLK_a && key <= SDLK_z) return static_cast<WPARAM>('A' + (key - SDLK_a));
    if (key >= SDLK_0 && key <= SDLK_9) return static_cast<WPARAM>('0' + (key - SDLK_0));
    switch (key) {
    case SDLK_ESCAPE: return VK_ESCAPE;
    case SDLK_RETURN:
    case SDLK_KP_ENTER: return VK_RETURN;
    case SDLK_SPACE: return VK_SPACE;
    case SDLK_TAB: return VK_TAB;
    case SDLK_LEFT: return VK_LEFT;
    case SDLK_UP: return VK_UP;
    case SDLK_RIGHT: return VK_RIGHT;
    case SDLK_DOWN: return VK_DOWN;
    case SDLK_F1: return VK_F1;
    case SDLK_HOME: return VK_HOME;
    case SDLK_PAGEUP: return VK_PRIOR;
    case SDLK_PAGEDOWN: return VK_NEXT;
    case SDLK_COMMA: return VK_OEM_COMMA;
    case SDLK_PERIOD: return VK_OEM_PERIOD;
    // The + key is = unshifted on many layouts.
    case SDLK_PLUS:
    case SDLK_EQUALS: return VK_OEM_PLUS;
    case SDLK_MINUS: return VK_OEM_MINUS;
    case SDLK_KP_PLUS: return VK_ADD;
    case SDLK_KP_MINUS: return VK_SUBTRACT;
    default: return 0;
    }
}

Uint32 TextureFormat(PixelLayout layout)
{
    switch (layout) {
    case PixelLayout::XRGB8888: return SDL_PIXELFORMAT_RGB888;  // the top byte is ignored
    case PixelLayout::BGR24: return SDL_PIXELFORMAT_BGR24;      // bytes blue, green, red
    case PixelLayout::RGB565: return SDL_PIXELFORMAT_RGB565;
    case PixelLayout::RGB555: return SDL_PIXELFORMAT_RGB555;
    case PixelLayout::Other: break;
    }
    return SDL_PIXELFORMAT_UNKNOWN;
}

// SDL's message box on X11 writes each line in the server's 12-point core
// font: at most 24 pixels a line at the usual 75 to 96 dots per inch. Its
// margins and the OK button's row take about 110 pixels more.
constexpr int kBoxLineHeight = 24;
constexpr int kBoxChrome = 110;

// ---- windows and display ------------------------------------------------------

class SdlPlatform final : public WindowSystem, public DisplayBackend {
public:
    Options options;

    void ScreenSize(int* width, int* height) override
    {
        SDL_DisplayMode mode;
        if (SDL_GetDesktopDisplayMode(0, &mode) == 0) {
            *width = mode.w;
            *height = mode.h;
        } else {
            *width = 640;
            *height = 480;
        }
    }

    // The window is `zoom` times the record's size, about the same centre,
    // and can be resized; the picture keeps its shape in it.
    bool CreateNative(WindowRecord& record) override
    {
        Uint32 flags = SDL_WINDOW_BORDERLESS | SDL_WINDOW_RESIZABLE |
                       (record.visible ? SDL_WINDOW_SHOWN : SDL_WINDOW_HIDDEN);
        if ((record.exStyle & WS_EX_TOPMOST) != 0) flags |= SDL_WINDOW_ALWAYS_ON_TOP;
        int width = record.width * options.zoom;
        int height = record.height * options.zoom;
        SDL_Window* window = SDL_CreateWindow(record.title, record.x - (width - record.width) / 2,
                                              record.y - (height - record.height) / 2, width, height, flags);
        if (window == nullptr) return false;
        SetIcon(window, record.icon);
        record.native = window;
        return true;
    }

    void DestroyNative(WindowRecord& record) override
    {
        if (record.native != nullptr && record.native == fullscreenWindow) fullscreenWindow = nullptr;
        if (&record == displayWindow) CloseDisplay();
        if (record.native != nullptr) SDL_DestroyWindow(static_cast<SDL_Window*>(record.native));
        record.native = nullptr;
    }

    // The window's size is fixed: a maximising command shows it as it is.
    void ShowNative(WindowRecord& record, int command) override
    {
        auto* window = static_cast<SDL_Window*>(record.native);
        if (window == nullptr) return;
        if (command == platform::SW_HIDE) {
            SDL_HideWindow(window);
            return;
        }
        SDL_ShowWindow(window);
        if (platform::ShowsMinimized(command)) {
            SDL_MinimizeWindow(window);
        } else if (command == platform::SW_RESTORE) {
            SDL_RestoreWindow(window);
        }
    }

    void FocusNative(WindowRecord& record) override
    {
        if (record.native != nullptr) SDL_RaiseWindow(static_cast<SDL_Window*>(record.native));
    }

    void PumpEvents() override
    {
        SDL_Event e;
        while (SDL_PollEvent(&e) != 0) Translate(e);
    }

    bool WaitEvents() override
    {
        SDL_WaitEventTimeout(nullptr, 50);
        return true;
    }

    void ApplyCursor(int id, bool visible) override
    {
        if (arrow == nullptr) arrow = SDL_CreateSystemCursor(SDL_SYSTEM_CURSOR_ARROW);
        if (wait == nullptr) wait = SDL_CreateSystemCursor(SDL_SYSTEM_CURSOR_WAIT);
        SDL_Cursor* cursor = id == IDC_WAIT ? wait : arrow;
        if (cursor != nullptr) SDL_SetCursor(cursor);
        SDL_ShowCursor(visible && id != 0 ? SDL_ENABLE : SDL_DISABLE);
    }

    // The box is never taller than the screen: a longer text shows its
    // first entries and says that the whole text is on standard error,
    // where it goes first (and so needs no other output when no box can be
    // shown). Return and Escape both press OK.
    bool ShowMessageBox(const char* text, const char* caption) override
    {
        int width = 0;
        int height = 0;
        ScreenSize(&width, &height);
        static char fitted[65536];
        bool cut = FitMessageToLines(text, (height - kBoxChrome) / kBoxLineHeight, fitted, sizeof fitted);
        if (cut) WriteMessageToStderr(text, caption);
        SDL_MessageBoxButtonData ok = {
            SDL_MESSAGEBOX_BUTTON_RETURNKEY_DEFAULT | SDL_MESSAGEBOX_BUTTON_ESCAPEKEY_DEFAULT, 0, "OK"};
        SDL_MessageBoxData box = {SDL_MESSAGEBOX_ERROR, nullptr, caption, cut ? fitted : text, 1, &ok, nullptr};
        int pressed = 0;
        return SDL_ShowMessageBox(&box, &pressed) == 0 || cut;
    }

    void ShowOverlay(const char* text) override { std::snprintf(overlay, sizeof overlay, "%s", text); }

    void ShowSeekBar(const SeekBar* bar) override
    {
        seekBarShown = bar != nullptr;
        if (bar != nullptr) seekBar = *bar;
    }

    bool RunDialog(WindowRecord& dialog, const DialogTemplate& dialogTemplate) override
    {
        return RunModeDialog(dialog, dialogTemplate);
    }

    // Fullscreen modes as every desktop backend has them; a 32-bit desktop.
    void DesktopFormat(int* width, int* height, DDPIXELFORMAT* format) override
    {
        ScreenSize(width, height);
        ModeFormat(0, 0, 32, format);
    }

    bool EnterFullscreen(HWND window, int width, int height, const DDPIXELFORMAT& format) override
    {
        Uint32 textureFormat =
            TextureFormat(LayoutOf(static_cast<int>(format.dwRGBBitCount), format.dwRBitMask, format.dwGBitMask,
                                   format.dwBBitMask));
        if (!Prepare(window, width, height, textureFormat)) return false;
        SetFullscreen(static_cast<SDL_Window*>(displayWindow->native), true);
        return true;
    }

    void LeaveFullscreen() override
    {
        if (displayWindow != nullptr && displayWindow->native != nullptr) {
            SetFullscreen(static_cast<SDL_Window*>(displayWindow->native), false);
        }
    }

    void ShowFlipped(const FrameView& frame) override
    {
        if (texture == nullptr || frame.width != textureWidth || frame.height != textureHeight) return;
        SDL_UpdateTexture(texture, nullptr, frame.pixels, frame.pitch);
        Present();
    }

    // The window's part of the desktop surface: the window shows it, at the
    // place within the window that lies on the desktop.
    void ShowWindowed(HWND window, const FrameView& part) override
    {
        RECT r = {};
        if (!GetWindowRect(window, &r)) return;
        if (!Prepare(window, r.right - r.left, r.bottom - r.top, TextureFormat(part.layout))) return;
        SDL_Rect target = {r.left < 0 ? -r.left : 0, r.top < 0 ? -r.top : 0, part.width, part.height};
        SDL_UpdateTexture(texture, &target, part.pixels, part.pitch);
        Present();
    }

    void SurfacesReleased() override
    {
        if (texture != nullptr) SDL_DestroyTexture(texture);
        texture = nullptr;
        ReleaseEnlarged();
        ReleaseLabel();
    }

    void ReleaseLabel()
    {
        if (label != nullptr) SDL_DestroyTexture(label);
        label = nullptr;
        labelScene = -1;
    }

    void ReleaseEnlarged()
    {
        if (enlarged != nullptr) SDL_DestroyTexture(enlarged);
        enlarged = nullptr;
        enlargedWidth = enlargedHeight = 0;
    }

    void DeviceReleased() override { CloseDisplay(); }

    // Alt+Enter: fullscreen <-> window, whatever the mode.
    void ToggleFullscreen(SDL_Window* window) { SetFullscreen(window, fullscreenWindow != window); }

    // Fullscreen is the window over the whole screen: the window manager's
    // fullscreen state where one runs; without one the window itself is
    // moved and sized to cover the screen. Back in a window, it has the
    // position and size it had before.
    void SetFullscreen(SDL_Window* window, bool on)
    {
        if (on == (fullscreenWindow == window)) return;
        if (on) {
            if (fullscreenWindow != nullptr) SetFullscreen(fullscreenWindow, false);
            SDL_Rect screen;
            if (SDL_GetDisplayBounds(SDL_GetWindowDisplayIndex(window), &screen) != 0) return;
            SDL_GetWindowPosition(window, &windowedPlace.x, &windowedPlace.y);
            SDL_GetWindowSize(window, &windowedPlace.w, &windowedPlace.h);
            managedFullscreen = HasWindowManager(window);
            fullscreenWindow = window;
            if (managedFullscreen) {
                SDL_SetWindowFullscreen(window, SDL_WINDOW_FULLSCREEN_DESKTOP);
            } else {
                SDL_SetWindowPosition(window, screen.x, screen.y);
                SDL_SetWindowSize(window, screen.w, screen.h);
                SDL_RaiseWindow(window);
            }
        } else {
            fullscreenWindow = nullptr;
            if (managedFullscreen) SDL_SetWindowFullscreen(window, 0);
            SDL_SetWindowSize(window, windowedPlace.w, windowedPlace.h);
            SDL_SetWindowPosition(window, windowedPlace.x, windowedPlace.y);
        }
    }

    void FreeCursors()
    {
        if (arrow != nullptr) SDL_FreeCursor(arrow);
        if (wait != nullptr) SDL_FreeCursor(wait);
        arrow = wait = nullptr;
    }

    void CloseDisplay()
    {
        SurfacesReleased();
        if (renderer != nullptr) SDL_DestroyRenderer(renderer);
        renderer = nullptr;
        displayWindow = nullptr;
    }

    // The process is ending without Uninstall (the display connection may
    // already be gone): forget the renderer, texture and cursors without
    // calling SDL, so that the releases still to come find nothing to do.
    void Abandon()
    {
        texture = nullptr;
        enlarged = nullptr;
        label = nullptr;
        (void)labelFont.release();
        renderer = nullptr;
        displayWindow = nullptr;
        fullscreenWindow = nullptr;
        arrow = wait = nullptr;
    }

private:
    HWND FindByNative(Uint32 windowId) const
    {
        for (int i = 0; i < WindowCount(); ++i) {
            WindowRecord* r = FindWindowRecord(WindowAt(i));
            if (r != nullptr && r->alive && !r->isDialog && r->native != nullptr &&
                SDL_GetWindowID(static_cast<SDL_Window*>(r->native)) == windowId) {
                return r;
            }
        }
        return nullptr;
    }

    void Translate(const SDL_Event& e)
    {
        switch (e.type) {
        case SDL_QUIT:
            for (int i = 0; i < WindowCount(); ++i) {
                WindowRecord* r = FindWindowRecord(WindowAt(i));
                if (r != nullptr && r->alive && !r->isDialog) PostMessage(r, WM_CLOSE, 0, 0);
            }
            break;
        case SDL_WINDOWEVENT: {
            HWND window = FindByNative(e.window.windowID);
            if (window == nullptr) break;
            switch (e.window.event) {
            case SDL_WINDOWEVENT_FOCUS_GAINED:
            case SDL_WINDOWEVENT_RESTORED: NotifyFocus(window, true); break;
            case SDL_WINDOWEVENT_FOCUS_LOST:
            case SDL_WINDOWEVENT_MINIMIZED: NotifyFocus(window, false); break;
            case SDL_WINDOWEVENT_MOVED: {
                // Fullscreen moves the window to the corner; only a window's
                // own position on the desktop counts. The record keeps its
                // size about the centre of a zoomed or resized window.
                auto* native = static_cast<SDL_Window*>(window->native);
                if (native == fullscreenWindow) break;
                int width = 0;
                int height = 0;
                SDL_GetWindowSize(native, &width, &height);
                NotifyMoved(window, e.window.data1 + (width - window->width) / 2,
                            e.window.data2 + (height - window->height) / 2);
                break;
            }
            case SDL_WINDOWEVENT_CLOSE: PostMessage(window, WM_CLOSE, 0, 0); break;
            default: break;
            }
            break;
        }
        case SDL_KEYDOWN: {
            HWND window = FindByNative(e.key.windowID);
            if (window == nullptr) break;
            SDL_Keycode key = e.key.keysym.sym;
            if ((key == SDLK_RETURN || key == SDLK_KP_ENTER) && (e.key.keysym.mod & KMOD_ALT) != 0) {
                if (e.key.repeat == 0) ToggleFullscreen(static_cast<SDL_Window*>(window->native));
                break;
            }
            WPARAM vk = VirtualKey(key);
            if (vk != 0) PostMessage(window, WM_KEYDOWN, vk, 0);
            break;
        }
        default: break;
        }
    }

    // A renderer on the window (vsync) and a streaming texture of this size
    // and format.
    bool Prepare(HWND window, int width, int height, Uint32 format)
    {
        WindowRecord* record = FindWindowRecord(window);
        if (record == nullptr || record->native == nullptr || format == SDL_PIXELFORMAT_UNKNOWN) return false;
        if (displayWindow != record) CloseDisplay();
        if (renderer == nullptr) {
            renderer = MakeRenderer(static_cast<SDL_Window*>(record->native), SDL_RENDERER_PRESENTVSYNC);
            if (renderer == nullptr) return false;
            displayWindow = record;
            // A renderer may make the window anew, with SDL's own size
            // hints: the aspect is asked for once it is there for good.
            KeepAspect(static_cast<SDL_Window*>(record->native), record->width, record->height);
        }
        if (texture != nullptr && (textureWidth != width || textureHeight != height || textureFormat != format)) {
            SurfacesReleased();
        }
        if (texture == nullptr) {
            texture = SDL_CreateTexture(renderer, format, SDL_TEXTUREACCESS_STREAMING, width, height);
            if (texture == nullptr) return false;
            SDL_SetTextureScaleMode(texture, SDL_ScaleModeNearest);
            textureWidth = width;
            textureHeight = height;
            textureFormat = format;
        }
        return true;
    }

    // Where the picture goes on an output of this size, centred: as large
    // as fits with 4:3 kept, or (integer scaling, where the picture fits at
    // all) its largest whole multiple that fits. `whole` is that multiple,
    // at least 1.
    SDL_Rect Place(int outputWidth, int outputHeight, int* whole) const
    {
        const int w = textureWidth;
        const int h = textureHeight;
        *whole = std::max(1, std::min(outputWidth / w, outputHeight / h));
        SDL_Rect r = {0, 0, w * *whole, h * *whole};
        if (options.scaling != Scaling::Integer || r.w > outputWidth || r.h > outputHeight) {
            if (static_cast<long long>(outputWidth) * h <= static_cast<long long>(outputHeight) * w) {
                r.w = outputWidth;
                r.h = static_cast<int>(static_cast<long long>(outputWidth) * h / w);
            } else {
                r.h = outputHeight;
                r.w = static_cast<int>(static_cast<long long>(outputHeight) * w / h);
            }
        }
        r.x = (outputWidth - r.w) / 2;
        r.y = (outputHeight - r.h) / 2;
        return r;
    }

    // Sharp scaling's first step: the picture enlarged `whole` times with
    // nearest neighbour into a texture of the renderer's, which the second
    // step draws with a linear filter. Made again only when the factor or
    // the picture changes; null where the renderer cannot draw into a
    // texture (the picture is then enlarged with nearest neighbour).
    SDL_Texture* Enlarged(int whole)
    {
        const int width = textureWidth * whole;
        const int height = textureHeight * whole;
        if (enlarged != nullptr && enlargedWidth == width && enlargedHeight == height) return enlarged;
        ReleaseEnlarged();
        if (!SDL_RenderTargetSupported(renderer)) return nullptr;
        enlarged = SDL_CreateTexture(renderer, SDL_PIXELFORMAT_RGB888, SDL_TEXTUREACCESS_TARGET, width, height);
        if (enlarged == nullptr) return nullptr;
        SDL_SetTextureScaleMode(enlarged, SDL_ScaleModeLinear);
        enlargedWidth = width;
        enlargedHeight = height;
        return enlarged;
    }

    void Present()
    {
        int outputWidth = 0;
        int outputHeight = 0;
        if (SDL_GetRendererOutputSize(renderer, &outputWidth, &outputHeight) != 0 || outputWidth <= 0 ||
            outputHeight <= 0)
            return;
        int whole = 1;
        place = Place(outputWidth, outputHeight, &whole);
        SDL_SetRenderDrawColor(renderer, 0, 0, 0, 255);
        SDL_RenderClear(renderer);
        // Sharp scaling at a whole factor is nearest neighbour.
        SDL_Texture* step = nullptr;
        if (options.scaling == Scaling::Sharp && place.w != textureWidth * whole) step = Enlarged(whole);
        if (step != nullptr && SDL_SetRenderTarget(renderer, step) == 0) {
            SDL_RenderCopy(renderer, texture, nullptr, nullptr);
            SDL_SetRenderTarget(renderer, nullptr);
            SDL_RenderCopy(renderer, step, nullptr, &place);
        } else {
            SDL_RenderCopy(renderer, texture, nullptr, &place);
        }
        if (overlay[0] != '\0' || seekBarShown) {
            // Drawn in the picture's own pixels, so they scale with it.
            const float scaleX = static_cast<float>(place.w) / static_cast<float>(textureWidth);
            const float scaleY = static_cast<float>(place.h) / static_cast<float>(textureHeight);
            SDL_RenderSetViewport(renderer, &place);
            SDL_RenderSetScale(renderer, scaleX, scaleY);
            if (overlay[0] != '\0') {
                // White on a black band.
                constexpr int kScale = 2;
                SDL_SetRenderDrawColor(renderer, 0, 0, 0, 255);
                SDL_Rect band = {0, 0, TextWidth(overlay, kScale) + 8 * kScale, 13 * kScale};
                SDL_RenderFillRect(renderer, &band);
                SDL_SetRenderDrawColor(renderer, 255, 255, 255, 255);
                DrawText(renderer, overlay, 4 * kScale, 2 * kScale, kScale);
            }
            if (seekBarShown) DrawSeekBar();
            SDL_RenderSetScale(renderer, 1.0f, 1.0f);
            SDL_RenderSetViewport(renderer, nullptr);
        }
        SDL_RenderPresent(renderer);
    }

    // Along the picture's bottom: a dark band, the track with the part
    // played in white, a tick at each scene's start, the position's handle,
    // and under the track the name of the scene at the position and the
    // time. The name's texture is made again only when the scene changes.
    void DrawSeekBar()
    {
        const int w = textureWidth;
        const int h = textureHeight;
        const int left = 16;
        const int right = w - 16;
        const int trackY = h - 34;
        const int32_t length = seekBar.length > 0 ? seekBar.length : 1;
        const int32_t position = std::clamp(seekBar.position, 0, length);
        auto at = [&](int32_t t) {
            return left + static_cast<int>(static_cast<long long>(right - left) * std::clamp(t, 0, length) / length);
        };
        SDL_SetRenderDrawBlendMode(renderer, SDL_BLENDMODE_BLEND);
        SDL_SetRenderDrawColor(renderer, 0, 0, 0, 176);
        const SDL_Rect band = {0, h - 44, w, 44};
        SDL_RenderFillRect(renderer, &band);
        SDL_SetRenderDrawBlendMode(renderer, SDL_BLENDMODE_NONE);
        SDL_SetRenderDrawColor(renderer, 96, 96, 96, 255);
        const SDL_Rect track = {left, trackY, right - left, 4};
        SDL_RenderFillRect(renderer, &track);
        SDL_SetRenderDrawColor(renderer, 255, 255, 255, 255);
        const SDL_Rect played = {left, trackY, at(position) - left, 4};
        SDL_RenderFillRect(renderer, &played);
        int scene = -1;
        SDL_SetRenderDrawColor(renderer, 255, 196, 64, 255);
        for (int i = 0; i < std::min(seekBar.sceneCount, SeekBar::kMaxScenes); ++i) {
            if (seekBar.sceneStarts[i] <= position) scene = i;
            const SDL_Rect tick = {at(seekBar.sceneStarts[i]) - 1, trackY - 5, 2, 14};
            SDL_RenderFillRect(renderer, &tick);
        }
        SDL_SetRenderDrawColor(renderer, 255, 255, 255, 255);
        const SDL_Rect handle = {at(position) - 3, trackY - 4, 6, 12};
        SDL_RenderFillRect(renderer, &handle);
        char time[48];
        std::snprintf(time, sizeof time, "%d.%02d / %d.%02d S", static_cast<int>(position / 100),
                      static_cast<int>(position % 100), static_cast<int>(length / 100),
                      static_cast<int>(length % 100));
        DrawText(renderer, time, right - TextWidth(time, 1), h - 18, 1);
        if (scene < 0 || seekBar.sceneNames[scene] == nullptr) return;
        if (scene != labelScene) {
            ReleaseLabel();
            if (labelFont == nullptr) labelFont = std::make_unique<TextFont>(kDejaVuSans, 9, 96);
            SDL_Texture* previous = SDL_GetRenderTarget(renderer);
            label = SDL_CreateTexture(renderer, SDL_PIXELFORMAT_ARGB8888, SDL_TEXTUREACCESS_TARGET,
                                      std::max(1, labelFont->Width(seekBar.sceneNames[scene])),
                                      std::max(1, labelFont->Height()));
            if (label != nullptr) {
                SDL_SetTextureBlendMode(label, SDL_BLENDMODE_BLEND);
                SDL_SetRenderTarget(renderer, label);
                SDL_SetRenderDrawColor(renderer, 0, 0, 0, 0);
                SDL_RenderClear(renderer);
                labelFont->Draw(renderer, seekBar.sceneNames[scene], 0, 0, SDL_Color{255, 255, 255, 255});
                SDL_SetRenderTarget(renderer, previous);
                labelScene = scene;
            }
        }
        if (label == nullptr) return;
        int labelWidth = 0;
        int labelHeight = 0;
        SDL_QueryTexture(label, nullptr, nullptr, &labelWidth, &labelHeight);
        const SDL_Rect where = {left, h - 20, labelWidth, labelHeight};
        SDL_RenderCopy(renderer, label, nullptr, &where);
    }

    char overlay[96] = {};
    WindowRecord* displayWindow = nullptr;
    SDL_Window* fullscreenWindow = nullptr;
    bool managedFullscreen = false;
    SDL_Rect windowedPlace = {};
    SDL_Renderer* renderer = nullptr;
    SDL_Texture* texture = nullptr;
    int textureWidth = 0;
    int textureHeight = 0;
    Uint32 textureFormat = 0;
    // Where the last frame went on the output.
    SDL_Rect place = {};
    SeekBar seekBar;
    bool seekBarShown = false;
    // The seek bar's scene name, drawn once for scene `labelScene`.
    std::unique_ptr<TextFont> labelFont;
    SDL_Texture* label = nullptr;
    int labelScene = -1;
    SDL_Texture* enlarged = nullptr;
    int enlargedWidth = 0;
    int enlargedHeight = 0;
    SDL_Cursor* arrow = nullptr;
    SDL_Cursor* wait = nullptr;
};

SdlPlatform* platformInstance = nullptr;
SoundLibrary* soundInstance = nullptr;

Lasting<SdlPlatform> platformObject;
Lasting<SdlSound> deviceSound;
Lasting<ClockSound> silentSound;

// Runs at exit before any global object is destroyed. When the process ends
// with the backend still installed (the X server went away and Xlib ended
// the run), the audio device is closed and the display is left as it is:
// the global objects' own releases then call into a backend that is alive
// and no longer touches SDL's video.
void AbandonAtExit()
{
    if (platformInstance == nullptr) return;
    soundInstance->Free();
    platformInstance->Abandon();
}

// A variable that is set and not empty.
bool Given(const char* value) { return value != nullptr && *value != '\0'; }

}  // namespace

bool Install(const Options& options)
{
    Uninstall();
    // SDL's own order of drivers ends in ones that show nothing, which it
    // takes when no display opens.
    if (!Given(std::getenv("SDL_VIDEODRIVER"))) {
        const bool x = Given(std::getenv("DISPLAY"));
        const bool wayland = Given(std::getenv("WAYLAND_DISPLAY"));
        if (!x && !wayland) return false;
        SDL_SetHintWithPriority(SDL_HINT_VIDEODRIVER, x && wayland ? "x11,wayland" : x ? "x11" : "wayland",
                                SDL_HINT_OVERRIDE);
    }
    if (SDL_Init(SDL_INIT_VIDEO | SDL_INIT_EVENTS) != 0) {
        SDL_Quit();
        return false;
    }
    SDL_SetHint(SDL_HINT_RENDER_SCALE_QUALITY, "nearest");
    SDL_SetHint(SDL_HINT_VIDEO_MINIMIZE_ON_FOCUS_LOSS, "1");
    static const bool exitHandled = std::atexit(AbandonAtExit) == 0;
    (void)exitHandled;
    WatchDisplayConnection();
    platformInstance = &platformObject.Get();
    platformInstance->options = options;
    soundInstance = options.silentAudio ? static_cast<SoundLibrary*>(&silentSound.Get()) : &deviceSound.Get();
    InstallBackend(Backend{platformInstance, platformInstance, soundInstance});
    return true;
}

void Uninstall()
{
    if (platformInstance == nullptr) return;
    if (InstalledBackend().windows == platformInstance) UninstallBackend();
    soundInstance->Free();
    platformInstance->CloseDisplay();
    platformInstance->FreeCursors();
    platformInstance = nullptr;
    soundInstance = nullptr;
    SDL_Quit();
}

namespace {

bool CanRun(EnvironmentLookup environment, const char** why)
{
    if (Given(environment("DISPLAY")) || Given(environment("WAYLAND_DISPLAY"))) return true;
    if (why != nullptr) *why = "there is no display (neither DISPLAY nor WAYLAND_DISPLAY is set)";
    return false;
}

// The displays that did not open, by the names the environment gave them.
void DescribeFailure(char* error, std::size_t size)
{
    const char* x = std::getenv("DISPLAY");
    const char* wayland = std::getenv("WAYLAND_DISPLAY");
    const char* drivers = std::getenv("SDL_VIDEODRIVER");
    int used = 0;
    if (Given(x) && Given(wayland))
        used = std::snprintf(error, size, "cannot open the display \"%s\" nor the Wayland display \"%s\"", x, wayland);
    else if (Given(x))
        used = std::snprintf(error, size, "cannot open the display \"%s\"", x);
    else if (Given(wayland))
        used = std::snprintf(error, size, "cannot open the Wayland display \"%s\"", wayland);
    else
        used = std::snprintf(error, size, "cannot open a display");
    if (Given(drivers) && used >= 0 && static_cast<std::size_t>(used) < size)
        std::snprintf(error + used, size - static_cast<std::size_t>(used), " (SDL_VIDEODRIVER=%s)", drivers);
}

bool InstallEntry(const BackendSetup& setup, char* error, std::size_t errorSize)
{
    Options options;
    options.silentAudio = setup.silentAudio;
    options.zoom = setup.zoom;
    options.scaling = setup.scaling;
    if (Install(options)) return true;
    DescribeFailure(error, errorSize);
    return false;
}

}  // namespace

const BackendEntry kEntry = {"sdl", true, CanRun, InstallEntry, Uninstall};

}  // namespace platform::sdl
