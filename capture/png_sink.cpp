#include "capture/png_sink.h"

#include <png.h>
#include <sys/stat.h>

#include <cerrno>
#include <csetjmp>
#include <cstdio>
#include <cstring>

#include "error/memory.h"
#include "error/report.h"

ORCHID_REPORT_MODULE("capture/png_sink");

namespace capture {
namespace {

struct PngFailure {
    std::jmp_buf jump;
    char reason[160];
};

void OnPngError(png_structp png, png_const_charp message)
{
    auto* failure = static_cast<PngFailure*>(png_get_error_ptr(png));
    std::snprintf(failure->reason, sizeof failure->reason, "%s", message);
    std::longjmp(failure->jump, 1);
}

void OnPngWarning(png_structp, png_const_charp) {}

png_voidp PngAlloc(png_structp, png_alloc_size_t size) { return orchid::MemAlloc(size); }
void PngFree(png_structp, png_voidp block) { orchid::MemFree(block); }

// Encodes one RGB image into an open file. 0 with the reason on failure.
// Kept free of C++ objects with destructors, since libpng leaves by longjmp.
int EncodePng(std::FILE* file, uint8_t** rows, int width, int height, PngFailure* failure)
{
    png_structp png = png_create_write_struct_2(PNG_LIBPNG_VER_STRING, failure, OnPngError,
                                                OnPngWarning, nullptr, PngAlloc, PngFree);
    if (png == nullptr) {
        std::snprintf(failure->reason, sizeof failure->reason, "out of memory");
        return 0;
    }
    png_infop info = png_create_info_struct(png);
    if (info == nullptr) {
        png_destroy_write_struct(&png, nullptr);
        std::snprintf(failure->reason, sizeof failure->reason, "out of memory");
        return 0;
    }
    if (setjmp(failure->jump) != 0) {
        png_destroy_write_struct(&png, &info);
        return 0;
    }
    png_init_io(png, file);
    // Fast settings: frames are many and mostly flat colour or photographs.
    png_set_compression_level(png, 1);
    png_set_filter(png, PNG_FILTER_TYPE_BASE, PNG_FILTER_SUB);
    png_set_IHDR(png, info, static_cast<png_uint_32>(width), static_cast<png_uint_32>(height), 8,
                 PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
                 PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    png_write_image(png, rows);
    png_write_end(png, info);
    png_destroy_write_struct(&png, &info);
    return 1;
}

}  // namespace

PngSink::PngSink(const char* dir, const FrameSchedule& frameSchedule, int frameScale)
    : CaptureSink(frameSchedule, frameScale)
{
    std::snprintf(directory, sizeof directory, "%s", dir);
    path[0] = '\0';
}

PngSink::~PngSink() { orchid::MemFree(rows); }

int PngSink::Open(int width, int height)
{
    struct stat st;
    if (stat(directory, &st) != 0) {
        if (mkdir(directory, 0777) != 0) {
            char reason[200];
            std::snprintf(reason, sizeof reason, "could not be made as a directory: %s.\n",
                          std::strerror(errno));
            REPORT(ERR_FILE, reason, directory);
            return 0;
        }
    } else if (!S_ISDIR(st.st_mode)) {
        REPORT(ERR_FILE, "is not a directory.\n", directory);
        return 0;
    }
    if (!CaptureSink::Open(width, height)) return 0;
    rows = static_cast<uint8_t**>(orchid::MemAlloc(sizeof(uint8_t*) * outHeight));
    if (rows == nullptr) {
        REPORT(ERR_OUT_OF_MEMORY, "uint8_t **rows\n", static_cast<int>(sizeof(uint8_t*) * outHeight));
        return 0;
    }
    for (int y = 0; y < outHeight; ++y) rows[y] = rgb + static_cast<std::size_t>(outWidth) * 3 * y;
    return 1;
}

int PngSink::Write(long first, int count)
{
    for (long index = first; index < first + count; ++index) {
        std::snprintf(path, sizeof path, "%s/frame-%05ld.png", directory, index);
        std::FILE* file = std::fopen(path, "wb");
        if (file == nullptr) {
            char reason[200];
            std::snprintf(reason, sizeof reason, "could not be created: %s.\n", std::strerror(errno));
            REPORT(ERR_FILE, reason, path);
            return 0;
        }
        PngFailure failure;
        failure.reason[0] = '\0';
        errno = 0;
        int encoded = EncodePng(file, rows, outWidth, outHeight, &failure);
        // A full disk shows in a failed write, at the latest when the
        // buffered data is flushed or the file closed.
        int error = 0;
        if (std::fflush(file) != 0 || std::ferror(file)) error = errno != 0 ? errno : EIO;
        if (std::fclose(file) != 0 && error == 0) error = errno != 0 ? errno : EIO;
        if (!encoded || error != 0) {
            std::remove(path);
            char reason[240];
            std::snprintf(reason, sizeof reason, "could not be written: %s.\n",
                          error != 0 ? std::strerror(error) : failure.reason);
            REPORT(ERR_FILE, reason, path);
            return 0;
        }
    }
    return 1;
}

void PngSink::Close()
{
    CaptureSink::Close();
    orchid::MemFree(rows);
    rows = nullptr;
}

}  // namespace capture
