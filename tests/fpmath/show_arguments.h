// Every argument the show's frames pass to fpmath, in the order the suite
// hashes their results: the waves of the update and the render and the
// caption's drift (demo/timeline.h, demo/update.cpp) at every hundredth, the
// quads' angles and the angles a quarter turn back (demo/routines.cpp), and
// the widths whose base-2 logarithms the pixmaps take (pixmap/pixmap.cpp).
#pragma once

#include <initializer_list>

#include "demo/demo.h"
#include "demo/timeline.h"

namespace fpmath_test {

// Calls sine(x), cosine(x) and log2(x) with each argument in turn.
template <class Sine, class Cosine, class Log2>
void ForEachShowArgument(Sine sine, Cosine cosine, Log2 log2)
{
    for (double k : {timeline::kOver67_1, timeline::kOver97_1, timeline::kOver57_1, 0.01}) {
        for (int t = 0; t <= kShowEnd; ++t) sine(static_cast<double>(t) * k);
    }
    auto angle = [&](double a) {
        const double back = a - timeline::kPi * 0.5;
        sine(a);
        cosine(a);
        sine(back);
        cosine(back);
    };
    for (int t = 0; t <= kShowEnd; ++t) angle(static_cast<double>(t) * timeline::kOver167);
    for (double a : {0.0, timeline::kPi, timeline::kPi - 0.05, timeline::kPi + 0.05}) angle(a);
    for (int v = 1; v <= 4096; ++v) log2(static_cast<double>(v));
}

}  // namespace fpmath_test
