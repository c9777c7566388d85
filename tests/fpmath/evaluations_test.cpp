// The fast evaluations held to the double-double ones bit for bit: over the
// show's own arguments, over a broad random sample of every kind of
// argument, and where the fast evaluation must leave the rounding to the
// double-double one.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <random>

#include "fpmath/fpmath.h"
#include "tests/fpmath/show_arguments.h"

namespace {

uint64_t Bits(double x)
{
    uint64_t u;
    std::memcpy(&u, &x, sizeof u);
    return u;
}

double FromBits(uint64_t u)
{
    double x;
    std::memcpy(&x, &u, sizeof x);
    return x;
}

// One function's two evaluations and the arguments the fast one left to the
// double-double one.
struct Function {
    const char* name;
    bool (*fast)(double, double*);
    double (*slow)(double);
    double (*both)(double);
    long calls = 0;
    long fallbacks = 0;

    // The fast result, when there is one, and the function's own, are the
    // double-double's.
    void Check(double x)
    {
        const double slowValue = slow(x);
        double fastValue;
        ++calls;
        if (fast(x, &fastValue)) {
            ASSERT_EQ(Bits(fastValue), Bits(slowValue)) << name << " " << std::hexfloat << x;
        } else {
            ++fallbacks;
        }
        ASSERT_EQ(Bits(both(x)), Bits(slowValue)) << name << " " << std::hexfloat << x;
    }

