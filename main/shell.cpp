#include "main/shell.h"

#include <cstdio>

#include "audio/audio.h"
#include "dedraw/dedraw.h"
#include "demo/demo.h"
#include "demo/snapshots.h"
#include "demo/timeline.h"
#include "error/error_log.h"
#include "main/app_state.h"
#include "main/dialog.h"
#include "main/screenshot.h"
#include "main/window.h"
#include "platform/clock.h"
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
int32_t seekable = 0;
int32_t startTime = 0;
int32_t aheadMicros = 6000;
int32_t aheadSteps = 500;
int32_t showExact = 0;
int32_t userPaused = 0;
int32_t loopShow = 0;
int32_t loopStart = -1;
int32_t loopEnd = -1;
std::string (*screenshotTaken)(const std::string& png, int32_t hundredth) = nullptr;
void (*musicStarted)(int32_t lengthHundredths) = nullptr;
void (*musicUnplayable)() = nullptr;
bool (*showEndRequested)() = nullptr;

namespace {
LRESULT MainWindowProc(HWND window, uint32_t message, WPARAM wParam, LPARAM lParam);

// 1 while the last update's hundredth has not been drawn.
int32_t undrawn = 0;
// The line a screenshot left in the overlay, and the frames it stays up
// for (two seconds of play at 60 frames a second). Counted here: the
// timer's own frame count starts again every second.
char notice[160] = "";
int32_t noticeFrames = 0;
constexpr int32_t kNoticeFrames = 120;
// A line for the overlay's two seconds (and stderr's, when `echo`).
void Notice(const char* line, bool echo);
// The hundredth whose frame is on screen: the one drawn for musicPosition,
// or while that is not drawn yet, the one before (which Render shows again
// before drawing on).
int32_t ShownHundredth() { return undrawn ? musicPosition - 1 : musicPosition; }
// S: the frame on screen to screenshotTaken, and its line to the overlay.
void TakeScreenshot();
// 1 while the show stands at or before the loop's end, so that play
// passing it goes back to the loop's start; 0 before a loop is set and
// after a seek past its end.
int32_t loopArmed = 0;
// L: sets the loop's start at the hundredth on screen, then its end, then
// clears it; one line says what it did.
void LoopKey();
// Play has passed the loop's end before the update of `time`.
bool LoopPassed(int32_t time);
// Keeps the show's state as the snapshot mark while it stands exactly at
// the loop's start, so that the jumps back are quick.
void MarkLoopStart();
// 1 once the show has ended and starts again after this update.
int32_t restartDue = 0;
// The show's end-of-show hook: the run ends, or with loopShow the show
// starts again.
void EndOfShow();
// What the last frame cost to draw, in microseconds, while the overlay
// shows it.
int64_t frameCost = 0;

// Draws and presents the frame of the hundredth the last update left.
void Render();
// Draws the hundredth the last update left, without presenting it.
void DrawStep();
// Takes the show back to its start after its end (loopShow); what the
// update callback returns then.
int StartAgain();
// After each draw: the hundredth is drawn, and kept as a snapshot when it
// falls on one.
void FrameDrawn();
// Space: pauses picture and music together, or lets them go on.
void TogglePause();
// The viewer's keys other than Escape and F1.
void ViewerKey(WPARAM key);
// The scene a time lies in; the start of the next one (the time itself in
// the last); the start of the one it lies in, or of the one before within
// kSceneBackGrace of its start, so that Page Up pressed twice goes on back.
int32_t SceneAt(int32_t time);
int32_t SceneStartAfter(int32_t time);
int32_t SceneStartBefore(int32_t time);
constexpr int32_t kSceneBackGrace = 100;
// Builds snapshots ahead of the show while no hundredth is due.
void BuildAhead();
// The seek bar the display draws over the picture: up for kSeekBarMicros
// of play after a seek or a step by the viewer, and while the viewer has
// paused; up until seekBarUntil on the performance counter.
SeekBar seekBar;
bool seekBarUp = false;
int64_t seekBarUntil = 0;
constexpr int64_t kSeekBarMicros = 2000000;
// Puts the bar up at `position` (its time starts again).
void RaiseSeekBar(int32_t position);
// Each frame of play: the bar follows the show, or goes once its time is up.
void FollowSeekBar();
// A seek by the viewer's keys: the bar goes up at the target first, so that
// the seek's own present shows it (while paused nothing else presents).
void ViewerSeek(int32_t target);
}  // namespace

