// The JPEG decoder: baseline and progressive Huffman-coded files with 8-bit
// samples, one or three components, delivered one scan line at a time.
//
//     jpeg_decoder_file_stream stream;      // or a memory / stdio stream
//     stream.open(resname);
//     jpeg_decoder decoder(&stream);
//     if (decoder.error_code() == 0 && decoder.begin() == 0) {
//         void* line; unsigned int len;
//         while (decoder.decode(&line, &len) == 0) { ... }
//     }
//
// Colour lines hold 4 bytes per pixel (red, green, blue, 0), greyscale lines
// 1 byte per pixel. No exception ever leaves the decoder: failures leave a
// negative code in error_code() (see jpeg_error below).
//
// Memory: the object itself (tables and input buffer) and, from begin(),
// constant buffers of one MCU row (about 0.4 MB at the widest). A
// progressive picture adds its coefficient store, 138 bytes per 8 x 8 block
// per component (coefficients, a record of the positions set, and the DC
// kept apart): at most 414 MiB at 8192 x 8192 in H1V1. It is obtained zero-filled and only the
// pages scans write become resident, each written block having cost at
// least one bit of input. Work, likewise, follows the input plus the fixed
// cost of making the picture's lines.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>

#include "jpeg/jpeg_kernels.h"

struct ResFile;

// Error codes of the decoder.
enum jpeg_error : int {
    JPEG_BAD_DHT_COUNTS = -200,      // a table's 16 code counts add up to more than 255
    JPEG_BAD_DHT_INDEX = -201,       // class and number select a slot of 8 or more
    JPEG_BAD_DHT_MARKER = -202,      // DHT length below 2, or a table runs past the segment
    JPEG_BAD_DQT_MARKER = -203,      // DQT length below 2
    JPEG_BAD_DQT_TABLE = -204,       // DQT table number 4 or more
    JPEG_BAD_PRECISION = -205,       // sample precision other than 8
    JPEG_BAD_HEIGHT = -206,          // height 0 or above 8192
    JPEG_BAD_WIDTH = -207,           // width 0 or above 8192
    JPEG_TOO_MANY_COMPONENTS = -208, // more than 4 components in the frame
    JPEG_BAD_SOF_LENGTH = -209,      // frame header length other than 8 + 3 x components
    JPEG_BAD_VARIABLE_MARKER = -210, // a skipped segment with a length below 2
    JPEG_BAD_DRI_LENGTH = -211,      // DRI length other than 4
    JPEG_BAD_SOS_LENGTH = -212,      // scan component count or length wrong, or a component twice
    JPEG_BAD_SOS_COMP_ID = -213,     // scan names a component the frame does not have
    JPEG_TOO_MANY_SCANS = -214,      // progressive file with more than jpeg_max_scans scans
    JPEG_NO_ARITHMETIC_SUPPORT = -215,
    JPEG_UNEXPECTED_MARKER = -216,
    JPEG_NOT_JPEG = -217,
    JPEG_UNSUPPORTED_MARKER = -218,  // unsupported frame type
    JPEG_BAD_DQT_LENGTH = -219,      // DQT segment shorter than its table
    JPEG_BAD_HUFF_TABLE = -220,      // code counts that over-subscribe a code length
    JPEG_TOO_MANY_BLOCKS = -221,     // more than 100 blocks of memory
    JPEG_UNDEFINED_QUANT_TABLE = -222,
    JPEG_UNDEFINED_HUFF_TABLE = -223,
    JPEG_DUPLICATE_COMP_ID = -224,   // a frame component identifier that appears twice
    JPEG_UNSUPPORTED_COLORSPACE = -225,
    JPEG_UNSUPPORTED_SAMP_FACTORS = -226,
    JPEG_DECODE_ERROR = -227,        // corrupt entropy-coded data
    JPEG_BAD_RESTART_MARKER = -228,
    JPEG_ASSERTION_ERROR = -229,     // a line too wide, or a block outside its buffer
    JPEG_BAD_SOS_SPECTRAL = -230,
    JPEG_BAD_SOS_SUCCESSIVE = -231,
    JPEG_STREAM_READ = -232,
    JPEG_NOTENOUGHMEM = -233,
};

// A short English description of an error code ("not a JPEG file", ...).
const char* jpeg_error_text(int code);

// Progressive files with more scans than this are refused (-214), which
// bounds the work a hostile file can cause.
constexpr int jpeg_max_scans = 1000;

// Where the decoder's bytes come from.
class jpeg_decoder_stream_base {
public:
    jpeg_decoder_stream_base() = default;
    jpeg_decoder_stream_base(const jpeg_decoder_stream_base&) = delete;
    jpeg_decoder_stream_base& operator=(const jpeg_decoder_stream_base&) = delete;
    virtual ~jpeg_decoder_stream_base();
    // Up to max_bytes into buffer; the count read, or -1 on failure. Stores
    // true in *eof_flag once the data has ended.
    virtual int read(unsigned char* buffer, int max_bytes, bool* eof_flag) = 0;
    virtual void notify_start();
    virtual void notify_stop();
};

