#include "capture/md5.h"

#include <cstring>

namespace capture {

namespace {

// The sine table, floor(abs(sin(i + 1)) x 2^32), and the rotations of the
// four rounds.
constexpr uint32_t kSine[64] = {
    0xd76aa478, 0xe8c7b756, 0x242070db, 0xc1bdceee, 0xf57c0faf, 0x4787c62a, 0xa8304613, 0xfd469501,
    0x698098d8, 0x8b44f7af, 0xffff5bb1, 0x895cd7be, 0x6b901122, 0xfd987193, 0xa679438e, 0x49b40821,
    0xf61e2562, 0xc040b340, 0x265e5a51, 0xe9b6c7aa, 0xd62f105d, 0x02441453, 0xd8a1e681, 0xe7d3fbc8,
    0x21e1cde6, 0xc33707d6, 0xf4d50d87, 0x455a14ed, 0xa9e3e905, 0xfcefa3f8, 0x676f02d9, 0x8d2a4c8a,
    0xfffa3942, 0x8771f681, 0x6d9d6122, 0xfde5380c, 0xa4beea44, 0x4bdecfa9, 0xf6bb4b60, 0xbebfbc70,
    0x289b7ec6, 0xeaa127fa, 0xd4ef3085, 0x04881d05, 0xd9d4d039, 0xe6db99e5, 0x1fa27cf8, 0xc4ac5665,
    0xf4292244, 0x432aff97, 0xab9423a7, 0xfc93a039, 0x655b59c3, 0x8f0ccc92, 0xffeff47d, 0x85845dd1,
    0x6fa87e4f, 0xfe2ce6e0, 0xa3014314, 0x4e0811a1, 0xf7537e82, 0xbd3af235, 0x2ad7d2bb, 0xeb86d391,
};
constexpr int kShift[4][4] = {{7, 12, 17, 22}, {5, 9, 14, 20}, {4, 11, 16, 23}, {6, 10, 15, 21}};

uint32_t Rotate(uint32_t v, int s) { return (v << s) | (v >> (32 - s)); }

}  // namespace

void Md5::Reset()
{
    state[0] = 0x67452301;
    state[1] = 0xefcdab89;
    state[2] = 0x98badcfe;
    state[3] = 0x10325476;
    length = 0;
    buffered = 0;
}

void Md5::Block(const uint8_t* block)
{
    uint32_t x[16];
    for (int i = 0; i < 16; ++i)
        x[i] = static_cast<uint32_t>(block[i * 4]) | static_cast<uint32_t>(block[i * 4 + 1]) << 8 |
               static_cast<uint32_t>(block[i * 4 + 2]) << 16 | static_cast<uint32_t>(block[i * 4 + 3]) << 24;
    uint32_t a = state[0], b = state[1], c = state[2], d = state[3];
    for (int i = 0; i < 64; ++i) {
        const int round = i / 16;
        uint32_t f = 0;
        int k = 0;
        switch (round) {
        case 0: f = (b & c) | (~b & d); k = i; break;
        case 1: f = (d & b) | (~d & c); k = (5 * i + 1) % 16; break;
        case 2: f = b ^ c ^ d; k = (3 * i + 5) % 16; break;
        default: f = c ^ (b | ~d); k = (7 * i) % 16; break;
        }
        const uint32_t next = b + Rotate(a + f + kSine[i] + x[k], kShift[round][i % 4]);
        a = d;
        d = c;
        c = b;
        b = next;
    }
    state[0] += a;
    state[1] += b;
    state[2] += c;
    state[3] += d;
}

void Md5::Add(const uint8_t* data, std::size_t size)
{
    length += size;
    if (buffered > 0) {
        const std::size_t take = size < 64 - buffered ? size : 64 - buffered;
        std::memcpy(buffer + buffered, data, take);
        buffered += take;
        data += take;
        size -= take;
        if (buffered < 64) return;
        Block(buffer);
        buffered = 0;
    }
    for (; size >= 64; data += 64, size -= 64) Block(data);
    std::memcpy(buffer, data, size);
    buffered = size;
}

void Md5::Finish(char* hex)
{
    // A one bit, zeros to 56 bytes of the last block, the bit length.
    const uint64_t bits = length * 8;
    uint8_t tail[72] = {0x80};
    const std::size_t pad = buffered < 56 ? 56 - buffered : 120 - buffered;
    for (int i = 0; i < 8; ++i) tail[pad + i] = static_cast<uint8_t>(bits >> (8 * i));
    Add(tail, pad + 8);
    static const char digits[] = "0123456789abcdef";
    for (int i = 0; i < 16; ++i) {
        const uint8_t byte = static_cast<uint8_t>(state[i / 4] >> (8 * (i % 4)));
        hex[i * 2] = digits[byte >> 4];
        hex[i * 2 + 1] = digits[byte & 15];
    }
    hex[32] = '\0';
    Reset();
}

}  // namespace capture
