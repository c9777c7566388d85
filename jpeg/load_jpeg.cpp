// Pixmap::LoadJpeg: decodes a JPEG resource with jpeg_decoder and stores it
// at the depth asked for.
#include <cstring>

#include "error/memory.h"
#include "error/report.h"
#include "jpeg/jpeg_decoder.h"
#include "jpeg/jpeg_kernels.h"
#include "pixmap/pixmap.h"

ORCHID_REPORT_MODULE("pixmap/pixmap");

namespace {

// The working objects of one load; whatever is still held is released when
// the load ends, by success, report or exception.
struct JpegLoad {
    jpeg_decoder_file_stream* stream = nullptr;
    jpeg_decoder* decoder = nullptr;
    uint8_t* buffer32 = nullptr;
    uint8_t* pbuf = nullptr;

    void CloseDecoder()
    {
        orchid::MemDelete(decoder);
        decoder = nullptr;
        orchid::MemDelete(stream);
        stream = nullptr;
    }
    ~JpegLoad()
    {
        orchid::MemFree(pbuf);
        orchid::MemFree(buffer32);
        CloseDecoder();
    }
};

}  // namespace

int Pixmap::LoadJpeg(const char* resname, int depth)
{
    if (!CheckEmpty()) return 0;
    if (resname == nullptr) {
        REPORT(ERR_PIXMAP, "'char *resname' was null.\n");
        return 0;
    }

    JpegLoad load;
    load.stream = orchid::MemNew<jpeg_decoder_file_stream>();
    if (load.stream == nullptr) {
        REPORT(ERR_PIXMAP, "'Pjpeg_decoder_file_stream\nPinput_stream' was null.\n");
        return 0;
    }
    load.stream->open(resname);

    load.decoder = orchid::MemNew<jpeg_decoder>(load.stream);
    if (load.decoder == nullptr) {
        load.CloseDecoder();
        REPORT(ERR_PIXMAP, "'Pjpeg_decoder Pd' was null.\n");
        return 0;
    }
    if (load.decoder->error_code() != 0) {
        load.CloseDecoder();
        REPORT(ERR_PIXMAP, "Jpeg decoder failed: init\n");
        return 0;
    }
    if (load.decoder->begin() != 0) {
        load.CloseDecoder();
        REPORT(ERR_PIXMAP, "Jpeg decoder failed: begin\n");
        return 0;
    }

    int w = load.decoder->image_width();
    int h = load.decoder->image_height();
    if (!SetUp(w, h, depth)) return 0;

    load.buffer32 = static_cast<uint8_t*>(orchid::MemAlloc(static_cast<std::size_t>(numPixels) * 3));
    if (load.buffer32 == nullptr) {
        int size = numPixels * 3;
        Release();
        REPORT(ERR_OUT_OF_MEMORY, "buffer32\n", size);
        return 0;
    }

    if (load.decoder->component_count() != 3) {
        Release();
        REPORT(ERR_PIXMAP, "'UCHAR *Pbuf' was null.\n");
        return 0;
    }
    load.pbuf = static_cast<uint8_t*>(orchid::MemAlloc(static_cast<std::size_t>(w) * 3));
    if (load.pbuf == nullptr) {
        load.CloseDecoder();
        Release();
        REPORT(ERR_OUT_OF_MEMORY, "Pbuf\n", w * 3);
        return 0;
    }

    const jpeg_kernels::Kernels& kernels = jpeg_kernels::Active();
    uint8_t* dst = load.buffer32;
    uint8_t* end = load.buffer32 + static_cast<std::size_t>(numPixels) * 3;
    int status;
    for (;;) {
        void* line = nullptr;
        unsigned int len = 0;
        status = load.decoder->decode(&line, &len);
        if (status != 0) break;
        if (dst == end) continue;
        kernels.packTriplets(static_cast<const uint8_t*>(line), load.pbuf, w);
        std::memcpy(dst, load.pbuf, static_cast<std::size_t>(w) * 3);
        dst += static_cast<std::size_t>(w) * 3;
    }
    orchid::MemFree(load.pbuf);
    load.pbuf = nullptr;
    if (load.decoder->error_code() != 0 || status < 0) {
        load.CloseDecoder();
        Release();
        REPORT(ERR_UNKNOWN, "Jpeg decoder failed: end\n");
        return 0;
    }
    load.CloseDecoder();

    const uint8_t* rgb = load.buffer32;
    switch (depth) {
    case 32: kernels.tripletsToWords(rgb, pixInt, numPixels); break;
    case 24:
        for (int i = 0; i < numPixels; ++i, rgb += 3) {
            pixChar[3 * i + 0] = rgb[2];
            pixChar[3 * i + 1] = rgb[1];
            pixChar[3 * i + 2] = rgb[0];
        }
        break;
    case 16:
        for (int i = 0; i < numPixels; ++i, rgb += 3) {
            pixShort[i] = static_cast<uint16_t>(((rgb[0] >> 3) << 11) | ((rgb[1] >> 2) << 5) | (rgb[2] >> 3));
        }
        break;
    default:
        // No conversion to 8 bits exists: such an image stays black.
        break;
    }
    initialized = 1;
    return 1;
}
