#include "capture/png_encoder.h"

#include <array>
#include <cstring>

#include "error/memory.h"
#include "error/report.h"

ORCHID_REPORT_MODULE("capture/png_encoder");

namespace capture {
namespace {

constexpr std::array<uint32_t, 256> MakeCrcTable()
{
    std::array<uint32_t, 256> table{};
    for (uint32_t n = 0; n < 256; ++n) {
        uint32_t c = n;
        for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
        table[n] = c;
    }
    return table;
}
constexpr std::array<uint32_t, 256> kCrcTable = MakeCrcTable();

// ---- Deflate's alphabets -------------------------------------------------

constexpr int kWindow = 32768;
constexpr int kMinMatch = 3;
constexpr int kMaxMatch = 258;
constexpr int kHashBits = 15;
constexpr int kMaxChain = 64;    // candidates looked at per position
constexpr int kGoodMatch = 8;    // after a match this long, a quarter of them for the next
constexpr int kNiceMatch = 128;  // a match this long ends the search
constexpr int kLazyLimit = 32;   // a match this long is taken without looking one ahead
constexpr int kBlockSymbols = 32768;

constexpr int kLitLenCodes = 286;
constexpr int kDistCodes = 30;
constexpr int kCodeLengthCodes = 19;
constexpr int kMaxBits = 15;
constexpr int kMaxCodeLengthBits = 7;

constexpr uint16_t kLengthBase[29] = {3,  4,  5,  6,  7,  8,  9,  10, 11,  13,  15,  17,  19,  23, 27,
                                      31, 35, 43, 51, 59, 67, 83, 99, 115, 131, 163, 195, 227, 258};
constexpr uint8_t kLengthExtra[29] = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2,
                                      2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0};
constexpr uint16_t kDistBase[30] = {1,   2,   3,   4,   5,   7,    9,    13,   17,   25,   33,   49,    65,    97,    129,
                                    193, 257, 385, 513, 769, 1025, 1537, 2049, 3073, 4097, 6145, 8193, 12289, 16385, 24577};
constexpr uint8_t kDistExtra[30] = {0, 0, 0, 0, 1, 1, 2, 2, 3, 3, 4, 4, 5, 5, 6,
                                    6, 7, 7, 8, 8, 9, 9, 10, 10, 11, 11, 12, 12, 13, 13};
constexpr uint8_t kCodeLengthOrder[kCodeLengthCodes] = {16, 17, 18, 0, 8, 7, 9, 6, 10, 5, 11, 4, 12, 3, 13, 2, 14, 1, 15};

struct CodeTables {
    uint8_t lengthCode[kMaxMatch + 1];  // match length -> index into kLengthBase
    uint8_t distCode[512];              // see DistCode
};

constexpr CodeTables MakeCodeTables()
{
    CodeTables t{};
    for (int code = 0; code < 29; ++code) {
        const int end = code == 28 ? kMaxMatch + 1 : kLengthBase[code + 1];
        for (int len = kLengthBase[code]; len < end; ++len) t.lengthCode[len] = static_cast<uint8_t>(code);
    }
    for (int code = 0; code < 30; ++code) {
        const int end = kDistBase[code] + (1 << kDistExtra[code]);
        for (int d = kDistBase[code] - 1; d < end - 1; ++d) {
            if (d < 256) t.distCode[d] = static_cast<uint8_t>(code);
            else t.distCode[256 + (d >> 7)] = static_cast<uint8_t>(code);
        }
    }
    return t;
}
constexpr CodeTables kCodes = MakeCodeTables();

// The code of distance d + 1 (d from 0 to 32767).
int DistCode(int d) { return d < 256 ? kCodes.distCode[d] : kCodes.distCode[256 + (d >> 7)]; }

// ---- Symbols: a literal byte, or a match ---------------------------------

constexpr uint32_t kMatchFlag = 0x80000000u;
uint32_t Literal(uint8_t byte) { return byte; }
uint32_t Match(int length, int distance)
{
    return kMatchFlag | static_cast<uint32_t>(length - kMinMatch) << 15 | static_cast<uint32_t>(distance - 1);
}
int MatchLength(uint32_t s) { return static_cast<int>((s >> 15) & 0xFF) + kMinMatch; }
int MatchDistance(uint32_t s) { return static_cast<int>(s & 0x7FFF) + 1; }

// ---- Huffman codes -------------------------------------------------------

// Code lengths, at most maxBits, for n symbols of the given frequencies:
// Huffman's construction on the symbols ordered by (frequency, symbol), so
// that ties always fall the same way, then lengths beyond maxBits folded
// back while keeping the code complete. At least two symbols get a code.
void BuildLengths(const uint32_t* freq, int n, int maxBits, uint8_t* lengths)
{
    int order[kLitLenCodes];
    int used = 0;
    for (int s = 0; s < n; ++s) {
        lengths[s] = 0;
        if (freq[s] != 0) order[used++] = s;
    }
    // A complete code needs two symbols: add the lowest unused ones.
    for (int s = 0; used < 2; ++s) {
        if (freq[s] == 0) order[used++] = s;
    }
    auto weight = [&](int s) { return freq[s] == 0 ? 1u : freq[s]; };
    // Insertion sort by (weight, symbol): at most 286 symbols.
    for (int i = 1; i < used; ++i) {
        const int s = order[i];
        int k = i;
        while (k > 0 && (weight(order[k - 1]) > weight(s) || (weight(order[k - 1]) == weight(s) && order[k - 1] > s))) {
            order[k] = order[k - 1];
            --k;
        }
        order[k] = s;
    }

    // Two queues: the sorted leaves and the internal nodes in the order they
    // are made (their weights never decrease). Nodes 0..used-1 are leaves.
    uint64_t nodeWeight[2 * kLitLenCodes];
    int parent[2 * kLitLenCodes];
    for (int i = 0; i < used; ++i) nodeWeight[i] = weight(order[i]);
    int nextLeaf = 0, nextInternal = used, made = used;
    auto take = [&]() {
        if (nextLeaf < used && (nextInternal >= made || nodeWeight[nextLeaf] <= nodeWeight[nextInternal]))
            return nextLeaf++;
        return nextInternal++;
    };
    while (made < 2 * used - 1) {
        const int a = take(), b = take();
        nodeWeight[made] = nodeWeight[a] + nodeWeight[b];
        parent[a] = parent[b] = made;
        ++made;
    }
    int depth[2 * kLitLenCodes];
    depth[made - 1] = 0;
    for (int i = made - 2; i >= 0; --i) depth[i] = depth[parent[i]] + 1;

    // Count the codes of each length, fold those beyond maxBits into maxBits,
    // then lengthen shorter codes until the lengths fit exactly.
    int count[kLitLenCodes + 1] = {};
    for (int i = 0; i < used; ++i) ++count[depth[i]];
    for (int len = maxBits + 1; len <= used; ++len) {
        count[maxBits] += count[len];
        count[len] = 0;
    }
    uint32_t kraft = 0;
    for (int len = 1; len <= maxBits; ++len) kraft += static_cast<uint32_t>(count[len]) << (maxBits - len);
    while (kraft > (1u << maxBits)) {
        --count[maxBits];
        for (int len = maxBits - 1; len > 0; --len) {
            if (count[len] != 0) {
                --count[len];
                count[len + 1] += 2;
                break;
            }
        }
        --kraft;
    }
    // The rarest symbols (first in order) get the longest codes.
    int i = 0;
    for (int len = maxBits; len >= 1; --len) {
        for (int c = 0; c < count[len]; ++c) lengths[order[i++]] = static_cast<uint8_t>(len);
    }
}

// Canonical codes from lengths, bit-reversed, since deflate sends a code's
// first bit as the lowest.
void BuildCodes(const uint8_t* lengths, int n, uint16_t* codes)
{
    int count[kMaxBits + 1] = {};
    for (int s = 0; s < n; ++s) ++count[lengths[s]];
    count[0] = 0;
    int next[kMaxBits + 2] = {};
    int code = 0;
    for (int len = 1; len <= kMaxBits; ++len) {
        code = (code + count[len - 1]) << 1;
        next[len] = code;
    }
    for (int s = 0; s < n; ++s) {
        const int len = lengths[s];
        if (len == 0) continue;
        int c = next[len]++, reversed = 0;
        for (int b = 0; b < len; ++b) {
            reversed = (reversed << 1) | (c & 1);
            c >>= 1;
        }
        codes[s] = static_cast<uint16_t>(reversed);
    }
}

// The literal/length and distance codes of a block. The fixed code has two
// literal/length codes more than a block may use, which take their places
// in the canonical order.
constexpr int kFixedLitLenCodes = 288;
struct BlockCode {
    uint8_t litLen[kFixedLitLenCodes];
    uint8_t dist[kDistCodes];
    uint16_t litLenCode[kFixedLitLenCodes];
    uint16_t distCode[kDistCodes];
};

const BlockCode& FixedCode()
{
    static const BlockCode fixed = [] {
        BlockCode c{};
        for (int s = 0; s < kFixedLitLenCodes; ++s) c.litLen[s] = s < 144 ? 8 : s < 256 ? 9 : s < 280 ? 7 : 8;
        for (int s = 0; s < kDistCodes; ++s) c.dist[s] = 5;
        BuildCodes(c.litLen, kFixedLitLenCodes, c.litLenCode);
        BuildCodes(c.dist, kDistCodes, c.distCode);
        return c;
    }();
    return fixed;
}

// The code lengths of a dynamic block's header, run-length coded: symbols
// 0-15 are lengths, 16 repeats the previous length 3-6 times, 17 and 18
// give runs of 3-10 and 11-138 zeros; each with its extra bits' value.
struct HeaderRuns {
    int count = 0;
    uint8_t symbol[kLitLenCodes + kDistCodes];
    uint8_t extra[kLitLenCodes + kDistCodes];
};

void RunLengths(const uint8_t* lengths, int n, HeaderRuns* runs)
{
    int i = 0;
    while (i < n) {
        const int len = lengths[i];
        int run = 1;
        while (i + run < n && lengths[i + run] == len) ++run;
        i += run;
        if (len == 0) {
            while (run >= 11) {
                const int r = run > 138 ? 138 : run;
                runs->symbol[runs->count] = 18;
                runs->extra[runs->count++] = static_cast<uint8_t>(r - 11);
                run -= r;
            }
            if (run >= 3) {
                runs->symbol[runs->count] = 17;
                runs->extra[runs->count++] = static_cast<uint8_t>(run - 3);
                run = 0;
            }
        } else {
            runs->symbol[runs->count] = static_cast<uint8_t>(len);
            runs->extra[runs->count++] = 0;
            --run;
            while (run >= 3) {
                const int r = run > 6 ? 6 : run;
                runs->symbol[runs->count] = 16;
                runs->extra[runs->count++] = static_cast<uint8_t>(r - 3);
                run -= r;
            }
        }
        while (run-- > 0) {
            runs->symbol[runs->count] = static_cast<uint8_t>(len);
            runs->extra[runs->count++] = 0;
        }
    }
}

constexpr int ExtraBitsOfRun(int symbol) { return symbol == 16 ? 2 : symbol == 17 ? 3 : symbol == 18 ? 7 : 0; }

// ---- Bits out ------------------------------------------------------------

class BitWriter {
public:
    BitWriter(uint8_t* out, std::size_t pos) : out(out), pos(pos) {}

