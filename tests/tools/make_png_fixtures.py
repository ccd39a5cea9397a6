#!/usr/bin/env python3
"""PNG fixtures for the PNG reader: a matrix of every colour type and depth, crafted broken files,
and cursor files holding PNG images.

make DIR           writes the files into DIR and prints one line per file:
                   "name decode KEY BACKGROUND": must decode as libpng decodes it; KEY and
                   BACKGROUND are the transparent and background colours the reader must report
                   ($00BBGGRR, or 16777216 + a palette index, -1 for none), from the rules of tRNS
                   and bKGD;
                   "name rgba W H PIXELS": must decode (palette-index grey allowed) to these
                   pixels (8-digit 0xAARRGGBB, top row first), from the rules of the format;
                   "name error TEXT": must fail with the message TEXT;
                   "name cursor W H HOTX HOTY PIXELS": a cursor or icon file whose image must read
                   as Pillow decodes it (8-digit 0xAARRGGBB per pixel, top row first);
                   "name refused": a cursor file whose PNG image must be refused.
corpus DIR         the seed corpus of fuzz/png_read.cpp (small files of each kind, broken ones).
cursor-corpus DIR  cursor files with PNG images for the corpus of fuzz/cursor_read.cpp.

Pillow writes the plain files it can (1, 8 and 16-bit grey, grey with alpha, 8-bit colour with
and without alpha, palettes of 1, 2, 4 and 8 bits) and the PNG-compressed icons; a writer of its own
here (from the PNG standard: struct, zlib) writes everything else: Adam7, 2-bit grey, 16-bit colour,
every tRNS and bKGD form, each row filter type in turn, and the broken files. Every matrix file is
also written with its image data re-cut into IDAT chunks of 1, 7 and 65536 bytes.
"""
import io
import os
import struct
import sys
import zlib

from make_cursor_fixtures import icon_file

try:
    from PIL import Image
except ImportError:  # an interpreter of its own (pyenv, venv) beside Debian's python3-pil
    sys.path.append("/usr/lib/python3/dist-packages")
    from PIL import Image

SIGNATURE = b"\x89PNG\r\n\x1a\n"
CHANNELS = {0: 1, 2: 3, 3: 1, 4: 2, 6: 4}
DEPTHS = {0: (1, 2, 4, 8, 16), 2: (8, 16), 3: (1, 2, 4, 8), 4: (8, 16), 6: (8, 16)}
ADAM7 = ((0, 0, 8, 8), (4, 0, 8, 8), (0, 4, 4, 8), (2, 0, 4, 4), (0, 2, 2, 4), (1, 0, 2, 2), (0, 1, 1, 2))
PALETTE_MARK = 1 << 24


def chunk(kind, data):
    return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))


def ihdr(width, height, depth, ctype, interlace=0, compression=0, filter_method=0):
    return chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, depth, ctype, compression, filter_method, interlace))


def paeth(a, b, c):
    p = a + b - c
    pa, pb, pc = abs(p - a), abs(p - b), abs(p - c)
    return a if pa <= pb and pa <= pc else b if pb <= pc else c


