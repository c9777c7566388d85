// The viewer's keys, through the shell on the fake backend, with a clock on
// which the music moves one hundredth per wait while the sound device is
// not paused, from wherever the stream was moved to. Every frame shown
// after a seek (and every one after it) must be the frame a capture shows
// for its hundredth, also with snapshots built ahead of the show between
// frames, and so must every pass of L's loop; pausing stops picture and
// music together; muting and the volume reach the sound library. Snapshots
// built ahead hold what play would, and the mark is what a seek to its
// hundredth restores.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "audio/audio.h"
#include "capture/frame_digest.h"
#include "demo/demo.h"
#include "demo/snapshots.h"
#include "demo/timeline.h"
#include "effects/effects.h"
#include "error/error_log.h"
#include "error/memory.h"
#include "main/app_state.h"
#include "main/dialog.h"
#include "main/shell.h"
#include "platform/clock.h"
#include "platform/fake/fake_backend.h"
#include "tests/support/scripted_clock.h"
#include "tests/support/show.h"

using platform::WPARAM;
using platform::fake::FakePlatform;

namespace {

class ViewerTest : public test_support::ShellRunTest {
protected:
    void SetUp() override
    {
        ShellRunTest::SetUp();
        platform::SetActiveClock(&clock);
        fake.Install();
        fake.dialogCommands[0] = IDC_BUTTON_WINDOWED;
        seekable = 1;
        startTime = 0;
    }
    void TearDown() override
    {
        seekable = 0;
        startTime = 0;
        aheadMicros = savedAheadMicros;
        aheadSteps = savedAheadSteps;
        fake.onFrameShown = nullptr;
        screenshotTaken = nullptr;
        ShellRunTest::TearDown();
    }

    int Run() { return WinMain(nullptr, nullptr, "", platform::SW_SHOWNORMAL); }

