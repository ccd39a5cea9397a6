#!/usr/bin/env python3
"""GIF fixtures for the GIF codec, and Pillow's decode of any GIF file.

make DIR          writes the fixtures into DIR (committed in tests/data/gif; made with
                  /usr/bin/python3 tests/tools/make_gif_fixtures.py make tests/data/gif):
                  - pil-*.gif by Pillow: tables of 1 to 8 bits, global and local tables,
                    transparency, every disposal method, loop counts, comments;
                  - sicle-*.gif by gifsicle: interlace, 8-colour tables, cropped sub-frames of an
                    optimised animation, an unknown application block, a comment of 300 bytes;
                  - bad-*.gif written here with struct: one file for each warning and error of
                    the reader; expect.txt lists what each must give:
                    "NAME error TEXT" or "NAME warn TEXT|TEXT... PIXELS" (the warnings in order,
                    then the first frame's indices in hex).
pillow FILE...    for each file, each frame as Pillow's own LZW decoder reads it:
                  "FILE FRAME LEFT TOP WIDTH HEIGHT INDICES" (indices in hex, rows from the top).
composite FILE    each frame as Pillow composites the animation: "FRAME RGBA-HEX".
"""
import io
import os
import struct
import subprocess
import sys

try:
    from PIL import Image
except ImportError:  # an interpreter of its own (pyenv, venv) beside Debian's python3-pil
    sys.path.append("/usr/lib/python3/dist-packages")
    from PIL import Image


def palette(n, seed=0):
    """n distinct colours."""
    return [((i * 37 + seed) % 256, (i * 91 + 13 * seed) % 256, (i * 53 + 200) % 256) for i in range(n)]


def paletted(width, height, colours, pixel):
    im = Image.new("P", (width, height))
    flat = [c for rgb in colours for c in rgb]
    im.putpalette(flat + [0] * (768 - len(flat)))
    im.putdata([pixel(x, y) for y in range(height) for x in range(width)])
    return im


def save(im, path, **options):
    im.save(path, "GIF", **options)