int Startup(HINSTANCE instance, int showCommand)
{
    shutdownDone = 0;
    overlayShown = 0;
    userPaused = 0;
    showExact = 0;
    seekBarUp = false;
    ShowSeekBar(nullptr);
    // The end of the show, asked for from inside an update step, ends the
    // run there and then.
    SetDemoHooks(DemoHooks{EndOfShow});
    restartDue = 0;
    loopStart = loopEnd = -1;
    loopArmed = 0;
    notice[0] = '\0';
    noticeFrames = 0;
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
        try {
            audio.LoadStream(musicFile);
        } catch (const ErrorException&) {
            if (musicUnplayable != nullptr) musicUnplayable();
            throw;
        }
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
        // Nothing is pumped while the show loads, so an activation change
        // made meanwhile is still waiting. With literal timing it is taken
        // now, while start-up still runs: it moves only `paused` and
        // `lastActive`, and the music plays on without the picture. By
        // default it arrives with the loop's first pump and pauses picture
        // and music together, so the show resumes where it stood.
        if (literalTiming) {
            MSG pending = {};
            PeekMessage(&pending, nullptr, 0, 0, PM_NOREMOVE);
        }
        running = 1;
        musicPosition = 0;
        showSteps.Start(0);
        showExact = literalTiming ? 0 : 1;
        undrawn = 0;
        if (seekable && showSnapshots.Reserve()) {
            showSnapshots.Take(0);
            if (startTime > 0) SeekShow(startTime);
        } else if (seekable) {
            std::fprintf(stderr, "orchid: no snapshots for seeking (%s); the show plays on %swithout seeking\n",
                         showSnapshots.Failure(), startTime > 0 ? "from the start, " : "");
        }
    } catch (const ErrorException&) {
        RequestQuit();
    }
    return 1;
}

void IdleFrame()
{
    if (quitting) return;
    if (showEndRequested != nullptr && showEndRequested()) {
        RequestQuit();
        return;
    }
    try {
        // Literal timing runs nothing between frames.
        if (paused)
            timer.Restart();
        else if (!literalTiming)
            BuildAhead();
        timer.RunFrame(UpdateCallback, RenderCallback);
    } catch (const ErrorException&) {
        RequestQuit();
    }
}

void BuildAheadAfterFrame()
{
    if (quitting || paused || literalTiming) return;
    try {
        BuildAhead();
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
        showExact = 0;
        showUpdate();
        if (restartDue) return StartAgain();
        // The end of the show has already shut everything down (the music
        // included) when DemoUpdate returns.
        if (!quitting) musicPosition = audio.GetPosition();
        // The frame drawn next is the one for the time read.
        if (!quitting && LoopPassed(musicPosition - 1)) SeekShow(loopStart);
        return 1;
    }
    // Every hundredth the music has passed gets its own update, in order;
    // the timer's further calls in this frame then find nothing due. Between
    // updates `musicPosition` holds the time the next one will see, as it
    // does in a capture. A hundredth updated but not yet drawn is drawn
    // before the next update, as a capture draws every hundredth: the frame
    // image, and so every frame shown, stays the capture's, and the state
    // can be kept as snapshots.
    int32_t heard = audio.GetPosition() + displayLead;
    while (!quitting) {
        int32_t time = showSteps.Next(heard);
        if (time < 0) break;
        // The update of the loop's end would lead to the frame after it.
        if (LoopPassed(time)) {
            SeekShow(loopStart);
            return 1;
        }
        if (undrawn) DrawStep();
        // A resynchronisation skipped hundredths.
        if (time != musicPosition) showExact = 0;
        musicPosition = time;
        showUpdate();
        if (restartDue) return StartAgain();
        if (!quitting) {
            musicPosition = showSteps.next;
            undrawn = 1;
        }
    }
    return 1;
}

