// What the stages of jpeg_decoder share, private to jpeg/: marker codes,
// the MCU layouts, the zig-zag order, the derived Huffman tables, and the
// bit reader's hot path. The hot path lives here, inline, because both scan
// stages run it per coefficient and it must not cost a call.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

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

}  // namespace jpeg_decoder_detail

// Decoding tables derived from one slot's counts and symbols.
struct jpeg_decoder::huff_derived {
    // Codes of up to kLookBits bits: (length << 8) | symbol, indexed by the
    // next kLookBits bits; 0 where a longer code (or none) starts.
    uint16_t look[1 << jpeg_decoder_detail::kLookBits];
    // Codes with their value bits, for the sequential block decoder. AC
    // slots: for symbols whose code and value bits fit in kLookBits, the
    // extended value << 16 | run << 8 | kAcLookHit | bits consumed; for an
    // end of block whose code fits, kAcLookEnd | code length; for other
    // codes that fit, with a value of 1 to 10 bits, value size << 16 |
    // run << 8 | kAcLookCode | code length. DC slots: the extended
    // difference << 16 | kAcLookHit | bits consumed, where code and value
    // bits fit. Else 0.
    int32_t value_look[1 << jpeg_decoder_detail::kLookBits];
    int32_t maxcode[17];    // largest code of each length, -1 if none
    int32_t valoffset[17];  // symbol index = valoffset[length] + code
    uint8_t values[256];
};

// Tops up the bit buffer to more than 56 bits, a byte at a time: plain bytes
// straight from the input buffer, 0xFF bytes (stuffing or a marker) through
// next_data_byte.
inline void jpeg_decoder::fill_bits()
{
    while (bit_count_ <= 56) {
        uint32_t c;
        if (in_pos_ < in_end_ && *in_pos_ != 0xFF) {
            c = *in_pos_++;
        } else {
            c = next_data_byte();
        }
        bit_buf_ |= static_cast<uint64_t>(c) << (56 - bit_count_);
        bit_count_ += 8;
    }
}

// Fast refill for the hot loop: when the next 8 buffered bytes hold no
// 0xFF (so no stuffing and no marker), they are added in one go; otherwise
// the byte-by-byte reader takes over. Leaves more than 56 bits.
inline void jpeg_decoder::refill_fast(uint64_t& buf, int& cnt)
{
    using jpeg_decoder_detail::kEachByteOne;
    using jpeg_decoder_detail::kEachByteTop;
    uint8_t* p = in_pos_;
    if (in_end_ - p >= 8) {
        uint64_t v;
        std::memcpy(&v, p, 8);
        v = __builtin_bswap64(v);
        uint64_t x = ~v;  // a zero byte in x is a 0xFF byte in v
        if (((x - kEachByteOne) & ~x & kEachByteTop) == 0) {
            int bytes = (64 - cnt) >> 3;
            int total = cnt + 8 * bytes;
            buf |= (v >> cnt) & (~0ull << (64 - total));
            cnt = total;
            in_pos_ = p + bytes;
            return;
        }
    }
    bit_buf_ = buf;
    bit_count_ = cnt;
    fill_bits();
    buf = bit_buf_;
    cnt = bit_count_;
}

// The bit reader in registers for the hot loops: a copy of the object's bit
// buffer, handed back (store) before anything else reads the input and taken
// again (load) after.
struct jpeg_decoder::bit_cursor {
    jpeg_decoder& d;
    uint64_t buf;
    int cnt;

    explicit bit_cursor(jpeg_decoder& owner) : d(owner) { load(); }
    void load()
    {
        buf = d.bit_buf_;
        cnt = d.bit_count_;
    }
    void store()
    {
        d.bit_buf_ = buf;
        d.bit_count_ = cnt;
    }
    void skip(int n)
    {
        buf <<= n;
        cnt -= n;
    }
    // The bits a complete value_look entry consumes. The shift takes its
    // count modulo 64 on x86-64, so the count's mask is left to it and kept
    // off the bit buffer's chain of dependent steps; the count subtracted
    // masks the entry's flags another way (bit 6 is clear in such entries)
    // so that the two stay separate computations.
    void skip_hit(int32_t f)
    {
        buf <<= f & jpeg_decoder_detail::kAcLookBitsMask;
        cnt -= f & (jpeg_decoder_detail::kAcLookHit - 1);
    }
    // n from 1 to 16 bits.
    uint32_t take(int n)
    {
        if (cnt < n) d.refill_fast(buf, cnt);
        uint32_t v = static_cast<uint32_t>(buf >> (64 - n));
        skip(n);
        return v;
    }
    // RECEIVE and EXTEND of s bits, s from 1 to 16.
    int extend(int s)
    {
        int v = static_cast<int>(take(s));
        if (v < (1 << (s - 1))) v -= (1 << s) - 1;
        return v;
    }
    int symbol(const huff_derived& h)
    {
        using jpeg_decoder_detail::kLookBits;
        if (cnt < 32) d.refill_fast(buf, cnt);
        uint32_t e = h.look[buf >> (64 - kLookBits)];
        if (e != 0) {
            skip(static_cast<int>(e >> 8));
            return static_cast<int>(e & 0xFF);
        }
        store();
        int sym = d.decode_symbol_slow(h);
        load();
        return sym;
    }
};

// Before each MCU: true when every bit still to come is padding, so the
// scan's data has ended and the MCU is not decoded. The bit buffer is
// topped up first when it runs low, to find out whether a marker follows.
inline bool jpeg_decoder::data_exhausted(bit_cursor& bc)
{
    if (bc.cnt < 8) refill_fast(bc.buf, bc.cnt);
    return marker_hit_ && bc.cnt <= pad_bits_;
}

// Before each MCU of a scan with restarts: when the interval is used up,
// the restart marker is read (through the stream, so the cursor's bits go
// back to the decoder first).
inline void jpeg_decoder::count_restart_interval(bit_cursor& bc)
{
    if (restart_interval_ == 0) return;
    if (restarts_left_ == 0) {
        bc.store();
        process_restart();
        bc.load();
    }
    --restarts_left_;
}
