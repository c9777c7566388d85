// The scene drawing routines: textured quadrilaterals laid out from a
// centre, a size and an angle and drawn through the polygon renderer's shared
// polygon, and the scan lines, light bars and screen panel. All draw into the
// effects target and use the effects colour where they need one.
#pragma once

class Pixmap;

// Quad of w x h around (x, y) turned by angle (radians), the whole texture.
void DrawQuad(double x, double y, double w, double h, double angle, int mode, Pixmap* texture, Pixmap* mask);
void DrawQuadNoMask(double x, double y, double w, double h, double angle, int mode, Pixmap* texture);
// As DrawQuad with the texture window (4, 8) .. (tw - 5, th - 9).
void DrawQuadInset(double x, double y, double w, double h, double angle, int mode, Pixmap* texture,
                   Pixmap* mask);
// A size x size quad drawn with the effects colour set to 0.
void DrawSpinQuad(double x, double y, double size, double angle, int mode, Pixmap* texture, Pixmap* mask);
// The texture on the fixed, slanted panel (388, 39) (578, 15) (578, 188)
// (388, 163), copied.
void DrawScreenPanel(Pixmap* texture);
// Every even row of the target, every byte, to the colour's low byte.
void DrawScanlines();
// Columns x .. x + width - 1 of every row get the colour added (saturating
// per byte) where the target-sized mask is above 128.
void DrawLightBar(int x, int width, Pixmap* mask);
