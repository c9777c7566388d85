// Files and folders on Windows: the C runtime's wide calls, and the system's
// where the runtime has none. Paths arrive as UTF-8 and go to the system as
// UTF-16 (os/windows_text.h).
#define WIN32_LEAN_AND_MEAN
#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>
#include <windows.h>

#include <cerrno>
#include <cstdarg>

#include "os/files.h"
#include "os/windows_text.h"

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

bool Stat(const char* path, struct _stati64* st)
{
    const WidePath wide(path);
    return wide.get() != nullptr && _wstati64(wide.get(), st) == 0;
}

}  // namespace

const char kPathSeparators[] = "\\/";

FileKind KindOf(const char* path)
{
    struct _stati64 st;
    return Stat(path, &st) ? KindOfMode(st.st_mode) : FileKind::None;
}

FileKind KindOf(std::FILE* stream)
{
    struct _stati64 st;
    return _fstati64(_fileno(stream), &st) == 0 ? KindOfMode(st.st_mode) : FileKind::None;
}

bool PathExists(const char* path)
{
    const WidePath wide(path);
    return wide.get() != nullptr && GetFileAttributesW(wide.get()) != INVALID_FILE_ATTRIBUTES;
}

long long FileSize(const char* path)
{
    struct _stati64 st;
    if (!Stat(path, &st) || (st.st_mode & _S_IFMT) != _S_IFREG) return -1;
    return static_cast<long long>(st.st_size);
}

bool MakeFolder(const char* path)
{
    const WidePath wide(path);
    return wide.get() != nullptr && _wmkdir(wide.get()) == 0;
}

std::string ThroughLinks(const char* path) { return path; }

std::string FullPath(const char* path)
{
    const WidePath wide(path);
    const DWORD size = wide.get() != nullptr ? GetFullPathNameW(wide.get(), 0, nullptr, nullptr) : 0;
    if (size == 0) return path;
    std::wstring full(size, L'\0');
    const DWORD n = GetFullPathNameW(wide.get(), size, full.data(), nullptr);
    return n > 0 && n < size ? Utf8(full.c_str(), static_cast<int>(n)) : path;
}

std::FILE* OpenFile(const char* path, const char* mode)
{
    const WidePath wide(path);
    wchar_t wideMode[8] = {};
    for (std::size_t i = 0; i + 1 < sizeof wideMode / sizeof wideMode[0] && mode[i] != '\0'; ++i)
        wideMode[i] = static_cast<unsigned char>(mode[i]);
    return wide.get() != nullptr ? _wfopen(wide.get(), wideMode) : nullptr;
}

bool RemoveFile(const char* path)
{
    const WidePath wide(path);
    return wide.get() != nullptr && _wremove(wide.get()) == 0;
}

bool IsTerminal(std::FILE* stream) { return _isatty(_fileno(stream)) != 0; }

void PrintText(std::FILE* stream, const char* format, ...)
{
    va_list args;
    va_start(args, format);
    const HANDLE handle = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(stream)));
    DWORD mode = 0;
    if (handle == INVALID_HANDLE_VALUE || !GetConsoleMode(handle, &mode)) {
        std::vfprintf(stream, format, args);
        va_end(args);
        return;
    }
    va_list again;
    va_copy(again, args);
    const int n = std::vsnprintf(nullptr, 0, format, args);
    va_end(args);
    std::string text(n > 0 ? static_cast<std::size_t>(n) + 1 : 1, '\0');
    if (n > 0) std::vsnprintf(text.data(), text.size(), format, again);
    va_end(again);
    const std::wstring wide = Wide(text.c_str());
    // What the stream holds goes first.
    std::fflush(stream);
    DWORD written = 0;
    WriteConsoleW(handle, wide.data(), static_cast<DWORD>(wide.size()), &written, nullptr);
}

std::FILE* CreateNewFile(const char* path, int* error)
{
    const WidePath wide(path);
    if (wide.get() == nullptr) {
        *error = errno;
        return nullptr;
    }
    const int fd = _wopen(wide.get(), _O_WRONLY | _O_CREAT | _O_EXCL | _O_BINARY, _S_IREAD | _S_IWRITE);
    if (fd < 0) {
        *error = errno;
        return nullptr;
    }
    std::FILE* stream = _fdopen(fd, "wb");
    if (stream == nullptr) {
        *error = errno != 0 ? errno : EIO;
        _close(fd);
        _wremove(wide.get());
    }
    return stream;
}

int RenameFile(const char* from, const char* to, bool overwrite)
{
    const WidePath wideFrom(from);
    const WidePath wideTo(to);
    if (wideFrom.get() == nullptr || wideTo.get() == nullptr) return errno;
    if (MoveFileExW(wideFrom.get(), wideTo.get(), overwrite ? MOVEFILE_REPLACE_EXISTING : 0)) return 0;
    return ErrnoOf(GetLastError());
}

}  // namespace os
