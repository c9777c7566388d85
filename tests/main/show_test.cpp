// The program itself, run as a separate process in a scratch folder that
// holds the music: determinism of headless runs, the end of the show, exit
// statuses and the faults a user can meet.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include "main/music_search.h"
#include "tests/support/scratch_folder.h"

namespace {

std::string ReadFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

bool Exists(const std::string& path)
{
    struct stat st;
    return lstat(path.c_str(), &st) == 0;
}

// Decodes a PNG written by the program to RGB bytes with ffmpeg (the test
// compares pictures, not encodings).
std::string Pixels(const std::string& png)
{
    std::string raw = png + ".rgb";
    std::string cmd = "ffmpeg -loglevel error -y -i '" + png + "' -f rawvideo -pix_fmt rgb24 '" + raw + "'";
    if (std::system(cmd.c_str()) != 0) return "";
    return ReadFile(raw);
}

class ShowTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_EQ(symlink(ORCHID_MUSIC, (dir + "/kestrune-velomar.mp3").c_str()), 0);
    }

    // Runs the program in the scratch folder; returns its exit status and
    // keeps what it said in `said`.
    int Run(const std::string& args, const std::string& environment = "")
    {
        std::string out = dir + "/said.txt";
        std::string cmd = "cd '" + dir + "' && env -u DISPLAY -u WAYLAND_DISPLAY " + environment + " '" +
                          program + "' " + args + " >'" + out + "' 2>&1";
        int status = std::system(cmd.c_str());
        said = ReadFile(out);
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

    // From here on runs a copy of the program in dir/bin, a folder without
    // the music (the build folder holds a copy of it, which the program
    // would find next to itself).
    void RunACopyWithoutTheMusicBesideIt()
    {
        ASSERT_EQ(mkdir((dir + "/bin").c_str(), 0777), 0);
        program = dir + "/bin/orchid";
        ASSERT_EQ(std::system(("cp '" + std::string(ORCHID_PROGRAM) + "' '" + program + "'").c_str()), 0);
    }

    test_support::ScratchFolder scratch{"show"};
    const std::string dir = scratch.Path();
    std::string said;
    std::string program = ORCHID_PROGRAM;
};

TEST_F(ShowTest, HelpVersionAndBadOptions)
{
    EXPECT_EQ(Run("--help"), 0);
    EXPECT_NE(said.find("--capture FILE"), std::string::npos);
    EXPECT_NE(said.find("Alt+Enter"), std::string::npos) << said;
    // Every viewer's key is listed.
    for (const char* key : {"\n  Space ", "\n  Page Down, Up ", "\n  . and , ", "\n  S ", "\n  L ", "\n  F1 "})
        EXPECT_NE(said.find(key), std::string::npos) << key;
    EXPECT_NE(said.find("ORCHID_BACKEND=NAME runs the show on that backend, one of sdl, headless;"), std::string::npos)
        << said;
    EXPECT_EQ(Run("-h"), 0);
    EXPECT_NE(said.find("-y, --overwrite"), std::string::npos) << said;
    EXPECT_EQ(Run("--version"), 0);
    EXPECT_EQ(said, "orchid 1.0\n");
    EXPECT_EQ(Run("-V"), 0);
    EXPECT_EQ(said, "orchid 1.0\n");
    EXPECT_EQ(Run("--frames out --fps"), 2);
    EXPECT_NE(said.find("--fps needs a value"), std::string::npos) << said;
    EXPECT_EQ(Run("--frames out --from 300"), 2);
    EXPECT_NE(said.find("past the end of the show"), std::string::npos) << said;
}

#ifdef ORCHID_SANITIZE
// The sanitizer build is many times slower: a shorter stretch of the show.
constexpr int kSpan = 12;
#else
constexpr int kSpan = 45;
#endif

// A second of the show where every hundredth differs from the one before:
// the flash at 27.61 s (under the sanitizers, which render many times
// slower, the title's from 6 s).
#ifdef ORCHID_SANITIZE
constexpr int kMovingFrom = 6;
#else
constexpr int kMovingFrom = 27;
#endif

// The first output frame at num / den fps whose hundredth is `hundredth`
// or later.
long long FirstFrameFrom(long long hundredth, long long num, long long den)
{
    return (hundredth * num + 100 * den - 1) / (100 * den);
}

std::string Span(double from, double to)
{
    char text[64];
    std::snprintf(text, sizeof text, " --from %g --to %g", from, to);
    return text;
}

