// The progressive stage's state (jpeg_decoder_progressive.cpp): the
// coefficient store of the whole picture, with each block's record of the
// positions its AC scans set, and the scans' own counts.
#pragma once

#include <cstddef>
#include <cstdint>

#include "jpeg/jpeg_decoder_input.h"

namespace jpeg_decoder_detail {

struct markers_stage;
struct scan_header;
struct sequential_stage;
struct output_stage;

// What an AC scan's block decoders read of the scan: its table and band.
struct ac_band {
    const huff_derived* table;
    int start;
    int end;
    int al;
};

struct progressive_stage {
    // 64 coefficients per block, block rows in chunks of
    // 1 << coef_chunk_shift rows.
    static constexpr std::size_t coef_chunk_bytes = std::size_t(16) << 20;
    static constexpr int max_coef_chunks = 16;
    int16_t* coef_chunk[3][max_coef_chunks];
    int coef_chunk_shift[3];
    int coef_blocks_x[3];
    int coef_blocks_y[3];
    // Per block, bit k set where the AC coefficient at zig-zag position k
    // is non-zero; OR-ed over each 64 blocks of the buffer and over the
    // component (supersets, never cleared). Refinement scans find the
    // coefficients that take correction bits by them.
    uint64_t* coef_nz[3];
    uint64_t* coef_nz_group[3];
    uint64_t coef_nz_any[3];
    // The DC coefficient of each block, row by row.
    int16_t* coef_dc[3];
    int eob_run;
    int scan_count;

    // Obtains the store for the output's MCU grid and decodes every scan.
    void decode_all(input_stage& in, markers_stage& mk, sequential_stage& seq, const output_stage& out,
                    block_table& memory);
    // One MCU row out of the store into the output's sample planes.
    void load_row(const markers_stage& mk, output_stage& out);

private:
    void decode_scan(input_stage& in, const markers_stage& mk, sequential_stage& seq);
    template <bool Dc, bool Refine>
    void scan_mcus(input_stage& in, const markers_stage& mk, sequential_stage& seq);
    void check_block(int comp, int bx, int by);
    int16_t* block_coefs(int comp, int bx, int by);
    int16_t* block_dc(int comp, int bx, int by);
    uint64_t decode_ac_first(bit_cursor& cursor, const ac_band& band, int16_t* block, uint64_t nz);
    uint64_t decode_ac_refine(bit_cursor& cursor, const ac_band& band, int16_t* block, uint64_t nz);
    void skip_eob_run(bit_cursor& bc, const scan_header& scan, int pos, int count);
};

}  // namespace jpeg_decoder_detail
