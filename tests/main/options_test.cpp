// The command line: what each option sets, and the refusals with their
// messages.
#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <vector>

#include "main/options.h"

namespace {

struct Parsed {
    int ok;
    Options options;
    std::string error;
};

Parsed Parse(std::vector<const char*> args)
{
    args.insert(args.begin(), "orchid");
    Parsed p;
    char error[256] = {};
    p.ok = ParseOptions(static_cast<int>(args.size()), args.data(), &p.options, error, sizeof error);
    p.error = error;
    return p;
}

TEST(Options, ValuesAreReadInBothSpellings)
{
    // A bare run asks with the dialog.
    Parsed bare = Parse({});
    ASSERT_EQ(bare.ok, 1);
    EXPECT_EQ(bare.options.mode, -1);
    EXPECT_FALSE(bare.options.Headless());
    EXPECT_EQ(bare.options.fpsNum, 50);
    EXPECT_EQ(bare.options.fpsDen, 1);
    EXPECT_EQ(bare.options.depth, 32);

    Parsed p = Parse({"--capture", "show.mkv", "--fps=25", "--from", "27.6", "--to=38", "--depth", "16",
                      "--scale", "2", "--no-sound"});
    ASSERT_EQ(p.ok, 1) << p.error;
    EXPECT_STREQ(p.options.capture, "show.mkv");
    EXPECT_EQ(p.options.fpsNum, 25);
    EXPECT_EQ(p.options.fpsDen, 1);
    EXPECT_EQ(p.options.fromHundredths, 2760);
    EXPECT_EQ(p.options.toHundredths, 3800);
    EXPECT_EQ(p.options.depth, 16);
    EXPECT_EQ(p.options.scale, 2);
    EXPECT_TRUE(p.options.noSound);
    EXPECT_TRUE(p.options.Headless());
    EXPECT_FALSE(p.options.lossless);
    EXPECT_EQ(p.options.chroma, 420);
    Parsed master = Parse({"--capture", "m.MKV", "--lossless"});
    ASSERT_EQ(master.ok, 1) << master.error;
    EXPECT_TRUE(master.options.lossless);
    Parsed full = Parse({"--capture", "f.mp4", "--chroma=444"});
    ASSERT_EQ(full.ok, 1) << full.error;
    EXPECT_EQ(full.options.chroma, 444);

    for (auto [text, mode] : {std::pair{"32", 32}, {"24", 24}, {"16", 16}, {"windowed", 0}}) {
        Parsed m = Parse({"--mode", text});
        ASSERT_EQ(m.ok, 1);
        EXPECT_EQ(m.options.mode, mode);
    }
    EXPECT_TRUE(Parse({"--benchmark", "--depth", "24"}).options.benchmark);
    for (int height : {1080, 1440, 2160}) {
        const std::string value = std::to_string(height);
        Parsed h = Parse({"--frames", "d", "--height", value.c_str()});
        ASSERT_EQ(h.ok, 1) << h.error;
        EXPECT_EQ(h.options.height, height);
        EXPECT_EQ(h.options.scale, 1);
    }
    EXPECT_EQ(Parse({"--capture", "a.mp4"}).options.height, 0);
    Parsed flash = Parse({"--flash-report", "--from", "27", "--to", "28.5", "--flash-cell", "16", "--no-sound"});
    ASSERT_EQ(flash.ok, 1) << flash.error;
    EXPECT_TRUE(flash.options.flashReport);
    EXPECT_TRUE(flash.options.Headless());
    EXPECT_EQ(flash.options.toHundredths, 2850);
    EXPECT_EQ(flash.options.flashCell, 16);
    EXPECT_EQ(Parse({"--flash-report"}).options.flashCell, 1);
    // Playing, --from is where the show starts.
    Parsed start = Parse({"--mode", "windowed", "--from", "63.5"});
    ASSERT_EQ(start.ok, 1) << start.error;
    EXPECT_EQ(start.options.fromHundredths, 6350);
    EXPECT_FALSE(start.options.Headless());
    EXPECT_EQ(bare.options.zoom, 1);
    EXPECT_EQ(Parse({"--zoom", "8", "--mode", "windowed"}).options.zoom, 8);
    EXPECT_EQ(Parse({"--zoom=1"}).options.zoom, 1);
    EXPECT_EQ(bare.options.scaling, platform::Scaling::Sharp);
    EXPECT_EQ(Parse({"--scaling", "nearest"}).options.scaling, platform::Scaling::Nearest);
    EXPECT_EQ(Parse({"--scaling=integer", "--mode", "32"}).options.scaling, platform::Scaling::Integer);
    EXPECT_EQ(Parse({"--scaling", "integer", "--scaling", "sharp"}).options.scaling, platform::Scaling::Sharp);

    // The music is looked for unless named, in either spelling, with any
    // other run; --no-sound lets every run go without it.
    EXPECT_EQ(bare.options.music, nullptr);
    EXPECT_STREQ(Parse({"--music", "/m/show.mp3"}).options.music, "/m/show.mp3");
    Parsed named = Parse({"--frames", "f", "--music=a b.mp3", "--no-sound"});
    ASSERT_EQ(named.ok, 1) << named.error;
    EXPECT_STREQ(named.options.music, "a b.mp3");
    EXPECT_TRUE(named.options.noSound);
    EXPECT_EQ(Parse({"--benchmark", "--no-sound"}).ok, 1);

    // Short spellings, and extensions in either case.
    EXPECT_TRUE(Parse({"-h"}).options.help);
    EXPECT_TRUE(Parse({"-V"}).options.version);
    EXPECT_FALSE(bare.options.overwrite);
    Parsed upper = Parse({"--capture", "SHOW.MP4", "-y"});
    ASSERT_EQ(upper.ok, 1) << upper.error;
    EXPECT_TRUE(upper.options.overwrite);
    EXPECT_TRUE(Parse({"--frames", "d", "--overwrite"}).options.overwrite);
    EXPECT_EQ(Parse({"--capture", "show.Mkv"}).ok, 1);
    // Without a display a bare run renders a video, which -y may replace.
    EXPECT_EQ(Parse({"-y"}).ok, 1);

    Parsed live = Parse({"--mode", "windowed", "--literal-timing", "--verbose", "--loop"});
    ASSERT_EQ(live.ok, 1) << live.error;
    EXPECT_TRUE(live.options.literalTiming);
    EXPECT_TRUE(live.options.verbose);
    EXPECT_TRUE(live.options.loop);
    EXPECT_FALSE(bare.options.literalTiming);
    EXPECT_FALSE(bare.options.loop);
}

TEST(Options, FrameRatesAreWholeNumbersUpToAHundredOrRatiosOfThem)
{
    for (auto [text, num, den] : {std::tuple{"100", 100, 1}, {"1", 1, 1}, {"60", 60, 1}, {"30", 30, 1},
                                  {"60000/1001", 60000, 1001}, {"24000/1001", 24000, 1001}, {"100/1", 100, 1},
                                  {"1/3", 1, 3}, {"120/2", 120, 2}}) {
        Parsed p = Parse({"--frames", "out", "--fps", text});
        ASSERT_EQ(p.ok, 1) << text << ": " << p.error;
        EXPECT_EQ(p.options.fpsNum, num) << text;
        EXPECT_EQ(p.options.fpsDen, den) << text;
    }
    for (const char* bad : {"0", "101", "-50", "200", "50x", "", "0/1", "1/0", "101/1", "100001/1000", "/2", "2/",
                            "60/1/1", "+60/1", "60/-1", "60 /1", "60.0/1", "1234567890123456/1"}) {
        Parsed p = Parse({"--frames", "out", "--fps", bad});
        EXPECT_EQ(p.ok, 0) << bad;
        EXPECT_NE(p.error.find("--fps '" + std::string(bad) + "': expected a whole number from 1 to 100, or a ratio"),
                  std::string::npos)
            << p.error;
    }
}

// Numbers are plain decimals: what strtod or strtol would also read (hex,
// exponents, inf and nan, signs, spaces) is refused.
TEST(Options, NumbersAreDigitsWithAnOptionalDecimalPoint)
{
    for (auto [text, hundredths] : {std::pair{"0", 0}, {"12", 1200}, {"0.5", 50}, {".5", 50}, {"3.", 300},
                                    {"214.61", 21461}, {"007.25", 725}, {"0.125", 13}}) {
        Parsed p = Parse({"--frames", "d", "--from", text});
        ASSERT_EQ(p.ok, 1) << text << ": " << p.error;
        EXPECT_EQ(p.options.fromHundredths, hundredths) << text;
    }
    for (const char* bad : {"0x10", "0X1p4", "1e2", "inf", "nan", "infinity", "+5", " 5", "5 ", "5..1", ".", "1,5",
                            "1000000.01"}) {
        for (const char* option : {"--from", "--to"}) {
            Parsed p = Parse({"--frames", "d", option, bad});
            EXPECT_EQ(p.ok, 0) << option << " " << bad;
            EXPECT_NE(p.error.find(std::string(option) + " '" + bad + "': expected a number of seconds"),
                      std::string::npos)
                << p.error;
        }
    }
    for (const char* bad : {"+50", " 50", "0x32", "5e1", "50.0"}) {
        EXPECT_EQ(Parse({"--frames", "d", "--fps", bad}).ok, 0) << bad;
        EXPECT_EQ(Parse({"--frames", "d", "--scale", bad}).ok, 0) << bad;
    }
    EXPECT_EQ(Parse({"--zoom", "+2"}).ok, 0);
    // The web page's ?at= reads its seconds alike: times whose hundredths
    // would pass 32 bits are refused, never wrapped round.
    int hundredths = -1;
    EXPECT_TRUE(ParseSeconds("1000000", &hundredths));
    EXPECT_EQ(hundredths, 100000000);
    for (const char* huge : {"1000000.01", "21474836.48", "42949672.97", "99999999999999999999999", ""}) {
        hundredths = -1;
        EXPECT_FALSE(ParseSeconds(huge, &hundredths)) << huge;
        EXPECT_EQ(hundredths, -1) << huge;
    }
    EXPECT_EQ(Parse({"--frames", "d", "--depth", " 16"}).ok, 0);
}

TEST(Options, BadCommandLinesAreRefusedWithAReason)
{
    struct {
        std::vector<const char*> args;
        const char* says;
    } const cases[] = {
        {{"--bogus"}, "unknown option '--bogus'"},
        {{"--mode", "8"}, "expected 32, 24, 16 or windowed"},
        {{"--mode"}, "--mode needs a value"},
        {{"--capture", "show.avi"}, "must end in .mp4 or .mkv"},
        {{"--capture"}, "--capture needs a file name"},
        {{"--capture", "a.mp4", "--frames", "d"}, "choose one of"},
        {{"--mode", "32", "--benchmark"}, "--mode is for playing"},
        {{"--fps", "50"}, "apply only to --capture and --frames"},
        {{"--benchmark", "--scale", "2"}, "apply only to --capture and --frames"},
        {{"--to", "20"}, "--to applies only to --capture, --frames and --flash-report"},
        {{"--flash-report", "--benchmark"}, "choose one of --capture, --frames, --benchmark and --flash-report"},
        {{"--flash-report", "--fps", "50"}, "--fps, --scale, --height and --depth do not apply"},
        {{"--flash-report", "--depth", "16"}, "--fps, --scale, --height and --depth do not apply"},
        {{"--flash-report", "--height", "1080"}, "through the 32-bit conversion"},
        {{"--flash-report", "-y"}, "-y and --verbose do not apply"},
        {{"--flash-report", "--mode", "32"}, "--mode is for playing"},
        {{"--flash-cell", "4"}, "--flash-cell applies only to --flash-report"},
        {{"--flash-report", "--flash-cell", "3"}, "--flash-cell '3': expected 1, 2, 4, 8 or 16"},
        {{"--flash-report=1"}, "takes no value"},
        {{"--benchmark", "--from", "20"}, "--from does not apply"},
        {{"--depth", "16"}, "--depth applies only"},
        {{"--frames", "d", "--depth", "8"}, "expected 32, 24 or 16"},
        {{"--frames", "d", "--from", "20", "--to", "10"}, "--to must not be earlier"},
        {{"--frames", "d", "--from", "-1"}, "expected a number of seconds"},
        {{"--frames", "d", "--scale", "9"}, "from 1 to 8"},
        {{"--frames", "d", "--height", "720"}, "--height '720': expected 1080, 1440 or 2160"},
        {{"--frames", "d", "--height", "1080.0"}, "expected 1080, 1440 or 2160"},
        {{"--frames", "d", "--height"}, "--height needs a value"},
        {{"--benchmark", "--height", "1080"}, "apply only to --capture and --frames"},
        {{"--capture", "a.mp4", "--height", "1080", "--scale", "2"}, "--height and --scale cannot be combined"},
        {{"--frames", "d", "--scale", "1", "--height", "2160"}, "--height and --scale cannot be combined"},
        {{"--zoom", "0"}, "--zoom '0': expected a whole number from 1 to 8"},
        {{"--zoom", "9"}, "from 1 to 8"},
        {{"--zoom"}, "--zoom '': expected"},
        {{"--capture", "a.mp4", "--zoom", "2"}, "--zoom is for playing on the desktop"},
        {{"--scaling", "linear"}, "--scaling 'linear': expected sharp, nearest or integer"},
        {{"--scaling"}, "--scaling '': expected"},
        {{"--frames", "d", "--scaling", "sharp"}, "--scaling is for playing on the desktop"},
        {{"--music"}, "--music needs the path"},
        {{"--frames", "d", "--fps"}, "--fps needs a value"},
        {{"--frames", "d", "--from"}, "--from needs a value"},
        {{"--frames", "d", "--to"}, "--to needs a value"},
        {{"--frames", "d", "--scale"}, "--scale needs a value"},
        {{"--frames", "d", "--depth"}, "--depth needs a value"},
        {{"--capture", "show.mp4.txt"}, "must end in .mp4 or .mkv"},
        {{"--benchmark", "-y"}, "--benchmark writes nothing"},
        {{"--overwrite=yes"}, "takes no value"},
        {{"--music="}, "--music needs the path"},
        {{"--help=yes"}, "takes no value"},
        {{"--frames", "d", "--literal-timing"}, "applies only to playing"},
        {{"--capture", "a.mp4", "--loop"}, "--loop applies only to playing on the desktop"},
        {{"--loop=1"}, "--loop takes no value"},
        {{"--benchmark", "--verbose"}, "--verbose applies only to playing on the desktop and to --capture"},
        {{"--capture", "a.mp4", "--lossless"}, "MP4 does not take: name the video .mkv"},
        {{"--frames", "d", "--lossless"}, "--lossless applies only to --capture"},
        {{"--lossless=1", "--capture", "a.mkv"}, "--lossless takes no value"},
        {{"--capture", "a.mkv", "--lossless", "--chroma", "444"}, "--lossless keeps every pixel in RGB"},
        {{"--capture", "a.mp4", "--chroma", "422"}, "--chroma '422': expected 420 or 444"},
        {{"--capture", "a.mp4", "--chroma"}, "--chroma needs a value"},
        {{"--benchmark", "--chroma", "444"}, "--chroma applies only to --capture"},
        {{"--benchmark", "--framemd5", "f.txt"}, "--framemd5 applies only to --capture and --frames"},
        {{"--capture", "a.mkv", "--framemd5", "a.mkv"}, "--framemd5 needs a file of its own"},
        {{"--frames", "d", "--framemd5"}, "--framemd5 needs a file name"},
    };
    for (const auto& c : cases) {
        Parsed p = Parse(c.args);
        EXPECT_EQ(p.ok, 0) << c.says;
        EXPECT_NE(p.error.find(c.says), std::string::npos) << "got: " << p.error;
    }
}

}  // namespace
