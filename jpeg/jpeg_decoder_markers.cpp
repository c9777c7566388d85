// Markers and table derivation. Marker processing finds the start of the
// image, reads the segments between scans (DHT, DQT, DRI, the frame and
// scan headers) into fixed tables, and skips every other segment with a
// length (APPn, COM, ...), refusing the markers that have no place there.
// Setting up a scan then checks that every table it names was defined,
// orders its blocks, and derives the Huffman decoding tables: lookahead
// tables for short codes, and the per-length limits for the long ones.
#include <cstring>

#include "jpeg/jpeg_decoder_internal.h"

using namespace jpeg_decoder_detail;

// ---------------------------------------------------------------- markers

// The start-of-image marker must end within the first 513 bytes and be
// followed by another marker.
void jpeg_decoder::locate_soi()
{
    uint32_t last = get_byte();
    uint32_t cur = get_byte();
    if (!(last == 0xFF && cur == M_SOI)) {
        bool found = false;
        for (int i = 0; i < 511 && !found; ++i) {
            last = cur;
            cur = get_byte();
            found = last == 0xFF && cur == M_SOI;
        }
        if (!found) stop_decoding(JPEG_NOT_JPEG);
    }
    uint32_t next = get_byte();
    push_back(next);
    if (next != 0xFF) stop_decoding(JPEG_NOT_JPEG);
}

// The code of the next marker, passing over anything before it and over
// fill bytes.
int jpeg_decoder::next_marker()
{
    for (;;) {
        uint32_t c;
        do {
            c = get_byte();
        } while (c != 0xFF);
        do {
            c = get_byte();
        } while (c == 0xFF);
        if (c != 0) return static_cast<int>(c);
    }
}

// Reads table and restart segments and skips the others until a frame
// header, SOI, EOI or SOS marker comes up, and returns that marker.
int jpeg_decoder::process_markers()
{
    for (;;) {
        int c = next_marker();
        switch (c) {
        case M_SOF0: case M_SOF1: case M_SOF2: case M_SOF3: case M_SOF5: case M_SOF6:
        case M_SOF7: case M_SOF9: case M_SOF10: case M_SOF11: case M_SOF13: case M_SOF14:
        case M_SOF15: case M_SOI: case M_EOI: case M_SOS:
            return c;
        case M_DHT:
            read_dht();
            break;
        case M_DQT:
            read_dqt();
            break;
        case M_DRI:
            read_dri();
            break;
        case M_DAC:
            stop_decoding(JPEG_NO_ARITHMETIC_SUPPORT);
        case M_TEM:
        case M_JPG:
            stop_decoding(JPEG_UNEXPECTED_MARKER);
        default:
            if (c >= M_RST0 && c <= M_RST7) stop_decoding(JPEG_UNEXPECTED_MARKER);
            skip_variable_marker();
            break;
        }
    }
}

void jpeg_decoder::skip_variable_marker()
{
    uint32_t len = get_word();
    if (len < 2) stop_decoding(JPEG_BAD_VARIABLE_MARKER);
    len -= 2;
    while (len > 0) {
        uint32_t avail = static_cast<uint32_t>(in_end_ - in_pos_);
        if (avail == 0) {
            get_byte();
            --len;
            continue;
        }
        uint32_t n = avail < len ? avail : len;
        in_pos_ += n;
        len -= n;
    }
}

void jpeg_decoder::read_dht()
{
    int left = static_cast<int>(get_word());
    if (left < 2) stop_decoding(JPEG_BAD_DHT_MARKER);
    left -= 2;
    uint8_t counts[16];
    uint8_t values[256];
    while (left > 0) {
        int index = static_cast<int>(get_byte());
        int total = 0;
        for (int i = 0; i < 16; ++i) {
            counts[i] = static_cast<uint8_t>(get_byte());
            total += counts[i];
        }
        if (total > 255) stop_decoding(JPEG_BAD_DHT_COUNTS);
        for (int i = 0; i < total; ++i) values[i] = static_cast<uint8_t>(get_byte());
        if (left < 17 + total) stop_decoding(JPEG_BAD_DHT_MARKER);
        int slot = (index & 15) + ((index & 0x10) ? 4 : 0);
        if (slot >= 8) stop_decoding(JPEG_BAD_DHT_INDEX);
        std::memcpy(huff_counts_[slot], counts, 16);
        std::memset(huff_values_[slot], 0, 256);
        std::memcpy(huff_values_[slot], values, static_cast<std::size_t>(total));
        huff_defined_[slot] = 1;
        left -= 17 + total;
    }
}

