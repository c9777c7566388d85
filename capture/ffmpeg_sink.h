// Sends the kept frames to the `ffmpeg` program through a pipe, which
// encodes them (H.264 at 4:2:0 or 4:4:4, or FFV1 in RGB) and muxes the music in, starting the music at
// the time of the first written frame and padded with silence where it ends
// before the video. ffmpeg writes the video under a temporary name beside the
// output; only a video ffmpeg finished without an error, in a run that had
// none, is moved to the output's name. Otherwise the partial file is removed
// and the report says so (after a stop that ffmpeg did not answer, the
// program does).
// With `info`, the finished video is remuxed once more (`-c copy`, a quick
// copy of the packets) to add the chapters and the tags, the frames digest
// among them, which is known only once the last frame is written; a
// capture ended by a stop keeps the video without them.
#pragma once

#include <cstddef>
#include <cstdint>

#include "capture/capture.h"
#include "capture/frame_digest.h"
#include "os/output_file.h"
#include "os/process.h"

namespace capture {

// A named part of the show from its first hundredth on (the next one's
// first ends it).
struct Chapter {
    const char* name;
    int32_t first;
};

// What a video says about itself besides its pictures and sound.
struct VideoInfo {
    const char* software;  // the writer and its version, "orchid 1.0"
    int depth;             // the display conversion captured through
    const Chapter* chapters;
    int chapterCount;
    // The frame the show rendered at the present being written: the frames
    // digest is taken of it, at each present that writes frames.
    platform::FrameView (*rendered)();
};

class FfmpegSink final : public CaptureSink {
public:
    // musicFile null: a video without sound.
    FfmpegSink(const char* outputFile, const char* musicFile, const FrameSchedule& schedule, int scale);
    // Ends the stream, waits for ffmpeg to finish the file and moves it to
    // the output's name; a failure is recorded (not thrown), since this runs
    // while the display is released.
    void Close() override;

    // True when a program of that name can be run from PATH (on Windows
    // "name.exe", from PATH's folders only).
    static bool ProgramAvailable(const char* name) { return os::ProgramAvailable(name); }

    // How the picture is encoded.
    enum class Video {
        H264_420,  // H.264 yuv420p: what players and sites take everywhere
        H264_444,  // H.264 yuv444p: no chroma subsampling (High 4:4:4)
        Ffv1,      // FFV1 version 3 in RGB (bgr0), lossless, with slice CRCs
    };
    Video video = Video::H264_420;

    // Chapters and tags to add to the finished video; none when null.
    const VideoInfo* info = nullptr;
    // The frames digest of the presents written so far.
    FrameDigest digest;

    // The program run; tests point it elsewhere.
    const char* program = "ffmpeg";
    // True once the run was stopped while ffmpeg took no more frames or did
    // not end in time (os::ChildProcess's grace times): it was ended and the
    // partial video removed, with nothing reported here.
    bool abandoned = false;

protected:
    // Starts ffmpeg with the first frame to be written.
    int Write(long first, int count) override;

private:
    int Start(long firstIndex);
    // The arguments every run of ffmpeg begins with, into args; how many.
    int Leading(const char** args) const;
    // How ffmpeg ended, as a sentence, after a failed write or exit.
    void DescribeEnd(bool ran, int status, bool signalled, char* text, std::size_t size) const;

    // Runs the program with its standard input on a pipe; reports a failure.
    int Spawn(const char* const* args);
    // Writes the chapters and tags as ffmpeg's FFMETADATA text into `meta`.
    bool WriteMetadata();
    // Copies the finished video into `tagged` with the metadata; a failure
    // is recorded with the reason in `why`.
    bool AddMetadata(char* why, std::size_t size);

    char output[4096];
    char music[4096];
    // The names as ffmpeg is given them: never read as an option.
    char target[4096 + 128];
    char musicInput[4096 + 8];
    char videoInput[4096 + 128];
    char metaInput[4096 + 128];
    char taggedTarget[4096 + 128];
    long firstFrame = 0;
    bool matroska = false;
    os::OutputFile file;
    os::OutputFile meta;
    os::OutputFile tagged;
    os::ChildProcess child;
};

}  // namespace capture
