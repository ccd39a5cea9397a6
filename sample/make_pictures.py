#!/usr/bin/env python3
"""Draws the sample title's pictures as 24-bit BMP files.

    make_pictures.py OUT/NAME.bmp ...

NAME picks the drawing: gradient (colour ramps across and down), shapes (flat discs, bars and a
triangle over a soft background) or noise (smoothed random colours with grain). Every picture is
96 x 72 and drawn from a fixed seed, so each build writes the same bytes.
"""
import math
import os
import random
import struct
import sys

WIDTH, HEIGHT = 96, 72


def clamp(v):
    return max(0, min(255, int(round(v))))


def gradient(rng):
    return [[(clamp(255 * x / (WIDTH - 1)), clamp(255 * y / (HEIGHT - 1)),
              clamp(255 * (1 - (x + y) / (WIDTH + HEIGHT - 2))))
             for x in range(WIDTH)] for y in range(HEIGHT)]


def shapes(rng):
    rows = [[(clamp(40 + y), clamp(60 + x // 2), 120) for x in range(WIDTH)] for y in range(HEIGHT)]
    for _ in range(6):
        cx, cy, r = rng.randrange(WIDTH), rng.randrange(HEIGHT), rng.randrange(6, 20)
        color = (rng.randrange(256), rng.randrange(256), rng.randrange(256))
        for y in range(max(0, cy - r), min(HEIGHT, cy + r + 1)):
            for x in range(max(0, cx - r), min(WIDTH, cx + r + 1)):
                if (x - cx) ** 2 + (y - cy) ** 2 <= r * r:
                    rows[y][x] = color
    for i in range(4):  # bars
        for y in range(8 + 16 * i, 12 + 16 * i):
            for x in range(4, WIDTH // 3):
                rows[y][x] = (255, 255 - 60 * i, 60 * i)
    for y in range(HEIGHT // 2, HEIGHT):  # a triangle standing on the bottom edge
        half = (y - HEIGHT // 2) * 2 // 3
        for x in range(WIDTH * 3 // 4 - half, WIDTH * 3 // 4 + half + 1):
            if 0 <= x < WIDTH:
                rows[y][x] = (250, 250, 240)
    return rows


def noise(rng):
    cell = 12
    gw, gh = WIDTH // cell + 2, HEIGHT // cell + 2
    grid = [[[rng.randrange(256) for _ in range(3)] for _ in range(gw)] for _ in range(gh)]

    def smooth(t):
        return t * t * (3 - 2 * t)

    rows = []
    for y in range(HEIGHT):
        gy, fy = divmod(y, cell)
        ty = smooth(fy / cell)
        row = []
        for x in range(WIDTH):
            gx, fx = divmod(x, cell)
            tx = smooth(fx / cell)
            pixel = []
            for c in range(3):
                top = grid[gy][gx][c] * (1 - tx) + grid[gy][gx + 1][c] * tx
                bottom = grid[gy + 1][gx][c] * (1 - tx) + grid[gy + 1][gx + 1][c] * tx
                pixel.append(clamp(top * (1 - ty) + bottom * ty + rng.gauss(0, 10)))
            row.append(tuple(pixel))
        rows.append(row)
    return rows


DRAWINGS = {"gradient": gradient, "shapes": shapes, "noise": noise}


def bmp24(rows):
    """A bottom-up 24-bit BMP file of rows of (red, green, blue) pixels."""
    height, width = len(rows), len(rows[0])
    stride = (width * 3 + 3) & ~3
    pixels = bytearray()
    for row in reversed(rows):
        line = bytearray()
        for r, g, b in row:
            line += bytes((b, g, r))
        pixels += line + bytes(stride - len(line))
    info = struct.pack("<IiiHHIIiiII", 40, width, height, 1, 24, 0, len(pixels), 2835, 2835, 0, 0)
    header = struct.pack("<2sIHHI", b"BM", 14 + len(info) + len(pixels), 0, 0, 14 + len(info))
    return header + info + bytes(pixels)


def main(paths):
    if not paths:
        sys.exit(__doc__)
    for path in paths:
        name = os.path.splitext(os.path.basename(path))[0]
        if name not in DRAWINGS:
            sys.exit(f"make_pictures: no drawing named {name!r} (known: {', '.join(DRAWINGS)})")
        rng = random.Random(f"vela sample {name}")
        with open(path, "wb") as f:
            f.write(bmp24(DRAWINGS[name](rng)))


if __name__ == "__main__":
    main(sys.argv[1:])
