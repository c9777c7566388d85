// Sequential scans. A baseline (or extended sequential) picture has one
// scan holding every component, decoded one MCU row at a time as lines are
// asked for: each block is Huffman decoded, dequantised and handed to the
// inverse transform at once, so no coefficients are kept. Restart markers
// are read between MCUs where the restart interval says (in progressive
// scans too), resetting the DC predictions; a missing or misnumbered one is
// an error.
#include <algorithm>
#include <cstring>

#include "jpeg/jpeg_decoder_markers.h"
#include "jpeg/jpeg_decoder_output.h"
#include "jpeg/jpeg_decoder_sequential.h"

using namespace jpeg_decoder_detail;

namespace {

// How far a restart marker is looked for before the data is taken as
// corrupt, which bounds the search in a hostile file.
constexpr int kRestartSearchBytes = 1536;

// Clears the coefficients the blocks of an MCU stored, for the next MCU.
void ClearMcuCoefs(int16_t* coefs, int count, const bool* dc_only)
{
    for (int b = 0; b < count; ++b) {
        int16_t* coef = coefs + 64 * b;
        if (dc_only[b]) {
            coef[0] = 0;
        } else {
            std::memset(coef, 0, 64 * sizeof(int16_t));
        }
    }
}

}  // namespace

void sequential_stage::start_scan(input_stage& in, int restart_interval)
{
    for (uint32_t& dc : last_dc) dc = 0;
    restarts_left = restart_interval;
    next_restart_num = 0;
    in.reset_bit_reader();
}

// One sequential block: Huffman decoding with the lookahead tables, RECEIVE
// and EXTEND, dequantisation kept to 16 bits. The block works on its own
// copy of the cursor, so that the bit buffer stays in registers through the
// coefficient loop, and hands it back at the end; a failure in between ends
// the scan's data (or decoding), which needs no copy back.
bool sequential_stage::decode_block(bit_cursor& cursor, const markers_stage& mk, int16_t* coef, int scan_comp)
{
    bit_cursor bc = cursor;
    bool ac_present = false;
    int c = mk.scan.comp_list[scan_comp];
    const huff_derived& dc = mk.tables.derived[mk.scan.comp_dc_slot[scan_comp]];
    const huff_derived& ac = mk.tables.derived[mk.scan.comp_ac_slot[scan_comp]];
    const uint16_t* q = mk.tables.quant[mk.frame.comp_quant[c]];

    if (bc.cnt < 32) bc.in.refill_fast(bc.buf, bc.cnt);
    int32_t d = dc.value_look[bc.buf >> (64 - kLookBits)];
    if (d & kAcLookHit) {
        bc.skip_hit(d);
        last_dc[c] += static_cast<uint32_t>(d >> 16);
    } else {
        int s = bc.symbol(dc);
        if (s > 11) bc.bad_data(0);
        if (s != 0) last_dc[c] += static_cast<uint32_t>(bc.extend(s));
    }
    coef[0] = static_cast<int16_t>(last_dc[c] * q[0]);

    // Each step uses at most 16 code bits and 10 value bits.
    for (int k = 1; k < 64;) {
        if (bc.cnt < 32) bc.in.refill_fast(bc.buf, bc.cnt);
        int32_t f = ac.value_look[bc.buf >> (64 - kLookBits)];
        int v;
        if (f & kAcLookHit) {
            k += (f >> 8) & 15;
            if (k > 63) bc.bad_data(f & (kAcLookHit - 1));
            bc.skip_hit(f);
            v = f >> 16;
        } else if (f & kAcLookCode) {
            // The code from the table, its value bits from the buffer (at
            // least 22 bits are left after the code).
            bc.skip(f & kAcLookBitsMask);
            k += (f >> 8) & 15;
            if (k > 63) bc.bad_data(0);
            int size = f >> 16;
            v = static_cast<int>(bc.buf >> (64 - size));
            bc.skip(size);
            if (v < (1 << (size - 1))) v -= (1 << size) - 1;
        } else if (f & kAcLookEnd) {
            bc.skip(f & kAcLookBitsMask);
            break;
        } else {
            int rs = bc.symbol(ac);
            int r = rs >> 4, size = rs & 15;
            if (size == 0) {
                if (r != 15) break;
                if (k + 15 > 63) bc.bad_data(0);
                k += 16;
                continue;
            }
            if (size > 10) bc.bad_data(0);
            k += r;
            if (k > 63) bc.bad_data(0);
            v = bc.extend(size);
        }
        coef[kZigzag[k]] = static_cast<int16_t>(static_cast<uint32_t>(v) * q[k]);
        ac_present = true;
        ++k;
    }
    cursor.buf = bc.buf;
    cursor.cnt = bc.cnt;
    return ac_present;
}