// At any rate frame i is the frame of hundredth floor(100 i / fps): the
// 100 fps frame of that index.
TEST_F(ShowTest, FramesAtAnyRateAreTheHundredthsBegunByTheirTimes)
{
    const std::string span = Span(kMovingFrom, kMovingFrom + 1);
    ASSERT_EQ(Run("--frames h --fps 100" + span), 0) << said;
    ASSERT_EQ(Run("--frames s --fps 60" + span), 0) << said;
    ASSERT_EQ(Run("--frames n --fps 60000/1001" + span), 0) << said;
    for (auto [folder, num, den] : {std::tuple{"s", 60, 1}, {"n", 60000, 1001}}) {
        const long long first = FirstFrameFrom(100 * kMovingFrom, num, den);
        const long long last = FirstFrameFrom(100 * kMovingFrom + 101, num, den) - 1;
        char name[32];
        std::snprintf(name, sizeof name, "/frame-%05lld.png", first - 1);
        EXPECT_FALSE(Exists(dir + "/" + folder + name)) << folder << name;
        std::snprintf(name, sizeof name, "/frame-%05lld.png", last + 1);
        EXPECT_FALSE(Exists(dir + "/" + folder + name)) << folder << name;
        EXPECT_GE(last - first, num / den - 1);
        for (long long i = first; i <= last; ++i) {
            std::snprintf(name, sizeof name, "/frame-%05lld.png", i);
            const std::string frame = ReadFile(dir + "/" + folder + name);
            ASSERT_FALSE(frame.empty()) << folder << name;
            char shown[32];
            std::snprintf(shown, sizeof shown, "/frame-%05lld.png", 100LL * i * den / num);
            ASSERT_EQ(frame, ReadFile(dir + "/h" + shown)) << folder << name << " against h" << shown;
        }
    }
}

// The lines of a framemd5 text but the two that name the writer and the
// time base (which Matroska's millisecond clock writes for 59.94 fps as
// 317/19001).
std::vector<std::string> FrameLines(const std::string& text)
{
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        if (line.rfind("#software:", 0) != 0 && line.rfind("#tb ", 0) != 0) lines.push_back(line);
    return lines;
}

// A lossless master's frames, decoded by ffmpeg, have the MD5s the program
// wrote beside it; so have the PNG frames of a --frames run.
TEST_F(ShowTest, FrameChecksumsAreFfmpegsFramemd5OfTheLosslessMaster)
{
    if (std::system("command -v ffmpeg >/dev/null") != 0) GTEST_SKIP() << "no ffmpeg";
    for (const char* rate : {"50", "60000/1001"}) {
        SCOPED_TRACE(rate);
        ASSERT_EQ(Run(std::string("--capture m.mkv --lossless -y --fps ") + rate +
                      Span(kMovingFrom, kMovingFrom + 1.5) + " --framemd5 m.framemd5"),
                  0)
            << said;
        ASSERT_NE(said.find("wrote the MD5 of "), std::string::npos) << said;
        const std::string cmd = "cd '" + dir + "' && ffmpeg -loglevel error -i m.mkv -map 0:v -f framemd5 " +
                                "-pix_fmt rgb24 - >ffmpeg.framemd5";
        ASSERT_EQ(std::system(cmd.c_str()), 0);
        const std::vector<std::string> ours = FrameLines(ReadFile(dir + "/m.framemd5"));
        EXPECT_GE(ours.size(), 8u + 76u);
        EXPECT_EQ(ours, FrameLines(ReadFile(dir + "/ffmpeg.framemd5")));
    }
    // Without -y an existing checksum file refuses the run.
    EXPECT_EQ(Run("--capture n.mkv --lossless --framemd5 m.framemd5 --to 1"), 1);
    EXPECT_NE(said.find("m.framemd5 exists; it is left as it is"), std::string::npos) << said;
    EXPECT_FALSE(Exists(dir + "/n.mkv"));

    // PNG frames of a tenth of a second inside the master's span at 59.94
    // fps are the master's frames from the same index on.
    ASSERT_EQ(Run("--frames p --fps 60000/1001" + Span(kMovingFrom + 1, kMovingFrom + 1.1) +
                  " --framemd5 p.framemd5"),
              0)
        << said;
    const std::vector<std::string> png = FrameLines(ReadFile(dir + "/p.framemd5"));
    const std::vector<std::string> master = FrameLines(ReadFile(dir + "/m.framemd5"));
    const std::size_t offset = static_cast<std::size_t>(FirstFrameFrom(100 * kMovingFrom + 100, 60000, 1001) -
                                                        FirstFrameFrom(100 * kMovingFrom, 60000, 1001));
    const std::size_t frames = static_cast<std::size_t>(FirstFrameFrom(100 * kMovingFrom + 111, 60000, 1001) -
                                                        FirstFrameFrom(100 * kMovingFrom + 100, 60000, 1001));
    ASSERT_EQ(png.size(), 8u + frames);
    ASSERT_GE(master.size(), png.size() + offset);
    for (std::size_t k = 8; k < png.size(); ++k)
        EXPECT_EQ(png[k].substr(png[k].rfind(", ")), master[k + offset].substr(master[k + offset].rfind(", ")))
            << k;
}

