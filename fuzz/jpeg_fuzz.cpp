// libFuzzer target: the JPEG decoder over arbitrary bytes from memory, through
// its whole calling order. Any crash, hang, out-of-bounds access or undefined
// behaviour is a fault; decoding errors are ordinary results.
#include <cstddef>
#include <cstdint>

#include "jpeg/jpeg_decoder.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    jpeg_decoder_memory_stream stream(data, size);
    jpeg_decoder decoder(&stream);
    if (decoder.error_code() != 0) return 0;
    // Headers of any size are parsed, but only pictures up to 65536 pixels
    // are decoded, so that each run stays short (the largest pictures have
    // tests of their own).
    if (static_cast<long>(decoder.image_width()) * decoder.image_height() > (1L << 16)) return 0;
    if (decoder.begin() != 0) return 0;
    unsigned int sum = 0;
    for (;;) {
        void* line;
        unsigned int len;
        if (decoder.decode(&line, &len) != 0) break;
        const uint8_t* p = static_cast<const uint8_t*>(line);
        for (unsigned int i = 0; i < len; i += 61) sum += p[i];
        if (len > 0) sum += p[len - 1];
    }
    return static_cast<int>(sum & 0);
}
