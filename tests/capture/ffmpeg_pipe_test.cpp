// The pipe to the ffmpeg program, on a stand-in that reports what it got:
// every argument arrives intact (also a file name with spaces, quotes and
// backslashes, which Windows passes as one command line), every byte of every
// written frame arrives, and a failed exit or a missing program is reported.
#include <gtest/gtest.h>

#if defined(_WIN32)
#include <process.h>
#else
#include <unistd.h>
#endif

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "capture/ffmpeg_sink.h"
#include "error/error_log.h"
#include "tests/support/environment.h"
#include "tests/support/log.h"

using capture::FrameSchedule;

using test_support::SetEnvironment;

namespace {

int ProcessId()
{
#if defined(_WIN32)
    return _getpid();
#else
    return getpid();
#endif
}

class FfmpegPipeTest : public test_support::LogTest {
protected:
    void SetUp() override
    {
        LogTest::SetUp();
        dir = std::filesystem::temp_directory_path() /
              ("orchid-ffmpeg-pipe-" + std::to_string(ProcessId()) + "-" +
               ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::create_directories(dir);
        report = (dir / "report.txt").string();
        SetEnvironment("ORCHID_FAKE_FFMPEG_REPORT", report.c_str());
        for (int i = 0; i < 16 * 8; ++i) pixels[i] = 0x00102030u + static_cast<uint32_t>(i);
        frame = platform::FrameView{reinterpret_cast<uint8_t*>(pixels), 16, 8, 16 * 4, 32,
                                    platform::PixelLayout::XRGB8888};
    }
    void TearDown() override
    {
        SetEnvironment("ORCHID_FAKE_FFMPEG_REPORT", nullptr);
        SetEnvironment("ORCHID_FAKE_FFMPEG_STATUS", nullptr);
        std::error_code ignored;
        std::filesystem::remove_all(dir, ignored);
        LogTest::TearDown();
    }
    std::vector<std::string> Reported() const
    {
        std::ifstream in(report, std::ios::binary);
        std::vector<std::string> lines;
        for (std::string line; std::getline(in, line);) lines.push_back(line);
        return lines;
    }

    std::filesystem::path dir;
    std::string report;
    uint32_t pixels[16 * 8];
    platform::FrameView frame;
};

TEST_F(FfmpegPipeTest, EveryArgumentAndEveryByteArrive)
{
    // The name is never created: the stand-in only reports it.
    const std::string output = (dir / "a b\t\"quoted\" back\\\\\" end\\.mkv").string();
    const std::string music = (dir / "the music.mp3").string();
    capture::FfmpegSink sink(output.c_str(), music.c_str(), 25, FrameSchedule(25, 100, -1), 2);
    sink.program = ORCHID_FAKE_FFMPEG;
    ASSERT_TRUE(capture::FfmpegSink::ProgramAvailable(sink.program));
    ASSERT_EQ(sink.Open(16, 8), 1);
    for (int k = 0; k < 120; ++k) sink.Frame(frame);
    sink.Close();
    EXPECT_EQ(errorLog.count, 0) << errorLog.Report();
    EXPECT_EQ(sink.written, 6);  // 1.00 s, 1.04 s, ... 1.20 s: presents 100, 104, ..., 120

    const std::vector<std::string> got = Reported();
    ASSERT_GE(got.size(), 3u);
    EXPECT_EQ(got[got.size() - 2], output);
    EXPECT_EQ(got.back(), "bytes " + std::to_string(6 * 32 * 16 * 3));
    std::ostringstream all;
    for (const std::string& line : got) all << line << "\n";
    EXPECT_NE(all.str().find("-video_size\n32x16\n-framerate\n25\n-i\npipe:0\n"), std::string::npos) << all.str();
    // The music starts at the first written frame's time.
    EXPECT_NE(all.str().find("-ss\n1.00\n-i\n" + music + "\n"), std::string::npos) << all.str();
}

TEST_F(FfmpegPipeTest, AFailedExitIsRecordedWithItsStatus)
{
    SetEnvironment("ORCHID_FAKE_FFMPEG_STATUS", "3");
    const std::string output = (dir / "out.mp4").string();
    capture::FfmpegSink sink(output.c_str(), nullptr, 50, FrameSchedule(50, 0, -1), 1);
    sink.program = ORCHID_FAKE_FFMPEG;
    ASSERT_EQ(sink.Open(16, 8), 1);
    sink.Frame(frame);
    sink.Close();
    EXPECT_EQ(errorLog.count, 1);
    EXPECT_NE(std::string(errorLog.Report()).find("ffmpeg could not finish '" + output + "' (exit status 3)"),
              std::string::npos)
        << errorLog.Report();
}

TEST_F(FfmpegPipeTest, AMissingProgramIsReportedWithAPointerToFrames)
{
    capture::FfmpegSink sink((dir / "out.mp4").string().c_str(), nullptr, 50, FrameSchedule(50, 0, -1), 1);
    sink.program = "orchid-no-such-ffmpeg";
    EXPECT_FALSE(capture::FfmpegSink::ProgramAvailable(sink.program));
    ASSERT_EQ(sink.Open(16, 8), 1);
    EXPECT_THROW(sink.Frame(frame), ErrorException);
    sink.Close();
    const std::string text = errorLog.Report();
    EXPECT_NE(text.find("The ffmpeg program was not found."), std::string::npos) << text;
    EXPECT_NE(text.find("--frames DIR"), std::string::npos) << text;
}

}  // namespace