// Ends a restart interval, in a scan of either kind: the rest of the
// interval's data is passed over up to the next marker, which must be the
// expected RSTn; then the DC predictions, the restart count and the bit
// reader start afresh (a progressive scan's loop restarts its own end-of-band
// run and predictions when count_restart_interval says so).
void sequential_stage::process_restart(input_stage& in, int restart_interval)
{
    int budget = kRestartSearchBytes;
    uint32_t c;
    for (;;) {
        if (budget-- == 0) fail(JPEG_BAD_RESTART_MARKER);
        if (in.get_byte() == 0xFF) break;
    }
    for (;;) {
        if (budget-- == 0) fail(JPEG_BAD_RESTART_MARKER);
        c = in.get_byte();
        if (c != 0xFF) break;
    }
    if (c != static_cast<uint32_t>(M_RST0 + next_restart_num)) fail(JPEG_BAD_RESTART_MARKER);
    for (uint32_t& dc : last_dc) dc = 0;
    restarts_left = restart_interval;
    next_restart_num = (next_restart_num + 1) & 7;
    in.reset_bit_reader();
}

// Decodes one MCU row of the frame. The blocks of each MCU are decoded
// first, then go through the inverse DCT together into their places in the
// sample planes; the blocks of the scan's MCU are taken by position. Once
// the data has ended, the MCUs left (the one whose data broke off from its
// broken block on) get blocks of zero coefficients, mid-grey, down to the
// last row.
void sequential_stage::decode_row(input_stage& in, const markers_stage& mk, output_stage& out)
{
    const scan_header& scan = mk.scan;
    int mx = 0;
    int b = 0;
    bool dc_only[kMaxBlocksPerMcu];
    if (!in.data_ended_early) {
        bit_cursor bc(in);
        try {
            for (; mx < out.mcus_per_row; ++mx) {
                count_restart_interval(bc, mk.tables.restart_interval);
                if (bc.data_exhausted()) {
                    in.data_ended_early = 1;
                    break;
                }
                for (b = 0; b < scan.blocks_per_mcu; ++b) {
                    dc_only[b] = !decode_block(bc, mk, out.mcu_coefs + 64 * b, scan.mcu_org[b]);
                }
                out.transform_mcu(mx, std::min(scan.blocks_per_mcu, out.layout_blocks), dc_only);
                ClearMcuCoefs(out.mcu_coefs, scan.blocks_per_mcu, dc_only);
                b = 0;
            }
        } catch (const data_ended&) {
            // The blocks before the broken one are complete.
            in.data_ended_early = 1;
            out.transform_mcu(mx, std::min(b, out.layout_blocks), dc_only);
            std::memset(out.mcu_coefs, 0, sizeof(int16_t) * 64 * kMaxBlocksPerMcu);
        }
        bc.store();
    }
    for (; mx < out.mcus_per_row; ++mx, b = 0) {
        for (; b < out.layout_blocks; ++b) out.idct_to_plane(out.mcu_coefs, b, mx, true);
    }
}

// After the last MCU row: the segments up to the next marker are processed,
// so that errors in them still count.
void sequential_stage::finish(input_stage& in, markers_stage& mk)
{
    in.reset_bit_reader();
    mk.process_markers(in);
}
