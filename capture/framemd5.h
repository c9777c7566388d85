// The per-frame checksums of what a capture wrote, in the text of ffmpeg's
// framemd5 muxer for packed RGB (rgb24): one line a frame with its MD5, so
// that `ffmpeg -i VIDEO -map 0:v -f framemd5 -pix_fmt rgb24 -` on a lossless
// video prints the same hashes. Written as the frames go out, under a
// temporary name (os::OutputFile); it takes its name only when committed.
#pragma once

#include <cstddef>
#include <cstdint>

#include "capture/capture.h"
#include "capture/md5.h"
#include "os/output_file.h"

namespace capture {

class FrameMd5File {
public:
    // `software` names the writer in the header.
    FrameMd5File(const char* path, const char* software);
    // Creates the file and writes the header for frames of that size: 1, or
    // 0 after a report.
    int Open(FrameRate rate, int width, int height);
    // `count` consecutive frames of the same `rgb` bytes.
    void Add(const uint8_t* rgb, std::size_t size, int count);
    // Gives the file its name (without `overwrite` never replacing one):
    // false with the system's error number in `error` (EEXIST: one
    // appeared), the file then left under its temporary name, which
    // TemporaryName gives. Write errors show here too.
    bool Commit(bool overwrite);
    // Removes what was written.
    void Discard() { file.Discard(); }

    bool Pending() const { return file.Pending(); }
    const char* TemporaryName() const { return file.TemporaryName(); }
    // Leaves a complete file under its temporary name.
    void Keep() { file.Keep(); }

    long frames = 0;
    int error = 0;

private:
    char path[4096];
    char software[64];
    os::OutputFile file;
    Md5 md5;
};

}  // namespace capture