    FakePlatform fake;
    test_support::ScriptedClock clock{fake};
    const int32_t savedAheadMicros = aheadMicros;
    const int32_t savedAheadSteps = aheadSteps;
};

// The hash of the frame a capture shows at each hundredth 1..kLast (index =
// hundredth): a run without keys, one update and one draw per hundredth.
constexpr int32_t kLast = 14800;

std::vector<uint64_t> CaptureFrames()
{
    std::vector<uint64_t> frames(kLast + 1, 0);
    test_support::FreshShow();
    FakePlatform fake;
    test_support::ScriptedClock clock{fake};
    platform::SetActiveClock(&clock);
    fake.Install();
    fake.dialogCommands[0] = IDC_BUTTON_WINDOWED;
    fake.onFrameShown = [&] {
        if (musicPosition >= 1 && musicPosition <= kLast) frames[musicPosition] = capture::HashFrame(fake.lastFrame);
        if (musicPosition == kLast) fake.Key(mainWindow, platform::VK_ESCAPE);
    };
    EXPECT_EQ(WinMain(nullptr, nullptr, "", platform::SW_SHOWNORMAL), 0);
    EXPECT_EQ(errorLog.count, 0) << errorLog.Report();
    platform::SetActiveClock(nullptr);
    return frames;
}

class ExactSeek : public ViewerTest {
protected:
    void SetUp() override
    {
#ifdef ORCHID_SANITIZE
        GTEST_SKIP() << "runs most of the show twice: too long under the sanitizers";
#endif
        static const std::vector<uint64_t> frames = CaptureFrames();
        captureFrames = &frames;
        ViewerTest::SetUp();
    }
    const std::vector<uint64_t>* captureFrames = nullptr;
};

TEST_F(ExactSeek, FramesAfterSeeksAndFromAreTheCapturesAcrossScenesAndBackwards)
{
    // Live play from 146 s (scene 4); then a key back across the scene
    // change to scene 3, seeks into the blur of scene 2 (forward from a
    // snapshot, and back before the blur passes), into the panorama's
    // last view, Home, and forward from the current state.
    startTime = 14600;
    struct Step {
        int64_t wait;
        WPARAM key;      // 0: SeekShow(target)
        int32_t target;  // the time the show stands at after the step
    };
    // A key is taken after the frame of its wait, whose update moved the
    // show on by one: Left at wait 30 leaves 14600 + 30 - 1000.
    const Step steps[] = {
        {30, platform::VK_LEFT, 13630}, {60, 0, 5777},   {90, 0, 5301},
        {120, 0, 11520},                {150, 0, 12040}, {180, platform::VK_HOME, 0},
        {230, platform::VK_RIGHT, 1050}, {260, platform::VK_RIGHT, 2080},
    };
    std::string mismatches;
    int compared = 0;
    int32_t first = -1;
    fake.onFrameShown = [&] {
        if (first < 0) first = musicPosition;
        if (musicPosition < 1 || musicPosition > kLast) return;
        ++compared;
        if (capture::HashFrame(fake.lastFrame) != (*captureFrames)[musicPosition] && mismatches.size() < 200) {
            char number[16];
            std::snprintf(number, sizeof number, " %d", musicPosition);
            mismatches.append(number);
        }
    };
    std::vector<int32_t> reached;
    clock.at = [&](int64_t wait) {
        for (const Step& step : steps) {
            if (wait != step.wait) continue;
            if (step.key != 0)
                fake.Key(mainWindow, step.key);
            else
                SeekShow(step.target);
        }
        for (const Step& step : steps)
            if (wait == step.wait + 1) {
                reached.push_back(musicPosition);
                // The music stands where the show does.
                EXPECT_LE(clock.Heard(), static_cast<uint32_t>(musicPosition) + 1) << "at wait " << wait;
                EXPECT_GE(clock.Heard() + 1, static_cast<uint32_t>(musicPosition)) << "at wait " << wait;
            }
        if (wait == 300) fake.Key(mainWindow, platform::VK_ESCAPE);
    };
    ASSERT_EQ(Run(), 0);
    EXPECT_EQ(errorLog.count, 0) << errorLog.Report();
    EXPECT_EQ(first, 14600) << "--from: the first frame shown";
    ASSERT_EQ(reached.size(), std::size(steps));
    for (size_t i = 0; i < reached.size(); ++i) EXPECT_EQ(reached[i], steps[i].target) << "step " << i;
    EXPECT_GT(compared, 250);
    EXPECT_EQ(mismatches, "") << "hundredths whose frame differs from the capture's";
    EXPECT_EQ(showSteps.resyncs, 0);
}

TEST_F(ExactSeek, SeeksIntoPartsOnlyBuiltAheadAreTheCapturesAndPlayIsUndisturbed)
{
    // The clock stands still while snapshots are built, so each idle
    // moment steps 400 hundredths ahead: the whole show within 60 frames.
    aheadMicros = 1000000;
    aheadSteps = 400;
    // Right from live play into the title's trails, then into the panorama
    // and scene 4, none of them played; the frames from the start on (the
    // live ones while the snapshots were built) are compared too.
    const int32_t targets[] = {3502, 11520, 14501};
    std::string mismatches, notAhead;
    int compared = 0;
    fake.onFrameShown = [&] {
        if (musicPosition < 1 || musicPosition > kLast) return;
        ++compared;
        if (capture::HashFrame(fake.lastFrame) != (*captureFrames)[musicPosition] && mismatches.size() < 200) {
            char number[16];
            std::snprintf(number, sizeof number, " %d", musicPosition);
            mismatches.append(number);
        }
    };
    std::vector<int32_t> reached;
    int32_t frontierAt60 = -1;
    std::string moved;
    clock.at = [&](int64_t wait) {
        // The work ahead leaves the show's time as it found it.
        if (wait < 60 && musicPosition != wait - 1 && moved.size() < 200) {
            char number[16];
            std::snprintf(number, sizeof number, " %d", static_cast<int>(wait));
            moved.append(number);
        }
        if (wait == 60) {
            frontierAt60 = showSnapshots.Frontier();
            for (int32_t target : {musicPosition + kSeekStep, targets[0], targets[1], targets[2]})
                if (showSnapshots.Nearest(target) != target / ShowSnapshots::kInterval * ShowSnapshots::kInterval) {
                    char number[16];
                    std::snprintf(number, sizeof number, " %d", target);
                    notAhead.append(number);
                }
            fake.Key(mainWindow, platform::VK_RIGHT);
        }
        for (int i = 0; i < 3; ++i)
            if (wait == 90 + 30 * i) SeekShow(targets[i]);
        if (wait == 61 || wait == 91 || wait == 121 || wait == 151) reached.push_back(musicPosition);
        if (wait == 200) fake.Key(mainWindow, platform::VK_ESCAPE);
    };
    ASSERT_EQ(Run(), 0);
    EXPECT_EQ(errorLog.count, 0) << errorLog.Report();
    EXPECT_EQ(frontierAt60, (kShowEnd / ShowSnapshots::kInterval) * ShowSnapshots::kInterval);
    EXPECT_EQ(moved, "") << "waits at which the show's time was not the one played";
    EXPECT_EQ(notAhead, "") << "targets without the snapshot before them built ahead";
    EXPECT_EQ(reached, (std::vector<int32_t>{1060, targets[0], targets[1], targets[2]}));
    EXPECT_GT(compared, 190);
    EXPECT_EQ(mismatches, "") << "hundredths whose frame differs from the capture's";
    EXPECT_EQ(showSteps.resyncs, 0);
}

// After the music skipped (a resynchronisation), the frames on screen are
// no longer the capture's; S then moves the show to the hundredth on screen
// first, so the frame it hands over, and the ones shown after it, are.
TEST_F(ExactSeek, SAfterAResynchronisationHandsOverTheCapturesFrame)
{
    struct Shot {
        int32_t hundredth;
        uint64_t onScreen;
    };
    static std::vector<Shot> shots;
    static FakePlatform* shown;
    shots.clear();
    shown = &fake;
    screenshotTaken = [](const std::string&, int32_t hundredth) {
        shots.push_back({hundredth, capture::HashFrame(shown->lastFrame)});
        return std::string();
    };
    int32_t exactBefore = -1;
    std::string mismatches;
    int32_t shotAt = -1;
    fake.onFrameShown = [&] {
        if (shotAt < 0 || musicPosition < shotAt || musicPosition > kLast) return;
        if (capture::HashFrame(fake.lastFrame) != (*captureFrames)[musicPosition] && mismatches.size() < 200)
            mismatches += " " + std::to_string(musicPosition);
    };
    // In the blurred orchid, whose frames build on the ones before.
    startTime = 4000;
    clock.at = [&](int64_t wait) {
        if (wait == 40) clock.Jump(37);
        if (wait == 60) {
            exactBefore = showExact;
            fake.Key(mainWindow, 'S');
        }
        if (wait == 61 && !shots.empty()) shotAt = shots[0].hundredth;
        if (wait == 90) fake.Key(mainWindow, platform::VK_ESCAPE);
    };
    ASSERT_EQ(Run(), 0);
    EXPECT_EQ(showSteps.resyncs, 1);
    EXPECT_EQ(exactBefore, 0) << "the skip left the show exact: nothing is tested";
    ASSERT_EQ(shots.size(), 1u);
    EXPECT_EQ(shots[0].onScreen, (*captureFrames)[shots[0].hundredth])
        << "the frame handed over for " << shots[0].hundredth << " is not the capture's";
    EXPECT_EQ(mismatches, "") << "hundredths after S whose frame differs from the capture's";
}

// The times of the frames shown, each run of one time counted once (a seek
// presents its frame, which the next frame shows again).
std::vector<int32_t> Distinct(const std::vector<int32_t>& times)
{
    std::vector<int32_t> distinct;
    for (int32_t time : times)
        if (distinct.empty() || distinct.back() != time) distinct.push_back(time);
    return distinct;
}

// The times a loop from `a` to `b` shows over `passes` passes.
std::vector<int32_t> Passes(int32_t a, int32_t b, int passes)
{
    std::vector<int32_t> times;
    for (int pass = 0; pass < passes; ++pass)
        for (int32_t t = a; t <= b; ++t) times.push_back(t);
    return times;
}

// L sets A at the hundredth on screen, L again B; from then on play runs
// from A to B and back to A, every frame of every pass the capture's, with
// the music where the picture is, and A kept as the snapshot mark. In the
// blurred orchid, whose frames build on the ones before, with A and B
// between snapshots.
TEST_F(ExactSeek, LLoopsFromAToBWithTheCapturesFramesOnEveryPass)
{
    startTime = 4000;
    std::vector<int32_t> times;
    bool looping = false;
    std::string mismatches;
    fake.onFrameShown = [&] {
        if (looping) times.push_back(musicPosition);
        if (musicPosition < 1 || musicPosition > kLast) return;
        if (capture::HashFrame(fake.lastFrame) != (*captureFrames)[musicPosition] && mismatches.size() < 200)
            mismatches += " " + std::to_string(musicPosition);
    };
    std::string overlayA, overlayB;
    int32_t startAtA = -2, endAtA = -2, marked = -2;
    int musicOff = 0;
    clock.at = [&](int64_t wait) {
        if (wait == 20 || wait == 70) fake.Key(mainWindow, 'L');
        if (wait == 21) {
            overlayA = fake.overlayText;
            startAtA = loopStart;
            endAtA = loopEnd;
        }
        if (wait == 70) looping = true;
        if (wait == 71) overlayB = fake.overlayText;
        if (wait == 100) marked = showSnapshots.Marked();
        // The music stands where the show does, also after each jump back.
        if (wait > 70 && (clock.Heard() > static_cast<uint32_t>(musicPosition) + 1 ||
                          clock.Heard() + 1 < static_cast<uint32_t>(musicPosition)))
            ++musicOff;
        if (wait == 250) fake.Key(mainWindow, platform::VK_ESCAPE);
    };
    testing::internal::CaptureStderr();
    ASSERT_EQ(Run(), 0);
    const std::string said = testing::internal::GetCapturedStderr();
    EXPECT_EQ(errorLog.count, 0) << errorLog.Report();
    EXPECT_EQ(startAtA, 4020);
    EXPECT_EQ(endAtA, -1) << "one L set B too";
    EXPECT_EQ(loopStart, 4020);
    EXPECT_EQ(loopEnd, 4070);
    EXPECT_EQ(marked, 4020) << "A was not kept as the mark";
    EXPECT_EQ(overlayA, "orchid: loop: A at 40.20 s; L again sets B");
    EXPECT_EQ(overlayB, "orchid: loop: 40.20 s to 40.70 s");
    EXPECT_NE(said.find("orchid: loop: A at 40.20 s; L again sets B\norchid: loop: 40.20 s to 40.70 s\n"),
              std::string::npos)
        << said;
    // B on screen when L set it, then three passes from A (and a part of
    // the fourth).
    const std::vector<int32_t> distinct = Distinct(times);
    ASSERT_GT(distinct.size(), 1u + 3 * 51);
    EXPECT_EQ(distinct[0], 4070);
    EXPECT_EQ(std::vector<int32_t>(distinct.begin() + 1, distinct.begin() + 1 + 3 * 51), Passes(4020, 4070, 3));
    EXPECT_EQ(mismatches, "") << "hundredths whose frame differs from the capture's";
    EXPECT_EQ(musicOff, 0) << "waits at which the music stood elsewhere than the picture";
    EXPECT_EQ(showSteps.resyncs, 0);
}

// After live play skipped hundredths the show is not exact at A, so A
// cannot be kept then: the first jump back steps there from a snapshot as
// any seek does, keeps it, and every pass from then on is the capture's.
TEST_F(ExactSeek, LLoopsExactlyFromAWhereThePlayWasNotExact)
{
    startTime = 4000;
    std::vector<int32_t> times;
    bool looping = false, back = false;
    std::string mismatches;
    int compared = 0;
    fake.onFrameShown = [&] {
        if (!looping) return;
        back = back || (!times.empty() && musicPosition < times.back());
        times.push_back(musicPosition);
        if (!back) return;
        ++compared;
        if (capture::HashFrame(fake.lastFrame) != (*captureFrames)[musicPosition] && mismatches.size() < 200)
            mismatches += " " + std::to_string(musicPosition);
    };
    int32_t exactAtA = -1, markedAtA = -2, markedLater = -2;
    clock.at = [&](int64_t wait) {
        if (wait == 40) clock.Jump(37);
        if (wait == 60) {
            exactAtA = showExact;
            fake.Key(mainWindow, 'L');
        }
        if (wait == 61) markedAtA = showSnapshots.Marked();
        if (wait == 90) {
            fake.Key(mainWindow, 'L');
            looping = true;
        }
        if (wait == 200) markedLater = showSnapshots.Marked();
        if (wait == 260) fake.Key(mainWindow, platform::VK_ESCAPE);
    };
    ASSERT_EQ(Run(), 0);
    EXPECT_EQ(errorLog.count, 0) << errorLog.Report();
    EXPECT_EQ(showSteps.resyncs, 1);
    EXPECT_EQ(exactAtA, 0) << "the skip left the show exact: nothing is tested";
    ASSERT_GE(loopStart, 4060);
    ASSERT_EQ(loopEnd - loopStart, 30);
    EXPECT_EQ(markedAtA, -1) << "a state that is not the capture's was kept as the mark";
    EXPECT_EQ(markedLater, loopStart);
    const std::vector<int32_t> distinct = Distinct(times);
    ASSERT_GT(distinct.size(), 1u + 4 * 31);
    EXPECT_EQ(std::vector<int32_t>(distinct.begin() + 1, distinct.begin() + 1 + 4 * 31),
              Passes(loopStart, loopEnd, 4));
    EXPECT_GT(compared, 4 * 31);
    EXPECT_EQ(mismatches, "") << "hundredths after the first jump back whose frame differs from the capture's";
}

// The show stepped as live play steps it, once with snapshots built ahead
// between its hundredths and once without: every frame of the first equals
// the second's, and so does every snapshot (those built ahead included:
// the ahead state is stepped as play steps the show).
TEST(SnapshotsAhead, HoldWhatPlayHoldsAndLeaveThePlayedFramesAlone)
{
#ifdef ORCHID_SANITIZE
    // The title's trails.
    constexpr int32_t kEnd = 4000;
#else
    constexpr int32_t kEnd = kShowEnd;
#endif
    constexpr int32_t kSnapshots = kEnd / ShowSnapshots::kInterval + 1;
    struct Run {
        std::vector<uint64_t> frames = std::vector<uint64_t>(kEnd + 1, 0);
        std::vector<uint64_t> snapshots = std::vector<uint64_t>(kSnapshots, 0);
        int32_t frontierAt1000 = -1;
    };
    const auto hashState = [] {
        XXH3_state_t state;
        XXH3_64bits_reset(&state);
        for (const Pixmap* picture : {&frameImage, &blurPic, &panoramaView})
            XXH3_64bits_update(&state, picture->pixChar, static_cast<std::size_t>(picture->numBytes));
        const int32_t values[] = {scene,      flashLevel, flashPhase,      captionLevel,
                                  blurCount,  blurPending, crossFade.level, static_cast<int32_t>(demoRandomState),
                                  static_cast<int32_t>(effects.colour)};
        XXH3_64bits_update(&state, values, sizeof values);
        const double places[] = {panoramaX, dropX, dropY, dropSpeed, tileScrollY, patternA.x, slide3Pos.y};
        XXH3_64bits_update(&state, places, sizeof places);
        const auto flowers = static_cast<std::size_t>(massFlowerCount) * sizeof(double);
        for (const double* values : {massFlower_x, massFlower_y, massFlower_speed})
            XXH3_64bits_update(&state, values, flowers);
        XXH3_64bits_update(&state, lightLine_x, static_cast<std::size_t>(lightLineCount) * sizeof(double));
        return XXH3_64bits_digest(&state);
    };
    const auto play = [&](int32_t aheadPerHundredth, Run& run) {
        test_support::FreshShow();
        ASSERT_TRUE(errorLog.Init(nullptr));
        frameImage.Create(640, 480, 32);
        DemoInit();
        ASSERT_TRUE(showSnapshots.Reserve());
        showSnapshots.Take(0);
        for (int32_t t = 0; t < kEnd; ++t) {
            showSnapshots.Seek(t + 1, t);
            run.frames[t + 1] = XXH3_64bits(frameImage.pixChar, static_cast<std::size_t>(frameImage.numBytes));
            showSnapshots.BuildAhead(aheadPerHundredth);
            if (t + 1 == 1000) run.frontierAt1000 = showSnapshots.Frontier();
        }
        for (int32_t i = 0; i < kSnapshots; ++i) {
            const int32_t time = i * ShowSnapshots::kInterval;
            ASSERT_EQ(showSnapshots.Nearest(time), time);
            showSnapshots.Restore(time);
            run.snapshots[i] = hashState();
        }
        EXPECT_EQ(errorLog.count, 0) << errorLog.Report();
        showSnapshots.Free();
        DemoFree();
        frameImage.Free();
        errorLog.Free();
    };
    Run ahead, played;
    ASSERT_NO_FATAL_FAILURE(play(5, ahead));
    ASSERT_NO_FATAL_FAILURE(play(0, played));
    // Five hundredths ahead per one played: well past the show's own time.
    EXPECT_GE(ahead.frontierAt1000, 4000);
    EXPECT_EQ(played.frontierAt1000, 1000);
    int differ = 0;
    for (int32_t t = 1; t <= kEnd; ++t)
        if (ahead.frames[t] != played.frames[t]) ++differ;
    EXPECT_EQ(differ, 0) << "played frames changed by the work ahead";
    for (int32_t i = 0; i < kSnapshots; ++i)
        EXPECT_EQ(ahead.snapshots[i], played.snapshots[i]) << "snapshot at " << i * ShowSnapshots::kInterval;
}

// The mark, kept at any hundredth, is what a seek to it restores, ahead of
// the snapshot before it: a frame altered before it was kept comes back
// with it. A seek before it does not use it, nor does one once it is
// forgotten or replaced.
TEST(SnapshotMark, ASeekToItRestoresItOnlyWhileItIsTheNearest)
{
    constexpr int32_t kMark = 1320;
    test_support::FreshShow();
    ASSERT_TRUE(errorLog.Init(nullptr));
    frameImage.Create(640, 480, 32);
    DemoInit();
    ASSERT_TRUE(showSnapshots.Reserve());
    showSnapshots.Take(0);
    const auto hash = [] { return XXH3_64bits(frameImage.pixChar, static_cast<std::size_t>(frameImage.numBytes)); };
    std::vector<uint64_t> played(kMark + 2, 0);
    for (int32_t t = 0; t <= kMark; ++t) {
        showSnapshots.Seek(t + 1, t);
        played[t + 1] = hash();
        if (t + 1 == kMark - 1) {
            showSnapshots.Mark(kMark - 1);
            EXPECT_EQ(showSnapshots.Marked(), kMark - 1);
        }
        if (t + 1 == kMark) {
            // Its own state, the frame marked.
            frameImage.pixInt[0] ^= 0x00FFFFFFu;
            showSnapshots.Mark(kMark);
        }
    }
    const uint64_t tagged = [&] {
        showSnapshots.Seek(kMark, -1);
        return hash();
    }();
    EXPECT_EQ(showSnapshots.Marked(), kMark) << "a second mark did not replace the first";
    EXPECT_NE(tagged, played[kMark]) << "the seek to the mark stepped from the snapshot before it";
    EXPECT_EQ(musicPosition, kMark);
    showSnapshots.Seek(kMark - 1, -1);
    EXPECT_EQ(hash(), played[kMark - 1]) << "a seek before the mark";
    showSnapshots.Unmark();
    EXPECT_EQ(showSnapshots.Marked(), -1);
    showSnapshots.Seek(kMark, -1);
    EXPECT_EQ(hash(), played[kMark]) << "a forgotten mark";
    showSnapshots.Seek(kMark + 1, -1);
    EXPECT_EQ(hash(), played[kMark + 1]);
    EXPECT_EQ(errorLog.count, 0) << errorLog.Report();
    showSnapshots.Free();
    DemoFree();
    frameImage.Free();
    errorLog.Free();
}

// A short round that the sanitizers run too: Right from the show's own
// state, Left back from a snapshot, Home; after Home the frames are the
// first ones again.
TEST_F(ViewerTest, RightLeftAndHomeComeBackToTheSameFrames)
{
    std::vector<uint64_t> first(101, 0);
    std::vector<int32_t> reached;
    int again = 0, differ = 0;
    bool home = false;
    fake.onFrameShown = [&] {
        if (musicPosition < 1 || musicPosition > 100) return;
        const uint64_t hash = capture::HashFrame(fake.lastFrame);
        if (!home) {
            first[musicPosition] = hash;
        } else {
            ++again;
            if (hash != first[musicPosition]) ++differ;
        }
    };
    clock.at = [&](int64_t wait) {
        if (wait == 100) fake.Key(mainWindow, platform::VK_RIGHT);
        if (wait == 130) fake.Key(mainWindow, platform::VK_LEFT);
        if (wait == 160) {
            fake.Key(mainWindow, platform::VK_HOME);
            home = true;
        }
        if (wait == 101 || wait == 131 || wait == 161) reached.push_back(musicPosition);
        if (wait == 250) fake.Key(mainWindow, platform::VK_ESCAPE);
    };
    EXPECT_EQ(Run(), 0);
    EXPECT_EQ(errorLog.count, 0) << errorLog.Report();
    EXPECT_EQ(reached, (std::vector<int32_t>{1100, 130, 0}));
    EXPECT_EQ(again, 90);
    EXPECT_EQ(differ, 0);
}

TEST_F(ViewerTest, SpacePausesPictureAndMusicTogetherAndResumesWhereTheyStood)
{
    int framesAtPause = 0;
    int32_t timeAtPause = 0;
    uint32_t heardAtPause = 0;
    clock.at = [&](int64_t wait) {
        if (wait == 100) fake.Key(mainWindow, platform::VK_SPACE);
        if (wait == 102) {
            framesAtPause = fake.framesShown;
            timeAtPause = musicPosition;
            heardAtPause = clock.Heard();
            EXPECT_TRUE(fake.soundPaused);
            // Activation coming and going does not undo the viewer's pause.
            fake.Focus(mainWindow, false);
        }
        if (wait == 110) fake.Focus(mainWindow, true);
        if (wait == 150) {
            EXPECT_EQ(fake.framesShown, framesAtPause) << "frames ran while paused";
            EXPECT_EQ(musicPosition, timeAtPause);
            EXPECT_EQ(clock.Heard(), heardAtPause);
            EXPECT_TRUE(fake.soundPaused);
            fake.Key(mainWindow, platform::VK_SPACE);
        }
        if (wait == 160) {
            // Nine frames since Space, each with its hundredth; the music
            // stands where it did before the pause, a hundredth ahead of
            // the next update.
            EXPECT_FALSE(fake.soundPaused);
            EXPECT_EQ(fake.framesShown, framesAtPause + 9);
            EXPECT_EQ(musicPosition, timeAtPause + 9);
            EXPECT_EQ(clock.Heard(), heardAtPause + 10);
            EXPECT_EQ(heardAtPause, static_cast<uint32_t>(timeAtPause));
            fake.Key(mainWindow, platform::VK_ESCAPE);
        }
    };
    EXPECT_EQ(Run(), 0);
    EXPECT_EQ(errorLog.count, 0) << errorLog.Report();
    EXPECT_EQ(showSteps.resyncs, 0);
}

TEST_F(ViewerTest, MuteAndVolumeReachTheSoundLibrary)
{
    std::vector<int> volumes;
    const WPARAM keys[] = {'M',
                           platform::VK_OEM_MINUS,
                           'M',
                           platform::VK_SUBTRACT,
                           platform::VK_OEM_PLUS,
                           platform::VK_ADD,
                           platform::VK_ADD};
    clock.at = [&](int64_t wait) {
        if (wait >= 10 && wait % 10 == 0 && wait / 10 - 1 < static_cast<int64_t>(std::size(keys)))
            fake.Key(mainWindow, keys[wait / 10 - 1]);
        if (wait >= 10 && wait % 10 == 5) volumes.push_back(fake.volume);
        if (wait == 100) fake.Key(mainWindow, platform::VK_ESCAPE);
    };
    EXPECT_EQ(Run(), 0);
    EXPECT_EQ(errorLog.count, 0) << errorLog.Report();
    // Muted, still muted with the volume turned down, back at 90, then 80,
    // 90, 100, and no further.
    EXPECT_EQ(volumes, (std::vector<int>{0, 0, 90, 80, 90, 100, 100, 100, 100}));
}

TEST_F(ViewerTest, AFailedSeekOfTheMusicEndsTheRunWithItsReport)
{
    fake.failSetPosition = true;
    clock.at = [&](int64_t wait) {
        if (wait == 20) fake.Key(mainWindow, platform::VK_RIGHT);
    };
    EXPECT_EQ(Run(), 0);
    EXPECT_EQ(fake.messageBoxes, 1);
    EXPECT_NE(std::strstr(fake.lastMessageText, "Couldn't set the music position.\n"), nullptr)
        << fake.lastMessageText;
}

// While paused, . and , step one hundredth forward and back: each frame is
// the one play showed for that hundredth, and the music stays paused where
// the picture stands. Playing, they do nothing.
TEST_F(ViewerTest, WhilePausedPeriodAndCommaStepOneHundredthEachWay)
{
    std::vector<uint64_t> played(200, 0);
    std::vector<int32_t> stood;
    std::string differ;
    bool stepping = false;
    fake.onFrameShown = [&] {
        if (musicPosition < 1 || musicPosition >= 200) return;
        const uint64_t hash = capture::HashFrame(fake.lastFrame);
        if (!stepping) {
            played[musicPosition] = hash;
        } else if (hash != played[musicPosition]) {
            differ.append(" ").append(std::to_string(musicPosition));
        }
    };
    int32_t paused = -1;
    bool musicHeld = true;
    clock.at = [&](int64_t wait) {
        if (wait == 80) fake.Key(mainWindow, platform::VK_SPACE);
        if (wait == 85) {
            paused = musicPosition;
            stepping = true;
        }
        if (wait >= 90 && wait <= 93) fake.Key(mainWindow, platform::VK_OEM_COMMA);
        if (wait == 95 || wait == 96) fake.Key(mainWindow, platform::VK_OEM_PERIOD);
        if ((wait >= 91 && wait <= 94) || wait == 96 || wait == 97) {
            stood.push_back(musicPosition - paused);
            musicHeld = musicHeld && fake.soundPaused &&
                        clock.Heard() == static_cast<uint32_t>(musicPosition);
        }
        if (wait == 100) {
            stepping = false;
            fake.Key(mainWindow, platform::VK_SPACE);
        }
        if (wait == 110) fake.Key(mainWindow, platform::VK_OEM_PERIOD);
        if (wait == 105 || wait == 115) stood.push_back(musicPosition - paused);
        if (wait == 120) fake.Key(mainWindow, platform::VK_ESCAPE);
    };
    EXPECT_EQ(Run(), 0);
    EXPECT_EQ(fake.messageBoxes, 0) << fake.lastMessageText;
    EXPECT_GT(paused, 70);
    // Back four, on two; then playing on, where . changes nothing.
    ASSERT_EQ(stood.size(), 8u);
    EXPECT_EQ(std::vector<int32_t>(stood.begin(), stood.begin() + 6), (std::vector<int32_t>{-1, -2, -3, -4, -3, -2}));
    EXPECT_EQ(stood[7] - stood[6], 10) << "playing, . moved the show";
    EXPECT_TRUE(musicHeld) << "the music moved, or stood elsewhere than the picture";
    EXPECT_EQ(differ, "") << "stepped frames that differ from the ones played";
}

// S hands over the frame on screen with its own hundredth, playing or
// paused after steps back, and the line it returns stays in the overlay.
TEST_F(ViewerTest, SHandsOverTheFrameOnScreenWithItsHundredth)
{
    std::vector<uint64_t> played(300, 0);
    fake.onFrameShown = [&] {
        if (musicPosition >= 0 && musicPosition < 300 && played[musicPosition] == 0)
            played[musicPosition] = capture::HashFrame(fake.lastFrame);
    };
    struct Shot {
        int32_t hundredth;
        uint64_t onScreen;
        bool png;
    };
    static std::vector<Shot> shots;
    static FakePlatform* shown;
    shots.clear();
    shown = &fake;
    screenshotTaken = [](const std::string& png, int32_t hundredth) {
        shots.push_back({hundredth, capture::HashFrame(shown->lastFrame), png.rfind("\x89PNG\r\n\x1a\n", 0) == 0});
        return std::string("SHOT ") + std::to_string(hundredth);
    };
    std::string overlay;
    int32_t paused = -1;
    clock.at = [&](int64_t wait) {
        if (wait == 60 || wait == 140) fake.Key(mainWindow, 'S');
        if (wait == 100) fake.Key(mainWindow, platform::VK_SPACE);
        if (wait == 105) paused = musicPosition;
        if (wait >= 110 && wait < 140) fake.Key(mainWindow, platform::VK_OEM_COMMA);
        if (wait == 141) overlay = fake.overlayText;
        if (wait == 150) fake.Key(mainWindow, platform::VK_ESCAPE);
    };
    EXPECT_EQ(Run(), 0);
    ASSERT_EQ(shots.size(), 2u);
    for (const Shot& shot : shots) {
        ASSERT_GT(shot.hundredth, 0);
        ASSERT_LT(shot.hundredth, 300);
        EXPECT_TRUE(shot.png) << "no PNG for " << shot.hundredth;
        EXPECT_EQ(shot.onScreen, played[shot.hundredth]) << "the frame on screen is not the one for " << shot.hundredth;
    }
    EXPECT_EQ(shots[1].hundredth, paused - 30) << "the steps back did not show";
    EXPECT_EQ(overlay, "SHOT " + std::to_string(shots[1].hundredth));
}

// S's line shows in the overlay for two seconds of play, then goes; with
// F1's overlay up it takes that one's place meanwhile, which then comes back.
TEST_F(ViewerTest, SLineShowsInTheOverlayForAWhile)
{
    screenshotTaken = [](const std::string&, int32_t hundredth) { return "SHOT " + std::to_string(hundredth); };
    std::string alone, gone, overF1, back;
    clock.at = [&](int64_t wait) {
        if (wait == 10) fake.Key(mainWindow, 'S');
        if (wait == 60) alone = fake.overlayText;
        if (wait == 200) gone = fake.overlayText;
        if (wait == 210) fake.Key(mainWindow, platform::VK_F1);
        if (wait == 230) fake.Key(mainWindow, 'S');
        if (wait == 260) overF1 = fake.overlayText;
        if (wait == 400) back = fake.overlayText;
        if (wait == 410) fake.Key(mainWindow, platform::VK_ESCAPE);
    };
    EXPECT_EQ(Run(), 0);
    EXPECT_EQ(alone.rfind("SHOT ", 0), 0u) << alone;
    EXPECT_EQ(gone, "");
    EXPECT_EQ(overF1.rfind("SHOT ", 0), 0u) << overF1;
    EXPECT_EQ(back.rfind("FPS = ", 0), 0u) << back;
}

// Page Down goes to the start of the next scene (none after the last);
// Page Up to the start of this one, or of the one before within a second of
// this one's start.
// The seek bar: up at the target of a seek by a key, then following the
// show for two seconds of play and down; up all the while the viewer has
// paused and two seconds after; a step while paused moves it.
TEST_F(ViewerTest, TheSeekBarShowsOnSeeksAndStepsAndWhilePaused)
{
    struct Seen {
        bool shown;
        int32_t position;
    };
    std::map<int64_t, Seen> seen;
    int32_t pausedAt = -1;
    clock.at = [&](int64_t wait) {
        seen[wait] = {fake.seekBarShown, fake.seekBar.position};
        if (wait == 10) fake.Key(mainWindow, platform::VK_RIGHT);
        if (wait == 300 || wait == 610 || wait == 850 || wait == 870) fake.Key(mainWindow, platform::VK_SPACE);
        if (wait == 852) pausedAt = musicPosition;
        if (wait == 860) fake.Key(mainWindow, platform::VK_OEM_COMMA);
        if (wait == 900) fake.Key(mainWindow, platform::VK_ESCAPE);
    };
    EXPECT_EQ(Run(), 0);
    EXPECT_FALSE(seen[5].shown) << "up before any seek";
    ASSERT_TRUE(seen[12].shown);
    EXPECT_NEAR(seen[12].position, 1010, 5);
    EXPECT_EQ(fake.seekBar.length, kShowEnd);
    ASSERT_EQ(fake.seekBar.sceneCount, timeline::kSceneCount);
    EXPECT_EQ(fake.seekBar.sceneStarts[1], timeline::kScenes[1].first);
    EXPECT_STREQ(fake.seekBar.sceneNames[1], timeline::kScenes[1].name);
    EXPECT_TRUE(seen[100].shown);
    EXPECT_GE(seen[100].position, seen[12].position + 80) << "the bar does not follow the show";
    EXPECT_TRUE(seen[200].shown);
    EXPECT_FALSE(seen[230].shown) << "still up two seconds after the seek";
    // Paused three seconds, then two more of play.
    EXPECT_TRUE(seen[302].shown);
    EXPECT_TRUE(seen[600].shown);
    EXPECT_TRUE(seen[780].shown);
    EXPECT_FALSE(seen[830].shown);
    EXPECT_TRUE(seen[862].shown);
    EXPECT_EQ(seen[862].position, pausedAt - 1);
}

TEST_F(ViewerTest, PageDownAndPageUpGoToTheScenesStarts)
{
    std::vector<int32_t> reached;
    clock.at = [&](int64_t wait) {
        if (wait == 50 || wait == 60) fake.Key(mainWindow, platform::VK_NEXT);
        if (wait == 70 || wait == 200 || wait == 210) fake.Key(mainWindow, platform::VK_PRIOR);
        if (wait == 220) SeekShow(19600);
        if (wait == 230) fake.Key(mainWindow, platform::VK_NEXT);
        if (wait == 51 || wait == 61 || wait == 71 || wait == 201 || wait == 211 || wait == 231)
            reached.push_back(musicPosition);
        if (wait == 240) fake.Key(mainWindow, platform::VK_ESCAPE);
    };
    EXPECT_EQ(Run(), 0);
    EXPECT_EQ(fake.messageBoxes, 0) << fake.lastMessageText;
    EXPECT_EQ(reached, (std::vector<int32_t>{101, 3801, 101, 101, 0, 19610}));
}

// Looping, the show starts again at its end, picture and music, and the
// second pass's frames are the first pass's.
TEST_F(ViewerTest, LoopingStartsTheShowAgainWithTheFirstPassFrames)
{
    std::vector<uint64_t> first(101, 0), again(101, 0);
    fake.onFrameShown = [&] {
        if (musicPosition >= 1 && musicPosition <= 100) first[musicPosition] = capture::HashFrame(fake.lastFrame);
    };
    clock.at = [&](int64_t wait) {
        if (wait == 110) fake.Key(mainWindow, platform::VK_ESCAPE);
    };
    ASSERT_EQ(Run(), 0);

    TearDown();
    SetUp();
    clock.waits = 0;
    loopShow = 1;
    startTime = kShowEnd - 50;
    bool ended = false, wrapped = false;
    uint32_t heard = 0;
    fake.onFrameShown = [&] {
        if (musicPosition >= kShowEnd) ended = true;
        if (ended && musicPosition <= 100) wrapped = true;
        if (wrapped && musicPosition >= 1 && musicPosition <= 100)
            again[musicPosition] = capture::HashFrame(fake.lastFrame);
    };
    clock.at = [&](int64_t wait) {
        if (wait == 150) heard = clock.Heard();
        if (wait == 200) fake.Key(mainWindow, platform::VK_ESCAPE);
    };
    ASSERT_EQ(Run(), 0);
    EXPECT_EQ(fake.messageBoxes, 0) << fake.lastMessageText;
    ASSERT_TRUE(wrapped) << "the show did not start again";
    EXPECT_LT(heard, 150u) << "the music did not start again";
    EXPECT_EQ(again, first) << "the second pass's first frames differ from the first pass's";
}

// L works while paused, at the hundredths stepped to with , and .: B at A
// is refused (A stays), B before A makes the loop run from B to A, and once
// play resumes it loops over that span, every frame the one play showed.
TEST_F(ViewerTest, LWhilePausedTakesTheSteppedHundredthsInEitherOrder)
{
    std::vector<uint64_t> played(300, 0);
    std::vector<int32_t> times;
    std::string differ;
    bool resumed = false;
    fake.onFrameShown = [&] {
        if (musicPosition < 1 || musicPosition >= 300) return;
        const uint64_t hash = capture::HashFrame(fake.lastFrame);
        if (played[musicPosition] == 0)
            played[musicPosition] = hash;
        else if (hash != played[musicPosition] && differ.size() < 200)
            differ += " " + std::to_string(musicPosition);
        if (resumed) times.push_back(musicPosition);
    };
    int32_t paused = -1, endAfterRefusal = -2, marked = -2;
    std::string overlays[3];
    clock.at = [&](int64_t wait) {
        if (wait == 80 || wait == 95) fake.Key(mainWindow, platform::VK_SPACE);
        if (wait == 85) paused = musicPosition;
        if (wait == 86 || wait == 88 || wait == 92) fake.Key(mainWindow, 'L');
        if (wait == 87) overlays[0] = fake.overlayText;
        if (wait == 89) {
            overlays[1] = fake.overlayText;
            endAfterRefusal = loopEnd;
        }
        if (wait == 90 || wait == 91) fake.Key(mainWindow, platform::VK_OEM_COMMA);
        if (wait == 93) {
            overlays[2] = fake.overlayText;
            marked = showSnapshots.Marked();
        }
        if (wait == 95) resumed = true;
        if (wait == 200) fake.Key(mainWindow, platform::VK_ESCAPE);
    };
    testing::internal::CaptureStderr();
    EXPECT_EQ(Run(), 0);
    const std::string said = testing::internal::GetCapturedStderr();
    EXPECT_EQ(fake.messageBoxes, 0) << fake.lastMessageText;
    ASSERT_GT(paused, 70);
    const auto time = [](int32_t t) {
        char text[16];
        std::snprintf(text, sizeof text, "%d.%02d s", t / 100, t % 100);
        return std::string(text);
    };
    const std::string lines[3] = {"orchid: loop: A at " + time(paused) + "; L again sets B",
                                  "orchid: loop: B cannot be A (" + time(paused) + "); A stays",
                                  "orchid: loop: " + time(paused - 2) + " to " + time(paused)};
    for (int i = 0; i < 3; ++i) EXPECT_EQ(overlays[i], lines[i]);
    EXPECT_EQ(said, lines[0] + "\n" + lines[1] + "\n" + lines[2] + "\n");
    EXPECT_EQ(endAfterRefusal, -1);
    EXPECT_EQ(loopStart, paused - 2);
    EXPECT_EQ(loopEnd, paused);
    EXPECT_EQ(marked, paused - 2) << "the loop's start was not kept as the mark";
    // From the stepped-to hundredth on to B, then back to the start.
    const std::vector<int32_t> distinct = Distinct(times);
    ASSERT_GT(distinct.size(), 2u + 20 * 3);
    EXPECT_EQ(std::vector<int32_t>(distinct.begin(), distinct.begin() + 2), (std::vector<int32_t>{paused - 1, paused}));
    EXPECT_EQ(std::vector<int32_t>(distinct.begin() + 2, distinct.begin() + 2 + 20 * 3),
              Passes(paused - 2, paused, 20));
    EXPECT_EQ(differ, "") << "frames that differ from the ones played";
}

// A seek past B plays on from there; one back before B loops again at B;
// a third L clears the loop, and play then goes on past B.
TEST_F(ViewerTest, SeeksPastBPlayOnAndAThirdLClearsTheLoop)
{
    std::vector<uint64_t> played(2000, 0);
    std::string differ;
    fake.onFrameShown = [&] {
        if (musicPosition < 1 || musicPosition >= 2000) return;
        const uint64_t hash = capture::HashFrame(fake.lastFrame);
        if (played[musicPosition] == 0)
            played[musicPosition] = hash;
        else if (hash != played[musicPosition] && differ.size() < 200)
            differ += " " + std::to_string(musicPosition);
    };
    int32_t highest = 0, afterRight = -1, afterHome = -1, afterOff = -1, marked = -2;
    std::string off;
    clock.at = [&](int64_t wait) {
        if (wait == 50 || wait == 100 || wait == 400) fake.Key(mainWindow, 'L');
        if ((wait > 101 && wait < 200) || (wait > 251 && wait < 400)) highest = std::max(highest, musicPosition);
        if (wait == 200) fake.Key(mainWindow, platform::VK_RIGHT);
        if (wait == 240) afterRight = musicPosition;
        if (wait == 250) fake.Key(mainWindow, platform::VK_HOME);
        if (wait == 390) afterHome = musicPosition;
        if (wait == 401) {
            off = fake.overlayText;
            marked = showSnapshots.Marked();
        }
        if (wait == 500) {
            afterOff = musicPosition;
            fake.Key(mainWindow, platform::VK_ESCAPE);
        }
    };
    EXPECT_EQ(Run(), 0);
    EXPECT_EQ(fake.messageBoxes, 0) << fake.lastMessageText;
    EXPECT_EQ(highest, 100) << "play went past B, or never reached it";
    EXPECT_GT(afterRight, 1100) << "the seek past B did not play on";
    // From 0 after Home up to B, then from A: 50 + (139 - 101) % 51.
    EXPECT_EQ(afterHome, 88);
    EXPECT_EQ(off, "orchid: loop: off");
    EXPECT_EQ(loopStart, -1);
    EXPECT_EQ(loopEnd, -1);
    EXPECT_EQ(marked, -1) << "the mark outlived the loop";
    EXPECT_GT(afterOff, 150) << "play did not go on past B";
    EXPECT_EQ(differ, "") << "frames that differ from the ones played";
}

// Under literal timing, where the show is never exact while it plays, the
// loop runs too; its first jump back keeps A as the mark.
TEST_F(ViewerTest, LLoopsUnderLiteralTiming)
{
    literalTiming = 1;
    int32_t lowest = kShowEnd, highest = 0, marked = -2;
    clock.at = [&](int64_t wait) {
        if (wait == 50 || wait == 100) fake.Key(mainWindow, 'L');
        if (wait > 110 && wait < 300) {
            lowest = std::min(lowest, musicPosition);
            highest = std::max(highest, musicPosition);
        }
        if (wait == 300) {
            marked = showSnapshots.Marked();
            fake.Key(mainWindow, platform::VK_ESCAPE);
        }
    };
    EXPECT_EQ(Run(), 0);
    EXPECT_EQ(fake.messageBoxes, 0) << fake.lastMessageText;
    ASSERT_GT(loopStart, 0);
    EXPECT_LE(highest, loopEnd + 1);
    EXPECT_LE(lowest, loopStart + 1);
    EXPECT_GE(lowest, loopStart);
    EXPECT_EQ(marked, loopStart);
}

// Literal timing runs nothing between frames: no snapshot is built ahead
// (play and seeks still keep them), and the seek keys stay.
TEST_F(ViewerTest, LiteralTimingBuildsNothingAheadAndKeepsTheSeekKeys)
{
    literalTiming = 1;
    // Room for 400 hundredths ahead in every idle moment.
    aheadMicros = 1000000;
    aheadSteps = 400;
    int32_t frontier = -1, reached = -1;
    clock.at = [&](int64_t wait) {
        if (wait == 200) {
            frontier = showSnapshots.Frontier();
            fake.Key(mainWindow, platform::VK_RIGHT);
        }
        if (wait == 210) reached = musicPosition;
        if (wait == 220) fake.Key(mainWindow, platform::VK_ESCAPE);
    };
    EXPECT_EQ(Run(), 0);
    EXPECT_EQ(frontier, 0);
    EXPECT_GE(reached, 1200);
    EXPECT_LE(reached, 1220);
    EXPECT_EQ(fake.messageBoxes, 0) << fake.lastMessageText;
}

// Start-up that cannot have the snapshots' memory plays on without them,
// from the start when a start time was asked for: no report, one line
// saying so, and the seek keys do nothing.
TEST_F(ViewerTest, WithoutMemoryForTheSnapshotsTheShowPlaysOnWithoutSeeking)
{
    // The snapshots' seven blocks are start-up's last allocations.
    clock.at = [&](int64_t) { fake.Key(mainWindow, platform::VK_ESCAPE); };
    orchid::alloc_test::FailAt(0);
    ASSERT_EQ(Run(), 0);
    const long total = orchid::alloc_test::Count();
    for (const long failing : {total - 6, total}) {
        TearDown();
        SetUp();
        const bool from = failing == total;
        startTime = from ? 3000 : 0;
        clock.waits = 0;
        int32_t before = -1, after = -1;
        clock.at = [&](int64_t wait) {
            if (wait == 50) {
                before = musicPosition;
                fake.Key(mainWindow, platform::VK_RIGHT);
            }
            if (wait == 60) after = musicPosition;
            if (wait == 100) fake.Key(mainWindow, platform::VK_ESCAPE);
        };
        const int boxes = fake.messageBoxes;
        testing::internal::CaptureStderr();
        orchid::alloc_test::FailAt(failing);
        Run();
        orchid::alloc_test::FailAt(0);
        const std::string said = testing::internal::GetCapturedStderr();
        EXPECT_EQ(fake.messageBoxes, boxes) << fake.lastMessageText;
        EXPECT_EQ(said.rfind("orchid: no snapshots for seeking (out of memory: they take ", 0), 0u) << said;
        EXPECT_TRUE(said.ends_with(std::string(" MB); the show plays on ") + (from ? "from the start, " : "") +
                                   "without seeking\n"))
            << said;
        EXPECT_GT(before, 0);
        EXPECT_LE(after - before, 10) << "the show moved";
    }
}

}  // namespace
