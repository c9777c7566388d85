// The pipe to the ffmpeg program, on a stand-in that reports what it got:
// every argument arrives intact (also a file name with spaces, quotes and
// backslashes, which Windows passes as one command line, or one that begins
// with '-'), every byte of every written frame arrives, the video takes its
// name only when ffmpeg finished it, and a failed exit, an exit without the
// file or a missing program is reported, with nothing left behind.
#include <gtest/gtest.h>

#include <cerrno>
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
#include "tests/support/scratch_folder.h"

using capture::FrameSchedule;

using test_support::SetEnvironment;

namespace {

class FfmpegPipeTest : public test_support::LogTest {
protected:
    void SetUp() override
    {
        LogTest::SetUp();
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
        SetEnvironment("ORCHID_FAKE_FFMPEG_NO_OUTPUT", nullptr);
        SetEnvironment("ORCHID_FAKE_FFMPEG_READ", nullptr);
        LogTest::TearDown();
    }
    // The files in the scratch folder besides the stand-in's report.
    std::vector<std::string> Files() const
    {
        std::vector<std::string> names;
        for (const auto& entry : std::filesystem::directory_iterator(dir))
            if (entry.path().filename() != "report.txt") names.push_back(entry.path().filename().string());
        return names;
    }
    static std::string Read(const std::filesystem::path& path)
    {
        std::ifstream in(path, std::ios::binary);
        std::ostringstream text;
        text << in.rdbuf();
        return text.str();
    }
    std::vector<std::string> Reported() const
    {
        std::ifstream in(report, std::ios::binary);
        std::vector<std::string> lines;
        for (std::string line; std::getline(in, line);) lines.push_back(line);
        return lines;
    }

