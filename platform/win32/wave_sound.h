// The music through the system's wave output (waveOut): a thread keeps a
// few buffers queued, decoding the stream into each one the device gives
// back. The position is what the device says it has played, smoothed by
// a clock locked to it (platform/audio_clock.h): it never runs backwards,
// stands still while paused, resumes from where it stood, and goes on past
// the stream's end as silence is played.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <thread>

#include "platform/audio_clock.h"
#include "platform/stream_sound.h"

namespace platform::win32 {

class WaveSound final : public StreamSound {
public:
    // Four buffers of 2048 frames (46 ms each at 44.1 kHz).
    static constexpr int kBuffers = 4;
    static constexpr uint32_t kBufferBytes = 2048 * Mp3Decoder::kBytesPerSample;

    WaveSound() = default;
    ~WaveSound();
    WaveSound(const WaveSound&) = delete;
    WaveSound& operator=(const WaveSound&) = delete;

    int Init(int device, uint32_t frequency, uint32_t flags, HWND window) override;
    int Start() override;
    int Pause() override;
    int Stop() override;
    int Free() override;
    int StreamPlay(uint32_t stream, int flush, uint32_t flags) override;
    uint32_t ChannelGetPosition(uint32_t stream) override;
    int ChannelSetPosition(uint32_t stream, uint32_t position) override;

private:
    struct Device;
    void LockOutput() override { output.lock(); }
    void UnlockOutput() override { output.unlock(); }
    void Feed();
    // Fills and queues every buffer the device has given back. Called with
    // `output` held.
    void Refill();

    Device* device = nullptr;
    std::thread feeder;
    std::atomic<bool> stopping{false};
    // The decoder, the buffers and `streamPlaying`: the feeder's and the
    // caller's in turn.
    std::mutex output;
    bool streamPlaying = false;
    bool paused = false;
    // Bytes of the stream queued on the device since it began to play.
    std::atomic<int64_t> handed{0};
    // Where the stream was last moved to (0: its start): the device's
    // position counts from there.
    std::atomic<int64_t> origin{0};
    AudioClock clock{kBytesPerSecond};
};

}  // namespace platform::win32
