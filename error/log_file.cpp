#include "error/log_file.h"

#include "os/files.h"

LogFile::~LogFile() { Close(); }

int LogFile::Open(int mode, const char* name)
{
    if (open) return 0;
    const char* streamMode = nullptr;
    switch (mode) {
    case LOG_FILE_READ:
        read = 1; write = 0; append = 0; streamMode = "rt";
        break;
    case LOG_FILE_WRITE:
        read = 0; write = 1; append = 0; streamMode = "wt";
        break;
    case LOG_FILE_APPEND:
        read = 0; write = 1; append = 1; streamMode = "at";
        break;
    default:
        return 0;
    }
    if (name == nullptr) return 0;
    // "t" is a Windows text-mode flag; the C library here takes the plain modes.
    char plain[3] = {streamMode[0], '\0', '\0'};
    stream = os::OpenFile(name, plain);
    if (stream == nullptr) return 0;
    open = 1;
    return 1;
}

int LogFile::Write(const char* text)
{
    if (!open || !write || text == nullptr) return 0;
    std::fputs(text, stream);
    return 1;
}

int LogFile::Close()
{
    if (!open) return 0;
    std::fclose(stream);
    stream = nullptr;
    open = 0;
    return 1;
}
