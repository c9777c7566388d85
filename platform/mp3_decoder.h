// Decodes an MP3 file (libmpg123; in the browser, the browser's own decoder,
// platform/web/web_mp3_decoder.cpp) to 44.1 kHz, 16-bit stereo samples,
// whatever the file's own rate and channels. Opening scans the whole file,
// so the decoded length is exact, and decodes the first frame, so a file
// that is not MP3 is refused at once. A file whose rate or channels change
// midway plays on through the change, each part converted; libmpg123's
// scan counts such a file at its first rate, so opening it decodes it whole
// once to count what is played. On Windows the system's codec decodes
// (mp3_decoder_acm.cpp).
#pragma once

#include <cstddef>
#include <cstdint>

struct mpg123_handle_struct;

namespace platform {

class Mp3Decoder {
public:
    static constexpr uint32_t kRate = 44100;
    static constexpr uint32_t kBytesPerSample = 4;  // 16-bit stereo

    Mp3Decoder() = default;
    ~Mp3Decoder();
    Mp3Decoder(const Mp3Decoder&) = delete;
    Mp3Decoder& operator=(const Mp3Decoder&) = delete;

    // False (and closed) when the file is missing, unreadable or not MP3.
    bool Open(const char* fileName);
    void Close();
    // Decoded bytes from the start to the end.
    uint64_t LengthBytes() const { return lengthBytes; }
    // Back to the first sample.
    bool Rewind();
    // To `bytes` from the start (a multiple of 4; past the end: the end).
    bool Seek(uint64_t bytes);
    // Decodes up to `bytes` bytes (a multiple of 4); returns how many were
    // written, 0 at the end or on a decoding error.
    size_t Read(uint8_t* target, size_t bytes);

private:
#if defined(_WIN32)
    // The file, its frames and the system codec's stream.
    struct State;
    State* state = nullptr;
#elif !defined(__EMSCRIPTEN__)
    ::mpg123_handle_struct* handle = nullptr;
#endif
    uint64_t lengthBytes = 0;
};

}  // namespace platform
