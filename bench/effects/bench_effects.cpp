// Each effects operation on a 640 x 480 frame, measured against memcpy of one
// frame in the same run, with pixman doing the same work where it can (ADD on
// x8r8g8b8 is the per-byte saturating add, SRC the copy). Prints the ratios
// to memcpy at the end.
#include <benchmark/benchmark.h>
#include <pixman.h>

#include <algorithm>
#include <cstdio>
#include <initializer_list>
#include <cstring>
#include <random>
#include <string>

#include "bench/fastest_runs.h"
#include "demo/cross_fade.h"
#include "demo/routines.h"
#include "effects/effects.h"
#include "effects/polygon_render.h"
#include "pixmap/pixmap.h"
#include "simd/simd.h"

namespace {

constexpr int kW = 640, kH = 480;

struct Images {
    Pixmap frame, source, mask, texture, textureMask, panorama, other;
    Images()
    {
        frame.Create(kW, kH, 32);
        source.Create(kW, kH, 32);
        other.Create(kW, kH, 32);
        mask.Create(kW, kH, 8);
        texture.Create(256, 256, 32);
        textureMask.Create(256, 256, 8);
        panorama.Create(1920, 480, 32);
        std::mt19937 rng(5);
        for (Pixmap* p : {&frame, &source, &other, &mask, &texture, &textureMask, &panorama}) {
            for (int i = 0; i < p->numBytes; ++i) p->pixChar[i] = static_cast<uint8_t>(rng());
        }
        effects.SetBuffer(&frame);
        polygonRender.Init(&frame);
    }
};

Images& Shared()
{
    static Images images;
    return images;
}

const char* kModeNames[] = {"copy", "blend", "maskcopy", "maskblend", "add", "maskadd"};

void Memcpy(benchmark::State& state, int)
{
    Images& im = Shared();
    for (auto _ : state) {
        std::memcpy(im.frame.pixChar, im.source.pixChar, kW * kH * 4);
        benchmark::ClobberMemory();
    }
}

void Fill(benchmark::State& state, int mode)
{
    Shared();
    effects.SetColour(0x00404040);
    for (auto _ : state) {
        effects.Fill(mode);
        benchmark::ClobberMemory();
    }
}

void Combine(benchmark::State& state, int mode)
{
    Images& im = Shared();
    for (auto _ : state) {
        effects.Combine(mode, &im.source, &im.mask);
        benchmark::ClobberMemory();
    }
}

// The same whole-frame blend and add with the reference kernels, to show
// what the vector ones gain.
void CombineScalar(benchmark::State& state, int mode)
{
    Images& im = Shared();
    const simd::Level before = simd::Active();
    simd::SetActive(simd::Level::Scalar);
    for (auto _ : state) {
        effects.Combine(mode, &im.source, &im.mask);
        benchmark::ClobberMemory();
    }
    simd::SetActive(before);
}

void DrawSprite(benchmark::State& state, int mode)
{
    Images& im = Shared();
    for (auto _ : state) {
        effects.DrawSprite(-3, 2, mode, &im.source, &im.mask);
        benchmark::ClobberMemory();
    }
}

void DrawTiled(benchmark::State& state, int mode)
{
    Images& im = Shared();
    int offset = 0;
    for (auto _ : state) {
        effects.DrawTiled(offset, offset * 3, mode, &im.texture, &im.textureMask);
        offset += 7;
        benchmark::ClobberMemory();
    }
}

void CopyWindow(benchmark::State& state, int)
{
    Images& im = Shared();
    int x = 0;
    for (auto _ : state) {
        effects.CopyWindow(x, 0, &im.panorama);
        x = (x + 13) % 1280;
        benchmark::ClobberMemory();
    }
}

void ClearBorder(benchmark::State& state, int)
{
    Shared();
    for (auto _ : state) {
        effects.ClearBorder();
        benchmark::ClobberMemory();
    }
}

void Blur(benchmark::State& state, int)
{
    Images& im = Shared();
    for (auto _ : state) {
        effects.Blur(&im.other);
        benchmark::ClobberMemory();
    }
}

void CrossFadeDraw(benchmark::State& state, int)
{
    Images& im = Shared();
    CrossFade fade;
    fade.Set(100, &im.source, &im.other);
    for (auto _ : state) {
        fade.Draw();
        benchmark::ClobberMemory();
    }
}

// The show's fade from the frame itself toward a picture: B is the target.
void CrossFadeInPlace(benchmark::State& state, int)
{
    Images& im = Shared();
    CrossFade fade;
    fade.Set(100, &im.source, &im.frame);
    for (auto _ : state) {
        fade.Draw();
        benchmark::ClobberMemory();
    }
}

// A 256 x 256 texture drawn as an upright 256 x 256 quad.
void Quad256(benchmark::State& state, int mode)
{
    Images& im = Shared();
    T3D_Polygon* p = polygonRender.p;
    p->texture = &im.texture;
    p->mask = &im.textureMask;
    p->count = 4;
    const double corners[4][4] = {{192, 112, 0, 0}, {448, 112, 255, 0}, {448, 368, 255, 255}, {192, 368, 0, 255}};
    for (int i = 0; i < 4; ++i) {
        p->vertices[i]->c->SetScreen(corners[i][0], corners[i][1], 0);
        p->vertices[i]->tx = corners[i][2];
        p->vertices[i]->ty = corners[i][3];
    }
    for (auto _ : state) {
        polygonRender.DrawPolygon(mode, p);
        benchmark::ClobberMemory();
    }
}

// The same texture spinning, 400 pixels across: texels fetched one by one.
void SpinQuad(benchmark::State& state, int mode)
{
    Images& im = Shared();
    double angle = 0;
    for (auto _ : state) {
        DrawQuad(320, 240, 400, 400, angle, mode, &im.texture, &im.textureMask);
        angle += 0.01;
        benchmark::ClobberMemory();
    }
}

// A card laid out as the show lays out its captions: upright, but the
// corners' truncation puts one side a row higher, so every row walks the
// texture slightly downhill.
void Card(benchmark::State& state, int mode)
{
    Images& im = Shared();
    for (auto _ : state) {
        DrawQuad(149, 190, 256, 120, 3.1415926535, mode, &im.texture, &im.textureMask);
        benchmark::ClobberMemory();
    }
}

// The show's flower layer: fifty 256 x 256 pictures shrunk to 60 pixels and
// turned, through a round mask, texels fetched one by one and a quarter of
// them left out.
void Flowers(benchmark::State& state, int)
{
    Images& im = Shared();
    static Pixmap disc;
    if (disc.pixChar == nullptr) {
        disc.Create(256, 256, 8);
        for (int y = 0; y < 256; ++y) {
            for (int x = 0; x < 256; ++x) {
                disc.pixChar[y * 256 + x] = (x - 128) * (x - 128) + (y - 128) * (y - 128) < 100 * 100 ? 255 : 0;
            }
        }
    }
    std::mt19937 rng(3);
    std::uniform_real_distribution<double> across(0, 640), down(0, 480);
    double place[50][2];
    for (auto& p : place) p[0] = across(rng), p[1] = down(rng);
    double angle = 0;
    for (auto _ : state) {
        for (const auto& p : place) DrawSpinQuad(p[0], p[1], 60, angle, EFFECT_MASK_COPY, &im.texture, &disc);
        angle += 0.006;
        benchmark::ClobberMemory();
    }
}

void Scanlines(benchmark::State& state, int)
{
    Shared();
    for (auto _ : state) {
        DrawScanlines();
        benchmark::ClobberMemory();
    }
}

void PixmanComposite(benchmark::State& state, pixman_op_t op)
{
    Images& im = Shared();
    pixman_image_t* src = pixman_image_create_bits(PIXMAN_x8r8g8b8, kW, kH, im.source.pixInt, kW * 4);
    pixman_image_t* dst = pixman_image_create_bits(PIXMAN_x8r8g8b8, kW, kH, im.frame.pixInt, kW * 4);
    for (auto _ : state) {
        pixman_image_composite32(op, src, nullptr, dst, 0, 0, 0, 0, 0, 0, kW, kH);
        benchmark::ClobberMemory();
    }
    pixman_image_unref(src);
    pixman_image_unref(dst);
}
void PixmanAdd(benchmark::State& state, int) { PixmanComposite(state, PIXMAN_OP_ADD); }
void PixmanSrc(benchmark::State& state, int) { PixmanComposite(state, PIXMAN_OP_SRC); }

using Case = void (*)(benchmark::State&, int mode);

void Register(const std::string& name, Case body, int mode = 0)
{
    benchmark::RegisterBenchmark(name.c_str(), [body, mode](benchmark::State& state) { body(state, mode); })
        ->Unit(benchmark::kMicrosecond);
}

void RegisterModes(const std::string& name, Case body, std::initializer_list<int> modes = {0, 1, 2, 3, 4, 5})
{
    for (int mode : modes) Register(name + "/" + kModeNames[mode], body, mode);
}

struct Goal {
    const char* name;
    double limit;
};

}  // namespace

