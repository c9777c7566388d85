// The MP3 decoder on Windows: the system's MPEG layer III codec through the
// Audio Compression Manager (msacm32), which every Windows since XP has
// (decoding only) and Wine provides.
//
// The codec takes the frames as they are and gives PCM at the file's own rate
// and channels, so this side finds the frames itself, in the file read whole:
// it skips ID3v2 tags and whatever lies before the first frame header that
// the next header confirms, skips a leading Xing/Info frame (which holds no
// sound), steps over damage to the next confirmed header, counts the frames
// for the length, and feeds the codec only the frames' bytes. Where the Info
// frame carries the encoder's delay and padding (the tag LAME defined, which
// other encoders such as ffmpeg's write with their own name), the sound
// starts after that delay and the decoder's own (529 samples) and ends
// before the padding, as libmpg123 plays it. Layer I and II and free-format
// files, which the codec does not take, are refused with a line on the
// error output saying so. Other rates than 44.1 kHz are
// brought to it by linear interpolation, mono to stereo by doubling. The
// length is that of the frames' samples at 44.1 kHz; what the codec gives is
// cut to it, or ended with silence, so that reading gives exactly the length.
//
// Opening also lists where each frame with sound starts. Frame k's output
// starts at the codec's sample k times the frame's samples (every frame of
// the stream has as many), so a seek needs no decoding from the start: the
// codec starts afresh at least a few frames before the one that holds the
// place (kWarmUpFrames), at a frame where its output keeps in step with a
// play from the start (kStartSamples), and what it gives before the place
// is dropped. What comes after is what a play from the start gives there,
// sample for sample.
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
#include <numeric>

#include "os/files.h"

