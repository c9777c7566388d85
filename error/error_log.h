// The one error log of the program: every failure anywhere is recorded here
// as an entry of the report text, and (through Throw) raised as the one
// exception type, ErrorException. Only the application shell catches it.
#pragma once

#include <cstdint>

#include "error/log_file.h"

// Thrown by value, caught by the shell. It carries nothing: everything the
// user will see is already in the log when it is thrown.
class ErrorException {};

enum ErrorCategory : int {
    ERR_NONE = 0,
    ERR_OUT_OF_MEMORY = 201,
    ERR_FILE = 202,
    ERR_TIMER = 203,
    ERR_LOG_SYSTEM = 204,
    ERR_WINDOWS = 205,
    ERR_PIXMAP = 206,
    ERR_DEDRAW = 207,
    ERR_DIRECTDRAW = 208,
    ERR_AUDIO = 209,
    ERR_TINY3D = 210,
    ERR_MISC = 211,
    ERR_UNKNOWN = 212,
};

class ErrorLog {
public:
    static constexpr int kTextSize = 65536;
    static constexpr int kNameSize = 256;
    static constexpr int kScratchSize = 200;

    ErrorLog();
    ~ErrorLog();
    ErrorLog(const ErrorLog&) = delete;
    ErrorLog& operator=(const ErrorLog&) = delete;

    // 1 when the log was set up. logFileName may be null (no log file); a
    // name longer than 255 characters is refused.
    int Init(const char* logFileName);
    void Free();

    // Records the entry and throws ErrorException. ERR_OUT_OF_MEMORY takes a
    // fifth argument, the size in bytes (int); ERR_FILE the file's name
    // (const char *). Returns normally, having done nothing, when the log is
    // not initialised or is locked.
    void Throw(int category, const char* message, int line, const char* sourceFile, ...);
    // The same arguments; records without throwing (release paths).
    void AddEntry(int category, const char* message, int line, const char* sourceFile, ...);
    // Replaces the whole report with message, locks the log and throws.
    void ThrowFatal(const char* message);

    // The report as it stands; an empty text once the log has been freed,
    // whatever count says.
    const char* Report() const { return text != nullptr ? text : ""; }

    char* text;
    char* logFileName;
    char* scratch;
    int32_t length;
    int32_t count;
    int32_t locked;
    int32_t initialized;

private:
    void Record(int category, const char* message, int line, const char* sourceFile,
                int sizeExtra, const char* fileExtra);
    // Appends the pieces, all or none, if they fit; mirrors them to the file.
    void AppendPieces(const char* const* pieces, int n);
    void Release();

    LogFile file;
};

// The program's one log.
extern ErrorLog errorLog;
