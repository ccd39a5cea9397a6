#!/usr/bin/env python3
"""Cursor file fixtures (".cur", ".ico", ".ani") and the images they stand for.

make DIR   writes the files into DIR and prints one line per file:
           "name width height hotx hoty pixels" for a file that must load, the pixels as
           8-digit hexadecimal 0xAARRGGBB values, top row first;
           "name refused" for a file that must be refused.

Each file is laid out byte by byte from an intended picture (colour, alpha and mask per pixel),
and the printed pixels come from that picture and the rules of the format, not from a reader:
a masked pixel is transparent (0), or opaque black when its colour is not black (a screen
inversion, which a colour cursor cannot show); a 32-bit pixel keeps its alpha byte unless
every alpha byte of the image is 0, when only the mask counts.
"""
import os
import struct
import sys

from dibrows import pack_row


def dib(width, height, bits, colour_rows, mask_rows, table=(), colours_used=0):
    """colour_rows: per row (top first) the stored values; mask_rows: per row 0/1 values."""
    header = struct.pack("<IiiHHIIiiII", 40, width, height * 2, 1, bits, 0, 0, 0, 0, colours_used, 0)
    quads = b"".join(struct.pack("<BBBB", b, g, r, 0) for r, g, b in table)
    colour = b"".join(pack_row(row, bits) for row in reversed(colour_rows))
    mask = b"".join(pack_row(row, 1) for row in reversed(mask_rows))
    return header + quads + colour + mask


def icon_file(images, kind=2):
    """images: (directory width, directory height, hot x, hot y, image bytes)."""
    out = struct.pack("<HHH", 0, kind, len(images))
    offset = 6 + 16 * len(images)
    body = b""
    for w, h, hx, hy, data in images:
        out += struct.pack("<BBBBHHII", w & 255, h & 255, 0, 0, hx, hy, len(data), offset + len(body))
        body += data
    return out + body


def expected(colours, alphas, masks, use_alpha):
    """The ARGB picture: colours 0xRRGGBB, alphas (or None), masks 0/1, per row."""
    out = []
    for y, row in enumerate(colours):
        for x, rgb in enumerate(row):
            if masks[y][x]:
                out.append(0 if use_alpha or rgb == 0 else 0xFF000000)
            else:
                out.append(((alphas[y][x] if use_alpha else 255) << 24) | rgb)
    return "".join("%08x" % v for v in out)


def grid(width, height, f):
    return [[f(x, y) for x in range(width)] for y in range(height)]


def palette(count):
    return [((i * 67) & 255, (i * 29 + 5) & 255, (i * 151) & 255) for i in range(count)]


def rgb_of(entry):
    r, g, b = entry
    return r << 16 | g << 8 | b


def indexed(width, height, bits, index, mask, used=0):
    """An indexed image; entry 0 of the table is black so that masked index-0 pixels vanish."""
    table = palette(used or 1 << bits)
    table[0] = (0, 0, 0)
    idx = grid(width, height, index)
    masks = grid(width, height, mask)
    data = dib(width, height, bits, idx, masks, table, used)
    colours = [[rgb_of(table[i]) if i < len(table) else 0 for i in row] for row in idx]
    return data, expected(colours, None, masks, False)


def direct(width, height, bits, colour, alpha, mask):
    colours = grid(width, height, colour)
    alphas = grid(width, height, alpha)
    masks = grid(width, height, mask)
    stored = [[c | a << 24 for c, a in zip(cr, ar)] for cr, ar in zip(colours, alphas)] if bits == 32 else colours
    use_alpha = bits == 32 and any(a for row in alphas for a in row)
    return dib(width, height, bits, stored, masks), expected(colours, alphas, masks, use_alpha)


def chunk(ident, data):
    return ident + struct.pack("<I", len(data)) + data + b"\0" * (len(data) & 1)


