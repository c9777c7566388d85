// Markers and table derivation. Marker processing finds the start of the
// image, reads the segments between scans (DHT, DQT, DRI, the frame and
// scan headers) into fixed tables, and skips every other segment with a
// length (APPn, COM, ...), refusing the markers that have no place there.
// Setting up a scan then checks that every table it names was defined,
// orders its blocks, and derives the Huffman decoding tables: lookahead
// tables for short codes, and the per-length limits for the long ones.
#include <algorithm>
#include <cstring>

#include "jpeg/jpeg_decoder_input.h"
#include "jpeg/jpeg_decoder_markers.h"

using namespace jpeg_decoder_detail;

// ---------------------------------------------------------------- markers

// The start-of-image marker must end within the first 513 bytes and be
// followed by another marker.
void markers_stage::locate_soi(input_stage& in)
{
    uint32_t last = in.get_byte();
    uint32_t cur = in.get_byte();
    if (!(last == 0xFF && cur == M_SOI)) {
        bool found = false;
        for (int i = 0; i < 511 && !found; ++i) {
            last = cur;
            cur = in.get_byte();
            found = last == 0xFF && cur == M_SOI;
        }
        if (!found) fail(JPEG_NOT_JPEG);
    }
    uint32_t next = in.get_byte();
    in.push_back(next);
    if (next != 0xFF) fail(JPEG_NOT_JPEG);
}

// The code of the next marker, passing over anything before it and over
// fill bytes.
int markers_stage::next_marker(input_stage& in)
{
    for (;;) {
        uint32_t c;
        do {
            c = in.get_byte();
        } while (c != 0xFF);
        do {
            c = in.get_byte();
        } while (c == 0xFF);
        if (c != 0) return static_cast<int>(c);
    }
}

// Reads table and restart segments and skips the others until a frame
// header, SOI, EOI or SOS marker comes up, and returns that marker.
int markers_stage::process_markers(input_stage& in)
{
    for (;;) {
        int c = next_marker(in);
        switch (c) {
        case M_SOF0: case M_SOF1: case M_SOF2: case M_SOF3: case M_SOF5: case M_SOF6:
        case M_SOF7: case M_SOF9: case M_SOF10: case M_SOF11: case M_SOF13: case M_SOF14:
        case M_SOF15: case M_SOI: case M_EOI: case M_SOS:
            return c;
        case M_DHT:
            read_dht(in);
            break;
        case M_DQT:
            read_dqt(in);
            break;
        case M_DRI:
            read_dri(in);
            break;
        case M_DAC:
            fail(JPEG_NO_ARITHMETIC_SUPPORT);
        case M_TEM:
        case M_JPG:
            fail(JPEG_UNEXPECTED_MARKER);
        default:
            if (c >= M_RST0 && c <= M_RST7) fail(JPEG_UNEXPECTED_MARKER);
            skip_variable_marker(in);
            break;
        }
    }
}

void markers_stage::skip_variable_marker(input_stage& in)
{
    uint32_t len = in.get_word();
    if (len < 2) fail(JPEG_BAD_VARIABLE_MARKER);
    in.skip_bytes(len - 2);
}

void markers_stage::read_dht(input_stage& in)
{
    int left = static_cast<int>(in.get_word());
    if (left < 2) fail(JPEG_BAD_DHT_MARKER);
    left -= 2;
    uint8_t counts[16];
    uint8_t values[256];
    while (left > 0) {
        int index = static_cast<int>(in.get_byte());
        int total = 0;
        for (int i = 0; i < 16; ++i) {
            counts[i] = static_cast<uint8_t>(in.get_byte());
            total += counts[i];
        }
        if (total > 255) fail(JPEG_BAD_DHT_COUNTS);
        for (int i = 0; i < total; ++i) values[i] = static_cast<uint8_t>(in.get_byte());
        if (left < 17 + total) fail(JPEG_BAD_DHT_MARKER);
        int slot = (index & 15) + ((index & 0x10) ? 4 : 0);
        if (slot >= 8) fail(JPEG_BAD_DHT_INDEX);
        std::memcpy(tables.huff_counts[slot], counts, 16);
        std::memset(tables.huff_values[slot], 0, 256);
        std::memcpy(tables.huff_values[slot], values, static_cast<std::size_t>(total));
        tables.huff_defined[slot] = 1;
        left -= 17 + total;
    }
}

void markers_stage::read_dqt(input_stage& in)
{
    int left = static_cast<int>(in.get_word());
    if (left < 2) fail(JPEG_BAD_DQT_MARKER);
    left -= 2;
    while (left > 0) {
        uint32_t n = in.get_byte();
        int table = static_cast<int>(n & 15);
        if (table >= 4) fail(JPEG_BAD_DQT_TABLE);
        bool wide = (n >> 4) != 0;
        for (int i = 0; i < 64; ++i) {
            tables.quant[table][i] = static_cast<uint16_t>(wide ? in.get_word() : in.get_byte());
        }
        int need = wide ? 129 : 65;
        if (left < need) fail(JPEG_BAD_DQT_LENGTH);
        tables.quant_defined[table] = 1;
        left -= need;
    }
}

