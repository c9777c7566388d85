// The MP3 decoder on Windows: the system's MPEG layer III codec through the
// Audio Compression Manager (msacm32), which every Windows since XP has
// (decoding only) and Wine provides.
//
// The codec takes the frames as they are and gives PCM at the file's own rate
// and channels, so this side finds the frames itself: it skips an ID3v2 tag
// and a leading Xing/Info frame (which holds no sound), counts the frames for
// the length, and feeds the codec only the frames' bytes. Files of MPEG-1
// layer III at 44.1 kHz are taken, as the interface promises 44.1 kHz out and
// the codec does not resample; mono is doubled to stereo here.
#include "platform/mp3_decoder.h"

#define WIN32_LEAN_AND_MEAN
#include <windows.h>
// After windows.h:
#include <mmsystem.h>
#include <mmreg.h>
#include <msacm.h>

#include <cstdio>
#include <cstring>
#include <new>

namespace platform {

namespace {

constexpr uint32_t kSamplesPerFrame = 1152;
constexpr std::size_t kInputBytes = 16384;
constexpr int kBitrates[16] = {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 0};

struct FrameHeader {
    int bytes = 0;        // the whole frame, header included
    int channels = 0;
    int kbps = 0;
    int sideInfo = 0;     // bytes of side information after the header
};

// An MPEG-1 layer III frame header at 44.1 kHz, or false.
bool ParseHeader(const uint8_t* h, FrameHeader* frame)
{
    if (h[0] != 0xFF || (h[1] & 0xFE) != 0xFA) return false;  // sync, MPEG-1, layer III
    const int bitrateIndex = h[2] >> 4;
    const int rateIndex = (h[2] >> 2) & 3;
    if (bitrateIndex == 0 || bitrateIndex == 15 || rateIndex != 0) return false;
    frame->kbps = kBitrates[bitrateIndex];
    frame->bytes = 144000 * frame->kbps / 44100 + ((h[2] >> 1) & 1);
    frame->channels = (h[3] >> 6) == 3 ? 1 : 2;
    frame->sideInfo = frame->channels == 1 ? 17 : 32;
    return true;
}

// The size of an ID3v2 tag at the file's start, or 0.
long Id3v2Bytes(std::FILE* file)
{
    uint8_t tag[10];
    if (std::fread(tag, 1, sizeof tag, file) != sizeof tag || std::memcmp(tag, "ID3", 3) != 0) return 0;
    const long body = (long{tag[6] & 0x7F} << 21) | (long{tag[7] & 0x7F} << 14) | (long{tag[8] & 0x7F} << 7) |
                      long{tag[9] & 0x7F};
    return 10 + body + ((tag[5] & 0x10) != 0 ? 10 : 0);
}

}  // namespace

struct Mp3Decoder::State {
    std::FILE* file = nullptr;
    long audioStart = 0;  // first frame with sound
    long audioEnd = 0;    // just past the last whole frame
    long readPosition = 0;
    int channels = 0;
    MPEGLAYER3WAVEFORMAT source = {};
    WAVEFORMATEX pcm = {};
    HACMSTREAM stream = nullptr;
    ACMSTREAMHEADER header = {};
    bool prepared = false;
    bool first = true;
    uint8_t input[kInputBytes] = {};
    std::size_t inputFill = 0;
    uint8_t* output = nullptr;
    DWORD outputBytes = 0;
    std::size_t outputFill = 0;
    std::size_t outputTaken = 0;

    ~State()
    {
        CloseStream();
        if (file != nullptr) std::fclose(file);
        delete[] output;
    }

    void CloseStream()
    {
        if (prepared) acmStreamUnprepareHeader(stream, &header, 0);
        prepared = false;
        if (stream != nullptr) acmStreamClose(stream, 0);
        stream = nullptr;
    }

