#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "platform/backend.h"

#include "platform/fake/fake_backend.h"

using namespace platform;

namespace {

struct Seen {
    HWND window;
    uint32_t message;
    WPARAM wParam;
};
std::vector<Seen> seen;

// Records every message; Escape destroys the window from inside the
// procedure, as the shell's quit request does, and WM_DESTROY posts the quit.
LRESULT Proc(HWND window, uint32_t message, WPARAM wParam, LPARAM lParam)
{
    seen.push_back({window, message, wParam});
    if (message == WM_KEYDOWN && wParam == VK_ESCAPE) {
        EXPECT_EQ(DestroyWindow(window), 1);
        // Teardown has run by the time DestroyWindow returns.
        EXPECT_EQ(seen.back().message, WM_DESTROY);
        return 0;
    }
    if (message == WM_DESTROY) {
        EXPECT_EQ(DestroyWindow(window), 0);  // a second destroy does nothing
        PostQuitMessage(7);
        return 0;
    }
    return DefWindowProc(window, message, wParam, lParam);
}

class WindowTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        seen.clear();
        fake.Install();
        WNDCLASS wc = {};
        wc.lpfnWndProc = Proc;
        wc.lpszClassName = "test";
        ASSERT_NE(RegisterClass(&wc), 0);
        a = Make();
        b = Make();
    }
    HWND Make()
    {
        return CreateWindowEx(0, "test", "t", WS_POPUP, 0, 0, 640, 480, nullptr, nullptr, nullptr, nullptr);
    }
    int Count(uint32_t message, WPARAM wParam)
    {
        int n = 0;
        for (const Seen& s : seen) n += s.message == message && s.wParam == wParam;
        return n;
    }
    // One turn of the shell's loop: peek, then get and dispatch.
    int Loop()
    {
        MSG m;
        int dispatched = 0;
        while (PeekMessage(&m, nullptr, 0, 0, PM_NOREMOVE)) {
            if (GetMessage(&m, nullptr, 0, 0) == 0) return -static_cast<int>(m.wParam);
            TranslateMessage(&m);
            DispatchMessage(&m);
            ++dispatched;
        }
        return dispatched;
    }
    fake::FakePlatform fake;
    HWND a = nullptr;
    HWND b = nullptr;
};

TEST_F(WindowTest, EscapeDestroysSynchronouslyAndQuitEndsTheLoop)
{
    fake.Key(a, VK_ESCAPE);
    fake.Key(a, 'A');  // queued behind: dropped, the window is gone
    PostMessage(b, WM_KEYDOWN, 'B', 0);
    EXPECT_EQ(Loop(), -7);
    EXPECT_EQ(Count(WM_DESTROY, 0), 1);
    EXPECT_EQ(Count(WM_KEYDOWN, 'A'), 0);
    EXPECT_EQ(Count(WM_KEYDOWN, 'B'), 1);
    EXPECT_FALSE(IsWindow(a));
    EXPECT_EQ(DestroyWindow(a), 0);
    EXPECT_EQ(Count(WM_DESTROY, 0), 1);
    EXPECT_EQ(PostMessage(a, WM_KEYDOWN, 'C', 0), 0);
    EXPECT_EQ(SendMessage(a, WM_KEYDOWN, 'C', 0), 0);
    EXPECT_EQ(Count(WM_KEYDOWN, 'C'), 0);
}

TEST_F(WindowTest, CloseGoesThroughTheDefaultProcedure)
{
    fake.Close(b);
    EXPECT_EQ(Loop(), -7);
    EXPECT_FALSE(IsWindow(b));
    EXPECT_TRUE(IsWindow(a));
}

TEST_F(WindowTest, ActivationIsApplicationWide)
{
    // No focus events at all: the application stays active, nothing is sent.
    EXPECT_EQ(Loop(), 0);
    EXPECT_EQ(Count(WM_ACTIVATEAPP, 0) + Count(WM_ACTIVATEAPP, 1), 0);

    // Focus moving between the application's own windows in one pump.
    fake.Focus(a, true);
    EXPECT_EQ(Loop(), 0);
    fake.Focus(a, false);
    fake.Focus(b, true);
    Loop();
    EXPECT_EQ(Count(WM_ACTIVATEAPP, 0), 0);

    // Losing it to another program: every window hears it once.
    fake.Focus(b, false);
    Loop();
    EXPECT_EQ(Count(WM_ACTIVATEAPP, 0), 2);
    fake.Focus(b, false);  // repeated: nothing new
    Loop();
    EXPECT_EQ(Count(WM_ACTIVATEAPP, 0), 2);
    fake.Focus(a, true);
    Loop();
    EXPECT_EQ(Count(WM_ACTIVATEAPP, 1), 2);

    // Destroying the focused window is no loss of activation.
    DestroyWindow(a);
    Loop();
    EXPECT_EQ(Count(WM_ACTIVATEAPP, 0), 2);
    fake.Focus(a, false);  // events for a destroyed window are dropped
    Loop();
    EXPECT_EQ(Count(WM_ACTIVATEAPP, 0), 2);
}

