// A window system that answers the mode dialog with a choice made in
// advance (the --mode option) and passes everything else on.
#pragma once

#include "platform/backend.h"

class PresetDialog final : public platform::WindowSystem {
public:
    // command: the dialog control to "press" (for example the 32bpp button).
    PresetDialog(platform::WindowSystem* inner, int command) : inner(inner), command(command) {}

    void ScreenSize(int* width, int* height) override { inner->ScreenSize(width, height); }
    bool CreateNative(platform::WindowRecord& window) override { return inner->CreateNative(window); }
    void DestroyNative(platform::WindowRecord& window) override { inner->DestroyNative(window); }
    void ShowNative(platform::WindowRecord& window, int command) override { inner->ShowNative(window, command); }
    void FocusNative(platform::WindowRecord& window) override { inner->FocusNative(window); }
    void PumpEvents() override { inner->PumpEvents(); }
    bool WaitEvents() override { return inner->WaitEvents(); }
    void ApplyCursor(int id, bool visible) override { inner->ApplyCursor(id, visible); }
    bool ShowMessageBox(const char* text, const char* caption) override
    {
        return inner->ShowMessageBox(text, caption);
    }
    void ShowOverlay(const char* text) override { inner->ShowOverlay(text); }
    void ShowSeekBar(const platform::SeekBar* bar) override { inner->ShowSeekBar(bar); }
    // Presses the control once, without showing anything.
    bool RunDialog(platform::WindowRecord& dialog, const platform::DialogTemplate&) override
    {
        platform::SendMessage(&dialog, platform::WM_COMMAND, static_cast<platform::WPARAM>(command), 0);
        return dialog.dialogEnded;
    }

private:
    platform::WindowSystem* inner;
    int command;
};
