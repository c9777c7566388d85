// Processes: this program's own (its id, its path, its arguments) and a child program run
// with its standard input on a pipe from here (the capture's ffmpeg). Nothing
// here reports: a failure is a plain result, with the system's reason as
// text where the caller words the report.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace os {

// This process's id.
int ProcessId();
// The full path of the running program, or "" when the system does not say.
std::string ExecutablePath();
// The program's arguments, argv[0] first, in UTF-8: `argv` itself, or on
// Windows the system's wide command line (there argv holds them in the ANSI
// code page, which loses the characters outside it).
std::vector<std::string> Arguments(int argc, const char* const* argv);
// How whoever started the program asked for its window to be shown, as a
// Windows show command (a shortcut set to run minimised gives 7); 1, a
// normal window, where the system has no such request.
int StartupShowCommand();
// What the system's program files end in ("", ".exe" on Windows).
extern const char kExecutableSuffix[];
// The file a program of that name runs from: the first match in PATH's
// folders, in their order (on Windows "name.exe", and never the current
// folder or the program's own before PATH, where the system itself would
// look first); a name with a folder in it is taken as it is. "" when there
// is none.
std::string ProgramPath(const char* name);
inline bool ProgramAvailable(const char* name) { return !ProgramPath(name).empty(); }

// A child program that reads its standard input from a pipe written here;
// its standard output and error are this program's. It runs in a process
// group of its own, so that Ctrl+C on the terminal reaches this program
// only, which can then end the stream properly. The destructor closes the
// pipe and waits for the program.
// After a stop (os/stop.h) the program is given a bounded time: a write it
// does not take within kWriteGraceMs gives up, and a program that has not
// ended kExitGraceMs after the pipe is closed is ended (SIGTERM to its
// process group, SIGKILL kTerminateGraceMs later; TerminateProcess on
// Windows). It is always waited for.
class ChildProcess {
public:
    enum class Start { Started, NoPipe, NotFound, CommandTooLong, Failed };
    // All bytes written; a failed write (the system's reason given); or
    // the program did not take them in time after a stop.
    enum class Sent { All, Failed, Stopped };
    static constexpr long kWriteGraceMs = 2000;
    static constexpr long kExitGraceMs = 3000;
    static constexpr long kTerminateGraceMs = 2000;

    ChildProcess() = default;
    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    // Runs args[0] (searched for on PATH) with the arguments `args`, ended
    // by a null. Failed comes with the system's reason in `reason`. A
    // closed pipe shows as a failed write, never as a signal to this
    // program.
    Start Run(const char* const* args, char* reason, std::size_t reasonSize);
    bool Running() const { return process != kNone; }
    // All of the bytes into the pipe.
    Sent Write(const void* data, std::size_t bytes, char* reason, std::size_t reasonSize);
    // Closes the pipe and waits for the program: false when none ran, else
    // its exit status in *status (or the signal that ended it, *signalled
    // then true).
    bool Wait(int* status, bool* signalled);
    // True when the last Wait had to end the program after a stop.
    bool Forced() const { return forced; }

private:
    static constexpr std::intptr_t kNone = -1;
    std::intptr_t input = kNone;    // the pipe's writing end
    std::intptr_t process = kNone;  // the child's id or handle
    bool forced = false;
};

}  // namespace os
