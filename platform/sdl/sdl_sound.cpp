#include "platform/sdl/sdl_sound.h"

#include <SDL.h>

#include <chrono>
#include <cstring>

namespace platform::sdl {

namespace {
int64_t NowNs()
{
    return std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}
}  // namespace

SdlSound::~SdlSound() { Free(); }

void SdlSound::LockOutput()
{
    if (device != 0) SDL_LockAudioDevice(device);
}

void SdlSound::UnlockOutput()
{
    if (device != 0) SDL_UnlockAudioDevice(device);
}

int SdlSound::Init(int, uint32_t frequency, uint32_t, HWND)
{
    if (device != 0 || SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) return 0;
    SDL_AudioSpec want = {};
    want.freq = static_cast<int>(frequency != 0 ? frequency : Mp3Decoder::kRate);
    want.format = AUDIO_S16SYS;
    want.channels = 2;
    want.samples = kBufferFrames;
    want.callback = &SdlSound::Callback;
    want.userdata = this;
    SDL_AudioSpec have = {};
    // The stream is always 44.1 kHz 16-bit stereo; SDL converts if the
    // device wants something else.
    device = SDL_OpenAudioDevice(nullptr, 0, &want, &have, 0);
    if (device == 0) {
        SDL_QuitSubSystem(SDL_INIT_AUDIO);
        return 0;
    }
    // SDL asks for the next buffer once the device has room for it, with
    // about one buffer still queued (PulseAudio, for one, is asked for one
    // buffer of latency in all); SDL tells a callback nothing more of the
    // device's queue.
    queueBytes = static_cast<int64_t>(have.samples) * Mp3Decoder::kBytesPerSample;
    streamPlaying = false;
    // The device opens paused.
    std::lock_guard<std::mutex> hold(clockLock);
    clock.Restart();
    clock.Pause(NowNs());
    return 1;
}

int SdlSound::Start()
{
    if (device == 0) return 0;
    {
        std::lock_guard<std::mutex> hold(clockLock);
        clock.Resume(NowNs());
    }
    SDL_PauseAudioDevice(device, 0);
    return 1;
}

int SdlSound::Pause()
{
    if (device == 0) return 0;
    SDL_PauseAudioDevice(device, 1);
    std::lock_guard<std::mutex> hold(clockLock);
    clock.Pause(NowNs());
    return 1;
}

int SdlSound::Stop()
{
    if (device == 0) return 0;
    SDL_PauseAudioDevice(device, 1);
    SDL_LockAudioDevice(device);
    streamPlaying = false;
    SDL_UnlockAudioDevice(device);
    std::lock_guard<std::mutex> hold(clockLock);
    clock.Pause(NowNs());
    return 1;
}

int SdlSound::Free()
{
    if (device == 0) return 0;
    SDL_CloseAudioDevice(device);
    device = 0;
    StreamFree(current);
    SDL_QuitSubSystem(SDL_INIT_AUDIO);
    streamPlaying = false;
    return 1;
}

int SdlSound::StreamPlay(uint32_t stream, int, uint32_t)
{
    if (device == 0 || !Valid(stream)) return 0;
    SDL_LockAudioDevice(device);
    bool rewound = decoder.Rewind();
    streamPlaying = rewound;
    handed = 0;
    {
        std::lock_guard<std::mutex> hold(clockLock);
        clock.Restart();
        origin = 0;
    }
    SDL_UnlockAudioDevice(device);
    return rewound ? 1 : 0;
}

uint32_t SdlSound::ChannelGetPosition(uint32_t stream)
{
    if (device == 0 || !Valid(stream)) return 0;
    int64_t bytes = 0;
    {
        std::lock_guard<std::mutex> hold(clockLock);
        bytes = origin + clock.Position(NowNs());
    }
    // Past the stream's end the position goes on (silence is heard), so a
    // show longer than its music still reaches its end.
    if (bytes > 0xFFFFFFFCll) bytes = 0xFFFFFFFCll;
    return static_cast<uint32_t>(bytes - bytes % Mp3Decoder::kBytesPerSample);
}

// The device still plays what it holds of the old place (a buffer or so);
// the clock reads the new place until the device reports sound from there,
// paused or not as it was.
int SdlSound::ChannelSetPosition(uint32_t stream, uint32_t position)
{
    if (device == 0 || !Valid(stream) || !streamPlaying) return 0;
    uint64_t bytes = position - position % Mp3Decoder::kBytesPerSample;
    SDL_LockAudioDevice(device);
    bool moved = decoder.Seek(bytes);
    handed = 0;
    {
        std::lock_guard<std::mutex> hold(clockLock);
        clock.Restart();
        origin = static_cast<int64_t>(bytes);
    }
    SDL_UnlockAudioDevice(device);
    return moved ? 1 : 0;
}

void SdlSound::Callback(void* userdata, uint8_t* stream, int length)
{
    static_cast<SdlSound*>(userdata)->Fill(stream, length);
}

// Runs on SDL's audio thread with the device locked. The report is made
// first, so that its time is that of the device's request and not of the
// decoding after it; a report skipped while the position is being read
// costs nothing, the next buffer reports again.
void SdlSound::Fill(uint8_t* stream, int length)
{
    std::memset(stream, 0, static_cast<size_t>(length));
    if (!streamPlaying) return;
    if (clockLock.try_lock()) {
        clock.Report(handed + length, length + queueBytes, NowNs());
        clockLock.unlock();
    }
    size_t got = decoder.Read(stream, static_cast<size_t>(length));
    ApplyVolume(stream, got);
    // Past the stream's end the buffer holds silence, which counts as heard
    // like the music: the position goes on with the device.
    handed += length;
}

}  // namespace platform::sdl
