#!/usr/bin/python3
"""Pictures for the colour-reduction tests, drawn by ImageMagick, and Pillow's errors on them.

    /usr/bin/python3 make_reduce_pictures.py [DIR]     (DIR: tests/data/reduce by default)

Writes 24-bit BMP files (BMP3) of ImageMagick's built-in pictures, small: rose (70 x 46, some
three thousand colours), logo and wizard (sampled down without new colours: at most 256), plasma
(seeded), and two of few colours: rose16 (16 colours) and logo2 (2 colours). Then writes
pillow_errors.txt: one line "NAME BITS MEDIANCUT OCTREE" per picture and depth 1, 4 and 8, the mean
error per channel (|difference| summed over pixels and channels, divided by three times the pixel
count) of Pillow's median-cut and fast-octree quantizers to 2^BITS colours without dithering.

Needs ImageMagick 6 at /usr/bin/convert (the `convert` first on PATH may be another program) and
Pillow 9 (Debian's python3-pil).
"""
import os
import subprocess
import sys

from PIL import Image

PICTURES = {
    "rose": ["rose:"],
    "logo": ["logo:", "-sample", "128x96"],
    "wizard": ["wizard:", "-sample", "72x96"],
    "plasma": ["-seed", "7", "-size", "96x72", "plasma:"],
    "rose16": ["rose:", "+dither", "-colors", "16"],
    "logo2": ["logo:", "-sample", "128x96", "+dither", "-colors", "2"],
}
DEPTHS = (1, 4, 8)


def mean_error(a, b):
    total = sum(abs(x - y) for p, q in zip(a.getdata(), b.getdata()) for x, y in zip(p, q))
    return total / (3 * a.width * a.height)


def pillow_error(im, colors, method):
    return mean_error(im, im.quantize(colors, method=method, dither=Image.Dither.NONE).convert("RGB"))


def main(folder):
    os.makedirs(folder, exist_ok=True)
    lines = []
    for name, source in PICTURES.items():
        path = os.path.join(folder, name + ".bmp")
        subprocess.run(["/usr/bin/convert", *source, "-type", "TrueColor", "BMP3:" + path], check=True)
        im = Image.open(path).convert("RGB")
        for bits in DEPTHS:
            errors = [pillow_error(im, 1 << bits, m) for m in (Image.Quantize.MEDIANCUT, Image.Quantize.FASTOCTREE)]
            lines.append("%s %d %.4f %.4f\n" % (name, bits, *errors))
    with open(os.path.join(folder, "pillow_errors.txt"), "w") as f:
        f.writelines(lines)


if __name__ == "__main__":
    main(sys.argv[1] if len(sys.argv) > 1 else
         os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "data", "reduce"))
