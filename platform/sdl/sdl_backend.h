// The desktop backend: SDL2 windows, the display through a streaming
// texture (vsync, 4:3 kept in a window of any size, nearest-neighbour
// scaling; Alt+Enter toggles fullscreen), the mode dialog, the "Error!"
// box, and the music through an SDL audio callback.
#pragma once

namespace platform::sdl {

struct Options {
    // No audio device: the position starts when the stream plays, follows
    // the real clock and stops while paused.
    bool silentAudio = false;
    // Smooth (linear) instead of sharp (nearest) scaling.
    bool smoothScaling = false;
    // Windows open this many times their size (1 to 8); the picture is
    // enlarged nearest-neighbour.
    int zoom = 1;
};

// True when a display can be opened (SDL's video starts).
bool DisplayAvailable();
// Starts SDL's video and installs the backend; false (nothing installed)
// when SDL cannot start.
bool Install(const Options& options);
// Uninstalls the backend and shuts SDL down.
void Uninstall();

}  // namespace platform::sdl
