// The global error log as a test starts it, and the text of report entries,
// for the tests of every subsystem that reports into the log.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "error/error_log.h"

namespace test_log {

// The log keeps its count, length and lock across Free: each test starts
// from nothing.
inline void FreshLog()
{
    errorLog.Free();
    errorLog.length = errorLog.count = errorLog.locked = 0;
    ASSERT_EQ(errorLog.Init(nullptr), 1);
}

inline std::string Entry(const char* header, const std::string& message, const char* file, int line)
{
    return std::string(header) + " " + message + "Filename: " + file + "\nLine: " + std::to_string(line) + "\n\n";
}

inline std::string OutOfMemory(const std::string& variable, int size, const char* file, int line)
{
    return "Out of memory error:\nVariable: " + variable + "Size: " + std::to_string(size) + " bytes\nFilename: " +
           file + "\nLine: " + std::to_string(line) + "\n\n";
}

}  // namespace test_log
