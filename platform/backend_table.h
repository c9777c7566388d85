// The backend table: the backends a program can install, in order of
// preference, each as one entry (its name, whether it can run here, how to
// install and uninstall it). Which backends a build's table holds is set in
// one place, the calls of orchid_backend_table in platform/CMakeLists.txt,
// which make the table's source: sdl and headless on Linux, win32 and
// headless on Windows, web and headless in the browser. The fake backend, for tests, is
// in no table. A program chooses an entry (main/backend_choice.h) and
// installs it with the one setup every backend takes.
#pragma once

#include <cstddef>

#include "platform/frame_sink.h"

namespace platform {

// An environment variable's value, or null when it is not set: std::getenv,
// or a scripted environment in tests.
using EnvironmentLookup = const char* (*)(const char* name);
// The process's own environment.
const char* ProcessEnvironment(const char* name);

// How a desktop backend enlarges the picture to a fullscreen screen or a
// resized window, 4:3 kept and centred. Sharp: by the largest whole factor
// that fits with nearest neighbour, then by the rest with a linear filter
// (pixels stay even and edges sharp at any size). Nearest: nearest neighbour
// all the way (at 2.25 times, pixels two and three screen pixels wide).
// Integer: the largest whole factor only, with black bands around.
enum class Scaling { Sharp, Nearest, Integer };

// What a program asks of the backend it installs. Each backend takes the
// fields that apply to it and leaves the others.
struct BackendSetup {
    // The mode dialog's answer given before the show starts (a dialog
    // command id), for a backend that shows no dialog itself or whose dialog
    // was answered already (the page's start screen); 0: no answer, the
    // dialog cannot be shown there.
    int dialogCommand = 0;
    // Receives every frame shown, where a backend shows frames through a
    // sink; may be null.
    FrameSink* sink = nullptr;
    // No sound device: the music's position starts when the stream plays
    // and follows the active clock.
    bool silentAudio = false;
    // Windows open this many times their size (1 to 8), where a desktop can
    // enlarge them.
    int zoom = 1;
    // How a desktop backend enlarges the picture beyond its size.
    Scaling scaling = Scaling::Sharp;
};

struct BackendEntry {
    // What ORCHID_BACKEND calls it: "sdl", "win32", "web", "headless".
    const char* name;
    // Plays to a viewer, on a screen with keys and the mode dialog; a
    // backend that does not renders off-screen, into the setup's sink.
    bool onScreen;
    // Whether it can run here, judged from the environment. When it cannot,
    // `why` (when not null) is set to a phrase saying why, such as "there is
    // no display (neither DISPLAY nor WAYLAND_DISPLAY is set)".
    bool (*canRun)(EnvironmentLookup environment, const char** why);
    // Installs the backend; false, with nothing installed, when it cannot
    // start, with one line in `error` saying why (such as `cannot open the
    // display ":1"`, without a newline).
    bool (*install)(const BackendSetup& setup, char* error, std::size_t errorSize);
    // Uninstalls it; nothing happens when it is not installed.
    void (*uninstall)();
};

struct BackendTable {
    const BackendEntry* const* entries;
    int count;
};

// This build's table, in order of preference.
BackendTable Backends();

}  // namespace platform
