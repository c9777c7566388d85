// The flash analysis on generated frame sequences at 100 frames a second:
// the count of flashes within a second, the luminance and red thresholds,
// the darker state's limit and the area a flash must cover, each held at
// the value where the verdict turns; then the report over such a run.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "flash/flash_analysis.h"
#include "flash/flash_report.h"

namespace {

constexpr int kWidth = 640;
constexpr int kHeight = 480;

uint32_t Rgb(int r, int g, int b) { return static_cast<uint32_t>(r << 16 | g << 8 | b); }
uint32_t Grey(int v) { return Rgb(v, v, v); }

struct Outcome {
    int general = 0;  // the most transitions over an area in any second
    int red = 0;
    int pixelGeneral = 0;
};

// Runs `frames` frames; paint(frame, pixels) draws each on a frame left as
// the one before.
Outcome Analyse(int frames, const std::function<void(int, std::vector<uint32_t>&)>& paint, int cell = 1,
            flash::FlashReport* report = nullptr)
{
    std::vector<uint32_t> pixels(kWidth * kHeight, 0);
    flash::FlashAnalysis analysis;
    analysis.Open(kWidth, kHeight, cell);
    Outcome run;
    for (int i = 0; i < frames; ++i) {
        paint(i, pixels);
        analysis.Frame(reinterpret_cast<const uint8_t*>(pixels.data()), kWidth * 4);
        run.general = std::max(run.general, analysis.generalTransitions);
        run.red = std::max(run.red, analysis.redTransitions);
        run.pixelGeneral = std::max(run.pixelGeneral, analysis.pixelGeneral);
        if (report != nullptr) report->Add(i + 1, analysis);
    }
    return run;
}

void Fill(std::vector<uint32_t>& pixels, int x0, int y0, int w, int h, uint32_t colour)
{
    for (int y = y0; y < y0 + h; ++y) std::fill_n(&pixels[y * kWidth + x0], w, colour);
}

// The whole frame switches between two colours `transitions` times, every
// `every` frames, starting with `first`.
Outcome Switching(uint32_t first, uint32_t second, int transitions, int every = 10, int cell = 1)
{
    return Analyse(transitions * every + 1, [&](int i, std::vector<uint32_t>& p) {
        const int switches = std::min(i / every, transitions);
        std::fill(p.begin(), p.end(), switches % 2 == 0 ? first : second);
    }, cell);
}

TEST(FlashAnalysis, FourFlashesInOneSecondFailAndThreePass)
{
    // A flash is two opposing transitions: 6 are three flashes, 7 are more.
    EXPECT_EQ(Switching(Grey(0), Grey(255), 6).general, 6);
    EXPECT_EQ(Switching(Grey(0), Grey(255), 7).general, 7);
    EXPECT_EQ(Switching(Grey(0), Grey(255), 8).general, 8);
    EXPECT_LT(6, flash::kFailTransitions);
    EXPECT_GE(7, flash::kFailTransitions);
    // Eight transitions 0.3 s apart: never more than four in one second.
    EXPECT_EQ(Switching(Grey(0), Grey(255), 8, 30).general, 4);
    // Eight transitions 0.14 s apart: the first and the eighth are 0.98 s
    // apart, seven of them always fit in one second and eight at the start.
    EXPECT_EQ(Switching(Grey(0), Grey(255), 8, 14).general, 8);
    EXPECT_EQ(Switching(Grey(0), Grey(255), 8, 15).general, 7);
}

TEST(FlashAnalysis, AChangeCountsFromATenthOfLuminanceWithTheDarkerStateBelowFourFifths)
{
    // Grey 89 has a luminance just under 0.1, grey 90 just over.
    EXPECT_LT(flash::RelativeLuminance(89, 89, 89), 0.1f);
    EXPECT_GT(flash::RelativeLuminance(90, 90, 90), 0.1f);
    EXPECT_EQ(Switching(Grey(0), Grey(89), 8).general, 0);
    EXPECT_EQ(Switching(Grey(0), Grey(90), 8).general, 8);
    // Against white, grey 231 is just darker than 0.8 and grey 232 just
    // brighter: a change of 0.19 counts only with the first.
    EXPECT_LT(flash::RelativeLuminance(231, 231, 231), 0.8f);
    EXPECT_GT(flash::RelativeLuminance(232, 232, 232), 0.8f);
    EXPECT_EQ(Switching(Grey(255), Grey(231), 8).general, 8);
    EXPECT_EQ(Switching(Grey(255), Grey(232), 8).general, 0);
    // A slow rise and fall is one flash however many frames it takes; a
    // ripple of less than a tenth on the way counts for nothing.
    const Outcome slow = Analyse(101, [](int i, std::vector<uint32_t>& p) {
        const int level = i < 50 ? i * 5 : i < 100 ? 250 - (i - 50) * 5 : 0;
        std::fill(p.begin(), p.end(), Grey(std::max(0, level - (i % 4 == 0 ? 3 : 0))));
    });
    EXPECT_EQ(slow.general, 2);
}

TEST(FlashAnalysis, RedFlashesNeedASaturatedRedAndAChangeOfMoreThanTwenty)
{
    // Pure red and the grey of its luminance: red flashes, no general ones.
    EXPECT_NEAR(flash::RelativeLuminance(255, 0, 0), flash::RelativeLuminance(127, 127, 127), 0.001f);
    Outcome red = Switching(Grey(127), Rgb(255, 0, 0), 6);
    EXPECT_EQ(red.red, 6);
    EXPECT_EQ(red.general, 0);
    red = Switching(Grey(127), Rgb(255, 0, 0), 7);
    EXPECT_EQ(red.red, 7);
    EXPECT_EQ(red.general, 0);
    // R / (R + G + B) on linear values: 0.83 for (255, 90, 90), saturated;
    // 0.797 for (255, 100, 100), not. Between them only the red measure moves.
    EXPECT_GT(flash::RedMeasure(255, 90, 90), 250.0f);
    EXPECT_EQ(flash::RedMeasure(255, 100, 100), 0.0f);
    red = Switching(Rgb(255, 100, 100), Rgb(255, 90, 90), 8);
    EXPECT_EQ(red.red, 8);
    EXPECT_EQ(red.general, 0);
    EXPECT_EQ(Switching(Grey(0), Rgb(255, 100, 100), 8).red, 0);
    // A dark pure red: (80, 0, 0) measures 25.7, (70, 0, 0) 19.6.
    EXPECT_EQ(Switching(Grey(0), Rgb(80, 0, 0), 8).red, 8);
    EXPECT_EQ(Switching(Grey(0), Rgb(70, 0, 0), 8).red, 0);
}

// Eight transitions in 0.8 s of the pixels `paint` draws, on black.
Outcome FlashingPixels(const std::function<void(std::vector<uint32_t>&, uint32_t)>& paint, int cell = 1)
{
    return Analyse(81, [&](int i, std::vector<uint32_t>& p) {
        paint(p, i < 80 && (i / 10) % 2 == 1 ? Grey(255) : Grey(0));
    }, cell);
}

TEST(FlashAnalysis, FlashesFailOnlyOverMoreThan8520PixelsOfA213x160Area)
{
    // 213 x 40 pixels: exactly 8,520, a quarter of the area, pass.
    EXPECT_EQ(FlashingPixels([](std::vector<uint32_t>& p, uint32_t c) { Fill(p, 100, 100, 213, 40, c); }).general, 0);
    // One pixel more inside the same 213 x 160 fails.
    const Outcome one = FlashingPixels([](std::vector<uint32_t>& p, uint32_t c) {
        Fill(p, 100, 100, 213, 40, c);
        Fill(p, 250, 259, 1, 1, c);
    });
    EXPECT_EQ(one.general, 8);
    // That pixel one row lower is outside every area holding the block.
    EXPECT_EQ(FlashingPixels([](std::vector<uint32_t>& p, uint32_t c) {
                  Fill(p, 100, 100, 213, 40, c);
                  Fill(p, 250, 260, 1, 1, c);
              }).general,
              0);
    // Two such blocks too far apart for one area pass, each pixel with its
    // four flashes.
    const Outcome apart = FlashingPixels([](std::vector<uint32_t>& p, uint32_t c) {
        Fill(p, 0, 0, 213, 40, c);
        Fill(p, 400, 400, 213, 40, c);
    });
    EXPECT_EQ(apart.general, 0);
    EXPECT_EQ(apart.pixelGeneral, 8);
}

TEST(FlashAnalysis, CellsFollowTheMeanOfTheirPixels)
{
    // A fine pattern whose pixels swap between black and white keeps the
    // mean of each 2 x 2 cell: every pixel flashes, no cell does.
    auto swapping = [](int i, std::vector<uint32_t>& p) {
        for (int y = 0; y < kHeight; ++y)
            for (int x = 0; x < kWidth; ++x) p[y * kWidth + x] = ((x + y + (i < 80 ? i / 10 : 0)) % 2) ? Grey(255) : 0;
    };
    EXPECT_EQ(Analyse(81, swapping, 1).general, 8);
    EXPECT_EQ(Analyse(81, swapping, 2).general, 0);
    // Flashing cells count for their pixels: with 16 x 16 cells the area is
    // 14 x 10 cells (213 x 160 rounded up), and 34 cells (8,704 pixels) of
    // it fail where 33 (8,448) pass.
    auto cells = [](int count) {
        return [count](std::vector<uint32_t>& p, uint32_t c) {
            for (int j = 0; j < count; ++j) Fill(p, 32 + 16 * (j % 14), 48 + 16 * (j / 14), 16, 16, c);
        };
    };
    EXPECT_EQ(FlashingPixels(cells(33), 16).general, 0);
    EXPECT_EQ(FlashingPixels(cells(34), 16).general, 8);
}

TEST(FlashReport, PrintsEachSecondTheWorstMomentsAndTheVerdict)
{
    flash::FlashReport report;
    report.Open(1, 300);
    // Black, white from 0.50 s, black again at 1.20 s, then four flashes
    // (nine transitions from 1.20 s to 2.00 s).
    Analyse(300, [](int i, std::vector<uint32_t>& p) {
        const bool white = (i >= 49 && i < 119) || (i >= 119 && i < 199 && ((i - 119) / 10) % 2 == 1);
        std::fill(p.begin(), p.end(), white ? Grey(255) : Grey(0));
    }, 1, &report);
    EXPECT_TRUE(report.GeneralFails());
    EXPECT_FALSE(report.RedFails());
    std::FILE* out = std::tmpfile();
    ASSERT_NE(out, nullptr);
    report.Print(out);
    std::rewind(out);
    char buffer[4096] = {};
    const std::size_t size = std::fread(buffer, 1, sizeof buffer - 1, out);
    std::fclose(out);
    const std::string text(buffer, size);
    EXPECT_NE(text.find("0.01 s to 3.00 s of show time, 300 frames"), std::string::npos) << text;
    EXPECT_NE(text.find("\n     0  0.5 "), std::string::npos) << text;
    EXPECT_NE(text.find("\n     1  4 "), std::string::npos) << text;
    EXPECT_NE(text.find("\n     2  4.5 "), std::string::npos) << text;
    EXPECT_NE(text.find("general flashes: at most 4.5 in one second over an area (FAIL); the most at 2.00 s to 2.19 s\n"),
              std::string::npos)
        << text;
    EXPECT_NE(text.find("red flashes: none (pass)\n"), std::string::npos) << text;
    EXPECT_NE(text.find("mean relative luminance: 0.00 to 1.00 at 0.50 s\n"), std::string::npos) << text;
    EXPECT_NE(text.find("verdict: FAIL\n"), std::string::npos) << text;
}

}  // namespace
