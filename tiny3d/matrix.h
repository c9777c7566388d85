// Tiny3D's matrix workspace: a 256 x 256 scratch matrix of doubles that lives
// from asset loading to asset release.
#pragma once

#include <cstdint>

namespace MatrixCalculations {

constexpr int kSize = 256;

int Init();
void Free();

extern int32_t initialized;
extern double** temporaryMatrix;

}  // namespace MatrixCalculations
