#include "capture/framemd5.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "error/report.h"

ORCHID_REPORT_MODULE("capture/framemd5");

namespace capture {

FrameMd5File::FrameMd5File(const char* fileName, const char* softwareName)
{
    std::snprintf(path, sizeof path, "%s", fileName);
    std::snprintf(software, sizeof software, "%s", softwareName);
}

int FrameMd5File::Open(FrameRate rate, int width, int height)
{
    if (!file.Create(path)) {
        char reason[200];
        std::snprintf(reason, sizeof reason, "could not be created: %s.\n", std::strerror(file.error));
        REPORT(ERR_FILE, reason, path);
        return 0;
    }
    // One tick of the time base is one frame, as ffmpeg counts raw video.
    std::fprintf(file.stream,
                 "#format: frame checksums\n#version: 2\n#hash: MD5\n#software: %s\n#tb 0: %lld/%lld\n"
                 "#media_type 0: video\n#codec_id 0: rawvideo\n#dimensions 0: %dx%d\n#sar 0: 0/1\n"
                 "#stream#, dts,        pts, duration,     size, hash\n",
                 software, static_cast<long long>(rate.den), static_cast<long long>(rate.num), width, height);
    frames = 0;
    return 1;
}

void FrameMd5File::Add(const uint8_t* rgb, std::size_t size, int count)
{
    char hex[33];
    md5.Add(rgb, size);
    md5.Finish(hex);
    for (int k = 0; k < count; ++k, ++frames)
        std::fprintf(file.stream, "0, %10lld, %10lld, %8d, %8lld, %s\n", static_cast<long long>(frames),
                     static_cast<long long>(frames), 1, static_cast<long long>(size), hex);
}

bool FrameMd5File::Commit(bool overwrite)
{
    if (!file.CloseStream()) {
        error = file.error;
        return false;
    }
    if (!file.Commit(overwrite)) {
        error = file.error;
        return false;
    }
    return true;
}

}  // namespace capture
