#include "tests/platform/sdl/x11_requests.h"

#include <SDL_syswm.h>
#include <X11/Xlib.h>

namespace x11_requests {

bool AskWhereAGoneWindowIs(SDL_Window* window)
{
    SDL_SysWMinfo info;
    SDL_VERSION(&info.version);
    if (!SDL_GetWindowWMInfo(window, &info) || info.subsystem != SDL_SYSWM_X11) return false;
    Display* display = info.info.x11.display;
    Window root = DefaultRootWindow(display);
    Window gone = XCreateSimpleWindow(display, root, 0, 0, 1, 1, 0, 0, 0);
    XDestroyWindow(display, gone);
    int x = 0;
    int y = 0;
    Window child = 0;
    bool answered = XTranslateCoordinates(display, gone, root, 0, 0, &x, &y, &child);
    XSync(display, False);
    return !answered;
}

}  // namespace x11_requests
