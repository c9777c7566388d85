// What the SDL windows and the SDL mode dialog both need.
#pragma once

#include <SDL.h>

#include "platform/resources.h"

namespace platform::sdl {

// A bitmap resource (BMP) as an SDL surface, or null.
inline SDL_Surface* LoadBitmapResource(int id)
{
    ResourceBlock block = FindResource(MakeIntResource(id));
    if (block.data == nullptr || block.size == 0) return nullptr;
    return SDL_LoadBMP_RW(SDL_RWFromConstMem(block.data, static_cast<int>(block.size)), 1);
}

// A renderer with these flags, or failing that a software one; null when
// neither can be made.
inline SDL_Renderer* MakeRenderer(SDL_Window* window, Uint32 flags)
{
    SDL_Renderer* renderer = SDL_CreateRenderer(window, -1, flags);
    if (renderer == nullptr) renderer = SDL_CreateRenderer(window, -1, SDL_RENDERER_SOFTWARE);
    return renderer;
}

}  // namespace platform::sdl
