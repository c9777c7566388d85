// Photosensitivity screening of a frame sequence at 100 frames a second,
// against the general-flash and red-flash thresholds of WCAG 2.3.1.
//
// Every point is followed on its own: each pixel, or each cell of N x N
// pixels, whose linear channels and luminance are its pixels' means. Its
// relative luminance (sRGB, each channel linearised, L = 0.2126 R +
// 0.7152 G + 0.0722 B) goes through a turning-point detector: a transition is counted when the luminance has
// moved by at least 0.1 from the last extreme in the opposite direction to
// the transition counted before, the darker of the two states below 0.8.
// Its red measure, (R - G - B) x 320 on the linear channels where the red
// is saturated (R / (R + G + B) >= 0.8, else 0), goes through a second one,
// whose transitions are changes of more than 20. A flash is a pair of
// opposing transitions, so a point has flashed more than three times
// within a second once it has 7 transitions in the last 100 frames.
//
// The area test: the flashes of a window "cover" an area when more than
// 8,520 pixels of some 213 x 160 rectangle (a quarter of WCAG's 10-degree
// field, 341 x 256 of a 1024 x 768 screen, scaled to the 640 x 480 frame)
// each have at least that many transitions in the same second. Every
// position of the rectangle, point by point, is tried (in cells, a
// rectangle of 213 x 160 rounded up to whole cells, each cell counting for
// its pixels); points that flash in the same second but not in step count
// as flashing together, which errs on the side of caution.
//
// The cost per frame is bounded: one pass over the pixels, one over the
// transitions leaving the window (a bitmap per frame of the last second),
// and at most two passes of the rectangle test when enough pixels have
// transitions. Nothing is allocated after Open.
#pragma once

#include <cstdint>
#include <vector>

namespace flash {

// The thresholds, for a 640 x 480 frame.
constexpr float kLuminanceStep = 0.1f;   // a general transition: a change of at least this
constexpr float kDarkerBelow = 0.8f;     // ... with the darker state below this
constexpr float kRedStep = 20.0f;        // a red transition: a change of more than this
constexpr float kSaturatedRed = 0.8f;    // R / (R + G + B) at least this
constexpr int kWindowFrames = 100;       // one second
constexpr int kAreaWidth = 213;
constexpr int kAreaHeight = 160;
constexpr int kAreaPixels = 8520;        // more than this many pixels of an area
constexpr int kFailTransitions = 7;      // more than three flashes

// The sRGB relative luminance of an 8-bit colour.
float RelativeLuminance(uint8_t r, uint8_t g, uint8_t b);
// The red measure of an 8-bit colour: 0 unless its red is saturated.
float RedMeasure(uint8_t r, uint8_t g, uint8_t b);

class FlashAnalysis {
public:
    // Sizes the state for width x height frames followed in cell x cell
    // cells (1, 2, 4, ...: a power of two that divides both), each point
    // the mean of its pixels (an area larger than the frame is the whole
    // frame). Allocates everything the frames need.
    void Open(int width, int height, int cell);
    // The next frame, 1/100 s after the one before: 32-bit words 0x??RRGGBB,
    // rows `pitch` bytes apart.
    void Frame(const uint8_t* pixels, int32_t pitch);

    // After each frame, over the last second (the frame and the 99 before):
    // the most transitions that more than kAreaPixels pixels of one area
    // each have, general and red (half the number of flashes).
    int generalTransitions = 0;
    int redTransitions = 0;
    // The most transitions of any single point.
    int pixelGeneral = 0;
    int pixelRed = 0;
    // The frame's mean relative luminance.
    double meanLuminance = 0.0;
    long frames = 0;

private:
    struct Detector {
        std::vector<float> low;     // the trough since the last rise (or since the start)
        std::vector<float> high;    // the peak since the last fall (or since the start)
        std::vector<int8_t> trend;  // +1 after a rise, -1 after a fall, 0 before any
        std::vector<uint8_t> count; // transitions within the window
        // Points with at least k transitions in the window, k = 0 .. kWindowFrames.
        std::vector<int> atLeast;
        // One bitmap of transitions per frame of the window, in a ring.
        std::vector<uint64_t> events;
        int area = 0;  // the area figure of the last frame
    };

    void Reset(Detector& d);
    void Counted(Detector& d, int index, uint64_t* bits);
    void Expire(Detector& d, const uint64_t* bits);
    // The area figure after a frame: it moves by at most one per frame,
    // since every pixel's count does.
    void UpdateArea(Detector& d);
    // True when more than kAreaPixels pixels of some area have at least
    // `transitions` transitions.
    bool AreaOver(const Detector& d, int transitions);
    static int PixelMost(const Detector& d);

    int width = 0;
    int height = 0;
    int cell = 1;
    int cellShift = 0;  // cell = 1 << cellShift
    int columnsOfCells = 0;
    int rows = 0;
    int areaWidth = 0;   // in cells
    int areaHeight = 0;
    int areaCells = 0;   // more cells than this cover an area
    int words = 0;       // 64-bit words of one frame's bitmap
    Detector general;
    Detector red;
    std::vector<float> sums;   // a row of cells: luminance, linear red, green, blue
    std::vector<int> columns;  // the area test's column sums
};

}  // namespace flash
