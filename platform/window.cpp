#include "platform/window.h"

#include <cstdio>
#include <cstring>

#include "os/files.h"
#include "platform/backend.h"

namespace platform {

struct CursorShape {
    int id;
};

namespace {

// A program has a main window and a dialog; tests make a few more. Slots are
// not reused while a backend stays installed, so a stale handle can never
// name a newer window.
constexpr int kMaxWindows = 32;
constexpr int kMaxClasses = 8;
constexpr int kQueueSize = 256;

struct WindowClassEntry {
    bool used;
    char name[64];
    WNDPROC procedure;
    HICON icon;
};

struct DialogEntry {
    int id;
    const DialogTemplate* dialogTemplate;
};

WindowRecord windows[kMaxWindows];
int windowsUsed = 0;
WindowClassEntry classes[kMaxClasses];

MSG queue[kQueueSize];
int queueHead = 0;
int queueCount = 0;

int appActive = 1;
bool focusLostInPump = false;

const CursorShape arrowCursor = {IDC_ARROW};
const CursorShape waitCursorShape = {IDC_WAIT};
HCURSOR currentCursor = &arrowCursor;
int cursorCount = 0;

constexpr int kMaxDialogs = 4;
DialogEntry dialogs[kMaxDialogs];

// The installed backend's window system, or null.
WindowSystem* Windows() { return InstalledBackend().windows; }

void CopyText(char* target, int size, const char* text)
{
    if (text == nullptr) text = "";
    std::strncpy(target, text, static_cast<size_t>(size - 1));
    target[size - 1] = '\0';
}

// A record that still takes messages, or null.
WindowRecord* Live(HWND window)
{
    WindowRecord* record = FindWindowRecord(window);
    return record != nullptr && record->alive ? record : nullptr;
}

void ApplyCursor()
{
    WindowSystem* system = Windows();
    if (system == nullptr) return;
    system->ApplyCursor(currentCursor != nullptr ? currentCursor->id : 0, cursorCount >= 0);
}

// Gathers the backend's events, then tells every window when the
// application as a whole gained or lost activation.
void Pump()
{
    WindowSystem* system = Windows();
    if (system == nullptr) return;
    focusLostInPump = false;
    system->PumpEvents();
    bool anyFocused = false;
    for (int i = 0; i < windowsUsed; ++i) {
        const WindowRecord& w = windows[i];
        if (w.alive && !w.destroying && w.focused) anyFocused = true;
    }
    int state = anyFocused ? 1 : (focusLostInPump ? 0 : appActive);
    focusLostInPump = false;
    if (state == appActive) return;
    appActive = state;
    for (int i = 0; i < windowsUsed; ++i) {
        if (windows[i].alive && !windows[i].destroying) {
            SendMessage(&windows[i], WM_ACTIVATEAPP, static_cast<WPARAM>(state), 0);
        }
    }
}

// Drops messages at the front of the queue whose window has gone.
void DropStale()
{
    while (queueCount > 0) {
        const MSG& m = queue[queueHead];
        if (m.hwnd == nullptr || Live(m.hwnd) != nullptr) return;
        queueHead = (queueHead + 1) % kQueueSize;
        --queueCount;
    }
}

bool Enqueue(const MSG& message)
{
    if (queueCount == kQueueSize) return false;
    queue[(queueHead + queueCount) % kQueueSize] = message;
    ++queueCount;
    return true;
}

MSG Dequeue()
{
    MSG m = queue[queueHead];
    queueHead = (queueHead + 1) % kQueueSize;
    --queueCount;
    return m;
}

WindowRecord* NewRecord()
{
    if (windowsUsed == kMaxWindows) return nullptr;
    WindowRecord* record = &windows[windowsUsed];
    *record = WindowRecord{};
    record->used = true;
    return record;
}

}  // namespace

// ---- the table's life ----------------------------------------------------

void ResetWindowSystem()
{
    for (WindowRecord& w : windows) w = WindowRecord{};
    windowsUsed = 0;
    for (WindowClassEntry& c : classes) c = WindowClassEntry{};
    queueHead = 0;
    queueCount = 0;
    appActive = 1;
    focusLostInPump = false;
    currentCursor = &arrowCursor;
    cursorCount = 0;
}

WindowRecord* FindWindowRecord(HWND window)
{
    for (int i = 0; i < windowsUsed; ++i) {
        if (&windows[i] == window) return &windows[i];
    }
    return nullptr;
}

int WindowCount() { return windowsUsed; }

HWND WindowAt(int index) { return index >= 0 && index < windowsUsed ? &windows[index] : nullptr; }

void NotifyFocus(HWND window, bool gained)
{
    WindowRecord* record = Live(window);
    if (record == nullptr || record->destroying) return;
    record->focused = gained;
    if (!gained) focusLostInPump = true;
}

void NotifyMoved(HWND window, int x, int y)
{
    WindowRecord* record = FindWindowRecord(window);
    if (record == nullptr) return;
    record->x = x;
    record->y = y;
}

// ---- classes and windows ------------------------------------------------

uint16_t RegisterClass(const WNDCLASS* windowClass)
{
    if (windowClass == nullptr || windowClass->lpszClassName == nullptr) return 0;
    WindowClassEntry* slot = nullptr;
    for (int i = 0; i < kMaxClasses; ++i) {
        WindowClassEntry& c = classes[i];
        if (c.used && std::strcmp(c.name, windowClass->lpszClassName) == 0) {
            slot = &c;
            break;
        }
        if (!c.used && slot == nullptr) slot = &c;
    }
    if (slot == nullptr) return 0;
    slot->used = true;
    CopyText(slot->name, sizeof slot->name, windowClass->lpszClassName);
    slot->procedure = windowClass->lpfnWndProc;
    slot->icon = windowClass->hIcon;
    return static_cast<uint16_t>(0xC000 + (slot - classes));
}

HWND CreateWindowEx(uint32_t exStyle, const char* className, const char* title, uint32_t style, int x,
                    int y, int width, int height, HWND, void*, HINSTANCE, void*)
{
    WindowSystem* system = Windows();
    if (system == nullptr || className == nullptr) return nullptr;
    const WindowClassEntry* windowClass = nullptr;
    for (const WindowClassEntry& c : classes) {
        if (c.used && std::strcmp(c.name, className) == 0) windowClass = &c;
    }
    if (windowClass == nullptr) return nullptr;
    WindowRecord* record = NewRecord();
    if (record == nullptr) return nullptr;
    record->exStyle = exStyle;
    record->style = style;
    record->x = x;
    record->y = y;
    record->width = width;
    record->height = height;
    CopyText(record->title, sizeof record->title, title);
    record->procedure = windowClass->procedure;
    record->icon = windowClass->icon;
    record->className = windowClass->name;
    record->visible = (style & WS_VISIBLE) != 0;
    if (!system->CreateNative(*record)) {
        *record = WindowRecord{};
        return nullptr;
    }
    record->alive = true;
    ++windowsUsed;
    return record;
}

BOOL DestroyWindow(HWND window)
{
    WindowRecord* record = Live(window);
    if (record == nullptr || record->destroying) return 0;
    record->destroying = true;
    record->focused = false;
    if (record->visible && Windows() != nullptr) Windows()->ShowNative(*record, SW_HIDE);
    record->visible = false;
    // WM_DESTROY arrives while the window still exists (the display may be
    // released there); only then does the backend's window go.
    SendMessage(window, WM_DESTROY, 0, 0);
    record->alive = false;
    if (Windows() != nullptr) Windows()->DestroyNative(*record);
    return 1;
}

BOOL IsWindow(HWND window) { return Live(window) != nullptr ? 1 : 0; }

BOOL ShowWindow(HWND window, int command)
{
    WindowRecord* record = Live(window);
    if (record == nullptr || record->destroying) return 0;
    BOOL wasVisible = record->visible ? 1 : 0;
    record->visible = command != SW_HIDE;
    if (Windows() != nullptr) Windows()->ShowNative(*record, command);
    return wasVisible;
}

BOOL UpdateWindow(HWND window) { return Live(window) != nullptr ? 1 : 0; }

HWND SetFocus(HWND window)
{
    HWND previous = nullptr;
    for (int i = 0; i < windowsUsed; ++i) {
        if (windows[i].alive && windows[i].focused) previous = &windows[i];
    }
    WindowRecord* record = Live(window);
    if (record != nullptr && !record->destroying && Windows() != nullptr) {
        Windows()->FocusNative(*record);
    }
    return previous;
}

BOOL GetWindowRect(HWND window, RECT* rect)
{
    const WindowRecord* record = FindWindowRecord(window);
    if (record == nullptr || rect == nullptr) return 0;
    rect->left = record->x;
    rect->top = record->y;
    rect->right = record->x + record->width;
    rect->bottom = record->y + record->height;
    return 1;
}

int GetSystemMetrics(int index)
{
    WindowSystem* system = Windows();
    if (system == nullptr) return 0;
    int width = 0;
    int height = 0;
    system->ScreenSize(&width, &height);
    if (index == SM_CXSCREEN) return width;
    if (index == SM_CYSCREEN) return height;
    return 0;
}

LRESULT DefWindowProc(HWND window, uint32_t message, WPARAM, LPARAM)
{
    if (message == WM_CLOSE) DestroyWindow(window);
    return 0;
}

// ---- messages -------------------------------------------------------------

BOOL PeekMessage(MSG* message, HWND, uint32_t, uint32_t, uint32_t remove)
{
    Pump();
    DropStale();
    if (queueCount == 0) return 0;
    if (message != nullptr) *message = queue[queueHead];
    if ((remove & PM_REMOVE) != 0) Dequeue();
    return 1;
}

BOOL GetMessage(MSG* message, HWND, uint32_t, uint32_t)
{
    for (;;) {
        Pump();
        DropStale();
        if (queueCount > 0) {
            MSG m = Dequeue();
            if (message != nullptr) *message = m;
            return m.message == WM_QUIT ? 0 : 1;
        }
        if (Windows() == nullptr || !Windows()->WaitEvents()) return -1;
    }
}

BOOL TranslateMessage(const MSG*) { return 0; }

LRESULT DispatchMessage(const MSG* message)
{
    if (message == nullptr || message->hwnd == nullptr) return 0;
    return SendMessage(message->hwnd, message->message, message->wParam, message->lParam);
}

BOOL PostMessage(HWND window, uint32_t message, WPARAM wParam, LPARAM lParam)
{
    if (window != nullptr && Live(window) == nullptr) return 0;
    return Enqueue(MSG{window, message, wParam, lParam}) ? 1 : 0;
}

LRESULT SendMessage(HWND window, uint32_t message, WPARAM wParam, LPARAM lParam)
{
    WindowRecord* record = Live(window);
    if (record == nullptr) return 0;
    if (record->isDialog) {
        return record->dialogProcedure != nullptr ? record->dialogProcedure(window, message, wParam, lParam)
                                                  : 0;
    }
    if (record->procedure == nullptr) return DefWindowProc(window, message, wParam, lParam);
    return record->procedure(window, message, wParam, lParam);
}

void PostQuitMessage(int exitCode)
{
    // The quit message must not be lost to a full queue: it takes the place
    // of the oldest message if need be.
    if (queueCount == kQueueSize) Dequeue();
    Enqueue(MSG{nullptr, WM_QUIT, static_cast<WPARAM>(static_cast<intptr_t>(exitCode)), 0});
}

// ---- cursors, icons, brushes ------------------------------------------------

HCURSOR LoadCursor(HINSTANCE instance, int id)
{
    if (instance != nullptr) return nullptr;
    if (id == IDC_ARROW) return &arrowCursor;
    if (id == IDC_WAIT) return &waitCursorShape;
    return nullptr;
}

HCURSOR SetCursor(HCURSOR cursor)
{
    HCURSOR previous = currentCursor;
    currentCursor = cursor;
    ApplyCursor();
    return previous;
}

int ShowCursor(BOOL show)
{
    cursorCount += show != 0 ? 1 : -1;
    ApplyCursor();
    return cursorCount;
}

HICON LoadIcon(HINSTANCE, int id)
{
    return reinterpret_cast<HICON>(static_cast<uintptr_t>(static_cast<uint16_t>(id)));
}

HBRUSH GetStockObject(int object)
{
    return reinterpret_cast<HBRUSH>(static_cast<uintptr_t>(static_cast<uint16_t>(object + 1)));
}

void ShowOverlay(const char* text)
{
    WindowSystem* system = Windows();
    if (system != nullptr) system->ShowOverlay(text != nullptr ? text : "");
}

void ShowSeekBar(const SeekBar* bar)
{
    WindowSystem* system = Windows();
    if (system != nullptr) system->ShowSeekBar(bar);
}

void WriteMessageToStderr(const char* text, const char* caption)
{
    os::PrintText(stderr, "%s\n%s", caption, text);
    size_t n = std::strlen(text);
    if (n == 0 || text[n - 1] != '\n') std::fputc('\n', stderr);
    std::fflush(stderr);
}

bool FitMessageToLines(const char* text, int lines, char* out, int size)
{
    if (lines < 3) lines = 3;
    // Entries are runs of non-empty lines. Whole entries are kept, with
    // the empty lines between them, while the kept lines, an empty line and
    // the closing line fit.
    int lineCount = 0;
    int entries = 0;
    int kept = 0;
    size_t keptLength = 0;
    bool inEntry = false;
    bool full = false;
    for (const char* p = text; *p != '\0';) {
        const char* end = std::strchr(p, '\n');
        const char* next = end != nullptr ? end + 1 : p + std::strlen(p);
        bool empty = end == p;
        ++lineCount;
        if (!empty && !inEntry) ++entries;
        inEntry = !empty;
        // An entry ends at an empty line or at the end of the text.
        bool entryEnds = !empty && (*next == '\0' || *next == '\n');
        if (entryEnds && !full) {
            if (lineCount + 2 <= lines) {
                kept = entries;
                keptLength = static_cast<size_t>(next - text);
            } else {
                full = true;
            }
        }
        p = next;
    }
    if (lineCount <= lines || size <= 0) return false;
    int left = entries - kept;
    char closing[128];
    int closingLength = std::snprintf(closing, sizeof closing,
                                      "\n(%d more entr%s not shown: the whole report is on standard error.)\n",
                                      left, left == 1 ? "y is" : "ies are");
    size_t room = static_cast<size_t>(size) - 1;
    size_t closingSize = static_cast<size_t>(closingLength) < room ? static_cast<size_t>(closingLength) : room;
    size_t textSize = keptLength < room - closingSize ? keptLength : room - closingSize;
    std::memcpy(out, text, textSize);
    // The kept text ends with its last entry's newline; the closing line
    // starts with the empty line.
    std::memcpy(out + textSize, closing, closingSize);
    out[textSize + closingSize] = '\0';
    return true;
}

int MessageBox(HWND, const char* text, const char* caption, uint32_t)
{
    if (text == nullptr) text = "";
    if (caption == nullptr) caption = "";
    WindowSystem* system = Windows();
    if (system == nullptr || !system->ShowMessageBox(text, caption)) WriteMessageToStderr(text, caption);
    return IDOK;
}

// ---- dialogs ------------------------------------------------------------------

void RegisterDialogTemplate(int id, const DialogTemplate* dialogTemplate)
{
    DialogEntry* slot = nullptr;
    for (DialogEntry& d : dialogs) {
        if (d.dialogTemplate != nullptr && d.id == id) {
            slot = &d;
            break;
        }
        if (d.dialogTemplate == nullptr && slot == nullptr) slot = &d;
    }
    if (slot == nullptr) return;
    slot->id = id;
    slot->dialogTemplate = dialogTemplate;
}

const DialogTemplate* FindDialogTemplate(int id)
{
    for (const DialogEntry& d : dialogs) {
        if (d.dialogTemplate != nullptr && d.id == id) return d.dialogTemplate;
    }
    return nullptr;
}

intptr_t DialogBoxParam(HINSTANCE, int templateId, HWND owner, DLGPROC procedure, LPARAM initParam)
{
    const DialogTemplate* dialogTemplate = FindDialogTemplate(templateId);
    WindowSystem* system = Windows();
    if (dialogTemplate == nullptr || procedure == nullptr || system == nullptr) return -1;
    WindowRecord* record = NewRecord();
    if (record == nullptr) return -1;
    ++windowsUsed;
    record->isDialog = true;
    record->alive = true;
    record->dialogProcedure = procedure;
    record->dialogId = templateId;
    record->owner = FindWindowRecord(owner);
    CopyText(record->title, sizeof record->title, dialogTemplate->title);
    // One dialog unit is about 1.5 pixels across and 1.625 pixels down.
    record->width = dialogTemplate->width * 3 / 2;
    record->height = dialogTemplate->height * 13 / 8;
    int screenWidth = 0;
    int screenHeight = 0;
    system->ScreenSize(&screenWidth, &screenHeight);
    record->x = (screenWidth - record->width) / 2;
    record->y = (screenHeight - record->height) / 2;

    SendMessage(record, WM_INITDIALOG, 0, initParam);
    bool shown = record->dialogEnded || system->RunDialog(*record, *dialogTemplate);
    intptr_t result = shown && record->dialogEnded ? record->dialogResult : -1;
    record->destroying = true;
    record->alive = false;
    return result;
}

BOOL EndDialog(HWND dialog, intptr_t result)
{
    WindowRecord* record = Live(dialog);
    if (record == nullptr || !record->isDialog) return 0;
    record->dialogEnded = true;
    record->dialogResult = result;
    return 1;
}

}  // namespace platform