    // A fresh codec stream at the first frame with sound.
    bool OpenStream()
    {
        CloseStream();
        if (acmStreamOpen(&stream, nullptr, &source.wfx, &pcm, nullptr, 0, 0, ACM_STREAMOPENF_NONREALTIME) != 0) {
            stream = nullptr;
            return false;
        }
        DWORD needed = 0;
        if (acmStreamSize(stream, kInputBytes, &needed, ACM_STREAMSIZEF_SOURCE) != 0 || needed == 0) return false;
        if (output == nullptr || needed > outputBytes) {
            delete[] output;
            output = new (std::nothrow) uint8_t[needed]();
            outputBytes = output != nullptr ? needed : 0;
            if (output == nullptr) return false;
        }
        header = {};
        header.cbStruct = sizeof header;
        header.pbSrc = input;
        header.cbSrcLength = kInputBytes;
        header.pbDst = output;
        header.cbDstLength = outputBytes;
        if (acmStreamPrepareHeader(stream, &header, 0) != 0) return false;
        prepared = true;
        first = true;
        inputFill = 0;
        outputFill = outputTaken = 0;
        readPosition = audioStart;
        return std::fseek(file, audioStart, SEEK_SET) == 0;
    }

    // Converts the next piece of input; false at the end or on an error.
    bool Convert()
    {
        while (true) {
            const long left = audioEnd - readPosition;
            const std::size_t room = kInputBytes - inputFill;
            const std::size_t want = left < static_cast<long>(room) ? static_cast<std::size_t>(left) : room;
            const std::size_t got = want > 0 ? std::fread(input + inputFill, 1, want, file) : 0;
            readPosition += static_cast<long>(got);
            inputFill += got;
            const bool last = readPosition >= audioEnd || got < want;
            if (inputFill == 0 && !last) return false;
            header.cbSrcLength = static_cast<DWORD>(inputFill);
            header.cbDstLengthUsed = 0;
            header.cbSrcLengthUsed = 0;
            DWORD flags = ACM_STREAMCONVERTF_BLOCKALIGN;
            if (first) flags |= ACM_STREAMCONVERTF_START;
            if (last) flags = (flags & ~DWORD{ACM_STREAMCONVERTF_BLOCKALIGN}) | ACM_STREAMCONVERTF_END;
            if (acmStreamConvert(stream, &header, flags) != 0) return false;
            first = false;
            const std::size_t used = header.cbSrcLengthUsed <= inputFill ? header.cbSrcLengthUsed : inputFill;
            std::memmove(input, input + used, inputFill - used);
            inputFill -= used;
            outputFill = header.cbDstLengthUsed;
            outputTaken = 0;
            if (outputFill > 0) return true;
            // Nothing came out: at the end that is the end, else the codec
            // wants more input.
            if (last || (used == 0 && inputFill == kInputBytes)) return false;
        }
    }
};

Mp3Decoder::~Mp3Decoder() { Close(); }

void Mp3Decoder::Close()
{
    delete state;
    state = nullptr;
    lengthBytes = 0;
}

bool Mp3Decoder::Open(const char* fileName)
{
    Close();
    if (fileName == nullptr) return false;
    std::FILE* file = std::fopen(fileName, "rb");
    if (file == nullptr) return false;
    state = new (std::nothrow) State;
    if (state == nullptr) {
        std::fclose(file);
        return false;
    }
    state->file = file;

    // Walk the frames from the first header after the tag: the length, and
    // the format of the first frame.
    long position = Id3v2Bytes(file);
    uint8_t bytes[4 + 32 + 8];
    FrameHeader frame;
    FrameHeader firstFrame;
    bool seenFirst = false;
    uint64_t frames = 0;
    bool ok = std::fseek(file, position, SEEK_SET) == 0;
    while (ok && std::fread(bytes, 1, sizeof bytes, file) >= 4 && ParseHeader(bytes, &frame)) {
        if (!seenFirst) {
            seenFirst = true;
            firstFrame = frame;
            // A Xing or Info frame describes the file and holds no sound.
            const uint8_t* tag = bytes + 4 + frame.sideInfo;
            const bool info = std::memcmp(tag, "Xing", 4) == 0 || std::memcmp(tag, "Info", 4) == 0;
            state->audioStart = info ? position + frame.bytes : position;
            if (!info) ++frames;
        } else {
            if (frame.channels != firstFrame.channels) break;
            ++frames;
        }
        position += frame.bytes;
        ok = std::fseek(file, position, SEEK_SET) == 0;
    }
    state->audioEnd = position;
    ok = frames > 0 && state->audioStart < state->audioEnd;
    if (ok) {
        state->channels = firstFrame.channels;
        MPEGLAYER3WAVEFORMAT& mp3 = state->source;
        mp3.wfx.wFormatTag = WAVE_FORMAT_MPEGLAYER3;
        mp3.wfx.nChannels = static_cast<WORD>(firstFrame.channels);
        mp3.wfx.nSamplesPerSec = kRate;
        mp3.wfx.nAvgBytesPerSec = static_cast<DWORD>(firstFrame.kbps) * 1000 / 8;
        mp3.wfx.nBlockAlign = 1;
        mp3.wfx.wBitsPerSample = 0;
        mp3.wfx.cbSize = MPEGLAYER3_WFX_EXTRA_BYTES;
        mp3.wID = MPEGLAYER3_ID_MPEG;
        mp3.fdwFlags = MPEGLAYER3_FLAG_PADDING_ISO;
        mp3.nBlockSize = static_cast<WORD>(144000 * firstFrame.kbps / 44100);
        mp3.nFramesPerBlock = 1;
        mp3.nCodecDelay = 0;
        WAVEFORMATEX& pcm = state->pcm;
        pcm.wFormatTag = WAVE_FORMAT_PCM;
        pcm.nChannels = static_cast<WORD>(firstFrame.channels);
        pcm.nSamplesPerSec = kRate;
        pcm.wBitsPerSample = 16;
        pcm.nBlockAlign = static_cast<WORD>(2 * firstFrame.channels);
        pcm.nAvgBytesPerSec = kRate * pcm.nBlockAlign;
        pcm.cbSize = 0;
        lengthBytes = frames * kSamplesPerFrame * kBytesPerSample;
        uint8_t probe[4608];
        ok = Rewind() && Read(probe, sizeof probe) > 0 && Rewind();
    }
    if (!ok) Close();
    return ok;
}

bool Mp3Decoder::Rewind() { return state != nullptr && state->OpenStream(); }

size_t Mp3Decoder::Read(uint8_t* target, size_t bytes)
{
    if (state == nullptr || state->stream == nullptr) return 0;
    bytes -= bytes % kBytesPerSample;
    size_t total = 0;
    while (total < bytes) {
        if (state->outputTaken >= state->outputFill && !state->Convert()) break;
        const uint8_t* from = state->output + state->outputTaken;
        const size_t available = state->outputFill - state->outputTaken;
        if (state->channels == 2) {
            size_t n = available < bytes - total ? available : bytes - total;
            n -= n % kBytesPerSample;
            if (n == 0) break;
            std::memcpy(target + total, from, n);
            total += n;
            state->outputTaken += n;
        } else {
            // One 16-bit sample in, the same sample on both channels out.
            size_t samples = available / 2;
            if (samples > (bytes - total) / kBytesPerSample) samples = (bytes - total) / kBytesPerSample;
            if (samples == 0) break;
            for (size_t i = 0; i < samples; ++i) {
                std::memcpy(target + total + 4 * i, from + 2 * i, 2);
                std::memcpy(target + total + 4 * i + 2, from + 2 * i, 2);
            }
            total += samples * kBytesPerSample;
            state->outputTaken += samples * 2;
        }
    }
    return total;
}

}  // namespace platform
