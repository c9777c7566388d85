// The frames digest: XXH3-64 (seed 0) streamed over the pixels of frame
// after frame. Over the show's 32-bit frame image at every present, it
// stands for everything the show rendered: two builds with the same digest
// rendered identical frames, byte for byte.
#pragma once

#include <cstdint>

// The state's layout, so that a digest needs no allocation.
#define XXH_STATIC_LINKING_ONLY
#include <xxhash.h>

#include "platform/frame_sink.h"

namespace capture {

// Of each frame, the pixel bytes of every row (width x bytes per pixel, the
// pitch's padding left out), top row first: a 640 x 480 32-bit frame adds
// 1,228,800 bytes, whatever its pitch.
class FrameDigest {
public:
    FrameDigest() { Reset(); }

    void Reset();
    void Add(const platform::FrameView& frame);
    // The digest of every frame added since the last Reset.
    uint64_t Value() const;

    long frames = 0;

private:
    XXH3_state_t state;
};

// XXH3-64 (seed 0) of one frame alone, of the same bytes Add takes.
uint64_t HashFrame(const platform::FrameView& frame);

// Writes the value as 16 lower-case hexadecimal digits and a terminating
// NUL (17 bytes).
void FormatDigest(uint64_t value, char* text);

}  // namespace capture
