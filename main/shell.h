// The application shell: start-up in a fixed order, the message loop that
// runs one frame in every idle moment, pausing while the application is
// inactive, the end on Escape, at the end of the show or after a reported
// error, and the orderly teardown with the error report at the very end.
#pragma once

#include <cstdint>
#include <string>

#include "platform/window.h"
#include "timer/show_steps.h"

// The frame rate as text, "FPS = %i"; nothing draws it.
extern char fpsText[80];

// The music file's name.
constexpr const char kMusicFile[] = "kestrune-velomar.mp3";
// The music start-up opens: kMusicFile in the working folder by default, or
// wherever the program found it. nullptr: none, for a run without sound on
// a sound library that keeps time without a device (the show's timing is
// the same).
extern const char* musicFile;

// Starts the show and runs the message loop until WM_QUIT; returns its
// wParam.
int WinMain(platform::HINSTANCE instance, platform::HINSTANCE previousInstance, const char* commandLine,
            int showCommand);
// Hands the show its end-of-show hook (RequestQuit) and the window its
// procedure, then brings everything up; returns 1 in every case (a failure
// has ended the run through RequestQuit by then).
int Startup(platform::HINSTANCE instance, int showCommand);
// Ends the run: sets `quitting` and destroys the window, whose WM_DESTROY
// runs Shutdown before this returns.
void RequestQuit();
void Shutdown();
void IdleFrame();
// Builds the snapshots on ahead of the show in the time a frame leaves, as
// the desktop's idle moments between frames do: for a backend whose frames
// come at its own pace (the page's animation frames), called after each.
// Nothing while paused, with literal timing, or while a hundredth is due.
void BuildAheadAfterFrame();
int UpdateCallback();
int RenderCallback();

// 1 once Shutdown has run.
extern int32_t shutdownDone;

// 0 (the default): each update sees the hundredth after the one before,
// kept in step with the music heard (timer/show_steps.h). 1: each update
// sees the music position read after the previous one, so a frame that runs
// several updates in quick succession sees one time twice and skips the
// next, and fades follow the display's refresh rate. Nothing runs between
// frames then (no snapshots are built ahead), and an activation change made
// while the show loads is taken during start-up (the music plays on).
extern int32_t literalTiming;
// Hundredths by which live play draws ahead of the music heard: a frame
// drawn now reaches the eye a refresh or so later (the upload, the wait for
// the next refresh, the display's own delay), so the picture for a moment is
// drawn when the music is that much short of it. 0 (the default) for
// headless runs, whose frames are a capture's.
extern int32_t displayLead;
// The update the shell runs for each hundredth: DemoUpdate. Tests wrap it
// to watch the times the show sees.
extern void (*showUpdate)();
// Called once the music has started to play, with its length in hundredths
// of a second (0 without a music file); unset, nothing is called.
extern void (*musicStarted)(int32_t lengthHundredths);
// Called when the music's stream cannot be made, before the report says
// so; unset, nothing is called.
extern void (*musicUnplayable)();
// Asked before each idle frame; once it says true, the run ends as if
// Escape had been pressed. Unset, never.
extern bool (*showEndRequested)();
// 1: at the show's end it starts again from its beginning, picture and
// music, every pass showing the first pass's frames (from the snapshot at
// the start; without snapshots the run ends there as it does without it).
extern int32_t loopShow;
// Called with the PNG of the frame on screen (main/screenshot.h) and its
// hundredth when the viewer presses S; returns the line that says where it
// went (or why it did not), which the overlay shows for two seconds of
// play. Unset, S does nothing.
extern std::string (*screenshotTaken)(const std::string& png, int32_t hundredth);
// Live play's stepping, with its count of resynchronisations.
extern ShowSteps showSteps;
// 1 while F1's overlay (frame rate, resynchronisations, show time, scene
// and what the last frame cost to draw) is drawn over the picture.
extern int32_t overlayShown;

// 1: the viewer may move the show (the seek keys, a start time): start-up
// reserves the snapshots seeking steps from (demo/snapshots.h); without
// their memory it says so in one line and plays on without seeking. Set
// before WinMain; live play sets it, headless runs leave it 0.
extern int32_t seekable;
// The show time, in hundredths, the show starts at (--from): start-up
// moves it there as a seek does. 0 (the default): the start.
extern int32_t startTime;
// Between frames the snapshots are built on ahead of the show, so that a
// seek into a part not yet played is quick too: each idle moment spends at
// most aheadMicros microseconds of the clock on it, and steps at most
// aheadSteps hundredths (a bound where the clock stands still meanwhile).
// It stops after the step in which the next hundredth falls due, so a frame
// waits for one step at most (well under a millisecond).
extern int32_t aheadMicros;
extern int32_t aheadSteps;
// 1 while the show's state is exactly a capture's at `musicPosition`: every
// hundredth so far had one update and one draw, in order, from the start or
// a seek. Snapshots are taken only then.
extern int32_t showExact;
// 1 while the viewer has paused the show (Space); the show is paused
// (`paused`) while this or a loss of activation holds.
extern int32_t userPaused;
// The viewer's loop (L): the hundredths it runs from and to, both shown
// (-1: not set; with only the start set nothing loops yet). Once play
// passes the end, the show is moved back to the start, picture and music,
// as a seek moves it; a seek past the end plays on from there without
// looping, one back before it loops again.
extern int32_t loopStart;
extern int32_t loopEnd;
// Hundredths the seek keys move (10 s), and the volume's step.
constexpr int32_t kSeekStep = 1000;
constexpr int32_t kVolumeStep = 10;

// Moves picture and music to `target` hundredths (clamped to the show):
// the frame shown is the one a capture shows for that hundredth, and the
// music plays on from there (or stays paused).
void SeekShow(int32_t target);
