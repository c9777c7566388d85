#include "platform/web/web_backend.h"

#include <emscripten.h>

#include "platform/backend.h"
#include "platform/stream_sound.h"

// The page's side of each call (platform/web/web_library.js).
extern "C" {
void orchid_js_show_picture(const uint8_t* rgba, int width, int height);
void orchid_js_message_box(const char* text, const char* caption);
void orchid_js_overlay(const char* text);
void orchid_js_seek_bar(int shown);
void orchid_js_download(const char* name, const uint8_t* bytes, std::size_t size);
void orchid_js_cursor(int id, int visible);
void orchid_js_leave_fullscreen();
int orchid_js_audio_open();
int orchid_js_audio_resume();
int orchid_js_audio_suspend();
int orchid_js_audio_play();
void orchid_js_audio_stop();
double orchid_js_audio_heard();
int orchid_js_audio_seek(double seconds);
int orchid_js_audio_volume(int level);
}

namespace platform::web {

namespace {

// The page's events since the message loop last looked.
struct PageEvent {
    bool focus;  // else a key
    int value;   // the key, or 1 gained / 0 lost
};
constexpr int kQueueSize = 64;
PageEvent events[kQueueSize];
int eventCount = 0;

void Queue(PageEvent event)
{
    // A page that stopped looking (the show is over) drops what comes.
    if (eventCount < kQueueSize) events[eventCount++] = event;
}

// The one window the page stands for: the first live window that is no
// dialog.
HWND PageWindow()
{
    for (int i = 0; i < WindowCount(); ++i) {
        WindowRecord* r = FindWindowRecord(WindowAt(i));
        if (r != nullptr && r->alive && !r->isDialog) return r;
    }
    return nullptr;
}

class WebPlatform final : public WindowSystem, public DisplayBackend {
public:
    Options options;

    // The page's stage is the screen: a 640 x 480 window covers it.
    void ScreenSize(int* width, int* height) override
    {
        *width = kStageWidth;
        *height = kStageHeight;
    }
    bool CreateNative(WindowRecord&) override { return true; }
    void DestroyNative(WindowRecord&) override {}
    void ShowNative(WindowRecord&, int) override {}
    void FocusNative(WindowRecord&) override {}

    void PumpEvents() override
    {
        HWND window = PageWindow();
        for (int i = 0; i < eventCount; ++i) {
            if (window == nullptr) break;
            if (events[i].focus)
                NotifyFocus(window, events[i].value != 0);
            else
                PostMessage(window, WM_KEYDOWN, static_cast<WPARAM>(events[i].value), 0);
        }
        eventCount = 0;
    }
    // A page cannot block: its events come between animation frames.
    bool WaitEvents() override { return false; }
    void ApplyCursor(int id, bool visible) override { orchid_js_cursor(id, visible ? 1 : 0); }
    bool ShowMessageBox(const char* text, const char* caption) override
    {
        orchid_js_message_box(text, caption);
        return true;
    }
    void ShowOverlay(const char* text) override { orchid_js_overlay(text); }
    // The page's control bar holds its own seek bar, with the scenes.
    void ShowSeekBar(const SeekBar* bar) override { orchid_js_seek_bar(bar != nullptr ? 1 : 0); }
    // The start screen was answered before the show started.
    bool RunDialog(WindowRecord& dialog, const DialogTemplate&) override
    {
        if (options.dialogCommand == 0) return false;
        SendMessage(&dialog, WM_COMMAND, static_cast<WPARAM>(options.dialogCommand), 0);
        return dialog.dialogEnded;
    }

    // The desktop's modes (32, 24, 16 bits as 5-6-5); the stage as a 32-bit
    // desktop. The page went fullscreen with the start screen's click (the
    // gesture a browser asks for); the mode only changes the pixels' format.
    void DesktopFormat(int* width, int* height, DDPIXELFORMAT* format) override
    {
        ScreenSize(width, height);
        ModeFormat(0, 0, 32, format);
    }
    bool EnterFullscreen(HWND, int, int, const DDPIXELFORMAT&) override { return true; }
    void LeaveFullscreen() override { orchid_js_leave_fullscreen(); }
    void ShowFlipped(const FrameView& frame) override { Show(frame); }
    void ShowWindowed(HWND, const FrameView& part) override { Show(part); }
    void DeviceReleased() override
    {
        if (options.sink != nullptr) options.sink->Close();
    }

private:
    static constexpr int kStageWidth = 640;
    static constexpr int kStageHeight = 480;

