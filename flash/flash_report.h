// The flash report of a span of show time: the analysis after each frame
// (flash/flash_analysis.h) gathered per second, the verdicts, the worst
// moments and the largest jump of the mean luminance, printed as text.
#pragma once

#include <cstdio>
#include <vector>

#include "flash/flash_analysis.h"

namespace flash {

class FlashReport {
public:
    static constexpr int kStretches = 8;

    // The span's first and last frames, in hundredths of show time.
    void Open(int firstHundredth, int lastHundredth);
    // The analysis just after the frame of show time `hundredth`.
    void Add(int hundredth, const FlashAnalysis& analysis);

    bool GeneralFails() const { return general.most >= kFailTransitions; }
    bool RedFails() const { return red.most >= kFailTransitions; }
    bool Fails() const { return GeneralFails() || RedFails(); }
    // The whole report: one line per second of the span, then the verdicts.
    void Print(std::FILE* out) const;

    // The most transitions over an area, and the times the most was reached:
    // the first kStretches runs of frames at it, and how many more.
    struct Worst {
        int most = 0;
        int stretches = 0;
        int start[kStretches] = {};
        int end[kStretches] = {};
        int more = 0;
        bool atMost = false;  // the frame before was at the most
        void Track(int transitions, int hundredth);
    };
    struct Second {
        int general = 0;
        int red = 0;
        int pixelGeneral = 0;
        int pixelRed = 0;
    };

    int first = 0;
    int last = 0;
    long frames = 0;
    int lastAdded = 0;
    std::vector<Second> seconds;  // from first / 100 on
    Worst general;
    Worst red;
    // The largest change of the frame's mean relative luminance from one
    // frame to the next: from, to, and the time of the second frame.
    double jumpFrom = 0.0;
    double jumpTo = 0.0;
    int jumpAt = -1;
    double lastMean = 0.0;
};

}  // namespace flash
