#include "capture/ffmpeg_sink.h"

#if defined(_WIN32)
#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#else
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "error/report.h"

#if !defined(_WIN32)
extern char** environ;
#endif

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

#if defined(_WIN32)

namespace {

// The system's text for an error code, without its line break.
void SystemMessage(DWORD code, char* text, std::size_t size)
{
    DWORD n = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code, 0, text,
                             static_cast<DWORD>(size), nullptr);
    while (n > 0 && (text[n - 1] == '\n' || text[n - 1] == '\r' || text[n - 1] == ' ' || text[n - 1] == '.')) --n;
    if (n == 0) std::snprintf(text, size, "error %lu", static_cast<unsigned long>(code));
    else text[n] = '\0';
}

// Appends one argument to a command line, quoted the way the C runtime's
// start-up code splits it again: backslashes count only before a quote.
bool AppendArgument(char* line, std::size_t size, std::size_t* length, const char* arg)
{
    std::size_t n = *length;
    auto put = [&](char c) {
        if (n + 1 >= size) return false;
        line[n++] = c;
        return true;
    };
    if (n > 0 && !put(' ')) return false;
    const bool quote = *arg == '\0' || std::strpbrk(arg, " \t\"") != nullptr;
    if (quote && !put('"')) return false;
    for (const char* p = arg;; ++p) {
        std::size_t backslashes = 0;
        while (*p == '\\') {
            ++backslashes;
            ++p;
        }
        // Backslashes before a quote, or before the closing quote, are doubled.
        const std::size_t copies = *p == '"' || (*p == '\0' && quote) ? 2 * backslashes : backslashes;
        for (std::size_t k = 0; k < copies; ++k)
            if (!put('\\')) return false;
        if (*p == '\0') break;
        if (*p == '"' && !put('\\')) return false;
        if (!put(*p)) return false;
    }
    if (quote && !put('"')) return false;
    line[n] = '\0';
    *length = n;
    return true;
}

}  // namespace

bool FfmpegSink::ProgramAvailable(const char* name)
{
    char found[MAX_PATH];
    if (std::strpbrk(name, "/\\") != nullptr) {
        DWORD attributes = GetFileAttributesA(name);
        if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) return true;
        std::snprintf(found, sizeof found, "%s.exe", name);
        attributes = GetFileAttributesA(found);
        return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
    }
    return SearchPathA(nullptr, name, ".exe", sizeof found, found, nullptr) > 0;
}

int FfmpegSink::Spawn(const char* const* args)
{
    static char commandLine[32768];
    std::size_t length = 0;
    commandLine[0] = '\0';
    for (const char* const* arg = args; *arg != nullptr; ++arg) {
        if (!AppendArgument(commandLine, sizeof commandLine, &length, *arg)) {
            REPORT(ERR_MISC, "Couldn't start ffmpeg: its command line is too long.\n");
            return 0;
        }
    }
    // The reading end is inherited by ffmpeg as its standard input; the
    // writing end stays here only.
    SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
    HANDLE readEnd = nullptr, writeEnd = nullptr;
    if (!CreatePipe(&readEnd, &writeEnd, &inherit, 1 << 20) ||
        !SetHandleInformation(writeEnd, HANDLE_FLAG_INHERIT, 0)) {
        if (readEnd != nullptr) CloseHandle(readEnd);
        if (writeEnd != nullptr) CloseHandle(writeEnd);
        REPORT(ERR_MISC, "Couldn't make a pipe to ffmpeg.\n");
        return 0;
    }
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = readEnd;
    startup.hStdOutput = GetStdHandle(STD_OUTPUT_HANDLE);
    startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
    PROCESS_INFORMATION process = {};
    const BOOL started =
        CreateProcessA(nullptr, commandLine, nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &process);
    const DWORD error = GetLastError();
    CloseHandle(readEnd);
    if (!started) {
        CloseHandle(writeEnd);
        if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) {
            REPORT(ERR_MISC,
                   "The ffmpeg program was not found. Install ffmpeg to capture a video, or write "
                   "PNG frames with --frames DIR.\n");
        } else {
            char reason[120], message[200];
            SystemMessage(error, reason, sizeof reason);
            std::snprintf(message, sizeof message, "Couldn't start ffmpeg: %s.\n", reason);
            REPORT(ERR_MISC, message);
        }
        return 0;
    }
    CloseHandle(process.hThread);
    processHandle = process.hProcess;
    pipeHandle = writeEnd;
    return 1;
}

