// The sound library: decodes the music file and plays it on an output
// device. The calls, their arguments and their results follow the audio
// library the music class is written against:
// - GetVersion gives 0x00080000;
// - a stream is decoded 44.1 kHz, 16-bit stereo; its length and play
//   position are in bytes of that decoded data (176,400 bytes a second);
// - ChannelGetFlags: bit 0x1 set for 8-bit samples, bit 0x2 for mono;
// - Pause halts the output and the position until Start;
// - ChannelGetAttributes reports the volume ChannelSetVolume last set (100
//   at first).
#pragma once

#include <cstdint>

#include "platform/window.h"

namespace platform {

constexpr uint32_t kSoundVersion = 0x00080000;
constexpr uint32_t SOUND_SAMPLE_8BITS = 0x1;
constexpr uint32_t SOUND_SAMPLE_MONO = 0x2;

class SoundLibrary {
public:
    virtual uint32_t GetVersion() = 0;
    // Opens the output device (device -1: the default). Non-zero on success.
    virtual int Init(int device, uint32_t frequency, uint32_t flags, HWND window) = 0;
    virtual int Start() = 0;
    virtual int Pause() = 0;
    virtual int Stop() = 0;
    virtual int Free() = 0;
    // A stream on a file (fromMemory 0, offset 0 and length 0: the whole
    // file); 0 when the file is missing or does not decode.
    virtual uint32_t StreamCreateFile(int fromMemory, const void* file, uint32_t offset, uint32_t length,
                                      uint32_t flags) = 0;
    // Plays the stream from its start. Non-zero on success.
    virtual int StreamPlay(uint32_t stream, int flush, uint32_t flags) = 0;
    virtual int StreamFree(uint32_t stream) = 0;
    virtual uint32_t StreamGetLength(uint32_t stream) = 0;
    virtual uint32_t StreamGetBlockLength(uint32_t stream) = 0;
    // Writes the sample rate in Hz to *frequency (each pointer may be null).
    virtual int ChannelGetAttributes(uint32_t stream, uint32_t* frequency, int* volume, int* panning) = 0;
    virtual uint32_t ChannelGetFlags(uint32_t stream) = 0;
    // What has been heard so far, in bytes of decoded data.
    virtual uint32_t ChannelGetPosition(uint32_t stream) = 0;
    // Moves the stream to `position` bytes of decoded data: what is heard
    // next starts there, and the position goes on from it. Non-zero on
    // success.
    virtual int ChannelSetPosition(uint32_t stream, uint32_t position) = 0;
    // The stream's loudness, 0 (silent) to 100 (as decoded). Non-zero on
    // success.
    virtual int ChannelSetVolume(uint32_t stream, int volume) = 0;

protected:
    ~SoundLibrary() = default;
};

// The installed backend's library. Without a backend every call fails
// (version 0, init 0, no stream).
SoundLibrary& Sound();

}  // namespace platform
