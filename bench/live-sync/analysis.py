#!/usr/bin/env python3
"""Analysis for bench/live-sync/run: reference capture, recordings, figures.

The recorder (one ffmpeg) writes each run to WORK/run-N/rec.nut: the screen
as 160x120 grey frames stamped with their grab times, and the PulseAudio
sink's monitor as 44.1 kHz stereo PCM on the same clock (-copyts). The
reference is the same show rendered headless (orchid --frames) at 100 frames
per second in the windows around the events, reduced the same way, and the
music decoded from the mp3.

    analysis.py WORK     re-analyses the runs a `run --keep WORK` left there

Measures, per run:
- recorder offset: the stimulus flashes the screen white at the instant
  PulseAudio plays a click; flash stamp minus click stamp is what the
  recorder itself adds, and is taken off everything below.
- hits: where the recording's sound plays the music's onset at 27.60, 63.00
  and 161.00 s (the recording holds the music's samples; see Alignment),
  and where the picture shows the cut that capture shows there (the largest
  change from one frame to the next over the pixels capture's cut changes).
  Sound minus picture is printed raw and less the show's own offset: the
  music's onset minus capture's frame of the cut. That is -20 ms at 63.00
  and 161.00 s for this build, measured here each time: the update that
  moves the show by a hundredth acts on the position the update before it
  read (one hundredth late), and the scene windows are open at their start
  (t > 6300 first holds at 63.01), which the frame of 63.01 shows one
  hundredth later again. At 27.60 s, where the render itself tests the time
  (t > 2760), it is -10 ms. Live play adds the frame's presentation on top,
  which capture does not have: a frame is made for the whole hundredth the
  position has reached, so it is shown up to a hundredth after its time,
  plus render and upload. That, and any error of the live clock, is what
  the goal bounds.
- fades: mean brightness through the start flash's fade-out and the fade
  before 63 s, between the levels capture holds before and after. The start
  and end are where the brightness has gone 5% and 95% of the way. Capture
  crosses 5%, 10%, ... 95% at its frames' times; the recording's crossings,
  with the picture put in show time through the sound, are fitted against
  capture's by a line, which gives the recording's start and end (and, by
  its slope, the speed).
- underruns: the lines with "underrun" in the PulseAudio log while the show
  ran, and the underruns within the show they tell of. A stream's life has
  two such lines that are no fault: its start ("end of underrun", once the
  first data came) and its drain at the close (an underrun nothing ends).
  An underrun within the show is one that began and then ended: a gap.
"""

import array
import bisect
import json
import math
import os
import statistics
import subprocess
import sys

RATE = 44100
WIDTH, HEIGHT = 160, 120
FRAME = WIDTH * HEIGHT
GREY = "scale=%d:%d:flags=area,format=gray" % (WIDTH, HEIGHT)

# Spans of show time rendered headless for the reference, in seconds.
REFERENCE_SPANS = [(5.5, 12.5), (27.2, 28.0), (51.0, 63.5), (160.6, 161.4)]

# The music's hits; only 63.00 and 161.00 s carry a goal.
HITS = [(27.60, False), (63.00, True), (161.00, True)]
HIT_TOLERANCE = 0.015

# Fades: name, span in which the brightness is followed, and the spans of
# show time whose median gives the levels before and after.
FADES = [
    ("start flash fade-out", (4.0, 26.0), (5.5, 6.0), (11.6, 12.4)),
    ("fade before 63 s", (50.0, 62.95), (51.0, 51.9), (62.4, 62.9)),
]
FADE_TOLERANCE = 0.010

# The show ends once the music's position passes this, in seconds.
SHOW_LENGTH = 214.60

FADE_LEVELS = [k / 20 for k in range(1, 20)]


def run_tool(args, binary=False, cwd=None):
    result = subprocess.run(args, stdout=subprocess.PIPE, stderr=subprocess.PIPE, check=False, cwd=cwd)
    if result.returncode != 0:
        raise RuntimeError("%s failed: %s" % (args[0], result.stderr.decode(errors="replace").strip()[-400:]))
    return result.stdout if binary else result.stdout.decode()


