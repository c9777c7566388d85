#include "dedraw/dedraw.h"

#include <cstring>

#include "dedraw/convert.h"
#include "error/report.h"

ORCHID_REPORT_MODULE("dedraw/dedraw");

using namespace platform;

DeDrawClass deDraw;

DeDrawClass::DeDrawClass()
    : width(0),
      height(0),
      numPixels(0),
      bpp(0),
      pixelFormat(0),
      windowed_mode(-1),
      pDD(nullptr),
      pDDSPrimary(nullptr),
      pDDSBack(nullptr),
      window(nullptr),
      initialized(0)
{
}

DeDrawClass::~DeDrawClass()
{
    if (initialized == 1) Release();
}

int DeDrawClass::Init(int width_, int height_, int bpp_, int windowed_mode_, HWND window_)
{
    if (initialized == 1) {
        REPORT(ERR_DEDRAW, "DeDrawClass already initialized.\n");
        return 0;
    }
    width = width_;
    height = height_;
    numPixels = width * height;
    bpp = bpp_;
    windowed_mode = windowed_mode_;
    window = window_;

    int ok = 0;
    if (windowed_mode == 0) {
        ok = InitFullscreen();
    } else if (windowed_mode == 1) {
        ok = InitWindowed();
    } else {
        REPORT(ERR_DEDRAW, "'int windowed_mode' must contain TRUE or FALSE.\n");
        return 0;
    }
    if (ok == 0) return 0;
    initialized = 1;
    return 1;
}

// A failed set-up releases what it had made at once (the desktop gets its
// mode back), before the report ends the run.
int DeDrawClass::InitFullscreen()
{
    if (DirectDrawCreateEx(nullptr, &pDD, nullptr) != DD_OK) {
        pDD = nullptr;
        REPORT(ERR_DIRECTDRAW, "DirectDrawCreateEx failed.\n");
        return 0;
    }
    if (pDD->SetCooperativeLevel(window, DDSCL_FULLSCREEN | DDSCL_ALLOWREBOOT | DDSCL_EXCLUSIVE) != DD_OK) {
        ReleaseFullscreen(1);
        REPORT(ERR_DIRECTDRAW, "pDD->SetCooperativeLevel failed.\n");
        return 0;
    }
    if (pDD->SetDisplayMode(static_cast<uint32_t>(width), static_cast<uint32_t>(height), static_cast<uint32_t>(bpp),
                            0, 0) != DD_OK) {
        ReleaseFullscreen(1);
        errorLog.ThrowFatal("Could not change display mode.\n");
        return 0;
    }

    DDSURFACEDESC2 desc = {};
    desc.dwSize = sizeof desc;
    desc.dwFlags = DDSD_CAPS | DDSD_BACKBUFFERCOUNT;
    desc.ddsCaps.dwCaps = DDSCAPS_PRIMARYSURFACE | DDSCAPS_FLIP | DDSCAPS_COMPLEX;
    desc.dwBackBufferCount = 1;
    if (pDD->CreateSurface(&desc, &pDDSPrimary, nullptr) != DD_OK) {
        pDDSPrimary = nullptr;
        ReleaseFullscreen(1);
        REPORT(ERR_DIRECTDRAW, "pDD->CreateSurface failed.\n");
        return 0;
    }

    DDSCAPS2 caps = {};
    caps.dwCaps = DDSCAPS_BACKBUFFER;
    if (pDDSPrimary->GetAttachedSurface(&caps, &pDDSBack) != DD_OK) {
        pDDSBack = nullptr;
        ReleaseFullscreen(1);
        REPORT(ERR_DIRECTDRAW, "pDDSPrimary->GetAttachedSurface failed.\n");
        return 0;
    }

    LearnPixelFormat();
    if (bpp == 8) {
        ReleaseFullscreen(1);
        REPORT(ERR_DEDRAW, "8 bpp mode not supported.\n");
        return 0;
    }
    return 1;
}

