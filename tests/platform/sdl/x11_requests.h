// Xlib requests for the SDL backend's tests, apart from the backend's
// Win32-shaped names, which some of X11's macros would replace.
#pragma once

#include <SDL.h>

namespace x11_requests {

// Makes and destroys a window on the display of `window`, then asks the
// server where the destroyed one is, as a request racing a window manager
// would. True when the request failed and the process is still here.
bool AskWhereAGoneWindowIs(SDL_Window* window);

}  // namespace x11_requests
