// The desktop backend: SDL2 windows, the display through a streaming
// texture (vsync, 4:3 kept in a window of any size, sharp, nearest or
// integer scaling; Alt+Enter toggles fullscreen), the mode dialog, the "Error!"
// box, and the music through an SDL audio callback.
#pragma once

#include "platform/backend_table.h"

namespace platform::sdl {

struct Options {
    // No audio device: the position starts when the stream plays, follows
    // the real clock and stops while paused.
    bool silentAudio = false;
    // How the picture is enlarged to a fullscreen screen or a resized window.
    Scaling scaling = Scaling::Sharp;
    // Windows open this many times their size (1 to 8); the picture is
    // enlarged nearest-neighbour.
    int zoom = 1;
};

// Starts SDL's video and installs the backend; false (nothing installed)
// when SDL cannot start. Unless SDL_VIDEODRIVER names SDL's drivers, only
// those of the displays asked for are tried: X11 for DISPLAY, Wayland for
// WAYLAND_DISPLAY, never the offscreen or dummy driver that SDL would
// otherwise fall back to (they show nothing).
bool Install(const Options& options);
// Uninstalls the backend and shuts SDL down.
void Uninstall();

// The table's entry "sdl": it runs when DISPLAY or WAYLAND_DISPLAY is set,
// takes the setup's silentAudio, zoom and scaling, and fails naming the display it
// could not open.
extern const BackendEntry kEntry;

}  // namespace platform::sdl
