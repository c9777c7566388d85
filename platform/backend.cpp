// The installed backend, the sound library's stand-in while none is
// installed, the fullscreen formats the desktop backends share, and the
// environment the backend table's entries judge.
#include "platform/backend.h"

#include <cstdlib>

#include "platform/backend_table.h"

namespace platform {

namespace {

Backend backend = {};

// Every call fails: version 0, no device, no stream.
class NoSound final : public SoundLibrary {
public:
    uint32_t GetVersion() override { return 0; }
    int Init(int, uint32_t, uint32_t, HWND) override { return 0; }
    int Start() override { return 0; }
    int Pause() override { return 0; }
    int Stop() override { return 0; }
    int Free() override { return 0; }
    uint32_t StreamCreateFile(int, const void*, uint32_t, uint32_t, uint32_t) override { return 0; }
    int StreamPlay(uint32_t, int, uint32_t) override { return 0; }
    int StreamFree(uint32_t) override { return 0; }
    uint32_t StreamGetLength(uint32_t) override { return 0; }
    uint32_t StreamGetBlockLength(uint32_t) override { return 0; }
    int ChannelGetAttributes(uint32_t, uint32_t* frequency, int*, int*) override
    {
        if (frequency != nullptr) *frequency = 0;
        return 0;
    }
    uint32_t ChannelGetFlags(uint32_t) override { return 0; }
    uint32_t ChannelGetPosition(uint32_t) override { return 0; }
    int ChannelSetPosition(uint32_t, uint32_t) override { return 0; }
    int ChannelSetVolume(uint32_t, int) override { return 0; }
};
NoSound noSound;

}  // namespace

void InstallBackend(const Backend& chosen)
{
    backend = chosen;
    ResetWindowSystem();
}

void UninstallBackend() { InstallBackend(Backend{}); }

const Backend& InstalledBackend() { return backend; }

const char* ProcessEnvironment(const char* name) { return std::getenv(name); }

SoundLibrary& Sound() { return backend.sound != nullptr ? *backend.sound : noSound; }

bool DisplayBackend::ModeFormat(int, int, int bpp, DDPIXELFORMAT* format)
{
    format->dwFlags = DDPF_RGB;
    format->dwRGBBitCount = static_cast<uint32_t>(bpp);
    if (bpp == 32 || bpp == 24) {
        format->dwRBitMask = 0xFF0000;
        format->dwGBitMask = 0x00FF00;
        format->dwBBitMask = 0x0000FF;
        return true;
    }
    if (bpp == 16) {
        format->dwRBitMask = 0xF800;
        format->dwGBitMask = 0x07E0;
        format->dwBBitMask = 0x001F;
        return true;
    }
    return false;
}

}  // namespace platform
