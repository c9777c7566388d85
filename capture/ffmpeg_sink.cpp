#include "capture/ffmpeg_sink.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "error/report.h"

extern char** environ;

ORCHID_REPORT_MODULE("capture/ffmpeg_sink");

namespace capture {

FfmpegSink::FfmpegSink(const char* outputFile, const char* musicFile, int framesPerSecond,
                       const FrameSchedule& frameSchedule, int frameScale)
    : CaptureSink(frameSchedule, frameScale), fps(framesPerSecond)
{
    std::snprintf(output, sizeof output, "%s", outputFile);
    std::snprintf(music, sizeof music, "%s", musicFile != nullptr ? musicFile : "");
}

// Close records into the log; the destructor only makes sure that no child
// is left behind.
FfmpegSink::~FfmpegSink() { Stop(); }

bool FfmpegSink::ProgramAvailable(const char* name)
{
    if (std::strchr(name, '/') != nullptr) return access(name, X_OK) == 0;
    const char* path = std::getenv("PATH");
    if (path == nullptr) path = "/usr/bin:/bin";
    char candidate[4096];
    while (*path != '\0') {
        const char* end = std::strchr(path, ':');
        std::size_t n = end != nullptr ? static_cast<std::size_t>(end - path) : std::strlen(path);
        // An empty entry stands for the current directory.
        std::snprintf(candidate, sizeof candidate, "%.*s/%s", n == 0 ? 1 : static_cast<int>(n),
                      n == 0 ? "." : path, name);
        if (access(candidate, X_OK) == 0) return true;
        if (end == nullptr) break;
        path = end + 1;
    }
    return false;
}

int FfmpegSink::Start(long firstIndex)
{
    // A closed pipe must come back as EPIPE from write, not end the program.
    signal(SIGPIPE, SIG_IGN);

    char size[32], rate[16], offset[32];
    std::snprintf(size, sizeof size, "%dx%d", outWidth, outHeight);
    std::snprintf(rate, sizeof rate, "%d", fps);
    // The music starts at the time of the first written frame.
    long startHundredths = firstIndex * schedule.step;
    std::snprintf(offset, sizeof offset, "%ld.%02ld", startHundredths / 100, startHundredths % 100);

    const char* args[48];
    int n = 0;
    args[n++] = program;
    args[n++] = "-hide_banner";
    args[n++] = "-loglevel";
    args[n++] = "error";
    args[n++] = "-y";
    args[n++] = "-f";
    args[n++] = "rawvideo";
    args[n++] = "-pixel_format";
    args[n++] = "rgb24";
    args[n++] = "-video_size";
    args[n++] = size;
    args[n++] = "-framerate";
    args[n++] = rate;
    args[n++] = "-i";
    args[n++] = "pipe:0";
    if (music[0] != '\0') {
        args[n++] = "-ss";
        args[n++] = offset;
        args[n++] = "-i";
        args[n++] = music;
        args[n++] = "-map";
        args[n++] = "0:v:0";
        args[n++] = "-map";
        args[n++] = "1:a:0";
        // Matroska takes lossless FLAC, which has no encoder delay; MP4
        // players expect AAC.
        bool matroska = std::strlen(output) > 4 && std::strcmp(output + std::strlen(output) - 4, ".mkv") == 0;
        args[n++] = "-c:a";
        args[n++] = matroska ? "flac" : "aac";
        if (!matroska) {
            args[n++] = "-b:a";
            args[n++] = "192k";
        }
        args[n++] = "-shortest";
    }
    args[n++] = "-c:v";
    args[n++] = "libx264";
    args[n++] = "-preset";
    args[n++] = "veryfast";
    args[n++] = "-crf";
    args[n++] = "16";
    args[n++] = "-pix_fmt";
    args[n++] = "yuv420p";
    args[n++] = output;
    args[n] = nullptr;

    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0) {
        REPORT(ERR_MISC, "Couldn't make a pipe to ffmpeg.\n");
        return 0;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, fds[0], 0);
    pid_t pid = -1;
    int rc = posix_spawnp(&pid, program, &actions, nullptr, const_cast<char* const*>(args), environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(fds[0]);
    if (rc != 0) {
        ::close(fds[1]);
        if (rc == ENOENT) {
            REPORT(ERR_MISC,
                   "The ffmpeg program was not found. Install ffmpeg to capture a video, or write "
                   "PNG frames with --frames DIR.\n");
        } else {
            char message[200];
            std::snprintf(message, sizeof message, "Couldn't start ffmpeg: %s.\n", std::strerror(rc));
            REPORT(ERR_MISC, message);
        }
        return 0;
    }
    child = pid;
    pipeFd = fds[1];
    return 1;
}

int FfmpegSink::Write(long first, int count)
{
    if (child < 0 && !Start(first)) return 0;
    std::size_t frameBytes = static_cast<std::size_t>(outWidth) * outHeight * 3;
    for (int k = 0; k < count; ++k) {
        std::size_t done = 0;
        while (done < frameBytes) {
            ssize_t n = ::write(pipeFd, rgb + done, frameBytes - done);
            if (n < 0) {
                if (errno == EINTR) continue;
                char message[400];
                std::snprintf(message, sizeof message,
                              "ffmpeg stopped taking frames for '%.200s' (%.60s); its messages are above.\n",
                              output, std::strerror(errno));
                REPORT(ERR_MISC, message);
                return 0;
            }
            done += static_cast<std::size_t>(n);
        }
    }
    return 1;
}

void FfmpegSink::Stop()
{
    if (pipeFd >= 0) ::close(pipeFd);
    pipeFd = -1;
    if (child > 0) {
        int status = 0;
        while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
        }
        child = -1;
    }
}

void FfmpegSink::Close()
{
    CaptureSink::Close();
    if (pipeFd >= 0) ::close(pipeFd);
    pipeFd = -1;
    if (child <= 0) return;
    int status = 0;
    pid_t r;
    while ((r = waitpid(child, &status, 0)) < 0 && errno == EINTR) {
    }
    child = -1;
    if (r > 0 && !(WIFEXITED(status) && WEXITSTATUS(status) == 0)) {
        char message[300];
        if (WIFEXITED(status))
            std::snprintf(message, sizeof message,
                          "ffmpeg could not finish '%.200s' (exit status %d); its messages are above.\n", output,
                          WEXITSTATUS(status));
        else
            std::snprintf(message, sizeof message, "ffmpeg was ended by signal %d before finishing '%.200s'.\n",
                          WTERMSIG(status), output);
        RECORD(ERR_MISC, message);
    }
}

}  // namespace capture
