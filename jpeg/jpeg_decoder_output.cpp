// Output. Each block's inverse transform lands in its place in the sample
// planes of one MCU row (a flat block is filled without the transform);
// each output line is then converted from YCbCr to red, green, blue, with
// horizontally subsampled chroma widened on the way and vertically
// subsampled chroma shared by a pair of lines. Greyscale lines are handed
// out straight from the plane. The transform and the conversion are the
// kernels of jpeg_kernels.h.
#include <cstring>

#include "jpeg/jpeg_decoder_markers.h"
#include "jpeg/jpeg_decoder_output.h"

using namespace jpeg_decoder_detail;

// The frame's layout: the blocks of one MCU and where each lands, the MCU
// grid, and the sample planes and line buffers of one MCU row. Both scan
// kinds decode into this layout.
void output_stage::init_frame(const frame_header& frame, block_table& memory)
{
    if (frame.comps_in_frame != 1 && frame.comps_in_frame != 3) fail(JPEG_UNSUPPORTED_COLORSPACE);
    for (int i = 0; i < frame.comps_in_frame; ++i) {
        // Factors outside 1..4 would enter the block-count divisions.
        if (frame.comp_h_samp[i] < 1 || frame.comp_h_samp[i] > 4 || frame.comp_v_samp[i] < 1 || frame.comp_v_samp[i] > 4) {
            fail(JPEG_UNSUPPORTED_SAMP_FACTORS);
        }
    }

    int yh = 1, yv = 1;
    if (frame.comps_in_frame == 1) {
        layout = LAYOUT_GREY;
    } else {
        if (frame.comp_h_samp[1] != 1 || frame.comp_v_samp[1] != 1 || frame.comp_h_samp[2] != 1 || frame.comp_v_samp[2] != 1) {
            fail(JPEG_UNSUPPORTED_SAMP_FACTORS);
        }
        yh = frame.comp_h_samp[0];
        yv = frame.comp_v_samp[0];
        if (yh > 2 || yv > 2) fail(JPEG_UNSUPPORTED_SAMP_FACTORS);
        static const int kLayouts[2][2] = {{LAYOUT_H1V1, LAYOUT_H1V2}, {LAYOUT_H2V1, LAYOUT_H2V2}};
        layout = kLayouts[yh - 1][yv - 1];
    }

    // Blocks of one MCU: Y row by row, then Cb and Cr.
    layout_blocks = 0;
    for (int dy = 0; dy < yv; ++dy) {
        for (int dx = 0; dx < yh; ++dx) {
            slot_comp[layout_blocks] = 0;
            slot_dx[layout_blocks] = dx;
            slot_dy[layout_blocks] = dy;
            ++layout_blocks;
        }
    }
    for (int c = 1; c < frame.comps_in_frame; ++c) {
        slot_comp[layout_blocks] = c;
        slot_dx[layout_blocks] = 0;
        slot_dy[layout_blocks] = 0;
        ++layout_blocks;
    }
    mcu_width = 8 * yh;
    mcu_height = 8 * yv;
    mcus_per_row = CeilDiv(frame.image_x_size, mcu_width);
    mcus_per_col = CeilDiv(frame.image_y_size, mcu_height);
    if (layout_blocks * mcus_per_row > max_blocks_per_row) fail(JPEG_ASSERTION_ERROR);

    // Sample planes of one MCU row; a little slack behind each lets the
    // SIMD kernels work in whole vectors.
    for (int c = 0; c < frame.comps_in_frame; ++c) {
        int rows = c == 0 ? mcu_height : 8;
        plane_stride[c] = mcus_per_row * (c == 0 ? mcu_width : 8);
        plane[c] = static_cast<uint8_t*>(memory.alloc(static_cast<std::size_t>(plane_stride[c]) * rows + 64));
    }
    std::size_t line_size = static_cast<std::size_t>((frame.image_x_size + 15) & ~15) * frame.pixel_bytes();
    line_buf[0] = static_cast<uint8_t*>(memory.alloc(line_size + 64));
    line_buf[1] = static_cast<uint8_t*>(memory.alloc(line_size + 64));
    mcu_coefs = static_cast<int16_t*>(memory.alloc(sizeof(int16_t) * 64 * kMaxBlocksPerMcu));
    jpeg_kernels::FillColorTables(&colors);

    total_lines_left = frame.image_y_size;
    mcu_lines_left = 0;
    mcu_row = 0;
}

// Where the samples of a block of the MCU row go: its place in its plane.
uint8_t* output_stage::block_samples(int slot, int mcu_x) const
{
    int c = slot_comp[slot];
    int x = mcu_x * (c == 0 ? mcu_width : 8) + slot_dx[slot] * 8;
    return plane[c] + static_cast<std::size_t>(slot_dy[slot]) * 8 * plane_stride[c] + x;
}

// A block whose AC coefficients are all zero transforms to one flat value,
// which is filled in directly.
void output_stage::idct_to_plane(const int16_t* coef, int slot, int mcu_x, bool dc_only)
{
    int stride = plane_stride[slot_comp[slot]];
    uint8_t* out = block_samples(slot, mcu_x);
    if (dc_only) {
        uint64_t fill = kEachByteOne * jpeg_kernels::DcOnlySample(coef[0]);
        for (int r = 0; r < 8; ++r) std::memcpy(out + r * stride, &fill, 8);
    } else {
        kernels->idct(coef, out, stride);
    }
}

