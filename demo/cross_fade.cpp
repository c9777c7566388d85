#include "demo/cross_fade.h"

#include <algorithm>

#include "effects/effects.h"
#include "effects/image_checks.h"
#include "effects/pixel_ops.h"
#include "pixmap/pixmap.h"

namespace {
int32_t ClampLevel(int64_t level) { return static_cast<int32_t>(std::clamp<int64_t>(level, 0, 255)); }

// An image the fade can read a target-sized window from, row by row.
bool Covers(const Pixmap* image, const Pixmap* target)
{
    return orchid::Holds32(image) && image->width >= target->width && image->height >= target->height;
}
}  // namespace

CrossFade::CrossFade() : imageA(nullptr), imageB(nullptr), level(0) {}

CrossFade::~CrossFade()
{
    imageA = nullptr;
    imageB = nullptr;
}

void CrossFade::Set(int newLevel, Pixmap* a, Pixmap* b)
{
    level = ClampLevel(newLevel);
    imageA = a;
    imageB = b;
}

void CrossFade::Add(int delta) { level = ClampLevel(int64_t{level} + delta); }

void CrossFade::Draw()
{
    Pixmap* target = effects.buffer;
    // A pair never set (the show can resume into a fade after a pause), or
    // an image smaller than the target, draws nothing.
    if (!orchid::Holds32(target) || !Covers(imageA, target) || !Covers(imageB, target)) return;
    const auto& ops = orchid::pixel::Active();
    const int64_t w = target->width;
    for (int64_t r = 0; r < target->height; ++r) {
        ops.crossFade(target->pixInt + r * w, imageA->pixInt + r * imageA->width, imageB->pixInt + r * imageB->width,
                      level, static_cast<std::size_t>(w));
    }
}
