// A stand-in for the ffmpeg program, for the tests of the pipe and of the
// program: reads its standard input to the end (or, with
// ORCHID_FAKE_FFMPEG_READ, only that many bytes), then writes to the file
// ORCHID_FAKE_FFMPEG_REPORT names its arguments, one a line, and the number
// of bytes it read. Like ffmpeg it writes its output, the last argument
// (without a "file:" prefix): "fake video" and the byte count, or for a
// copy (-c copy) the bytes of its first input file, unless
// ORCHID_FAKE_FFMPEG_NO_OUTPUT is set. Exits with ORCHID_FAKE_FFMPEG_STATUS
// (0 when unset). As ffmpeg does on Windows, it takes its arguments from
// the system's wide command line, so names outside the ANSI code page arrive.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "os/files.h"
#include "os/process.h"

int main(int argc, char** argv)
{
    const std::vector<std::string> args = os::Arguments(argc, argv);
    unsigned long long bytes = 0;
    const char* limitText = std::getenv("ORCHID_FAKE_FFMPEG_READ");
    const unsigned long long limit = limitText != nullptr ? std::strtoull(limitText, nullptr, 10) : ~0ull;
    char buffer[65536];
    while (bytes < limit) {
        const unsigned long long want = limit - bytes < sizeof buffer ? limit - bytes : sizeof buffer;
        const std::size_t n = std::fread(buffer, 1, static_cast<std::size_t>(want), stdin);
        if (n == 0) break;
        bytes += n;
    }
    const char* reportName = std::getenv("ORCHID_FAKE_FFMPEG_REPORT");
    if (reportName != nullptr) {
        std::FILE* report = std::fopen(reportName, "wb");
        if (report == nullptr) return 100;
        for (std::size_t i = 1; i < args.size(); ++i) std::fprintf(report, "%s\n", args[i].c_str());
        std::fprintf(report, "bytes %llu\n", bytes);
        std::fclose(report);
    }
    if (args.size() > 1 && std::getenv("ORCHID_FAKE_FFMPEG_NO_OUTPUT") == nullptr) {
        const char* output = args.back().c_str();
        if (std::strncmp(output, "file:", 5) == 0) output += 5;
        std::FILE* video = os::OpenFile(output, "wb");
        if (video == nullptr) return 101;
        // A copy (-c copy) of a file given by name writes that file's bytes.
        std::string copied;
        for (std::size_t i = 1; i + 1 < args.size(); ++i)
            if (args[i] == "-c" && args[i + 1] == "copy")
                for (std::size_t j = 1; j + 1 < args.size() && copied.empty(); ++j)
                    if (args[j] == "-i" && args[j + 1].rfind("file:", 0) == 0) copied = args[j + 1].substr(5);
        std::FILE* source = copied.empty() ? nullptr : os::OpenFile(copied.c_str(), "rb");
        if (source != nullptr) {
            for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, source)) > 0;) std::fwrite(buffer, 1, n, video);
            std::fclose(source);
        } else {
            std::fprintf(video, "fake video %llu\n", bytes);
        }
        std::fclose(video);
    }
    const char* status = std::getenv("ORCHID_FAKE_FFMPEG_STATUS");
    return status != nullptr ? std::atoi(status) : 0;
}
