// Whole-image pixel operations. Every drawing operation writes into one
// 32-bit target image chosen with SetBuffer (normally the frame image), in
// one of the six drawing modes shared with the polygon renderer.
//
// Any Pixmap handed in that cannot hold what the operation would touch (null,
// not set up, too small, wrong depth) makes the operation draw nothing:
// nothing is ever read or written outside an image.
#pragma once

#include <cstdint>

class Pixmap;

// Drawing modes. With s the source pixel and d the target pixel:
enum EffectMode : int {
    EFFECT_COPY = 0,        // d = s
    EFFECT_BLEND = 1,       // d = ((s & 0xFEFEFE) + (d & 0xFEFEFE)) >> 1
    EFFECT_MASK_COPY = 2,   // copy where the mask selects
    EFFECT_MASK_BLEND = 3,  // blend where the mask selects
    EFFECT_ADD = 4,         // per-byte saturating add, top byte included
    EFFECT_MASK_ADD = 5,    // add where the mask selects
};

class Effects {
public:
    Effects();

    // 1, with `buffer` as the new target; a null buffer is reported and the
    // target is kept.
    int SetBuffer(Pixmap* buffer);
    void SetColour(uint32_t colour);

    // The whole target with the colour (modes 0, 1, 4).
    void Fill(int mode);
    // A target-sized source, pixel by pixel; mask (> 128) only in 2, 3, 5.
    void Combine(int mode, Pixmap* source, Pixmap* mask);
    // Sprite's top-left at (x, y), clipped on every side; mask > 128.
    void DrawSprite(int x, int y, int mode, Pixmap* sprite, Pixmap* mask);
    // The target covered with a square power-of-two texture, repeated and
    // shifted by the offsets; mask nonzero.
    void DrawTiled(int xoffset, int yoffset, int mode, Pixmap* texture, Pixmap* mask);
    // The target-sized window at (x, y), clamped into the source.
    void CopyWindow(int x, int y, Pixmap* source);
    // Outermost rows and columns of the target to 0.
    void ClearBorder();
    // In-place four-neighbour blur of a 640-pixel-wide image, at least 480
    // rows; other images are left alone.
    void Blur(Pixmap* image);

    uint32_t colour;
    Pixmap* buffer;
};

extern Effects effects;
