// The checks that keep every drawing operation inside its images: a Pixmap
// is used as 32-bit pixels only when its buffer holds width x height words,
// and as a mask only when it holds a byte for every pixel it goes with.
#pragma once

#include <cstdint>

#include "pixmap/pixmap.h"

namespace orchid {

inline bool Holds32(const Pixmap* image)
{
    return image != nullptr && image->pixInt != nullptr && image->width > 0 && image->height > 0 &&
           int64_t{image->width} * image->height * 4 <= image->numBytes;
}

inline int64_t Pixels(const Pixmap* image) { return int64_t{image->width} * image->height; }

inline bool Holds8(const Pixmap* mask, int64_t pixels)
{
    return mask != nullptr && mask->pixChar != nullptr && pixels <= mask->numBytes;
}

}  // namespace orchid
