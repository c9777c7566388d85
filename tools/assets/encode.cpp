#include "encode.h"

#include <cstdio>
#include <jpeglib.h>
#include <png.h>

#include <algorithm>
#include <array>
#include <cstdlib>
#include <stdexcept>

namespace gen {

std::vector<uint8_t> EncodeJpeg(const Image& img, const JpegOptions& opt)
{
    jpeg_compress_struct cinfo;
    jpeg_error_mgr jerr;
    cinfo.err = jpeg_std_error(&jerr);
    jpeg_create_compress(&cinfo);
    unsigned char* mem = nullptr;
    unsigned long memSize = 0;
    jpeg_mem_dest(&cinfo, &mem, &memSize);
    cinfo.image_width = JDIMENSION(img.w);
    cinfo.image_height = JDIMENSION(img.h);
    cinfo.input_components = 3;
    cinfo.in_color_space = JCS_RGB;
    jpeg_set_defaults(&cinfo);
    jpeg_set_quality(&cinfo, opt.quality, TRUE);
    // Baseline sequential with the standard Huffman tables: SOF0.
    cinfo.optimize_coding = FALSE;
    cinfo.dct_method = JDCT_ISLOW;
    int hv = opt.chroma == Chroma::H2V2 ? 2 : 1;
    cinfo.comp_info[0].h_samp_factor = hv;
    cinfo.comp_info[0].v_samp_factor = hv;
    for (int c = 1; c < 3; ++c) {
        cinfo.comp_info[c].h_samp_factor = 1;
        cinfo.comp_info[c].v_samp_factor = 1;
    }
    cinfo.restart_in_rows = opt.restartRows;
    jpeg_start_compress(&cinfo, TRUE);
    std::vector<uint8_t> row(size_t(img.w) * 3);
    for (int y = 0; y < img.h; ++y) {
        for (int x = 0; x < img.w; ++x) {
            const Rgb& p = img.at(x, y);
            row[size_t(x) * 3] = To8(p.r);
            row[size_t(x) * 3 + 1] = To8(p.g);
            row[size_t(x) * 3 + 2] = To8(p.b);
        }
        JSAMPROW r = row.data();
        jpeg_write_scanlines(&cinfo, &r, 1);
    }
    jpeg_finish_compress(&cinfo);
    std::vector<uint8_t> out(mem, mem + memSize);
    jpeg_destroy_compress(&cinfo);
    free(mem);
    return out;
}

namespace {
void Put16(std::vector<uint8_t>& v, uint32_t x) { v.push_back(uint8_t(x)); v.push_back(uint8_t(x >> 8)); }
void Put32(std::vector<uint8_t>& v, uint32_t x) { Put16(v, x & 0xFFFF); Put16(v, x >> 16); }

using Colour = std::array<float, 3>;

// A palette of 256 colours for the picture: seeded with the most common
// colours of a 5-bit histogram, refined by k-means.
std::vector<Colour> ChoosePalette(const std::vector<Colour>& px)
{
    std::vector<int> count(32768, 0);
    std::vector<Colour> sum(32768, Colour{0, 0, 0});
    for (const Colour& c : px) {
        int k = (int(c[0] * 31.99f) << 10) | (int(c[1] * 31.99f) << 5) | int(c[2] * 31.99f);
        ++count[size_t(k)];
        for (int i = 0; i < 3; ++i) sum[size_t(k)][size_t(i)] += c[size_t(i)];
    }
    std::vector<int> order(32768);
    for (int i = 0; i < 32768; ++i) order[size_t(i)] = i;
    std::stable_sort(order.begin(), order.end(), [&](int a, int b) { return count[size_t(a)] > count[size_t(b)]; });
    std::vector<Colour> pal;
    for (int i = 0; i < 32768 && pal.size() < 256; ++i) {
        int k = order[size_t(i)];
        if (count[size_t(k)] == 0) break;
        float n = float(count[size_t(k)]);
        pal.push_back({sum[size_t(k)][0] / n, sum[size_t(k)][1] / n, sum[size_t(k)][2] / n});
    }
    while (pal.size() < 256) pal.push_back({0, 0, 0});
    auto nearest = [&](const Colour& c) {
        int best = 0;
        float bd = 1e9f;
        for (int i = 0; i < 256; ++i) {
            float d = 0;
            for (int j = 0; j < 3; ++j) d += (c[size_t(j)] - pal[size_t(i)][size_t(j)]) * (c[size_t(j)] - pal[size_t(i)][size_t(j)]);
            if (d < bd) { bd = d; best = i; }
        }
        return best;
    };
    for (int iter = 0; iter < 6; ++iter) {
        std::vector<Colour> acc(256, Colour{0, 0, 0});
        std::vector<int> n(256, 0);
        for (const Colour& c : px) {
            int k = nearest(c);
            ++n[size_t(k)];
            for (int j = 0; j < 3; ++j) acc[size_t(k)][size_t(j)] += c[size_t(j)];
        }
        for (int i = 0; i < 256; ++i)
            if (n[size_t(i)] > 0)
                for (int j = 0; j < 3; ++j) pal[size_t(i)][size_t(j)] = acc[size_t(i)][size_t(j)] / float(n[size_t(i)]);
    }
    return pal;
}
}  // namespace

std::vector<uint8_t> EncodeBmp8(const Image& img)
{
    std::vector<Colour> px(img.px.size());
    for (size_t i = 0; i < px.size(); ++i) px[i] = {Clamp01(img.px[i].r), Clamp01(img.px[i].g), Clamp01(img.px[i].b)};
    std::vector<Colour> pal = ChoosePalette(px);
    std::array<uint8_t, 256 * 3> pal8{};
    for (int i = 0; i < 256; ++i)
        for (int j = 0; j < 3; ++j) pal8[size_t(i * 3 + j)] = To8(pal[size_t(i)][size_t(j)]);

    // Floyd-Steinberg against the 8-bit palette.
    std::vector<uint8_t> index(px.size());
    std::vector<Colour> work = px;
    for (int y = 0; y < img.h; ++y)
        for (int x = 0; x < img.w; ++x) {
            Colour c = work[size_t(y) * img.w + x];
            int best = 0;
            float bd = 1e9f;
            for (int i = 0; i < 256; ++i) {
                float d = 0;
                for (int j = 0; j < 3; ++j) {
                    float e = c[size_t(j)] - pal8[size_t(i * 3 + j)] / 255.0f;
                    d += e * e;
                }
                if (d < bd) { bd = d; best = i; }
            }
            index[size_t(y) * img.w + x] = uint8_t(best);
            Colour err;
            for (int j = 0; j < 3; ++j) err[size_t(j)] = c[size_t(j)] - pal8[size_t(best * 3 + j)] / 255.0f;
            auto spread = [&](int xx, int yy, float k) {
                if (xx < 0 || xx >= img.w || yy >= img.h) return;
                Colour& t = work[size_t(yy) * img.w + xx];
                for (int j = 0; j < 3; ++j) t[size_t(j)] += err[size_t(j)] * k;
            };
            spread(x + 1, y, 7 / 16.0f);
            spread(x - 1, y + 1, 3 / 16.0f);
            spread(x, y + 1, 5 / 16.0f);
            spread(x + 1, y + 1, 1 / 16.0f);
        }

    uint32_t stride = (uint32_t(img.w) + 3) & ~3u;
    uint32_t dataOffset = 14 + 40 + 256 * 4;
    uint32_t fileSize = dataOffset + stride * uint32_t(img.h);
    std::vector<uint8_t> out;
    out.push_back('B');
    out.push_back('M');
    Put32(out, fileSize);
    Put32(out, 0);
    Put32(out, dataOffset);
    Put32(out, 40);  // BITMAPINFOHEADER
    Put32(out, uint32_t(img.w));
    Put32(out, uint32_t(img.h));  // positive: rows bottom to top
    Put16(out, 1);
    Put16(out, 8);
    Put32(out, 0);  // BI_RGB
    Put32(out, stride * uint32_t(img.h));
    Put32(out, 2835);
    Put32(out, 2835);
    Put32(out, 256);
    Put32(out, 256);
    for (int i = 0; i < 256; ++i) {
        out.push_back(pal8[size_t(i * 3 + 2)]);
        out.push_back(pal8[size_t(i * 3 + 1)]);
        out.push_back(pal8[size_t(i * 3)]);
        out.push_back(0);
    }
    for (int y = img.h - 1; y >= 0; --y) {
        for (int x = 0; x < img.w; ++x) out.push_back(index[size_t(y) * img.w + x]);
        for (uint32_t x = uint32_t(img.w); x < stride; ++x) out.push_back(0);
    }
    return out;
}

std::vector<uint8_t> IconFile(const std::vector<uint8_t>& bmp, const std::vector<std::vector<uint8_t>>& pngs)
{
    // The bitmap's header, palette and rows as they are, with the height
    // doubled (colour rows, then the mask's) and an all-zero mask (every
    // pixel opaque) after them: rows of 1 bit per pixel, 4-byte aligned.
    int32_t width = int32_t(bmp[18] | bmp[19] << 8 | bmp[20] << 16 | uint32_t(bmp[21]) << 24);
    int32_t height = int32_t(bmp[22] | bmp[23] << 8 | bmp[24] << 16 | uint32_t(bmp[25]) << 24);
    uint32_t maskStride = ((uint32_t(width) + 31) / 32) * 4;
    std::vector<uint8_t> image(bmp.begin() + 14, bmp.end());
    uint32_t doubled = uint32_t(height) * 2;
    for (int i = 0; i < 4; ++i) image[size_t(8 + i)] = uint8_t(doubled >> (8 * i));
    image.insert(image.end(), size_t(maskStride) * size_t(height), 0);

    // The directory: one 16-byte entry an image, then the images in order.
    std::vector<uint8_t> out;
    Put16(out, 0);
    Put16(out, 1);  // an icon
    Put16(out, uint32_t(1 + pngs.size()));
    uint32_t offset = uint32_t(6 + 16 * (1 + pngs.size()));
    out.push_back(uint8_t(width));
    out.push_back(uint8_t(height));
    out.push_back(0);  // 256 colours
    out.push_back(0);
    Put16(out, 1);  // planes
    Put16(out, 8);  // bits per pixel
    Put32(out, uint32_t(image.size()));
    Put32(out, offset);
    offset += uint32_t(image.size());
    for (const std::vector<uint8_t>& png : pngs) {
        // Width and height from the PNG header; 256 is written as 0.
        uint32_t w = uint32_t(png[16]) << 24 | png[17] << 16 | png[18] << 8 | png[19];
        uint32_t h = uint32_t(png[20]) << 24 | png[21] << 16 | png[22] << 8 | png[23];
        out.push_back(uint8_t(w));
        out.push_back(uint8_t(h));
        out.push_back(0);  // more than 256 colours
        out.push_back(0);
        Put16(out, 1);
        Put16(out, 32);
        Put32(out, uint32_t(png.size()));
        Put32(out, offset);
        offset += uint32_t(png.size());
    }
    out.insert(out.end(), image.begin(), image.end());
    for (const std::vector<uint8_t>& png : pngs) out.insert(out.end(), png.begin(), png.end());
    return out;
}

void WriteFile(const std::string& path, const std::vector<uint8_t>& bytes)
{
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) throw std::runtime_error("cannot write " + path);
    size_t n = std::fwrite(bytes.data(), 1, bytes.size(), f);
    if (std::fclose(f) != 0 || n != bytes.size()) throw std::runtime_error("cannot write " + path);
}

