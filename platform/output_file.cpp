#include "platform/output_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#if defined(_WIN32)
#define WIN32_LEAN_AND_MEAN
#include <io.h>
#include <process.h>
#include <windows.h>
#else
#include <unistd.h>
#endif

#include <cerrno>
#include <cstring>

namespace platform {

namespace {

#if defined(_WIN32)
int ProcessId() { return _getpid(); }

int CreateNew(const char* name) { return _open(name, _O_WRONLY | _O_CREAT | _O_EXCL | _O_BINARY, _S_IREAD | _S_IWRITE); }

// The error number closest to a failed Windows call's reason.
int ErrnoOf(DWORD code)
{
    switch (code) {
    case ERROR_ALREADY_EXISTS:
    case ERROR_FILE_EXISTS: return EEXIST;
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND: return ENOENT;
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION: return EACCES;
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL: return ENOSPC;
    default: return EIO;
    }
}

// Moves `from` to `to`; replaces an existing `to` only with `overwrite`.
int Move(const char* from, const char* to, bool overwrite)
{
    if (MoveFileExA(from, to, overwrite ? MOVEFILE_REPLACE_EXISTING : 0)) return 0;
    return ErrnoOf(GetLastError());
}
#else
int ProcessId() { return static_cast<int>(getpid()); }

int CreateNew(const char* name) { return open(name, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666); }

int Move(const char* from, const char* to, bool overwrite)
{
    if (overwrite) return rename(from, to) == 0 ? 0 : errno;
    // A hard link is made only where nothing has the name yet, in one step,
    // so a file that appears meanwhile is never replaced.
    if (link(from, to) == 0) {
        unlink(from);
        return 0;
    }
    if (errno == EEXIST) return EEXIST;
    // File systems without hard links: check, then rename.
    if (errno == EPERM || errno == EOPNOTSUPP || errno == ENOTSUP || errno == ENOSYS || errno == EMLINK) {
        if (PathExists(to)) return EEXIST;
        return rename(from, to) == 0 ? 0 : errno;
    }
    return errno;
}
#endif

}  // namespace

OutputFile::~OutputFile() { Discard(); }

bool OutputFile::Create(const char* path)
{
    Discard();
    error = 0;
    const int n = std::snprintf(final, sizeof final, "%s", path);
    if (n < 0 || static_cast<std::size_t>(n) >= sizeof final) {
        final[0] = '\0';
        error = ENAMETOOLONG;
        return false;
    }
    const int id = ProcessId();
    for (int attempt = 0; attempt < 100; ++attempt) {
        if (attempt == 0)
            std::snprintf(temporary, sizeof temporary, "%s.part-%d", final, id);
        else
            std::snprintf(temporary, sizeof temporary, "%s.part-%d-%d", final, id, attempt + 1);
        const int fd = CreateNew(temporary);
        if (fd < 0) {
            if (errno == EEXIST) continue;
            error = errno;
            return false;
        }
#if defined(_WIN32)
        stream = _fdopen(fd, "wb");
#else
        stream = fdopen(fd, "wb");
#endif
        if (stream == nullptr) {
            error = errno != 0 ? errno : EIO;
#if defined(_WIN32)
            _close(fd);
#else
            close(fd);
#endif
            std::remove(temporary);
            return false;
        }
        pending = true;
        return true;
    }
    error = EEXIST;
    return false;
}

bool OutputFile::CloseStream()
{
    if (stream == nullptr) return true;
    errno = 0;
    int failure = 0;
    if (std::fflush(stream) != 0 || std::ferror(stream)) failure = errno != 0 ? errno : EIO;
    if (std::fclose(stream) != 0 && failure == 0) failure = errno != 0 ? errno : EIO;
    stream = nullptr;
    if (failure != 0) {
        error = failure;
        return false;
    }
    return true;
}

bool OutputFile::Commit(bool overwrite)
{
    if (!pending) return false;
    if (!CloseStream()) return false;
    const int failure = Move(temporary, final, overwrite);
    if (failure != 0) {
        error = failure;
        return false;
    }
    pending = false;
    return true;
}

void OutputFile::Discard()
{
    if (stream != nullptr) {
        std::fclose(stream);
        stream = nullptr;
    }
    if (pending) std::remove(temporary);
    pending = false;
}

void OutputFile::Keep()
{
    CloseStream();
    pending = false;
}

bool PathExists(const char* path)
{
#if defined(_WIN32)
    return GetFileAttributesA(path) != INVALID_FILE_ATTRIBUTES;
#else
    struct stat st;
    return lstat(path, &st) == 0;
#endif
}

long long FileSize(const char* path)
{
#if defined(_WIN32)
    struct _stati64 st;
    if (_stati64(path, &st) != 0 || (st.st_mode & _S_IFMT) != _S_IFREG) return -1;
#else
    struct stat st;
    if (stat(path, &st) != 0 || !S_ISREG(st.st_mode)) return -1;
#endif
    return static_cast<long long>(st.st_size);
}

}  // namespace platform