namespace platform {

namespace {

constexpr std::size_t kInputBytes = 16384;
// The layer III synthesis filter bank's delay, in samples.
constexpr uint32_t kDecoderDelay = 529;
// How many frames before the one holding a seek's place the codec starts. A
// frame's main data may begin up to 511 bytes (MPEG-1; 255 for MPEG-2 and
// 2.5) before its header, in the frames before it: at the smallest frames
// (96 bytes at 32 kbit/s and 48 kHz, 72 at 8 kbit/s and 8 kHz) that reaches
// back six frames. A frame's output also overlaps the previous frame's (the
// hybrid filter bank's second half, then the synthesis filter bank's 512
// samples of history), so the frame before the place has to decode exactly
// too: it needs its own reservoir, which is there from seven frames after
// the codec's start on. Ten leaves room; every frame the codec starts before
// the one it is to decode exactly costs 1152 samples of decoding. (Wine's
// codec gives the place exactly from three frames before it on.)
constexpr uint64_t kWarmUpFrames = 10;
// The codec starts only at a frame whose first sample is a multiple of this
// many of its samples. Wine's codec gives samples up to 3 apart from a play
// from the start unless its stream started a multiple of 65536 samples
// before (as a dither noise repeating every 65536 samples from the stream's
// start would). That is every 512 frames of 1152 samples (13.4 s at
// 44.1 kHz), every 1024 of 576.
constexpr uint64_t kStartSamples = 65536;
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

// Why an MPEG audio header that is not layer III at a standard bit rate
// cannot be decoded here, or null.
const char* Unsupported(const uint8_t* h)
{
    if (h[0] != 0xFF || (h[1] & 0xE0) != 0xE0 || ((h[1] >> 3) & 3) == 1 || (h[1] & 0x06) == 0) return nullptr;
    if (((h[2] >> 2) & 3) == 3 || (h[2] >> 4) == 15) return nullptr;
    if ((h[1] & 0x06) == 0x04) return "MPEG audio layer II, and the Windows MP3 codec decodes layer III only";
    if ((h[1] & 0x06) == 0x06) return "MPEG audio layer I, and the Windows MP3 codec decodes layer III only";
    if ((h[2] >> 4) == 0) return "free-format MPEG audio (no bit rate in its frame headers), which the Windows MP3 codec does not decode";
    return nullptr;
}

// The encoder's delay and padding from the encoder's tag in an Info/Xing
// frame (`tag` points at "Info" or "Xing", `end` past the frame), whatever
// encoder's name it starts with; false when the frame has no room for it.
bool EncoderGaps(const uint8_t* tag, const uint8_t* end, uint32_t* delay, uint32_t* padding)
{
    const uint32_t flags = static_cast<uint32_t>(tag[7]) | static_cast<uint32_t>(tag[6]) << 8;
    const uint8_t* lame = tag + 8 + ((flags & 1) != 0 ? 4 : 0) + ((flags & 2) != 0 ? 4 : 0) +
                          ((flags & 4) != 0 ? 100 : 0) + ((flags & 8) != 0 ? 4 : 0);
    if (end - lame < 24) return false;
    *delay = static_cast<uint32_t>(lame[21]) << 4 | static_cast<uint32_t>(lame[22]) >> 4;
    *padding = (static_cast<uint32_t>(lame[22]) & 0xF) << 8 | static_cast<uint32_t>(lame[23]);
    return true;
}

bool SameStream(const FrameHeader& a, const FrameHeader& b)
{
    return a.version == b.version && a.rate == b.rate && a.channels == b.channels;
}

// The size of an ID3v2 tag at `tag` (`left` bytes on), or 0.
std::size_t Id3v2Bytes(const uint8_t* tag, std::size_t left)
{
    if (left < 10 || std::memcmp(tag, "ID3", 3) != 0) return 0;
    const std::size_t body = (std::size_t{tag[6] & 0x7Fu} << 21) | (std::size_t{tag[7] & 0x7Fu} << 14) |
                             (std::size_t{tag[8] & 0x7Fu} << 7) | std::size_t{tag[9] & 0x7Fu};
    return 10 + body + ((tag[5] & 0x10) != 0 ? 10 : 0);
}

// The first whole layer III frame at or after `from` whose header the next
// one confirms (or that ends the file, or an ID3v1 tag follows), of the
// stream `stream` when given; `size` when there is none.
std::size_t FindFrame(const uint8_t* data, std::size_t size, std::size_t from, const FrameHeader* stream,
                      FrameHeader* frame)
{
    for (std::size_t at = from; at + 4 <= size; ++at) {
        if (!ParseHeader(data + at, frame) || (stream != nullptr && !SameStream(*frame, *stream))) continue;
        const std::size_t next = at + static_cast<std::size_t>(frame->bytes);
        if (next > size) continue;
        FrameHeader following;
        if (next == size || (size - next >= 3 && std::memcmp(data + next, "TAG", 3) == 0) ||
            (size - next >= 4 && ParseHeader(data + next, &following) && SameStream(following, *frame)))
            return at;
    }
    return size;
}

}  // namespace

struct Mp3Decoder::State {
    // The file read whole; its first `audioBytes` then hold the frames with
    // sound, one after the other.
    uint8_t* data = nullptr;
    std::size_t audioBytes = 0;
    std::size_t readPosition = 0;
    // Where each of the `frameCount` frames starts in `data`, and the
    // samples (per channel) of each.
    std::size_t* frameStarts = nullptr;
    std::size_t frameCount = 0;
    uint32_t frameSamples = 0;
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
    // Frames of the codec's output before the sound starts, and how many
    // are still to be dropped (after a seek, up to its place).
    uint32_t skip = 0;
    uint64_t skipLeft = 0;
    // Other formats: the input frames around the next output frame, and
    // how far past `before` it lies, in 1/44100ths of an input frame.
    // `atFirst`: `before` is to be the sound's first input frame, which
    // stands on its own when the codec gives no second; past it, an output
    // frame needs both, and once the codec has given its last (`dry`) the
    // rest is silence, however it is read.
    int16_t before[2] = {};
    int16_t after[2] = {};
    uint32_t phase = 0;
    bool primed = false;
    bool atFirst = true;
    bool dry = false;

