// PendingFile: the temporary file is created exclusively (O_EXCL) under the
// final name plus the process number and a count, so two writers never
// share one, and it is renamed only after every byte was written and the
// file closed without error. The data is not forced to the disk first
// (no fsync): the rename guards readers and failures, not power loss.
#include "tools/jpeg/pending_file.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstdlib>
#include <utility>

#ifdef _WIN32
#include <io.h>
#include <process.h>
#include <windows.h>
#else
#include <unistd.h>
#endif

namespace {

#ifdef _WIN32
int CreateExclusive(const std::string& path)
{
    return _open(path.c_str(), _O_CREAT | _O_EXCL | _O_WRONLY | _O_BINARY, _S_IREAD | _S_IWRITE);
}
std::FILE* StreamOf(int fd) { return _fdopen(fd, "wb"); }
int ProcessId() { return _getpid(); }
bool Rename(const std::string& from, const std::string& to)
{
    return MoveFileExA(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
}
#else
int CreateExclusive(const std::string& path)
{
    // Permissions as an ordinary new file gets them, the umask applied.
    return ::open(path.c_str(), O_CREAT | O_EXCL | O_WRONLY | O_CLOEXEC, 0666);
}
std::FILE* StreamOf(int fd) { return fdopen(fd, "wb"); }
int ProcessId() { return static_cast<int>(getpid()); }
bool Rename(const std::string& from, const std::string& to) { return std::rename(from.c_str(), to.c_str()) == 0; }
#endif

}  // namespace

PendingFile::PendingFile(std::string path) : path_(std::move(path))
{
#ifndef _WIN32
    // Through symbolic links to the file itself, so that a link stays a
    // link and the temporary file lies beside the file it replaces.
    if (char* real = realpath(path_.c_str(), nullptr)) {
        path_ = real;
        std::free(real);
    }
#endif
}

PendingFile::~PendingFile() { discard(); }

bool PendingFile::open()
{
    discard();
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::string name = path_ + "." + std::to_string(ProcessId()) + "." + std::to_string(attempt) + ".tmp";
        int fd = CreateExclusive(name);
        if (fd < 0) {
            if (errno == EEXIST) continue;
            return false;
        }
        file_ = StreamOf(fd);
        if (file_ == nullptr) {
#ifdef _WIN32
            _close(fd);
#else
            ::close(fd);
#endif
            std::remove(name.c_str());
            return false;
        }
        temp_path_ = name;
        return true;
    }
    return false;
}

bool PendingFile::commit()
{
    if (file_ == nullptr) return false;
    bool ok = std::fflush(file_) == 0 && !std::ferror(file_);
    ok = std::fclose(file_) == 0 && ok;
    file_ = nullptr;
    if (ok && Rename(temp_path_, path_)) {
        temp_path_.clear();
        return true;
    }
    std::remove(temp_path_.c_str());
    temp_path_.clear();
    return false;
}

void PendingFile::discard()
{
    if (file_ != nullptr) {
        std::fclose(file_);
        file_ = nullptr;
    }
    if (!temp_path_.empty()) {
        std::remove(temp_path_.c_str());
        temp_path_.clear();
    }
}
