// Keeps no frame, but times each one: the wall time from the end of one
// present to the end of the next covers that frame's update, render and
// present (the first present only starts the clock). Frames are grouped by
// a label the program supplies (the scene).
//
// The yardstick, a memcpy of one frame between two buffers in the cache, is
// timed every kCopyEvery frames all through the run, so that it is measured
// under the same conditions as the frames around it (a machine shared with
// other work is faster at some moments than at others); the time it takes
// is left out of the frames.
//
// Given the program's frame image, it also takes the frames digest of
// every present (capture/frame_digest.h) and prints it under the table. The
// hashing is left out of every figure.
#pragma once

#include <cstdint>
#include <cstdio>

#include "capture/capture.h"
#include "capture/frame_digest.h"

namespace capture {

class BenchmarkSink final : public FrameSink {
public:
    static constexpr int kLabels = 8;
    static constexpr int kCopyEvery = 100;

    // label: called at each present; values outside 0..kLabels-1 count as
    // the last group. image (may be null: no digest): called at each
    // present, gives the frame the program rendered, which the presented
    // surface shows converted to the display's format.
    explicit BenchmarkSink(int (*label)(), FrameView (*image)() = nullptr);
    ~BenchmarkSink() override;
    BenchmarkSink(const BenchmarkSink&) = delete;
    BenchmarkSink& operator=(const BenchmarkSink&) = delete;

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
    // in units of copyNs (and hotCopyNs for the mean), then the digest
    // ("frames digest" and 16 lower-case hexadecimal digits) when there is
    // one.
    void Print(std::FILE* out, int64_t copyNs, int64_t hotCopyNs) const;

    ProgressLine progress;
    Group groups[kLabels];
    long presents = 0;
    // When the sink was made (as the program starts its work) and when the
    // first frame came: start-up's cost.
    int64_t createdNs = 0;
    int64_t firstNs = 0;
    int64_t lastNs = 0;
    // The first frame's size, for the memcpy figure.
    int width = 0;
    int height = 0;
    // The copies timed during the run (in cache).
    long copies = 0;
    int64_t copyTotalNs = 0;
    // Every present's frame image, and the time spent hashing them.
    FrameDigest digest;
    int64_t digestNs = 0;
    std::FILE* out = stdout;

private:
    // Times one copy between the two frame buffers, both in the cache.
    void SampleCopy();

    int (*label)();
    FrameView (*image)();
    uint8_t* copyFrom = nullptr;
    uint8_t* copyTo = nullptr;
};

}  // namespace capture
