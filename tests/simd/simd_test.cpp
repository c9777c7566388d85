#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <vector>

#include "dedraw/convert.h"
#include "effects/pixel_kernels.h"
#include "effects/pixel_ops.h"
#include "jpeg/jpeg_kernels.h"
#include "simd/chooser.h"
#include "simd/choice.h"
#include "simd/simd.h"
#include "tests/support/environment.h"

using simd::Level;

using test_support::SetEnvironment;

namespace {

using simd::kLevels;

TEST(SimdChoice, ObeysALevelTheCpuHasAndOtherwiseSaysWhichItUses)
{
    struct Case {
        const char* wanted;
        Level best;
        Level expected;
        const char* complaint;  // null: none
    };
    const Case cases[] = {
        {nullptr, Level::Avx2, Level::Avx2, nullptr},
        {"", Level::Sse2, Level::Sse2, nullptr},
        {"scalar", Level::Avx2, Level::Scalar, nullptr},
        {"sse2", Level::Avx2, Level::Sse2, nullptr},
        {"sse2", Level::Sse2, Level::Sse2, nullptr},
        {"avx2", Level::Avx2, Level::Avx2, nullptr},
        {"scalar", Level::Scalar, Level::Scalar, nullptr},
        {"wasm-simd128", Level::Wasm128, Level::Wasm128, nullptr},
        {"scalar", Level::Wasm128, Level::Scalar, nullptr},
        {"neon", Level::Neon, Level::Neon, nullptr},
        {"scalar", Level::Neon, Level::Scalar, nullptr},
        {"sse2", Level::Neon, Level::Neon, "ORCHID_SIMD=sse2: this CPU lacks sse2; using neon"},
        {"neon", Level::Avx2, Level::Avx2, "ORCHID_SIMD=neon: this CPU lacks neon; using avx2"},
        {"sse2", Level::Wasm128, Level::Wasm128, "ORCHID_SIMD=sse2: this CPU lacks sse2; using wasm-simd128"},
        {"wasm-simd128", Level::Avx2, Level::Avx2,
         "ORCHID_SIMD=wasm-simd128: this CPU lacks wasm-simd128; using avx2"},
        {"avx2", Level::Sse2, Level::Sse2, "ORCHID_SIMD=avx2: this CPU lacks avx2; using sse2"},
        {"sse2", Level::Scalar, Level::Scalar, "ORCHID_SIMD=sse2: this CPU lacks sse2; using scalar"},
        {"AVX2", Level::Avx2, Level::Avx2,
         "ORCHID_SIMD=AVX2 is not a SIMD level (scalar, sse2, avx2, wasm-simd128, neon); using avx2"},
        {"avx2 ", Level::Sse2, Level::Sse2,
         "ORCHID_SIMD=avx2  is not a SIMD level (scalar, sse2, avx2, wasm-simd128, neon); using sse2"},
        {"avx512", Level::Avx2, Level::Avx2,
         "ORCHID_SIMD=avx512 is not a SIMD level (scalar, sse2, avx2, wasm-simd128, neon); using avx2"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.wanted == nullptr ? "(unset)" : c.wanted);
        simd::Choice choice = simd::Choose(c.wanted, c.best);
        EXPECT_EQ(choice.level, c.expected) << "best " << simd::Name(c.best);
        EXPECT_EQ(choice.complaint, c.complaint == nullptr ? "" : c.complaint);
    }
}

// The variable is read once, in a fresh process: a refused value costs one
// line on stderr, and the program goes on at the best level.
TEST(Simd, TheEnvironmentChoosesTheLevelOnceAtStart)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    const std::string best = simd::Name(simd::Best());
    EXPECT_EXIT(
        {
            SetEnvironment("ORCHID_SIMD", "fast");
            std::fprintf(stderr, "active %s\n", simd::Name(simd::Active()));
            std::fprintf(stderr, "active %s\n", simd::Name(simd::Active()));
            std::exit(0);
        },
        ::testing::ExitedWithCode(0),
        "^orchid: ORCHID_SIMD=fast is not a SIMD level \\(scalar, sse2, avx2, wasm-simd128, neon\\); using " + best +
            "\nactive " + best + "\nactive " + best + "\n$");
    EXPECT_EXIT(
        {
            SetEnvironment("ORCHID_SIMD", "scalar");
            std::fprintf(stderr, "active %s\n", simd::Name(simd::Active()));
            SetEnvironment("ORCHID_SIMD", "sse2");
            std::fprintf(stderr, "active %s\n", simd::Name(simd::Active()));
            std::exit(0);
        },
        ::testing::ExitedWithCode(0), "^active scalar\nactive scalar\n$");
    EXPECT_EXIT(
        {
            SetEnvironment("ORCHID_SIMD", nullptr);
            std::fprintf(stderr, "active %s\n", simd::Name(simd::Active()));
            std::exit(0);
        },
        ::testing::ExitedWithCode(0), "^active " + best + "\n$");
}

