#include "main/window.h"

#include "error/report.h"
#include "main/app_state.h"

ORCHID_REPORT_MODULE("main");

using namespace platform;

int CreateMainWindow(HINSTANCE instance, WNDPROC windowProc)
{
    mainWindow = nullptr;
    previousCursor = nullptr;
    waitCursor = nullptr;
    running = 0;
    quitting = 0;
    paused = 0;
    screenBpp = 0;
    windowed = 0;
    userQuit = 0;

    WNDCLASS windowClass = {};
    windowClass.style = CS_HREDRAW | CS_VREDRAW;
    windowClass.lpfnWndProc = windowProc;
    windowClass.cbClsExtra = 0;
    windowClass.cbWndExtra = 0;
    windowClass.hInstance = instance;
    windowClass.hIcon = LoadIcon(instance, kWindowIconId);
    windowClass.hCursor = LoadCursor(nullptr, IDC_ARROW);
    windowClass.hbrBackground = GetStockObject(BLACK_BRUSH);
    windowClass.lpszMenuName = nullptr;
    windowClass.lpszClassName = kWindowClassName;
    RegisterClass(&windowClass);

    // Centred on the primary screen; on a screen smaller than the window the
    // position is negative, and the window is still made there.
    int x = GetSystemMetrics(SM_CXSCREEN) / 2 - 320;
    int y = GetSystemMetrics(SM_CYSCREEN) / 2 - 240;
    mainWindow = CreateWindowEx(WS_EX_TOPMOST, kWindowClassName, "Orchid", WS_POPUP, x, y, 640, 480, nullptr,
                                nullptr, instance, nullptr);
    if (mainWindow == nullptr) {
        REPORT(ERR_WINDOWS, "Couldn't create window.\n");
        return 0;
    }

    waitCursor = LoadCursor(nullptr, IDC_WAIT);
    previousCursor = SetCursor(waitCursor);
    return 1;
}
