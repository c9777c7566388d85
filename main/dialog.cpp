#include "main/dialog.h"

#include "main/app_state.h"

using namespace platform;

namespace {

const DialogControl modeDialogControls[] = {
    {IDC_BUTTON_32BPP, "32bpp", 11, 35, 45, 20, 0},
    {IDC_BUTTON_24BPP, "24bpp", 57, 35, 45, 20, 0},
    {IDC_BUTTON_16BPP, "16bpp", 104, 35, 45, 20, 0},
    {IDC_BUTTON_WINDOWED, "Windowed", 34, 56, 45, 20, 0},
    {IDC_BUTTON_QUIT, "Quit", 80, 56, 45, 20, 0},
    {IDC_BANNER, nullptr, 0, 0, 161, 34, kBannerBitmapId},
};

}  // namespace

const DialogTemplate modeDialogTemplate = {
    157, 78, "Orchid", modeDialogControls,
    static_cast<int>(sizeof modeDialogControls / sizeof modeDialogControls[0]),
};

// The template is a resource of the program: it is known from the start.
[[maybe_unused]] static const bool modeDialogRegistered = (RegisterDialogTemplate(kModeDialogId, &modeDialogTemplate), true);

intptr_t ModeDialogProc(HWND dialog, uint32_t message, WPARAM wParam, LPARAM)
{
    if (message == WM_INITDIALOG) {
        SetFocus(dialog);
        return 1;
    }
    if (message != WM_COMMAND) return 0;
    switch (LOWORD(wParam)) {
    case IDC_BUTTON_QUIT:
        screenBpp = -1;
        EndDialog(dialog, 0);
        return 0;
    case IDC_BUTTON_16BPP:
        screenBpp = 16;
        windowed = 0;
        EndDialog(dialog, 1);
        return 1;
    case IDC_BUTTON_24BPP:
        screenBpp = 24;
        windowed = 0;
        EndDialog(dialog, 1);
        return 1;
    case IDC_BUTTON_32BPP:
        screenBpp = 32;
        windowed = 0;
        EndDialog(dialog, 1);
        return 1;
    case IDC_BUTTON_WINDOWED:
        screenBpp = 0;
        windowed = 1;
        EndDialog(dialog, 1);
        return 1;
    default:
        return 0;
    }
}
