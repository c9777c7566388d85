// Seeking: the show moved to a hundredth exactly, from its snapshots. Its
// peer is the same seek without snapshots, stepping from the start (as the
// first seek to a time nothing has passed yet does).
//   BM_SeekFromStart/T  only the start is held: from 0 to T
//   BM_SeekFromSnapshot/T  every snapshot is held (the show has been played
//                          through): from the nearest one to T
//   BM_SeekAhead10s/T   from the show standing exactly at T to T + 10 s,
//                       with no snapshot past T (Right in a part not yet
//                       played)
//   BM_SeekAhead10sBuiltAhead/T  the same once the snapshots have been built
//                       ahead of the show (as live play builds them between
//                       frames)
//   BM_SeekToMark/T     to T with T kept as the mark (the viewer's loop
//                       going back to A), from elsewhere; its peer is
//                       BM_SeekFromSnapshot at a snapshot's own time
//                       (T a multiple of 500), which steps nothing either
//   BM_BuildAheadWhilePlaying  live play from the start, one hundredth per
//                       frame, with 6 ms after each for building ahead: the
//                       show time at which every snapshot is built, the
//                       memory the snapshots reserve (those built ahead
//                       included), and the
//                       most CPU time one step ahead took (the wall clock
//                       would count the scheduler's preemptions of a busy
//                       machine too)
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <ctime>

#include "bench/console.h"
#include "demo/demo.h"
#include "demo/snapshots.h"
#include "error/error_log.h"
#include "simd/simd.h"

namespace {

// The show as start-up leaves it, with only the start's snapshot held.
void FreshShow()
{
    if (massFlower_x != nullptr) DemoFree();
    demoRandomState = 1;
    flashLevel = flashPhase = 0;
    crossFade.Set(0, nullptr, nullptr);
    std::memset(frameImage.pixChar, 0, static_cast<std::size_t>(frameImage.numBytes));
    DemoInit();
    showSnapshots.Reserve();
    showSnapshots.Take(0);
}

struct Show {
    Show()
    {
        errorLog.Init(nullptr);
        frameImage.Create(640, 480, 32);
    }
    ~Show()
    {
        showSnapshots.Free();
        DemoFree();
        frameImage.Free();
        errorLog.Free();
    }
};

void BM_SeekFromStart(benchmark::State& state)
{
    Show show;
    const auto target = static_cast<int32_t>(state.range(0));
    for (auto _ : state) {
        state.PauseTiming();
        FreshShow();
        state.ResumeTiming();
        showSnapshots.Seek(target, -1);
    }
    if (errorLog.count != 0) state.SkipWithError(errorLog.Report());
}

void BM_SeekFromSnapshot(benchmark::State& state)
{
    Show show;
    FreshShow();
    // Played through: every hundredth drawn, every snapshot kept.
    for (int32_t t = 0; t < kShowEnd; ++t) showSnapshots.Seek(t + 1, t);
    const auto target = static_cast<int32_t>(state.range(0));
    for (auto _ : state) showSnapshots.Seek(target, -1);
    if (errorLog.count != 0) state.SkipWithError(errorLog.Report());
}

void BM_SeekToMark(benchmark::State& state)
{
    Show show;
    FreshShow();
    const auto target = static_cast<int32_t>(state.range(0));
    showSnapshots.Seek(target, 0);
    showSnapshots.Mark(target);
    for (auto _ : state) {
        state.PauseTiming();
        // Past the loop's end, as the show stands when it jumps back.
        showSnapshots.Seek(target + 300, target);
        state.ResumeTiming();
        showSnapshots.Seek(target, -1);
    }
    if (errorLog.count != 0) state.SkipWithError(errorLog.Report());
}

// Right from the show's own state at range(0): stepped from the last
// snapshot played, or, with `builtAhead`, from one built ahead of the show.
void SeekAhead10s(benchmark::State& state, bool builtAhead)
{
    Show show;
    const auto from = static_cast<int32_t>(state.range(0));
    for (auto _ : state) {
        state.PauseTiming();
        FreshShow();
        showSnapshots.Seek(from, 0);
        while (builtAhead && showSnapshots.BuildAhead(ShowSnapshots::kInterval) > 0) {
        }
        state.ResumeTiming();
        showSnapshots.Seek(from + 1000, from);
    }
    if (errorLog.count != 0) state.SkipWithError(errorLog.Report());
}

void BM_SeekAhead10s(benchmark::State& state) { SeekAhead10s(state, false); }

void BM_SeekAhead10sBuiltAhead(benchmark::State& state) { SeekAhead10s(state, true); }

void BM_BuildAheadWhilePlaying(benchmark::State& state)
{
    using Clock = std::chrono::steady_clock;
    // Live play's aheadMicros, with a hundredth that never falls due early.
    constexpr auto kBudget = std::chrono::microseconds(6000);
    Show show;
    int32_t played = 0;
    std::clock_t longest = 0;
    for (auto _ : state) {
        FreshShow();
        bool done = false;
        for (played = 0; !done && played < kShowEnd; ++played) {
            showSnapshots.Seek(played + 1, played);
            const Clock::time_point start = Clock::now();
            while (Clock::now() - start < kBudget) {
                const std::clock_t before = std::clock();
                if (showSnapshots.BuildAhead(1) == 0) {
                    done = true;
                    break;
                }
                longest = std::max(longest, std::clock() - before);
            }
        }
    }
    state.counters["covered_at_s"] = played / 100.0;
    state.counters["reserved_MB"] = static_cast<double>(showSnapshots.Bytes()) / 1e6;
    state.counters["longest_step_ms"] = 1000.0 * static_cast<double>(longest) / CLOCKS_PER_SEC;
    if (errorLog.count != 0) state.SkipWithError(errorLog.Report());
}

// One time in each scene, and the longest stretches of frames that keep
// trails of the ones before (the title, the panorama's blend, scene 4).
#define ORCHID_SEEK_TARGETS ->Arg(50)->Arg(3700)->Arg(5800)->Arg(11400)->Arg(16050)->Arg(19400)->Arg(21400)
BENCHMARK(BM_SeekFromStart) ORCHID_SEEK_TARGETS->Iterations(2)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SeekFromSnapshot) ORCHID_SEEK_TARGETS->Unit(benchmark::kMillisecond);
// The mark at the same times as BM_SeekFromSnapshot's seeks, which step
// from the snapshot before; that one also at snapshots' own times.
BENCHMARK(BM_SeekToMark) ORCHID_SEEK_TARGETS->Iterations(20)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SeekFromSnapshot)->Arg(3500)->Arg(16000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SeekAhead10s)->Arg(2700)->Arg(14900)->Iterations(2)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SeekAhead10sBuiltAhead)->Arg(2700)->Arg(14900)->Iterations(2)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_BuildAheadWhilePlaying)->Iterations(1)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::AddCustomContext("simd level", simd::Name(simd::Active()));
    bench::Console reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    return 0;
}
