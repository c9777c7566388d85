// The 16-bit pixel conversions of frame presentation on a 640 x 480 frame,
// the SSE2 rows against the plain ones, with memcpy of one 32-bit frame as
// the yardstick in the same run. Prints the ratios (of processor time) at
// the end.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "bench/fastest_runs.h"
#include "dedraw/convert.h"

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
template <class In, class Out, void (*Convert)(const In*, Out*, int)>
void Rows(benchmark::State& state)
{
    const In* in = Input<In>().data();
    Out* out = Output<Out>().data();
    for (auto _ : state) {
        for (int y = 0; y < kH; ++y) Convert(in + y * kW, out + y * kW, kW);
        benchmark::ClobberMemory();
    }
}

void Register(const char* name, void (*body)(benchmark::State&))
{
    benchmark::RegisterBenchmark(name, body)->Unit(benchmark::kMicrosecond);
}

using namespace dedraw;

struct Case {
    const char* name;
    void (*body)(benchmark::State&);
};

// Plain and SSE2 rows of each 16-bit conversion.
const Case kCases[] = {
    {"Scalar/32To565", Rows<uint32_t, uint16_t, scalar::Convert32To565Row>},
    {"SSE2/32To565", Rows<uint32_t, uint16_t, sse2::Convert32To565Row>},
    {"Scalar/32To555", Rows<uint32_t, uint16_t, scalar::Convert32To555Row>},
    {"SSE2/32To555", Rows<uint32_t, uint16_t, sse2::Convert32To555Row>},
    {"Scalar/565To32", Rows<uint16_t, uint32_t, scalar::Convert565To32Row>},
    {"SSE2/565To32", Rows<uint16_t, uint32_t, sse2::Convert565To32Row>},
    {"Scalar/565To555", Rows<uint16_t, uint16_t, scalar::Convert565To555Row>},
    {"SSE2/565To555", Rows<uint16_t, uint16_t, sse2::Convert565To555Row>},
};

}  // namespace

int main(int argc, char** argv)
{
    Register("Memcpy", Memcpy);
    for (const Case& c : kCases) Register(c.name, c.body);
    Register("MemcpyAgain", Memcpy);

    bench::InitializeRepeated(argc, argv);
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
    std::printf("\nSSE2 against scalar (scalar time / SSE2 time):\n");
    for (const char* conversion : {"32To565", "32To555", "565To32", "565To555"}) {
        const double* plain = reporter.Find(std::string("Scalar/") + conversion);
        const double* fast = reporter.Find(std::string("SSE2/") + conversion);
        if (plain == nullptr || fast == nullptr) continue;
        std::printf("  %-10s %5.2fx\n", conversion, *plain / *fast);
    }
    benchmark::Shutdown();
    return 0;
}
