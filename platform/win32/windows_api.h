// The Windows API (user interface, GDI, multimedia, the audio compression
// manager and DirectDraw 7) for the Windows backend's sources, side by side
// with the platform layer's own interface.
//
// The platform layer's calls and constants carry the Windows API's names
// (PostMessage, WM_KEYDOWN, DD_OK, DDSCAPS_FLIP, ...), which the Windows
// headers define as macros. Here the values of those macros are captured
// first and then the macros are removed: the backend names the real calls
// with their A suffix (::PostMessageA) and the constants through the
// platform namespace, whose values are checked below to be the real ones,
// so that flags and results pass between the two unchanged.
#pragma once

#include <windows.h>
#include <mmreg.h>
#include <mmsystem.h>
#include <msacm.h>
#include <ddraw.h>

#include <cstdint>

// Every macro that names a constant of the platform layer as well.
#define ORCHID_WIN32_SHARED_CONSTANTS(X)                                                                   \
    X(WM_DESTROY) X(WM_CLOSE) X(WM_QUIT) X(WM_ACTIVATEAPP) X(WM_KEYDOWN) X(WM_INITDIALOG) X(WM_COMMAND)    \
    X(VK_TAB) X(VK_RETURN) X(VK_ESCAPE) X(VK_SPACE) X(VK_LEFT) X(VK_UP) X(VK_RIGHT) X(VK_DOWN) X(VK_F1)      \
    X(VK_HOME) X(VK_ADD) X(VK_SUBTRACT) X(VK_OEM_PLUS) X(VK_OEM_MINUS) X(VK_PRIOR) X(VK_NEXT)                \
    X(VK_OEM_COMMA) X(VK_OEM_PERIOD)                                                                       \
    X(PM_NOREMOVE) X(PM_REMOVE) X(WS_POPUP) X(WS_VISIBLE) X(WS_EX_TOPMOST) X(CS_VREDRAW) X(CS_HREDRAW)      \
    X(SW_HIDE) X(SW_SHOWNORMAL) X(SW_SHOWMINIMIZED) X(SW_SHOWMAXIMIZED) X(SW_SHOWNOACTIVATE) X(SW_SHOW)     \
    X(SW_MINIMIZE) X(SW_SHOWMINNOACTIVE) X(SW_SHOWNA) X(SW_RESTORE) X(SW_SHOWDEFAULT) X(SW_FORCEMINIMIZE)   \
    X(SM_CXSCREEN) X(SM_CYSCREEN) X(BLACK_BRUSH) X(MB_OK) X(IDOK)                                          \
    X(DD_OK) X(DDERR_SURFACELOST) X(DDERR_WASSTILLDRAWING) X(DDERR_GENERIC) X(DDERR_INVALIDPARAMS)         \
    X(DDERR_OUTOFMEMORY) X(DDERR_INVALIDMODE) X(DDERR_NOEXCLUSIVEMODE) X(DDERR_SURFACEBUSY)                 \
    X(DDERR_NOTLOCKED) X(DDERR_NOTFLIPPABLE) X(DDERR_NODIRECTDRAWHW) X(DDERR_NOTFOUND)                       \
    X(DDERR_NOCOOPERATIVELEVELSET) X(DDERR_PRIMARYSURFACEALREADYEXISTS) X(DDSCL_FULLSCREEN)                  \
    X(DDSCL_ALLOWREBOOT) X(DDSCL_NORMAL) X(DDSCL_EXCLUSIVE) X(DDSD_CAPS) X(DDSD_HEIGHT) X(DDSD_WIDTH)        \
    X(DDSD_PITCH) X(DDSD_BACKBUFFERCOUNT) X(DDSD_LPSURFACE) X(DDSD_PIXELFORMAT) X(DDSCAPS_BACKBUFFER)        \
    X(DDSCAPS_COMPLEX) X(DDSCAPS_FLIP) X(DDSCAPS_FRONTBUFFER) X(DDSCAPS_PRIMARYSURFACE) X(DDLOCK_WAIT)      \
    X(DDPF_RGB)

