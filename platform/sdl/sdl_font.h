// The fonts the SDL windows write with. A small bitmap font of its own, for
// the F1 overlay: it knows the digits and the letters the overlay and the
// mode dialog use; other characters leave a blank cell. And the mode
// dialog's anti-aliased font, DejaVu Sans through SDL2_ttf, which falls back
// to the bitmap font when the font file cannot be opened.
#pragma once

#include <SDL.h>

typedef struct _TTF_Font TTF_Font;

namespace platform::sdl {

// The width in pixels of `text` at `scale` pixels per font dot.
int TextWidth(const char* text, int scale);
// Draws `text` in the renderer's current colour, its top left at x, y.
void DrawText(SDL_Renderer* renderer, const char* text, int x, int y, int scale);

// Debian's DejaVu Sans (fonts-dejavu-core).
inline constexpr const char kDejaVuSans[] = "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf";

// A font for one size of text: the TrueType file at `points` on a screen of
// `dpi` dots per inch, or, when the file cannot be opened, the bitmap font
// at the whole scale nearest that size.
class TextFont {
public:
    TextFont(const char* path, int points, int dpi);
    ~TextFont();
    TextFont(const TextFont&) = delete;
    TextFont& operator=(const TextFont&) = delete;

    // True when the TrueType font is in use.
    bool Smooth() const { return font != nullptr; }
    // The size of `text` in pixels: its advance and the font's line height.
    int Width(const char* text) const;
    int Height() const;
    // Draws `text` in `colour`, its line's top left at x, y, blended over
    // what is there.
    void Draw(SDL_Renderer* renderer, const char* text, int x, int y, SDL_Color colour) const;

private:
    TTF_Font* font = nullptr;
    bool ttfStarted = false;
    int bitmapScale = 1;
};

}  // namespace platform::sdl
