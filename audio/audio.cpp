#include "audio/audio.h"

#include "error/report.h"
#include "platform/sound.h"

ORCHID_REPORT_MODULE("audio/audio");

using platform::Sound;

Audio audio;

Audio::Audio()
    : stream(0), blockLength(0), length(0), bytesPerSecond(0), lengthSeconds(0), noSound(0), initialized(0),
      volume(100), muted(0), startPosition(0)
{
}

Audio::~Audio()
{
    if (initialized == 1) Release();
}

int Audio::Init(int noSound_, platform::HWND window)
{
    if (initialized == 1) {
        REPORT(ERR_AUDIO, "Audio object already initialized.\n");
        return 0;
    }
    noSound = noSound_;
    if (noSound == 0) {
        if (Sound().GetVersion() != platform::kSoundVersion) {
            REPORT(ERR_AUDIO, "BASS version 0.8 was not loaded\nIncorrect BASS.DLL.\n");
            return 0;
        }
        if (Sound().Init(-1, 44100, 0x10, window) == 0) {
            REPORT(ERR_AUDIO, "Can't initialize digital sound system.\n");
            return 0;
        }
        Sound().Start();
    }
    initialized = 1;
    return 1;
}

int Audio::LoadStream(const char* fileName)
{
    if (noSound == 1) return 1;
    if (initialized == 0) {
        REPORT(ERR_AUDIO, "Not initialized.\n");
        return 0;
    }
    stream = Sound().StreamCreateFile(0, fileName, 0, 0, 0x20000);
    if (stream == 0) {
        REPORT(ERR_AUDIO, "Can't create stream.\n");
        return 0;
    }
    return 1;
}

void Audio::Play()
{
    if (noSound == 1) return;
    if (initialized == 0) {
        REPORT(ERR_AUDIO, "Not initialized.\n");
        return;
    }
    if (Sound().StreamPlay(stream, 0, 0) == 0) {
        REPORT(ERR_AUDIO, "Can't play stream.\n");
        return;
    }
    blockLength = Sound().StreamGetBlockLength(stream);
    length = Sound().StreamGetLength(stream);
    uint32_t sampleRate = 0;
    Sound().ChannelGetAttributes(stream, &sampleRate, nullptr, nullptr);
    uint32_t flags = Sound().ChannelGetFlags(stream);
    bytesPerSecond = ((flags & platform::SOUND_SAMPLE_MONO) != 0 ? 1u : 2u) *
                     ((flags & platform::SOUND_SAMPLE_8BITS) != 0 ? 1u : 2u) * sampleRate;
    lengthSeconds = bytesPerSecond != 0 ? length / bytesPerSecond : 0;
    if (startPosition > 0 && bytesPerSecond != 0) SetPosition(startPosition);
    startPosition = 0;
}

void Audio::Pause()
{
    if (noSound == 1) return;
    if (initialized == 0) {
        REPORT(ERR_AUDIO, "Not initialized.\n");
        return;
    }
    if (Sound().Pause() == 0) {
        REPORT(ERR_AUDIO, "Couldn't pause digital output.\n");
    }
}

void Audio::Resume()
{
    if (noSound == 1) return;
    if (initialized == 0) {
        REPORT(ERR_AUDIO, "Not initialized.\n");
        return;
    }
    if (Sound().Start() == 0) {
        REPORT(ERR_AUDIO, "Couldn't resume digital output.\n");
    }
}

// The position is asked of the library only once the stream's rate is
// known; before that (and in silent mode) the music has not begun.
int32_t Audio::GetPosition()
{
    if (bytesPerSecond == 0) return 0;
    uint32_t bytes = Sound().ChannelGetPosition(stream);
    uint32_t seconds = bytes / bytesPerSecond;
    uint32_t rest = bytes % bytesPerSecond;
    int32_t hundredths = static_cast<int32_t>(static_cast<double>(rest) / static_cast<double>(bytesPerSecond) * 100.0);
    return static_cast<int32_t>(seconds * 100u) + hundredths;
}

void Audio::SetPosition(int32_t hundredths)
{
    if (noSound == 1) return;
    if (initialized == 0) {
        REPORT(ERR_AUDIO, "Not initialized.\n");
        return;
    }
    if (hundredths < 0) hundredths = 0;
    // Before the music plays, the position waits for Play.
    if (bytesPerSecond == 0) {
        startPosition = hundredths;
        return;
    }
    // The middle of that hundredth, so that GetPosition's rounding down
    // gives it back exactly.
    uint64_t h = static_cast<uint64_t>(hundredths);
    uint64_t bytes = h / 100 * bytesPerSecond + h % 100 * bytesPerSecond / 100 + bytesPerSecond / 200;
    if (bytes > 0xFFFFFFFCu) bytes = 0xFFFFFFFCu;
    if (Sound().ChannelSetPosition(stream, static_cast<uint32_t>(bytes)) == 0) {
        REPORT(ERR_AUDIO, "Couldn't set the music position.\n");
    }
}

void Audio::SetVolume(int32_t level)
{
    volume = level < 0 ? 0 : level > 100 ? 100 : level;
    ApplyVolume();
}

void Audio::SetMuted(int32_t mute)
{
    muted = mute != 0 ? 1 : 0;
    ApplyVolume();
}

void Audio::ApplyVolume()
{
    if (noSound == 1) return;
    if (initialized == 0) {
        REPORT(ERR_AUDIO, "Not initialized.\n");
        return;
    }
    if (Sound().ChannelSetVolume(stream, muted ? 0 : volume) == 0) {
        REPORT(ERR_AUDIO, "Couldn't set the music volume.\n");
    }
}

void Audio::Free()
{
    if (initialized == 0) {
        RECORD(ERR_AUDIO, "Not initialized.\n");
        return;
    }
    if (noSound == 0) {
        Sound().Stop();
        Sound().StreamFree(stream);
        Sound().Free();
    }
    bytesPerSecond = 0;
    startPosition = 0;
    initialized = 0;
}

void Audio::Release()
{
    if (initialized != 1) return;
    if (noSound == 0) {
        Sound().Stop();
        Sound().StreamFree(stream);
        Sound().Free();
    }
    initialized = 0;
}
