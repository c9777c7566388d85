// The MP3 decoder on Windows: the system's MPEG layer III codec through the
// Audio Compression Manager (msacm32), which every Windows since XP has
// (decoding only) and Wine provides.
//
// The codec takes the frames as they are and gives PCM at the file's own rate
// and channels, so this side finds the frames itself: it skips an ID3v2 tag
// and a leading Xing/Info frame (which holds no sound), counts the frames for
// the length, and feeds the codec only the frames' bytes. Where the Info
// frame carries the encoder's delay and padding (LAME's tag), the sound
// starts after that delay and the decoder's own (529 samples) and ends
// before the padding, as libmpg123 plays it. Other rates than 44.1 kHz are
// brought to it by linear interpolation, mono to stereo by doubling. The
// length is that of the frames' samples at 44.1 kHz; what the codec gives is
// cut to it, or ended with silence, so that reading gives exactly the length.
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

constexpr std::size_t kInputBytes = 16384;
// The layer III synthesis filter bank's delay, in samples.
constexpr uint32_t kDecoderDelay = 529;
// The largest frame: 1152 samples at 320 kbit/s and 32 kHz, padded.
constexpr std::size_t kMaxFrameBytes = 1441;
// Layer III bit rates in kbit/s by index: MPEG-1, and MPEG-2 and 2.5.
constexpr int kBitrates[2][16] = {
    {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 0},
    {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160, 0},
};
constexpr int kRates[3] = {44100, 48000, 32000};  // MPEG-1; halved for 2, quartered for 2.5

struct FrameHeader {
    int version = 0;      // 1 (MPEG-1), 2 (MPEG-2) or 25 (MPEG-2.5)
    int rate = 0;
    int channels = 0;
    int kbps = 0;
    int bytes = 0;        // the whole frame, header included
    int samples = 0;      // per channel
    int sideInfo = 0;     // bytes of side information after the header
};

// A layer III frame header, or false.
bool ParseHeader(const uint8_t* h, FrameHeader* frame)
{
    if (h[0] != 0xFF || (h[1] & 0xE0) != 0xE0 || (h[1] & 0x06) != 0x02) return false;  // sync, layer III
    const int versionBits = (h[1] >> 3) & 3;
    if (versionBits == 1) return false;
    const int bitrateIndex = h[2] >> 4;
    const int rateIndex = (h[2] >> 2) & 3;
    if (bitrateIndex == 0 || bitrateIndex == 15 || rateIndex == 3) return false;
    const bool mpeg1 = versionBits == 3;
    frame->version = mpeg1 ? 1 : versionBits == 2 ? 2 : 25;
    frame->rate = kRates[rateIndex] / (mpeg1 ? 1 : versionBits == 2 ? 2 : 4);
    frame->channels = (h[3] >> 6) == 3 ? 1 : 2;
    frame->kbps = kBitrates[mpeg1 ? 0 : 1][bitrateIndex];
    frame->samples = mpeg1 ? 1152 : 576;
    frame->bytes = frame->samples / 8 * 1000 * frame->kbps / frame->rate + ((h[2] >> 1) & 1);
    frame->sideInfo = mpeg1 ? (frame->channels == 1 ? 17 : 32) : (frame->channels == 1 ? 9 : 17);
    return true;
}

// The encoder's delay and padding from LAME's tag in an Info/Xing frame
// (`tag` points at "Info" or "Xing", `end` past the frame); false without.
bool LameGaps(const uint8_t* tag, const uint8_t* end, uint32_t* delay, uint32_t* padding)
{
    const uint32_t flags = static_cast<uint32_t>(tag[7]) | static_cast<uint32_t>(tag[6]) << 8;
    const uint8_t* lame = tag + 8 + ((flags & 1) != 0 ? 4 : 0) + ((flags & 2) != 0 ? 4 : 0) +
                          ((flags & 4) != 0 ? 100 : 0) + ((flags & 8) != 0 ? 4 : 0);
    if (end - lame < 24 || std::memcmp(lame, "LAME", 4) != 0) return false;
    *delay = static_cast<uint32_t>(lame[21]) << 4 | static_cast<uint32_t>(lame[22]) >> 4;
    *padding = (static_cast<uint32_t>(lame[22]) & 0xF) << 8 | static_cast<uint32_t>(lame[23]);
    return true;
}