    void Put(uint32_t value, int bits)
    {
        buffer |= static_cast<uint64_t>(value) << count;
        count += bits;
        while (count >= 8) {
            out[pos++] = static_cast<uint8_t>(buffer);
            buffer >>= 8;
            count -= 8;
        }
    }
    void AlignToByte()
    {
        if (count > 0) Put(0, 8 - count);
    }
    int Pending() const { return count; }
    std::size_t Position() const { return pos; }

private:
    uint8_t* out;
    std::size_t pos;
    uint64_t buffer = 0;
    int count = 0;
};

// ---- One block -----------------------------------------------------------

struct Block {
    const uint32_t* symbols;
    int count;
    const uint8_t* input;  // the bytes the symbols stand for
    std::size_t inputSize;
    bool last;
};

uint64_t DataBits(const uint32_t* litLenFreq, const uint32_t* distFreq, const BlockCode& code)
{
    uint64_t bits = 0;
    for (int s = 0; s < kLitLenCodes; ++s) {
        uint64_t per = code.litLen[s];
        if (s > 256) per += kLengthExtra[s - 257];
        bits += per * litLenFreq[s];
    }
    for (int s = 0; s < kDistCodes; ++s) bits += static_cast<uint64_t>(code.dist[s] + kDistExtra[s]) * distFreq[s];
    return bits;
}

void PutSymbols(BitWriter& w, const Block& b, const BlockCode& code)
{
    for (int i = 0; i < b.count; ++i) {
        const uint32_t s = b.symbols[i];
        if ((s & kMatchFlag) == 0) {
            w.Put(code.litLenCode[s], code.litLen[s]);
            continue;
        }
        const int length = MatchLength(s), distance = MatchDistance(s);
        const int lc = kCodes.lengthCode[length];
        w.Put(code.litLenCode[257 + lc], code.litLen[257 + lc]);
        if (kLengthExtra[lc] != 0) w.Put(static_cast<uint32_t>(length - kLengthBase[lc]), kLengthExtra[lc]);
        const int dc = DistCode(distance - 1);
        w.Put(code.distCode[dc], code.dist[dc]);
        if (kDistExtra[dc] != 0) w.Put(static_cast<uint32_t>(distance - kDistBase[dc]), kDistExtra[dc]);
    }
    w.Put(code.litLenCode[256], code.litLen[256]);
}

// Bits of the input as stored blocks of at most 65535 bytes, each with its
// 3-bit header, the padding to a byte and LEN and NLEN.
uint64_t StoredBits(std::size_t size, int pending)
{
    uint64_t bits = 0;
    std::size_t left = size;
    do {
        const std::size_t n = left > 65535 ? 65535 : left;
        bits += 3;
        bits += (8 - (pending + 3) % 8) % 8;
        bits += 32 + 8 * static_cast<uint64_t>(n);
        pending = 0;
        left -= n;
    } while (left > 0);
    return bits;
}

void PutStored(BitWriter& w, const Block& b)
{
    std::size_t done = 0;
    do {
        const std::size_t n = b.inputSize - done > 65535 ? 65535 : b.inputSize - done;
        const bool final = b.last && done + n == b.inputSize;
        w.Put(final ? 1 : 0, 3);
        w.AlignToByte();
        w.Put(static_cast<uint32_t>(n), 16);
        w.Put(static_cast<uint32_t>(n) ^ 0xFFFF, 16);
        for (std::size_t i = 0; i < n; ++i) w.Put(b.input[done + i], 8);
        done += n;
    } while (done < b.inputSize);
}

// Writes the block in the form that takes the fewest bits.
void PutBlock(BitWriter& w, const Block& b)
{
    uint32_t litLenFreq[kLitLenCodes] = {};
    uint32_t distFreq[kDistCodes] = {};
    for (int i = 0; i < b.count; ++i) {
        const uint32_t s = b.symbols[i];
        if ((s & kMatchFlag) == 0) {
            ++litLenFreq[s];
        } else {
            ++litLenFreq[257 + kCodes.lengthCode[MatchLength(s)]];
            ++distFreq[DistCode(MatchDistance(s) - 1)];
        }
    }
    litLenFreq[256] = 1;

    BlockCode dynamic;
    BuildLengths(litLenFreq, kLitLenCodes, kMaxBits, dynamic.litLen);
    BuildLengths(distFreq, kDistCodes, kMaxBits, dynamic.dist);
    BuildCodes(dynamic.litLen, kLitLenCodes, dynamic.litLenCode);
    BuildCodes(dynamic.dist, kDistCodes, dynamic.distCode);
    int hlit = kLitLenCodes, hdist = kDistCodes;
    while (hlit > 257 && dynamic.litLen[hlit - 1] == 0) --hlit;
    while (hdist > 1 && dynamic.dist[hdist - 1] == 0) --hdist;
    uint8_t all[kLitLenCodes + kDistCodes];
    std::memcpy(all, dynamic.litLen, static_cast<std::size_t>(hlit));
    std::memcpy(all + hlit, dynamic.dist, static_cast<std::size_t>(hdist));
    HeaderRuns runs;
    RunLengths(all, hlit + hdist, &runs);
    uint32_t runFreq[kCodeLengthCodes] = {};
    for (int i = 0; i < runs.count; ++i) ++runFreq[runs.symbol[i]];
    uint8_t runLengths[kCodeLengthCodes];
    uint16_t runCodes[kCodeLengthCodes];
    BuildLengths(runFreq, kCodeLengthCodes, kMaxCodeLengthBits, runLengths);
    BuildCodes(runLengths, kCodeLengthCodes, runCodes);
    int hclen = kCodeLengthCodes;
    while (hclen > 4 && runLengths[kCodeLengthOrder[hclen - 1]] == 0) --hclen;

    uint64_t dynamicBits = 3 + 5 + 5 + 4 + 3 * static_cast<uint64_t>(hclen);
    for (int s = 0; s < kCodeLengthCodes; ++s)
        dynamicBits += static_cast<uint64_t>(runLengths[s] + ExtraBitsOfRun(s)) * runFreq[s];
    dynamicBits += DataBits(litLenFreq, distFreq, dynamic);
    const uint64_t fixedBits = 3 + DataBits(litLenFreq, distFreq, FixedCode());
    const uint64_t storedBits = StoredBits(b.inputSize, w.Pending());

    if (storedBits < dynamicBits && storedBits < fixedBits) {
        PutStored(w, b);
    } else if (fixedBits <= dynamicBits) {
        w.Put(b.last ? 1 : 0, 1);
        w.Put(1, 2);
        PutSymbols(w, b, FixedCode());
    } else {
        w.Put(b.last ? 1 : 0, 1);
        w.Put(2, 2);
        w.Put(static_cast<uint32_t>(hlit - 257), 5);
        w.Put(static_cast<uint32_t>(hdist - 1), 5);
        w.Put(static_cast<uint32_t>(hclen - 4), 4);
        for (int i = 0; i < hclen; ++i) w.Put(runLengths[kCodeLengthOrder[i]], 3);
        for (int i = 0; i < runs.count; ++i) {
            const int s = runs.symbol[i];
            w.Put(runCodes[s], runLengths[s]);
            if (ExtraBitsOfRun(s) != 0) w.Put(runs.extra[i], ExtraBitsOfRun(s));
        }
        PutSymbols(w, b, dynamic);
    }
}

// ---- LZ77 ----------------------------------------------------------------

uint32_t Hash3(const uint8_t* p)
{
    const uint32_t v = uint32_t{p[0]} | uint32_t{p[1]} << 8 | uint32_t{p[2]} << 16;
    return (v * 2654435761u) >> (32 - kHashBits);
}

// How many of the first `limit` bytes of a and b agree: eight bytes at a
// time while they agree, then byte by byte.
int CommonPrefix(const uint8_t* a, const uint8_t* b, int limit)
{
    int len = 0;
    while (len + 8 <= limit) {
        uint64_t x, y;
        std::memcpy(&x, a + len, 8);
        std::memcpy(&y, b + len, 8);
        if (x != y) {
            while (a[len] == b[len]) ++len;
            return len;
        }
        len += 8;
    }
    while (len < limit && a[len] == b[len]) ++len;
    return len;
}

struct Matcher {
    const uint8_t* data;
    int32_t size;
    int32_t* head;
    int32_t* chain;

