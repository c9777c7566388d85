// What a headless run leaves on disk, run as a user runs the program, in a
// scratch folder with the music: outputs that exist are never replaced
// without -y, a run without a display picks a free name, an interrupted
// capture finishes its video and exits 128 + the signal (an ffmpeg that
// does not answer the stop is ended, its video removed), and a failed one
// (ffmpeg failing, exiting without its file, the disk full) leaves no
// partial file and says so. Most runs use the stand-in ffmpeg, found first
// on PATH; the full disk and the short music use the real one.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/scratch_folder.h"

namespace {

std::string ReadFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

class FilesTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_EQ(symlink(ORCHID_MUSIC, (dir + "/kestrune-velomar.mp3").c_str()), 0);
        // The stand-in, as "ffmpeg" in a folder of its own.
        fakeBin = dir + "/fake-bin";
        ASSERT_EQ(mkdir(fakeBin.c_str(), 0777), 0);
        ASSERT_EQ(symlink(ORCHID_FAKE_FFMPEG, (fakeBin + "/ffmpeg").c_str()), 0);
        const char* path = std::getenv("PATH");
        fakePath = "PATH='" + fakeBin + ":" + (path != nullptr ? path : "/usr/bin:/bin") + "'";
    }

    // Runs the program in the scratch folder without a display; returns its
    // exit status and keeps what it said in `said`.
    int Run(const std::string& args, const std::string& environment = "")
    {
        const std::string out = dir + "/said.txt";
        const std::string cmd = "cd '" + dir + "' && env -u DISPLAY -u WAYLAND_DISPLAY " + environment + " '" +
                                ORCHID_PROGRAM + "' " + args + " >'" + out + "' 2>&1";
        const int status = std::system(cmd.c_str());
        said = ReadFile(out);
        std::remove(out.c_str());
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

    // Starts the program with the stand-in ffmpeg, waits until its
    // temporary video `name`.part-* appears, sends it `signalNumber`, and
    // returns its exit status.
    int RunAndInterrupt(const std::vector<std::string>& args, const std::string& name, int signalNumber)
    {
        const std::string out = dir + "/said.txt";
        pid_t child = fork();
        if (child == 0) {
            if (chdir(dir.c_str()) != 0) _exit(126);
            FILE* log = std::fopen(out.c_str(), "w");
            if (log == nullptr) _exit(126);
            dup2(fileno(log), 1);
            dup2(fileno(log), 2);
            unsetenv("DISPLAY");
            unsetenv("WAYLAND_DISPLAY");
            setenv("PATH", (fakeBin + ":" + std::getenv("PATH")).c_str(), 1);
            std::vector<char*> argv{const_cast<char*>(ORCHID_PROGRAM)};
            for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
            argv.push_back(nullptr);
            execv(ORCHID_PROGRAM, argv.data());
            _exit(127);
        }
        if (child < 0) return -1;
        bool started = false;
        for (int i = 0; i < 1200 && !started; ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
            for (const std::string& entry : scratch.Names()) started = started || entry.rfind(name + ".part-", 0) == 0;
        }
        // A few frames more, then the signal.
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        kill(child, signalNumber);
        // It must end within a bounded time, whatever its ffmpeg does.
        int status = 0;
        pid_t ended = 0;
        const auto signalled = std::chrono::steady_clock::now();
        while ((ended = waitpid(child, &status, WNOHANG)) == 0 &&
               std::chrono::steady_clock::now() - signalled < std::chrono::seconds(15))
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        if (ended == 0) {
            kill(child, SIGKILL);
            waitpid(child, &status, 0);
        }
        said = ReadFile(out);
        std::remove(out.c_str());
        if (!started) return -2;
        if (ended == 0) return -3;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

    // Puts a shell script in the stand-in's place: it first writes its
    // process id to `pid` in the scratch folder, then runs `body`.
    void FakeScript(const std::string& body)
    {
        const std::string script = fakeBin + "/ffmpeg";
        std::remove(script.c_str());
        std::ofstream(script) << "#!/bin/sh\necho $$ >'" << dir << "/pid'\n" << body << "\n";
        ASSERT_EQ(chmod(script.c_str(), 0755), 0);
    }
    // True when the script has been reaped and nothing of its process
    // group (it leads the group ffmpeg is run in) is left running: its own
    // children, killed with it, may stay zombies until the system reaps them.
    bool ScriptGone() const
    {
        const pid_t pid = static_cast<pid_t>(std::atol(ReadFile(dir + "/pid").c_str()));
        if (pid <= 0) return false;
        bool gone = kill(pid, 0) != 0 && errno == ESRCH;
        for (const auto& entry : std::filesystem::directory_iterator("/proc")) {
            const std::string stat = ReadFile(entry.path().string() + "/stat");
            const std::string::size_type end = stat.rfind(')');
            char state = 0;
            long parent = 0, group = 0;
            if (end == std::string::npos ||
                std::sscanf(stat.c_str() + end + 1, " %c %ld %ld", &state, &parent, &group) != 3)
                continue;
            if (group == pid && state != 'Z') gone = false;
        }
        // None is left running past a failed check either.
        if (!gone) kill(-pid, SIGKILL);
        return gone;
    }

    // True when no temporary file is left in the folder or below it.
    bool NoTemporaryFiles() const
    {
        for (const auto& entry : std::filesystem::recursive_directory_iterator(dir))
            if (entry.path().filename().string().find(".part-") != std::string::npos) return false;
        return true;
    }
    // The byte count the stand-in read, from the video it wrote.
    static long long FakeVideoBytes(const std::string& path)
    {
        long long bytes = -1;
        return std::sscanf(ReadFile(path).c_str(), "fake video %lld", &bytes) == 1 ? bytes : -1;
    }

    test_support::ScratchFolder scratch{"files"};
    const std::string dir = scratch.Path();
    std::string fakeBin;
    std::string fakePath;
    std::string said;
};

constexpr long long kFrameBytes = 640 * 480 * 3;

TEST_F(FilesTest, OutputsThatExistAreReplacedOnlyWithOverwrite)
{
    std::ofstream(dir + "/out.mp4") << "old";
    EXPECT_EQ(Run("--capture out.mp4 --fps 10 --to 0.5", fakePath), 1);
    EXPECT_NE(said.find("orchid: " + dir + "/out.mp4 exists; it is left as it is (-y or --overwrite replaces it)\n"),
              std::string::npos)
        << said;
    EXPECT_EQ(ReadFile(dir + "/out.mp4"), "old");

    ASSERT_EQ(Run("--capture out.mp4 --fps 10 --to 0.5 -y", fakePath), 0) << said;
    EXPECT_NE(said.find("orchid: capturing the show to " + dir + "/out.mp4 at 10 fps"), std::string::npos) << said;
    EXPECT_NE(said.find("orchid: wrote 6 frames to " + dir + "/out.mp4;"), std::string::npos) << said;
    EXPECT_EQ(FakeVideoBytes(dir + "/out.mp4"), 6 * kFrameBytes);

    // A folder of the video's name refuses the run at once, with -y too.
    ASSERT_TRUE(std::filesystem::create_directory(dir + "/folder.mkv"));
    for (const char* overwrite : {"", " -y"}) {
        EXPECT_EQ(Run(std::string("--capture folder.mkv") + overwrite, fakePath), 1);
        EXPECT_EQ(said, "orchid: " + dir + "/folder.mkv is a folder; the video cannot be written under its name\n");
    }
    EXPECT_TRUE(std::filesystem::is_empty(dir + "/folder.mkv"));

    // PNG frames: a frame of the run that exists refuses the run.
    ASSERT_EQ(Run("--frames f --fps 1 --to 0"), 0) << said;
    EXPECT_NE(said.find("orchid: wrote 1 frame to " + dir + "/f;"), std::string::npos) << said;
    const std::string first = ReadFile(dir + "/f/frame-00000.png");
    std::ofstream(dir + "/f/frame-00001.png") << "old";
    EXPECT_EQ(Run("--frames f --fps 1 --to 1"), 1);
    EXPECT_NE(said.find("orchid: " + dir + "/f/frame-00000.png exists;"), std::string::npos) << said;
    EXPECT_EQ(ReadFile(dir + "/f/frame-00001.png"), "old");
    // Frames outside the run's span do not count.
    EXPECT_EQ(Run("--frames f --fps 1 --from 2 --to 2"), 0) << said;
    ASSERT_EQ(Run("--frames f --fps 1 --to 1 --overwrite"), 0) << said;
    EXPECT_EQ(ReadFile(dir + "/f/frame-00000.png"), first);
    EXPECT_NE(ReadFile(dir + "/f/frame-00001.png"), "old");
    EXPECT_TRUE(NoTemporaryFiles());
}

TEST_F(FilesTest, WithoutADisplayAFreeNameIsTakenAndAnInterruptedCaptureKeepsItsFrames)
{
    std::ofstream(dir + "/orchid.mp4") << "old";
    ASSERT_EQ(RunAndInterrupt({}, "orchid-2.mp4", SIGINT), 130) << said;
    EXPECT_NE(said.find("orchid: no display; rendering the show headless to " + dir + "/orchid-2.mp4\n"),
              std::string::npos)
        << said;
    EXPECT_EQ(ReadFile(dir + "/orchid.mp4"), "old");
    // ffmpeg finished the video with every frame written before the stop.
    const std::string::size_type at = said.find("orchid: interrupted (SIGINT): wrote ");
    ASSERT_NE(at, std::string::npos) << said;
    const long frames = std::atol(said.c_str() + at + 36);
    EXPECT_GT(frames, 0) << said;
    EXPECT_NE(said.find(" to " + dir + "/orchid-2.mp4;", at), std::string::npos) << said;
    EXPECT_EQ(FakeVideoBytes(dir + "/orchid-2.mp4"), frames * kFrameBytes);
    EXPECT_TRUE(NoTemporaryFiles());

    // SIGTERM likewise, with its own status.
    ASSERT_EQ(RunAndInterrupt({"--capture", "t.mkv", "--fps", "5"}, "t.mkv", SIGTERM), 143) << said;
    EXPECT_NE(said.find("orchid: interrupted (SIGTERM): wrote "), std::string::npos) << said;
    EXPECT_GT(FakeVideoBytes(dir + "/t.mkv"), 0);
    EXPECT_TRUE(NoTemporaryFiles());
}

// A span in which no frame of the rate falls is refused as a bad command
// line, in one line, before anything is rendered or made.
TEST_F(FilesTest, ASpanThatHoldsNoFrameIsRefusedBeforeAnythingIsWritten)
{
    EXPECT_EQ(Run("--capture e.mp4 --from 214.61", fakePath), 2);
    EXPECT_EQ(said, "orchid: no frame falls between --from 214.61 s and the end of the show (214.61 s) at 50 fps "
                    "(one frame every 0.02 s); nothing would be written\n");
    EXPECT_FALSE(std::filesystem::exists(dir + "/e.mp4"));
    EXPECT_EQ(Run("--frames f --fps 1 --from 10.5 --to 10.9"), 2);
    EXPECT_EQ(said, "orchid: no frame falls between --from 10.50 s and --to 10.90 s at 1 fps (one frame every "
                    "1 s); nothing would be written\n");
    EXPECT_FALSE(std::filesystem::exists(dir + "/f"));
    // Without a display the video it would render is refused alike.
    EXPECT_EQ(Run("--from 214.61", fakePath), 2);
    EXPECT_NE(said.find("orchid: no frame falls between --from 214.61 s"), std::string::npos) << said;
    EXPECT_FALSE(std::filesystem::exists(dir + "/orchid.mp4"));
    EXPECT_TRUE(NoTemporaryFiles());
    // A frame on the span's edge is written.
    ASSERT_EQ(Run("--frames g --fps 1 --from 10.5 --to 11"), 0) << said;
    EXPECT_TRUE(std::filesystem::exists(dir + "/g/frame-00011.png")) << said;
}

// An ffmpeg that takes no frames, or takes them all but never ends (not
// even at SIGTERM): the stop still ends the run within a bounded time, with
// the interrupted status, no partial file and no process left behind.
TEST_F(FilesTest, AStoppedCaptureEndsAnEncoderThatDoesNotAnswer)
{
    FakeScript("exec sleep 600");
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(RunAndInterrupt({"--capture", "a.mp4"}, "a.mp4", SIGINT), 130) << said;
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(20));
    EXPECT_NE(said.find("orchid: interrupted (SIGINT): ffmpeg stopped answering and was ended; the partial video "
                        "was removed and nothing was written to " + dir + "/a.mp4\n"),
              std::string::npos)
        << said;
    EXPECT_FALSE(std::filesystem::exists(dir + "/a.mp4"));
    EXPECT_TRUE(NoTemporaryFiles());
    EXPECT_TRUE(ScriptGone());

    FakeScript("trap '' TERM INT\ncat >/dev/null\nwhile :; do sleep 1; done");
    EXPECT_EQ(RunAndInterrupt({"--capture", "b.mkv", "--fps", "5"}, "b.mkv", SIGTERM), 143) << said;
    EXPECT_NE(said.find("orchid: interrupted (SIGTERM): ffmpeg stopped answering and was ended;"), std::string::npos)
        << said;
    EXPECT_FALSE(std::filesystem::exists(dir + "/b.mkv"));
    EXPECT_TRUE(NoTemporaryFiles());
    EXPECT_TRUE(ScriptGone());
}

