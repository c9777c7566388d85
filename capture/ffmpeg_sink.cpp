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

#include "error/error_log.h"
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
        CreateProcessA(nullptr, commandLine, nullptr, nullptr, TRUE, CREATE_NEW_PROCESS_GROUP, nullptr, nullptr,
                       &startup, &process);
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
    // A process group of its own: Ctrl+C on the terminal reaches this
    // program only, which then ends the stream so that ffmpeg finishes the
    // file properly.
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETPGROUP);
    posix_spawnattr_setpgroup(&attributes, 0);
    pid_t pid = -1;
    int rc = posix_spawnp(&pid, program, &actions, &attributes, const_cast<char* const*>(args), environ);
    posix_spawnattr_destroy(&attributes);
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

namespace {

bool EndsWithIgnoringCase(const char* text, const char* suffix)
{
    const std::size_t n = std::strlen(text), m = std::strlen(suffix);
    if (n < m) return false;
    for (std::size_t i = 0; i < m; ++i) {
        char c = text[n - m + i];
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
        if (c != suffix[i]) return false;
    }
    return true;
}

}  // namespace

int FfmpegSink::Start(long firstIndex)
{
    char size[32], rate[16], offset[32];
    std::snprintf(size, sizeof size, "%dx%d", outWidth, outHeight);
    std::snprintf(rate, sizeof rate, "%d", fps);
    // The music starts at the time of the first written frame.
    long startHundredths = firstIndex * schedule.step;
    std::snprintf(offset, sizeof offset, "%ld.%02ld", startHundredths / 100, startHundredths % 100);

    if (!file.Create(output)) {
        char reason[200];
        std::snprintf(reason, sizeof reason, "could not be created: %s.\n", std::strerror(file.error));
        REPORT(ERR_FILE, reason, output);
        return 0;
    }
    // ffmpeg writes the file by its name; -y lets it replace the empty
    // file made here. The "file:" protocol keeps a name that begins with
    // '-' or holds ':' from being read as an option or a protocol, and so
    // the format is named, not guessed from the temporary name.
    file.CloseStream();
    std::snprintf(target, sizeof target, "file:%s", file.TemporaryName());
    std::snprintf(musicInput, sizeof musicInput, "file:%s", music);
    // Matroska takes lossless FLAC, which has no encoder delay; MP4
    // players expect AAC.
    const bool matroska = EndsWithIgnoringCase(output, ".mkv");

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
        args[n++] = musicInput;
        args[n++] = "-map";
        args[n++] = "0:v:0";
        args[n++] = "-map";
        args[n++] = "1:a:0";
        args[n++] = "-c:a";
        args[n++] = matroska ? "flac" : "aac";
        if (!matroska) {
            args[n++] = "-b:a";
            args[n++] = "192k";
        }
        // Music shorter than the video goes on as silence, and the video
        // alone decides where the file ends.
        args[n++] = "-af";
        args[n++] = "apad";
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
    args[n++] = "-f";
    args[n++] = matroska ? "matroska" : "mp4";
    args[n++] = target;
    args[n] = nullptr;

    if (Spawn(args)) return 1;
    file.Discard();
    return 0;
}

void FfmpegSink::DescribeEnd(bool ran, int status, bool signalled, char* text, std::size_t size) const
{
    if (!ran)
        std::snprintf(text, size, "it could not be waited for");
    else if (signalled)
        std::snprintf(text, size, "it was ended by signal %d", status);
    else if (status != 0)
        std::snprintf(text, size, "it failed with exit status %d; its messages are above", status);
    else
        std::snprintf(text, size, "it ended without an error before taking every frame");
}

int FfmpegSink::Write(long first, int count)
{
    if (!Running() && !Start(first)) return 0;
    std::size_t frameBytes = static_cast<std::size_t>(outWidth) * outHeight * 3;
    for (int k = 0; k < count; ++k) {
        char reason[80];
        if (!WritePipe(rgb, frameBytes, reason, sizeof reason)) {
            // Its exit status tells why it stopped reading.
            int status = 0;
            bool signalled = false;
            const bool ran = Wait(&status, &signalled);
            file.Discard();
            char how[120], message[500];
            DescribeEnd(ran, status, signalled, how, sizeof how);
            std::snprintf(message, sizeof message,
                          "ffmpeg stopped taking frames for '%.200s' (%.60s): %s. The partial video was removed.\n",
                          output, reason, how);
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
    const bool ran = Wait(&status, &signalled);
    if (!file.Pending()) return;
    char message[700];
    if (!ran || signalled || status != 0) {
        file.Discard();
        if (ran && !signalled)
            std::snprintf(message, sizeof message,
                          "ffmpeg could not finish '%.200s' (exit status %d); its messages are above. The partial "
                          "video was removed.\n",
                          output, status);
        else if (ran)
            std::snprintf(message, sizeof message,
                          "ffmpeg was ended by signal %d before finishing '%.200s'. The partial video was removed.\n",
                          status, output);
        else
            std::snprintf(message, sizeof message,
                          "ffmpeg could not be waited for while finishing '%.200s'. The partial video was removed.\n",
                          output);
        RECORD(ERR_MISC, message);
        return;
    }
    if (errorLog.count > 0) {
        file.Discard();
        std::snprintf(message, sizeof message,
                      "'%.200s' was not finished, since the run failed. The partial video was removed.\n", output);
        RECORD(ERR_MISC, message);
        return;
    }
    if (platform::FileSize(file.TemporaryName()) <= 0) {
        file.Discard();
        std::snprintf(message, sizeof message, "ffmpeg ended without an error but wrote nothing for '%.200s'.\n",
                      output);
        RECORD(ERR_MISC, message);
        return;
    }
    if (!file.Commit(overwrite)) {
        // The video is complete: it stays under its temporary name.
        const int error = file.error;
        file.Keep();
        if (error == EEXIST)
            std::snprintf(message, sizeof message,
                          "'%.200s' appeared while the video was made and was left as it was; the video is in "
                          "'%.240s'.\n",
                          output, file.TemporaryName());
        else
            std::snprintf(message, sizeof message, "The video could not be moved to '%.200s' (%s); it is in '%.240s'.\n",
                          output, std::strerror(error), file.TemporaryName());
        RECORD(ERR_MISC, message);
    }
}

}  // namespace capture