TEST_F(WindowTest, GetMessageWithNothingToComeFails)
{
    MSG m;
    EXPECT_EQ(GetMessage(&m, nullptr, 0, 0), -1);
    PostQuitMessage(3);
    EXPECT_EQ(GetMessage(&m, nullptr, 0, 0), 0);
    EXPECT_EQ(m.wParam, 3u);
}

TEST_F(WindowTest, CursorsAndMessageBox)
{
    HCURSOR arrow = LoadCursor(nullptr, IDC_ARROW);
    HCURSOR wait = LoadCursor(nullptr, IDC_WAIT);
    EXPECT_EQ(SetCursor(wait), arrow);
    EXPECT_EQ(fake.cursorId, IDC_WAIT);
    EXPECT_EQ(ShowCursor(0), -1);
    EXPECT_FALSE(fake.cursorVisible);
    EXPECT_EQ(ShowCursor(1), 0);
    EXPECT_TRUE(fake.cursorVisible);
    EXPECT_EQ(SetCursor(arrow), wait);

    EXPECT_EQ(MessageBox(nullptr, "Timer error:\n x\n", "Error!", MB_OK), IDOK);
    EXPECT_STREQ(fake.lastMessageCaption, "Error!");
    EXPECT_STREQ(fake.lastMessageText, "Timer error:\n x\n");

    fake.hasDisplay = false;
    testing::internal::CaptureStderr();
    MessageBox(nullptr, "Audio error:\n Can't create stream.\n", "Error!", MB_OK);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "Error!\nAudio error:\n Can't create stream.\n");
    EXPECT_EQ(fake.messageBoxes, 1);
}

// A report of n entries of four lines each, as the error log writes them.
std::string Report(int n)
{
    std::string text;
    for (int i = 0; i < n; ++i) text += "Misc. error:\n entry " + std::to_string(i) + "\nFilename: demo\nLine: 79\n\n";
    return text;
}

int Lines(const std::string& text)
{
    int n = 0;
    for (char c : text) n += c == '\n';
    return n + (text.empty() || text.back() != '\n');
}

TEST(FitMessage, KeepsWholeEntriesThatFitAndCountsTheRest)
{
    char out[4096];
    std::memset(out, 'x', sizeof out);
    // Fits as it is: nothing written.
    EXPECT_FALSE(FitMessageToLines(Report(3).c_str(), 15, out, sizeof out));
    EXPECT_EQ(out[0], 'x');
    EXPECT_FALSE(FitMessageToLines("Could not change display mode.\n", 3, out, sizeof out));

    // 50 entries in 27 lines: five entries (24 lines with the empty lines
    // between them), an empty line and the closing line.
    std::string report = Report(50);
    ASSERT_TRUE(FitMessageToLines(report.c_str(), 27, out, sizeof out));
    std::string fitted = out;
    EXPECT_EQ(fitted.substr(0, Report(5).size() - 1), Report(5).substr(0, Report(5).size() - 1));
    EXPECT_NE(fitted.find("(45 more entries are not shown: the whole report is on standard error.)\n"),
              std::string::npos)
        << fitted;
    EXPECT_LE(Lines(fitted), 27);
    // Two lines fewer leave out one entry more.
    ASSERT_TRUE(FitMessageToLines(report.c_str(), 25, out, sizeof out));
    EXPECT_NE(std::string(out).find(" entry 3\n"), std::string::npos);
    EXPECT_EQ(std::string(out).find(" entry 4\n"), std::string::npos);
    EXPECT_NE(std::string(out).find("(46 more entries"), std::string::npos);

    // Exactly one left out, and a text without the closing empty line.
    std::string two = "A:\n a\n\nB:\n b";
    ASSERT_TRUE(FitMessageToLines(two.c_str(), 4, out, sizeof out));
    EXPECT_STREQ(out, "A:\n a\n\n(1 more entry is not shown: the whole report is on standard error.)\n");

    // A small buffer is never overrun and always ends in a NUL.
    char small[16];
    std::memset(small, 'x', sizeof small);
    ASSERT_TRUE(FitMessageToLines(report.c_str(), 27, small, 12));
    EXPECT_EQ(std::strlen(small), 11u);
    EXPECT_EQ(small[12], 'x');
}

