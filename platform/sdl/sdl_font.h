// The small bitmap font the SDL windows write with: the mode dialog's
// labels and the F1 overlay. It knows the digits and the letters those
// texts use; other characters leave a blank cell.
#pragma once

#include <SDL.h>

namespace platform::sdl {

// The width in pixels of `text` at `scale` pixels per font dot.
int TextWidth(const char* text, int scale);
// Draws `text` in the renderer's current colour, its top left at x, y.
void DrawText(SDL_Renderer* renderer, const char* text, int x, int y, int scale);

}  // namespace platform::sdl
