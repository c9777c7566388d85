#include "platform/mp3_decoder.h"

#include <mpg123.h>

#include <mutex>

namespace platform {

namespace {

// mpg123_init is needed once per process (a no-op in newer versions).
bool LibraryReady()
{
    static std::once_flag once;
    static bool ready = false;
    std::call_once(once, [] { ready = mpg123_init() == MPG123_OK; });
    return ready;
}

// True when every frame from the current one on has the rate and channel
// count of the first: the frames are read and parsed, not decoded.
bool OneFormat(mpg123_handle* handle)
{
    long rate = 0;
    bool mono = false;
    for (bool first = true;; first = false) {
        const int result = mpg123_framebyframe_next(handle);
        if (result != MPG123_OK && result != MPG123_NEW_FORMAT) return true;
        mpg123_frameinfo info;
        if (mpg123_info(handle, &info) != MPG123_OK) return true;
        if (first) {
            rate = info.rate;
            mono = info.mode == MPG123_M_MONO;
        } else if (info.rate != rate || (info.mode == MPG123_M_MONO) != mono) {
            return false;
        }
    }
}

}  // namespace

Mp3Decoder::~Mp3Decoder() { Close(); }

void Mp3Decoder::Close()
{
    if (handle == nullptr) return;
    mpg123_close(handle);
    mpg123_delete(handle);
    handle = nullptr;
    lengthBytes = 0;
}

bool Mp3Decoder::Open(const char* fileName)
{
    Close();
    if (fileName == nullptr || !LibraryReady()) return false;
    int error = MPG123_OK;
    handle = mpg123_new(nullptr, &error);
    if (handle == nullptr) return false;
    // Quiet, and always 44.1 kHz 16-bit stereo out (mono is doubled, other
    // rates resampled).
    mpg123_param(handle, MPG123_ADD_FLAGS, MPG123_QUIET | MPG123_FORCE_STEREO, 0.0);
    mpg123_format_none(handle);
    if (mpg123_format(handle, kRate, MPG123_STEREO, MPG123_ENC_SIGNED_16) != MPG123_OK ||
        mpg123_open(handle, fileName) != MPG123_OK) {
        mpg123_delete(handle);
        handle = nullptr;
        return false;
    }
    bool ok = mpg123_scan(handle) == MPG123_OK;
    off_t samples = ok ? mpg123_length(handle) : static_cast<off_t>(-1);
    ok = ok && samples > 0;
    if (ok) {
        lengthBytes = static_cast<uint64_t>(samples) * kBytesPerSample;
        uint8_t probe[4608];
        ok = Rewind() && Read(probe, sizeof probe) > 0 && Rewind();
    }
    // The scan counts every frame at the first one's rate. Where the rate or
    // the channels change midway, the reads convert each part to the output
    // format and play on to the end: the length is what they give.
    if (ok && !OneFormat(handle)) {
        ok = Rewind();
        uint64_t decoded = 0;
        uint8_t block[1 << 14];
        for (size_t n; ok && (n = Read(block, sizeof block)) > 0;) decoded += n;
        lengthBytes = decoded;
        ok = ok && decoded > 0;
    }
    ok = ok && Rewind();
    if (!ok) Close();
    return ok;
}

bool Mp3Decoder::Rewind()
{
    return handle != nullptr && mpg123_seek(handle, 0, SEEK_SET) >= 0;
}

bool Mp3Decoder::Seek(uint64_t bytes)
{
    if (handle == nullptr) return false;
    if (bytes > lengthBytes) bytes = lengthBytes;
    return mpg123_seek(handle, static_cast<off_t>(bytes / kBytesPerSample), SEEK_SET) >= 0;
}

size_t Mp3Decoder::Read(uint8_t* target, size_t bytes)
{
    if (handle == nullptr) return 0;
    size_t total = 0;
    while (total < bytes) {
        size_t done = 0;
        int result = mpg123_read(handle, target + total, bytes - total, &done);
        total += done;
        if (result == MPG123_NEW_FORMAT) continue;
        if (result != MPG123_OK || done == 0) break;
    }
    return total - total % kBytesPerSample;
}

}  // namespace platform
