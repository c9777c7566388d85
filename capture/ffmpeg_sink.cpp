#include "capture/ffmpeg_sink.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "error/error_log.h"
#include "error/report.h"
#include "os/files.h"

ORCHID_REPORT_MODULE("capture/ffmpeg_sink");

namespace capture {

FfmpegSink::FfmpegSink(const char* outputFile, const char* musicFile, const FrameSchedule& frameSchedule,
                       int frameScale)
    : CaptureSink(frameSchedule, frameScale)
{
    std::snprintf(output, sizeof output, "%s", outputFile);
    std::snprintf(music, sizeof music, "%s", musicFile != nullptr ? musicFile : "");
}

int FfmpegSink::Spawn(const char* const* args)
{
    char reason[120];
    switch (child.Run(args, reason, sizeof reason)) {
    case os::ChildProcess::Start::Started: return 1;
    case os::ChildProcess::Start::NoPipe: REPORT(ERR_MISC, "Couldn't make a pipe to ffmpeg.\n"); return 0;
    case os::ChildProcess::Start::NotFound:
        REPORT(ERR_MISC,
               "The ffmpeg program was not found. Install ffmpeg to capture a video, or write "
               "PNG frames with --frames DIR.\n");
        return 0;
    case os::ChildProcess::Start::CommandTooLong:
        REPORT(ERR_MISC, "Couldn't start ffmpeg: its command line is too long.\n");
        return 0;
    case os::ChildProcess::Start::Failed: break;
    }
    char message[200];
    std::snprintf(message, sizeof message, "Couldn't start ffmpeg: %s.\n", reason);
    REPORT(ERR_MISC, message);
    return 0;
}

namespace {

bool EndsWithIgnoringCase(const char* text, const char* suffix)
{
    const std::size_t n = std::strlen(text), m = std::strlen(suffix);
    if (n < m) return false;
    for (std::size_t i = 0; i < m; ++i) {
        char c = text[n - m + i];
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
        if (c != suffix[i]) return false;
    }
    return true;
}

}  // namespace

int FfmpegSink::Leading(const char** args) const
{
    // Every run: quiet but for errors, and free to replace the empty file
    // made under the temporary name.
    int n = 0;
    args[n++] = program;
    args[n++] = "-hide_banner";
    args[n++] = "-loglevel";
    args[n++] = "error";
    args[n++] = "-y";
    return n;
}

int FfmpegSink::Start(long firstIndex)
{
    char size[32], rate[48], offset[48];
    std::snprintf(size, sizeof size, "%dx%d", outWidth, outHeight);
    schedule.rate.Format(rate, sizeof rate);
    // The music starts at the time of the first written frame, firstIndex /
    // fps seconds, to the microsecond ffmpeg counts time in (exact for every
    // rate that divides 100).
    const int64_t num = schedule.rate.num, den = schedule.rate.den;
    const int64_t micro = (static_cast<int64_t>(firstIndex) * den * 2000000 + num) / (2 * num);
    std::snprintf(offset, sizeof offset, "%lld.%06lld", static_cast<long long>(micro / 1000000),
                  static_cast<long long>(micro % 1000000));

    if (!file.Create(output)) {
        char reason[200];
        std::snprintf(reason, sizeof reason, "could not be created: %s.\n", std::strerror(file.error));
        REPORT(ERR_FILE, reason, output);
        return 0;
    }
    // ffmpeg writes the file by its name; -y lets it replace the empty
    // file made here. The "file:" protocol keeps a name that begins with
    // '-' or holds ':' from being read as an option or a protocol, and so
    // the format is named, not guessed from the temporary name.
    file.CloseStream();
    std::snprintf(target, sizeof target, "file:%s", file.TemporaryName());
    std::snprintf(musicInput, sizeof musicInput, "file:%s", music);
    // Matroska takes lossless FLAC, which has no encoder delay; MP4
    // players expect AAC.
    matroska = EndsWithIgnoringCase(output, ".mkv");
    firstFrame = firstIndex;

    const char* args[48];
    int n = Leading(args);
    args[n++] = "-f";
    args[n++] = "rawvideo";
    args[n++] = "-pixel_format";
    args[n++] = "rgb24";
    args[n++] = "-video_size";
    args[n++] = size;
    args[n++] = "-framerate";
    args[n++] = rate;
    args[n++] = "-i";
    args[n++] = "pipe:0";
    if (music[0] != '\0') {
        args[n++] = "-ss";
        args[n++] = offset;
        args[n++] = "-i";
        args[n++] = musicInput;
        args[n++] = "-map";
        args[n++] = "0:v:0";
        args[n++] = "-map";
        args[n++] = "1:a:0";
        args[n++] = "-c:a";
        args[n++] = matroska ? "flac" : "aac";
        if (!matroska) {
            args[n++] = "-b:a";
            args[n++] = "192k";
        }
        // Music shorter than the video goes on as silence, and the video
        // alone decides where the file ends.
        args[n++] = "-af";
        args[n++] = "apad";
        args[n++] = "-shortest";
    }
    args[n++] = "-c:v";
    if (video == Video::Ffv1) {
        // Every frame a keyframe in 4 slices, each with a CRC: a damaged
        // file is found, and loses no more than the slices it hits.
        args[n++] = "ffv1";
        args[n++] = "-level";
        args[n++] = "3";
        args[n++] = "-slicecrc";
        args[n++] = "1";
        args[n++] = "-slices";
        args[n++] = "4";
        args[n++] = "-g";
        args[n++] = "1";
        args[n++] = "-pix_fmt";
        args[n++] = "bgr0";
    } else {
        args[n++] = "libx264";
        args[n++] = "-preset";
        args[n++] = "veryfast";
        args[n++] = "-crf";
        args[n++] = "16";
        args[n++] = "-pix_fmt";
        args[n++] = video == Video::H264_444 ? "yuv444p" : "yuv420p";
    }
    args[n++] = "-f";
    args[n++] = matroska ? "matroska" : "mp4";
    args[n++] = target;
    args[n] = nullptr;

    if (Spawn(args)) return 1;
    file.Discard();
    return 0;
}

void FfmpegSink::DescribeEnd(bool ran, int status, bool signalled, char* text, std::size_t size) const
{
    if (!ran)
        std::snprintf(text, size, "it could not be waited for");
    else if (signalled)
        std::snprintf(text, size, "it was ended by signal %d", status);
    else if (status != 0)
        std::snprintf(text, size, "it failed with exit status %d; its messages are above", status);
    else
        std::snprintf(text, size, "it ended without an error before taking every frame");
}

int FfmpegSink::Write(long first, int count)
{
    if (!child.Running() && !Start(first)) return 0;
    if (info != nullptr && info->rendered != nullptr) digest.Add(info->rendered());
    std::size_t frameBytes = static_cast<std::size_t>(outWidth) * outHeight * 3;
    for (int k = 0; k < count; ++k) {
        char reason[80];
        const os::ChildProcess::Sent sent = child.Write(rgb, frameBytes, reason, sizeof reason);
        if (sent == os::ChildProcess::Sent::Stopped) {
            // The run was stopped while ffmpeg took no frames: the frame
            // is cut short, so the video is not kept.
            abandoned = true;
            return 0;
        }
        if (sent == os::ChildProcess::Sent::Failed) {
            // Its exit status tells why it stopped reading.
            int status = 0;
            bool signalled = false;
            const bool ran = child.Wait(&status, &signalled);
            file.Discard();
            char how[120], message[500];
            DescribeEnd(ran, status, signalled, how, sizeof how);
            std::snprintf(message, sizeof message,
                          "ffmpeg stopped taking frames for '%.200s' (%.60s): %s. The partial video was removed.\n",
                          output, reason, how);
            REPORT(ERR_MISC, message);
            return 0;
        }
    }
    return 1;
}

namespace {

// Seconds as "S.HH" from hundredths.
void FormatHundredths(int64_t hundredths, char* text, std::size_t size)
{
    std::snprintf(text, size, "%lld.%02lld", static_cast<long long>(hundredths / 100),
                  static_cast<long long>(hundredths % 100));
}

}  // namespace

bool FfmpegSink::WriteMetadata()
{
    const int64_t num = schedule.rate.num, den = schedule.rate.den;
    // Times in the video in microseconds: frame k of the video is output
    // frame firstFrame + k, at (firstFrame + k) / fps s of the show.
    auto videoMicros = [&](int64_t showHundredths) {
        const int64_t scaled = (showHundredths * num - 100 * static_cast<int64_t>(firstFrame) * den) * 10000;
        return scaled >= 0 ? (2 * scaled + num) / (2 * num) : -1;
    };
    const int64_t end = (static_cast<int64_t>(written) * den * 2000000 + num) / (2 * num);
    char rate[48], from[32], to[32], digestText[17];
    schedule.rate.Format(rate, sizeof rate);
    FormatHundredths(schedule.HundredthOf(firstFrame), from, sizeof from);
    FormatHundredths(schedule.HundredthOf(firstFrame + written - 1), to, sizeof to);
    FormatDigest(digest.Value(), digestText);
    std::FILE* out = meta.stream;
    // The values hold none of '=', ';', '#', '\\' or a line end, which the
    // format would need escaped.
    std::fprintf(out,
                 ";FFMETADATA1\ntitle=Orchid\norchid_version=%s\nshow_span=%s s to %s s\nframe_rate=%s\n"
                 "depth=%d\nframes_digest=%s\n",
                 info->software, from, to, rate, info->depth, digestText);
    for (int k = 0; k < info->chapterCount; ++k) {
        int64_t start = videoMicros(info->chapters[k].first);
        int64_t stop = k + 1 < info->chapterCount ? videoMicros(info->chapters[k + 1].first) : end;
        if (start < 0) start = 0;
        if (stop < 0 || stop > end) stop = stop < 0 ? 0 : end;
        if (stop <= start) continue;
        std::fprintf(out, "[CHAPTER]\nTIMEBASE=1/1000000\nSTART=%lld\nEND=%lld\ntitle=%s\n",
                     static_cast<long long>(start), static_cast<long long>(stop), info->chapters[k].name);
    }
    return meta.CloseStream();
}

bool FfmpegSink::AddMetadata(char* why, std::size_t size)
{
    if (!meta.Create(output) || !WriteMetadata()) {
        std::snprintf(why, size, "its chapters and tags could not be written beside it (%s)",
                      std::strerror(meta.error));
        meta.Discard();
        return false;
    }
    if (!tagged.Create(output)) {
        std::snprintf(why, size, "a file for the video with its chapters could not be made (%s)",
                      std::strerror(tagged.error));
        meta.Discard();
        return false;
    }
    tagged.CloseStream();
    std::snprintf(videoInput, sizeof videoInput, "file:%s", file.TemporaryName());
    std::snprintf(metaInput, sizeof metaInput, "file:%s", meta.TemporaryName());
    std::snprintf(taggedTarget, sizeof taggedTarget, "file:%s", tagged.TemporaryName());
    const char* args[40];
    int n = Leading(args);
    args[n++] = "-f";
    args[n++] = matroska ? "matroska" : "mp4";
    args[n++] = "-i";
    args[n++] = videoInput;
    args[n++] = "-f";
    args[n++] = "ffmetadata";
    args[n++] = "-i";
    args[n++] = metaInput;
    args[n++] = "-map";
    args[n++] = "0";
    args[n++] = "-map_metadata";
    args[n++] = "1";
    args[n++] = "-map_chapters";
    args[n++] = "1";
    args[n++] = "-c";
    args[n++] = "copy";
    if (!matroska) {
        // MP4 keeps tags of other names than its own only so.
        args[n++] = "-movflags";
        args[n++] = "+use_metadata_tags";
    }
    args[n++] = "-f";
    args[n++] = matroska ? "matroska" : "mp4";
    args[n++] = taggedTarget;
    args[n] = nullptr;
    char reason[120];
    os::ChildProcess remux;
    const os::ChildProcess::Start started = remux.Run(args, reason, sizeof reason);
    int status = 0;
    bool signalled = false;
    const bool ran = started == os::ChildProcess::Start::Started && remux.Wait(&status, &signalled);
    meta.Discard();
    if (!ran || signalled || status != 0 || os::FileSize(tagged.TemporaryName()) <= 0) {
        tagged.Discard();
        if (started != os::ChildProcess::Start::Started) {
            std::snprintf(why, size, "ffmpeg could not be started again to add its chapters and tags");
        } else {
            DescribeEnd(ran, status, signalled, reason, sizeof reason);
            std::snprintf(why, size, "ffmpeg failed to add its chapters and tags: %s", reason);
        }
        return false;
    }
    file.Discard();
    return true;
}

void FfmpegSink::Close()
{
    CaptureSink::Close();
    int status = 0;
    bool signalled = false;
    const bool ran = child.Wait(&status, &signalled);
    if (!file.Pending()) return;
    abandoned = abandoned || child.Forced();
    if (abandoned) {
        // Stopped with ffmpeg not answering: the program tells the stop.
        file.Discard();
        return;
    }
    char message[700];
    if (!ran || signalled || status != 0) {
        file.Discard();
        if (ran && !signalled)
            std::snprintf(message, sizeof message,
                          "ffmpeg could not finish '%.200s' (exit status %d); its messages are above. The partial "
                          "video was removed.\n",
                          output, status);
        else if (ran)
            std::snprintf(message, sizeof message,
                          "ffmpeg was ended by signal %d before finishing '%.200s'. The partial video was removed.\n",
                          status, output);
        else
            std::snprintf(message, sizeof message,
                          "ffmpeg could not be waited for while finishing '%.200s'. The partial video was removed.\n",
                          output);
        RECORD(ERR_MISC, message);
        return;
    }
    if (errorLog.count > 0) {
        file.Discard();
        std::snprintf(message, sizeof message,
                      "'%.200s' was not finished, since the run failed. The partial video was removed.\n", output);
        RECORD(ERR_MISC, message);
        return;
    }
    if (os::FileSize(file.TemporaryName()) <= 0) {
        file.Discard();
        std::snprintf(message, sizeof message, "ffmpeg ended without an error but wrote nothing for '%.200s'.\n",
                      output);
        RECORD(ERR_MISC, message);
        return;
    }
    // After a stop the video is kept as it is: the copy could outlast the
    // time a stopped run gives ffmpeg.
    os::OutputFile* done = &file;
    if (info != nullptr && written > 0 && !stopped) {
        char why[300];
        if (!AddMetadata(why, sizeof why)) {
            file.Discard();
            std::snprintf(message, sizeof message, "'%.200s' was not finished: %s. The video was removed.\n",
                          output, why);
            RECORD(ERR_MISC, message);
            return;
        }
        done = &tagged;
    }
    if (!done->Commit(overwrite)) {
        // The video is complete: it stays under its temporary name.
        const int error = done->error;
        done->Keep();
        if (error == EEXIST)
            std::snprintf(message, sizeof message,
                          "'%.200s' appeared while the video was made and was left as it was; the video is in "
                          "'%.240s'.\n",
                          output, done->TemporaryName());
        else
            std::snprintf(message, sizeof message, "The video could not be moved to '%.200s' (%s); it is in '%.240s'.\n",
                          output, std::strerror(error), done->TemporaryName());
        RECORD(ERR_MISC, message);
    }
}

}  // namespace capture