// Reads an embedded resource through ResFile.
class jpeg_decoder_file_stream : public jpeg_decoder_stream_base {
public:
    jpeg_decoder_file_stream();
    ~jpeg_decoder_file_stream() override;
    void open(const char* resname);
    int read(unsigned char* buffer, int max_bytes, bool* eof_flag) override;

    ResFile* file;
    bool eof;
    bool error;

private:
    void close();
};

// Reads a block of memory the caller keeps alive.
class jpeg_decoder_memory_stream : public jpeg_decoder_stream_base {
public:
    jpeg_decoder_memory_stream(const void* data, std::size_t size);
    int read(unsigned char* buffer, int max_bytes, bool* eof_flag) override;

private:
    const unsigned char* data_;
    std::size_t size_;
    std::size_t position_;
};

// Reads an ordinary file; open() returns false when the file cannot be opened
// or is a folder.
class jpeg_decoder_stdio_stream : public jpeg_decoder_stream_base {
public:
    jpeg_decoder_stdio_stream();
    ~jpeg_decoder_stdio_stream() override;
    bool open(const char* path);
    int read(unsigned char* buffer, int max_bytes, bool* eof_flag) override;

private:
    std::FILE* file_;
    bool eof_;
};

class jpeg_decoder {
public:
    static constexpr int max_allocations = 100;
    static constexpr int in_buf_size = 4096;
    static constexpr int in_buf_pad = 128;
    static constexpr int max_blocks_per_row = 6144;
    static constexpr int max_dimension = 8192;

    // Reads the stream up to and including the frame header.
    explicit jpeg_decoder(jpeg_decoder_stream_base* stream);
    ~jpeg_decoder();
    jpeg_decoder(const jpeg_decoder&) = delete;
    jpeg_decoder& operator=(const jpeg_decoder&) = delete;

    // 0 on success (a second call does nothing), -1 on failure. Decodes all
    // scans of a progressive file.
    int begin();
    // 0: *scan_line and *scan_line_len describe the next line; 1: all lines
    // delivered; -1: in error or not begun; -227: an error arose in this call
    // (the code is in error_code()). The line stays valid until the next call.
    int decode(void** scan_line, unsigned int* scan_line_len);
    // Decodes up to max_rows further lines into the caller's buffer, line i
    // at dst + i * stride, image_width() pixels each: pixel_bytes() bytes a
    // pixel as decode() hands them out or, with packed_rgb, a colour pixel
    // as 3 bytes (red, green, blue). Returns the number of lines written, 0
    // once every line has been; -1 or -227 as decode() does.
    int decode_rows(uint8_t* dst, std::ptrdiff_t stride, int max_rows, bool packed_rgb);

    int image_width() const { return image_x_size_; }
    int image_height() const { return image_y_size_; }
    int component_count() const { return comps_in_frame_; }
    int pixel_bytes() const { return comps_in_frame_ == 1 ? 1 : 4; }
    int line_bytes() const { return image_x_size_ * pixel_bytes(); }
    int error_code() const { return error_code_; }
    // True once a scan's entropy-coded data ended before its last block:
    // the blocks left keep what earlier scans gave them (zero, mid-grey, in
    // a first scan or a sequential picture). Such a file still decodes.
    bool data_ended_early() const { return data_ended_early_ != 0; }

    struct huff_derived;

private:
    struct failure {};
    struct data_ended {};
    struct bit_cursor;

    // Life cycle, errors and memory (jpeg_decoder.cpp).
    [[noreturn]] void stop_decoding(int code);
    void* alloc(std::size_t bytes);
    void free_all_blocks();

    // Input and the bit reader (jpeg_decoder_input.cpp; the hot refill in
    // jpeg_decoder_internal.h).
    void fill_in_buffer();
    uint32_t get_byte();
    void push_back(uint32_t c);
    uint32_t get_word();
    uint32_t next_data_byte();
    void fill_bits();
    void refill_fast(uint64_t& buf, int& cnt);
    void reset_bit_reader();
    int decode_symbol_slow(const huff_derived& h);
    [[noreturn]] void bad_data(int cnt, int examined);
    bool data_exhausted(bit_cursor& bc);

    // Markers, headers and scan set-up (jpeg_decoder_markers.cpp).
    void locate_soi();
    int next_marker();
    int process_markers();
    void skip_variable_marker();
    void read_dht();
    void read_dqt();
    void read_dri();
    void read_sof();
    void read_sos();
    void setup_scan();
    void derive_tables();

    // Sequential scans and restarts (jpeg_decoder_sequential.cpp; the
    // restart count in jpeg_decoder_internal.h).
    void decode_sequential_row();
    void clear_mcu_coefs(int count, const bool* dc_only);
    bool decode_block(bit_cursor& bc, int16_t* coef, int scan_comp);  // true when AC stored
    void process_restart();
    void count_restart_interval(bit_cursor& bc);
    void finish_sequential();