TEST_F(WindowTest, WindowRectFollowsMoves)
{
    RECT r;
    fake.Move(a, -30, 20);
    Loop();
    ASSERT_EQ(GetWindowRect(a, &r), 1);
    EXPECT_EQ(r.left, -30);
    EXPECT_EQ(r.top, 20);
    EXPECT_EQ(r.right, 610);
    EXPECT_EQ(r.bottom, 500);
}

// A window system over real windows needs the class's name to make the
// window, and the dialog's resource id and owner to run the real dialog.
class NativeWindows final : public WindowSystem {
public:
    void ScreenSize(int* width, int* height) override { *width = *height = 1000; }
    bool CreateNative(WindowRecord& window) override
    {
        className = window.className != nullptr ? window.className : "";
        return true;
    }
    void DestroyNative(WindowRecord&) override {}
    void ShowNative(WindowRecord&, int) override {}
    void FocusNative(WindowRecord&) override {}
    void PumpEvents() override {}
    bool WaitEvents() override { return false; }
    void ApplyCursor(int, bool) override {}
    bool ShowMessageBox(const char*, const char*) override { return true; }
    bool RunDialog(WindowRecord& dialog, const DialogTemplate&) override
    {
        dialogId = dialog.dialogId;
        owner = dialog.owner;
        EndDialog(&dialog, 5);
        return true;
    }
    std::string className;
    int dialogId = 0;
    HWND owner = nullptr;
};

intptr_t EndLater(HWND, uint32_t, WPARAM, LPARAM) { return 0; }

TEST(NativeBackend, RecordsCarryTheClassAndTheDialogsResource)
{
    NativeWindows windows;
    InstallBackend(Backend{&windows, nullptr, nullptr});
    WNDCLASS wc = {};
    wc.lpszClassName = "__real_class__";
    ASSERT_NE(RegisterClass(&wc), 0);
    HWND window = CreateWindowEx(0, "__real_class__", "t", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr, nullptr, nullptr);
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(windows.className, "__real_class__");

    static const DialogControl controls[] = {{1, "OK", 0, 0, 10, 10, 0}};
    static const DialogTemplate dialog = {100, 50, "d", controls, 1};
    RegisterDialogTemplate(4242, &dialog);
    EXPECT_EQ(DialogBoxParam(nullptr, 4242, window, EndLater, 0), 5);
    EXPECT_EQ(windows.dialogId, 4242);
    EXPECT_EQ(windows.owner, window);
    UninstallBackend();
}

// A backend with a display interface of its own makes every device, and
// its failures come back as they are.
class Driver final : public DisplayDriver {
public:
    HRESULT CreateDevice(DisplayDevice** device) override
    {
        ++calls;
        *device = nullptr;
        return DDERR_NODIRECTDRAWHW;
    }
    int calls = 0;
};

TEST(NativeBackend, ADisplayDriverMakesTheDevice)
{
    fake::FakePlatform fake;
    fake.Install();
    Driver driver;
    Backend backend = InstalledBackend();
    backend.driver = &driver;
    InstallBackend(backend);
    DisplayDevice* device = nullptr;
    EXPECT_EQ(DirectDrawCreateEx(nullptr, &device, nullptr), DDERR_NODIRECTDRAWHW);
    EXPECT_EQ(driver.calls, 1);
    EXPECT_EQ(device, nullptr);
    // Without the driver the same backend's memory device is made.
    backend.driver = nullptr;
    InstallBackend(backend);
    ASSERT_EQ(DirectDrawCreateEx(nullptr, &device, nullptr), DD_OK);
    device->Release();
    EXPECT_EQ(driver.calls, 1);
    UninstallBackend();
}

TEST(NoBackend, CallsFailQuietly)
{
    UninstallBackend();
    EXPECT_EQ(CreateWindowEx(0, "test", "t", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr, nullptr, nullptr), nullptr);
    DisplayDevice* device = nullptr;
    EXPECT_NE(DirectDrawCreateEx(nullptr, &device, nullptr), DD_OK);
    EXPECT_EQ(device, nullptr);
    EXPECT_EQ(Sound().GetVersion(), 0u);
    EXPECT_EQ(DialogBoxParam(nullptr, 107, nullptr, nullptr, 0), -1);
}

}  // namespace
