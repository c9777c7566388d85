// The program `orchid`: reads the command line, chooses the desktop (SDL;
// on Windows the Win32 one) or the headless backend with its frame sink,
// runs the shell, and turns the outcome into the exit status.
#if defined(_WIN32)
#include <io.h>
#else
#include <unistd.h>
#endif

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>

#include "capture/benchmark_sink.h"
#include "capture/ffmpeg_sink.h"
#include "capture/png_sink.h"
#include "demo/demo.h"
#include "error/error_log.h"
#include "main/app_state.h"
#include "main/dialog.h"
#include "main/music_search.h"
#include "main/options.h"
#include "main/preset_dialog.h"
#include "main/shell.h"
#include "platform/backend.h"
#include "platform/clock.h"
#include "platform/headless/headless_backend.h"
#if defined(_WIN32)
#include "platform/win32/win32_backend.h"
#else
#include "platform/sdl/sdl_backend.h"
#endif
#include "simd/simd.h"

namespace {

// The desktop backend: the same Install(Options)/Uninstall on both.
#if defined(_WIN32)
namespace desktop = platform::win32;
#else
namespace desktop = platform::sdl;
#endif

constexpr const char kVersion[] = "orchid 1.0";
constexpr const char kDefaultCapture[] = "orchid.mp4";
// Hundredths live play draws ahead of the music heard.
constexpr int32_t kDisplayLead = 2;
// Presents of a whole headless run: one per hundredth up to 214.61 s.
constexpr long kShowPresents = kShowEnd + 1;
#if defined(_WIN32)
constexpr const char kFfmpegName[] = "ffmpeg.exe";
#else
constexpr const char kFfmpegName[] = "ffmpeg";
#endif

int CommandOf(int mode)
{
    switch (mode) {
    case 0: return IDC_BUTTON_WINDOWED;
    case 16: return IDC_BUTTON_16BPP;
    case 24: return IDC_BUTTON_24BPP;
    default: return IDC_BUTTON_32BPP;
    }
}

#if defined(_WIN32)
// Windows always has its desktop.
bool DesktopPresent() { return true; }

bool StderrIsTerminal() { return _isatty(_fileno(stderr)) != 0; }
#else
bool DesktopPresent()
{
    const char* x = std::getenv("DISPLAY");
    const char* wayland = std::getenv("WAYLAND_DISPLAY");
    return (x != nullptr && *x != '\0') || (wayland != nullptr && *wayland != '\0');
}

bool StderrIsTerminal() { return isatty(STDERR_FILENO) != 0; }
#endif

// Once every frame up to --to is written, the run ends as if Escape had
// been pressed.
void EndCapture() { platform::PostMessage(mainWindow, platform::WM_KEYDOWN, platform::VK_ESCAPE, 0); }

int SceneLabel() { return scene; }

// The frame the show rendered, in 32 bits, for the frames digest.
platform::FrameView FrameImage()
{
    return platform::FrameView{frameImage.pixChar, frameImage.width, frameImage.height, frameImage.pitch, 32,
                               platform::PixelLayout::XRGB8888};
}

// The outcome of a run: 1 after an error report (already shown), else what
// the message loop ended with.
int ExitStatus(int loopResult)
{
    if (!userQuit && errorLog.count > 0) return kExitFailed;
    return loopResult;
}

int RunHeadless(const Options& options)
{
    platform::VirtualClock clock;
    platform::SetActiveClock(&clock);

    capture::FrameSchedule schedule(options.fps, options.fromHundredths, options.toHundredths);
    std::optional<capture::PngSink> pngSink;
    std::optional<capture::FfmpegSink> ffmpegSink;
    std::optional<capture::BenchmarkSink> benchmarkSink;
    platform::FrameSink* sink = nullptr;
    capture::ProgressLine* progress = nullptr;
    const bool terminal = StderrIsTerminal();

    if (options.benchmark) {
        std::printf("simd level: %s\n", simd::Name(simd::Active()));
        benchmarkSink.emplace(SceneLabel, FrameImage);
        sink = &*benchmarkSink;
        progress = &benchmarkSink->progress;
        progress->Start("benchmark", kShowPresents, stderr, terminal);
    } else if (options.frames != nullptr) {
        pngSink.emplace(options.frames, schedule, options.scale);
        pngSink->onComplete = EndCapture;
        sink = &*pngSink;
        progress = &pngSink->progress;
        progress->Start("frames", schedule.PresentsNeeded(kShowPresents), stderr, terminal);
    } else {
        ffmpegSink.emplace(options.capture, musicFile, options.fps, schedule, options.scale);
        ffmpegSink->onComplete = EndCapture;
        sink = &*ffmpegSink;
        progress = &ffmpegSink->progress;
        progress->Start("capture", schedule.PresentsNeeded(kShowPresents), stderr, terminal);
    }

    platform::headless::Options headless;
    headless.dialogCommand = CommandOf(options.depth);
    headless.sink = sink;
    platform::headless::Install(headless);

    int64_t start = capture::WallNs();
    int result = ExitStatus(WinMain(nullptr, nullptr, "", platform::SW_SHOWNORMAL));
    double seconds = static_cast<double>(capture::WallNs() - start) * 1e-9;

    platform::headless::Uninstall();
    platform::SetActiveClock(nullptr);

    if (result == kExitOk && !options.benchmark) {
        const capture::CaptureSink& written = pngSink ? static_cast<const capture::CaptureSink&>(*pngSink)
                                                      : static_cast<const capture::CaptureSink&>(*ffmpegSink);
        double showSeconds = static_cast<double>(written.presents) / 100.0;
        std::fprintf(stderr, "orchid: wrote %ld frames to %s; rendered %.2f s of the show in %.1f s, %.1fx real time\n",
                     written.written, options.frames != nullptr ? options.frames : options.capture, showSeconds,
                     seconds, seconds > 0.0 ? showSeconds / seconds : 0.0);
    }
    return result;
}

int RunDesktop(const Options& options)
{
    desktop::Options desktopOptions;
    desktopOptions.silentAudio = options.noSound;
    if (!desktop::Install(desktopOptions)) {
        std::fprintf(stderr,
                     "orchid: the display could not be opened; render without one with --capture FILE or "
                     "--frames DIR\n");
        return kExitFailed;
    }
    // A mode chosen on the command line answers the dialog.
    PresetDialog preset(platform::InstalledBackend().windows, options.mode >= 0 ? CommandOf(options.mode) : 0);
    if (options.mode >= 0) {
        platform::Backend backend = platform::InstalledBackend();
        backend.windows = &preset;
        platform::InstallBackend(backend);
    }
    literalTiming = options.literalTiming ? 1 : 0;
    // About one refresh and the display's own delay: measured against the
    // sound on a PulseAudio sink, live frames came 15 to 23 ms after the
    // capture's timing without it.
    displayLead = kDisplayLead;
    // The viewer's keys move the show; --from starts it there.
    seekable = 1;
    startTime = options.fromHundredths;
    int result = ExitStatus(WinMain(nullptr, nullptr, "", platform::SW_SHOWNORMAL));
    desktop::Uninstall();
    if (options.verbose && !userQuit) {
        if (literalTiming)
            std::fprintf(stderr, "orchid: literal timing: each update read the music position anew\n");
        else
            std::fprintf(stderr, "orchid: live timing: %d resynchronisation%s with the music\n", showSteps.resyncs,
                         showSteps.resyncs == 1 ? "" : "s");
    }
    return result;
}

// Points the shell at the music: the path given, or the first place it is
// found; none with --no-sound, which does not need it. When it cannot be
// opened one line says what was looked for and where, and the run goes on
// to the report the failed start-up makes.
void ChooseMusic(const Options& options, std::string* found)
{
    if (options.noSound) {
        musicFile = nullptr;
        return;
    }
    int error = 0;
    std::vector<std::string> folders;
    if (options.music != nullptr) {
        *found = FindMusic(options.music, {"."}, &error);
    } else {
        folders = MusicFolders(ExecutableFolder(), ORCHID_DATA_DIR);
        *found = FindMusic(kMusicFile, folders, &error);
    }
    const char* name = options.music != nullptr ? options.music : kMusicFile;
    if (found->empty()) {
        std::fprintf(stderr, "%s\n", MusicNotFound(name, folders, error).c_str());
        *found = name;
    }
    musicFile = found->c_str();
}

}  // namespace

