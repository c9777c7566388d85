// Files and folders on POSIX systems (Linux, and the browser's emulation).
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdarg>
#include <cstdlib>
#include <filesystem>

#include "os/files.h"

namespace os {

namespace {

FileKind KindOfMode(mode_t mode)
{
    if (S_ISREG(mode)) return FileKind::Regular;
    if (S_ISDIR(mode)) return FileKind::Folder;
    return FileKind::Other;
}

}  // namespace

const char kPathSeparators[] = "/";

FileKind KindOf(const char* path)
{
    struct stat st;
    return stat(path, &st) == 0 ? KindOfMode(st.st_mode) : FileKind::None;
}

FileKind KindOf(std::FILE* stream)
{
    struct stat st;
    return fstat(fileno(stream), &st) == 0 ? KindOfMode(st.st_mode) : FileKind::None;
}

bool PathExists(const char* path)
{
    struct stat st;
    return lstat(path, &st) == 0;
}

long long FileSize(const char* path)
{
    struct stat st;
    if (stat(path, &st) != 0 || !S_ISREG(st.st_mode)) return -1;
    return static_cast<long long>(st.st_size);
}

bool MakeFolder(const char* path) { return mkdir(path, 0777) == 0; }

std::string ThroughLinks(const char* path)
{
    if (char* real = realpath(path, nullptr)) {
        std::string resolved = real;
        std::free(real);
        return resolved;
    }
    return path;
}

std::string FullPath(const char* path)
{
    std::error_code error;
    std::filesystem::path full = std::filesystem::absolute(path, error);
    if (error) return path;
    return full.lexically_normal().string();
}

std::FILE* OpenFile(const char* path, const char* mode) { return std::fopen(path, mode); }

bool RemoveFile(const char* path) { return std::remove(path) == 0; }

bool IsTerminal(std::FILE* stream) { return isatty(fileno(stream)) != 0; }

void PrintText(std::FILE* stream, const char* format, ...)
{
    va_list args;
    va_start(args, format);
    std::vfprintf(stream, format, args);
    va_end(args);
}

std::FILE* CreateNewFile(const char* path, int* error)
{
    const int fd = open(path, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0) {
        *error = errno;
        return nullptr;
    }
    std::FILE* stream = fdopen(fd, "wb");
    if (stream == nullptr) {
        *error = errno != 0 ? errno : EIO;
        close(fd);
        std::remove(path);
    }
    return stream;
}

int RenameFile(const char* from, const char* to, bool overwrite)
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

}  // namespace os