void markers_stage::read_dri(input_stage& in)
{
    if (in.get_word() != 4) fail(JPEG_BAD_DRI_LENGTH);
    tables.restart_interval = static_cast<int>(in.get_word());
}

// The markers up to the frame header, which must be of a kind the decoder
// reads, and the header.
void markers_stage::read_frame(input_stage& in)
{
    int marker = process_markers(in);
    if (marker == M_SOF2) {
        frame.progressive = 1;
    } else if (marker == M_SOF9) {
        fail(JPEG_NO_ARITHMETIC_SUPPORT);
    } else if (marker != M_SOF0 && marker != M_SOF1) {
        fail(JPEG_UNSUPPORTED_MARKER);
    }
    read_sof(in);
}

// The frame header. Its sampling factors are checked by the output stage,
// before anything divides by them.
void markers_stage::read_sof(input_stage& in)
{
    uint32_t len = in.get_word();
    if (in.get_byte() != 8) fail(JPEG_BAD_PRECISION);
    frame.image_y_size = static_cast<int>(in.get_word());
    if (frame.image_y_size < 1 || frame.image_y_size > jpeg_decoder::max_dimension) fail(JPEG_BAD_HEIGHT);
    frame.image_x_size = static_cast<int>(in.get_word());
    if (frame.image_x_size < 1 || frame.image_x_size > jpeg_decoder::max_dimension) fail(JPEG_BAD_WIDTH);
    frame.comps_in_frame = static_cast<int>(in.get_byte());
    if (frame.comps_in_frame > 4) fail(JPEG_TOO_MANY_COMPONENTS);
    if (len != 8 + 3 * static_cast<uint32_t>(frame.comps_in_frame)) fail(JPEG_BAD_SOF_LENGTH);
    for (int i = 0; i < frame.comps_in_frame; ++i) {
        frame.comp_ident[i] = static_cast<int>(in.get_byte());
        uint32_t hv = in.get_byte();
        frame.comp_h_samp[i] = static_cast<int>(hv >> 4);
        frame.comp_v_samp[i] = static_cast<int>(hv & 15);
        frame.comp_quant[i] = static_cast<int>(in.get_byte());
        for (int j = 0; j < i; ++j) {
            if (frame.comp_ident[j] == frame.comp_ident[i]) fail(JPEG_DUPLICATE_COMP_ID);
        }
    }
    frame.max_h_samp = 1;
    frame.max_v_samp = 1;
    for (int i = 0; i < frame.comps_in_frame; ++i) {
        frame.max_h_samp = std::max(frame.max_h_samp, frame.comp_h_samp[i]);
        frame.max_v_samp = std::max(frame.max_v_samp, frame.comp_v_samp[i]);
    }
}

void markers_stage::read_sos(input_stage& in)
{
    uint32_t len = in.get_word();
    int n = static_cast<int>(in.get_byte());
    scan.comps_in_scan = n;
    if (len != 6 + 2 * static_cast<uint32_t>(n) || n < 1 || n > 4) fail(JPEG_BAD_SOS_LENGTH);
    for (int i = 0; i < n; ++i) {
        int id = static_cast<int>(in.get_byte());
        uint32_t sel = in.get_byte();
        int c = 0;
        while (c < frame.comps_in_frame && frame.comp_ident[c] != id) ++c;
        if (c == frame.comps_in_frame) fail(JPEG_BAD_SOS_COMP_ID);
        for (int j = 0; j < i; ++j) {
            if (scan.comp_list[j] == c) fail(JPEG_BAD_SOS_LENGTH);
        }
        scan.comp_list[i] = c;
        scan.comp_dc_slot[i] = static_cast<int>(sel >> 4);
        scan.comp_ac_slot[i] = 4 + static_cast<int>(sel & 15);
    }
    scan.spectral_start = static_cast<int>(in.get_byte());
    scan.spectral_end = static_cast<int>(in.get_byte());
    uint32_t a = in.get_byte();
    scan.succ_high = static_cast<int>(a >> 4);
    scan.succ_low = static_cast<int>(a & 15);
    if (!frame.progressive) {
        scan.spectral_start = 0;
        scan.spectral_end = 63;
    }
}

// ---------------------------------------------------------------- scan set-up

