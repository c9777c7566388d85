// Processes on Windows: CreateProcess with an inherited pipe end; the
// console's Ctrl+C and Ctrl+Break as the stop signals. Paths, arguments and
// the system's messages pass as UTF-16 through the wide calls
// (os/windows_text.h).
#define WIN32_LEAN_AND_MEAN
#include <process.h>
#include <windows.h>
// After windows.h, whose types it uses.
#include <shellapi.h>

#include <atomic>
#include <csignal>
#include <cstdio>
#include <cstring>

#include "os/process.h"
#include "os/stop.h"
#include "os/windows_text.h"

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

// The system's text for an error code, in UTF-8, without its line break.
void SystemMessage(DWORD code, char* text, std::size_t size)
{
    wchar_t wide[512];
    DWORD n = FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code, 0, wide,
                             sizeof wide / sizeof wide[0], nullptr);
    while (n > 0 && (wide[n - 1] == L'\n' || wide[n - 1] == L'\r' || wide[n - 1] == L' ' || wide[n - 1] == L'.'))
        --n;
    if (n == 0) std::snprintf(text, size, "error %lu", static_cast<unsigned long>(code));
    else std::snprintf(text, size, "%s", Utf8(wide, static_cast<int>(n)).c_str());
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
    static wchar_t path[32768];
    const DWORD n = GetModuleFileNameW(nullptr, path, sizeof path / sizeof path[0]);
    if (n == 0 || n >= sizeof path / sizeof path[0]) return "";
    return Utf8(path, static_cast<int>(n));
}

std::vector<std::string> Arguments(int argc, const char* const* argv)
{
    int count = 0;
    wchar_t** wide = CommandLineToArgvW(GetCommandLineW(), &count);
    if (wide == nullptr) return {argv, argv + argc};
    std::vector<std::string> arguments;
    for (int i = 0; i < count; ++i) arguments.push_back(Utf8(wide[i]));
    LocalFree(wide);
    return arguments;
}

int StartupShowCommand()
{
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    GetStartupInfoA(&startup);
    return (startup.dwFlags & STARTF_USESHOWWINDOW) != 0 ? startup.wShowWindow : SW_SHOWDEFAULT;
}

namespace {

bool IsFile(const std::string& path)
{
    const WidePath wide(path.c_str());
    const DWORD attributes = wide.get() != nullptr ? GetFileAttributesW(wide.get()) : INVALID_FILE_ATTRIBUTES;
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

// The environment variable's value in UTF-8 ("" when unset).
std::string Environment(const wchar_t* name)
{
    const DWORD size = GetEnvironmentVariableW(name, nullptr, 0);
    if (size == 0) return "";
    std::wstring value(size, L'\0');
    const DWORD n = GetEnvironmentVariableW(name, value.data(), size);
    return n > 0 && n < size ? Utf8(value.c_str(), static_cast<int>(n)) : "";
}

}  // namespace

std::string ProgramPath(const char* name)
{
    const std::size_t length = std::strlen(name);
    const bool hasSuffix = length >= 4 && _stricmp(name + length - 4, ".exe") == 0;
    const char* suffix = hasSuffix ? "" : ".exe";
    if (std::strpbrk(name, "/\\:") != nullptr) {
        if (IsFile(name)) return name;
        return !hasSuffix && IsFile(name + std::string(suffix)) ? name + std::string(suffix) : "";
    }
    const std::string path = Environment(L"PATH");
    for (std::size_t start = 0; start < path.size();) {
        std::size_t end = path.find(';', start);
        if (end == std::string::npos) end = path.size();
        // An empty entry names no folder (the current one is not searched).
        if (end > start) {
            std::string candidate = path.substr(start, end - start);
            if (candidate.back() != '\\' && candidate.back() != '/') candidate += '\\';
            candidate += name;
            candidate += suffix;
            if (IsFile(candidate)) return candidate;
        }
        start = end + 1;
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
    // Quoted in UTF-8, whose bytes outside ASCII are never a space, a tab,
    // a quote or a backslash, then made wide: at most as many units as bytes.
    static char commandLine[32768];
    static wchar_t wideCommandLine[32768];
    std::size_t length = 0;
    commandLine[0] = '\0';
    for (const char* const* arg = args; *arg != nullptr; ++arg)
        if (!AppendArgument(commandLine, sizeof commandLine, &length, *arg)) return Start::CommandTooLong;
    constexpr int kWideSize = sizeof wideCommandLine / sizeof wideCommandLine[0];
    if (MultiByteToWideChar(CP_UTF8, 0, commandLine, -1, wideCommandLine, kWideSize) == 0) return Start::CommandTooLong;
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
    STARTUPINFOW startup = {};
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
    const std::wstring wideProgram = Wide(program.c_str());
    const BOOL started = CreateProcessW(wideProgram.c_str(), wideCommandLine, nullptr, nullptr, TRUE,
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
