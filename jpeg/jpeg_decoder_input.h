// The input stage's state: the stream, the input buffer and the bit reader
// (jpeg_decoder_input.cpp), and the bit reader's hot path, which lives
// here, inline, because both scan stages run it per coefficient and it must
// not cost a call.
#pragma once

#include <cstdint>
#include <cstring>

#include "jpeg/jpeg_decoder_internal.h"

namespace jpeg_decoder_detail {

struct bit_cursor;

struct input_stage {
    static constexpr int in_buf_size = 4096;
    static constexpr int in_buf_pad = 128;
    static constexpr int in_buf_front = 8;

    jpeg_decoder_stream_base* stream;  // null once let go of
    // Input buffer: room in front for pushed-back bytes, the data, padding.
    uint8_t in_buf[in_buf_front + in_buf_size + in_buf_pad];
    uint8_t* in_pos;
    uint8_t* in_end;
    int eof_flag;
    int tem_flag;

    // Bit reader: bits MSB-aligned in bit_buf; bit_count of them valid.
    uint64_t bit_buf;
    int bit_count;
    int marker_hit;
    int pad_bits;  // bits of padding (past a marker) in bit_buf
    // Set by the scan stages when a scan's data ended before its last block.
    int data_ended_early;

    // Takes the stream and reads the first bufferful; close() lets it go.
    void open(jpeg_decoder_stream_base* s);
    void close();

    void fill_in_buffer();
    uint32_t get_byte();
    void push_back(uint32_t c);
    uint32_t get_word();
    void skip_bytes(uint32_t count);
    uint32_t next_data_byte();

    void fill_bits();
    void refill_fast(uint64_t& buf, int& cnt);
    void reset_bit_reader();
    int decode_symbol_slow(const huff_derived& h);
    [[noreturn]] void bad_data(int cnt, int examined) const;
};

// Tops up the bit buffer to more than 56 bits, a byte at a time: plain bytes
// straight from the input buffer, 0xFF bytes (stuffing or a marker) through
// next_data_byte.
inline void input_stage::fill_bits()
{
    while (bit_count <= 56) {
        uint32_t c;
        if (in_pos < in_end && *in_pos != 0xFF) {
            c = *in_pos++;
        } else {
            c = next_data_byte();
        }
        bit_buf |= static_cast<uint64_t>(c) << (56 - bit_count);
        bit_count += 8;
    }
}

// Fast refill for the hot loop: when the next 8 buffered bytes hold no
// 0xFF (so no stuffing and no marker), they are added in one go; otherwise
// the byte-by-byte reader takes over. Leaves more than 56 bits.
inline void input_stage::refill_fast(uint64_t& buf, int& cnt)
{
    uint8_t* p = in_pos;
    if (in_end - p >= 8) {
        uint64_t v;
        std::memcpy(&v, p, 8);
        v = __builtin_bswap64(v);
        uint64_t x = ~v;  // a zero byte in x is a 0xFF byte in v
        if (((x - kEachByteOne) & ~x & kEachByteTop) == 0) {
            int bytes = (64 - cnt) >> 3;
            int total = cnt + 8 * bytes;
            buf |= (v >> cnt) & (~0ull << (64 - total));
            cnt = total;
            in_pos = p + bytes;
            return;
        }
    }
    bit_buf = buf;
    bit_count = cnt;
    fill_bits();
    buf = bit_buf;
    cnt = bit_count;
}

// The bit reader in registers for the hot loops: a copy of the input
// stage's bit buffer, handed back (store) before anything else reads the
// input and taken again (load) after.
struct bit_cursor {
    input_stage& in;
    uint64_t buf;
    int cnt;

    explicit bit_cursor(input_stage& input) : in(input) { load(); }
    void load()
    {
        buf = in.bit_buf;
        cnt = in.bit_count;
    }
    void store()
    {
        in.bit_buf = buf;
        in.bit_count = cnt;
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
        buf <<= f & kAcLookBitsMask;
        cnt -= f & (kAcLookHit - 1);
    }
    // n from 1 to 16 bits.
    uint32_t take(int n)
    {
        if (cnt < n) in.refill_fast(buf, cnt);
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
        if (cnt < 32) in.refill_fast(buf, cnt);
        uint32_t e = h.look[buf >> (64 - kLookBits)];
        if (e != 0) {
            skip(static_cast<int>(e >> 8));
            return static_cast<int>(e & 0xFF);
        }
        store();
        int sym = in.decode_symbol_slow(h);
        load();
        return sym;
    }
    // Data that breaks the coding, the last `examined` bits taken (see
    // input_stage::bad_data).
    [[noreturn]] void bad_data(int examined) const { in.bad_data(cnt, examined); }
    // Before each MCU: true when every bit still to come is padding, so the
    // scan's data has ended and the MCU is not decoded. The bit buffer is
    // topped up first when it runs low, to find out whether a marker
    // follows.
    bool data_exhausted()
    {
        if (cnt < 8) in.refill_fast(buf, cnt);
        return in.marker_hit && cnt <= in.pad_bits;
    }
};

}  // namespace jpeg_decoder_detail
