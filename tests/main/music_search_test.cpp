// Where the program looks for its music: the order of the folders, the
// first one that holds it winning, and the line when none does.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "main/music_search.h"
#include "tests/support/scratch_folder.h"

namespace {

constexpr const char kName[] = "kestrune-velomar.mp3";

class MusicSearchTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        for (const char* sub : {"/work", "/exe", "/data"}) ASSERT_EQ(mkdir((root + sub).c_str(), 0777), 0);
        ASSERT_NE(getcwd(previous, sizeof previous), nullptr);
        ASSERT_EQ(chdir((root + "/work").c_str()), 0);
        folders = MusicFolders(root + "/exe", root + "/data");
    }
    void TearDown() override
    {
        ASSERT_EQ(chdir(previous), 0);
    }
    void Put(const std::string& folder) { std::ofstream(root + folder + "/" + kName) << "mp3"; }
    std::string Find()
    {
        error = 0;
        return FindMusic(kName, folders, &error);
    }

    test_support::ScratchFolder scratch{"music"};
    const std::string root = scratch.Path();
    char previous[4096];
    std::vector<std::string> folders;
    int error = 0;
};

TEST_F(MusicSearchTest, TheWorkingFolderThenTheProgramsThenTheDataFolder)
{
    EXPECT_EQ(folders, (std::vector<std::string>{".", root + "/exe", root + "/data"}));
    EXPECT_EQ(Find(), "");
    EXPECT_EQ(error, ENOENT);
    Put("/data");
    EXPECT_EQ(Find(), root + "/data/" + kName);
    Put("/exe");
    EXPECT_EQ(Find(), root + "/exe/" + kName);
    Put("/work");
    // In the working folder the bare name, as the show always opened it.
    EXPECT_EQ(Find(), kName);
    // A folder that cannot hold it is passed over, and the reason of the
    // last attempt kept for the line should none be found.
    folders = {root + "/work/" + kName, root + "/nowhere"};
    EXPECT_EQ(Find(), "");
    EXPECT_EQ(error, ENOENT);
    folders = {root + "/nowhere", root + "/work/" + kName};
    EXPECT_EQ(Find(), "");
    EXPECT_EQ(error, ENOTDIR);
}

// A folder of the music's name is no music: the search goes on past it.
TEST_F(MusicSearchTest, AFolderNamedLikeTheMusicIsPassedOver)
{
    ASSERT_EQ(mkdir((root + "/work/" + kName).c_str(), 0777), 0);
    EXPECT_EQ(Find(), "");
    Put("/data");
    EXPECT_EQ(Find(), root + "/data/" + kName);
    folders = {"."};
    EXPECT_EQ(Find(), "");
    EXPECT_EQ(error, EISDIR);
}

TEST_F(MusicSearchTest, FoldersAreListedOnceAndUnknownOnesLeftOut)
{
    EXPECT_EQ(MusicFolders("", "/usr/share/orchid"), (std::vector<std::string>{".", "/usr/share/orchid"}));
    EXPECT_EQ(MusicFolders("/opt/orchid", "/opt/orchid"), (std::vector<std::string>{".", "/opt/orchid"}));
    EXPECT_EQ(MusicFolders(".", ""), (std::vector<std::string>{"."}));
}

TEST_F(MusicSearchTest, TheLineNamesTheFileTheFoldersAndTheReason)
{
    EXPECT_EQ(MusicNotFound(kName, {".", "/usr/local/share/orchid"}, ENOENT),
              "orchid: cannot open the music 'kestrune-velomar.mp3' (looked in ., /usr/local/share/orchid): "
              "No such file or directory");
    // A path given outright is named as given.
    EXPECT_EQ(MusicNotFound("/music/x.mp3", {}, EACCES),
              "orchid: cannot open the music '/music/x.mp3': Permission denied");
}

TEST(DataFolder, RelativeToTheProgramsFolderAbsoluteAsGiven)
{
    // An installed program finds its data beside its own tree.
    EXPECT_EQ(DataFolder("/usr/local/bin", "../share/orchid"), "/usr/local/share/orchid");
    EXPECT_EQ(DataFolder("/tmp/stage/opt/o/bin", "../share/orchid"), "/tmp/stage/opt/o/share/orchid");
    EXPECT_EQ(DataFolder("/usr/games", "../../usr/share/orchid"), "/usr/share/orchid");
    EXPECT_EQ(DataFolder("/opt/orchid", "./data"), "/opt/orchid/data");
    EXPECT_EQ(DataFolder("/opt/orchid", "data"), "/opt/orchid/data");
    EXPECT_EQ(DataFolder("/opt/orchid/bin", ".."), "/opt/orchid");
    // Going up stops at the root.
    EXPECT_EQ(DataFolder("/bin", "../share/orchid"), "/share/orchid");
    EXPECT_EQ(DataFolder("/", "../../share/orchid"), "/share/orchid");
    // An absolute folder does not depend on the program's.
    EXPECT_EQ(DataFolder("/usr/local/bin", "/srv/orchid"), "/srv/orchid");
    EXPECT_EQ(DataFolder("", "/srv/orchid"), "/srv/orchid");
    // Nothing to start from, or nothing configured: no data folder.
    EXPECT_EQ(DataFolder("", "../share/orchid"), "");
    EXPECT_EQ(DataFolder("/usr/local/bin", ""), "");
}

TEST(ExecutableFolder, HoldsThisTestProgram)
{
    std::string folder = ExecutableFolder();
    ASSERT_FALSE(folder.empty());
    EXPECT_EQ(folder[0], '/');
    struct stat st;
    EXPECT_EQ(stat((folder + "/" + program_invocation_short_name).c_str(), &st), 0) << folder;
}

}  // namespace
