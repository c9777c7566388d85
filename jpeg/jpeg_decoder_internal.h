// What the stages of jpeg_decoder share, private to jpeg/: marker codes,
// the MCU layouts, the zig-zag order, the derived Huffman tables, how a
// stage gives up, and the table of the picture's memory blocks. Each stage
// keeps its state in a header of its own (jpeg_decoder_input.h, _markers.h,
// _sequential.h, _progressive.h, _output.h); the decoder's implementation
// object (jpeg_decoder.cpp) holds one of each and hands every stage the
// others' state it reads.
#pragma once

#include <cstddef>
#include <cstdint>

#include "jpeg/jpeg_decoder.h"

namespace jpeg_decoder_detail {

// Natural (row-major) position of each zig-zag index.
inline constexpr uint8_t kZigzag[64] = {
    0,  1,  8,  16, 9,  2,  3,  10, 17, 24, 32, 25, 18, 11, 4,  5,  12, 19, 26, 33, 40, 48,
    41, 34, 27, 20, 13, 6,  7,  14, 21, 28, 35, 42, 49, 56, 57, 50, 43, 36, 29, 22, 15, 23,
    30, 37, 44, 51, 58, 59, 52, 45, 38, 31, 39, 46, 53, 60, 61, 54, 47, 55, 62, 63,
};

enum : int {
    M_SOF0 = 0xC0, M_SOF1 = 0xC1, M_SOF2 = 0xC2, M_SOF3 = 0xC3, M_DHT = 0xC4,
    M_SOF5 = 0xC5, M_SOF6 = 0xC6, M_SOF7 = 0xC7, M_JPG = 0xC8, M_SOF9 = 0xC9,
    M_SOF10 = 0xCA, M_SOF11 = 0xCB, M_DAC = 0xCC, M_SOF13 = 0xCD, M_SOF14 = 0xCE,
    M_SOF15 = 0xCF, M_RST0 = 0xD0, M_RST7 = 0xD7, M_SOI = 0xD8, M_EOI = 0xD9,
    M_SOS = 0xDA, M_DQT = 0xDB, M_DRI = 0xDD, M_TEM = 0x01,
};

// Sample layouts of a frame: greyscale, or YCbCr with the luma factors
// H (horizontal) and V (vertical) over 1 x 1 chroma.
enum : int { LAYOUT_GREY, LAYOUT_H1V1, LAYOUT_H2V1, LAYOUT_H1V2, LAYOUT_H2V2 };

// Bits of lookahead in the Huffman tables: codes up to this length decode
// in one table look-up.
constexpr int kLookBits = 10;
// A value_look entry with this bit set holds a complete run and value.
constexpr int32_t kAcLookHit = 0x80;
// A value_look entry with this bit set is an end of block.
constexpr int32_t kAcLookEnd = 0x40;
// A value_look entry with this bit set holds the run and value size of a
// code that fits the lookahead while its value bits do not.
constexpr int32_t kAcLookCode = 0x1000;
// Bits of a value_look entry that count the bits it consumes: code + value
// for a complete entry, the code alone for the others. Six bits, as a 64-bit
// shift takes its count, so that the mask costs nothing where the bit
// buffer is shifted.
constexpr int32_t kAcLookBitsMask = 63;

constexpr int kMaxBlocksPerMcu = 10;

// The byte value 1 in each of the eight bytes of a 64-bit word, and the top
// bit of each byte: the word-at-a-time tests and fills work byte-wise.
constexpr uint64_t kEachByteOne = 0x0101010101010101ull;
constexpr uint64_t kEachByteTop = 0x8080808080808080ull;

inline int CeilDiv(int a, int b) { return (a + b - 1) / b; }

// How a stage gives up: fail() throws the error code to the decoder's entry
// point, which records it (the first one only), lets go of the stream and
// frees every block. No exception ever leaves the decoder.
struct failure {
    int code;
};
[[noreturn]] void fail(int code);

// Thrown when a scan's entropy-coded data has ended (see
// input_stage::bad_data); the scan loops catch it.
struct data_ended {};

// Decoding tables derived from one slot's counts and symbols.
struct huff_derived {
    // Codes of up to kLookBits bits: (length << 8) | symbol, indexed by the
    // next kLookBits bits; 0 where a longer code (or none) starts.
    uint16_t look[1 << kLookBits];
    // Codes with their value bits, for the sequential block decoder. AC
    // slots: for symbols whose code and value bits fit in kLookBits, the
    // extended value << 16 | run << 8 | kAcLookHit | bits consumed; for an
    // end of block whose code fits, kAcLookEnd | code length; for other
    // codes that fit, with a value of 1 to 10 bits, value size << 16 |
    // run << 8 | kAcLookCode | code length. DC slots: the extended
    // difference << 16 | kAcLookHit | bits consumed, where code and value
    // bits fit. Else 0.
    int32_t value_look[1 << kLookBits];
    int32_t maxcode[17];    // largest code of each length, -1 if none
    int32_t valoffset[17];  // symbol index = valoffset[length] + code
    uint8_t values[256];
};

// The picture's memory: every block goes through this table, so that one
// sweep frees it all. Blocks come zero-filled, on 64-byte boundaries (a
// cache line, and a whole number of SIMD vectors).
struct block_table {
    static constexpr int max_allocations = 100;
    void* blocks[max_allocations];

    // Fails with -221 when the table is full, -233 when memory runs out.
    void* alloc(std::size_t bytes);
    void free_all();
};

}  // namespace jpeg_decoder_detail