int RenderCallback()
{
    if (quitting || paused) return 0;
    if (notice[0] != '\0' && --noticeFrames <= 0) {
        notice[0] = '\0';
        if (!overlayShown) ShowOverlay(nullptr);
    }
    FollowSeekBar();
    if (!overlayShown) {
        Render();
        return 1;
    }
    // The frame rate, how often live play had to resynchronise, the show
    // time and scene, and what the last frame cost to draw.
    char text[160];
    int length = std::snprintf(text, sizeof text, "%s", fpsText);
    if (!literalTiming)
        length += std::snprintf(text + length, sizeof text - static_cast<size_t>(length), "  RESYNCS %d",
                                showSteps.resyncs);
    std::snprintf(text + length, sizeof text - static_cast<size_t>(length), "  %d.%02d S  SCENE %d  %d.%02d MS",
                  musicPosition / 100, musicPosition % 100, scene, static_cast<int>(frameCost / 1000),
                  static_cast<int>(frameCost % 1000 / 10));
    // A screenshot's line takes the overlay's place while it is up.
    ShowOverlay(notice[0] != '\0' ? notice : text);
    Render();
    return 1;
}

namespace {

void Render()
{
    // With no new hundredth since the last draw (the music has not moved
    // on), the frame is shown again rather than drawn over itself, which
    // would double its blends: it stays the capture's. DemoRender is the
    // draw and the present; the overlay times the draw alone.
    if (undrawn || literalTiming) {
        int64_t frequency = 0, before = 0, after = 0;
        if (overlayShown) {
            QueryPerformanceFrequency(&frequency);
            QueryPerformanceCounter(&before);
        }
        DemoDraw();
        if (overlayShown) {
            QueryPerformanceCounter(&after);
            if (frequency > 0) frameCost = (after - before) * 1000000 / frequency;
        }
    }
    deDraw.Present(&frameImage);
    FrameDrawn();
}

void TakeScreenshot()
{
    if (screenshotTaken == nullptr || frameImage.pixInt == nullptr) return;
    const int32_t shown = ShownHundredth();
    // After live play skipped hundredths (a resynchronisation, or literal
    // timing) the frame is not the one a capture draws for its hundredth:
    // the show is moved to that hundredth first, as a seek moves it, so
    // that the frame written, and shown from then on, is the capture's.
    if (!showExact) SeekShow(shown);
    const std::string line = screenshotTaken(ShownFramePng(frameImage, deDraw.bpp, deDraw.pixelFormat), shown);
    Notice(line.c_str(), false);
}

void Notice(const char* line, bool echo)
{
    if (echo) std::fprintf(stderr, "%s\n", line);
    std::snprintf(notice, sizeof notice, "%s", line);
    noticeFrames = kNoticeFrames;
    ShowOverlay(notice);
}

bool LoopPassed(int32_t time) { return loopArmed && loopEnd >= 0 && time >= loopEnd; }

void MarkLoopStart()
{
    if (loopStart >= 0 && showExact && !undrawn && musicPosition == loopStart &&
        showSnapshots.Marked() != loopStart)
        showSnapshots.Mark(loopStart);
}

void LoopKey()
{
    char line[160];
    // Without snapshots nothing can seek, so nothing can loop.
    if (!showSnapshots.initialized) {
        Notice("orchid: no loop: the show cannot seek in this run", true);
        return;
    }
    const int32_t shown = ShownHundredth();
    if (loopStart >= 0 && loopEnd >= 0) {
        loopStart = loopEnd = -1;
        loopArmed = 0;
        showSnapshots.Unmark();
        Notice("orchid: loop: off", true);
        return;
    }
    if (loopStart < 0 || shown == loopStart) {
        if (loopStart < 0) {
            loopStart = shown;
            std::snprintf(line, sizeof line, "orchid: loop: A at %d.%02d s; L again sets B", shown / 100,
                          shown % 100);
        } else {
            // A loop of one hundredth would seek at every frame.
            std::snprintf(line, sizeof line, "orchid: loop: B cannot be A (%d.%02d s); A stays", shown / 100,
                          shown % 100);
        }
    } else {
        // An end before the start (after a seek back): the loop runs
        // between the two, from the earlier.
        loopEnd = shown > loopStart ? shown : loopStart;
        loopStart = shown > loopStart ? loopStart : shown;
        loopArmed = 1;
        std::snprintf(line, sizeof line, "orchid: loop: %d.%02d s to %d.%02d s", loopStart / 100, loopStart % 100,
                      loopEnd / 100, loopEnd % 100);
    }
    // Not exact here (live play fell behind, or literal timing), the first
    // jump back steps there from a snapshot, and marks it then.
    if (showSnapshots.Marked() != loopStart) showSnapshots.Unmark();
    MarkLoopStart();
    Notice(line, true);
}

void EndOfShow()
{
    if (loopShow && showSnapshots.initialized)
        restartDue = 1;
    else
        RequestQuit();
}

int StartAgain()
{
    restartDue = 0;
    SeekShow(0);
    return 1;
}

void DrawStep()
{
    DemoDraw();
    FrameDrawn();
}

void FrameDrawn()
{
    undrawn = 0;
    if (showExact) showSnapshots.Take(musicPosition);
    MarkLoopStart();
}

void BuildAhead()
{
    if (!showSnapshots.initialized || aheadSteps <= 0 || aheadMicros <= 0) return;
    // A hundredth that is due comes first.
    timer.ReadTicks();
    if (timer.ticks != timer.lastTicks) return;
    int64_t frequency = 0, start = 0, now = 0;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&start);
    const int64_t budget = frequency * aheadMicros / 1000000;
    for (int32_t steps = 0; steps < aheadSteps; ++steps) {
        if (showSnapshots.BuildAhead(1) == 0) return;
        QueryPerformanceCounter(&now);
        if (now - start >= budget) return;
        // A hundredth that falls due meanwhile waits one step at most.
        timer.ReadTicks();
        if (timer.ticks != timer.lastTicks) return;
    }
}

