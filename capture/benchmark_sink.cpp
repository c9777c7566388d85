#include "capture/benchmark_sink.h"

#include <cstring>

#include "error/memory.h"

namespace capture {

BenchmarkSink::BenchmarkSink(int (*labelOf)(), FrameView (*imageOf)())
    : createdNs(WallNs()), label(labelOf), image(imageOf)
{
}

BenchmarkSink::~BenchmarkSink()
{
    orchid::MemFree(copyFrom);
    orchid::MemFree(copyTo);
}

void BenchmarkSink::SampleCopy()
{
    const std::size_t bytes = static_cast<std::size_t>(width) * static_cast<std::size_t>(height) * 4;
    // The first copies bring both buffers back into the cache, which the
    // frames since the last sample have filled with their own; the last two
    // are timed.
    std::memcpy(copyTo, copyFrom, bytes);
    std::memcpy(copyFrom, copyTo, bytes);
    std::memcpy(copyTo, copyFrom, bytes);
    const int64_t start = WallNs();
    std::memcpy(copyFrom, copyTo, bytes);
    asm volatile("" : : "r"(copyFrom) : "memory");
    std::memcpy(copyTo, copyFrom, bytes);
    asm volatile("" : : "r"(copyTo) : "memory");
    copyTotalNs += (WallNs() - start) / 2;
    ++copies;
}

void BenchmarkSink::Frame(const FrameView& frame)
{
    int64_t now = WallNs();
    int64_t cost = now - lastNs;
    lastNs = now;
    ++presents;
    progress.Update(presents, presents);
    if (image != nullptr) {
        digest.Add(image());
        // The next frame is timed from here, without the hashing.
        lastNs = WallNs();
        digestNs += lastNs - now;
    }
    // The first frame has no frame before it to measure from (asset loading
    // ran in between): it only starts the clock.
    if (presents == 1) {
        firstNs = now;
        width = frame.width;
        height = frame.height;
        const std::size_t bytes = static_cast<std::size_t>(width) * static_cast<std::size_t>(height) * 4;
        copyFrom = static_cast<uint8_t*>(orchid::MemAlloc(bytes));
        copyTo = static_cast<uint8_t*>(orchid::MemAlloc(bytes));
        return;
    }
    int which = label != nullptr ? label() : 0;
    if (which < 0 || which >= kLabels) which = kLabels - 1;
    Group& g = groups[which];
    ++g.count;
    g.totalNs += cost;
    if (cost > g.maxNs) g.maxNs = cost;
    if (presents % kCopyEvery == 0 && copyFrom != nullptr && copyTo != nullptr) {
        SampleCopy();
        // The next frame is timed from here, without the copies.
        lastNs = WallNs();
    }
}

int64_t BenchmarkSink::MeasureFrameCopy(int w, int h, bool fromMemory)
{
    std::size_t bytes = static_cast<std::size_t>(w) * h * 4;
    // From memory: the copies walk through more frames than any cache
    // holds, as a frame's pictures come from memory. Hot: two buffers that
    // stay in the cache.
    const int buffers = fromMemory ? 32 : 2;
    // One block for all of them: no more memory than the frames need.
    auto* pool = static_cast<uint8_t*>(orchid::MemAlloc(bytes * buffers));
    if (pool == nullptr) return 0;
    // Touch every page first, so that the copies time memory, not page
    // faults.
    for (int i = 0; i < buffers; ++i) std::memset(pool + bytes * i, i, bytes);
    constexpr int kCopies = 200;
    const int64_t start = WallNs();
    for (int i = 0; i < kCopies; ++i) {
        std::memcpy(pool + bytes * ((i + 1) % buffers), pool + bytes * (i % buffers), bytes);
        // Keep the copy from being optimised away.
        asm volatile("" : : "r"(pool) : "memory");
    }
    const int64_t result = (WallNs() - start) / kCopies;
    orchid::MemFree(pool);
    return result;
}

void BenchmarkSink::Print(std::FILE* o, int64_t copyNs, int64_t hotCopyNs) const
{
    const double copyUs = static_cast<double>(copyNs) * 1e-3;
    const double hotUs = static_cast<double>(hotCopyNs) * 1e-3;
    auto inCopies = [](double us, double per) { return per > 0.0 ? us / per : 0.0; };
    std::fprintf(o, "scene   frames   mean us    max us   memcpys   in-cache memcpys\n");
    long frames = 0;
    int64_t total = 0;
    double worst = 0.0;
    int worstScene = -1;
    for (int i = 0; i < kLabels; ++i) {
        const Group& g = groups[i];
        if (g.count == 0) continue;
        frames += g.count;
        total += g.totalNs;
        const double mean = static_cast<double>(g.totalNs) * 1e-3 / static_cast<double>(g.count);
        if (mean > worst || worstScene < 0) {
            worst = mean;
            worstScene = i;
        }
        std::fprintf(o, "%5d %8ld %9.1f %9.1f %9.2f %18.2f\n", i, g.count, mean, static_cast<double>(g.maxNs) * 1e-3,
                     inCopies(mean, copyUs), inCopies(mean, hotUs));
    }
    const double mean = frames > 0 ? static_cast<double>(total) * 1e-3 / static_cast<double>(frames) : 0.0;
    std::fprintf(o, "frames: %ld   wall time: %.2f s   memcpy of a %dx%d frame: %.1f us from memory, %.1f us in cache",
                 frames, static_cast<double>(lastNs - firstNs - digestNs) * 1e-9, width, height, copyUs, hotUs);
    if (copies > 0) std::fprintf(o, " (mean of %ld, timed through the run)", copies);
    std::fprintf(o, "\nstart-up to the first frame: %.1f ms", static_cast<double>(firstNs - createdNs) * 1e-6);
    std::fprintf(o, "\nmean frame cost: %.1f us = %.2f memcpys (%.2f in-cache memcpys); "
                    "worst scene: %d at %.2f memcpys (%.2f in-cache memcpys)\n",
                 mean, inCopies(mean, copyUs), inCopies(mean, hotUs), worstScene, inCopies(worst, copyUs),
                 inCopies(worst, hotUs));
    if (image != nullptr) {
        char text[17];
        FormatDigest(digest.Value(), text);
        std::fprintf(o, "frames digest %s\n", text);
    }
}

void BenchmarkSink::Close()
{
    progress.Finish();
    if (presents < 2) return;
    const int64_t hotCopyNs = copies > 0 ? copyTotalNs / copies : MeasureFrameCopy(width, height, false);
    Print(out, MeasureFrameCopy(width, height, true), hotCopyNs);
    std::fflush(out);
}

}  // namespace capture
