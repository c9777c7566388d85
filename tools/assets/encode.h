// File writers of the asset generator: baseline JPEG through libjpeg-turbo,
// 8-bit palette BMP, PNG previews and raw bytes.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "canvas.h"

namespace gen {

enum class Chroma { H1V1, H2V2 };

struct JpegOptions {
    int quality = 92;
    Chroma chroma = Chroma::H2V2;
    int restartRows = 0;  // restart marker after every this many MCU rows (0: none)
};

std::vector<uint8_t> EncodeJpeg(const Image& img, const JpegOptions& opt);
// Windows bitmap file, 8 bits per pixel with a 256-colour palette chosen for
// the picture (k-means) and Floyd-Steinberg dithering.
std::vector<uint8_t> EncodeBmp8(const Image& img);
// A Windows icon file (the form the resource compiler of the Windows build
// takes): first the picture of such a bitmap file as an 8-bit image, opaque,
// then each PNG file as it is, at the size its header gives (Windows reads
// PNG icon images since Vista).
std::vector<uint8_t> IconFile(const std::vector<uint8_t>& bmp, const std::vector<std::vector<uint8_t>>& pngs);

void WriteFile(const std::string& path, const std::vector<uint8_t>& bytes);
std::vector<uint8_t> EncodePng(const Image& img);
void WritePng(const std::string& path, const Image& img);
void WritePngGrey(const std::string& path, const std::vector<uint8_t>& grey, int w, int h);

}  // namespace gen
