#!/usr/bin/env python3
"""TGA, icon and cursor fixtures and the pixels they must load as.

make DIR      writes the files into DIR and prints one line per file:
              "name rgba W H pixels": 8-digit "rrggbbaa" per pixel, top row first, a transparent
              pixel as 00000000 (Pillow's decoding, or the format's rules where Pillow differs);
              "name words W H pixels": 4-digit 5-6-5 words (16-bit TGAs, from the format's rules);
              "name indexwords W H pixels": 4-digit 5-5-5 words of a 16-bit icon;
              "name empty" for a file that loads as nothing, "name refused" for one that must fail.
corpus DIR    writes the files of make: the seed corpus of fuzz/tga_icon_read.cpp.
pixels FILE.. prints "W H pixels" (rrggbbaa as above) of each file as Pillow decodes it.

Pillow writes the TGAs it can (grey, colour-mapped, 24 and 32 bits, raw and run-length, both
origins); 16-bit and unusual TGAs and every icon are laid out here byte by byte.
"""
import io
import os
import struct
import sys

from dibrows import pack_row
from make_cursor_fixtures import dib, icon_file

try:
    from PIL import Image, IcoImagePlugin
except ImportError:  # an interpreter of its own (pyenv, venv) beside Debian's python3-pil
    sys.path.append("/usr/lib/python3/dist-packages")
    from PIL import Image, IcoImagePlugin

W, H = 7, 5


def rgba_hex(pixels):
    return "".join("00000000" if a == 0 else "%02x%02x%02x%02x" % (r, g, b, a) for r, g, b, a in pixels)


def pillow_pixels(im):
    im = im.convert("RGBA")
    return "%d %d %s" % (im.width, im.height, rgba_hex(im.getdata()))


