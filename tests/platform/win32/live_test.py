#!/usr/bin/env python3
"""orchid.exe on the Windows desktop backend, played live under Wine.

    live_test.py --exe build-windows/orchid.exe --music FILE [--wine WINE]
                 [--work DIR] [--shots DIR] [--only NAME ...]

Each case runs the real program on a private Xvfb (1024 x 768 x 24) inside a
Wine virtual desktop of the same size, which lets DirectDraw change the
display mode the way a Windows desktop does (a bare X server offers only its
own mode). Keys go in with xdotool, the screen comes out with ImageMagick's
import. The error report is read where the program hands it to Windows: the
prefix traces every call of user32.MessageBoxA (Wine's relay channel, only
that one function), with its owner, text, caption and type.

The cases: the mode dialog (shown, Escape ignored, Tab/Return choosing Quit
or Windowed), the show in a window at the window's place, Escape ending the
run with status 0, the show pausing while another program is active and
going on when its window is clicked, F1's line and the seek bar over the
picture, S writing the frame on screen as the PNG --frames writes for it,
L looping the show between two points, fullscreen at 32 and 16 bits (the
16-bit picture reaches the screen through a 5-6-5 surface: at most 32, 64
and 32 levels of red, green and blue), and the failure reports the real
interfaces can be made to give: a display mode DirectDraw refuses (24 bits), no audio device, and a
music file that is missing, empty or not MP3. With sound a private
PulseAudio server with a null sink is the device.

Exits 0 when every case passed, 1 when one failed, 77 (skipped) when wine,
Xvfb, xdotool, ImageMagick or PulseAudio is missing. --shots DIR keeps the
dialog and a windowed frame as PNG files. Prints the start-up time (launch
to first frame in the window) for a windowed run.
"""

import argparse
import glob
import os
import re
import select
import shutil
import signal
import subprocess
import sys
import tempfile
import time