def filtered(kind, row, prior, bpp):
    out = bytearray()
    for i, x in enumerate(row):
        a = row[i - bpp] if i >= bpp else 0
        b = prior[i]
        c = prior[i - bpp] if i >= bpp else 0
        pred = (0, a, b, (a + b) // 2, paeth(a, b, c))[kind]
        out.append((x - pred) & 255)
    return bytes(out)


def pack(pixels, depth):
    """A row of pixels (tuples of samples) as PNG bytes."""
    if depth >= 8:
        return b"".join(s.to_bytes(depth // 8, "big") for p in pixels for s in p)
    out, bits, acc = bytearray(), 0, 0
    for (s,) in pixels:
        acc, bits = acc << depth | s, bits + depth
        if bits == 8:
            out.append(acc)
            acc = bits = 0
    if bits:
        out.append(acc << (8 - bits))
    return bytes(out)


def image_data(image, depth, ctype, interlace, filters=None):
    """The zlib stream of image (rows of pixel tuples); row filters cycle through the five types."""
    height, width = len(image), len(image[0])
    bpp = max(1, CHANNELS[ctype] * depth // 8)
    passes = ADAM7 if interlace else ((0, 0, 1, 1),)
    raw, n = bytearray(), 0
    for x0, y0, dx, dy in passes:
        sub = [row[x0::dx] for row in image[y0::dy]]
        if not sub or not sub[0]:
            continue
        prior = bytes(len(pack(sub[0], depth)))
        for row in sub:
            data = pack(row, depth)
            kind = filters(n) if filters else n % 5
            raw += bytes((kind,)) + filtered(kind, data, prior, bpp)
            prior, n = data, n + 1
    return zlib.compress(bytes(raw), 6)


def png_file(image, depth, ctype, interlace=0, before=b"", plte=None, after_plte=b"", after=b"", idat=None,
             filters=None):
    data = idat if idat is not None else image_data(image, depth, ctype, interlace, filters)
    palette = chunk(b"PLTE", b"".join(bytes(c) for c in plte)) if plte else b""
    return (SIGNATURE + ihdr(len(image[0]), len(image), depth, ctype, interlace) + before + palette + after_plte +
            chunk(b"IDAT", data) + after + chunk(b"IEND", b""))


def chunks(data):
    at, out = 8, []
    while at < len(data):
        (length,) = struct.unpack(">I", data[at:at + 4])
        out.append((data[at + 4:at + 8], data[at + 8:at + 8 + length]))
        at += 12 + length
    return out


def recut(data, size):
    """The same file with its image data cut into IDAT chunks of size bytes."""
    parts = chunks(data)
    stream = b"".join(body for kind, body in parts if kind == b"IDAT")
    out, placed = SIGNATURE, False
    for kind, body in parts:
        if kind != b"IDAT":
            out += chunk(kind, body)
        elif not placed:
            out += b"".join(chunk(b"IDAT", stream[i:i + size]) for i in range(0, len(stream), size))
            placed = True
    return out


def sample(x, y, c, depth):
    """A picture with smooth stretches and noise, so that every filter has work."""
    h = (x * 73856093 ^ y * 19349663 ^ (c + 1) * 83492791) & 0xFFFFFFFF
    h = (h ^ (h >> 13)) * 0x5BD1E995 & 0xFFFFFFFF
    smooth = (x * 9 + y * 5 + c * 60) * ((1 << depth) - 1) // 255
    return (h ^ (h >> 15) if (x // 4 + y // 3) % 2 else smooth) % (1 << depth)


def picture(width, height, ctype, depth, entries=256, key16=False):
    channels = CHANNELS[ctype]
    top = (1 << depth) - 1 if ctype != 3 else min(entries, 1 << depth) - 1

    def value(x, y, c):
        if key16:  # high byte equal to low byte: a key's high byte matches only the key itself
            v = sample(x, y, c, 8)
            return v << 8 | v
        return sample(x, y, c, depth) % (top + 1)
    return [[tuple(value(x, y, c) for c in range(channels)) for x in range(width)] for y in range(height)]


def palette_entries(count):
    return [((i * 67 + 3) & 255, (i * 29 + 5) & 255, (i * 151 + 11) & 255) for i in range(count)]


def pillow_file(image, depth, ctype, plte=None):
    """The plain file as Pillow writes it, or None for a kind it cannot write."""
    height, width = len(image), len(image[0])
    flat = [p for row in image for p in row]
    if ctype == 0 and depth in (1, 8):
        im = Image.new("1" if depth == 1 else "L", (width, height))
        im.putdata([p[0] * (255 if depth == 1 else 1) for p in flat])
    elif ctype == 0 and depth == 16:
        im = Image.new("I;16", (width, height))
        im.putdata([p[0] for p in flat])
    elif ctype in (2, 4, 6) and depth == 8:
        im = Image.new({2: "RGB", 4: "LA", 6: "RGBA"}[ctype], (width, height))
        im.putdata(flat)
    elif ctype == 3:
        im = Image.new("P", (width, height))
        im.putpalette([v for c in plte for v in c])
        im.putdata([p[0] for p in flat])
    else:
        return None
    out = io.BytesIO()
    im.save(out, "PNG", bits=depth) if ctype == 3 else im.save(out, "PNG")
    return out.getvalue()


def matrix():
    """(name, bytes): every colour type at every depth, plain and interlaced."""
    out = []
    for ctype, depths in DEPTHS.items():
        for depth in depths:
            plte = palette_entries(min(256, 1 << depth)) if ctype == 3 else None
            image = picture(13, 11, ctype, depth)
            for interlace in (0, 1):
                name = "c%dd%d%s" % (ctype, depth, "i" if interlace else "")
                data = None if interlace else pillow_file(image, depth, ctype, plte)
                if data is None or ctype == 3 and depth not in (1, 2, 4, 8):
                    data = png_file(image, depth, ctype, interlace, plte=plte)
                out.append((name, data))
    return out


def gray_key(v):
    return v | v << 8 | v << 16


def keyed():
    """(name, bytes, key, background): every tRNS and bKGD form."""
    out = []
    for depth in DEPTHS[0]:
        image = picture(9, 7, 0, depth, key16=depth == 16)
        v = image[2][3][0]
        kept = v >> 8 if depth == 16 else v
        bkgd = (v ^ 1) if depth > 1 else 1 - v
        out.append(("key-g%d" % depth, png_file(image, depth, 0, 0, after_plte=chunk(b"tRNS", struct.pack(">H", v)) +
                                                 chunk(b"bKGD", struct.pack(">H", bkgd))),
                    gray_key(kept), gray_key(bkgd >> 8 if depth == 16 else bkgd)))
    for depth in DEPTHS[2]:
        image = picture(9, 7, 2, depth, key16=depth == 16)
        r, g, b = image[4][5]
        s = (lambda v: v >> 8) if depth == 16 else (lambda v: v)
        out.append(("key-c%d" % depth, png_file(image, depth, 2, 1, after_plte=chunk(b"tRNS", struct.pack(">HHH", r, g, b)) +
                                                 chunk(b"bKGD", struct.pack(">HHH", b, r, g))),
                    s(r) | s(g) << 8 | s(b) << 16, s(b) | s(r) << 8 | s(g) << 16))
    plte = palette_entries(16)
    image = picture(9, 7, 3, 4, entries=16)
    one = bytes([255] * 5 + [0] + [255] * 10)
    out.append(("key-p-one", png_file(image, 4, 3, 0, plte=plte, after_plte=chunk(b"tRNS", one) + chunk(b"bKGD", b"\x07")),
                PALETTE_MARK | 5, PALETTE_MARK | 7))
    table = bytes([0, 128, 255, 0, 60, 200])  # shorter than the palette: the rest is opaque
    out.append(("key-p-table", png_file(image, 4, 3, 1, plte=plte, after_plte=chunk(b"tRNS", table)), -1, -1))
    image = picture(9, 7, 3, 2, entries=4)
    out.append(("key-p2-half", png_file(image, 2, 3, 0, plte=palette_entries(4), after_plte=chunk(b"tRNS", b"\xff\x80")),
                -1, -1))
    return out


def special():
    """(name, bytes, line): files for the reader's options and its handling of odd chunks."""
    out = []
    # 8-bit grey with alpha whose private chunk marks the grey samples as palette indices: with the
    # reader's option, an 8-bit palette image with alpha (libpng sees plain grey with alpha).
    image = [[((x * 5 + y * 3) % 20, (x * 40 + y) & 255) for x in range(11)] for y in range(6)]
    plte = palette_entries(20)
    private = chunk(b"tpNG", b"PNP3\0\1")
    data = png_file(image, 8, 4, 0, before=private, plte=plte)
    out.append(("paletted-greyalpha-plain", data, "decode -1 -1"))
    out.append(("paletted-greyalpha", data, "rgba %d %d %s" % (11, 6, rgba_hex(
        [plte[i] + (a,) for row in image for i, a in row]))))
    # A PLTE of three entries and one stray byte, then a tRNS: the stray byte is no entry, the
    # tRNS is read from its own chunk, indices past the palette read as black.
    image = [[((x + y) % 6,) for x in range(7)] for y in range(3)]
    plte = palette_entries(3)
    data = (SIGNATURE + ihdr(7, 3, 8, 3) + chunk(b"PLTE", b"".join(bytes(c) for c in plte) + b"\x7f") +
            chunk(b"tRNS", b"\x00\xff\xff") + chunk(b"IDAT", image_data(image, 8, 3, 0)) + chunk(b"IEND", b""))
    out.append(("short-plte", data, "rgba 7 3 " + rgba_hex(
        [(plte[i] if i < 3 else (0, 0, 0)) + (0 if i == 0 else 255,) for row in image for (i,) in row])))
    # Colour with sBIT 5,5,5 and 5,6,5: 15- and 16-bit bitmaps when the reader allows them.
    for name, bits in (("sbit555", b"\5\5\5"), ("sbit565", b"\5\6\5")):
        for interlace in (0, 1):
            out.append((name + "i" * interlace, png_file(picture(9, 5, 2, 8), 8, 2, interlace, before=chunk(b"sBIT", bits)),
                        "decode -1 -1"))
    # Every ancillary chunk the reader keeps, some in places where they do not count.
    image = picture(5, 4, 3, 4, entries=16)
    before = (chunk(b"gAMA", struct.pack(">I", 45455)) + chunk(b"sBIT", b"\5\6\5") +
              chunk(b"cHRM", struct.pack(">8I", *range(1, 9))) + chunk(b"gIFg", b"\2\1\0\x30") +
              chunk(b"tIME", struct.pack(">HBBBBB", 2026, 12, 7, 18, 59, 30)) + chunk(b"pHYs", struct.pack(">IIB", 2835, 2834, 1)) +
              chunk(b"tEXt", b"Comment\0first") + chunk(b"tEXt", b"Title\0not kept"))
    after_plte = chunk(b"gAMA", struct.pack(">I", 100000)) + chunk(b"bKGD", b"\x03")
    after = chunk(b"pHYs", struct.pack(">IIB", 1, 1, 0)) + chunk(b"tEXt", b"Comment\0second")
    out.append(("chunks", png_file(image, 4, 3, 0, before=before, plte=palette_entries(16), after_plte=after_plte,
                                   after=after), "decode -1 %d" % (PALETTE_MARK | 3)))
    return out


def rgba_hex(pixels):
    return "".join("%02x%02x%02x%02x" % (a, r, g, b) for r, g, b, a in pixels)


def broken():
    """(name, bytes, message)."""
    image = picture(6, 5, 2, 8)
    good = png_file(image, 8, 2)
    raw = zlib.decompress(chunks(good)[1][1])
    rest = good[8 + 25:]
    bad = bytearray(raw)
    bad[2 * (1 + 6 * 3)] = 5  # filter type 5 on the third row
    bad = bytes(bad)
    out = [("not-png", b"\x89PNG\r\n\x1a\x0b" + good[8:], "PNG LoadStream: Not PNG Format"),
           ("short", good[:5], "PNG LoadStream: Not PNG Format"),
           ("two-ihdr", good[:33] + ihdr(6, 5, 8, 2) + rest, "Read Header(PNG): appear two IHDR")]
    for ctype in (1, 5, 7):
        out.append(("ctype%d" % ctype, SIGNATURE + ihdr(6, 5, 8, ctype) + rest, "Read Header(PNG): Error ColorType"))
    out += [("compression", SIGNATURE + ihdr(6, 5, 8, 2, compression=2) + rest, "Read Header(PNG): not support Compression"),
            ("filter-method", SIGNATURE + ihdr(6, 5, 8, 2, filter_method=2) + rest, "Read Header(PNG): not supprt Filter"),
            ("interlace2", SIGNATURE + ihdr(6, 5, 8, 2, interlace=2) + rest, "Read Header(PNG): not interlace type"),
            ("grey-depth3", SIGNATURE + ihdr(6, 5, 3, 0) + rest, "Read Header(PNG): Error Bitdepth"),
            ("greyalpha-depth4", SIGNATURE + ihdr(6, 5, 4, 4) + rest, "Read Header(PNG): not Use AlphaChannel"),
            ("colour-depth4", SIGNATURE + ihdr(6, 5, 4, 2) + rest, "Read Header(PNG): Error BitDepth"),
            ("palette-depth16", SIGNATURE + ihdr(6, 5, 16, 3) + rest, "Read Header(PNG): Error BitDepth"),
            ("bad-zlib", png_file(image, 8, 2, idat=b"\x78\x9c\xff\xff\xff\xff" + bytes(40)), "PNG LoadStream: Error ZLIB"),
            ("few-rows", png_file(image, 8, 2, idat=zlib.compress(raw[:len(raw) * 3 // 5])), "Read Image (PNG): Read Error"),
            ("filter5", png_file(image, 8, 2, idat=zlib.compress(bad)), "Read Image (PNG): Read Error"),
            ("cut-in-data", good[:-40], "Read Image (PNG): Read Error"),
            ("width0", SIGNATURE + ihdr(0, 5, 8, 2) + rest, "Read Image (PNG): Read Error"),
            ("height0", SIGNATURE + ihdr(6, 0, 8, 2) + rest, "Read Image (PNG): Read Error"),
            ("too-wide", SIGNATURE + ihdr(40000, 1, 8, 2) + rest, "Read Image (PNG): Read Error"),
            ("too-much-for-data", SIGNATURE + ihdr(20000, 20000, 8, 2) + rest, "Read Image (PNG): Read Error"),
            # 89,486,677 pixels of 1 bit, every row stored (11 KB): one row more than the pixel bound.
            ("past-pixel-bound", SIGNATURE + ihdr(32767, 2731, 1, 0) + chunk(b"IDAT", zlib.compress(bytes(2731 * 4097), 9)) +
             chunk(b"IEND", b""), "Read Image (PNG): Read Error")]
    return out


def argb_of_pillow(data):
    im = Image.open(io.BytesIO(data)).convert("RGBA")
    return im.width, im.height, rgba_hex(im.getdata())


def cursors():
    """(name, bytes, width, height, hot x, hot y, pixels)."""
    out = []
    # Pillow's icon writer stores each size as PNG.
    im = Image.new("RGBA", (32, 32))
    im.putdata([((x * 8) & 255, (y * 8) & 255, (x * y) & 255, (x * 16 + y * 3) & 255) for y in range(32) for x in range(32)])
    ico = io.BytesIO()
    im.save(ico, "ICO", sizes=[(32, 32)])
    w, h, pixels = argb_of_pillow(ico.getvalue())
    out.append(("pillow.ico", ico.getvalue(), w, h, w // 2, h // 2, pixels))
    # Cursors laid out here around PNG images: palette with an alpha table, interlaced grey with
    # alpha, and colour with a key.
    palette_png = png_file(picture(20, 12, 3, 4, entries=16), 4, 3, 0, plte=palette_entries(16),
                           after_plte=chunk(b"tRNS", bytes([0, 90, 180, 255, 30])))
    grey_png = png_file(picture(17, 9, 4, 8), 8, 4, 1)
    key_image = picture(8, 8, 2, 8)
    key_png = png_file(key_image, 8, 2, 0, after_plte=chunk(b"tRNS", struct.pack(">HHH", *key_image[2][3])))
    for name, data, hot in (("png-palette.cur", palette_png, (3, 4)), ("png-greyalpha.cur", grey_png, (16, 8)),
                            ("png-key.cur", key_png, (0, 7))):
        w, h, pixels = argb_of_pillow(data)
        out.append((name, icon_file([(w, h, hot[0], hot[1], data)]), w, h, hot[0], hot[1], pixels))
    return out


def refused_cursors():
    """(name, bytes): a PNG image past the cursor's 256-pixel side, and one without image data."""
    wide = png_file(picture(257, 1, 0, 8), 8, 0)
    empty = SIGNATURE + ihdr(4, 4, 8, 6) + chunk(b"IEND", b"")
    return [("png-257.cur", icon_file([(0, 1, 0, 0, wide)])), ("png-nodata.cur", icon_file([(4, 4, 0, 0, empty)]))]


def make(folder):
    lines = []

    def write(name, data, line):
        with open(os.path.join(folder, name), "wb") as f:
            f.write(data)
        lines.append(name + " " + line)

    for name, data in matrix():
        write(name + ".png", data, "decode -1 -1")
        for size in (1, 7, 65536):
            write("%s-idat%d.png" % (name, size), recut(data, size), "decode -1 -1")
    big = picture(211, 97, 6, 16)
    for interlace in (0, 1):
        write("big%d.png" % interlace, png_file(big, 16, 6, interlace), "decode -1 -1")
    for name, data, key, background in keyed():
        write(name + ".png", data, "decode %d %d" % (key, background))
    for name, data, line in special():
        write(name + ".png", data, line)
    for name, data, message in broken():
        write(name + ".png", data, "error " + message)
    for name, data, w, h, hx, hy, pixels in cursors():
        write(name, data, "cursor %d %d %d %d %s" % (w, h, hx, hy, pixels))
    for name, data in refused_cursors():
        write(name, data, "refused")
    print("\n".join(lines))


def corpus(folder):
    files = [(n, d) for n, d in matrix() if n in ("c0d1", "c0d2i", "c2d8", "c3d4i", "c4d16", "c6d8i")]
    files += [(n, d) for n, d, _, _ in keyed() if n in ("key-g2", "key-c16", "key-p-one", "key-p-table")]
    files += [(n, d) for n, d, _ in broken() if n in ("two-ihdr", "bad-zlib", "few-rows", "filter5", "cut-in-data")]
    files.append(("c6d8i-idat7", recut(dict(matrix())["c6d8i"], 7)))
    for name, data in files:
        with open(os.path.join(folder, name + ".png"), "wb") as f:
            f.write(data)


def cursor_corpus(folder):
    for name, data in [c[:2] for c in cursors()] + refused_cursors():
        with open(os.path.join(folder, name), "wb") as f:
            f.write(data)


if __name__ == "__main__":
    modes = {"make": make, "corpus": corpus, "cursor-corpus": cursor_corpus}
    if len(sys.argv) == 3 and sys.argv[1] in modes:
        modes[sys.argv[1]](sys.argv[2])
    else:
        sys.exit(__doc__)
