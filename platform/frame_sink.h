// Where a headless display hands every frame it shows: capture to PNG or
// video, benchmarks and tests each provide a sink.
#pragma once

#include <cstdint>

namespace platform {

enum class PixelLayout {
    XRGB8888,  // 32-bit words 0x??RRGGBB; the top byte is ignored, never alpha
    BGR24,     // bytes blue, green, red
    RGB565,    // 16-bit words
    RGB555,    // 16-bit words, top bit unused
    Other,     // a format the outputs do not know (odd 16-bit masks, 8-bit)
};

// A view of shown pixels, valid during the call only.
struct FrameView {
    const uint8_t* pixels;
    int width;
    int height;
    int32_t pitch;  // bytes from one row to the next
    int bpp;
    PixelLayout layout;
};

class FrameSink {
public:
    virtual ~FrameSink() = default;
    // One shown frame: fullscreen, the flipped buffer; windowed, the
    // window's rectangle of the desktop (clipped to the desktop).
    virtual void Frame(const FrameView& frame) = 0;
    // The display was released (the desktop restored). A sink that writes
    // a file finishes it here; a failure is recorded through the error log.
    virtual void Close() {}
};

// The layout of a surface with these bits and masks.
PixelLayout LayoutOf(int bpp, uint32_t redMask, uint32_t greenMask, uint32_t blueMask);

}  // namespace platform
