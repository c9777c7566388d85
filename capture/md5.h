// MD5 (RFC 1321), streamed: the hash ffmpeg's framemd5 gives each frame.
// Not for security, only to name content as other tools do.
#pragma once

#include <cstddef>
#include <cstdint>

namespace capture {

class Md5 {
public:
    Md5() { Reset(); }
    void Reset();
    void Add(const uint8_t* data, std::size_t size);
    // The 16 bytes of the digest of everything added since Reset, as 32
    // lower-case hexadecimal digits and a NUL (33 bytes). Resets.
    void Finish(char* hex);

private:
    void Block(const uint8_t* block);

    uint32_t state[4];
    uint64_t length;  // bytes added
    uint8_t buffer[64];
    std::size_t buffered;
};

}  // namespace capture