void jpeg_decoder::read_dqt()
{
    int left = static_cast<int>(get_word());
    if (left < 2) stop_decoding(JPEG_BAD_DQT_MARKER);
    left -= 2;
    while (left > 0) {
        uint32_t n = get_byte();
        int table = static_cast<int>(n & 15);
        if (table >= 4) stop_decoding(JPEG_BAD_DQT_TABLE);
        bool wide = (n >> 4) != 0;
        for (int i = 0; i < 64; ++i) {
            quant_[table][i] = static_cast<uint16_t>(wide ? get_word() : get_byte());
        }
        int need = wide ? 129 : 65;
        if (left < need) stop_decoding(JPEG_BAD_DQT_LENGTH);
        quant_defined_[table] = 1;
        left -= need;
    }
}

void jpeg_decoder::read_dri()
{
    if (get_word() != 4) stop_decoding(JPEG_BAD_DRI_LENGTH);
    restart_interval_ = static_cast<int>(get_word());
}

void jpeg_decoder::read_sof()
{
    uint32_t len = get_word();
    if (get_byte() != 8) stop_decoding(JPEG_BAD_PRECISION);
    image_y_size_ = static_cast<int>(get_word());
    if (image_y_size_ < 1 || image_y_size_ > max_dimension) stop_decoding(JPEG_BAD_HEIGHT);
    image_x_size_ = static_cast<int>(get_word());
    if (image_x_size_ < 1 || image_x_size_ > max_dimension) stop_decoding(JPEG_BAD_WIDTH);
    comps_in_frame_ = static_cast<int>(get_byte());
    if (comps_in_frame_ > 4) stop_decoding(JPEG_TOO_MANY_COMPONENTS);
    if (len != 8 + 3 * static_cast<uint32_t>(comps_in_frame_)) stop_decoding(JPEG_BAD_SOF_LENGTH);
    for (int i = 0; i < comps_in_frame_; ++i) {
        comp_ident_[i] = static_cast<int>(get_byte());
        uint32_t hv = get_byte();
        comp_h_samp_[i] = static_cast<int>(hv >> 4);
        comp_v_samp_[i] = static_cast<int>(hv & 15);
        comp_quant_[i] = static_cast<int>(get_byte());
        for (int j = 0; j < i; ++j) {
            if (comp_ident_[j] == comp_ident_[i]) stop_decoding(JPEG_DUPLICATE_COMP_ID);
        }
    }
}

void jpeg_decoder::read_sos()
{
    uint32_t len = get_word();
    int n = static_cast<int>(get_byte());
    comps_in_scan_ = n;
    if (len != 6 + 2 * static_cast<uint32_t>(n) || n < 1 || n > 4) stop_decoding(JPEG_BAD_SOS_LENGTH);
    for (int i = 0; i < n; ++i) {
        int id = static_cast<int>(get_byte());
        uint32_t sel = get_byte();
        int c = 0;
        while (c < comps_in_frame_ && comp_ident_[c] != id) ++c;
        if (c == comps_in_frame_) stop_decoding(JPEG_BAD_SOS_COMP_ID);
        for (int j = 0; j < i; ++j) {
            if (comp_list_[j] == c) stop_decoding(JPEG_BAD_SOS_LENGTH);
        }
        comp_list_[i] = c;
        comp_dc_slot_[i] = static_cast<int>(sel >> 4);
        comp_ac_slot_[i] = 4 + static_cast<int>(sel & 15);
    }
    spectral_start_ = static_cast<int>(get_byte());
    spectral_end_ = static_cast<int>(get_byte());
    uint32_t a = get_byte();
    succ_high_ = static_cast<int>(a >> 4);
    succ_low_ = static_cast<int>(a & 15);
    if (!progressive_) {
        spectral_start_ = 0;
        spectral_end_ = 63;
    }
}

// ---------------------------------------------------------------- scan set-up

