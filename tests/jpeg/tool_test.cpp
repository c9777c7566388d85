// The orchid-jpeg tool's contract: PPM or PGM out, "error -NNN" and status 1
// on a decoder failure with nothing written, status 2 on bad usage, an
// unreadable INPUT or an OUTPUT that cannot be written. OUTPUT only ever
// appears complete: it is written under a temporary name and renamed.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "tests/jpeg/libjpeg_peer.h"

namespace {

// Per test, since ctest runs the tests of this file side by side.
std::string TempPath(const std::string& name)
{
    return testing::TempDir() + "orchid_jpeg_tool_" +
           testing::UnitTest::GetInstance()->current_test_info()->name() + "_" + name;
}

void WriteFile(const std::string& path, const std::vector<uint8_t>& bytes)
{
    std::ofstream f(path, std::ios::binary);
    f.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

std::string ReadFile(const std::string& path)
{
    std::ifstream f(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
}

int RunTool(const std::string& args, const std::string& errPath)
{
    std::string cmd = std::string(ORCHID_JPEG_TOOL) + " " + args + " 2>" + errPath;
    int status = std::system(cmd.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST(OrchidJpegTool, WritesPpmAndPgm)
{
    const int w = 21, h = 13;
    std::string err = TempPath("err.txt");
    for (bool grey : {false, true}) {
        jpeg_peer::EncodeOptions o;
        o.grey = grey;
        o.hsamp = o.vsamp = 2;
        std::vector<uint8_t> file = jpeg_peer::Encode(jpeg_peer::TestPicture(w, h, grey ? 1 : 3, 5), w, h, o);
        std::string in = TempPath(grey ? "grey.jpg" : "colour.jpg");
        std::string out = TempPath("out.pnm");
        WriteFile(in, file);
        ASSERT_EQ(RunTool(in + " " + out, err), 0);
        std::string pnm = ReadFile(out);
        std::string header = std::string(grey ? "P5" : "P6") + "\n21 13\n255\n";
        ASSERT_EQ(pnm.substr(0, header.size()), header);
        EXPECT_EQ(pnm.size(), header.size() + static_cast<size_t>(w * h * (grey ? 1 : 3)));

        // Standard output gives the same bytes.
        std::string piped = TempPath("piped.pnm");
        ASSERT_EQ(RunTool(in + " - >" + piped, err), 0);
        EXPECT_EQ(ReadFile(piped), pnm);
    }
}

TEST(OrchidJpegTool, FailuresAndUsage)
{
    std::string err = TempPath("err.txt");
    std::string out = TempPath("never.pnm");
    std::remove(out.c_str());

    std::string notJpeg = TempPath("text.jpg");
    WriteFile(notJpeg, {'h', 'e', 'l', 'l', 'o'});
    EXPECT_EQ(RunTool(notJpeg + " " + out, err), 1);
    EXPECT_EQ(ReadFile(err).rfind("error -217", 0), 0u) << ReadFile(err);
    EXPECT_FALSE(std::ifstream(out).good()) << "nothing is written on failure";

    // A damaged segment found only after the last line's data, in place of
    // EOI: still nothing written.
    std::vector<uint8_t> file = jpeg_peer::Encode(jpeg_peer::TestPicture(64, 64, 3, 9), 64, 64, {});
    std::vector<uint8_t> damaged(file.begin(), file.end() - 2);
    damaged.insert(damaged.end(), {0xFF, 0xC4, 0x00, 0x01});
    std::string damagedPath = TempPath("damaged.jpg");
    WriteFile(damagedPath, damaged);
    EXPECT_EQ(RunTool(damagedPath + " " + out, err), 1);
    EXPECT_EQ(ReadFile(err).rfind("error -202", 0), 0u) << ReadFile(err);
    EXPECT_FALSE(std::ifstream(out).good());

    // Data cut in half decodes, with a warning.
    file.resize(file.size() / 2);
    std::string cut = TempPath("cut.jpg");
    WriteFile(cut, file);
    EXPECT_EQ(RunTool(cut + " " + out, err), 0);
    EXPECT_EQ(ReadFile(err).rfind("orchid-jpeg: warning: entropy-coded data ends early", 0), 0u) << ReadFile(err);
    EXPECT_EQ(ReadFile(out).rfind("P6\n64 64\n255\n", 0), 0u);
    std::remove(out.c_str());

    EXPECT_EQ(RunTool(TempPath("missing.jpg") + " " + out, err), 2);
    EXPECT_EQ(RunTool(notJpeg, err), 2);
    EXPECT_EQ(RunTool("", err), 2);
}

// Files left in OUTPUT's folder under a name that starts with OUTPUT's.
int LeftOver(const std::string& out)
{
    std::filesystem::path p(out);
    int n = 0;
    for (const auto& entry : std::filesystem::directory_iterator(p.parent_path())) {
        std::string name = entry.path().filename().string();
        if (name.size() > p.filename().string().size() && name.rfind(p.filename().string(), 0) == 0) ++n;
    }
    return n;
}

TEST(OrchidJpegTool, OutputAppearsOnlyWhenComplete)
{
    std::string err = TempPath("err.txt");
    std::string out = TempPath("out.ppm");
    std::vector<uint8_t> file = jpeg_peer::Encode(jpeg_peer::TestPicture(64, 64, 3, 4), 64, 64, {});
    std::string good = TempPath("good.jpg");
    WriteFile(good, file);
    // A failure found after the last line's data, when every line has been
    // written: an earlier OUTPUT stays as it was and nothing is left behind.
    std::vector<uint8_t> damaged(file.begin(), file.end() - 2);
    damaged.insert(damaged.end(), {0xFF, 0xC4, 0x00, 0x01});
    std::string bad = TempPath("damaged.jpg");
    WriteFile(bad, damaged);
    WriteFile(out, {'o', 'l', 'd'});
    EXPECT_EQ(RunTool(bad + " " + out, err), 1);
    EXPECT_EQ(ReadFile(err), "error -202 bad Huffman table segment\norchid-jpeg: " + out +
                                 " not written; the partial file was removed\n");
    EXPECT_EQ(ReadFile(out), "old");
    EXPECT_EQ(LeftOver(out), 0);

    // Success replaces it.
    EXPECT_EQ(RunTool(good + " " + out, err), 0);
    EXPECT_EQ(ReadFile(out).size(), std::string("P6\n64 64\n255\n").size() + 64 * 64 * 3);
    EXPECT_EQ(LeftOver(out), 0);

    // A symbolic link stays one: the file it points to is replaced. A device
    // is written to, not replaced.
    std::string link = TempPath("link.ppm");
    std::filesystem::remove(link);
    std::filesystem::create_symlink(out, link);
    WriteFile(out, {'o', 'l', 'd'});
    EXPECT_EQ(RunTool(good + " " + link, err), 0);
    EXPECT_TRUE(std::filesystem::is_symlink(link));
    EXPECT_EQ(ReadFile(out).rfind("P6\n64 64\n255\n", 0), 0u);
    EXPECT_EQ(LeftOver(out), 0);
    std::filesystem::remove(link);
    EXPECT_EQ(RunTool(good + " /dev/null", err), 0);
    EXPECT_TRUE(std::filesystem::is_character_file("/dev/null"));

    // An OUTPUT that cannot be made: a folder, or inside a missing one.
    std::string folder = TempPath("folder");
    std::filesystem::create_directory(folder);
    EXPECT_EQ(RunTool(good + " " + folder, err), 2);
    EXPECT_EQ(ReadFile(err).rfind("orchid-jpeg: cannot write " + folder, 0), 0u) << ReadFile(err);
    EXPECT_TRUE(std::filesystem::is_directory(folder));
    EXPECT_EQ(LeftOver(folder), 0);
    EXPECT_EQ(RunTool(good + " " + folder + "/missing/out.ppm", err), 2);

    // A folder as INPUT is unreadable INPUT.
    EXPECT_EQ(RunTool(folder + " " + out, err), 2);
    EXPECT_EQ(ReadFile(err), "orchid-jpeg: cannot read " + folder + "\n");
    std::filesystem::remove_all(folder);
}

}  // namespace
