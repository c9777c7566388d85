// Two full-size pictures blended into the effects target, A weighted by the
// level and B by 255 - level, per byte (a * L + b * (255 - L)) >> 8.
#pragma once

#include <cstdint>

class Pixmap;

class CrossFade {
public:
    CrossFade();
    ~CrossFade();
    CrossFade(const CrossFade&) = delete;
    CrossFade& operator=(const CrossFade&) = delete;

    // Stores the pair and the level, clamped to 0..255.
    void Set(int level, Pixmap* imageA, Pixmap* imageB);
    // Moves the level by delta, clamped to 0..255.
    void Add(int delta);
    // The blend into the effects target. Draws nothing unless both images
    // are set and cover the target (B may be the target itself).
    void Draw();

    Pixmap* imageA;
    Pixmap* imageB;
    int32_t level;
};
