// Runs one family of kernels, at the SIMD level in use (ORCHID_SIMD), over
// fixed data a given number of rounds, for counting the instructions they
// take: under qemu's single-step trace (bench/arm64/count) the count of
// rounds 0 is the program's own cost, and what more R rounds take is the
// kernels'. Each round is one 640-pixel line, or 80 blocks for the inverse
// DCT (one line of blocks).
//   orchid-kernel-run FAMILY ROUNDS
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "dedraw/convert.h"
#include "effects/pixel_ops.h"
#include "jpeg/jpeg_kernels.h"
#include "simd/simd.h"

namespace {

constexpr int kPixels = 640;
constexpr int kBlocks = kPixels / 8;

// A fixed pseudo-random sequence, the same on every machine.
uint32_t Next(uint32_t& state)
{
    state = state * 1664525u + 1013904223u;
    return state >> 8;
}

struct Data {
    std::vector<int16_t> coefficients = std::vector<int16_t>(64 * kBlocks);
    std::vector<uint8_t> samples = std::vector<uint8_t>(8 * kPixels);
    std::vector<uint8_t> y = std::vector<uint8_t>(kPixels), cb = std::vector<uint8_t>(kPixels),
                         cr = std::vector<uint8_t>(kPixels), mask = std::vector<uint8_t>(kPixels);
    std::vector<uint8_t> rgbx = std::vector<uint8_t>(4 * kPixels), rgb = std::vector<uint8_t>(3 * kPixels);
    std::vector<uint32_t> a = std::vector<uint32_t>(kPixels), b = std::vector<uint32_t>(kPixels),
                          d = std::vector<uint32_t>(kPixels), texels = std::vector<uint32_t>(256 * 256);
    std::vector<uint16_t> words = std::vector<uint16_t>(kPixels), words2 = std::vector<uint16_t>(kPixels);
    jpeg_kernels::ColorTables tables{};

    Data()
    {
        uint32_t state = 1;
        // Dense blocks, coefficients falling off with frequency as in a
        // picture's busy parts.
        for (int k = 0; k < 64 * kBlocks; ++k) {
            const int range = 512 >> ((k % 64) / 16);
            coefficients[k] = static_cast<int16_t>(static_cast<int>(Next(state) % (2 * range)) - range);
        }
        for (int x = 0; x < kPixels; ++x) {
            y[x] = static_cast<uint8_t>(Next(state));
            cb[x] = static_cast<uint8_t>(Next(state));
            cr[x] = static_cast<uint8_t>(Next(state));
            mask[x] = static_cast<uint8_t>(x % 96 < 48 ? 255 : Next(state));
            a[x] = Next(state);
            b[x] = Next(state);
            words[x] = static_cast<uint16_t>(Next(state));
        }
        for (auto& t : texels) t = Next(state);
        for (auto& c : rgbx) c = static_cast<uint8_t>(Next(state));
        jpeg_kernels::FillColorTables(&tables);
    }
};

bool Run(const std::string& family, Data& s)
{
    const jpeg_kernels::Kernels& jpeg = jpeg_kernels::KernelsFor(simd::Active());
    const orchid::pixel::Kernels& pixel = orchid::pixel::KernelsFor(simd::Active());
    const dedraw::Kernels& convert = dedraw::KernelsFor(simd::Active());
    if (family == "idct") {
        for (int k = 0; k < kBlocks; k += 2) {
            jpeg.idctPair(&s.coefficients[64 * k], &s.samples[8 * k], kPixels, &s.coefficients[64 * (k + 1)],
                          &s.samples[8 * (k + 1)], kPixels);
        }
    } else if (family == "color") {
        jpeg.colorH1(s.y.data(), s.cb.data(), s.cr.data(), s.rgbx.data(), kPixels, &s.tables);
        jpeg.colorH2Pair(s.y.data(), s.y.data(), s.cb.data(), s.cr.data(), s.rgbx.data(), s.rgbx.data(), kPixels,
                         &s.tables);
    } else if (family == "pack") {
        jpeg.packTriplets(s.rgbx.data(), s.rgb.data(), kPixels);
        jpeg.tripletsToWords(s.rgb.data(), s.d.data(), kPixels);
    } else if (family == "rows") {
        for (int mode : {EFFECT_BLEND, EFFECT_MASK_BLEND, EFFECT_ADD, EFFECT_MASK_COPY}) {
            pixel.apply(mode, s.d.data(), s.a.data(), s.mask.data(), orchid::pixel::MASK_ABOVE_128, kPixels);
        }
        pixel.fill(EFFECT_BLEND, s.d.data(), 0x406080u, kPixels);
    } else if (family == "span") {
        const orchid::pixel::TexelWalk walk = {s.texels.data(), s.mask.data(), 256 * 256 - 1, 8,
                                               0x00123456u, 0x00654321u, 0x00011000, 0x00003000,
                                               orchid::pixel::MASK_ABOVE_128};
        pixel.span(EFFECT_BLEND, s.d.data(), kPixels, walk);
    } else if (family == "crossfade") {
        pixel.crossFade(s.d.data(), s.a.data(), s.b.data(), 100, kPixels);
    } else if (family == "convert") {
        convert.convert32To565(s.a.data(), s.words2.data(), kPixels);
        convert.convert32To555(s.a.data(), s.words2.data(), kPixels);
        convert.convert565To32(s.words.data(), s.d.data(), kPixels);
        convert.convert565To555(s.words.data(), s.words2.data(), kPixels);
    } else {
        return false;
    }
    return true;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 3) {
        std::fprintf(stderr, "usage: orchid-kernel-run idct|color|pack|rows|span|crossfade|convert ROUNDS\n");
        return 2;
    }
    Data data;
    const int rounds = std::atoi(argv[2]);
    for (int r = 0; r < rounds; ++r) {
        if (!Run(argv[1], data)) {
            std::fprintf(stderr, "orchid-kernel-run: no family %s\n", argv[1]);
            return 2;
        }
    }
    // What the kernels wrote, so that none of it is left out.
    uint32_t sum = 0;
    for (uint8_t v : data.samples) sum = sum * 31 + v;
    for (uint8_t v : data.rgb) sum = sum * 31 + v;
    for (uint32_t v : data.d) sum = sum * 31 + v;
    for (uint16_t v : data.words2) sum = sum * 31 + v;
    std::printf("%s %s %d rounds: %08x\n", simd::Name(simd::Active()), argv[1], rounds, sum);
    return 0;
}
