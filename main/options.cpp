#include "main/options.h"

#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

int Fail(char* error, std::size_t size, const char* format, ...)
{
    va_list args;
    va_start(args, format);
    std::vsnprintf(error, size, format, args);
    va_end(args);
    return 0;
}

// Digits from `text` on; where they end.
const char* SkipDigits(const char* text)
{
    while (*text >= '0' && *text <= '9') ++text;
    return text;
}

// A whole decimal number, nothing else: digits only, with no sign and no
// spaces around them.
bool ParseInt(const char* text, int* value)
{
    if (text == nullptr || *text == '\0' || *SkipDigits(text) != '\0') return false;
    char* end = nullptr;
    errno = 0;
    long v = std::strtol(text, &end, 10);
    if (errno != 0 || *end != '\0' || v > 1000000) return false;
    *value = static_cast<int>(v);
    return true;
}

// The suffix, in upper or lower case.
bool EndsWith(const char* text, const char* suffix)
{
    std::size_t n = std::strlen(text);
    std::size_t m = std::strlen(suffix);
    if (n < m) return false;
    for (std::size_t i = 0; i < m; ++i)
        if (std::tolower(static_cast<unsigned char>(text[n - m + i])) != suffix[i]) return false;
    return true;
}

}  // namespace

bool ParseFrameRate(const char* text, int* num, int* den)
{
    if (text == nullptr) return false;
    const char* slash = std::strchr(text, '/');
    int n = 0, d = 1;
    if (slash == nullptr) {
        if (!ParseInt(text, &n) || n < 1 || n > 100) return false;
    } else {
        char top[16];
        const std::size_t length = static_cast<std::size_t>(slash - text);
        if (length == 0 || length >= sizeof top) return false;
        std::memcpy(top, text, length);
        top[length] = '\0';
        if (!ParseInt(top, &n) || !ParseInt(slash + 1, &d) || n < 1 || d < 1 ||
            static_cast<long long>(n) > 100LL * d)
            return false;
    }
    *num = n;
    *den = d;
    return true;
}

bool ParseSeconds(const char* text, int* hundredths)
{
    if (text == nullptr) return false;
    const char* whole = SkipDigits(text);
    const char* end = *whole == '.' ? SkipDigits(whole + 1) : whole;
    // At least one digit, before the point or after it.
    if (*end != '\0' || end == text || (*whole == '.' && end == text + 1)) return false;
    errno = 0;
    const double v = std::strtod(text, nullptr);
    if (errno != 0 || v > 1000000.0) return false;
    *hundredths = static_cast<int>(std::llround(v * 100.0));
    return true;
}

