// DeDrawClass: the display, fullscreen at 640 x 480 with a flipping back
// buffer in the chosen depth (32, 24 or 16 bits), or windowed, drawing
// straight into the desktop's primary surface at the window's position.
// Present converts a 32-bit (or, fullscreen, 16-bit) Pixmap into the
// surface's exact pixel format and shows it.
#pragma once

#include <cstdint>

#include "pixmap/pixmap.h"
#include "platform/display.h"

constexpr int32_t PIXEL_FORMAT_565 = 250;
constexpr int32_t PIXEL_FORMAT_555 = 251;

class DeDrawClass {
public:
    // Bounded retries of a flip that finds the surface still drawing.
    static constexpr int kMaxFlipAttempts = 64;

    DeDrawClass();
    ~DeDrawClass();
    DeDrawClass(const DeDrawClass&) = delete;
    DeDrawClass& operator=(const DeDrawClass&) = delete;

    int Init(int width, int height, int bpp, int windowed_mode, platform::HWND window);
    void Free();
    void Release();
    platform::HRESULT Restore();

    int Present(const Pixmap* image);
    int Flip();

    int32_t width;
    int32_t height;
    int32_t numPixels;
    int32_t bpp;
    int32_t pixelFormat;
    int32_t windowed_mode;
    platform::DisplayDevice* pDD;
    platform::DisplaySurface* pDDSPrimary;
    platform::DisplaySurface* pDDSBack;
    platform::HWND window;
    int32_t initialized;

private:
    int InitFullscreen();
    int InitWindowed();
    int ReleaseFullscreen(int silent);
    int ReleaseWindowed(int silent);
    int PresentFullscreen(const Pixmap* image);
    int PresentWindowed(const Pixmap* image);
    void LearnPixelFormat();
};

extern DeDrawClass deDraw;
