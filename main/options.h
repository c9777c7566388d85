// The command line of `orchid`. Run bare, the program behaves as the show
// always has: the mode dialog on a desktop. The options skip the dialog,
// play without sound, or render the show headless (to a video, to PNG files,
// or as a benchmark).
#pragma once

#include <cstddef>

#include "platform/backend_table.h"

struct Options {
    // -1: ask with the mode dialog; 0: windowed; 16, 24, 32: fullscreen.
    int mode = -1;
    const char* capture = nullptr;  // --capture FILE (.mp4 or .mkv)
    const char* frames = nullptr;   // --frames DIR
    const char* framemd5 = nullptr; // --framemd5 FILE: checksums of the frames written
    const char* music = nullptr;    // --music PATH; nullptr: look for it
    int fpsNum = 50;                // frames kept per second of show time,
    int fpsDen = 1;                 // fpsNum / fpsDen
    int fromHundredths = 0;         // first show time written; playing: the start
    int toHundredths = -1;          // last show time written; -1: to the end
    bool lossless = false;          // --lossless: FFV1 in RGB (a .mkv --capture)
    int chroma = 420;               // --chroma: H.264 at 4:2:0 or 4:4:4
    int depth = 32;                 // display conversion the capture goes through
    int scale = 1;                  // nearest-neighbour upscale of captured frames
    int height = 0;                 // --height 1080|1440|2160 output frames; 0: none
    int zoom = 1;                   // the window opens this many times larger
    platform::Scaling scaling = platform::Scaling::Sharp;  // enlarging beyond the picture's size
    bool noSound = false;
    bool literalTiming = false;  // each update reads the music position anew
    bool loop = false;           // the show starts again at its end
    bool verbose = false;        // report live timing at the end
    bool benchmark = false;
    bool flashReport = false;  // screen every frame against WCAG 2.3.1's flash thresholds
    int flashCell = 1;         // --flash-cell: the report follows the mean of cells this wide
    bool overwrite = false;  // -y: replace outputs that exist
    bool help = false;
    bool version = false;

    // Renders headless, on the virtual clock.
    bool Headless() const { return capture != nullptr || frames != nullptr || benchmark || flashReport; }
};

// Exit statuses of the program.
constexpr int kExitOk = 0;
constexpr int kExitFailed = 1;   // the run ended with an error report
constexpr int kExitUsage = 2;    // bad command line
constexpr int kExitFlashes = 3;  // --flash-report: the show fails a flash threshold

// Parses argv[1..argc-1]. Returns 1 on success; 0 with a one-line message
// (no trailing newline) in `error` otherwise.
int ParseOptions(int argc, const char* const* argv, Options* options, char* error,
                 std::size_t errorSize);

// A frame rate as --fps takes it: a whole number from 1 to 100, or N/D, two
// whole numbers (no sign, no spaces) of a ratio above 0 and at most 100.
// 1 with the ratio in num and den; 0, both untouched,
// otherwise.
bool ParseFrameRate(const char* text, int* num, int* den);

// Seconds as --from and --to take them: a plain decimal number, digits with
// an optional point and fraction ("12", "0.5", "214.61", ".5", "3."), up to
// a million, rounded to the nearest hundredth. Anything else is refused:
// a sign, spaces, an exponent, hex ("0x10"), "inf", "nan". 1 with the value
// in `hundredths`; 0, and `hundredths` untouched, otherwise.
bool ParseSeconds(const char* text, int* hundredths);

// The --help text, as this platform's program has it; the program adds the
// names of its backends.
const char* UsageText();
