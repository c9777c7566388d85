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

// The overlay text, white on a black band, through the surface's (or the
// window's) device context.
void DrawOverlay(HDC dc)
{
    int length = static_cast<int>(std::strlen(overlay));
    ::SetBkMode(dc, OPAQUE);
    ::SetBkColor(dc, RGB(0, 0, 0));
    ::SetTextColor(dc, RGB(255, 255, 255));
    ::TextOutA(dc, 8, 4, overlay, length);
}

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

    // Windowed frames are written straight into the desktop: the overlay
    // goes over them through the window's own device context.
    void DrawWindowOverlay() const
    {
        if (overlay[0] == '\0' || window == nullptr) return;
        HDC dc = ::GetDC(window);
        if (dc == nullptr) return;
        DrawOverlay(dc);
        ::ReleaseDC(window, dc);
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
    HRESULT result = surface->Unlock(nullptr);
    if (result == DD_OK && primary && back == nullptr && device->windowed) device->DrawWindowOverlay();
    return result;
}

HRESULT Surface::Flip(DisplaySurface* target, uint32_t flags)
{
    if (target != nullptr) return DDERR_INVALIDPARAMS;
    if (back != nullptr && overlay[0] != '\0') {
        HDC dc = nullptr;
        if (back->surface->GetDC(&dc) == DD_OK) {
            DrawOverlay(dc);
            back->surface->ReleaseDC(dc);
        }
    }
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

}  // namespace platform::win32