// Every video carries the scenes of its span as chapters, clipped to it, at
// their times within the video, and tags saying what made it.
TEST_F(ShowTest, VideosHoldTheScenesOfTheirSpanAsChaptersAndSayWhatMadeThem)
{
    if (std::system("command -v ffprobe >/dev/null") != 0) GTEST_SKIP() << "no ffmpeg";
    auto probe = [&](const std::string& video) {
        const std::string cmd = "ffprobe -v error -show_chapters -show_entries format_tags -of compact '" + dir +
                                "/" + video + "' >'" + dir + "/probe.txt'";
        return std::system(cmd.c_str()) == 0 ? ReadFile(dir + "/probe.txt") : "";
    };
    // 50 fps from 0.60 s: the white opening, clipped, until 1.01 s, then the
    // title to the end of frame 150 (the 121st), at 2.42 s.
    ASSERT_EQ(Run("--capture a.mkv --from 0.6 --to 3"), 0) << said;
    const std::string mkv = probe("a.mkv");
    EXPECT_NE(mkv.find("start_time=0.000000|end=410000000|end_time=0.410000|tag:title=the white opening\n"),
              std::string::npos)
        << mkv;
    EXPECT_NE(mkv.find("start_time=0.410000|end=2420000000|end_time=2.420000|tag:title=the title\n"),
              std::string::npos)
        << mkv;
    EXPECT_EQ(mkv.find("the blurred orchid"), std::string::npos) << mkv;
    EXPECT_NE(mkv.find("tag:title=Orchid|"), std::string::npos) << mkv;
    EXPECT_NE(mkv.find("|tag:ORCHID_VERSION=orchid 1.0|tag:SHOW_SPAN=0.60 s to 3.00 s|tag:FRAME_RATE=50|tag:DEPTH=32"),
              std::string::npos)
        << mkv;
    const std::size_t at = mkv.find("FRAMES_DIGEST=");
    ASSERT_NE(at, std::string::npos) << mkv;
    const std::string digest = mkv.substr(at + 14, 16);

    // 59.94 fps in MP4 through 16 bits: the first frame, 36, is at 0.6006 s,
    // so the title begins 0.4094 s in, and the last, 180, ends at 2.4191 s;
    // the digest is of the frames the show rendered, whatever the depth, at
    // the presents written.
    ASSERT_EQ(Run("--capture b.mp4 --fps 60000/1001 --depth 16 --from 0.6 --to 3"), 0) << said;
    const std::string mp4 = probe("b.mp4");
    EXPECT_NE(mp4.find("end_time=0.409000|tag:title=the white opening\n"), std::string::npos) << mp4;
    EXPECT_NE(mp4.find("start_time=0.409000|end=2419|end_time=2.419000|tag:title=the title\n"), std::string::npos)
        << mp4;
    EXPECT_NE(mp4.find("|tag:show_span=0.60 s to 3.00 s|tag:frame_rate=60000/1001|tag:depth=16|"), std::string::npos)
        << mp4;
    EXPECT_EQ(mp4.find(digest), std::string::npos) << mp4;
    ASSERT_EQ(Run("--capture c.mkv --depth 16 --from 0.6 --to 3"), 0) << said;
    EXPECT_NE(probe("c.mkv").find("FRAMES_DIGEST=" + digest), std::string::npos);
}

TEST_F(ShowTest, CapturesAreIdenticalAndAFrameDoesNotDependOnFrom)
{
    const std::string to = " --to " + std::to_string(kSpan);
    ASSERT_EQ(Run("--frames a --fps 5" + to), 0) << said;
    ASSERT_EQ(Run("--frames b --fps 5" + to), 0) << said;
    ASSERT_EQ(Run("--frames c --fps 5 --from " + std::to_string(kSpan - 5) + to), 0) << said;
    // Frames 0..5 x kSpan at 5 fps; c holds only the last five seconds.
    const int last = 5 * kSpan, firstOfC = 5 * (kSpan - 5);
    char name[32];
    std::snprintf(name, sizeof name, "/frame-%05d.png", last + 1);
    EXPECT_FALSE(Exists(dir + "/a" + name));
    std::snprintf(name, sizeof name, "/frame-%05d.png", firstOfC - 1);
    EXPECT_FALSE(Exists(dir + "/c" + name));
    for (int i = 0; i <= last; ++i) {
        std::snprintf(name, sizeof name, "/frame-%05d.png", i);
        std::string a = ReadFile(dir + "/a" + name);
        ASSERT_FALSE(a.empty()) << name;
        ASSERT_EQ(a, ReadFile(dir + "/b" + name)) << name;
        if (i >= firstOfC) {
            ASSERT_EQ(a, ReadFile(dir + "/c" + name)) << name;
        }
    }
    // The first frame: white with dark even rows and a zero border.
    std::string first = Pixels(dir + "/a/frame-00000.png");
    ASSERT_EQ(first.size(), 640u * 480u * 3u);
    auto at = [&](int x, int y) { return static_cast<unsigned char>(first[(y * 640 + x) * 3]); };
    EXPECT_EQ(at(0, 1), 0);
    EXPECT_EQ(at(1, 1), 255);
    EXPECT_EQ(at(1, 2), 0);
    EXPECT_EQ(at(638, 477), 255);
    EXPECT_EQ(at(638, 479), 0);
}