// After a scan header: the block order of the scan's MCU, checks that its
// tables exist, and the derived Huffman tables.
void markers_stage::setup_scan(block_table& memory)
{
    int blocks_x[4], blocks_y[4];
    for (int c = 0; c < frame.comps_in_frame; ++c) {
        blocks_x[c] = CeilDiv(CeilDiv(frame.image_x_size * frame.comp_h_samp[c], frame.max_h_samp), 8);
        blocks_y[c] = CeilDiv(CeilDiv(frame.image_y_size * frame.comp_v_samp[c], frame.max_v_samp), 8);
    }
    if (scan.comps_in_scan == 1) {
        scan.scan_mcus_x = blocks_x[scan.comp_list[0]];
        scan.scan_mcus_y = blocks_y[scan.comp_list[0]];
        scan.blocks_per_mcu = 1;
        scan.mcu_org[0] = 0;
        scan.mcu_dx[0] = 0;
        scan.mcu_dy[0] = 0;
    } else {
        scan.scan_mcus_x = CeilDiv(CeilDiv(frame.image_x_size, 8), frame.max_h_samp);
        scan.scan_mcus_y = CeilDiv(CeilDiv(frame.image_y_size, 8), frame.max_v_samp);
        scan.blocks_per_mcu = 0;
        for (int s = 0; s < scan.comps_in_scan; ++s) {
            int c = scan.comp_list[s];
            for (int dy = 0; dy < frame.comp_v_samp[c]; ++dy) {
                for (int dx = 0; dx < frame.comp_h_samp[c]; ++dx) {
                    if (scan.blocks_per_mcu == kMaxBlocksPerMcu) fail(JPEG_ASSERTION_ERROR);
                    scan.mcu_org[scan.blocks_per_mcu] = s;
                    scan.mcu_dx[scan.blocks_per_mcu] = dx;
                    scan.mcu_dy[scan.blocks_per_mcu] = dy;
                    ++scan.blocks_per_mcu;
                }
            }
        }
    }

    for (int s = 0; s < scan.comps_in_scan; ++s) {
        if (scan.spectral_start == 0 && (scan.comp_dc_slot[s] > 3 || !tables.huff_defined[scan.comp_dc_slot[s]])) {
            fail(JPEG_UNDEFINED_HUFF_TABLE);
        }
        if (scan.spectral_end > 0 && (scan.comp_ac_slot[s] > 7 || !tables.huff_defined[scan.comp_ac_slot[s]])) {
            fail(JPEG_UNDEFINED_HUFF_TABLE);
        }
    }
    for (int s = 0; s < scan.comps_in_scan; ++s) {
        int q = frame.comp_quant[scan.comp_list[s]];
        if (q > 3 || !tables.quant_defined[q]) fail(JPEG_UNDEFINED_QUANT_TABLE);
    }

    derive_tables(memory);
}

// Derives the decoding tables of every defined slot (T.81 Annex C code
// generation). Counts that over-subscribe a code length are refused.
void markers_stage::derive_tables(block_table& memory)
{
    if (tables.derived == nullptr) tables.derived = static_cast<huff_derived*>(memory.alloc(sizeof(huff_derived) * 8));
    for (int slot = 0; slot < 8; ++slot) {
        if (!tables.huff_defined[slot]) continue;
        huff_derived& h = tables.derived[slot];
        // Slots 0-3 only ever serve as DC tables, 4-7 as AC tables.
        bool ac_slot = slot >= 4;
        std::memset(h.look, 0, sizeof(h.look));
        std::memset(h.value_look, 0, sizeof(h.value_look));
        std::memcpy(h.values, tables.huff_values[slot], 256);
        const uint8_t* counts = tables.huff_counts[slot];

        int32_t code = 0;
        int index = 0;
        for (int len = 1; len <= 16; ++len) {
            int n = counts[len - 1];
            h.valoffset[len] = index - code;
            h.maxcode[len] = n > 0 ? code + n - 1 : -1;
            if (code + n > (1 << len)) fail(JPEG_BAD_HUFF_TABLE);
            if (len <= kLookBits) {
                for (int i = 0; i < n; ++i) {
                    int sym = tables.huff_values[slot][index + i];
                    int first = (code + i) << (kLookBits - len);
                    int span = 1 << (kLookBits - len);
                    int run = sym >> 4, size = sym & 15;
                    for (int j = 0; j < span; ++j) {
                        int idx = first + j;
                        h.look[idx] = static_cast<uint16_t>((len << 8) | sym);
                        if (!ac_slot) {
                            // A DC category (its whole symbol) and its bits.
                            if (sym <= 11 && len + sym <= kLookBits) {
                                int v = 0;
                                if (sym != 0) {
                                    v = (idx >> (kLookBits - len - sym)) & ((1 << sym) - 1);
                                    if (v < (1 << (sym - 1))) v -= (1 << sym) - 1;
                                }
                                h.value_look[idx] =
                                    static_cast<int32_t>(static_cast<uint32_t>(v) << 16) | kAcLookHit | (len + sym);
                            }
                            continue;
                        }
                        if (size != 0 && size <= 10 && len + size <= kLookBits) {
                            int v = (idx >> (kLookBits - len - size)) & ((1 << size) - 1);
                            if (v < (1 << (size - 1))) v -= (1 << size) - 1;
                            h.value_look[idx] = static_cast<int32_t>(static_cast<uint32_t>(v) << 16) |
                                             (run << 8) | kAcLookHit | (len + size);
                        } else if (size != 0 && size <= 10) {
                            h.value_look[idx] = (size << 16) | (run << 8) | kAcLookCode | len;
                        } else if (size == 0 && run != 15) {
                            h.value_look[idx] = kAcLookEnd | len;
                        }
                    }
                }
            }
            index += n;
            code = (code + n) << 1;
        }
    }
}