    void Report() const
    {
        std::printf("%s: %ld of %ld arguments left to the double-double evaluation\n", name, fallbacks, calls);
    }
};

Function SinFunction() { return {"sin", fpmath::FastSin, fpmath::DoubleDoubleSin, fpmath::Sin}; }
Function CosFunction() { return {"cos", fpmath::FastCos, fpmath::DoubleDoubleCos, fpmath::Cos}; }
Function Log2Function() { return {"log2", fpmath::FastLog2, fpmath::DoubleDoubleLog2, fpmath::Log2}; }

// The show's frames and pictures are made of these results: a fallback is
// the double-double's result too, but most are the fast evaluation's own.
TEST(FpMathEvaluations, TheShowsArgumentsGiveTheDoubleDoubleResults)
{
    Function sine = SinFunction(), cosine = CosFunction(), log2 = Log2Function();
    fpmath_test::ForEachShowArgument([&](double x) { sine.Check(x); }, [&](double x) { cosine.Check(x); },
                                     [&](double x) { log2.Check(x); });
    for (const Function* f : {&sine, &cosine, &log2}) {
        f->Report();
        EXPECT_LT(f->fallbacks * 500, f->calls) << f->name;
    }
}

// Several million arguments of every kind, each with either sign: the
// common range, each binade from below the smallest the fast evaluation
// takes to beyond the largest, near multiples of pi/2 (results near 0 and
// 1) and of pi/1024 (the edges and centres of the table's intervals), the
// show's kind (whole hundredths times a small step), subnormal and any
// finite bits. The base-2 logarithm: any positive bits (subnormals
// included), near 1, near powers of two, near the edges of its table's
// intervals, whole numbers. The fast evaluation decides nearly all of those
// in its range.
TEST(FpMathEvaluations, RandomArgumentsGiveTheDoubleDoubleResults)
{
    // Each double-double evaluation takes about a microsecond natively.
#if defined(__EMSCRIPTEN__) || defined(_WIN32)
    constexpr int kPerKind = 40000;
#else
    constexpr int kPerKind = 200000;
#endif
    std::mt19937_64 rng(20261207);
    std::uniform_real_distribution<double> unit(0.0, 1.0), mantissa(1.0, 2.0);
    auto uniform = [&](double lo, double hi) { return lo + (hi - lo) * unit(rng); };
    auto below = [&](uint64_t n) { return static_cast<int64_t>(rng() % n); };
    auto binade = [&](int lo, int hi) { return std::ldexp(mantissa(rng), static_cast<int>(below(hi - lo + 1)) + lo); };
    // A few units in the last place away, up to about a million.
    auto nudge = [&](double x) {
        const int64_t reach = int64_t{1} << below(21);
        const int64_t units = below(static_cast<uint64_t>(2 * reach)) - reach;
        return FromBits(Bits(x) + static_cast<uint64_t>(units));
    };
    auto withSign = [&](double x) { return (rng() & 1) ? -x : x; };

    Function sine = SinFunction(), cosine = CosFunction(), log2 = Log2Function();
    constexpr double kHalfPi = 1.5707963267948966, kStep = 3.1415926535897931 / 1024;
    for (int i = 0; i < kPerKind; ++i) {
        const double angles[] = {
            uniform(0.0, 8.0),
            binade(-32, 22),
            nudge(static_cast<double>(1 + below(700000)) * kHalfPi),
            nudge(static_cast<double>(below(1 << 19)) * kStep),
            static_cast<double>(below(30000)) * uniform(0.001, 0.05),
            FromBits(rng() & 0x000FFFFFFFFFFFFF),
            FromBits(rng() & 0x7FEFFFFFFFFFFFFF),
        };
        for (double a : angles) {
            const double x = withSign(a);
            sine.Check(x);
            cosine.Check(x);
        }
        const double logs[] = {
            FromBits(1 + rng() % 0x7FEFFFFFFFFFFFFF),
            nudge(1.0),
            1.0 + uniform(-0x1p-6, 0x1p-6),
            std::ldexp(nudge(1.0), static_cast<int>(below(2098)) - 1074),
            std::ldexp(nudge(1.0 + (static_cast<double>(below(128)) + 0.5) / 128), static_cast<int>(below(60)) - 30),
            binade(-8, 8),
            static_cast<double>(1 + below(1 << 24)),
        };
        for (double x : logs) log2.Check(x);
    }
    for (const Function* f : {&sine, &cosine, &log2}) f->Report();
    EXPECT_LT(log2.fallbacks * 1000, log2.calls);

    // The common range alone: about one in a thousand or two.
    Function commonSine = SinFunction(), commonCos = CosFunction();
    for (int i = 0; i < kPerKind; ++i) {
        const double x = uniform(-1000.0, 1000.0);
        commonSine.Check(x);
        commonCos.Check(x);
    }
    commonSine.Report();
    commonCos.Report();
    EXPECT_LT(commonSine.fallbacks * 500, commonSine.calls);
    EXPECT_LT(commonCos.fallbacks * 500, commonCos.calls);
}

// Arguments whose exact results lie within 2^-20 ulp of the midpoint between
// two doubles (found among millions of random arguments, the values computed
// at 250 bits with mpmath): no double evaluation decides those, the
// double-double one must, and does correctly.
TEST(FpMathEvaluations, ResultsNearAMidpointAreLeftToTheDoubleDoubleEvaluation)
{
    struct Row {
        double x, value;
    };
    const Row sines[] = {
        {-0x1.8153a5b2bc9dap+0, -0x1.fee5f54dc38e6p-1},
        {0x1.3edcb432b9508p+10, -0x1.3831d815dd748p-5},
        {0x1.56eaf6f4217d6p+10, 0x1.de108b3532b3ap-1},
        {-0x1.abd830328b9e7p+1, 0x1.98c4225a0ca06p-3},
    };
    const Row cosines[] = {
        {-0x1.c5cf56efdbfcap+0, -0x1.9aaf5e00c92e9p-3},
        {0x1.dca33dc6655ep-2, 0x1.c9878cf6aa514p-1},
        {-0x1.c12722bde790cp+8, -0x1.fdb2872c8f97cp-1},
        {-0x1.dbe25a6b80e5dp+10, 0x1.edabe000603e9p-1},
    };
    const Row logs[] = {
        {0x1.d532a0f605234p+9, 0x1.3bf83c9df2941p+3},
        {0x1.877f20f489442p-5, -0x1.18c6f7d068090p+2},
        {0x1.edcf5caf003f3p-6, -0x1.43570b3940401p+2},
        {0x1.ce4c3f3b40dep-7, -0x1.896db5da0d6bcp+2},
    };
    double ignored;
    for (const Row& r : sines) {
        EXPECT_FALSE(fpmath::FastSin(r.x, &ignored)) << std::hexfloat << r.x;
        EXPECT_FALSE(fpmath::FastSin(-r.x, &ignored)) << std::hexfloat << r.x;
        EXPECT_EQ(Bits(fpmath::Sin(r.x)), Bits(r.value)) << std::hexfloat << r.x;
        EXPECT_EQ(Bits(fpmath::Sin(-r.x)), Bits(-r.value)) << std::hexfloat << r.x;
    }
    for (const Row& r : cosines) {
        EXPECT_FALSE(fpmath::FastCos(r.x, &ignored)) << std::hexfloat << r.x;
        EXPECT_FALSE(fpmath::FastCos(-r.x, &ignored)) << std::hexfloat << r.x;
        EXPECT_EQ(Bits(fpmath::Cos(r.x)), Bits(r.value)) << std::hexfloat << r.x;
        EXPECT_EQ(Bits(fpmath::Cos(-r.x)), Bits(r.value)) << std::hexfloat << r.x;
    }
    for (const Row& r : logs) {
        EXPECT_FALSE(fpmath::FastLog2(r.x, &ignored)) << std::hexfloat << r.x;
        EXPECT_EQ(Bits(fpmath::Log2(r.x)), Bits(r.value)) << std::hexfloat << r.x;
    }
}

}  // namespace