TEST_F(ShowTest, TheDepthChangesThePictureThroughTheDisplayConversion)
{
    // A frame of the title (30 s), or of the garden in the shorter run.
    const std::string at = std::to_string(kSpan < 30 ? kSpan : 30);
    const std::string range = " --fps 1 --from " + at + " --to " + at;
    ASSERT_EQ(Run("--frames d32" + range), 0) << said;
    ASSERT_EQ(Run("--frames d16 --depth 16" + range), 0) << said;
    ASSERT_EQ(Run("--frames s2 --scale 2" + range), 0) << said;
    char name[32];
    std::snprintf(name, sizeof name, "/frame-%05d.png", std::stoi(at));
    std::string p32 = Pixels(dir + "/d32" + name);
    std::string p16 = Pixels(dir + "/d16" + name);
    std::string s2 = Pixels(dir + "/s2" + name);
    ASSERT_EQ(p32.size(), 640u * 480u * 3u);
    ASSERT_EQ(p16.size(), p32.size());
    ASSERT_EQ(s2.size(), 4 * p32.size());
    EXPECT_NE(p16, p32);
    // Every 16-bit pixel is the 32-bit one with its low bits replaced.
    for (std::size_t i = 0; i < p32.size(); i += 3) {
        unsigned char r = static_cast<unsigned char>(p32[i]), g = static_cast<unsigned char>(p32[i + 1]);
        ASSERT_EQ(static_cast<unsigned char>(p16[i]) & 0xF8, r & 0xF8) << i;
        ASSERT_EQ(static_cast<unsigned char>(p16[i + 1]) & 0xFC, g & 0xFC) << i;
    }
    // Scale 2: pixel (x, y) fills (2x..2x+1, 2y..2y+1).
    EXPECT_EQ(s2.substr((200 * 1280 + 300) * 3, 6), p32.substr((100 * 640 + 150) * 3, 3) + p32.substr((100 * 640 + 150) * 3, 3));
}

#ifndef ORCHID_SANITIZE
// Whole-show runs (a few seconds each in an optimised build; skipped in the
// sanitizer build, where they take minutes).
TEST_F(ShowTest, AFiftyFpsCaptureEndsWithTheFadeReachingBlack)
{
    ASSERT_EQ(Run("--frames f --from 203"), 0) << said;
    // 21460 hundredths: frame 10730 is the last one.
    EXPECT_FALSE(Exists(dir + "/f/frame-10731.png"));
    std::string last = Pixels(dir + "/f/frame-10730.png");
    ASSERT_EQ(last.size(), 640u * 480u * 3u);
    EXPECT_EQ(last, std::string(last.size(), '\0'));
    // Before the fade (203 s) the closing picture is there.
    std::string before = Pixels(dir + "/f/frame-10150.png");
    ASSERT_EQ(before.size(), last.size());
    EXPECT_NE(before, last);
}

TEST_F(ShowTest, AMusicFileShorterThanTheShowStillLetsTheShowEnd)
{
    ASSERT_EQ(unlink((dir + "/kestrune-velomar.mp3").c_str()), 0);
    std::string cut = "ffmpeg -loglevel error -y -t 3 -i '" + std::string(ORCHID_MUSIC) + "' -c copy '" + dir +
                      "/kestrune-velomar.mp3'";
    ASSERT_EQ(std::system(cut.c_str()), 0);
    EXPECT_EQ(Run("--frames f --fps 1 --from 214"), 0) << said;
    EXPECT_TRUE(Exists(dir + "/f/frame-00214.png"));
}

