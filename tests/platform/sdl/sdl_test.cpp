// The SDL backend on a virtual X server (Xvfb) with SDL's dummy audio
// driver. Skipped when Xvfb is not installed.
#include <gtest/gtest.h>

#include <SDL.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "audio/audio.h"
#include "dedraw/dedraw.h"
#include "error/error_log.h"
#include "platform/backend.h"
#include "platform/sdl/sdl_backend.h"
#include "tests/platform/sdl/x11_requests.h"
#include "tests/platform/test_mp3.h"
#include "tests/support/log.h"
#include "tests/support/process_id.h"

using namespace platform;

namespace {

pid_t xvfb = 0;
std::string skipReason;

int commands[8];
int commandCount = 0;
intptr_t DialogProc(HWND dialog, uint32_t message, WPARAM wParam, LPARAM)
{
    if (message != WM_COMMAND) return 0;
    if (commandCount < 8) commands[commandCount++] = LOWORD(wParam);
    if (LOWORD(wParam) >= 100) EndDialog(dialog, LOWORD(wParam));
    return 1;
}

int destroys = 0;
std::vector<WPARAM> keys;
LRESULT Proc(HWND window, uint32_t message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_DESTROY) ++destroys;
    if (message == WM_KEYDOWN) keys.push_back(wParam);
    return DefWindowProc(window, message, wParam, lParam);
}

const DialogControl controls[] = {
    {100, "32bpp", 11, 35, 45, 20, 0},
    {101, "24bpp", 57, 35, 45, 20, 0},
    {102, "16bpp", 104, 35, 45, 20, 0},
    {0, nullptr, 0, 0, 161, 34, 144},
};
const DialogTemplate testDialog = {157, 78, "Orchid", controls, 4};

void PushKey(SDL_Keycode key, Uint16 mod = 0, Uint32 windowId = 0)
{
    SDL_Event e = {};
    e.type = SDL_KEYDOWN;
    e.key.windowID = windowId;
    e.key.keysym.sym = key;
    e.key.keysym.mod = mod;
    SDL_PushEvent(&e);
}

