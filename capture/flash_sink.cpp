#include "capture/flash_sink.h"

#include "error/report.h"

ORCHID_REPORT_MODULE("capture/flash_sink");

namespace capture {

FlashSink::FlashSink(int fromHundredths, int toHundredths, long showEnd)
    // Present n shows the show at n hundredths; the picture at 0 is the
    // first present's, so a span from 0 starts with it.
    : first(fromHundredths > 1 ? fromHundredths : 1),
      last(toHundredths >= 0 && toHundredths < showEnd ? (toHundredths > 1 ? toHundredths : 1) : showEnd)
{
    report.Open(static_cast<int>(first), static_cast<int>(last));
}

void FlashSink::Frame(const FrameView& frame)
{
    if (completed) return;
    if (stopRequested != nullptr && stopRequested()) {
        stopped = true;
        completed = true;
        if (onComplete != nullptr) onComplete();
        return;
    }
    ++presents;
    if (presents >= first && presents <= last) {
        if (!opened) {
            analysis.Open(frame.width, frame.height, cell);
            width = frame.width;
            height = frame.height;
            opened = true;
        }
        if (frame.layout != PixelLayout::XRGB8888 || frame.width != width || frame.height != height)
            REPORT(ERR_MISC, "The flash report needs 32-bit frames of one size.\n");
        analysis.Frame(frame.pixels, frame.pitch);
        report.Add(static_cast<int>(presents), analysis);
    }
    progress.Update(presents, report.frames);
    if (presents >= last) {
        completed = true;
        if (onComplete != nullptr) onComplete();
    }
}

void FlashSink::Close()
{
    progress.Finish();
    if (report.frames > 0) report.Print(out);
}

}  // namespace capture