bool FfmpegSink::Running() const { return processHandle != nullptr; }

bool FfmpegSink::WritePipe(const uint8_t* data, std::size_t bytes, char* reason, std::size_t reasonSize)
{
    while (bytes > 0) {
        const DWORD chunk = bytes < (DWORD{1} << 30) ? static_cast<DWORD>(bytes) : (DWORD{1} << 30);
        DWORD written = 0;
        if (!WriteFile(static_cast<HANDLE>(pipeHandle), data, chunk, &written, nullptr)) {
            SystemMessage(GetLastError(), reason, reasonSize);
            return false;
        }
        data += written;
        bytes -= written;
    }
    return true;
}

bool FfmpegSink::Wait(int* status, bool* signalled)
{
    *status = 0;
    *signalled = false;
    if (pipeHandle != nullptr) CloseHandle(static_cast<HANDLE>(pipeHandle));
    pipeHandle = nullptr;
    if (processHandle == nullptr) return false;
    HANDLE process = static_cast<HANDLE>(processHandle);
    processHandle = nullptr;
    DWORD code = 0;
    const bool ended = WaitForSingleObject(process, INFINITE) == WAIT_OBJECT_0 && GetExitCodeProcess(process, &code);
    CloseHandle(process);
    *status = static_cast<int>(code);
    return ended;
}

#else

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

int FfmpegSink::Spawn(const char* const* args)
{
    // A closed pipe must come back as EPIPE from write, not end the program.
    signal(SIGPIPE, SIG_IGN);

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

bool FfmpegSink::Running() const { return child > 0; }

bool FfmpegSink::WritePipe(const uint8_t* data, std::size_t bytes, char* reason, std::size_t reasonSize)
{
    std::size_t done = 0;
    while (done < bytes) {
        ssize_t n = ::write(pipeFd, data + done, bytes - done);
        if (n < 0) {
            if (errno == EINTR) continue;
            std::snprintf(reason, reasonSize, "%s", std::strerror(errno));
            return false;
        }
        done += static_cast<std::size_t>(n);
    }
    return true;
}

bool FfmpegSink::Wait(int* status, bool* signalled)
{
    *status = 0;
    *signalled = false;
    if (pipeFd >= 0) ::close(pipeFd);
    pipeFd = -1;
    if (child <= 0) return false;
    int waitStatus = 0;
    pid_t r;
    while ((r = waitpid(child, &waitStatus, 0)) < 0 && errno == EINTR) {
    }
    child = -1;
    if (r <= 0) return false;
    *signalled = !WIFEXITED(waitStatus);
    *status = *signalled ? WTERMSIG(waitStatus) : WEXITSTATUS(waitStatus);
    return true;
}

#endif

int FfmpegSink::Start(long firstIndex)
{
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

    return Spawn(args);
}

int FfmpegSink::Write(long first, int count)
{
    if (!Running() && !Start(first)) return 0;
    std::size_t frameBytes = static_cast<std::size_t>(outWidth) * outHeight * 3;
    for (int k = 0; k < count; ++k) {
        char reason[80];
        if (!WritePipe(rgb, frameBytes, reason, sizeof reason)) {
            char message[400];
            std::snprintf(message, sizeof message,
                          "ffmpeg stopped taking frames for '%.200s' (%.60s); its messages are above.\n", output,
                          reason);
            REPORT(ERR_MISC, message);
            return 0;
        }
    }
    return 1;
}

void FfmpegSink::Stop()
{
    int status = 0;
    bool signalled = false;
    Wait(&status, &signalled);
}

void FfmpegSink::Close()
{
    CaptureSink::Close();
    int status = 0;
    bool signalled = false;
    if (!Wait(&status, &signalled) || (status == 0 && !signalled)) return;
    char message[300];
    if (!signalled)
        std::snprintf(message, sizeof message,
                      "ffmpeg could not finish '%.200s' (exit status %d); its messages are above.\n", output, status);
    else
        std::snprintf(message, sizeof message, "ffmpeg was ended by signal %d before finishing '%.200s'.\n", status,
                      output);
    RECORD(ERR_MISC, message);
}

}  // namespace capture
