#include "flash/flash_analysis.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>

namespace flash {

namespace {

struct Tables {
    float linear[256];      // each channel's linear value
    float luminance[3][256];  // its share of the relative luminance: red, green, blue
};

const Tables& SrgbTables()
{
    static const Tables tables = [] {
        Tables t{};
        const double weights[3] = {0.2126, 0.7152, 0.0722};
        for (int c = 0; c < 256; ++c) {
            const double v = c / 255.0;
            const double linear = v <= 0.04045 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4);
            t.linear[c] = static_cast<float>(linear);
            for (int k = 0; k < 3; ++k) t.luminance[k][c] = static_cast<float>(weights[k] * linear);
        }
        return t;
    }();
    return tables;
}

float Luminance(const Tables& t, uint32_t r, uint32_t g, uint32_t b)
{
    return t.luminance[0][r] + t.luminance[1][g] + t.luminance[2][b];
}

float RedOf(float R, float G, float B)
{
    if (R <= 0.0f || R < kSaturatedRed * (R + G + B)) return 0.0f;
    return (R - G - B) * 320.0f;
}

// A change from `from` to `to` (to above from) that counts as a transition.
template <bool kGeneral>
bool Counts(float from, float to)
{
    if constexpr (kGeneral) return to - from >= kLuminanceStep && from < kDarkerBelow;
    else return to - from > kRedStep;
}

// One pixel's turning-point detector: true when this value completes a
// transition.
template <bool kGeneral>
bool Step(float v, float& low, float& high, int8_t& trend)
{
    switch (trend) {
    case 1:  // after a rise: a fall from the peak since
        if (v > high) {
            high = v;
        } else if (Counts<kGeneral>(v, high)) {
            trend = -1;
            low = v;
            return true;
        }
        return false;
    case -1:  // after a fall: a rise from the trough since
        if (v < low) {
            low = v;
        } else if (Counts<kGeneral>(low, v)) {
            trend = 1;
            high = v;
            return true;
        }
        return false;
    default:  // before any: either way from the extremes since the start
        if (Counts<kGeneral>(low, v)) {
            trend = 1;
            high = v;
            return true;
        }
        if (Counts<kGeneral>(v, high)) {
            trend = -1;
            low = v;
            return true;
        }
        low = std::min(low, v);
        high = std::max(high, v);
        return false;
    }
}

}  // namespace

float RelativeLuminance(uint8_t r, uint8_t g, uint8_t b) { return Luminance(SrgbTables(), r, g, b); }

float RedMeasure(uint8_t r, uint8_t g, uint8_t b)
{
    const Tables& t = SrgbTables();
    return RedOf(t.linear[r], t.linear[g], t.linear[b]);
}

void FlashAnalysis::Reset(Detector& d)
{
    const std::size_t pixels = static_cast<std::size_t>(columnsOfCells) * rows;
    d.low.assign(pixels, 0.0f);
    d.high.assign(pixels, 0.0f);
    d.trend.assign(pixels, 0);
    d.count.assign(pixels, 0);
    d.atLeast.assign(kWindowFrames + 2, 0);
    d.atLeast[0] = static_cast<int>(pixels);
    d.events.assign(static_cast<std::size_t>(words) * kWindowFrames, 0);
    d.area = 0;
}

void FlashAnalysis::Open(int frameWidth, int frameHeight, int cellSize)
{
    width = frameWidth;
    height = frameHeight;
    cell = cellSize;
    cellShift = std::countr_zero(static_cast<unsigned>(cell));
    columnsOfCells = width / cell;
    rows = height / cell;
    // The area in cells, rounded up: a cell counts for its pixels.
    areaWidth = std::min((kAreaWidth + cell - 1) / cell, columnsOfCells);
    areaHeight = std::min((kAreaHeight + cell - 1) / cell, rows);
    areaCells = kAreaPixels / (cell * cell);
    words = static_cast<int>((static_cast<long>(columnsOfCells) * rows + 63) / 64);
    Reset(general);
    Reset(red);
    // A part cell at the right (a width the cell does not divide) is summed
    // but not followed.
    sums.assign(static_cast<std::size_t>(columnsOfCells + 1) * 4, 0.0f);
    columns.assign(static_cast<std::size_t>(columnsOfCells), 0);
    generalTransitions = redTransitions = pixelGeneral = pixelRed = 0;
    meanLuminance = 0.0;
    frames = 0;
}

void FlashAnalysis::Counted(Detector& d, int index, uint64_t* bits)
{
    const int c = ++d.count[index];
    ++d.atLeast[c];
    bits[index >> 6] |= uint64_t{1} << (index & 63);
}

void FlashAnalysis::Expire(Detector& d, const uint64_t* bits)
{
    for (int w = 0; w < words; ++w) {
        for (uint64_t v = bits[w]; v != 0; v &= v - 1) {
            const int index = w * 64 + std::countr_zero(v);
            --d.atLeast[d.count[index]];
            --d.count[index];
        }
    }
}

