// libFuzzer target: the JPEG decoder over arbitrary bytes from memory, through
// its whole calling order. Any crash, hang, out-of-bounds access or undefined
// behaviour is a fault; decoding errors are ordinary results.
//
// Pictures of every size up to the decoder's 8192 x 8192 limit are decoded:
// every scan of a progressive file, whose cost follows the input. Making the
// lines costs what the picture's size says, which under the sanitizers is
// seconds at the limit, so lines are handed out up to 2^21 pixels a picture:
// every line of a picture up to 256 pixels wide, the first 256 of the widest.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "jpeg/jpeg_decoder.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    jpeg_decoder_memory_stream stream(data, size);
    jpeg_decoder decoder(&stream);
    if (decoder.error_code() != 0 || decoder.begin() != 0) return 0;
    // Bands of 8 lines into a buffer just large enough for them: packed to
    // 3 bytes a colour pixel when the input's last byte is odd, else as the
    // decoder makes them.
    constexpr int kBand = 8;
    constexpr long kMaxPixels = 1L << 21;
    bool packed = (data[size - 1] & 1) != 0;
    int width = decoder.image_width();
    std::size_t line = static_cast<std::size_t>(width) *
                       (packed && decoder.component_count() == 3 ? 3 : decoder.pixel_bytes());
    std::vector<uint8_t> band(line * kBand);
    for (long pixels = 0; pixels < kMaxPixels; pixels += static_cast<long>(width) * kBand) {
        if (decoder.decode_rows(band.data(), static_cast<std::ptrdiff_t>(line), kBand, packed) <= 0) break;
    }
    return 0;
}