TEST_F(ShowTest, TheMusicIsFoundBesideTheProgramOrGivenAndNotNeededWithoutSound)
{
    const std::string range = " --fps 2 --from 100 --to 102";
    ASSERT_EQ(Run("--frames here" + range), 0) << said;
    RunACopyWithoutTheMusicBesideIt();
    ASSERT_EQ(rename((dir + "/kestrune-velomar.mp3").c_str(), (dir + "/bin/kestrune-velomar.mp3").c_str()), 0);
    // Beside the program.
    ASSERT_EQ(Run("--frames beside" + range), 0) << said;
    EXPECT_EQ(said.find("cannot open the music"), std::string::npos) << said;
    ASSERT_EQ(rename((dir + "/bin/kestrune-velomar.mp3").c_str(), (dir + "/elsewhere.mp3").c_str()), 0);
    // Given.
    ASSERT_EQ(Run("--frames given --music elsewhere.mp3" + range), 0) << said;
    ASSERT_EQ(unlink((dir + "/elsewhere.mp3").c_str()), 0);
    // Not needed: the frames are the same without it.
    ASSERT_EQ(Run("--frames silent --no-sound" + range), 0) << said;
    EXPECT_EQ(said.find("cannot open the music"), std::string::npos) << said;
    for (const char* name : {"/frame-00200.png", "/frame-00204.png"}) {
        std::string here = ReadFile(dir + "/here" + name);
        ASSERT_FALSE(here.empty()) << name;
        EXPECT_EQ(here, ReadFile(dir + "/beside" + name)) << name;
        EXPECT_EQ(here, ReadFile(dir + "/given" + name)) << name;
        EXPECT_EQ(here, ReadFile(dir + "/silent" + name)) << name;
    }
    // A capture without sound has no sound track.
    if (std::system("command -v ffprobe >/dev/null") != 0) GTEST_SKIP() << "no ffprobe";
    ASSERT_EQ(Run("--capture v.mkv --no-sound" + range), 0) << said;
    std::string probe = "ffprobe -v error -show_entries stream=codec_type -of csv=p=0 '" + dir + "/v.mkv' >'" +
                        dir + "/streams.txt'";
    ASSERT_EQ(std::system(probe.c_str()), 0);
    EXPECT_EQ(ReadFile(dir + "/streams.txt"), "video\n");
}

// The frames digest is of the frame the show renders, not of the display's
// conversion of it: through the 16-bit display it is still the golden one.
TEST_F(ShowTest, TheBenchmarkPrintsEachSceneAndTheGoldenFramesDigest)
{
    std::istringstream golden(ReadFile(ORCHID_DIGESTS));
    std::string kind, digest;
    long hundredths = 0;
    golden >> kind >> hundredths >> digest;
    ASSERT_EQ(kind, "show");
    ASSERT_EQ(Run("--benchmark --depth 16"), 0) << said;
    for (int scene = 0; scene <= 6; ++scene)
        EXPECT_NE(said.find("\n    " + std::to_string(scene) + "     "), std::string::npos) << said;
    EXPECT_NE(said.find("\nframes digest " + digest + "\n"), std::string::npos) << said;
}
#endif

// Around the full-frame flash at 27.61 s: followed pixel by pixel, the
// flowers that drift over the dark background after it flash four times
// within the second before 28.50 s; followed in 16 x 16 cells they do not.
TEST_F(ShowTest, TheFlashReportJudgesASpanAndSaysSoInItsExitStatus)
{
    ASSERT_EQ(Run("--flash-report --from 27 --to 28.5 --no-sound"), 3) << said;
    EXPECT_NE(said.find("flash report: 27.00 s to 28.50 s of show time, 151 frames at 100 a second\n"),
              std::string::npos)
        << said;
    EXPECT_NE(said.find("\n    28  4  "), std::string::npos) << said;
    EXPECT_NE(said.find("general flashes: at most 4 in one second over an area (FAIL); the most at 28.48 s to "
                        "28.50 s\n"),
              std::string::npos)
        << said;
    EXPECT_NE(said.find("largest change of the frame's mean relative luminance: 0.18 to 0.95 at 27.61 s\n"),
              std::string::npos)
        << said;
    EXPECT_NE(said.find("verdict: FAIL\n"), std::string::npos) << said;
    ASSERT_EQ(Run("--flash-report --from 27 --to 28.5 --no-sound --flash-cell 16"), 0) << said;
    EXPECT_NE(said.find("general flashes: at most 2.5 in one second over an area (pass)"), std::string::npos)
        << said;
    EXPECT_NE(said.find("red flashes: none (pass)\n"), std::string::npos) << said;
    EXPECT_NE(said.find("verdict: pass\n"), std::string::npos) << said;
}

