// The application shell's state flags. Every flag is a 32-bit int, 0 or 1.
#pragma once

#include <cstdint>

#include "platform/window.h"

extern platform::HWND mainWindow;       // the one top-level window
extern int32_t screenBpp;               // 16, 24, 32; 0 windowed; -1 Quit
extern int32_t windowed;                // 1 when Windowed was chosen
extern int32_t paused;                  // 1 while the application is inactive
extern int32_t quitting;                // 1 once the end was requested
extern int32_t running;                 // 1 once start-up has completed
extern int32_t userQuit;                // 1 when the dialog ended with Quit or failed
extern int32_t lastActive;              // last WM_ACTIVATEAPP state; 1 at first
extern platform::HCURSOR previousCursor;  // current before the hourglass
extern platform::HCURSOR waitCursor;      // the hourglass
