// Kernel tests that run once per SIMD level, each level's kernels compared
// with a reference. A level this CPU lacks is skipped, saying so.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "simd/simd.h"

namespace simd_test {

class LevelTest : public ::testing::TestWithParam<simd::Level> {
protected:
    void SetUp() override
    {
        if (!simd::Supported(GetParam())) GTEST_SKIP() << "this CPU lacks " << simd::Name(GetParam());
    }
};

// The levels with vector kernels, each held to the scalar reference.
inline auto FastLevels() { return ::testing::Values(simd::Level::Sse2, simd::Level::Avx2); }
// Every level, for kernels held to rules written in the test.
inline auto AllLevels() { return ::testing::Values(simd::Level::Scalar, simd::Level::Sse2, simd::Level::Avx2); }

inline std::string LevelName(const ::testing::TestParamInfo<simd::Level>& info) { return simd::Name(info.param); }

}  // namespace simd_test
