// A stand-in for the ffmpeg program, for the pipe test: reads its standard
// input to the end, then writes to the file ORCHID_FAKE_FFMPEG_REPORT names
// its arguments, one a line, and the number of bytes it read; exits with
// ORCHID_FAKE_FFMPEG_STATUS (0 when unset).
#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv)
{
    unsigned long long bytes = 0;
    char buffer[65536];
    for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, stdin)) > 0;) bytes += n;
    const char* reportName = std::getenv("ORCHID_FAKE_FFMPEG_REPORT");
    if (reportName != nullptr) {
        std::FILE* report = std::fopen(reportName, "wb");
        if (report == nullptr) return 100;
        for (int i = 1; i < argc; ++i) std::fprintf(report, "%s\n", argv[i]);
        std::fprintf(report, "bytes %llu\n", bytes);
        std::fclose(report);
    }
    const char* status = std::getenv("ORCHID_FAKE_FFMPEG_STATUS");
    return status != nullptr ? std::atoi(status) : 0;
}
