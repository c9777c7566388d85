// The orchid: one moth-orchid silhouette (a dorsal sepal, two broad petals,
// two lateral sepals, the lip and the column) painted in a chosen colouring.
// Every flower of the show is this shape.
#pragma once

#include "canvas.h"

namespace gen {

struct OrchidStyle {
    Rgb petalBase, petalTip;   // petals, from the centre out
    Rgb sepalBase, sepalTip;   // sepals
    Rgb vein;                  // colour of the fine veins
    float veins = 0.15f;       // how strongly veins show
    Rgb blush;                 // flush around the centre
    float blushAmount = 0.4f;
    Rgb lip, lipTip, throat;   // lip and its yellow throat
    Rgb spot;                  // spots on petals and sepals
    float spots = 0;           // 0: none
    Rgb column = Hex(0xFFF6E8);
    float rim = 0.25f;         // darkening toward the outline
};

// The six colourings of the falling flowers, then a few more for scenery.
OrchidStyle FlowerStyle(int index);

// Whether a point (in flower units, radius about 1, y down) lies inside the
// silhouette.
bool OrchidInside(float x, float y);

// Paints the orchid centred at (cx, cy) with the given radius and rotation
// (radians), 3x3 supersampled. If cov is given, the flower's coverage is
// added to it. Opacity scales the paint.
void PaintOrchid(Image& img, Coverage* cov, float cx, float cy, float radius, float angle, const OrchidStyle& style,
                 float opacity = 1.0f);

// A closed bud: a small teardrop in the sepal colour.
void PaintBud(Image& img, Coverage* cov, float cx, float cy, float radius, float angle, const OrchidStyle& style);

}  // namespace gen