void TogglePause()
{
    if (userPaused) {
        userPaused = 0;
        // The bar stays up a while as the show goes on.
        if (seekBarUp) RaiseSeekBar(seekBar.position);
        // Still inactive: activation resumes them.
        if (lastActive == 0) return;
        deDraw.Restore();
        audio.Resume();
        paused = 0;
    } else {
        userPaused = 1;
        if (!paused) audio.Pause();
        paused = 1;
        // The frame on screen shown again, with the bar over it.
        RaiseSeekBar(ShownHundredth());
        if (frameImage.pixInt != nullptr) deDraw.Present(&frameImage);
    }
}

void RaiseSeekBar(int32_t position)
{
    if (seekBar.sceneCount == 0) {
        for (const timeline::Scene& scene : timeline::kScenes) {
            if (seekBar.sceneCount == SeekBar::kMaxScenes) break;
            seekBar.sceneStarts[seekBar.sceneCount] = scene.first;
            seekBar.sceneNames[seekBar.sceneCount] = scene.name;
            ++seekBar.sceneCount;
        }
        seekBar.length = kShowEnd;
    }
    seekBar.position = position < 0 ? 0 : position > kShowEnd ? kShowEnd : position;
    int64_t frequency = 0, now = 0;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&now);
    seekBarUntil = now + frequency * kSeekBarMicros / 1000000;
    seekBarUp = true;
    ShowSeekBar(&seekBar);
}

