// Progressive scans. A progressive picture arrives as many scans, each
// adding a band of coefficients (spectral selection) or one more bit of
// them (successive approximation) for one or all components, so begin()
// decodes every scan into coefficient buffers that hold the whole picture.
// Lines are then made one MCU row at a time from those buffers:
// dequantised and handed to the inverse transform.
#include <algorithm>
#include <cstring>

#include "jpeg/jpeg_decoder_internal.h"

using namespace jpeg_decoder_detail;

// A block position outside the component's buffers is refused.
void jpeg_decoder::check_block(int comp, int bx, int by)
{
    if (bx < 0 || by < 0 || bx >= coef_blocks_x_[comp] || by >= coef_blocks_y_[comp]) {
        stop_decoding(JPEG_ASSERTION_ERROR);
    }
}

// The 64 coefficients of one block of a component, quantised, in natural
// order (the DC's place unused: it is kept apart, see coef_dc).
int16_t* jpeg_decoder::coef_block(int comp, int bx, int by)
{
    check_block(comp, bx, by);
    int16_t* chunk = coef_chunk_[comp][by >> coef_chunk_shift_[comp]];
    int row = by & ((1 << coef_chunk_shift_[comp]) - 1);
    return chunk + (static_cast<std::size_t>(row) * coef_blocks_x_[comp] + bx) * 64;
}

// The DC coefficient of one block, quantised. DC values are kept in a dense
// array of their own: the DC scans touch every block, and here they touch
// 2 bytes a block instead of a cache line.
int16_t* jpeg_decoder::coef_dc(int comp, int bx, int by)
{
    check_block(comp, bx, by);
    return coef_dc_[comp] + static_cast<std::size_t>(by) * coef_blocks_x_[comp] + bx;
}

// Obtains the coefficient buffers, then decodes every scan up to the end of
// the image, checking each scan's band and bit positions first.
void jpeg_decoder::decode_progressive()
{
    // A one-component frame is only ever decoded one block per MCU, so its
    // buffer needs one block per 8 x 8 pixels whatever its factors say.
    for (int c = 0; c < comps_in_frame_; ++c) {
        int h = comps_in_frame_ == 1 ? 1 : comp_h_samp_[c];
        int v = comps_in_frame_ == 1 ? 1 : comp_v_samp_[c];
        coef_blocks_x_[c] = mcus_per_row_ * h;
        coef_blocks_y_[c] = mcus_per_col_ * v;
        // Block rows in chunks of a power-of-two count, each of at most
        // coef_chunk_bytes: the heap can reuse such blocks from one picture
        // to the next, where one huge block would be mapped afresh each time.
        std::size_t row_bytes = static_cast<std::size_t>(coef_blocks_x_[c]) * 64 * sizeof(int16_t);
        int shift = 0;
        while (shift < 30 && (row_bytes << (shift + 1)) <= coef_chunk_bytes) ++shift;
        coef_chunk_shift_[c] = shift;
        int chunks = ((coef_blocks_y_[c] - 1) >> shift) + 1;
        if (chunks > max_coef_chunks) stop_decoding(JPEG_ASSERTION_ERROR);
        for (int i = 0; i < chunks; ++i) {
            int rows = std::min(1 << shift, coef_blocks_y_[c] - (i << shift));
            coef_chunk_[c][i] = static_cast<int16_t*>(alloc(row_bytes * static_cast<std::size_t>(rows)));
        }
        // Each block's record of the zig-zag positions its AC scans gave a
        // value, and the same for each 64 blocks and for the component.
        std::size_t blocks = static_cast<std::size_t>(coef_blocks_x_[c]) * coef_blocks_y_[c];
        std::size_t groups = (blocks + 63) / 64;
        coef_nz_[c] = static_cast<uint64_t*>(alloc((blocks + groups) * sizeof(uint64_t)));
        coef_nz_group_[c] = coef_nz_[c] + blocks;
        coef_nz_any_[c] = 0;
        coef_dc_[c] = static_cast<int16_t*>(alloc(blocks * sizeof(int16_t)));
    }

    for (;;) {
        int marker = process_markers();
        if (marker == M_EOI) break;
        if (marker != M_SOS) stop_decoding(JPEG_UNEXPECTED_MARKER);
        if (++scan_count_ > jpeg_max_scans) stop_decoding(JPEG_TOO_MANY_SCANS);
        read_sos();
        setup_scan();
        if (spectral_start_ > spectral_end_ || spectral_end_ > 63) stop_decoding(JPEG_BAD_SOS_SPECTRAL);
        if (spectral_start_ == 0) {
            if (spectral_end_ != 0) stop_decoding(JPEG_BAD_SOS_SPECTRAL);
        } else if (comps_in_scan_ != 1) {
            stop_decoding(JPEG_BAD_SOS_SPECTRAL);
        }
        if (succ_high_ != 0 && succ_low_ != succ_high_ - 1) stop_decoding(JPEG_BAD_SOS_SUCCESSIVE);
        decode_progressive_scan();
        reset_bit_reader();
    }
}

