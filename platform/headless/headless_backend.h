// The headless backend: no display and no sound device. Windows exist only
// in the window table, every shown frame goes to a frame sink, the dialog's
// choice is given in advance, and the music's position follows the active
// clock (platform/clock.h), so a run on the virtual clock is deterministic.
#pragma once

#include <cstdint>

#include "platform/backend_table.h"
#include "platform/frame_sink.h"

namespace platform::headless {

struct Options {
    // The desktop's size (the windowed primary surface); its depth is 32.
    int desktopWidth = 1024;
    int desktopHeight = 768;
    // The dialog control the mode dialog "chooses" (its command id); 0 means
    // the dialog cannot be shown and DialogBoxParam returns -1.
    int dialogCommand = 0;
    // Receives every shown frame; may be null.
    FrameSink* sink = nullptr;
};

void Install(const Options& options);
void Uninstall();

// The table's entry "headless": it runs anywhere, takes the setup's
// dialog answer and sink, and always starts.
extern const BackendEntry kEntry;

// The last shown frame (fullscreen: the buffer last flipped to the front;
// windowed: the window's part of the desktop). Pixels are null before the
// first frame and after the display is released.
FrameView LastFrame();

// The byte position the music reports after `hundredths` hundredths of
// playing: the middle of that hundredth, so that the conversion to
// hundredths gives exactly `hundredths`.
constexpr uint32_t PositionForHundredths(uint32_t hundredths) { return hundredths * 1764u + 882u; }

}  // namespace platform::headless