int DeDrawClass::InitWindowed()
{
    if (DirectDrawCreateEx(nullptr, &pDD, nullptr) != DD_OK) {
        pDD = nullptr;
        REPORT(ERR_DIRECTDRAW, "DirectDrawCreateEx failed.\n");
        return 0;
    }
    if (pDD->SetCooperativeLevel(window, DDSCL_NORMAL) != DD_OK) {
        ReleaseWindowed(1);
        REPORT(ERR_DIRECTDRAW, "pDD->SetCooperativeLevel failed.\n");
        return 0;
    }

    DDSURFACEDESC2 desc = {};
    desc.dwSize = sizeof desc;
    desc.dwFlags = DDSD_CAPS;
    desc.ddsCaps.dwCaps = DDSCAPS_PRIMARYSURFACE;
    if (pDD->CreateSurface(&desc, &pDDSPrimary, nullptr) != DD_OK) {
        pDDSPrimary = nullptr;
        ReleaseWindowed(1);
        REPORT(ERR_DIRECTDRAW, "pDD->CreateSurface failed.\n");
        return 0;
    }

    LearnPixelFormat();
    if (bpp == 8) {
        ReleaseWindowed(1);
        errorLog.ThrowFatal("8 bpp mode not supported.\n");
        return 0;
    }
    return 1;
}

void DeDrawClass::LearnPixelFormat()
{
    DDPIXELFORMAT format = {};
    format.dwSize = sizeof format;
    pDDSPrimary->GetPixelFormat(&format);
    bpp = static_cast<int32_t>(format.dwRGBBitCount);
    if (bpp == 16) {
        if (format.dwRBitMask == 0xF800 && format.dwGBitMask == 0x07E0 && format.dwBBitMask == 0x001F) {
            pixelFormat = PIXEL_FORMAT_565;
        } else if (format.dwRBitMask == 0x7C00 && format.dwGBitMask == 0x03E0 && format.dwBBitMask == 0x001F) {
            pixelFormat = PIXEL_FORMAT_555;
        }
    }
}

void DeDrawClass::Free()
{
    if (initialized == 0) {
        RECORD(ERR_DEDRAW, "Not initialized.\n");
        return;
    }
    if (windowed_mode == 0) {
        ReleaseFullscreen(0);
    } else if (windowed_mode == 1) {
        ReleaseWindowed(0);
    }
    initialized = 0;
}

void DeDrawClass::Release()
{
    if (initialized != 1) return;
    if (windowed_mode == 0) {
        ReleaseFullscreen(1);
    } else if (windowed_mode == 1) {
        ReleaseWindowed(1);
    }
    initialized = 0;
}

// The back buffer belongs to the primary surface's flipping chain and goes
// with it.
int DeDrawClass::ReleaseFullscreen(int silent)
{
    if (silent == 0) {
        if (pDD == nullptr) {
            RECORD(ERR_DIRECTDRAW, "DirectDraw7 object was null.\n");
            return 0;
        }
        pDD->RestoreDisplayMode();
        if (pDDSPrimary == nullptr) {
            RECORD(ERR_DIRECTDRAW, "Primary Surface was null.\n");
            pDD->Release();
            pDD = nullptr;
            return 0;
        }
        pDDSPrimary->Release();
        pDDSPrimary = nullptr;
        pDDSBack = nullptr;
        pDD->Release();
        pDD = nullptr;
        return 1;
    }
    if (pDD != nullptr) {
        pDD->RestoreDisplayMode();
        if (pDDSPrimary != nullptr) {
            pDDSPrimary->Release();
            pDDSPrimary = nullptr;
        }
        pDDSBack = nullptr;
        pDD->Release();
        pDD = nullptr;
    }
    return 1;
}

int DeDrawClass::ReleaseWindowed(int silent)
{
    if (silent == 0) {
        if (pDD == nullptr) {
            RECORD(ERR_DIRECTDRAW, "DirectDraw7 object was null.\n");
            return 0;
        }
        if (pDDSPrimary == nullptr) {
            RECORD(ERR_DIRECTDRAW, "Primary Surface was null.\n");
            pDD->Release();
            pDD = nullptr;
            return 0;
        }
        pDDSPrimary->Release();
        pDDSPrimary = nullptr;
        pDD->Release();
        pDD = nullptr;
        return 1;
    }
    if (pDDSPrimary != nullptr) {
        pDDSPrimary->Release();
        pDDSPrimary = nullptr;
    }
    if (pDD != nullptr) {
        pDD->Release();
        pDD = nullptr;
    }
    return 1;
}

