// The decoder's life cycle, errors and memory. The decoder is one
// implementation object holding the state of every stage, obtained once
// when the decoder is made; its entry points run the stages, handing each
// the other stages' state it reads. The constructor reads up to the frame
// header; begin() has the frame laid out and then either decodes every
// progressive scan or opens the sequential one; the lines are then made
// one MCU row at a time. Any stage gives up by throwing its error code
// (fail), which the entry point catches: it records the first code, lets
// go of the stream and frees every block in one sweep (all memory goes
// through one table). No exception ever leaves the decoder.
#include <cstring>

#include "error/memory.h"
#include "jpeg/jpeg_decoder_input.h"
#include "jpeg/jpeg_decoder_markers.h"
#include "jpeg/jpeg_decoder_output.h"
#include "jpeg/jpeg_decoder_progressive.h"
#include "jpeg/jpeg_decoder_sequential.h"

using namespace jpeg_decoder_detail;

namespace {

// Every block handed out starts on a 64-byte boundary.
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

// The implementation object: the life cycle's own state, and each stage's.
struct jpeg_decoder::impl {
    int error_code;  // the first failure's code, 0 while there is none
    int ready;       // begin() has succeeded
    block_table memory;
    input_stage input;
    markers_stage markers;
    sequential_stage sequential;
    progressive_stage progressive;
    output_stage output;

