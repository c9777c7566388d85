// Files and folders on Windows (the C runtime's calls, and the system's
// where the runtime has none).
#define WIN32_LEAN_AND_MEAN
#include <direct.h>
#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>
#include <windows.h>

#include <cerrno>

#include "os/files.h"

namespace os {

namespace {

FileKind KindOfMode(unsigned mode)
{
    switch (mode & _S_IFMT) {
    case _S_IFREG: return FileKind::Regular;
    case _S_IFDIR: return FileKind::Folder;
    default: return FileKind::Other;
    }
}

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

}  // namespace

const char kPathSeparators[] = "\\/";

FileKind KindOf(const char* path)
{
    struct _stati64 st;
    return _stati64(path, &st) == 0 ? KindOfMode(st.st_mode) : FileKind::None;
}

FileKind KindOf(std::FILE* stream)
{
    struct _stati64 st;
    return _fstati64(_fileno(stream), &st) == 0 ? KindOfMode(st.st_mode) : FileKind::None;
}

bool PathExists(const char* path) { return GetFileAttributesA(path) != INVALID_FILE_ATTRIBUTES; }

long long FileSize(const char* path)
{
    struct _stati64 st;
    if (_stati64(path, &st) != 0 || (st.st_mode & _S_IFMT) != _S_IFREG) return -1;
    return static_cast<long long>(st.st_size);
}

bool MakeFolder(const char* path) { return _mkdir(path) == 0; }

std::string ThroughLinks(const char* path) { return path; }

bool IsTerminal(std::FILE* stream) { return _isatty(_fileno(stream)) != 0; }

std::FILE* CreateNewFile(const char* path, int* error)
{
    const int fd = _open(path, _O_WRONLY | _O_CREAT | _O_EXCL | _O_BINARY, _S_IREAD | _S_IWRITE);
    if (fd < 0) {
        *error = errno;
        return nullptr;
    }
    std::FILE* stream = _fdopen(fd, "wb");
    if (stream == nullptr) {
        *error = errno != 0 ? errno : EIO;
        _close(fd);
        std::remove(path);
    }
    return stream;
}

int RenameFile(const char* from, const char* to, bool overwrite)
{
    if (MoveFileExA(from, to, overwrite ? MOVEFILE_REPLACE_EXISTING : 0)) return 0;
    return ErrnoOf(GetLastError());
}

}  // namespace os
