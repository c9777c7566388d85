// The decoder's life cycle, errors and memory. The constructor reads up to
// the frame header; begin() has the frame laid out and then either decodes
// every progressive scan or opens the sequential one. Any stage gives up
// through stop_decoding, which records the first error code, frees every
// block in one sweep (all memory goes through one table) and throws to the
// entry point, which catches it: no exception ever leaves the decoder.
#include <cstring>

#include "error/memory.h"
#include "jpeg/jpeg_decoder_internal.h"

using namespace jpeg_decoder_detail;

namespace {

// Every block handed out starts on a 64-byte boundary: a cache line, and a
// whole number of SIMD vectors.
constexpr std::size_t kAlign = 64;

}  // namespace

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

int jpeg_decoder::decode_rows(uint8_t* dst, std::ptrdiff_t stride, int max_rows, bool packed_rgb)
{
    bool pack = packed_rgb && comps_in_frame_ != 1;
    // Unpacked colour lines are converted straight into the rows.
    bool direct = !pack && comps_in_frame_ == 3;
    int rows = 0;
    while (rows < max_rows) {
        uint8_t* out = dst + rows * stride;
        if (direct && ready_ && error_code_ == 0 && total_lines_left_ > 0) {
            int n = decode_into(out, rows + 1 < max_rows ? out + stride : nullptr);
            if (n < 0) return n;
            if (n > 0) {
                rows += n;
                continue;
            }
        }
        void* line;
        unsigned int len;
        int status = decode(&line, &len);
        if (status == 1) break;
        if (status != 0) return status;
        ++rows;
        if (pack) {
            kernels_->packTriplets(static_cast<const uint8_t*>(line), out, image_x_size_);
        } else {
            std::memcpy(out, line, len);
        }
    }
    return rows;
}