HRESULT DeDrawClass::Restore()
{
    if (initialized == 0) {
        REPORT(ERR_DEDRAW, "Not initialized.\n");
        return DDERR_GENERIC;
    }
    return pDDSPrimary->Restore();
}

int DeDrawClass::Present(const Pixmap* image)
{
    if (initialized == 0) {
        REPORT(ERR_DEDRAW, "Not initialized.\n");
        return 0;
    }
    if (windowed_mode == 0) {
        PresentFullscreen(image);
    } else if (windowed_mode == 1) {
        PresentWindowed(image);
    }
    return 1;
}

namespace {

// The image as far as it holds pixels: null or empty images draw nothing.
bool HasPixels(const Pixmap* image)
{
    return image != nullptr && image->pixChar != nullptr && image->width > 0 && image->height > 0;
}

// Rows and columns of the image that land inside a surface of the given
// size when the image's top-left corner goes to (left, top).
struct Span {
    int x0, x1, y0, y1;
    bool Empty() const { return x1 <= x0 || y1 <= y0; }
};

Span Visible(const Pixmap* image, int left, int top, int surfaceWidth, int surfaceHeight)
{
    Span s;
    s.x0 = left < 0 ? -left : 0;
    s.y0 = top < 0 ? -top : 0;
    int64_t right = static_cast<int64_t>(surfaceWidth) - left;
    int64_t bottom = static_cast<int64_t>(surfaceHeight) - top;
    s.x1 = static_cast<int>(right < image->width ? (right < 0 ? 0 : right) : image->width);
    s.y1 = static_cast<int>(bottom < image->height ? (bottom < 0 ? 0 : bottom) : image->height);
    return s;
}

uint8_t* SurfaceAt(const DDSURFACEDESC2& desc, int row, int column, int bytesPerPixel)
{
    return static_cast<uint8_t*>(desc.lpSurface) + static_cast<int64_t>(row) * desc.lPitch +
           static_cast<int64_t>(column) * bytesPerPixel;
}

// Converts the visible part of a 32-bit image into a surface of `bpp` bits
// (format code for 16 bits) with its top-left corner at (left, top).
void Convert32(const Pixmap* image, const DDSURFACEDESC2& desc, int left, int top, int bpp, int pixelFormat)
{
    Span s = Visible(image, left, top, static_cast<int>(desc.dwWidth), static_cast<int>(desc.dwHeight));
    if (s.Empty()) return;
    int count = s.x1 - s.x0;
    // Whole image rows onto rows of the same length: one copy for all of
    // them, which the C library does faster than row by row.
    if (bpp == 32 && count == image->width && desc.lPitch == static_cast<int64_t>(count) * 4) {
        std::memcpy(SurfaceAt(desc, top + s.y0, left + s.x0, 4), image->pixInt + static_cast<int64_t>(s.y0) * count,
                    static_cast<size_t>(s.y1 - s.y0) * static_cast<size_t>(count) * 4);
        return;
    }
    for (int y = s.y0; y < s.y1; ++y) {
        const uint32_t* row = image->pixInt + static_cast<int64_t>(y) * image->width + s.x0;
        int column = left + s.x0;
        if (bpp == 32) {
            std::memcpy(SurfaceAt(desc, top + y, column, 4), row, static_cast<size_t>(count) * 4);
        } else if (bpp == 24) {
            dedraw::Convert32To24Row(row, SurfaceAt(desc, top + y, column, 3), count);
        } else if (bpp == 16 && pixelFormat == PIXEL_FORMAT_565) {
            dedraw::Convert32To565Row(row, reinterpret_cast<uint16_t*>(SurfaceAt(desc, top + y, column, 2)), count);
        } else if (bpp == 16 && pixelFormat == PIXEL_FORMAT_555) {
            dedraw::Convert32To555Row(row, reinterpret_cast<uint16_t*>(SurfaceAt(desc, top + y, column, 2)), count);
        }
    }
}

void Convert16(const Pixmap* image, const DDSURFACEDESC2& desc, int bpp, int pixelFormat)
{
    Span s = Visible(image, 0, 0, static_cast<int>(desc.dwWidth), static_cast<int>(desc.dwHeight));
    if (s.Empty()) return;
    int count = s.x1;
    for (int y = 0; y < s.y1; ++y) {
        const uint16_t* row = image->pixShort + static_cast<int64_t>(y) * image->width;
        if (bpp == 32) {
            dedraw::Convert565To32Row(row, reinterpret_cast<uint32_t*>(SurfaceAt(desc, y, 0, 4)), count);
        } else if (bpp == 24) {
            dedraw::Convert565To24Row(row, SurfaceAt(desc, y, 0, 3), count);
        } else if (bpp == 16 && pixelFormat == PIXEL_FORMAT_565) {
            std::memcpy(SurfaceAt(desc, y, 0, 2), row, static_cast<size_t>(count) * 2);
        } else if (bpp == 16 && pixelFormat == PIXEL_FORMAT_555) {
            dedraw::Convert565To555Row(row, reinterpret_cast<uint16_t*>(SurfaceAt(desc, y, 0, 2)), count);
        }
    }
}

bool KnownDepth(int bpp) { return bpp == 32 || bpp == 24 || bpp == 16 || bpp == 8; }

}  // namespace

