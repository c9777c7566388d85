// The program in the browser. The page calls one of three entries, then
// orchid_frame once per animation frame until it reports the end:
//
// - orchid_play(command): the show, live, as the start screen's button
//   `command` chose it (a mode dialog command id), with the music;
// - orchid_render_at(seconds, depth): the show on the virtual clock, one
//   update per hundredth as a capture steps it, up to that time (the text
//   of the page's ?at=, read as --from reads it), whose frame stays on the
//   canvas (through the display conversion of `depth`);
// - orchid_benchmark(): the whole show on the virtual clock as
//   `orchid --benchmark` runs it, its table printed on standard output.
//
// Each runs on the backend table's first entry (the page), or the one the
// page's ORCHID_BACKEND names; a name that cannot be used is one line on
// standard error, and nothing runs.
//
// A page must not block, so the message loop is turned inside out: each
// animation frame runs what one pass of the desktop's loop runs (every
// waiting message, then the idle frame). The frame timer waits for the next
// hundredth in a loop; in live play that wait becomes the end of the
// animation frame: the idle frame runs only once its hundredth has begun,
// and otherwise the next animation frame looks again. The timer's own
// arithmetic is untouched: its wait loop then finds the new hundredth on its
// first read. On the virtual clock, time moves only when the timer waits,
// so there the idle frame always runs and its wait steps the clock, as in
// every headless run; frames run in chunks of a few tens of milliseconds.
#include <emscripten.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>

#include "audio/audio.h"
#include "capture/benchmark_sink.h"
#include "capture/capture.h"
#include "demo/demo.h"
#include "demo/snapshots.h"
#include "demo/timeline.h"
#include "error/error_log.h"
#include "error/memory.h"
#include "error/report.h"
#include "main/app_state.h"
#include "main/backend_choice.h"
#include "main/dialog.h"
#include "main/options.h"
#include "main/screenshot.h"
#include "main/shell.h"
#include "pixmap/pixmap.h"
#include "platform/backend.h"
#include "platform/backend_table.h"
#include "platform/clock.h"
#include "platform/resources.h"
#include "platform/web/web_backend.h"
#include "simd/simd.h"
#include "timer/timer.h"

ORCHID_REPORT_MODULE("main/web");

namespace {

// Hundredths live play draws ahead of the music heard: a frame drawn in an
// animation frame reaches the screen at a later refresh, as on the desktop.
constexpr int32_t kDisplayLead = 2;
// Wall time a chunk of virtual-clock frames may take before the page gets
// control back.
constexpr double kChunkMs = 40.0;

// What orchid_frame reports to the page.
constexpr int kPlaying = 0;
constexpr int kPaused = 1;
constexpr int kEnded = 2;

int CommandOf(int depth)
{
    switch (depth) {
    case 16: return IDC_BUTTON_16BPP;
    case 24: return IDC_BUTTON_24BPP;
    default: return IDC_BUTTON_32BPP;
    }
}

// Shows the frames it is given on the page's canvas: the frame, in
// whatever format the display's surface has, widened back to 8-bit RGB as a
// capture widens it, then made RGBA for the canvas. The buffers are made
// with the first frame.
class CanvasSink final : public capture::CaptureSink {
public:
    explicit CanvasSink(const capture::FrameSchedule& frames) : CaptureSink(frames, 1) {}
    ~CanvasSink() override { orchid::MemFree(rgba); }
    CanvasSink(const CanvasSink&) = delete;
    CanvasSink& operator=(const CanvasSink&) = delete;

