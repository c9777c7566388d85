// Orchid's own PNG encoder: 8-bit RGB images, no interlacing, one IDAT
// chunk. Each row takes the filter (none, sub, up, average or Paeth) whose
// output has the smallest sum of absolute values; the rows are compressed
// with deflate (LZ77 over a 32 KiB window by hash chains with one step of
// lazy matching, then per block the smallest of dynamic Huffman, fixed
// Huffman and stored). Only integer arithmetic and fixed orders are used, so
// the same image gives the same bytes on every platform.
#pragma once

#include <cstddef>
#include <cstdint>

namespace capture {

class PngEncoder {
public:
    PngEncoder() = default;
    PngEncoder(const PngEncoder&) = delete;
    PngEncoder& operator=(const PngEncoder&) = delete;
    ~PngEncoder();

    // Makes every buffer for images of width x height (each at least 1), so
    // that encoding allocates nothing. 1 on success, 0 after a report.
    int Open(int width, int height);
    void Close();

    // Encodes width x height pixels of 3 bytes (red, green, blue), rows
    // width * 3 bytes apart. The file's bytes stay valid until the next
    // Encode or Close.
    const uint8_t* Encode(const uint8_t* rgb, std::size_t* size);

private:
    int width = 0;
    int height = 0;
    uint8_t* filtered = nullptr;  // height rows of a filter byte and the row
    std::size_t filteredSize = 0;
    uint8_t* zeroRow = nullptr;   // the row above the first
    uint8_t* file = nullptr;      // the PNG file being written
    std::size_t fileCapacity = 0;
    int32_t* head = nullptr;      // per hash of 3 bytes: the latest position
    int32_t* chain = nullptr;     // per position in the window: the one before
    uint32_t* symbols = nullptr;  // one block's literals and matches
};

// CRC-32 (ISO-HDLC, as PNG and zlib use it) of n bytes, continuing from
// crc (0 to start).
uint32_t Crc32(uint32_t crc, const uint8_t* data, std::size_t n);
// Adler-32 of n bytes, continuing from adler (1 to start).
uint32_t Adler32(uint32_t adler, const uint8_t* data, std::size_t n);

}  // namespace capture
