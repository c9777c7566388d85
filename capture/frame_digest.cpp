#include "capture/frame_digest.h"

#include <cstddef>
#include <cstdio>

#if defined(ORCHID_XXHASH_X86_DISPATCH)
// The library picks the widest vector unit this processor has; the hash is
// the same with every one.
#include <xxh_x86dispatch.h>
#endif

namespace capture {

namespace {

std::size_t RowBytes(const platform::FrameView& frame)
{
    return static_cast<std::size_t>(frame.width) * static_cast<std::size_t>((frame.bpp + 7) / 8);
}

}  // namespace

void FrameDigest::Reset()
{
    XXH3_64bits_reset(&state);
    frames = 0;
}

void FrameDigest::Add(const platform::FrameView& frame)
{
    const std::size_t row = RowBytes(frame);
    for (int y = 0; y < frame.height; ++y)
        XXH3_64bits_update(&state, frame.pixels + static_cast<std::ptrdiff_t>(y) * frame.pitch, row);
    ++frames;
}

uint64_t FrameDigest::Value() const { return XXH3_64bits_digest(&state); }

uint64_t HashFrame(const platform::FrameView& frame)
{
    FrameDigest digest;
    digest.Add(frame);
    return digest.Value();
}

void FormatDigest(uint64_t value, char* text)
{
    std::snprintf(text, 17, "%016llx", static_cast<unsigned long long>(value));
}

}  // namespace capture
