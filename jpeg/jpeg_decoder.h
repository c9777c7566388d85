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
// Memory: one block of about 13 KB obtained with the decoder (the tables
// and the input buffer) and, from begin(), constant buffers of one MCU row
// (about 0.4 MB at the widest). A progressive picture adds its coefficient
// store, 138 bytes per 8 x 8 block per component (coefficients, a record of
// the positions set, and the DC kept apart): at most 414 MiB at
// 8192 x 8192 in H1V1. It is obtained zero-filled and only the pages scans
// write become resident, each written block having cost at least one bit of
// input. Work, likewise, follows the input plus the fixed cost of making the
// picture's lines.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>

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
    // Pictures wider or taller than this are refused (-206, -207).
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

    int image_width() const;
    int image_height() const;
    int component_count() const;
    int pixel_bytes() const;
    int line_bytes() const;
    int error_code() const;
    // True once a scan's entropy-coded data ended before its last block:
    // the blocks left keep what earlier scans gave them (zero, mid-grey, in
    // a first scan or a sequential picture). Such a file still decodes.
    bool data_ended_early() const;

private:
    // The stages and their state (jpeg_decoder.cpp), obtained once when the
    // decoder is made; null when that failed (error_code() is then -233).
    struct impl;
    impl* impl_;
};
