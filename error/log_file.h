// The log file writer the error log mirrors its report into.
#pragma once

#include <cstdio>

enum LogFileMode : int {
    LOG_FILE_READ = 10,
    LOG_FILE_WRITE = 11,
    LOG_FILE_APPEND = 12,
};

class LogFile {
public:
    LogFile() = default;
    ~LogFile();
    LogFile(const LogFile&) = delete;
    LogFile& operator=(const LogFile&) = delete;

    int Open(int mode, const char* name);
    int Write(const char* text);
    int Close();

private:
    std::FILE* stream = nullptr;
    int read = 0;
    int write = 0;
    int append = 0;
    int open = 0;
};
