// Writes what the Linux path (libmpg123) decodes from an MP3, for the
// Windows suites to hold the system codec's path to:
//   orchid-test-mp3-reference IN.mp3 OUT.pcm NATIVE.pcm
// OUT.pcm is platform::Mp3Decoder's 44.1 kHz stereo output, NATIVE.pcm the
// same file decoded at its own rate and channels (both 16-bit little-endian,
// with libmpg123's gapless trimming).
#include <mpg123.h>

#include <cstdio>
#include <vector>

#include "platform/mp3_decoder.h"

namespace {

bool WriteAll(const char* name, const std::vector<unsigned char>& bytes)
{
    std::FILE* out = std::fopen(name, "wb");
    if (out == nullptr) return false;
    const bool ok = std::fwrite(bytes.data(), 1, bytes.size(), out) == bytes.size();
    return std::fclose(out) == 0 && ok;
}

bool Native(const char* in, std::vector<unsigned char>* bytes)
{
    int error = MPG123_OK;
    mpg123_handle* handle = mpg123_new(nullptr, &error);
    if (handle == nullptr) return false;
    mpg123_param(handle, MPG123_ADD_FLAGS, MPG123_QUIET, 0.0);
    mpg123_format_none(handle);
    for (long rate : {8000L, 11025L, 12000L, 16000L, 22050L, 24000L, 32000L, 44100L, 48000L})
        mpg123_format(handle, rate, MPG123_MONO | MPG123_STEREO, MPG123_ENC_SIGNED_16);
    bool ok = mpg123_open(handle, in) == MPG123_OK;
    unsigned char block[16384];
    while (ok) {
        size_t done = 0;
        const int result = mpg123_read(handle, block, sizeof block, &done);
        bytes->insert(bytes->end(), block, block + done);
        if (result == MPG123_DONE) break;
        ok = result == MPG123_OK || result == MPG123_NEW_FORMAT;
    }
    mpg123_delete(handle);
    return ok;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 4) {
        std::fprintf(stderr, "usage: orchid-test-mp3-reference IN.mp3 OUT.pcm NATIVE.pcm\n");
        return 2;
    }
    platform::Mp3Decoder decoder;
    if (!decoder.Open(argv[1])) {
        std::fprintf(stderr, "%s: not decoded\n", argv[1]);
        return 1;
    }
    std::vector<unsigned char> out(decoder.LengthBytes());
    if (decoder.Read(out.data(), out.size()) != out.size()) {
        std::fprintf(stderr, "%s: shorter than its length\n", argv[1]);
        return 1;
    }
    std::vector<unsigned char> native;
    if (!Native(argv[1], &native)) {
        std::fprintf(stderr, "%s: not decoded at its own rate\n", argv[1]);
        return 1;
    }
    return WriteAll(argv[2], out) && WriteAll(argv[3], native) ? 0 : 1;
}