// One scan: every MCU, each block through the decoder of the scan's kind.
// The scan stops where its data ends (a block needing bits finds only
// padding): the blocks left keep what earlier scans gave them, so a scan
// with no data costs next to nothing. An end-of-band run of an AC scan is
// passed over whole (see skip_eob_run), so its cost follows the data too.
void jpeg_decoder::decode_progressive_scan()
{
    bool dc_scan = spectral_start_ == 0;
    bool refine = succ_high_ != 0;
    // An AC scan's blocks, and their records, lie inside the buffers.
    if (!dc_scan && (scan_mcus_x_ > coef_blocks_x_[comp_list_[0]] || scan_mcus_y_ > coef_blocks_y_[comp_list_[0]])) {
        stop_decoding(JPEG_ASSERTION_ERROR);
    }
    if (dc_scan) {
        refine ? scan_mcus<true, true>() : scan_mcus<true, false>();
    } else {
        refine ? scan_mcus<false, true>() : scan_mcus<false, false>();
    }
}

// The correction bits of the coefficients at the zig-zag positions in
// `known` (all non-zero), taken in zig-zag order. The bits are gathered
// first, up to 32 after each top-up of the bit buffer (which leaves more
// than 56), into the set of positions whose bit is 1, with no branch on
// them (they are as good as random); then each of those coefficients moves
// away from zero by p1 unless it has that bit already (it never has in a
// well-formed file, so that test is well predicted).
inline void jpeg_decoder::refine_known(bit_cursor& bc, int16_t* block, uint64_t known, int p1)
{
    uint64_t ones = 0;
    while (known != 0) {
        if (bc.cnt < 32) refill_fast(bc.buf, bc.cnt);
        for (int i = 0; i < 32 && known != 0; ++i) {
            uint64_t lowest = known & (0 - known);
            ones |= lowest & (0 - (bc.buf >> 63));
            bc.skip(1);
            known ^= lowest;
        }
    }
    while (ones != 0) {
        int16_t* coef = block + kZigzag[__builtin_ctzll(ones)];
        int c = *coef;
        // Its sign is as good as random too: a select, not a branch.
        int away = c < 0 ? -p1 : p1;
        if ((c & p1) == 0) *coef = static_cast<int16_t>(c + away);
        ones &= ones - 1;
    }
}

