// Capturing the show from the headless display: the choice of which
// presents become which output frames, the conversion of a shown surface to
// RGB bytes (with a nearest-neighbour upscale), the progress line on stderr,
// and the sink that writes the chosen frames. The sinks here implement the
// platform's FrameSink, where the headless display hands every frame it
// shows.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>

#include "platform/frame_sink.h"

namespace capture {

class FrameMd5File;
using platform::FrameSink;
using platform::FrameView;
using platform::PixelLayout;

// Frames per second as a ratio, num / den frames each second (50, or
// 60000/1001 for NTSC's 59.94), at most 100 and kept in lowest terms.
struct FrameRate {
    FrameRate(int64_t numerator = 50, int64_t denominator = 1);
    // "50" or "60000/1001": as ffmpeg's -framerate takes it. `size` >= 32.
    void Format(char* text, std::size_t size) const;
    int64_t num;
    int64_t den;
};

// Headless runs step the show one hundredth per frame, so present number n
// (1 for the first) shows the show at n hundredths. Output frame i stands for
// the show as it stands at i / fps seconds: the last hundredth begun by
// then, floor(100 i / fps), in exact integer arithmetic. Frame 0 (time 0,
// before any update) is the picture of the first present, which nothing has
// changed yet, so the first present can stand for two frames (at 100 fps:
// frames 0 and 1); at rates above 50 some presents stand for none. --from
// and --to only choose frames of that one grid.
class FrameSchedule {
public:
    // toHundredths < 0: up to the end of the show.
    FrameSchedule(FrameRate rate, int fromHundredths, int toHundredths);

    // The hundredth output frame `index` shows.
    int64_t HundredthOf(int64_t index) const { return 100 * index * rate.den / rate.num; }
    // The output frames present n stands for and that are to be written:
    // fills first and returns how many consecutive indices from it (0, 1 or 2).
    int FramesOf(long present, long* first) const;
    // True once every frame up to --to has been written.
    bool Complete(long present) const;
    // Presents of a whole run up to --to (or to showEnd hundredths).
    long PresentsNeeded(long showEnd) const;
    // Output frames written by `presents` presents.
    long FramesWithin(long presents) const;

    FrameRate rate;
    int fromHundredths;
    int toHundredths;

private:
    // The first frame index whose hundredth is n or later.
    int64_t FirstFrameFrom(int64_t hundredth) const;
};

// Packs a shown frame into RGB bytes, each pixel repeated scale x scale
// times: (width x scale) x (height x scale) x 3 bytes in `out`. 16-bit
// channels are widened by repeating their top bits, so white stays 255; a
// layout the outputs do not know gives black.
void ConvertToRgb(const FrameView& frame, int scale, uint8_t* out);
// The same into a larger image whose rows are `outPitch` bytes apart: only
// the picture's (width x scale) x (height x scale) pixels from `out` on are
// written, what lies around them is left as it is.
void ConvertToRgb(const FrameView& frame, int scale, uint8_t* out, std::size_t outPitch);

// Where the picture lands in an output frame: enlarged `scale` times, its
// top left pixel at (left, top) of a width x height frame, black around it.
struct Framing {
    int scale;
    int width;
    int height;
    int left;
    int top;
};

// The framing of a pictureWidth x pictureHeight picture. presetHeight 0:
// enlarged `scale` times, filling the frame. 1080, 1440 or 2160: the 16:9
// frame of that height (1920 x 1080, 2560 x 1440, 3840 x 2160) with the
// picture enlarged by the largest whole factor that fits and centred (left
// and top rounded down); scale 0 when the picture does not fit even once.
Framing FramingOf(int pictureWidth, int pictureHeight, int scale, int presetHeight);

// "capture  42.1%  frame 4521/10731  2.5x  ETA 0:35" on stderr: the share of
// the show rendered, the frames written of all to be written, the speed in
// seconds of show time per second of wall time, and the time left. Redrawn
// in place on a terminal, a plain line every tenth of the way otherwise.
class ProgressLine {
public:
    // `total` presents to render, `totalFrames` frames to write in them.
    void Start(const char* what, long total, long totalFrames, std::FILE* out, bool terminal);
    // `done` presents rendered (one per hundredth of show time), `frames`
    // frames written.
    void Update(long done, long frames);
    void Finish();

    const char* what = "";
    long total = 0;
    long totalFrames = 0;
    long lastShown = -1;
    int lastTenth = -1;
    int64_t startNs = 0;
    int64_t lastDrawNs = 0;
    std::FILE* out = nullptr;
    bool terminal = false;
    bool active = false;

private:
    void Draw(long done, long frames, int64_t now);
};

// Nanoseconds on the steady clock, for wall-time figures (never show time).
int64_t WallNs();

// A sink that writes some of the frames it is shown: the schedule picks
// them, the subclass writes them. Once every frame up to --to is written it
// calls onComplete (the program then ends the run as if Escape was pressed).
class CaptureSink : public FrameSink {
public:
    CaptureSink(const FrameSchedule& schedule, int scale);
    ~CaptureSink() override;
    CaptureSink(const CaptureSink&) = delete;
    CaptureSink& operator=(const CaptureSink&) = delete;

    // Makes the RGB frame buffer for width x height frames. 1 on success, 0
    // after a report. Done by the first frame when not called before.
    virtual int Open(int width, int height);
    void Frame(const FrameView& frame) override;
    void Close() override;

    ProgressLine progress;
    FrameSchedule schedule;
    long presents = 0;
    long written = 0;
    void (*onComplete)() = nullptr;
    // Asked before each frame; once it says true (an interruption), nothing
    // more is written and onComplete ends the run.
    bool (*stopRequested)() = nullptr;
    bool stopped = false;
    // Replace files of the output's names that exist.
    bool overwrite = false;
    // When set, gets every frame written, as it is written (opened with
    // the first frame, committed or discarded by the caller).
    FrameMd5File* checksums = nullptr;
    // A --height preset (1080, 1440, 2160) the frames are framed in, in
    // place of the scale; 0: none. Set before the first frame.
    int presetHeight = 0;

protected:
    // Writes the converted frame (in `rgb`) as output frames first .. first +
    // count - 1. 1 on success; 0 after a report (which throws).
    virtual int Write(long first, int count) = 0;

    int scale;
    int outWidth = 0;
    int outHeight = 0;
    // The output frame, black where the picture does not cover it.
    uint8_t* rgb = nullptr;

private:
    bool opened = false;
    bool completed = false;
    // The picture size opened for and where it goes in `rgb`.
    int pictureWidth = 0;
    int pictureHeight = 0;
    Framing framing{};
};

}  // namespace capture
