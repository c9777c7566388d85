#include "main/shell.h"

#include <cstdio>

#include "audio/audio.h"
#include "dedraw/dedraw.h"
#include "demo/demo.h"
#include "error/error_log.h"
#include "main/app_state.h"
#include "main/dialog.h"
#include "main/window.h"
#include "timer/show_steps.h"
#include "timer/timer.h"

using namespace platform;

char fpsText[80];
const char* musicFile = kMusicFile;
int32_t shutdownDone = 0;
int32_t literalTiming = 0;
int32_t displayLead = 0;
ShowSteps showSteps;
int32_t overlayShown = 0;
void (*showUpdate)() = DemoUpdate;
void (*musicStarted)(int32_t lengthHundredths) = nullptr;

namespace {
LRESULT MainWindowProc(HWND window, uint32_t message, WPARAM wParam, LPARAM lParam);
}  // namespace

int Startup(HINSTANCE instance, int showCommand)
{
    shutdownDone = 0;
    overlayShown = 0;
    // The end of the show, asked for from inside an update step, ends the
    // run there and then.
    SetDemoHooks(DemoHooks{RequestQuit});
    // Without a log every later report would be dropped and the run would
    // go on with nothing set up: end it here instead.
    if (!errorLog.Init(nullptr)) {
        std::fputs("orchid: the error log could not be set up (out of memory); nothing was started.\n",
                   stderr);
        PostQuitMessage(1);
        return 1;
    }
    try {
        CreateMainWindow(instance, MainWindowProc);
        intptr_t result = DialogBoxParam(instance, kModeDialogId, mainWindow, ModeDialogProc, 0);
        if (result == -1 || screenBpp == -1) {
            userQuit = 1;
            RequestQuit();
            return 1;
        }
        audio.Init(0, mainWindow);
        audio.LoadStream(musicFile);
        ShowWindow(mainWindow, showCommand);
        UpdateWindow(mainWindow);
        SetFocus(mainWindow);
        timer.Init();
        frameImage.Create(640, 480, 32);
        deDraw.Init(640, 480, screenBpp, windowed, mainWindow);
        DemoInit();
        ShowCursor(0);
        audio.Play();
        if (musicStarted != nullptr) {
            const uint32_t rate = audio.bytesPerSecond;
            musicStarted(rate == 0 ? 0
                                   : static_cast<int32_t>(audio.length / rate * 100 + audio.length % rate * 100 / rate));
        }
        std::snprintf(fpsText, sizeof fpsText, " ");
        running = 1;
        musicPosition = 0;
        showSteps.Start(0);
    } catch (const ErrorException&) {
        RequestQuit();
    }
    return 1;
}

void IdleFrame()
{
    if (quitting) return;
    try {
        if (paused) timer.Restart();
        timer.RunFrame(UpdateCallback, RenderCallback);
    } catch (const ErrorException&) {
        RequestQuit();
    }
}

int UpdateCallback()
{
    if (quitting || paused) return 0;
    timer.ComputeFps();
    std::snprintf(fpsText, sizeof fpsText, "FPS = %i", timer.fps);
    if (literalTiming) {
        showUpdate();
        // The end of the show has already shut everything down (the music
        // included) when DemoUpdate returns.
        if (!quitting) musicPosition = audio.GetPosition();
        return 1;
    }
    // Every hundredth the music has passed gets its own update, in order;
    // the timer's further calls in this frame then find nothing due. Between
    // updates `musicPosition` holds the time the next one will see, as it
    // does in a capture.
    int32_t heard = audio.GetPosition() + displayLead;
    while (!quitting) {
        int32_t time = showSteps.Next(heard);
        if (time < 0) break;
        musicPosition = time;
        showUpdate();
        if (!quitting) musicPosition = showSteps.next;
    }
    return 1;
}

int RenderCallback()
{
    if (quitting || paused) return 0;
    if (overlayShown) {
        // The frame rate, and how often live play had to resynchronise.
        char text[96];
        if (literalTiming)
            std::snprintf(text, sizeof text, "%s", fpsText);
        else
            std::snprintf(text, sizeof text, "%s  RESYNCS %d", fpsText, showSteps.resyncs);
        ShowOverlay(text);
    }
    DemoRender();
    return 1;
}

void RequestQuit()
{
    quitting = 1;
    if (IsWindow(mainWindow)) {
        DestroyWindow(mainWindow);
    } else if (!shutdownDone) {
        // No window was made (or it is gone): tear down here, and end the
        // message loop as the window's destruction would have.
        Shutdown();
        PostQuitMessage(0);
    }
}

namespace {

// The shell's window: its destruction tears everything down and ends the
// message loop, activation pauses and resumes, Escape ends the run.
LRESULT MainWindowProc(HWND window, uint32_t message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_DESTROY:
        Shutdown();
        PostQuitMessage(0);
        return 0;
    case WM_ACTIVATEAPP: {
        if (quitting) return 0;
        int active = LOWORD(wParam);
        // The music's pause or resume can fail; the report is in the log,
        // and the run ends here rather than letting the exception leave the
        // window procedure.
        try {
            if (active == 0) {
                if (running) audio.Pause();
                paused = 1;
                lastActive = 0;
            } else if (active != lastActive) {
                if (running) {
                    deDraw.Restore();
                    audio.Resume();
                }
                lastActive = active;
                paused = 0;
            }
        } catch (const ErrorException&) {
            RequestQuit();
        }
        return 0;
    }
    case WM_KEYDOWN:
        if (wParam == VK_ESCAPE) RequestQuit();
        if (wParam == VK_F1) {
            overlayShown = !overlayShown;
            if (!overlayShown) ShowOverlay(nullptr);
        }
        return 0;
    default:
        return DefWindowProc(window, message, wParam, lParam);
    }
}

}  // namespace

void Shutdown()
{
    if (shutdownDone) return;
    shutdownDone = 1;
    ShowCursor(1);
    SetCursor(previousCursor);
    audio.Free();
    DemoFree();
    frameImage.Free();
    // Releasing the display also finishes a capture; its failures are
    // recorded and shown below.
    deDraw.Free();
    if (!userQuit && errorLog.count > 0) MessageBox(nullptr, errorLog.Report(), "Error!", MB_OK);
    errorLog.Free();
}

int WinMain(HINSTANCE instance, HINSTANCE, const char*, int showCommand)
{
    Startup(instance, showCommand);
    MSG message = {};
    for (;;) {
        if (PeekMessage(&message, nullptr, 0, 0, PM_NOREMOVE)) {
            BOOL got = GetMessage(&message, nullptr, 0, 0);
            if (got == 0) break;
            if (got == -1) return 1;
            TranslateMessage(&message);
            DispatchMessage(&message);
        } else {
            IdleFrame();
        }
    }
    return static_cast<int>(message.wParam);
}
