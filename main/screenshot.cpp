#include "main/screenshot.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "capture/capture.h"
#include "capture/png_encoder.h"
#include "dedraw/convert.h"
#include "dedraw/dedraw.h"
#include "error/memory.h"
#include "os/files.h"
#include "os/output_file.h"

std::string ShownFramePng(const Pixmap& frame, int bpp, int pixelFormat)
{
    if (frame.pixInt == nullptr || frame.width <= 0 || frame.height <= 0) return "";
    const int w = frame.width, h = frame.height;
    const int pixelBytes = bpp == 32 ? 4 : bpp == 24 ? 3 : 2;
    const std::size_t shownBytes = static_cast<std::size_t>(w) * static_cast<std::size_t>(h) * pixelBytes;
    const std::size_t rgbBytes = static_cast<std::size_t>(w) * static_cast<std::size_t>(h) * 3;
    auto* shown = static_cast<uint8_t*>(orchid::MemAlloc(shownBytes));
    auto* rgb = static_cast<uint8_t*>(orchid::MemAlloc(rgbBytes));
    std::string png;
    capture::PngEncoder encoder;
    if (shown != nullptr && rgb != nullptr && encoder.Open(w, h)) {
        platform::FrameView view{shown, w, h, w * pixelBytes, bpp, platform::PixelLayout::XRGB8888};
        for (int y = 0; y < h; ++y) {
            const uint32_t* row = frame.pixInt + static_cast<std::size_t>(y) * w;
            uint8_t* out = shown + static_cast<std::size_t>(y) * w * pixelBytes;
            if (bpp == 32) {
                std::memcpy(out, row, static_cast<std::size_t>(w) * 4);
            } else if (bpp == 24) {
                view.layout = platform::PixelLayout::BGR24;
                dedraw::Convert32To24Row(row, out, w);
            } else if (pixelFormat == PIXEL_FORMAT_555) {
                view.layout = platform::PixelLayout::RGB555;
                dedraw::Convert32To555Row(row, reinterpret_cast<uint16_t*>(out), w);
            } else {
                view.layout = platform::PixelLayout::RGB565;
                dedraw::Convert32To565Row(row, reinterpret_cast<uint16_t*>(out), w);
            }
        }
        capture::ConvertToRgb(view, 1, rgb);
        std::size_t size = 0;
        const uint8_t* bytes = encoder.Encode(rgb, &size);
        if (bytes != nullptr) png.assign(reinterpret_cast<const char*>(bytes), size);
    }
    orchid::MemFree(shown);
    orchid::MemFree(rgb);
    return png;
}

std::string ScreenshotName(int32_t hundredth, int attempt)
{
    char name[48];
    if (attempt <= 1)
        std::snprintf(name, sizeof name, "orchid-%03d.%02d.png", hundredth / 100, hundredth % 100);
    else
        std::snprintf(name, sizeof name, "orchid-%03d.%02d-%d.png", hundredth / 100, hundredth % 100, attempt);
    return name;
}

std::string ShowTime(int32_t hundredth)
{
    char time[16];
    std::snprintf(time, sizeof time, "%d.%02d", hundredth / 100, hundredth % 100);
    return time;
}

std::string WriteScreenshot(const std::string& png, int32_t hundredth, const std::string* folders, int count)
{
    if (png.empty()) return "orchid: the screenshot could not be made: out of memory";
    std::string reason = "no folder to write it to";
    for (int i = 0; i < count; ++i) {
        if (folders[i].empty() || os::KindOf(folders[i].c_str()) != os::FileKind::Folder) continue;
        os::OutputFile file;
        const std::string first = folders[i] + "/" + ScreenshotName(hundredth, 1);
        if (!file.Create(first.c_str())) {
            reason = first + ": " + std::strerror(file.error);
            continue;
        }
        const bool written = std::fwrite(png.data(), 1, png.size(), file.stream) == png.size();
        if (!file.CloseStream() || !written) {
            reason = first + ": " + std::strerror(file.error != 0 ? file.error : EIO);
            file.Discard();
            continue;
        }
        // The first name nothing has: the frame never replaces a file.
        reason = first + " and the names after it are taken";
        for (int attempt = 1; attempt <= 100; ++attempt) {
            const std::string path = folders[i] + "/" + ScreenshotName(hundredth, attempt);
            const int error = os::RenameFile(file.TemporaryName(), path.c_str(), false);
            if (error == 0) {
                file.Keep();
                return "orchid: the frame at " + ShowTime(hundredth) + " s is in " + path;
            }
            if (error != EEXIST) {
                reason = path + ": " + std::strerror(error);
                break;
            }
        }
        file.Discard();
    }
    return "orchid: the screenshot was not written (" + reason + ")";
}
