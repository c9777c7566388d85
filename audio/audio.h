// Audio: the music stream whose play position, in hundredths of a second,
// is the show's clock. It checks the sound library's version, opens the
// default output device, streams the music file, pauses and resumes with
// the application's activation, reports and moves the position and sets the
// loudness. In silent mode it makes no library call at all.
#pragma once

#include <cstdint>

#include "platform/window.h"

class Audio {
public:
    Audio();
    ~Audio();
    Audio(const Audio&) = delete;
    Audio& operator=(const Audio&) = delete;

    int Init(int noSound, platform::HWND window);
    int LoadStream(const char* fileName);
    void Play();
    void Pause();
    void Resume();
    // Hundredths of a second heard; 0 while the stream's rate is unknown
    // (before Play, or silent).
    int32_t GetPosition();
    // Moves the music so that GetPosition gives `hundredths` from now on
    // (playing or paused as before); before Play, Play starts there.
    void SetPosition(int32_t hundredths);
    // The loudness, 0 to 100 (the start: 100), and muting, which silences
    // the music and keeps the loudness for when it is undone.
    void SetVolume(int32_t level);
    void SetMuted(int32_t mute);
    void Free();
    void Release();

    uint32_t stream;
    uint32_t blockLength;
    uint32_t length;
    uint32_t bytesPerSecond;
    uint32_t lengthSeconds;
    int32_t noSound;
    int32_t initialized;
    int32_t volume;
    int32_t muted;
    // Where Play starts: a position set before it.
    int32_t startPosition;

private:
    void ApplyVolume();
};

extern Audio audio;
