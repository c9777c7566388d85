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
inline auto FastLevels()
{
    return ::testing::Values(simd::Level::Sse2, simd::Level::Avx2, simd::Level::Wasm128, simd::Level::Neon);
}
// Every level, for tests with a reference of their own (rules written in
// the test, a golden table).
inline auto AllLevels()
{
    return ::testing::Values(simd::Level::Scalar, simd::Level::Sse2, simd::Level::Avx2, simd::Level::Wasm128,
                             simd::Level::Neon);
}

// The level's name as a test name can hold it (letters, digits and '_').
inline std::string LevelName(const ::testing::TestParamInfo<simd::Level>& info)
{
    std::string name = simd::Name(info.param);
    for (char& c : name)
        if (c == '-') c = '_';
    return name;
}

}  // namespace test_support