int main(int argc, char** argv)
{
    Options options;
    char error[256] = {};
    if (!ParseOptions(argc, argv, &options, error, sizeof error)) {
        std::fprintf(stderr, "orchid: %s\n", error);
        return kExitUsage;
    }
    if (options.help) {
        std::fputs(UsageText(), stdout);
        return kExitOk;
    }
    if (options.version) {
        std::printf("%s\n", kVersion);
        return kExitOk;
    }
    if (options.fromHundredths > kShowEnd + 1) {
        std::fprintf(stderr, "orchid: --from is past the end of the show (214.61 s)\n");
        return kExitUsage;
    }

    std::string music;
    if (!options.Headless()) {
        if (DesktopPresent()) {
            ChooseMusic(options, &music);
            return RunDesktop(options);
        }
        if (options.mode >= 0 || options.noSound) {
            std::fprintf(stderr,
                         "orchid: there is no display (neither DISPLAY nor WAYLAND_DISPLAY is set) to play on; "
                         "render the show with --capture FILE or --frames DIR\n");
            return kExitFailed;
        }
        options.capture = kDefaultCapture;
        std::fprintf(stderr, "orchid: no display; rendering the show headless to %s\n", kDefaultCapture);
    }
    if (options.capture != nullptr && !capture::FfmpegSink::ProgramAvailable("ffmpeg")) {
        std::fprintf(stderr,
                     "orchid: capturing a video needs the ffmpeg program, which was not found on PATH (%s); "
                     "install ffmpeg, or write PNG frames with --frames DIR\n",
                     kFfmpegName);
        return kExitFailed;
    }
    if (options.capture != nullptr)
        std::fprintf(stderr, "orchid: capturing the show to %s at %d fps%s\n", options.capture, options.fps,
                     options.noSound ? ", without the music" : " with the music");
    else if (options.frames != nullptr)
        std::fprintf(stderr, "orchid: writing PNG frames at %d fps into %s\n", options.fps, options.frames);
    ChooseMusic(options, &music);
    return RunHeadless(options);
}
