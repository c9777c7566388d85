#include "error/error_log.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "error/memory.h"

ErrorLog errorLog;

namespace {

const char* Header(int category)
{
    switch (category) {
    case ERR_NONE: return "No error:\n";
    case ERR_OUT_OF_MEMORY: return "Out of memory error:\nVariable: ";
    case ERR_FILE: return "File error:\nThe file '";
    case ERR_TIMER: return "Timer error:\n";
    case ERR_LOG_SYSTEM: return "Log system error:\n";
    case ERR_WINDOWS: return "Windows error:\n";
    case ERR_PIXMAP: return "Pixmap object error:\n";
    case ERR_DEDRAW: return "DeDraw system error:\n";
    case ERR_DIRECTDRAW: return "DirectDraw error:\n";
    case ERR_AUDIO: return "Audio error:\n";
    case ERR_TINY3D: return "Tiny3D error:\n";
    case ERR_MISC: return "Misc. error:\n";
    case ERR_UNKNOWN: return "Unknown error:\n";
    default: return "Unknown error type:\n";
    }
}

const char* OrEmpty(const char* s) { return s != nullptr ? s : ""; }

}  // namespace

ErrorLog::ErrorLog()
    : text(nullptr), logFileName(nullptr), scratch(nullptr), length(0), count(0), locked(0),
      initialized(0)
{
}

ErrorLog::~ErrorLog()
{
    if (initialized) Free();
}

int ErrorLog::Init(const char* name)
{
    if (initialized) return 0;
    if (name != nullptr && std::strlen(name) >= static_cast<std::size_t>(kNameSize)) return 0;

    text = static_cast<char*>(orchid::MemAlloc(kTextSize));
    if (text == nullptr) return 0;
    // A new text starts empty, so its length does too; the count and the
    // lock outlive a Free.
    length = 0;
    if (name != nullptr) {
        logFileName = static_cast<char*>(orchid::MemAlloc(kNameSize));
        if (logFileName == nullptr) {
            Release();
            return 0;
        }
        std::strcpy(logFileName, name);
    }
    scratch = static_cast<char*>(orchid::MemAlloc(kScratchSize));
    if (scratch == nullptr) {
        Release();
        return 0;
    }
    if (logFileName != nullptr) {
        file.Open(LOG_FILE_WRITE, logFileName);
        file.Close();
    }
    initialized = 1;
    return 1;
}

void ErrorLog::Release()
{
    orchid::MemFree(logFileName);
    orchid::MemFree(text);
    orchid::MemFree(scratch);
    logFileName = nullptr;
    text = nullptr;
    scratch = nullptr;
}

void ErrorLog::Free()
{
    if (!initialized) return;
    Release();
    initialized = 0;
}

void ErrorLog::AppendPieces(const char* const* pieces, int n)
{
    std::size_t total = 0;
    for (int i = 0; i < n; ++i) total += std::strlen(pieces[i]);
    if (static_cast<std::size_t>(length) + total >= static_cast<std::size_t>(kTextSize)) return;
    for (int i = 0; i < n; ++i) {
        std::size_t len = std::strlen(pieces[i]);
        std::memcpy(text + length, pieces[i], len);
        length += static_cast<int32_t>(len);
        file.Write(pieces[i]);
    }
    text[length] = '\0';
}

void ErrorLog::Record(int category, const char* message, int line, const char* sourceFile,
                      int sizeExtra, const char* fileExtra)
{
    if (!initialized || locked) return;
    message = OrEmpty(message);
    sourceFile = OrEmpty(sourceFile);

    if (logFileName != nullptr) file.Open(count != 0 ? LOG_FILE_APPEND : LOG_FILE_WRITE, logFileName);

    std::memset(scratch, 0, kScratchSize);
    std::snprintf(scratch, kScratchSize, "%s", Header(category));
    const char* header[] = {scratch};
    AppendPieces(header, 1);

    if (category == ERR_OUT_OF_MEMORY) {
        std::memset(scratch, 0, kScratchSize);
        std::snprintf(scratch, kScratchSize, "%d", sizeExtra);
        const char* body[] = {message, "Size: ", scratch, " bytes\n"};
        AppendPieces(body, 4);
    } else if (category == ERR_FILE) {
        const char* body[] = {OrEmpty(fileExtra), "' ", message};
        AppendPieces(body, 3);
    } else {
        const char* body[] = {" ", message};
        AppendPieces(body, 2);
    }

    std::memset(scratch, 0, kScratchSize);
    std::snprintf(scratch, kScratchSize, "%d", line);
    const char* footer[] = {"Filename: ", sourceFile, "\nLine: ", scratch, "\n\n"};
    AppendPieces(footer, 5);

    if (logFileName != nullptr) file.Close();
    ++count;
}

void ErrorLog::AddEntry(int category, const char* message, int line, const char* sourceFile, ...)
{
    int sizeExtra = 0;
    const char* fileExtra = nullptr;
    std::va_list args;
    va_start(args, sourceFile);
    if (category == ERR_OUT_OF_MEMORY) sizeExtra = va_arg(args, int);
    if (category == ERR_FILE) fileExtra = va_arg(args, const char*);
    va_end(args);
    Record(category, message, line, sourceFile, sizeExtra, fileExtra);
}

void ErrorLog::Throw(int category, const char* message, int line, const char* sourceFile, ...)
{
    if (!initialized || locked) return;
    int sizeExtra = 0;
    const char* fileExtra = nullptr;
    std::va_list args;
    va_start(args, sourceFile);
    if (category == ERR_OUT_OF_MEMORY) sizeExtra = va_arg(args, int);
    if (category == ERR_FILE) fileExtra = va_arg(args, const char*);
    va_end(args);
    Record(category, message, line, sourceFile, sizeExtra, fileExtra);
    throw ErrorException();
}

void ErrorLog::ThrowFatal(const char* message)
{
    // Like Throw, a log that is not running takes nothing and raises nothing.
    if (!initialized) return;
    message = OrEmpty(message);
    std::size_t len = std::strlen(message);
    if (len > static_cast<std::size_t>(kTextSize - 1)) len = kTextSize - 1;
    std::memset(text, 0, kTextSize);
    std::memcpy(text, message, len);
    length = static_cast<int32_t>(len);
    count = 1;
    locked = 1;
    throw ErrorException();
}
