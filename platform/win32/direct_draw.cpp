#include "platform/win32/direct_draw.h"

#include <cstdio>
#include <cstring>

#include "error/memory.h"
#include "platform/win32/windows_api.h"

namespace platform::win32 {

namespace {

char overlay[96] = {};

DDPIXELFORMAT FromNative(const ::DDPIXELFORMAT& native)
{
    DDPIXELFORMAT format = {};
    format.dwSize = sizeof format;
    format.dwFlags = native.dwFlags;
    format.dwFourCC = native.dwFourCC;
    format.dwRGBBitCount = native.dwRGBBitCount;
    format.dwRBitMask = native.dwRBitMask;
    format.dwGBitMask = native.dwGBitMask;
    format.dwBBitMask = native.dwBBitMask;
    format.dwRGBAlphaBitMask = native.dwRGBAlphaBitMask;
    return format;
}

::DDPIXELFORMAT ToNative(const DDPIXELFORMAT& format)
{
    ::DDPIXELFORMAT native = {};
    native.dwSize = sizeof native;
    native.dwFlags = format.dwFlags;
    native.dwFourCC = format.dwFourCC;
    native.dwRGBBitCount = format.dwRGBBitCount;
    native.dwRBitMask = format.dwRBitMask;
    native.dwGBitMask = format.dwGBitMask;
    native.dwBBitMask = format.dwBBitMask;
    native.dwRGBAlphaBitMask = format.dwRGBAlphaBitMask;
    return native;
}

::DDSCAPS2 ToNative(const DDSCAPS2& caps)
{
    ::DDSCAPS2 native = {};
    native.dwCaps = caps.dwCaps;
    native.dwCaps2 = caps.dwCaps2;
    native.dwCaps3 = caps.dwCaps3;
    native.dwCaps4 = caps.dwCaps4;
    return native;
}

// Copies `width` x `height` pixels of a 32-bit picture (`stride` pixels a
// row) into locked surface memory with their top left corner at (x, y),
// clipped to the surface, in the surface's pixel layout.
void CopyPicture(const uint32_t* pixels, int stride, int width, int height, const ::DDSURFACEDESC2& surface, int x,
                 int y)
{
    const ::DDPIXELFORMAT& f = surface.ddpfPixelFormat;
    PixelLayout layout = LayoutOf(static_cast<int>(f.dwRGBBitCount), f.dwRBitMask, f.dwGBitMask, f.dwBBitMask);
    int surfaceWidth = static_cast<int>(surface.dwWidth);
    int surfaceHeight = static_cast<int>(surface.dwHeight);
    for (int row = 0; row < height; ++row) {
        int sy = y + row;
        if (sy < 0 || sy >= surfaceHeight) continue;
        uint8_t* line = static_cast<uint8_t*>(surface.lpSurface) + static_cast<ptrdiff_t>(sy) * surface.lPitch;
        for (int column = 0; column < width; ++column) {
            int sx = x + column;
            if (sx < 0 || sx >= surfaceWidth) continue;
            uint32_t p = pixels[row * stride + column] & 0xFFFFFF;
            uint32_t r = p >> 16;
            uint32_t g = (p >> 8) & 0xFF;
            uint32_t b = p & 0xFF;
            switch (layout) {
            case PixelLayout::XRGB8888: std::memcpy(line + sx * 4, &p, 4); break;
            case PixelLayout::BGR24:
                line[sx * 3] = static_cast<uint8_t>(b);
                line[sx * 3 + 1] = static_cast<uint8_t>(g);
                line[sx * 3 + 2] = static_cast<uint8_t>(r);
                break;
            case PixelLayout::RGB565: {
                auto word = static_cast<uint16_t>((r >> 3) << 11 | (g >> 2) << 5 | b >> 3);
                std::memcpy(line + sx * 2, &word, 2);
                break;
            }
            case PixelLayout::RGB555: {
                auto word = static_cast<uint16_t>((r >> 3) << 10 | (g >> 3) << 5 | b >> 3);
                std::memcpy(line + sx * 2, &word, 2);
                break;
            }
            case PixelLayout::Other: return;
            }
        }
    }
}

// A GDI memory picture of this size, 32 bits a pixel, rows top to bottom,
// with the default GUI font, white text on a transparent background.
bool MakePicture(int width, int height, HDC* dc, HBITMAP* bitmap, uint32_t** pixels)
{
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    *dc = ::CreateCompatibleDC(nullptr);
    void* bits = nullptr;
    *bitmap = *dc != nullptr ? ::CreateDIBSection(*dc, &info, DIB_RGB_COLORS, &bits, nullptr, 0) : nullptr;
    if (*bitmap == nullptr) {
        if (*dc != nullptr) ::DeleteDC(*dc);
        *dc = nullptr;
        return false;
    }
    *pixels = static_cast<uint32_t*>(bits);
    ::SelectObject(*dc, *bitmap);
    ::SelectObject(*dc, ::GetStockObject(DEFAULT_GUI_FONT));
    ::SetBkMode(*dc, TRANSPARENT);
    ::SetTextColor(*dc, RGB(255, 255, 255));
    return true;
}

// The overlay line, rendered by GDI (white on a black band) into a small
// picture of its own whenever the text changes, and copied into each frame's
// locked surface before it is unlocked or flipped: it shows with the frame,
// never after it.
class OverlayPicture {
public:
    static constexpr int kWidth = 320;
    static constexpr int kHeight = 20;

