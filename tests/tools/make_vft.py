#!/usr/bin/env python3
"""Packed pixel-font files (".vft") of a procedural dot font, and broken variants of them.

font OUT [--face NAME] [--size N] [--style BITS] [--unlisted]
              writes one font: ASCII 0x20..0x7E and the characters of EXTRA, at cell height N
              (default 16), under the face NAME (default FACE, a face no system has installed).
fixtures DIR  writes the files the reader's tests load and prints one line per glyph of
              good.vft: "code W H originX originY incX incY". Files:
                good.vft         face FACE, size 10, listed; "A" is 5 wide (rows of 8 bytes)
                same_key.vft     another file of FACE at size 10, underlined, not bold, not italic
                code_twice.vft   face "X": "A" and then "B" stored under the code of "A"
                bold.vft         FACE at size 10, bold
                length_byte.vft  good.vft with a length byte before the magic
                short_index.vft  good.vft cut inside its index
                few_records.vft  an index that holds one record fewer than the header counts
                short_pixels.vft good.vft without the last byte of its last glyph ("漢")
                too_many.vft     65,536 glyphs, one more than a code map can tell from "no glyph"
corpus DIR    writes small files for the reader's fuzz harness.

Pixel (x, y) of a glyph, y counted from the top row, has the coverage 255 where
(x // 2 + y // 2 + code) is even, else y: dots of 2 x 2 pixels on a ramp. A space is a 1 x 1
glyph of coverage 0. Glyphs are W = size // 2 wide (single-byte codes) or W = size (double-byte
codes), H = size high; the origin is (0, ascent), ascent = size - size // 4; the increment is
W + 1, a space's size // 2.
"""
import argparse
import os
import struct
import sys
import zlib

FACE = "ドット試験体"
EXTRA = "あ漢"
MAGIC = b"VelaPixelFont\0"


def coverage(code, x, y):
    return 255 if (x // 2 + y // 2 + code) % 2 == 0 else y


def codes():
    result = list(range(0x20, 0x7F))
    for ch in EXTRA:
        result.append(int.from_bytes(ch.encode("cp932"), "big"))
    return result


def glyph(code, size):
    """(W, H, originX, originY, incX, incY, pixel rows bottom row first)."""
    ascent = size - size // 4
    if code == 0x20:
        return 1, 1, 0, ascent, size // 2, 0, b"\0\0\0\0"
    w = size // 2 if code < 0x100 else size
    h = size
    stride = (w + 3) // 4 * 4
    rows = []
    for y in range(h):
        row = bytes(coverage(code, x, y) for x in range(w))
        rows.append(row + bytes(stride - w))
    return w, h, 0, ascent, w + 1, 0, b"".join(reversed(rows))


def outline_metrics(size):
    """The 212-byte outline text metrics record of the face at this size."""
    ascent = size - size // 4
    record = bytearray(212)
    struct.pack_into("<I", record, 0, 212)
    struct.pack_into("<iii", record, 4, size, ascent, size - ascent)  # tmHeight, tmAscent, tmDescent
    struct.pack_into("<Ii", record, 180, max(1, size // 12), ascent // 2 + 1)  # strike-out size, position
    struct.pack_into("<ii", record, 188, max(1, size // 12), -1)  # underscore size, position
    return bytes(record)


def font(face=FACE, size=10, style=0, listed=True, glyph_codes=None, extra_records=(), stored={}):
    """The bytes of a file and its glyphs [(code, W, H, ox, oy, ix, iy)]."""
    glyphs = []
    records = []
    pixels = b""
    for code in glyph_codes if glyph_codes is not None else codes():
        w, h, ox, oy, ix, iy, data = glyph(code, size)
        records.append(struct.pack("<HHHhhhhI", stored.get(code, code), w, h, ox, oy, ix, iy, len(pixels)))
        glyphs.append((code, w, h, ox, oy, ix, iy))
        pixels += data
    records.extend(extra_records)
    index = zlib.compress(b"".join(records))
    name = face.encode("cp932")
    assert len(name) < 64
    header = struct.pack("<III64siB7xI", 308, len(index), 18 * len(records), name, size, style, len(records))
    header += outline_metrics(size) + bytes([1 if listed else 0]) + bytes(3)
    assert len(header) == 308
    return MAGIC + header + index + pixels, glyphs


def with_count(data, count):
    return data[:14 + 88] + struct.pack("<I", count) + data[14 + 92:]


def fixtures(folder):
    good, glyphs = font()
    index_size = struct.unpack_from("<I", good, 18)[0]
    files = {
        "good.vft": good,
        "same_key.vft": font(style=4, listed=False, glyph_codes=[0x41])[0],
        "code_twice.vft": font(face="X", glyph_codes=[0x41, 0x42], stored={0x42: 0x41})[0],
        "bold.vft": font(style=1, glyph_codes=[0x41])[0],
        "length_byte.vft": bytes([13]) + good,
        "short_index.vft": good[:322 + index_size // 2],
        "few_records.vft": with_count(good, len(glyphs) + 1),
        "short_pixels.vft": good[:-1],
        "too_many.vft": font(glyph_codes=[0x41], extra_records=[struct.pack("<HHHhhhhI", 0x42, 5, 10, 0, 8, 6, 0, 0)] * 65535)[0],
    }
    for name, data in files.items():
        with open(os.path.join(folder, name), "wb") as f:
            f.write(data)
    for g in glyphs:
        print(" ".join(str(v) for v in g))


def corpus(folder):
    small = [0x20, 0x41, 0x82A0]
    files = {
        "good": font(glyph_codes=small)[0],
        "bold_italic": font(size=4, style=3, glyph_codes=[0x41, 0x41])[0],
        "empty": font(glyph_codes=[])[0],
        "short_pixels": font(glyph_codes=small)[0][:-3],
        "huge_box": font(glyph_codes=[], extra_records=[struct.pack("<HHHhhhhI", 0x41, 40000, 2, 0, 0, 0, 0, 0)])[0],
    }
    for name, data in files.items():
        with open(os.path.join(folder, name), "wb") as f:
            f.write(data)


def main(argv):
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    commands = parser.add_subparsers(dest="command", required=True)
    one = commands.add_parser("font")
    one.add_argument("out")
    one.add_argument("--face", default=FACE)
    one.add_argument("--size", type=int, default=16)
    one.add_argument("--style", type=int, default=0)
    one.add_argument("--unlisted", action="store_true")
    for name in ("fixtures", "corpus"):
        commands.add_parser(name).add_argument("folder")
    args = parser.parse_args(argv)
    if args.command == "font":
        with open(args.out, "wb") as f:
            f.write(font(args.face, args.size, args.style, not args.unlisted)[0])
    elif args.command == "fixtures":
        fixtures(args.folder)
    else:
        corpus(args.folder)


if __name__ == "__main__":
    main(sys.argv[1:])
