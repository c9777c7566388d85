// Processes on Windows: CreateProcess with an inherited pipe end; the
// console's Ctrl+C and Ctrl+Break as the stop signals.
#define WIN32_LEAN_AND_MEAN
#include <process.h>
#include <windows.h>

#include <atomic>
#include <csignal>
#include <cstdio>
#include <cstring>

#include "os/process.h"
#include "os/stop.h"

namespace os {

namespace {

std::atomic<int> stopSignal{0};
// The thread that writes to the child: a write still blocked a while after
// the stop is cancelled.
HANDLE writingThread = nullptr;

// Runs on a thread of its own, so it may wait.
BOOL WINAPI OnConsoleControl(DWORD event)
{
    if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT) return FALSE;
    RequestStop(event == CTRL_C_EVENT ? SIGINT : SIGTERM);
    Sleep(ChildProcess::kWriteGraceMs);
    if (writingThread != nullptr) CancelSynchronousIo(writingThread);
    return TRUE;
}

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

HANDLE HandleOf(std::intptr_t value) { return reinterpret_cast<HANDLE>(value); }
std::intptr_t ValueOf(HANDLE handle) { return reinterpret_cast<std::intptr_t>(handle); }

}  // namespace

const char kExecutableSuffix[] = ".exe";

void CatchStopSignals()
{
    if (writingThread == nullptr)
        DuplicateHandle(GetCurrentProcess(), GetCurrentThread(), GetCurrentProcess(), &writingThread, 0, FALSE,
                        DUPLICATE_SAME_ACCESS);
    SetConsoleCtrlHandler(OnConsoleControl, TRUE);
}

int StopSignal() { return stopSignal.load(); }

void RequestStop(int signalNumber)
{
    int none = 0;
    stopSignal.compare_exchange_strong(none, signalNumber);
}

int ProcessId() { return _getpid(); }

std::string ExecutablePath()
{
    char path[4096];
    DWORD n = GetModuleFileNameA(nullptr, path, sizeof path);
    if (n == 0 || n >= sizeof path) return "";
    return std::string(path, n);
}

int StartupShowCommand()
{
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    GetStartupInfoA(&startup);
    return (startup.dwFlags & STARTF_USESHOWWINDOW) != 0 ? startup.wShowWindow : SW_SHOWDEFAULT;
}