    // Renders the current text if it changed; false when there is none to
    // draw (or no picture to draw it in).
    bool Update()
    {
        if (overlay[0] == '\0') return false;
        if (std::strcmp(overlay, rendered) == 0) return bitmap != nullptr;
        if (bitmap == nullptr && !Make()) return false;
        std::snprintf(rendered, sizeof rendered, "%s", overlay);
        std::memset(pixels, 0, sizeof(uint32_t) * kWidth * kHeight);
        int length = static_cast<int>(std::strlen(rendered));
        ::TextOutA(dc, 8, 3, rendered, length);
        ::GdiFlush();
        SIZE extent = {};
        ::GetTextExtentPoint32A(dc, rendered, length, &extent);
        width = extent.cx + 16 < kWidth ? static_cast<int>(extent.cx) + 16 : kWidth;
        return true;
    }

    // Copies the band into locked surface memory with its top left corner
    // at (x, y), clipped to the surface, in the surface's pixel layout.
    void CopyTo(const ::DDSURFACEDESC2& surface, int x, int y) const
    {
        CopyPicture(pixels, kWidth, width, kHeight, surface, x, y);
    }

private:
    bool Make() { return MakePicture(kWidth, kHeight, &dc, &bitmap, &pixels); }

    HDC dc = nullptr;
    HBITMAP bitmap = nullptr;
    uint32_t* pixels = nullptr;
    char rendered[sizeof overlay] = {};
    int width = 0;
};

OverlayPicture overlayPicture;

SeekBar seekBar;
bool seekBarShown = false;

// The seek bar, drawn into a GDI picture as wide as the frame whenever
// its position or the scene under it changes, and copied over the frame's
// bottom rows like the overlay line: a dark band, the track with the part
// played in white, a tick at each scene's start, the position's handle, and
// the scene's name and the time under the track.
class SeekBarPicture {
public:
    static constexpr int kWidth = 640;
    static constexpr int kHeight = 44;

