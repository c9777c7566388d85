#include "capture/png_sink.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "error/report.h"
#include "os/files.h"

ORCHID_REPORT_MODULE("capture/png_sink");

namespace capture {

PngSink::PngSink(const char* dir, const FrameSchedule& frameSchedule, int frameScale)
    : CaptureSink(frameSchedule, frameScale)
{
    std::snprintf(directory, sizeof directory, "%s", dir);
    path[0] = '\0';
}

int PngSink::Open(int width, int height)
{
    const os::FileKind kind = os::KindOf(directory);
    if (kind == os::FileKind::None) {
        if (!os::MakeFolder(directory)) {
            char reason[200];
            std::snprintf(reason, sizeof reason, "could not be made as a directory: %s.\n",
                          std::strerror(errno));
            REPORT(ERR_FILE, reason, directory);
            return 0;
        }
    } else if (kind != os::FileKind::Folder) {
        REPORT(ERR_FILE, "is not a directory.\n", directory);
        return 0;
    }
    if (!CaptureSink::Open(width, height)) return 0;
    return encoder.Open(outWidth, outHeight);
}

void PngSink::FrameName(const char* dir, long index, char* name, std::size_t size)
{
    std::snprintf(name, size, "%s/frame-%05ld.png", dir, index);
}

int PngSink::Write(long first, int count)
{
    std::size_t size = 0;
    const uint8_t* png = encoder.Encode(rgb, &size);
    for (long index = first; index < first + count; ++index) {
        FrameName(directory, index, path, sizeof path);
        if (!file.Create(path)) {
            char reason[200];
            std::snprintf(reason, sizeof reason, "could not be created: %s.\n", std::strerror(file.error));
            REPORT(ERR_FILE, reason, path);
            return 0;
        }
        // A full disk shows in a failed write, at the latest when the
        // buffered data is flushed or the file closed.
        errno = 0;
        int error = 0;
        if (std::fwrite(png, 1, size, file.stream) != size) error = errno != 0 ? errno : EIO;
        if (!file.CloseStream() && error == 0) error = file.error;
        if (error != 0) {
            file.Discard();
            char reason[240];
            std::snprintf(reason, sizeof reason, "could not be written: %s. Nothing was left under its name.\n",
                          std::strerror(error));
            REPORT(ERR_FILE, reason, path);
            return 0;
        }
        if (!file.Commit(overwrite)) {
            const int error = file.error;
            file.Discard();
            char reason[240];
            if (error == EEXIST)
                std::snprintf(reason, sizeof reason, "exists and was left as it was (-y replaces it).\n");
            else
                std::snprintf(reason, sizeof reason, "could not be given its name: %s.\n", std::strerror(error));
            REPORT(ERR_FILE, reason, path);
            return 0;
        }
    }
    return 1;
}

void PngSink::Close()
{
    CaptureSink::Close();
    encoder.Close();
}

}  // namespace capture