namespace orchid_win32_native {
#define ORCHID_WIN32_CAPTURE(name) constexpr int64_t name##_ = static_cast<int64_t>(name);
ORCHID_WIN32_SHARED_CONSTANTS(ORCHID_WIN32_CAPTURE)
#undef ORCHID_WIN32_CAPTURE
}  // namespace orchid_win32_native

#undef WM_DESTROY
#undef WM_CLOSE
#undef WM_QUIT
#undef WM_ACTIVATEAPP
#undef WM_KEYDOWN
#undef WM_INITDIALOG
#undef WM_COMMAND
#undef VK_TAB
#undef VK_RETURN
#undef VK_ESCAPE
#undef VK_SPACE
#undef VK_LEFT
#undef VK_UP
#undef VK_RIGHT
#undef VK_DOWN
#undef VK_F1
#undef VK_HOME
#undef VK_ADD
#undef VK_SUBTRACT
#undef VK_OEM_PLUS
#undef VK_OEM_MINUS
#undef VK_PRIOR
#undef VK_NEXT
#undef VK_OEM_COMMA
#undef VK_OEM_PERIOD
#undef PM_NOREMOVE
#undef PM_REMOVE
#undef WS_POPUP
#undef WS_VISIBLE
#undef WS_EX_TOPMOST
#undef CS_VREDRAW
#undef CS_HREDRAW
#undef SW_HIDE
#undef SW_SHOWNORMAL
#undef SW_SHOWMINIMIZED
#undef SW_SHOWMAXIMIZED
#undef SW_SHOWNOACTIVATE
#undef SW_SHOW
#undef SW_MINIMIZE
#undef SW_SHOWMINNOACTIVE
#undef SW_SHOWNA
#undef SW_RESTORE
#undef SW_SHOWDEFAULT
#undef SW_FORCEMINIMIZE
#undef SM_CXSCREEN
#undef SM_CYSCREEN
#undef BLACK_BRUSH
#undef MB_OK
#undef IDOK
#undef DD_OK
#undef DDERR_SURFACELOST
#undef DDERR_WASSTILLDRAWING
#undef DDERR_GENERIC
#undef DDERR_INVALIDPARAMS
#undef DDERR_OUTOFMEMORY
#undef DDERR_INVALIDMODE
#undef DDERR_NOEXCLUSIVEMODE
#undef DDERR_SURFACEBUSY
#undef DDERR_NOTLOCKED
#undef DDERR_NOTFLIPPABLE
#undef DDERR_NODIRECTDRAWHW
#undef DDERR_NOTFOUND
#undef DDERR_NOCOOPERATIVELEVELSET
#undef DDERR_PRIMARYSURFACEALREADYEXISTS
#undef DDSCL_FULLSCREEN
#undef DDSCL_ALLOWREBOOT
#undef DDSCL_NORMAL
#undef DDSCL_EXCLUSIVE
#undef DDSD_CAPS
#undef DDSD_HEIGHT
#undef DDSD_WIDTH
#undef DDSD_PITCH
#undef DDSD_BACKBUFFERCOUNT
#undef DDSD_LPSURFACE
#undef DDSD_PIXELFORMAT
#undef DDSCAPS_BACKBUFFER
#undef DDSCAPS_COMPLEX
#undef DDSCAPS_FLIP
#undef DDSCAPS_FRONTBUFFER
#undef DDSCAPS_PRIMARYSURFACE
#undef DDLOCK_WAIT
#undef DDPF_RGB

// Names of calls, types and cursor ids that the platform layer has too.
#undef IDC_ARROW
#undef IDC_WAIT
#undef LOWORD
#undef WNDCLASS
#undef RegisterClass
#undef CreateWindowEx
#undef PeekMessage
#undef GetMessage
#undef DispatchMessage
#undef PostMessage
#undef SendMessage
#undef DefWindowProc
#undef LoadCursor
#undef LoadIcon
#undef MessageBox
#undef DialogBoxParam

#include "platform/backend.h"

#define ORCHID_WIN32_CHECK(name)                                                                  \
    static_assert(static_cast<int64_t>(platform::name) == orchid_win32_native::name##_,          \
                  "the platform layer's " #name " differs from the Windows API's");
ORCHID_WIN32_SHARED_CONSTANTS(ORCHID_WIN32_CHECK)
#undef ORCHID_WIN32_CHECK
