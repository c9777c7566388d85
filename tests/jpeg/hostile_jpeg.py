#!/usr/bin/env python3
"""Hostile JPEG files whose entropy-coded data ends long before the picture
their headers describe, or whose data is long end-of-band runs, run through
orchid-jpeg with a time and a memory bound, and checked for the pixels the
decoder must give.

Their Huffman tables give two 1-bit codes, so the 1-bits of the padding
past the data would decode as valid blocks; the decoder must stop each scan
where its data ends instead.

    hostile_jpeg.py ORCHID_JPEG [SCALE]  run the cases (ctest does); SCALE
                                         multiplies the time bounds
    hostile_jpeg.py --write DIR          only write the files into DIR
"""
import os
import resource
import subprocess
import sys
import tempfile
import time


def segment(marker, payload):
    return bytes([0xFF, marker]) + (len(payload) + 2).to_bytes(2, "big") + bytes(payload)


def dqt(value):
    return segment(0xDB, [0] + [value] * 64)


def dht(table_class, number, counts, values):
    return segment(0xC4, [table_class << 4 | number] + counts + [0] * (16 - len(counts)) + values)


def sof(marker, width, height, components):
    payload = [8] + list(height.to_bytes(2, "big")) + list(width.to_bytes(2, "big")) + [components]
    for c in range(components):
        payload += [c + 1, 0x11, 0]
    return segment(marker, payload)


def sos(components, ss, se, ah_al):
    payload = [len(components)]
    for c in components:
        payload += [c, 0x00]
    return segment(0xDA, payload + [ss, se, ah_al])


SOI = b"\xff\xd8"
EOI = b"\xff\xd9"
# Two 1-bit codes in each table: DC category 0 either way; AC end-of-block.
TWO_CODE_TABLES = dht(0, 0, [2], [0, 0]) + dht(1, 0, [2], [0, 0])


def huge_progressive():
    """8192 x 8192 colour, one DC scan of no data."""
    return SOI + dqt(1) + sof(0xC2, 8192, 8192, 3) + TWO_CODE_TABLES + sos([1, 2, 3], 0, 0, 0) + EOI


def refinement_scans(count):
    """8192 x 8192 grey: a DC scan, then `count` AC refinement scans, all of no data."""
    data = SOI + dqt(1) + sof(0xC2, 8192, 8192, 1) + TWO_CODE_TABLES + sos([1], 0, 0, 1)
    for _ in range(count):
        data += sos([1], 1, 63, 0x10)
    return data + EOI


def entropy_bytes(bits):
    """A bit string as entropy-coded bytes: padded with 1-bits, 0xFF stuffed."""
    bits += "1" * (-len(bits) % 8)
    out = bytearray()
    for i in range(0, len(bits), 8):
        out.append(int(bits[i:i + 8], 2))
        if out[-1] == 0xFF:
            out.append(0)
    return bytes(out)


# The longest end-of-band run: symbol 0xE0 (run class 14, its 1-bit code '0')
# and 14 one-bits, 32767 blocks.
LONGEST_EOB_RUN = "0" + "1" * 14
EOB_RUN_TABLE = dht(1, 0, [1], [0xE0])


def eob_run_scans(count, ah_al):
    """8192 x 8192 grey: `count` AC scans over band 1..63 whose data is end-of-band
    runs of 32767 blocks, enough of them to cover the picture's 1048576 blocks
    (first scans with ah_al 0x00, refinement scans with 0x10)."""
    runs = entropy_bytes(LONGEST_EOB_RUN * 33)
    data = SOI + dqt(1) + sof(0xC2, 8192, 8192, 1) + EOB_RUN_TABLE
    for _ in range(count):
        data += sos([1], 1, 63, ah_al) + runs
    return data + EOI