int DeDrawClass::PresentFullscreen(const Pixmap* image)
{
    DDSURFACEDESC2 desc = {};
    desc.dwSize = sizeof desc;
    if (pDDSBack->Lock(nullptr, &desc, DDLOCK_WAIT, nullptr) != DD_OK) {
        REPORT(ERR_DIRECTDRAW, "pDDSBack->Lock failed.\n");
        return 0;
    }
    bool imageKnown = HasPixels(image) && (image->bpp == 32 || image->bpp == 16);
    if (imageKnown && !KnownDepth(bpp)) {
        // The surface is unlocked before the report ends the run.
        pDDSBack->Unlock(nullptr);
        REPORT(ERR_DEDRAW, "Unknown bpp.\n");
        return 0;
    }
    if (imageKnown && image->bpp == 32) {
        Convert32(image, desc, 0, 0, bpp, pixelFormat);
    } else if (imageKnown && image->bpp == 16) {
        Convert16(image, desc, bpp, pixelFormat);
    }
    if (pDDSBack->Unlock(nullptr) != DD_OK) {
        REPORT(ERR_DIRECTDRAW, "pDDSBack->Unlock failed.\n");
        return 0;
    }
    Flip();
    return 1;
}

// Writes at the window's screen position, clipped to the desktop surface:
// a window reaching past the screen's edges shows the part that is on it.
// Only 32-bit images are read (the pixels are taken as 32-bit words).
int DeDrawClass::PresentWindowed(const Pixmap* image)
{
    DDSURFACEDESC2 desc = {};
    desc.dwSize = sizeof desc;
    RECT rect = {};
    GetWindowRect(window, &rect);
    if (pDDSPrimary->Lock(nullptr, &desc, DDLOCK_WAIT, nullptr) != DD_OK) {
        REPORT(ERR_DIRECTDRAW, "pDDSPrimary->Lock failed.\n");
        return 0;
    }
    if (HasPixels(image) && image->bpp == 32) Convert32(image, desc, rect.left, rect.top, bpp, pixelFormat);
    if (pDDSPrimary->Unlock(nullptr) != DD_OK) {
        REPORT(ERR_DIRECTDRAW, "pDDSPrimary->Unlock failed.\n");
        return 0;
    }
    return 1;
}

// A flip that finds the surface still drawing is tried again, a bounded
// number of times. A lost surface is restored and flipped once more; if
// that does not show the frame either, the frame is given up (0, nothing
// reported) and the next one tries afresh.
int DeDrawClass::Flip()
{
    if (initialized == 0) {
        REPORT(ERR_DEDRAW, "Not initialized.\n");
        return 0;
    }
    bool restored = false;
    for (int attempt = 0; attempt < kMaxFlipAttempts; ++attempt) {
        HRESULT result = pDDSPrimary->Flip(nullptr, 0);
        if (result == DD_OK) return 1;
        if (result == DDERR_SURFACELOST) {
            if (restored) return 0;
            if (Restore() != DD_OK) {
                REPORT(ERR_DIRECTDRAW, "pDDSPrimary->Restore failed.\n");
                return 0;
            }
            restored = true;
        } else if (result != DDERR_WASSTILLDRAWING) {
            REPORT(ERR_DIRECTDRAW, "pDDSPrimary->Flip failed.\n");
            return 0;
        }
    }
    return 0;
}
