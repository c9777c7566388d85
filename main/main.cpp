// The program `orchid`: reads the command line, chooses a backend from the
// backend table (platform/backend_table.h: a desktop, or headless with its
// frame sink), runs the shell, and turns the outcome into the exit status.
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "capture/benchmark_sink.h"
#include "capture/ffmpeg_sink.h"
#include "capture/framemd5.h"
#include "capture/flash_sink.h"
#include "capture/png_sink.h"
#include "demo/demo.h"
#include "demo/timeline.h"
#include "error/error_log.h"
#include "main/app_state.h"
#include "main/backend_choice.h"
#include "main/dialog.h"
#include "main/music_search.h"
#include "main/options.h"
#include "main/preset_dialog.h"
#include "main/screenshot.h"
#include "main/shell.h"
#include "os/files.h"
#include "os/folders.h"
#include "os/process.h"
#include "os/stop.h"
#include "platform/backend.h"
#include "platform/backend_table.h"
#include "platform/clock.h"
#include "simd/simd.h"

namespace {

constexpr const char kVersion[] = "orchid 1.0";
// The video a run without a display writes, or the first of orchid-2.mp4,
// orchid-3.mp4, ... that does not exist.
constexpr const char kDefaultCaptureStem[] = "orchid";
constexpr const char kDefaultCaptureExtension[] = ".mp4";
// Hundredths live play draws ahead of the music heard.
constexpr int32_t kDisplayLead = 2;
// Presents of a whole headless run: one per hundredth up to 214.61 s.
constexpr long kShowPresents = kShowEnd + 1;

int CommandOf(int mode)
{
    switch (mode) {
    case 0: return IDC_BUTTON_WINDOWED;
    case 16: return IDC_BUTTON_16BPP;
    case 24: return IDC_BUTTON_24BPP;
    default: return IDC_BUTTON_32BPP;
    }
}

// Once every frame up to --to is written, the run ends as if Escape had
// been pressed.
void EndCapture() { platform::PostMessage(mainWindow, platform::WM_KEYDOWN, platform::VK_ESCAPE, 0); }

// SIGINT or SIGTERM during a headless run that writes: the sink stops
// writing at its next frame and the run ends as at --to, so the video is
// finished with the frames written so far. An ffmpeg that no longer takes
// frames or does not end is ended after a grace time, its video removed.
bool StopRequested() { return os::StopSignal() != 0; }

// The same signals during live play end the show as Escape does, and the
// program exits as a capture does. The handler the desktop backend set
// before (SDL turns both signals into its quit event, which also ends the
// mode dialog) is still called.
using SignalHandler = void (*)(int);
SignalHandler liveHandlers[2] = {SIG_DFL, SIG_DFL};  // SIGINT's, SIGTERM's

extern "C" void OnLiveStopSignal(int signalNumber)
{
    os::RequestStop(signalNumber);
    const SignalHandler previous = liveHandlers[signalNumber == SIGINT ? 0 : 1];
    if (previous != SIG_DFL && previous != SIG_IGN && previous != SIG_ERR) previous(signalNumber);
}

const char* SignalName(int signalNumber) { return signalNumber == SIGINT ? "SIGINT" : "SIGTERM"; }

// "1 frame", "2 frames".
const char* Plural(long count) { return count == 1 ? "" : "s"; }

// The first of orchid.mp4, orchid-2.mp4, ... that nothing has taken.
std::string FreeCaptureName()
{
    std::string name = std::string(kDefaultCaptureStem) + kDefaultCaptureExtension;
    for (int n = 2; os::PathExists(name.c_str()) && n < 100000; ++n)
        name = std::string(kDefaultCaptureStem) + "-" + std::to_string(n) + kDefaultCaptureExtension;
    return name;
}

// The first frame file of this run that exists already, or "".
std::string ExistingFrame(const char* directory, const capture::FrameSchedule& schedule, long presents)
{
    char name[4096 + 32];
    for (long present = 1; present <= presents; ++present) {
        long first = 0;
        const int count = schedule.FramesOf(present, &first);
        for (long index = first; index < first + count; ++index) {
            capture::PngSink::FrameName(directory, index, name, sizeof name);
            if (os::PathExists(name)) return name;
        }
    }
    return "";
}

capture::FrameSchedule ScheduleOf(const Options& options)
{
    return capture::FrameSchedule(capture::FrameRate(options.fpsNum, options.fpsDen), options.fromHundredths,
                                  options.toHundredths);
}

// The show time up to which a capture writes, in hundredths.
int32_t CaptureEnd(const Options& options)
{
    return options.toHundredths >= 0 && options.toHundredths < kShowEnd ? options.toHundredths : kShowEnd;
}

int32_t captureEnd = kShowEnd;

// The line that refuses a run whose span holds no frame of its rate, or ""
// when some frame falls in it.
std::string EmptySpan(const Options& options)
{
    const capture::FrameSchedule schedule = ScheduleOf(options);
    if (schedule.FramesWithin(schedule.PresentsNeeded(kShowPresents)) > 0) return "";
    char end[64];
    if (options.toHundredths >= 0 && options.toHundredths < kShowPresents)
        std::snprintf(end, sizeof end, "--to %d.%02d s", options.toHundredths / 100, options.toHundredths % 100);
    else
        std::snprintf(end, sizeof end, "the end of the show (%ld.%02ld s)", kShowPresents / 100,
                      kShowPresents % 100);
    char rate[48];
    schedule.rate.Format(rate, sizeof rate);
    char line[256];
    std::snprintf(line, sizeof line,
                  "orchid: no frame falls between --from %d.%02d s and %s at %s fps (one frame every %.4g s); "
                  "nothing would be written",
                  options.fromHundredths / 100, options.fromHundredths % 100, end, rate,
                  static_cast<double>(schedule.rate.den) / static_cast<double>(schedule.rate.num));
    return line;
}

// One line when the music ends before the video does: the video goes on in
// silence.
void NoteShortMusicInCapture(int32_t length)
{
    if (length > 0 && length < captureEnd)
        os::PrintText(stderr,
                      "orchid: the music ends at %d.%02d s, before the capture's end at %d.%02d s; the video is "
                      "silent from there on\n",
                      length / 100, length % 100, captureEnd / 100, captureEnd % 100);
}

// The same for live play, where the show goes on after the music.
void NoteShortMusicLive(int32_t length)
{
    if (length > 0 && length < kShowEnd)
        os::PrintText(stderr,
                      "orchid: the music ends at %d.%02d s, before the show's end at %d.%02d s; the show goes "
                      "on in silence\n",
                      length / 100, length % 100, kShowEnd / 100, kShowEnd % 100);
}

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

// The frame checksums take their name when every frame they list is in the
// output (`kept`: the output was not removed); the run's status, or 1 when
// they could not.
int FinishChecksums(capture::FrameMd5File* checksums, const Options& options, int result, long written, bool kept)
{
    const std::string path = os::FullPath(options.framemd5);
    if (result != kExitOk || errorLog.count > 0 || written == 0 || !kept) {
        checksums->Discard();
        if (written > 0)
            os::PrintText(stderr, "orchid: the frame checksums were not kept, since the run failed\n");
        return result;
    }
    if (checksums->Commit(options.overwrite)) {
        os::PrintText(stderr, "orchid: wrote the MD5 of %ld frame%s to %s\n", checksums->frames,
                      Plural(checksums->frames), path.c_str());
        return result;
    }
    const int error = checksums->error;
    if (error == EEXIST) {
        checksums->Keep();
        os::PrintText(stderr, "orchid: %s appeared meanwhile and was left as it was; the checksums are in %s\n",
                      path.c_str(), checksums->TemporaryName());
    } else {
        checksums->Discard();
        os::PrintText(stderr, "orchid: the frame checksums could not be written to %s: %s\n", path.c_str(),
                      std::strerror(error));
    }
    return kExitFailed;
}

// The show's scenes, as a video's chapters.
capture::Chapter sceneChapters[timeline::kSceneCount];

int RunHeadless(const Options& options, const std::string& outputPath, const platform::BackendEntry& backend)
{
    platform::VirtualClock clock;
    platform::SetActiveClock(&clock);

    const capture::FrameSchedule schedule = ScheduleOf(options);
    std::optional<capture::PngSink> pngSink;
    std::optional<capture::FfmpegSink> ffmpegSink;
    std::optional<capture::BenchmarkSink> benchmarkSink;
    std::optional<capture::FrameMd5File> checksums;
    for (int k = 0; k < timeline::kSceneCount; ++k)
        sceneChapters[k] = capture::Chapter{timeline::kScenes[k].name, timeline::kScenes[k].first};
    const capture::VideoInfo videoInfo{kVersion, options.depth, sceneChapters, timeline::kSceneCount, FrameImage};
    std::optional<capture::FlashSink> flashSink;
    platform::FrameSink* sink = nullptr;
    capture::ProgressLine* progress = nullptr;
    const bool terminal = os::IsTerminal(stderr);

    if (options.benchmark) {
        std::printf("simd level: %s\n", simd::Name(simd::Active()));
        benchmarkSink.emplace(SceneLabel, FrameImage);
        sink = &*benchmarkSink;
        progress = &benchmarkSink->progress;
        progress->Start("benchmark", kShowPresents, kShowPresents, stderr, terminal);
    } else if (options.flashReport) {
        flashSink.emplace(options.fromHundredths, options.toHundredths, kShowPresents);
        flashSink->cell = options.flashCell;
        flashSink->onComplete = EndCapture;
        flashSink->stopRequested = StopRequested;
        os::CatchStopSignals();
        sink = &*flashSink;
        progress = &flashSink->progress;
        progress->Start("flash report", flashSink->PresentsNeeded(), flashSink->FramesNeeded(), stderr, terminal);
    } else {
        capture::CaptureSink* writer = nullptr;
        if (options.frames != nullptr) {
            pngSink.emplace(options.frames, schedule, options.scale);
            writer = &*pngSink;
        } else {
            ffmpegSink.emplace(options.capture, musicFile, schedule, options.scale);
            ffmpegSink->info = &videoInfo;
            ffmpegSink->video = options.lossless       ? capture::FfmpegSink::Video::Ffv1
                                : options.chroma == 444 ? capture::FfmpegSink::Video::H264_444
                                                        : capture::FfmpegSink::Video::H264_420;
            writer = &*ffmpegSink;
            if (musicFile != nullptr) {
                captureEnd = CaptureEnd(options);
                musicStarted = NoteShortMusicInCapture;
            }
        }
        if (options.framemd5 != nullptr) {
            checksums.emplace(options.framemd5, kVersion);
            writer->checksums = &*checksums;
        }
        writer->onComplete = EndCapture;
        writer->stopRequested = StopRequested;
        writer->overwrite = options.overwrite;
        writer->presetHeight = options.height;
        os::CatchStopSignals();
        sink = writer;
        progress = &writer->progress;
        const long presents = schedule.PresentsNeeded(kShowPresents);
        progress->Start(options.frames != nullptr ? "frames" : "capture", presents, schedule.FramesWithin(presents),
                        stderr, terminal);
    }

    platform::BackendSetup setup;
    setup.dialogCommand = CommandOf(options.depth);
    setup.sink = sink;
    char error[256] = "";
    if (!backend.install(setup, error, sizeof error)) {
        os::PrintText(stderr, "orchid: %s\n", error);
        platform::SetActiveClock(nullptr);
        return kExitFailed;
    }

    int64_t start = capture::WallNs();
    int result = ExitStatus(WinMain(nullptr, nullptr, "", platform::SW_SHOWNORMAL));
    double seconds = static_cast<double>(capture::WallNs() - start) * 1e-9;

    backend.uninstall();
    platform::SetActiveClock(nullptr);
    musicStarted = nullptr;
    if (options.benchmark) return result;
    if (flashSink) {
        const int interruption = os::StopSignal();
        if (interruption != 0) {
            os::PrintText(stderr, "orchid: interrupted (%s): the flash report covers the %ld frame%s analysed\n",
                          SignalName(interruption), flashSink->report.frames, Plural(flashSink->report.frames));
            return 128 + interruption;
        }
        if (result == kExitOk && flashSink->report.Fails()) return kExitFlashes;
        return result;
    }

    const capture::CaptureSink& written = pngSink ? static_cast<const capture::CaptureSink&>(*pngSink)
                                                  : static_cast<const capture::CaptureSink&>(*ffmpegSink);
    const char* where = outputPath.c_str();
    const int interruption = os::StopSignal();
    if (interruption != 0 && ffmpegSink && ffmpegSink->abandoned) {
        os::PrintText(stderr,
                      "orchid: interrupted (%s): ffmpeg stopped answering and was ended; the partial video was "
                      "removed and nothing was written to %s\n",
                      SignalName(interruption), where);
    } else if (result == kExitOk) {
        char stopped[48] = "";
        if (interruption != 0)
            std::snprintf(stopped, sizeof stopped, "interrupted (%s): ", SignalName(interruption));
        const double showSeconds = static_cast<double>(written.presents) / 100.0;
        if (interruption != 0 && written.written == 0)
            os::PrintText(stderr, "orchid: interrupted (%s) before the first frame; nothing was written\n",
                          SignalName(interruption));
        else
            os::PrintText(stderr,
                          "orchid: %swrote %ld frame%s to %s; rendered %.2f s of the show in %.1f s, %.1fx real time\n",
                          stopped, written.written, Plural(written.written), where, showSeconds, seconds,
                          seconds > 0.0 ? showSeconds / seconds : 0.0);
    } else if (pngSink && written.written > 0) {
        // Each frame written is complete; the one that failed left nothing.
        os::PrintText(stderr, "orchid: the %ld complete frame%s written before the failure stay in %s\n",
                      written.written, Plural(written.written), where);
    }
    if (checksums && checksums->Pending()) {
        const bool kept = !(ffmpegSink && ffmpegSink->abandoned);
        result = FinishChecksums(&*checksums, options, result, written.written, kept);
    }
    // The usual status of a program ended by the signal: 128 + its number.
    if (interruption != 0) return 128 + interruption;
    return result;
}

// S during live play: the frame goes to the Pictures folder, else the
// current folder, else the home folder, and one line says where.
std::string SaveScreenshot(const std::string& png, int32_t hundredth)
{
    const std::string folders[] = {os::PicturesFolder(), ".", os::HomeFolder()};
    std::string line = WriteScreenshot(png, hundredth, folders, 3);
    os::PrintText(stderr, "%s\n", line.c_str());
    return line;
}

int RunDesktop(const Options& options, const platform::BackendEntry& backend)
{
    platform::BackendSetup setup;
    setup.silentAudio = options.noSound;
    setup.zoom = options.zoom;
    setup.scaling = options.scaling;
    char error[256] = "";
    if (!backend.install(setup, error, sizeof error)) {
        os::PrintText(stderr, "orchid: %s\n", error);
        return kExitFailed;
    }
    // A mode chosen on the command line answers the dialog.
    PresetDialog preset(platform::InstalledBackend().windows, options.mode >= 0 ? CommandOf(options.mode) : 0);
    if (options.mode >= 0) {
        platform::Backend backend = platform::InstalledBackend();
        backend.windows = &preset;
        platform::InstallBackend(backend);
    }
    liveHandlers[0] = std::signal(SIGINT, OnLiveStopSignal);
    liveHandlers[1] = std::signal(SIGTERM, OnLiveStopSignal);
    showEndRequested = StopRequested;
    if (!options.noSound) musicStarted = NoteShortMusicLive;
    literalTiming = options.literalTiming ? 1 : 0;
    loopShow = options.loop ? 1 : 0;
    screenshotTaken = SaveScreenshot;
    // About one refresh and the display's own delay: measured against the
    // sound on a PulseAudio sink, live frames came 15 to 23 ms after the
    // capture's timing without it.
    displayLead = kDisplayLead;
    // The viewer's keys move the show; --from starts it there.
    seekable = 1;
    startTime = options.fromHundredths;
    // The window shows as the program was asked to start (minimised, say).
    int result = ExitStatus(WinMain(nullptr, nullptr, "", os::StartupShowCommand()));
    backend.uninstall();
    if (options.verbose && !userQuit) {
        if (literalTiming)
            os::PrintText(stderr, "orchid: literal timing: each update read the music position anew\n");
        else
            os::PrintText(stderr, "orchid: live timing: %d resynchronisation%s with the music\n", showSteps.resyncs,
                          showSteps.resyncs == 1 ? "" : "s");
    }
    // The usual status of a program ended by the signal: 128 + its number.
    if (os::StopSignal() != 0) return 128 + os::StopSignal();
    return result;
}

// One line before the report when the music found does not play.
void NoteUnplayableMusic() { os::PrintText(stderr, "%s\n", MusicUnplayable(musicFile).c_str()); }

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
        const std::string programFolder = ExecutableFolder();
        folders = MusicFolders(programFolder, DataFolder(programFolder, ORCHID_DATA_DIR));
        *found = FindMusic(kMusicFile, folders, &error);
    }
    const char* name = options.music != nullptr ? options.music : kMusicFile;
    if (found->empty()) {
        os::PrintText(stderr, "%s\n", MusicNotFound(name, folders, error).c_str());
        *found = name;
    } else {
        musicUnplayable = NoteUnplayableMusic;
    }
    musicFile = found->c_str();
}

}  // namespace

