// Writes the kept frames as PNG files DIR/frame-00000.png, ... named by
// frame index, with Orchid's own encoder. Each file is written under a
// temporary name and takes its own name only once complete, so a frame's
// name never holds half a picture; an existing frame is replaced only with
// `overwrite`.
#pragma once

#include <cstdint>

#include "capture/capture.h"
#include "capture/png_encoder.h"
#include "os/output_file.h"

namespace capture {

class PngSink final : public CaptureSink {
public:
    PngSink(const char* directory, const FrameSchedule& schedule, int scale);

    // Makes the directory (if missing) and the buffers. 1 on success, 0 after
    // a report.
    int Open(int width, int height) override;
    void Close() override;

    // The name of output frame `index`, in `path` (at least 4096 + 32 bytes).
    static void FrameName(const char* directory, long index, char* path, std::size_t size);

protected:
    // A file that cannot be written completely is removed, and the failure
    // reported with the file's name and the system's reason.
    int Write(long first, int count) override;

private:
    char directory[4096];
    char path[4096 + 32];
    PngEncoder encoder;
    os::OutputFile file;
};

}  // namespace capture
