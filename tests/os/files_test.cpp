// Files and processes as the system reports them: what a name stands for
// (by path and by open stream), folders made once, a new file that never
// takes a name already there, names outside ASCII, and the program's own
// path and id.
#include <gtest/gtest.h>

#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "os/files.h"
#include "os/process.h"

namespace {

class OsFilesTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        dir = std::filesystem::temp_directory_path() /
              ("orchid-os-files-" + std::to_string(os::ProcessId()) + "-" +
               ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::remove_all(dir);
        std::filesystem::create_directories(dir);
    }
    void TearDown() override
    {
        std::error_code ignored;
        std::filesystem::remove_all(dir, ignored);
    }
    std::string In(const char* name) const { return (dir / name).string(); }

    std::filesystem::path dir;
};

TEST_F(OsFilesTest, KindsByPathAndByStream)
{
    const std::string file = In("frame.png");
    std::ofstream(file, std::ios::binary) << "12345";
    EXPECT_EQ(os::KindOf(file.c_str()), os::FileKind::Regular);
    EXPECT_EQ(os::KindOf(dir.string().c_str()), os::FileKind::Folder);
    EXPECT_EQ(os::KindOf(In("none").c_str()), os::FileKind::None);
    EXPECT_FALSE(os::PathExists(In("none").c_str()));
    EXPECT_EQ(os::FileSize(file.c_str()), 5);

    std::FILE* stream = std::fopen(file.c_str(), "rb");
    ASSERT_NE(stream, nullptr);
    EXPECT_EQ(os::KindOf(stream), os::FileKind::Regular);
    EXPECT_FALSE(os::IsTerminal(stream));
    std::fclose(stream);
}

TEST_F(OsFilesTest, AFolderIsMadeOnceAndANewFileNeverTakesAnExistingName)
{
    const std::string folder = In("frames");
    ASSERT_TRUE(os::MakeFolder(folder.c_str()));
    EXPECT_EQ(os::KindOf(folder.c_str()), os::FileKind::Folder);
    EXPECT_FALSE(os::MakeFolder(folder.c_str()));
    EXPECT_EQ(errno, EEXIST);
    EXPECT_FALSE(os::MakeFolder(In("none/frames").c_str()));

    const std::string file = In("show.mp4");
    int error = 0;
    std::FILE* stream = os::CreateNewFile(file.c_str(), &error);
    ASSERT_NE(stream, nullptr);
    std::fputs("abc", stream);
    std::fclose(stream);
    EXPECT_EQ(os::CreateNewFile(file.c_str(), &error), nullptr);
    EXPECT_EQ(error, EEXIST);
    EXPECT_EQ(os::FileSize(file.c_str()), 3);
    EXPECT_EQ(os::CreateNewFile(In("none/show.mp4").c_str(), &error), nullptr);
    EXPECT_EQ(error, ENOENT);
}

// Names outside ASCII, one with a character beyond 16 bits (a surrogate pair
// in UTF-16), are the same characters on the disk through every call: the
// standard library's own UTF-8 paths find what was made.
TEST_F(OsFilesTest, NamesOutsideAsciiKeepTheirCharacters)
{
    const std::u8string base = dir.u8string();
    const std::string folder = std::string(base.begin(), base.end()) + "/Μουσική 音楽";
    const std::filesystem::path wideFolder = dir / u8"Μουσική 音楽";
    ASSERT_TRUE(os::MakeFolder(folder.c_str()));
    EXPECT_TRUE(std::filesystem::is_directory(wideFolder));
    EXPECT_EQ(os::KindOf(folder.c_str()), os::FileKind::Folder);

    const std::string part = folder + "/🎵.part";
    int error = 0;
    std::FILE* stream = os::CreateNewFile(part.c_str(), &error);
    ASSERT_NE(stream, nullptr) << error;
    std::fputs("abc", stream);
    std::fclose(stream);
    EXPECT_TRUE(std::filesystem::is_regular_file(wideFolder / u8"🎵.part"));
    EXPECT_TRUE(os::PathExists(part.c_str()));
    EXPECT_EQ(os::FileSize(part.c_str()), 3);

    const std::string file = folder + "/κομμάτι 🎵.mp3";
    ASSERT_EQ(os::RenameFile(part.c_str(), file.c_str(), false), 0);
    EXPECT_TRUE(std::filesystem::is_regular_file(wideFolder / u8"κομμάτι 🎵.mp3"));
    std::FILE* read = os::OpenFile(file.c_str(), "rb");
    ASSERT_NE(read, nullptr);
    char text[4] = {};
    EXPECT_EQ(std::fread(text, 1, 3, read), 3u);
    std::fclose(read);
    EXPECT_STREQ(text, "abc");
    const std::string full = os::FullPath(file.c_str());
    EXPECT_NE(full.find("Μουσική 音楽"), std::string::npos) << full;
    EXPECT_TRUE(full.ends_with("κομμάτι 🎵.mp3")) << full;
    EXPECT_TRUE(os::RemoveFile(file.c_str()));
    EXPECT_FALSE(std::filesystem::exists(wideFolder / u8"κομμάτι 🎵.mp3"));
#ifdef _WIN32
    // Bytes that are not UTF-8 name no file, rather than one of another name.
    EXPECT_EQ(os::CreateNewFile((folder + "/\xff.png").c_str(), &error), nullptr);
    EXPECT_EQ(error, EINVAL);
    EXPECT_TRUE(std::filesystem::is_empty(wideFolder));
#endif
}

TEST(OsProcessTest, TheProgramKnowsItsOwnPath)
{
    const std::string path = os::ExecutablePath();
    ASSERT_FALSE(path.empty());
    const std::filesystem::path program(path);
    EXPECT_TRUE(program.is_absolute());
    EXPECT_EQ(program.filename().string(), std::string("os_test") + os::kExecutableSuffix);
    EXPECT_TRUE(std::filesystem::is_regular_file(program));
    EXPECT_TRUE(os::ProgramAvailable(path.c_str()));
    EXPECT_GT(os::ProcessId(), 0);
}

}  // namespace