    void Insert(int32_t p)
    {
        if (p + kMinMatch > size) return;
        const uint32_t h = Hash3(data + p);
        chain[p & (kWindow - 1)] = head[h];
        head[h] = p;
    }

    // The longest earlier match for position p within the window (length 0
    // when none reaches 3 bytes); p itself is not yet inserted.
    int Longest(int32_t p, int* distance, int tries) const
    {
        if (p + kMinMatch > size) return 0;
        const int limit = size - p < kMaxMatch ? size - p : kMaxMatch;
        int best = kMinMatch - 1;
        int32_t candidate = head[Hash3(data + p)];
        for (; candidate >= 0 && p - candidate <= kWindow && tries > 0; --tries) {
            const uint8_t* a = data + candidate;
            const uint8_t* b = data + p;
            if (a[best] == b[best] && a[0] == b[0]) {
                const int len = CommonPrefix(a, b, limit);
                if (len > best) {
                    best = len;
                    *distance = p - candidate;
                    if (len >= kNiceMatch || len == limit) break;
                }
            }
            candidate = chain[candidate & (kWindow - 1)];
        }
        return best >= kMinMatch ? best : 0;
    }
};

// ---- Filters -------------------------------------------------------------

uint8_t Paeth(int a, int b, int c)
{
    const int p = a + b - c;
    const int pa = p > a ? p - a : a - p, pb = p > b ? p - b : b - p, pc = p > c ? p - c : c - p;
    if (pa <= pb && pa <= pc) return static_cast<uint8_t>(a);
    return static_cast<uint8_t>(pb <= pc ? b : c);
}

// A filtered byte taken as a signed value, absolute: summed over a row, the
// usual measure of how well the row will compress.
uint32_t Weight(int filteredByte)
{
    const uint32_t v = static_cast<uint8_t>(filteredByte);
    return v < 128 ? v : 256 - v;
}

// The filter (0 none, 1 sub, 2 up, 3 average, 4 Paeth) whose output for the
// row has the smallest weight, ties to the lower number; prev is the row
// above (zeros for the first row).
int ChooseFilter(const uint8_t* row, const uint8_t* prev, std::size_t n)
{
    uint64_t cost[5] = {};
    for (std::size_t i = 0; i < n; ++i) {
        const int x = row[i];
        const int a = i >= 3 ? row[i - 3] : 0;
        const int b = prev[i];
        const int c = i >= 3 ? prev[i - 3] : 0;
        cost[0] += Weight(x);
        cost[1] += Weight(x - a);
        cost[2] += Weight(x - b);
        cost[3] += Weight(x - ((a + b) >> 1));
        cost[4] += Weight(x - Paeth(a, b, c));
    }
    int best = 0;
    for (int f = 1; f < 5; ++f) {
        if (cost[f] < cost[best]) best = f;
    }
    return best;
}

void FilterRow(int filter, const uint8_t* row, const uint8_t* prev, std::size_t n, uint8_t* out)
{
    for (std::size_t i = 0; i < n; ++i) {
        const int a = i >= 3 ? row[i - 3] : 0;
        const int b = prev[i];
        const int c = i >= 3 ? prev[i - 3] : 0;
        int predicted = 0;
        switch (filter) {
            case 1: predicted = a; break;
            case 2: predicted = b; break;
            case 3: predicted = (a + b) >> 1; break;
            case 4: predicted = Paeth(a, b, c); break;
            default: break;
        }
        out[i] = static_cast<uint8_t>(row[i] - predicted);
    }
}

void PutU32(uint8_t* p, uint32_t v)
{
    p[0] = static_cast<uint8_t>(v >> 24);
    p[1] = static_cast<uint8_t>(v >> 16);
    p[2] = static_cast<uint8_t>(v >> 8);
    p[3] = static_cast<uint8_t>(v);
}

// A chunk at p: length, type, data (already in place after the type) and
// CRC. Returns the chunk's full size.
std::size_t FinishChunk(uint8_t* p, const char* type, std::size_t dataSize)
{
    PutU32(p, static_cast<uint32_t>(dataSize));
    std::memcpy(p + 4, type, 4);
    PutU32(p + 8 + dataSize, Crc32(0, p + 4, dataSize + 4));
    return 12 + dataSize;
}

constexpr uint8_t kSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};

}  // namespace

