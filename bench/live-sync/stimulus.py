#!/usr/bin/env python3
"""Flash-and-click stimulus for calibrating the live-sync recorder.

Shows a 640x480 black window at the top left of the X display and, a number
of times, turns it white at the very moment a click starts to sound on the
PulseAudio server. "The moment it sounds" is the server's own account: the
click is written behind whatever is already queued, and the stream's latency,
read just before the write, says when that queue will have played out. The
program sleeps until then and only then changes the picture. A recorder that
takes both the screen and the sink's monitor should therefore see each flash
and each click at the same time; what it reports instead is its own offset.

Only the Python standard library is used: libX11 and libpulse-simple are
called through ctypes (both come with the packages scripts/install-deps
installs). DISPLAY and PULSE_SERVER choose the display and the server.

    stimulus.py [--flashes N] [--period SECONDS]

Prints one line per flash, as wall-clock seconds (the recorder's clock): when
the click starts to sound, when the paint began and when the server had
done it. A busy machine can make the paint late; such a flash is to be left
out.
"""

import argparse
import ctypes
import ctypes.util
import random
import sys
import time

RATE = 44100
CHANNELS = 2
FRAME_BYTES = 2 * CHANNELS
CHUNK_SECONDS = 0.005          # silence is fed in 5 ms pieces
TARGET_LATENCY_SECONDS = 0.020  # asked of the server for the whole stream
CLICK_SECONDS = 0.010
FLASH_SECONDS = 0.120


class PaSampleFormat(ctypes.Structure):
    _fields_ = [("format", ctypes.c_int), ("rate", ctypes.c_uint32), ("channels", ctypes.c_uint8)]


class PaBufferAttr(ctypes.Structure):
    _fields_ = [("maxlength", ctypes.c_uint32), ("tlength", ctypes.c_uint32), ("prebuf", ctypes.c_uint32),
                ("minreq", ctypes.c_uint32), ("fragsize", ctypes.c_uint32)]


PA_STREAM_PLAYBACK = 1
PA_SAMPLE_S16LE = 3
UNSET = 0xFFFFFFFF


def load(name, soname):
    path = ctypes.util.find_library(name) or soname
    return ctypes.CDLL(path)


class Speaker:
    """A low-latency playback stream on the default sink."""

    def __init__(self):
        self.pa = load("pulse-simple", "libpulse-simple.so.0")
        self.pa.pa_simple_new.restype = ctypes.c_void_p
        self.pa.pa_simple_new.argtypes = [ctypes.c_char_p, ctypes.c_char_p, ctypes.c_int, ctypes.c_char_p,
                                          ctypes.c_char_p, ctypes.POINTER(PaSampleFormat), ctypes.c_void_p,
                                          ctypes.POINTER(PaBufferAttr), ctypes.POINTER(ctypes.c_int)]
        self.pa.pa_simple_write.argtypes = [ctypes.c_void_p, ctypes.c_void_p, ctypes.c_size_t,
                                            ctypes.POINTER(ctypes.c_int)]
        self.pa.pa_simple_get_latency.restype = ctypes.c_uint64
        self.pa.pa_simple_get_latency.argtypes = [ctypes.c_void_p, ctypes.POINTER(ctypes.c_int)]
        self.pa.pa_simple_free.argtypes = [ctypes.c_void_p]
        sample_format = PaSampleFormat(PA_SAMPLE_S16LE, RATE, CHANNELS)
        attr = PaBufferAttr(UNSET, int(TARGET_LATENCY_SECONDS * RATE) * FRAME_BYTES, UNSET, UNSET, UNSET)
        error = ctypes.c_int(0)
        self.handle = self.pa.pa_simple_new(None, b"live-sync stimulus", PA_STREAM_PLAYBACK, None, b"click",
                                            ctypes.byref(sample_format), None, ctypes.byref(attr), ctypes.byref(error))
        if not self.handle:
            raise RuntimeError("cannot open a PulseAudio playback stream (error %d)" % error.value)
        self.silence = bytes(int(CHUNK_SECONDS * RATE) * FRAME_BYTES)

    def write(self, data):
        error = ctypes.c_int(0)
        if self.pa.pa_simple_write(self.handle, data, len(data), ctypes.byref(error)) < 0:
            raise RuntimeError("PulseAudio write failed (error %d)" % error.value)

    def latency(self):
        error = ctypes.c_int(0)
        usec = self.pa.pa_simple_get_latency(self.handle, ctypes.byref(error))
        if usec == ctypes.c_uint64(-1).value:
            raise RuntimeError("PulseAudio latency unknown (error %d)" % error.value)
        return usec / 1e6

    def close(self):
        if self.handle:
            self.pa.pa_simple_free(self.handle)
            self.handle = None


