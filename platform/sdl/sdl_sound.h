// The music through an SDL audio device. The callback decodes the stream
// straight into SDL's buffer. The position is what has been heard, on a
// clock locked to the device (platform/audio_clock.h): each callback reports
// how much of the stream the device has been given and how much of that it
// still holds ahead of the speaker; between callbacks the clock runs
// smoothly at the device's rate. It never runs backwards, stands still while
// paused, resumes from where it stood, and goes on past the stream's end as
// silence is played. Moving the stream starts the clock again from there.
#pragma once

#include <cstdint>
#include <mutex>

#include "platform/audio_clock.h"
#include "platform/stream_sound.h"

namespace platform::sdl {

class SdlSound final : public StreamSound {
public:
    // The device buffer: 2048 frames, 46 ms at 44.1 kHz, so that a busy
    // machine still refills it in time.
    static constexpr uint16_t kBufferFrames = 2048;

    ~SdlSound();
    int Init(int device, uint32_t frequency, uint32_t flags, HWND window) override;
    int Start() override;
    int Pause() override;
    int Stop() override;
    int Free() override;
    int StreamPlay(uint32_t stream, int flush, uint32_t flags) override;
    uint32_t ChannelGetPosition(uint32_t stream) override;
    int ChannelSetPosition(uint32_t stream, uint32_t position) override;

private:
    void LockOutput() override;
    void UnlockOutput() override;
    static void Callback(void* userdata, uint8_t* stream, int length);
    void Fill(uint8_t* stream, int length);

    uint32_t device = 0;
    // What the device still holds ahead of the speaker when it asks for the
    // next buffer.
    int64_t queueBytes = 0;
    // Under SDL's device lock: the audio thread's.
    bool streamPlaying = false;
    int64_t handed = 0;
    // Where the stream was last moved to (0: its start); the clock counts
    // from there. Under both locks.
    int64_t origin = 0;
    // The clock has a lock of its own, so that reading the position never
    // takes SDL's device lock: a reader preempted while holding that would
    // keep the audio thread from refilling the device. The audio thread only
    // tries this one, and skips a report rather than wait.
    std::mutex clockLock;
    AudioClock clock{kBytesPerSecond};
};

}  // namespace platform::sdl