TEST_F(ShowTest, FaultsEndTheRunWithStatusOneAndAReason)
{
    // The music missing: first one line that names it and where it was
    // looked for, then the report.
    RunACopyWithoutTheMusicBesideIt();
    ASSERT_EQ(unlink((dir + "/kestrune-velomar.mp3").c_str()), 0);
    EXPECT_EQ(Run("--frames f --fps 1 --to 1"), 1);
    const std::string line = "orchid: cannot open the music 'kestrune-velomar.mp3' (looked in ., " + dir +
                             "/bin, " + DataFolder(dir + "/bin", ORCHID_DATA_DIR) +
                             "): No such file or directory\n";
    std::size_t named = said.find(line);
    EXPECT_NE(named, std::string::npos) << said;
    EXPECT_LT(named, said.find("Audio error:\n Can't create stream.\n")) << said;
    EXPECT_NE(said.find("Error!"), std::string::npos) << said;
    EXPECT_EQ(Run("--frames f --fps 1 --to 1 --music nowhere.mp3"), 1);
    EXPECT_NE(said.find("orchid: cannot open the music 'nowhere.mp3': No such file or directory\n"),
              std::string::npos)
        << said;

    // Music there that does not play: first one line that names it and
    // why, then the report. /dev/zero is not read without end.
    {
        std::ofstream bad(dir + "/kestrune-velomar.mp3", std::ios::binary);
        bad << std::string(50000, 'x');
    }
    std::ofstream(dir + "/empty.mp3").close();
    const struct {
        const char* args;
        std::string line;
    } unplayable[] = {
        {"", "orchid: cannot play the music 'kestrune-velomar.mp3': it does not decode as MP3 audio\n"},
        {" --music empty.mp3", "orchid: cannot play the music 'empty.mp3': the file is empty\n"},
        {" --music /dev/zero",
         "orchid: cannot play the music '/dev/zero': it is not a regular file (a device, a pipe or a socket)\n"},
    };
    for (const auto& music : unplayable) {
        EXPECT_EQ(Run(std::string("--frames f --fps 1 --to 1") + music.args, "timeout -k 5 60"), 1) << music.args;
        std::size_t told = said.find(music.line);
        EXPECT_NE(told, std::string::npos) << said;
        EXPECT_LT(told, said.find("Audio error:\n Can't create stream.\n")) << said;
    }
    ASSERT_EQ(unlink((dir + "/kestrune-velomar.mp3").c_str()), 0);
    // A folder of the music's name is not found.
    ASSERT_EQ(mkdir((dir + "/kestrune-velomar.mp3").c_str(), 0777), 0);
    EXPECT_EQ(Run("--frames f --fps 1 --to 1 --music kestrune-velomar.mp3"), 1);
    EXPECT_NE(said.find("orchid: cannot open the music 'kestrune-velomar.mp3': Is a directory\n"), std::string::npos)
        << said;
    ASSERT_EQ(rmdir((dir + "/kestrune-velomar.mp3").c_str()), 0);
    ASSERT_EQ(symlink(ORCHID_MUSIC, (dir + "/kestrune-velomar.mp3").c_str()), 0);

    // ffmpeg missing.
    EXPECT_EQ(Run("--capture out.mp4", "PATH=/nonexistent"), 1);
    EXPECT_NE(said.find("ffmpeg"), std::string::npos) << said;
    EXPECT_NE(said.find("--frames DIR"), std::string::npos) << said;
    EXPECT_FALSE(Exists(dir + "/out.mp4"));

    // No display for a fullscreen or windowed run.
    EXPECT_EQ(Run("--mode 32"), 1);
    EXPECT_NE(said.find("no display"), std::string::npos) << said;
}

// A display asked for that does not open ends the run with one line naming
// it, never a show played unseen on SDL's offscreen driver or a mode dialog
// nobody sees. The program runs under timeout (env runs timeout, which runs
// it): a run that waits gives 124.
TEST_F(ShowTest, TheBackendIsTheOneAskedForOrTheRunEndsWithOneLine)
{
    const std::string bounded = " timeout -k 5 60";
    // SDL's video drivers (D-Bus among them) keep memory they obtained
    // before the display failed to open; the program's own code is held to
    // no leaks by the other runs.
    const std::string unreachable =
        "DISPLAY=:999 SDL_AUDIODRIVER=dummy ASAN_OPTIONS=detect_leaks=0:abort_on_error=1" + bounded;
    EXPECT_EQ(Run("--mode windowed", unreachable), 1);
    EXPECT_EQ(said, "orchid: cannot open the display \":999\"\n");
    EXPECT_EQ(Run("", unreachable), 1);
    EXPECT_EQ(said, "orchid: cannot open the display \":999\"\n");

    EXPECT_EQ(Run("", "ORCHID_BACKEND=gl" + bounded), 2);
    EXPECT_EQ(said, "orchid: ORCHID_BACKEND=gl names no backend; the choices are sdl, headless\n");
    EXPECT_EQ(Run("--mode 16", "ORCHID_BACKEND=sdl" + bounded), 2);
    EXPECT_EQ(said, "orchid: ORCHID_BACKEND=sdl cannot run here: there is no display (neither DISPLAY nor "
                    "WAYLAND_DISPLAY is set); the choices are sdl\n");
    EXPECT_EQ(Run("--frames f --fps 1 --to 1", "DISPLAY=:1 ORCHID_BACKEND=sdl" + bounded), 2);
    EXPECT_EQ(said, "orchid: ORCHID_BACKEND=sdl does not render off-screen; the choices are headless\n");
    EXPECT_FALSE(Exists(dir + "/f"));
    // Headless when named, whatever display is asked for.
    EXPECT_EQ(Run("--frames f --fps 1 --to 1", "ORCHID_BACKEND=headless " + unreachable), 0) << said;
    EXPECT_TRUE(Exists(dir + "/f/frame-00001.png")) << said;
}