void FollowSeekBar()
{
    if (!seekBarUp) return;
    int64_t now = 0;
    QueryPerformanceCounter(&now);
    if (now >= seekBarUntil && !userPaused) {
        seekBarUp = false;
        ShowSeekBar(nullptr);
        return;
    }
    seekBar.position = musicPosition;
    ShowSeekBar(&seekBar);
}

void ViewerSeek(int32_t target)
{
    if (!showSnapshots.initialized) return;
    RaiseSeekBar(target);
    SeekShow(target);
}

int32_t SceneAt(int32_t time)
{
    int32_t index = 0;
    while (index + 1 < timeline::kSceneCount && timeline::kScenes[index + 1].first <= time) ++index;
    return index;
}

int32_t SceneStartAfter(int32_t time)
{
    const int32_t index = SceneAt(time);
    return index + 1 < timeline::kSceneCount ? timeline::kScenes[index + 1].first : time;
}

int32_t SceneStartBefore(int32_t time)
{
    const int32_t index = SceneAt(time);
    if (index > 0 && time - timeline::kScenes[index].first < kSceneBackGrace) return timeline::kScenes[index - 1].first;
    return timeline::kScenes[index].first;
}

void ViewerKey(WPARAM key)
{
    switch (key) {
    case VK_SPACE: TogglePause(); break;
    case VK_LEFT: ViewerSeek(musicPosition - kSeekStep); break;
    case VK_RIGHT: ViewerSeek(musicPosition + kSeekStep); break;
    case VK_HOME: ViewerSeek(0); break;
    case VK_NEXT: ViewerSeek(SceneStartAfter(musicPosition)); break;
    case VK_PRIOR: ViewerSeek(SceneStartBefore(musicPosition)); break;
    // One hundredth at a time, while paused.
    case VK_OEM_PERIOD:
        if (userPaused) ViewerSeek(musicPosition + 1);
        break;
    case VK_OEM_COMMA:
        if (userPaused) ViewerSeek(musicPosition - 1);
        break;
    case 'M': audio.SetMuted(!audio.muted); break;
    case 'S': TakeScreenshot(); break;
    case 'L': LoopKey(); break;
    case VK_ADD:
    case VK_OEM_PLUS: audio.SetVolume(audio.volume + kVolumeStep); break;
    case VK_SUBTRACT:
    case VK_OEM_MINUS: audio.SetVolume(audio.volume - kVolumeStep); break;
    default: break;
    }
}

}  // namespace

void SeekShow(int32_t target)
{
    if (quitting || !running || !showSnapshots.initialized) return;
    if (target < 0) target = 0;
    if (target > kShowEnd) target = kShowEnd;
    // The music waits while the show is stepped there, then goes on from
    // the same hundredth.
    if (!paused) audio.Pause();
    showSnapshots.Seek(target, showExact && !undrawn ? musicPosition : -1);
    showExact = 1;
    undrawn = 0;
    deDraw.Present(&frameImage);
    audio.SetPosition(target);
    showSteps.Seek(target);
    loopArmed = loopEnd >= 0 && target <= loopEnd ? 1 : 0;
    MarkLoopStart();
    if (!paused) audio.Resume();
    // The time the seek took is not made up for.
    timer.Restart();
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
                if (running && !userPaused) audio.Pause();
                paused = 1;
                lastActive = 0;
            } else if (active != lastActive) {
                if (running) {
                    deDraw.Restore();
                    // Paused with Space, the show waits for Space again.
                    if (!userPaused) audio.Resume();
                }
                lastActive = active;
                paused = userPaused;
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
        if (running && !quitting) {
            // A failing music call has its report in the log; the run ends
            // here rather than letting the exception leave the window
            // procedure.
            try {
                ViewerKey(wParam);
            } catch (const ErrorException&) {
                RequestQuit();
            }
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
