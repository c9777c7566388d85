// Output. Each block's inverse transform lands in its place in the sample
// planes of one MCU row (a flat block is filled without the transform);
// each output line is then converted from YCbCr to red, green, blue, with
// horizontally subsampled chroma widened on the way and vertically
// subsampled chroma shared by a pair of lines. Greyscale lines are handed
// out straight from the plane. The transform and the conversion are the
// kernels of jpeg_kernels.h.
#include <cstring>

#include "jpeg/jpeg_decoder_internal.h"

using namespace jpeg_decoder_detail;

// The frame's layout: the blocks of one MCU and where each lands, the MCU
// grid, and the sample planes and line buffers of one MCU row. Both scan
// kinds decode into this layout.
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

// Where the samples of a block of the MCU row go: its place in its plane.
uint8_t* jpeg_decoder::block_samples(int slot, int mcu_x) const
{
    int c = slot_comp_[slot];
    int x = mcu_x * (c == 0 ? mcu_width_ : 8) + slot_dx_[slot] * 8;
    return plane_[c] + static_cast<std::size_t>(slot_dy_[slot]) * 8 * plane_stride_[c] + x;
}

// A block whose AC coefficients are all zero transforms to one flat value,
// which is filled in directly.
void jpeg_decoder::idct_to_plane(const int16_t* coef, int slot, int mcu_x, bool dc_only)
{
    int stride = plane_stride_[slot_comp_[slot]];
    uint8_t* out = block_samples(slot, mcu_x);
    if (dc_only) {
        uint64_t fill = kEachByteOne * jpeg_kernels::DcOnlySample(coef[0]);
        for (int r = 0; r < 8; ++r) std::memcpy(out + r * stride, &fill, 8);
    } else {
        kernels_->idct(coef, out, stride);
    }
}

// The first `count` blocks of one MCU, block b's coefficients at
// mcu_coefs_ + 64 * b: flat blocks are filled, the others transformed two
// at a time.
void jpeg_decoder::transform_mcu(int mcu_x, int count, const bool* dc_only)
{
    int pending = -1;
    for (int b = 0; b < count; ++b) {
        const int16_t* coef = mcu_coefs_ + 64 * b;
        if (dc_only[b]) {
            idct_to_plane(coef, b, mcu_x, true);
        } else if (pending < 0) {
            pending = b;
        } else {
            kernels_->idctPair(mcu_coefs_ + 64 * pending, block_samples(pending, mcu_x),
                               plane_stride_[slot_comp_[pending]], coef, block_samples(b, mcu_x),
                               plane_stride_[slot_comp_[b]]);
            pending = -1;
        }
    }
    if (pending >= 0) idct_to_plane(mcu_coefs_ + 64 * pending, pending, mcu_x, false);
}

// Converts `pixels` pixels from x on (x and `pixels` multiples of the
// colour kernel's step) of the current line of the MCU row into out0; with
// vertically subsampled chroma the current line is the first of a pair,
// and the second goes into out1.
void jpeg_decoder::convert_span(uint8_t* out0, uint8_t* out1, int x, int pixels)
{
    int r = mcu_line_;
    const jpeg_kernels::Kernels& k = *kernels_;
    bool h2 = layout_ == LAYOUT_H2V1 || layout_ == LAYOUT_H2V2;
    int cx = h2 ? x / 2 : x;
    const uint8_t* y = plane_[0] + r * plane_stride_[0] + x;
    if (layout_ == LAYOUT_H1V1 || layout_ == LAYOUT_H2V1) {
        jpeg_kernels::ColorFn fn = h2 ? k.colorH2 : k.colorH1;
        fn(y, plane_[1] + r * plane_stride_[1] + cx, plane_[2] + r * plane_stride_[2] + cx, out0, pixels, &colors_);
    } else {
        jpeg_kernels::ColorPairFn fn = h2 ? k.colorH2Pair : k.colorH1Pair;
        const uint8_t* cb = plane_[1] + (r >> 1) * plane_stride_[1] + cx;
        const uint8_t* cr = plane_[2] + (r >> 1) * plane_stride_[2] + cx;
        fn(y, y + plane_stride_[0], cb, cr, out0, out1, pixels, &colors_);
    }
}

// Converts the colour line(s) of the current line of the MCU row into the
// line buffers: lines with vertically subsampled chroma come in pairs
// sharing one chroma row, both made at the first; a greyscale line needs
// nothing.
void jpeg_decoder::make_line()
{
    if (layout_ == LAYOUT_GREY) return;
    if ((layout_ == LAYOUT_H1V2 || layout_ == LAYOUT_H2V2) && (mcu_line_ & 1) != 0) return;
    convert_span(line_buf_[0], line_buf_[1], 0, mcus_per_row_ * mcu_width_);
}

// Decodes the next MCU row once the lines of the current one are used up.
void jpeg_decoder::advance_mcu_row()
{
    if (mcu_lines_left_ != 0) return;
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

void jpeg_decoder::line_done()
{
    ++mcu_line_;
    --mcu_lines_left_;
    --total_lines_left_;
}

// Colour lines straight into the caller's rows, sparing the copy out of the
// line buffer: the whole kernel steps of the line go direct, the few pixels
// past them through the line buffer. A pair of lines sharing chroma goes
// direct only when both have a row here (out1 not null) and in the
// picture; otherwise the pair goes the way of decode(), and so does its
// second line. Returns the lines written (0: none, the caller takes the
// line from decode()), or JPEG_DECODE_ERROR.
int jpeg_decoder::decode_into(uint8_t* out0, uint8_t* out1)
{
    try {
        advance_mcu_row();
    } catch (const failure&) {
        return JPEG_DECODE_ERROR;
    }
    int lines = 1;
    if (layout_ == LAYOUT_H1V2 || layout_ == LAYOUT_H2V2) {
        if ((mcu_line_ & 1) != 0 || out1 == nullptr || total_lines_left_ < 2) return 0;
        lines = 2;
    }
    int step = layout_ == LAYOUT_H2V1 || layout_ == LAYOUT_H2V2 ? 16 : 8;
    int whole = image_x_size_ & ~(step - 1);
    if (whole > 0) convert_span(out0, out1, 0, whole);
    if (whole < image_x_size_) {
        std::size_t rest = static_cast<std::size_t>(image_x_size_ - whole) * 4;
        convert_span(line_buf_[0], line_buf_[1], whole, step);
        std::memcpy(out0 + 4 * whole, line_buf_[0], rest);
        if (lines == 2) std::memcpy(out1 + 4 * whole, line_buf_[1], rest);
    }
    for (int i = 0; i < lines; ++i) line_done();
    return lines;
}

int jpeg_decoder::decode(void** scan_line, unsigned int* scan_line_len)
{
    if (error_code_ != 0 || !ready_) return -1;
    if (total_lines_left_ == 0) return 1;
    try {
        advance_mcu_row();
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
    line_done();
    return 0;
}
