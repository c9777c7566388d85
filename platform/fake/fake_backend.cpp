#include "platform/fake/fake_backend.h"

#include <cstdio>
#include <cstring>

namespace platform::fake {

FakePlatform::FakePlatform() = default;

FakePlatform::~FakePlatform()
{
    if (installed && InstalledBackend().windows == this) UninstallBackend();
}

void FakePlatform::Install()
{
    InstallBackend(Backend{this, this, this});
    installed = true;
}

// ---- windows ----------------------------------------------------------------

void FakePlatform::Queue(const Event& event)
{
    if (eventCount < kMaxEvents) events[eventCount++] = event;
}

void FakePlatform::Focus(HWND window, bool gained) { Queue(Event{Event::FOCUS, window, gained ? 1u : 0u, 0}); }
void FakePlatform::Key(HWND window, WPARAM virtualKey) { Queue(Event{Event::KEY, window, virtualKey, 0}); }
void FakePlatform::Close(HWND window) { Queue(Event{Event::CLOSE, window, 0, 0}); }
void FakePlatform::Move(HWND window, int x, int y)
{
    Queue(Event{Event::MOVE, window, static_cast<uintptr_t>(x), y});
}

void FakePlatform::ScreenSize(int* width, int* height)
{
    *width = screenWidth;
    *height = screenHeight;
}

bool FakePlatform::CreateNative(WindowRecord&) { return !failCreateWindow; }
void FakePlatform::DestroyNative(WindowRecord&) {}
void FakePlatform::ShowNative(WindowRecord&, int command) { lastShowCommand = command; }
void FakePlatform::FocusNative(WindowRecord&) {}

void FakePlatform::PumpEvents()
{
    // Events queued while delivering these wait for the next pump.
    int n = eventCount;
    Event batch[kMaxEvents];
    std::memcpy(batch, events, sizeof(Event) * static_cast<size_t>(n));
    eventCount = 0;
    for (int i = 0; i < n; ++i) {
        const Event& e = batch[i];
        switch (e.kind) {
        case Event::FOCUS: NotifyFocus(e.window, e.a != 0); break;
        case Event::KEY: PostMessage(e.window, WM_KEYDOWN, e.a, 0); break;
        case Event::CLOSE: PostMessage(e.window, WM_CLOSE, 0, 0); break;
        case Event::MOVE: NotifyMoved(e.window, static_cast<int>(e.a), e.b); break;
        }
    }
}

bool FakePlatform::WaitEvents() { return eventCount > 0; }

void FakePlatform::ApplyCursor(int id, bool visible)
{
    cursorId = id;
    cursorVisible = visible;
}

void FakePlatform::ShowOverlay(const char* text)
{
    std::snprintf(overlayText, sizeof overlayText, "%s", text);
}

void FakePlatform::ShowSeekBar(const SeekBar* bar)
{
    seekBarShown = bar != nullptr;
    if (bar != nullptr) seekBar = *bar;
}

bool FakePlatform::ShowMessageBox(const char* text, const char* caption)
{
    if (!hasDisplay) return false;
    ++messageBoxes;
    std::snprintf(lastMessageText, sizeof lastMessageText, "%s", text);
    std::snprintf(lastMessageCaption, sizeof lastMessageCaption, "%s", caption);
    return true;
}

bool FakePlatform::RunDialog(WindowRecord& dialog, const DialogTemplate&)
{
    ++dialogsRun;
    if (failDialog) return false;
    for (int command : dialogCommands) {
        if (command == 0 || dialog.dialogEnded) break;
        SendMessage(&dialog, WM_COMMAND, static_cast<WPARAM>(command), 0);
    }
    if (dialog.dialogEnded && onDialogEnded) onDialogEnded();
    return dialog.dialogEnded;
}

// ---- display ------------------------------------------------------------------

void FakePlatform::FailDisplay(DisplayCall call, HRESULT result, int times)
{
    failures[static_cast<int>(call)] = Failure{result, times};
}

void FakePlatform::ClearDisplayFailures()
{
    for (Failure& f : failures) f = Failure{};
}

HRESULT FakePlatform::Check(DisplayCall call)
{
    int index = static_cast<int>(call);
    ++calls[index];
    Failure& f = failures[index];
    if (f.times == 0) return DD_OK;
    if (f.times > 0) --f.times;
    return f.result;
}

bool FakePlatform::ModeFormat(int, int, int bpp, DDPIXELFORMAT* format)
{
    if (refuseMode) return false;
    int depth = fullscreenBpp != 0 ? fullscreenBpp : bpp;
    format->dwFlags = DDPF_RGB;
    format->dwRGBBitCount = static_cast<uint32_t>(depth);
    if (depth == 16) {
        format->dwRBitMask = masks16[0];
        format->dwGBitMask = masks16[1];
        format->dwBBitMask = masks16[2];
    } else if (depth == 24 || depth == 32) {
        format->dwRBitMask = 0xFF0000;
        format->dwGBitMask = 0x00FF00;
        format->dwBBitMask = 0x0000FF;
    }
    return true;
}

void FakePlatform::DesktopFormat(int* width, int* height, DDPIXELFORMAT* format)
{
    *width = desktopWidth;
    *height = desktopHeight;
    format->dwFlags = DDPF_RGB;
    format->dwRGBBitCount = static_cast<uint32_t>(desktopBpp);
    if (desktopBpp == 16) {
        format->dwRBitMask = masks16[0];
        format->dwGBitMask = masks16[1];
        format->dwBBitMask = masks16[2];
    } else if (desktopBpp >= 24) {
        format->dwRBitMask = 0xFF0000;
        format->dwGBitMask = 0x00FF00;
        format->dwBBitMask = 0x0000FF;
    }
}

bool FakePlatform::EnterFullscreen(HWND, int, int, const DDPIXELFORMAT&)
{
    fullscreen = true;
    return true;
}

void FakePlatform::LeaveFullscreen()
{
    fullscreen = false;
    ++modeRestores;
}

void FakePlatform::ShowFlipped(const FrameView& frame)
{
    ++framesShown;
    lastFrame = frame;
    lastFrameWindow = nullptr;
    if (onFrameShown) onFrameShown();
}

void FakePlatform::ShowWindowed(HWND window, const FrameView& part)
{
    ++framesShown;
    lastFrame = part;
    lastFrameWindow = window;
    if (onFrameShown) onFrameShown();
}

void FakePlatform::SurfacesReleased()
{
    ++surfacesReleased;
    lastFrame = FrameView{};
}

void FakePlatform::DeviceReleased() { ++devicesReleased; }

// ---- sound ----------------------------------------------------------------------

void FakePlatform::LogSound(const char* name)
{
    size_t used = std::strlen(soundCalls);
    std::snprintf(soundCalls + used, sizeof soundCalls - used, "%s%s", used > 0 ? " " : "", name);
}

uint32_t FakePlatform::GetVersion()
{
    LogSound("GetVersion");
    return version;
}

int FakePlatform::Init(int device, uint32_t rate, uint32_t flags, HWND)
{
    LogSound("Init");
    lastInitDevice = device;
    lastInitFrequency = rate;
    lastInitFlags = flags;
    return failInit ? 0 : 1;
}

int FakePlatform::Start()
{
    LogSound("Start");
    if (failStart) return 0;
    soundPaused = false;
    return 1;
}

int FakePlatform::Pause()
{
    LogSound("Pause");
    if (failPause) return 0;
    soundPaused = true;
    return 1;
}

int FakePlatform::Stop()
{
    LogSound("Stop");
    return 1;
}

int FakePlatform::Free()
{
    LogSound("Free");
    return 1;
}

uint32_t FakePlatform::StreamCreateFile(int, const void* file, uint32_t, uint32_t, uint32_t flags)
{
    LogSound("StreamCreateFile");
    std::snprintf(lastStreamFile, sizeof lastStreamFile, "%s", file != nullptr ? static_cast<const char*>(file) : "");
    lastStreamFlags = flags;
    return failStreamCreate ? 0 : 7;
}

int FakePlatform::StreamPlay(uint32_t stream, int, uint32_t)
{
    LogSound("StreamPlay");
    return failStreamPlay || stream != 7 ? 0 : 1;
}

int FakePlatform::StreamFree(uint32_t)
{
    LogSound("StreamFree");
    return 1;
}

uint32_t FakePlatform::StreamGetLength(uint32_t)
{
    LogSound("StreamGetLength");
    return streamLength;
}

uint32_t FakePlatform::StreamGetBlockLength(uint32_t)
{
    LogSound("StreamGetBlockLength");
    return blockLength;
}

int FakePlatform::ChannelGetAttributes(uint32_t, uint32_t* rate, int*, int*)
{
    LogSound("ChannelGetAttributes");
    if (rate != nullptr) *rate = frequency;
    return 1;
}

uint32_t FakePlatform::ChannelGetFlags(uint32_t)
{
    LogSound("ChannelGetFlags");
    return channelFlags;
}

uint32_t FakePlatform::ChannelGetPosition(uint32_t)
{
    LogSound("ChannelGetPosition");
    return position;
}

int FakePlatform::ChannelSetPosition(uint32_t, uint32_t newPosition)
{
    LogSound("ChannelSetPosition");
    if (failSetPosition) return 0;
    position = newPosition;
    return 1;
}

int FakePlatform::ChannelSetVolume(uint32_t, int level)
{
    LogSound("ChannelSetVolume");
    volume = level;
    return 1;
}

}  // namespace platform::fake
