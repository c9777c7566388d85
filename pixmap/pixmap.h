// Pixmap, the one image type, and ResFile, the reader through which every
// resource of the executable is read as if it were a file.
#pragma once

#include <cstdint>

class Pixmap {
public:
    Pixmap();
    ~Pixmap();
    Pixmap(const Pixmap&) = delete;
    Pixmap& operator=(const Pixmap&) = delete;

    // Initialisers: 1 on success, 0 after a failure report.
    int Create(int width, int height, int bpp);
    int LoadRaw(const char* resname, int width, int height, int bpp);
    // Decodes a JPEG resource (implemented with the JPEG decoder, jpeg/).
    int LoadJpeg(const char* resname, int bpp);

    void Free();
    void Release();

    uint8_t* pixChar;
    uint16_t* pixShort;
    uint32_t* pixInt;
    int32_t width;
    int32_t height;
    int32_t numPixels;
    int32_t bpp;
    int32_t* ylook;
    int32_t pitch;
    int32_t numBytes;
    int8_t xShift;
    int8_t pitchShift;
    int32_t initialized;

    // The set-up every initialiser shares: the "already initialized" check,
    // then sizes, row table and zeroed pixel buffer. Returns 0 after a report;
    // nothing stays allocated then.
    int CheckEmpty();
    int SetUp(int width, int height, int bpp);
};

// floor(log2(value)) computed as the system always has: log10(value) /
// log10(2) in double precision, truncated toward zero. The logarithm comes
// from our own correctly rounded log2 (log10(value) = log10(2) * log2(value)),
// so every platform's library gives the same shift.
int8_t PixmapShift(int value);

struct ResFile {
    uint32_t size;
    uint32_t position;
    const uint8_t* data;
};

// Never fails: a missing resource, or no memory for the record, reads as an
// empty file.
ResFile* ResFile_Open(const char* resname);
// Copies min(count, size - position) bytes; a negative count copies nothing.
int ResFile_Read(void* buffer, int count, ResFile* file);
void ResFile_Close(ResFile* file);
