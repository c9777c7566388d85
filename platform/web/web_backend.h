// The browser backend: the page is the screen. Shown frames go to a frame
// sink (the program puts them on the page's canvas), the mode dialog is the
// page's start screen, whose button was pressed before the show starts, the
// page's key and focus events become messages, the error box is drawn in the
// page, and the music is decoded and played by the browser (Web Audio): its
// position is the audio context's time less the output latency.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/backend_table.h"
#include "platform/frame_sink.h"

namespace platform::web {

struct Options {
    // The mode dialog's answer: the command id of the start screen's button
    // that was pressed.
    int dialogCommand = 0;
    // Receives every shown frame; may be null. It is closed when the
    // display is released.
    FrameSink* sink = nullptr;
    // The music's position follows the active clock instead of the
    // browser's output, for runs on the virtual clock (no sound is played).
    bool clockedSound = false;
};

void Install(const Options& options);
void Uninstall();

// The table's entry "web": the page is always there; it takes the setup's
// dialog answer and sink, and silentAudio as clockedSound.
extern const BackendEntry kEntry;

// Puts a width x height picture of RGBA bytes on the page's canvas. The
// canvas keeps a view of the pixels between calls, so `rgba` must stay at
// the same place for as long as pictures are shown.
void ShowPicture(const uint8_t* rgba, int width, int height);

// Hands `size` bytes to the browser as a download named `name` (the page
// copies them).
void Download(const char* name, const uint8_t* bytes, std::size_t size);

// The page's events, queued until the message loop collects them
// (exported to the page's script).
extern "C" {
// A key went down: its virtual key code (VK_ESCAPE, VK_F1, ...).
void orchid_web_key(int virtualKey);
// The page became visible and focused (1) or was hidden or lost the focus
// (0).
void orchid_web_focus(int gained);
}

}  // namespace platform::web