// The first `count` blocks of one MCU, block b's coefficients at
// mcu_coefs + 64 * b: flat blocks are filled, the others transformed two
// at a time.
void output_stage::transform_mcu(int mcu_x, int count, const bool* dc_only)
{
    int pending = -1;
    for (int b = 0; b < count; ++b) {
        const int16_t* coef = mcu_coefs + 64 * b;
        if (dc_only[b]) {
            idct_to_plane(coef, b, mcu_x, true);
        } else if (pending < 0) {
            pending = b;
        } else {
            kernels->idctPair(mcu_coefs + 64 * pending, block_samples(pending, mcu_x),
                               plane_stride[slot_comp[pending]], coef, block_samples(b, mcu_x),
                               plane_stride[slot_comp[b]]);
            pending = -1;
        }
    }
    if (pending >= 0) idct_to_plane(mcu_coefs + 64 * pending, pending, mcu_x, false);
}

// Converts `pixels` pixels from x on (x and `pixels` multiples of the
// colour kernel's step) of the current line of the MCU row into out0; with
// vertically subsampled chroma the current line is the first of a pair,
// and the second goes into out1.
void output_stage::convert_span(uint8_t* out0, uint8_t* out1, int x, int pixels)
{
    int r = mcu_line;
    const jpeg_kernels::Kernels& k = *kernels;
    bool h2 = layout == LAYOUT_H2V1 || layout == LAYOUT_H2V2;
    int cx = h2 ? x / 2 : x;
    const uint8_t* y = plane[0] + r * plane_stride[0] + x;
    if (layout == LAYOUT_H1V1 || layout == LAYOUT_H2V1) {
        jpeg_kernels::ColorFn fn = h2 ? k.colorH2 : k.colorH1;
        fn(y, plane[1] + r * plane_stride[1] + cx, plane[2] + r * plane_stride[2] + cx, out0, pixels, &colors);
    } else {
        jpeg_kernels::ColorPairFn fn = h2 ? k.colorH2Pair : k.colorH1Pair;
        const uint8_t* cb = plane[1] + (r >> 1) * plane_stride[1] + cx;
        const uint8_t* cr = plane[2] + (r >> 1) * plane_stride[2] + cx;
        fn(y, y + plane_stride[0], cb, cr, out0, out1, pixels, &colors);
    }
}

// Converts the colour line(s) of the current line of the MCU row into the
// line buffers: lines with vertically subsampled chroma come in pairs
// sharing one chroma row, both made at the first; a greyscale line needs
// nothing.
void output_stage::make_line()
{
    if (layout == LAYOUT_GREY) return;
    if ((layout == LAYOUT_H1V2 || layout == LAYOUT_H2V2) && (mcu_line & 1) != 0) return;
    convert_span(line_buf[0], line_buf[1], 0, mcus_per_row * mcu_width);
}

// Once the scans have filled the next MCU row.
void output_stage::next_row()
{
    ++mcu_row;
    mcu_lines_left = mcu_height;
    mcu_line = 0;
}

// The current line, once made: straight from the plane for greyscale.
uint8_t* output_stage::line() const
{
    if (layout == LAYOUT_GREY) return plane[0] + mcu_line * plane_stride[0];
    if ((layout == LAYOUT_H1V2 || layout == LAYOUT_H2V2) && (mcu_line & 1) != 0) return line_buf[1];
    return line_buf[0];
}

void output_stage::line_done()
{
    ++mcu_line;
    --mcu_lines_left;
    --total_lines_left;
}

// Colour lines straight into the caller's rows, sparing the copy out of the
// line buffer: the whole kernel steps of the line go direct, the few pixels
// past them through the line buffer. A pair of lines sharing chroma goes
// direct only when both have a row here (out1 not null) and in the
// picture; otherwise the pair goes the way of decode(), and so does its
// second line. Returns the lines written (0: none, the caller takes the
// line from decode()).
int output_stage::convert_into(uint8_t* out0, uint8_t* out1, int width)
{
    int lines = 1;
    if (layout == LAYOUT_H1V2 || layout == LAYOUT_H2V2) {
        if ((mcu_line & 1) != 0 || out1 == nullptr || total_lines_left < 2) return 0;
        lines = 2;
    }
    int step = layout == LAYOUT_H2V1 || layout == LAYOUT_H2V2 ? 16 : 8;
    int whole = width & ~(step - 1);
    if (whole > 0) convert_span(out0, out1, 0, whole);
    if (whole < width) {
        std::size_t rest = static_cast<std::size_t>(width - whole) * 4;
        convert_span(line_buf[0], line_buf[1], whole, step);
        std::memcpy(out0 + 4 * whole, line_buf[0], rest);
        if (lines == 2) std::memcpy(out1 + 4 * whole, line_buf[1], rest);
    }
    for (int i = 0; i < lines; ++i) line_done();
    return lines;
}
