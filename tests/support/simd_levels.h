// Tests that run once per SIMD level (simd::SetActive, or a level's own
// kernel table), each level held to a reference. A level this CPU lacks is
// skipped, saying so.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "simd/simd.h"

namespace test_support {

class LevelTest : public ::testing::TestWithParam<simd::Level> {
protected:
    void SetUp() override
    {
        if (!simd::Supported(GetParam())) GTEST_SKIP() << "this CPU lacks " << simd::Name(GetParam());
    }
};

// The levels with vector kernels, each held to the scalar reference.
inline auto FastLevels() { return ::testing::Values(simd::Level::Sse2, simd::Level::Avx2); }
// Every level, for tests with a reference of their own (rules written in
// the test, a golden table).
inline auto AllLevels() { return ::testing::Values(simd::Level::Scalar, simd::Level::Sse2, simd::Level::Avx2); }

inline std::string LevelName(const ::testing::TestParamInfo<simd::Level>& info) { return simd::Name(info.param); }

}  // namespace test_support
