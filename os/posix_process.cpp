// Processes on POSIX systems: posix_spawn, a pipe, waitpid; the stop signals.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <time.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "os/process.h"
#include "os/stop.h"

extern char** environ;

namespace os {

namespace {

volatile std::sig_atomic_t stopSignal = 0;

extern "C" void OnStopSignal(int signalNumber) { RequestStop(signalNumber); }

// Milliseconds on the monotonic clock.
long long NowMs()
{
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<long long>(now.tv_sec) * 1000 + now.tv_nsec / 1000000;
}

void SleepMs(long ms)
{
    timespec pause{ms / 1000, (ms % 1000) * 1000000};
    nanosleep(&pause, nullptr);
}

}  // namespace

void CatchStopSignals()
{
    // Without SA_RESTART: a call the signal interrupts returns EINTR, and
    // its caller looks at the request.
    struct sigaction action {};
    action.sa_handler = OnStopSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = 0;
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
}

int StopSignal() { return stopSignal; }

void RequestStop(int signalNumber)
{
    if (stopSignal == 0) stopSignal = signalNumber;
}

const char kExecutableSuffix[] = "";

int ProcessId() { return static_cast<int>(getpid()); }

std::string ExecutablePath()
{
    char path[4096];
    ssize_t n = readlink("/proc/self/exe", path, sizeof path);
    if (n <= 0 || static_cast<std::size_t>(n) >= sizeof path) return "";
    return std::string(path, static_cast<std::size_t>(n));
}

std::vector<std::string> Arguments(int argc, const char* const* argv) { return {argv, argv + argc}; }

int StartupShowCommand() { return 1; }

std::string ProgramPath(const char* name)
{
    if (std::strchr(name, '/') != nullptr) return access(name, X_OK) == 0 ? name : "";
    const char* path = std::getenv("PATH");
    if (path == nullptr) path = "/usr/bin:/bin";
    char candidate[4096];
    while (*path != '\0') {
        const char* end = std::strchr(path, ':');
        std::size_t n = end != nullptr ? static_cast<std::size_t>(end - path) : std::strlen(path);
        // An empty entry stands for the current directory.
        std::snprintf(candidate, sizeof candidate, "%.*s/%s", n == 0 ? 1 : static_cast<int>(n),
                      n == 0 ? "." : path, name);
        if (access(candidate, X_OK) == 0) return candidate;
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
    // A closed pipe must come back as EPIPE from write, not end the program.
    signal(SIGPIPE, SIG_IGN);

    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0) return Start::NoPipe;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, fds[0], 0);
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETPGROUP);
    posix_spawnattr_setpgroup(&attributes, 0);
    pid_t pid = -1;
    int rc = posix_spawnp(&pid, args[0], &actions, &attributes, const_cast<char* const*>(args), environ);
    posix_spawnattr_destroy(&attributes);
    posix_spawn_file_actions_destroy(&actions);
    ::close(fds[0]);
    if (rc != 0) {
        ::close(fds[1]);
        if (rc == ENOENT) return Start::NotFound;
        std::snprintf(reason, reasonSize, "%s", std::strerror(rc));
        return Start::Failed;
    }
    // The writes never block: a child that stops reading is waited for in
    // poll, where a stop is seen.
    fcntl(fds[1], F_SETFL, fcntl(fds[1], F_GETFL) | O_NONBLOCK);
    process = pid;
    input = fds[1];
    forced = false;
    return Start::Started;
}

ChildProcess::Sent ChildProcess::Write(const void* data, std::size_t bytes, char* reason, std::size_t reasonSize)
{
    const auto* next = static_cast<const unsigned char*>(data);
    std::size_t done = 0;
    long long stopSeen = -1;
    while (done < bytes) {
        ssize_t n = ::write(static_cast<int>(input), next + done, bytes - done);
        if (n >= 0) {
            done += static_cast<std::size_t>(n);
            continue;
        }
        if (errno != EAGAIN && errno != EINTR) {
            std::snprintf(reason, reasonSize, "%s", std::strerror(errno));
            return Sent::Failed;
        }
        // After a stop the child has a while to take the rest of the data.
        if (StopSignal() != 0) {
            if (stopSeen < 0) stopSeen = NowMs();
            if (NowMs() - stopSeen >= kWriteGraceMs) return Sent::Stopped;
        }
        pollfd ready{static_cast<int>(input), POLLOUT, 0};
        poll(&ready, 1, 100);
    }
    return Sent::All;
}

bool ChildProcess::Wait(int* status, bool* signalled)
{
    *status = 0;
    *signalled = false;
    if (input != kNone) ::close(static_cast<int>(input));
    input = kNone;
    if (process == kNone) return false;
    const pid_t pid = static_cast<pid_t>(process);
    int waitStatus = 0;
    pid_t r = 0;
    // Without a stop the child takes as long as it needs. After one it has
    // kExitGraceMs to end, then its process group is sent SIGTERM, and
    // SIGKILL kTerminateGraceMs later.
    long long stopSeen = -1;
    int sent = 0;
    while ((r = waitpid(pid, &waitStatus, WNOHANG)) == 0 || (r < 0 && errno == EINTR)) {
        if (StopSignal() != 0) {
            const long long now = NowMs();
            if (stopSeen < 0) stopSeen = now;
            if (sent == 0 && now - stopSeen >= kExitGraceMs) {
                kill(-pid, SIGTERM);
                sent = SIGTERM;
                forced = true;
            } else if (sent == SIGTERM && now - stopSeen >= kExitGraceMs + kTerminateGraceMs) {
                kill(-pid, SIGKILL);
                sent = SIGKILL;
            }
        }
        SleepMs(20);
    }
    process = kNone;
    // The child's own children go with it.
    if (sent != 0) kill(-pid, SIGKILL);
    if (r <= 0) return false;
    *signalled = !WIFEXITED(waitStatus);
    *status = *signalled ? WTERMSIG(waitStatus) : WEXITSTATUS(waitStatus);
    return true;
}

}  // namespace os
