#!/usr/bin/env python3
"""BMP fixtures and their reference pixels (Pillow).

make DIR   writes one file per kind into DIR and prints, per file, "name width height pixels":
           the pixels as Pillow decodes the file, RGB hex top row first.
corpus DIR writes the files of make and a few broken ones: the seed corpus of fuzz/bmp_read.cpp.
read FILE  prints "width height pixels" of FILE as Pillow decodes it.

Pillow writes the kinds it can write (1, 8, 24 and 32 bits); the others are laid out here byte
by byte, and Pillow still decodes every file, so the reference never comes from our own layout.
"""
import io
import struct
import sys

from dibrows import pack_row

try:
    from PIL import Image
except ImportError:  # an interpreter of its own (pyenv, venv) beside Debian's python3-pil
    sys.path.append("/usr/lib/python3/dist-packages")
    from PIL import Image

W, H = 7, 5  # odd sizes so that rows need padding


def colour(x, y):
    return ((x * 37 + y * 11) & 255, (x * 13 + y * 53) & 255, (x * 91 + y * 7) & 255)


def index(x, y, bits):
    return (x * 3 + y * 5) % (1 << bits)


def palette(count):
    return [((i * 67) & 255, (i * 29 + 5) & 255, (i * 151) & 255) for i in range(count)]


def bmp(width, height, bits, data, table=(), compression=0, masks=None, core=False, colours_used=0, gap=b""):
    """gap: bytes between the colour table and the pixels, which the file header's offset skips."""
    if core:
        info = struct.pack("<IHHHH", 12, width, height, 1, bits)
        quads = b"".join(bytes((b, g, r)) for r, g, b in table)
    else:
        info = struct.pack("<IiiHHIIiiII", 40, width, height, 1, bits, compression,
                           len(data) if compression in (1, 2) else 0, 0, 0, colours_used, 0)
        quads = b"".join(bytes((b, g, r, 0)) for r, g, b in table)
    if masks:
        info += struct.pack("<III", *masks)
    offset = 14 + len(info) + len(quads) + len(gap)
    return b"BM" + struct.pack("<IHHI", offset + len(data), 0, 0, offset) + info + quads + gap + data


def indexed(bits, topdown=False, core=False, gap=b"", entries=0):
    """entries: a colour table of that many entries (colours used), else a full one."""
    rows = [pack_row([index(x, y, bits) for x in range(W)], bits) for y in range(H)]
    data = b"".join(rows if topdown else rows[::-1])
    return bmp(W, -H if topdown else H, bits, data, palette(entries or 1 << bits), core=core,
               colours_used=entries, gap=gap)


def packed(bits, pack, masks=None):
    rows = [pack_row([pack(*colour(x, y)) for x in range(W)], bits) for y in range(H)][::-1]
    return bmp(W, H, bits, b"".join(rows), compression=3 if masks else 0, masks=masks)


# Pillow 9.4 misreads deltas and odd RLE4 absolute runs, so these use neither (the tests check
# those by hand), nor empty lines, and it wants the last row full: runs, absolute runs padded
# to even offsets, line ends before and at the row end, the end.
def rle8():
    data = bytes([3, 9, 0, 3, 1, 2, 3, 0, 1, 250, 0, 0,  2, 0, 5, 7, 0, 0,
                  0, 4, 10, 20, 30, 40, 0, 0,  7, 33, 0, 0,  7, 200, 0, 1])
    return bmp(W, H, 8, data, palette(256), compression=1, colours_used=256)


def rle4():
    data = bytes([3, 0x12, 0, 4, 0x34, 0x56, 0, 0,  7, 0xAB, 0, 0,
                  0, 6, 0x12, 0x34, 0x56, 0, 0, 0,  3, 0xEF, 0, 0,  7, 0xCD, 0, 1])
    return bmp(W, H, 4, data, palette(16), compression=2)


def from_pillow(mode):
    img = Image.new("RGB", (W, H))
    img.putdata([colour(x, y) for y in range(H) for x in range(W)])
    if mode == "RGBA":
        img = img.convert("RGBA")
        img.putalpha(128)
    elif mode != "RGB":
        img = img.convert(mode)
    out = io.BytesIO()
    img.save(out, "BMP")
    return out.getvalue()


def fixtures():
    return {
        "bits1.bmp": from_pillow("1"),
        "bits4.bmp": indexed(4),
        "bits8.bmp": from_pillow("P"),
        "grey8.bmp": from_pillow("L"),
        "bits16.bmp": packed(16, lambda r, g, b: (r >> 3) << 10 | (g >> 3) << 5 | b >> 3),
        "bits16-565.bmp": packed(16, lambda r, g, b: (r >> 3) << 11 | (g >> 2) << 5 | b >> 3,
                                 (0xF800, 0x7E0, 0x1F)),
        "bits24.bmp": from_pillow("RGB"),
        "bits32.bmp": from_pillow("RGBA"),
        "bits32-fields.bmp": packed(32, lambda r, g, b: r << 16 | g << 8 | b, (0xFF0000, 0xFF00, 0xFF)),
        "topdown8.bmp": indexed(8, topdown=True),
        "gap8.bmp": indexed(8, gap=bytes(range(1, 23))),
        "table300.bmp": indexed(8, entries=300),
        "os2-4.bmp": indexed(4, core=True),
        "os2-8.bmp": indexed(8, core=True),
        "rle8.bmp": rle8(),
        "rle4.bmp": rle4(),
    }


# Pillow refuses colour tables of more than 256 entries; such a file is checked against the same
# picture with the first 256 of them.
def reference_of(name, data):
    return indexed(8) if name == "table300.bmp" else data


def broken():
    black = [(0, 0, 0)] * 256
    return {
        "broken-huge": bmp(30000, 30000, 8, b"\0" * 1024),
        "broken-rle-run": bmp(4, 2, 8, bytes([5, 1, 0, 1]), black, compression=1),
        "broken-rle-delta": bmp(4, 2, 8, bytes([0, 2, 1, 3, 0, 1]), black, compression=1),
        "broken-truncated": fixtures()["bits24.bmp"][:-9],
        "broken-masks": packed(32, lambda r, g, b: r << 24 | g << 4 | b << 16, (0xFF000000, 0xFF0, 0xFF0000)),
    }


def describe(data):
    img = Image.open(io.BytesIO(data)).convert("RGB")
    return "%d %d %s" % (img.width, img.height, img.tobytes().hex())


def main():
    if sys.argv[1] == "corpus":
        for name, data in {**fixtures(), **broken()}.items():
            with open(sys.argv[2] + "/" + name, "wb") as f:
                f.write(data)
    elif sys.argv[1] == "make":
        for name, data in fixtures().items():
            with open(sys.argv[2] + "/" + name, "wb") as f:
                f.write(data)
            print(name, describe(reference_of(name, data)))
    else:
        for name in sys.argv[2:]:
            with open(name, "rb") as f:
                print(describe(f.read()))


main()
