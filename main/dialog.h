// The mode-selection dialog (resource 107): a banner on top, the buttons
// "32bpp", "24bpp", "16bpp" in a row under it and "Windowed", "Quit" below.
// Its procedure stores the choice in `screenBpp` and `windowed`.
#pragma once

#include "platform/window.h"

constexpr int kModeDialogId = 107;
constexpr int kBannerBitmapId = 144;

constexpr int IDC_BUTTON_QUIT = 1013;
constexpr int IDC_BUTTON_16BPP = 1026;
constexpr int IDC_BUTTON_24BPP = 1027;
constexpr int IDC_BUTTON_32BPP = 1028;
constexpr int IDC_BUTTON_WINDOWED = 1029;
constexpr int IDC_BANNER = 1031;

// The dialog template, registered under kModeDialogId by this module.
extern const platform::DialogTemplate modeDialogTemplate;

intptr_t ModeDialogProc(platform::HWND dialog, uint32_t message, platform::WPARAM wParam,
                        platform::LPARAM lParam);