uint32_t Crc32(uint32_t crc, const uint8_t* data, std::size_t n)
{
    crc = ~crc;
    for (std::size_t i = 0; i < n; ++i) crc = kCrcTable[(crc ^ data[i]) & 0xFF] ^ (crc >> 8);
    return ~crc;
}

uint32_t Adler32(uint32_t adler, const uint8_t* data, std::size_t n)
{
    uint32_t a = adler & 0xFFFF, b = adler >> 16;
    while (n > 0) {
        // 5552 bytes keep b below 2^32 before the reduction.
        const std::size_t run = n < 5552 ? n : 5552;
        for (std::size_t i = 0; i < run; ++i) {
            a += data[i];
            b += a;
        }
        a %= 65521;
        b %= 65521;
        data += run;
        n -= run;
    }
    return b << 16 | a;
}

PngEncoder::~PngEncoder() { Close(); }

int PngEncoder::Open(int w, int h)
{
    Close();
    width = w;
    height = h;
    const std::size_t rowBytes = static_cast<std::size_t>(w) * 3;
    filteredSize = static_cast<std::size_t>(h) * (rowBytes + 1);
    // Every block is at worst stored: 5 bytes per 65535 and per block
    // (blocks hold at least kBlockSymbols bytes, but for the last), besides
    // the signature, IHDR, the IDAT's frame, zlib's 6 bytes and IEND.
    const std::size_t blocks = filteredSize / kBlockSymbols + 1;
    fileCapacity = filteredSize + 5 * (filteredSize / 65535 + 1 + blocks) + 8 + 25 + 12 + 6 + 12 + 8;
    filtered = static_cast<uint8_t*>(orchid::MemAlloc(filteredSize));
    zeroRow = static_cast<uint8_t*>(orchid::MemAlloc(rowBytes));
    file = static_cast<uint8_t*>(orchid::MemAlloc(fileCapacity));
    head = static_cast<int32_t*>(orchid::MemAlloc(sizeof(int32_t) << kHashBits));
    chain = static_cast<int32_t*>(orchid::MemAlloc(sizeof(int32_t) * kWindow));
    symbols = static_cast<uint32_t*>(orchid::MemAlloc(sizeof(uint32_t) * kBlockSymbols));
    if (filtered == nullptr || zeroRow == nullptr || file == nullptr || head == nullptr || chain == nullptr || symbols == nullptr) {
        Close();
        REPORT(ERR_OUT_OF_MEMORY, "PNG encoder buffers\n", static_cast<int>(filteredSize > INT32_MAX ? INT32_MAX : filteredSize));
        return 0;
    }
    return 1;
}

