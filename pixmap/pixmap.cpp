#include "pixmap/pixmap.h"

#include <cstring>

#include "error/memory.h"
#include "error/report.h"
#include "fpmath/fpmath.h"
#include "platform/resources.h"

ORCHID_REPORT_MODULE("pixmap/pixmap");

int8_t PixmapShift(int value)
{
    // log10(2) correctly rounded.
    constexpr double log10of2 = 0x1.34413509f79ffp-2;
    double log10ofValue = log10of2 * fpmath::Log2(static_cast<double>(value));
    return static_cast<int8_t>(static_cast<int>(log10ofValue / log10of2));
}

Pixmap::Pixmap()
    : pixChar(nullptr), pixShort(nullptr), pixInt(nullptr), width(0), height(0), numPixels(0),
      bpp(0), ylook(nullptr), pitch(0), numBytes(0), xShift(0), pitchShift(0), initialized(0)
{
}

Pixmap::~Pixmap()
{
    if (initialized) Release();
}

int Pixmap::CheckEmpty()
{
    if (initialized) {
        REPORT(ERR_PIXMAP, "Pixmap already initialized.\n");
        return 0;
    }
    return 1;
}

int Pixmap::SetUp(int w, int h, int depth)
{
    // A size that is not positive, or whose byte count does not fit the
    // 32-bit fields, is refused before anything is computed or allocated.
    int bytesPerPixel = (depth == 8 || depth == 16 || depth == 24 || depth == 32) ? depth / 8 : 4;
    if (w <= 0 || h <= 0 || static_cast<int64_t>(w) * h * bytesPerPixel > INT32_MAX) {
        REPORT(ERR_PIXMAP, "Invalid size.\n");
        return 0;
    }

    width = w;
    height = h;
    numPixels = w * h;
    bpp = depth;
    xShift = PixmapShift(w);

    ylook = static_cast<int32_t*>(orchid::MemAlloc(static_cast<std::size_t>(h) * 4));
    if (ylook == nullptr) {
        REPORT(ERR_OUT_OF_MEMORY, "ylook\n", h * 4);
        return 0;
    }
    for (int y = 0; y < h; ++y) ylook[y] = y * w;

    if (depth != 8 && depth != 16 && depth != 24 && depth != 32) {
        Release();
        REPORT(ERR_PIXMAP, "Invalid bpp.\n");
        return 0;
    }
    pitch = w * bytesPerPixel;
    numBytes = pitch * h;

    pixChar = static_cast<uint8_t*>(orchid::MemAlloc(static_cast<std::size_t>(numBytes)));
    if (pixChar == nullptr) {
        int size = numBytes;
        Release();
        REPORT(ERR_OUT_OF_MEMORY, "pixChar\n", size);
        return 0;
    }
    pixShort = reinterpret_cast<uint16_t*>(pixChar);
    pixInt = reinterpret_cast<uint32_t*>(pixChar);
    pitchShift = PixmapShift(pitch);
    return 1;
}

int Pixmap::Create(int w, int h, int depth)
{
    if (!CheckEmpty()) return 0;
    if (!SetUp(w, h, depth)) return 0;
    initialized = 1;
    return 1;
}

int Pixmap::LoadRaw(const char* resname, int w, int h, int depth)
{
    if (!CheckEmpty()) return 0;
    if (resname == nullptr) {
        REPORT(ERR_PIXMAP, "'char *resname' was null.\n");
        return 0;
    }
    if (!SetUp(w, h, depth)) return 0;

    ResFile* file = ResFile_Open(resname);
    int got = ResFile_Read(pixChar, numBytes, file);
    ResFile_Close(file);
    if (got != numBytes) {
        Release();
        REPORT(ERR_WINDOWS, "Couldn't load resource inside exe.\n");
        return 0;
    }
    initialized = 1;
    return 1;
}

void Pixmap::Free()
{
    if (!initialized) {
        RECORD(ERR_PIXMAP, "Not initialized.\n");
        return;
    }
    if (pixChar != nullptr) {
        orchid::MemFree(pixChar);
        pixChar = nullptr;
    } else {
        RECORD(ERR_PIXMAP, "pixChar was null.\n");
    }
    pixShort = nullptr;
    pixInt = nullptr;
    if (ylook != nullptr) {
        orchid::MemFree(ylook);
        ylook = nullptr;
    } else {
        RECORD(ERR_PIXMAP, "ylook was null.\n");
    }
    initialized = 0;
}

// Releases whatever buffers exist. Also used to undo a half-done set-up,
// where `initialized` is still 0.
void Pixmap::Release()
{
    orchid::MemFree(pixChar);
    orchid::MemFree(ylook);
    pixChar = nullptr;
    pixShort = nullptr;
    pixInt = nullptr;
    ylook = nullptr;
    initialized = 0;
}

namespace {
// Handed out when the record itself cannot be allocated: reads as empty.
ResFile emptyResFile = {0, 0, nullptr};
}  // namespace

ResFile* ResFile_Open(const char* resname)
{
    ResFile* file = static_cast<ResFile*>(orchid::MemAlloc(sizeof(ResFile)));
    if (file == nullptr) {
        emptyResFile = {0, 0, nullptr};
        return &emptyResFile;
    }
    platform::ResourceBlock block = platform::FindResource(resname);
    file->data = block.data;
    file->size = block.data != nullptr ? block.size : 0;
    file->position = 0;
    return file;
}

int ResFile_Read(void* buffer, int count, ResFile* file)
{
    if (file == nullptr || buffer == nullptr || count <= 0 || file->position >= file->size) return 0;
    uint32_t n = file->size - file->position;
    if (static_cast<uint32_t>(count) < n) n = static_cast<uint32_t>(count);
    std::memcpy(buffer, file->data + file->position, n);
    file->position += n;
    return static_cast<int>(n);
}

void ResFile_Close(ResFile* file)
{
    if (file == nullptr || file == &emptyResFile) return;
    orchid::MemFree(file);
}