bool SameStream(const FrameHeader& a, const FrameHeader& b)
{
    return a.version == b.version && a.rate == b.rate && a.channels == b.channels;
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
    int rate = 0;
    int channels = 0;
    MPEGLAYER3WAVEFORMAT source = {};
    WAVEFORMATEX pcm = {};
    HACMSTREAM stream = nullptr;
    ACMSTREAMHEADER header = {};
    bool prepared = false;
    bool first = true;
    bool ended = false;
    uint8_t input[kInputBytes] = {};
    std::size_t inputFill = 0;
    // The codec's output at the file's rate and channels.
    uint8_t* output = nullptr;
    DWORD outputBytes = 0;
    std::size_t outputFill = 0;
    std::size_t outputTaken = 0;
    // Bytes handed out at 44.1 kHz stereo since the start.
    uint64_t delivered = 0;
    // Frames of the codec's output before the sound starts, and how many of
    // them are still to be dropped.
    uint32_t skip = 0;
    uint32_t skipLeft = 0;
    // Other formats: the input frames around the next output frame, and
    // how far past `before` it lies, in 1/44100ths of an input frame.
    int16_t before[2] = {};
    int16_t after[2] = {};
    uint32_t phase = 0;
    bool primed = false;

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
        ended = false;
        inputFill = 0;
        outputFill = outputTaken = 0;
        delivered = 0;
        skipLeft = skip;
        phase = 0;
        primed = false;
        readPosition = audioStart;
        return std::fseek(file, audioStart, SEEK_SET) == 0;
    }

    // Converts the next piece of input; false at the end or on an error.
    bool Convert()
    {
        while (!ended) {
            const long left = audioEnd - readPosition;
            const std::size_t room = kInputBytes - inputFill;
            const std::size_t want = left < static_cast<long>(room) ? static_cast<std::size_t>(left) : room;
            const std::size_t got = want > 0 ? std::fread(input + inputFill, 1, want, file) : 0;
            readPosition += static_cast<long>(got);
            inputFill += got;
            const bool last = readPosition >= audioEnd || got < want;
            header.cbSrcLength = static_cast<DWORD>(inputFill);
            header.cbDstLengthUsed = 0;
            header.cbSrcLengthUsed = 0;
            DWORD flags = last ? ACM_STREAMCONVERTF_END : ACM_STREAMCONVERTF_BLOCKALIGN;
            if (first) flags |= ACM_STREAMCONVERTF_START;
            if (acmStreamConvert(stream, &header, flags) != 0) break;
            first = false;
            const std::size_t used = header.cbSrcLengthUsed <= inputFill ? header.cbSrcLengthUsed : inputFill;
            std::memmove(input, input + used, inputFill - used);
            inputFill -= used;
            outputFill = header.cbDstLengthUsed <= outputBytes ? header.cbDstLengthUsed : outputBytes;
            outputTaken = 0;
            if (outputFill > 0) return true;
            // Nothing came out: at the end that is the end, else the codec
            // wants more input than there is room for.
            if (last || (used == 0 && inputFill == kInputBytes)) break;
        }
        ended = true;
        return false;
    }

    // The next frame of the codec's output as a stereo pair.
    bool NextFrame(int16_t frame[2])
    {
        const std::size_t bytes = static_cast<std::size_t>(channels) * 2;
        if (outputFill - outputTaken < bytes && !Convert()) return false;
        std::memcpy(&frame[0], output + outputTaken, 2);
        std::memcpy(&frame[1], output + outputTaken + (channels == 2 ? 2 : 0), 2);
        outputTaken += bytes;
        return true;
    }

    // Up to `bytes` bytes (a multiple of 4) at 44.1 kHz stereo.
    std::size_t Produce(uint8_t* target, std::size_t bytes)
    {
        const std::size_t frameBytes = static_cast<std::size_t>(channels) * 2;
        while (skipLeft > 0) {
            if (outputFill - outputTaken < frameBytes && !Convert()) return 0;
            const std::size_t frames = (outputFill - outputTaken) / frameBytes;
            const std::size_t dropped = frames < skipLeft ? frames : skipLeft;
            outputTaken += dropped * frameBytes;
            skipLeft -= static_cast<uint32_t>(dropped);
        }
        std::size_t total = 0;
        if (rate == static_cast<int>(kRate) && channels == 2) {
            while (total < bytes) {
                if (outputTaken + kBytesPerSample > outputFill && !Convert()) break;
                std::size_t n = outputFill - outputTaken < bytes - total ? outputFill - outputTaken : bytes - total;
                n -= n % kBytesPerSample;
                std::memcpy(target + total, output + outputTaken, n);
                total += n;
                outputTaken += n;
            }
            return total;
        }
        // Linear interpolation between the input frames around each output
        // frame's time.
        if (!primed) {
            if (!NextFrame(before)) return 0;
            if (!NextFrame(after)) std::memcpy(after, before, sizeof after);
            primed = true;
        }
        while (total < bytes) {
            while (phase >= kRate) {
                phase -= kRate;
                std::memcpy(before, after, sizeof before);
                if (!NextFrame(after)) return total;
            }
            for (int c = 0; c < 2; ++c) {
                const int32_t value = before[c] + (after[c] - before[c]) * static_cast<int32_t>(phase) /
                                                      static_cast<int32_t>(kRate);
                const auto sample = static_cast<int16_t>(value);
                std::memcpy(target + total + 2 * c, &sample, 2);
            }
            total += kBytesPerSample;
            phase += static_cast<uint32_t>(rate);
        }
        return total;
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
    // the format of the first frame, which the others must keep.
    long position = Id3v2Bytes(file);
    uint8_t bytes[kMaxFrameBytes];
    FrameHeader frame;
    FrameHeader firstFrame;
    bool seenFirst = false;
    uint64_t samples = 0;
    uint32_t delay = 0, padding = 0;
    bool ok = std::fseek(file, position, SEEK_SET) == 0;
    while (ok && std::fread(bytes, 1, 4, file) == 4 && ParseHeader(bytes, &frame)) {
        if (!seenFirst) {
            seenFirst = true;
            firstFrame = frame;
            // A Xing or Info frame describes the file and holds no sound.
            const std::size_t got = 4 + std::fread(bytes + 4, 1, static_cast<std::size_t>(frame.bytes) - 4, file);
            const uint8_t* tag = bytes + 4 + frame.sideInfo;
            const bool info = got >= static_cast<std::size_t>(4 + frame.sideInfo + 8) &&
                              (std::memcmp(tag, "Xing", 4) == 0 || std::memcmp(tag, "Info", 4) == 0);
            if (info && !LameGaps(tag, bytes + got, &delay, &padding)) delay = padding = 0;
            state->audioStart = info ? position + frame.bytes : position;
            if (!info) samples += static_cast<uint64_t>(frame.samples);
        } else {
            if (!SameStream(frame, firstFrame)) break;
            samples += static_cast<uint64_t>(frame.samples);
        }
        position += frame.bytes;
        ok = std::fseek(file, position, SEEK_SET) == 0;
    }
    state->audioEnd = position;
    ok = samples > delay + padding && state->audioStart < state->audioEnd;
    if (ok) {
        samples -= delay + padding;
        state->skip = delay > 0 || padding > 0 ? delay + kDecoderDelay : 0;
        state->rate = firstFrame.rate;
        state->channels = firstFrame.channels;
        MPEGLAYER3WAVEFORMAT& mp3 = state->source;
        mp3.wfx.wFormatTag = WAVE_FORMAT_MPEGLAYER3;
        mp3.wfx.nChannels = static_cast<WORD>(firstFrame.channels);
        mp3.wfx.nSamplesPerSec = static_cast<DWORD>(firstFrame.rate);
        mp3.wfx.nAvgBytesPerSec = static_cast<DWORD>(firstFrame.kbps) * 1000 / 8;
        mp3.wfx.nBlockAlign = 1;
        mp3.wfx.wBitsPerSample = 0;
        mp3.wfx.cbSize = MPEGLAYER3_WFX_EXTRA_BYTES;
        mp3.wID = MPEGLAYER3_ID_MPEG;
        mp3.fdwFlags = MPEGLAYER3_FLAG_PADDING_ISO;
        mp3.nBlockSize = static_cast<WORD>(firstFrame.samples / 8 * 1000 * firstFrame.kbps / firstFrame.rate);
        mp3.nFramesPerBlock = 1;
        mp3.nCodecDelay = 0;
        WAVEFORMATEX& pcm = state->pcm;
        pcm.wFormatTag = WAVE_FORMAT_PCM;
        pcm.nChannels = static_cast<WORD>(firstFrame.channels);
        pcm.nSamplesPerSec = static_cast<DWORD>(firstFrame.rate);
        pcm.wBitsPerSample = 16;
        pcm.nBlockAlign = static_cast<WORD>(2 * firstFrame.channels);
        pcm.nAvgBytesPerSec = pcm.nSamplesPerSec * pcm.nBlockAlign;
        pcm.cbSize = 0;
        const uint64_t rate = static_cast<uint64_t>(firstFrame.rate);
        lengthBytes = (samples * kRate + rate - 1) / rate * kBytesPerSample;
        uint8_t probe[4608];
        ok = Rewind() && state->Produce(probe, sizeof probe) > 0 && Rewind();
    }
    if (!ok) Close();
    return ok;
}

bool Mp3Decoder::Rewind() { return state != nullptr && state->OpenStream(); }

// The codec decodes from the start: the bytes before the place are decoded
// and dropped.
bool Mp3Decoder::Seek(uint64_t bytes)
{
    if (!Rewind()) return false;
    if (bytes > lengthBytes) bytes = lengthBytes;
    uint8_t dropped[16384];
    while (state->delivered < bytes) {
        const uint64_t left = bytes - state->delivered;
        if (Read(dropped, left < sizeof dropped ? static_cast<size_t>(left) : sizeof dropped) == 0) return false;
    }
    return true;
}

size_t Mp3Decoder::Read(uint8_t* target, size_t bytes)
{
    if (state == nullptr || state->stream == nullptr) return 0;
    const uint64_t left = lengthBytes - state->delivered;
    if (bytes > left) bytes = static_cast<size_t>(left);
    bytes -= bytes % kBytesPerSample;
    size_t total = state->Produce(target, bytes);
    // The codec gave less than the frames hold: silence up to the length.
    if (total < bytes && state->ended) {
        std::memset(target + total, 0, bytes - total);
        total = bytes;
    }
    state->delivered += total;
    return total;
}

}  // namespace platform
