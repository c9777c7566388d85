// The JPEG decoder: input buffering, markers and headers, Huffman decoding
// of sequential and progressive scans, and line output.
#include "jpeg/jpeg_decoder.h"

#include <algorithm>
#include <cstring>

#include "error/memory.h"
#include "pixmap/pixmap.h"

namespace {

// Natural (row-major) position of each zig-zag index.
const uint8_t kZigzag[64] = {
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

enum : int { LAYOUT_GREY, LAYOUT_H1V1, LAYOUT_H2V1, LAYOUT_H1V2, LAYOUT_H2V2 };

constexpr int kLookBits = 10;
constexpr int kMaxBlocksPerMcu = 10;
constexpr int kRestartSearchBytes = 1536;
constexpr std::size_t kAlign = 64;
constexpr int max_empty_reads = 1000;

inline int CeilDiv(int a, int b) { return (a + b - 1) / b; }

}  // namespace

// Decoding tables derived from one slot's counts and symbols.
struct jpeg_decoder::huff_derived {
    // Codes of up to kLookBits bits: (length << 8) | symbol, indexed by the
    // next kLookBits bits; 0 where a longer code (or none) starts.
    uint16_t look[1 << kLookBits];
    // For AC symbols whose code and extra bits fit in kLookBits: the
    // extended value << 16 | run << 8 | 0x80 | bits consumed; else 0.
    int32_t ac_look[1 << kLookBits];
    int32_t maxcode[17];    // largest code of each length, -1 if none
    int32_t valoffset[17];  // symbol index = valoffset[length] + code
    uint8_t values[256];
};

const char* jpeg_error_text(int code)
{
    switch (code) {
    case JPEG_BAD_DHT_COUNTS: return "Huffman table counts add up to more than 255";
    case JPEG_BAD_DHT_INDEX: return "bad Huffman table index";
    case JPEG_BAD_DHT_MARKER: return "bad Huffman table segment";
    case JPEG_BAD_DQT_MARKER: return "bad quantisation table segment";
    case JPEG_BAD_DQT_TABLE: return "bad quantisation table number";
    case JPEG_BAD_PRECISION: return "sample precision other than 8";
    case JPEG_BAD_HEIGHT: return "bad image height";
    case JPEG_BAD_WIDTH: return "bad image width";
    case JPEG_TOO_MANY_COMPONENTS: return "too many components";
    case JPEG_BAD_SOF_LENGTH: return "bad frame header length";
    case JPEG_BAD_VARIABLE_MARKER: return "bad segment length";
    case JPEG_BAD_DRI_LENGTH: return "bad restart interval segment";
    case JPEG_BAD_SOS_LENGTH: return "bad scan header";
    case JPEG_BAD_SOS_COMP_ID: return "scan names an unknown component";
    case JPEG_TOO_MANY_SCANS: return "too many progressive scans";
    case JPEG_NO_ARITHMETIC_SUPPORT: return "arithmetic coding is not supported";
    case JPEG_UNEXPECTED_MARKER: return "unexpected marker";
    case JPEG_NOT_JPEG: return "not a JPEG file";
    case JPEG_UNSUPPORTED_MARKER: return "unsupported frame type";
    case JPEG_BAD_DQT_LENGTH: return "quantisation table segment too short";
    case JPEG_BAD_HUFF_TABLE: return "over-subscribed Huffman table";
    case JPEG_TOO_MANY_BLOCKS: return "too many memory blocks";
    case JPEG_UNDEFINED_QUANT_TABLE: return "undefined quantisation table";
    case JPEG_UNDEFINED_HUFF_TABLE: return "undefined Huffman table";
    case JPEG_DUPLICATE_COMP_ID: return "component identifier appears twice";
    case JPEG_UNSUPPORTED_COLORSPACE: return "unsupported number of components";
    case JPEG_UNSUPPORTED_SAMP_FACTORS: return "unsupported sampling factors";
    case JPEG_DECODE_ERROR: return "corrupt entropy-coded data";
    case JPEG_BAD_RESTART_MARKER: return "restart marker missing or out of order";
    case JPEG_ASSERTION_ERROR: return "block outside its buffer";
    case JPEG_BAD_SOS_SPECTRAL: return "bad spectral selection";
    case JPEG_BAD_SOS_SUCCESSIVE: return "bad successive approximation";
    case JPEG_STREAM_READ: return "read error";
    case JPEG_NOTENOUGHMEM: return "out of memory";
    default: return "unknown error";
    }
}

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
    file_ = std::fopen(path, "rb");
    return file_ != nullptr;
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

// ---------------------------------------------------------------- life cycle

jpeg_decoder::jpeg_decoder(jpeg_decoder_stream_base* stream)
{
    std::memset(static_cast<void*>(this), 0, sizeof(*this));
    stream_ = stream;
    kernels_ = &jpeg_kernels::Active();
    in_pos_ = in_end_ = in_buf_ + in_buf_front;
    try {
        if (stream_ == nullptr) stop_decoding(JPEG_STREAM_READ);
        stream_->notify_start();
        fill_in_buffer();
        locate_soi();
        int marker = process_markers();
        if (marker == M_SOF2) {
            progressive_ = 1;
        } else if (marker == M_SOF9) {
            stop_decoding(JPEG_NO_ARITHMETIC_SUPPORT);
        } else if (marker != M_SOF0 && marker != M_SOF1) {
            stop_decoding(JPEG_UNSUPPORTED_MARKER);
        }
        read_sof();
    } catch (const failure&) {
    }
}

jpeg_decoder::~jpeg_decoder()
{
    if (stream_ != nullptr) {
        stream_->notify_stop();
        stream_ = nullptr;
    }
    free_all_blocks();
}

void jpeg_decoder::stop_decoding(int code)
{
    if (error_code_ == 0) error_code_ = code;
    if (stream_ != nullptr) {
        stream_->notify_stop();
        stream_ = nullptr;
    }
    free_all_blocks();
    throw failure{};
}

void* jpeg_decoder::alloc(std::size_t bytes)
{
    int slot = 0;
    while (slot < max_allocations && blocks_[slot] != nullptr) ++slot;
    if (slot == max_allocations) stop_decoding(JPEG_TOO_MANY_BLOCKS);
    void* block = orchid::MemAlloc(bytes + kAlign);
    if (block == nullptr) stop_decoding(JPEG_NOTENOUGHMEM);
    blocks_[slot] = block;
    uintptr_t p = reinterpret_cast<uintptr_t>(block);
    return reinterpret_cast<void*>((p + kAlign - 1) & ~(static_cast<uintptr_t>(kAlign) - 1));
}

void jpeg_decoder::free_all_blocks()
{
    for (void*& block : blocks_) {
        orchid::MemFree(block);
        block = nullptr;
    }
    derived_ = nullptr;
}

// ---------------------------------------------------------------- input

// Refills the empty buffer: asks the stream for the free space until the
// buffer is full or the stream reports its end (after which it is never
// asked again). Only behind the true end of the data do end-of-image
// markers pad the buffer.
void jpeg_decoder::fill_in_buffer()
{
    uint8_t* data = in_buf_ + in_buf_front;
    int count = 0;
    int empty_reads = 0;
    while (count < in_buf_size && !eof_flag_) {
        bool eof = false;
        int got = stream_ != nullptr ? stream_->read(data + count, in_buf_size - count, &eof) : -1;
        if (got < 0) stop_decoding(JPEG_STREAM_READ);
        if (got > in_buf_size - count) got = in_buf_size - count;
        count += got;
        if (eof) eof_flag_ = 1;
        // A stream that keeps delivering nothing without reporting its end
        // is taken to have ended, so this loop always stops.
        empty_reads = got == 0 ? empty_reads + 1 : 0;
        if (empty_reads == max_empty_reads) eof_flag_ = 1;
    }
    in_pos_ = data;
    in_end_ = data + count;
    if (eof_flag_) {
        for (int i = 0; i < in_buf_pad; i += 2) {
            data[count + i] = 0xFF;
            data[count + i + 1] = M_EOI;
        }
    }
}

// The next input byte. Past the end of the data the input reads as
// 0xFF 0xD9 pairs for ever.
uint32_t jpeg_decoder::get_byte()
{
    if (in_pos_ == in_end_) {
        fill_in_buffer();
        if (in_pos_ == in_end_) {
            tem_flag_ ^= 1;
            return tem_flag_ ? 0xFF : M_EOI;
        }
    }
    return *in_pos_++;
}

// Puts a byte back in front of the read position. The buffer keeps room in
// front of its data, so this works right after a refill too.
void jpeg_decoder::push_back(uint32_t c)
{
    if (in_pos_ == in_buf_) stop_decoding(JPEG_ASSERTION_ERROR);
    *--in_pos_ = static_cast<uint8_t>(c);
}

uint32_t jpeg_decoder::get_word()
{
    uint32_t hi = get_byte();
    return (hi << 8) | get_byte();
}

// The next byte of entropy-coded data for the bit reader: a stuffed
// 0xFF 0x00 is one 0xFF; a marker stays in the input and reads as 0xFF bytes
// until marker processing consumes it.
uint32_t jpeg_decoder::next_data_byte()
{
    if (marker_hit_) return 0xFF;
    uint32_t c = get_byte();
    if (c != 0xFF) return c;
    uint32_t c2 = get_byte();
    if (c2 == 0) return 0xFF;
    push_back(c2);
    push_back(0xFF);
    marker_hit_ = 1;
    return 0xFF;
}

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

void jpeg_decoder::reset_bit_reader()
{
    bit_buf_ = 0;
    bit_count_ = 0;
    marker_hit_ = 0;
}

// Codes longer than the lookahead; a pattern that is no code is corrupt data.
int jpeg_decoder::decode_symbol_slow(const huff_derived& h)
{
    if (bit_count_ < 16) fill_bits();
    int32_t peek = static_cast<int32_t>(bit_buf_ >> 48);
    for (int len = kLookBits + 1; len <= 16; ++len) {
        int32_t code = peek >> (16 - len);
        if (code <= h.maxcode[len]) {
            bit_buf_ <<= len;
            bit_count_ -= len;
            return h.values[(h.valoffset[len] + code) & 0xFF];
        }
    }
    stop_decoding(JPEG_DECODE_ERROR);
}

// ---------------------------------------------------------------- markers

void jpeg_decoder::locate_soi()
{
    uint32_t last = get_byte();
    uint32_t cur = get_byte();
    if (!(last == 0xFF && cur == M_SOI)) {
        bool found = false;
        for (int i = 0; i < 511 && !found; ++i) {
            last = cur;
            cur = get_byte();
            found = last == 0xFF && cur == M_SOI;
        }
        if (!found) stop_decoding(JPEG_NOT_JPEG);
    }
    uint32_t next = get_byte();
    push_back(next);
    if (next != 0xFF) stop_decoding(JPEG_NOT_JPEG);
}

int jpeg_decoder::next_marker()
{
    for (;;) {
        uint32_t c;
        do {
            c = get_byte();
        } while (c != 0xFF);
        do {
            c = get_byte();
        } while (c == 0xFF);
        if (c != 0) return static_cast<int>(c);
    }
}

int jpeg_decoder::process_markers()
{
    for (;;) {
        int c = next_marker();
        switch (c) {
        case M_SOF0: case M_SOF1: case M_SOF2: case M_SOF3: case M_SOF5: case M_SOF6:
        case M_SOF7: case M_SOF9: case M_SOF10: case M_SOF11: case M_SOF13: case M_SOF14:
        case M_SOF15: case M_SOI: case M_EOI: case M_SOS:
            return c;
        case M_DHT:
            read_dht();
            break;
        case M_DQT:
            read_dqt();
            break;
        case M_DRI:
            read_dri();
            break;
        case M_DAC:
            stop_decoding(JPEG_NO_ARITHMETIC_SUPPORT);
        case M_TEM:
        case M_JPG:
            stop_decoding(JPEG_UNEXPECTED_MARKER);
        default:
            if (c >= M_RST0 && c <= M_RST7) stop_decoding(JPEG_UNEXPECTED_MARKER);
            skip_variable_marker();
            break;
        }
    }
}

void jpeg_decoder::skip_variable_marker()
{
    uint32_t len = get_word();
    if (len < 2) stop_decoding(JPEG_BAD_VARIABLE_MARKER);
    len -= 2;
    while (len > 0) {
        uint32_t avail = static_cast<uint32_t>(in_end_ - in_pos_);
        if (avail == 0) {
            get_byte();
            --len;
            continue;
        }
        uint32_t n = avail < len ? avail : len;
        in_pos_ += n;
        len -= n;
    }
}

void jpeg_decoder::read_dht()
{
    int left = static_cast<int>(get_word());
    if (left < 2) stop_decoding(JPEG_BAD_DHT_MARKER);
    left -= 2;
    uint8_t counts[16];
    uint8_t values[256];
    while (left > 0) {
        int index = static_cast<int>(get_byte());
        int total = 0;
        for (int i = 0; i < 16; ++i) {
            counts[i] = static_cast<uint8_t>(get_byte());
            total += counts[i];
        }
        if (total > 255) stop_decoding(JPEG_BAD_DHT_COUNTS);
        for (int i = 0; i < total; ++i) values[i] = static_cast<uint8_t>(get_byte());
        if (left < 17 + total) stop_decoding(JPEG_BAD_DHT_MARKER);
        int slot = (index & 15) + ((index & 0x10) ? 4 : 0);
        if (slot >= 8) stop_decoding(JPEG_BAD_DHT_INDEX);
        std::memcpy(huff_counts_[slot], counts, 16);
        std::memset(huff_values_[slot], 0, 256);
        std::memcpy(huff_values_[slot], values, static_cast<std::size_t>(total));
        huff_defined_[slot] = 1;
        left -= 17 + total;
    }
}

void jpeg_decoder::read_dqt()
{
    int left = static_cast<int>(get_word());
    if (left < 2) stop_decoding(JPEG_BAD_DQT_MARKER);
    left -= 2;
    while (left > 0) {
        uint32_t n = get_byte();
        int table = static_cast<int>(n & 15);
        if (table >= 4) stop_decoding(JPEG_BAD_DQT_TABLE);
        bool wide = (n >> 4) != 0;
        for (int i = 0; i < 64; ++i) {
            quant_[table][i] = static_cast<uint16_t>(wide ? get_word() : get_byte());
        }
        int need = wide ? 129 : 65;
        if (left < need) stop_decoding(JPEG_BAD_DQT_LENGTH);
        quant_defined_[table] = 1;
        left -= need;
    }
}

void jpeg_decoder::read_dri()
{
    if (get_word() != 4) stop_decoding(JPEG_BAD_DRI_LENGTH);
    restart_interval_ = static_cast<int>(get_word());
}

void jpeg_decoder::read_sof()
{
    uint32_t len = get_word();
    if (get_byte() != 8) stop_decoding(JPEG_BAD_PRECISION);
    image_y_size_ = static_cast<int>(get_word());
    if (image_y_size_ < 1 || image_y_size_ > max_dimension) stop_decoding(JPEG_BAD_HEIGHT);
    image_x_size_ = static_cast<int>(get_word());
    if (image_x_size_ < 1 || image_x_size_ > max_dimension) stop_decoding(JPEG_BAD_WIDTH);
    comps_in_frame_ = static_cast<int>(get_byte());
    if (comps_in_frame_ > 4) stop_decoding(JPEG_TOO_MANY_COMPONENTS);
    if (len != 8 + 3 * static_cast<uint32_t>(comps_in_frame_)) stop_decoding(JPEG_BAD_SOF_LENGTH);
    for (int i = 0; i < comps_in_frame_; ++i) {
        comp_ident_[i] = static_cast<int>(get_byte());
        uint32_t hv = get_byte();
        comp_h_samp_[i] = static_cast<int>(hv >> 4);
        comp_v_samp_[i] = static_cast<int>(hv & 15);
        comp_quant_[i] = static_cast<int>(get_byte());
        for (int j = 0; j < i; ++j) {
            if (comp_ident_[j] == comp_ident_[i]) stop_decoding(JPEG_DUPLICATE_COMP_ID);
        }
    }
}

void jpeg_decoder::read_sos()
{
    uint32_t len = get_word();
    int n = static_cast<int>(get_byte());
    comps_in_scan_ = n;
    if (len != 6 + 2 * static_cast<uint32_t>(n) || n < 1 || n > 4) stop_decoding(JPEG_BAD_SOS_LENGTH);
    for (int i = 0; i < n; ++i) {
        int id = static_cast<int>(get_byte());
        uint32_t sel = get_byte();
        int c = 0;
        while (c < comps_in_frame_ && comp_ident_[c] != id) ++c;
        if (c == comps_in_frame_) stop_decoding(JPEG_BAD_SOS_COMP_ID);
        for (int j = 0; j < i; ++j) {
            if (comp_list_[j] == c) stop_decoding(JPEG_BAD_SOS_LENGTH);
        }
        comp_list_[i] = c;
        comp_dc_slot_[i] = static_cast<int>(sel >> 4);
        comp_ac_slot_[i] = 4 + static_cast<int>(sel & 15);
    }
    spectral_start_ = static_cast<int>(get_byte());
    spectral_end_ = static_cast<int>(get_byte());
    uint32_t a = get_byte();
    succ_high_ = static_cast<int>(a >> 4);
    succ_low_ = static_cast<int>(a & 15);
    if (!progressive_) {
        spectral_start_ = 0;
        spectral_end_ = 63;
    }
}

// ---------------------------------------------------------------- set-up

void jpeg_decoder::init_frame()
{
    if (comps_in_frame_ != 1 && comps_in_frame_ != 3) stop_decoding(JPEG_UNSUPPORTED_COLORSPACE);
    max_h_samp_ = 1;
    max_v_samp_ = 1;
    for (int i = 0; i < comps_in_frame_; ++i) {
        // Factors outside 1..4 would enter the block-count divisions.
        if (comp_h_samp_[i] < 1 || comp_h_samp_[i] > 4 || comp_v_samp_[i] < 1 || comp_v_samp_[i] > 4) {
            stop_decoding(JPEG_UNSUPPORTED_SAMP_FACTORS);
        }
        if (comp_h_samp_[i] > max_h_samp_) max_h_samp_ = comp_h_samp_[i];
        if (comp_v_samp_[i] > max_v_samp_) max_v_samp_ = comp_v_samp_[i];
    }

    int yh = 1, yv = 1;
    if (comps_in_frame_ == 1) {
        layout_ = LAYOUT_GREY;
    } else {
        if (comp_h_samp_[1] != 1 || comp_v_samp_[1] != 1 || comp_h_samp_[2] != 1 || comp_v_samp_[2] != 1) {
            stop_decoding(JPEG_UNSUPPORTED_SAMP_FACTORS);
        }
        yh = comp_h_samp_[0];
        yv = comp_v_samp_[0];
        if (yh > 2 || yv > 2) stop_decoding(JPEG_UNSUPPORTED_SAMP_FACTORS);
        static const int kLayouts[2][2] = {{LAYOUT_H1V1, LAYOUT_H1V2}, {LAYOUT_H2V1, LAYOUT_H2V2}};
        layout_ = kLayouts[yh - 1][yv - 1];
    }

    // Blocks of one MCU: Y row by row, then Cb and Cr.
    layout_blocks_ = 0;
    for (int dy = 0; dy < yv; ++dy) {
        for (int dx = 0; dx < yh; ++dx) {
            slot_comp_[layout_blocks_] = 0;
            slot_dx_[layout_blocks_] = dx;
            slot_dy_[layout_blocks_] = dy;
            ++layout_blocks_;
        }
    }
    for (int c = 1; c < comps_in_frame_; ++c) {
        slot_comp_[layout_blocks_] = c;
        slot_dx_[layout_blocks_] = 0;
        slot_dy_[layout_blocks_] = 0;
        ++layout_blocks_;
    }
    mcu_width_ = 8 * yh;
    mcu_height_ = 8 * yv;
    mcus_per_row_ = CeilDiv(image_x_size_, mcu_width_);
    mcus_per_col_ = CeilDiv(image_y_size_, mcu_height_);
    if (layout_blocks_ * mcus_per_row_ > max_blocks_per_row) stop_decoding(JPEG_ASSERTION_ERROR);

    // Sample planes of one MCU row; a little slack behind each lets the
    // SIMD kernels work in whole vectors.
    for (int c = 0; c < comps_in_frame_; ++c) {
        int rows = c == 0 ? mcu_height_ : 8;
        plane_stride_[c] = mcus_per_row_ * (c == 0 ? mcu_width_ : 8);
        plane_[c] = static_cast<uint8_t*>(alloc(static_cast<std::size_t>(plane_stride_[c]) * rows + 64));
    }
    std::size_t line_size = static_cast<std::size_t>((image_x_size_ + 15) & ~15) * pixel_bytes();
    line_buf_[0] = static_cast<uint8_t*>(alloc(line_size + 64));
    line_buf_[1] = static_cast<uint8_t*>(alloc(line_size + 64));
    mcu_coefs_ = static_cast<int16_t*>(alloc(sizeof(int16_t) * 64 * kMaxBlocksPerMcu));
    jpeg_kernels::FillColorTables(&colors_);

    total_lines_left_ = image_y_size_;
    mcu_lines_left_ = 0;
    mcu_row_ = 0;
}

void jpeg_decoder::setup_scan()
{
    int blocks_x[4], blocks_y[4];
    for (int c = 0; c < comps_in_frame_; ++c) {
        blocks_x[c] = CeilDiv(CeilDiv(image_x_size_ * comp_h_samp_[c], max_h_samp_), 8);
        blocks_y[c] = CeilDiv(CeilDiv(image_y_size_ * comp_v_samp_[c], max_v_samp_), 8);
    }
    if (comps_in_scan_ == 1) {
        scan_mcus_x_ = blocks_x[comp_list_[0]];
        scan_mcus_y_ = blocks_y[comp_list_[0]];
        blocks_per_mcu_ = 1;
        mcu_org_[0] = 0;
        mcu_dx_[0] = 0;
        mcu_dy_[0] = 0;
    } else {
        scan_mcus_x_ = CeilDiv(CeilDiv(image_x_size_, 8), max_h_samp_);
        scan_mcus_y_ = CeilDiv(CeilDiv(image_y_size_, 8), max_v_samp_);
        blocks_per_mcu_ = 0;
        for (int s = 0; s < comps_in_scan_; ++s) {
            int c = comp_list_[s];
            for (int dy = 0; dy < comp_v_samp_[c]; ++dy) {
                for (int dx = 0; dx < comp_h_samp_[c]; ++dx) {
                    if (blocks_per_mcu_ == kMaxBlocksPerMcu) stop_decoding(JPEG_ASSERTION_ERROR);
                    mcu_org_[blocks_per_mcu_] = s;
                    mcu_dx_[blocks_per_mcu_] = dx;
                    mcu_dy_[blocks_per_mcu_] = dy;
                    ++blocks_per_mcu_;
                }
            }
        }
    }

    for (int s = 0; s < comps_in_scan_; ++s) {
        if (spectral_start_ == 0 && (comp_dc_slot_[s] > 3 || !huff_defined_[comp_dc_slot_[s]])) {
            stop_decoding(JPEG_UNDEFINED_HUFF_TABLE);
        }
        if (spectral_end_ > 0 && (comp_ac_slot_[s] > 7 || !huff_defined_[comp_ac_slot_[s]])) {
            stop_decoding(JPEG_UNDEFINED_HUFF_TABLE);
        }
    }
    for (int s = 0; s < comps_in_scan_; ++s) {
        int q = comp_quant_[comp_list_[s]];
        if (q > 3 || !quant_defined_[q]) stop_decoding(JPEG_UNDEFINED_QUANT_TABLE);
    }

    derive_tables();
    for (uint32_t& dc : last_dc_) dc = 0;
    eob_run_ = 0;
    restarts_left_ = restart_interval_;
    next_restart_num_ = 0;
    reset_bit_reader();
}

// Derives the decoding tables of every defined slot (T.81 Annex C code
// generation). Counts that over-subscribe a code length are refused.
void jpeg_decoder::derive_tables()
{
    if (derived_ == nullptr) derived_ = static_cast<huff_derived*>(alloc(sizeof(huff_derived) * 8));
    for (int slot = 0; slot < 8; ++slot) {
        if (!huff_defined_[slot]) continue;
        huff_derived& h = derived_[slot];
        // Slots 0-3 only ever serve as DC tables, 4-7 as AC tables; only the
        // latter need the run/value lookahead.
        bool ac_slot = slot >= 4;
        std::memset(h.look, 0, sizeof(h.look));
        if (ac_slot) std::memset(h.ac_look, 0, sizeof(h.ac_look));
        std::memcpy(h.values, huff_values_[slot], 256);
        const uint8_t* counts = huff_counts_[slot];

        int32_t code = 0;
        int index = 0;
        for (int len = 1; len <= 16; ++len) {
            int n = counts[len - 1];
            h.valoffset[len] = index - code;
            h.maxcode[len] = n > 0 ? code + n - 1 : -1;
            if (code + n > (1 << len)) stop_decoding(JPEG_BAD_HUFF_TABLE);
            if (len <= kLookBits) {
                for (int i = 0; i < n; ++i) {
                    int sym = huff_values_[slot][index + i];
                    int first = (code + i) << (kLookBits - len);
                    int span = 1 << (kLookBits - len);
                    int run = sym >> 4, size = sym & 15;
                    for (int j = 0; j < span; ++j) {
                        int idx = first + j;
                        h.look[idx] = static_cast<uint16_t>((len << 8) | sym);
                        if (ac_slot && size != 0 && size <= 10 && len + size <= kLookBits) {
                            int v = (idx >> (kLookBits - len - size)) & ((1 << size) - 1);
                            if (v < (1 << (size - 1))) v -= (1 << size) - 1;
                            h.ac_look[idx] = static_cast<int32_t>(static_cast<uint32_t>(v) << 16) |
                                             (run << 8) | 0x80 | (len + size);
                        }
                    }
                }
            }
            index += n;
            code = (code + n) << 1;
        }
    }
}

void jpeg_decoder::process_restart()
{
    int budget = kRestartSearchBytes;
    uint32_t c;
    for (;;) {
        if (budget-- == 0) stop_decoding(JPEG_BAD_RESTART_MARKER);
        if (get_byte() == 0xFF) break;
    }
    for (;;) {
        if (budget-- == 0) stop_decoding(JPEG_BAD_RESTART_MARKER);
        c = get_byte();
        if (c != 0xFF) break;
    }
    if (c != static_cast<uint32_t>(M_RST0 + next_restart_num_)) stop_decoding(JPEG_BAD_RESTART_MARKER);
    for (uint32_t& dc : last_dc_) dc = 0;
    eob_run_ = 0;
    restarts_left_ = restart_interval_;
    next_restart_num_ = (next_restart_num_ + 1) & 7;
    reset_bit_reader();
}

// ---------------------------------------------------------------- begin

int jpeg_decoder::begin()
{
    if (ready_) return 0;
    if (error_code_ != 0) return -1;
    try {
        init_frame();
        if (progressive_) {
            decode_progressive();
        } else {
            if (process_markers() != M_SOS) stop_decoding(JPEG_UNEXPECTED_MARKER);
            read_sos();
            setup_scan();
        }
    } catch (const failure&) {
        return -1;
    }
    ready_ = 1;
    return 0;
}

// ---------------------------------------------------------------- sequential

// Fast refill for the hot loop: when the next 8 buffered bytes hold no
// 0xFF (so no stuffing and no marker), they are added in one go; otherwise
// the byte-by-byte reader takes over. Leaves more than 56 bits.
inline void jpeg_decoder::refill_fast(uint64_t& buf, int& cnt)
{
    uint8_t* p = in_pos_;
    if (in_end_ - p >= 8) {
        uint64_t v;
        std::memcpy(&v, p, 8);
        v = __builtin_bswap64(v);
        uint64_t x = ~v;  // a zero byte in x is a 0xFF byte in v
        if (((x - 0x0101010101010101ull) & ~x & 0x8080808080808080ull) == 0) {
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

// One sequential block: Huffman decoding with the lookahead tables, RECEIVE
// and EXTEND, dequantisation kept to 16 bits.
bool jpeg_decoder::decode_block(bit_cursor& bc, int16_t* coef, int scan_comp)
{
    bool ac_present = false;
    int c = comp_list_[scan_comp];
    const huff_derived& dc = derived_[comp_dc_slot_[scan_comp]];
    const huff_derived& ac = derived_[comp_ac_slot_[scan_comp]];
    const uint16_t* q = quant_[comp_quant_[c]];

    int s = bc.symbol(dc);
    if (s > 11) stop_decoding(JPEG_DECODE_ERROR);
    if (s != 0) last_dc_[c] += static_cast<uint32_t>(bc.extend(s));
    coef[0] = static_cast<int16_t>(last_dc_[c] * q[0]);

    // Each step uses at most 16 code bits and 10 value bits.
    for (int k = 1; k < 64;) {
        if (bc.cnt < 32) refill_fast(bc.buf, bc.cnt);
        int32_t f = ac.ac_look[bc.buf >> (64 - kLookBits)];
        if (f & 0x80) {
            k += (f >> 8) & 15;
            if (k > 63) stop_decoding(JPEG_DECODE_ERROR);
            bc.skip(f & 31);
            coef[kZigzag[k]] = static_cast<int16_t>(static_cast<uint32_t>(f >> 16) * q[k]);
            ac_present = true;
            ++k;
            continue;
        }
        int rs = bc.symbol(ac);
        int r = rs >> 4, size = rs & 15;
        if (size != 0) {
            if (size > 10) stop_decoding(JPEG_DECODE_ERROR);
            k += r;
            if (k > 63) stop_decoding(JPEG_DECODE_ERROR);
            int v = bc.extend(size);
            coef[kZigzag[k]] = static_cast<int16_t>(static_cast<uint32_t>(v) * q[k]);
            ac_present = true;
            ++k;
        } else {
            if (r != 15) break;
            if (k + 15 > 63) stop_decoding(JPEG_DECODE_ERROR);
            k += 16;
        }
    }
    return ac_present;
}

// A block whose AC coefficients are all zero transforms to one flat value,
// which is filled in directly.
void jpeg_decoder::idct_to_plane(const int16_t* coef, int slot, int mcu_x, bool dc_only)
{
    int c = slot_comp_[slot];
    int stride = plane_stride_[c];
    int x = mcu_x * (c == 0 ? mcu_width_ : 8) + slot_dx_[slot] * 8;
    uint8_t* out = plane_[c] + static_cast<std::size_t>(slot_dy_[slot]) * 8 * stride + x;
    if (dc_only) {
        uint64_t fill = 0x0101010101010101ull * jpeg_kernels::DcOnlySample(coef[0]);
        for (int r = 0; r < 8; ++r) std::memcpy(out + r * stride, &fill, 8);
    } else {
        kernels_->idct(coef, out, stride);
    }
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

// Decodes one MCU row of the frame. Each block goes through the inverse DCT
// straight after it is decoded, into its place in the sample planes; the
// blocks of the scan's MCU are taken by position.
void jpeg_decoder::decode_sequential_row()
{
    bit_cursor bc(*this);
    for (int mx = 0; mx < mcus_per_row_; ++mx) {
        count_restart_interval(bc);
        for (int b = 0; b < blocks_per_mcu_; ++b) {
            int16_t* coef = mcu_coefs_;
            bool ac_present = decode_block(bc, coef, mcu_org_[b]);
            if (b < layout_blocks_) idct_to_plane(coef, b, mx, !ac_present);
            if (ac_present) {
                std::memset(coef, 0, 64 * sizeof(int16_t));
            } else {
                coef[0] = 0;
            }
        }
    }
    bc.store();
}

// After the last MCU row: the segments up to the next marker are processed,
// so that errors in them still count.
void jpeg_decoder::finish_sequential()
{
    reset_bit_reader();
    process_markers();
}

// ---------------------------------------------------------------- progressive

int16_t* jpeg_decoder::coef_block(int comp, int bx, int by)
{
    if (bx < 0 || by < 0 || bx >= coef_blocks_x_[comp] || by >= coef_blocks_y_[comp]) {
        stop_decoding(JPEG_ASSERTION_ERROR);
    }
    int16_t* chunk = coef_chunk_[comp][by >> coef_chunk_shift_[comp]];
    int row = by & ((1 << coef_chunk_shift_[comp]) - 1);
    return chunk + (static_cast<std::size_t>(row) * coef_blocks_x_[comp] + bx) * 64;
}

void jpeg_decoder::decode_progressive()
{
    // A one-component frame is only ever decoded one block per MCU, so its
    // buffer needs one block per 8 x 8 pixels whatever its factors say.
    for (int c = 0; c < comps_in_frame_; ++c) {
        int h = comps_in_frame_ == 1 ? 1 : comp_h_samp_[c];
        int v = comps_in_frame_ == 1 ? 1 : comp_v_samp_[c];
        coef_blocks_x_[c] = mcus_per_row_ * h;
        coef_blocks_y_[c] = mcus_per_col_ * v;
        // Block rows in chunks of a power-of-two count, each of at most
        // coef_chunk_bytes: the heap can reuse such blocks from one picture
        // to the next, where one huge block would be mapped afresh each time.
        std::size_t row_bytes = static_cast<std::size_t>(coef_blocks_x_[c]) * 64 * sizeof(int16_t);
        int shift = 0;
        while (shift < 30 && (row_bytes << (shift + 1)) <= coef_chunk_bytes) ++shift;
        coef_chunk_shift_[c] = shift;
        int chunks = ((coef_blocks_y_[c] - 1) >> shift) + 1;
        if (chunks > max_coef_chunks) stop_decoding(JPEG_ASSERTION_ERROR);
        for (int i = 0; i < chunks; ++i) {
            int rows = std::min(1 << shift, coef_blocks_y_[c] - (i << shift));
            coef_chunk_[c][i] = static_cast<int16_t*>(alloc(row_bytes * static_cast<std::size_t>(rows)));
        }
    }

    for (;;) {
        int marker = process_markers();
        if (marker == M_EOI) break;
        if (marker != M_SOS) stop_decoding(JPEG_UNEXPECTED_MARKER);
        if (++scan_count_ > jpeg_max_scans) stop_decoding(JPEG_TOO_MANY_SCANS);
        read_sos();
        setup_scan();
        if (spectral_start_ > spectral_end_ || spectral_end_ > 63) stop_decoding(JPEG_BAD_SOS_SPECTRAL);
        if (spectral_start_ == 0) {
            if (spectral_end_ != 0) stop_decoding(JPEG_BAD_SOS_SPECTRAL);
        } else if (comps_in_scan_ != 1) {
            stop_decoding(JPEG_BAD_SOS_SPECTRAL);
        }
        if (succ_high_ != 0 && succ_low_ != succ_high_ - 1) stop_decoding(JPEG_BAD_SOS_SUCCESSIVE);
        decode_progressive_scan();
        reset_bit_reader();
    }
}

void jpeg_decoder::decode_progressive_scan()
{
    bool dc_scan = spectral_start_ == 0;
    bool refine = succ_high_ != 0;
    bit_cursor bc(*this);
    for (int my = 0; my < scan_mcus_y_; ++my) {
        for (int mx = 0; mx < scan_mcus_x_; ++mx) {
            count_restart_interval(bc);
            for (int b = 0; b < blocks_per_mcu_; ++b) {
                int s = mcu_org_[b];
                int c = comp_list_[s];
                int16_t* block;
                if (comps_in_scan_ == 1) {
                    block = coef_block(c, mx, my);
                } else {
                    block = coef_block(c, mx * comp_h_samp_[c] + mcu_dx_[b], my * comp_v_samp_[c] + mcu_dy_[b]);
                }
                if (dc_scan) {
                    if (refine) {
                        decode_dc_refine(bc, block);
                    } else {
                        decode_dc_first(bc, block, s);
                    }
                } else {
                    if (refine) {
                        decode_ac_refine(bc, block);
                    } else {
                        decode_ac_first(bc, block);
                    }
                }
            }
        }
    }
    bc.store();
}

void jpeg_decoder::decode_dc_first(bit_cursor& bc, int16_t* block, int scan_comp)
{
    int c = comp_list_[scan_comp];
    int s = bc.symbol(derived_[comp_dc_slot_[scan_comp]]);
    if (s > 11) stop_decoding(JPEG_DECODE_ERROR);
    if (s != 0) last_dc_[c] += static_cast<uint32_t>(bc.extend(s));
    block[0] = static_cast<int16_t>(last_dc_[c] << succ_low_);
}

void jpeg_decoder::decode_dc_refine(bit_cursor& bc, int16_t* block)
{
    if (bc.take(1)) block[0] = static_cast<int16_t>(static_cast<uint16_t>(block[0]) | (1u << succ_low_));
}

void jpeg_decoder::decode_ac_first(bit_cursor& bc, int16_t* block)
{
    if (eob_run_ > 0) {
        --eob_run_;
        return;
    }
    const huff_derived& ac = derived_[comp_ac_slot_[0]];
    for (int k = spectral_start_; k <= spectral_end_; ++k) {
        int rs = bc.symbol(ac);
        int r = rs >> 4, s = rs & 15;
        if (s != 0) {
            if (s > 10) stop_decoding(JPEG_DECODE_ERROR);
            k += r;
            if (k > 63) stop_decoding(JPEG_DECODE_ERROR);
            int v = bc.extend(s);
            block[kZigzag[k]] = static_cast<int16_t>(static_cast<uint32_t>(v) << succ_low_);
        } else if (r == 15) {
            if (k + 15 > 63) stop_decoding(JPEG_DECODE_ERROR);
            k += 15;
        } else {
            eob_run_ = 1 << r;
            if (r != 0) eob_run_ += static_cast<int>(bc.take(r));
            --eob_run_;
            break;
        }
    }
}

namespace {

// A correction bit for a coefficient already known to be non-zero.
inline void Refine(int16_t* coef, uint32_t bit, int p1)
{
    if (bit && (*coef & p1) == 0) *coef = static_cast<int16_t>(*coef >= 0 ? *coef + p1 : *coef - p1);
}

}  // namespace

void jpeg_decoder::decode_ac_refine(bit_cursor& bc, int16_t* block)
{
    const huff_derived& ac = derived_[comp_ac_slot_[0]];
    int p1 = 1 << succ_low_;
    int k = spectral_start_;
    if (eob_run_ == 0) {
        for (; k <= spectral_end_; ++k) {
            int rs = bc.symbol(ac);
            int r = rs >> 4, s = rs & 15;
            int value = 0;
            if (s != 0) {
                if (s != 1) stop_decoding(JPEG_DECODE_ERROR);
                value = bc.take(1) ? p1 : -p1;
            } else if (r != 15) {
                eob_run_ = 1 << r;
                if (r != 0) eob_run_ += static_cast<int>(bc.take(r));
                break;
            }
            // Skip r coefficients with no history, refining the known ones
            // on the way; a new coefficient lands on the next empty one.
            for (; k <= spectral_end_; ++k) {
                int16_t* coef = block + kZigzag[k];
                if (*coef != 0) {
                    Refine(coef, bc.take(1), p1);
                } else {
                    if (r == 0) break;
                    --r;
                }
            }
            if (value != 0) {
                if (k > 63) stop_decoding(JPEG_DECODE_ERROR);
                block[kZigzag[k]] = static_cast<int16_t>(value);
            }
        }
    }
    if (eob_run_ > 0) {
        for (; k <= spectral_end_; ++k) {
            int16_t* coef = block + kZigzag[k];
            if (*coef != 0) Refine(coef, bc.take(1), p1);
        }
        --eob_run_;
    }
}

// Copies one MCU row out of the coefficient buffers, dequantises it and runs
// the inverse DCT into the sample planes.
void jpeg_decoder::load_progressive_row()
{
    int16_t q[3][64];
    for (int c = 0; c < comps_in_frame_; ++c) {
        int t = comp_quant_[c];
        for (int k = 0; k < 64; ++k) {
            q[c][kZigzag[k]] = static_cast<int16_t>(t < 4 ? quant_[t][k] : 0);
        }
    }
    int16_t* tmp = mcu_coefs_;
    for (int mx = 0; mx < mcus_per_row_; ++mx) {
        for (int slot = 0; slot < layout_blocks_; ++slot) {
            int c = slot_comp_[slot];
            int h = layout_ == LAYOUT_GREY ? 1 : comp_h_samp_[c];
            int v = layout_ == LAYOUT_GREY ? 1 : comp_v_samp_[c];
            const int16_t* src = coef_block(c, mx * h + slot_dx_[slot], mcu_row_ * v + slot_dy_[slot]);
            uint16_t ac = 0;
            for (int i = 0; i < 64; ++i) {
                tmp[i] = static_cast<int16_t>(static_cast<uint16_t>(src[i]) * static_cast<uint16_t>(q[c][i]));
                ac |= static_cast<uint16_t>(i == 0 ? 0 : tmp[i]);
            }
            idct_to_plane(tmp, slot, mx, ac == 0);
        }
    }
}

// ---------------------------------------------------------------- output

void jpeg_decoder::make_line()
{
    int r = mcu_line_;
    const jpeg_kernels::KernelSet& k = *kernels_;
    switch (layout_) {
    case LAYOUT_H1V1:
    case LAYOUT_H2V1: {
        jpeg_kernels::ColorFn fn = layout_ == LAYOUT_H1V1 ? k.colorH1 : k.colorH2;
        fn(plane_[0] + r * plane_stride_[0], plane_[1] + r * plane_stride_[1], plane_[2] + r * plane_stride_[2],
           line_buf_[0], mcus_per_row_ * mcu_width_, &colors_);
        break;
    }
    case LAYOUT_H1V2:
    case LAYOUT_H2V2: {
        // Lines come in pairs sharing one chroma row.
        if ((r & 1) == 0) {
            jpeg_kernels::ColorFn fn = layout_ == LAYOUT_H1V2 ? k.colorH1 : k.colorH2;
            const uint8_t* cb = plane_[1] + (r >> 1) * plane_stride_[1];
            const uint8_t* cr = plane_[2] + (r >> 1) * plane_stride_[2];
            int pixels = mcus_per_row_ * mcu_width_;
            fn(plane_[0] + r * plane_stride_[0], cb, cr, line_buf_[0], pixels, &colors_);
            fn(plane_[0] + (r + 1) * plane_stride_[0], cb, cr, line_buf_[1], pixels, &colors_);
        }
        break;
    }
    default:
        break;
    }
}

int jpeg_decoder::decode(void** scan_line, unsigned int* scan_line_len)
{
    if (error_code_ != 0 || !ready_) return -1;
    if (total_lines_left_ == 0) return 1;
    try {
        if (mcu_lines_left_ == 0) {
            if (progressive_) {
                load_progressive_row();
            } else {
                decode_sequential_row();
                if (mcu_row_ + 1 == mcus_per_col_) finish_sequential();
            }
            ++mcu_row_;
            mcu_lines_left_ = mcu_height_;
            mcu_line_ = 0;
        }
        make_line();
    } catch (const failure&) {
        return JPEG_DECODE_ERROR;
    }
    if (layout_ == LAYOUT_GREY) {
        *scan_line = plane_[0] + mcu_line_ * plane_stride_[0];
    } else if ((layout_ == LAYOUT_H1V2 || layout_ == LAYOUT_H2V2) && (mcu_line_ & 1) != 0) {
        *scan_line = line_buf_[1];
    } else {
        *scan_line = line_buf_[0];
    }
    *scan_line_len = static_cast<unsigned int>(line_bytes());
    ++mcu_line_;
    --mcu_lines_left_;
    --total_lines_left_;
    return 0;
}
