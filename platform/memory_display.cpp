// The display device over surfaces in memory. Every backend without a
// display driver of its own (platform/backend.h) shares it; the backend
// decides which modes exist and shows what is flipped (fullscreen)
// or unlocked (the desktop surface, windowed).
#include <cstring>

#include "error/memory.h"
#include "platform/backend.h"
#include "platform/display.h"

namespace platform {

PixelLayout LayoutOf(int bpp, uint32_t redMask, uint32_t greenMask, uint32_t blueMask)
{
    if (bpp == 32) return PixelLayout::XRGB8888;
    if (bpp == 24) return PixelLayout::BGR24;
    if (bpp == 16 && redMask == 0xF800 && greenMask == 0x07E0 && blueMask == 0x001F) return PixelLayout::RGB565;
    if (bpp == 16 && redMask == 0x7C00 && greenMask == 0x03E0 && blueMask == 0x001F) return PixelLayout::RGB555;
    return PixelLayout::Other;
}

namespace {

class MemoryDevice;

class MemorySurface final : public DisplaySurface {
public:
    MemorySurface(MemoryDevice* owner, int w, int h, const DDPIXELFORMAT& pf, uint32_t surfaceCaps)
        : device(owner), width(w), height(h), format(pf), caps(surfaceCaps)
    {
    }

    // Allocates the pixels; false when memory runs out.
    bool Allocate(int rowPadding)
    {
        int bytesPerPixel = static_cast<int>((format.dwRGBBitCount + 7) / 8);
        pitch = width * bytesPerPixel + (rowPadding > 0 ? rowPadding : 0);
        pixels = static_cast<uint8_t*>(orchid::MemAlloc(static_cast<size_t>(pitch) * static_cast<size_t>(height)));
        return pixels != nullptr;
    }

    void FreePixels()
    {
        orchid::MemFree(pixels);
        pixels = nullptr;
    }

    FrameView View() const
    {
        return FrameView{pixels, width, height, pitch, static_cast<int>(format.dwRGBBitCount),
                         LayoutOf(static_cast<int>(format.dwRGBBitCount), format.dwRBitMask, format.dwGBitMask,
                                  format.dwBBitMask)};
    }

    HRESULT Lock(const RECT* rect, DDSURFACEDESC2* desc, uint32_t flags, void* event) override;
    HRESULT Unlock(const RECT* rect) override;
    HRESULT Flip(DisplaySurface* target, uint32_t flags) override;
    HRESULT Restore() override;
    HRESULT GetAttachedSurface(const DDSCAPS2* caps, DisplaySurface** surface) override;
    HRESULT GetPixelFormat(DDPIXELFORMAT* pf) override;
    uint32_t Release() override;

    MemoryDevice* device;
    int width;
    int height;
    int32_t pitch = 0;
    DDPIXELFORMAT format;
    uint32_t caps;
    uint8_t* pixels = nullptr;
    bool locked = false;
    MemorySurface* back = nullptr;  // primary of a flipping chain: its back buffer
};

class MemoryDevice final : public DisplayDevice {
public:
    explicit MemoryDevice(DisplayBackend* display) : backend(display) {}

    HRESULT SetCooperativeLevel(HWND w, uint32_t flags) override
    {
        HRESULT check = backend->Check(DisplayCall::CooperativeLevel);
        if (check != DD_OK) return check;
        bool normal = (flags & DDSCL_NORMAL) != 0;
        bool exclusive = (flags & (DDSCL_FULLSCREEN | DDSCL_EXCLUSIVE)) == (DDSCL_FULLSCREEN | DDSCL_EXCLUSIVE);
        if (normal == exclusive || !IsWindow(w)) return DDERR_INVALIDPARAMS;
        window = w;
        level = exclusive ? kExclusive : kNormal;
        return DD_OK;
    }

    HRESULT SetDisplayMode(uint32_t w, uint32_t h, uint32_t bpp, uint32_t, uint32_t) override
    {
        HRESULT check = backend->Check(DisplayCall::DisplayMode);
        if (check != DD_OK) return check;
        if (level != kExclusive) return DDERR_NOEXCLUSIVEMODE;
        if (w == 0 || h == 0 || w > 16384 || h > 16384) return DDERR_INVALIDMODE;
        DDPIXELFORMAT pf = {};
        pf.dwSize = sizeof pf;
        if (!backend->ModeFormat(static_cast<int>(w), static_cast<int>(h), static_cast<int>(bpp), &pf)) {
            return DDERR_INVALIDMODE;
        }
        if (!backend->EnterFullscreen(window, static_cast<int>(w), static_cast<int>(h), pf)) {
            return DDERR_INVALIDMODE;
        }
        modeSet = true;
        modeWidth = static_cast<int>(w);
        modeHeight = static_cast<int>(h);
        modeFormat = pf;
        return DD_OK;
    }

