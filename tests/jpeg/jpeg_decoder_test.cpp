// Hand-made JPEG files with exactly known results: sample and pixel values,
// line sequencing, restarts, input buffering and every error code.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <random>
#include <string>

#include "error/memory.h"
#include "jpeg/jpeg_decoder.h"
#include "jpeg/jpeg_kernels.h"
#include "simd/simd.h"
#include "tests/jpeg/jpeg_builder.h"

using namespace jpeg_test;

namespace {

// AC symbols used by the tests, all with 4-bit codes.
const std::vector<uint8_t> kAcCounts = {0, 0, 0, 16, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
const std::vector<uint8_t> kAcValues = {0x00, 0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07,
                                        0x08, 0x11, 0x21, 0xF0, 0x0B, 0x09, 0x0A, 0x31};
const auto kDc = Canonical(kDcCounts, kDcValues);
const auto kAc = Canonical(kAcCounts, kAcValues);

// Entropy-coded data made of the given codes, padded with 1-bits.
Bytes Bits(std::initializer_list<Code> codes)
{
    BitWriter bw;
    for (const Code& c : codes) bw.Put(c);
    return bw.Finish();
}

Bytes Tables(const std::vector<uint8_t>& dcCounts, const std::vector<uint8_t>& dcValues)
{
    return JpegBuilder().Dht(0x00, dcCounts, dcValues).Dht(0x10, kAcCounts, kAcValues).data;
}

struct Result {
    int error = 0;
    int lineBytes = 0;
    std::vector<std::vector<uint8_t>> lines;
    bool endedEarly = false;
};

// Runs the decoder's whole calling order over a stream.
Result DecodeAll(jpeg_decoder_stream_base* stream)
{
    Result r;
    jpeg_decoder d(stream);
    r.error = d.error_code();
    if (r.error != 0) return r;
    r.lineBytes = d.line_bytes();
    if (d.begin() != 0) {
        r.error = d.error_code();
        return r;
    }
    for (;;) {
        void* line;
        unsigned int len;
        int status = d.decode(&line, &len);
        if (status == 1) break;
        if (status != 0) {
            EXPECT_EQ(status, JPEG_DECODE_ERROR);
            break;
        }
        EXPECT_EQ(len, static_cast<unsigned>(r.lineBytes));
        const uint8_t* p = static_cast<const uint8_t*>(line);
        r.lines.emplace_back(p, p + len);
    }
    r.error = d.error_code();
    r.endedEarly = d.data_ended_early();
    return r;
}

Result DecodeAll(const Bytes& file)
{
    jpeg_decoder_memory_stream stream(file.data(), file.size());
    return DecodeAll(&stream);
}

// Baseline headers with the tests' tables, up to the scan's data.
JpegBuilder GreyScan(int w, int h, int restartInterval = 0)
{
    JpegBuilder b = JpegBuilder().Soi().Dqt(0).Sof(0xC0, w, h, {{1, 0x11, 0}}).Raw(Tables(kDcCounts, kDcValues));
    if (restartInterval > 0) b.Dri(restartInterval);
    return b.Sos({{1, 0x00}});
}

JpegBuilder ColourScan(int w, int h, int yhv)
{
    JpegBuilder b;
    b.Soi().Dqt(0).Sof(0xC0, w, h, {{1, yhv, 0}, {2, 0x11, 0}, {3, 0x11, 0}}).Raw(Tables(kDcCounts, kDcValues));
    return b.Sos({{1, 0x00}, {2, 0x00}, {3, 0x00}});
}

// DC-only blocks (quantisation 1) after the given headers: (component, DC
// coefficient) pairs in scan order, each coded against its component's
// prediction.
Bytes DcPicture(JpegBuilder b, const std::vector<std::pair<int, int>>& blocks)
{
    BitWriter bw;
    int pred[3] = {0, 0, 0};
    for (auto [c, dc] : blocks) {
        EncodeBlock(bw, kDc, kAc, dc - pred[c]);
        pred[c] = dc;
    }
    return b.Raw(bw.Finish()).Eoi().data;
}

TEST(JpegDecoder, DcOnlyBlockAndLineSequencing)
{
    Bytes file = DcPicture(GreyScan(8, 8), {{0, 80}});
    jpeg_decoder_memory_stream stream(file.data(), file.size());
    jpeg_decoder d(&stream);
    ASSERT_EQ(d.error_code(), 0);
    EXPECT_EQ(d.image_width(), 8);
    EXPECT_EQ(d.image_height(), 8);
    EXPECT_EQ(d.component_count(), 1);
    void* line;
    unsigned int len;
    EXPECT_EQ(d.decode(&line, &len), -1) << "decode before begin";
    ASSERT_EQ(d.begin(), 0);
    EXPECT_EQ(d.begin(), 0);
    for (int y = 0; y < 8; ++y) {
        ASSERT_EQ(d.decode(&line, &len), 0);
        ASSERT_EQ(len, 8u);
        for (int x = 0; x < 8; ++x) EXPECT_EQ(static_cast<uint8_t*>(line)[x], 138);
    }
    EXPECT_EQ(d.decode(&line, &len), 1);
    EXPECT_EQ(d.decode(&line, &len), 1);
    EXPECT_EQ(d.error_code(), 0);
}

TEST(JpegDecoder, AcCoefficientsFollowZigzagOrderAndTheIntegerTransform)
{
    // One AC coefficient at zig-zag index 1 (natural position 1): a
    // horizontal half-cosine, values worked out from the transform by hand.
    BitWriter bw;
    EncodeBlock(bw, kDc, kAc, 0, {{1, 8}});
    Result r = DecodeAll(GreyScan(8, 8).Raw(bw.Finish()).Eoi().data);
    ASSERT_EQ(r.error, 0);
    ASSERT_EQ(r.lines.size(), 8u);
    for (const Bytes& line : r.lines) EXPECT_EQ(line, Bytes({129, 129, 129, 128, 128, 127, 127, 127}));
}

TEST(JpegDecoder, ColourPixelsUseTheFixedPointTables)
{
    // Five H1V1 MCUs of flat (Y, Cb, Cr) samples.
    const int samples[5][3] = {{100, 128, 128}, {0, 128, 128}, {255, 128, 128}, {128, 0, 255}, {142, 0, 208}};
    std::vector<std::pair<int, int>> blocks;
    for (const auto& mcu : samples) {
        for (int c = 0; c < 3; ++c) blocks.push_back({c, 8 * (mcu[c] - 128)});
    }
    Result r = DecodeAll(DcPicture(ColourScan(40, 8, 0x11), blocks));
    ASSERT_EQ(r.error, 0);
    ASSERT_EQ(r.lines.size(), 8u);
    EXPECT_EQ(r.lineBytes, 40 * 4);
    const Bytes expected[5] = {{101, 99, 101, 0}, {1, 0, 1, 0}, {255, 254, 255, 0}, {255, 81, 0, 0}, {255, 128, 0, 0}};
    for (const auto& line : r.lines) {
        for (int x = 0; x < 40; ++x) EXPECT_EQ(Bytes(&line[4 * x], &line[4 * x + 4]), expected[x / 8]) << x;
    }
}

TEST(JpegDecoder, SubsampledChromaIsReplicated)
{
    // H2V2, 17 x 16: two MCUs, 32-pixel line buffers, 68 bytes per line.
    // Y blocks differ; chroma is flat per MCU.
    const int ys[2][4] = {{10, 20, 30, 40}, {50, 60, 70, 80}};
    const int cbs[2] = {128, 0};
    std::vector<std::pair<int, int>> blocks;
    for (int m = 0; m < 2; ++m) {
        for (int i = 0; i < 4; ++i) blocks.push_back({0, 8 * (ys[m][i] - 128)});
        blocks.push_back({1, 8 * (cbs[m] - 128)});
        blocks.push_back({2, 0});
    }
    Result r = DecodeAll(DcPicture(ColourScan(17, 16, 0x22), blocks));
    ASSERT_EQ(r.error, 0);
    EXPECT_EQ(r.lineBytes, 68);
    ASSERT_EQ(r.lines.size(), 16u);
    // Cr 128 adds 1 to red; Cb 128 adds 1 to blue, Cb 0 takes 227.
    for (int y = 0; y < 16; ++y) {
        for (int x = 0; x < 17; ++x) {
            int m = x / 16, block = (y / 8) * 2 + (x % 16) / 8;
            int yy = ys[m][block];
            EXPECT_EQ(r.lines[y][4 * x + 0], yy + 1) << x << "," << y;
            EXPECT_EQ(r.lines[y][4 * x + 2], m == 0 ? yy + 1 : 0) << x << "," << y;
        }
    }
}

// An H2V2 picture of 2 x 2 MCUs whose blocks take every kind of code the
// tests' tables have: AC values of 1 to 10 bits (within the decoder's
// lookahead together with their code, and past it), runs of up to 3 and of
// 16 and more zeros, blocks that run to index 63 without an end of block,
// DC differences of every category, and DC-only blocks between the others.
// The model decodes nothing: it transforms the coded coefficients with the
// scalar kernels, so a block that goes astray in the entropy decoder, the
// pairing of blocks for the transform or the line pairs shows.
struct CodedPicture {
    static constexpr int kWidth = 32, kHeight = 32, kBlocks = 24;  // 4 MCUs of Y Y Y Y Cb Cr
    std::array<std::array<int16_t, 64>, kBlocks> coefs{};          // natural order
    std::vector<Bytes> blockBits;  // per block: the picture's data up to its end

    explicit CodedPicture(uint32_t seed)
    {
        static const int kNatural[64] = {0,  1,  8,  16, 9,  2,  3,  10, 17, 24, 32, 25, 18, 11, 4,  5,
                                         12, 19, 26, 33, 40, 48, 41, 34, 27, 20, 13, 6,  7,  14, 21, 28,
                                         35, 42, 49, 56, 57, 50, 43, 36, 29, 22, 15, 23, 30, 37, 44, 51,
                                         58, 59, 52, 45, 38, 31, 39, 46, 53, 60, 61, 54, 47, 55, 62, 63};
        std::mt19937 rng(seed);
        auto value = [&](int size) {
            int v = (1 << (size - 1)) + static_cast<int>(rng() % (1u << (size - 1)));
            return (rng() & 1) ? v : -v;
        };
        BitWriter bw;
        int pred[3] = {0, 0, 0};
        for (int b = 0; b < kBlocks; ++b) {
            int c = b % 6 < 4 ? 0 : b % 6 - 3;
            int category = b % 12;
            int diff = category == 0 ? 0 : value(category);
            if (pred[c] + diff > 1023 || pred[c] + diff < -1024) diff = -diff;
            pred[c] += diff;
            coefs[b][0] = static_cast<int16_t>(pred[c]);
            std::vector<std::pair<int, int>> acs;
            if (b % 5 != 2) {  // every fifth block is DC only
                static const int kGaps[] = {0, 0, 0, 1, 2, 3, 16, 17, 19, 35};
                for (int k = 1;;) {
                    int gap = b % 7 == 3 ? 0 : kGaps[rng() % 10];  // some blocks fill all 63
                    k += gap;
                    if (k > 63) break;
                    // The tables code runs 1 to 3 only with a value of one bit.
                    int v = gap % 16 == 0 ? value(1 + static_cast<int>(rng() % 10)) : value(1);
                    acs.push_back({k, v});
                    coefs[b][kNatural[k]] = static_cast<int16_t>(v);
                    ++k;
                }
            }
            EncodeBlock(bw, kDc, kAc, diff, acs);
            BitWriter upTo = bw;
            blockBits.push_back(upTo.Finish());
        }
    }

    Bytes File(int blocks) const
    {
        return ColourScan(kWidth, kHeight, 0x22).Raw(blockBits[blocks - 1]).Eoi().data;
    }

    // The lines when the blocks from `decoded` on are zero (mid-grey).
    std::vector<std::vector<uint8_t>> Lines(int decoded) const
    {
        std::vector<uint8_t> y(kWidth * kHeight), cb(kWidth * kHeight / 4), cr(kWidth * kHeight / 4);
        for (int b = 0; b < kBlocks; ++b) {
            int mcu = b / 6, slot = b % 6, mx = mcu % 2, my = mcu / 2;
            std::array<int16_t, 64> block{};
            if (b < decoded) block = coefs[b];
            if (slot < 4) {
                int x = mx * 16 + (slot % 2) * 8, row = my * 16 + (slot / 2) * 8;
                jpeg_kernels::IdctScalar(block.data(), y.data() + row * kWidth + x, kWidth);
            } else {
                uint8_t* plane = slot == 4 ? cb.data() : cr.data();
                jpeg_kernels::IdctScalar(block.data(), plane + my * 8 * (kWidth / 2) + mx * 8, kWidth / 2);
            }
        }
        jpeg_kernels::ColorTables tables;
        jpeg_kernels::FillColorTables(&tables);
        std::vector<std::vector<uint8_t>> lines;
        for (int row = 0; row < kHeight; ++row) {
            std::vector<uint8_t> line(4 * kWidth, 0);
            jpeg_kernels::ColorH2Scalar(y.data() + row * kWidth, cb.data() + row / 2 * (kWidth / 2),
                                        cr.data() + row / 2 * (kWidth / 2), line.data(), kWidth, &tables);
            lines.push_back(line);
        }
        return lines;
    }
};

TEST(JpegDecoder, EveryKindOfCodeGivesTheCodedCoefficientsAtEveryLevel)
{
    for (uint32_t seed : {1u, 2u, 3u}) {
        CodedPicture picture(seed);
        const auto expect = picture.Lines(CodedPicture::kBlocks);
        for (simd::Level level : simd::kLevels) {
            if (!simd::Supported(level)) continue;
            const simd::Level before = simd::Active();
            simd::SetActive(level);
            Result r = DecodeAll(picture.File(CodedPicture::kBlocks));
            simd::SetActive(before);
            ASSERT_EQ(r.error, 0) << "seed " << seed;
            EXPECT_FALSE(r.endedEarly);
            ASSERT_EQ(r.lines.size(), expect.size());
            for (size_t row = 0; row < expect.size(); ++row) {
                ASSERT_EQ(r.lines[row], expect[row]) << "seed " << seed << ", " << simd::Name(level) << ", line " << row;
            }
        }
    }
}

TEST(JpegDecoder, DataEndingInsideAnMcuKeepsTheBlocksBeforeTheBrokenOne)
{
    // Cut after each block: the data's last byte is filled with 1-bits and
    // the end-of-image marker follows, so the next block's code breaks in
    // the padding. The blocks decoded so far stay, the rest are mid-grey.
    CodedPicture picture(4);
    for (int blocks = 1; blocks < CodedPicture::kBlocks; ++blocks) {
        Result r = DecodeAll(picture.File(blocks));
        ASSERT_EQ(r.error, 0) << blocks;
        EXPECT_TRUE(r.endedEarly) << blocks;
        const auto expect = picture.Lines(blocks);
        ASSERT_EQ(r.lines.size(), expect.size());
        for (size_t row = 0; row < expect.size(); ++row) {
            ASSERT_EQ(r.lines[row], expect[row]) << "cut after block " << blocks << ", line " << row;
        }
    }
}

TEST(JpegDecoder, RestartMarkersResetPredictionsAndMustBeInOrder)
{
    const int values[4] = {10, 200, 128, 60};
    auto build = [&](const std::vector<int>& rstNumbers) {
        JpegBuilder b = GreyScan(32, 8, 1);
        for (int m = 0; m < 4; ++m) {
            if (m > 0) b.Raw({0xFF, static_cast<uint8_t>(0xD0 + rstNumbers[m - 1])});
            BitWriter bw;
            EncodeBlock(bw, kDc, kAc, 8 * (values[m] - 128));  // prediction is 0 after each restart
            b.Raw(bw.Finish());
        }
        return b.Eoi().data;
    };
    Result good = DecodeAll(build({0, 1, 2}));
    ASSERT_EQ(good.error, 0);
    for (int m = 0; m < 4; ++m) EXPECT_EQ(good.lines[7][8 * m + 3], values[m]);

    EXPECT_EQ(DecodeAll(build({0, 2, 3})).error, JPEG_BAD_RESTART_MARKER);
}

TEST(JpegDecoder, StartOfImageSearchAndEmptyInput)
{
    Bytes body = DcPicture(GreyScan(8, 8), {{0, 0}});
    Bytes p511(511, 0x12), p512(512, 0x12);
    p511.insert(p511.end(), body.begin(), body.end());
    p512.insert(p512.end(), body.begin(), body.end());
    EXPECT_EQ(DecodeAll(p511).error, 0);
    EXPECT_EQ(DecodeAll(p512).error, JPEG_NOT_JPEG);
    EXPECT_EQ(DecodeAll(Bytes{}).error, JPEG_NOT_JPEG);
    EXPECT_EQ(DecodeAll(Bytes{0xFF, 0xD8, 0x00, 0xFF, 0xC0}).error, JPEG_NOT_JPEG);
}

// A stream that hands out at most `chunk` bytes per read, and optionally
// nothing at all on every other read.
class TrickleStream : public jpeg_decoder_stream_base {
public:
    TrickleStream(const Bytes& data, int chunk, bool stalls) : data_(data), chunk_(chunk), stalls_(stalls) {}
    int read(unsigned char* buffer, int max_bytes, bool* eof_flag) override
    {
        ++reads;
        if (pos_ == data_.size()) {
            *eof_flag = true;
            return 0;
        }
        if (stalls_ && (reads & 1)) return 0;
        size_t n = std::min<size_t>({static_cast<size_t>(max_bytes), static_cast<size_t>(chunk_), data_.size() - pos_});
        std::memcpy(buffer, data_.data() + pos_, n);
        pos_ += n;
        return static_cast<int>(n);
    }
    int reads = 0;

private:
    const Bytes& data_;
    int chunk_;
    bool stalls_;
    size_t pos_ = 0;
};

TEST(JpegDecoder, InputBoundariesNeverLookLikeTheEnd)
{
    // 64 MCUs with restarts; a comment segment in front moves each restart
    // marker in turn across the 4096-byte refill boundary.
    JpegBuilder scan;
    for (int m = 0; m < 64; ++m) {
        if (m > 0) scan.Raw({0xFF, static_cast<uint8_t>(0xD0 + ((m - 1) & 7))});
        BitWriter bw;
        EncodeBlock(bw, kDc, kAc, 8 * ((m * 37) % 200 - 100), {{1, m % 7 + 1}, {2, -3}});
        scan.Raw(bw.Finish());
    }
    auto build = [&](int pad) {
        JpegBuilder b;
        b.Soi();
        if (pad > 0) b.Segment(0xFE, Bytes(static_cast<size_t>(pad), 0xFF));
        b.Dqt(0).Sof(0xC0, 512, 8, {{1, 0x11, 0}}).Raw(Tables(kDcCounts, kDcValues)).Dri(1).Sos({{1, 0x00}});
        return b.Raw(scan.data).Eoi().data;
    };
    Result reference = DecodeAll(build(0));
    ASSERT_EQ(reference.error, 0);
    size_t base = build(0).size() - scan.data.size() - 2;
    for (int shift = 0; shift < static_cast<int>(scan.data.size()); shift += 3) {
        int pad = 4096 - static_cast<int>(base) - 4 - shift;
        if (pad < 0) break;
        Result r = DecodeAll(build(pad));
        ASSERT_EQ(r.error, 0) << "pad " << pad;
        ASSERT_EQ(r.lines, reference.lines) << "pad " << pad;
    }

    Bytes file = build(1000);
    for (int chunk : {1, 7, 4095}) {
        for (bool stalls : {false, true}) {
            TrickleStream stream(file, chunk, stalls);
            Result r = DecodeAll(&stream);
            EXPECT_EQ(r.error, 0);
            EXPECT_EQ(r.lines, reference.lines) << chunk << " " << stalls;
        }
    }
}

TEST(JpegDecoder, DataEndingEarlyLeavesTheBlocksPastItsEnd)
{
    // The scan's bytes are missing: the bit reader meets the padding EOI at
    // once, so no block is decoded from it and the picture is mid-grey.
    Result empty = DecodeAll(GreyScan(16, 8).data);
    ASSERT_EQ(empty.error, 0);
    EXPECT_TRUE(empty.endedEarly);
    ASSERT_EQ(empty.lines.size(), 8u);
    for (const auto& line : empty.lines) EXPECT_EQ(line, std::vector<uint8_t>(16, 128));

    // Cut after the entropy data but before EOI: still a complete picture.
    Bytes file = DcPicture(GreyScan(16, 8), {{0, -80}, {0, 300}});
    file.resize(file.size() - 2);
    Result r = DecodeAll(file);
    EXPECT_EQ(r.error, 0);
    EXPECT_FALSE(r.endedEarly);
    EXPECT_EQ(r.lines[0][0], 118);
    EXPECT_EQ(r.lines[0][8], 166);

}

class FailingStream : public jpeg_decoder_stream_base {
public:
    int read(unsigned char*, int, bool*) override { return -1; }
    void notify_stop() override { ++stops; }
    int stops = 0;
};

TEST(JpegDecoder, StreamsReportFailureAndEnd)
{
    FailingStream failing;
    {
        jpeg_decoder d(&failing);
        EXPECT_EQ(d.error_code(), JPEG_STREAM_READ);
        EXPECT_EQ(d.begin(), -1);
    }
    EXPECT_EQ(failing.stops, 1) << "the stream is told once, then forgotten";

    jpeg_decoder_file_stream closed;
    bool eof = false;
    unsigned char buf[4];
    EXPECT_EQ(closed.read(buf, 4, &eof), -1);
    jpeg_decoder d(&closed);
    EXPECT_EQ(d.error_code(), JPEG_STREAM_READ);
}

// A baseline greyscale 8 x 8 file of one flat block, built from parts that
// each case may replace to damage it.
struct Parts {
    Bytes beforeFrame = {};
    int frame = 0xC0;
    Bytes sof = {8, 0, 8, 0, 8, 1, 1, 0x11, 0};
    Bytes tables = Tables(kDcCounts, kDcValues);
    Bytes sos = {1, 1, 0x00, 0, 63, 0};
    Bytes data = Bits({kDc.at(0), kAc.at(0x00)});
};

TEST(JpegDecoder, ErrorCodesOfDamagedFiles)
{
    auto dht = [](int index, const std::vector<uint8_t>& counts, const std::vector<uint8_t>& values) {
        return JpegBuilder().Dht(index, counts, values).data;
    };
    const std::vector<uint8_t> dc12 = {0, 0, 0, 13, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
    const std::vector<uint8_t> dc12Values = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12};
    const std::vector<uint8_t> longOnly = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 2};
    const Code zrl = kAc.at(0xF0);
    const struct {
        Parts parts;
        int error;
    } cases[] = {
        {{}, 0},
        // Tables.
        {{.tables = dht(0x00, {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 255, 1}, std::vector<uint8_t>(256, 1))},
         JPEG_BAD_DHT_COUNTS},
        {{.tables = dht(0x14, kDcCounts, kDcValues)}, JPEG_BAD_DHT_INDEX},
        {{.tables = {0xFF, 0xC4, 0x00, 0x01}}, JPEG_BAD_DHT_MARKER},
        // Declares 12 symbols but the segment holds 11.
        {{.tables = dht(0x00, kDcCounts, {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10})}, JPEG_BAD_DHT_MARKER},
        {{.beforeFrame = {0xFF, 0xDB, 0x00, 0x01}}, JPEG_BAD_DQT_MARKER},
        {{.beforeFrame = JpegBuilder().Dqt(4).data}, JPEG_BAD_DQT_TABLE},
        // A 16-bit table needs 128 bytes; the segment holds 64.
        {{.beforeFrame = JpegBuilder().Dqt(0x10).data}, JPEG_BAD_DQT_LENGTH},
        // Three codes of length 1 over-subscribe the code space, also in a
        // slot the scan does not use.
        {{.tables = Tables({3, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}, {0, 1, 2})}, JPEG_BAD_HUFF_TABLE},
        {{.tables = JpegBuilder()
                        .Raw(Tables(kDcCounts, kDcValues))
                        .Dht(0x13, {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 255}, std::vector<uint8_t>(255, 0))
                        .Dht(0x12, {0, 5, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}, {0, 1, 2, 3, 4})
                        .data},
         JPEG_BAD_HUFF_TABLE},
        // An index byte of 0x24 names DC table 4, which is slot 4: AC table 0.
        {{.tables = JpegBuilder().Dht(0x00, kDcCounts, kDcValues).Dht(0x24, kAcCounts, kAcValues).data}, 0},
        // Frame headers.
        {{.sof = {12, 0, 8, 0, 8, 1, 1, 0x11, 0}}, JPEG_BAD_PRECISION},
        {{.sof = {8, 0, 0, 0, 8, 1, 1, 0x11, 0}}, JPEG_BAD_HEIGHT},
        {{.sof = {8, 0x20, 0x01, 0, 8, 1, 1, 0x11, 0}}, JPEG_BAD_HEIGHT},
        {{.sof = {8, 0, 8, 0x20, 0x01, 1, 1, 0x11, 0}}, JPEG_BAD_WIDTH},
        {{.sof = {8, 0, 8, 0, 8, 5, 1, 0x11, 0, 2, 0x11, 0, 3, 0x11, 0, 4, 0x11, 0, 5, 0x11, 0}},
         JPEG_TOO_MANY_COMPONENTS},
        {{.sof = {8, 0, 8, 0, 8, 1, 1, 0x11, 0, 0}}, JPEG_BAD_SOF_LENGTH},
        {{.sof = {8, 0, 8, 0, 8, 3, 1, 0x11, 0, 2, 0x11, 0, 1, 0x11, 0}}, JPEG_DUPLICATE_COMP_ID},
        {{.sof = {8, 0, 8, 0, 8, 1, 1, 0x11, 1}}, JPEG_UNDEFINED_QUANT_TABLE},
        {{.sof = {8, 0, 8, 0, 8, 1, 1, 0x11, 4}}, JPEG_UNDEFINED_QUANT_TABLE},
        {{.sof = {8, 0, 8, 0, 8, 2, 1, 0x11, 0, 2, 0x11, 0}}, JPEG_UNSUPPORTED_COLORSPACE},
        {{.sof = {8, 0, 8, 0, 8, 4, 1, 0x11, 0, 2, 0x11, 0, 3, 0x11, 0, 4, 0x11, 0}}, JPEG_UNSUPPORTED_COLORSPACE},
        {{.sof = {8, 0, 8, 0, 8, 3, 1, 0x11, 0, 2, 0x22, 0, 3, 0x22, 0}}, JPEG_UNSUPPORTED_SAMP_FACTORS},
        {{.sof = {8, 0, 8, 0, 8, 3, 1, 0x31, 0, 2, 0x11, 0, 3, 0x11, 0}}, JPEG_UNSUPPORTED_SAMP_FACTORS},
        {{.sof = {8, 0, 8, 0, 8, 1, 1, 0x01, 0}}, JPEG_UNSUPPORTED_SAMP_FACTORS},
        {{.sof = {8, 0, 8, 0, 8, 1, 1, 0x50, 0}}, JPEG_UNSUPPORTED_SAMP_FACTORS},
        {{.sof = {8, 0, 8, 0, 8, 1, 1, 0x44, 0}}, 0},  // greyscale takes any factors 1..4
        {{.frame = 0xC9}, JPEG_NO_ARITHMETIC_SUPPORT},
        {{.frame = 0xC3}, JPEG_UNSUPPORTED_MARKER},
        {{.frame = 0xCF}, JPEG_UNSUPPORTED_MARKER},
        // Other segments.
        {{.beforeFrame = {0xFF, 0xFE, 0x00, 0x01}}, JPEG_BAD_VARIABLE_MARKER},
        {{.beforeFrame = {0xFF, 0xFE, 0x00, 0x02, 0xFF, 0xE0, 0x00, 0x03, 0x00}}, 0},
        {{.beforeFrame = {0xFF, 0xDD, 0x00, 0x05, 0, 1, 0}}, JPEG_BAD_DRI_LENGTH},
        {{.beforeFrame = {0xFF, 0xCC, 0x00, 0x02}}, JPEG_NO_ARITHMETIC_SUPPORT},
        {{.beforeFrame = {0xFF, 0xD3}}, JPEG_UNEXPECTED_MARKER},
        {{.beforeFrame = {0xFF, 0x01}}, JPEG_UNEXPECTED_MARKER},
        // A second frame header where the scan should be, and EOI before it.
        {{.tables = JpegBuilder().Raw(Tables(kDcCounts, kDcValues)).Segment(0xC1, {8, 0, 8, 0, 8, 1, 1, 0x11, 0}).data},
         JPEG_UNEXPECTED_MARKER},
        {{.tables = {0xFF, 0xD9}}, JPEG_UNEXPECTED_MARKER},
        // Scan headers.
        {{.sos = {0, 0, 63, 0}}, JPEG_BAD_SOS_LENGTH},
        {{.sos = {1, 1, 0x00, 0, 63}}, JPEG_BAD_SOS_LENGTH},
        {{.sos = {1, 9, 0x00, 0, 63, 0}}, JPEG_BAD_SOS_COMP_ID},
        {{.sos = {1, 1, 0x20, 0, 63, 0}}, JPEG_UNDEFINED_HUFF_TABLE},
        {{.sos = {1, 1, 0x40, 0, 63, 0}}, JPEG_UNDEFINED_HUFF_TABLE},
        {{.sos = {1, 1, 0x01, 0, 63, 0}}, JPEG_UNDEFINED_HUFF_TABLE},
        // Entropy-coded data. Three ZRLs reach index 49; a fourth would pass
        // 63, while a run of 1 from 49 lands on 50.
        {{.data = Bits({kDc.at(0), zrl, zrl, zrl, zrl})}, JPEG_DECODE_ERROR},
        {{.data = Bits({kDc.at(0), zrl, zrl, zrl, kAc.at(0x11), {1, 1}, kAc.at(0x00)})}, 0},
        // An AC size of 11 and a DC category of 12 are refused.
        {{.data = Bits({kDc.at(0), kAc.at(0x0B), {0, 11}})}, JPEG_DECODE_ERROR},
        {{.tables = Tables(dc12, dc12Values), .data = Bits({Canonical(dc12, dc12Values).at(12)})}, JPEG_DECODE_ERROR},
        // A bit pattern that is no code: all-ones of the DC table.
        {{.data = Bits({{0x1FF, 9}})}, JPEG_DECODE_ERROR},
        // A table of long codes only: a 16-bit code is found beyond the lookahead.
        {{.tables = Tables(longOnly, {0, 5}), .data = Bits({Canonical(longOnly, {0, 5}).at(5), {7, 5}, kAc.at(0)})}, 0},
    };
    for (size_t i = 0; i < std::size(cases); ++i) {
        const Parts& p = cases[i].parts;
        JpegBuilder b;
        b.Soi().Dqt(0).Raw(p.beforeFrame).Segment(p.frame, p.sof).Raw(p.tables).Segment(0xDA, p.sos);
        EXPECT_EQ(DecodeAll(b.Raw(p.data).Eoi().data).error, cases[i].error) << "case " << i;
    }
}

// Progressive greyscale 8 x 8: a DC first scan, then the given scans.
Bytes Progressive(const std::vector<std::pair<Bytes, Bytes>>& scans, int dc = 80, const Bytes& tail = {})
{
    JpegBuilder b;
    b.Soi().Dqt(0).Sof(0xC2, 8, 8, {{1, 0x11, 0}}).Raw(Tables(kDcCounts, kDcValues));
    b.Segment(0xDA, {1, 1, 0x00, 0, 0, 0x01});  // DC, low bit 1
    const int v = dc >> 1;                       // dc >= 0
    b.Raw(Bits({kDc.at(Category(v)), {static_cast<uint32_t>(v), Category(v)}}));
    for (const auto& [header, data] : scans) b.Segment(0xDA, header).Raw(data);
    return b.Raw(tail).Eoi().data;
}

TEST(JpegDecoder, ProgressiveScansAndTheirChecks)
{
    // DC 80 sent as 40 << 1, then a refinement bit of 0.
    Result first = DecodeAll(Progressive({}));
    ASSERT_EQ(first.error, 0);
    EXPECT_EQ(first.lines[3][3], 138);
    EXPECT_FALSE(first.endedEarly);
    // An AC scan of no data keeps what the DC scan gave.
    Result noAc = DecodeAll(Progressive({{{1, 1, 0x00, 1, 63, 0x00}, {}}}));
    ASSERT_EQ(noAc.error, 0);
    EXPECT_TRUE(noAc.endedEarly);
    EXPECT_EQ(noAc.lines, first.lines);
    Result refined = DecodeAll(Progressive({{{1, 1, 0x00, 0, 0, 0x10}, {0x7F}}}));
    ASSERT_EQ(refined.error, 0);
    EXPECT_EQ(refined.lines[0][0], 138);

    // An AC first scan putting 8 at index 1: same picture as the sequential case.
    Result ac = DecodeAll(Progressive({{{1, 1, 0x00, 1, 63, 0x00}, Bits({kAc.at(0x04), {8, 4}, kAc.at(0x00)})}}, 0));
    ASSERT_EQ(ac.error, 0);
    EXPECT_EQ(ac.lines[0][0], 129);
    EXPECT_EQ(ac.lines[0][3], 128);
    EXPECT_EQ(ac.lines[7][7], 127);

    const struct {
        Bytes header, data;
        int error;
    } bad[] = {
        {{1, 1, 0x00, 5, 2, 0x00}, {}, JPEG_BAD_SOS_SPECTRAL},
        {{1, 1, 0x00, 1, 64, 0x00}, {}, JPEG_BAD_SOS_SPECTRAL},
        {{1, 1, 0x00, 0, 5, 0x00}, {}, JPEG_BAD_SOS_SPECTRAL},
        {{1, 1, 0x00, 1, 5, 0x20}, {}, JPEG_BAD_SOS_SUCCESSIVE},
        {{1, 1, 0x00, 1, 63, 0x10}, Bits({kAc.at(0x02)}), JPEG_DECODE_ERROR},  // a refinement symbol of size 2
    };
    for (const auto& c : bad) EXPECT_EQ(DecodeAll(Progressive({{c.header, c.data}})).error, c.error);
    // A frame header where a scan should be.
    EXPECT_EQ(DecodeAll(Progressive({}, 80, {0xFF, 0xC0, 0, 11, 8, 0, 8, 0, 8, 1, 1, 0x11, 0})).error,
              JPEG_UNEXPECTED_MARKER);

    // An AC scan over two components.
    JpegBuilder two;
    two.Soi().Dqt(0).Sof(0xC2, 8, 8, {{1, 0x11, 0}, {2, 0x11, 0}, {3, 0x11, 0}}).Raw(Tables(kDcCounts, kDcValues));
    EXPECT_EQ(DecodeAll(two.Sos({{1, 0x00}, {2, 0x00}}, 1, 5, 0).Eoi().data).error, JPEG_BAD_SOS_SPECTRAL);

    // The number of scans is bounded.
    std::vector<std::pair<Bytes, Bytes>> refinements(jpeg_max_scans - 1, {{1, 1, 0x00, 0, 0, 0x10}, {0x00}});
    EXPECT_EQ(DecodeAll(Progressive(refinements)).error, 0);
    refinements.push_back(refinements.back());
    EXPECT_EQ(DecodeAll(Progressive(refinements)).error, JPEG_TOO_MANY_SCANS);
}

TEST(JpegDecoder, LargestPicturesDecode)
{
    // 8192 x 8192 greyscale, every block flat grey, sequential and
    // progressive (the largest coefficient buffers a header can ask for
    // with one component).
    for (bool progressive : {false, true}) {
        JpegBuilder b;
        b.Soi().Dqt(0).Sof(progressive ? 0xC2 : 0xC0, 8192, 8192, {{1, 0x11, 0}}).Raw(Tables(kDcCounts, kDcValues));
        b.Sos({{1, 0x00}}, 0, progressive ? 0 : 63, 0);
        BitWriter bw;
        for (int i = 0; i < 1024 * 1024; ++i) {
            bw.Put(kDc.at(0));
            if (!progressive) bw.Put(kAc.at(0x00));
        }
        Bytes file = b.Raw(bw.Finish()).Eoi().data;
        jpeg_decoder_memory_stream stream(file.data(), file.size());
        jpeg_decoder d(&stream);
        ASSERT_EQ(d.begin(), 0) << progressive;
        void* line;
        unsigned int len;
        int lines = 0;
        bool flat = true;
        while (d.decode(&line, &len) == 0) {
            ++lines;
            const uint8_t* p = static_cast<const uint8_t*>(line);
            flat = flat && p[0] == 128 && p[8191] == 128;
        }
        EXPECT_EQ(d.error_code(), 0);
        EXPECT_EQ(lines, 8192);
        EXPECT_TRUE(flat);
    }
}

TEST(JpegDecoder, OutOfMemoryIsReportedAndNothingLeaks)
{
    Bytes file = DcPicture(GreyScan(8, 8), {{0, 80}});
    for (long n = 1; n <= 8; ++n) {
        orchid::alloc_test::FailAt(n);
        Result r = DecodeAll(file);
        orchid::alloc_test::FailAt(0);
        if (r.error == 0) break;
        EXPECT_EQ(r.error, JPEG_NOTENOUGHMEM) << n;
    }
}

}  // namespace
