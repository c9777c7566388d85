// sin, cos and log2 per call over the show's own arguments (171,704 sines
// and cosines, 4,096 logarithms), fpmath's against the C library's:
//   BM_Sin, BM_Cos, BM_Log2           fpmath::Sin, fpmath::Cos, fpmath::Log2
//   BM_LibSin, BM_LibCos, BM_LibLog2  std::sin, std::cos, std::log2
//   BM_DoubleDoubleSin ...            fpmath's double-double evaluation alone
// After the table, each function's time per call and its ratio to the C
// library's.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdio>
#include <vector>

#include "bench/fastest_runs.h"
#include "fpmath/fpmath.h"
#include "tests/fpmath/show_arguments.h"

namespace {

struct Arguments {
    std::vector<double> sin, cos, log2;
    Arguments()
    {
        fpmath_test::ForEachShowArgument([&](double x) { sin.push_back(x); }, [&](double x) { cos.push_back(x); },
                                         [&](double x) { log2.push_back(x); });
    }
};

const Arguments& ShowArguments()
{
    static const Arguments arguments;
    return arguments;
}

// Every argument in turn, each call's result summed so that none is left
// out; the time is per call.
void Run(benchmark::State& state, const std::vector<double>& xs, double (*f)(double))
{
    for (auto _ : state) {
        double sum = 0;
        for (double x : xs) sum += f(x);
        benchmark::DoNotOptimize(sum);
    }
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * xs.size()));
}

// The C library's, through a pointer as fpmath's are called.
double LibSin(double x) { return std::sin(x); }
double LibCos(double x) { return std::cos(x); }
double LibLog2(double x) { return std::log2(x); }

}  // namespace

int main(int argc, char** argv)
{
    const Arguments& args = ShowArguments();
    // Each with the C library's case it is measured against (none for the
    // C library's own).
    struct Case {
        const char* name;
        const std::vector<double>* xs;
        double (*f)(double);
        const char* peer;
    };
    const Case cases[] = {
        {"BM_Sin", &args.sin, fpmath::Sin, "BM_LibSin"},
        {"BM_LibSin", &args.sin, LibSin, nullptr},
        {"BM_Cos", &args.cos, fpmath::Cos, "BM_LibCos"},
        {"BM_LibCos", &args.cos, LibCos, nullptr},
        {"BM_Log2", &args.log2, fpmath::Log2, "BM_LibLog2"},
        {"BM_LibLog2", &args.log2, LibLog2, nullptr},
        {"BM_DoubleDoubleSin", &args.sin, fpmath::DoubleDoubleSin, "BM_LibSin"},
        {"BM_DoubleDoubleCos", &args.cos, fpmath::DoubleDoubleCos, "BM_LibCos"},
        {"BM_DoubleDoubleLog2", &args.log2, fpmath::DoubleDoubleLog2, "BM_LibLog2"},
    };
    for (const Case& c : cases) {
        benchmark::RegisterBenchmark(c.name, [c](benchmark::State& state) { Run(state, *c.xs, c.f); });
    }
    bench::InitializeRepeated(argc, argv);
    bench::FastestRuns reporter(bench::FastestRuns::PROCESSOR_TIME);
    benchmark::RunSpecifiedBenchmarks(&reporter);

    std::printf("\nPer call over the show's arguments (fastest repetition), against the C library's:\n");
    for (const Case& c : cases) {
        const double* time = reporter.Find(c.name);
        if (time == nullptr) continue;
        std::printf("  %-20s %8.1f ns", c.name, *time / static_cast<double>(c.xs->size()) * 1e9);
        const double* peer = c.peer != nullptr ? reporter.Find(c.peer) : nullptr;
        if (peer != nullptr) std::printf("  %7.2fx", *time / *peer);
        std::printf("\n");
    }
    benchmark::Shutdown();
    return 0;
}
