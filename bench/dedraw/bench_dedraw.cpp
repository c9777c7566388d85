// The 16-bit pixel conversions of frame presentation on a 640 x 480 frame,
// the rows of each SIMD level against the plain ones, with memcpy of one
// 32-bit frame as the yardstick in the same run. Prints the ratios (of
// processor time) at the end.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "bench/fastest_runs.h"
#include "dedraw/convert.h"
#include "simd/simd.h"

namespace {

constexpr int kW = 640, kH = 480;

struct Frames {
    std::vector<uint32_t> in32, out32, copy32;
    std::vector<uint16_t> in16, out16;
    Frames() : in32(kW * kH), out32(kW * kH), copy32(kW * kH), in16(kW * kH), out16(kW * kH)
    {
        std::mt19937 rng(7);
        for (auto& p : in32) p = rng() & 0x00FFFFFF;
        for (auto& s : in16) s = static_cast<uint16_t>(rng());
    }
};

Frames& Shared()
{
    static Frames frames;
    return frames;
}

void Memcpy(benchmark::State& state)
{
    Frames& f = Shared();
    for (auto _ : state) {
        std::memcpy(f.copy32.data(), f.in32.data(), sizeof(uint32_t) * kW * kH);
        benchmark::ClobberMemory();
    }
}

template <class T>
std::vector<T>& Input();
template <>
std::vector<uint32_t>& Input() { return Shared().in32; }
template <>
std::vector<uint16_t>& Input() { return Shared().in16; }
template <class T>
std::vector<T>& Output();
template <>
std::vector<uint32_t>& Output() { return Shared().out32; }
template <>
std::vector<uint16_t>& Output() { return Shared().out16; }

// One frame converted row by row, as presentation does.
template <class In, class Out>
void Rows(benchmark::State& state, void (*convert)(const In*, Out*, int))
{
    const In* in = Input<In>().data();
    Out* out = Output<Out>().data();
    for (auto _ : state) {
        for (int y = 0; y < kH; ++y) convert(in + y * kW, out + y * kW, kW);
        benchmark::ClobberMemory();
    }
}

template <class In, class Out>
void Register(const std::string& name, void (*convert)(const In*, Out*, int))
{
    benchmark::RegisterBenchmark(name.c_str(), [convert](benchmark::State& state) { Rows(state, convert); })
        ->Unit(benchmark::kMicrosecond);
}

void RegisterMemcpy(const char* name) { benchmark::RegisterBenchmark(name, Memcpy)->Unit(benchmark::kMicrosecond); }

const char* const kConversions[] = {"32To565", "32To555", "565To32", "565To555"};

}  // namespace

int main(int argc, char** argv)
{
    // Each level's kernels once: a level without conversions of its own
    // takes those of the level below, and is left out.
    struct Listed {
        std::string name;
        const dedraw::Kernels* k;
    };
    std::vector<Listed> tables;
    for (simd::Level level : simd::kLevels) {
        const dedraw::Kernels* k = &dedraw::KernelsFor(level);
        auto same = [k](const Listed& t) {
            return t.k->convert32To565 == k->convert32To565 && t.k->convert32To555 == k->convert32To555 &&
                   t.k->convert565To32 == k->convert565To32 && t.k->convert565To555 == k->convert565To555;
        };
        if (simd::Supported(level) && std::none_of(tables.begin(), tables.end(), same)) {
            tables.push_back({simd::Name(level), k});
        }
    }
    RegisterMemcpy("Memcpy");
    for (const Listed& t : tables) {
        const std::string& name = t.name;
        const dedraw::Kernels* k = t.k;
        Register(name + "/32To565", k->convert32To565);
        Register(name + "/32To555", k->convert32To555);
        Register(name + "/565To32", k->convert565To32);
        Register(name + "/565To555", k->convert565To555);
    }
    // The entry points presentation calls, which look up the level on every
    // row.
    Register("dispatched/32To565", dedraw::Convert32To565Row);
    Register("dispatched/565To32", dedraw::Convert565To32Row);
    RegisterMemcpy("MemcpyAgain");

    bench::InitializeRepeated(argc, argv);
    benchmark::AddCustomContext("simd level", simd::Name(simd::Active()));
    bench::FastestRuns reporter(bench::FastestRuns::PROCESSOR_TIME);
    benchmark::RunSpecifiedBenchmarks(&reporter);

    const double *first = reporter.Find("Memcpy"), *again = reporter.Find("MemcpyAgain");
    if (first != nullptr && again != nullptr) {
        const double frame = std::min(*first, *again);
        std::printf("\nTime per frame relative to memcpy of one 32-bit frame (%.1f us):\n", frame * 1e6);
        for (const std::string& name : reporter.order) {
            std::printf("  %-18s %8.1f us  %5.2fx\n", name.c_str(), reporter.times[name] * 1e6,
                        reporter.times[name] / frame);
        }
    }
    for (size_t t = 1; t < tables.size(); ++t) {
        std::printf("\n%s against scalar (scalar time / %s time):\n", tables[t].name.c_str(), tables[t].name.c_str());
        for (const char* conversion : kConversions) {
            const double* plain = reporter.Find(tables[0].name + "/" + conversion);
            const double* fast = reporter.Find(tables[t].name + "/" + conversion);
            if (plain == nullptr || fast == nullptr) continue;
            std::printf("  %-10s %5.2fx\n", conversion, *plain / *fast);
        }
    }
    benchmark::Shutdown();
    return 0;
}
