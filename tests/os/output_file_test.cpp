// Files written under a temporary name: nothing takes the final name before
// the commit, an existing file is replaced only when asked for, and a file
// that is discarded, abandoned or cannot be made leaves nothing behind.
#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "os/files.h"
#include "os/output_file.h"
#include "tests/support/process_id.h"
#include "tests/support/scratch_folder.h"

namespace {

class OutputFileTest : public ::testing::Test {
protected:
    static std::string Read(const std::string& name)
    {
        std::ifstream in(name, std::ios::binary);
        std::ostringstream text;
        text << in.rdbuf();
        return text.str();
    }

    test_support::ScratchFolder scratch{"output-file"};
    const std::filesystem::path dir = scratch.Path();
    const std::string path = (dir / "show.mp4").string();
};

TEST_F(OutputFileTest, TheFinalNameAppearsOnlyWithTheCompleteFile)
{
    os::OutputFile file;
    ASSERT_TRUE(file.Create(path.c_str())) << file.error;
    EXPECT_TRUE(file.Pending());
    EXPECT_STREQ(file.FinalName(), path.c_str());
    const std::string temporary = file.TemporaryName();
    EXPECT_EQ(temporary, path + ".part-" + std::to_string(test_support::ProcessId()));
    ASSERT_NE(file.stream, nullptr);
    std::fputs("first half ", file.stream);
    EXPECT_FALSE(os::PathExists(path.c_str()));
    std::fputs("second half", file.stream);
    EXPECT_TRUE(file.CloseStream());
    EXPECT_FALSE(os::PathExists(path.c_str()));
    EXPECT_EQ(os::FileSize(temporary.c_str()), 22);

    ASSERT_TRUE(file.Commit(false)) << file.error;
    EXPECT_FALSE(file.Pending());
    EXPECT_EQ(Read(path), "first half second half");
    EXPECT_EQ(scratch.Names(), std::vector<std::string>{"show.mp4"});
    EXPECT_EQ(os::FileSize(path.c_str()), 22);
    EXPECT_EQ(os::FileSize(dir.string().c_str()), -1);
    EXPECT_EQ(os::FileSize((dir / "none").string().c_str()), -1);
}

TEST_F(OutputFileTest, AnExistingFileIsReplacedOnlyWhenAskedFor)
{
    std::ofstream(path, std::ios::binary) << "old";
    os::OutputFile file;
    ASSERT_TRUE(file.Create(path.c_str()));
    std::fputs("new", file.stream);
    EXPECT_FALSE(file.Commit(false));
    EXPECT_EQ(file.error, EEXIST);
    // Both stay: the old file untouched, the new one still pending.
    EXPECT_EQ(Read(path), "old");
    EXPECT_TRUE(file.Pending());
    EXPECT_EQ(Read(file.TemporaryName()), "new");

    ASSERT_TRUE(file.Commit(true)) << file.error;
    EXPECT_EQ(Read(path), "new");
    EXPECT_EQ(scratch.Names(), std::vector<std::string>{"show.mp4"});
}

TEST_F(OutputFileTest, DiscardingOrAbandoningLeavesNothing)
{
    {
        os::OutputFile file;
        ASSERT_TRUE(file.Create(path.c_str()));
        std::fputs("partial", file.stream);
        file.Discard();
        EXPECT_FALSE(file.Pending());
        EXPECT_EQ(file.stream, nullptr);
        EXPECT_TRUE(scratch.Names().empty());
        // Made again, then dropped without a word.
        ASSERT_TRUE(file.Create(path.c_str()));
        std::fputs("partial", file.stream);
    }
    EXPECT_TRUE(scratch.Names().empty());

    // Kept: the temporary file stays, no longer the object's to remove.
    std::string kept;
    {
        os::OutputFile file;
        ASSERT_TRUE(file.Create(path.c_str()));
        std::fputs("whole", file.stream);
        kept = file.TemporaryName();
        file.Keep();
    }
    EXPECT_EQ(Read(kept), "whole");
    EXPECT_FALSE(os::PathExists(path.c_str()));
}

TEST_F(OutputFileTest, ATemporaryNameInUseIsNeverTakenOver)
{
    // Left by another run of the same process id, or by a writer now at work.
    const std::string stale = path + ".part-" + std::to_string(test_support::ProcessId());
    std::ofstream(stale, std::ios::binary) << "someone else's";
    os::OutputFile file, second;
    ASSERT_TRUE(file.Create(path.c_str()));
    ASSERT_TRUE(second.Create(path.c_str()));
    EXPECT_NE(std::string(file.TemporaryName()), stale);
    EXPECT_NE(std::string(file.TemporaryName()), std::string(second.TemporaryName()));
    std::fputs("mine", file.stream);
    ASSERT_TRUE(file.Commit(false));
    second.Discard();
    EXPECT_EQ(Read(stale), "someone else's");
    EXPECT_EQ(Read(path), "mine");
}

TEST_F(OutputFileTest, AFileThatCannotBeMadeIsAFailureWithTheReason)
{
    os::OutputFile file;
    const std::string missing = (dir / "no-such-folder" / "show.mp4").string();
    EXPECT_FALSE(file.Create(missing.c_str()));
    EXPECT_EQ(file.error, ENOENT);
    EXPECT_FALSE(file.Pending());
    EXPECT_EQ(file.stream, nullptr);
    EXPECT_FALSE(file.Commit(true));

    const std::string tooLong(5000, 'x');
    EXPECT_FALSE(file.Create(tooLong.c_str()));
    EXPECT_EQ(file.error, ENAMETOOLONG);
    EXPECT_TRUE(scratch.Names().empty());
}

}  // namespace
