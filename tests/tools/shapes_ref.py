#!/usr/bin/env python3
"""Filled ellipses and pies drawn by Pillow's ImageDraw, the reference of the 8-bit shape fills.

  shapes_ref.py ellipse W H LEFT TOP RIGHT BOTTOM
  shapes_ref.py pie W H LEFT TOP RIGHT BOTTOM X1 Y1 X2 Y2

The box's right and bottom are exclusive; the pie is swept counter-clockwise on the screen from
the ray through (X1, Y1) to the ray through (X2, Y2), both from the box's centre. Prints the W x H
picture filled with 255 (outline included) as H lines of hexadecimal bytes, then the outline
alone as H more lines."""
import math
import sys

try:
    from PIL import Image, ImageDraw
except ImportError:  # an interpreter of its own (pyenv, venv) beside Debian's python3-pil
    sys.path.append("/usr/lib/python3/dist-packages")
    from PIL import Image, ImageDraw


def draw(kind, w, h, box, radials, fill):
    image = Image.new("L", (w, h), 0)
    pen = ImageDraw.Draw(image)
    # Pillow's box is inclusive.
    xy = [box[0], box[1], box[2] - 1, box[3] - 1]
    if kind == "ellipse":
        pen.ellipse(xy, fill=255 if fill else None, outline=255, width=1)
    else:
        cx, cy = (box[0] + box[2]) / 2, (box[1] + box[3]) / 2
        a1, a2 = (math.degrees(math.atan2(y - cy, x - cx)) for x, y in radials)
        # Pillow sweeps clockwise on the screen from start to end.
        pen.pieslice(xy, a2, a1, fill=255 if fill else None, outline=255, width=1)
    return image


def main():
    kind, w, h = sys.argv[1], int(sys.argv[2]), int(sys.argv[3])
    box = [int(v) for v in sys.argv[4:8]]
    values = [int(v) for v in sys.argv[8:12]]
    radials = [(values[0], values[1]), (values[2], values[3])] if kind == "pie" else None
    for fill in (True, False):
        image = draw(kind, w, h, box, radials, fill)
        for y in range(h):
            print(bytes(image.getpixel((x, y)) for x in range(w)).hex())


if __name__ == "__main__":
    main()
