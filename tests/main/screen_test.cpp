// What a viewer sees on the desktop: the test pattern viewer and the program
// on a virtual X server (Xvfb) of their own, without a window manager and
// with one (openbox), judged by screenshots of the whole screen: fullscreen
// and Alt+Enter, the window's place and zoom, and the "Error!" box.
// Skipped when Xvfb is missing; the window manager cases when openbox is.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <set>
#include <functional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/scratch_folder.h"

namespace {

using Clock = std::chrono::steady_clock;

struct Rgb {
    int r, g, b;
};

bool Installed(const char* program)
{
    return std::system((std::string("command -v ") + program + " >/dev/null 2>&1").c_str()) == 0;
}

std::string ReadFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

// A screenshot of the whole screen, as RGB bytes.
struct Shot {
    int width = 0;
    int height = 0;
    std::string rgb;

    Rgb At(int x, int y) const
    {
        size_t i = (static_cast<size_t>(y) * width + x) * 3;
        return {static_cast<unsigned char>(rgb[i]), static_cast<unsigned char>(rgb[i + 1]),
                static_cast<unsigned char>(rgb[i + 2])};
    }
};

bool Near(Rgb a, Rgb b, int tolerance = 40)
{
    return std::abs(a.r - b.r) <= tolerance && std::abs(a.g - b.g) <= tolerance && std::abs(a.b - b.b) <= tolerance;
}

std::string Describe(Rgb c)
{
    char text[32];
    std::snprintf(text, sizeof text, "(%d,%d,%d)", c.r, c.g, c.b);
    return text;
}

// The colour bars across the pattern's top third, left to right.
const Rgb kBars[8] = {{255, 255, 255}, {255, 255, 0}, {0, 255, 255}, {0, 255, 0},
                      {255, 0, 255},   {255, 0, 0},   {0, 0, 255},   {0, 0, 0}};
const Rgb kBlack = {0, 0, 0};
const Rgb kWhite = {255, 255, 255};

// Where the 640 x 480 pattern is on the screen: its top left corner and
// how many screen pixels one of its pixels takes.
struct Placement {
    int x, y;
    double scale;
};

// Every way the placement can be wrong, or "" when the screen shows the
// whole pattern there: black outside it, its white frame at its edges, the
// eight bars in order.
std::string CheckPattern(const Shot& shot, Placement p)
{
    auto at = [&](double ix, double iy) {
        return shot.At(p.x + static_cast<int>(ix * p.scale), p.y + static_cast<int>(iy * p.scale));
    };
    int right = p.x + static_cast<int>(640 * p.scale);
    int bottom = p.y + static_cast<int>(480 * p.scale);
    std::string faults;
    auto expect = [&](bool ok, const std::string& what) {
        if (!ok) faults += what + "; ";
    };
    for (int i = 0; i < 8; ++i) {
        Rgb c = at(40 + 80 * i, 80);
        expect(Near(c, kBars[i]), "bar " + std::to_string(i) + " is " + Describe(c));
    }
    // The frame's corners, and what lies beyond them.
    expect(Near(at(0, 0), kWhite), "top left corner " + Describe(at(0, 0)));
    expect(Near(at(639.5, 479.5), kWhite), "bottom right corner " + Describe(at(639.5, 479.5)));
    if (p.y > 0) expect(Near(shot.At(right / 2 + p.x / 2, p.y - 1), kBlack), "no black above");
    if (bottom < shot.height) expect(Near(shot.At(right / 2 + p.x / 2, bottom), kBlack), "no black below");
    if (p.x > 0) expect(Near(shot.At(p.x - 1, bottom / 2 + p.y / 2), kBlack), "no black left");
    if (right < shot.width) expect(Near(shot.At(right, bottom / 2 + p.y / 2), kBlack), "no black right");
    return faults;
}

class ScreenTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!Installed("Xvfb")) GTEST_SKIP() << "SKIPPED: Xvfb is not installed";
    }

    void TearDown() override
    {
        StopProgram();
        Stop(windowManager);
        Stop(server);
    }

    static void Stop(pid_t& pid)
    {
        if (pid <= 0) return;
        kill(pid, SIGTERM);
        waitpid(pid, nullptr, 0);
        pid = 0;
    }

    // An X server of this size on a free display, with openbox on it when
    // asked; false (the test then skips) when openbox is missing.
    bool StartServer(int w, int h, bool withWindowManager)
    {
        width = w;
        height = h;
        if (withWindowManager && !Installed("openbox")) return false;
        int ready[2];
        EXPECT_EQ(pipe(ready), 0);
        server = fork();
        if (server == 0) {
            close(ready[0]);
            std::string fd = std::to_string(ready[1]);
            std::string size = std::to_string(w) + "x" + std::to_string(h) + "x24";
            // Without -noreset the server resets each time its last client
            // leaves, and a program connecting just then is turned away:
            // here the screenshots come and go while the program starts.
            execlp("Xvfb", "Xvfb", "-displayfd", fd.c_str(), "-screen", "0", size.c_str(), "-nolisten", "tcp",
                   "-noreset", nullptr);
            _exit(127);
        }
        close(ready[1]);
        FILE* in = fdopen(ready[0], "r");
        char number[16] = {};
        std::fgets(number, sizeof number, in);
        std::fclose(in);
        EXPECT_NE(std::strchr(number, '\n'), nullptr) << "Xvfb did not start";
        display = std::string(":").append(std::to_string(std::atoi(number)));
        setenv("DISPLAY", display.c_str(), 1);
        unsetenv("WAYLAND_DISPLAY");
        if (withWindowManager) {
            // openbox announces itself on the root window once it manages
            // it. On a loaded machine it has been seen to give up at start;
            // it is then started again, and what it said is reported.
            StartWindowManager();
            int starts = 1;
            bool up = WaitFor([&] {
                if (std::system("xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id'") == 0) {
                    return true;
                }
                if (waitpid(windowManager, nullptr, WNOHANG) == windowManager && starts < 5) {
                    StartWindowManager();
                    ++starts;
                }
                return false;
            });
            EXPECT_TRUE(up) << "openbox did not start (" << starts << " tries): " << ReadFile(dir + "/openbox.txt");
        }
        return true;
    }

    // openbox on the server, with its messages in openbox.txt and its own
    // cache and configuration folders, apart from those of other tests.
    void StartWindowManager()
    {
        windowManager = fork();
        if (windowManager == 0) {
            int fd = open((dir + "/openbox.txt").c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
            dup2(fd, 1);
            dup2(fd, 2);
            setenv("XDG_CACHE_HOME", (dir + "/cache").c_str(), 1);
            setenv("XDG_CONFIG_HOME", (dir + "/config").c_str(), 1);
            execlp("openbox", "openbox", "--sm-disable", nullptr);
            _exit(127);
        }
    }

    // Starts a program on the server; what it says goes to said.txt.
    void StartProgram(const std::string& path, const std::vector<std::string>& args)
    {
        program = fork();
        if (program == 0) {
            if (chdir(dir.c_str()) != 0) _exit(126);
            int fd = open((dir + "/said.txt").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            dup2(fd, 1);
            dup2(fd, 2);
            setenv("SDL_VIDEODRIVER", "x11", 1);
            setenv("SDL_AUDIODRIVER", "dummy", 1);
            setenv("ASAN_OPTIONS", "detect_leaks=0", 1);
            std::vector<char*> argv;
            argv.push_back(const_cast<char*>(path.c_str()));
            for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
            argv.push_back(nullptr);
            execv(path.c_str(), argv.data());
            _exit(127);
        }
    }

    // Escape, then the exit status (-1 when it had to be killed).
    int StopProgram()
    {
        if (program <= 0) return -1;
        Key("Escape");
        return WaitProgram();
    }

    int WaitProgram()
    {
        int status = 0;
        pid_t ended = 0;
        for (auto end = Clock::now() + std::chrono::seconds(20); ended == 0 && Clock::now() < end;) {
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
            ended = waitpid(program, &status, WNOHANG);
        }
        if (ended == 0) {
            kill(program, SIGKILL);
            waitpid(program, &status, 0);
        }
        program = 0;
        return ended != 0 && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

    // What a shell command printed.
    static std::string Output(const std::string& command)
    {
        std::string text;
        FILE* in = popen(command.c_str(), "r");
        if (in == nullptr) return text;
        char buffer[256];
        while (std::fgets(buffer, sizeof buffer, in) != nullptr) text += buffer;
        pclose(in);
        return text;
    }

    void Key(const char* keys)
    {
        std::system((std::string("xdotool key --clearmodifiers ") + keys + " 2>/dev/null").c_str());
    }

    Shot Take()
    {
        Shot shot;
        std::string raw = dir + "/shot.rgb";
        std::string cmd = "import -display " + display + " -window root -depth 8 rgb:'" + raw + "' 2>/dev/null";
        if (std::system(cmd.c_str()) != 0) return shot;
        shot.rgb = ReadFile(raw);
        if (shot.rgb.size() != static_cast<size_t>(width) * height * 3) shot.rgb.clear();
        shot.width = width;
        shot.height = height;
        return shot;
    }

    // Waits (the machine may be loaded) until the condition holds.
    static bool WaitFor(const std::function<bool()>& condition, int seconds = 20)
    {
        for (auto end = Clock::now() + std::chrono::seconds(seconds); Clock::now() < end;) {
            if (condition()) return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(200));
        }
        return false;
    }

    // Waits until the screen shows the pattern at this placement; the
    // faults seen last otherwise.
    std::string ExpectPattern(Placement p)
    {
        std::string faults = "no screenshot";
        WaitFor([&] {
            Shot shot = Take();
            faults = shot.rgb.empty() ? "no screenshot" : CheckPattern(shot, p);
            return faults.empty();
        });
        return faults;
    }

    test_support::ScratchFolder scratch{"screen"};
    const std::string dir = scratch.Path();
    std::string display;
    int width = 0;
    int height = 0;
    pid_t server = 0;
    pid_t windowManager = 0;
    pid_t program = 0;
};

// 1280 x 1024 is 5:4: fullscreen the picture is twice its size, with bands
// of 32 rows above and below.
const Placement kFull = {0, 32, 2.0};
// A window centred on the screen.
const Placement kWindow = {320, 272, 1.0};

class FullscreenTest : public ScreenTest, public ::testing::WithParamInterface<bool> {};

TEST_P(FullscreenTest, EveryDepthFillsTheScreenAndAltEnterComesBackToTheWindow)
{
    if (!StartServer(1280, 1024, GetParam())) GTEST_SKIP() << "SKIPPED: openbox is not installed";
    for (const char* depth : {"32", "24", "16"}) {
        SCOPED_TRACE(std::string("depth ") + depth);
        StartProgram(ORCHID_PATTERN, {"--mode", depth});
        EXPECT_EQ(ExpectPattern(kFull), "");
        if (std::strcmp(depth, "16") == 0) {
            // Back and forth, any number of times, ending where it began.
            for (int i = 0; i < 4; ++i) {
                Key("alt+Return");
                EXPECT_EQ(ExpectPattern(i % 2 == 0 ? kWindow : kFull), "") << "after " << i + 1 << " Alt+Enter";
            }
        }
        EXPECT_EQ(StopProgram(), 0) << ReadFile(dir + "/said.txt");
    }
}

TEST_P(FullscreenTest, TheWindowIsCentredKeeps4To3WhenResizedAndZoomsPixelForPixel)
{
    if (!StartServer(1280, 1024, GetParam())) GTEST_SKIP() << "SKIPPED: openbox is not installed";
    StartProgram(ORCHID_PATTERN, {"--mode", "windowed"});
    EXPECT_EQ(ExpectPattern(kWindow), "");
    // Alt+Enter from the window, and back to the same place.
    Key("alt+Return");
    EXPECT_EQ(ExpectPattern(kFull), "");
    Key("alt+Return");
    EXPECT_EQ(ExpectPattern(kWindow), "");
    EXPECT_EQ(StopProgram(), 0);

    // Resized to 1280 x 992 (by a window manager or, as here, by another
    // client), the window shows the picture twice its size in its middle,
    // between bands of 16 rows, not stretched. The window manager is asked
    // to keep 4:3.
    StartProgram(ORCHID_PATTERN, {"--mode", "windowed"});
    EXPECT_EQ(ExpectPattern(kWindow), "");
    std::string hints = Output("xprop -id $(xdotool search --name '^Orchid$' | head -1) WM_NORMAL_HINTS");
    EXPECT_NE(hints.find("minimum aspect ratio: 640/480"), std::string::npos) << hints;
    EXPECT_NE(hints.find("maximum aspect ratio: 640/480"), std::string::npos) << hints;
    if (!GetParam()) {
        std::system("xdotool search --name '^Orchid$' windowmove 0 32 windowsize 1280 992 2>/dev/null");
        EXPECT_EQ(ExpectPattern({0, 48, 2.0}), "");
        EXPECT_NE(Output("xdotool search --name '^Orchid$' getwindowgeometry").find("Geometry: 1280x992"),
                  std::string::npos);
    }
    EXPECT_EQ(StopProgram(), 0);

    StartProgram(ORCHID_PATTERN, {"--mode", "windowed", "--zoom", "2"});
    EXPECT_EQ(ExpectPattern({0, 32, 2.0}), "");
    // Nearest neighbour: the one-pixel checkerboard (pattern rows 340 to
    // 399) becomes 2 x 2 blocks of pure black and white, no grey.
    Shot shot = Take();
    ASSERT_FALSE(shot.rgb.empty());
    int mixed = 0;
    for (int iy = 350; iy < 390; ++iy) {
        for (int ix = 100; ix < 140; ++ix) {
            Rgb want = ((ix ^ iy) & 1) != 0 ? kWhite : kBlack;
            for (int d = 0; d < 4; ++d) mixed += !Near(shot.At(2 * ix + d % 2, 32 + 2 * iy + d / 2), want, 8);
        }
    }
    EXPECT_EQ(mixed, 0);
    EXPECT_EQ(StopProgram(), 0);
}

// Along one screen row through the pattern's one-pixel checkerboard: the
// runs of screen pixels of one pure colour (black or white) and the pixels
// of neither (a filter's blend).
struct Runs {
    std::vector<int> pure;
    int mixed = 0;
    int longestMixed = 0;
};

Runs RunsAlong(const Shot& shot, int y, int from, int to)
{
    Runs runs;
    int last = -1;  // 0 black, 1 white, 2 mixed
    int mixedRun = 0;
    for (int x = from; x < to; ++x) {
        const Rgb c = shot.At(x, y);
        const int kind = Near(c, kBlack, 16) ? 0 : Near(c, kWhite, 16) ? 1 : 2;
        if (kind == 2) {
            ++runs.mixed;
            runs.longestMixed = std::max(runs.longestMixed, ++mixedRun);
        } else {
            mixedRun = 0;
            if (kind == last)
                ++runs.pure.back();
            else
                runs.pure.push_back(1);
        }
        last = kind;
    }
    return runs;
}

// Fullscreen on a 1440 x 1080 screen enlarges the picture 2.25 times. The
// widths on screen of the checkerboard's 200 pixels from column 100 on, in
// each scaling mode: nearest neighbour makes them two and three pixels wide,
// pure, unevenly; integer scaling makes each exactly two, in a 1280 x 960
// picture on black; sharp scaling keeps every one of them, even, each a
// pure core between blends at most two pixels wide.
TEST_F(ScreenTest, EachScalingModeGivesTheShowsPixelsItsWidthsAtTwoAndAQuarter)
{
    ASSERT_TRUE(StartServer(1440, 1080, false));
    const int y = 370;  // a checkerboard row, in the pattern's pixels
    for (const char* mode : {"nearest", "integer", "sharp"}) {
        SCOPED_TRACE(mode);
        StartProgram(ORCHID_PATTERN, {"--mode", "32", "--scaling", mode});
        const bool integer = std::strcmp(mode, "integer") == 0;
        const Placement place = integer ? Placement{80, 60, 2.0} : Placement{0, 0, 2.25};
        EXPECT_EQ(ExpectPattern(place), "");
        const Shot shot = Take();
        ASSERT_FALSE(shot.rgb.empty());
        const int row = place.y + static_cast<int>((y + 0.5) * place.scale);
        const int from = place.x + static_cast<int>(std::ceil(100 * place.scale));
        const int to = place.x + static_cast<int>(300 * place.scale);
        const Runs runs = RunsAlong(shot, row, from, to);
        std::ostringstream widths;
        for (int w : runs.pure) widths << w << ' ';
        SCOPED_TRACE("pure runs: " + widths.str() + "; mixed " + std::to_string(runs.mixed));
        const std::set<int> distinct(runs.pure.begin(), runs.pure.end());
        if (std::strcmp(mode, "nearest") == 0) {
            EXPECT_EQ(runs.mixed, 0);
            EXPECT_EQ(runs.pure.size(), 200u);
            EXPECT_EQ(distinct, (std::set<int>{2, 3}));
        } else if (integer) {
            EXPECT_EQ(runs.mixed, 0);
            EXPECT_EQ(runs.pure.size(), 200u);
            EXPECT_EQ(distinct, std::set<int>{2});
        } else {
            EXPECT_GT(runs.mixed, 0);
            EXPECT_LE(runs.longestMixed, 2);
            EXPECT_EQ(runs.pure.size(), 200u);
        }
        EXPECT_EQ(StopProgram(), 0) << ReadFile(dir + "/said.txt");
    }
}

INSTANTIATE_TEST_SUITE_P(WithAndWithoutWindowManager, FullscreenTest, ::testing::Values(false, true),
                         [](const auto& info) { return info.param ? "openbox" : "bare"; });

// The S key on the desktop: paused, the frame on screen and the one 30
// hundredths back (`,` thirty times; three under the sanitizers) are written into the Pictures folder,
// each the PNG that --frames writes at 100 fps for its hundredth, byte for
// byte.
TEST_F(ScreenTest, SWritesTheFramesThatACaptureWritesAfterStepsBack)
{
    if (!Installed("xdotool") || !Installed("import")) GTEST_SKIP() << "SKIPPED: xdotool or import is missing";
    ASSERT_TRUE(StartServer(800, 600, false));
    const std::string pictures = dir + "/pictures";
    ASSERT_EQ(mkdir(pictures.c_str(), 0755), 0);
    setenv("XDG_PICTURES_DIR", pictures.c_str(), 1);
    StartProgram(ORCHID_PROGRAM, {"--mode", "windowed", "--no-sound"});
    unsetenv("XDG_PICTURES_DIR");
    // Past the white opening: many colours in the window.
    ASSERT_TRUE(WaitFor([&] {
        Shot shot = Take();
        if (shot.rgb.empty()) return false;
        std::set<uint32_t> colours;
        for (std::size_t i = 0; i + 2 < shot.rgb.size() && colours.size() < 64; i += 3)
            colours.insert(static_cast<uint8_t>(shot.rgb[i]) << 16 | static_cast<uint8_t>(shot.rgb[i + 1]) << 8 |
                           static_cast<uint8_t>(shot.rgb[i + 2]));
        return colours.size() >= 64;
    }, 60)) << ReadFile(dir + "/said.txt");
    std::system("timeout 30 xdotool search --sync --name '^Orchid$' windowfocus --sync >/dev/null 2>&1");

    // Each S names its file on standard error.
    auto written = [&] {
        std::vector<std::string> names;
        std::istringstream said(ReadFile(dir + "/said.txt"));
        for (std::string line; std::getline(said, line);) {
            const std::size_t png = line.rfind(".png");
            const std::size_t at = png == std::string::npos ? png : line.rfind("/orchid-", png);
            if (at != std::string::npos) names.push_back(line.substr(at + 1, png + 4 - at - 1));
        }
        return names;
    };
    Key("space");
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    Key("s");
    ASSERT_TRUE(WaitFor([&] { return written().size() == 1; })) << ReadFile(dir + "/said.txt");
    // Each step back renders forward from a snapshot: under the sanitizers,
    // which render many times slower, three steps.
#ifdef ORCHID_SANITIZE
    const int steps = 3;
#else
    const int steps = 30;
#endif
    std::string commas;
    for (int i = 0; i < steps; ++i) commas += " comma";
    Key(commas.c_str());
    Key("s");
    ASSERT_TRUE(WaitFor([&] { return written().size() == 2; }, 120)) << ReadFile(dir + "/said.txt");
    EXPECT_EQ(StopProgram(), 0);

    // orchid-SSS.HH.png: the hundredth.
    auto hundredth = [](const std::string& name) {
        return std::stoi(name.substr(7, 3)) * 100 + std::stoi(name.substr(11, 2));
    };
    const std::vector<std::string> names = written();
    const int first = hundredth(names[0]), second = hundredth(names[1]);
    EXPECT_EQ(second, first - steps) << names[0] << ", " << names[1];
    for (const std::string& name : names) {
        SCOPED_TRACE(name);
        const int t = hundredth(name);
        const std::string frames = dir + "/frames-" + std::to_string(t);
        char at[32];
        std::snprintf(at, sizeof at, "%d.%02d", t / 100, t % 100);
        const std::string command = std::string(ORCHID_PROGRAM) + " --no-sound --frames '" + frames +
                                    "' --fps 100 --from " + at + " --to " + at + " 2>/dev/null";
        ASSERT_EQ(std::system(command.c_str()), 0) << command;
        char frame[32];
        std::snprintf(frame, sizeof frame, "/frame-%05d.png", t);
        const std::string captured = ReadFile(frames + frame);
        ASSERT_FALSE(captured.empty()) << frames + frame;
        EXPECT_TRUE(ReadFile(pictures + "/" + name) == captured) << "the screenshot differs from the capture's frame";
    }
}

class ErrorBoxTest : public ScreenTest, public ::testing::WithParamInterface<bool> {};

// A missing music file makes a report of about 50 entries, far more than a
// 1024 x 768 screen holds.
TEST_P(ErrorBoxTest, ALongReportFitsTheScreenWithItsButtonAndAKeyClosesIt)
{
    if (!StartServer(1024, 768, GetParam())) GTEST_SKIP() << "SKIPPED: openbox is not installed";
    StartProgram(ORCHID_PROGRAM, {"--mode", "windowed", "--music", dir + "/missing.mp3"});
    // The box: its face colour, its light text, and its button's face
    // below the text, all on the screen.
    const Rgb face = {56, 54, 53};
    const Rgb text = {209, 207, 205};
    const Rgb button = {105, 102, 99};
    int top = 0, bottom = 0, textPixels = 0, buttonRows = 0, lastText = 0;
    bool seen = WaitFor([&] {
        Shot shot = Take();
        if (shot.rgb.empty()) return false;
        top = bottom = -1;
        textPixels = buttonRows = lastText = 0;
        int x = width / 2;
        for (int y = 0; y < height; ++y) {
            bool row = false;
            for (int dx = -200; dx < 200; ++dx) {
                Rgb c = shot.At(x + dx, y);
                if (Near(c, face, 2)) row = true;
                if (Near(c, text, 2)) {
                    ++textPixels;
                    lastText = y;
                }
            }
            if (Near(shot.At(x - 30, y), button, 2) && Near(shot.At(x + 30, y), button, 2)) ++buttonRows;
            if (row && top < 0) top = y;
            if (row) bottom = y;
        }
        return top >= 0 && textPixels > 2000 && buttonRows > 10;
    });
    ASSERT_TRUE(seen) << "box from row " << top << " to " << bottom << ", " << textPixels << " text pixels, "
                      << buttonRows << " rows of the button\n"
                      << ReadFile(dir + "/said.txt");
    EXPECT_GT(top, 0);
    EXPECT_LT(bottom, height - 1);
    EXPECT_LT(lastText, bottom);
    std::system(("import -display " + display + " -window root '" + dir + "/box.png'").c_str());

    Key(GetParam() ? "Escape" : "Return");
    EXPECT_EQ(WaitProgram(), 1);
    // The box said how many entries it left out; standard error has them all.
    std::string said = ReadFile(dir + "/said.txt");
    EXPECT_NE(said.find("Error!\nAudio error:\n Can't create stream."), std::string::npos) << said;
    size_t entries = 0;
    for (size_t at = said.find("\nLine: "); at != std::string::npos; at = said.find("\nLine: ", at + 1)) ++entries;
    EXPECT_GT(entries, 40u) << said;
}

INSTANTIATE_TEST_SUITE_P(WithAndWithoutWindowManager, ErrorBoxTest, ::testing::Values(false, true),
                         [](const auto& info) { return info.param ? "openbox" : "bare"; });

}  // namespace