    int Open(int width, int height) override
    {
        if (!CaptureSink::Open(width, height)) return 0;
        int bytes = outWidth * outHeight * 4;
        rgba = static_cast<uint8_t*>(orchid::MemAlloc(static_cast<std::size_t>(bytes)));
        if (rgba == nullptr) {
            REPORT(ERR_OUT_OF_MEMORY, "uint8_t *rgba\n", bytes);
            return 0;
        }
        // Opaque once; the frames write only the colours.
        for (int i = 3; i < bytes; i += 4) rgba[i] = 0xFF;
        return 1;
    }

protected:
    int Write(long, int) override
    {
        const int pixels = outWidth * outHeight;
        for (int i = 0; i < pixels; ++i) {
            rgba[4 * i] = rgb[3 * i];
            rgba[4 * i + 1] = rgb[3 * i + 1];
            rgba[4 * i + 2] = rgb[3 * i + 2];
        }
        platform::web::ShowPicture(rgba, outWidth, outHeight);
        return 1;
    }

private:
    uint8_t* rgba = nullptr;
};

enum class Run { None, Live, Virtual };
Run run = Run::None;
const platform::BackendEntry* backend = nullptr;
platform::VirtualClock virtualClock;
// Every sink lives for the page's life: the canvas keeps a view of its
// pixels.
CanvasSink liveSink{capture::FrameSchedule(100, 0, -1)};
CanvasSink atSink{capture::FrameSchedule(100, 0, 0)};
capture::BenchmarkSink* benchmarkSink = nullptr;
// When the last chunk of a benchmark gave the page control back.
int64_t chunkEndNs = 0;

int SceneLabel() { return scene; }

// The frame the show rendered, in 32 bits, for the frames digest.
platform::FrameView FrameImage()
{
    return platform::FrameView{frameImage.pixChar, frameImage.width, frameImage.height, frameImage.pitch, 32,
                               platform::PixelLayout::XRGB8888};
}

// Once the frame for the chosen time is on the canvas, the run ends as if
// Escape had been pressed.
void EndRun() { platform::PostMessage(mainWindow, platform::WM_KEYDOWN, platform::VK_ESCAPE, 0); }

// S in live play: the browser downloads the frame.
std::string DownloadScreenshot(const std::string& png, int32_t hundredth)
{
    if (png.empty()) return "orchid: the screenshot could not be made: out of memory";
    const std::string name = ScreenshotName(hundredth, 1);
    platform::web::Download(name.c_str(), reinterpret_cast<const uint8_t*>(png.data()), png.size());
    return "orchid: the frame at " + ShowTime(hundredth) + " s is downloaded as " + name;
}

void Begin(Run kind, int command, platform::FrameSink* sink)
{
    const BackendChoice choice = ChooseBackend(platform::Backends(), platform::ProcessEnvironment, BackendNeed::Any);
    if (choice.outcome != BackendChoice::Chosen) {
        std::fprintf(stderr, "orchid: %s\n", choice.message.c_str());
        return;
    }
    platform::BackendSetup setup;
    setup.dialogCommand = command;
    setup.sink = sink;
    setup.silentAudio = kind == Run::Virtual;
    if (kind == Run::Virtual) {
        virtualClock.Set(0);
        platform::SetActiveClock(&virtualClock);
    }
    char error[256] = "";
    if (!choice.entry->install(setup, error, sizeof error)) {
        std::fprintf(stderr, "orchid: %s\n", error);
        platform::SetActiveClock(nullptr);
        return;
    }
    backend = choice.entry;
    displayLead = kind == Run::Live ? kDisplayLead : 0;
    // The viewer's keys move the show in live play.
    seekable = kind == Run::Live ? 1 : 0;
    screenshotTaken = kind == Run::Live ? DownloadScreenshot : nullptr;
    run = kind;
    Startup(nullptr, platform::SW_SHOWNORMAL);
}

// The messages waiting, as the desktop's loop takes them; false once the
// loop would end (WM_QUIT).
bool DispatchWaiting()
{
    platform::MSG message = {};
    while (platform::PeekMessage(&message, nullptr, 0, 0, platform::PM_NOREMOVE)) {
        platform::BOOL got = platform::GetMessage(&message, nullptr, 0, 0);
        if (got == 0 || got == -1) return false;
        platform::TranslateMessage(&message);
        platform::DispatchMessage(&message);
    }
    return true;
}

// Whether the idle frame's timer finds its new hundredth without waiting.
// While paused, the idle frame would restart the timer and run callbacks
// that return at once: the restart is all that is done, in every animation
// frame of the pause, so no backlog builds up.
bool FrameDue()
{
    if (quitting) return false;
    try {
        if (paused) {
            timer.Restart();
            return false;
        }
        timer.ReadTicks();
        return timer.ticks != timer.lastTicks;
    } catch (const ErrorException&) {
        RequestQuit();
        return false;
    }
}

void Finish()
{
    backend->uninstall();
    backend = nullptr;
    platform::SetActiveClock(nullptr);
    run = Run::None;
}

}  // namespace

