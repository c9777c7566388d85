// Input and the bit reader. The streams deliver bytes; the decoder keeps
// them in a 4096-byte buffer refilled only when empty, with room in front
// for pushed-back bytes and end-of-image padding behind the true end of the
// data. Entropy-coded data is read through a 64-bit bit buffer that undoes
// byte stuffing (0xFF 0x00) and stops at a marker, which stays in the input
// for marker processing to consume. The bit buffer's hot refill is inline
// in jpeg_decoder_input.h.
#include <cstring>

#include "jpeg/jpeg_decoder_input.h"
#include "os/files.h"
#include "pixmap/pixmap.h"

using namespace jpeg_decoder_detail;

namespace {

// Reads in a row that deliver nothing, after which a stream that has not
// reported its end is taken to have ended.
constexpr int max_empty_reads = 1000;

}  // namespace

// ---------------------------------------------------------------- streams

jpeg_decoder_stream_base::~jpeg_decoder_stream_base() = default;
void jpeg_decoder_stream_base::notify_start() {}
void jpeg_decoder_stream_base::notify_stop() {}

jpeg_decoder_file_stream::jpeg_decoder_file_stream() : file(nullptr), eof(false), error(false) {}

jpeg_decoder_file_stream::~jpeg_decoder_file_stream()
{
    close();
}

void jpeg_decoder_file_stream::close()
{
    if (file != nullptr) {
        ResFile_Close(file);
        file = nullptr;
    }
    eof = false;
    error = false;
}

void jpeg_decoder_file_stream::open(const char* resname)
{
    close();
    file = ResFile_Open(resname);
}

int jpeg_decoder_file_stream::read(unsigned char* buffer, int max_bytes, bool* eof_flag)
{
    if (file == nullptr) return -1;
    if (eof) {
        *eof_flag = true;
        return 0;
    }
    if (error) return -1;
    int got = ResFile_Read(buffer, max_bytes, file);
    if (got < max_bytes) {
        eof = true;
        *eof_flag = true;
    }
    return got;
}

jpeg_decoder_memory_stream::jpeg_decoder_memory_stream(const void* data, std::size_t size)
    : data_(static_cast<const unsigned char*>(data)), size_(data != nullptr ? size : 0), position_(0)
{
}

int jpeg_decoder_memory_stream::read(unsigned char* buffer, int max_bytes, bool* eof_flag)
{
    std::size_t left = size_ - position_;
    std::size_t n = max_bytes > 0 ? static_cast<std::size_t>(max_bytes) : 0;
    if (n > left) n = left;
    if (n > 0) std::memcpy(buffer, data_ + position_, n);
    position_ += n;
    if (position_ == size_) *eof_flag = true;
    return static_cast<int>(n);
}

jpeg_decoder_stdio_stream::jpeg_decoder_stdio_stream() : file_(nullptr), eof_(false) {}

jpeg_decoder_stdio_stream::~jpeg_decoder_stdio_stream()
{
    if (file_ != nullptr) std::fclose(file_);
}

bool jpeg_decoder_stdio_stream::open(const char* path)
{
    if (file_ != nullptr) std::fclose(file_);
    eof_ = false;
    file_ = os::OpenFile(path, "rb");
    if (file_ == nullptr) return false;
    // Some systems open a folder for reading, to fail only at the first read.
    const os::FileKind kind = os::KindOf(file_);
    if (kind == os::FileKind::None || kind == os::FileKind::Folder) {
        std::fclose(file_);
        file_ = nullptr;
        return false;
    }
    return true;
}

int jpeg_decoder_stdio_stream::read(unsigned char* buffer, int max_bytes, bool* eof_flag)
{
    if (file_ == nullptr) return -1;
    if (eof_ || max_bytes <= 0) {
        *eof_flag = eof_;
        return 0;
    }
    std::size_t got = std::fread(buffer, 1, static_cast<std::size_t>(max_bytes), file_);
    if (got < static_cast<std::size_t>(max_bytes)) {
        if (std::ferror(file_)) return -1;
        eof_ = true;
        *eof_flag = true;
    }
    return static_cast<int>(got);
}

// ---------------------------------------------------------------- input

void input_stage::open(jpeg_decoder_stream_base* s)
{
    stream = s;
    in_pos = in_end = in_buf + in_buf_front;
    stream->notify_start();
    fill_in_buffer();
}

void input_stage::close()
{
    if (stream != nullptr) {
        stream->notify_stop();
        stream = nullptr;
    }
}

