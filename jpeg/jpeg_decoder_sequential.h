// The sequential stage's state (jpeg_decoder_sequential.cpp): where the
// entropy decoder stands in a sequential scan, its DC predictions, and the
// restart count of a scan of either kind (progressive scans read their
// restart markers through this stage too).
#pragma once

#include <cstdint>

#include "jpeg/jpeg_decoder_input.h"

namespace jpeg_decoder_detail {

struct markers_stage;
struct output_stage;

struct sequential_stage {
    uint32_t last_dc[4];  // DC predictions (wrapping)
    int restarts_left;
    int next_restart_num;

    // Fresh predictions, restart count and bit reader for a new scan.
    void start_scan(input_stage& in, int restart_interval);
    bool count_restart_interval(bit_cursor& bc, int restart_interval);
    void process_restart(input_stage& in, int restart_interval);

    // One MCU row of a sequential picture into the output's sample planes.
    void decode_row(input_stage& in, const markers_stage& mk, output_stage& out);
    // After the last row.
    void finish(input_stage& in, markers_stage& mk);

private:
    bool decode_block(bit_cursor& bc, const markers_stage& mk, int16_t* coef, int scan_comp);
};

// Before each MCU of a scan with restarts: when the interval is used up,
// the restart marker is read (through the stream, so the cursor's bits go
// back to the input first). True when a marker was read.
inline bool sequential_stage::count_restart_interval(bit_cursor& bc, int restart_interval)
{
    if (restart_interval == 0) return false;
    bool restarted = restarts_left == 0;
    if (restarted) {
        bc.store();
        process_restart(bc.in, restart_interval);
        bc.load();
    }
    --restarts_left;
    return restarted;
}

}  // namespace jpeg_decoder_detail