class Screen:
    """One plain X window covering the top-left 640x480 of the screen."""

    def __init__(self):
        self.x = load("X11", "libX11.so.6")
        self.x.XOpenDisplay.restype = ctypes.c_void_p
        self.x.XOpenDisplay.argtypes = [ctypes.c_char_p]
        self.display = self.x.XOpenDisplay(None)
        if not self.display:
            raise RuntimeError("cannot open the X display")
        for name in ("XDefaultScreen",):
            getattr(self.x, name).argtypes = [ctypes.c_void_p]
        for name in ("XRootWindow", "XBlackPixel", "XWhitePixel"):
            getattr(self.x, name).argtypes = [ctypes.c_void_p, ctypes.c_int]
            getattr(self.x, name).restype = ctypes.c_ulong
        self.x.XCreateSimpleWindow.restype = ctypes.c_ulong
        self.x.XCreateSimpleWindow.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_int, ctypes.c_int,
                                               ctypes.c_uint, ctypes.c_uint, ctypes.c_uint, ctypes.c_ulong,
                                               ctypes.c_ulong]
        for name in ("XMapRaised", "XClearWindow", "XDestroyWindow"):
            getattr(self.x, name).argtypes = [ctypes.c_void_p, ctypes.c_ulong]
        self.x.XSetWindowBackground.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_ulong]
        self.x.XSync.argtypes = [ctypes.c_void_p, ctypes.c_int]
        self.x.XCloseDisplay.argtypes = [ctypes.c_void_p]
        screen = self.x.XDefaultScreen(self.display)
        self.black = self.x.XBlackPixel(self.display, screen)
        self.white = self.x.XWhitePixel(self.display, screen)
        root = self.x.XRootWindow(self.display, screen)
        self.window = self.x.XCreateSimpleWindow(self.display, root, 0, 0, 640, 480, 0, self.black, self.black)
        self.x.XMapRaised(self.display, self.window)
        self.paint(self.black)

    def paint(self, pixel):
        self.x.XSetWindowBackground(self.display, self.window, pixel)
        self.x.XClearWindow(self.display, self.window)
        # XSync returns once the server has drawn the window.
        self.x.XSync(self.display, 0)

    def close(self):
        if self.display:
            self.x.XDestroyWindow(self.display, self.window)
            self.x.XCloseDisplay(self.display)
            self.display = None


def click_samples():
    """A 10 ms loud square wave at 1 kHz."""
    samples = bytearray()
    for i in range(int(CLICK_SECONDS * RATE)):
        value = 24000 if (i * 2000 // RATE) % 2 == 0 else -24000
        samples += value.to_bytes(2, "little", signed=True) * CHANNELS
    return bytes(samples)


def feed_until(speaker, deadline):
    while time.monotonic() < deadline:
        speaker.write(speaker.silence)


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("--flashes", type=int, default=30)
    parser.add_argument("--period", type=float, default=0.5)
    args = parser.parse_args()

    speaker = Speaker()
    screen = Screen()
    try:
        click = click_samples()
        wall = time.time() - time.monotonic()
        phase = random.Random(1)
        # Let the window appear and the stream reach its steady latency.
        feed_until(speaker, time.monotonic() + 2.0)
        for _ in range(args.flashes):
            # The click goes behind what is queued: it starts when the queue
            # has played, `latency` from now. The write may wait for room,
            # but never as long as the queue takes to play.
            now = time.monotonic()
            sounds_at = now + speaker.latency()
            speaker.write(click)
            while time.monotonic() < sounds_at:
                pass
            painting_at = time.monotonic()
            screen.paint(screen.white)
            shown_at = time.monotonic()
            print("%.6f %.6f %.6f" % tuple(t + wall for t in (sounds_at, painting_at, shown_at)), flush=True)
            feed_until(speaker, shown_at + FLASH_SECONDS)
            screen.paint(screen.black)
            # A different phase against the recorder's frame clock each time,
            # so that the mean covers the whole frame period.
            feed_until(speaker, shown_at + args.period + phase.uniform(0.0, 0.01))
        feed_until(speaker, time.monotonic() + 0.3)
    finally:
        screen.close()
        speaker.close()
    return 0


if __name__ == "__main__":
    sys.exit(main())
