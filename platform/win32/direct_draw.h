// The display device on DirectDraw 7 itself: the device and its surfaces
// pass every call to IDirectDraw7 and IDirectDrawSurface7, translating the
// platform layer's surface descriptions and pixel formats to the real ones
// and back; results come back unchanged (the codes are the same).
#pragma once

#include "platform/backend.h"

namespace platform::win32 {

class DirectDrawDriver final : public DisplayDriver {
public:
    HRESULT CreateDevice(DisplayDevice** device) override;
    // A line of text drawn over each presented frame, in the top left
    // corner ("" for none). The frame's own pixels are not touched.
    void SetOverlay(const char* text);
    // The seek bar drawn over each presented frame's bottom rows (null for
    // none), likewise.
    void SetSeekBar(const SeekBar* bar);
};

}  // namespace platform::win32