    bool Update()
    {
        if (!seekBarShown) return false;
        if (bitmap == nullptr && !MakePicture(kWidth, kHeight, &dc, &bitmap, &pixels)) return false;
        if (seekBar.position == drawnPosition && seekBar.length == drawnLength) return true;
        drawnPosition = seekBar.position;
        drawnLength = seekBar.length;
        const int32_t length = seekBar.length > 0 ? seekBar.length : 1;
        const int32_t position = seekBar.position < 0 ? 0 : seekBar.position > length ? length : seekBar.position;
        constexpr int kLeft = 16;
        constexpr int kRight = kWidth - 16;
        constexpr int kTrack = 10;
        auto at = [&](int32_t t) {
            if (t < 0) t = 0;
            if (t > length) t = length;
            return kLeft + static_cast<int>(static_cast<long long>(kRight - kLeft) * t / length);
        };
        Fill(0, 0, kWidth, kHeight, 0x282828);
        Fill(kLeft, kTrack, kRight - kLeft, 4, 0x606060);
        Fill(kLeft, kTrack, at(position) - kLeft, 4, 0xFFFFFF);
        int scene = -1;
        const int scenes = seekBar.sceneCount < SeekBar::kMaxScenes ? seekBar.sceneCount : SeekBar::kMaxScenes;
        for (int i = 0; i < scenes; ++i) {
            if (seekBar.sceneStarts[i] <= position) scene = i;
            Fill(at(seekBar.sceneStarts[i]) - 1, kTrack - 5, 2, 14, 0xFFC440);
        }
        Fill(at(position) - 3, kTrack - 4, 6, 12, 0xFFFFFF);
        if (scene >= 0 && seekBar.sceneNames[scene] != nullptr) {
            ::SetTextAlign(dc, TA_LEFT | TA_TOP);
            ::TextOutA(dc, kLeft, 24, seekBar.sceneNames[scene], static_cast<int>(std::strlen(seekBar.sceneNames[scene])));
        }
        char time[48];
        std::snprintf(time, sizeof time, "%d.%02d / %d.%02d s", static_cast<int>(position / 100),
                      static_cast<int>(position % 100), static_cast<int>(length / 100), static_cast<int>(length % 100));
        ::SetTextAlign(dc, TA_RIGHT | TA_TOP);
        ::TextOutA(dc, kRight, 24, time, static_cast<int>(std::strlen(time)));
        ::GdiFlush();
        return true;
    }

    // Copies the bar into locked surface memory with its top left corner at
    // (x, y), clipped to the surface.
    void CopyTo(const ::DDSURFACEDESC2& surface, int x, int y) const
    {
        CopyPicture(pixels, kWidth, kWidth, kHeight, surface, x, y);
    }

private:
    // A rectangle of the picture in one colour (0xRRGGBB), clipped to it.
    void Fill(int x, int y, int w, int h, uint32_t colour)
    {
        for (int row = y < 0 ? 0 : y; row < y + h && row < kHeight; ++row)
            for (int column = x < 0 ? 0 : x; column < x + w && column < kWidth; ++column)
                pixels[row * kWidth + column] = colour;
    }

    HDC dc = nullptr;
    HBITMAP bitmap = nullptr;
    uint32_t* pixels = nullptr;
    int32_t drawnPosition = -1;
    int32_t drawnLength = -1;
};

SeekBarPicture seekBarPicture;

class Device;

class Surface final : public DisplaySurface {
public:
    Surface(Device* owner, IDirectDrawSurface7* native, bool isPrimary)
        : device(owner), surface(native), primary(isPrimary)
    {
    }

    HRESULT Lock(const RECT* rect, DDSURFACEDESC2* desc, uint32_t flags, void* event) override;
    HRESULT Unlock(const RECT* rect) override;
    HRESULT Flip(DisplaySurface* target, uint32_t flags) override;
    HRESULT Restore() override { return surface->Restore(); }
    HRESULT GetAttachedSurface(const DDSCAPS2* caps, DisplaySurface** attached) override;
    HRESULT GetPixelFormat(DDPIXELFORMAT* format) override;
    uint32_t Release() override;

    Device* device;
    IDirectDrawSurface7* surface;
    bool primary;
    Surface* back = nullptr;  // primary of a flipping chain: its back buffer
    ::DDSURFACEDESC2 locked = {};  // while locked: the memory and its layout
};

class Device final : public DisplayDevice {
public:
    explicit Device(IDirectDraw7* native) : directDraw(native) {}

