// The scenes and the constants the update and the render share.
#pragma once

#include <cstdint>

#include "fpmath/fpmath.h"

namespace timeline {

// The show's scenes in the order they play: a short name, and the first
// hundredth drawn as the scene (scene 0 from the show's first frame, at 0).
// In the hundredth just before a scene's first the update changes nothing
// and the scene before is drawn once more.
struct Scene {
    const char* name;
    int32_t first;
};
inline constexpr Scene kScenes[] = {
    {"the white opening", 0},
    {"the title", 101},
    {"the blurred orchid", 3801},
    {"the panorama", 6301},
    {"the pattern again", 13801},
    {"the stage", 16101},
    {"the closing picture", 19501},
};
inline constexpr int kSceneCount = sizeof kScenes / sizeof kScenes[0];

constexpr double kPi = 3.1415926535;

// The doubles nearest to 1/67.1, 1/97.1, 1/57.1 and 1/167: the waves of the
// show multiply the time by these.
constexpr double kOver67_1 = 0.014903129657228018;
constexpr double kOver97_1 = 0.010298661174047374;
constexpr double kOver57_1 = 0.017513134851138354;
constexpr double kOver167 = 0.005988023952095809;

// sin(t * k) for a time in hundredths.
inline double Wave(int t, double k) { return fpmath::Sin(static_cast<double>(t) * k); }

// grey(v): the level in each of the three colour bytes.
constexpr uint32_t Grey(int v)
{
    uint32_t b = static_cast<uint32_t>(v) & 0xFF;
    return b | (b << 8) | (b << 16);
}

}  // namespace timeline
