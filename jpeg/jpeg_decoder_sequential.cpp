// Sequential scans. A baseline (or extended sequential) picture has one
// scan holding every component, decoded one MCU row at a time as lines are
// asked for: each block is Huffman decoded, dequantised and handed to the
// inverse transform at once, so no coefficients are kept. Restart markers
// are read between MCUs where the restart interval says (in progressive
// scans too), resetting the DC predictions; a missing or misnumbered one is
// an error.
#include <algorithm>
#include <cstring>

#include "jpeg/jpeg_decoder_internal.h"

using namespace jpeg_decoder_detail;

namespace {

// How far a restart marker is looked for before the data is taken as
// corrupt, which bounds the search in a hostile file.
constexpr int kRestartSearchBytes = 1536;

}  // namespace

// One sequential block: Huffman decoding with the lookahead tables, RECEIVE
// and EXTEND, dequantisation kept to 16 bits. The block works on its own
// copy of the cursor, so that the bit buffer stays in registers through the
// coefficient loop, and hands it back at the end; a failure in between ends
// the scan's data (or decoding), which needs no copy back.
bool jpeg_decoder::decode_block(bit_cursor& cursor, int16_t* coef, int scan_comp)
{
    bit_cursor bc = cursor;
    bool ac_present = false;
    int c = comp_list_[scan_comp];
    const huff_derived& dc = derived_[comp_dc_slot_[scan_comp]];
    const huff_derived& ac = derived_[comp_ac_slot_[scan_comp]];
    const uint16_t* q = quant_[comp_quant_[c]];

    if (bc.cnt < 32) refill_fast(bc.buf, bc.cnt);
    int32_t d = dc.value_look[bc.buf >> (64 - kLookBits)];
    if (d & kAcLookHit) {
        bc.skip_hit(d);
        last_dc_[c] += static_cast<uint32_t>(d >> 16);
    } else {
        int s = bc.symbol(dc);
        if (s > 11) bad_data(bc.cnt, 0);
        if (s != 0) last_dc_[c] += static_cast<uint32_t>(bc.extend(s));
    }
    coef[0] = static_cast<int16_t>(last_dc_[c] * q[0]);

    // Each step uses at most 16 code bits and 10 value bits.
    for (int k = 1; k < 64;) {
        if (bc.cnt < 32) refill_fast(bc.buf, bc.cnt);
        int32_t f = ac.value_look[bc.buf >> (64 - kLookBits)];
        int v;
        if (f & kAcLookHit) {
            k += (f >> 8) & 15;
            if (k > 63) bad_data(bc.cnt, f & (kAcLookHit - 1));
            bc.skip_hit(f);
            v = f >> 16;
        } else if (f & kAcLookCode) {
            // The code from the table, its value bits from the buffer (at
            // least 22 bits are left after the code).
            bc.skip(f & kAcLookBitsMask);
            k += (f >> 8) & 15;
            if (k > 63) bad_data(bc.cnt, 0);
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
                if (k + 15 > 63) bad_data(bc.cnt, 0);
                k += 16;
                continue;
            }
            if (size > 10) bad_data(bc.cnt, 0);
            k += r;
            if (k > 63) bad_data(bc.cnt, 0);
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
// expected RSTn; then the DC predictions, the end-of-band run and the bit
// reader start afresh.
void jpeg_decoder::process_restart()
{
    int budget = kRestartSearchBytes;
    uint32_t c;
    for (;;) {
        if (budget-- == 0) stop_decoding(JPEG_BAD_RESTART_MARKER);
        if (get_byte() == 0xFF) break;
    }
    for (;;) {
        if (budget-- == 0) stop_decoding(JPEG_BAD_RESTART_MARKER);
        c = get_byte();
        if (c != 0xFF) break;
    }
    if (c != static_cast<uint32_t>(M_RST0 + next_restart_num_)) stop_decoding(JPEG_BAD_RESTART_MARKER);
    for (uint32_t& dc : last_dc_) dc = 0;
    eob_run_ = 0;
    restarts_left_ = restart_interval_;
    next_restart_num_ = (next_restart_num_ + 1) & 7;
    reset_bit_reader();
}

// Decodes one MCU row of the frame. The blocks of each MCU are decoded
// first, then go through the inverse DCT together into their places in the
// sample planes; the blocks of the scan's MCU are taken by position. Once
// the data has ended, the MCUs left (the one whose data broke off from its
// broken block on) get blocks of zero coefficients, mid-grey, down to the
// last row.
void jpeg_decoder::decode_sequential_row()
{
    int mx = 0;
    int b = 0;
    bool dc_only[kMaxBlocksPerMcu];
    if (!data_ended_early_) {
        bit_cursor bc(*this);
        try {
            for (; mx < mcus_per_row_; ++mx) {
                count_restart_interval(bc);
                if (data_exhausted(bc)) {
                    data_ended_early_ = 1;
                    break;
                }
                for (b = 0; b < blocks_per_mcu_; ++b) {
                    dc_only[b] = !decode_block(bc, mcu_coefs_ + 64 * b, mcu_org_[b]);
                }
                transform_mcu(mx, std::min(blocks_per_mcu_, layout_blocks_), dc_only);
                clear_mcu_coefs(blocks_per_mcu_, dc_only);
                b = 0;
            }
        } catch (const data_ended&) {
            // The blocks before the broken one are complete.
            data_ended_early_ = 1;
            transform_mcu(mx, std::min(b, layout_blocks_), dc_only);
            std::memset(mcu_coefs_, 0, sizeof(int16_t) * 64 * kMaxBlocksPerMcu);
        }
        bc.store();
    }
    for (; mx < mcus_per_row_; ++mx, b = 0) {
        for (; b < layout_blocks_; ++b) idct_to_plane(mcu_coefs_, b, mx, true);
    }
}

// Clears the coefficients the blocks of an MCU stored, for the next MCU.
void jpeg_decoder::clear_mcu_coefs(int count, const bool* dc_only)
{
    for (int b = 0; b < count; ++b) {
        int16_t* coef = mcu_coefs_ + 64 * b;
        if (dc_only[b]) {
            coef[0] = 0;
        } else {
            std::memset(coef, 0, 64 * sizeof(int16_t));
        }
    }
}

// After the last MCU row: the segments up to the next marker are processed,
// so that errors in them still count.
void jpeg_decoder::finish_sequential()
{
    reset_bit_reader();
    process_markers();
}