def refinement_runs_past_the_data(count, dense):
    """A first scan gives every block coefficients (2 bits each): sparse, a
    1448 x 1448 grey picture (32761 blocks) with one at zig-zag index 63;
    dense, 512 x 256 (2048 blocks) with all 63. Then `count` refinement scans
    over band 1..63 are one end-of-band run each over the whole picture, with
    none of the correction bits its blocks need."""
    width, height, ss = (512, 256, 1) if dense else (1448, 1448, 63)
    blocks = (width // 8) * (height // 8)
    data = SOI + dqt(16) + sof(0xC2, width, height, 1) + dht(1, 0, [1], [0x01])
    data += sos([1], ss, 63, 0x01) + entropy_bytes("01" * (64 - ss) * blocks)
    data += EOB_RUN_TABLE
    for _ in range(count):
        data += sos([1], 1, 63, 0x10) + entropy_bytes(LONGEST_EOB_RUN)
    return data + EOI


def truncated_baseline():
    """64 x 64 grey baseline whose data stops after 8 of its 64 blocks.

    DC codes: '0' category 1, '1' category 0; AC: '0' and '1' both end the
    block. Each sent block is '0' '1' '0': a DC step of +1 (x 8 by the
    quantiser, +1 on every pixel)."""
    tables = dht(0, 0, [2], [1, 0]) + dht(1, 0, [2], [0, 0])
    bits = "010" * 8
    data = bytes(int(bits[i:i + 8], 2) for i in range(0, len(bits), 8))
    return SOI + dqt(8) + sof(0xC0, 64, 64, 1) + tables + sos([1], 0, 63, 0) + data + EOI


def read_pnm(path):
    with open(path, "rb") as f:
        raw = f.read()
    fields = raw.split(maxsplit=4)
    width, height = int(fields[1]), int(fields[2])
    return fields[0], width, height, fields[4]


def run(tool, jpeg, out, tmp):
    src = os.path.join(tmp, "in.jpg")
    with open(src, "wb") as f:
        f.write(jpeg)
    start = time.monotonic()
    proc = subprocess.run([tool, src, out], capture_output=True, text=True)
    seconds = time.monotonic() - start
    # The largest peak of any child so far: the first case's own.
    peak_kb = resource.getrusage(resource.RUSAGE_CHILDREN).ru_maxrss
    return proc, seconds, peak_kb // 1024


def main():
    if len(sys.argv) == 3 and sys.argv[1] == "--write":
        for name, data in (("huge_progressive", huge_progressive()),
                           ("refinement_996", refinement_scans(996)),
                           ("refinement_1002", refinement_scans(1002)),
                           ("truncated_baseline", truncated_baseline()),
                           ("eob_runs_first", eob_run_scans(630, 0x00)),
                           ("eob_runs_refine", eob_run_scans(630, 0x10)),
                           ("sparse_refine", refinement_runs_past_the_data(990, False)),
                           ("dense_refine", refinement_runs_past_the_data(990, True))):
            with open(os.path.join(sys.argv[2], name + ".jpg"), "wb") as f:
                f.write(data)
        return 0
    tool = sys.argv[1]
    # A sanitizer build runs several times slower: its time bounds are
    # scaled, and still far below the minutes the unbounded decoder took.
    slow = float(sys.argv[2]) if len(sys.argv) == 3 else 1.0
    failures = []

    def check(ok, what):
        if not ok:
            failures.append(what)

    with tempfile.TemporaryDirectory() as tmp:
        out = os.path.join(tmp, "out.pnm")

        # The blocks past the end are mid-grey: a DC scan of no data leaves
        # them at 0. The coefficient store (414 MiB) is obtained untouched
        # and the tool writes a band of lines at a time, so little of either
        # is ever resident (the whole picture alone would be 192 MiB).
        proc, seconds, peak_mb = run(tool, huge_progressive(), out, tmp)
        check(proc.returncode == 0, f"huge progressive: exit {proc.returncode} {proc.stderr}")
        check(seconds < 3.0 * slow, f"huge progressive: {seconds:.2f} s")
        check(peak_mb < 150, f"huge progressive: {peak_mb} MB")
        kind, width, height, pixels = read_pnm(out)
        check((kind, width, height) == (b"P6", 8192, 8192), "huge progressive: size")
        # Zero coefficients in every component: one colour everywhere, mid-grey to within 1.
        check(len(pixels) == 8192 * 8192 * 3 and pixels == pixels[:3] * (8192 * 8192)
              and all(abs(v - 128) <= 1 for v in pixels[:3]), "huge progressive: not all mid-grey")
        os.remove(out)

        proc, seconds, _ = run(tool, refinement_scans(996), out, tmp)
        check(proc.returncode == 0, f"996 refinement scans: exit {proc.returncode} {proc.stderr}")
        check(seconds < 1.0 * slow, f"996 refinement scans: {seconds:.2f} s")
        _, _, _, pixels = read_pnm(out)
        check(pixels.count(128) == len(pixels) == 8192 * 8192, "996 refinement scans: not all mid-grey")
        os.remove(out)

        # Refused at the scan limit, every scan before it costing nothing.
        proc, seconds, _ = run(tool, refinement_scans(1002), out, tmp)
        check(proc.returncode == 1 and proc.stderr.startswith("error -214"),
              f"1002 scans: exit {proc.returncode} {proc.stderr}")
        check(seconds < 1.0 * slow, f"1002 scans: {seconds:.2f} s")

        # 64 KB of end-of-band runs over 630 scans of 1048576 blocks: the runs
        # are passed over whole, not block by block, and leave every
        # coefficient zero.
        for name, ah_al in (("first", 0x00), ("refinement", 0x10)):
            proc, seconds, _ = run(tool, eob_run_scans(630, ah_al), out, tmp)
            check(proc.returncode == 0, f"end-of-band runs, {name} scans: exit {proc.returncode} {proc.stderr}")
            check(seconds < 1.0 * slow, f"end-of-band runs, {name} scans: {seconds:.2f} s")
            _, _, _, pixels = read_pnm(out)
            check(pixels.count(128) == len(pixels) == 8192 * 8192, f"end-of-band runs, {name} scans: not all mid-grey")
            os.remove(out)

        # 990 refinement scans whose runs lack their correction bits: each
        # stops at the first block that needs one past the block where its
        # data ran out, rather than taking the padding's 1-bits as
        # corrections for up to 129024 coefficients. The picture past the
        # first block is the first scan's, every block alike, so it repeats
        # every 8 pixels.
        for dense in (False, True):
            what = "dense" if dense else "sparse"
            pictures = []
            for count in (0, 990):
                proc, seconds, _ = run(tool, refinement_runs_past_the_data(count, dense), out, tmp)
                check(proc.returncode == 0, f"{what} refinement {count}: exit {proc.returncode} {proc.stderr}")
                check(("ends early" in proc.stderr) == (count > 0), f"{what} refinement {count}: {proc.stderr!r}")
                check(seconds < 1.0 * slow, f"{what} refinement {count}: {seconds:.2f} s")
                _, width, height, pixels = read_pnm(out)
                # Without the first block, whose place becomes its neighbour's copy.
                rest = bytearray(pixels)
                for y in range(8):
                    rest[y * width:y * width + 8] = pixels[y * width + 8:y * width + 16]
                tile = [rest[y * width:y * width + 8] for y in range(8)]
                pictures.append(rest)
                check(len(set(pixels)) > 1 and all(rest[y * width + x:y * width + x + 8] == tile[y % 8]
                                                   for y in range(height) for x in range(0, width, 8)),
                      f"{what} refinement {count}: blocks differ")
                os.remove(out)
            check(pictures[0] == pictures[1], f"{what} refinement: padding taken as correction bits")

        # The 8 sent blocks step up from 129 to 136; the 56 after them are grey.
        proc, seconds, _ = run(tool, truncated_baseline(), out, tmp)
        check(proc.returncode == 0, f"truncated baseline: exit {proc.returncode} {proc.stderr}")
        check("ends early" in proc.stderr, f"truncated baseline: no note: {proc.stderr!r}")
        check(seconds < 1.0 * slow, f"truncated baseline: {seconds:.2f} s")
        _, width, _, pixels = read_pnm(out)
        for y in range(64):
            for x in range(64):
                block = (y // 8) * 8 + x // 8
                want = 129 + block if block < 8 else 128
                if pixels[y * width + x] != want:
                    failures.append(f"truncated baseline: pixel {x},{y} is {pixels[y * width + x]}, not {want}")
                    break

    for f in failures:
        print("FAIL", f)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
