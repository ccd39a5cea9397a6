#!/usr/bin/env python3
"""Seed corpus of the JPEG reader's fuzz harness: small pictures compressed by cjpeg (baseline,
grey, progressive, restart markers, no subsampling) and two damaged files.

Usage: make_jpeg_corpus.py FOLDER
"""
import os
import subprocess
import sys
import tempfile

KINDS = {
    "baseline.jpg": [],
    "grey.jpg": ["-grayscale"],
    "progressive.jpg": ["-progressive"],
    "restart.jpg": ["-restart", "1"],
    "sample1x1.jpg": ["-sample", "1x1", "-quality", "30"],
}


def picture(width, height):
    rows = bytearray()
    for y in range(height):
        for x in range(width):
            rows += bytes((x * 255 // width, y * 255 // height, 200 if (x // 4 + y // 4) % 2 else 40))
    return b"P6\n%d %d\n255\n" % (width, height) + bytes(rows)


def main():
    folder = sys.argv[1]
    os.makedirs(folder, exist_ok=True)
    with tempfile.TemporaryDirectory() as work:
        source = os.path.join(work, "source.ppm")
        with open(source, "wb") as f:
            f.write(picture(19, 11))
        for name, options in KINDS.items():
            subprocess.run(["cjpeg", *options, "-outfile", os.path.join(folder, name), source], check=True)
    with open(os.path.join(folder, "progressive.jpg"), "rb") as f:
        progressive = f.read()
    with open(os.path.join(folder, "broken-truncated"), "wb") as f:
        f.write(progressive[: len(progressive) // 2])
    frame = progressive.find(b"\xff\xc2")
    with open(os.path.join(folder, "broken-huge"), "wb") as f:
        f.write(progressive[: frame + 5] + b"\x7f\xff\x7f\xff" + progressive[frame + 9 :])


if __name__ == "__main__":
    main()
