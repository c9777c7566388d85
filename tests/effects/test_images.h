// Images and the drawing rules, written out independently of the library,
// for the effects tests.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <random>

#include "pixmap/pixmap.h"

namespace test_images {

inline void Random(Pixmap& image, std::mt19937& rng)
{
    for (int i = 0; i < image.numBytes; ++i) image.pixChar[i] = static_cast<uint8_t>(rng());
}

// Mask bytes drawn mostly from the interesting values around the tests.
inline void RandomMask(Pixmap& mask, std::mt19937& rng)
{
    static const uint8_t kValues[] = {0, 1, 127, 128, 129, 255};
    for (int i = 0; i < mask.numBytes; ++i) {
        mask.pixChar[i] = (rng() & 1) ? kValues[rng() % 6] : static_cast<uint8_t>(rng());
    }
}

inline uint32_t Channel(uint32_t p, int k) { return (p >> (8 * k)) & 0xFF; }

// Per channel floor(s / 2) + floor(d / 2) with the top byte dropped.
inline uint32_t RefBlend(uint32_t s, uint32_t d)
{
    uint32_t out = 0;
    for (int k = 0; k < 3; ++k) out |= (Channel(s, k) / 2 + Channel(d, k) / 2) << (8 * k);
    return out;
}

inline uint32_t RefAdd(uint32_t s, uint32_t d)
{
    uint32_t out = 0;
    for (int k = 0; k < 4; ++k) {
        uint32_t sum = Channel(s, k) + Channel(d, k);
        out |= (sum > 255 ? 255 : sum) << (8 * k);
    }
    return out;
}

// Mode 0..5 with the mask byte and its test (nonzero when `nonzero`).
inline uint32_t RefMode(int mode, uint32_t s, uint32_t d, uint8_t m, bool nonzero)
{
    bool selected = nonzero ? m != 0 : m > 128;
    switch (mode) {
    case 0: return s;
    case 1: return RefBlend(s, d);
    case 2: return selected ? s : d;
    case 3: return selected ? RefBlend(s, d) : d;
    case 4: return RefAdd(s, d);
    case 5: return selected ? RefAdd(s, d) : d;
    default: return d;
    }
}

inline bool SamePixels(const Pixmap& a, const Pixmap& b)
{
    return a.numBytes == b.numBytes && std::memcmp(a.pixChar, b.pixChar, a.numBytes) == 0;
}

inline void CopyPixels(Pixmap& to, const Pixmap& from)
{
    std::memcpy(to.pixChar, from.pixChar, std::min(to.numBytes, from.numBytes));
}

}  // namespace test_images
