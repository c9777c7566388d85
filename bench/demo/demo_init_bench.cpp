// Asset loading: DemoInit (every picture of the show decoded by Orchid's own
// decoder, plus masks, cards and the renderer's workspace) against
// libjpeg-turbo decoding the same JPEG resources to 32-bit pixels.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <vector>

#include <jpeglib.h>

#include "demo/demo.h"
#include "error/error_log.h"
#include "platform/resources.h"

void RequestQuit() {}

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

void BM_LibjpegTurboSameJpegs(benchmark::State& state)
{
    std::vector<platform::ResourceBlock> jpegs;
    for (int i = 0; i < platform::kEmbeddedResourceCount; ++i) {
        const platform::EmbeddedResource& r = platform::kEmbeddedResources[i];
        auto size = static_cast<uint32_t>(r.end - r.begin);
        if (size > 2 && r.begin[0] == 0xFF && r.begin[1] == 0xD8) jpegs.push_back({r.begin, size});
    }
    std::vector<unsigned char> pixels(1920 * 480 * 4);
    jpeg_decompress_struct info;
    jpeg_error_mgr errors;
    info.err = jpeg_std_error(&errors);
    jpeg_create_decompress(&info);
    for (auto _ : state) {
        for (const platform::ResourceBlock& jpeg : jpegs) {
            jpeg_mem_src(&info, jpeg.data, jpeg.size);
            jpeg_read_header(&info, TRUE);
            info.out_color_space = JCS_EXT_BGRX;
            jpeg_start_decompress(&info);
            std::size_t rowBytes = static_cast<std::size_t>(info.output_width) * 4;
            if (pixels.size() < rowBytes * info.output_height) pixels.resize(rowBytes * info.output_height);
            while (info.output_scanline < info.output_height) {
                JSAMPROW row = pixels.data() + rowBytes * info.output_scanline;
                jpeg_read_scanlines(&info, &row, 1);
            }
            jpeg_finish_decompress(&info);
        }
        benchmark::DoNotOptimize(pixels.data());
    }
    jpeg_destroy_decompress(&info);
    state.counters["pictures"] = static_cast<double>(jpegs.size());
}
BENCHMARK(BM_LibjpegTurboSameJpegs)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