void PngEncoder::Close()
{
    orchid::MemFree(filtered);
    orchid::MemFree(zeroRow);
    orchid::MemFree(file);
    orchid::MemFree(head);
    orchid::MemFree(chain);
    orchid::MemFree(symbols);
    filtered = zeroRow = file = nullptr;
    head = chain = nullptr;
    symbols = nullptr;
    width = height = 0;
}

const uint8_t* PngEncoder::Encode(const uint8_t* rgb, std::size_t* size)
{
    const std::size_t rowBytes = static_cast<std::size_t>(width) * 3;

    for (int y = 0; y < height; ++y) {
        const uint8_t* row = rgb + rowBytes * static_cast<std::size_t>(y);
        const uint8_t* prev = y > 0 ? row - rowBytes : zeroRow;
        uint8_t* out = filtered + (rowBytes + 1) * static_cast<std::size_t>(y);
        out[0] = static_cast<uint8_t>(ChooseFilter(row, prev, rowBytes));
        FilterRow(out[0], row, prev, rowBytes, out + 1);
    }

    std::memcpy(file, kSignature, 8);
    uint8_t* ihdr = file + 8;
    PutU32(ihdr + 8, static_cast<uint32_t>(width));
    PutU32(ihdr + 12, static_cast<uint32_t>(height));
    const uint8_t rest[5] = {8, 2, 0, 0, 0};  // 8 bits, RGB, deflate, adaptive filters, no interlace
    std::memcpy(ihdr + 16, rest, 5);
    uint8_t* idat = ihdr + FinishChunk(ihdr, "IHDR", 13);

    // The zlib stream: header (deflate, 32 KiB window, default level), the
    // blocks, Adler-32 of the filtered rows.
    const std::size_t start = static_cast<std::size_t>(idat + 8 - file);
    BitWriter w(file, start);
    w.Put(0x78, 8);
    w.Put(0x9C, 8);
    for (int i = 0; i < (1 << kHashBits); ++i) head[i] = -1;
    Matcher m{filtered, static_cast<int32_t>(filteredSize), head, chain};
    int count = 0;
    std::size_t blockStart = 0;
    auto flush = [&](std::size_t end, bool last) {
        PutBlock(w, Block{symbols, count, filtered + blockStart, end - blockStart, last});
        count = 0;
        blockStart = end;
    };
    const int32_t n = m.size;
    int32_t p = 0;
    int length = 0, distance = 0;
    bool known = false;  // the match at p is already found and p inserted
    while (p < n) {
        if (!known) {
            length = m.Longest(p, &distance, kMaxChain);
            m.Insert(p);
        }
        known = false;
        int32_t next;
        if (length == 0) {
            symbols[count++] = Literal(filtered[p]);
            next = p + 1;
        } else {
            int32_t inserted = p + 1;
            if (length < kLazyLimit && p + 1 < n) {
                int distance2 = 0;
                const int length2 = m.Longest(p + 1, &distance2, length >= kGoodMatch ? kMaxChain / 4 : kMaxChain);
                m.Insert(p + 1);
                inserted = p + 2;
                if (length2 > length) {
                    symbols[count++] = Literal(filtered[p]);
                    length = length2;
                    distance = distance2;
                    known = true;
                    next = p + 1;
                    if (count == kBlockSymbols) flush(static_cast<std::size_t>(next), false);
                    p = next;
                    continue;
                }
            }
            symbols[count++] = Match(length, distance);
            next = p + length;
            for (int32_t q = inserted; q < next; ++q) m.Insert(q);
        }
        if (count == kBlockSymbols && next < n) flush(static_cast<std::size_t>(next), false);
        p = next;
    }
    flush(filteredSize, true);
    w.AlignToByte();
    std::size_t end = w.Position();
    PutU32(file + end, Adler32(1, filtered, filteredSize));
    end += 4;
    uint8_t* iend = idat + FinishChunk(idat, "IDAT", end - start);
    *size = static_cast<std::size_t>(iend + FinishChunk(iend, "IEND", 0) - file);
    return file;
}

}  // namespace capture
