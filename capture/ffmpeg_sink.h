// Sends the kept frames to the `ffmpeg` program through a pipe, which
// encodes them (H.264, yuv420p) and muxes the music in, starting the music at
// the time of the first written frame.
#pragma once

#include <sys/types.h>

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

    // True when a program of that name can be run from PATH.
    static bool ProgramAvailable(const char* name);

    // The program run; tests point it elsewhere.
    const char* program = "ffmpeg";

protected:
    // Starts ffmpeg with the first frame to be written.
    int Write(long first, int count) override;

private:
    int Start(long firstIndex);
    void Stop();

    char output[4096];
    char music[4096];
    int fps;
    int pipeFd = -1;
    pid_t child = -1;
};

}  // namespace capture