def samples_s16(data):
    values = array.array("h")
    values.frombytes(data)
    if sys.byteorder != "little":
        values.byteswap()
    return values


def decode_mono(path):
    """The first sound stream of `path`, mixed to one channel at 44.1 kHz."""
    return samples_s16(run_tool(["ffmpeg", "-nostdin", "-loglevel", "error", "-i", path, "-map", "0:a:0",
                                 "-ac", "1", "-ar", str(RATE), "-f", "s16le", "-"], binary=True))


# ---------------------------------------------------------------- reference

def render_reference(orchid, work):
    """Renders the reference spans headless, beside the music (from the
    executable's folder, as a viewer would run it), into WORK/reference.grey."""
    frames = {}
    for start, end in REFERENCE_SPANS:
        folder = os.path.join(work, "ref-%d" % round(start * 100))
        os.makedirs(folder, exist_ok=True)
        run_tool([orchid, "--frames", folder, "--fps", "100", "--from", "%.2f" % start, "--to", "%.2f" % end],
                 cwd=os.path.dirname(orchid))
        first = round(start * 100)
        data = run_tool(["ffmpeg", "-nostdin", "-loglevel", "error", "-framerate", "100", "-start_number",
                         str(first), "-i", os.path.join(folder, "frame-%05d.png"), "-vf", GREY,
                         "-f", "rawvideo", "-"], binary=True)
        for k in range(len(data) // FRAME):
            frames[first + k] = data[k * FRAME:(k + 1) * FRAME]
        for name in os.listdir(folder):
            os.remove(os.path.join(folder, name))
        os.rmdir(folder)
    with open(os.path.join(work, "reference.grey"), "wb") as out:
        for index in sorted(frames):
            out.write(index.to_bytes(4, "little"))
            out.write(frames[index])


def load_reference(path):
    frames = {}
    with open(path, "rb") as data:
        while True:
            head = data.read(4)
            if len(head) < 4:
                return frames
            frames[int.from_bytes(head, "little")] = data.read(FRAME)


def brightness(frame):
    return sum(frame) / FRAME


# ---------------------------------------------------------------- music

def onset(music, near):
    """The sample within 0.1 s of `near` where the music jumps most: the
    largest ratio of the mean energy of the next 5 ms to that of the 25 ms
    before."""
    after, before = RATE // 200, RATE // 40
    first = int((near - 0.1) * RATE) - before
    energy = [0]
    for x in music[first:int((near + 0.1) * RATE) + after]:
        energy.append(energy[-1] + x * x + 1)
    def jump(p):
        return (energy[p + after] - energy[p]) / after / ((energy[p] - energy[p - before]) / before)
    return (first + max(range(before, len(energy) - after), key=jump)) / RATE


def high_bytes(samples):
    """The high byte of every sample, as one bytes object; and the low bytes."""
    data = samples.tobytes()
    return (data[1::2], data[0::2]) if sys.byteorder == "little" else (data[0::2], data[1::2])


class Alignment:
    """Where the music's moments sit in the recorded sound. The sound goes
    from decoder to recorder untouched, so the recording holds the music's
    own samples (decoders round differently: by at most 1). A stretch of
    loud music is looked for in the recording by the high bytes of a few of
    its samples, chosen so that a difference of 1 cannot change them (a
    byte search, which is quick), and each place found is checked sample by
    sample. The shift of a moment is the recorded sample index less the
    music's. It grows wherever the sound stalled: an underrun plays silence,
    and then the music goes on where it stood."""

    KEY = 16        # samples whose high bytes are searched for
    RUN = 256       # samples checked
    TOLERANCE = 1   # rounding between decoders
    LOUD = 2000     # the key's first sample at least this loud

    def __init__(self, music, heard):
        self.music, self.heard = music, heard
        self.music_high, music_low = high_bytes(music)
        self.heard_high, _ = high_bytes(heard)
        # Where a sample's low byte is 0 or 255, a difference of 1 can move
        # its high byte.
        self.steady = bytes(1 if 0 < b < 255 else 0 for b in music_low)
        self.shifts = {}

    def key_at(self, t):
        """The first loud sample within 50 ms after t from which KEY samples
        have steady high bytes, or None."""
        first = int(t * RATE)
        for start in range(first, min(first + RATE // 20, len(self.music) - self.RUN)):
            if abs(self.music[start]) >= self.LOUD and all(self.steady[start:start + self.KEY]):
                return start
        return None

    def matches(self, start, at):
        music, heard = self.music, self.heard
        return 0 <= at and at + self.RUN <= len(heard) and \
            all(abs(heard[at + i] - music[start + i]) <= self.TOLERANCE for i in range(self.RUN))

    def find(self, t, guess, back, ahead):
        """The shift at music time t nearest to `guess`, from `back` samples
        before it to `ahead` after; None if the music there is not in the
        recording."""
        start = self.key_at(t)
        if start is None:
            return None
        key = self.music_high[start:start + self.KEY]
        found = []
        # Ahead of the guess, nearest first.
        at = max(0, start + guess) - 1
        while True:
            at = self.heard_high.find(key, at + 1, start + guess + ahead + self.KEY)
            if at < 0:
                break
            if self.matches(start, at):
                found.append(at - start)
                break
        # Behind it, nearest first.
        at = start + guess
        while at > 0:
            at = self.heard_high.rfind(key, max(0, start + guess - back), at + self.KEY - 1)
            if at < 0:
                break
            if self.matches(start, at):
                found.append(at - start)
                break
        return min(found, key=lambda shift: abs(shift - guess), default=None)

    def track(self, times, guess):
        """Follows the music through `times` (ascending), each looked for
        near the shift found before it: up to half a second earlier (the
        recorder may have lost sound) or a minute later (the show's sound
        may have stalled)."""
        for t in times:
            found = self.find(t, guess, RATE // 2, 60 * RATE)
            if found is not None:
                guess = self.shifts[t] = found
        if len(self.shifts) < 2:
            raise RuntimeError("the music was found in the recording at fewer than two moments")

    def drift(self):
        """How far the sound fell behind over the tracked stretch, in seconds."""
        times = sorted(self.shifts)
        return (self.shifts[times[-1]] - self.shifts[times[0]]) / RATE


# ---------------------------------------------------------------- recording

class Recording:
    """One recorder file: grey frames with their stamps, and the sound with
    a clock for each sample."""

    def __init__(self, path):
        self.path = path
        self.stamps = [float(line.split(",")[0]) for line in self._packets("v")]
        sizes = [(float(t), int(s) // 4) for t, s in (line.split(",") for line in self._packets("a"))]
        if not sizes or not self.stamps:
            raise RuntimeError("%s holds no picture or no sound" % path)
        self.heard = decode_mono(path)
        # The sound's clock: each packet says when its first sample was
        # taken; the stamps jitter but the samples are evenly spaced, so the
        # clock of a sample is its index over the rate plus the median
        # offset of the packets around it. The recorder's first two seconds
        # settle its latency and are left out.
        self.packet_index, self.packet_offset = [], []
        count = 0
        for stamp, frames in sizes:
            if stamp > sizes[0][0] + 2.0:
                self.packet_index.append(count)
                self.packet_offset.append(stamp - count / RATE)
            count += frames
        if not self.packet_index:
            raise RuntimeError("%s: the recorded sound is too short" % path)

    def _packets(self, stream):
        text = run_tool(["ffprobe", "-loglevel", "error", "-select_streams", stream, "-show_entries",
                         "packet=pts_time,size", "-of", "csv=p=0", self.path])
        return [line for line in text.split() if line]

    def sound_time(self, index):
        """The clock of recorded sample `index`."""
        lo = bisect.bisect_left(self.packet_index, index - 5 * RATE)
        hi = bisect.bisect_right(self.packet_index, index + 5 * RATE)
        near = self.packet_offset[lo:hi] or [self.packet_offset[min(lo, len(self.packet_offset) - 1)]]
        return index / RATE + statistics.median(near)

    def sound_index(self, stamp):
        """The recorded sample whose clock is `stamp`."""
        guess = int((stamp - self.packet_offset[0]) * RATE)
        for _ in range(3):
            guess += int(round((stamp - self.sound_time(guess)) * RATE))
        return guess

    def frames(self, wanted):
        """Mean brightness of every frame, and the frames k with wanted(k)."""
        proc = subprocess.Popen(["ffmpeg", "-nostdin", "-loglevel", "error", "-i", self.path, "-map", "0:v",
                                 "-c", "copy", "-f", "rawvideo", "-"], stdout=subprocess.PIPE)
        means, kept = [], {}
        try:
            while True:
                frame = proc.stdout.read(FRAME)
                if len(frame) < FRAME:
                    break
                if wanted(len(means)):
                    kept[len(means)] = frame
                means.append(brightness(frame))
        finally:
            proc.stdout.close()
            proc.wait()
        if len(means) != len(self.stamps):
            raise RuntimeError("%s: %d frames but %d stamps" % (self.path, len(means), len(self.stamps)))
        return means, kept


# ---------------------------------------------------------------- one run

def calibrate(rec, means, stimulus_log):
    """The recorder's offset: flash stamp less click stamp, over the flashes
    the stimulus made on time. A busy machine can make the paint late (the
    stimulus logs it: more than 2 ms after the click is left out) or stall
    the stimulus's own sound, so that the click plays later than the server
    had said (a click more than 3 ms from the median delay is left out)."""
    with open(stimulus_log) as f:
        flashes = [tuple(map(float, line.split())) for line in f if line.strip()]
    if not flashes:
        raise RuntimeError("calibration: the stimulus logged no flash")
    last = rec.sound_index(max(shown for _, _, shown in flashes) + 1.0)
    clicks, quiet = [], 0
    for index in range(max(0, min(last, len(rec.heard)))):
        if abs(rec.heard[index]) > 8000:
            if quiet > RATE // 10:
                clicks.append(rec.sound_time(index))
            quiet = 0
        else:
            quiet += 1
    seen = [rec.stamps[k] for k in range(1, len(means)) if means[k] > 128 >= means[k - 1]]
    matched = []
    for sounds, painting, shown in flashes:
        flash = min(seen, key=lambda v: abs(v - shown), default=None)
        click = min(clicks, key=lambda c: abs(c - sounds), default=None)
        if shown - sounds <= 0.002 and flash is not None and click is not None and \
                abs(flash - shown) < 0.1 and abs(click - sounds) < 0.1:
            # The picture changed while the paint ran.
            matched.append((flash - click - ((painting + shown) / 2 - sounds), click - sounds))
    if matched:
        usual = statistics.median(delay for _, delay in matched)
        matched = [m for m in matched if abs(m[1] - usual) <= 0.003]
    if len(matched) < 3:
        raise RuntimeError("calibration: only %d of %d flashes usable (%d seen, %d clicks heard)"
                           % (len(matched), len(flashes), len(seen), len(clicks)))
    offsets = [offset for offset, _ in matched]
    return statistics.mean(offsets), statistics.stdev(offsets), len(offsets), len(flashes)


def music_start_shift(music, rec, show_started):
    """First guess of the recorded shift: where the music first gets loud."""
    def first_loud(samples, start):
        for index in range(max(start, 0), len(samples)):
            if abs(samples[index]) > 300:
                return index
        raise RuntimeError("the music was not heard in the recording")
    return first_loud(rec.heard, rec.sound_index(show_started)) - first_loud(music, 0)


def cut_frame(reference, t):
    """Capture's frame of the cut near t: the largest change from one frame
    to the next."""
    def change(index):
        return sum(abs(x - y) for x, y in zip(reference[index - 1], reference[index]))
    return max(range(round(t * 100) - 10, round(t * 100) + 20), key=change)


def interpolate(points, x):
    """y at x on the polyline through `points` (x ascending), extended at
    the ends by its end segments."""
    xs = [p[0] for p in points]
    i = min(max(bisect.bisect_right(xs, x), 1), len(points) - 1)
    (x0, y0), (x1, y1) = points[i - 1], points[i]
    return y0 + (y1 - y0) * (x - x0) / (x1 - x0)


def count_underruns(log, start, end):
    """(lines naming an underrun, underruns that began and ended) in the
    PulseAudio log between byte offsets start and end."""
    with open(log, "rb") as f:
        f.seek(start)
        text = f.read(end - start).decode(errors="replace")
    lines, gaps, open_gap = 0, 0, False
    for line in text.splitlines():
        lowered = line.lower()
        if "underrun" not in lowered:
            continue
        lines += 1
        if "end of underrun" in lowered:
            gaps += open_gap
            open_gap = False
        else:
            open_gap = True
    return lines, gaps


def analyse_run(run_dir, reference):
    with open(os.path.join(run_dir, "run.json")) as f:
        info = json.load(f)
    rec = Recording(os.path.join(run_dir, "rec.nut"))
    lines, gaps = count_underruns(os.path.join(os.path.dirname(run_dir), info["pulse_log"]), *info["log_span"])
    result = {"exit": info["exit"], "underrun_lines": lines, "underruns": gaps,
              "lasted": info["show_ended"] - info["show_started"]}

    # The music is followed every fifth of a second, and at the hits.
    alignment = Alignment(reference.music, rec.heard)
    alignment.track(sorted(set([k / 5 for k in range(5, int(SHOW_LENGTH * 5))] + reference.hit_onsets)),
                    music_start_shift(reference.music, rec, info["show_started"]))
    result["drift_ms"] = alignment.drift() * 1000
    # Music time against the recorder's clock, through every tracked moment.
    clock = sorted((rec.sound_time(int(round(t * RATE)) + shift), t) for t, shift in alignment.shifts.items())
    hit_sounds = {t: rec.sound_time(int(round(t * RATE)) + alignment.shifts[t])
                  for t in reference.hit_onsets if t in alignment.shifts}
    means, kept = rec.frames(lambda k: any(abs(rec.stamps[k] - s) < 2.0 for s in hit_sounds.values()))
    offset, spread, used, shown = calibrate(rec, means, os.path.join(run_dir, "stimulus.log"))
    result["calibration"] = {"mean_ms": -offset * 1000, "sd_ms": spread * 1000, "used": used, "flashes": shown}

    result["hits"] = []
    for (hit, graded), onset_t in zip(HITS, reference.hit_onsets):
        cut = cut_frame(reference.frames, hit)
        own = onset_t - cut / 100
        entry = {"t": hit, "graded": graded, "own_ms": own * 1000}
        result["hits"].append(entry)
        if onset_t not in hit_sounds:
            entry["error"] = "music not found"
            continue
        sound = hit_sounds[onset_t]
        # The cut is the largest change from one recorded frame to the next,
        # over the pixels capture's cut changes, from half a second before
        # the sound to a second after it. (Live play may draw the frames
        # around a cut differently, a flash missing or a frame skipped; the
        # cut itself stays the largest change.)
        before, after = reference.frames[cut - 1], reference.frames[cut]
        mask = [i for i in range(FRAME) if abs(after[i] - before[i]) > 48]
        frames = [k for k in sorted(kept) if k - 1 in kept and -0.5 <= rec.stamps[k] - offset - sound <= 1.0]

        def change(k):
            a, b = kept[k - 1], kept[k]
            return sum(abs(a[i] - b[i]) for i in mask)
        seen = rec.stamps[max(frames, key=change)] - offset if frames else None
        if seen is None:
            entry["error"] = "cut not seen"
        else:
            entry["offset_ms"] = (sound - seen) * 1000
            entry["residual_ms"] = (sound - seen - own) * 1000

    result["fades"] = []
    for (name, span, _, _), capture in zip(FADES, reference.fades):
        # Each frame in show time: its stamp less the recorder's offset,
        # read on the music's clock.
        shown = [(interpolate(clock, rec.stamps[k] - offset), means[k]) for k in range(len(means))]
        shown = [(t, v) for t, v in shown if span[0] <= t <= span[1]]
        top, bottom = capture["levels"]
        entry = {"name": name, "capture_start": capture["start"], "capture_end": capture["end"]}
        result["fades"].append(entry)
        points = []
        for level, t_capture in zip(FADE_LEVELS, capture["crossings"]):
            line = top + (bottom - top) * level
            crossed = next((j for j, (_, v) in enumerate(shown) if (v - line) * (bottom - top) >= 0), None)
            if crossed is None:
                entry["error"] = "not %d%% done by %.2f s" % (round(level * 100), span[1])
                break
            if crossed == 0:
                entry["error"] = "%d%% done before %.2f s" % (round(level * 100), span[0])
                break
            points.append((t_capture, shown[crossed][0]))
        if "error" in entry:
            continue
        xs, ys = [p[0] for p in points], [p[1] for p in points]
        mx, my = statistics.mean(xs), statistics.mean(ys)
        slope = sum((x - mx) * (y - my) for x, y in zip(xs, ys)) / sum((x - mx) ** 2 for x in xs)
        entry["start"] = my + slope * (capture["start"] - mx)
        entry["end"] = my + slope * (capture["end"] - mx)
        # A fade done within one frame has no speed to speak of.
        entry["speed"] = 1.0 / slope if slope > 0 else None
    return result


def capture_fade(reference, fade):
    """Capture's levels and crossing times for one fade; its start and end
    are the first and the last crossing."""
    _, span, before, after = fade
    def median_level(a, b):
        return statistics.median(brightness(reference[i]) for i in range(round(a * 100), round(b * 100) + 1))
    top, bottom = median_level(*before), median_level(*after)
    levels = [(i, brightness(reference[i])) for i in range(round(span[0] * 100), round(span[1] * 100) + 1)
              if i in reference]
    crossings = []
    for level in FADE_LEVELS:
        line = top + (bottom - top) * level
        crossings.append(next(i for i, v in levels if (v - line) * (bottom - top) >= 0) / 100)
    return {"levels": (top, bottom), "start": crossings[0], "end": crossings[-1], "crossings": crossings}


class Reference:
    """What every run is held against: capture's frames and the music."""

    def __init__(self, work):
        self.frames = load_reference(os.path.join(work, "reference.grey"))
        self.music = decode_mono(os.path.join(work, "music.mp3"))
        self.hit_onsets = [onset(self.music, h) for h, _ in HITS]
        self.fades = [capture_fade(self.frames, fade) for fade in FADES]


def analyse(run_dir, reference):
    """The figures of one run, or {"failed": why}."""
    try:
        return analyse_run(run_dir, reference)
    except (RuntimeError, OSError, ValueError, KeyError, StopIteration) as error:
        return {"failed": str(error) or type(error).__name__}


# ---------------------------------------------------------------- report

def ms(value):
    return "%+.1f" % value


def report(results):
    """Prints the table and the goals; returns True when every goal passed."""
    columns = ["run %d" % (i + 1) for i in range(len(results))]
    rows = []
    good = [r for r in results if "failed" not in r]
    sample = good[0] if good else None

    def row(label, capture, cells):
        rows.append([label, capture] + cells)

    def cell(result, pick):
        if "failed" in result:
            return "failed"
        try:
            return pick(result)
        except KeyError:
            return "-"

    row("recorder offset, ms", "", [cell(r, lambda r: "%s ± %.1f" % (ms(r["calibration"]["mean_ms"]),
                                                                   r["calibration"]["sd_ms"])) for r in results])
    for h in range(len(HITS)):
        if sample:
            entry = sample["hits"][h]
            label = "hit %.2f s: sound-picture, ms" % entry["t"]
            capture = "own %s" % ms(entry["own_ms"])
        else:
            label, capture = "hit %.2f s: sound-picture, ms" % HITS[h][0], ""
        row(label, capture, [cell(r, lambda r: r["hits"][h].get("error") or
                                  "%s (%s)" % (ms(r["hits"][h]["offset_ms"]), ms(r["hits"][h]["residual_ms"])))
                             for r in results])
    for f in range(len(FADES)):
        name = FADES[f][0]
        capture = ""
        if sample:
            fade = sample["fades"][f]
            capture = "%.2f-%.2f s" % (fade["capture_start"], fade["capture_end"])
        row("%s: start, end, ms" % name, capture,
            [cell(r, lambda r: r["fades"][f].get("error") or "%s, %s" % (
                ms((r["fades"][f]["start"] - r["fades"][f]["capture_start"]) * 1000),
                ms((r["fades"][f]["end"] - r["fades"][f]["capture_end"]) * 1000))) for r in results])
        row("%s: speed" % name, "1.000",
            [cell(r, lambda r: "-" if "error" in r["fades"][f] else
                  "%.3f" % r["fades"][f]["speed"] if r["fades"][f]["speed"] else "at once") for r in results])
    row("sound fallen behind over the show, ms", "0", [cell(r, lambda r: "%.0f" % r["drift_ms"]) for r in results])
    row("show lasted, s", "%.1f" % SHOW_LENGTH, [cell(r, lambda r: "%.1f" % r["lasted"]) for r in results])
    row("underrun lines in the server's log", "", [cell(r, lambda r: str(r["underrun_lines"])) for r in results])
    row("underruns within the show", "0", [cell(r, lambda r: str(r["underruns"])) for r in results])
    row("orchid exit status", "0", [cell(r, lambda r: str(r["exit"])) for r in results])

    header = ["measure", "capture"] + columns
    widths = [max(len(str(x[i])) for x in rows + [header]) for i in range(len(header))]
    for line in [header] + rows:
        print("  ".join(str(x).ljust(w) for x, w in zip(line, widths)).rstrip())
    print("hit cells: raw offset (offset less the show's own); recorder offset is sound minus picture and "
          "is taken off the rest")
    for r, column in zip(results, columns):
        if "failed" in r:
            print("%s: analysis failed: %s" % (column, r["failed"]))

    goals = []
    for r in results:
        if "failed" in r:
            goals.append((False, False, False))
            continue
        hits = all("residual_ms" in e and abs(e["residual_ms"]) <= HIT_TOLERANCE * 1000
                   for e in r["hits"] if e["graded"])
        fades = all("start" in e and abs(e["start"] - e["capture_start"]) <= FADE_TOLERANCE + 1e-9 and
                    abs(e["end"] - e["capture_end"]) <= FADE_TOLERANCE + 1e-9 for e in r["fades"])
        goals.append((hits, fades, r["underruns"] == 0 and r["exit"] == 0))
    names = ["|sound-picture less own| <= 15 ms at 63.00 and 161.00 s",
             "fades start and end within one frame (10 ms) of capture",
             "no underrun (and a clean exit)"]
    for g, name in enumerate(names):
        marks = ["PASS" if goal[g] else "FAIL" for goal in goals]
        print("goal: %-58s %s" % (name, "  ".join("%s %s" % (c, m) for c, m in zip(columns, marks))))
    return all(all(goal) for goal in goals)


def main():
    if len(sys.argv) != 2:
        print(__doc__.split("\n\n")[1].strip(), file=sys.stderr)
        return 2
    work = sys.argv[1]
    runs = sorted(int(name[4:]) for name in os.listdir(work) if name.startswith("run-"))
    reference = Reference(work)
    return 0 if report([analyse(os.path.join(work, "run-%d" % run), reference) for run in runs]) else 1


if __name__ == "__main__":
    sys.exit(main())
