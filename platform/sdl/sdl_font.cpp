#include "platform/sdl/sdl_font.h"

#include <SDL_ttf.h>

#include <cstring>

namespace platform::sdl {

namespace {

// 5 x 9 cells: capitals and digits on rows 0-6, descenders down to row 8.
struct Glyph {
    char code;
    const char* rows[9];
};
constexpr Glyph kGlyphs[] = {
    {'1', {"..#..", ".##..", "..#..", "..#..", "..#..", "..#..", ".###.", ".....", "....."}},
    {'2', {".###.", "#...#", "....#", "...#.", "..#..", ".#...", "#####", ".....", "....."}},
    {'3', {"####.", "....#", "....#", ".###.", "....#", "....#", "####.", ".....", "....."}},
    {'4', {"...#.", "..##.", ".#.#.", "#..#.", "#####", "...#.", "...#.", ".....", "....."}},
    {'6', {"..##.", ".#...", "#....", "####.", "#...#", "#...#", ".###.", ".....", "....."}},
    {'b', {"#....", "#....", "####.", "#...#", "#...#", "#...#", "####.", ".....", "....."}},
    {'p', {".....", ".....", "####.", "#...#", "#...#", "#...#", "####.", "#....", "#...."}},
    {'W', {"#...#", "#...#", "#...#", "#.#.#", "#.#.#", "##.##", "#...#", ".....", "....."}},
    {'i', {"..#..", ".....", ".##..", "..#..", "..#..", "..#..", ".###.", ".....", "....."}},
    {'n', {".....", ".....", "####.", "#...#", "#...#", "#...#", "#...#", ".....", "....."}},
    {'d', {"....#", "....#", ".####", "#...#", "#...#", "#...#", ".####", ".....", "....."}},
    {'o', {".....", ".....", ".###.", "#...#", "#...#", "#...#", ".###.", ".....", "....."}},
    {'w', {".....", ".....", "#...#", "#...#", "#.#.#", "#.#.#", ".#.#.", ".....", "....."}},
    {'e', {".....", ".....", ".###.", "#...#", "#####", "#....", ".###.", ".....", "....."}},
    {'Q', {".###.", "#...#", "#...#", "#...#", "#.#.#", "#..#.", ".##.#", ".....", "....."}},
    {'u', {".....", ".....", "#...#", "#...#", "#...#", "#..##", ".##.#", ".....", "....."}},
    {'t', {".#...", ".#...", "###..", ".#...", ".#...", ".#..#", "..##.", ".....", "....."}},
    {'O', {".###.", "#...#", "#...#", "#...#", "#...#", "#...#", ".###.", ".....", "....."}},
    {'r', {".....", ".....", "#.##.", "##..#", "#....", "#....", "#....", ".....", "....."}},
    {'c', {".....", ".....", ".###.", "#....", "#....", "#...#", ".###.", ".....", "....."}},
    {'h', {"#....", "#....", "#.##.", "##..#", "#...#", "#...#", "#...#", ".....", "....."}},
    {'0', {".###.", "#...#", "#..##", "#.#.#", "##..#", "#...#", ".###.", ".....", "....."}},
    {'5', {"#####", "#....", "####.", "....#", "....#", "#...#", ".###.", ".....", "....."}},
    {'7', {"#####", "....#", "...#.", "..#..", ".#...", ".#...", ".#...", ".....", "....."}},
    {'8', {".###.", "#...#", "#...#", ".###.", "#...#", "#...#", ".###.", ".....", "....."}},
    {'9', {".###.", "#...#", "#...#", ".####", "....#", "...#.", ".##..", ".....", "....."}},
    {'C', {".###.", "#...#", "#....", "#....", "#....", "#...#", ".###.", ".....", "....."}},
    {'E', {"#####", "#....", "#....", "####.", "#....", "#....", "#####", ".....", "....."}},
    {'F', {"#####", "#....", "#....", "####.", "#....", "#....", "#....", ".....", "....."}},
    {'N', {"#...#", "##..#", "#.#.#", "#..##", "#...#", "#...#", "#...#", ".....", "....."}},
    {'P', {"####.", "#...#", "#...#", "####.", "#....", "#....", "#....", ".....", "....."}},
    {'R', {"####.", "#...#", "#...#", "####.", "#.#..", "#..#.", "#...#", ".....", "....."}},
    {'S', {".####", "#....", "#....", ".###.", "....#", "....#", "####.", ".....", "....."}},
    {'Y', {"#...#", "#...#", ".#.#.", "..#..", "..#..", "..#..", "..#..", ".....", "....."}},
    {'=', {".....", ".....", "#####", ".....", "#####", ".....", ".....", ".....", "....."}},
    {'M', {"#...#", "##.##", "#.#.#", "#.#.#", "#...#", "#...#", "#...#", ".....", "....."}},
    {'.', {".....", ".....", ".....", ".....", ".....", ".##..", ".##..", ".....", "....."}},
    {'/', {"....#", "....#", "...#.", "..#..", ".#...", "#....", "#....", ".....", "....."}},
};
constexpr int kGlyphWidth = 5;
constexpr int kGlyphHeight = 9;
constexpr int kAdvance = 6;

}  // namespace

int TextWidth(const char* text, int scale)
{
    int n = static_cast<int>(std::strlen(text));
    return n > 0 ? (n * kAdvance - 1) * scale : 0;
}

void DrawText(SDL_Renderer* renderer, const char* text, int x, int y, int scale)
{
    for (const char* c = text; *c != '\0'; ++c, x += kAdvance * scale) {
        for (const Glyph& g : kGlyphs) {
            if (g.code != *c) continue;
            for (int row = 0; row < kGlyphHeight; ++row) {
                for (int col = 0; col < kGlyphWidth; ++col) {
                    if (g.rows[row][col] != '#') continue;
                    SDL_Rect dot = {x + col * scale, y + row * scale, scale, scale};
                    SDL_RenderFillRect(renderer, &dot);
                }
            }
        }
    }
}

TextFont::TextFont(const char* path, int points, int dpi)
{
    // The bitmap font's capitals are 7 dots high, DejaVu Sans's about 0.73
    // of the em: a dot per tenth of the em (points * dpi / 72 pixels),
    // rounded, keeps the text about as large.
    bitmapScale = (points * dpi + 360) / 720 > 1 ? (points * dpi + 360) / 720 : 1;
    ttfStarted = TTF_Init() == 0;
    if (!ttfStarted) return;
    unsigned int d = static_cast<unsigned int>(dpi);
    font = TTF_OpenFontDPI(path, points, d, d);
    if (font != nullptr) TTF_SetFontHinting(font, TTF_HINTING_LIGHT);
}

TextFont::~TextFont()
{
    if (font != nullptr) TTF_CloseFont(font);
    if (ttfStarted) TTF_Quit();
}

int TextFont::Width(const char* text) const
{
    if (font == nullptr) return TextWidth(text, bitmapScale);
    int w = 0, h = 0;
    return TTF_SizeUTF8(font, text, &w, &h) == 0 ? w : 0;
}

int TextFont::Height() const { return font != nullptr ? TTF_FontHeight(font) : 7 * bitmapScale; }

void TextFont::Draw(SDL_Renderer* renderer, const char* text, int x, int y, SDL_Color colour) const
{
    if (font == nullptr) {
        SDL_SetRenderDrawColor(renderer, colour.r, colour.g, colour.b, colour.a);
        DrawText(renderer, text, x, y, bitmapScale);
        return;
    }
    SDL_Surface* glyphs = TTF_RenderUTF8_Blended(font, text, colour);
    if (glyphs == nullptr) return;
    SDL_Texture* texture = SDL_CreateTextureFromSurface(renderer, glyphs);
    if (texture != nullptr) {
        SDL_SetTextureBlendMode(texture, SDL_BLENDMODE_BLEND);
        SDL_Rect where = {x, y, glyphs->w, glyphs->h};
        SDL_RenderCopy(renderer, texture, nullptr, &where);
        SDL_DestroyTexture(texture);
    }
    SDL_FreeSurface(glyphs);
}

}  // namespace platform::sdl
