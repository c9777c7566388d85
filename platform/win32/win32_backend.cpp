#include "platform/win32/win32_backend.h"

#include <cstdio>
#include <cstdlib>

#include "platform/lasting.h"
#include "platform/stream_sound.h"
#include "platform/win32/direct_draw.h"
#include "platform/win32/wave_sound.h"
#include "platform/win32/windows_api.h"

namespace platform::win32 {

namespace {

::HINSTANCE Instance() { return ::GetModuleHandleA(nullptr); }

// The record a real window stands for, kept in its user data.
WindowRecord* RecordOf(::HWND hwnd)
{
    return reinterpret_cast<WindowRecord*>(::GetWindowLongPtrA(hwnd, GWLP_USERDATA));
}

class Win32Platform final : public WindowSystem {
public:
    void ScreenSize(int* width, int* height) override
    {
        *width = ::GetSystemMetrics(platform::SM_CXSCREEN);
        *height = ::GetSystemMetrics(platform::SM_CYSCREEN);
    }

    bool CreateNative(WindowRecord& record) override
    {
        const char* className = record.className;
        if (className == nullptr) return false;
        WNDCLASSEXA existing = {};
        existing.cbSize = sizeof existing;
        if (::GetClassInfoExA(Instance(), className, &existing) == 0) {
            WNDCLASSEXA windowClass = {};
            windowClass.cbSize = sizeof windowClass;
            windowClass.style = platform::CS_HREDRAW | platform::CS_VREDRAW;
            windowClass.lpfnWndProc = &Win32Platform::WindowProc;
            windowClass.hInstance = Instance();
            // The icon handle is the icon's resource id (platform::LoadIcon).
            auto iconId = static_cast<WORD>(reinterpret_cast<uintptr_t>(record.icon));
            windowClass.hIcon = iconId != 0 ? ::LoadIconA(Instance(), MAKEINTRESOURCEA(iconId)) : nullptr;
            windowClass.hCursor = ::LoadCursorA(nullptr, MAKEINTRESOURCEA(platform::IDC_ARROW));
            windowClass.hbrBackground = static_cast<::HBRUSH>(::GetStockObject(platform::BLACK_BRUSH));
            windowClass.lpszClassName = className;
            if (::RegisterClassExA(&windowClass) == 0) return false;
        }
        ::HWND hwnd = ::CreateWindowExA(record.exStyle, className, record.title, record.style, record.x, record.y,
                                        record.width, record.height, nullptr, nullptr, Instance(), &record);
        if (hwnd == nullptr) return false;
        record.native = hwnd;
        return true;
    }

    void DestroyNative(WindowRecord& record) override
    {
        auto hwnd = static_cast<::HWND>(record.native);
        record.native = nullptr;
        if (hwnd == nullptr) return;
        // The record is gone: later messages of the real window are its own.
        ::SetWindowLongPtrA(hwnd, GWLP_USERDATA, 0);
        ::DestroyWindow(hwnd);
    }

    void ShowNative(WindowRecord& record, int command) override
    {
        if (record.native == nullptr) return;
        ::ShowWindow(static_cast<::HWND>(record.native), command);
    }

    void FocusNative(WindowRecord& record) override
    {
        auto hwnd = static_cast<::HWND>(record.native);
        if (hwnd == nullptr) return;
        ::SetForegroundWindow(hwnd);
        ::SetFocus(hwnd);
    }

    void PumpEvents() override
    {
        ::MSG message;
        while (::PeekMessageA(&message, nullptr, 0, 0, platform::PM_REMOVE) != 0) {
            ::TranslateMessage(&message);
            ::DispatchMessageA(&message);
        }
        // Activation changes noted by the window procedure, in order (some
        // arrive while a window is being shown or destroyed, outside any
        // pump).
        for (int i = 0; i < focusCount; ++i) NotifyFocus(focusChanges[i].window, focusChanges[i].gained);
        focusCount = 0;
    }

    bool WaitEvents() override
    {
        ::MsgWaitForMultipleObjects(0, nullptr, FALSE, 50, QS_ALLINPUT);
        return true;
    }

    void ApplyCursor(int id, bool visible) override
    {
        cursor = id == 0 ? nullptr
                         : ::LoadCursorA(nullptr, MAKEINTRESOURCEA(id == platform::IDC_WAIT ? platform::IDC_WAIT
                                                                                             : platform::IDC_ARROW));
        ::SetCursor(cursor);
        if (visible != cursorShown) {
            ::ShowCursor(visible ? TRUE : FALSE);
            cursorShown = visible;
        }
    }

    bool ShowMessageBox(const char* text, const char* caption) override
    {
        ::MessageBoxA(nullptr, text, caption, platform::MB_OK);
        return true;
    }

    void ShowOverlay(const char* text) override { directDraw.SetOverlay(text); }
    void ShowSeekBar(const SeekBar* bar) override { directDraw.SetSeekBar(bar); }

    bool RunDialog(WindowRecord& dialog, const DialogTemplate&) override
    {
        ::HWND owner = dialog.owner != nullptr ? static_cast<::HWND>(dialog.owner->native) : nullptr;
        INT_PTR result = ::DialogBoxParamA(Instance(), MAKEINTRESOURCEA(dialog.dialogId), owner,
                                           &Win32Platform::DialogProc, reinterpret_cast<LPARAM>(&dialog));
        dialog.native = nullptr;
        return result != -1 && dialog.dialogEnded;
    }