    HRESULT RestoreDisplayMode() override
    {
        if (modeSet) backend->LeaveFullscreen();
        modeSet = false;
        return DD_OK;
    }

    HRESULT CreateSurface(DDSURFACEDESC2* desc, DisplaySurface** surface, void* outer) override
    {
        if (surface == nullptr) return DDERR_INVALIDPARAMS;
        *surface = nullptr;
        if (desc == nullptr || desc->dwSize != sizeof(DDSURFACEDESC2) || outer != nullptr) {
            return DDERR_INVALIDPARAMS;
        }
        HRESULT check = backend->Check(DisplayCall::CreateSurface);
        if (check != DD_OK) return check;
        if ((desc->dwFlags & DDSD_CAPS) == 0 || (desc->ddsCaps.dwCaps & DDSCAPS_PRIMARYSURFACE) == 0) {
            return DDERR_INVALIDPARAMS;
        }
        if (level == kNone) return DDERR_NOCOOPERATIVELEVELSET;
        if (primary != nullptr) return DDERR_PRIMARYSURFACEALREADYEXISTS;
        bool flipping = (desc->ddsCaps.dwCaps & DDSCAPS_FLIP) != 0;
        if (flipping) {
            bool oneBack = (desc->dwFlags & DDSD_BACKBUFFERCOUNT) != 0 && desc->dwBackBufferCount == 1;
            if (!oneBack || (desc->ddsCaps.dwCaps & DDSCAPS_COMPLEX) == 0) return DDERR_INVALIDPARAMS;
            if (level != kExclusive || !modeSet) return DDERR_NOEXCLUSIVEMODE;
        }

        int w = modeWidth;
        int h = modeHeight;
        DDPIXELFORMAT pf = modeFormat;
        if (!modeSet) {
            pf = DDPIXELFORMAT{};
            pf.dwSize = sizeof pf;
            backend->DesktopFormat(&w, &h, &pf);
        }
        int padding = backend->RowPadding();
        MemorySurface* front = orchid::MemNew<MemorySurface>(this, w, h, pf,
                                                             DDSCAPS_PRIMARYSURFACE | DDSCAPS_FRONTBUFFER);
        if (front == nullptr) return DDERR_OUTOFMEMORY;
        if (!front->Allocate(padding)) {
            orchid::MemDelete(front);
            return DDERR_OUTOFMEMORY;
        }
        if (flipping) {
            front->caps |= DDSCAPS_FLIP | DDSCAPS_COMPLEX;
            MemorySurface* back =
                orchid::MemNew<MemorySurface>(this, w, h, pf, DDSCAPS_BACKBUFFER | DDSCAPS_FLIP | DDSCAPS_COMPLEX);
            if (back == nullptr || !back->Allocate(padding)) {
                if (back != nullptr) orchid::MemDelete(back);
                front->FreePixels();
                orchid::MemDelete(front);
                return DDERR_OUTOFMEMORY;
            }
            front->back = back;
        }
        primary = front;
        *surface = front;
        return DD_OK;
    }

    uint32_t Release() override
    {
        if (primary != nullptr) primary->Release();
        RestoreDisplayMode();
        DisplayBackend* display = backend;
        orchid::MemDelete(this);
        display->DeviceReleased();
        return 0;
    }

    // The desktop surface was unlocked: the window's part of it shows.
    void ShowWindowPart(const MemorySurface& surface)
    {
        RECT r = {};
        if (!GetWindowRect(window, &r)) return;
        int left = r.left < 0 ? 0 : r.left;
        int top = r.top < 0 ? 0 : r.top;
        int right = r.right > surface.width ? surface.width : r.right;
        int bottom = r.bottom > surface.height ? surface.height : r.bottom;
        if (right <= left || bottom <= top) return;
        FrameView view = surface.View();
        int bytesPerPixel = (view.bpp + 7) / 8;
        view.pixels += static_cast<size_t>(top) * static_cast<size_t>(view.pitch) +
                       static_cast<size_t>(left) * static_cast<size_t>(bytesPerPixel);
        view.width = right - left;
        view.height = bottom - top;
        backend->ShowWindowed(window, view);
    }

    enum Level { kNone, kNormal, kExclusive };