bool FlashAnalysis::AreaOver(const Detector& d, int transitions)
{
    if (transitions > kWindowFrames || d.atLeast[transitions] <= areaCells) return false;
    std::fill(columns.begin(), columns.end(), 0);
    const uint8_t* count = d.count.data();
    const int w = columnsOfCells;
    for (int y = 0; y < rows; ++y) {
        const uint8_t* in = count + static_cast<std::size_t>(y) * w;
        const uint8_t* out = y >= areaHeight ? in - static_cast<std::size_t>(areaHeight) * w : nullptr;
        for (int x = 0; x < w; ++x) columns[x] += (in[x] >= transitions) - (out != nullptr && out[x] >= transitions);
        if (y < areaHeight - 1) continue;
        int sum = 0;
        for (int x = 0; x < areaWidth; ++x) sum += columns[x];
        if (sum > areaCells) return true;
        for (int x = areaWidth; x < w; ++x) {
            sum += columns[x] - columns[x - areaWidth];
            if (sum > areaCells) return true;
        }
    }
    return false;
}

void FlashAnalysis::UpdateArea(Detector& d)
{
    if (AreaOver(d, d.area + 1)) ++d.area;
    else if (d.area > 0 && !AreaOver(d, d.area)) --d.area;
}

int FlashAnalysis::PixelMost(const Detector& d)
{
    for (int k = kWindowFrames; k > 0; --k)
        if (d.atLeast[k] > 0) return k;
    return 0;
}

void FlashAnalysis::Frame(const uint8_t* pixels, int32_t pitch)
{
    const Tables& t = SrgbTables();
    const std::size_t slot = static_cast<std::size_t>(frames % kWindowFrames) * words;
    uint64_t* generalBits = general.events.data() + slot;
    uint64_t* redBits = red.events.data() + slot;
    // The transitions of the frame a second back leave the window; its
    // bitmaps take this frame's.
    Expire(general, generalBits);
    Expire(red, redBits);
    std::memset(generalBits, 0, sizeof(uint64_t) * words);
    std::memset(redBits, 0, sizeof(uint64_t) * words);

    // Each point's luminance and red measure: a pixel's, or a cell's from
    // the means of its pixels' linear channels and luminance.
    double sum = 0.0;
    const float share = 1.0f / static_cast<float>(cell * cell);
    for (int cy = 0; cy < rows; ++cy) {
        float rowSum = 0.0f;
        float* s = sums.data();
        if (cell == 1) {
            const uint8_t* row = pixels + static_cast<std::ptrdiff_t>(cy) * pitch;
            for (int x = 0; x < width; ++x, s += 4) {
                uint32_t p;
                std::memcpy(&p, row + x * 4, 4);
                const uint32_t r = (p >> 16) & 0xFF, g = (p >> 8) & 0xFF, b = p & 0xFF;
                s[0] = Luminance(t, r, g, b);
                s[1] = RedOf(t.linear[r], t.linear[g], t.linear[b]);
            }
        } else {
            std::fill(sums.begin(), sums.end(), 0.0f);
            for (int y = cy * cell; y < (cy + 1) * cell; ++y) {
                const uint8_t* row = pixels + static_cast<std::ptrdiff_t>(y) * pitch;
                for (int x = 0; x < width; ++x) {
                    uint32_t p;
                    std::memcpy(&p, row + x * 4, 4);
                    const uint32_t r = (p >> 16) & 0xFF, g = (p >> 8) & 0xFF, b = p & 0xFF;
                    float* c = s + static_cast<std::size_t>(x >> cellShift) * 4;
                    c[0] += Luminance(t, r, g, b);
                    c[1] += t.linear[r];
                    c[2] += t.linear[g];
                    c[3] += t.linear[b];
                }
            }
            for (int cx = 0; cx < columnsOfCells; ++cx, s += 4) {
                s[0] *= share;
                s[1] = RedOf(s[1] * share, s[2] * share, s[3] * share);
            }
        }
        for (int cx = 0; cx < columnsOfCells; ++cx) {
            const float l = sums[static_cast<std::size_t>(cx) * 4];
            const float v = sums[static_cast<std::size_t>(cx) * 4 + 1];
            rowSum += l;
            const int index = cy * columnsOfCells + cx;
            if (frames == 0) {
                general.low[index] = general.high[index] = l;
                red.low[index] = red.high[index] = v;
                continue;
            }
            if (Step<true>(l, general.low[index], general.high[index], general.trend[index]))
                Counted(general, index, generalBits);
            if (Step<false>(v, red.low[index], red.high[index], red.trend[index])) Counted(red, index, redBits);
        }
        sum += static_cast<double>(rowSum) * (cell * cell);
    }
    meanLuminance = sum / (static_cast<double>(width) * height);
    UpdateArea(general);
    UpdateArea(red);
    generalTransitions = general.area;
    redTransitions = red.area;
    pixelGeneral = PixelMost(general);
    pixelRed = PixelMost(red);
    ++frames;
}

}  // namespace flash