    // The display counter back where it was, for the next run.
    void Reset()
    {
        if (!cursorShown) ::ShowCursor(TRUE);
        cursorShown = true;
        cursor = nullptr;
        focusCount = 0;
    }

    DirectDrawDriver directDraw;

private:
    static LRESULT CALLBACK WindowProc(::HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
    static INT_PTR CALLBACK DialogProc(::HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);

    void NoteFocus(WindowRecord* record, bool gained)
    {
        if (focusCount == kMaxFocusChanges) {
            // Only the latest state counts beyond this many.
            focusChanges[kMaxFocusChanges - 1] = {record, gained};
            return;
        }
        focusChanges[focusCount++] = {record, gained};
    }

    struct FocusChange {
        WindowRecord* window;
        bool gained;
    };
    static constexpr int kMaxFocusChanges = 16;
    FocusChange focusChanges[kMaxFocusChanges] = {};
    int focusCount = 0;
    ::HCURSOR cursor = nullptr;
    bool cursorShown = true;
};

Win32Platform* platformInstance = nullptr;

LRESULT CALLBACK Win32Platform::WindowProc(::HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_NCCREATE) {
        auto* create = reinterpret_cast<CREATESTRUCTA*>(lParam);
        ::SetWindowLongPtrA(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
    }
    WindowRecord* record = RecordOf(hwnd);
    if (record == nullptr || platformInstance == nullptr) return ::DefWindowProcA(hwnd, message, wParam, lParam);
    switch (message) {
    case platform::WM_KEYDOWN:
        platform::PostMessage(record, platform::WM_KEYDOWN, wParam, 0);
        return 0;
    case platform::WM_ACTIVATEAPP:
        platformInstance->NoteFocus(record, wParam != 0);
        return 0;
    case WM_MOVE: {
        ::RECT r;
        if (::GetWindowRect(hwnd, &r) != 0) NotifyMoved(record, r.left, r.top);
        return 0;
    }
    case WM_SETCURSOR:
        if (LOWORD(lParam) == HTCLIENT) {
            ::SetCursor(platformInstance->cursor);
            return TRUE;
        }
        break;
    case platform::WM_CLOSE:
        // The shell decides: its default handling destroys the window.
        platform::PostMessage(record, platform::WM_CLOSE, 0, 0);
        return 0;
    case platform::WM_DESTROY:
        return 0;
    default:
        break;
    }
    return ::DefWindowProcA(hwnd, message, wParam, lParam);
}

// The real dialog hands the commands of its buttons (clicked, or chosen
// with the keyboard) to the record's procedure, and ends when that ends
// the record's dialog. WM_INITDIALOG has been delivered to the record by
// then (platform::DialogBoxParam), so here it only ties the two together;
// TRUE puts the focus on the first button.
INT_PTR CALLBACK Win32Platform::DialogProc(::HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == platform::WM_INITDIALOG) {
        auto* record = reinterpret_cast<WindowRecord*>(lParam);
        ::SetWindowLongPtrA(hwnd, DWLP_USER, lParam);
        record->native = hwnd;
        return TRUE;
    }
    if (message != platform::WM_COMMAND) return FALSE;
    auto* record = reinterpret_cast<WindowRecord*>(::GetWindowLongPtrA(hwnd, DWLP_USER));
    if (record == nullptr) return FALSE;
    intptr_t handled = platform::SendMessage(record, platform::WM_COMMAND, wParam, lParam);
    if (record->dialogEnded) ::EndDialog(hwnd, record->dialogResult);
    return handled != 0 ? TRUE : FALSE;
}

Lasting<Win32Platform> platformObject;
Lasting<WaveSound> deviceSound;
Lasting<ClockSound> silentSound;
SoundLibrary* soundInstance = nullptr;

}  // namespace

bool Install(const Options& options)
{
    Uninstall();
    platformInstance = &platformObject.Get();
    soundInstance = options.silentAudio ? static_cast<SoundLibrary*>(&silentSound.Get()) : &deviceSound.Get();
    Backend backend{platformInstance, nullptr, soundInstance};
    backend.driver = &platformInstance->directDraw;
    InstallBackend(backend);
    return true;
}

void Uninstall()
{
    if (platformInstance == nullptr) return;
    if (InstalledBackend().windows == platformInstance) UninstallBackend();
    soundInstance->Free();
    platformInstance->Reset();
    platformInstance = nullptr;
    soundInstance = nullptr;
}

namespace {

bool CanRun(EnvironmentLookup, const char**) { return true; }

bool InstallEntry(const BackendSetup& setup, char* error, std::size_t errorSize)
{
    Options options;
    options.silentAudio = setup.silentAudio;
    if (Install(options)) return true;
    std::snprintf(error, errorSize, "cannot start the Windows desktop backend");
    return false;
}

}  // namespace

const BackendEntry kEntry = {"win32", true, CanRun, InstallEntry, Uninstall};

}  // namespace platform::win32
