#!/usr/bin/env python3
"""Makes the MP3 files on which the Windows suites hold the system codec's
path to the Linux path, and what the Linux path decodes from each:

    make_mp3s.py --out DIR --ffmpeg FFMPEG --lame LAME --reference HELPER

For each NAME-RATE-CHANNELS.mp3 that Linux plays, the native helper
(tests/platform/mp3_reference.cpp) writes NAME-RATE-CHANNELS.pcm (libmpg123's
44.1 kHz stereo output) and NAME-RATE-CHANNELS.native.pcm (at the file's own
rate and channels). The files named refused-* are MPEG audio that the
system's codec does not take (Layer II, free format): no reference.
"""
import argparse
import os
import subprocess
import sys

# A tone with a sweep over it: every frame differs from the last.
SOUND = "0.4*sin(2*PI*440*t)+0.3*sin(2*PI*(200+300*t)*t)"
# A full-scale square wave at 1 kHz: neighbouring samples differ by up to 65535.
SQUARE = "0.999*(2*gte(mod(t*1000,1),0.5)-1)"


def ffmpeg(args, expression, rate, channels, seconds, out, codec=("-c:a", "libmp3lame", "-b:a", "128k")):
    layout = "mono" if channels == 1 else "stereo"
    expression = expression.replace(",", "\\,")
    subprocess.run([args.ffmpeg, "-hide_banner", "-loglevel", "error", "-y", "-f", "lavfi", "-i",
                    f"aevalsrc={expression}|{expression}:s={rate}:d={seconds}:c=stereo",
                    "-ac", str(channels), "-channel_layout", layout, *codec, out], check=True)


def frames(data, start):
    """The offsets of the layer III frames from `start` on (no damage)."""
    rates = {3: (44100, 48000, 32000), 2: (22050, 24000, 16000), 0: (11025, 12000, 8000)}
    kbps = ((0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320),
            (0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160))
    at = start
    while at + 4 <= len(data) and data[at] == 0xFF and data[at + 1] & 0xE0 == 0xE0:
        version = (data[at + 1] >> 3) & 3
        rate = rates[version][(data[at + 2] >> 2) & 3]
        per = 1152 if version == 3 else 576
        size = per // 8 * 1000 * kbps[0 if version == 3 else 1][data[at + 2] >> 4] // rate + ((data[at + 2] >> 1) & 1)
        yield at
        at += size


def id3v2_end(data):
    return 10 + ((data[6] << 21) | (data[7] << 14) | (data[8] << 7) | data[9]) if data[:3] == b"ID3" else 0


def main():
    parser = argparse.ArgumentParser()
    for name in ("--out", "--ffmpeg", "--lame", "--reference"):
        parser.add_argument(name, required=True)
    args = parser.parse_args()
    os.makedirs(args.out, exist_ok=True)
    path = lambda name: os.path.join(args.out, name)

    # Encoders and their tags: ffmpeg's ("Lavc" in the Info frame), lame's
    # own ("LAME"), none (no Info frame); rates and channel counts.
    ffmpeg(args, SOUND, 44100, 2, 3, path("lavc-44100-2.mp3"))
    ffmpeg(args, SOUND, 44100, 1, 2, path("lavc-44100-1.mp3"))
    ffmpeg(args, SOUND, 44100, 2, 2, path("plain-44100-2.mp3"),
           ("-c:a", "libmp3lame", "-b:a", "128k", "-write_xing", "0"))
    ffmpeg(args, SOUND, 48000, 2, 2, path("lavc-48000-2.mp3"))
    ffmpeg(args, SOUND, 22050, 1, 2, path("lavc-22050-1.mp3"))
    ffmpeg(args, SOUND, 11025, 2, 2, path("lavc-11025-2.mp3"))
    ffmpeg(args, SQUARE, 48000, 1, 2, path("square-48000-1.mp3"))
    # Long enough for a seek to start the codec past the first frame (it
    # starts only every 65536 of its samples): 44.1 kHz stereo, 44.1 kHz mono
    # without an Info frame, 48 kHz, and MPEG-2 at 22.05 kHz (576 samples a
    # frame).
    ffmpeg(args, SOUND, 44100, 2, 15, path("long-44100-2.mp3"))
    ffmpeg(args, SOUND, 44100, 1, 15, path("long-44100-1.mp3"),
           ("-c:a", "libmp3lame", "-b:a", "96k", "-write_xing", "0"))
    ffmpeg(args, SOUND, 48000, 2, 15, path("long-48000-2.mp3"))
    ffmpeg(args, SOUND, 22050, 1, 28, path("long-22050-1.mp3"), ("-c:a", "libmp3lame", "-b:a", "48k"))
    wav = path("sound.wav")
    ffmpeg(args, SOUND, 44100, 2, 2, wav, ("-c:a", "pcm_s16le"))
    subprocess.run([args.lame, "--quiet", "-b", "160", wav, path("lame-44100-2.mp3")], check=True)

    # Damage: a second ID3v2 tag after the first, zeros between the tag and
    # the first frame, and one frame's header broken a second in.
    with open(path("lavc-44100-2.mp3"), "rb") as f:
        good = f.read()
    tag_end = id3v2_end(good)
    second = b"ID3\x03\x00\x00\x00\x00\x00\x11" + b"TIT2\x00\x00\x00\x0a\x00\x00\x00second"
    variants = {
        "twotags-44100-2.mp3": good[:tag_end] + second + good[tag_end:],
        "zeros-44100-2.mp3": good[:tag_end] + bytes(1000) + good[tag_end:],
    }
    offsets = list(frames(good, tag_end))
    broken = bytearray(good)
    broken[offsets[40]:offsets[40] + 4] = b"\x00\x00\x00\x00"
    variants["damaged-44100-2.mp3"] = bytes(broken)
    for name, data in variants.items():
        with open(path(name), "wb") as f:
            f.write(data)

    # What Windows' codec refuses and libmpg123 plays.
    ffmpeg(args, SOUND, 44100, 2, 1, path("refused-layer2-44100-2.mp3"), ("-c:a", "mp2", "-f", "mp2"))
    subprocess.run([args.lame, "--quiet", "--freeformat", "-b", "400", wav, path("refused-free-44100-2.mp3")],
                   check=True)
    os.remove(wav)

    for name in sorted(os.listdir(args.out)):
        if not name.endswith(".mp3") or name.startswith("refused-"):
            continue
        stem = path(name[:-4])
        subprocess.run([args.reference, stem + ".mp3", stem + ".pcm", stem + ".native.pcm"], check=True)
    return 0


if __name__ == "__main__":
    sys.exit(main())