int main(int argc, char** argv)
{
    // memcpy first and last: the yardstick is the faster of the two.
    Register("Memcpy", Memcpy);
    Register("PixmanSrc", PixmanSrc);
    Register("PixmanAdd", PixmanAdd);
    RegisterModes("Fill", Fill, {0, 1, 4});
    RegisterModes("Combine", Combine);
    RegisterModes("CombineScalar", CombineScalar, {1, 4});
    RegisterModes("DrawSprite", DrawSprite);
    RegisterModes("DrawTiled", DrawTiled);
    Register("CopyWindow", CopyWindow);
    Register("ClearBorder", ClearBorder);
    Register("Blur", Blur);
    Register("CrossFadeDraw", CrossFadeDraw);
    Register("CrossFadeInPlace", CrossFadeInPlace);
    RegisterModes("Quad256", Quad256);
    RegisterModes("SpinQuad400", SpinQuad, {0, 5});
    RegisterModes("Card", Card, {0, 4});
    Register("Flowers", Flowers);
    Register("Scanlines", Scanlines);
    Register("MemcpyAgain", Memcpy);
    // The machine may be shared: by default each case runs in several short
    // repetitions, and the ratios use the fastest of each.
    bench::InitializeRepeated(argc, argv);
    benchmark::AddCustomContext("simd level", simd::Name(simd::Active()));
    bench::FastestRuns reporter(bench::FastestRuns::WALL_TIME);
    benchmark::RunSpecifiedBenchmarks(&reporter);

    const double *first = reporter.Find("Memcpy"), *again = reporter.Find("MemcpyAgain");
    if (first == nullptr || again == nullptr) return 0;
    const double frame = std::min(*first, *again);
    const Goal goals[] = {
        {"Fill/copy", 1.3},          {"Combine/copy", 1.3},       {"CopyWindow", 1.3},
        {"DrawTiled/copy", 1.3},     {"Fill/blend", 1.6},         {"Fill/add", 1.6},
        {"Combine/blend", 1.6},      {"Combine/add", 1.6},        {"Combine/maskcopy", 1.6},
        {"Combine/maskblend", 1.6},  {"Combine/maskadd", 1.6},    {"CrossFadeDraw", 2.0},
        {"CrossFadeInPlace", 2.0},     {"Quad256/copy", 0.3},
    };
    std::printf("\nTime per frame relative to memcpy of one frame (%.1f us):\n", frame * 1e6);
    for (const std::string& name : reporter.order) {
        const double ratio = reporter.times[name] / frame;
        const char* verdict = "";
        for (const Goal& goal : goals) {
            if (name == goal.name) verdict = ratio <= goal.limit ? "  (goal met)" : "  (goal MISSED)";
        }
        std::printf("  %-26s %7.1f us  %5.2fx%s\n", name.c_str(), reporter.times[name] * 1e6, ratio, verdict);
    }
    const double* add = reporter.Find("PixmanAdd");
    const double* ours = reporter.Find("Combine/add");
    if (add != nullptr && ours != nullptr) {
        std::printf("Combine add vs pixman ADD: %.2fx faster\n", *add / *ours);
    }
    benchmark::Shutdown();
    return 0;
}