TEST_F(ShowTest, ACaptureHoldsTheMusicAlignedWithThePicture)
{
    if (std::system("command -v ffprobe >/dev/null") != 0) GTEST_SKIP() << "no ffprobe";
    ASSERT_EQ(Run("--capture v.mkv --fps 10 --to 3"), 0) << said;
    std::string probe = "ffprobe -v error -show_entries stream=codec_type,start_time,nb_frames -of csv=p=0 '" +
                        dir + "/v.mkv' > '" + dir + "/probe.txt'";
    ASSERT_EQ(std::system(probe.c_str()), 0);
    std::string text = ReadFile(dir + "/probe.txt");
    EXPECT_NE(text.find("video,0.000000"), std::string::npos) << text;
    EXPECT_NE(text.find("audio,0.000000"), std::string::npos) << text;
}

// True once a thread of the process has a name starting with `prefix`.
bool HasThread(pid_t pid, const std::string& prefix)
{
    std::string tasks = "/proc/" + std::to_string(pid) + "/task";
    std::string cmd = "cat " + tasks + "/*/comm 2>/dev/null";
    FILE* in = popen(cmd.c_str(), "r");
    if (in == nullptr) return false;
    char line[64];
    bool found = false;
    while (std::fgets(line, sizeof line, in) != nullptr) found = found || std::string(line).rfind(prefix, 0) == 0;
    pclose(in);
    return found;
}

// True once the music device is open (its thread runs), waiting up to 60 s.
bool WaitForMusic(pid_t show)
{
    for (int i = 0; i < 1200; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        if (HasThread(show, "SDLAudio")) return true;
    }
    return false;
}

// Waits up to `seconds` for the show to end, then kills it: the pid when it
// ended by itself, 0 when it had to be killed. `status` is its wait status.
pid_t WaitOrKill(pid_t show, int seconds, int* status)
{
    pid_t ended = 0;
    for (int i = 0; i < seconds * 20 && ended == 0; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        ended = waitpid(show, status, WNOHANG);
    }
    if (ended == 0) {
        kill(show, SIGKILL);
        waitpid(show, status, 0);
    }
    return ended;
}

// Starts a private X server on a free display: its name (":N"), or "" when
// it did not start.
std::string StartXvfb(pid_t* server)
{
    // The server picks a free display and writes its number once it is ready.
    int ready[2];
    if (pipe(ready) != 0) return "";
    *server = fork();
    if (*server < 0) return "";
    if (*server == 0) {
        close(ready[0]);
        const std::string fd = std::to_string(ready[1]);
        // -noreset: a server that resets as its last client leaves turns
        // away a program connecting just then.
        execlp("Xvfb", "Xvfb", "-displayfd", fd.c_str(), "-screen", "0", "1024x768x24", "-nolisten", "tcp",
               "-noreset", nullptr);
        _exit(127);
    }
    close(ready[1]);
    // The number, then a newline in a write of its own: the line is whole
    // once the server is ready, cut short if it failed.
    FILE* display = fdopen(ready[0], "r");
    char number[16] = {};
    std::fgets(number, sizeof number, display);
    std::fclose(display);
    if (std::strchr(number, '\n') == nullptr) {
        kill(*server, SIGTERM);
        waitpid(*server, nullptr, 0);
        return "";
    }
    return std::string(":").append(std::to_string(std::atoi(number)));
}

// Plays the show in a window on `display` with SDL's silent audio driver,
// from `dir`, writing what it says to `out`; returns its process id.
pid_t PlayWindowed(const std::string& dir, const std::string& display, const std::string& out,
                   const char* music = nullptr)
{
    pid_t show = fork();
    if (show == 0) {
        if (chdir(dir.c_str()) != 0) _exit(126);
        int fd = open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        dup2(fd, 1);
        dup2(fd, 2);
        setenv("DISPLAY", display.c_str(), 1);
        unsetenv("WAYLAND_DISPLAY");
        setenv("SDL_VIDEODRIVER", "x11", 1);
        setenv("SDL_AUDIODRIVER", "dummy", 1);
        // SDL's X11 driver keeps memory until the process ends.
        setenv("ASAN_OPTIONS", "detect_leaks=0", 1);
        if (music != nullptr)
            execl(ORCHID_PROGRAM, ORCHID_PROGRAM, "--mode", "windowed", "--music", music, nullptr);
        else
            execl(ORCHID_PROGRAM, ORCHID_PROGRAM, "--mode", "windowed", nullptr);
        _exit(127);
    }
    return show;
}

