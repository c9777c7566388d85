// Builds small JPEG files byte by byte for the decoder tests: marker
// segments, canonical Huffman codes and a bit writer with byte stuffing.
#pragma once

#include <bit>
#include <cstdint>
#include <map>
#include <utility>
#include <vector>

namespace jpeg_test {

using Bytes = std::vector<uint8_t>;

// Standard luminance DC counts and symbols (categories 0..11).
inline const std::vector<uint8_t> kDcCounts = {0, 1, 5, 1, 1, 1, 1, 1, 1, 0, 0, 0, 0, 0, 0, 0};
inline const std::vector<uint8_t> kDcValues = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11};

struct Code {
    uint32_t bits;
    int len;
};

// Canonical code assignment of T.81 Annex C: symbol -> code.
inline std::map<int, Code> Canonical(const std::vector<uint8_t>& counts, const std::vector<uint8_t>& values)
{
    std::map<int, Code> out;
    uint32_t code = 0;
    size_t k = 0;
    for (int len = 1; len <= 16; ++len) {
        for (int i = 0; i < counts[len - 1]; ++i) out[values[k++]] = {code++, len};
        code <<= 1;
    }
    return out;
}

class BitWriter {
public:
    void Put(uint32_t bits, int len)
    {
        for (int i = len - 1; i >= 0; --i) {
            acc_ = (acc_ << 1) | ((bits >> i) & 1);
            if (++n_ == 8) Emit();
        }
    }
    void Put(const Code& c) { Put(c.bits, c.len); }
    // Pads the last byte with 1-bits, then a marker (a restart's).
    void Marker(uint8_t code)
    {
        while (n_ != 0) Put(1, 1);
        out_.push_back(0xFF);
        out_.push_back(code);
    }
    // Pads the last byte with 1-bits.
    Bytes Finish()
    {
        while (n_ != 0) Put(1, 1);
        Bytes done = out_;
        out_.clear();
        return done;
    }

private:
    void Emit()
    {
        out_.push_back(static_cast<uint8_t>(acc_));
        if ((acc_ & 0xFF) == 0xFF) out_.push_back(0);
        acc_ = 0;
        n_ = 0;
    }
    Bytes out_;
    uint32_t acc_ = 0;
    int n_ = 0;
};

// Bits needed for the magnitude of v.
inline int Category(int v) { return std::bit_width(static_cast<unsigned>(v < 0 ? -v : v)); }

inline void PutValue(BitWriter& bw, int v, int s)
{
    if (s == 0) return;
    uint32_t bits = v >= 0 ? static_cast<uint32_t>(v) : static_cast<uint32_t>(v + (1 << s) - 1);
    bw.Put(bits, s);
}

// One sequential block: DC difference, then (zig-zag index, value) pairs in
// increasing index order, then EOB unless the last index is 63.
inline void EncodeBlock(BitWriter& bw, const std::map<int, Code>& dc, const std::map<int, Code>& ac, int diff,
                        const std::vector<std::pair<int, int>>& acs = {})
{
    int s = Category(diff);
    bw.Put(dc.at(s));
    PutValue(bw, diff, s);
    int k = 1;
    for (auto [index, value] : acs) {
        int run = index - k;
        while (run > 15) {
            bw.Put(ac.at(0xF0));
            run -= 16;
        }
        int size = Category(value);
        bw.Put(ac.at((run << 4) | size));
        PutValue(bw, value, size);
        k = index + 1;
    }
    if (k <= 63) bw.Put(ac.at(0x00));
}

struct Comp {
    int id;
    int hv;
    int tq;
};

struct ScanComp {
    int id;
    int tables;  // DC table << 4 | AC table
};

class JpegBuilder {
public:
    JpegBuilder& Soi() { return Raw({0xFF, 0xD8}); }
    JpegBuilder& Eoi() { return Raw({0xFF, 0xD9}); }
    JpegBuilder& Raw(const Bytes& b)
    {
        data.insert(data.end(), b.begin(), b.end());
        return *this;
    }
    JpegBuilder& Segment(int marker, const Bytes& body)
    {
        size_t len = body.size() + 2;
        Raw({0xFF, static_cast<uint8_t>(marker), static_cast<uint8_t>(len >> 8), static_cast<uint8_t>(len)});
        return Raw(body);
    }
    // 8-bit table, every entry `value`.
    JpegBuilder& Dqt(int table, int value = 1)
    {
        Bytes b(65, static_cast<uint8_t>(value));
        b[0] = static_cast<uint8_t>(table);
        return Segment(0xDB, b);
    }
    JpegBuilder& Sof(int marker, int width, int height, const std::vector<Comp>& comps)
    {
        Bytes b = {8, static_cast<uint8_t>(height >> 8), static_cast<uint8_t>(height),
                   static_cast<uint8_t>(width >> 8), static_cast<uint8_t>(width), static_cast<uint8_t>(comps.size())};
        for (const Comp& c : comps) {
            b.push_back(static_cast<uint8_t>(c.id));
            b.push_back(static_cast<uint8_t>(c.hv));
            b.push_back(static_cast<uint8_t>(c.tq));
        }
        return Segment(marker, b);
    }
    JpegBuilder& Dht(int index, const std::vector<uint8_t>& counts, const std::vector<uint8_t>& values)
    {
        Bytes b = {static_cast<uint8_t>(index)};
        b.insert(b.end(), counts.begin(), counts.end());
        b.insert(b.end(), values.begin(), values.end());
        return Segment(0xC4, b);
    }
    JpegBuilder& Dri(int interval)
    {
        return Segment(0xDD, {static_cast<uint8_t>(interval >> 8), static_cast<uint8_t>(interval)});
    }
    JpegBuilder& Sos(const std::vector<ScanComp>& comps, int ss = 0, int se = 63, int ahal = 0)
    {
        Bytes b = {static_cast<uint8_t>(comps.size())};
        for (const ScanComp& c : comps) {
            b.push_back(static_cast<uint8_t>(c.id));
            b.push_back(static_cast<uint8_t>(c.tables));
        }
        b.push_back(static_cast<uint8_t>(ss));
        b.push_back(static_cast<uint8_t>(se));
        b.push_back(static_cast<uint8_t>(ahal));
        return Segment(0xDA, b);
    }

    Bytes data;
};

}  // namespace jpeg_test