class SdlTest : public test_support::LogTest {
protected:
    static void SetUpTestSuite()
    {
        if (std::system("command -v Xvfb >/dev/null 2>&1") != 0) {
            skipReason = "Xvfb is not installed";
            return;
        }
        int display = 90 + test_support::ProcessId() % 400;
        char socket[64];
        char name[16];
        std::snprintf(socket, sizeof socket, "/tmp/.X11-unix/X%d", display);
        std::snprintf(name, sizeof name, ":%d", display);
        xvfb = fork();
        if (xvfb == 0) {
            execlp("Xvfb", "Xvfb", name, "-screen", "0", "1024x768x24", "-nolisten", "tcp", "-noreset", nullptr);
            _exit(127);
        }
        struct stat st;
        for (int i = 0; i < 100 && stat(socket, &st) != 0; ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        setenv("DISPLAY", name, 1);
        setenv("SDL_VIDEODRIVER", "x11", 1);
        setenv("SDL_AUDIODRIVER", "dummy", 1);
        if (!sdl::Install(sdl::Options{})) skipReason = std::string("SDL could not start: ") + SDL_GetError();
    }
    static void TearDownTestSuite()
    {
        sdl::Uninstall();
        if (xvfb > 0) {
            kill(xvfb, SIGTERM);
            waitpid(xvfb, nullptr, 0);
        }
        test_mp3::CleanUp();
    }
    void SetUp() override
    {
        if (!skipReason.empty()) GTEST_SKIP() << skipReason;
        LogTest::SetUp();
    }

    HWND MakeWindow()
    {
        WNDCLASS wc = {};
        wc.lpfnWndProc = Proc;
        wc.lpszClassName = "orchid-test";
        RegisterClass(&wc);
        int x = GetSystemMetrics(SM_CXSCREEN) / 2 - 320;
        int y = GetSystemMetrics(SM_CYSCREEN) / 2 - 240;
        return CreateWindowEx(WS_EX_TOPMOST, "orchid-test", "Orchid", WS_POPUP, x, y, 640, 480, nullptr, nullptr,
                              nullptr, nullptr);
    }
    void Pump()
    {
        MSG m;
        while (PeekMessage(&m, nullptr, 0, 0, PM_REMOVE)) DispatchMessage(&m);
    }
};

TEST_F(SdlTest, DialogByKeyboard)
{
    EXPECT_EQ(GetSystemMetrics(SM_CXSCREEN), 1024);
    HWND window = MakeWindow();
    ASSERT_NE(window, nullptr);
    RegisterDialogTemplate(900, &testDialog);
    commandCount = 0;
    // Escape is passed on as the cancel command; Tab twice, then Enter.
    PushKey(SDLK_ESCAPE);
    PushKey(SDLK_TAB);
    PushKey(SDLK_TAB);
    PushKey(SDLK_RETURN);
    EXPECT_EQ(DialogBoxParam(nullptr, 900, window, DialogProc, 0), 102);
    ASSERT_EQ(commandCount, 2);
    EXPECT_EQ(commands[0], 2);
    DestroyWindow(window);
}

// The viewer's keys arrive as the virtual key codes the shell knows.
TEST_F(SdlTest, ViewerKeysArriveAsVirtualKeys)
{
    HWND window = MakeWindow();
    ASSERT_NE(window, nullptr);
    ShowWindow(window, SW_SHOWNORMAL);
    SetFocus(window);
    const Uint32 id = SDL_GetWindowID(static_cast<SDL_Window*>(FindWindowRecord(window)->native));
    Pump();  // what earlier tests left
    keys.clear();
    for (SDL_Keycode key : {SDLK_SPACE, SDLK_LEFT, SDLK_RIGHT, SDLK_HOME, SDLK_m, SDLK_EQUALS, SDLK_PLUS,
                            SDLK_MINUS, SDLK_KP_PLUS, SDLK_KP_MINUS, SDLK_F1, SDLK_PAGEUP, SDLK_PAGEDOWN, SDLK_PERIOD,
                            SDLK_COMMA, SDLK_s, SDLK_l})
        PushKey(key, 0, id);
    Pump();
    EXPECT_EQ(keys, (std::vector<WPARAM>{VK_SPACE, VK_LEFT, VK_RIGHT, VK_HOME, 'M', VK_OEM_PLUS, VK_OEM_PLUS,
                                         VK_OEM_MINUS, VK_ADD, VK_SUBTRACT, VK_F1, VK_PRIOR, VK_NEXT,
                                         VK_OEM_PERIOD, VK_OEM_COMMA, 'S', 'L'}));
    DestroyWindow(window);
}

TEST_F(SdlTest, PresentsInEveryModeAndTogglesFullscreen)
{
    HWND window = MakeWindow();
    ASSERT_NE(window, nullptr);
    ShowWindow(window, SW_SHOWNORMAL);
    SetFocus(window);
    Pixmap image;
    ASSERT_EQ(image.Create(640, 480, 32), 1);
    for (int i = 0; i < 640 * 480; ++i) image.pixInt[i] = 0xFF000000u | static_cast<uint32_t>(i * 2654435761u >> 8);
    // This server has no window manager: fullscreen is the window over the
    // whole screen.
    auto fullscreen = [](SDL_Window* native) {
        int w = 0;
        int h = 0;
        SDL_GetWindowSize(native, &w, &h);
        return w == 1024 && h == 768;
    };
    const int modes[][2] = {{32, 0}, {24, 0}, {16, 0}, {0, 1}};
    for (const auto& mode : modes) {
        SCOPED_TRACE(mode[0]);
        DeDrawClass d;
        ASSERT_EQ(d.Init(640, 480, mode[0], mode[1], window), 1);
        auto* native = static_cast<SDL_Window*>(FindWindowRecord(window)->native);
        bool full = fullscreen(native);
        EXPECT_EQ(full, mode[1] == 0);
        for (int f = 0; f < 3; ++f) {
            EXPECT_EQ(d.Present(&image), 1);
            Pump();
        }
        // Alt+Enter goes back and forth.
        SDL_Event e = {};
        e.type = SDL_KEYDOWN;
        e.key.windowID = SDL_GetWindowID(native);
        e.key.keysym.sym = SDLK_RETURN;
        e.key.keysym.mod = KMOD_LALT;
        SDL_PushEvent(&e);
        Pump();
        EXPECT_NE(fullscreen(native), full);
        EXPECT_EQ(d.Present(&image), 1);
        SDL_PushEvent(&e);
        Pump();
        d.Free();
        int x = 0;
        int y = 0;
        int w = 0;
        int h = 0;
        SDL_GetWindowPosition(native, &x, &y);
        SDL_GetWindowSize(native, &w, &h);
        EXPECT_EQ(x, 192);
        EXPECT_EQ(y, 144);
        EXPECT_EQ(w, 640);
        EXPECT_EQ(h, 480);
    }
    EXPECT_EQ(errorLog.count, 0);
    int before = destroys;
    DestroyWindow(window);
    EXPECT_EQ(destroys, before + 1);
    EXPECT_EQ(DestroyWindow(window), 0);
}

// A request naming a window that is gone, as when the window manager
// replaces its frame while SDL asks where it is, fails without ending the
// program (Xlib's default handler would exit).
TEST_F(SdlTest, ARequestNamingAWindowThatIsGoneFailsQuietly)
{
    HWND window = MakeWindow();
    ASSERT_NE(window, nullptr);
    ShowWindow(window, SW_SHOWNORMAL);
    Pump();
    EXPECT_TRUE(x11_requests::AskWhereAGoneWindowIs(static_cast<SDL_Window*>(FindWindowRecord(window)->native)));
    // The window still works.
    ShowWindow(window, SW_HIDE);
    ShowWindow(window, SW_SHOWNORMAL);
    Pump();
    EXPECT_EQ(errorLog.count, 0);
    DestroyWindow(window);
}

TEST_F(SdlTest, MusicPositionFollowsWhatWasPlayedAndGoesOnPastTheEnd)
{
    std::string mp3 = test_mp3::Make("sdl", 3.0);
    if (mp3.empty()) GTEST_SKIP() << "lame is not installed";
    Audio a;
    ASSERT_EQ(a.Init(0, nullptr), 1);
    ASSERT_EQ(a.LoadStream(mp3.c_str()), 1);
    a.Play();
    EXPECT_EQ(a.bytesPerSecond, 176400u);
    std::this_thread::sleep_for(std::chrono::milliseconds(400));
    int playing = a.GetPosition();
    EXPECT_GT(playing, 10);
    EXPECT_LT(playing, 60);
    a.Pause();
    int paused = a.GetPosition();
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    EXPECT_EQ(a.GetPosition(), paused);
    a.Resume();
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    EXPECT_GT(a.GetPosition(), paused);
    // Moved, it goes on from there; moved while paused, it waits there.
    a.SetPosition(150);
    int moved = a.GetPosition();
    EXPECT_GE(moved, 150);
    EXPECT_LT(moved, 160);
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    EXPECT_GT(a.GetPosition(), moved);
    EXPECT_LT(a.GetPosition(), moved + 60);
    a.Pause();
    a.SetPosition(50);
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_EQ(a.GetPosition(), 50);
    a.Resume();
    a.SetVolume(30);
    a.SetMuted(1);
    a.Free();

    // The show's clock must not stop with the music.
    ASSERT_EQ(a.Init(0, nullptr), 1);
    ASSERT_EQ(a.LoadStream(test_mp3::Make("sdl-short", 0.3).c_str()), 1);
    a.Play();
    std::this_thread::sleep_for(std::chrono::milliseconds(900));
    EXPECT_GT(static_cast<uint32_t>(a.GetPosition()), a.length / 1764 + 20);
    a.Free();
    EXPECT_EQ(errorLog.count, 0);
}

}  // namespace