// Refills the empty buffer: asks the stream for the free space until the
// buffer is full or the stream reports its end (after which it is never
// asked again). Only behind the true end of the data do end-of-image
// markers pad the buffer.
void input_stage::fill_in_buffer()
{
    uint8_t* data = in_buf + in_buf_front;
    int count = 0;
    int empty_reads = 0;
    while (count < in_buf_size && !eof_flag) {
        bool eof = false;
        int got = stream != nullptr ? stream->read(data + count, in_buf_size - count, &eof) : -1;
        if (got < 0) fail(JPEG_STREAM_READ);
        if (got > in_buf_size - count) got = in_buf_size - count;
        count += got;
        if (eof) eof_flag = 1;
        // A stream that keeps delivering nothing without reporting its end
        // is taken to have ended, so this loop always stops.
        empty_reads = got == 0 ? empty_reads + 1 : 0;
        if (empty_reads == max_empty_reads) eof_flag = 1;
    }
    in_pos = data;
    in_end = data + count;
    if (eof_flag) {
        for (int i = 0; i < in_buf_pad; i += 2) {
            data[count + i] = 0xFF;
            data[count + i + 1] = M_EOI;
        }
    }
}

// The next input byte. Past the end of the data the input reads as
// 0xFF 0xD9 pairs for ever.
uint32_t input_stage::get_byte()
{
    if (in_pos == in_end) {
        fill_in_buffer();
        if (in_pos == in_end) {
            tem_flag ^= 1;
            return tem_flag ? 0xFF : M_EOI;
        }
    }
    return *in_pos++;
}

// Puts a byte back in front of the read position. The buffer keeps room in
// front of its data, so this works right after a refill too.
void input_stage::push_back(uint32_t c)
{
    if (in_pos == in_buf) fail(JPEG_ASSERTION_ERROR);
    *--in_pos = static_cast<uint8_t>(c);
}

// A two-byte big-endian value, as marker segments hold their lengths.
uint32_t input_stage::get_word()
{
    uint32_t hi = get_byte();
    return (hi << 8) | get_byte();
}

// Passes over `count` bytes: what the buffer holds in one step, the rest as
// it arrives.
void input_stage::skip_bytes(uint32_t count)
{
    while (count > 0) {
        uint32_t avail = static_cast<uint32_t>(in_end - in_pos);
        if (avail == 0) {
            get_byte();
            --count;
            continue;
        }
        uint32_t n = avail < count ? avail : count;
        in_pos += n;
        count -= n;
    }
}

// The next byte of entropy-coded data for the bit reader: a stuffed
// 0xFF 0x00 is one 0xFF; a marker stays in the input and reads as 0xFF bytes
// (padding, counted in pad_bits) until marker processing consumes it.
uint32_t input_stage::next_data_byte()
{
    if (!marker_hit) {
        uint32_t c = get_byte();
        if (c != 0xFF) return c;
        uint32_t c2 = get_byte();
        if (c2 == 0) return 0xFF;
        push_back(c2);
        push_back(0xFF);
        marker_hit = 1;
    }
    pad_bits += 8;
    return 0xFF;
}

// ---------------------------------------------------------------- bit reader

// Empties the bit buffer and forgets a marker met in the data: at the start
// of a scan, after a restart marker, and before marker processing resumes.
void input_stage::reset_bit_reader()
{
    bit_buf = 0;
    bit_count = 0;
    marker_hit = 0;
    pad_bits = 0;
}

// Data that breaks the coding: corrupt when the bits that broke it are the
// scan's own, but only the end of the data when some of them (the cnt bits
// left before the last examined ones were taken) are padding. Then the
// scan stops where it is (data_ended, caught by the scan loops).
void input_stage::bad_data(int cnt, int examined) const
{
    if (cnt - examined < pad_bits) throw data_ended{};
    fail(JPEG_DECODE_ERROR);
}

// Codes longer than the lookahead; a pattern that is no code is corrupt data.
int input_stage::decode_symbol_slow(const huff_derived& h)
{
    if (bit_count < 16) fill_bits();
    int32_t peek = static_cast<int32_t>(bit_buf >> 48);
    for (int len = kLookBits + 1; len <= 16; ++len) {
        int32_t code = peek >> (16 - len);
        if (code <= h.maxcode[len]) {
            bit_buf <<= len;
            bit_count -= len;
            return h.values[(h.valoffset[len] + code) & 0xFF];
        }
    }
    bad_data(bit_count, 16);
}
