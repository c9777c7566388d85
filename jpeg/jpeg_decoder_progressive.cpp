// Progressive scans. A progressive picture arrives as many scans, each
// adding a band of coefficients (spectral selection) or one more bit of
// them (successive approximation) for one or all components, so begin()
// decodes every scan into coefficient buffers that hold the whole picture.
// Lines are then made one MCU row at a time from those buffers:
// dequantised and handed to the inverse transform.
#include <algorithm>
#include <cstring>

#include "jpeg/jpeg_decoder_markers.h"
#include "jpeg/jpeg_decoder_output.h"
#include "jpeg/jpeg_decoder_progressive.h"
#include "jpeg/jpeg_decoder_sequential.h"

using namespace jpeg_decoder_detail;

// A block position outside the component's buffers is refused.
void progressive_stage::check_block(int comp, int bx, int by)
{
    if (bx < 0 || by < 0 || bx >= coef_blocks_x[comp] || by >= coef_blocks_y[comp]) {
        fail(JPEG_ASSERTION_ERROR);
    }
}

// The 64 coefficients of one block of a component, quantised, in natural
// order (the DC's place unused: it is kept apart, see block_dc).
int16_t* progressive_stage::block_coefs(int comp, int bx, int by)
{
    check_block(comp, bx, by);
    int16_t* chunk = coef_chunk[comp][by >> coef_chunk_shift[comp]];
    int row = by & ((1 << coef_chunk_shift[comp]) - 1);
    return chunk + (static_cast<std::size_t>(row) * coef_blocks_x[comp] + bx) * 64;
}

// The DC coefficient of one block, quantised. DC values are kept in a dense
// array of their own: the DC scans touch every block, and here they touch
// 2 bytes a block instead of a cache line.
int16_t* progressive_stage::block_dc(int comp, int bx, int by)
{
    check_block(comp, bx, by);
    return coef_dc[comp] + static_cast<std::size_t>(by) * coef_blocks_x[comp] + bx;
}

// Obtains the coefficient buffers, then decodes every scan up to the end of
// the image, checking each scan's band and bit positions first.
void progressive_stage::decode_all(input_stage& in, markers_stage& mk, sequential_stage& seq, const output_stage& out,
                                   block_table& memory)
{
    const frame_header& frame = mk.frame;
    const scan_header& scan = mk.scan;
    // A one-component frame is only ever decoded one block per MCU, so its
    // buffer needs one block per 8 x 8 pixels whatever its factors say.
    for (int c = 0; c < frame.comps_in_frame; ++c) {
        int h = frame.comps_in_frame == 1 ? 1 : frame.comp_h_samp[c];
        int v = frame.comps_in_frame == 1 ? 1 : frame.comp_v_samp[c];
        coef_blocks_x[c] = out.mcus_per_row * h;
        coef_blocks_y[c] = out.mcus_per_col * v;
        // Block rows in chunks of a power-of-two count, each of at most
        // coef_chunk_bytes: the heap can reuse such blocks from one picture
        // to the next, where one huge block would be mapped afresh each time.
        std::size_t row_bytes = static_cast<std::size_t>(coef_blocks_x[c]) * 64 * sizeof(int16_t);
        int shift = 0;
        while (shift < 30 && (row_bytes << (shift + 1)) <= coef_chunk_bytes) ++shift;
        coef_chunk_shift[c] = shift;
        int chunks = ((coef_blocks_y[c] - 1) >> shift) + 1;
        if (chunks > max_coef_chunks) fail(JPEG_ASSERTION_ERROR);
        for (int i = 0; i < chunks; ++i) {
            int rows = std::min(1 << shift, coef_blocks_y[c] - (i << shift));
            coef_chunk[c][i] = static_cast<int16_t*>(memory.alloc(row_bytes * static_cast<std::size_t>(rows)));
        }
        // Each block's record of the zig-zag positions its AC scans gave a
        // value, and the same for each 64 blocks and for the component.
        std::size_t blocks = static_cast<std::size_t>(coef_blocks_x[c]) * coef_blocks_y[c];
        std::size_t groups = (blocks + 63) / 64;
        coef_nz[c] = static_cast<uint64_t*>(memory.alloc((blocks + groups) * sizeof(uint64_t)));
        coef_nz_group[c] = coef_nz[c] + blocks;
        coef_nz_any[c] = 0;
        coef_dc[c] = static_cast<int16_t*>(memory.alloc(blocks * sizeof(int16_t)));
    }

    for (;;) {
        int marker = mk.process_markers(in);
        if (marker == M_EOI) break;
        if (marker != M_SOS) fail(JPEG_UNEXPECTED_MARKER);
        if (++scan_count > jpeg_max_scans) fail(JPEG_TOO_MANY_SCANS);
        mk.read_sos(in);
        mk.setup_scan(memory);
        seq.start_scan(in, mk.tables.restart_interval);
        eob_run = 0;
        if (scan.spectral_start > scan.spectral_end || scan.spectral_end > 63) fail(JPEG_BAD_SOS_SPECTRAL);
        if (scan.spectral_start == 0) {
            if (scan.spectral_end != 0) fail(JPEG_BAD_SOS_SPECTRAL);
        } else if (scan.comps_in_scan != 1) {
            fail(JPEG_BAD_SOS_SPECTRAL);
        }
        if (scan.succ_high != 0 && scan.succ_low != scan.succ_high - 1) fail(JPEG_BAD_SOS_SUCCESSIVE);
        decode_scan(in, mk, seq);
        in.reset_bit_reader();
    }
}

