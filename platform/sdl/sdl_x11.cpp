#include "platform/sdl/sdl_x11.h"

#include <SDL_syswm.h>
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>

namespace platform::sdl {

namespace {

// The window's X display and id, or false when it is not an X11 window.
bool X11Window(SDL_Window* window, Display** display, Window* id)
{
    SDL_SysWMinfo info;
    SDL_VERSION(&info.version);
    if (window == nullptr || !SDL_GetWindowWMInfo(window, &info) || info.subsystem != SDL_SYSWM_X11) return false;
    *display = info.info.x11.display;
    *id = info.info.x11.window;
    return true;
}

int ConnectionLost(Display* display)
{
    std::fprintf(stderr, "orchid: the display connection was lost (X server %s)\n", DisplayString(display));
    std::fflush(stderr);
    // Xlib must not be called again; exit's own handlers leave the display
    // alone (the backend abandons it) and close the sound device.
    std::exit(1);
}

XErrorHandler previousErrorHandler = nullptr;

// A window can be gone by the time the server gets a request naming it: a
// window manager replaces its frame windows as ours goes fullscreen and
// back, while SDL asks where they are. Such a request just fails. Xlib's
// default would end the process for it; other errors go on to the handler
// that was there before (SDL's, or Xlib's).
int ProtocolError(Display* display, XErrorEvent* error)
{
    if (error->error_code == BadWindow) return 0;
    return previousErrorHandler != nullptr ? previousErrorHandler(display, error) : 0;
}

}  // namespace

bool HasWindowManager(SDL_Window* window)
{
    Display* display = nullptr;
    Window id = 0;
    if (!X11Window(window, &display, &id)) return true;
    // A running window manager names its own check window on the root.
    Atom check = XInternAtom(display, "_NET_SUPPORTING_WM_CHECK", True);
    if (check == None) return false;
    Atom type = None;
    int format = 0;
    unsigned long items = 0;
    unsigned long after = 0;
    unsigned char* data = nullptr;
    int got = XGetWindowProperty(display, DefaultRootWindow(display), check, 0, 1, False, XA_WINDOW, &type,
                                 &format, &items, &after, &data);
    bool present = got == Success && type == XA_WINDOW && format == 32 && items == 1;
    if (data != nullptr) XFree(data);
    return present;
}

void KeepAspect(SDL_Window* window, int width, int height)
{
    Display* display = nullptr;
    Window id = 0;
    if (!X11Window(window, &display, &id)) return;
    XSizeHints* hints = XAllocSizeHints();
    if (hints == nullptr) return;
    long supplied = 0;
    XGetWMNormalHints(display, id, hints, &supplied);
    hints->flags |= PAspect;
    hints->min_aspect.x = hints->max_aspect.x = width;
    hints->min_aspect.y = hints->max_aspect.y = height;
    XSetWMNormalHints(display, id, hints);
    XFree(hints);
    XFlush(display);
}

void WatchDisplayConnection()
{
    const char* driver = SDL_GetCurrentVideoDriver();
    if (driver == nullptr || SDL_strcmp(driver, "x11") != 0) return;
    // A write to the closed connection must come back to Xlib as EPIPE
    // (which reaches the handler), not end the process by the signal.
    std::signal(SIGPIPE, SIG_IGN);
    XSetIOErrorHandler(ConnectionLost);
    XErrorHandler previous = XSetErrorHandler(ProtocolError);
    if (previous != ProtocolError) previousErrorHandler = previous;
}

}  // namespace platform::sdl
