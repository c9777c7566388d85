// Writes the kept frames as PNG files DIR/frame-00000.png, ... named by
// frame index, with Orchid's own encoder.
#pragma once

#include <cstdint>

#include "capture/capture.h"
#include "capture/png_encoder.h"

namespace capture {

class PngSink final : public CaptureSink {
public:
    PngSink(const char* directory, const FrameSchedule& schedule, int scale);

    // Makes the directory (if missing) and the buffers. 1 on success, 0 after
    // a report.
    int Open(int width, int height) override;
    void Close() override;

protected:
    // A file that cannot be written completely is removed, and the failure
    // reported with the file's name and the system's reason.
    int Write(long first, int count) override;

private:
    char directory[4096];
    char path[4096 + 32];
    PngEncoder encoder;
};

}  // namespace capture
