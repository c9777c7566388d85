// orchid-jpeg INPUT OUTPUT: decodes INPUT with Orchid's JPEG decoder and
// writes binary PPM (colour; the fourth byte of each pixel is dropped) or PGM
// (greyscale). OUTPUT "-" is standard output.
//
// Exit status: 0 done; 1 the decoder failed ("error -NNN description" on
// standard error, nothing written); 2 bad usage or unreadable INPUT.
#include <cstdio>
#include <cstring>
#include <vector>

#include "jpeg/jpeg_decoder.h"

namespace {

int Fail(int code)
{
    std::fprintf(stderr, "error %d %s\n", code, jpeg_error_text(code));
    return 1;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 3) {
        std::fprintf(stderr, "usage: orchid-jpeg INPUT OUTPUT\n");
        return 2;
    }
    jpeg_decoder_stdio_stream stream;
    if (!stream.open(argv[1])) {
        std::fprintf(stderr, "orchid-jpeg: cannot read %s\n", argv[1]);
        return 2;
    }

    std::vector<unsigned char> image;
    bool grey;
    int width, height;
    {
        jpeg_decoder decoder(&stream);
        if (decoder.error_code() != 0) return Fail(decoder.error_code());
        if (decoder.begin() != 0) return Fail(decoder.error_code());
        width = decoder.image_width();
        height = decoder.image_height();
        grey = decoder.component_count() == 1;
        int out_bytes = grey ? 1 : 3;
        image.resize(static_cast<std::size_t>(width) * height * out_bytes);
        unsigned char* dst = image.data();
        for (int y = 0;; ++y) {
            void* line = nullptr;
            unsigned int len = 0;
            int status = decoder.decode(&line, &len);
            if (status == 1) break;
            if (status != 0) return Fail(decoder.error_code() != 0 ? decoder.error_code() : status);
            if (y >= height) continue;
            const unsigned char* src = static_cast<const unsigned char*>(line);
            if (grey) {
                std::memcpy(dst, src, static_cast<std::size_t>(width));
                dst += width;
            } else {
                for (int x = 0; x < width; ++x, dst += 3) {
                    dst[0] = src[4 * x];
                    dst[1] = src[4 * x + 1];
                    dst[2] = src[4 * x + 2];
                }
            }
        }
        if (decoder.error_code() != 0) return Fail(decoder.error_code());
        if (decoder.data_ended_early()) {
            std::fprintf(stderr, "orchid-jpeg: warning: entropy-coded data ends early; the blocks past its end are left as"
                                 " earlier scans made them (mid-grey in a first scan)\n");
        }
    }

    bool to_stdout = std::strcmp(argv[2], "-") == 0;
    std::FILE* out = to_stdout ? stdout : std::fopen(argv[2], "wb");
    if (out == nullptr) {
        std::fprintf(stderr, "orchid-jpeg: cannot write %s\n", argv[2]);
        return 2;
    }
    std::fprintf(out, "%s\n%d %d\n255\n", grey ? "P5" : "P6", width, height);
    bool ok = std::fwrite(image.data(), 1, image.size(), out) == image.size();
    ok = (to_stdout ? std::fflush(out) : std::fclose(out)) == 0 && ok;
    if (!ok) {
        std::fprintf(stderr, "orchid-jpeg: cannot write %s\n", argv[2]);
        return 2;
    }
    return 0;
}
