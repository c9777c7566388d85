// The display device: a device object with a cooperative level and a
// display mode, a primary surface (with one attached back buffer in a
// fullscreen flipping chain), lock and unlock with a pitch that may exceed
// the row, the pixel format with its colour masks, flip, restore and lost
// surfaces. Result codes follow the desktop's display interface, so the
// display class above reads like its description.
//
// Surfaces hold their pixels in exactly the format they report: 32-bit
// XRGB (the top byte is ignored by every output), 24-bit blue-green-red
// bytes, 16-bit 5-6-5 or 5-5-5 words.
#pragma once

#include <cstdint>

#include "platform/window.h"

namespace platform {

using HRESULT = int32_t;

constexpr HRESULT MakeDisplayResult(uint32_t code) { return static_cast<HRESULT>(0x88760000u | code); }

constexpr HRESULT DD_OK = 0;
constexpr HRESULT DDERR_SURFACELOST = MakeDisplayResult(450);      // 0x887601C2
constexpr HRESULT DDERR_WASSTILLDRAWING = MakeDisplayResult(540);  // 0x8876021C
constexpr HRESULT DDERR_GENERIC = static_cast<HRESULT>(0x80004005u);
constexpr HRESULT DDERR_INVALIDPARAMS = static_cast<HRESULT>(0x80070057u);
constexpr HRESULT DDERR_OUTOFMEMORY = static_cast<HRESULT>(0x8007000Eu);
constexpr HRESULT DDERR_INVALIDMODE = MakeDisplayResult(120);
constexpr HRESULT DDERR_NOEXCLUSIVEMODE = MakeDisplayResult(225);
constexpr HRESULT DDERR_SURFACEBUSY = MakeDisplayResult(430);
constexpr HRESULT DDERR_NOTLOCKED = MakeDisplayResult(584);
constexpr HRESULT DDERR_NOTFLIPPABLE = MakeDisplayResult(582);
constexpr HRESULT DDERR_NODIRECTDRAWHW = MakeDisplayResult(563);
constexpr HRESULT DDERR_NOTFOUND = MakeDisplayResult(255);
constexpr HRESULT DDERR_NOCOOPERATIVELEVELSET = MakeDisplayResult(212);
constexpr HRESULT DDERR_PRIMARYSURFACEALREADYEXISTS = MakeDisplayResult(564);

// Cooperative levels.
constexpr uint32_t DDSCL_FULLSCREEN = 0x1;
constexpr uint32_t DDSCL_ALLOWREBOOT = 0x2;
constexpr uint32_t DDSCL_NORMAL = 0x8;
constexpr uint32_t DDSCL_EXCLUSIVE = 0x10;

// Surface description flags.
constexpr uint32_t DDSD_CAPS = 0x1;
constexpr uint32_t DDSD_HEIGHT = 0x2;
constexpr uint32_t DDSD_WIDTH = 0x4;
constexpr uint32_t DDSD_PITCH = 0x8;
constexpr uint32_t DDSD_BACKBUFFERCOUNT = 0x20;
constexpr uint32_t DDSD_LPSURFACE = 0x800;
constexpr uint32_t DDSD_PIXELFORMAT = 0x1000;

// Surface capabilities.
constexpr uint32_t DDSCAPS_BACKBUFFER = 0x4;
constexpr uint32_t DDSCAPS_COMPLEX = 0x8;
constexpr uint32_t DDSCAPS_FLIP = 0x10;
constexpr uint32_t DDSCAPS_FRONTBUFFER = 0x20;
constexpr uint32_t DDSCAPS_PRIMARYSURFACE = 0x200;

// Lock flags.
constexpr uint32_t DDLOCK_WAIT = 0x1;

// Pixel format flags.
constexpr uint32_t DDPF_RGB = 0x40;

struct DDPIXELFORMAT {
    uint32_t dwSize;  // sizeof(DDPIXELFORMAT), 32
    uint32_t dwFlags;
    uint32_t dwFourCC;
    uint32_t dwRGBBitCount;
    uint32_t dwRBitMask;
    uint32_t dwGBitMask;
    uint32_t dwBBitMask;
    uint32_t dwRGBAlphaBitMask;
};

struct DDSCAPS2 {
    uint32_t dwCaps;
    uint32_t dwCaps2;
    uint32_t dwCaps3;
    uint32_t dwCaps4;
};

struct DDSURFACEDESC2 {
    uint32_t dwSize;  // sizeof(DDSURFACEDESC2)
    uint32_t dwFlags;
    uint32_t dwHeight;
    uint32_t dwWidth;
    int32_t lPitch;  // bytes from one row to the next
    uint32_t dwBackBufferCount;
    void* lpSurface;  // the pixels while locked
    DDPIXELFORMAT ddpfPixelFormat;
    DDSCAPS2 ddsCaps;
};

class DisplaySurface {
public:
    // Locks the whole surface (rect must be null) and fills in the pixel
    // address, pitch, size and format.
    virtual HRESULT Lock(const RECT* rect, DDSURFACEDESC2* desc, uint32_t flags, void* event) = 0;
    virtual HRESULT Unlock(const RECT* rect) = 0;
    // Primary of a flipping chain only: shows the back buffer.
    virtual HRESULT Flip(DisplaySurface* target, uint32_t flags) = 0;
    virtual HRESULT Restore() = 0;
    virtual HRESULT GetAttachedSurface(const DDSCAPS2* caps, DisplaySurface** surface) = 0;
    virtual HRESULT GetPixelFormat(DDPIXELFORMAT* format) = 0;
    // Releases the surface; releasing a primary releases its whole chain,
    // and an attached back buffer is released with it.
    virtual uint32_t Release() = 0;

protected:
    ~DisplaySurface() = default;
};

class DisplayDevice {
public:
    virtual HRESULT SetCooperativeLevel(HWND window, uint32_t flags) = 0;
    virtual HRESULT SetDisplayMode(uint32_t width, uint32_t height, uint32_t bpp, uint32_t refreshRate,
                                   uint32_t flags) = 0;
    virtual HRESULT RestoreDisplayMode() = 0;
    virtual HRESULT CreateSurface(DDSURFACEDESC2* desc, DisplaySurface** surface, void* outer) = 0;
    virtual uint32_t Release() = 0;

protected:
    ~DisplayDevice() = default;
};

// Creates the device of the installed backend (guid and outer must be null).
HRESULT DirectDrawCreateEx(const void* guid, DisplayDevice** device, void* outer);

}  // namespace platform
