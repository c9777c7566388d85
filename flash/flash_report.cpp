#include "flash/flash_report.h"

#include <algorithm>
#include <cmath>

namespace flash {

namespace {

// Transitions as flashes: "0", "0.5", "3", "3.5".
const char* Flashes(int transitions, char* text, std::size_t size)
{
    std::snprintf(text, size, "%d%s", transitions / 2, transitions % 2 != 0 ? ".5" : "");
    return text;
}

void PrintTime(std::FILE* out, int hundredths) { std::fprintf(out, "%d.%02d s", hundredths / 100, hundredths % 100); }

void PrintVerdict(std::FILE* out, const char* kind, const FlashReport::Worst& w)
{
    char text[16];
    std::fprintf(out, "%s flashes: ", kind);
    if (w.most == 0) {
        std::fprintf(out, "none (pass)\n");
        return;
    }
    std::fprintf(out, "at most %s in one second over an area (%s); the most at ", Flashes(w.most, text, sizeof text),
                 w.most >= kFailTransitions ? "FAIL" : "pass");
    for (int i = 0; i < w.stretches; ++i) {
        if (i > 0) std::fprintf(out, ", ");
        PrintTime(out, w.start[i]);
        if (w.end[i] != w.start[i]) {
            std::fprintf(out, " to ");
            PrintTime(out, w.end[i]);
        }
    }
    if (w.more > 0) std::fprintf(out, " and %d more time%s", w.more, w.more == 1 ? "" : "s");
    std::fprintf(out, "\n");
}

}  // namespace

void FlashReport::Worst::Track(int transitions, int hundredth)
{
    if (transitions > most) {
        most = transitions;
        stretches = 0;
        more = 0;
        atMost = false;
    }
    if (most == 0 || transitions != most) {
        atMost = false;
        return;
    }
    if (atMost) {
        if (stretches > 0 && more == 0) end[stretches - 1] = hundredth;
    } else if (stretches < kStretches) {
        start[stretches] = end[stretches] = hundredth;
        ++stretches;
    } else {
        ++more;
    }
    atMost = true;
}

void FlashReport::Open(int firstHundredth, int lastHundredth)
{
    first = firstHundredth;
    last = lastHundredth;
    seconds.assign(static_cast<std::size_t>(last / 100 - first / 100 + 1), Second{});
    frames = 0;
    general = Worst{};
    red = Worst{};
    jumpAt = -1;
}

void FlashReport::Add(int hundredth, const FlashAnalysis& a)
{
    const int index = hundredth / 100 - first / 100;
    if (index >= 0 && index < static_cast<int>(seconds.size())) {
        Second& s = seconds[static_cast<std::size_t>(index)];
        s.general = std::max(s.general, a.generalTransitions);
        s.red = std::max(s.red, a.redTransitions);
        s.pixelGeneral = std::max(s.pixelGeneral, a.pixelGeneral);
        s.pixelRed = std::max(s.pixelRed, a.pixelRed);
    }
    general.Track(a.generalTransitions, hundredth);
    red.Track(a.redTransitions, hundredth);
    if (frames > 0 && (jumpAt < 0 || std::fabs(a.meanLuminance - lastMean) > std::fabs(jumpTo - jumpFrom))) {
        jumpFrom = lastMean;
        jumpTo = a.meanLuminance;
        jumpAt = hundredth;
    }
    lastMean = a.meanLuminance;
    lastAdded = hundredth;
    ++frames;
}

void FlashReport::Print(std::FILE* out) const
{
    std::fprintf(out, "flash report: ");
    PrintTime(out, first);
    std::fprintf(out, " to ");
    PrintTime(out, frames > 0 ? lastAdded : last);
    std::fprintf(out, " of show time, %ld frame%s at 100 a second\n", frames, frames == 1 ? "" : "s");
    std::fprintf(out,
                 "WCAG 2.3.1: more than 3 flashes within one second over more than %d pixels of a %d x %d area "
                 "fail\n",
                 kAreaPixels, kAreaWidth, kAreaHeight);
    std::fprintf(out, "second  flashes over an area  at one point\n");
    std::fprintf(out, "        general  red          general  red\n");
    const int lastSecond = (frames > 0 ? lastAdded : last) / 100;
    for (std::size_t i = 0; i < seconds.size() && first / 100 + static_cast<int>(i) <= lastSecond; ++i) {
        const Second& s = seconds[i];
        char g[16], r[16], pg[16], pr[16];
        std::fprintf(out, "%6d  %-7s  %-11s  %-7s  %s\n", first / 100 + static_cast<int>(i),
                     Flashes(s.general, g, sizeof g), Flashes(s.red, r, sizeof r),
                     Flashes(s.pixelGeneral, pg, sizeof pg), Flashes(s.pixelRed, pr, sizeof pr));
    }
    PrintVerdict(out, "general", general);
    PrintVerdict(out, "red", red);
    if (jumpAt >= 0) {
        std::fprintf(out, "largest change of the frame's mean relative luminance: %.2f to %.2f at ", jumpFrom,
                     jumpTo);
        PrintTime(out, jumpAt);
        std::fprintf(out, "\n");
    }
    std::fprintf(out, "verdict: %s\n", Fails() ? "FAIL" : "pass");
}

}  // namespace flash
