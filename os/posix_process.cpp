// Processes on POSIX systems: posix_spawn, a pipe, waitpid.
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "os/process.h"

extern char** environ;

namespace os {

const char kExecutableSuffix[] = "";

int ProcessId() { return static_cast<int>(getpid()); }

std::string ExecutablePath()
{
    char path[4096];
    ssize_t n = readlink("/proc/self/exe", path, sizeof path);
    if (n <= 0 || static_cast<std::size_t>(n) >= sizeof path) return "";
    return std::string(path, static_cast<std::size_t>(n));
}

int StartupShowCommand() { return 1; }

bool ProgramAvailable(const char* name)
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
    process = pid;
    input = fds[1];
    return Start::Started;
}

bool ChildProcess::Write(const void* data, std::size_t bytes, char* reason, std::size_t reasonSize)
{
    const auto* next = static_cast<const unsigned char*>(data);
    std::size_t done = 0;
    while (done < bytes) {
        ssize_t n = ::write(static_cast<int>(input), next + done, bytes - done);
        if (n < 0) {
            if (errno == EINTR) continue;
            std::snprintf(reason, reasonSize, "%s", std::strerror(errno));
            return false;
        }
        done += static_cast<std::size_t>(n);
    }
    return true;
}

bool ChildProcess::Wait(int* status, bool* signalled)
{
    *status = 0;
    *signalled = false;
    if (input != kNone) ::close(static_cast<int>(input));
    input = kNone;
    if (process == kNone) return false;
    int waitStatus = 0;
    pid_t r;
    while ((r = waitpid(static_cast<pid_t>(process), &waitStatus, 0)) < 0 && errno == EINTR) {
    }
    process = kNone;
    if (r <= 0) return false;
    *signalled = !WIFEXITED(waitStatus);
    *status = *signalled ? WTERMSIG(waitStatus) : WEXITSTATUS(waitStatus);
    return true;
}

}  // namespace os
