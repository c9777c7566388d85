#include "platform/stream_sound.h"

#include "platform/clock.h"

namespace platform {

uint32_t StreamSound::StreamCreateFile(int fromMemory, const void* file, uint32_t offset, uint32_t length,
                                       uint32_t)
{
    if (fromMemory != 0 || file == nullptr || offset != 0 || length != 0 || current != 0) return 0;
    LockOutput();
    bool opened = decoder.Open(static_cast<const char*>(file));
    if (opened) {
        ++serial;
        if (serial == 0) serial = 1;
        current = serial;
    }
    UnlockOutput();
    return opened ? current : 0;
}

int StreamSound::StreamFree(uint32_t stream)
{
    if (!Valid(stream)) return 0;
    LockOutput();
    decoder.Close();
    current = 0;
    UnlockOutput();
    return 1;
}

uint32_t StreamSound::Length() const
{
    uint64_t bytes = decoder.LengthBytes();
    return bytes > 0xFFFFFFFCu ? 0xFFFFFFFCu : static_cast<uint32_t>(bytes);
}

uint32_t StreamSound::StreamGetLength(uint32_t stream) { return Valid(stream) ? Length() : 0; }

uint32_t StreamSound::StreamGetBlockLength(uint32_t stream)
{
    // One MPEG layer III frame of 1152 samples.
    return Valid(stream) ? 1152 * Mp3Decoder::kBytesPerSample : 0;
}

int StreamSound::ChannelGetAttributes(uint32_t stream, uint32_t* frequency, int* volume, int* panning)
{
    if (!Valid(stream)) return 0;
    if (frequency != nullptr) *frequency = Mp3Decoder::kRate;
    if (volume != nullptr) {
        LockOutput();
        *volume = this->volume;
        UnlockOutput();
    }
    if (panning != nullptr) *panning = 0;
    return 1;
}

uint32_t StreamSound::ChannelGetFlags(uint32_t) { return 0; }

int StreamSound::ChannelSetVolume(uint32_t stream, int level)
{
    if (!Valid(stream)) return 0;
    LockOutput();
    volume = level < 0 ? 0 : level > 100 ? 100 : level;
    UnlockOutput();
    return 1;
}

void StreamSound::ApplyVolume(uint8_t* data, size_t bytes) const
{
    if (volume == 100) return;
    for (size_t i = 0; i + 1 < bytes; i += 2) {
        auto sample = static_cast<int16_t>(static_cast<uint16_t>(data[i] | (data[i + 1] << 8)));
        auto scaled = static_cast<uint16_t>(static_cast<int16_t>(sample * volume / 100));
        data[i] = static_cast<uint8_t>(scaled & 0xFF);
        data[i + 1] = static_cast<uint8_t>(scaled >> 8);
    }
}

namespace {
int64_t Now()
{
    int64_t counter = 0;
    QueryPerformanceCounter(&counter);
    return counter;
}
}  // namespace

int ClockSound::Init(int, uint32_t, uint32_t, HWND)
{
    if (initialized) return 0;
    initialized = true;
    paused = false;
    return 1;
}

uint32_t ClockSound::StreamCreateFile(int fromMemory, const void* file, uint32_t offset, uint32_t length,
                                      uint32_t flags)
{
    if (file != nullptr) return StreamSound::StreamCreateFile(fromMemory, file, offset, length, flags);
    if (fromMemory != 0 || offset != 0 || length != 0 || current != 0) return 0;
    ++serial;
    if (serial == 0) serial = 1;
    current = serial;
    return current;
}

int ClockSound::Start()
{
    if (!initialized) return 0;
    if (paused) {
        pausedCounts += Now() - pauseStart;
        paused = false;
    }
    return 1;
}

int ClockSound::Pause()
{
    if (!initialized) return 0;
    if (!paused) {
        pauseStart = Now();
        paused = true;
    }
    return 1;
}

int ClockSound::Stop()
{
    playing = false;
    return 1;
}

int ClockSound::Free()
{
    if (!initialized) return 0;
    StreamFree(current);
    initialized = false;
    playing = false;
    paused = false;
    return 1;
}

int ClockSound::StreamPlay(uint32_t stream, int, uint32_t)
{
    if (!initialized || !Valid(stream)) return 0;
    playing = true;
    playStart = Now();
    pausedCounts = 0;
    startHundredths = 0;
    if (paused) pauseStart = playStart;
    return 1;
}

// Counts of the active clock played since the stream began or was moved.
int64_t ClockSound::Elapsed()
{
    int64_t elapsed = (paused ? pauseStart : Now()) - playStart - pausedCounts;
    return elapsed < 0 ? 0 : elapsed;
}

uint32_t ClockSound::ChannelGetPosition(uint32_t stream)
{
    if (!Valid(stream) || !playing) return 0;
    int64_t frequency = 0;
    if (QueryPerformanceFrequency(&frequency) == 0 || frequency <= 0) return 0;
    int64_t elapsed = Elapsed();
    // Whole hundredths, without overflow for any realistic run.
    int64_t hundredths = startHundredths + elapsed / frequency * 100 + (elapsed % frequency) * 100 / frequency;
    // Past the stream's end the position goes on with the clock (silence is
    // heard): a show longer than its music still reaches its end.
    uint64_t bytes = static_cast<uint64_t>(hundredths) * 1764u + 882u;
    return bytes > 0xFFFFFFFCu ? 0xFFFFFFFCu : static_cast<uint32_t>(bytes);
}

// The clock starts counting again from the whole hundredth the position
// falls in, so the next hundredth is heard one step later, as from the
// start.
int ClockSound::ChannelSetPosition(uint32_t stream, uint32_t position)
{
    if (!Valid(stream) || !playing) return 0;
    startHundredths = position / 1764u;
    playStart = paused ? pauseStart : Now();
    pausedCounts = 0;
    return 1;
}

}  // namespace platform
