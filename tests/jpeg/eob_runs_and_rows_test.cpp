// Progressive end-of-band runs, which the decoder passes over whole, against
// the same data written block by block; refinement scans against the same
// coefficients sent whole; and decode_rows, which hands lines out in bands
// into the caller's buffer.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <bit>
#include <iterator>
#include <map>

#include "jpeg/jpeg_decoder.h"
#include "tests/jpeg/jpeg_builder.h"

using namespace jpeg_test;

namespace {

// 4-bit codes: end-of-band runs of classes 0 to 8 and 10, and the other AC
// symbols used.
const std::vector<uint8_t> kAcCounts = {0, 0, 0, 16, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
const std::vector<uint8_t> kAcValues = {0x00, 0x10, 0x20, 0x30, 0x40, 0x50, 0x60, 0x70,
                                        0x80, 0x01, 0x02, 0x21, 0x22, 0x03, 0x23, 0xA0};
const auto kDc = Canonical(kDcCounts, kDcValues);
const auto kAc = Canonical(kAcCounts, kAcValues);

struct Decoded {
    int error = 0;
    bool endedEarly = false;
    std::vector<Bytes> lines;
};

Decoded Decode(const Bytes& file)
{
    Decoded out;
    jpeg_decoder_memory_stream stream(file.data(), file.size());
    jpeg_decoder d(&stream);
    if (d.error_code() == 0 && d.begin() == 0) {
        void* line;
        unsigned int len;
        while (d.decode(&line, &len) == 0) {
            const uint8_t* p = static_cast<const uint8_t*>(line);
            out.lines.emplace_back(p, p + len);
        }
    }
    out.error = d.error_code();
    out.endedEarly = d.data_ended_early();
    return out;
}

// A progressive 1024 x 24 greyscale picture (384 blocks, six groups of 64):
// a first scan over band 1..5 gives a few blocks 3 at index 1 and -2 at
// index 4, then a refinement scan sends a correction bit for each. Written
// either with one end-of-band symbol per block or with runs as long as the
// data allows (never across a restart), the two must decode alike.
constexpr int kBlocks = 384;
constexpr int kSpecial[] = {0, 5, 63, 64, 65, 130, 300, 383};

bool IsSpecial(int block) { return std::find(std::begin(kSpecial), std::end(kSpecial), block) != std::end(kSpecial); }

// One AC scan's data: per block its own codes (first scan, special blocks),
// then an end-of-band run from it over the following blocks with none
// (`runs`) or of that block alone, then the correction bits of the run's
// blocks (refinement: 1, 0, 1, ... over the special blocks' coefficients).
Bytes AcScan(bool refine, bool runs, int interval)
{
    BitWriter bw;
    int bit = 1;
    for (int block = 0; block < kBlocks;) {
        if (!refine && IsSpecial(block)) {
            bw.Put(kAc.at(0x02));
            PutValue(bw, 3, 2);
            bw.Put(kAc.at(0x22));
            PutValue(bw, -2, 2);
        }
        int n = 1;
        if (runs) {
            while (block + n < kBlocks && (refine || !IsSpecial(block + n)) &&
                   (interval == 0 || (block + n) % interval != 0)) {
                ++n;
            }
        }
        int r = std::bit_width(static_cast<unsigned>(n)) - 1;
        bw.Put(kAc.at(r << 4));
        if (r > 0) bw.Put(static_cast<uint32_t>(n - (1 << r)), r);
        for (int i = block; refine && i < block + n; ++i) {
            if (!IsSpecial(i)) continue;
            for (int k = 0; k < 2; ++k, bit ^= 1) bw.Put(static_cast<uint32_t>(bit), 1);
        }
        block += n;
        if (interval > 0 && block % interval == 0 && block < kBlocks) {
            bw.Marker(static_cast<uint8_t>(0xD0 + (block / interval - 1) % 8));
        }
    }
    return bw.Finish();
}

Bytes EobRunPicture(bool refine, bool runs, int interval)
{
    JpegBuilder b;
    b.Soi().Dqt(0, 8).Sof(0xC2, 1024, 24, {{1, 0x11, 0}}).Dht(0x10, kAcCounts, kAcValues);
    if (interval > 0) b.Dri(interval);
    b.Sos({{1, 0x00}}, 1, 5, 0x01).Raw(AcScan(false, runs, interval));
    if (refine) b.Sos({{1, 0x00}}, 1, 5, 0x10).Raw(AcScan(true, runs, interval));
    return b.Eoi().data;
}

TEST(JpegEobRuns, RunsDecodeLikeBlockByBlockEnds)
{
    for (int interval : {0, 50}) {
        Decoded first = Decode(EobRunPicture(false, false, interval));
        ASSERT_EQ(first.error, 0) << interval;
        EXPECT_FALSE(first.endedEarly);
        EXPECT_EQ(Decode(EobRunPicture(false, true, interval)).lines, first.lines) << interval;

        Decoded refined = Decode(EobRunPicture(true, false, interval));
        ASSERT_EQ(refined.error, 0) << interval;
        EXPECT_FALSE(refined.endedEarly);
        EXPECT_NE(refined.lines, first.lines) << "the correction bits change the picture";
        Decoded runs = Decode(EobRunPicture(true, true, interval));
        ASSERT_EQ(runs.error, 0) << interval;
        EXPECT_FALSE(runs.endedEarly);
        EXPECT_EQ(runs.lines, refined.lines) << interval;
    }
}

TEST(JpegEobRuns, RefinementStopsWhereItsDataEnds)
{
    // A refinement run whose data ends, at a byte's end, after the first
    // special block's correction bits: the scan stops there, so the blocks
    // after it keep the first scan's values. So too when the run covers the
    // whole scan: the padding that follows is no correction bits.
    Bytes file = EobRunPicture(true, true, 0);
    Decoded whole = Decode(file);
    ASSERT_EQ(whole.error, 0);
    Bytes first = EobRunPicture(false, true, 0);
    Decoded firstOnly = Decode(first);
    Bytes cut(file.begin(), file.begin() + static_cast<std::ptrdiff_t>(first.size()) - 2);
    const struct {
        int symbol, bits, extra;  // a run of (1 << bits) + extra blocks
    } runs[] = {{0x20, 2, 2}, {0xA0, 10, 0}};
    for (const auto& run : runs) {
        JpegBuilder b;
        b.Raw(cut).Sos({{1, 0x00}}, 1, 5, 0x10);
        BitWriter bw;
        bw.Put(kAc.at(run.symbol));
        bw.Put(static_cast<uint32_t>(run.extra), run.bits);
        bw.Put(1, 1);  // block 0's two correction bits only
        bw.Put(0, 1);
        Decoded partial = Decode(b.Raw(bw.Finish()).Eoi().data);
        ASSERT_EQ(partial.error, 0);
        EXPECT_TRUE(partial.endedEarly);
        // Block 0 (pixels 0-7) as refined; block 5 (pixels 40-47) as first sent.
        for (int y = 0; y < 8; ++y) {
            EXPECT_TRUE(std::equal(&partial.lines[y][0], &partial.lines[y][8], &whole.lines[y][0])) << y;
            EXPECT_TRUE(std::equal(&partial.lines[y][40], &partial.lines[y][48], &firstOnly.lines[y][40]))
                << run.symbol << " " << y;
        }
    }
}

// Coefficients of a block by zig-zag index (index 0, DC, unused).
using Block = std::array<int, 64>;

// A first AC scan over 1..63 at point transform `al`: each value's
// magnitude shifted down by al, zero runs of 16 as ZRL, an end of block
// after the last value short of 63.
Bytes FirstAcScan(const std::vector<Block>& blocks, const std::map<int, Code>& ac, int al)
{
    BitWriter bw;
    for (const Block& v : blocks) {
        int run = 0, last = 0;
        for (int k = 1; k < 64; ++k) {
            int a = (v[k] < 0 ? -v[k] : v[k]) >> al;
            if (a == 0) {
                ++run;
                continue;
            }
            for (; run > 15; run -= 16) bw.Put(ac.at(0xF0));
            int value = v[k] < 0 ? -a : a;
            bw.Put(ac.at((run << 4) | Category(value)));
            PutValue(bw, value, Category(value));
            run = 0;
            last = k;
        }
        if (last < 63) bw.Put(ac.at(0x00));
    }
    return bw.Finish();
}

// The refinement of the lowest bit (1 to 0) over 1..63, as an encoder
// writes it: a value of magnitude 1 is a new coefficient after a run of
// zero-history ones, with its sign bit; every other non-zero value is
// known and takes its correction bit after the next symbol; a block whose
// new coefficients end before its last position joins an end-of-band run,
// whose correction bits follow the run's symbol.
Bytes RefineAcScan(const std::vector<Block>& blocks, const std::map<int, Code>& ac)
{
    BitWriter bw;
    int eobRun = 0;
    std::vector<int> runBits;
    auto flushRun = [&] {
        if (eobRun == 0) return;
        int r = std::bit_width(static_cast<unsigned>(eobRun)) - 1;
        bw.Put(ac.at(r << 4));
        if (r > 0) bw.Put(static_cast<uint32_t>(eobRun - (1 << r)), r);
        for (int bit : runBits) bw.Put(static_cast<uint32_t>(bit), 1);
        runBits.clear();
        eobRun = 0;
    };
    for (const Block& v : blocks) {
        int lastNew = 0;
        for (int k = 1; k < 64; ++k) {
            if (v[k] == 1 || v[k] == -1) lastNew = k;
        }
        int run = 0;
        std::vector<int> bits;
        for (int k = 1; k < 64; ++k) {
            int a = v[k] < 0 ? -v[k] : v[k];
            if (a == 0) {
                ++run;
                continue;
            }
            for (; run > 15 && k <= lastNew; run -= 16) {
                flushRun();
                bw.Put(ac.at(0xF0));
                for (int bit : bits) bw.Put(static_cast<uint32_t>(bit), 1);
                bits.clear();
            }
            if (a > 1) {
                bits.push_back(a & 1);
                continue;
            }
            flushRun();
            bw.Put(ac.at((run << 4) | 1));
            bw.Put(v[k] > 0 ? 1 : 0, 1);
            for (int bit : bits) bw.Put(static_cast<uint32_t>(bit), 1);
            bits.clear();
            run = 0;
        }
        if (run > 0 || !bits.empty()) {
            ++eobRun;
            runBits.insert(runBits.end(), bits.begin(), bits.end());
        }
    }
    flushRun();
    return bw.Finish();
}

TEST(JpegRefinement, NewAndCorrectedCoefficientsMatchTheValuesSentWhole)
{
    // Three blocks of a 24 x 8 greyscale picture. Block 0: new coefficients
    // at the first position, after zeros with known ones among them, after
    // runs longer than 16 (ZRL) and at the last position. Block 1: a new
    // one, then known ones to the end of the band. Block 2: known ones only,
    // covered by block 1's end-of-band run.
    Block b0{}, b1{}, b2{};
    b0[1] = 1, b0[2] = -4, b0[3] = 3, b0[5] = 6, b0[7] = -1;
    b0[12] = 2, b0[20] = -7, b0[31] = 1, b0[40] = 9, b0[50] = -2, b0[63] = -1;
    b1[1] = 2, b1[3] = -1, b1[10] = 5, b1[63] = -3;
    b2[1] = -3, b2[2] = 4, b2[30] = 3;
    const std::vector<Block> blocks = {b0, b1, b2};

    // 7-bit codes for every run/size up to size 4, end of block, a run of
    // two blocks and ZRL.
    std::vector<uint8_t> values = {0x00, 0x10, 0xF0};
    for (int r = 0; r < 16; ++r) {
        for (int s = 1; s <= 4; ++s) values.push_back(static_cast<uint8_t>(r << 4 | s));
    }
    std::vector<uint8_t> counts(16, 0);
    counts[6] = static_cast<uint8_t>(values.size());
    const auto ac = Canonical(counts, values);
    auto picture = [&](int al, bool refine) {
        JpegBuilder b;
        b.Soi().Dqt(0, 2).Sof(0xC2, 24, 8, {{1, 0x11, 0}}).Dht(0x10, counts, values);
        b.Sos({{1, 0x00}}, 1, 63, al).Raw(FirstAcScan(blocks, ac, al));
        if (refine) b.Sos({{1, 0x00}}, 1, 63, 0x10).Raw(RefineAcScan(blocks, ac));
        return b.Eoi().data;
    };
    Decoded whole = Decode(picture(0, false));
    ASSERT_EQ(whole.error, 0);
    Decoded refined = Decode(picture(1, true));
    ASSERT_EQ(refined.error, 0);
    EXPECT_FALSE(refined.endedEarly);
    EXPECT_EQ(refined.lines, whole.lines);
    EXPECT_NE(Decode(picture(1, false)).lines, whole.lines) << "the refinement changes the picture";
}

TEST(JpegRefinement, AValueShiftedOutOfSixteenBitsHasNoHistory)
{
    // A first scan with a point transform of 8 sends 256 at position 1,
    // which leaves 0 in 16 bits, and 1 (256) at position 2. The refinement
    // to bit 7 then sends a new coefficient after a run of one position
    // with no history: position 1 is such a position, so the coefficient
    // lands on 3, and position 2 takes its correction bit on the way.
    const std::vector<uint8_t> values = {0x00, 0x01, 0x11, 0x08, 0x09, 0x19};
    const std::vector<uint8_t> counts = {0, 0, 6, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
    const auto ac = Canonical(counts, values);
    auto picture = [&](const Bytes& scan, const Bytes& refinement) {
        JpegBuilder b;
        b.Soi().Dqt(0, 1).Sof(0xC2, 8, 8, {{1, 0x11, 0}}).Dht(0x10, counts, values);
        b.Sos({{1, 0x00}}, 1, 63, refinement.empty() ? 0x00 : 0x08).Raw(scan);
        if (!refinement.empty()) b.Sos({{1, 0x00}}, 1, 63, 0x87).Raw(refinement);
        return b.Eoi().data;
    };
    // A first scan's block: (symbol, value) pairs, then an end of block.
    auto firstScan = [&](std::vector<std::pair<int, int>> coefficients) {
        BitWriter bw;
        for (auto [symbol, value] : coefficients) {
            bw.Put(ac.at(symbol));
            PutValue(bw, value, symbol & 15);
        }
        bw.Put(ac.at(0x00));
        return bw.Finish();
    };
    Bytes first = firstScan({{0x09, 256}, {0x01, 1}});
    BitWriter bw;
    bw.Put(ac.at(0x11));
    bw.Put(1, 1);  // +128
    bw.Put(1, 1);  // position 2: 256 + 128
    bw.Put(ac.at(0x00));
    Bytes refinement = bw.Finish();
    // The same coefficients sent whole: 384 at 2, 128 at 3.
    Bytes whole = firstScan({{0x19, 384}, {0x08, 128}});

    Decoded expected = Decode(picture(whole, {}));
    ASSERT_EQ(expected.error, 0);
    Decoded refined = Decode(picture(first, refinement));
    ASSERT_EQ(refined.error, 0);
    EXPECT_EQ(refined.lines, expected.lines);
}

TEST(JpegDecodeRows, FillsTheCallersBufferInBands)
{
    // H2V2 17 x 16 colour of flat blocks, 8 x 8 grey, the progressive
    // picture above, and each colour layout at a width and height that end
    // inside an MCU, with AC terms: as decode() gives them, then in bands of
    // 1, 2, 3 and 7 lines (so that pairs of lines sharing chroma are split
    // between bands) into a buffer whose lines are 5 bytes longer than
    // their pixels, packed to 3 bytes a colour pixel or not.
    JpegBuilder colour;
    colour.Soi().Dqt(0).Sof(0xC0, 17, 16, {{1, 0x22, 0}, {2, 0x11, 0}, {3, 0x11, 0}});
    colour.Dht(0x00, kDcCounts, kDcValues).Dht(0x10, kAcCounts, kAcValues).Sos({{1, 0x00}, {2, 0x00}, {3, 0x00}});
    BitWriter bw;
    const int dcs[2][6] = {{-800, 80, 240, 400, -1024, 400}, {-480, 400, 720, 1000, 0, -400}};
    int pred[3] = {0, 0, 0};
    for (const auto& mcu : dcs) {
        for (int i = 0; i < 6; ++i) {
            int c = i < 4 ? 0 : i - 3;
            EncodeBlock(bw, kDc, kAc, mcu[i] - pred[c]);
            pred[c] = mcu[i];
        }
    }
    colour.Raw(bw.Finish()).Eoi();
    JpegBuilder grey;
    grey.Soi().Dqt(0).Sof(0xC0, 8, 8, {{1, 0x11, 0}}).Dht(0x00, kDcCounts, kDcValues).Dht(0x10, kAcCounts, kAcValues);
    EncodeBlock(bw, kDc, kAc, 80);
    grey.Sos({{1, 0x00}}).Raw(bw.Finish()).Eoi();

    std::vector<Bytes> files = {colour.data, grey.data, EobRunPicture(true, true, 0)};
    for (int samp : {0x11, 0x21, 0x12, 0x22}) {
        int h = samp >> 4, v = samp & 15;
        int width = 37, height = 19;
        int mcus = ((width + 8 * h - 1) / (8 * h)) * ((height + 8 * v - 1) / (8 * v));
        JpegBuilder pic;
        pic.Soi().Dqt(0).Sof(0xC0, width, height, {{1, samp, 0}, {2, 0x11, 0}, {3, 0x11, 0}});
        pic.Dht(0x00, kDcCounts, kDcValues).Dht(0x10, kAcCounts, kAcValues).Sos({{1, 0x00}, {2, 0x00}, {3, 0x00}});
        BitWriter bits;
        uint32_t seed = 7u * static_cast<uint32_t>(samp);
        for (int m = 0; m < mcus; ++m) {
            for (int b = 0; b < h * v + 2; ++b) {
                seed = seed * 1103515245u + 12345u;
                int diff = static_cast<int>((seed >> 16) % 201) - 100;
                int ac = static_cast<int>(seed % 7) + 1;
                EncodeBlock(bits, kDc, kAc, diff, {{1, (seed & 0x100) != 0 ? -ac : ac}, {4, 5}});
            }
        }
        pic.Raw(bits.Finish()).Eoi();
        files.push_back(pic.data);
    }

    for (const Bytes& file : files) {
        Decoded whole = Decode(file);
        ASSERT_EQ(whole.error, 0);
        for (int i = 0; i < 8; ++i) {
            const int band = std::array{1, 2, 3, 7}[i / 2];
            const bool packed = (i & 1) != 0;
            jpeg_decoder_memory_stream stream(file.data(), file.size());
            jpeg_decoder d(&stream);
            EXPECT_EQ(d.decode_rows(nullptr, 0, 1, packed), -1) << "before begin";
            ASSERT_EQ(d.begin(), 0);
            int w = d.image_width(), h = d.image_height();
            ASSERT_EQ(whole.lines.size(), static_cast<size_t>(h));
            int px = packed && d.component_count() == 3 ? 3 : d.pixel_bytes();
            std::ptrdiff_t stride = w * px + 5;
            Bytes buf(static_cast<size_t>(stride) * h, 0xAB);
            int done = 0;
            for (;;) {
                int n = d.decode_rows(buf.data() + done * stride, stride, band, packed);
                ASSERT_GE(n, 0);
                if (n == 0) break;
                EXPECT_EQ(n, std::min(band, h - done));
                done += n;
            }
            EXPECT_EQ(done, h);
            EXPECT_EQ(d.decode_rows(buf.data(), stride, band, packed), 0) << "after the last line";
            for (int y = 0; y < h; ++y) {
                const uint8_t* row = buf.data() + y * stride;
                for (int x = 0; x < w; ++x) {
                    for (int c = 0; c < px; ++c) {
                        ASSERT_EQ(row[x * px + c], whole.lines[y][x * d.pixel_bytes() + c]) << x << "," << y;
                    }
                }
                for (int i = w * px; i < stride; ++i) ASSERT_EQ(row[i], 0xAB) << "past line " << y;
            }
        }
    }
}

}  // namespace