TEST_F(FilesTest, AFailedEncoderLeavesNoFileAndSaysSo)
{
    EXPECT_EQ(Run("--capture out.mp4 --fps 10 --to 0.3", fakePath + " ORCHID_FAKE_FFMPEG_NO_OUTPUT=1"), 1);
    EXPECT_NE(said.find("ffmpeg ended without an error but wrote nothing for 'out.mp4'"), std::string::npos) << said;
    EXPECT_EQ(said.find("orchid: wrote"), std::string::npos) << said;
    EXPECT_FALSE(std::filesystem::exists(dir + "/out.mp4"));
    EXPECT_TRUE(NoTemporaryFiles());

    // A name that looks like an option is still a file.
    ASSERT_EQ(Run("--capture -y.mp4 --fps 10 --to 0.3", fakePath), 0) << said;
    EXPECT_EQ(FakeVideoBytes(dir + "/-y.mp4"), 4 * kFrameBytes);
}

// A file size limit stands in for a full disk: every write past it fails
// (the shell ignores the limit's signal, so the write returns an error).
TEST_F(FilesTest, AFullDiskKeepsTheCompleteFramesAndRemovesThePartialVideo)
{
    // The frames up to 7 s are small, the next ones larger than 64 KiB.
    EXPECT_EQ(Run("--frames f --fps 1 --to 10", "sh -c 'ulimit -f 64; trap \"\" XFSZ; exec \"$0\" \"$@\"'"), 1);
    EXPECT_NE(said.find("could not be written: File too large. Nothing was left under its name."),
              std::string::npos)
        << said;
    int kept = 0;
    for (const auto& entry : std::filesystem::directory_iterator(dir + "/f")) kept += entry.is_regular_file();
    EXPECT_GT(kept, 0);
    EXPECT_LT(kept, 11);
    EXPECT_NE(said.find("orchid: the " + std::to_string(kept) + " complete frames written before the failure stay in " +
                        dir + "/f\n"),
              std::string::npos)
        << said;
    EXPECT_TRUE(NoTemporaryFiles());

    if (std::system("command -v ffmpeg >/dev/null") != 0) GTEST_SKIP() << "no ffmpeg";
    EXPECT_EQ(Run("--capture full.mp4 --fps 10 --to 12", "sh -c 'ulimit -f 64; trap \"\" XFSZ; exec \"$0\" \"$@\"'"),
              1);
    EXPECT_NE(said.find("The partial video was removed."), std::string::npos) << said;
    EXPECT_FALSE(std::filesystem::exists(dir + "/full.mp4"));
    EXPECT_TRUE(NoTemporaryFiles());
}