    HRESULT SetCooperativeLevel(HWND w, uint32_t flags) override
    {
        WindowRecord* record = FindWindowRecord(w);
        auto native = record != nullptr ? static_cast<::HWND>(record->native) : nullptr;
        HRESULT result = directDraw->SetCooperativeLevel(native, flags);
        if (result == DD_OK) {
            window = native;
            windowed = (flags & DDSCL_NORMAL) != 0;
        }
        return result;
    }

    HRESULT SetDisplayMode(uint32_t width, uint32_t height, uint32_t bpp, uint32_t refreshRate,
                           uint32_t flags) override
    {
        return directDraw->SetDisplayMode(width, height, bpp, refreshRate, flags);
    }

    HRESULT RestoreDisplayMode() override { return directDraw->RestoreDisplayMode(); }

    HRESULT CreateSurface(DDSURFACEDESC2* desc, DisplaySurface** surface, void* outer) override
    {
        if (surface == nullptr) return DDERR_INVALIDPARAMS;
        *surface = nullptr;
        if (desc == nullptr || desc->dwSize != sizeof(DDSURFACEDESC2) || outer != nullptr) {
            return DDERR_INVALIDPARAMS;
        }
        ::DDSURFACEDESC2 native = {};
        native.dwSize = sizeof native;
        native.dwFlags = desc->dwFlags;
        native.dwWidth = desc->dwWidth;
        native.dwHeight = desc->dwHeight;
        native.dwBackBufferCount = desc->dwBackBufferCount;
        native.ddsCaps = ToNative(desc->ddsCaps);
        if ((desc->dwFlags & DDSD_PIXELFORMAT) != 0) native.ddpfPixelFormat = ToNative(desc->ddpfPixelFormat);
        IDirectDrawSurface7* created = nullptr;
        HRESULT result = directDraw->CreateSurface(&native, &created, nullptr);
        if (result != DD_OK) return result;
        bool isPrimary = (desc->ddsCaps.dwCaps & DDSCAPS_PRIMARYSURFACE) != 0;
        Surface* wrapped = orchid::MemNew<Surface>(this, created, isPrimary);
        if (wrapped == nullptr) {
            created->Release();
            return DDERR_OUTOFMEMORY;
        }
        if (isPrimary) primarySurface = wrapped;
        *surface = wrapped;
        return DD_OK;
    }

    uint32_t Release() override
    {
        // Surfaces go with the DirectDraw object that made them.
        if (primarySurface != nullptr) primarySurface->Release();
        ULONG left = directDraw->Release();
        orchid::MemDelete(this);
        return left;
    }