extern "C" {

// The start screen's buttons, one line each: command id, "fullscreen",
// "windowed" or "quit", and the label, separated by tabs; the dialog's
// order, its rows top to bottom.
EMSCRIPTEN_KEEPALIVE const char* orchid_start_screen()
{
    static char text[512];
    int used = 0;
    for (int i = 0; i < modeDialogTemplate.controlCount; ++i) {
        const platform::DialogControl& control = modeDialogTemplate.controls[i];
        if (control.text == nullptr) continue;
        const char* kind = control.id == IDC_BUTTON_QUIT       ? "quit"
                           : control.id == IDC_BUTTON_WINDOWED ? "windowed"
                                                               : "fullscreen";
        int wrote = std::snprintf(text + used, sizeof text - static_cast<std::size_t>(used), "%d\t%s\t%s\n",
                                  control.id, kind, control.text);
        if (wrote < 0 || used + wrote >= static_cast<int>(sizeof text)) break;
        used += wrote;
    }
    return text;
}

// A resource's bytes (the start screen's banner), and their count.
EMSCRIPTEN_KEEPALIVE const uint8_t* orchid_resource(int id)
{
    return platform::FindResource(platform::MakeIntResource(id)).data;
}
EMSCRIPTEN_KEEPALIVE int orchid_resource_size(int id)
{
    return static_cast<int>(platform::FindResource(platform::MakeIntResource(id)).size);
}

EMSCRIPTEN_KEEPALIVE void orchid_play(int command) { Begin(Run::Live, command, &liveSink); }

EMSCRIPTEN_KEEPALIVE void orchid_render_at(const char* seconds, int depth)
{
    // Seconds as the command line's --from takes them; a time past the show
    // is its end.
    int hundredths = 0;
    if (!ParseSeconds(seconds, &hundredths)) {
        std::fprintf(stderr, "orchid: ?at=%s: expected a number of seconds, 0 to 1000000, in digits with an optional "
                             "decimal point (such as 12 or 63.5)\n",
                     seconds);
        return;
    }
    if (hundredths > kShowEnd) hundredths = kShowEnd;
    atSink.schedule = capture::FrameSchedule(100, hundredths, hundredths);
    atSink.onComplete = EndRun;
    Begin(Run::Virtual, CommandOf(depth), &atSink);
}

EMSCRIPTEN_KEEPALIVE void orchid_benchmark()
{
    static capture::BenchmarkSink sink(SceneLabel, FrameImage);
    benchmarkSink = &sink;
    std::printf("simd level: %s\n", simd::Name(simd::Active()));
    chunkEndNs = 0;
    Begin(Run::Virtual, IDC_BUTTON_32BPP, &sink);
}

// One animation frame: kPlaying, kPaused or kEnded (the loop has ended, or
// nothing was started).
EMSCRIPTEN_KEEPALIVE int orchid_frame()
{
    if (run == Run::None) return kEnded;
    if (run == Run::Live) {
        if (!DispatchWaiting()) {
            Finish();
            return kEnded;
        }
        if (FrameDue()) IdleFrame();
        // The page calls once an animation frame, when a hundredth is
        // nearly always due: the time left builds the snapshots ahead.
        BuildAheadAfterFrame();
        return paused ? kPaused : kPlaying;
    }
    // The time the page had between two chunks belongs to no frame.
    if (benchmarkSink != nullptr && chunkEndNs != 0) benchmarkSink->lastNs += capture::WallNs() - chunkEndNs;
    const double start = emscripten_get_now();
    do {
        if (!DispatchWaiting()) {
            Finish();
            return kEnded;
        }
        IdleFrame();
    } while (emscripten_get_now() - start < kChunkMs);
    chunkEndNs = capture::WallNs();
    return kPlaying;
}

// The show time the next update will see, in hundredths.
EMSCRIPTEN_KEEPALIVE int orchid_show_time() { return musicPosition; }

// The page's own controls (the touch bar, the media keys' session) in live
// play: a seek to any hundredth, as the seek keys move the show, whether
// the music is muted, and whether the viewer paused.
EMSCRIPTEN_KEEPALIVE void orchid_web_seek(int hundredths)
{
    if (run == Run::Live && seekable) SeekShow(hundredths);
}
EMSCRIPTEN_KEEPALIVE int orchid_web_muted() { return audio.muted; }
// 1 while the viewer has paused the show (Space); not for a pause that a
// hidden page or a lost focus holds.
EMSCRIPTEN_KEEPALIVE int orchid_web_user_paused() { return userPaused; }

// The latest hundredth with a snapshot: how far a seek finds one near it.
EMSCRIPTEN_KEEPALIVE int orchid_snapshots_reach() { return showSnapshots.Nearest(kShowEnd); }

// The scenes for the page's seek bar: a line "FIRST\tNAME" for each, in
// hundredths, and last "END\tthe end".
EMSCRIPTEN_KEEPALIVE const char* orchid_scenes()
{
    static char text[512];
    int used = 0;
    for (const timeline::Scene& scene : timeline::kScenes)
        used += std::snprintf(text + used, sizeof text - static_cast<std::size_t>(used), "%d\t%s\n",
                              static_cast<int>(scene.first), scene.name);
    std::snprintf(text + used, sizeof text - static_cast<std::size_t>(used), "%d\tthe end\n",
                  static_cast<int>(kShowEnd));
    return text;
}

}  // extern "C"