def make(folder):
    files = []  # (name, bytes, line after the name)

    def loads(name, data, width, height, hx, hy, pixels):
        files.append((name, data, "%d %d %d %d %s" % (width, height, hx, hy, pixels)))

    # A 16 x 16 one-bit image first, then the 32 x 32 eight-bit one the reader must choose.
    small, _ = indexed(16, 16, 1, lambda x, y: (x ^ y) & 1, lambda x, y: 0)
    big, big_pixels = indexed(32, 32, 8, lambda x, y: (x * 7 + y * 3) % 256 if (x + y) % 5 else 0,
                              lambda x, y: 1 if (x + y) % 5 == 0 or x < 2 else 0)
    loads("cur8.cur", icon_file([(16, 16, 1, 1, small), (32, 32, 5, 7, big)]), 32, 32, 5, 7, big_pixels)

    # No 32 x 32 image: the largest (24 x 20, 32 bits with alpha) wins over an 8 x 8 one.
    tiny, _ = indexed(8, 8, 4, lambda x, y: x % 16, lambda x, y: 0)
    alpha, alpha_pixels = direct(24, 20, 32, lambda x, y: (x * 10) << 16 | (y * 12) << 8 | (x + y),
                                 lambda x, y: (x * 11 + y * 3) & 255, lambda x, y: 1 if x == y else 0)
    loads("cur32.cur", icon_file([(8, 8, 0, 0, tiny), (24, 20, 3, 4, alpha)]), 24, 20, 3, 4, alpha_pixels)

    # 32 bits with every alpha byte 0: the mask alone decides.
    plain, plain_pixels = direct(9, 6, 32, lambda x, y: 0x102030 + x, lambda x, y: 0, lambda x, y: 1 if y == 0 else 0)
    loads("cur32plain.cur", icon_file([(9, 6, 8, 5, plain)]), 9, 6, 8, 5, plain_pixels)

    # One bit, odd width: black, white, transparent, and inversions (mask and white) as black.
    mono, mono_pixels = indexed(13, 9, 1, lambda x, y: (x + 2 * y) % 3 == 0, lambda x, y: x % 2)
    loads("cur1.cur", icon_file([(13, 9, 12, 0, mono)]), 13, 9, 12, 0, mono_pixels)

    # Four bits with a short table (10 entries): index 10 and above read as black.
    four, four_pixels = indexed(7, 5, 4, lambda x, y: (x + y * 3) % 12, lambda x, y: 0, used=10)
    loads("cur4.cur", icon_file([(7, 5, 1, 2, four)]), 7, 5, 1, 2, four_pixels)

    # 24 bits, rows padded; a hot spot stored outside the image is moved inside.
    deep, deep_pixels = direct(5, 3, 24, lambda x, y: (x * 50) << 16 | (y * 80) << 8 | 7, lambda x, y: 0,
                               lambda x, y: 1 if (x, y) == (4, 2) else 0)
    loads("cur24.cur", icon_file([(5, 3, 40, 1, deep)]), 5, 3, 4, 1, deep_pixels)

    # An icon file: no hot spot stored, the centre is taken.
    ico, ico_pixels = indexed(10, 6, 8, lambda x, y: x + y, lambda x, y: 0)
    loads("icon.ico", icon_file([(10, 6, 1, 8, ico)], kind=1), 10, 6, 5, 3, ico_pixels)

    # An animated cursor: the header, an odd-sized chunk (padded), an INFO list, then the frames;
    # the first frame counts.
    first, first_pixels = indexed(16, 16, 8, lambda x, y: x * 16 + y, lambda x, y: 1 if y > 13 else 0)
    second, _ = indexed(16, 16, 8, lambda x, y: 3, lambda x, y: 0)
    anih = struct.pack("<9I", 36, 2, 2, 0, 0, 0, 0, 10, 1)
    frames = chunk(b"icon", icon_file([(16, 16, 2, 3, first)])) + chunk(b"icon", icon_file([(16, 16, 0, 0, second)]))
    body = (b"ACON" + chunk(b"anih", anih) + chunk(b"junk", b"abc") +
            chunk(b"LIST", b"INFO" + chunk(b"INAM", b"spin\0")) + chunk(b"LIST", b"fram" + frames))
    loads("anim.ani", b"RIFF" + struct.pack("<I", len(body)) + body, 16, 16, 2, 3, first_pixels)
    # Published cursors whose RIFF size is the file length, or that less 4, instead of less 8.
    for name, stated in (("anim-size-file.ani", len(body) + 8), ("anim-size-less4.ani", len(body) + 4)):
        loads(name, b"RIFF" + struct.pack("<I", stated) + body, 16, 16, 2, 3, first_pixels)

    # An image stored as PNG that holds no image data: refused.
    png = b"\x89PNG\r\n\x1a\n" + struct.pack(">I", 13) + b"IHDR" + struct.pack(">IIBBBBB", 32, 32, 8, 6, 0, 0, 0)
    files.append(("png.cur", icon_file([(32, 32, 0, 0, png + b"\0" * 64)]), "refused"))

    for name, data, line in files:
        with open(os.path.join(folder, name), "wb") as f:
            f.write(data)
        print(name, line)


if __name__ == "__main__":
    if len(sys.argv) == 3 and sys.argv[1] == "make":
        make(sys.argv[2])
    else:
        sys.exit(__doc__)