int ParseOptions(int argc, const char* const* argv, Options* options, char* error,
                 std::size_t errorSize)
{
    Options o;
    bool fpsGiven = false, fromGiven = false, toGiven = false, scaleGiven = false,
         depthGiven = false, zoomGiven = false, scalingGiven = false, chromaGiven = false, heightGiven = false, cellGiven = false;
    for (int i = 1; i < argc; ++i) {
        const char* arg = argv[i];
        // Options with a value take it from the next argument or after '='.
        const char* value = nullptr;
        char name[32];
        const char* eq = std::strchr(arg, '=');
        if (std::strncmp(arg, "--", 2) == 0 && eq != nullptr &&
            static_cast<std::size_t>(eq - arg) < sizeof name) {
            std::memcpy(name, arg, static_cast<std::size_t>(eq - arg));
            name[eq - arg] = '\0';
            value = eq + 1;
        } else {
            std::snprintf(name, sizeof name, "%s", arg);
        }
        auto needValue = [&]() -> const char* {
            if (value != nullptr) return value;
            if (i + 1 < argc) return argv[++i];
            return nullptr;
        };
        auto noValue = [&]() { return value == nullptr; };

        if (std::strcmp(name, "--help") == 0 || std::strcmp(name, "-h") == 0) {
            if (!noValue()) return Fail(error, errorSize, "%s takes no value", name);
            o.help = true;
        } else if (std::strcmp(name, "--version") == 0 || std::strcmp(name, "-V") == 0) {
            if (!noValue()) return Fail(error, errorSize, "%s takes no value", name);
            o.version = true;
        } else if (std::strcmp(name, "--no-sound") == 0) {
            if (!noValue()) return Fail(error, errorSize, "%s takes no value", name);
            o.noSound = true;
        } else if (std::strcmp(name, "--literal-timing") == 0) {
            if (!noValue()) return Fail(error, errorSize, "%s takes no value", name);
            o.literalTiming = true;
        } else if (std::strcmp(name, "--loop") == 0) {
            if (!noValue()) return Fail(error, errorSize, "%s takes no value", name);
            o.loop = true;
        } else if (std::strcmp(name, "--verbose") == 0) {
            if (!noValue()) return Fail(error, errorSize, "%s takes no value", name);
            o.verbose = true;
        } else if (std::strcmp(name, "--overwrite") == 0 || std::strcmp(name, "-y") == 0) {
            if (!noValue()) return Fail(error, errorSize, "%s takes no value", name);
            o.overwrite = true;
        } else if (std::strcmp(name, "--lossless") == 0) {
            if (!noValue()) return Fail(error, errorSize, "%s takes no value", name);
            o.lossless = true;
        } else if (std::strcmp(name, "--chroma") == 0) {
            const char* v = needValue();
            int n = 0;
            if (v == nullptr) return Fail(error, errorSize, "--chroma needs a value: 420 or 444");
            if (!ParseInt(v, &n) || (n != 420 && n != 444))
                return Fail(error, errorSize, "--chroma '%s': expected 420 or 444", v);
            o.chroma = n;
            chromaGiven = true;
        } else if (std::strcmp(name, "--benchmark") == 0) {
            if (!noValue()) return Fail(error, errorSize, "%s takes no value", name);
            o.benchmark = true;
        } else if (std::strcmp(name, "--flash-report") == 0) {
            if (!noValue()) return Fail(error, errorSize, "%s takes no value", name);
            o.flashReport = true;
        } else if (std::strcmp(name, "--mode") == 0) {
            const char* v = needValue();
            if (v == nullptr) return Fail(error, errorSize, "--mode needs a value: 32, 24, 16 or windowed");
            if (std::strcmp(v, "32") == 0) o.mode = 32;
            else if (std::strcmp(v, "24") == 0) o.mode = 24;
            else if (std::strcmp(v, "16") == 0) o.mode = 16;
            else if (std::strcmp(v, "windowed") == 0) o.mode = 0;
            else return Fail(error, errorSize, "--mode '%s': expected 32, 24, 16 or windowed", v);
        } else if (std::strcmp(name, "--capture") == 0) {
            const char* v = needValue();
            if (v == nullptr || *v == '\0') return Fail(error, errorSize, "--capture needs a file name ending in .mp4 or .mkv");
            if (!EndsWith(v, ".mp4") && !EndsWith(v, ".mkv"))
                return Fail(error, errorSize, "--capture '%s': the file name must end in .mp4 or .mkv", v);
            o.capture = v;
        } else if (std::strcmp(name, "--frames") == 0) {
            const char* v = needValue();
            if (v == nullptr || *v == '\0') return Fail(error, errorSize, "--frames needs a directory");
            o.frames = v;
        } else if (std::strcmp(name, "--framemd5") == 0) {
            const char* v = needValue();
            if (v == nullptr || *v == '\0') return Fail(error, errorSize, "--framemd5 needs a file name");
            o.framemd5 = v;
        } else if (std::strcmp(name, "--music") == 0) {
            const char* v = needValue();
            if (v == nullptr || *v == '\0') return Fail(error, errorSize, "--music needs the path of the music file");
            o.music = v;
        } else if (std::strcmp(name, "--fps") == 0) {
            const char* v = needValue();
            if (v == nullptr)
                return Fail(error, errorSize, "--fps needs a value: a whole number from 1 to 100, or a ratio such as 60000/1001");
            if (!ParseFrameRate(v, &o.fpsNum, &o.fpsDen))
                return Fail(error, errorSize,
                            "--fps '%s': expected a whole number from 1 to 100, or a ratio N/D of whole numbers "
                            "(such as 60000/1001) of at most 100",
                            v);
            fpsGiven = true;
        } else if (std::strcmp(name, "--from") == 0 || std::strcmp(name, "--to") == 0) {
            const char* v = needValue();
            int h = 0;
            if (v == nullptr) return Fail(error, errorSize, "%s needs a value: a number of seconds, 0 or more", name);
            if (!ParseSeconds(v, &h))
                return Fail(error, errorSize,
                            "%s '%s': expected a number of seconds, 0 or more, in digits with an optional decimal "
                            "point (such as 12 or 63.5)",
                            name, v);
            if (name[2] == 'f') {
                o.fromHundredths = h;
                fromGiven = true;
            } else {
                o.toHundredths = h;
                toGiven = true;
            }
        } else if (std::strcmp(name, "--depth") == 0) {
            const char* v = needValue();
            int n = 0;
            if (v == nullptr) return Fail(error, errorSize, "--depth needs a value: 32, 24 or 16");
            if (!ParseInt(v, &n) || (n != 32 && n != 24 && n != 16))
                return Fail(error, errorSize, "--depth '%s': expected 32, 24 or 16", v);
            o.depth = n;
            depthGiven = true;
        } else if (std::strcmp(name, "--scale") == 0) {
            const char* v = needValue();
            int n = 0;
            if (v == nullptr) return Fail(error, errorSize, "--scale needs a value: a whole number from 1 to 8");
            if (!ParseInt(v, &n) || n < 1 || n > 8)
                return Fail(error, errorSize, "--scale '%s': expected a whole number from 1 to 8", v);
            o.scale = n;
            scaleGiven = true;
        } else if (std::strcmp(name, "--height") == 0) {
            const char* v = needValue();
            int n = 0;
            if (v == nullptr) return Fail(error, errorSize, "--height needs a value: 1080, 1440 or 2160");
            if (!ParseInt(v, &n) || (n != 1080 && n != 1440 && n != 2160))
                return Fail(error, errorSize, "--height '%s': expected 1080, 1440 or 2160", v);
            o.height = n;
            heightGiven = true;
        } else if (std::strcmp(name, "--flash-cell") == 0) {
            const char* v = needValue();
            int n = 0;
            if (v == nullptr) return Fail(error, errorSize, "--flash-cell needs a value: 1, 2, 4, 8 or 16");
            if (!ParseInt(v, &n) || (n != 1 && n != 2 && n != 4 && n != 8 && n != 16))
                return Fail(error, errorSize, "--flash-cell '%s': expected 1, 2, 4, 8 or 16", v);
            o.flashCell = n;
            cellGiven = true;
        } else if (std::strcmp(name, "--scaling") == 0) {
            const char* v = needValue();
            if (v != nullptr && std::strcmp(v, "sharp") == 0) {
                o.scaling = platform::Scaling::Sharp;
            } else if (v != nullptr && std::strcmp(v, "nearest") == 0) {
                o.scaling = platform::Scaling::Nearest;
            } else if (v != nullptr && std::strcmp(v, "integer") == 0) {
                o.scaling = platform::Scaling::Integer;
            } else {
                return Fail(error, errorSize, "--scaling '%s': expected sharp, nearest or integer",
                            v != nullptr ? v : "");
            }
            scalingGiven = true;
        } else if (std::strcmp(name, "--zoom") == 0) {
            const char* v = needValue();
            int n = 0;
            if (!ParseInt(v, &n) || n < 1 || n > 8)
                return Fail(error, errorSize, "--zoom '%s': expected a whole number from 1 to 8",
                            v != nullptr ? v : "");
            o.zoom = n;
            zoomGiven = true;
        } else {
            return Fail(error, errorSize, "unknown option '%s' (see --help)", arg);
        }
    }

    int outputs = (o.capture != nullptr) + (o.frames != nullptr) + (o.benchmark ? 1 : 0) + (o.flashReport ? 1 : 0);
    if (outputs > 1)
        return Fail(error, errorSize, "choose one of --capture, --frames, --benchmark and --flash-report");
    if (o.mode >= 0 && outputs > 0)
        return Fail(error, errorSize, "--mode is for playing on the desktop; it cannot be combined with --capture, --frames, --benchmark or --flash-report");
    bool writes = o.capture != nullptr || o.frames != nullptr;
    if (o.flashReport && (fpsGiven || scaleGiven || heightGiven || depthGiven))
        return Fail(error, errorSize,
                    "--flash-report checks every hundredth at full size through the 32-bit conversion; "
                    "--fps, --scale, --height and --depth do not apply");
    if (cellGiven && !o.flashReport) return Fail(error, errorSize, "--flash-cell applies only to --flash-report");
    if (o.flashReport && (o.overwrite || o.verbose))
        return Fail(error, errorSize, "--flash-report writes nothing and prints its report; -y and --verbose do not apply");
    if (!writes && !o.flashReport && toGiven)
        return Fail(error, errorSize, "--to applies only to --capture, --frames and --flash-report");
    if (!writes && (fpsGiven || scaleGiven || heightGiven))
        return Fail(error, errorSize, "--fps, --scale and --height apply only to --capture and --frames");
    if (scaleGiven && heightGiven)
        return Fail(error, errorSize,
                    "--height and --scale cannot be combined: --height chooses the enlargement itself");
    if (fromGiven && o.benchmark) return Fail(error, errorSize, "--benchmark renders the whole show; --from does not apply");
    if (zoomGiven && outputs > 0)
        return Fail(error, errorSize, "--zoom is for playing on the desktop; a capture is enlarged with --scale");
    if (scalingGiven && outputs > 0)
        return Fail(error, errorSize,
                    "--scaling is for playing on the desktop; a capture is enlarged with --scale or --height");
    if (depthGiven && outputs == 0)
        return Fail(error, errorSize, "--depth applies only to --capture, --frames and --benchmark; on the desktop use --mode");
    if (o.overwrite && o.benchmark)
        return Fail(error, errorSize, "-y (--overwrite) applies only to what a run writes; --benchmark writes nothing");
    if (o.literalTiming && outputs > 0)
        return Fail(error, errorSize, "--literal-timing applies only to playing on the desktop; "
                                      "a headless run always steps one hundredth per update");
    if (o.loop && outputs > 0)
        return Fail(error, errorSize, "--loop applies only to playing on the desktop; a headless run renders the show once");
    if (o.verbose && (o.frames != nullptr || o.benchmark))
        return Fail(error, errorSize, "--verbose applies only to playing on the desktop and to --capture");
    if (o.framemd5 != nullptr && !writes)
        return Fail(error, errorSize, "--framemd5 applies only to --capture and --frames");
    if (o.framemd5 != nullptr && o.capture != nullptr && std::strcmp(o.framemd5, o.capture) == 0)
        return Fail(error, errorSize, "--framemd5 needs a file of its own, not the video's");
    if ((o.lossless || chromaGiven) && o.capture == nullptr)
        return Fail(error, errorSize, "%s applies only to --capture", o.lossless ? "--lossless" : "--chroma");
    if (o.lossless && !EndsWith(o.capture, ".mkv"))
        return Fail(error, errorSize,
                    "--lossless writes FFV1 with FLAC audio, which MP4 does not take: name the video .mkv");
    if (o.lossless && chromaGiven)
        return Fail(error, errorSize, "--lossless keeps every pixel in RGB; --chroma chooses H.264's colour resolution");
    if (toGiven && o.toHundredths < o.fromHundredths)
        return Fail(error, errorSize, "--to must not be earlier than --from");
    *options = o;
    return 1;
}

