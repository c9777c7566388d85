// Sends the kept frames to the `ffmpeg` program through a pipe, which
// encodes them (H.264, yuv420p) and muxes the music in, starting the music at
// the time of the first written frame.
#pragma once

#if !defined(_WIN32)
#include <sys/types.h>
#endif

#include <cstddef>
#include <cstdint>

#include "capture/capture.h"

namespace capture {

class FfmpegSink final : public CaptureSink {
public:
    // musicFile null: a video without sound.
    FfmpegSink(const char* outputFile, const char* musicFile, int fps, const FrameSchedule& schedule,
               int scale);
    ~FfmpegSink() override;

    // Ends the stream and waits for ffmpeg to finish the file; a failure is
    // recorded (not thrown), since this runs while the display is released.
    void Close() override;

    // True when a program of that name can be run from PATH (on Windows
    // also "name.exe", found where CreateProcess looks).
    static bool ProgramAvailable(const char* name);

    // The program run; tests point it elsewhere.
    const char* program = "ffmpeg";

protected:
    // Starts ffmpeg with the first frame to be written.
    int Write(long first, int count) override;

private:
    int Start(long firstIndex);
    void Stop();

    // Runs the program with its standard input on a pipe; reports a failure.
    int Spawn(const char* const* args);
    bool Running() const;
    // All of the bytes into the pipe; false with the system's reason.
    bool WritePipe(const uint8_t* data, std::size_t bytes, char* reason, std::size_t reasonSize);
    // Closes the pipe and waits for the program: false when none ran, else
    // its exit status (or the signal that ended it, *signalled then true).
    bool Wait(int* status, bool* signalled);

    char output[4096];
    char music[4096];
    int fps;
#if defined(_WIN32)
    void* pipeHandle = nullptr;     // HANDLE of the pipe's writing end
    void* processHandle = nullptr;  // HANDLE of the child process
#else
    int pipeFd = -1;
    pid_t child = -1;
#endif
};

}  // namespace capture
