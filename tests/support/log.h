// The global error log as each test starts it, the text of report entries,
// and the fixture of the suites whose code reports into the log.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "error/error_log.h"
#include "error/memory.h"

namespace test_support {

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

// Each test starts with a fresh log and ends with the allocator's injected
// failures turned off (also when it stopped half-way through) and the log
// freed. A fixture that adds its own steps calls these: SetUp first,
// TearDown last.
class LogTest : public ::testing::Test {
protected:
    void SetUp() override { FreshLog(); }
    void TearDown() override
    {
        orchid::alloc_test::FailAt(0);
        errorLog.Free();
    }
    static std::string Report() { return errorLog.Report(); }
};

}  // namespace test_support
