#include "capture/png_sink.h"

#include <sys/stat.h>
#if defined(_WIN32)
#include <direct.h>
#endif

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "error/report.h"

ORCHID_REPORT_MODULE("capture/png_sink");

namespace capture {

namespace {

int MakeDirectory(const char* name)
{
#if defined(_WIN32)
    return _mkdir(name);
#else
    return mkdir(name, 0777);
#endif
}

}  // namespace

PngSink::PngSink(const char* dir, const FrameSchedule& frameSchedule, int frameScale)
    : CaptureSink(frameSchedule, frameScale)
{
    std::snprintf(directory, sizeof directory, "%s", dir);
    path[0] = '\0';
}

int PngSink::Open(int width, int height)
{
    struct stat st;
    if (stat(directory, &st) != 0) {
        if (MakeDirectory(directory) != 0) {
            char reason[200];
            std::snprintf(reason, sizeof reason, "could not be made as a directory: %s.\n",
                          std::strerror(errno));
            REPORT(ERR_FILE, reason, directory);
            return 0;
        }
    } else if (!S_ISDIR(st.st_mode)) {
        REPORT(ERR_FILE, "is not a directory.\n", directory);
        return 0;
    }
    if (!CaptureSink::Open(width, height)) return 0;
    return encoder.Open(outWidth, outHeight);
}

int PngSink::Write(long first, int count)
{
    std::size_t size = 0;
    const uint8_t* png = encoder.Encode(rgb, &size);
    for (long index = first; index < first + count; ++index) {
        std::snprintf(path, sizeof path, "%s/frame-%05ld.png", directory, index);
        std::FILE* file = std::fopen(path, "wb");
        if (file == nullptr) {
            char reason[200];
            std::snprintf(reason, sizeof reason, "could not be created: %s.\n", std::strerror(errno));
            REPORT(ERR_FILE, reason, path);
            return 0;
        }
        errno = 0;
        // A full disk shows in a failed write, at the latest when the
        // buffered data is flushed or the file closed.
        int error = 0;
        if (std::fwrite(png, 1, size, file) != size || std::fflush(file) != 0 || std::ferror(file))
            error = errno != 0 ? errno : EIO;
        if (std::fclose(file) != 0 && error == 0) error = errno != 0 ? errno : EIO;
        if (error != 0) {
            std::remove(path);
            char reason[240];
            std::snprintf(reason, sizeof reason, "could not be written: %s.\n", std::strerror(error));
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