// The `count` blocks of a refinement scan from scan position `pos` on that an
// end-of-band run covers: each coefficient of the band that is already
// non-zero takes a correction bit, and nothing else changes. The blocks'
// records of their non-zero positions find those coefficients: a run over
// a component with nothing in the band costs nothing, 64 blocks with
// nothing in the band are passed over in one step, and a block costs one
// step per coefficient it refines. The scan stops where the data ends,
// before the next block that needs bits, even when the run itself reaches
// the end of the scan: the bits of padding are no corrections.
inline void jpeg_decoder::skip_eob_run(bit_cursor& bc, int pos, int count)
{
    int c = comp_list_[0];
    uint64_t band = (~0ull >> (63 - spectral_end_)) & (~0ull << spectral_start_);
    if ((coef_nz_any_[c] & band) == 0) return;
    const uint64_t* nz = coef_nz_[c];
    const uint64_t* group = coef_nz_group_[c];
    int p1 = 1 << succ_low_;
    int end = pos + count;
    while (pos < end) {
        int my = pos / scan_mcus_x_;
        int mx = pos % scan_mcus_x_;
        int row_end = std::min(scan_mcus_x_, mx + (end - pos));
        pos += row_end - mx;
        std::size_t row = static_cast<std::size_t>(my) * coef_blocks_x_[c];
        std::size_t i = row + mx;
        std::size_t stop = row + row_end;
        while (i < stop) {
            if ((i & 63) == 0 && stop - i >= 64 && (group[i >> 6] & band) == 0) {
                i += 64;
                continue;
            }
            uint64_t m = nz[i] & band;
            if (m != 0) {
                if (data_exhausted(bc)) throw data_ended{};
                refine_known(bc, coef_block(c, static_cast<int>(i - row), my), m, p1);
            }
            ++i;
        }
    }
}

// DC, first scan: the predicted value, shifted up to its lowest bit.
inline void jpeg_decoder::decode_dc_first(bit_cursor& bc, int16_t* dc, int scan_comp)
{
    int c = comp_list_[scan_comp];
    int s = bc.symbol(derived_[comp_dc_slot_[scan_comp]]);
    if (s > 11) bad_data(bc.cnt, 0);
    if (s != 0) last_dc_[c] += static_cast<uint32_t>(bc.extend(s));
    *dc = static_cast<int16_t>(last_dc_[c] << succ_low_);
}

// DC, refinement: one more bit.
inline void jpeg_decoder::decode_dc_refine(bit_cursor& bc, int16_t* dc)
{
    if (bc.take(1)) *dc = static_cast<int16_t>(static_cast<uint16_t>(*dc) | (1u << succ_low_));
}

// AC, first scan of a band: run/size coding as in sequential blocks, with
// end-of-band runs that cover following blocks too. Takes the block's
// record of non-zero positions and gives it back updated.
inline uint64_t jpeg_decoder::decode_ac_first(bit_cursor& cursor, int16_t* block, uint64_t nz)
{
    // Copies of the cursor and of the scan's fields keep them in registers
    // (as in decode_block).
    bit_cursor bc = cursor;
    const huff_derived& ac = derived_[comp_ac_slot_[0]];
    const int end = spectral_end_, al = succ_low_;
    for (int k = spectral_start_; k <= end; ++k) {
        // A code with its value bits in the lookahead: one look-up. A run
        // past the end is left to the symbol decoder below, which reports it.
        if (bc.cnt < 32) refill_fast(bc.buf, bc.cnt);
        int32_t f = ac.value_look[bc.buf >> (64 - kLookBits)];
        if ((f & kAcLookHit) && k + ((f >> 8) & 15) <= 63) {
            k += (f >> 8) & 15;
            bc.skip_hit(f);
            block[kZigzag[k]] = static_cast<int16_t>(static_cast<uint32_t>(f >> 16) << al);
            nz |= 1ull << k;
            continue;
        }
        int rs = bc.symbol(ac);
        int r = rs >> 4, s = rs & 15;
        if (s != 0) {
            if (s > 10) bad_data(bc.cnt, 0);
            k += r;
            if (k > 63) bad_data(bc.cnt, 0);
            int v = bc.extend(s);
            block[kZigzag[k]] = static_cast<int16_t>(static_cast<uint32_t>(v) << al);
            nz |= 1ull << k;
        } else if (r == 15) {
            if (k + 15 > 63) bad_data(bc.cnt, 0);
            k += 15;
        } else {
            eob_run_ = 1 << r;
            if (r != 0) eob_run_ += static_cast<int>(bc.take(r));
            --eob_run_;
            break;
        }
    }
    // With a point transform of 7 or more a value can be shifted out of the
    // 16 bits and leave 0 (no sane encoder does this): the record follows.
    if (al >= 7) {
        for (int i = spectral_start_; i <= end; ++i) {
            if (block[kZigzag[i]] == 0) nz &= ~(1ull << i);
        }
    }
    cursor.buf = bc.buf;
    cursor.cnt = bc.cnt;
    return nz;
}

