// orchid-pattern: the mode dialog, then a test pattern in the chosen mode,
// presented through the display class exactly as the show presents its
// frames. Escape ends it. With --frames N it ends by itself after N frames;
// --mode 32|24|16|windowed answers the dialog, --zoom K opens the window K
// times larger, --scaling chooses how fullscreen enlarges it. It plays on the first backend of the table that plays on a
// screen and can run here, or the one ORCHID_BACKEND names.
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "dedraw/dedraw.h"
#include "error/error_log.h"
#include "main/app_state.h"
#include "main/backend_choice.h"
#include "main/dialog.h"
#include "main/preset_dialog.h"
#include "main/window.h"
#include "pixmap/pixmap.h"
#include "platform/backend.h"
#include "platform/backend_table.h"

using namespace platform;

namespace {

Pixmap patternImage;

// Colour bars, grey and colour ramps (where 16-bit banding shows), a fine
// checkerboard, and a bar that moves one step per frame.
void DrawPattern(Pixmap& image, long frame)
{
    static const uint32_t bars[8] = {0xFFFFFF, 0xFFFF00, 0x00FFFF, 0x00FF00, 0xFF00FF, 0xFF0000, 0x0000FF, 0x000000};
    for (int y = 0; y < 480; ++y) {
        uint32_t* row = image.pixInt + y * 640;
        for (int x = 0; x < 640; ++x) {
            uint32_t v;
            uint32_t ramp = static_cast<uint32_t>(x * 255 / 639);
            if (y < 160) {
                v = bars[x / 80];
            } else if (y < 220) {
                v = ramp * 0x010101u;
            } else if (y < 260) {
                v = ramp << 16;
            } else if (y < 300) {
                v = ramp << 8;
            } else if (y < 340) {
                v = ramp;
            } else if (y < 400) {
                v = ((x ^ y) & 1) != 0 ? 0xFFFFFF : 0x000000;
            } else {
                v = 0x202020;
            }
            row[x] = v;
        }
    }
    int bar = static_cast<int>(frame % 640);
    for (int y = 400; y < 480; ++y) {
        for (int x = bar; x < bar + 8 && x < 640; ++x) image.pixInt[y * 640 + x] = 0xFFFFFF;
    }
    // A one-pixel white frame shows whether the edges are cut.
    for (int x = 0; x < 640; ++x) image.pixInt[x] = image.pixInt[479 * 640 + x] = 0xFFFFFF;
    for (int y = 0; y < 480; ++y) image.pixInt[y * 640] = image.pixInt[y * 640 + 639] = 0xFFFFFF;
}

void Teardown()
{
    ShowCursor(1);
    SetCursor(previousCursor);
    patternImage.Free();
    deDraw.Free();
    if (userQuit == 0 && errorLog.count > 0) MessageBox(nullptr, errorLog.Report(), "Error!", MB_OK);
}

void Quit()
{
    quitting = 1;
    if (mainWindow != nullptr && IsWindow(mainWindow)) {
        DestroyWindow(mainWindow);
    } else {
        Teardown();
        PostQuitMessage(0);
    }
}

LRESULT PatternWindowProc(HWND window, uint32_t message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_DESTROY:
        Teardown();
        PostQuitMessage(0);
        return 0;
    case WM_KEYDOWN:
        if (wParam == VK_ESCAPE) Quit();
        return 0;
    default: return DefWindowProc(window, message, wParam, lParam);
    }
}

}  // namespace

