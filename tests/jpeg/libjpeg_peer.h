// libjpeg-turbo as a peer for tests and benchmarks: encodes generated
// pictures in any layout and decodes them with the integer transform and
// plain (replicating) upsampling.
#pragma once

#include <cstdio>
#include <jpeglib.h>

#include <cstdint>
#include <vector>

namespace jpeg_peer {

struct EncodeOptions {
    int quality = 90;
    int hsamp = 1, vsamp = 1;  // luma factors; chroma is 1 x 1
    bool grey = false;
    bool progressive = false;
    int restartInterval = 0;   // in MCUs
};

// A picture with smooth gradients, edges and noise, RGB or grey.
inline std::vector<uint8_t> TestPicture(int w, int h, int channels, uint32_t seed)
{
    std::vector<uint8_t> px(static_cast<size_t>(w) * h * channels);
    uint32_t s = seed * 2654435761u + 1;
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            for (int c = 0; c < channels; ++c) {
                s = s * 1103515245u + 12345u;
                int noise = static_cast<int>((s >> 16) & 31) - 16;
                int v = ((x * (3 + c) + y * (5 - c)) * 255) / (w + h + 1) + noise;
                if (((x / 5) + (y / 7)) % 4 == c) v = 255 - v;
                px[(static_cast<size_t>(y) * w + x) * channels + c] = static_cast<uint8_t>(v < 0 ? 0 : v > 255 ? 255 : v);
            }
        }
    }
    return px;
}

inline std::vector<uint8_t> Encode(const std::vector<uint8_t>& px, int w, int h, const EncodeOptions& o)
{
    jpeg_compress_struct cinfo;
    jpeg_error_mgr jerr;
    cinfo.err = jpeg_std_error(&jerr);
    jpeg_create_compress(&cinfo);
    unsigned char* mem = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&cinfo, &mem, &size);
    cinfo.image_width = static_cast<JDIMENSION>(w);
    cinfo.image_height = static_cast<JDIMENSION>(h);
    cinfo.input_components = o.grey ? 1 : 3;
    cinfo.in_color_space = o.grey ? JCS_GRAYSCALE : JCS_RGB;
    jpeg_set_defaults(&cinfo);
    jpeg_set_quality(&cinfo, o.quality, TRUE);
    cinfo.dct_method = JDCT_ISLOW;
    if (!o.grey) {
        cinfo.comp_info[0].h_samp_factor = o.hsamp;
        cinfo.comp_info[0].v_samp_factor = o.vsamp;
        for (int c = 1; c < 3; ++c) cinfo.comp_info[c].h_samp_factor = cinfo.comp_info[c].v_samp_factor = 1;
    }
    if (o.progressive) jpeg_simple_progression(&cinfo);
    cinfo.restart_interval = static_cast<unsigned int>(o.restartInterval);
    jpeg_start_compress(&cinfo, TRUE);
    int stride = w * cinfo.input_components;
    while (cinfo.next_scanline < cinfo.image_height) {
        JSAMPROW row = const_cast<JSAMPROW>(px.data() + static_cast<size_t>(cinfo.next_scanline) * stride);
        jpeg_write_scanlines(&cinfo, &row, 1);
    }
    jpeg_finish_compress(&cinfo);
    jpeg_destroy_compress(&cinfo);
    std::vector<uint8_t> out(mem, mem + size);
    std::free(mem);
    return out;
}

// Decodes to `components` bytes per pixel: 1 (grey), 3 (RGB) or 4 (RGBX),
// into `out` when given (large enough), else into a new vector.
inline std::vector<uint8_t> Decode(const uint8_t* data, size_t size, int components, int* w = nullptr,
                                   int* h = nullptr, uint8_t* out = nullptr)
{
    jpeg_decompress_struct dinfo;
    jpeg_error_mgr jerr;
    dinfo.err = jpeg_std_error(&jerr);
    jpeg_create_decompress(&dinfo);
    jpeg_mem_src(&dinfo, data, static_cast<unsigned long>(size));
    jpeg_read_header(&dinfo, TRUE);
    dinfo.dct_method = JDCT_ISLOW;
    dinfo.do_fancy_upsampling = FALSE;
    dinfo.out_color_space = components == 1 ? JCS_GRAYSCALE : components == 3 ? JCS_RGB : JCS_EXT_RGBX;
    jpeg_start_decompress(&dinfo);
    size_t stride = static_cast<size_t>(dinfo.output_width) * components;
    std::vector<uint8_t> owned;
    if (out == nullptr) {
        owned.resize(stride * dinfo.output_height);
        out = owned.data();
    }
    while (dinfo.output_scanline < dinfo.output_height) {
        JSAMPROW row = out + stride * dinfo.output_scanline;
        jpeg_read_scanlines(&dinfo, &row, 1);
    }
    if (w) *w = static_cast<int>(dinfo.output_width);
    if (h) *h = static_cast<int>(dinfo.output_height);
    jpeg_finish_decompress(&dinfo);
    jpeg_destroy_decompress(&dinfo);
    return owned;
}

}  // namespace jpeg_peer