// AC, refinement of a band, for a block no end-of-band run covers: a
// correction bit for each coefficient already non-zero, and new
// coefficients of one unit at the current bit. A run counts positions with
// no history; the block's record of its non-zero positions finds them, and
// the known coefficients passed on the way, without a step per position.
// An end-of-band symbol ends the block's symbols; the rest of the block
// still takes its correction bits. Gives back the updated record.
inline uint64_t jpeg_decoder::decode_ac_refine(bit_cursor& cursor, int16_t* block, uint64_t nz)
{
    bit_cursor bc = cursor;
    const huff_derived& ac = derived_[comp_ac_slot_[0]];
    int p1 = 1 << succ_low_;
    // Positions up to the band's end.
    const uint64_t to_end = ~0ull >> (63 - spectral_end_);
    int k = spectral_start_;
    while (k <= spectral_end_) {
        int r;
        int value = 0;
        // A new coefficient whose code and sign bit are in the lookahead
        // (its entry holds the value 1 or -1): one look-up.
        if (bc.cnt < 32) refill_fast(bc.buf, bc.cnt);
        int32_t f = ac.value_look[bc.buf >> (64 - kLookBits)];
        if ((f & kAcLookHit) && static_cast<uint32_t>((f >> 16) + 1) <= 2) {
            r = (f >> 8) & 15;
            value = f > 0 ? p1 : -p1;
            bc.skip_hit(f);
        } else {
            int rs = bc.symbol(ac);
            r = rs >> 4;
            int s = rs & 15;
            if (s != 0) {
                if (s != 1) bad_data(bc.cnt, 0);
                value = bc.take(1) ? p1 : -p1;
            } else if (r != 15) {
                eob_run_ = 1 << r;
                if (r != 0) eob_run_ += static_cast<int>(bc.take(r));
                break;
            }
        }
        // The symbol lands on the (r + 1)th position with no history from k
        // on (a run of 16 zeros: past the 16th); with too few, just past
        // the band's end.
        uint64_t from_k = to_end & (~0ull << k);
        uint64_t empty = from_k & ~nz;
        for (; r > 0 && empty != 0; --r) empty &= empty - 1;
        int target = empty != 0 ? __builtin_ctzll(empty) : spectral_end_ + 1;
        // target is 1 to 64: the positions below it.
        refine_known(bc, block, nz & from_k & ((2ull << (target - 1)) - 1), p1);
        k = target;
        if (value != 0) {
            if (k > 63) bad_data(bc.cnt, 0);
            block[kZigzag[k]] = static_cast<int16_t>(value);
            nz |= 1ull << k;
        }
        ++k;
    }
    if (eob_run_ > 0) {
        if (k <= spectral_end_) refine_known(bc, block, nz & to_end & (~0ull << k), p1);
        --eob_run_;
    }
    cursor.buf = bc.buf;
    cursor.cnt = bc.cnt;
    return nz;
}