    void open(jpeg_decoder_stream_base* stream);
    void stop(int code);
    int begin();
    void advance_mcu_row();
    int decode(void** scan_line, unsigned int* scan_line_len);
    int decode_into(uint8_t* out0, uint8_t* out1);
    int decode_rows(uint8_t* dst, std::ptrdiff_t stride, int max_rows, bool packed_rgb);
};

// ---------------------------------------------------------------- errors and memory

void jpeg_decoder_detail::fail(int code)
{
    throw failure{code};
}

void jpeg_decoder::impl::stop(int code)
{
    if (error_code == 0) error_code = code;
    input.close();
    memory.free_all();
}

void* block_table::alloc(std::size_t bytes)
{
    int slot = 0;
    while (slot < max_allocations && blocks[slot] != nullptr) ++slot;
    if (slot == max_allocations) fail(JPEG_TOO_MANY_BLOCKS);
    void* block = orchid::MemAlloc(bytes + kAlign);
    if (block == nullptr) fail(JPEG_NOTENOUGHMEM);
    blocks[slot] = block;
    uintptr_t p = reinterpret_cast<uintptr_t>(block);
    return reinterpret_cast<void*>((p + kAlign - 1) & ~(static_cast<uintptr_t>(kAlign) - 1));
}

void block_table::free_all()
{
    for (void*& block : blocks) {
        orchid::MemFree(block);
        block = nullptr;
    }
}

// ---------------------------------------------------------------- life cycle

// The implementation comes zero-filled; a decoder without one reports -233.
jpeg_decoder::jpeg_decoder(jpeg_decoder_stream_base* stream) : impl_(orchid::MemNew<impl>())
{
    if (impl_ != nullptr) impl_->open(stream);
}

jpeg_decoder::~jpeg_decoder()
{
    if (impl_ == nullptr) return;
    impl_->input.close();
    impl_->memory.free_all();
    orchid::MemDelete(impl_);
}

void jpeg_decoder::impl::open(jpeg_decoder_stream_base* stream)
{
    output.kernels = &jpeg_kernels::Active();
    try {
        if (stream == nullptr) fail(JPEG_STREAM_READ);
        input.open(stream);
        markers.locate_soi(input);
        markers.read_frame(input);
    } catch (const failure& f) {
        stop(f.code);
    }
}

int jpeg_decoder::impl::begin()
{
    if (ready) return 0;
    if (error_code != 0) return -1;
    try {
        output.init_frame(markers.frame, memory);
        if (markers.frame.progressive) {
            progressive.decode_all(input, markers, sequential, output, memory);
        } else {
            if (markers.process_markers(input) != M_SOS) fail(JPEG_UNEXPECTED_MARKER);
            markers.read_sos(input);
            markers.setup_scan(memory);
            sequential.start_scan(input, markers.tables.restart_interval);
        }
    } catch (const failure& f) {
        stop(f.code);
        return -1;
    }
    ready = 1;
    return 0;
}

// ---------------------------------------------------------------- lines

// Has the next MCU row made once the lines of the current one are used up.
void jpeg_decoder::impl::advance_mcu_row()
{
    if (!output.row_used_up()) return;
    if (markers.frame.progressive) {
        progressive.load_row(markers, output);
    } else {
        sequential.decode_row(input, markers, output);
        if (output.mcu_row + 1 == output.mcus_per_col) sequential.finish(input, markers);
    }
    output.next_row();
}

int jpeg_decoder::impl::decode(void** scan_line, unsigned int* scan_line_len)
{
    if (error_code != 0 || !ready) return -1;
    if (output.total_lines_left == 0) return 1;
    try {
        advance_mcu_row();
        output.make_line();
    } catch (const failure& f) {
        stop(f.code);
        return JPEG_DECODE_ERROR;
    }
    *scan_line = output.line();
    *scan_line_len = static_cast<unsigned int>(markers.frame.image_x_size * markers.frame.pixel_bytes());
    output.line_done();
    return 0;
}

// Colour lines straight into the caller's rows (see output_stage::convert_into):
// the lines written, 0 when the caller is to take the line from decode(), or
// JPEG_DECODE_ERROR.
int jpeg_decoder::impl::decode_into(uint8_t* out0, uint8_t* out1)
{
    try {
        advance_mcu_row();
    } catch (const failure& f) {
        stop(f.code);
        return JPEG_DECODE_ERROR;
    }
    return output.convert_into(out0, out1, markers.frame.image_x_size);
}

int jpeg_decoder::impl::decode_rows(uint8_t* dst, std::ptrdiff_t stride, int max_rows, bool packed_rgb)
{
    const frame_header& frame = markers.frame;
    bool pack = packed_rgb && frame.comps_in_frame != 1;
    // Unpacked colour lines are converted straight into the rows.
    bool direct = !pack && frame.comps_in_frame == 3;
    int rows = 0;
    while (rows < max_rows) {
        uint8_t* out = dst + rows * stride;
        if (direct && ready && error_code == 0 && output.total_lines_left > 0) {
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
            output.kernels->packTriplets(static_cast<const uint8_t*>(line), out, frame.image_x_size);
        } else {
            std::memcpy(out, line, len);
        }
    }
    return rows;
}

// ---------------------------------------------------------------- the interface

int jpeg_decoder::begin()
{
    return impl_ != nullptr ? impl_->begin() : -1;
}

int jpeg_decoder::decode(void** scan_line, unsigned int* scan_line_len)
{
    return impl_ != nullptr ? impl_->decode(scan_line, scan_line_len) : -1;
}

int jpeg_decoder::decode_rows(uint8_t* dst, std::ptrdiff_t stride, int max_rows, bool packed_rgb)
{
    return impl_ != nullptr ? impl_->decode_rows(dst, stride, max_rows, packed_rgb) : -1;
}

int jpeg_decoder::image_width() const
{
    return impl_ != nullptr ? impl_->markers.frame.image_x_size : 0;
}

int jpeg_decoder::image_height() const
{
    return impl_ != nullptr ? impl_->markers.frame.image_y_size : 0;
}

int jpeg_decoder::component_count() const
{
    return impl_ != nullptr ? impl_->markers.frame.comps_in_frame : 0;
}

int jpeg_decoder::pixel_bytes() const
{
    return impl_ != nullptr ? impl_->markers.frame.pixel_bytes() : 0;
}

int jpeg_decoder::line_bytes() const
{
    return image_width() * pixel_bytes();
}

int jpeg_decoder::error_code() const
{
    return impl_ != nullptr ? impl_->error_code : JPEG_NOTENOUGHMEM;
}

bool jpeg_decoder::data_ended_early() const
{
    return impl_ != nullptr && impl_->input.data_ended_early != 0;
}
