#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>

#include "error/error_log.h"
#include "error/memory.h"

namespace {

// The log file is a text file: read as text, so Windows' line ends (CR LF)
// read as the report's "\n".
std::string ReadFile(const std::string& path)
{
    std::ifstream in(path);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

std::string TempPath(const char* name)
{
    return std::string(::testing::TempDir()) + name;
}

TEST(ErrorLogText, EveryCategoryHeaderAndBody)
{
    struct Case {
        int category;
        const char* expected;
    };
    const Case cases[] = {
        {ERR_NONE, "No error:\n Msg.\nFilename: m/x\nLine: 7\n\n"},
        {ERR_TIMER, "Timer error:\n Msg.\nFilename: m/x\nLine: 7\n\n"},
        {ERR_LOG_SYSTEM, "Log system error:\n Msg.\nFilename: m/x\nLine: 7\n\n"},
        {ERR_WINDOWS, "Windows error:\n Msg.\nFilename: m/x\nLine: 7\n\n"},
        {ERR_PIXMAP, "Pixmap object error:\n Msg.\nFilename: m/x\nLine: 7\n\n"},
        {ERR_DEDRAW, "DeDraw system error:\n Msg.\nFilename: m/x\nLine: 7\n\n"},
        {ERR_DIRECTDRAW, "DirectDraw error:\n Msg.\nFilename: m/x\nLine: 7\n\n"},
        {ERR_AUDIO, "Audio error:\n Msg.\nFilename: m/x\nLine: 7\n\n"},
        {ERR_TINY3D, "Tiny3D error:\n Msg.\nFilename: m/x\nLine: 7\n\n"},
        {ERR_MISC, "Misc. error:\n Msg.\nFilename: m/x\nLine: 7\n\n"},
        {ERR_UNKNOWN, "Unknown error:\n Msg.\nFilename: m/x\nLine: 7\n\n"},
        {1, "Unknown error type:\n Msg.\nFilename: m/x\nLine: 7\n\n"},
        {300, "Unknown error type:\n Msg.\nFilename: m/x\nLine: 7\n\n"},
        {-1, "Unknown error type:\n Msg.\nFilename: m/x\nLine: 7\n\n"},
    };
    for (const Case& c : cases) {
        ErrorLog log;
        ASSERT_EQ(log.Init(nullptr), 1);
        log.AddEntry(c.category, "Msg.\n", 7, "m/x");
        EXPECT_STREQ(log.text, c.expected) << "category " << c.category;
        EXPECT_EQ(log.length, static_cast<int>(std::string(c.expected).size()));
        EXPECT_EQ(log.count, 1);
    }
}

TEST(ErrorLogText, OutOfMemoryAndFileFormsAndConsecutiveEntries)
{
    ErrorLog log;
    ASSERT_EQ(log.Init(nullptr), 1);
    log.AddEntry(ERR_OUT_OF_MEMORY, "int *leftbank\n", 120, "effects/polygon_render", 1920);
    log.AddEntry(ERR_OUT_OF_MEMORY, "x\n", 1, "a", -5);
    log.AddEntry(ERR_FILE, "could not be read.\n", -3, "b/c", "music.mp3");
    log.AddEntry(ERR_DEDRAW, "Not initialized.\n", 99, "dedraw/dedraw");
    EXPECT_STREQ(log.text,
                 "Out of memory error:\nVariable: int *leftbank\nSize: 1920 bytes\n"
                 "Filename: effects/polygon_render\nLine: 120\n\n"
                 "Out of memory error:\nVariable: x\nSize: -5 bytes\nFilename: a\nLine: 1\n\n"
                 "File error:\nThe file 'music.mp3' could not be read.\nFilename: b/c\nLine: -3\n\n"
                 "DeDraw system error:\n Not initialized.\nFilename: dedraw/dedraw\nLine: 99\n\n");
    EXPECT_EQ(log.count, 4);
}

TEST(ErrorLogThrow, ThrowsOnlyWhenActiveAndFatalReplacesTheReport)
{
    ErrorLog log;
    EXPECT_NO_THROW(log.Throw(ERR_MISC, "a\n", 1, "f"));
    EXPECT_NO_THROW(log.AddEntry(ERR_MISC, "a\n", 1, "f"));
    EXPECT_EQ(log.count, 0);

    ASSERT_EQ(log.Init(nullptr), 1);
    EXPECT_EQ(log.Init(nullptr), 0);  // second Init refused, log unchanged
    EXPECT_THROW(log.Throw(ERR_AUDIO, "Can't create stream.\n", 12, "audio/audio"), ErrorException);
    EXPECT_STREQ(log.text, "Audio error:\n Can't create stream.\nFilename: audio/audio\nLine: 12\n\n");
    EXPECT_THROW(log.Throw(ERR_OUT_OF_MEMORY, "pixChar\n", 3, "pixmap/pixmap", 64), ErrorException);
    EXPECT_EQ(log.count, 2);

    EXPECT_THROW(log.ThrowFatal("Could not change display mode.\n"), ErrorException);
    EXPECT_STREQ(log.text, "Could not change display mode.\n");
    EXPECT_EQ(log.count, 1);
    EXPECT_EQ(log.locked, 1);
    EXPECT_EQ(log.length, 31);

    EXPECT_NO_THROW(log.Throw(ERR_DEDRAW, "Not initialized.\n", 5, "dedraw/dedraw"));
    log.AddEntry(ERR_PIXMAP, "Not initialized.\n", 5, "pixmap/pixmap");
    EXPECT_STREQ(log.text, "Could not change display mode.\n");
    EXPECT_EQ(log.count, 1);
}

TEST(ErrorLogLimit, EachPartFitsOrIsLeftOut)
{
    ErrorLog log;
    ASSERT_EQ(log.Init(nullptr), 1);
    // Fill the report to 65,530 characters.
    std::string filler(65530 - std::string("Misc. error:\n ").size() - std::string("Filename: f\nLine: 1\n\n").size(), 'x');
    log.AddEntry(ERR_MISC, filler.c_str(), 1, "f");
    ASSERT_EQ(log.length, 65530);

    // Header, body and footer each longer than 5 characters: nothing fits,
    // but the entry is still counted.
    log.AddEntry(ERR_MISC, "long message\n", 2, "g");
    EXPECT_EQ(log.length, 65530);
    EXPECT_EQ(log.count, 2);

    // Header too long, body " ab\n" (4 characters) fits, footer too long.
    log.AddEntry(ERR_DEDRAW, "ab\n", 3, "h");
    EXPECT_EQ(log.length, 65534);
    EXPECT_EQ(std::string(log.text + 65530), " ab\n");
    EXPECT_EQ(log.count, 3);

    // Exactly filling to 65,536 would leave no room for the terminator.
    log.AddEntry(ERR_MISC, "c", 4, "h");
    EXPECT_EQ(log.length, 65534);
    EXPECT_EQ(log.text[65534], '\0');
}

TEST(ErrorLogFile, MirrorsTheReport)
{
    std::string path = TempPath("orchid_error_log.txt");
    {
        std::ofstream stale(path);
        stale << "old contents";
    }
    ErrorLog log;
    ASSERT_EQ(log.Init(path.c_str()), 1);
    EXPECT_EQ(ReadFile(path), "");  // Init empties the file

    log.AddEntry(ERR_TIMER, "Timer must be initialized.\n", 40, "timer/timer");
    log.AddEntry(ERR_OUT_OF_MEMORY, "ylook\n", 70, "pixmap/pixmap", 1920);
    EXPECT_EQ(ReadFile(path), std::string(log.text));

    // The fatal report is not written to the file.
    std::string before = ReadFile(path);
    EXPECT_THROW(log.ThrowFatal("8 bpp mode not supported.\n"), ErrorException);
    EXPECT_EQ(ReadFile(path), before);
    log.Free();
    std::remove(path.c_str());
}

TEST(ErrorLogInit, RefusesOverlongNameAndSurvivesAllocationFailure)
{
    std::string name255 = TempPath("") + std::string(255 - TempPath("").size(), 'n');
    std::string name256 = name255 + "n";
    {
        ErrorLog log;
        EXPECT_EQ(log.Init(name256.c_str()), 0);
        EXPECT_EQ(log.initialized, 0);
        EXPECT_EQ(log.Init(name255.c_str()), 1);
        EXPECT_STREQ(log.logFileName, name255.c_str());
        log.Free();
        std::remove(name255.c_str());
    }
    for (long n = 1; n <= 3; ++n) {
        ErrorLog log;
        orchid::alloc_test::FailAt(n);
        EXPECT_EQ(log.Init(TempPath("orchid_unused_log.txt").c_str()), 0) << "allocation " << n;
        orchid::alloc_test::FailAt(0);
        EXPECT_EQ(log.initialized, 0);
        EXPECT_EQ(log.text, nullptr);
        EXPECT_NO_THROW(log.Throw(ERR_MISC, "dropped\n", 1, "f"));
        EXPECT_EQ(log.count, 0);
    }
}

TEST(ErrorLogFree, KeepsCountButNeverExposesFreedText)
{
    ErrorLog log;
    ASSERT_EQ(log.Init(nullptr), 1);
    log.AddEntry(ERR_MISC, "a\n", 1, "f");
    log.Free();
    EXPECT_EQ(log.count, 1);
    EXPECT_EQ(log.text, nullptr);
    EXPECT_STREQ(log.Report(), "");
    log.AddEntry(ERR_MISC, "b\n", 1, "f");  // not recorded once freed
    EXPECT_EQ(log.count, 1);
    // A new Init starts a fresh, empty text; later entries read from its start.
    ASSERT_EQ(log.Init(nullptr), 1);
    EXPECT_STREQ(log.Report(), "");
    EXPECT_EQ(log.length, 0);
    log.AddEntry(ERR_MISC, "c\n", 2, "f");
    EXPECT_STREQ(log.Report(), "Misc. error:\n c\nFilename: f\nLine: 2\n\n");
    EXPECT_EQ(log.count, 2);
    log.Free();
}

}  // namespace