// The text says what this build's desktop does (ORCHID_DESKTOP_WIN32, set by
// the build for Windows): Windows' desktop has no zoom and no Alt+Enter, and
// is always there.
const char* UsageText()
{
    return "Usage: orchid [OPTION]...\n"
           "Plays the Orchid show to its music, kestrune-velomar.mp3, looked for in the current\n"
           "directory, then in the program's own, then in the installed data directory.\n"
#if defined(ORCHID_DESKTOP_WIN32)
           "Without options it asks for the display mode.\n"
#else
           "Without options it asks for the display mode on a desktop, and renders the\n"
           "show to orchid.mp4 when there is no display (orchid-2.mp4, ... when that exists).\n"
#endif
           "\n"
           "Playing:\n"
           "  --mode 32|24|16|windowed  skip the mode dialog: fullscreen at that depth, or a window\n"
           "  --music PATH              the music file, instead of looking for it\n"
#if !defined(ORCHID_DESKTOP_WIN32)
           "  --zoom K                  open the window K times larger (1 to 8), nearest neighbour;\n"
           "                            the window can be resized and keeps the picture's 4:3\n"
           "  --scaling sharp|nearest|integer\n"
           "                            how fullscreen and a resized window enlarge the picture:\n"
           "                            sharp (default) by the largest whole factor with nearest\n"
           "                            neighbour, then by the rest with a linear filter; nearest\n"
           "                            all the way (pixels of uneven widths); integer by the\n"
           "                            largest whole factor only, with black bands\n"
#endif
           "  --no-sound                play without an audio device; the frame timer is the clock.\n"
           "                            With it the music is not needed, also not by --capture\n"
           "                            (a video without sound), --frames or --benchmark\n"
           "  --literal-timing          let each update read the music position anew, as the show\n"
           "                            was first written: fades then follow the display's refresh\n"
           "                            rate (by default every update sees the next hundredth)\n"
           "  --loop                    at the show's end start again from its beginning, without\n"
           "                            the dialog, until Escape (for screenings)\n"
           "  --verbose                 at the end, say how often live play resynchronised;\n"
           "                            with --capture, say which ffmpeg encodes\n"
           "  --from SECONDS            start the show at this time (exactly the frame a capture\n"
           "                            shows there), with the music from the same place\n"
           "\n"
           "Rendering headless (deterministic, 100 updates per second of show time):\n"
           "  --capture FILE    write a video with the music: FILE.mp4 (H.264) or FILE.mkv;\n"
           "                    needs the ffmpeg program\n"
           "  --lossless        with --capture FILE.mkv: FFV1 in RGB, every pixel as rendered,\n"
           "                    with FLAC audio (a master for archives)\n"
           "  --chroma 420|444  H.264's colour resolution: 420 (default; what every player\n"
           "                    takes) or 444 (full colour, for uploads)\n"
           "  --frames DIR      write PNG files DIR/frame-00000.png, ... by frame index\n"
           "  --framemd5 FILE   with --capture or --frames, also write the MD5 of each frame\n"
           "                    as packed RGB, in the text of ffmpeg's framemd5: a --lossless\n"
           "                    video gives the same hashes with\n"
           "                    ffmpeg -i FILE.mkv -map 0:v -f framemd5 -pix_fmt rgb24 -\n"
           "  --fps RATE        frames per second (default 50): a whole number from 1 to 100,\n"
           "                    or a ratio such as 60000/1001, 30000/1001 or 24000/1001. Frame i\n"
           "                    shows the show as it stands at i / RATE s from its start (the\n"
           "                    last hundredth begun by then), whatever --from is\n"
           "  --from SECONDS    write only frames from this show time on (earlier ones are\n"
           "                    still rendered)\n"
           "  --to SECONDS      write only frames up to this show time, then stop\n"
           "  --depth 32|24|16  capture through that display conversion (default 32)\n"
           "  --scale K         enlarge each frame K times, nearest neighbour (1 to 8)\n"
           "  --height 1080|1440|2160\n"
           "                    write 16:9 frames of exactly 1920x1080, 2560x1440 or\n"
           "                    3840x2160: the picture enlarged by the largest whole\n"
           "                    factor that fits, nearest neighbour, centred on black\n"
           "                    (not with --scale)\n"
           "  --benchmark       render every hundredth of the show as fast as possible,\n"
           "                    write nothing, and print the cost of each scene and the\n"
           "                    frames digest (XXH3-64 of every frame the show rendered)\n"
           "  --flash-report    render every hundredth (or --from/--to a span) and check it\n"
           "                    against the flash thresholds of WCAG 2.3.1: print per second\n"
           "                    the most flashes over a quarter of a 10-degree field, general\n"
           "                    and saturated red, the worst moments and the verdict; exit\n"
           "                    status 3 when a threshold is passed\n"
           "  --flash-cell N    follow the mean of N x N pixel cells (1, 2, 4, 8 or 16)\n"
           "                    instead of each pixel (default 1)\n"
           "  -y, --overwrite   replace a video or PNG frames that exist; without it they\n"
           "                    are left alone and the run is refused\n"
           "Files are written under a temporary name (NAME.part-N) and take their name only\n"
           "once complete. Ctrl+C (or SIGTERM) ends a capture early: the video then ends with\n"
           "the last frame written.\n"
           "\n"
           "  -h, --help        show this text\n"
           "  -V, --version     show the version\n"
           "\n"
           "Keys while playing:\n"
           "  Escape            quit\n"
           "  Space             pause and resume picture and music\n"
           "  Left, Right       seek 10 s back or forward; Home: back to the start\n"
           "  Page Down, Up     to the next scene's start, or back to this one's\n"
           "                    (the one before's within a second of its start)\n"
           "  . and ,           while paused, one hundredth forward or back\n"
           "  M                 mute and unmute the music; + and - change its volume\n"
           "  S                 save the frame on screen as orchid-SSS.HH.png, the PNG\n"
           "                    --frames writes for it, in the Pictures folder (else the\n"
           "                    current folder, else the home folder); never replaces a file\n"
           "  L                 loop: the first press sets A at the frame on screen, the\n"
           "                    second B; play then goes back from B to A, exactly, until a\n"
           "                    third press clears the loop (a seek past B plays on there)\n"
#if !defined(ORCHID_DESKTOP_WIN32)
           "  Alt+Enter         switch between window and fullscreen\n"
#endif
           "  F1                show the frame rate, the resynchronisations, the show time,\n"
           "                    the scene and what the last frame cost to draw\n"
           "A seek or a step by a key, and a pause, show a seek bar over the picture's bottom\n"
           "with the scenes marked, for two seconds of play after (all the while paused).\n"
           "Exit status: 0 when the show ran, 1 after an error report, 2 for a bad command line,\n"
           "3 when --flash-report finds flashes over the thresholds.\n";
}