int main(int argc, char** argv)
{
    // The options point into these for the whole run.
    const std::vector<std::string> arguments = os::Arguments(argc, argv);
    std::vector<const char*> args;
    for (const std::string& argument : arguments) args.push_back(argument.c_str());
    Options options;
    char error[256] = {};
    if (!ParseOptions(static_cast<int>(args.size()), args.data(), &options, error, sizeof error)) {
        os::PrintText(stderr, "orchid: %s\n", error);
        return kExitUsage;
    }
    if (options.help) {
        std::fputs(UsageText(), stdout);
        const platform::BackendTable table = platform::Backends();
        std::string names;
        for (int i = 0; i < table.count; ++i) names += std::string(i == 0 ? "" : ", ") + table.entries[i]->name;
        std::printf("Environment: ORCHID_BACKEND=NAME runs the show on that backend, one of %s;\n"
                    "by default on the first of them that can run here (a desktop needs a display).\n",
                    names.c_str());
        return kExitOk;
    }
    if (options.version) {
        std::printf("%s\n", kVersion);
        return kExitOk;
    }
    if (options.fromHundredths > kShowEnd + 1) {
        os::PrintText(stderr, "orchid: --from is past the end of the show (214.61 s)\n");
        return kExitUsage;
    }

    // A bare run plays on a screen when there is one and renders the show
    // headless otherwise; --mode and --no-sound are for a screen.
    const BackendNeed need = options.Headless()                        ? BackendNeed::OffScreen
                             : options.mode >= 0 || options.noSound ? BackendNeed::OnScreen
                                                                     : BackendNeed::Any;
    const BackendChoice choice = ChooseBackend(platform::Backends(), platform::ProcessEnvironment, need);
    if (choice.outcome == BackendChoice::Refused) {
        os::PrintText(stderr, "orchid: %s\n", choice.message.c_str());
        return kExitUsage;
    }
    if (choice.outcome == BackendChoice::NoneCanRun) {
        os::PrintText(stderr, "orchid: %s to play on; render the show with --capture FILE or --frames DIR\n",
                      choice.message.c_str());
        return kExitFailed;
    }
    std::string music;
    std::string defaultCapture;
    if (choice.entry->onScreen) {
        ChooseMusic(options, &music);
        return RunDesktop(options, *choice.entry);
    }
    // A capture or frames run that would write nothing is refused before
    // anything is rendered.
    if (!options.benchmark && !options.flashReport) {
        const std::string empty = EmptySpan(options);
        if (!empty.empty()) {
            os::PrintText(stderr, "%s\n", empty.c_str());
            return kExitUsage;
        }
    }
    if (!options.Headless()) {
        // Never over a video that is there: the next free name, unless -y.
        defaultCapture = options.overwrite ? std::string(kDefaultCaptureStem) + kDefaultCaptureExtension
                                           : FreeCaptureName();
        options.capture = defaultCapture.c_str();
        const std::string why = choice.named ? std::string("ORCHID_BACKEND=") + choice.entry->name : "no display";
        os::PrintText(stderr, "orchid: %s; rendering the show headless to %s\n", why.c_str(),
                      os::FullPath(options.capture).c_str());
    }
    if (options.capture != nullptr && !capture::FfmpegSink::ProgramAvailable("ffmpeg")) {
        os::PrintText(stderr,
                      "orchid: capturing a video needs the ffmpeg program, which was not found on PATH (%s); "
                      "install ffmpeg, or write PNG frames with --frames DIR\n",
                      (std::string("ffmpeg") + os::kExecutableSuffix).c_str());
        return kExitFailed;
    }
    if (options.capture != nullptr && options.verbose) {
        os::PrintText(stderr, "orchid: the video is encoded by %s\n", os::ProgramPath("ffmpeg").c_str());
    }
    if (options.framemd5 != nullptr && !options.overwrite && os::PathExists(options.framemd5)) {
        os::PrintText(stderr, "orchid: %s exists; it is left as it is (-y or --overwrite replaces it)\n",
                      os::FullPath(options.framemd5).c_str());
        return kExitFailed;
    }
    std::string output;
    char rate[48];
    ScheduleOf(options).rate.Format(rate, sizeof rate);
    if (options.capture != nullptr) {
        output = os::FullPath(options.capture);
        // A folder cannot take the video's name, -y or not.
        if (os::KindOf(options.capture) == os::FileKind::Folder) {
            os::PrintText(stderr, "orchid: %s is a folder; the video cannot be written under its name\n",
                          output.c_str());
            return kExitFailed;
        }
        if (!options.overwrite && os::PathExists(options.capture)) {
            os::PrintText(stderr, "orchid: %s exists; it is left as it is (-y or --overwrite replaces it)\n",
                          output.c_str());
            return kExitFailed;
        }
        os::PrintText(stderr, "orchid: capturing the show to %s at %s fps%s\n", output.c_str(), rate,
                      options.noSound ? ", without the music" : " with the music");
    } else if (options.frames != nullptr) {
        output = os::FullPath(options.frames);
        const capture::FrameSchedule schedule = ScheduleOf(options);
        const std::string existing =
            options.overwrite ? "" : ExistingFrame(options.frames, schedule, schedule.PresentsNeeded(kShowPresents));
        if (!existing.empty()) {
            os::PrintText(stderr,
                          "orchid: %s exists; frames of this run are left as they are (-y or --overwrite "
                          "replaces them)\n",
                          os::FullPath(existing.c_str()).c_str());
            return kExitFailed;
        }
        os::PrintText(stderr, "orchid: writing PNG frames at %s fps into %s\n", rate, output.c_str());
    }
    ChooseMusic(options, &music);
    return RunHeadless(options, output, *choice.entry);
}
