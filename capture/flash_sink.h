// The flash report's sink: every frame the headless display shows, one per
// hundredth of show time, from --from to --to, goes through the flash
// analysis (flash/flash_analysis.h) as the 32-bit display shows it. At the
// end the report is printed. Nothing is written.
#pragma once

#include <cstdio>

#include "capture/capture.h"
#include "flash/flash_analysis.h"
#include "flash/flash_report.h"

namespace capture {

class FlashSink final : public FrameSink {
public:
    // The span in hundredths (to < 0: up to showEnd, the show's last).
    FlashSink(int fromHundredths, int toHundredths, long showEnd);

    void Frame(const FrameView& frame) override;
    // Prints the report of the frames analysed to `out`.
    void Close() override;

    // The presents a whole run takes, and the frames it analyses.
    long PresentsNeeded() const { return last; }
    long FramesNeeded() const { return last - first + 1; }

    ProgressLine progress;
    flash::FlashAnalysis analysis;
    flash::FlashReport report;
    long presents = 0;
    int cell = 1;
    std::FILE* out = stdout;
    void (*onComplete)() = nullptr;
    // Asked before each frame; once it says true (an interruption), the
    // report covers the frames analysed so far and onComplete ends the run.
    bool (*stopRequested)() = nullptr;
    bool stopped = false;

private:
    long first;
    long last;
    int width = 0;
    int height = 0;
    bool opened = false;
    bool completed = false;
};

}  // namespace capture