// Live play with music shorter than the show says at start-up where the
// music ends, and plays on.
TEST_F(ShowTest, LivePlayWithShortMusicSaysWhereItEnds)
{
    if (std::system("command -v Xvfb >/dev/null 2>&1") != 0) GTEST_SKIP() << "Xvfb is not installed";
    const std::string tone = "ffmpeg -hide_banner -loglevel error -y -f lavfi -i sine=frequency=440:duration=1 "
                             "-c:a libmp3lame '" + dir + "/short.mp3'";
    ASSERT_EQ(std::system(tone.c_str()), 0);
    pid_t server = 0;
    const std::string name = StartXvfb(&server);
    ASSERT_FALSE(name.empty()) << "Xvfb did not start";
    const std::string out = dir + "/said.txt";
    pid_t show = PlayWindowed(dir, name, out, "short.mp3");
    ASSERT_GT(show, 0);
    const std::string line = "orchid: the music ends at 1.00 s, before the show's end at 214.60 s; the show goes on "
                             "in silence\n";
    bool said = false;
    for (int i = 0; i < 1200 && !said; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        said = ReadFile(out).find(line) != std::string::npos;
    }
    // Past the music's end the show still runs.
    std::this_thread::sleep_for(std::chrono::milliseconds(1500));
    const bool running = waitpid(show, nullptr, WNOHANG) == 0;
    kill(show, SIGKILL);
    waitpid(show, nullptr, 0);
    kill(server, SIGTERM);
    waitpid(server, nullptr, 0);
    EXPECT_TRUE(said) << ReadFile(out);
    EXPECT_TRUE(running) << ReadFile(out);
    const std::string text = ReadFile(out);
    EXPECT_EQ(text.find(line), text.rfind(line)) << "said once\n" << text;
}

// SIGINT or SIGTERM during live play ends the show, and the program exits
// as a capture ended so does: 128 + the signal's number.
TEST_F(ShowTest, ASignalEndsLivePlayWithTheStatusOfACaptureEndedSo)
{
    if (std::system("command -v Xvfb >/dev/null 2>&1") != 0) GTEST_SKIP() << "Xvfb is not installed";
    pid_t server = 0;
    const std::string name = StartXvfb(&server);
    ASSERT_FALSE(name.empty()) << "Xvfb did not start";
    const std::string out = dir + "/said.txt";
    for (int signalNumber : {SIGTERM, SIGINT}) {
        pid_t show = PlayWindowed(dir, name, out);
        ASSERT_GT(show, 0);
        const bool playing = WaitForMusic(show);
        std::this_thread::sleep_for(std::chrono::milliseconds(500));
        kill(show, signalNumber);
        int status = 0;
        const pid_t ended = WaitOrKill(show, 30, &status);
        said = ReadFile(out);
        EXPECT_TRUE(playing) << said;
        ASSERT_NE(ended, 0) << "signal " << signalNumber << " did not end the show\n" << said;
        ASSERT_TRUE(WIFEXITED(status)) << "ended by signal " << WTERMSIG(status) << "\n" << said;
        EXPECT_EQ(WEXITSTATUS(status), 128 + signalNumber) << said;
    }
    kill(server, SIGTERM);
    waitpid(server, nullptr, 0);
}

// The X server dies while the show plays: the process ends from inside the
// frame loop with its own line and status 1, so the music and the display
// are still up when the global objects are destroyed. Their releases must
// find a backend that is alive and must not touch the lost display.
TEST_F(ShowTest, TheDisplayGoingAwayMidRunEndsTheProgramWithItsOwnLine)
{
    if (std::system("command -v Xvfb >/dev/null 2>&1") != 0) GTEST_SKIP() << "Xvfb is not installed";
    pid_t server = 0;
    const std::string name = StartXvfb(&server);
    ASSERT_FALSE(name.empty()) << "Xvfb did not start";

    const std::string out = dir + "/said.txt";
    pid_t show = PlayWindowed(dir, name, out);
    ASSERT_GE(show, 0);
    // The music device is open (its thread runs): start-up is under way.
    const bool playing = WaitForMusic(show);
    std::this_thread::sleep_for(std::chrono::seconds(1));
    kill(server, SIGTERM);
    waitpid(server, nullptr, 0);

    int status = 0;
    const pid_t ended = WaitOrKill(show, 60, &status);
    said = ReadFile(out);
    ASSERT_TRUE(playing) << said;
    ASSERT_NE(ended, 0) << "the program did not end after the display went away\n" << said;
    EXPECT_NE(said.find("orchid: the display connection was lost (X server " + name + ")\n"), std::string::npos)
        << said;
    // Not Xlib's own message.
    EXPECT_EQ(said.find("XIO"), std::string::npos) << said;
    EXPECT_EQ(said.find("pure virtual"), std::string::npos) << said;
    ASSERT_TRUE(WIFEXITED(status)) << "ended by signal " << WTERMSIG(status) << "\n" << said;
    EXPECT_EQ(WEXITSTATUS(status), 1) << said;
}

}  // namespace
