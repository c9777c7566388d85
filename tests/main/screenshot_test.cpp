#include "main/screenshot.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "tests/support/scratch_folder.h"

namespace {

std::string Read(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

}  // namespace

TEST(ScreenshotTest, NamesCarryTheShowTime)
{
    EXPECT_EQ(ScreenshotName(6307, 1), "orchid-063.07.png");
    EXPECT_EQ(ScreenshotName(0, 1), "orchid-000.00.png");
    EXPECT_EQ(ScreenshotName(21461, 3), "orchid-214.61-3.png");
    EXPECT_EQ(ShowTime(905), "9.05");
}

// A shot never replaces a file: the same hundredth again takes the next
// name, and each file holds the bytes it was given, with nothing left beside.
TEST(ScreenshotTest, TheSameHundredthAgainTakesTheNextName)
{
    test_support::ScratchFolder folder("screenshot");
    const std::string folders[] = {folder.Path()};
    std::ofstream(folder.Path() + "/orchid-001.00.png") << "mine";
    const std::string line = WriteScreenshot("first", 100, folders, 1);
    EXPECT_EQ(line, "orchid: the frame at 1.00 s is in " + folder.Path() + "/orchid-001.00-2.png");
    WriteScreenshot("second", 100, folders, 1);
    EXPECT_EQ(folder.Names(), (std::vector<std::string>{"orchid-001.00-2.png", "orchid-001.00-3.png", "orchid-001.00.png"}));
    EXPECT_EQ(Read(folder.Path() + "/orchid-001.00.png"), "mine");
    EXPECT_EQ(Read(folder.Path() + "/orchid-001.00-2.png"), "first");
    EXPECT_EQ(Read(folder.Path() + "/orchid-001.00-3.png"), "second");
}

// A folder that is missing, unset or not a folder gives way to the next;
// when none takes it, the line says so and nothing is written.
TEST(ScreenshotTest, AFolderThatIsNotThereGivesWayToTheNext)
{
    test_support::ScratchFolder folder("screenshot");
    std::ofstream(folder.Path() + "/file") << "x";
    const std::string second = folder.Path() + "/second";
    std::filesystem::create_directory(second);
    const std::string folders[] = {"", folder.Path() + "/missing", folder.Path() + "/file", second};
    EXPECT_EQ(WriteScreenshot("png", 4200, folders, 4), "orchid: the frame at 42.00 s is in " + second + "/orchid-042.00.png");

    const std::string none[] = {folder.Path() + "/missing"};
    EXPECT_EQ(WriteScreenshot("png", 4200, none, 1), "orchid: the screenshot was not written (no folder to write it to)");
    EXPECT_EQ(WriteScreenshot("", 4200, folders, 4), "orchid: the screenshot could not be made: out of memory");
    EXPECT_EQ(folder.Names(), (std::vector<std::string>{"file", "second"}));
}
