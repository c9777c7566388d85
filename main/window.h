// The window class and the program's one window: a borderless, always-on-top
// 640 x 480 popup titled "Orchid", centred on the primary screen and hidden
// until start-up shows it.
#pragma once

#include "platform/window.h"

constexpr const char kWindowClassName[] = "__ORCHID_WINDOW_CLASS__";
constexpr int kWindowIconId = 181;

// 1 when the window exists, 0 after a failure report. Resets the shell's
// flags, registers the class with the caller's window procedure, creates the
// window into `mainWindow` and turns the cursor into the hourglass. Without
// a procedure (null) the window's messages get the default handling: a
// close request destroys it, and nothing else happens.
int CreateMainWindow(platform::HINSTANCE instance, platform::WNDPROC windowProc);