    void Show(const FrameView& frame)
    {
        if (options.sink != nullptr) options.sink->Frame(frame);
    }
};

// The music through Web Audio. The page decodes the file (the stream's
// decoder asks it) and made the audio context with the start screen's
// click; the position is what the context has played, less what is still
// on its way to the speaker.
class WebSound final : public StreamSound {
public:
    int Init(int, uint32_t, uint32_t, HWND) override
    {
        if (initialized || !orchid_js_audio_open()) return 0;
        initialized = true;
        return 1;
    }
    int Start() override { return initialized ? orchid_js_audio_resume() : 0; }
    int Pause() override { return initialized ? orchid_js_audio_suspend() : 0; }
    int Stop() override
    {
        orchid_js_audio_stop();
        playing = false;
        return 1;
    }
    int Free() override
    {
        if (!initialized) return 0;
        Stop();
        StreamFree(current);
        initialized = false;
        return 1;
    }
    int StreamPlay(uint32_t stream, int, uint32_t) override
    {
        if (!initialized || !Valid(stream) || !orchid_js_audio_play()) return 0;
        playing = true;
        lastPosition = 0;
        return 1;
    }
    uint32_t ChannelGetPosition(uint32_t stream) override
    {
        if (!Valid(stream) || !playing) return 0;
        double frames = orchid_js_audio_heard() * Mp3Decoder::kRate;
        uint64_t bytes = frames > 0 ? static_cast<uint64_t>(frames) * Mp3Decoder::kBytesPerSample : 0;
        uint32_t position = bytes > 0xFFFFFFFCu ? 0xFFFFFFFCu : static_cast<uint32_t>(bytes);
        // A change of the output latency could move the answer back a
        // little; the heard position never goes back.
        if (position < lastPosition) position = lastPosition;
        lastPosition = position;
        return position;
    }
    int ChannelSetPosition(uint32_t stream, uint32_t position) override
    {
        if (!Valid(stream) || !playing) return 0;
        position -= position % Mp3Decoder::kBytesPerSample;
        if (!orchid_js_audio_seek(static_cast<double>(position) / kBytesPerSecond)) return 0;
        // From here the heard position starts again, at the new place.
        lastPosition = position;
        return 1;
    }
    int ChannelSetVolume(uint32_t stream, int level) override
    {
        return StreamSound::ChannelSetVolume(stream, level) && orchid_js_audio_volume(volume);
    }

private:
    bool initialized = false;
    bool playing = false;
    uint32_t lastPosition = 0;
};

WebPlatform platformObject;
WebSound webSound;
ClockSound clockSound;
SoundLibrary* soundInstance = nullptr;

}  // namespace

void Install(const Options& options)
{
    Uninstall();
    platformObject.options = options;
    eventCount = 0;
    soundInstance = options.clockedSound ? static_cast<SoundLibrary*>(&clockSound) : &webSound;
    InstallBackend(Backend{&platformObject, &platformObject, soundInstance});
}

void Uninstall()
{
    if (soundInstance == nullptr) return;
    if (InstalledBackend().windows == &platformObject) UninstallBackend();
    soundInstance->Free();
    soundInstance = nullptr;
}

namespace {

bool CanRun(EnvironmentLookup, const char**) { return true; }

bool InstallEntry(const BackendSetup& setup, char*, std::size_t)
{
    Options options;
    options.dialogCommand = setup.dialogCommand;
    options.sink = setup.sink;
    options.clockedSound = setup.silentAudio;
    Install(options);
    return true;
}

}  // namespace

const BackendEntry kEntry = {"web", true, CanRun, InstallEntry, Uninstall};

void ShowPicture(const uint8_t* rgba, int width, int height) { orchid_js_show_picture(rgba, width, height); }

void Download(const char* name, const uint8_t* bytes, std::size_t size) { orchid_js_download(name, bytes, size); }

extern "C" {

EMSCRIPTEN_KEEPALIVE void orchid_web_key(int virtualKey) { Queue(PageEvent{false, virtualKey}); }

EMSCRIPTEN_KEEPALIVE void orchid_web_focus(int gained) { Queue(PageEvent{true, gained != 0 ? 1 : 0}); }

}  // extern "C"

}  // namespace platform::web