// After a scan header: the block order of the scan's MCU, checks that its
// tables exist, the derived Huffman tables, and fresh DC predictions,
// end-of-band run, restart count and bit reader.
void jpeg_decoder::setup_scan()
{
    int blocks_x[4], blocks_y[4];
    for (int c = 0; c < comps_in_frame_; ++c) {
        blocks_x[c] = CeilDiv(CeilDiv(image_x_size_ * comp_h_samp_[c], max_h_samp_), 8);
        blocks_y[c] = CeilDiv(CeilDiv(image_y_size_ * comp_v_samp_[c], max_v_samp_), 8);
    }
    if (comps_in_scan_ == 1) {
        scan_mcus_x_ = blocks_x[comp_list_[0]];
        scan_mcus_y_ = blocks_y[comp_list_[0]];
        blocks_per_mcu_ = 1;
        mcu_org_[0] = 0;
        mcu_dx_[0] = 0;
        mcu_dy_[0] = 0;
    } else {
        scan_mcus_x_ = CeilDiv(CeilDiv(image_x_size_, 8), max_h_samp_);
        scan_mcus_y_ = CeilDiv(CeilDiv(image_y_size_, 8), max_v_samp_);
        blocks_per_mcu_ = 0;
        for (int s = 0; s < comps_in_scan_; ++s) {
            int c = comp_list_[s];
            for (int dy = 0; dy < comp_v_samp_[c]; ++dy) {
                for (int dx = 0; dx < comp_h_samp_[c]; ++dx) {
                    if (blocks_per_mcu_ == kMaxBlocksPerMcu) stop_decoding(JPEG_ASSERTION_ERROR);
                    mcu_org_[blocks_per_mcu_] = s;
                    mcu_dx_[blocks_per_mcu_] = dx;
                    mcu_dy_[blocks_per_mcu_] = dy;
                    ++blocks_per_mcu_;
                }
            }
        }
    }

    for (int s = 0; s < comps_in_scan_; ++s) {
        if (spectral_start_ == 0 && (comp_dc_slot_[s] > 3 || !huff_defined_[comp_dc_slot_[s]])) {
            stop_decoding(JPEG_UNDEFINED_HUFF_TABLE);
        }
        if (spectral_end_ > 0 && (comp_ac_slot_[s] > 7 || !huff_defined_[comp_ac_slot_[s]])) {
            stop_decoding(JPEG_UNDEFINED_HUFF_TABLE);
        }
    }
    for (int s = 0; s < comps_in_scan_; ++s) {
        int q = comp_quant_[comp_list_[s]];
        if (q > 3 || !quant_defined_[q]) stop_decoding(JPEG_UNDEFINED_QUANT_TABLE);
    }

    derive_tables();
    for (uint32_t& dc : last_dc_) dc = 0;
    eob_run_ = 0;
    restarts_left_ = restart_interval_;
    next_restart_num_ = 0;
    reset_bit_reader();
}

// Derives the decoding tables of every defined slot (T.81 Annex C code
// generation). Counts that over-subscribe a code length are refused.
void jpeg_decoder::derive_tables()
{
    if (derived_ == nullptr) derived_ = static_cast<huff_derived*>(alloc(sizeof(huff_derived) * 8));
    for (int slot = 0; slot < 8; ++slot) {
        if (!huff_defined_[slot]) continue;
        huff_derived& h = derived_[slot];
        // Slots 0-3 only ever serve as DC tables, 4-7 as AC tables.
        bool ac_slot = slot >= 4;
        std::memset(h.look, 0, sizeof(h.look));
        std::memset(h.value_look, 0, sizeof(h.value_look));
        std::memcpy(h.values, huff_values_[slot], 256);
        const uint8_t* counts = huff_counts_[slot];

        int32_t code = 0;
        int index = 0;
        for (int len = 1; len <= 16; ++len) {
            int n = counts[len - 1];
            h.valoffset[len] = index - code;
            h.maxcode[len] = n > 0 ? code + n - 1 : -1;
            if (code + n > (1 << len)) stop_decoding(JPEG_BAD_HUFF_TABLE);
            if (len <= kLookBits) {
                for (int i = 0; i < n; ++i) {
                    int sym = huff_values_[slot][index + i];
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