// One scan: every MCU, each block through the decoder of the scan's kind.
// The scan stops where its data ends (a block needing bits finds only
// padding): the blocks left keep what earlier scans gave them, so a scan
// with no data costs next to nothing. An end-of-band run of an AC scan is
// passed over whole (see skip_eob_run), so its cost follows the data too.
void progressive_stage::decode_scan(input_stage& in, const markers_stage& mk, sequential_stage& seq)
{
    const scan_header& scan = mk.scan;
    bool dc_scan = scan.spectral_start == 0;
    bool refine = scan.succ_high != 0;
    // An AC scan's blocks, and their records, lie inside the buffers.
    int c = scan.comp_list[0];
    if (!dc_scan && (scan.scan_mcus_x > coef_blocks_x[c] || scan.scan_mcus_y > coef_blocks_y[c])) {
        fail(JPEG_ASSERTION_ERROR);
    }
    if (dc_scan) {
        refine ? scan_mcus<true, true>(in, mk, seq) : scan_mcus<true, false>(in, mk, seq);
    } else {
        refine ? scan_mcus<false, true>(in, mk, seq) : scan_mcus<false, false>(in, mk, seq);
    }
}

namespace {

// The correction bits of the coefficients at the zig-zag positions in
// `known` (all non-zero), taken in zig-zag order. The bits are gathered
// first, up to 32 after each top-up of the bit buffer (which leaves more
// than 56), into the set of positions whose bit is 1, with no branch on
// them (they are as good as random); then each of those coefficients moves
// away from zero by p1 unless it has that bit already (it never has in a
// well-formed file, so that test is well predicted).
inline void RefineKnown(bit_cursor& bc, int16_t* block, uint64_t known, int p1)
{
    uint64_t ones = 0;
    while (known != 0) {
        if (bc.cnt < 32) bc.in.refill_fast(bc.buf, bc.cnt);
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

}  // namespace

// The `count` blocks of a refinement scan from scan position `pos` on that an
// end-of-band run covers: each coefficient of the band that is already
// non-zero takes a correction bit, and nothing else changes. The blocks'
// records of their non-zero positions find those coefficients: a run over
// a component with nothing in the band costs nothing, 64 blocks with
// nothing in the band are passed over in one step, and a block costs one
// step per coefficient it refines. The scan stops where the data ends,
// before the next block that needs bits, even when the run itself reaches
// the end of the scan: the bits of padding are no corrections.
inline void progressive_stage::skip_eob_run(bit_cursor& bc, const scan_header& scan, int pos, int count)
{
    int c = scan.comp_list[0];
    uint64_t band = (~0ull >> (63 - scan.spectral_end)) & (~0ull << scan.spectral_start);
    if ((coef_nz_any[c] & band) == 0) return;
    const uint64_t* nz = coef_nz[c];
    const uint64_t* group = coef_nz_group[c];
    int p1 = 1 << scan.succ_low;
    int end = pos + count;
    while (pos < end) {
        int my = pos / scan.scan_mcus_x;
        int mx = pos % scan.scan_mcus_x;
        int row_end = std::min(scan.scan_mcus_x, mx + (end - pos));
        pos += row_end - mx;
        std::size_t row = static_cast<std::size_t>(my) * coef_blocks_x[c];
        std::size_t i = row + mx;
        std::size_t stop = row + row_end;
        while (i < stop) {
            if ((i & 63) == 0 && stop - i >= 64 && (group[i >> 6] & band) == 0) {
                i += 64;
                continue;
            }
            uint64_t m = nz[i] & band;
            if (m != 0) {
                if (bc.data_exhausted()) throw data_ended{};
                RefineKnown(bc, block_coefs(c, static_cast<int>(i - row), my), m, p1);
            }
            ++i;
        }
    }
}

namespace {

// DC, first scan: the value predicted by `last_dc`, shifted up to its
// lowest bit.
inline void DecodeDcFirst(bit_cursor& bc, int16_t* dc, const huff_derived& h, uint32_t& last_dc, int al)
{
    int s = bc.symbol(h);
    if (s > 11) bc.bad_data(0);
    if (s != 0) last_dc += static_cast<uint32_t>(bc.extend(s));
    *dc = static_cast<int16_t>(last_dc << al);
}

// DC, refinement: one more bit.
inline void DecodeDcRefine(bit_cursor& bc, int16_t* dc, int al)
{
    if (bc.take(1)) *dc = static_cast<int16_t>(static_cast<uint16_t>(*dc) | (1u << al));
}

}  // namespace

// AC, first scan of a band: run/size coding as in sequential blocks, with
// end-of-band runs that cover following blocks too. Takes the block's
// record of non-zero positions and gives it back updated.
inline uint64_t progressive_stage::decode_ac_first(bit_cursor& cursor, const ac_band& band, int16_t* block,
                                                   uint64_t nz)
{
    // Copies of the cursor and of the band keep them in registers (as in
    // the sequential stage's decode_block).
    bit_cursor bc = cursor;
    const huff_derived& ac = *band.table;
    const int end = band.end, al = band.al;
    for (int k = band.start; k <= end; ++k) {
        // A code with its value bits in the lookahead: one look-up. A run
        // past the end is left to the symbol decoder below, which reports it.
        if (bc.cnt < 32) bc.in.refill_fast(bc.buf, bc.cnt);
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
            if (s > 10) bc.bad_data(0);
            k += r;
            if (k > 63) bc.bad_data(0);
            int v = bc.extend(s);
            block[kZigzag[k]] = static_cast<int16_t>(static_cast<uint32_t>(v) << al);
            nz |= 1ull << k;
        } else if (r == 15) {
            if (k + 15 > 63) bc.bad_data(0);
            k += 15;
        } else {
            eob_run = 1 << r;
            if (r != 0) eob_run += static_cast<int>(bc.take(r));
            --eob_run;
            break;
        }
    }
    // With a point transform of 7 or more a value can be shifted out of the
    // 16 bits and leave 0 (no sane encoder does this): the record follows.
    if (al >= 7) {
        for (int i = band.start; i <= end; ++i) {
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
inline uint64_t progressive_stage::decode_ac_refine(bit_cursor& cursor, const ac_band& band, int16_t* block,
                                                    uint64_t nz)
{
    bit_cursor bc = cursor;
    const huff_derived& ac = *band.table;
    int p1 = 1 << band.al;
    // Positions up to the band's end.
    const uint64_t to_end = ~0ull >> (63 - band.end);
    int k = band.start;
    while (k <= band.end) {
        int r;
        int value = 0;
        // A new coefficient whose code and sign bit are in the lookahead
        // (its entry holds the value 1 or -1): one look-up.
        if (bc.cnt < 32) bc.in.refill_fast(bc.buf, bc.cnt);
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
                if (s != 1) bc.bad_data(0);
                value = bc.take(1) ? p1 : -p1;
            } else if (r != 15) {
                eob_run = 1 << r;
                if (r != 0) eob_run += static_cast<int>(bc.take(r));
                break;
            }
        }
        // The symbol lands on the (r + 1)th position with no history from k
        // on (a run of 16 zeros: past the 16th); with too few, just past
        // the band's end.
        uint64_t from_k = to_end & (~0ull << k);
        uint64_t empty = from_k & ~nz;
        for (; r > 0 && empty != 0; --r) empty &= empty - 1;
        int target = empty != 0 ? __builtin_ctzll(empty) : band.end + 1;
        // target is 1 to 64: the positions below it.
        RefineKnown(bc, block, nz & from_k & ((2ull << (target - 1)) - 1), p1);
        k = target;
        if (value != 0) {
            if (k > 63) bc.bad_data(0);
            block[kZigzag[k]] = static_cast<int16_t>(value);
            nz |= 1ull << k;
        }
        ++k;
    }
    if (eob_run > 0) {
        if (k <= band.end) RefineKnown(bc, block, nz & to_end & (~0ull << k), p1);
        --eob_run;
    }
    cursor.buf = bc.buf;
    cursor.cnt = bc.cnt;
    return nz;
}

// The MCU loop of one kind of scan, made once per kind so that the block
// decoder sits in the loop with no test of the kind per block. What the
// loops read of the scan is copied first (the blocks of a DC scan's MCU as
// a table of their own), so that they read no other stage's state per
// block; the DC predictions are the loop's own too, as a restart starts
// them afresh.
template <bool Dc, bool Refine>
void progressive_stage::scan_mcus(input_stage& in, const markers_stage& mk, sequential_stage& seq)
{
    const scan_header& scan = mk.scan;
    const int restart_interval = mk.tables.restart_interval;
    const int mcus_x = scan.scan_mcus_x;
    const int total = mcus_x * scan.scan_mcus_y;
    const int blocks = scan.blocks_per_mcu;
    const bool one_comp = scan.comps_in_scan == 1;
    const int al = scan.succ_low;
    int block_comp[kMaxBlocksPerMcu], block_h[kMaxBlocksPerMcu], block_v[kMaxBlocksPerMcu];
    int block_dx[kMaxBlocksPerMcu], block_dy[kMaxBlocksPerMcu];
    const huff_derived* block_huff[kMaxBlocksPerMcu];
    uint32_t last_dc[4] = {0, 0, 0, 0};
    const ac_band band = {Dc ? nullptr : &mk.tables.derived[scan.comp_ac_slot[0]], scan.spectral_start,
                          scan.spectral_end, al};
    for (int b = 0; b < blocks; ++b) {
        int s = scan.mcu_org[b];
        int c = scan.comp_list[s];
        block_comp[b] = c;
        block_h[b] = mk.frame.comp_h_samp[c];
        block_v[b] = mk.frame.comp_v_samp[c];
        block_dx[b] = scan.mcu_dx[b];
        block_dy[b] = scan.mcu_dy[b];
        block_huff[b] = Dc && !Refine ? &mk.tables.derived[scan.comp_dc_slot[s]] : nullptr;
    }
    int mx = 0, my = 0;
    bit_cursor bc(in);
    try {
        for (int pos = 0; pos < total;) {
            // A restart ends an end-of-band run and the DC predictions.
            if (seq.count_restart_interval(bc, restart_interval)) {
                eob_run = 0;
                for (uint32_t& dc : last_dc) dc = 0;
            }
            // An end-of-band run that covers every block left in the scan, or
            // in the restart interval, needs no more data (but for the
            // correction bits of a refinement, see skip_eob_run).
            int left = total - pos;
            if (restart_interval != 0) left = std::min(left, seq.restarts_left + 1);
            if (bc.data_exhausted() && eob_run < left) throw data_ended{};
            if constexpr (Dc) {
                for (int b = 0; b < blocks; ++b) {
                    int c = block_comp[b];
                    int16_t* dc;
                    if (one_comp) {
                        dc = block_dc(c, mx, my);
                    } else {
                        dc = block_dc(c, mx * block_h[b] + block_dx[b], my * block_v[b] + block_dy[b]);
                    }
                    if constexpr (Refine) {
                        DecodeDcRefine(bc, dc, al);
                    } else {
                        DecodeDcFirst(bc, dc, *block_huff[b], last_dc[c], al);
                    }
                }
            } else {
                // AC scans hold one component, one block per MCU: a run ends at
                // the end of the scan or of the restart interval.
                int c = block_comp[0];
                if (eob_run > 0) {
                    int n = std::min(eob_run, left);
                    if constexpr (Refine) skip_eob_run(bc, scan, pos, n);
                    eob_run -= n;
                    if (restart_interval != 0) seq.restarts_left -= n - 1;
                    pos += n;
                    mx = pos % mcus_x;
                    my = pos / mcus_x;
                    continue;
                }
                int16_t* block = block_coefs(c, mx, my);
                std::size_t index = static_cast<std::size_t>(my) * coef_blocks_x[c] + mx;
                uint64_t nz;
                if constexpr (Refine) {
                    nz = decode_ac_refine(bc, band, block, coef_nz[c][index]);
                } else {
                    nz = decode_ac_first(bc, band, block, coef_nz[c][index]);
                }
                coef_nz[c][index] = nz;
                coef_nz_group[c][index >> 6] |= nz;
                coef_nz_any[c] |= nz;
            }
            ++pos;
            if (++mx == mcus_x) {
                mx = 0;
                ++my;
            }
        }
    } catch (const data_ended&) {
        in.data_ended_early = 1;
    }
    bc.store();
}

// Copies one MCU row out of the coefficient buffers, dequantises it and runs
// the inverse DCT into the sample planes.
void progressive_stage::load_row(const markers_stage& mk, output_stage& out)
{
    const frame_header& frame = mk.frame;
    int16_t q[3][64];
    for (int c = 0; c < frame.comps_in_frame; ++c) {
        int t = frame.comp_quant[c];
        for (int k = 0; k < 64; ++k) {
            q[c][kZigzag[k]] = static_cast<int16_t>(t < 4 ? mk.tables.quant[t][k] : 0);
        }
    }
    bool dc_only[kMaxBlocksPerMcu];
    for (int mx = 0; mx < out.mcus_per_row; ++mx) {
        for (int slot = 0; slot < out.layout_blocks; ++slot) {
            int c = out.slot_comp[slot];
            int h = out.layout == LAYOUT_GREY ? 1 : frame.comp_h_samp[c];
            int v = out.layout == LAYOUT_GREY ? 1 : frame.comp_v_samp[c];
            int bx = mx * h + out.slot_dx[slot], by = out.mcu_row * v + out.slot_dy[slot];
            int16_t* tmp = out.mcu_coefs + 64 * slot;
            tmp[0] = static_cast<int16_t>(static_cast<uint16_t>(*block_dc(c, bx, by)) * static_cast<uint16_t>(q[c][0]));
            // A block whose record is empty has no AC coefficients, and its
            // coefficients are not read.
            dc_only[slot] = coef_nz[c][static_cast<std::size_t>(by) * coef_blocks_x[c] + bx] == 0;
            if (!dc_only[slot]) {
                const int16_t* src = block_coefs(c, bx, by);
                for (int i = 1; i < 64; ++i) {
                    tmp[i] = static_cast<int16_t>(static_cast<uint16_t>(src[i]) * static_cast<uint16_t>(q[c][i]));
                }
            }
        }
        out.transform_mcu(mx, out.layout_blocks, dc_only);
    }
}