namespace {

bool IsFile(const char* path)
{
    const DWORD attributes = GetFileAttributesA(path);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

}  // namespace

std::string ProgramPath(const char* name)
{
    char candidate[MAX_PATH];
    const std::size_t length = std::strlen(name);
    const bool hasSuffix = length >= 4 && _stricmp(name + length - 4, ".exe") == 0;
    if (std::strpbrk(name, "/\\:") != nullptr) {
        if (IsFile(name)) return name;
        std::snprintf(candidate, sizeof candidate, "%s.exe", name);
        return !hasSuffix && IsFile(candidate) ? candidate : "";
    }
    const char* path = std::getenv("PATH");
    if (path == nullptr) return "";
    while (*path != '\0') {
        const char* end = std::strchr(path, ';');
        const std::size_t n = end != nullptr ? static_cast<std::size_t>(end - path) : std::strlen(path);
        // An empty entry names no folder (the current one is not searched).
        if (n > 0) {
            const bool slash = path[n - 1] == '\\' || path[n - 1] == '/';
            const int written = std::snprintf(candidate, sizeof candidate, "%.*s%s%s%s", static_cast<int>(n), path,
                                              slash ? "" : "\\", name, hasSuffix ? "" : ".exe");
            if (written > 0 && static_cast<std::size_t>(written) < sizeof candidate && IsFile(candidate)) {
                return candidate;
            }
        }
        if (end == nullptr) break;
        path = end + 1;
    }
    return "";
}

ChildProcess::~ChildProcess()
{
    int status = 0;
    bool signalled = false;
    Wait(&status, &signalled);
}

ChildProcess::Start ChildProcess::Run(const char* const* args, char* reason, std::size_t reasonSize)
{
    static char commandLine[32768];
    std::size_t length = 0;
    commandLine[0] = '\0';
    for (const char* const* arg = args; *arg != nullptr; ++arg)
        if (!AppendArgument(commandLine, sizeof commandLine, &length, *arg)) return Start::CommandTooLong;
    // The reading end is inherited by the child as its standard input; the
    // writing end stays here only.
    SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
    HANDLE readEnd = nullptr, writeEnd = nullptr;
    if (!CreatePipe(&readEnd, &writeEnd, &inherit, 1 << 20) ||
        !SetHandleInformation(writeEnd, HANDLE_FLAG_INHERIT, 0)) {
        if (readEnd != nullptr) CloseHandle(readEnd);
        if (writeEnd != nullptr) CloseHandle(writeEnd);
        return Start::NoPipe;
    }
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = readEnd;
    startup.hStdOutput = GetStdHandle(STD_OUTPUT_HANDLE);
    startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
    PROCESS_INFORMATION child = {};
    // The program found on PATH, named outright: given only the command
    // line, the system would look in the current folder and the program's
    // own first.
    const std::string program = ProgramPath(args[0]);
    if (program.empty()) {
        CloseHandle(readEnd);
        CloseHandle(writeEnd);
        return Start::NotFound;
    }
    const BOOL started = CreateProcessA(program.c_str(), commandLine, nullptr, nullptr, TRUE,
                                        CREATE_NEW_PROCESS_GROUP, nullptr, nullptr, &startup, &child);
    const DWORD error = GetLastError();
    CloseHandle(readEnd);
    if (!started) {
        CloseHandle(writeEnd);
        if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) return Start::NotFound;
        SystemMessage(error, reason, reasonSize);
        return Start::Failed;
    }
    CloseHandle(child.hThread);
    process = ValueOf(child.hProcess);
    input = ValueOf(writeEnd);
    forced = false;
    return Start::Started;
}

ChildProcess::Sent ChildProcess::Write(const void* data, std::size_t bytes, char* reason, std::size_t reasonSize)
{
    const auto* next = static_cast<const unsigned char*>(data);
    while (bytes > 0) {
        const DWORD chunk = bytes < (DWORD{1} << 30) ? static_cast<DWORD>(bytes) : (DWORD{1} << 30);
        DWORD written = 0;
        if (!WriteFile(HandleOf(input), next, chunk, &written, nullptr)) {
            const DWORD error = GetLastError();
            // Cancelled by the console handler, a while after the stop.
            if (error == ERROR_OPERATION_ABORTED && StopSignal() != 0) return Sent::Stopped;
            SystemMessage(error, reason, reasonSize);
            return Sent::Failed;
        }
        next += written;
        bytes -= written;
    }
    return Sent::All;
}

bool ChildProcess::Wait(int* status, bool* signalled)
{
    *status = 0;
    *signalled = false;
    if (input != kNone) CloseHandle(HandleOf(input));
    input = kNone;
    if (process == kNone) return false;
    HANDLE child = HandleOf(process);
    process = kNone;
    DWORD code = 0;
    // Without a stop the child takes as long as it needs; after one it has
    // kExitGraceMs to end, and is then terminated.
    DWORD waited = WAIT_TIMEOUT;
    long stoppedFor = 0;
    while ((waited = WaitForSingleObject(child, 20)) == WAIT_TIMEOUT) {
        if (StopSignal() == 0) continue;
        stoppedFor += 20;
        if (stoppedFor >= kExitGraceMs) {
            TerminateProcess(child, 1);
            forced = true;
            waited = WaitForSingleObject(child, INFINITE);
            break;
        }
    }
    const bool ended = waited == WAIT_OBJECT_0 && GetExitCodeProcess(child, &code);
    CloseHandle(child);
    *status = static_cast<int>(code);
    return ended;
}

}  // namespace os