    // Progressive scans (jpeg_decoder_progressive.cpp).
    void decode_progressive();
    void decode_progressive_scan();
    template <bool Dc, bool Refine>
    void scan_mcus();
    void check_block(int comp, int bx, int by);
    int16_t* coef_block(int comp, int bx, int by);
    int16_t* coef_dc(int comp, int bx, int by);
    void decode_dc_first(bit_cursor& bc, int16_t* dc, int scan_comp);
    void decode_dc_refine(bit_cursor& bc, int16_t* dc);
    uint64_t decode_ac_first(bit_cursor& cursor, int16_t* block, uint64_t nz);
    uint64_t decode_ac_refine(bit_cursor& cursor, int16_t* block, uint64_t nz);
    void skip_eob_run(bit_cursor& bc, int pos, int count);
    void refine_known(bit_cursor& bc, int16_t* block, uint64_t known, int p1);
    void load_progressive_row();

    // Frame layout, reconstruction and output (jpeg_decoder_output.cpp).
    void init_frame();
    uint8_t* block_samples(int slot, int mcu_x) const;
    void idct_to_plane(const int16_t* coef, int slot, int mcu_x, bool dc_only);
    void transform_mcu(int mcu_x, int count, const bool* dc_only);
    void convert_span(uint8_t* out0, uint8_t* out1, int x, int pixels);
    void make_line();
    void advance_mcu_row();
    void line_done();
    int decode_into(uint8_t* out0, uint8_t* out1);

    jpeg_decoder_stream_base* stream_;
    int error_code_;
    int ready_;

    // Frame.
    int image_x_size_;
    int image_y_size_;
    int progressive_;
    int comps_in_frame_;
    int comp_ident_[4];
    int comp_h_samp_[4];
    int comp_v_samp_[4];
    int comp_quant_[4];
    int max_h_samp_;
    int max_v_samp_;

    // Tables as they arrive.
    uint16_t quant_[4][64];
    int quant_defined_[4];
    uint8_t huff_counts_[8][16];
    uint8_t huff_values_[8][256];
    int huff_defined_[8];
    huff_derived* derived_;  // 8 slots, obtained at the first scan set-up

    // Scan.
    int comps_in_scan_;
    int comp_list_[4];
    int comp_dc_slot_[4];
    int comp_ac_slot_[4];
    int spectral_start_;
    int spectral_end_;
    int succ_high_;
    int succ_low_;
    int scan_mcus_x_;
    int scan_mcus_y_;
    int blocks_per_mcu_;
    int mcu_org_[10];      // scan component index of each block of the MCU
    int mcu_dx_[10];       // block offset within the component's part of the MCU
    int mcu_dy_[10];
    uint32_t last_dc_[4];  // DC predictions (wrapping)
    int eob_run_;
    int scan_count_;

    // Restarts.
    int restart_interval_;
    int restarts_left_;
    int next_restart_num_;

    // Layout and output.
    int layout_;           // 0 grey, 1 H1V1, 2 H2V1, 3 H1V2, 4 H2V2
    int layout_blocks_;
    int slot_comp_[6];
    int slot_dx_[6];
    int slot_dy_[6];
    int mcu_width_;
    int mcu_height_;
    int mcus_per_row_;
    int mcus_per_col_;
    int mcu_row_;          // MCU rows decoded so far
    int mcu_lines_left_;
    int mcu_line_;         // line within the current MCU row
    int total_lines_left_;
    int plane_stride_[3];
    uint8_t* plane_[3];
    uint8_t* line_buf_[2];
    int16_t* mcu_coefs_;   // blocks of one MCU (64 values each), cleared after use
    // Progressive: 64 coefficients per block, block rows in chunks of
    // 1 << coef_chunk_shift_ rows.
    static constexpr std::size_t coef_chunk_bytes = std::size_t(16) << 20;
    static constexpr int max_coef_chunks = 16;
    int16_t* coef_chunk_[3][max_coef_chunks];
    int coef_chunk_shift_[3];
    int coef_blocks_x_[3];
    int coef_blocks_y_[3];
    // Progressive: per block, bit k set where the AC coefficient at zig-zag
    // position k is non-zero; OR-ed over each 64 blocks of the buffer and
    // over the component (supersets, never cleared). Refinement scans find
    // the coefficients that take correction bits by them.
    uint64_t* coef_nz_[3];
    uint64_t* coef_nz_group_[3];
    uint64_t coef_nz_any_[3];
    // Progressive: the DC coefficient of each block, row by row.
    int16_t* coef_dc_[3];
    jpeg_kernels::ColorTables colors_;
    const jpeg_kernels::Kernels* kernels_;

    // Bit reader: bits MSB-aligned in bit_buf_; bit_count_ of them valid.
    uint64_t bit_buf_;
    int bit_count_;
    int marker_hit_;
    int pad_bits_;           // bits of padding (past a marker) in bit_buf_
    int data_ended_early_;

    // Input buffer: room in front for pushed-back bytes, the data, padding.
    static constexpr int in_buf_front = 8;
    uint8_t in_buf_[in_buf_front + in_buf_size + in_buf_pad];
    uint8_t* in_pos_;
    uint8_t* in_end_;
    int eof_flag_;
    int tem_flag_;

    void* blocks_[max_allocations];
};
