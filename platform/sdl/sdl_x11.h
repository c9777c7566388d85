// What SDL leaves to Xlib itself: whether a window manager runs, the aspect
// ratio a window manager keeps while the user resizes, a lost connection
// to the X server, and requests naming windows that are gone. Each call does nothing (or answers as for a
// desktop with a window manager) when the window is not on X11.
#pragma once

#include <SDL.h>

namespace platform::sdl {

// True unless the window is on an X server that has no window manager
// (none announces itself on the root window). Without one, asking for
// fullscreen changes only what SDL believes the window's size to be.
bool HasWindowManager(SDL_Window* window);

// Asks the window manager to keep width : height while the user resizes.
void KeepAspect(SDL_Window* window, int width, int height);

// From now on a lost connection to the X server (it ended, or the network
// went) ends the process with one line naming the display and exit
// status 1, instead of Xlib's own message. SIGPIPE is ignored from then on.
// A request naming a window that no longer exists (BadWindow, as when the
// window manager replaces a frame window in between) fails quietly instead
// of ending the process.
void WatchDisplayConnection();

}  // namespace platform::sdl