TEST_F(FilesTest, MusicShorterThanTheCaptureEndsInSilenceAndTheVideoKeepsItsLength)
{
    if (std::system("command -v ffprobe >/dev/null") != 0) GTEST_SKIP() << "no ffmpeg";
    const std::string tone = "ffmpeg -hide_banner -loglevel error -y -f lavfi -i sine=frequency=440:duration=1 "
                             "-c:a libmp3lame '" + dir + "/short.mp3'";
    ASSERT_EQ(std::system(tone.c_str()), 0);
    ASSERT_EQ(Run("--capture v.mkv --music short.mp3 --fps 10 --to 3"), 0) << said;
    EXPECT_NE(said.find("orchid: the music ends at 1.00 s, before the capture's end at 3.00 s; the video is silent "
                        "from there on\n"),
              std::string::npos)
        << said;
    const std::string probe = "ffprobe -v error -count_frames -show_entries stream=codec_type,nb_read_frames -of "
                              "csv=p=0 '" + dir + "/v.mkv' >'" + dir + "/probe.txt'";
    ASSERT_EQ(std::system(probe.c_str()), 0);
    // Frames 0 to 30, and sound beside them.
    const std::string streams = ReadFile(dir + "/probe.txt");
    EXPECT_NE(streams.find("video,31\n"), std::string::npos) << streams;
    EXPECT_NE(streams.find("audio,"), std::string::npos) << streams;
    const std::string duration = "ffprobe -v error -show_entries format=duration -of csv=p=0 '" + dir +
                                 "/v.mkv' >'" + dir + "/duration.txt'";
    ASSERT_EQ(std::system(duration.c_str()), 0);
    EXPECT_GE(std::atof(ReadFile(dir + "/duration.txt").c_str()), 3.0);

    // Music that lasts to the capture's end says nothing.
    ASSERT_EQ(Run("--capture w.mkv --music short.mp3 --fps 10 --to 0.5", fakePath), 0) << said;
    EXPECT_EQ(said.find("the music ends"), std::string::npos) << said;
}

}  // namespace
