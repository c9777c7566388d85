#include "capture/capture.h"

#include <chrono>
#include <cstdio>
#include <cstring>

#include "capture/framemd5.h"
#include "error/memory.h"
#include "error/report.h"

ORCHID_REPORT_MODULE("capture/capture");

namespace capture {

int64_t WallNs()
{
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

FrameRate::FrameRate(int64_t numerator, int64_t denominator) : num(numerator), den(denominator)
{
    if (num <= 0 || den <= 0 || num > 100 * den) num = 50, den = 1;
    int64_t a = num, b = den;
    while (b != 0) {
        const int64_t r = a % b;
        a = b;
        b = r;
    }
    num /= a;
    den /= a;
}

void FrameRate::Format(char* text, std::size_t size) const
{
    if (den == 1)
        std::snprintf(text, size, "%lld", static_cast<long long>(num));
    else
        std::snprintf(text, size, "%lld/%lld", static_cast<long long>(num), static_cast<long long>(den));
}

FrameSchedule::FrameSchedule(FrameRate frameRate, int from, int to)
    : rate(frameRate), fromHundredths(from), toHundredths(to)
{
}

int64_t FrameSchedule::FirstFrameFrom(int64_t hundredth) const
{
    // The least i with 100 i den >= hundredth num.
    const int64_t scaled = hundredth * rate.num, step = 100 * rate.den;
    return (scaled + step - 1) / step;
}

int FrameSchedule::FramesOf(long present, long* first) const
{
    // Present 1 shows hundredths 0 and 1, present n > 1 hundredth n; the
    // rate is at most 100, so no hundredth has two frames.
    if (present < 1) {
        *first = 0;
        return 0;
    }
    int64_t lo = present == 1 ? 0 : FirstFrameFrom(present);
    int64_t hi = FirstFrameFrom(present + 1) - 1;  // candidate indices lo..hi
    auto wanted = [&](int64_t index) {
        const int64_t time = HundredthOf(index);
        return time >= fromHundredths && (toHundredths < 0 || time <= toHundredths);
    };
    while (lo <= hi && !wanted(lo)) ++lo;
    while (hi >= lo && !wanted(hi)) --hi;
    *first = static_cast<long>(lo);
    return lo <= hi ? static_cast<int>(hi - lo + 1) : 0;
}

bool FrameSchedule::Complete(long present) const
{
    return toHundredths >= 0 && present >= (toHundredths > 1 ? toHundredths : 1);
}

long FrameSchedule::PresentsNeeded(long showEnd) const
{
    if (toHundredths < 0) return showEnd;
    long last = toHundredths > 1 ? toHundredths : 1;
    return last < showEnd ? last : showEnd;
}

long FrameSchedule::FramesWithin(long presents) const
{
    long frames = 0;
    for (long present = 1; present <= presents; ++present) {
        long first = 0;
        frames += FramesOf(present, &first);
    }
    return frames;
}

namespace {

// Widens a channel of `bits` bits to 8 by repeating its bits from the top.
uint8_t Widen(uint32_t v, int bits)
{
    return static_cast<uint8_t>(bits == 5 ? (v << 3) | (v >> 2) : (v << 2) | (v >> 4));
}

}  // namespace

void ConvertToRgb(const FrameView& f, int scale, uint8_t* out)
{
    if (scale < 1) scale = 1;
    ConvertToRgb(f, scale, out, static_cast<std::size_t>(f.width) * scale * 3);
}

void ConvertToRgb(const FrameView& f, int scale, uint8_t* out, std::size_t outPitch)
{
    if (scale < 1) scale = 1;
    const std::size_t outRow = static_cast<std::size_t>(f.width) * scale * 3;
    for (int y = 0; y < f.height; ++y) {
        const uint8_t* src = f.pixels + static_cast<std::size_t>(y) * f.pitch;
        uint8_t* row = out + static_cast<std::size_t>(y) * scale * outPitch;
        uint8_t* o = row;
        for (int x = 0; x < f.width; ++x) {
            uint8_t r = 0, g = 0, b = 0;
            switch (f.layout) {
            case PixelLayout::XRGB8888:
                r = src[x * 4 + 2];
                g = src[x * 4 + 1];
                b = src[x * 4 + 0];
                break;
            case PixelLayout::BGR24:
                r = src[x * 3 + 2];
                g = src[x * 3 + 1];
                b = src[x * 3 + 0];
                break;
            case PixelLayout::RGB565: {
                uint32_t p = src[x * 2] | (static_cast<uint32_t>(src[x * 2 + 1]) << 8);
                r = Widen((p >> 11) & 0x1F, 5);
                g = Widen((p >> 5) & 0x3F, 6);
                b = Widen(p & 0x1F, 5);
                break;
            }
            case PixelLayout::RGB555: {
                uint32_t p = src[x * 2] | (static_cast<uint32_t>(src[x * 2 + 1]) << 8);
                r = Widen((p >> 10) & 0x1F, 5);
                g = Widen((p >> 5) & 0x1F, 5);
                b = Widen(p & 0x1F, 5);
                break;
            }
            case PixelLayout::Other:
                break;
            }
            for (int k = 0; k < scale; ++k) {
                o[0] = r;
                o[1] = g;
                o[2] = b;
                o += 3;
            }
        }
        for (int k = 1; k < scale; ++k) std::memcpy(row + k * outPitch, row, outRow);
    }
}

Framing FramingOf(int pictureWidth, int pictureHeight, int scale, int presetHeight)
{
    if (presetHeight == 0) {
        if (scale < 1) scale = 1;
        return Framing{scale, pictureWidth * scale, pictureHeight * scale, 0, 0};
    }
    const int width = presetHeight / 9 * 16;
    int fit = pictureWidth > 0 && pictureHeight > 0 ? width / pictureWidth : 0;
    if (fit > 0 && presetHeight / pictureHeight < fit) fit = presetHeight / pictureHeight;
    return Framing{fit, width, presetHeight, (width - pictureWidth * fit) / 2,
                   (presetHeight - pictureHeight * fit) / 2};
}

CaptureSink::CaptureSink(const FrameSchedule& frameSchedule, int frameScale)
    : schedule(frameSchedule), scale(frameScale < 1 ? 1 : frameScale)
{
}

CaptureSink::~CaptureSink() { orchid::MemFree(rgb); }

int CaptureSink::Open(int width, int height)
{
    opened = true;
    framing = FramingOf(width, height, scale, presetHeight);
    if (framing.scale == 0) {
        char message[96];
        std::snprintf(message, sizeof message, "A %dx%d frame does not fit in %dx%d.\n", width, height,
                      framing.width, framing.height);
        REPORT(ERR_MISC, message);
        return 0;
    }
    pictureWidth = width;
    pictureHeight = height;
    outWidth = framing.width;
    outHeight = framing.height;
    int bytes = outWidth * outHeight * 3;
    rgb = static_cast<uint8_t*>(orchid::MemAlloc(static_cast<std::size_t>(bytes)));
    if (rgb == nullptr) {
        REPORT(ERR_OUT_OF_MEMORY, "uint8_t *rgb\n", bytes);
        return 0;
    }
    // The border stays black: each frame writes the picture alone.
    std::memset(rgb, 0, static_cast<std::size_t>(bytes));
    return checksums == nullptr || checksums->Open(schedule.rate, outWidth, outHeight);
}

void CaptureSink::Frame(const FrameView& frame)
{
    // The buffers (and a PNG sink's directory) are made with the first frame,
    // while the log is running, so that a failure is reported like any other.
    if (!opened && !Open(frame.width, frame.height)) return;
    if (stopped) return;
    if (stopRequested != nullptr && stopRequested()) {
        stopped = true;
        completed = true;
        if (onComplete != nullptr) onComplete();
        return;
    }
    ++presents;
    long first = 0;
    int count = schedule.FramesOf(presents, &first);
    // A frame of another size than the one opened for is not written.
    if (count > 0 && rgb != nullptr && frame.width == pictureWidth && frame.height == pictureHeight) {
        const std::size_t pitch = static_cast<std::size_t>(outWidth) * 3;
        ConvertToRgb(frame, framing.scale, rgb + framing.top * pitch + static_cast<std::size_t>(framing.left) * 3,
                     pitch);
        if (Write(first, count)) {
            written += count;
            if (checksums != nullptr) checksums->Add(rgb, pitch * static_cast<std::size_t>(outHeight), count);
        }
    }
    progress.Update(presents, written);
    if (!completed && schedule.Complete(presents)) {
        completed = true;
        if (onComplete != nullptr) onComplete();
    }
}

void CaptureSink::Close()
{
    progress.Finish();
    orchid::MemFree(rgb);
    rgb = nullptr;
}

void ProgressLine::Start(const char* whatText, long totalCount, long frameCount, std::FILE* stream, bool isTerminal)
{
    what = whatText;
    total = totalCount > 0 ? totalCount : 1;
    totalFrames = frameCount;
    out = stream;
    terminal = isTerminal;
    lastShown = -1;
    lastTenth = -1;
    startNs = WallNs();
    lastDrawNs = 0;
    active = out != nullptr;
}

void ProgressLine::Draw(long done, long frames, int64_t now)
{
    double fraction = static_cast<double>(done) / static_cast<double>(total);
    if (fraction > 1.0) fraction = 1.0;
    double elapsed = static_cast<double>(now - startNs) * 1e-9;
    // The time left is guessed only once a hundredth of the work is done.
    char eta[32] = "-:--";
    if (done * 100 >= total) {
        long left = static_cast<long>(elapsed * (1.0 - fraction) / fraction + 0.5);
        std::snprintf(eta, sizeof eta, "%ld:%02ld", left / 60, left % 60);
    }
    // Each present is one hundredth of show time.
    char speed[32] = "-.--x";
    if (elapsed > 0.0) std::snprintf(speed, sizeof speed, "%.2fx", static_cast<double>(done) / 100.0 / elapsed);
    std::fprintf(out, "%s%s %5.1f%%  frame %ld/%ld  %s  ETA %s%s", terminal ? "\r" : "", what, fraction * 100.0,
                 frames, totalFrames, speed, eta, terminal ? "  " : "\n");
    std::fflush(out);
    lastShown = done;
    lastDrawNs = now;
}

void ProgressLine::Update(long done, long frames)
{
    if (!active) return;
    int64_t now = WallNs();
    if (terminal) {
        if (now - lastDrawNs >= 100000000 || done >= total) Draw(done, frames, now);
    } else {
        int tenth = static_cast<int>((done * 10) / total);
        if (tenth != lastTenth) {
            lastTenth = tenth;
            Draw(done, frames, now);
        }
    }
}

void ProgressLine::Finish()
{
    if (!active) return;
    if (terminal) std::fputc('\n', out);
    std::fflush(out);
    active = false;
}

}  // namespace capture
