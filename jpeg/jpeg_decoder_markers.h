// The markers stage's state: what the headers and table segments say
// (jpeg_decoder_markers.cpp). The frame is read by the constructor; tables
// and scan headers between scans. The other stages read it: the output the
// frame, the scan stages the current scan and the tables.
#pragma once

#include <cstdint>

#include "jpeg/jpeg_decoder_internal.h"

namespace jpeg_decoder_detail {

struct input_stage;

struct frame_header {
    int image_x_size;
    int image_y_size;
    int progressive;
    int comps_in_frame;
    int comp_ident[4];
    int comp_h_samp[4];
    int comp_v_samp[4];
    int comp_quant[4];
    int max_h_samp;
    int max_v_samp;

    int pixel_bytes() const { return comps_in_frame == 1 ? 1 : 4; }
};

// Tables as they arrive, and what the scans use of them.
struct table_set {
    uint16_t quant[4][64];
    int quant_defined[4];
    uint8_t huff_counts[8][16];
    uint8_t huff_values[8][256];
    int huff_defined[8];
    huff_derived* derived;  // 8 slots, obtained at the first scan set-up
    int restart_interval;   // MCUs between restart markers, 0 for none
};

// The current scan's header, and the blocks of its MCU.
struct scan_header {
    int comps_in_scan;
    int comp_list[4];
    int comp_dc_slot[4];
    int comp_ac_slot[4];
    int spectral_start;
    int spectral_end;
    int succ_high;
    int succ_low;
    int scan_mcus_x;
    int scan_mcus_y;
    int blocks_per_mcu;
    int mcu_org[kMaxBlocksPerMcu];  // scan component index of each block of the MCU
    int mcu_dx[kMaxBlocksPerMcu];   // block offset within the component's part of the MCU
    int mcu_dy[kMaxBlocksPerMcu];
};

struct markers_stage {
    frame_header frame;
    table_set tables;
    scan_header scan;

    void locate_soi(input_stage& in);
    // Up to and including the frame header.
    void read_frame(input_stage& in);
    int process_markers(input_stage& in);
    void read_sos(input_stage& in);
    void setup_scan(block_table& memory);

private:
    int next_marker(input_stage& in);
    void skip_variable_marker(input_stage& in);
    void read_dht(input_stage& in);
    void read_dqt(input_stage& in);
    void read_dri(input_stage& in);
    void read_sof(input_stage& in);
    void derive_tables(block_table& memory);
};

}  // namespace jpeg_decoder_detail
