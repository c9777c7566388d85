// What a backend implements (sdl, win32, web, headless, and the tests'
// fake), and how one is installed. Programs install exactly one backend at
// start, an entry of the backend table (platform/backend_table.h); the
// window, display and sound calls then go to it. Code above the platform
// layer never includes this header except to install a backend.
#pragma once

#include <cstdint>

#include "platform/display.h"
#include "platform/frame_sink.h"
#include "platform/sound.h"
#include "platform/window.h"

namespace platform {

// One window as the window table keeps it. Backends read the geometry and
// keep their own handle in `native`.
struct WindowRecord {
    bool used;
    bool destroying;  // DestroyWindow has begun: later destroys do nothing
    bool alive;       // messages are delivered
    bool visible;
    bool focused;
    bool isDialog;
    uint32_t exStyle;
    uint32_t style;
    int x;
    int y;
    int width;
    int height;
    char title[64];
    WNDPROC procedure;
    DLGPROC dialogProcedure;
    bool dialogEnded;
    intptr_t dialogResult;
    HICON icon;
    const char* className;  // the registered class's name (the class table's copy)
    int dialogId;           // a dialog: its template's resource id
    WindowRecord* owner;    // a dialog: the window given as its owner
    void* native;
};

class WindowSystem {
public:
    virtual ~WindowSystem() = default;
    virtual void ScreenSize(int* width, int* height) = 0;
    // Makes the backend's window for a new record (hidden unless visible).
    virtual bool CreateNative(WindowRecord& window) = 0;
    virtual void DestroyNative(WindowRecord& window) = 0;
    // Shows or hides the window as a ShowWindow command says (SW_HIDE,
    // SW_SHOWMINIMIZED, ...).
    virtual void ShowNative(WindowRecord& window, int command) = 0;
    virtual void FocusNative(WindowRecord& window) = 0;
    // Turns the backend's pending events into messages (PostMessage,
    // NotifyFocus, ...). Never blocks.
    virtual void PumpEvents() = 0;
    // Blocks until an event may have arrived; false when none ever can.
    virtual bool WaitEvents() = 0;
    // The current standard cursor and whether it shows.
    virtual void ApplyCursor(int id, bool visible) = 0;
    // False when there is no display to show it on.
    virtual bool ShowMessageBox(const char* text, const char* caption) = 0;
    // The text to draw over the shown picture ("" for none).
    virtual void ShowOverlay(const char*) {}
    // The seek bar to draw over the shown picture (null for none); the
    // backend copies what it keeps.
    virtual void ShowSeekBar(const SeekBar*) {}
    // The modal loop of a dialog whose record exists and has received
    // WM_INITDIALOG: returns once dialog.dialogEnded is set (true), or false
    // when the dialog cannot be shown.
    virtual bool RunDialog(WindowRecord& dialog, const DialogTemplate& dialogTemplate) = 0;
};

// The display calls that can be told to fail (by the fake).
enum class DisplayCall {
    Create,
    CooperativeLevel,
    DisplayMode,
    CreateSurface,
    AttachedSurface,
    Lock,
    Unlock,
    Flip,
    Restore,
};

// The display device itself is one implementation over memory surfaces
// (platform/memory_display.cpp); a backend decides which modes exist and
// shows what is flipped or unlocked.
class DisplayBackend {
public:
    virtual ~DisplayBackend() = default;
    // A chance to refuse any call; DD_OK lets it go ahead.
    virtual HRESULT Check(DisplayCall) { return DD_OK; }
    // The format of a fullscreen mode; false when the mode is refused. By
    // default, as the desktop backends have it: 32 and 24 bits with 8-bit
    // channels, 16 bits as 5-6-5, no other depth.
    virtual bool ModeFormat(int width, int height, int bpp, DDPIXELFORMAT* format);
    // The desktop's size and format (windowed primary surface).
    virtual void DesktopFormat(int* width, int* height, DDPIXELFORMAT* format) = 0;
    // Bytes added to each surface row beyond its pixels.
    virtual int RowPadding() { return 0; }
    // The mode has been set for this window: show it fullscreen.
    virtual bool EnterFullscreen(HWND window, int width, int height, const DDPIXELFORMAT& format) = 0;
    // The desktop gets its own mode back.
    virtual void LeaveFullscreen() = 0;
    // A flip made this buffer the visible one.
    virtual void ShowFlipped(const FrameView& frame) = 0;
    // The desktop surface was unlocked: this is the window's part of it.
    virtual void ShowWindowed(HWND window, const FrameView& part) = 0;
    // The primary surface (and its chain) was released: shown pixels are
    // gone.
    virtual void SurfacesReleased() {}
    // The device was released.
    virtual void DeviceReleased() {}
};

// A display interface of the operating system itself, in place of the
// device over memory surfaces: DirectDrawCreateEx makes its device.
class DisplayDriver {
public:
    virtual ~DisplayDriver() = default;
    // The device, or the interface's own failure result.
    virtual HRESULT CreateDevice(DisplayDevice** device) = 0;
};

struct Backend {
    WindowSystem* windows;
    DisplayBackend* display;
    SoundLibrary* sound;
    // When set, the display calls go to this driver and `display` is unused.
    DisplayDriver* driver = nullptr;
};

// Installs a backend (pieces may be null: their calls then fail). Clears
// the window table and the message queue.
void InstallBackend(const Backend& backend);
void UninstallBackend();
const Backend& InstalledBackend();

// Empties the window and class tables and the message queue, and makes the
// arrow the cursor again (shown): the state a newly installed backend
// starts from.
void ResetWindowSystem();

// Calls for backends, made while pumping events.
// The window's own focus changed (minimising counts as a loss, restoring
// as a gain). The application's activation is worked out when the pump
// ends.
void NotifyFocus(HWND window, bool gained);
// The window moved on the screen.
void NotifyMoved(HWND window, int x, int y);
// A message box's text cut to at most `lines` lines (at least 3): the
// first whole entries of a report, where an empty line ends each entry,
// then one line counting the entries left out and saying that the whole
// text is on standard error. False, with `out` untouched, when the text
// fits as it is. `out` (of `size` bytes) always ends in a NUL.
bool FitMessageToLines(const char* text, int lines, char* out, int size);
// The box's text as it goes to standard error: the caption, then the text
// ending in a newline.
void WriteMessageToStderr(const char* text, const char* caption);
// The record of a window, or null for a stale handle.
WindowRecord* FindWindowRecord(HWND window);
// Each live record, in creation order.
int WindowCount();
HWND WindowAt(int index);

}  // namespace platform
