// The parts of the sound library every real backend shares: the version,
// one decoded music stream at a time, its length and sample format. The
// output (device, start, pause, position) is the backend's.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/mp3_decoder.h"
#include "platform/sound.h"

namespace platform {

class StreamSound : public SoundLibrary {
public:
    static constexpr uint32_t kBytesPerSecond = Mp3Decoder::kRate * Mp3Decoder::kBytesPerSample;

    uint32_t GetVersion() override { return kSoundVersion; }
    // One stream at a time: a second one is refused while the first lives.
    uint32_t StreamCreateFile(int fromMemory, const void* file, uint32_t offset, uint32_t length,
                              uint32_t flags) override;
    int StreamFree(uint32_t stream) override;
    uint32_t StreamGetLength(uint32_t stream) override;
    uint32_t StreamGetBlockLength(uint32_t stream) override;
    int ChannelGetAttributes(uint32_t stream, uint32_t* frequency, int* volume, int* panning) override;
    uint32_t ChannelGetFlags(uint32_t stream) override;
    // Clamped to 0..100; the output applies it as it decodes (ApplyVolume).
    int ChannelSetVolume(uint32_t stream, int volume) override;

protected:
    ~StreamSound() = default;
    bool Valid(uint32_t stream) const { return stream != 0 && stream == current; }
    // Stream bytes, capped at what a 32-bit position can say.
    uint32_t Length() const;
    // Around changes of the stream, for outputs that read it from another
    // thread.
    virtual void LockOutput() {}
    virtual void UnlockOutput() {}

    // Scales decoded 16-bit samples by `volume`; called by the output with
    // the output locked.
    void ApplyVolume(uint8_t* data, size_t bytes) const;

    Mp3Decoder decoder;
    uint32_t current = 0;
    uint32_t serial = 0;
    // 0..100; under the output's lock.
    int volume = 100;
};

// The output without a device: the position counts the hundredths of the
// active clock (platform/clock.h) since the stream began to play (or since
// it was moved, from where it was moved to), less the time spent paused, and reports the middle of the current hundredth, so a
// run on the virtual clock hears exactly one hundredth per step. It goes on
// past the stream's end, so that a music file shorter than the show does not
// stop the show's clock. A stream made without a file (a run that plays no
// sound) has nothing to decode: its length is 0 and its position is the
// clock's, as with a file.
class ClockSound final : public StreamSound {
public:
    ~ClockSound() { Free(); }
    int Init(int device, uint32_t frequency, uint32_t flags, HWND window) override;
    uint32_t StreamCreateFile(int fromMemory, const void* file, uint32_t offset, uint32_t length,
                              uint32_t flags) override;
    int Start() override;
    int Pause() override;
    int Stop() override;
    int Free() override;
    int StreamPlay(uint32_t stream, int flush, uint32_t flags) override;
    uint32_t ChannelGetPosition(uint32_t stream) override;
    int ChannelSetPosition(uint32_t stream, uint32_t position) override;

private:
    int64_t Elapsed();

    bool initialized = false;
    bool playing = false;
    bool paused = false;
    int64_t playStart = 0;
    int64_t pauseStart = 0;
    int64_t pausedCounts = 0;
    // Where the stream was moved to, in whole hundredths.
    int64_t startHundredths = 0;
};

}  // namespace platform
