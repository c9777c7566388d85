// How the value of ORCHID_SIMD becomes the level in use, apart from the
// environment and the CPU so that every case can be tried on any machine.
#pragma once

#include <string>

#include "simd/simd.h"

namespace simd {

struct Choice {
    Level level;
    std::string complaint;  // empty when the value was obeyed (or absent)
};

// `wanted` is the variable's value (null when unset), `best` the CPU's best
// level. A level name is obeyed when best has it; anything else gives best,
// with the one line that says why.
Choice Choose(const char* wanted, Level best);

}  // namespace simd
