// The shell over the whole show, on the fake backend and the scripted clock:
// the dialog's Quit, the first frames, Escape, the end of the show from
// inside an update step, activation changes, start-up failures and an
// allocation failure at every allocation of start-up.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "audio/audio.h"
#include "demo/demo.h"
#include "error/error_log.h"
#include "error/memory.h"
#include "main/app_state.h"
#include "main/dialog.h"
#include "main/shell.h"
#include "platform/fake/fake_backend.h"
#include "tests/support/scripted_clock.h"
#include "tests/support/show.h"
#include "timer/timer.h"

using platform::fake::FakePlatform;

namespace {

class ShellTest : public test_support::ShellRunTest {
protected:
    void SetUp() override
    {
        ShellRunTest::SetUp();
        platform::SetActiveClock(&clock);
        fake.Install();
        fake.dialogCommands[0] = IDC_BUTTON_32BPP;
    }

    int Run() { return WinMain(nullptr, nullptr, "", platform::SW_SHOWNORMAL); }

    FakePlatform fake;
    test_support::ScriptedClock clock{fake};
};

TEST_F(ShellTest, QuitInTheDialogStartsNothing)
{
    fake.dialogCommands[0] = IDC_BUTTON_QUIT;
    EXPECT_EQ(Run(), 0);
    EXPECT_EQ(userQuit, 1);
    EXPECT_STREQ(fake.soundCalls, "");
    EXPECT_EQ(fake.calls[static_cast<int>(platform::DisplayCall::Create)], 0);
    EXPECT_FALSE(fake.fullscreen);
    EXPECT_EQ(fake.messageBoxes, 0);
    EXPECT_EQ(fake.framesShown, 0);
}

// The window shows as the program was asked to start: a shortcut set to
// run minimised gives the show command 7, which reaches the window system.
TEST_F(ShellTest, TheStartupShowCommandReachesTheWindow)
{
    int shown = -1;
    clock.at = [&](int64_t wait) {
        if (wait == 2) shown = fake.lastShowCommand;
        if (wait == 5) clock.Jump(21400);
    };
    EXPECT_EQ(WinMain(nullptr, nullptr, "", platform::SW_SHOWMINNOACTIVE), 0);
    EXPECT_EQ(shown, platform::SW_SHOWMINNOACTIVE);
    EXPECT_EQ(fake.lastShowCommand, platform::SW_HIDE);  // hidden as it was destroyed
}

TEST_F(ShellTest, FirstFramesAreWhiteWithDarkEvenRowsAndTheShowEndsItself)
{
    bool checked = false;
    clock.at = [&](int64_t wait) {
        if (wait == 2) {
            // Frame 1 is on screen: scene 0 with a zero border.
            const platform::FrameView& f = fake.lastFrame;
            ASSERT_EQ(f.width, 640);
            auto pixel = [&](int x, int y) {
                return *reinterpret_cast<const uint32_t*>(f.pixels + y * f.pitch + x * 4) & 0xFFFFFF;
            };
            for (int y = 0; y < 480; ++y) {
                for (int x = 0; x < 640; ++x) {
                    bool border = x == 0 || y == 0 || x == 639 || y == 479;
                    uint32_t want = border || y % 2 == 0 ? 0 : 0xFFFFFF;
                    ASSERT_EQ(pixel(x, y), want) << x << "," << y;
                }
            }
            checked = true;
        }
        // Then the music jumps to just before the end.
        if (wait == 5) clock.Jump(21400);
    };
    EXPECT_EQ(Run(), 0);
    EXPECT_TRUE(checked);
    EXPECT_EQ(quitting, 1);
    EXPECT_EQ(fake.messageBoxes, 0);
    EXPECT_EQ(errorLog.count, 0) << errorLog.Report();
    // The update at t = 21461 ended the show: its frame drew nothing, and the
    // last frame shown was the one at 21461.
    EXPECT_EQ(fake.framesShown, 21461 - 21400);
    EXPECT_EQ(musicPosition, 21461);
    EXPECT_EQ(scene, 6);
    // Everything went down in order: the music, and the desktop came back.
    EXPECT_EQ(audio.initialized, 0);
    EXPECT_EQ(fake.modeRestores, 1);
    EXPECT_FALSE(fake.fullscreen);
    EXPECT_TRUE(fake.cursorVisible);
    EXPECT_EQ(frameImage.initialized, 0);
}

// What the program warns about when the music ends before the show.
int32_t startedLengths[4];
int startedCalls = 0;

TEST_F(ShellTest, TheMusicsLengthIsHandedOnOnceItPlays)
{
    // 2.5 s of mono 8-bit sound at 22,050 Hz: its own bytes per second.
    fake.frequency = 22050;
    fake.channelFlags = platform::SOUND_SAMPLE_8BITS | platform::SOUND_SAMPLE_MONO;
    fake.streamLength = 55125;
    startedCalls = 0;
    musicStarted = [](int32_t length) {
        if (startedCalls < 4) startedLengths[startedCalls] = length;
        ++startedCalls;
    };
    clock.at = [&](int64_t wait) {
        if (wait == 5) clock.Jump(21400);
    };
    const int result = Run();
    musicStarted = nullptr;
    EXPECT_EQ(result, 0);
    EXPECT_EQ(errorLog.count, 0) << errorLog.Report();
    ASSERT_EQ(startedCalls, 1);
    EXPECT_EQ(startedLengths[0], 250);
}

TEST_F(ShellTest, F1TogglesTheOverlayAndEscapeEndsTheShowAtOnce)
{
    std::string overlayShown;
    clock.at = [&](int64_t wait) {
        if (wait == 10 || wait == 30) fake.Key(mainWindow, platform::VK_F1);
        if (wait == 20) overlayShown = fake.overlayText;
        if (wait == 40) {
            EXPECT_STREQ(fake.overlayText, "");
        }
        if (wait == 50) fake.Key(mainWindow, platform::VK_ESCAPE);
    };
    EXPECT_EQ(Run(), 0);
    // Drawn by the display over the picture, never into it.
    EXPECT_EQ(overlayShown, "FPS = 0  RESYNCS 0  0.19 S  SCENE 0  0.00 MS");
    EXPECT_EQ(fake.framesShown, 50);
    EXPECT_EQ(fake.messageBoxes, 0);
    EXPECT_EQ(errorLog.count, 0) << errorLog.Report();
    EXPECT_EQ(fake.modeRestores, 1);
}

TEST_F(ShellTest, LosingActivationPausesAndRegainingResumesWithoutCatchingUp)
{
    int framesAtPause = -1;
    int64_t positionAtPause = -1;
    int64_t largestElapsedAfterResume = 0;
    bool resumed = false;
    clock.at = [&](int64_t wait) {
        if (wait == 100) {
            fake.soundCalls[0] = '\0';  // from here on only
            fake.Focus(mainWindow, false);
            clock.musicStopped = true;
        }
        if (wait == 105) {
            framesAtPause = fake.framesShown;
            positionAtPause = musicPosition;
            // Long waits while paused: each idle moment sees a lot of time.
            clock.extraPerWait = 36;
        }
        if (wait == 140) {
            EXPECT_EQ(fake.framesShown, framesAtPause) << "frames ran while paused";
            EXPECT_EQ(musicPosition, positionAtPause);
            clock.extraPerWait = 0;
            clock.musicStopped = false;
            fake.Focus(mainWindow, true);
            resumed = true;
        }
        if (resumed && wait > 141 && timer.elapsed > largestElapsedAfterResume)
            largestElapsedAfterResume = timer.elapsed;
        if (wait == 200) fake.Key(mainWindow, platform::VK_ESCAPE);
    };
    EXPECT_EQ(Run(), 0);
    EXPECT_EQ(largestElapsedAfterResume, 1);
    EXPECT_NE(std::strstr(fake.soundCalls, "Pause Start"), nullptr) << fake.soundCalls;
    EXPECT_EQ(std::strstr(fake.soundCalls, "Pause Start Pause"), nullptr) << fake.soundCalls;
    EXPECT_EQ(fake.calls[static_cast<int>(platform::DisplayCall::Restore)], 1);
    EXPECT_GT(fake.framesShown, framesAtPause);
    EXPECT_EQ(errorLog.count, 0) << errorLog.Report();
}

// Activation lost while the show loads (nothing is pumped then). By
// default picture and music wait together once play begins; with literal
// timing the loss is taken during start-up, and only the picture waits
// while the music plays on. Either way regaining it lets the picture go on.
TEST_F(ShellTest, ActivationLostWhileStartingUpPausesThePictureAndByDefaultTheMusic)
{
    for (const int literal : {0, 1}) {
        TearDown();
        SetUp();
        literalTiming = literal;
        clock.waits = 0;
        fake.onDialogEnded = [&] { fake.Focus(mainWindow, false); };
        int framesWhileInactive = -1;
        uint32_t heardWhileInactive = 0;
        clock.at = [&](int64_t wait) {
            if (wait == 50) {
                framesWhileInactive = fake.framesShown;
                heardWhileInactive = clock.Heard();
                fake.Focus(mainWindow, true);
            }
            if (wait == 100) fake.Key(mainWindow, platform::VK_ESCAPE);
        };
        const uint32_t startedAt = clock.Heard();
        const int framesBefore = fake.framesShown;
        EXPECT_EQ(Run(), 0);
        fake.onDialogEnded = nullptr;
        EXPECT_EQ(framesWhileInactive - framesBefore, 0) << "literal " << literal;
        if (literal)
            EXPECT_GE(heardWhileInactive - startedAt, 45u) << "the music waited";
        else
            EXPECT_LE(heardWhileInactive - startedAt, 1u) << "the music played on";
        EXPECT_GT(fake.framesShown - framesBefore, 20) << "literal " << literal;
        EXPECT_EQ(errorLog.count, 0) << errorLog.Report();
    }
}

TEST_F(ShellTest, DisplayFailureShowsItsReportFollowedByTheReleaseEntries)
{
    fake.FailDisplay(platform::DisplayCall::Create, platform::DDERR_GENERIC);
    EXPECT_EQ(Run(), 0);
    EXPECT_EQ(fake.messageBoxes, 1);
    EXPECT_STREQ(fake.lastMessageCaption, "Error!");
    EXPECT_EQ(std::string(fake.lastMessageText)
                  .rfind("DirectDraw error:\n DirectDrawCreateEx failed.\nFilename: dedraw/dedraw\n", 0),
              0u)
        << fake.lastMessageText;
    // The pictures never loaded, nor did the display: their own entries.
    EXPECT_GT(errorLog.count, 40);
    EXPECT_EQ(fake.framesShown, 0);
    EXPECT_EQ(audio.initialized, 0);
}

TEST_F(ShellTest, ARefusedDisplayModeIsTheOnlyLineOfTheReport)
{
    fake.refuseMode = true;
    EXPECT_EQ(Run(), 0);
    EXPECT_STREQ(fake.lastMessageText, "Could not change display mode.\n");
    EXPECT_EQ(errorLog.count, 1);
}

TEST_F(ShellTest, AMissingMusicFileEndsTheRunBeforeTheDisplayChanges)
{
    fake.failStreamCreate = true;
    EXPECT_EQ(Run(), 0);
    EXPECT_STREQ(fake.lastStreamFile, "kestrune-velomar.mp3");
    EXPECT_EQ(std::strncmp(fake.lastMessageText, "Audio error:\n Can't create stream.\n", 35), 0)
        << fake.lastMessageText;
    EXPECT_EQ(fake.calls[static_cast<int>(platform::DisplayCall::Create)], 0);
}

TEST_F(ShellTest, NoErrorLogEndsTheRunAtOnce)
{
    orchid::alloc_test::FailAt(1);  // the log's own text buffer
    testing::internal::CaptureStderr();
    EXPECT_EQ(Run(), 1);
    std::string said = testing::internal::GetCapturedStderr();
    EXPECT_NE(said.find("the error log could not be set up"), std::string::npos) << said;
    EXPECT_EQ(fake.dialogsRun, 0);
    EXPECT_STREQ(fake.soundCalls, "");
}

#ifdef ORCHID_SANITIZE
constexpr long kPictureStride = 31;
#else
constexpr long kPictureStride = 7;
#endif

// Allocations of start-up fail in turn: the run ends with a report (out of
// memory, or what the failing loader says), the release steps' entries
// follow, nothing leaks and nothing crashes. Every allocation before the
// pictures and after them is tried; within the pictures (the same decoder
// sites again and again) a sample.
TEST_F(ShellTest, StartUpAllocationsCanFail)
{
    // Count the allocations of a start-up that ends right after it.
    clock.at = [&](int64_t) { fake.Key(mainWindow, platform::VK_ESCAPE); };
    orchid::alloc_test::FailAt(0);
    ASSERT_EQ(Run(), 0);
    const long total = orchid::alloc_test::Count();
    ASSERT_GT(total, 200);

    int runs = 0;
    // The first two are the log's own (see NoErrorLogEndsTheRunAtOnce).
    for (long n = 3; n <= total; ++n) {
        if (n > 160 && n < total - 80 && n % kPictureStride != 0) continue;
        TearDown();
        SetUp();
        clock.at = [&](int64_t) { fake.Key(mainWindow, platform::VK_ESCAPE); };
        int boxes = fake.messageBoxes;
        orchid::alloc_test::FailAt(n);
        Run();
        orchid::alloc_test::FailAt(0);
        ++runs;
        ASSERT_EQ(frameImage.initialized, 0) << n;
        ASSERT_EQ(errorLog.initialized, 0) << n;
        ASSERT_EQ(audio.initialized, 0) << n;
        ASSERT_EQ(fake.messageBoxes, boxes + 1) << "allocation " << n << " failed without a report";
        std::string text = fake.lastMessageText;
        bool known = false;
        for (const char* header : {"Out of memory error:\nVariable: ", "Misc. error:\n", "Pixmap object error:\n",
                                   "Tiny3D error:\n", "DirectDraw error:\n", "Windows error:\n", "Audio error:\n"})
            known = known || text.rfind(header, 0) == 0;
        EXPECT_TRUE(known) << "allocation " << n << ": " << text;
    }
    EXPECT_GT(runs, 200);
}

}  // namespace