    DisplayBackend* backend;
    HWND window = nullptr;
    Level level = kNone;
    bool modeSet = false;
    int modeWidth = 0;
    int modeHeight = 0;
    DDPIXELFORMAT modeFormat = {};
    MemorySurface* primary = nullptr;
};

HRESULT MemorySurface::Lock(const RECT* rect, DDSURFACEDESC2* desc, uint32_t, void*)
{
    if (rect != nullptr || desc == nullptr || desc->dwSize != sizeof(DDSURFACEDESC2)) return DDERR_INVALIDPARAMS;
    HRESULT check = device->backend->Check(DisplayCall::Lock);
    if (check != DD_OK) return check;
    if (locked) return DDERR_SURFACEBUSY;
    locked = true;
    desc->dwFlags = DDSD_CAPS | DDSD_HEIGHT | DDSD_WIDTH | DDSD_PITCH | DDSD_LPSURFACE | DDSD_PIXELFORMAT;
    desc->dwWidth = static_cast<uint32_t>(width);
    desc->dwHeight = static_cast<uint32_t>(height);
    desc->lPitch = pitch;
    desc->lpSurface = pixels;
    desc->ddpfPixelFormat = format;
    desc->ddsCaps = DDSCAPS2{caps, 0, 0, 0};
    return DD_OK;
}

HRESULT MemorySurface::Unlock(const RECT* rect)
{
    if (rect != nullptr) return DDERR_INVALIDPARAMS;
    HRESULT check = device->backend->Check(DisplayCall::Unlock);
    if (check != DD_OK) return check;
    if (!locked) return DDERR_NOTLOCKED;
    locked = false;
    if (this == device->primary && back == nullptr && device->level == MemoryDevice::kNormal) {
        device->ShowWindowPart(*this);
    }
    return DD_OK;
}

HRESULT MemorySurface::Flip(DisplaySurface* target, uint32_t)
{
    if (target != nullptr) return DDERR_INVALIDPARAMS;
    if (back == nullptr) return DDERR_NOTFLIPPABLE;
    HRESULT check = device->backend->Check(DisplayCall::Flip);
    if (check != DD_OK) return check;
    if (locked || back->locked) return DDERR_SURFACEBUSY;
    uint8_t* shown = back->pixels;
    back->pixels = pixels;
    pixels = shown;
    device->backend->ShowFlipped(View());
    return DD_OK;
}

HRESULT MemorySurface::Restore() { return device->backend->Check(DisplayCall::Restore); }

HRESULT MemorySurface::GetAttachedSurface(const DDSCAPS2* wanted, DisplaySurface** surface)
{
    if (wanted == nullptr || surface == nullptr) return DDERR_INVALIDPARAMS;
    *surface = nullptr;
    HRESULT check = device->backend->Check(DisplayCall::AttachedSurface);
    if (check != DD_OK) return check;
    if ((wanted->dwCaps & DDSCAPS_BACKBUFFER) == 0 || back == nullptr) return DDERR_NOTFOUND;
    *surface = back;
    return DD_OK;
}

HRESULT MemorySurface::GetPixelFormat(DDPIXELFORMAT* pf)
{
    if (pf == nullptr || pf->dwSize != sizeof(DDPIXELFORMAT)) return DDERR_INVALIDPARAMS;
    *pf = format;
    return DD_OK;
}

uint32_t MemorySurface::Release()
{
    // A back buffer goes with its primary.
    if (this != device->primary) return 1;
    if (back != nullptr) {
        back->FreePixels();
        orchid::MemDelete(back);
    }
    device->primary = nullptr;
    DisplayBackend* display = device->backend;
    FreePixels();
    orchid::MemDelete(this);
    display->SurfacesReleased();
    return 0;
}

}  // namespace

HRESULT DirectDrawCreateEx(const void* guid, DisplayDevice** device, void* outer)
{
    if (device == nullptr) return DDERR_INVALIDPARAMS;
    *device = nullptr;
    if (guid != nullptr || outer != nullptr) return DDERR_INVALIDPARAMS;
    if (InstalledBackend().driver != nullptr) return InstalledBackend().driver->CreateDevice(device);
    DisplayBackend* display = InstalledBackend().display;
    if (display == nullptr) return DDERR_NODIRECTDRAWHW;
    HRESULT check = display->Check(DisplayCall::Create);
    if (check != DD_OK) return check;
    MemoryDevice* created = orchid::MemNew<MemoryDevice>(display);
    if (created == nullptr) return DDERR_OUTOFMEMORY;
    *device = created;
    return DD_OK;
}

}  // namespace platform
