// Decoding speed of Orchid's JPEG decoder against libjpeg-turbo in the same
// run (integer transform, no fancy upsampling, 4-byte output), on
// 4096 x 4096 pictures and on the show's own pictures. Both
// decode from memory into one 4-byte-per-pixel image. After the Google
// Benchmark table a summary gives the time ratio ours / libjpeg-turbo.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <string>
#include <vector>

#include "bench/fastest_runs.h"
#include "jpeg/jpeg_decoder.h"
#include "platform/resources.h"
#include "simd/simd.h"
#include "tests/jpeg/libjpeg_peer.h"

namespace {

struct Picture {
    int width, height;
    std::vector<uint8_t> file;
};

struct PictureSet {
    std::string name;
    std::vector<Picture> pictures;
    long pixels = 0;
};

Picture Make(int w, int h, jpeg_peer::EncodeOptions o, uint32_t seed)
{
    std::vector<uint8_t> px = jpeg_peer::TestPicture(w, h, 3, seed);
    return {w, h, jpeg_peer::Encode(px, w, h, o)};
}

std::vector<PictureSet>& Sets()
{
    static std::vector<PictureSet> sets;
    if (!sets.empty()) return sets;
    jpeg_peer::EncodeOptions o420;
    o420.hsamp = o420.vsamp = 2;
    jpeg_peer::EncodeOptions o444;
    jpeg_peer::EncodeOptions prog = o420;
    prog.progressive = true;
    sets.push_back({"4096x4096_420_q90", {Make(4096, 4096, o420, 1)}});
    sets.push_back({"4096x4096_444_q90", {Make(4096, 4096, o444, 2)}});
    sets.push_back({"4096x4096_420_progressive", {Make(4096, 4096, prog, 3)}});
    sets.push_back({"640x480_420_q90", {Make(640, 480, o420, 4)}});

    // The show's own pictures, as embedded in the program.
    PictureSet show{"show_set", {}};
    for (int i = 0; i < platform::kEmbeddedResourceCount; ++i) {
        const platform::EmbeddedResource& r = platform::kEmbeddedResources[i];
        std::vector<uint8_t> file(r.begin, r.end);
        if (file.size() < 2 || file[0] != 0xFF || file[1] != 0xD8) continue;
        jpeg_decoder_memory_stream stream(file.data(), file.size());
        jpeg_decoder d(&stream);
        if (d.error_code() != 0) continue;
        show.pictures.push_back({d.image_width(), d.image_height(), file});
    }
    sets.push_back(show);
    for (PictureSet& set : sets) {
        for (const Picture& p : set.pictures) set.pixels += static_cast<long>(p.width) * p.height;
    }
    return sets;
}

bool DecodeOrchid(const Picture& p, uint8_t* out)
{
    jpeg_decoder_memory_stream stream(p.file.data(), p.file.size());
    jpeg_decoder d(&stream);
    if (d.error_code() != 0 || d.begin() != 0) return false;
    return d.decode_rows(out, static_cast<std::ptrdiff_t>(p.width) * 4, p.height, false) == p.height;
}

void BM_Orchid(benchmark::State& state, size_t index, simd::Level level)
{
    const PictureSet& set = Sets()[index];
    const simd::Level before = simd::Active();
    simd::SetActive(level);
    std::vector<uint8_t> out(static_cast<size_t>(4096) * 4096 * 4);
    for (auto _ : state) {
        for (const Picture& p : set.pictures) {
            if (!DecodeOrchid(p, out.data())) state.SkipWithError("decode failed");
        }
        benchmark::DoNotOptimize(out.data());
    }
    simd::SetActive(before);
    state.SetItemsProcessed(state.iterations() * set.pixels);
}

void BM_LibjpegTurbo(benchmark::State& state, size_t index)
{
    const PictureSet& set = Sets()[index];
    std::vector<uint8_t> out(static_cast<size_t>(4096) * 4096 * 4);
    for (auto _ : state) {
        for (const Picture& p : set.pictures) {
            jpeg_peer::Decode(p.file.data(), p.file.size(), 4, nullptr, nullptr, out.data());
        }
        benchmark::DoNotOptimize(out.data());
    }
    state.SetItemsProcessed(state.iterations() * set.pixels);
}

}  // namespace

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    benchmark::AddCustomContext("simd level", simd::Name(simd::Active()));
    std::vector<simd::Level> levels;
    for (simd::Level level : simd::kLevels) {
        if (simd::Supported(level)) levels.push_back(level);
    }
    for (size_t i = 0; i < Sets().size(); ++i) {
        const std::string& name = Sets()[i].name;
        benchmark::RegisterBenchmark(("libjpeg-turbo/" + name).c_str(), BM_LibjpegTurbo, i)
            ->Unit(benchmark::kMillisecond)
            ->MinTime(0.2)
            ->Repetitions(5);
        for (simd::Level level : levels) {
            benchmark::RegisterBenchmark(("orchid-" + std::string(simd::Name(level)) + "/" + name).c_str(), BM_Orchid,
                                         i, level)
                ->Unit(benchmark::kMillisecond)
                ->MinTime(0.2)
                ->Repetitions(5);
        }
    }
    bench::FastestRuns reporter(bench::FastestRuns::PROCESSOR_TIME);
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();

    std::printf("\nTime ratio orchid / libjpeg-turbo, fastest of 5 repetitions each (<= 1.0: at least as fast):\n");
    for (const PictureSet& set : Sets()) {
        const double* theirs = reporter.Find("libjpeg-turbo/" + set.name);
        if (theirs == nullptr) continue;
        std::printf("  %-28s", set.name.c_str());
        for (simd::Level level : levels) {
            const double* ours = reporter.Find("orchid-" + std::string(simd::Name(level)) + "/" + set.name);
            if (ours != nullptr) std::printf("  %s %.3f", simd::Name(level), *ours / *theirs);
        }
        std::printf("\n");
    }
    return 0;
}
