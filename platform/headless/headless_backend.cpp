#include "platform/headless/headless_backend.h"

#include "platform/backend.h"
#include "platform/stream_sound.h"

namespace platform::headless {

namespace {

class HeadlessPlatform final : public WindowSystem, public DisplayBackend {
public:
    Options options;
    FrameView lastFrame = {};

    // Windows exist only in the window table.
    void ScreenSize(int* width, int* height) override
    {
        *width = options.desktopWidth;
        *height = options.desktopHeight;
    }
    bool CreateNative(WindowRecord&) override { return true; }
    void DestroyNative(WindowRecord&) override {}
    void ShowNative(WindowRecord&, int) override {}
    void FocusNative(WindowRecord&) override {}
    void PumpEvents() override {}
    bool WaitEvents() override { return false; }
    void ApplyCursor(int, bool) override {}
    bool ShowMessageBox(const char*, const char*) override { return false; }
    bool RunDialog(WindowRecord& dialog, const DialogTemplate&) override
    {
        if (options.dialogCommand == 0) return false;
        SendMessage(&dialog, WM_COMMAND, static_cast<WPARAM>(options.dialogCommand), 0);
        return dialog.dialogEnded;
    }

    // Fullscreen modes as every desktop backend has them; a 32-bit desktop.
    void DesktopFormat(int* width, int* height, DDPIXELFORMAT* format) override
    {
        *width = options.desktopWidth;
        *height = options.desktopHeight;
        ModeFormat(0, 0, 32, format);
    }
    bool EnterFullscreen(HWND, int, int, const DDPIXELFORMAT&) override { return true; }
    void LeaveFullscreen() override {}
    void ShowFlipped(const FrameView& frame) override { Show(frame); }
    void ShowWindowed(HWND, const FrameView& part) override { Show(part); }
    void SurfacesReleased() override { lastFrame = FrameView{}; }
    void DeviceReleased() override
    {
        if (options.sink != nullptr) options.sink->Close();
    }

private:
    void Show(const FrameView& frame)
    {
        lastFrame = frame;
        if (options.sink != nullptr) options.sink->Frame(frame);
    }
};

HeadlessPlatform* platformInstance = nullptr;
ClockSound* soundInstance = nullptr;

}  // namespace

void Install(const Options& options)
{
    Uninstall();
    static HeadlessPlatform platformObject;
    static ClockSound soundObject;
    platformObject.options = options;
    platformObject.lastFrame = FrameView{};
    platformInstance = &platformObject;
    soundInstance = &soundObject;
    InstallBackend(Backend{platformInstance, platformInstance, soundInstance});
}

void Uninstall()
{
    if (platformInstance == nullptr) return;
    if (InstalledBackend().windows == platformInstance) UninstallBackend();
    soundInstance->Free();
    platformInstance = nullptr;
    soundInstance = nullptr;
}

namespace {

bool CanRun(EnvironmentLookup, const char**) { return true; }

bool InstallEntry(const BackendSetup& setup, char*, std::size_t)
{
    Options options;
    options.dialogCommand = setup.dialogCommand;
    options.sink = setup.sink;
    Install(options);
    return true;
}

}  // namespace

const BackendEntry kEntry = {"headless", false, CanRun, InstallEntry, Uninstall};

FrameView LastFrame() { return platformInstance != nullptr ? platformInstance->lastFrame : FrameView{}; }

}  // namespace platform::headless
