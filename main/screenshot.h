// The S key: the frame on screen as a PNG file, byte for byte the one that
// `orchid --frames DIR --depth <the depth shown>` writes for its hundredth.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "pixmap/pixmap.h"

// The PNG of a 32-bit frame as a display of `bpp` bits shows it
// (`pixelFormat` tells 5-6-5 from 5-5-5 at 16): converted to that format
// and widened back to 8 bits a channel, as a capture does. Empty when
// memory runs out.
std::string ShownFramePng(const Pixmap& frame, int bpp, int pixelFormat);

// "orchid-063.07.png" for hundredth 6307; from the second try on
// "orchid-063.07-2.png", ...
std::string ScreenshotName(int32_t hundredth, int attempt);
// "63.07" for hundredth 6307.
std::string ShowTime(int32_t hundredth);

// Writes `png` under ScreenshotName in the first of `folders` that takes
// it, never replacing a file; the line to say: where it went, or why it
// could not be written.
std::string WriteScreenshot(const std::string& png, int32_t hundredth, const std::string* folders, int count);