int main(int argc, char** argv)
{
    long maxFrames = -1;
    int command = 0;
    BackendSetup options;
    options.silentAudio = true;
    for (int i = 1; i < argc; ++i) {
        const char* value = i + 1 < argc ? argv[i + 1] : "";
        if (std::strcmp(argv[i], "--frames") == 0 && i + 1 < argc) {
            maxFrames = std::strtol(argv[++i], nullptr, 10);
        } else if (std::strcmp(argv[i], "--mode") == 0 && i + 1 < argc) {
            command = std::strcmp(value, "windowed") == 0 ? IDC_BUTTON_WINDOWED
                      : std::strcmp(value, "16") == 0     ? IDC_BUTTON_16BPP
                      : std::strcmp(value, "24") == 0     ? IDC_BUTTON_24BPP
                      : std::strcmp(value, "32") == 0     ? IDC_BUTTON_32BPP
                                                          : -1;
            ++i;
        } else if (std::strcmp(argv[i], "--zoom") == 0 && i + 1 < argc) {
            options.zoom = static_cast<int>(std::strtol(argv[++i], nullptr, 10));
        } else if (std::strcmp(argv[i], "--scaling") == 0 && i + 1 < argc) {
            if (std::strcmp(value, "nearest") == 0) {
                options.scaling = Scaling::Nearest;
            } else if (std::strcmp(value, "integer") == 0) {
                options.scaling = Scaling::Integer;
            } else if (std::strcmp(value, "sharp") != 0) {
                command = -1;
            }
            ++i;
        } else {
            command = -1;
        }
        if (command < 0 || options.zoom < 1 || options.zoom > 8) {
            std::fprintf(stderr, "usage: orchid-pattern [--frames N] [--mode 32|24|16|windowed] [--zoom 1-8]\n"
                         "                      [--scaling sharp|nearest|integer]\n");
            return 2;
        }
    }
    const BackendChoice choice = ChooseBackend(Backends(), ProcessEnvironment, BackendNeed::OnScreen);
    if (choice.outcome != BackendChoice::Chosen) {
        std::fprintf(stderr, "orchid-pattern: %s\n", choice.message.c_str());
        return choice.outcome == BackendChoice::Refused ? 2 : 1;
    }
    char error[256] = "";
    if (!choice.entry->install(options, error, sizeof error)) {
        std::fprintf(stderr, "orchid-pattern: %s\n", error);
        return 1;
    }
    PresetDialog preset(InstalledBackend().windows, command);
    if (command != 0) {
        Backend backend = InstalledBackend();
        backend.windows = &preset;
        InstallBackend(backend);
    }
    errorLog.Init(nullptr);
    try {
        CreateMainWindow(nullptr, PatternWindowProc);
        intptr_t result = DialogBoxParam(nullptr, kModeDialogId, mainWindow, ModeDialogProc, 0);
        if (result == -1 || screenBpp == -1) {
            userQuit = 1;
            Quit();
        } else {
            ShowWindow(mainWindow, SW_SHOWNORMAL);
            UpdateWindow(mainWindow);
            SetFocus(mainWindow);
            patternImage.Create(640, 480, 32);
            deDraw.Init(640, 480, screenBpp, windowed, mainWindow);
            std::printf("orchid-pattern: %s, surface %d bpp%s\n", windowed != 0 ? "windowed" : "fullscreen", deDraw.bpp,
                        deDraw.pixelFormat == PIXEL_FORMAT_565   ? " (5-6-5)"
                        : deDraw.pixelFormat == PIXEL_FORMAT_555 ? " (5-5-5)"
                                                                 : "");
            ShowCursor(0);
            running = 1;
        }
    } catch (const ErrorException&) {
        Quit();
    }

    long frame = 0;
    MSG message = {};
    for (;;) {
        if (PeekMessage(&message, nullptr, 0, 0, PM_NOREMOVE)) {
            if (GetMessage(&message, nullptr, 0, 0) <= 0) break;
            TranslateMessage(&message);
            DispatchMessage(&message);
        } else if (quitting == 0) {
            try {
                DrawPattern(patternImage, frame);
                deDraw.Present(&patternImage);
                if (++frame == maxFrames) Quit();
            } catch (const ErrorException&) {
                Quit();
            }
        }
    }
    int failed = userQuit == 0 && errorLog.count > 0;
    errorLog.Free();
    choice.entry->uninstall();
    return failed ? 1 : 0;
}