def colour(x, y):
    # runs of equal pixels, so that run-length files hold both kinds of packet
    return ((x // 3 * 90 + y * 11) & 255, (y * 53) & 255, (x // 3 * 120 + 7) & 255)


def tga(kind, width, height, depth, rows, descriptor=0x20, cmap=None, image_id=b"", footer=b""):
    """rows: the stored bytes after the header and colour map; cmap: (first, entry bits, bytes)."""
    first, bits, data = cmap or (0, 0, b"")
    count = len(data) // ((bits + 7) // 8) if cmap else 0
    head = struct.pack("<BBBHHBHHHHBB", len(image_id), 1 if cmap else 0, kind, first, count, bits,
                       0, 0, width, height, depth, descriptor)
    return head + image_id + data + rows + footer


def tga_footer(extension=0, developer=0):
    return struct.pack("<II", extension, developer) + b"TRUEVISION-XFILE.\0"


def widen(w):
    return (w & 0x1F) | ((w & 0x7FE0) << 1) | (w & 0x20)


def fill555(w):
    def f(c):
        return c | 7 if c & 8 else c
    return f((w & 0x7C00) >> 7), f((w & 0x3E0) >> 2), f((w & 31) << 3)


def pillow_tga(mode, origin, rle):
    im = Image.new("RGB", (W, H))
    im.putdata([colour(x, y) for y in range(H) for x in range(W)])
    if mode == "L":
        im = im.convert("L")
    elif mode == "P":
        im = im.quantize(colors=12)
    elif mode == "RGBA":
        im.putalpha(Image.new("L", (W, H)))
        im.putdata([colour(x, y) + ((x * 40 + y * 9) & 255,) for y in range(H) for x in range(W)])
    out = io.BytesIO()
    im.save(out, "TGA", compression="tga_rle" if rle else None, orientation=origin)
    return out.getvalue()


def make(folder, corpus=False):
    files = []  # (name, bytes, line after the name)

    def rgba(name, data):
        files.append((name, data, "rgba " + pillow_pixels(Image.open(io.BytesIO(data)))))

    # ---- TGA ----
    for mode in ("RGB", "RGBA", "L", "P"):
        for origin in (-1, 1):
            for rle in (False, True):
                rgba("%s%s%s.tga" % (mode.lower(), "-top" if origin > 0 else "", "-rle" if rle else ""),
                     pillow_tga(mode, origin, rle))

    # Mirrored origins (right-bottom and right-top), and an ID field.
    raw = b"".join(bytes((b, g, r)) for y in range(H) for x in range(W) for r, g, b in [colour(x, y)])
    rgba("mirror.tga", tga(2, W, H, 24, raw, 0x10, image_id=b"id"))
    rgba("mirror-top.tga", tga(2, W, H, 24, raw, 0x30))

    # 16 bits (and 15): 5-5-5 words become 5-6-5, green's low bit a copy of bit 5.
    words = [(x * 4373 + y * 977) & 0xFFFF for y in range(H) for x in range(W)]
    stored = b"".join(struct.pack("<H", w) for w in words)
    shown = "words %d %d %s" % (W, H, "".join("%04x" % widen(w) for w in words))
    files.append(("w16-top.tga", tga(2, W, H, 16, stored, 0x20, footer=tga_footer()), shown))
    files.append(("w15-top.tga", tga(2, W, H, 15, stored, 0x20), shown))
    # Run-length 16 bits: one literal packet of W pixels per row, the last packet claims 100 more.
    packets = b"".join(bytes((W - 1,)) + stored[2 * W * y:2 * W * (y + 1)] for y in range(H - 1))
    packets += bytes((0x80 | 127,)) + stored[2 * W * (H - 1):2 * W * (H - 1) + 2]
    last = "%04x" % widen(words[W * (H - 1)])
    files.append(("w16-rle-top.tga", tga(10, W, H, 16, packets, 0x20),
                  "words %d %d %s" % (W, H, shown.split()[3][:4 * W * (H - 1)] + last * W)))

    # A map of 5-5-5 entries starting at 250: the entries past 255 are passed over.
    entries = [0x7C00 | i for i in range(10)]
    cmap = (250, 16, b"".join(struct.pack("<H", e) for e in entries))
    index = [250 + (x + y) % 6 for y in range(H) for x in range(W)]
    files.append(("map555.tga", tga(1, W, H, 8, bytes(index), 0x20, cmap=cmap),
                  "rgba %d %d %s" % (W, H, rgba_hex(fill555(entries[i - 250]) + (255,) for i in index))))
    # Grey without a colour map: a grey level per byte.
    grey = bytes((x * 40 + y) & 255 for y in range(H) for x in range(W))
    files.append(("grey-nomap.tga", tga(3, W, H, 8, grey, 0x20),
                  "rgba %d %d %s" % (W, H, rgba_hex((v, v, v, 255) for v in grey))))

    files.append(("type32.tga", tga(32, W, H, 8, grey), "empty"))
    files.append(("depth12.tga", tga(2, W, H, 12, grey), "refused"))
    files.append(("short.tga", tga(2, W, H, 24, raw[:-1]), "refused"))
    files.append(("huge.tga", tga(2, 16000, 16000, 32, raw), "refused"))
    # The run-length data ends at the extension area: the packets after it do not count.
    half = packets[:len(packets) // 2]
    files.append(("rle-ext.tga", tga(10, W, H, 16, half + packets, 0x20,
                                     footer=tga_footer(extension=18 + len(half))), "refused"))

    # ---- Icons and cursors ----
    def grid(f, w=W, h=H):
        return [[f(x, y) for x in range(w)] for y in range(h)]

    def table(count):
        return [((i * 67) & 255, (i * 29 + 5) & 255, (i * 151) & 255) for i in range(count)]

    def pillow_icon(name, data, reference=None):
        """reference: the same images as an icon file, for Pillow reads no cursor directory."""
        reference = reference or data
        ico = IcoImagePlugin.IcoFile(io.BytesIO(reference))
        first = struct.unpack_from("<I", reference, 18)[0]
        im = ico.frame([e["offset"] for e in ico.entry].index(first))
        files.append((name, data, "rgba " + pillow_pixels(im)))

    mask = grid(lambda x, y: 1 if (x + 2 * y) % 5 == 0 else 0)
    # Two images: the first (32 bits, alpha 0 where masked) loads, not the larger second one.
    argb = grid(lambda x, y: 0 if mask[y][x] else ((x * 30 + y) & 255) << 24 | (x * 20) << 16 | (y * 40) << 8 | 9)
    second = dib(16, 16, 8, grid(lambda x, y: 1, 16, 16), grid(lambda x, y: 0, 16, 16), table(256))
    pillow_icon("two.ico", icon_file([(W, H, 1, 32, dib(W, H, 32, argb, mask)), (16, 16, 1, 8, second)], kind=1))
    # 32 bits with every fourth byte 0: the mask alone gives the opacity (Pillow would show none).
    xrgb = grid(lambda x, y: (x * 20) << 16 | (y * 40) << 8 | 9)
    files.append(("plain32.ico", icon_file([(W, H, 1, 32, dib(W, H, 32, xrgb, mask))], kind=1),
                  "rgba %d %d %s" % (W, H, rgba_hex((0, 0, 0, 0) if mask[y][x] else (x * 20, y * 40, 9, 255)
                                                    for y in range(H) for x in range(W)))))
    pillow_icon("mono.ico", icon_file([(W, H, 1, 1, dib(W, H, 1, grid(lambda x, y: (x + y) & 1), mask,
                                                        [(0, 0, 0), (255, 255, 255)]))], kind=1))
    four = dib(W, H, 4, grid(lambda x, y: (x + y) % 7), mask, table(16))
    pillow_icon("four.cur", icon_file([(W, H, 2, 3, four)]), icon_file([(W, H, 1, 4, four)], kind=1))
    pillow_icon("deep.ico", icon_file([(W, H, 1, 24, dib(W, H, 24, grid(lambda x, y: x * 0x203040 + y), mask))], kind=1))
    # Every index used by an opaque pixel: the masked pixels (the last row) take the entry
    # nearest magenta, (255, 0, 254) here.
    full = table(256)
    full[200] = (255, 0, 254)
    idx = [list(range(16 * y, 16 * y + 16)) for y in range(16)] + [[0] * 16]
    fmask = [[1 if y == 16 else 0 for x in range(16)] for y in range(17)]
    pixels = [(255, 0, 254, 255) if fmask[y][x] else full[idx[y][x]] + (255,) for y in range(17) for x in range(16)]
    files.append(("full.ico", icon_file([(16, 17, 1, 8, dib(16, 17, 8, idx, fmask, full))], kind=1),
                  "rgba 16 17 " + rgba_hex(pixels)))
    w555 = grid(lambda x, y: (x * 3001 + y * 77) & 0x7FFF)
    files.append(("high.ico", icon_file([(W, H, 1, 16, dib(W, H, 16, w555, mask))], kind=1),
                  "indexwords %d %d %s" % (W, H, "".join("%04x" % (0x7C1F if mask[y][x] else w555[y][x])
                                                         for y in range(H) for x in range(W)))))
    bmp = io.BytesIO()
    Image.open(io.BytesIO(pillow_tga("RGB", 1, False))).save(bmp, "BMP")
    rgba("bitmap.ico", bmp.getvalue())

    good = icon_file([(W, H, 1, 24, dib(W, H, 24, grid(lambda x, y: x), mask))], kind=1)
    files.append(("empty-dir.ico", struct.pack("<HHH", 0, 1, 0), "refused"))
    files.append(("far-offset.ico", good[:18] + struct.pack("<I", len(good)) + good[22:], "refused"))
    files.append(("far-size.ico", good[:14] + struct.pack("<I", len(good)) + good[18:], "refused"))
    png = b"\x89PNG\r\n\x1a\n" + struct.pack(">I", 13) + b"IHDR" + struct.pack(">IIBBBBB", 7, 5, 8, 6, 0, 0, 0)
    files.append(("png.ico", icon_file([(W, H, 1, 32, png + b"\0" * 64)], kind=1), "refused"))

    for name, data, line in files:
        with open(os.path.join(folder, name), "wb") as f:
            f.write(data)
        if not corpus:
            print(name, line)


if __name__ == "__main__":
    if len(sys.argv) == 3 and sys.argv[1] in ("make", "corpus"):
        make(sys.argv[2], sys.argv[1] == "corpus")
    elif len(sys.argv) >= 2 and sys.argv[1] == "pixels":
        for path in sys.argv[2:]:
            print(pillow_pixels(Image.open(path)))
    else:
        sys.exit(__doc__)
