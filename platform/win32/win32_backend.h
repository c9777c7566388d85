// The Windows desktop backend: real windows of a registered class with a
// window procedure that turns keys, activation, moves and close requests
// into the platform layer's messages; the message loop on PeekMessageA and
// DispatchMessageA; the system's cursors and message box; the mode dialog
// from the dialog resource of the executable (DialogBoxParamA); the display
// on DirectDraw 7; the music decoded by the system's MP3 codec and played
// through waveOut.
#pragma once

#include "platform/backend_table.h"

namespace platform::win32 {

struct Options {
    // No audio device: the position starts when the stream plays, follows
    // the real clock and stops while paused.
    bool silentAudio = false;
};

// Installs the backend; false (nothing installed) when it cannot start.
bool Install(const Options& options);
// Uninstalls the backend and closes the audio device.
void Uninstall();

// The table's entry "win32": Windows always has its desktop; it takes the
// setup's silentAudio.
extern const BackendEntry kEntry;

}  // namespace platform::win32