namespace {
void AppendPngBytes(png_structp png, png_bytep data, png_size_t size)
{
    auto* out = static_cast<std::vector<uint8_t>*>(png_get_io_ptr(png));
    out->insert(out->end(), data, data + size);
}

std::vector<uint8_t> EncodePngRows(int w, int h, int colourType, const std::vector<uint8_t>& data, int channels)
{
    std::vector<uint8_t> out;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        throw std::runtime_error("cannot encode a PNG picture");
    }
    png_set_write_fn(png, &out, AppendPngBytes, nullptr);
    png_set_compression_level(png, 3);
    png_set_IHDR(png, info, png_uint_32(w), png_uint_32(h), 8, colourType, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    for (int y = 0; y < h; ++y)
        png_write_row(png, const_cast<png_bytep>(data.data() + size_t(y) * size_t(w) * size_t(channels)));
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    return out;
}
}  // namespace

std::vector<uint8_t> EncodePng(const Image& img)
{
    std::vector<uint8_t> data(img.px.size() * 3);
    for (size_t i = 0; i < img.px.size(); ++i) {
        data[i * 3] = To8(img.px[i].r);
        data[i * 3 + 1] = To8(img.px[i].g);
        data[i * 3 + 2] = To8(img.px[i].b);
    }
    return EncodePngRows(img.w, img.h, PNG_COLOR_TYPE_RGB, data, 3);
}

void WritePng(const std::string& path, const Image& img)
{
    WriteFile(path, EncodePng(img));
}

void WritePngGrey(const std::string& path, const std::vector<uint8_t>& grey, int w, int h)
{
    WriteFile(path, EncodePngRows(w, h, PNG_COLOR_TYPE_GRAY, grey, 1));
}

}  // namespace gen