    test_support::ScratchFolder scratch{"ffmpeg-pipe"};
    const std::filesystem::path dir = scratch.Path();
    std::string report;
    uint32_t pixels[16 * 8];
    platform::FrameView frame;
};

TEST_F(FfmpegPipeTest, EveryArgumentAndEveryByteArrive)
{
    // The music's name is never opened, the stand-in only reports it, so it
    // may hold what no Windows file name can; the video is made.
    const std::string output = (dir / "the video.mkv").string();
    const std::string music = (dir / "a b\t\"quoted\" back\\\\\" end\\.mp3").string();
    capture::FfmpegSink sink(output.c_str(), music.c_str(), FrameSchedule(25, 100, -1), 2);
    sink.program = ORCHID_FAKE_FFMPEG;
    ASSERT_TRUE(capture::FfmpegSink::ProgramAvailable(sink.program));
    ASSERT_EQ(sink.Open(16, 8), 1);
    for (int k = 0; k < 120; ++k) sink.Frame(frame);
    sink.Close();
    EXPECT_EQ(errorLog.count, 0) << errorLog.Report();
    EXPECT_EQ(sink.written, 6);  // 1.00 s, 1.04 s, ... 1.20 s: presents 100, 104, ..., 120

    const std::vector<std::string> got = Reported();
    ASSERT_GE(got.size(), 3u);
    // ffmpeg writes a temporary file beside the output, named as a file.
    EXPECT_EQ(got[got.size() - 2].rfind("file:" + output + ".part-", 0), 0u) << got[got.size() - 2];
    EXPECT_EQ(got.back(), "bytes " + std::to_string(6 * 32 * 16 * 3));
    std::ostringstream all;
    for (const std::string& line : got) all << line << "\n";
    EXPECT_NE(all.str().find("-video_size\n32x16\n-framerate\n25\n-i\npipe:0\n"), std::string::npos) << all.str();
    // The music starts at the first written frame's time, and goes on as
    // silence where it is shorter than the video.
    EXPECT_NE(all.str().find("-ss\n1.000000\n-i\nfile:" + music + "\n"), std::string::npos) << all.str();
    EXPECT_NE(all.str().find("-af\napad\n-shortest\n"), std::string::npos) << all.str();
    EXPECT_NE(all.str().find("-f\nmatroska\nfile:"), std::string::npos) << all.str();
    // Only the finished video is left, under its own name.
    EXPECT_EQ(Files(), std::vector<std::string>{std::filesystem::path(output).filename().string()});
    EXPECT_EQ(Read(output), "fake video " + std::to_string(6 * 32 * 16 * 3) + "\n");
}

TEST_F(FfmpegPipeTest, AnNtscRateIsGivenAsItsRatioAndTheMusicStartsAtTheFirstFramesTime)
{
    // At 60000/1001 fps from 1.00 s the first frame is frame 60, at
    // 60 x 1001 / 60000 = 1.001 s, which shows hundredth 100.
    const std::string output = (dir / "ntsc.mkv").string();
    capture::FfmpegSink sink(output.c_str(), "music.mp3", FrameSchedule({60000, 1001}, 100, 101), 1);
    sink.program = ORCHID_FAKE_FFMPEG;
    ASSERT_EQ(sink.Open(16, 8), 1);
    for (int k = 0; k < 101; ++k) sink.Frame(frame);
    sink.Close();
    EXPECT_EQ(errorLog.count, 0) << errorLog.Report();
    EXPECT_EQ(sink.written, 2);  // frames 60 and 61 (hundredths 100 and 101)
    std::ostringstream all;
    for (const std::string& line : Reported()) all << line << "\n";
    EXPECT_NE(all.str().find("-framerate\n60000/1001\n-i\npipe:0\n"), std::string::npos) << all.str();
    EXPECT_NE(all.str().find("-ss\n1.001000\n-i\nfile:music.mp3\n"), std::string::npos) << all.str();
}

TEST_F(FfmpegPipeTest, EachPictureEncodingGetsItsCodecAndPixelFormat)
{
    using Video = capture::FfmpegSink::Video;
    for (auto [video, args] : {std::pair{Video::H264_420, "-c:v\nlibx264\n-preset\nveryfast\n-crf\n16\n-pix_fmt\nyuv420p\n"},
                               {Video::H264_444, "-c:v\nlibx264\n-preset\nveryfast\n-crf\n16\n-pix_fmt\nyuv444p\n"},
                               {Video::Ffv1, "-c:v\nffv1\n-level\n3\n-slicecrc\n1\n-slices\n4\n-g\n1\n-pix_fmt\nbgr0\n"}}) {
        const std::string output = (dir / "v.mkv").string();
        capture::FfmpegSink sink(output.c_str(), nullptr, FrameSchedule(50, 0, -1), 1);
        sink.program = ORCHID_FAKE_FFMPEG;
        sink.video = video;
        sink.overwrite = true;
        ASSERT_EQ(sink.Open(16, 8), 1);
        for (int k = 0; k < 4; ++k) sink.Frame(frame);
        sink.Close();
        EXPECT_EQ(errorLog.count, 0) << errorLog.Report();
        std::ostringstream all;
        for (const std::string& line : Reported()) all << line << "\n";
        EXPECT_NE(all.str().find(args), std::string::npos) << all.str();
    }
}

// The rendered frame at each present, changing from present to present.
uint32_t renderedPixels[4 * 2];
platform::FrameView Rendered()
{
    return platform::FrameView{reinterpret_cast<uint8_t*>(renderedPixels), 4, 2, 16, 32,
                               platform::PixelLayout::XRGB8888};
}

TEST_F(FfmpegPipeTest, TheFramesDigestIsOfTheRenderedFrameAtEachPresentWritten)
{
    const capture::Chapter chapters[] = {{"one", 0}, {"two", 5}};
    const capture::VideoInfo info{"orchid test", 32, chapters, 2, Rendered};
    const std::string output = (dir / "tagged.mkv").string();
    capture::FfmpegSink sink(output.c_str(), nullptr, FrameSchedule(50, 4, 12), 1);
    sink.program = ORCHID_FAKE_FFMPEG;
    sink.info = &info;
    ASSERT_EQ(sink.Open(16, 8), 1);
    capture::FrameDigest expected;
    for (uint32_t present = 1; present <= 12; ++present) {
        for (uint32_t& p : renderedPixels) p = present * 0x01010101u;
        sink.Frame(frame);
        if (present >= 4 && present % 2 == 0) expected.Add(Rendered());
    }
    sink.Close();
    EXPECT_EQ(errorLog.count, 0) << errorLog.Report();
    EXPECT_EQ(expected.frames, 5);
    EXPECT_EQ(sink.digest.Value(), expected.Value());
    // The finished video was copied with its metadata, and only the copy is
    // left, under the video's name.
    const std::vector<std::string> got = Reported();
    std::ostringstream all;
    for (const std::string& line : got) all << line << "\n";
    EXPECT_NE(all.str().find("-f\nffmetadata\n-i\nfile:"), std::string::npos) << all.str();
    EXPECT_NE(all.str().find("-map_metadata\n1\n-map_chapters\n1\n-c\ncopy\n"), std::string::npos) << all.str();
    EXPECT_EQ(Files(), std::vector<std::string>{"tagged.mkv"});
    EXPECT_EQ(Read(output), "fake video " + std::to_string(5 * 16 * 8 * 3) + "\n");
}

TEST_F(FfmpegPipeTest, NamesBeginningWithADashAreNeverReadAsOptions)
{
    // Relative names, as a user types them, from inside the scratch folder.
    const std::filesystem::path before = std::filesystem::current_path();
    std::filesystem::current_path(dir);
    {
        capture::FfmpegSink sink("-y.MP4", "-i.mp3", FrameSchedule(50, 0, -1), 1);
        sink.program = ORCHID_FAKE_FFMPEG;
        ASSERT_EQ(sink.Open(16, 8), 1);
        sink.Frame(frame);
        sink.Close();
    }
    std::filesystem::current_path(before);
    EXPECT_EQ(errorLog.count, 0) << errorLog.Report();
    const std::vector<std::string> got = Reported();
    ASSERT_GE(got.size(), 3u);
    for (const std::string& arg : got) {
        EXPECT_NE(arg, "-y.MP4");
        EXPECT_NE(arg, "-i.mp3");
    }
    EXPECT_EQ(got[got.size() - 2].rfind("file:-y.MP4.part-", 0), 0u) << got[got.size() - 2];
    // The upper-case extension still makes an MP4 with AAC sound.
    std::ostringstream all;
    for (const std::string& line : got) all << line << "\n";
    EXPECT_NE(all.str().find("-i\nfile:-i.mp3\n"), std::string::npos) << all.str();
    EXPECT_NE(all.str().find("-c:a\naac\n"), std::string::npos) << all.str();
    EXPECT_NE(all.str().find("-f\nmp4\nfile:"), std::string::npos) << all.str();
    EXPECT_TRUE(std::filesystem::exists(dir / "-y.MP4"));
}

TEST_F(FfmpegPipeTest, AnExistingVideoIsReplacedOnlyWhenAskedFor)
{
    const std::filesystem::path output = dir / "out.mp4";
    std::ofstream(output, std::ios::binary) << "old";
    {
        capture::FfmpegSink sink(output.string().c_str(), nullptr, FrameSchedule(50, 0, -1), 1);
        sink.program = ORCHID_FAKE_FFMPEG;
        sink.Frame(frame);
        sink.Close();
    }
    // The old file stays; the new video is kept under its temporary name,
    // which the report names.
    EXPECT_EQ(Read(output), "old");
    const std::string report = errorLog.Report();
    EXPECT_NE(report.find("was left as it was; the video is in '" + output.string() + ".part-"), std::string::npos)
        << report;
    EXPECT_EQ(Files().size(), 2u);

    test_support::FreshLog();
    capture::FfmpegSink sink(output.string().c_str(), nullptr, FrameSchedule(50, 0, -1), 1);
    sink.program = ORCHID_FAKE_FFMPEG;
    sink.overwrite = true;
    sink.Frame(frame);
    sink.Close();
    EXPECT_EQ(errorLog.count, 0) << errorLog.Report();
    EXPECT_EQ(Read(output), "fake video " + std::to_string(16 * 8 * 3) + "\n");
}

TEST_F(FfmpegPipeTest, AStopRequestEndsTheWritingAndTheVideoIsFinished)
{
    static int stopAfter = 0;
    static int completions = 0;
    stopAfter = 3;
    completions = 0;
    const std::string output = (dir / "out.mkv").string();
    capture::FfmpegSink sink(output.c_str(), nullptr, FrameSchedule(100, 0, -1), 1);
    sink.program = ORCHID_FAKE_FFMPEG;
    sink.stopRequested = [] { return --stopAfter < 0; };
    sink.onComplete = [] { ++completions; };
    for (int k = 0; k < 10; ++k) sink.Frame(frame);
    sink.Close();
    EXPECT_EQ(errorLog.count, 0) << errorLog.Report();
    EXPECT_EQ(completions, 1);
    EXPECT_TRUE(sink.stopped);
    // Presents 1 (frames 0 and 1), 2 and 3: four frames, then nothing more.
    EXPECT_EQ(sink.written, 4);
    EXPECT_EQ(Read(output), "fake video " + std::to_string(4 * 16 * 8 * 3) + "\n");
}

TEST_F(FfmpegPipeTest, AFailedExitIsRecordedWithItsStatus)
{
    SetEnvironment("ORCHID_FAKE_FFMPEG_STATUS", "3");
    const std::string output = (dir / "out.mp4").string();
    capture::FfmpegSink sink(output.c_str(), nullptr, FrameSchedule(50, 0, -1), 1);
    sink.program = ORCHID_FAKE_FFMPEG;
    ASSERT_EQ(sink.Open(16, 8), 1);
    sink.Frame(frame);
    sink.Close();
    EXPECT_EQ(errorLog.count, 1);
    EXPECT_NE(std::string(errorLog.Report()).find("ffmpeg could not finish '" + output +
                                                  "' (exit status 3); its messages are above. The partial video "
                                                  "was removed."),
              std::string::npos)
        << errorLog.Report();
    // The stand-in wrote its file, but a failed video takes no name and
    // leaves nothing.
    EXPECT_TRUE(Files().empty());
}

TEST_F(FfmpegPipeTest, AnExitWithoutTheFileIsAFailure)
{
    SetEnvironment("ORCHID_FAKE_FFMPEG_NO_OUTPUT", "1");
    const std::string output = (dir / "out.mp4").string();
    capture::FfmpegSink sink(output.c_str(), nullptr, FrameSchedule(50, 0, -1), 1);
    sink.program = ORCHID_FAKE_FFMPEG;
    sink.Frame(frame);
    sink.Close();
    SetEnvironment("ORCHID_FAKE_FFMPEG_NO_OUTPUT", nullptr);
    EXPECT_EQ(errorLog.count, 1);
    EXPECT_NE(std::string(errorLog.Report()).find("ffmpeg ended without an error but wrote nothing for '" + output),
              std::string::npos)
        << errorLog.Report();
    EXPECT_TRUE(Files().empty());
}

TEST_F(FfmpegPipeTest, AnEncoderThatStopsReadingIsDiagnosedByItsExit)
{
    // It reads one frame, exits 0 and writes its file: the frames after it
    // find the pipe closed.
    SetEnvironment("ORCHID_FAKE_FFMPEG_READ", std::to_string(128 * 64 * 3).c_str());
    const std::string output = (dir / "out.mp4").string();
    capture::FfmpegSink sink(output.c_str(), nullptr, FrameSchedule(100, 0, -1), 8);
    sink.program = ORCHID_FAKE_FFMPEG;
    bool threw = false;
    for (int k = 0; k < 200 && !threw; ++k) {
        try {
            sink.Frame(frame);
        } catch (const ErrorException&) {
            threw = true;
        }
    }
    sink.Close();
    SetEnvironment("ORCHID_FAKE_FFMPEG_READ", nullptr);
    EXPECT_TRUE(threw);
    const std::string report = errorLog.Report();
    EXPECT_NE(report.find("ffmpeg stopped taking frames for '" + output + "' ("), std::string::npos) << report;
    EXPECT_NE(report.find("it ended without an error before taking every frame. The partial video was removed."),
              std::string::npos)
        << report;
    EXPECT_EQ(report.find("messages are above"), std::string::npos) << report;
    EXPECT_TRUE(Files().empty());
}

TEST_F(FfmpegPipeTest, AMissingProgramIsReportedWithAPointerToFrames)
{
    capture::FfmpegSink sink((dir / "out.mp4").string().c_str(), nullptr, FrameSchedule(50, 0, -1), 1);
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
