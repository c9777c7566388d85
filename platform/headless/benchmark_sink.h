// Keeps no frame, but times each one: the wall time from the end of one
// present to the end of the next covers that frame's update, render and
// present (the first present only starts the clock). Frames are grouped by a label the program supplies (the scene).
#pragma once

#include <cstdint>
#include <cstdio>

#include "platform/headless/capture.h"

namespace platform {

class BenchmarkSink final : public FrameSink {
public:
    static constexpr int kLabels = 8;

    // label: called at each present; values outside 0..kLabels-1 count as
    // the last group.
    explicit BenchmarkSink(int (*label)());

    void Frame(const FrameView& frame) override;
    // Measures one memcpy of a frame and prints the table to `out`.
    void Close() override;

    struct Group {
        long count = 0;
        int64_t totalNs = 0;
        int64_t maxNs = 0;
    };

    // The time of one copy of a width x height x 4 frame, in ns: the mean of
    // many copies, through more frames than the cache holds (fromMemory) or
    // between two buffers that stay in the cache.
    static int64_t MeasureFrameCopy(int width, int height, bool fromMemory);
    // Writes the table: one line per group that has frames, then the totals,
    // in units of copyNs (and hotCopyNs for the mean).
    void Print(std::FILE* out, int64_t copyNs, int64_t hotCopyNs) const;

    ProgressLine progress;
    Group groups[kLabels];
    long presents = 0;
    int64_t firstNs = 0;
    int64_t lastNs = 0;
    // The first frame's size, for the memcpy figure.
    int width = 0;
    int height = 0;
    std::FILE* out = stdout;

private:
    int (*label)();
};

}  // namespace platform
