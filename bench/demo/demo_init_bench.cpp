// Asset loading: DemoInit (every picture of the show decoded by Orchid's own
// decoder, plus masks, cards and the renderer's workspace) against
// libjpeg-turbo decoding the same JPEG resources to 32-bit pixels.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <vector>

#include <jpeglib.h>

#include "bench/console.h"
#include "demo/demo.h"
#include "error/error_log.h"
#include "error/memory.h"
#include "platform/resources.h"
#include "simd/simd.h"

namespace {

void BM_DemoInit(benchmark::State& state)
{
    errorLog.Init(nullptr);
    frameImage.Create(640, 480, 32);
    for (auto _ : state) {
        DemoInit();
        state.PauseTiming();
        DemoFree();
        state.ResumeTiming();
    }
    if (errorLog.count != 0) state.SkipWithError(errorLog.Report());
    frameImage.Free();
    errorLog.Free();
}
BENCHMARK(BM_DemoInit)->Unit(benchmark::kMillisecond);

// The JPEG resources of the show, in manifest order.
std::vector<platform::ResourceBlock> ShowJpegs()
{
    std::vector<platform::ResourceBlock> jpegs;
    for (int i = 0; i < platform::kEmbeddedResourceCount; ++i) {
        const platform::EmbeddedResource& r = platform::kEmbeddedResources[i];
        auto size = static_cast<uint32_t>(r.end - r.begin);
        if (size > 2 && r.begin[0] == 0xFF && r.begin[1] == 0xD8) jpegs.push_back({r.begin, size});
    }
    return jpegs;
}

// Decodes one picture to 32-bit pixels (blue, green, red, pad) into `pixels`.
void DecodeWithLibjpegTurbo(jpeg_decompress_struct& info, const platform::ResourceBlock& jpeg,
                            unsigned char* (*pixelsFor)(std::size_t bytes, void* context), void* context)
{
    jpeg_mem_src(&info, jpeg.data, jpeg.size);
    jpeg_read_header(&info, TRUE);
    info.out_color_space = JCS_EXT_BGRX;
    jpeg_start_decompress(&info);
    std::size_t rowBytes = static_cast<std::size_t>(info.output_width) * 4;
    unsigned char* pixels = pixelsFor(rowBytes * info.output_height, context);
    while (info.output_scanline < info.output_height) {
        JSAMPROW row = pixels + rowBytes * info.output_scanline;
        jpeg_read_scanlines(&info, &row, 1);
    }
    jpeg_finish_decompress(&info);
}

// libjpeg-turbo decoding every picture into one reused buffer: the decoder's
// own cost, with its output always in cache.
void BM_LibjpegTurboSameJpegs(benchmark::State& state)
{
    std::vector<platform::ResourceBlock> jpegs = ShowJpegs();
    std::vector<unsigned char> pixels;
    jpeg_decompress_struct info;
    jpeg_error_mgr errors;
    info.err = jpeg_std_error(&errors);
    jpeg_create_decompress(&info);
    auto reuse = [](std::size_t bytes, void* context) {
        auto* buffer = static_cast<std::vector<unsigned char>*>(context);
        if (buffer->size() < bytes) buffer->resize(bytes);
        return buffer->data();
    };
    for (auto _ : state) {
        for (const platform::ResourceBlock& jpeg : jpegs) DecodeWithLibjpegTurbo(info, jpeg, reuse, &pixels);
        benchmark::DoNotOptimize(pixels.data());
    }
    jpeg_destroy_decompress(&info);
    state.counters["pictures"] = static_cast<double>(jpegs.size());
}
BENCHMARK(BM_LibjpegTurboSameJpegs)->Unit(benchmark::kMillisecond);

// libjpeg-turbo loading the pictures as a loader must: each into a picture of
// its own from the program's allocator, as DemoInit's Pixmaps are, all kept
// until the end.
void BM_LibjpegTurboLoadJpegs(benchmark::State& state)
{
    std::vector<platform::ResourceBlock> jpegs = ShowJpegs();
    std::vector<unsigned char*> pictures;
    pictures.reserve(jpegs.size());
    jpeg_decompress_struct info;
    jpeg_error_mgr errors;
    info.err = jpeg_std_error(&errors);
    jpeg_create_decompress(&info);
    auto fresh = [](std::size_t bytes, void* context) {
        auto* kept = static_cast<std::vector<unsigned char*>*>(context);
        kept->push_back(static_cast<unsigned char*>(orchid::MemAlloc(bytes)));
        return kept->back();
    };
    for (auto _ : state) {
        for (const platform::ResourceBlock& jpeg : jpegs) DecodeWithLibjpegTurbo(info, jpeg, fresh, &pictures);
        benchmark::DoNotOptimize(pictures.data());
        state.PauseTiming();
        for (unsigned char* p : pictures) orchid::MemFree(p);
        pictures.clear();
        state.ResumeTiming();
    }
    jpeg_destroy_decompress(&info);
    state.counters["pictures"] = static_cast<double>(jpegs.size());
}


BENCHMARK(BM_LibjpegTurboLoadJpegs)->Unit(benchmark::kMillisecond);
}  // namespace

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::AddCustomContext("simd level", simd::Name(simd::Active()));
    bench::Console reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    return 0;
}
