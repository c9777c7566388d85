// Windows, the message queue, cursors, the message box and modal dialogs,
// shaped like the desktop calls the shell is written against. The queue and
// the window table live here; the backend (an entry of the backend table,
// platform/backend_table.h, or the tests' fake, installed at start with
// platform::InstallBackend) supplies the screen, turns its own events into
// messages and runs the dialogs.
//
// What callers can rely on:
// - PeekMessage/GetMessage first collect the backend's new events; a message
//   for a window that has been destroyed is dropped, never delivered.
// - DestroyWindow delivers WM_DESTROY to the window procedure before it
//   returns. A second DestroyWindow of the same window (also one made from
//   inside its WM_DESTROY) does nothing and returns 0.
// - Activation is application-wide: WM_ACTIVATEAPP is sent (synchronously,
//   to every live window) only when the application as a whole gains or
//   loses the focus, or is minimised or restored. The application counts as
//   active from the start, so a display that sends no focus events at all
//   leaves it active. Destroying one of its own windows is not a loss.
#pragma once

#include <cstdint>

namespace platform {

struct WindowRecord;
using HWND = WindowRecord*;
using HINSTANCE = void*;
using HICON = const void*;
using HBRUSH = const void*;
struct CursorShape;
using HCURSOR = const CursorShape*;
using WPARAM = uintptr_t;
using LPARAM = intptr_t;
using LRESULT = intptr_t;
using BOOL = int;
using WNDPROC = LRESULT (*)(HWND window, uint32_t message, WPARAM wParam, LPARAM lParam);
// A dialog procedure returns TRUE when it handled the message.
using DLGPROC = intptr_t (*)(HWND dialog, uint32_t message, WPARAM wParam, LPARAM lParam);

struct RECT {
    int32_t left;
    int32_t top;
    int32_t right;
    int32_t bottom;
};

struct MSG {
    HWND hwnd;
    uint32_t message;
    WPARAM wParam;
    LPARAM lParam;
};

// Messages.
constexpr uint32_t WM_DESTROY = 0x0002;
constexpr uint32_t WM_CLOSE = 0x0010;
constexpr uint32_t WM_QUIT = 0x0012;
constexpr uint32_t WM_ACTIVATEAPP = 0x001C;
constexpr uint32_t WM_KEYDOWN = 0x0100;
constexpr uint32_t WM_INITDIALOG = 0x0110;
constexpr uint32_t WM_COMMAND = 0x0111;

// Virtual key codes delivered with WM_KEYDOWN.
constexpr WPARAM VK_TAB = 0x09;
constexpr WPARAM VK_RETURN = 0x0D;
constexpr WPARAM VK_ESCAPE = 0x1B;
constexpr WPARAM VK_SPACE = 0x20;
constexpr WPARAM VK_PRIOR = 0x21;  // Page Up
constexpr WPARAM VK_NEXT = 0x22;   // Page Down
constexpr WPARAM VK_HOME = 0x24;
constexpr WPARAM VK_LEFT = 0x25;
constexpr WPARAM VK_UP = 0x26;
constexpr WPARAM VK_RIGHT = 0x27;
constexpr WPARAM VK_DOWN = 0x28;
constexpr WPARAM VK_ADD = 0x6B;       // + on the numeric keypad
constexpr WPARAM VK_SUBTRACT = 0x6D;  // - on the numeric keypad
constexpr WPARAM VK_F1 = 0x70;
constexpr WPARAM VK_OEM_PLUS = 0xBB;   // the + (=) key
constexpr WPARAM VK_OEM_COMMA = 0xBC;  // the , key
constexpr WPARAM VK_OEM_MINUS = 0xBD;  // the - key
constexpr WPARAM VK_OEM_PERIOD = 0xBE; // the . key
// Letters and digits are their upper-case ASCII codes ('M').

// PeekMessage removal flags.
constexpr uint32_t PM_NOREMOVE = 0x0;
constexpr uint32_t PM_REMOVE = 0x1;

// Window and class styles.
constexpr uint32_t WS_POPUP = 0x80000000u;
constexpr uint32_t WS_VISIBLE = 0x10000000u;
constexpr uint32_t WS_EX_TOPMOST = 0x00000008u;
constexpr uint32_t CS_VREDRAW = 0x0001;
constexpr uint32_t CS_HREDRAW = 0x0002;

// ShowWindow commands.
constexpr int SW_HIDE = 0;
constexpr int SW_SHOWNORMAL = 1;
constexpr int SW_SHOWMINIMIZED = 2;
constexpr int SW_SHOWMAXIMIZED = 3;
constexpr int SW_SHOWNOACTIVATE = 4;
constexpr int SW_SHOW = 5;
constexpr int SW_MINIMIZE = 6;
constexpr int SW_SHOWMINNOACTIVE = 7;
constexpr int SW_SHOWNA = 8;
constexpr int SW_RESTORE = 9;
constexpr int SW_SHOWDEFAULT = 10;
constexpr int SW_FORCEMINIMIZE = 11;
// Whether a command shows the window minimized.
constexpr bool ShowsMinimized(int command)
{
    return command == SW_SHOWMINIMIZED || command == SW_MINIMIZE || command == SW_SHOWMINNOACTIVE ||
           command == SW_FORCEMINIMIZE;
}

// GetSystemMetrics indices: the primary screen's size in pixels.
constexpr int SM_CXSCREEN = 0;
constexpr int SM_CYSCREEN = 1;

// Standard cursors for LoadCursor with no instance.
constexpr int IDC_ARROW = 32512;
constexpr int IDC_WAIT = 32514;

// GetStockObject.
constexpr int BLACK_BRUSH = 4;

// MessageBox.
constexpr uint32_t MB_OK = 0x0;
constexpr int IDOK = 1;

constexpr uint16_t LOWORD(uintptr_t value) { return static_cast<uint16_t>(value & 0xFFFF); }

struct WNDCLASS {
    uint32_t style;
    WNDPROC lpfnWndProc;
    int cbClsExtra;
    int cbWndExtra;
    HINSTANCE hInstance;
    HICON hIcon;
    HCURSOR hCursor;
    HBRUSH hbrBackground;
    const char* lpszMenuName;
    const char* lpszClassName;
};

// Registers (or re-registers) a class by name; returns a non-zero atom, or
// 0 when the name is missing or the class table is full.
uint16_t RegisterClass(const WNDCLASS* windowClass);

// Creates a window of a registered class; null when the class is unknown,
// no backend is installed, the window table is full or the backend cannot
// make the window. The window is hidden unless WS_VISIBLE is given.
HWND CreateWindowEx(uint32_t exStyle, const char* className, const char* title, uint32_t style, int x,
                    int y, int width, int height, HWND parent, void* menu, HINSTANCE instance,
                    void* param);
BOOL DestroyWindow(HWND window);
// TRUE when the handle names a window that has not been destroyed.
BOOL IsWindow(HWND window);
// Returns whether the window was visible before.
BOOL ShowWindow(HWND window, int command);
BOOL UpdateWindow(HWND window);
// Returns the window that had the focus before (null if none or unknown).
HWND SetFocus(HWND window);
// The window's rectangle in screen coordinates; FALSE for an unknown window.
BOOL GetWindowRect(HWND window, RECT* rect);
int GetSystemMetrics(int index);

// The default handling: WM_CLOSE destroys the window; everything else
// returns 0.
LRESULT DefWindowProc(HWND window, uint32_t message, WPARAM wParam, LPARAM lParam);

// TRUE when a message waits (window filter and range are not supported:
// pass null and 0, 0). With PM_REMOVE it is taken off the queue.
BOOL PeekMessage(MSG* message, HWND window, uint32_t first, uint32_t last, uint32_t remove);
// Takes the next message, waiting for one if none is queued. Returns 0 for
// WM_QUIT, -1 when nothing can ever arrive (the backend has no event source
// and the queue is empty), otherwise non-zero.
BOOL GetMessage(MSG* message, HWND window, uint32_t first, uint32_t last);
// Nothing to translate here: key messages carry virtual key codes already.
BOOL TranslateMessage(const MSG* message);
// Calls the window's procedure; a message for a destroyed window is dropped
// and gives 0.
LRESULT DispatchMessage(const MSG* message);
// Queues a message; FALSE when the queue is full or the window is unknown.
BOOL PostMessage(HWND window, uint32_t message, WPARAM wParam, LPARAM lParam);
// Calls the window's procedure at once; 0 for a destroyed window.
LRESULT SendMessage(HWND window, uint32_t message, WPARAM wParam, LPARAM lParam);
// Queues WM_QUIT with the exit code as wParam.
void PostQuitMessage(int exitCode);

// Cursors: the standard ones by id (instance must be null).
HCURSOR LoadCursor(HINSTANCE instance, int id);
// Makes the cursor current; returns the one that was current before (the
// arrow at first).
HCURSOR SetCursor(HCURSOR cursor);
// Adds 1 (TRUE) or takes 1 (FALSE) from the display counter and returns it;
// the cursor shows while the counter is 0 or more.
int ShowCursor(BOOL show);

// The icon resource id as an opaque handle (the backend loads the picture).
HICON LoadIcon(HINSTANCE instance, int id);
HBRUSH GetStockObject(int object);

// Shows a modal message box. Without a display the text goes to stderr
// under the caption. Returns IDOK.
int MessageBox(HWND owner, const char* text, const char* caption, uint32_t type);

// A line of text the display draws over the shown picture, in its top left
// corner, until it is replaced; null or "" takes it away. The picture
// itself (and so every capture) is untouched. A display that cannot draw
// text ignores it.
void ShowOverlay(const char* text);

// A seek bar the display draws over the shown picture, along its bottom, as
// it draws the overlay line: where the show stands in its length, with each
// scene's start marked and the scene under the position named. The picture
// itself is untouched; a display that cannot draw it ignores it.
struct SeekBar {
    static constexpr int kMaxScenes = 16;
    int32_t position = 0;  // hundredths
    int32_t length = 1;    // hundredths, more than 0
    int sceneCount = 0;
    int32_t sceneStarts[kMaxScenes] = {};
    const char* sceneNames[kMaxScenes] = {};
};
// Shows the bar as it stands now (the display keeps a copy), or takes it
// away (null).
void ShowSeekBar(const SeekBar* bar);

// A dialog template, as a resource of the executable: sizes and positions in
// dialog units.
struct DialogControl {
    int id;
    const char* text;  // null for a picture
    int x;
    int y;
    int width;
    int height;
    int pictureId;  // a bitmap resource id for a picture, else 0
};
struct DialogTemplate {
    int width;
    int height;
    const char* title;
    const DialogControl* controls;
    int controlCount;
};
// Makes a template known under its resource id; the caller keeps it alive.
void RegisterDialogTemplate(int id, const DialogTemplate* dialogTemplate);
const DialogTemplate* FindDialogTemplate(int id);

// Runs the dialog modally: WM_INITDIALOG first, then WM_COMMAND with the id
// of each control chosen, until the procedure calls EndDialog. Returns the
// value given to EndDialog, or -1 when the dialog could not be shown (no
// such template, no backend, no display).
intptr_t DialogBoxParam(HINSTANCE instance, int templateId, HWND owner, DLGPROC procedure,
                        LPARAM initParam);
BOOL EndDialog(HWND dialog, intptr_t result);

}  // namespace platform
