// A backend for tests: every call the display and music classes make can
// be told to fail or to report odd formats, native events are injected by
// hand, and what was shown, said and played is recorded.
#pragma once

#include <cstdint>
#include <functional>

#include "platform/backend.h"

namespace platform::fake {

class FakePlatform final : public WindowSystem, public DisplayBackend, public SoundLibrary {
public:
    FakePlatform();
    ~FakePlatform() override;
    FakePlatform(const FakePlatform&) = delete;
    FakePlatform& operator=(const FakePlatform&) = delete;

    // Installs this object as the backend (and uninstalls it when destroyed).
    void Install();

    // ---- windows -------------------------------------------------------
    int screenWidth = 1024;
    int screenHeight = 768;
    bool failCreateWindow = false;
    bool hasDisplay = true;  // false: message boxes fall back to stderr
    // Native events, delivered at the next pump, in order.
    void Focus(HWND window, bool gained);
    void Key(HWND window, WPARAM virtualKey);
    void Close(HWND window);
    void Move(HWND window, int x, int y);
    // The dialog presses these controls in order (0 ends the list); if the
    // procedure has not ended the dialog after them, Escape and then nothing
    // more happen and the dialog reports that it could not run on.
    int dialogCommands[8] = {};
    bool failDialog = false;
    int dialogsRun = 0;
    // Runs as a dialog ends: a test's events for the start-up after it.
    std::function<void()> onDialogEnded;
    // Recorded.
    int messageBoxes = 0;
    char lastMessageText[512] = {};
    char lastMessageCaption[64] = {};
    char overlayText[96] = {};
    // The seek bar last shown, and whether one is shown.
    SeekBar seekBar;
    bool seekBarShown = false;
    int lastShowCommand = -1;  // the last ShowWindow command a window got
    int cursorId = IDC_ARROW;
    bool cursorVisible = true;

    // ---- display -------------------------------------------------------
    // Make a call fail with `result`, `times` times (-1: for ever).
    void FailDisplay(DisplayCall call, HRESULT result, int times = -1);
    void ClearDisplayFailures();
    int calls[9] = {};  // how often each DisplayCall was made
    // Fullscreen 16-bit modes report these masks (5-6-5 unless changed);
    // `fullscreenBpp` other than 0 replaces the depth the mode gets.
    uint32_t masks16[3] = {0xF800, 0x07E0, 0x001F};
    int fullscreenBpp = 0;
    bool refuseMode = false;
    int desktopWidth = 1024;
    int desktopHeight = 768;
    int desktopBpp = 32;
    int rowPadding = 0;
    bool fullscreen = false;
    int modeRestores = 0;
    int framesShown = 0;
    // Runs after each frame is shown (a test's display refresh, say).
    std::function<void()> onFrameShown;
    FrameView lastFrame = {};
    HWND lastFrameWindow = nullptr;
    int surfacesReleased = 0;
    int devicesReleased = 0;

    // ---- sound ---------------------------------------------------------
    uint32_t version = kSoundVersion;
    bool failInit = false;
    bool failStart = false;
    bool failPause = false;
    bool failStreamCreate = false;
    bool failStreamPlay = false;
    uint32_t frequency = 44100;
    uint32_t channelFlags = 0;
    uint32_t streamLength = 441000;
    uint32_t blockLength = 4608;
    uint32_t position = 0;  // ChannelSetPosition moves it too
    int volume = 100;       // as ChannelSetVolume last set it
    bool soundPaused = false;  // between a Pause and the next Start
    bool failSetPosition = false;
    // Every sound call by name, separated by spaces ("GetVersion Init ...").
    char soundCalls[1024] = {};
    char lastStreamFile[256] = {};
    int lastInitDevice = 0;
    uint32_t lastInitFrequency = 0;
    uint32_t lastInitFlags = 0;
    uint32_t lastStreamFlags = 0;

    // WindowSystem
    void ScreenSize(int* width, int* height) override;
    bool CreateNative(WindowRecord& window) override;
    void DestroyNative(WindowRecord& window) override;
    void ShowNative(WindowRecord& window, int command) override;
    void FocusNative(WindowRecord& window) override;
    void PumpEvents() override;
    bool WaitEvents() override;
    void ApplyCursor(int id, bool visible) override;
    bool ShowMessageBox(const char* text, const char* caption) override;
    void ShowOverlay(const char* text) override;
    void ShowSeekBar(const SeekBar* bar) override;
    bool RunDialog(WindowRecord& dialog, const DialogTemplate& dialogTemplate) override;

    // DisplayBackend
    HRESULT Check(DisplayCall call) override;
    bool ModeFormat(int width, int height, int bpp, DDPIXELFORMAT* format) override;
    void DesktopFormat(int* width, int* height, DDPIXELFORMAT* format) override;
    int RowPadding() override { return rowPadding; }
    bool EnterFullscreen(HWND window, int width, int height, const DDPIXELFORMAT& format) override;
    void LeaveFullscreen() override;
    void ShowFlipped(const FrameView& frame) override;
    void ShowWindowed(HWND window, const FrameView& part) override;
    void SurfacesReleased() override;
    void DeviceReleased() override;

    // SoundLibrary
    uint32_t GetVersion() override;
    int Init(int device, uint32_t frequency, uint32_t flags, HWND window) override;
    int Start() override;
    int Pause() override;
    int Stop() override;
    int Free() override;
    uint32_t StreamCreateFile(int fromMemory, const void* file, uint32_t offset, uint32_t length,
                              uint32_t flags) override;
    int StreamPlay(uint32_t stream, int flush, uint32_t flags) override;
    int StreamFree(uint32_t stream) override;
    uint32_t StreamGetLength(uint32_t stream) override;
    uint32_t StreamGetBlockLength(uint32_t stream) override;
    int ChannelGetAttributes(uint32_t stream, uint32_t* frequency, int* volume, int* panning) override;
    uint32_t ChannelGetFlags(uint32_t stream) override;
    uint32_t ChannelGetPosition(uint32_t stream) override;
    int ChannelSetPosition(uint32_t stream, uint32_t position) override;
    int ChannelSetVolume(uint32_t stream, int volume) override;

private:
    struct Event {
        enum Kind { FOCUS, KEY, CLOSE, MOVE } kind;
        HWND window;
        uintptr_t a;
        int b;
    };
    static constexpr int kMaxEvents = 64;
    Event events[kMaxEvents] = {};
    int eventCount = 0;
    void Queue(const Event& event);

    struct Failure {
        HRESULT result;
        int times;
    };
    Failure failures[9] = {};
    bool installed = false;

    void LogSound(const char* name);
};

}  // namespace platform::fake