def pillow_files(folder):
    for bits in range(1, 9):
        n = 1 << bits
        im = paletted(23, 17, palette(n, bits), lambda x, y, n=n: (x * 3 + y * 5 + x * y) % n)
        save(im, os.path.join(folder, f"pil-{bits}bit.gif"), optimize=False, interlace=False)
    frames = [paletted(20, 18, palette(16, s), lambda x, y, s=s: (x + y * s) % 16) for s in range(1, 4)]
    save(frames[0], os.path.join(folder, "pil-local.gif"), save_all=True, append_images=frames[1:],
         duration=[30, 40, 50], loop=3, optimize=False, interlace=False)
    base = palette(8, 7)
    frames = [paletted(16, 16, base, lambda x, y, s=s: (x // 4 + y // 4 + s) % 8) for s in range(5)]
    save(frames[0], os.path.join(folder, "pil-disposal.gif"), save_all=True, append_images=frames[1:],
         duration=[10, 20, 0, 1, 100], disposal=[0, 1, 2, 3, 1], transparency=5, loop=0,
         comment=b"Disposal methods of every kind", optimize=False, interlace=False)


def gifsicle(args, out):
    subprocess.run(["gifsicle", "--no-warnings", *args, "-o", out], check=True)


def gifsicle_files(folder):
    src = os.path.join(folder, "pil-disposal.gif")
    gifsicle(["-i", os.path.join(folder, "pil-8bit.gif")], os.path.join(folder, "sicle-interlaced.gif"))
    gifsicle(["-k", "8", os.path.join(folder, "pil-8bit.gif")], os.path.join(folder, "sicle-8colours.gif"))
    gifsicle(["-O2", src], os.path.join(folder, "sicle-optimised.gif"))
    gifsicle(["--app-extension", "VELATEST1.0", "opaque data", "-c", "x" * 300, "-l5",
              os.path.join(folder, "pil-local.gif")], os.path.join(folder, "sicle-extensions.gif"))


# ---- Crafted files ----

def screen(width, height, colours=4, packed_extra=0):
    bits = max((colours - 1).bit_length(), 1)
    table = b"".join(bytes(c) for c in palette(1 << bits))
    return b"GIF89a" + struct.pack("<HHBBB", width, height, 0x80 | (bits - 1) | packed_extra, 0, 0) + table


def descriptor(width, height, left=0, top=0, packed=0):
    return b"," + struct.pack("<HHHHB", left, top, width, height, packed)


def sub_blocks(data):
    out = b""
    for at in range(0, len(data), 255):
        out += bytes([len(data[at:at + 255])]) + data[at:at + 255]
    return out + b"\0"


def pack_codes(codes, size):
    """Codes of a fixed bit size, least significant bit first."""
    value, bits = 0, 0
    for i, code in enumerate(codes):
        value |= code << bits
        bits += size
    return value.to_bytes((bits + 7) // 8, "little")


def literal_data(indices, min_size=2, extra_codes=()):
    """Pixel data written as literals, a clear before the code size would grow; extra_codes
    are appended (still at the starting size) before the end code."""
    clear, size = 1 << min_size, min_size + 1
    room = (1 << size) - (clear + 2) - 1
    codes = []
    for at in range(0, len(indices), room):
        codes += [clear] + list(indices[at:at + room])
    codes += list(extra_codes) + [clear + 1]
    return bytes([min_size]) + sub_blocks(pack_codes(codes, size))


def frame(width, height, indices, **kw):
    return descriptor(width, height, **kw) + literal_data(indices)


def crafted(folder):
    pixels = [i % 4 for i in range(12)]
    good = screen(4, 3) + frame(4, 3, pixels)
    hexed = bytes(pixels).hex().upper()
    cases = {
        "junk4": (b"JUNK" + good + b";", "warn", [], hexed),
        "junk5": (b"JUNKS" + good + b";", "error", "Invalid GIF signature"),
        "lower": (b"gif12x" + good[6:] + b";", "warn", [], hexed),
        "trailer": (good + b":", "warn", ["Unknown GIF block type", "Invalid Image trailer"], hexed),
        "notrailer": (good, "warn", [], hexed),
        "zeros": (screen(4, 3) + b"\0\0" + frame(4, 3, pixels) + b"\0;", "warn", [], hexed),
        "zerowidth": (screen(4, 3) + frame(0, 3, pixels) + b";", "warn", ["Image exceeds Logical Screen size"], hexed),
        "introducer": (screen(4, 3) + b"!\xfe\x01a\x00" + b"?" + good[len(screen(4, 3)) + 1:] + b";", "warn",
                       ["Invalid extension introducer"], hexed),
        "label": (screen(4, 3) + b"!\x42\x00" + frame(4, 3, pixels) + b";", "error", "Unknown extension type"),
        "appsize": (screen(4, 3) + b"!\xff\x09ABCDEFGHI\x00" + frame(4, 3, pixels) + b";", "error",
                    "Unsupported Application Extension block size"),
        "appbig": (screen(4, 3) + b"!\xff\x0cABCDEFGHIJKL\x00" + frame(4, 3, pixels) + b";", "error",
                   "Unsupported Application Extension block size"),
        "loopshort": (screen(4, 3) + b"!\xff\x0bNETSCAPE2.0" + b"\x02\x01\x05\x00" +
                      frame(4, 3, pixels) + b";", "error", "Invalid GIF data"),
        "gceshort": (screen(4, 3) + b"!\xf9\x04\x01", "warn", ["Premature end of data"], None),
        "loopcut": (screen(4, 3) + b"!\xff\x0bNETSCAPE2.0\x02", "warn", ["Premature end of data"], None),
        "truncated": ((screen(4, 3) + frame(4, 3, pixels))[:-6], "warn", ["Premature end of data",
                      "Decoder bit buffer under-run"], bytes(pixels[:6] + [0] * 6).hex().upper()),
        "forward": (screen(4, 3) + descriptor(4, 3) + literal_data([1, 2], extra_codes=[7]) + b";", "error",
                    "Invalid GIF data"),
        "circular": (screen(4, 3) + descriptor(4, 3) + bytes([2]) + sub_blocks(pack_codes([4, 6, 5], 3)) + b";",
                     "error", "Circular decoder table entry"),
        "hugeframe": (screen(4, 3) + descriptor(40000, 3) + literal_data(pixels) + b";", "error", "Invalid GIF data"),
        "hugescreen": (screen(40000, 3) + frame(4, 3, pixels) + b";", "error", "Invalid GIF data"),
    }
    lines = []
    for name, case in cases.items():
        with open(os.path.join(folder, f"bad-{name}.gif"), "wb") as f:
            f.write(case[0])
        if case[1] == "error":
            lines.append(f"bad-{name}.gif error {case[2]}")
        else:
            lines.append(f"bad-{name}.gif warn {'|'.join(case[2])} {case[3] or '-'}")
    with open(os.path.join(folder, "expect.txt"), "w") as f:
        f.write("\n".join(lines) + "\n")


# ---- Pillow's decodes ----

def pillow_frames(path):
    data = open(path, "rb").read()
    im = Image.open(io.BytesIO(data))
    for i in range(getattr(im, "n_frames", 1)):
        im.seek(i)
        tile = im.tile[0]
        x0, y0, x1, y1 = tile[1]
        w, h = x1 - x0, y1 - y0
        decoder = Image._getdecoder("P", "gif", (tile[3][0], tile[3][1], -1))
        out = Image.core.fill("P", (w, h), 0)
        decoder.setimage(out, (0, 0, w, h))
        decoder.decode(data[tile[2]:])
        decoder.cleanup()
        indices = bytes(out.getpixel((x, y)) for y in range(h) for x in range(w))
        print(os.path.basename(path), i, x0, y0, w, h, indices.hex().upper())


def composite(path):
    im = Image.open(path)
    for i in range(getattr(im, "n_frames", 1)):
        im.seek(i)
        print(i, im.convert("RGBA").tobytes().hex())


def main():
    command, args = sys.argv[1], sys.argv[2:]
    if command == "make":
        os.makedirs(args[0], exist_ok=True)
        pillow_files(args[0])
        gifsicle_files(args[0])
        crafted(args[0])
    elif command == "pillow":
        for path in args:
            pillow_frames(path)
    elif command == "composite":
        composite(args[0])
    else:
        sys.exit(__doc__)


if __name__ == "__main__":
    main()