// Every subsystem takes its kernels from the one level in use, so switching
// it switches them all; a level the CPU lacks is never taken.
TEST(Simd, SetActiveSwitchesEverySubsystemAtOnce)
{
    const Level before = simd::Active();
    EXPECT_TRUE(simd::Supported(Level::Scalar));
    EXPECT_TRUE(simd::Supported(simd::Best()));
#if defined(__x86_64__)
    EXPECT_TRUE(simd::Supported(Level::Sse2));
#endif
    for (Level level : kLevels) {
        SCOPED_TRACE(simd::Name(level));
        const Level expected = simd::Supported(level) ? level : simd::Best();
        simd::SetActive(level);
        EXPECT_EQ(simd::Active(), expected);
        EXPECT_EQ(&jpeg_kernels::Active(), &jpeg_kernels::KernelsFor(expected));
        EXPECT_EQ(&orchid::pixel::Active(), &orchid::pixel::KernelsFor(expected));
        EXPECT_EQ(&dedraw::Active(), &dedraw::KernelsFor(expected));
        EXPECT_EQ(&jpeg_kernels::KernelsFor(level), &jpeg_kernels::KernelsFor(expected));
        EXPECT_EQ(&orchid::pixel::KernelsFor(level), &orchid::pixel::KernelsFor(expected));
        EXPECT_EQ(&dedraw::KernelsFor(level), &dedraw::KernelsFor(expected));
    }
    // The scalar level is the reference in each.
    simd::SetActive(Level::Scalar);
    EXPECT_EQ(jpeg_kernels::Active().idct, jpeg_kernels::IdctScalar);
    EXPECT_EQ(orchid::pixel::Active().apply, orchid::pixel::kernels::ScalarApply);
    EXPECT_EQ(dedraw::Active().convert32To565, dedraw::scalar::Convert32To565Row);
    simd::SetActive(before);
}

// A table of three entries: the scalar level fills all, SSE2 one, AVX2
// another, WebAssembly and NEON one of their own.
int ScalarA() { return 1; }
int ScalarB() { return 2; }
int ScalarC() { return 3; }
int Sse2A() { return 4; }
int Avx2B() { return 5; }
int WasmC() { return 6; }
int NeonB() { return 7; }

struct Toy {
    int (*a)() = nullptr;
    int (*b)() = nullptr;
    int (*c)() = nullptr;
};
constexpr Toy kToyScalar = {ScalarA, ScalarB, ScalarC};
constexpr Toy kToySse2 = {.a = Sse2A};
constexpr Toy kToyAvx2 = {.b = Avx2B};
constexpr Toy kToyWasm = {.c = WasmC};
constexpr Toy kToyNeon = {.b = NeonB};

// An empty entry falls through level by level down to scalar: AVX2 takes
// SSE2's entry before the scalar one, WebAssembly and NEON only ever the
// scalar.
TEST(SimdChooser, AnEmptyEntryTakesTheNearestLevelBelowThatHasIt)
{
    const simd::Chooser<Toy, &Toy::a, &Toy::b, &Toy::c> all(
        {.scalar = &kToyScalar, .sse2 = &kToySse2, .avx2 = &kToyAvx2, .wasm128 = &kToyWasm, .neon = &kToyNeon});
    // A build without this processor's SSE2 table: AVX2 goes on to scalar.
    const simd::Chooser<Toy, &Toy::a, &Toy::b, &Toy::c> noSse2({.scalar = &kToyScalar, .avx2 = &kToyAvx2});
    struct Case {
        Level level;
        int all[3];
        int noSse2[3];
    };
    const Case cases[] = {
        {Level::Scalar, {1, 2, 3}, {1, 2, 3}},
        {Level::Sse2, {4, 2, 3}, {1, 2, 3}},
        {Level::Avx2, {4, 5, 3}, {1, 5, 3}},
        {Level::Wasm128, {1, 2, 6}, {1, 2, 3}},
        {Level::Neon, {1, 7, 3}, {1, 2, 3}},
    };
    for (const Case& c : cases) {
        if (!simd::Supported(c.level)) continue;
        SCOPED_TRACE(simd::Name(c.level));
        const Toy& t = all.For(c.level);
        EXPECT_EQ((std::vector<int>{t.a(), t.b(), t.c()}), (std::vector<int>(c.all, c.all + 3)));
        const Toy& u = noSse2.For(c.level);
        EXPECT_EQ((std::vector<int>{u.a(), u.b(), u.c()}), (std::vector<int>(c.noSse2, c.noSse2 + 3)));
    }
    // A level the CPU lacks gives the best it has.
    for (Level level : kLevels) {
        if (!simd::Supported(level)) {
            EXPECT_EQ(&all.For(level), &all.For(simd::Best()));
        }
    }
}

}  // namespace
