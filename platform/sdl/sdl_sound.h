// The music through an SDL audio device. The callback decodes the stream
// straight into SDL's buffer. The position is what has been heard: each
// callback notes how many bytes were handed over before it and when it
// ran; between callbacks the position moves on with the real clock, and the
// device buffer still queued ahead of the speaker (its latency) is taken
// off. It never runs backwards, stands still while paused, and resumes from
// where it stood.
#pragma once

#include <cstdint>

#include "platform/stream_sound.h"

namespace platform::sdl {

class SdlSound final : public StreamSound {
public:
    ~SdlSound();
    int Init(int device, uint32_t frequency, uint32_t flags, HWND window) override;
    int Start() override;
    int Pause() override;
    int Stop() override;
    int Free() override;
    int StreamPlay(uint32_t stream, int flush, uint32_t flags) override;
    uint32_t ChannelGetPosition(uint32_t stream) override;

private:
    void LockOutput() override;
    void UnlockOutput() override;
    static void Callback(void* userdata, uint8_t* stream, int length);
    void Fill(uint8_t* stream, int length);
    int64_t Heard(int64_t now) const;

    uint32_t device = 0;
    int64_t latencyBytes = 0;
    bool streamPlaying = false;
    bool paused = true;
    uint64_t handed = 0;
    int64_t anchorBytes = 0;
    int64_t anchorNs = 0;
    int64_t limitBytes = 0;
    int64_t frozen = 0;
    int64_t lastReported = 0;
};

}  // namespace platform::sdl
