#include "main/app_state.h"

platform::HWND mainWindow = nullptr;
int32_t screenBpp = 0;
int32_t windowed = 0;
int32_t paused = 0;
int32_t quitting = 0;
int32_t running = 0;
int32_t userQuit = 0;
int32_t lastActive = 1;
platform::HCURSOR previousCursor = nullptr;
platform::HCURSOR waitCursor = nullptr;
