// The output stage's state (jpeg_decoder_output.cpp): the frame's layout,
// the MCU grid, the sample planes and line buffers of one MCU row, and the
// kernels that fill them. The scan stages hand it the blocks of one MCU at
// a time in mcu_coefs.
#pragma once

#include <cstdint>

#include "jpeg/jpeg_decoder_internal.h"
#include "jpeg/jpeg_kernels.h"

namespace jpeg_decoder_detail {

struct frame_header;

struct output_stage {
    // Most blocks in one MCU row, which bounds the row's buffers.
    static constexpr int max_blocks_per_row = 6144;

    int layout;  // LAYOUT_GREY ... LAYOUT_H2V2
    int layout_blocks;
    int slot_comp[6];
    int slot_dx[6];
    int slot_dy[6];
    int mcu_width;
    int mcu_height;
    int mcus_per_row;
    int mcus_per_col;
    int mcu_row;  // MCU rows decoded so far
    int mcu_lines_left;
    int mcu_line;  // line within the current MCU row
    int total_lines_left;
    int plane_stride[3];
    uint8_t* plane[3];
    uint8_t* line_buf[2];
    int16_t* mcu_coefs;  // blocks of one MCU (64 values each), cleared after use
    jpeg_kernels::ColorTables colors;
    const jpeg_kernels::Kernels* kernels;

    void init_frame(const frame_header& frame, block_table& memory);
    void idct_to_plane(const int16_t* coef, int slot, int mcu_x, bool dc_only);
    void transform_mcu(int mcu_x, int count, const bool* dc_only);

    // The lines of an MCU row: next_row() once the scans have filled it,
    // then each line made and handed out (line()), or converted straight
    // into the caller's rows (convert_into), and counted (line_done).
    bool row_used_up() const { return mcu_lines_left == 0; }
    void next_row();
    void make_line();
    uint8_t* line() const;
    void line_done();
    int convert_into(uint8_t* out0, uint8_t* out1, int width);

private:
    uint8_t* block_samples(int slot, int mcu_x) const;
    void convert_span(uint8_t* out0, uint8_t* out1, int x, int pixels);
};

}  // namespace jpeg_decoder_detail