    ~State()
    {
        CloseStream();
        delete[] data;
        delete[] frameStarts;
        delete[] output;
    }

    void CloseStream()
    {
        if (prepared) acmStreamUnprepareHeader(stream, &header, 0);
        prepared = false;
        if (stream != nullptr) acmStreamClose(stream, 0);
        stream = nullptr;
    }

    // A fresh codec stream from frame `frame` on. (acmStreamReset does
    // nothing on a synchronous stream: the stream is opened again; the
    // output buffer stays.)
    bool OpenStream(std::size_t frame)
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
        skipLeft = 0;
        phase = 0;
        primed = false;
        atFirst = true;
        dry = false;
        readPosition = frameStarts[frame];
        return true;
    }

    // Converts the next piece of input; false at the end or on an error.
    bool Convert()
    {
        while (!ended) {
            const std::size_t left = audioBytes - readPosition;
            const std::size_t room = kInputBytes - inputFill;
            const std::size_t got = left < room ? left : room;
            std::memcpy(input + inputFill, data + readPosition, got);
            readPosition += got;
            inputFill += got;
            const bool last = readPosition >= audioBytes;
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
            const uint64_t frames = (outputFill - outputTaken) / frameBytes;
            const uint64_t dropped = frames < skipLeft ? frames : skipLeft;
            outputTaken += static_cast<std::size_t>(dropped) * frameBytes;
            skipLeft -= dropped;
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
        if (dry) return 0;
        if (!primed) {
            if (!NextFrame(before)) return 0;
            if (!NextFrame(after)) {
                dry = !atFirst;
                if (dry) return 0;
                std::memcpy(after, before, sizeof after);
            }
            primed = true;
        }
        while (total < bytes) {
            while (phase >= kRate) {
                phase -= kRate;
                std::memcpy(before, after, sizeof before);
                if (!NextFrame(after)) {
                    dry = true;
                    return total;
                }
            }
            for (int c = 0; c < 2; ++c) {
                // Neighbours may differ by up to 65535, times a phase up to
                // 44099: the product needs more than 32 bits.
                const int64_t value = before[c] + int64_t{after[c] - before[c]} * int64_t{phase} / int64_t{kRate};
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
    std::FILE* file = os::OpenFile(fileName, "rb");
    if (file == nullptr) return false;
    state = new (std::nothrow) State;
    long fileSize = -1;
    if (state != nullptr && std::fseek(file, 0, SEEK_END) == 0) fileSize = std::ftell(file);
    const std::size_t size = fileSize > 0 ? static_cast<std::size_t>(fileSize) : 0;
    if (size > 0 && std::fseek(file, 0, SEEK_SET) == 0) state->data = new (std::nothrow) uint8_t[size];
    const bool read = state != nullptr && state->data != nullptr && std::fread(state->data, 1, size, file) == size;
    std::fclose(file);
    if (!read) {
        Close();
        return false;
    }
    uint8_t* data = state->data;

    // The tags, then the first frame that the next one confirms; its format
    // holds for the whole file.
    std::size_t position = 0;
    for (std::size_t tag; (tag = Id3v2Bytes(data + position, size - position)) > 0 && tag <= size - position;)
        position += tag;
    FrameHeader firstFrame;
    std::size_t audio = position;
    position = FindFrame(data, size, position, nullptr, &firstFrame);
    if (position == size) {
        // MPEG audio of another kind where the frames would start: say so.
        while (audio < size && data[audio] == 0) ++audio;
        const char* reason = size - audio >= 4 ? Unsupported(data + audio) : nullptr;
        if (reason != nullptr) os::PrintText(stderr, "orchid: %s is %s\n", fileName, reason);
        Close();
        return false;
    }

    // The frames, moved down over what lay between them (tags, the Info
    // frame, damage): the codec gets the frames with sound back to back. A
    // header that is not one of the stream's is stepped over to the next
    // confirmed frame, as a decoder resynchronises.
    FrameHeader frame = firstFrame;
    uint64_t samples = 0;
    uint32_t delay = 0, padding = 0;
    std::size_t audioBytes = 0;
    std::size_t frames = 0;
    bool first = true;
    while (position + 4 <= size) {
        if (!ParseHeader(data + position, &frame) || !SameStream(frame, firstFrame) ||
            static_cast<std::size_t>(frame.bytes) > size - position) {
            position = FindFrame(data, size, position + 1, &firstFrame, &frame);
            if (position == size) break;
        }
        const std::size_t bytes = static_cast<std::size_t>(frame.bytes);
        // A leading Xing or Info frame describes the file and holds no sound.
        const uint8_t* tag = data + position + 4 + frame.sideInfo;
        const bool info = first && bytes >= static_cast<std::size_t>(4 + frame.sideInfo + 8) &&
                          (std::memcmp(tag, "Xing", 4) == 0 || std::memcmp(tag, "Info", 4) == 0);
        first = false;
        if (info) {
            if (!EncoderGaps(tag, data + position + bytes, &delay, &padding)) delay = padding = 0;
        } else {
            std::memmove(data + audioBytes, data + position, bytes);
            audioBytes += bytes;
            samples += static_cast<uint64_t>(frame.samples);
            ++frames;
        }
        position += bytes;
    }
    state->audioBytes = audioBytes;
    bool ok = samples > delay + padding && audioBytes > 0;
    // The frames' starts, now that they lie back to back.
    if (ok) state->frameStarts = new (std::nothrow) std::size_t[frames];
    ok = ok && state->frameStarts != nullptr;
    for (std::size_t k = 0, at = 0; ok && k < frames; ++k) {
        state->frameStarts[k] = at;
        ok = audioBytes - at >= 4 && ParseHeader(data + at, &frame) &&
             static_cast<std::size_t>(frame.bytes) <= audioBytes - at;
        at += static_cast<std::size_t>(frame.bytes);
    }
    state->frameCount = frames;
    state->frameSamples = static_cast<uint32_t>(firstFrame.samples);
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

bool Mp3Decoder::Rewind() { return Seek(0); }

// The codec starts at the last frame at a multiple of kStartSamples that
// lies at least kWarmUpFrames frames before the frame that holds the
// place's input frame (or at the first), and Produce drops what it gives
// before that input frame; for other formats the interpolation takes up the
// phase a play from the start has there. Past the codec's last frame the
// stream starts as before its last frame: a play from the start runs dry at
// the same place.
bool Mp3Decoder::Seek(uint64_t bytes)
{
    if (state == nullptr) return false;
    State& s = *state;
    if (bytes > lengthBytes) bytes = lengthBytes;
    bytes -= bytes % kBytesPerSample;
    const uint64_t sample = bytes / kBytesPerSample;
    const uint64_t rate = static_cast<uint64_t>(s.rate);
    const bool direct = s.rate == static_cast<int>(kRate) && s.channels == 2;
    const uint64_t input = direct ? sample : sample * rate / kRate;
    const uint64_t codecSample = s.skip + input;
    uint64_t frame = codecSample / s.frameSamples;
    if (frame >= s.frameCount) frame = s.frameCount - 1;
    const uint64_t period = kStartSamples / std::gcd(uint64_t{s.frameSamples}, kStartSamples);
    const uint64_t start = frame > kWarmUpFrames ? (frame - kWarmUpFrames) / period * period : 0;
    if (!s.OpenStream(static_cast<std::size_t>(start))) return false;
    s.skipLeft = codecSample - start * s.frameSamples;
    s.phase = direct ? 0 : static_cast<uint32_t>(sample * rate % kRate);
    s.atFirst = input == 0;
    s.delivered = bytes;
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