// The MCU loop of one kind of scan, made once per kind so that the block
// decoder sits in the loop with no test of the kind per block.
template <bool Dc, bool Refine>
void jpeg_decoder::scan_mcus()
{
    int total = scan_mcus_x_ * scan_mcus_y_;
    int mx = 0, my = 0;
    bit_cursor bc(*this);
    try {
        for (int pos = 0; pos < total;) {
            count_restart_interval(bc);
            // An end-of-band run that covers every block left in the scan, or
            // in the restart interval, needs no more data (but for the
            // correction bits of a refinement, see skip_eob_run).
            int left = total - pos;
            if (restart_interval_ != 0) left = std::min(left, restarts_left_ + 1);
            if (data_exhausted(bc) && eob_run_ < left) throw data_ended{};
            if constexpr (Dc) {
                for (int b = 0; b < blocks_per_mcu_; ++b) {
                    int s = mcu_org_[b];
                    int c = comp_list_[s];
                    int16_t* dc;
                    if (comps_in_scan_ == 1) {
                        dc = coef_dc(c, mx, my);
                    } else {
                        dc = coef_dc(c, mx * comp_h_samp_[c] + mcu_dx_[b], my * comp_v_samp_[c] + mcu_dy_[b]);
                    }
                    if constexpr (Refine) {
                        decode_dc_refine(bc, dc);
                    } else {
                        decode_dc_first(bc, dc, s);
                    }
                }
            } else {
                // AC scans hold one component, one block per MCU: a run ends at
                // the end of the scan or of the restart interval.
                int c = comp_list_[0];
                if (eob_run_ > 0) {
                    int n = std::min(eob_run_, left);
                    if constexpr (Refine) skip_eob_run(bc, pos, n);
                    eob_run_ -= n;
                    if (restart_interval_ != 0) restarts_left_ -= n - 1;
                    pos += n;
                    mx = pos % scan_mcus_x_;
                    my = pos / scan_mcus_x_;
                    continue;
                }
                int16_t* block = coef_block(c, mx, my);
                std::size_t index = static_cast<std::size_t>(my) * coef_blocks_x_[c] + mx;
                uint64_t nz;
                if constexpr (Refine) {
                    nz = decode_ac_refine(bc, block, coef_nz_[c][index]);
                } else {
                    nz = decode_ac_first(bc, block, coef_nz_[c][index]);
                }
                coef_nz_[c][index] = nz;
                coef_nz_group_[c][index >> 6] |= nz;
                coef_nz_any_[c] |= nz;
            }
            ++pos;
            if (++mx == scan_mcus_x_) {
                mx = 0;
                ++my;
            }
        }
    } catch (const data_ended&) {
        data_ended_early_ = 1;
    }
    bc.store();
}

// Copies one MCU row out of the coefficient buffers, dequantises it and runs
// the inverse DCT into the sample planes.
void jpeg_decoder::load_progressive_row()
{
    int16_t q[3][64];
    for (int c = 0; c < comps_in_frame_; ++c) {
        int t = comp_quant_[c];
        for (int k = 0; k < 64; ++k) {
            q[c][kZigzag[k]] = static_cast<int16_t>(t < 4 ? quant_[t][k] : 0);
        }
    }
    bool dc_only[kMaxBlocksPerMcu];
    for (int mx = 0; mx < mcus_per_row_; ++mx) {
        for (int slot = 0; slot < layout_blocks_; ++slot) {
            int c = slot_comp_[slot];
            int h = layout_ == LAYOUT_GREY ? 1 : comp_h_samp_[c];
            int v = layout_ == LAYOUT_GREY ? 1 : comp_v_samp_[c];
            int bx = mx * h + slot_dx_[slot], by = mcu_row_ * v + slot_dy_[slot];
            int16_t* tmp = mcu_coefs_ + 64 * slot;
            tmp[0] = static_cast<int16_t>(static_cast<uint16_t>(*coef_dc(c, bx, by)) * static_cast<uint16_t>(q[c][0]));
            // A block whose record is empty has no AC coefficients, and its
            // coefficients are not read.
            dc_only[slot] = coef_nz_[c][static_cast<std::size_t>(by) * coef_blocks_x_[c] + bx] == 0;
            if (!dc_only[slot]) {
                const int16_t* src = coef_block(c, bx, by);
                for (int i = 1; i < 64; ++i) {
                    tmp[i] = static_cast<int16_t>(static_cast<uint16_t>(src[i]) * static_cast<uint16_t>(q[c][i]));
                }
            }
        }
        transform_mcu(mx, layout_blocks_, dc_only);
    }
}
