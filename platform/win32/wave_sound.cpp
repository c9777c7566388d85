#include "platform/win32/wave_sound.h"

#include <cstring>

#include "error/memory.h"
#include "platform/win32/windows_api.h"

namespace platform::win32 {

namespace {

// The performance counter in nanoseconds: the time base of the clock.
int64_t NowNs()
{
    LARGE_INTEGER frequency;
    LARGE_INTEGER counter;
    ::QueryPerformanceFrequency(&frequency);
    ::QueryPerformanceCounter(&counter);
    int64_t f = frequency.QuadPart;
    int64_t c = counter.QuadPart;
    return c / f * 1000000000 + c % f * 1000000000 / f;
}

}  // namespace

struct WaveSound::Device {
    HWAVEOUT out = nullptr;
    // Signalled by the device each time it gives a buffer back, and to
    // wake the feeder for the end.
    HANDLE done = nullptr;
    WAVEHDR headers[kBuffers] = {};
    uint8_t buffers[kBuffers][kBufferBytes] = {};
};

WaveSound::~WaveSound() { Free(); }

int WaveSound::Init(int, uint32_t, uint32_t, HWND)
{
    if (device != nullptr) return 0;
    Device* d = orchid::MemNew<Device>();
    if (d == nullptr) return 0;
    d->done = ::CreateEventA(nullptr, FALSE, FALSE, nullptr);
    WAVEFORMATEX pcm = {};
    pcm.wFormatTag = WAVE_FORMAT_PCM;
    pcm.nChannels = 2;
    pcm.nSamplesPerSec = Mp3Decoder::kRate;
    pcm.wBitsPerSample = 16;
    pcm.nBlockAlign = 4;
    pcm.nAvgBytesPerSec = kBytesPerSecond;
    if (d->done == nullptr || ::waveOutOpen(&d->out, WAVE_MAPPER, &pcm, reinterpret_cast<DWORD_PTR>(d->done), 0,
                                            CALLBACK_EVENT) != MMSYSERR_NOERROR) {
        if (d->done != nullptr) ::CloseHandle(d->done);
        orchid::MemDelete(d);
        return 0;
    }
    for (int i = 0; i < kBuffers; ++i) {
        d->headers[i].lpData = reinterpret_cast<LPSTR>(d->buffers[i]);
        d->headers[i].dwBufferLength = kBufferBytes;
        ::waveOutPrepareHeader(d->out, &d->headers[i], sizeof(WAVEHDR));
    }
    // The output starts halted; Start lets it run.
    ::waveOutPause(d->out);
    paused = true;
    streamPlaying = false;
    handed = 0;
    clock.Restart();
    clock.Pause(NowNs());
    device = d;
    stopping = false;
    feeder = std::thread([this] { Feed(); });
    return 1;
}

int WaveSound::Start()
{
    if (device == nullptr) return 0;
    std::lock_guard<std::mutex> hold(output);
    if (::waveOutRestart(device->out) != MMSYSERR_NOERROR) return 0;
    paused = false;
    clock.Resume(NowNs());
    return 1;
}

int WaveSound::Pause()
{
    if (device == nullptr) return 0;
    std::lock_guard<std::mutex> hold(output);
    if (::waveOutPause(device->out) != MMSYSERR_NOERROR) return 0;
    paused = true;
    clock.Pause(NowNs());
    return 1;
}

int WaveSound::Stop()
{
    if (device == nullptr) return 0;
    std::lock_guard<std::mutex> hold(output);
    streamPlaying = false;
    ::waveOutReset(device->out);
    ::waveOutPause(device->out);
    paused = true;
    clock.Pause(NowNs());
    return 1;
}

int WaveSound::Free()
{
    if (device == nullptr) return 0;
    stopping = true;
    ::SetEvent(device->done);
    feeder.join();
    ::waveOutReset(device->out);
    for (WAVEHDR& header : device->headers) ::waveOutUnprepareHeader(device->out, &header, sizeof(WAVEHDR));
    ::waveOutClose(device->out);
    ::CloseHandle(device->done);
    orchid::MemDelete(device);
    device = nullptr;
    StreamFree(current);
    streamPlaying = false;
    return 1;
}

int WaveSound::StreamPlay(uint32_t stream, int, uint32_t)
{
    if (device == nullptr || !Valid(stream)) return 0;
    std::lock_guard<std::mutex> hold(output);
    // Every queued buffer comes back and the device's position starts
    // again from 0.
    ::waveOutReset(device->out);
    if (paused) ::waveOutPause(device->out);
    streamPlaying = decoder.Rewind();
    handed = 0;
    origin = 0;
    clock.Restart();
    if (paused) clock.Pause(NowNs());
    Refill();
    return streamPlaying ? 1 : 0;
}

// As a new start from that place: the queued buffers come back and the
// device's position starts again from 0.
int WaveSound::ChannelSetPosition(uint32_t stream, uint32_t position)
{
    if (device == nullptr || !Valid(stream)) return 0;
    std::lock_guard<std::mutex> hold(output);
    if (!streamPlaying) return 0;
    ::waveOutReset(device->out);
    if (paused) ::waveOutPause(device->out);
    const uint64_t bytes = position - position % Mp3Decoder::kBytesPerSample;
    streamPlaying = decoder.Seek(bytes);
    handed = 0;
    origin = static_cast<int64_t>(bytes);
    clock.Restart();
    if (paused) clock.Pause(NowNs());
    Refill();
    return streamPlaying ? 1 : 0;
}

uint32_t WaveSound::ChannelGetPosition(uint32_t stream)
{
    if (device == nullptr || !Valid(stream)) return 0;
    MMTIME played = {};
    played.wType = TIME_BYTES;
    if (::waveOutGetPosition(device->out, &played, sizeof played) != MMSYSERR_NOERROR) return 0;
    int64_t heard = played.wType == TIME_SAMPLES ? static_cast<int64_t>(played.u.sample) * Mp3Decoder::kBytesPerSample
                                                 : static_cast<int64_t>(played.u.cb);
    int64_t now = NowNs();
    int64_t given = handed;
    if (heard > given) heard = given;
    clock.Report(given, given - heard, now);
    int64_t bytes = origin + clock.Position(now);
    if (bytes > 0xFFFFFFFCll) bytes = 0xFFFFFFFCll;
    return static_cast<uint32_t>(bytes - bytes % Mp3Decoder::kBytesPerSample);
}

void WaveSound::Refill()
{
    if (!streamPlaying) return;
    for (WAVEHDR& header : device->headers) {
        if ((header.dwFlags & WHDR_INQUEUE) != 0) continue;
        auto* data = reinterpret_cast<uint8_t*>(header.lpData);
        size_t got = decoder.Read(data, kBufferBytes);
        ApplyVolume(data, got);
        // Past the stream's end the device plays silence, which counts as
        // heard like the music.
        std::memset(data + got, 0, kBufferBytes - got);
        header.dwFlags &= ~static_cast<DWORD>(WHDR_DONE);
        if (::waveOutWrite(device->out, &header, sizeof(WAVEHDR)) == MMSYSERR_NOERROR) handed += kBufferBytes;
    }
}

void WaveSound::Feed()
{
    while (!stopping) {
        ::WaitForSingleObject(device->done, 100);
        if (stopping) break;
        std::lock_guard<std::mutex> hold(output);
        Refill();
    }
}

}  // namespace platform::win32
