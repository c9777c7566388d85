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
// The same picture as a Windows icon file (one 8-bit image, opaque), made
// from such a bitmap file; the resource compiler of the Windows build takes
// icons only in this form.
std::vector<uint8_t> IconFromBmp8(const std::vector<uint8_t>& bmp);

void WriteFile(const std::string& path, const std::vector<uint8_t>& bytes);
void WritePng(const std::string& path, const Image& img);
void WritePngGrey(const std::string& path, const std::vector<uint8_t>& grey, int w, int h);

}  // namespace gen