SCREEN_W, SCREEN_H = 1024, 768
# The window is centred on the screen.
WINDOW = (SCREEN_W // 2 - 320, SCREEN_H // 2 - 240, 640, 480)
# Fullscreen: the desktop becomes 640 x 480 in the top left corner.
FULLSCREEN = (0, 0, 640, 480)
SKIP = 77


class Failure(Exception):
    pass


class Processes:
    """Background processes, ended (by their own pid) when the run ends."""

    def __init__(self):
        self.procs = []

    def start(self, args, **kwargs):
        proc = subprocess.Popen(args, start_new_session=True, **kwargs)
        self.procs.append(proc)
        return proc

    def stop_all(self):
        for proc in reversed(self.procs):
            if proc.poll() is None:
                os.killpg(proc.pid, signal.SIGTERM)
        for proc in self.procs:
            try:
                proc.wait(timeout=10)
            except subprocess.TimeoutExpired:
                os.killpg(proc.pid, signal.SIGKILL)


def start_xvfb(procs, work):
    read_end, write_end = os.pipe()
    log = open(os.path.join(work, "xvfb.log"), "wb")
    procs.start(["Xvfb", "-displayfd", str(write_end), "-screen", "0", "%dx%dx24" % (SCREEN_W, SCREEN_H),
                 "-nolisten", "tcp"], pass_fds=[write_end], stdout=log, stderr=log)
    os.close(write_end)
    text = b""
    deadline = time.monotonic() + 20
    while not text.endswith(b"\n"):
        ready, _, _ = select.select([read_end], [], [], max(0.0, deadline - time.monotonic()))
        chunk = os.read(read_end, 64) if ready else b""
        if not chunk:
            raise Failure("Xvfb did not start (see %s)" % log.name)
        text += chunk
    os.close(read_end)
    return ":" + text.decode().strip()


def start_pulseaudio(procs, work, env):
    """A private server with one null sink, reached through its own socket."""
    folder = os.path.join(work, "pulse")
    os.makedirs(os.path.join(folder, "runtime"), exist_ok=True)
    socket = os.path.join(folder, "native")
    config = os.path.join(folder, "client.conf")
    with open(config, "w") as f:
        f.write("autospawn = no\n")
    out = open(os.path.join(folder, "stderr.log"), "wb")
    procs.start(["pulseaudio", "-n", "--daemonize=no", "--exit-idle-time=-1", "--use-pid-file=no",
                 "--disallow-exit", "-L", "module-null-sink sink_name=orchid rate=44100 channels=2",
                 "-L", "module-native-protocol-unix socket=%s auth-anonymous=1" % socket],
                env=dict(env, HOME=folder, PULSE_RUNTIME_PATH=os.path.join(folder, "runtime")),
                stdout=out, stderr=out)
    client = {"PULSE_SERVER": "unix:" + socket, "PULSE_CLIENTCONFIG": config}
    deadline = time.monotonic() + 20
    while subprocess.run(["pactl", "info"], env=dict(env, **client), stdout=subprocess.DEVNULL,
                         stderr=subprocess.DEVNULL).returncode != 0:
        if time.monotonic() > deadline:
            raise Failure("PulseAudio did not start (see %s)" % out.name)
        time.sleep(0.2)
    return client


class Wine:
    def __init__(self, wine, prefix, env):
        self.wine = wine
        self.env = dict(env, WINEPREFIX=prefix, WINEDEBUG="-all", WINEDLLOVERRIDES="mscoree,mshtml=")

    def run(self, *args):
        subprocess.run([self.wine] + list(args), env=self.env, stdout=subprocess.DEVNULL,
                       stderr=subprocess.DEVNULL, check=True, timeout=120)

    def prepare(self):
        """The prefix: a black virtual desktop the size of the screen, and
        the message box calls traced. The desktop comes up with the next
        program, once the prefix's server has ended."""
        self.run("wineboot", "--init")
        self.run("reg", "add", r"HKCU\Control Panel\Colors", "/v", "Background", "/d", "0 0 0", "/f")
        self.run("reg", "add", r"HKCU\Software\Wine\Explorer", "/v", "Desktop", "/d", "Default", "/f")
        self.run("reg", "add", r"HKCU\Software\Wine\Explorer\Desktops", "/v", "Default", "/d",
                 "%dx%d" % (SCREEN_W, SCREEN_H), "/f")
        self.run("reg", "add", r"HKCU\Software\Wine\Debug", "/v", "RelayInclude", "/d", "user32.MessageBoxA",
                 "/f")
        self.stop()

    def stop(self):
        """Ends the prefix's server and every program in it."""
        subprocess.run([self.wine.replace("wine64", "wineserver"), "-k"], env=self.env, stdout=subprocess.DEVNULL,
                       stderr=subprocess.DEVNULL, timeout=60)
        subprocess.run([self.wine.replace("wine64", "wineserver"), "-w"], env=self.env, stdout=subprocess.DEVNULL,
                       stderr=subprocess.DEVNULL, timeout=60)


class Run:
    """One run of orchid.exe, its output collected in a file."""

    def __init__(self, wine, exe, args, cwd, extra_env=None):
        self.log_path = os.path.join(cwd, "orchid.log")
        self.log = open(self.log_path, "wb")
        env = dict(wine.env, WINEDEBUG="-all,+relay", **(extra_env or {}))
        self.started = time.monotonic()
        self.proc = subprocess.Popen([wine.wine, exe] + args, cwd=cwd, env=env, stdout=self.log,
                                     stderr=subprocess.STDOUT, start_new_session=True)

    def alive(self):
        return self.proc.poll() is None

    def wait(self, timeout):
        try:
            return self.proc.wait(timeout=timeout)
        except subprocess.TimeoutExpired:
            self.kill()
            raise Failure("orchid.exe did not end within %d s" % timeout)

    def kill(self):
        if self.proc.poll() is None:
            os.killpg(self.proc.pid, signal.SIGKILL)
            self.proc.wait()

    def output(self):
        self.log.flush()
        with open(self.log_path, "rb") as f:
            return f.read().decode("utf-8", "replace")

    def message_boxes(self):
        """(owner, text, caption, type) of each MessageBoxA call; a long text
        is cut by the trace, and then ends in "..."."""
        boxes = []
        pattern = re.compile(r'Call user32\.MessageBoxA\((\w+),\w+ "((?:[^"\\]|\\.)*)"(\.\.\.)?,\w+ '
                             r'"((?:[^"\\]|\\.)*)",(\w+)\)')
        for m in pattern.finditer(self.output()):
            text = m.group(2).encode().decode("unicode_escape") + ("..." if m.group(3) else "")
            caption = m.group(4).encode().decode("unicode_escape")
            boxes.append((int(m.group(1), 16), text, caption, int(m.group(5), 16)))
        return boxes


class Screen:
    def __init__(self, display, work):
        self.env = dict(os.environ, DISPLAY=display)
        self.path = os.path.join(work, "screen.rgb")

    def grab(self, png=None):
        """The whole screen as rows of (r, g, b) bytes; optionally kept."""
        subprocess.run(["import", "-window", "root", "-depth", "8", "rgb:" + self.path], env=self.env,
                       check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=30)
        with open(self.path, "rb") as f:
            data = f.read()
        if png is not None:
            subprocess.run(["import", "-window", "root", png], env=self.env, check=True, timeout=30)
        return data

    def key(self, *keys):
        """Keys for the active Windows window. Wine's virtual desktop takes
        them from the X server and passes them on; with no window manager
        to give it the X focus back after a mode change, it is given the
        focus here first."""
        desktops = self.window_named("Default - Wine desktop")
        if desktops:
            subprocess.run(["xdotool", "windowfocus", desktops[0]], env=self.env, timeout=30)
        subprocess.run(["xdotool", "key", "--delay", "150"] + list(keys), env=self.env, check=True, timeout=30)

    def window_named(self, name):
        result = subprocess.run(["xdotool", "search", "--name", "^%s$" % re.escape(name)], env=self.env,
                                stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, timeout=30)
        return result.stdout.split()


def pixels(data, rect):
    x0, y0, w, h = rect
    for y in range(y0, y0 + h):
        row = (y * SCREEN_W + x0) * 3
        for x in range(w):
            i = row + x * 3
            yield data[i], data[i + 1], data[i + 2]


def pixels_of(data, rect):
    """The rectangle's bytes, row by row."""
    x0, y0, w, h = rect
    for y in range(y0, y0 + h):
        row = (y * SCREEN_W + x0) * 3
        yield from data[row:row + w * 3]


def lit(data, rect):
    """How many pixels of the rectangle are not black."""
    return sum(1 for p in pixels(data, rect) if p != (0, 0, 0))


def outside_lit(data, rect):
    x0, y0, w, h = rect
    count = 0
    for y in range(SCREEN_H):
        for x in range(SCREEN_W):
            if x0 <= x < x0 + w and y0 <= y < y0 + h:
                continue
            i = (y * SCREEN_W + x) * 3
            if data[i] or data[i + 1] or data[i + 2]:
                count += 1
    return count


def levels(data, rect):
    """Distinct values of red, green and blue in the rectangle."""
    reds, greens, blues = set(), set(), set()
    for r, g, b in pixels(data, rect):
        reds.add(r)
        greens.add(g)
        blues.add(b)
    return len(reds), len(greens), len(blues)


def counted_within(seconds, count, done):
    """Counts again every 0.3 s until the count is done or the time is up;
    the last count."""
    deadline = time.monotonic() + seconds
    while True:
        n = count()
        if done(n) or time.monotonic() >= deadline:
            return n
        time.sleep(0.3)


def wait_until(predicate, timeout, what):
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        if predicate():
            return
        time.sleep(0.2)
    raise Failure("timed out waiting for " + what)


class Cases:
    def __init__(self, args, wine, screen, work, pulse):
        self.args = args
        self.wine = wine
        self.screen = screen
        self.work = work
        self.pulse = pulse
        self.notes = []

    def folder(self, name, music="copy"):
        """The run's working directory, with the music as asked."""
        path = os.path.join(self.work, "run-" + name)
        shutil.rmtree(path, ignore_errors=True)
        os.makedirs(path)
        target = os.path.join(path, "kestrune-velomar.mp3")
        if music == "copy":
            shutil.copyfile(self.args.music, target)
        elif music == "empty":
            open(target, "wb").close()
        elif music == "corrupt":
            # A file of the right name that holds no MPEG audio at all.
            with open(target, "wb") as f:
                f.write(bytes((i * 7919 + 13) % 251 for i in range(65536)))
        return path

    def start(self, name, args, music="copy", sound=False, audio_drivers=True):
        extra = dict(self.pulse) if sound else {}
        if not audio_drivers:
            extra["WINEDLLOVERRIDES"] = "mscoree,mshtml=;winepulse.drv,winealsa.drv,wineoss.drv=d"
        if not sound:
            args = args + ["--no-sound"]
        return Run(self.wine, self.args.exe, args, self.folder(name, music), extra)

    def shot(self, name):
        return os.path.join(self.args.shots, name) if self.args.shots else None

    def end_with_escape(self, run, what):
        self.screen.key("Escape")
        if not self.wait_end(run, 20):
            self.screen.grab(os.path.join(self.work, "stuck.png"))
        status = run.wait(1)
        if status != 0:
            raise Failure("%s: Escape ended the run with status %d, not 0" % (what, status))
        if run.message_boxes():
            raise Failure("%s: a message box was shown: %r" % (what, run.message_boxes()))

    def expect_report(self, run, first_entry, exact=False):
        """The run ends with one message box titled "Error!" whose text
        (exactly, or its first entry) is the one given; closing it ends the
        run with status 1."""
        wait_until(lambda: run.message_boxes() or not run.alive(), 60, "the error report")
        boxes = run.message_boxes()
        if len(boxes) != 1:
            run.kill()
            raise Failure("expected one message box, got %r" % boxes)
        owner, text, caption, kind = boxes[0]
        if caption != "Error!" or owner != 0 or kind != 0:
            raise Failure("message box owner %x, caption %r, type %x: not an MB_OK box titled Error!" %
                          (owner, caption, kind))
        if (exact and text != first_entry) or (not exact and not text.startswith(first_entry)):
            raise Failure("report %r, expected %s%r" % (text, "" if exact else "a start of ", first_entry))
        wait_until(lambda: self.screen.window_named("Error!"), 20, "the Error! box on the screen")
        # Return on the box's OK button, once the box has the focus.
        for _ in range(5):
            time.sleep(1.0)
            self.screen.key("Return")
            if self.wait_end(run, 3):
                break
        status = run.wait(20)
        if status != 1:
            raise Failure("the run ended with status %d after an error report, not 1" % status)

    @staticmethod
    def wait_end(run, seconds):
        deadline = time.monotonic() + seconds
        while run.alive() and time.monotonic() < deadline:
            time.sleep(0.1)
        return not run.alive()

    # ---- the cases ----------------------------------------------------------------

    def dialog_quit(self):
        run = self.start("dialog-quit", [])
        dialog = (SCREEN_W // 2 - 140, SCREEN_H // 2 - 70, 280, 140)
        wait_until(lambda: lit(self.screen.grab(), dialog) > 10000, 60, "the mode dialog")
        time.sleep(0.5)
        if self.args.shots:
            full = os.path.join(self.work, "dialog-full.png")
            self.screen.grab(full)
            subprocess.run(["convert", full, "-crop", "%dx%d+%d+%d" % (dialog[2], dialog[3], dialog[0], dialog[1]),
                            "+repage", self.shot("windows-dialog.png")], check=True)
        # Escape sends the cancel command, which the dialog ignores.
        self.screen.key("Escape")
        time.sleep(1.5)
        if not run.alive() or lit(self.screen.grab(), dialog) < 10000:
            raise Failure("Escape closed the mode dialog")
        # The focus starts on 32bpp; the fourth Tab reaches Quit.
        self.screen.key("Tab", "Tab", "Tab", "Tab", "Return")
        status = run.wait(20)
        if status != 0:
            raise Failure("Quit ended the run with status %d, not 0" % status)
        if run.message_boxes():
            raise Failure("Quit showed a message box: %r" % run.message_boxes())
        if lit(self.screen.grab(), (0, 0, SCREEN_W, SCREEN_H)) != 0:
            raise Failure("something is left on the screen after Quit")

    def dialog_windowed(self):
        run = self.start("dialog-windowed", [])
        dialog = (SCREEN_W // 2 - 140, SCREEN_H // 2 - 70, 280, 140)
        wait_until(lambda: lit(self.screen.grab(), dialog) > 10000, 60, "the mode dialog")
        time.sleep(0.5)
        self.screen.key("Tab", "Tab", "Tab", "Return")
        wait_until(lambda: lit(self.screen.grab(), WINDOW) > 100000, 60, "the show in its window")
        self.end_with_escape(run, "windowed from the dialog")

    def windowed(self):
        run = self.start("windowed", ["--mode", "windowed"])
        wait_until(lambda: lit(self.screen.grab(), WINDOW) > 0, 60, "the first frame")
        startup = time.monotonic() - run.started
        self.notes.append("start-up, launch to first frame in the window: %.2f s (screenshots every ~0.3 s)"
                          % startup)
        time.sleep(max(0.0, 12.0 - (time.monotonic() - run.started)))
        data = self.screen.grab(self.shot("windows-windowed-full.png"))
        shown = lit(data, WINDOW)
        outside = outside_lit(data, WINDOW)
        if shown < WINDOW[2] * WINDOW[3] // 4 or outside != 0:
            raise Failure("window shows %d lit pixels, %d lit outside it" % (shown, outside))
        if self.args.shots:
            subprocess.run(["convert", self.shot("windows-windowed-full.png"), "-crop",
                            "%dx%d+%d+%d" % (WINDOW[2], WINDOW[3], WINDOW[0], WINDOW[1]), "+repage",
                            "-resize", "50%", self.shot("windows-windowed.png")], check=True)
            os.remove(self.shot("windows-windowed-full.png"))
        self.end_with_escape(run, "windowed")

    def activation(self):
        """Another program taking the activation pauses the show (the frames
        stand still); a click on the show's window resumes it."""
        run = self.start("activation", ["--mode", "windowed"])
        wait_until(lambda: lit(self.screen.grab(), WINDOW) > 0, 60, "the first frame")
        time.sleep(max(0.0, 10.0 - (time.monotonic() - run.started)))
        if self.still(1.5):
            raise Failure("the show stands still before anything else is active")
        other = subprocess.Popen([self.wine.wine, "notepad"], env=self.wine.env, stdout=subprocess.DEVNULL,
                                 stderr=subprocess.DEVNULL, start_new_session=True)
        try:
            wait_until(lambda: self.still(1.5), 30, "the show to pause while another program is active")
            # The bottom right corner of the window, clear of the other
            # program's window in the top left.
            corner = (WINDOW[0] + WINDOW[2] - 20, WINDOW[1] + WINDOW[3] - 20)
            subprocess.run(["xdotool", "mousemove", str(corner[0]), str(corner[1]), "click", "1"],
                           env=self.screen.env, check=True, timeout=30)
            wait_until(lambda: not self.still(1.5), 30, "the show to go on once its window is clicked")
        finally:
            if other.poll() is None:
                os.killpg(other.pid, signal.SIGKILL)
                other.wait()
        self.end_with_escape(run, "after the activation changes")
        # A program killed from outside leaves the Wine session's keyboard
        # focus astray for the programs after it: start a fresh session.
        self.wine.stop()

    def overlay(self):
        """F1 draws the frame rate, white on black, over the picture's top
        left corner (fullscreen: on the back buffer before the flip); F1
        again takes it away. The show's picture there (a violet pattern at
        this time) has no white."""
        run = self.start("overlay", ["--mode", "32"])
        wait_until(lambda: lit(self.screen.grab(), FULLSCREEN) > 0, 60, "the first frame")
        time.sleep(max(0.0, 10.0 - (time.monotonic() - run.started)))
        band = (0, 0, 240, 22)

        def white(name):
            data = self.screen.grab(os.path.join(self.work, name))
            return sum(1 for p in pixels(data, band) if p == (255, 255, 255))

        # Each key is given up to 10 s to show: on a loaded machine Wine may
        # take a while to deliver it and draw the next frame.
        self.screen.key("F1")
        shown = counted_within(10, lambda: white("overlay-shown.png"), lambda n: n >= 40)
        self.screen.key("F1")
        gone = counted_within(10, lambda: white("overlay-gone.png"), lambda n: n < 20)
        self.end_with_escape(run, "after F1")
        if shown < 40:
            raise Failure("F1 shows no white text: %d white pixels" % shown)
        if gone >= 20:
            raise Failure("the text stays after the second F1: %d white pixels" % gone)

    def seek_bar(self):
        """Page Down brings up the seek bar over the picture's bottom rows
        (fullscreen: on the back buffer before the flip), its dark band of
        (40, 40, 40); it goes two seconds of play later. Space brings it up
        again and it stays while paused."""
        run = self.start("seek-bar", ["--mode", "32"])
        wait_until(lambda: lit(self.screen.grab(), FULLSCREEN) > 0, 60, "the first frame")
        band = (0, 436, 640, 44)

        def dark(name):
            data = self.screen.grab(os.path.join(self.work, name))
            return sum(1 for p in pixels(data, band) if p == (40, 40, 40))

        up = lambda n: n >= 10000
        self.screen.key("Next")
        shown = counted_within(10, lambda: dark("seek-bar-shown.png"), up)
        gone = counted_within(10, lambda: dark("seek-bar-gone.png"), lambda n: n < 1000)
        self.screen.key("space")
        paused = counted_within(10, lambda: dark("seek-bar-paused.png"), up)
        time.sleep(3)
        still = dark("seek-bar-paused-later.png")
        self.end_with_escape(run, "after the seek bar")
        if not up(shown):
            raise Failure("Page Down shows no seek bar: %d pixels of its band" % shown)
        if gone >= 1000:
            raise Failure("the seek bar stays while playing: %d pixels of its band" % gone)
        if not up(paused) or not up(still):
            raise Failure("the seek bar is not up while paused: %d, then %d pixels of its band" % (paused, still))

    def playing_at_six_seconds(self, name):
        """A fullscreen run that has played its first six seconds."""
        run = self.start(name, ["--mode", "32"])
        wait_until(lambda: lit(self.screen.grab(), FULLSCREEN) > 0, 60, "the first frame")
        time.sleep(max(0.0, 6.0 - (time.monotonic() - run.started)))
        return run

    def press_s_and_end(self, run, what):
        """S, then Escape: the hundredth S names on stderr and the file it
        wrote in the prefix's Pictures folder (None when it is not there)."""
        self.screen.key("s")
        said = re.compile(r"the frame at (\d+)\.(\d\d) s is in .*?(orchid-\d{3}\.\d\d\.png)")
        wait_until(lambda: said.search(run.output()), 20, "the line that names the screenshot")
        self.end_with_escape(run, what)
        m = said.search(run.output())
        found = glob.glob(os.path.join(self.wine.env["WINEPREFIX"], "drive_c", "users", "*", "Pictures", m.group(3)))
        return int(m.group(1)) * 100 + int(m.group(2)), found[0] if len(found) == 1 else None

    def screenshot(self):
        """Paused, five hundredths back with `,`, S writes the frame on
        screen into the Pictures folder as orchid-SSS.HH.png, named on
        stderr: byte for byte the PNG that --frames writes for that
        hundredth (made here by the same program, headless)."""
        run = self.playing_at_six_seconds("screenshot")
        self.screen.key("space")
        time.sleep(1)
        self.screen.key(*["comma"] * 5)
        time.sleep(1)
        hundredth, written = self.press_s_and_end(run, "after S")
        if written is None:
            raise Failure("the screenshot of hundredth %d is not in the Pictures folder" % hundredth)
        frames = os.path.join(self.folder("screenshot-frames"), "frames")
        at = "%d.%02d" % (hundredth // 100, hundredth % 100)
        capture = subprocess.run([self.wine.wine, self.args.exe, "--no-sound", "--frames", frames, "--fps", "100",
                                  "--from", at, "--to", at], cwd=os.path.dirname(frames), env=self.wine.env,
                                 stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=300)
        expected = os.path.join(frames, "frame-%05d.png" % hundredth)
        if capture.returncode != 0 or not os.path.exists(expected):
            raise Failure("--frames at %s s wrote no %s (status %d)" % (at, expected, capture.returncode))
        with open(written, "rb") as a, open(expected, "rb") as b:
            same = a.read() == b.read()
        os.remove(written)
        if not same:
            raise Failure("%s differs from the frame --frames writes for %s s" % (os.path.basename(written), at))

    def loop(self):
        """L sets A, L again B a second later; three seconds on, the show
        stands between them (S names the hundredth on screen), where
        without the loop it would be two seconds past B."""
        run = self.playing_at_six_seconds("loop")
        self.screen.key("l")
        time.sleep(1)
        self.screen.key("l")
        span = re.compile(r"loop: (\d+)\.(\d\d) s to (\d+)\.(\d\d) s")
        wait_until(lambda: span.search(run.output()), 20, "the line that names the loop")
        time.sleep(3)
        shown, written = self.press_s_and_end(run, "after L")
        if written is not None:
            os.remove(written)
        m = span.search(run.output())
        a, b = int(m.group(1)) * 100 + int(m.group(2)), int(m.group(3)) * 100 + int(m.group(4))
        if not 50 <= b - a <= 400:
            raise Failure("the loop runs from %d to %d hundredths, not about a second" % (a, b))
        if not a <= shown <= b:
            raise Failure("three seconds after B the show is at %d hundredths, outside the loop %d to %d" %
                          (shown, a, b))

    def still(self, seconds):
        """Whether the window shows the same picture `seconds` apart."""
        before = bytes(pixels_of(self.screen.grab(), WINDOW))
        time.sleep(seconds)
        return bytes(pixels_of(self.screen.grab(), WINDOW)) == before

    def fullscreen(self, depth):
        run = self.start("fullscreen%d" % depth, ["--mode", str(depth)])
        wait_until(lambda: lit(self.screen.grab(), FULLSCREEN) > 0, 60, "the first fullscreen frame")
        time.sleep(max(0.0, 12.0 - (time.monotonic() - run.started)))
        data = self.screen.grab(os.path.join(self.work, "fullscreen%d.png" % depth))
        shown = lit(data, FULLSCREEN)
        if shown < 640 * 480 // 4:
            raise Failure("%d-bit fullscreen shows only %d lit pixels" % (depth, shown))
        found = levels(data, FULLSCREEN)
        self.end_with_escape(run, "%d-bit fullscreen" % depth)
        return found

    def fullscreen_depths(self):
        deep = self.fullscreen(32)
        shallow = self.fullscreen(16)
        self.notes.append("levels of red, green, blue: 32-bit %r, 16-bit %r" % (deep, shallow))
        if max(deep[0], deep[2]) <= 32 and deep[1] <= 64:
            raise Failure("the 32-bit frame has too few levels (%r) to tell a 5-6-5 one from it" % (deep,))
        if shallow[0] > 32 or shallow[1] > 64 or shallow[2] > 32:
            raise Failure("the 16-bit frame has %r levels, more than a 5-6-5 surface holds" % (shallow,))

    def mode_refused(self):
        # The virtual desktop offers 8, 16 and 32 bits per pixel: 24 is
        # refused by SetDisplayMode, a fatal report of that one line.
        run = self.start("mode-refused", ["--mode", "24"])
        self.expect_report(run, "Could not change display mode.\n", exact=True)

    def no_audio_device(self):
        run = self.start("no-audio", ["--mode", "windowed"], sound=True, audio_drivers=False)
        self.expect_report(run, "Audio error:\n Can't initialize digital sound system.\n")

    def music(self, kind):
        # Named outright: otherwise the music beside the program is found.
        run = self.start("music-" + kind, ["--mode", "windowed", "--music", "kestrune-velomar.mp3"], music=kind,
                         sound=True)
        self.expect_report(run, "Audio error:\n Can't create stream.\n")

    def music_files(self):
        for kind in ("missing", "empty", "corrupt"):
            self.music(kind)

    def with_sound(self):
        run = self.start("sound", ["--mode", "windowed", "--verbose"], sound=True)
        wait_until(lambda: lit(self.screen.grab(), WINDOW) > 0, 60, "the first frame with sound")
        time.sleep(max(0.0, 15.0 - (time.monotonic() - run.started)))
        if lit(self.screen.grab(), WINDOW) < WINDOW[2] * WINDOW[3] // 4:
            raise Failure("the show with sound does not fill its window")
        self.end_with_escape(run, "with sound")
        m = re.search(r"live timing: (\d+) resynchronisation", run.output())
        if m is None:
            raise Failure("no live timing line from --verbose")
        self.notes.append("with sound (waveOut on a PulseAudio null sink), 15 s: %s resynchronisations"
                          % m.group(1))


CASES = ["dialog_quit", "dialog_windowed", "windowed", "activation", "overlay", "seek_bar", "screenshot",
         "loop", "fullscreen_depths", "mode_refused", "no_audio_device",
         "music_files", "with_sound"]


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--exe", required=True)
    parser.add_argument("--music", required=True)
    parser.add_argument("--wine", default=os.environ.get("ORCHID_WINE", "/usr/lib/wine/wine64"))
    parser.add_argument("--work")
    parser.add_argument("--shots")
    parser.add_argument("--only", nargs="*", choices=CASES)
    args = parser.parse_args()
    args.exe = os.path.abspath(args.exe)
    args.music = os.path.abspath(args.music)
    if args.shots:
        args.shots = os.path.abspath(args.shots)
        os.makedirs(args.shots, exist_ok=True)

    missing = [tool for tool in ("Xvfb", "xdotool", "import", "convert", "pulseaudio", "pactl")
               if shutil.which(tool) is None]
    if not os.access(args.wine, os.X_OK):
        missing.append(args.wine)
    if missing:
        print("live_test: SKIPPED, missing: " + ", ".join(missing))
        return SKIP

    work = os.path.abspath(args.work) if args.work else tempfile.mkdtemp(prefix="orchid-win32-")
    os.makedirs(work, exist_ok=True)
    procs = Processes()
    failed = []
    try:
        display = start_xvfb(procs, work)
        env = {k: v for k, v in os.environ.items() if not k.startswith(("PULSE_", "WINE"))}
        env["DISPLAY"] = display
        pulse = start_pulseaudio(procs, work, env)
        wine = Wine(args.wine, os.path.join(work, "prefix"), env)
        wine.prepare()
        cases = Cases(args, wine, Screen(display, work), work, pulse)
        for name in args.only or CASES:
            began = time.monotonic()
            try:
                getattr(cases, name)()
                print("PASS %s (%.0f s)" % (name, time.monotonic() - began), flush=True)
            except Failure as e:
                failed.append(name)
                print("FAIL %s: %s" % (name, e), flush=True)
        for note in cases.notes:
            print("note: " + note)
        wine.stop()
    except Failure as e:
        print("live_test: " + str(e))
        return 1
    finally:
        procs.stop_all()
    print("%d of %d cases passed" % (len(args.only or CASES) - len(failed), len(args.only or CASES)))
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
