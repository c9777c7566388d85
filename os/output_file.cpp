#include "os/output_file.h"

#include <cerrno>
#include <cstring>

#include "os/files.h"
#include "os/process.h"

namespace os {

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
        int failure = 0;
        stream = CreateNewFile(temporary, &failure);
        if (stream == nullptr) {
            if (failure == EEXIST) continue;
            error = failure;
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
    const int failure = RenameFile(temporary, final, overwrite);
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
    if (pending) RemoveFile(temporary);
    pending = false;
}

void OutputFile::Keep()
{
    CloseStream();
    pending = false;
}

}  // namespace os