    IDirectDraw7* directDraw;
    ::HWND window = nullptr;
    bool windowed = false;
    Surface* primarySurface = nullptr;
};

HRESULT Surface::Lock(const RECT* rect, DDSURFACEDESC2* desc, uint32_t flags, void*)
{
    if (rect != nullptr || desc == nullptr || desc->dwSize != sizeof(DDSURFACEDESC2)) return DDERR_INVALIDPARAMS;
    ::DDSURFACEDESC2 native = {};
    native.dwSize = sizeof native;
    HRESULT result = surface->Lock(nullptr, &native, flags, nullptr);
    if (result != DD_OK) return result;
    locked = native;
    desc->dwFlags = native.dwFlags;
    desc->dwWidth = native.dwWidth;
    desc->dwHeight = native.dwHeight;
    desc->lPitch = native.lPitch;
    desc->dwBackBufferCount = native.dwBackBufferCount;
    desc->lpSurface = native.lpSurface;
    desc->ddpfPixelFormat = FromNative(native.ddpfPixelFormat);
    desc->ddsCaps = DDSCAPS2{native.ddsCaps.dwCaps, native.ddsCaps.dwCaps2, native.ddsCaps.dwCaps3,
                             native.ddsCaps.dwCaps4};
    return DD_OK;
}

HRESULT Surface::Unlock(const RECT* rect)
{
    if (rect != nullptr) return DDERR_INVALIDPARAMS;
    // The frame is in the surface: the back buffer's top left corner, or,
    // windowed, the desktop's surface at the window's place.
    if (locked.lpSurface != nullptr && overlayPicture.Update()) {
        ::RECT r = {};
        if (!primary) {
            overlayPicture.CopyTo(locked, 0, 0);
        } else if (device->windowed && device->window != nullptr && ::GetWindowRect(device->window, &r) != 0) {
            overlayPicture.CopyTo(locked, r.left, r.top);
        }
    }
    if (locked.lpSurface != nullptr && seekBarPicture.Update()) {
        ::RECT r = {};
        const int height = SeekBarPicture::kHeight;
        if (!primary) {
            seekBarPicture.CopyTo(locked, 0, static_cast<int>(locked.dwHeight) - height);
        } else if (device->windowed && device->window != nullptr && ::GetWindowRect(device->window, &r) != 0) {
            seekBarPicture.CopyTo(locked, r.left, r.bottom - height);
        }
    }
    locked = ::DDSURFACEDESC2{};
    return surface->Unlock(nullptr);
}

HRESULT Surface::Flip(DisplaySurface* target, uint32_t flags)
{
    if (target != nullptr) return DDERR_INVALIDPARAMS;
    return surface->Flip(nullptr, flags);
}

HRESULT Surface::GetAttachedSurface(const DDSCAPS2* caps, DisplaySurface** attached)
{
    if (caps == nullptr || attached == nullptr) return DDERR_INVALIDPARAMS;
    *attached = nullptr;
    if (back != nullptr) {
        *attached = back;
        return DD_OK;
    }
    ::DDSCAPS2 wanted = ToNative(*caps);
    IDirectDrawSurface7* found = nullptr;
    HRESULT result = surface->GetAttachedSurface(&wanted, &found);
    if (result != DD_OK) return result;
    back = orchid::MemNew<Surface>(device, found, false);
    if (back == nullptr) {
        found->Release();
        return DDERR_OUTOFMEMORY;
    }
    *attached = back;
    return DD_OK;
}

HRESULT Surface::GetPixelFormat(DDPIXELFORMAT* format)
{
    if (format == nullptr || format->dwSize != sizeof(DDPIXELFORMAT)) return DDERR_INVALIDPARAMS;
    ::DDPIXELFORMAT native = {};
    native.dwSize = sizeof native;
    HRESULT result = surface->GetPixelFormat(&native);
    if (result == DD_OK) *format = FromNative(native);
    return result;
}

uint32_t Surface::Release()
{
    // An attached back buffer goes with its primary.
    if (!primary) return 1;
    if (back != nullptr) {
        back->surface->Release();
        orchid::MemDelete(back);
        back = nullptr;
    }
    if (device->primarySurface == this) device->primarySurface = nullptr;
    ULONG left = surface->Release();
    orchid::MemDelete(this);
    return left;
}

}  // namespace

HRESULT DirectDrawDriver::CreateDevice(DisplayDevice** device)
{
    if (device == nullptr) return DDERR_INVALIDPARAMS;
    *device = nullptr;
    IDirectDraw7* native = nullptr;
    HRESULT result = ::DirectDrawCreateEx(nullptr, reinterpret_cast<void**>(&native), IID_IDirectDraw7, nullptr);
    if (result != DD_OK) return result;
    Device* created = orchid::MemNew<Device>(native);
    if (created == nullptr) {
        native->Release();
        return DDERR_OUTOFMEMORY;
    }
    *device = created;
    return DD_OK;
}

void DirectDrawDriver::SetOverlay(const char* text) { std::snprintf(overlay, sizeof overlay, "%s", text); }

void DirectDrawDriver::SetSeekBar(const SeekBar* bar)
{
    seekBarShown = bar != nullptr;
    if (bar != nullptr) seekBar = *bar;
}

}  // namespace platform::win32
