#!/usr/bin/env python3
"""An independent reader and writer of Mira images, made from the file format alone.

  mira_ref.py make CASE FILE   writes the sample CASE (see CASES) to FILE and prints the
                               identification code it is read with, then its frames composed
  mira_ref.py read FILE CODE   reads a Mira file of either form under the identification code
                               and prints its header and its frames composed
  mira_ref.py header FILE      prints the inflated XML header of an XML-form file
  mira_ref.py corpus FOLDER    writes every sample (and damaged variants) into FOLDER

A composed frame prints as the line "frame WIDTH HEIGHT BITS TRANSPIXEL", a line of its pixel
values (rows from the top, decimal, raw values of the bitmap) and a line of its alpha values or
"none". Frame images are composed over the background colour from the visible layers: the
first one with an alpha plane in use gives the frame its alpha; later alpha layers are drawn
through their alpha (0 and 255 only in these samples); an opaque layer without a colour key (or
the first, when NotFillBG) is copied; others are drawn with their key at their opacity (the
blend of 24-bit pixels: (d * (255 - a) + s * a) // 255 per channel)."""
import struct
import subprocess
import sys
import zlib
from pathlib import Path

from dibrows import pack_row

MASK = 0xFFFFFFFF


# ---- The shuffle ----

def shuffled(n, seed):
    """order[i]: where stored unit i belongs; a generator state := state * 5 + seed draws the
    (state mod left)-th of the values left."""
    pool, state, order = list(range(n)), 0, []
    for _ in range(n):
        state = (state * 5 + seed) & MASK
        order.append(pool.pop(state % len(pool)))
    return order


# ---- Images: packed rows from the top, as the bitmap keeps them ----

def row_bytes(width, bits):
    return (width * bits + 31) // 32 * 4


def unpack_row(row, width, bits):
    if bits >= 8:
        step = bits // 8
        return [int.from_bytes(row[x * step:x * step + step], "little") for x in range(width)]
    per = 8 // bits
    return [row[x // per] >> (8 - bits * (x % per + 1)) & ((1 << bits) - 1) for x in range(width)]


class Image:
    def __init__(self, width, height, bits, values=None):
        self.width, self.height, self.bits = width, height, bits
        values = values or [0] * (width * height)
        self.rows = [bytearray(pack_row(values[y * width:(y + 1) * width], bits)) for y in range(height)]

    def values(self):
        return [v for row in self.rows for v in unpack_row(row, self.width, self.bits)]

    def span(self, x, width):
        """Whole bytes of pixels x .. x + width - 1 of a row."""
        return x * self.bits // 8, (width * self.bits + 7) // 8


# ---- Planes ----

def blocks_of(width, height, bw, bh):
    nx, ny = -(-width // bw), -(-height // bh)
    for k in range(nx * ny):
        x, y = k % nx * bw, k // nx * bh
        yield k, x, y, min(bw, width - x), min(bh, height - y)


def encode_rows(image, seed):
    order = shuffled(image.height, seed)
    return b"".join(bytes(image.rows[order[i]]) for i in range(image.height))


def encode_blocks(image, bw, bh, table, seed):
    """table: (A, B) per block in block order; the pixels of the blocks with A = -1 follow it."""
    order = shuffled(len(table), seed)
    out = b"".join(struct.pack("<ii", *table[order[i]]) for i in range(len(table)))
    for k, x, y, w, h in blocks_of(image.width, image.height, bw, bh):
        if table[k][0] == -1:
            start, length = image.span(x, w)
            out += b"".join(bytes(image.rows[y + r][start:start + length]) for r in range(h))
    return out


class Reader:
    """Places the planes of one file into images; frames[a][b] holds (image, alpha) of layer b."""

    def __init__(self, data, code):
        self.data, self.pos, self.code, self.frames = data, 0, code, []

    def take(self, fmt):
        values = struct.unpack_from("<" + fmt, self.data, self.pos)
        self.pos += struct.calcsize("<" + fmt)
        return values if len(values) > 1 else values[0]

    def raw(self, n):
        if n < 0 or self.pos + n > len(self.data):
            raise ValueError("short")
        out = self.data[self.pos:self.pos + n]
        self.pos += n
        return out

    def plane(self, image, header, is_alpha, frame, layer):
        """Fills image from the next plane; False for an empty plane."""
        stored = self.raw(self.take("i"))
        if not stored:
            return False
        size = len(image.rows[0]) * image.height
        if header["Version"] < 103:
            raw = len(stored) == size
            content = stored if raw else zlib.decompress(stored)
            self.place_rows(image, content, self.code if raw else 0)
            return True
        if header["CompType"] == 2 and not is_alpha:
            width, height, rgb = from_ppm(subprocess.run(["djpeg", "-ppm"], input=stored, capture_output=True,
                                                         check=True).stdout)
            if (width, height, image.bits) != (image.width, image.height, 24):
                raise ValueError("JPEG planes are read into 24-bit layers of their size only")
            image.rows = Image(width, height, 24, [r << 16 | g << 8 | b for r, g, b in rgb]).rows
            return True
        content = zlib.decompress(stored) if header["CompType"] in (0, 2) else stored
        if not content:
            return False
        seed = self.code if header["Randomized"] and header["CompType"] != 2 else 0
        if header["CompType"] == 2 or header["BlockWidth"] <= 0 or header["BlockHeight"] <= 0:
            self.place_rows(image, content, seed)
        else:
            self.place_blocks(image, content, header["BlockWidth"], header["BlockHeight"], seed, is_alpha)
        return True

    @staticmethod
    def place_rows(image, content, seed):
        n = len(image.rows[0])
        if len(content) < n * image.height:
            raise ValueError("short plane")
        for i, y in enumerate(shuffled(image.height, seed)):
            image.rows[y][:] = content[i * n:(i + 1) * n]

    def place_blocks(self, image, content, bw, bh, seed, is_alpha):
        blocks = list(blocks_of(image.width, image.height, bw, bh))
        table = [None] * len(blocks)
        for i, k in enumerate(shuffled(len(blocks), seed)):
            table[k] = struct.unpack_from("<ii", content, 8 * i)
        pos, nx = 8 * len(blocks), -(-image.width // bw)
        for k, x, y, w, h in blocks:
            a, b = table[k]
            start, length = image.span(x, w)
            if a == -1:
                for r in range(h):
                    image.rows[y + r][start:start + length] = content[pos:pos + length]
                    pos += length
                if pos > len(content):
                    raise ValueError("short plane")
                continue
            if a == -2:
                source, (sstart, _) = image, image.span(b % nx * bw, w)
                sy = b // nx * bh
            else:
                source, sstart, sy = self.frames[a][b][1 if is_alpha else 0], start, y
            for r in range(h):
                image.rows[y + r][start:start + length] = source.rows[sy + r][sstart:sstart + length]


# ---- JPEG planes, through libjpeg's own programs ----

def to_ppm(image):
    rgb = b"".join(bytes((v >> 16 & 0xFF, v >> 8 & 0xFF, v & 0xFF)) for v in image.values())
    return b"P6\n%d %d\n255\n" % (image.width, image.height) + rgb


def from_ppm(data):
    magic, width, height, top, pixels = data.split(maxsplit=4)
    assert magic == b"P6" and top == b"255"
    width, height = int(width), int(height)
    return width, height, [tuple(pixels[3 * i:3 * i + 3]) for i in range(width * height)]


def jpeg_of(image, quality):
    return subprocess.run(["cjpeg", "-quality", str(quality)], input=to_ppm(image), capture_output=True,
                          check=True).stdout


# ---- Composition ----

def nearest(table, color):
    r, g, b = color & 0xFF, color >> 8 & 0xFF, color >> 16 & 0xFF
    dist = [((q >> 16 & 0xFF) - r) ** 2 + ((q >> 8 & 0xFF) - g) ** 2 + ((q & 0xFF) - b) ** 2 for q in table]
    return dist.index(min(dist))


def background(bits, table, color):
    if bits <= 8:
        return nearest(table, color)
    return (color & 0xFF) << 16 | (color & 0xFF00) | color >> 16 & 0xFF


def is_key(value, key, bits):
    if key < 0:
        return False
    if bits == 24:
        return value == key & 0xFFFFFF
    return value == key


def blend(d, s, a):
    return sum(((d >> c & 0xFF) * (255 - a) + (s >> c & 0xFF) * a) // 255 << c for c in (0, 8, 16))


def compose(width, height, bits, table, bgcolor, not_fill_bg, layers):
    """layers: dicts with image, alpha (Image or None), visible, key, opacity, alpha_on."""
    out = [background(bits, table, bgcolor)] * (width * height)
    frame_alpha, first = None, True
    for i, layer in enumerate(layers):
        if not layer["visible"]:
            continue
        src = layer["image"].values()
        alpha = layer["alpha"].values() if layer["alpha"] else None
        uses_alpha = alpha is not None and layer["alpha_on"]
        if first and uses_alpha:
            frame_alpha = list(alpha)
        if uses_alpha and i > 0:
            out = [s if al == 255 else d for d, s, al in zip(out, src, alpha)]
        elif (layer["key"] < 0 or (first and not_fill_bg)) and layer["opacity"] >= 255:
            out = list(src)
        elif layer["opacity"] >= 255 or layer["opacity"] < 0:
            out = [d if is_key(s, layer["key"], bits) else s for d, s in zip(out, src)]
        elif layer["opacity"] > 0:
            out = [d if is_key(s, layer["key"], bits) else blend(d, s, layer["opacity"]) for d, s in zip(out, src)]
        first = False
    return out, frame_alpha


def print_frame(frame):
    print("frame", frame["width"], frame["height"], frame["bits"], frame["trans"])
    print(" ".join(map(str, frame["pixels"])))
    print(" ".join(map(str, frame["alpha"])) if frame["alpha"] is not None else "none")


# ---- Reading both forms ----

HEADER_FIELDS = [("Version", 200), ("Width", 100), ("Height", 100), ("Bpp", 8), ("Count", 0), ("SyncPal", 0),
                 ("Randomized", 0), ("CompType", 0), ("CompLevel", 0), ("BGColor", 0), ("BlockWidth", 32),
                 ("BlockHeight", 32), ("NotFillBG", 1)]


def bitmap_bits(bpp):
    return 16 if bpp == 15 else bpp


def read_layers(reader, header, frame_no, count, width, height, bpp, layer_attrs):
    layers = []
    reader.frames.append([])
    for j in range(count):
        attrs = layer_attrs(j)
        image, alpha = Image(width, height, bitmap_bits(bpp)), Image(width, height, 8)
        reader.frames[frame_no].append((image, alpha))
        reader.plane(image, header, False, frame_no, j)
        has_alpha = header["Version"] >= 100 and reader.plane(alpha, header, True, frame_no, j)
        layer = dict(image=image, alpha=alpha if has_alpha else None, **attrs)
        if attrs.get("classic") and layer["alpha_on"] and has_alpha:
            layer["key"] = -1
        layers.append(layer)
    return layers


def read_xml(data, code):
    import xml.etree.ElementTree as ET
    (length,) = struct.unpack_from("<i", data, 8)
    text = zlib.decompress(data[12:12 + length])
    root = ET.fromstring(text.decode("cp932").split("?>", 1)[1])
    header = {k: int(root.get(k, d)) for k, d in HEADER_FIELDS}
    reader = Reader(data, code)
    reader.pos = 12 + length
    frames = []
    for i, element in enumerate(list(root)[:header["Count"]]):
        if element.tag != "Frame":
            break
        layers_el = element.find("Layers")
        width, height, bpp = (int(layers_el.get(k, 100 if k != "Bpp" else 8)) for k in ("Width", "Height", "Bpp"))
        rgb = layers_el.findtext("RGB") or ""
        table = [int(rgb[6 * e + 4:6 * e + 6], 16) << 16 | int(rgb[6 * e + 2:6 * e + 4], 16) << 8 |
                 int(rgb[6 * e:6 * e + 2], 16) for e in range(1 << bpp)] if bpp <= 8 else []
        children = [c for c in layers_el if c.tag == "Layer"]

        def attrs(j):
            c = children[j]
            return dict(visible=c.get("Visible", "1") == "1", key=int(c.get("TransColor", -1)),
                        opacity=int(c.get("Alpha", 255)), alpha_on=c.get("AlphaOn", "0") == "1")

        count = int(layers_el.get("Count", 0))
        layers = read_layers(reader, header, i, count, width, height, bpp, attrs)
        pixels, alpha = compose(width, height, bitmap_bits(bpp), table, header["BGColor"], header["NotFillBG"], layers)
        frames.append(dict(width=width, height=height, bits=bitmap_bits(bpp), pixels=pixels, alpha=alpha,
                           trans=int(element.get("TransColor", -1))))
    return header, frames


def read_mira(data, code):
    if data[:5] == b"MiraX":
        if data[5:6].isdigit() and int(data[5:6]) > 2:
            raise ValueError("refused")
        return read_xml(data, code)
    return read_classic(data, code)


def read_classic(data, code):
    reader = Reader(data, code)
    version = 0
    if data[:4] == b"Mira":
        version = int(data[4:7])
        reader.pos = 7
    header = dict(HEADER_FIELDS, Version=version, BGColor=0, NotFillBG=0, Randomized=0, CompType=0)
    if version >= 103:
        size = reader.take("i")
        record = reader.raw(size)[:40].ljust(40, b"\0")
        (header["Version"], _, _, _, header["Count"], _, header["Randomized"], header["CompType"], _,
         header["BGColor"], header["BlockWidth"], header["BlockHeight"], not_fill, _, _) = \
            struct.unpack("<5i4B3i2B2s", record)
        header["NotFillBG"] = not_fill if version >= 105 else 0
    else:
        header["Count"] = reader.take("i")
        reader.raw(1)
        if version >= 102:
            header["BGColor"] = reader.take("i")
    frames = []
    for i in range(header["Count"]):
        name = reader.raw(reader.take("i"))
        trans, _delay, _disposal, _skip, count, width, height, bpp = reader.take("iiB4siiii")
        table = list(struct.unpack_from("<%dI" % (1 << bpp), data, reader.pos)) if bpp <= 8 else []
        reader.pos += 4 * len(table)

        def attrs(j):
            reader.raw(8)
            visible, key, opacity = reader.take("Bii")
            alpha_on = reader.take("B") if header["Version"] >= 101 else 0
            reader.raw(reader.take("i"))
            return dict(visible=visible != 0, key=key, opacity=opacity, alpha_on=alpha_on != 0, classic=True)

        layers = read_layers(reader, header, i, count, width, height, bpp, attrs)
        if header["Version"] >= 104:
            for _ in range(2):
                n = reader.take("i")
                reader.raw(16 * max(n, 0))
        pixels, alpha = compose(width, height, bitmap_bits(bpp), table, header["BGColor"], header["NotFillBG"], layers)
        frames.append(dict(width=width, height=height, bits=bitmap_bits(bpp), pixels=pixels, alpha=alpha,
                           trans=trans, name=name))
    return header, frames


# ---- Writing ----

def plane(content, compress):
    data = zlib.compress(content) if compress else content
    return struct.pack("<i", len(data)) + data


def legacy_plane(image, code, compress):
    """Below version 103: raw rows in the order shuffled by the code, or zlib rows in order."""
    return plane(encode_rows(image, 0), True) if compress else plane(encode_rows(image, code), False)


def name_bytes(text):
    data = text.encode("cp932")
    return struct.pack("<i", len(data)) + data


def classic_file(version, frames, code, bgcolor=0, comp_type=0, randomized=0, blocks=(0, 0), not_fill_bg=0,
                 header_extra=b""):
    """frames: dicts with width, height, bits, table, trans, layers (dicts: image, alpha, visible, key,
    opacity, alpha_on, name, compress or blocks tables); returns the file's bytes."""
    seed = code if randomized else 0
    out = b"" if version == 0 else b"Mira%03d" % version
    if version >= 103:
        record = struct.pack("<5i4B3i2B2x", version, frames[0]["width"], frames[0]["height"], frames[0]["bits"],
                             len(frames), 1, randomized, comp_type, 0, bgcolor, blocks[0], blocks[1], not_fill_bg, 0)
        record += header_extra
        out += struct.pack("<i", len(record)) + record
    else:
        out += struct.pack("<iB", len(frames), 0)
        if version >= 102:
            out += struct.pack("<i", bgcolor)
    for f in frames:
        out += name_bytes(f.get("name", "フレーム"))
        out += struct.pack("<iiB4siiii", f["trans"], f.get("delay", 50), f.get("disposal", 2), b"\0" * 4,
                           len(f["layers"]), f["width"], f["height"], f["bits"])
        if f["bits"] <= 8:
            out += struct.pack("<%dI" % (1 << f["bits"]), *f["table"])
        for layer in f["layers"]:
            out += b"\0" * 8 + struct.pack("<Bii", layer.get("visible", 1), layer.get("key", -1),
                                           layer.get("opacity", 255))
            if version >= 101:
                out += struct.pack("<B", layer.get("alpha_on", 0))
            out += name_bytes(layer.get("name", "レイヤー"))
            planes = [(layer["image"], layer.get("tables"))]
            if version >= 100:
                planes.append((layer.get("alpha"), layer.get("alpha_tables")))
            for image, tables in planes:
                if image is None:
                    out += struct.pack("<i", 0)
                    continue
                if version < 103:
                    out += legacy_plane(image, code, layer.get("compress", True))
                elif tables is not None:
                    out += plane(encode_blocks(image, blocks[0], blocks[1], tables, seed), comp_type == 0)
                else:
                    out += plane(encode_rows(image, seed), comp_type == 0)
        if version >= 104:
            for rects in f.get("rects", ([], [])):
                out += struct.pack("<i", len(rects) if rects is not None else -1)
                for r in rects or []:
                    out += struct.pack("<4i", *r)
    return out


def xml_file(frames, code, count=None, major=2, bgcolor=0, randomized=0, comp_type=0, not_fill_bg=0):
    seed = code if randomized else 0
    head = ('<?xml version="1.0" encoding="Shift_JIS" ?>\r\n\r\n<Frames Version="%d" Width="%d" Height="%d" '
            'Bpp="%d" Count="%d" SyncPal="1" Randomized="%d" CompType="%d" CompLevel="0" BGColor="%d" '
            'BlockWidth="0" BlockHeight="0" NotFillBG="%d">\r\n'
            % (major * 100, frames[0]["width"], frames[0]["height"], frames[0]["bits"],
               len(frames) if count is None else count, randomized, comp_type, bgcolor, not_fill_bg))
    planes = b""
    for f in frames:
        head += ' <Frame Name="%s" TransColor="%d" Delay="50" Disposal="0">\r\n' % (f.get("name", "フレーム"), f["trans"])
        head += '  <Layers Count="%d" Width="%d" Height="%d" Bpp="%d">\r\n' % (
            len(f["layers"]), f["width"], f["height"], f["bits"])
        if f["bits"] <= 8:
            rgb = "".join("%02X%02X%02X" % (q & 0xFF, q >> 8 & 0xFF, q >> 16 & 0xFF) for q in f["table"])
            head += "   <RGB>%s</RGB>\r\n" % (rgb + f.get("rgb_extra", ""))
        for layer in f["layers"]:
            head += ('   <Layer Left="0" Top="0" Visible="%d" TransColor="%d" Alpha="%d" AlphaOn="%d" Name="%s" '
                     'Lock="0" />\r\n' % (layer.get("visible", 1), layer.get("key", -1), layer.get("opacity", 255),
                                          layer.get("alpha_on", 0), layer.get("name", "レイヤー")))
            if comp_type == 2:
                planes += plane(jpeg_of(layer["image"], 85), False)
                planes += plane(encode_rows(layer["alpha"], 0), True) if layer.get("alpha") else b"\0" * 4
            else:
                planes += plane(encode_rows(layer["image"], seed), comp_type == 0)
                planes += plane(encode_rows(layer["alpha"], seed), comp_type == 0) if layer.get("alpha") else b"\0" * 4
        head += "  </Layers>\r\n </Frame>\r\n"
    head += "</Frames>\r\n"
    packed = zlib.compress(head.encode("cp932"))
    return b"MiraX%d00" % major + struct.pack("<i", len(packed)) + packed + planes


# ---- The samples ----

def picture(width, height, bits, salt):
    top = (1 << min(bits, 24)) - 1
    return Image(width, height, bits, [(x * 37 + y * 91 + salt * 53 + (x * y) % 7) * 2654435761 % (top + 1) & top
                                       for y in range(height) for x in range(width)])


def mask(width, height, salt, levels=(0, 255)):
    return Image(width, height, 8, [levels[(x + y * 3 + salt) % len(levels)] for y in range(height) for x in range(width)])


def palette(n):
    return [(i * 41 % 256) << 16 | (i * 97 % 256) << 8 | (i * 13 % 256) for i in range(n)]


def case_v0():
    w, h = 5, 4
    back, top = picture(w, h, 24, 1), picture(w, h, 24, 2)
    key = top.values()[3]
    frame = dict(width=w, height=h, bits=24, trans=-1, layers=[
        dict(image=back, compress=False), dict(image=top, key=key, compress=True)])
    return classic_file(0, [frame], 12345), 12345


def case_v100():
    w, h = 6, 3
    table = palette(256)
    frames = [dict(width=w, height=h, bits=8, table=table, trans=7, layers=[
        dict(image=picture(w, h, 8, s), alpha=mask(w, h, s, (0, 90, 255)), key=5 if s else -1, compress=s % 2 == 0)])
        for s in range(2)]
    return classic_file(100, frames, 99), 99


def case_v101():
    w, h = 4, 5
    layers = [dict(image=picture(w, h, 24, 3), alpha=mask(w, h, 0, (0, 17, 200, 255)), alpha_on=1),
              dict(image=picture(w, h, 24, 4), alpha=mask(w, h, 1), alpha_on=1),
              dict(image=picture(w, h, 24, 5), opacity=100, compress=False),
              dict(image=picture(w, h, 24, 6), opacity=0)]
    return classic_file(101, [dict(width=w, height=h, bits=24, trans=-1, layers=layers)], 4242), 4242


def case_v102():
    w, h = 7, 2
    top = picture(w, h, 32, 8)
    layers = [dict(image=picture(w, h, 32, 7), visible=0), dict(image=top, key=top.values()[2])]
    return classic_file(102, [dict(width=w, height=h, bits=32, trans=-1, layers=layers)], 0, bgcolor=0x00336699), 0


def case_v103():
    """Blocks of 4 x 3 over 10 x 7 (clipped edges): stored, repeated within the plane, repeated
    from layer 0 of frame 0; shuffled table and rows under the code."""
    w, h, bw, bh = 10, 7, 4, 3
    stored = [(-1, 0)] * 9
    later = [(-1, 0), (-2, 0), (0, 0), (-1, 0), (-2, 3), (0, 0), (0, 0), (-2, 4), (-1, 0)]
    alpha_tables = [(-1, 0), (-2, 0), (-1, 0), (0, 0), (-1, 0), (-1, 0), (-2, 3), (-1, 0), (-1, 0)]
    frames = [dict(width=w, height=h, bits=24, trans=-1, layers=[
        dict(image=picture(w, h, 24, 9), tables=stored, alpha=mask(w, h, 2), alpha_tables=stored, alpha_on=1)]),
        dict(width=w, height=h, bits=24, trans=-1, layers=[
            dict(image=picture(w, h, 24, 10), tables=later, alpha=mask(w, h, 3), alpha_tables=alpha_tables,
                 alpha_on=1),
            dict(image=picture(w, h, 24, 11), tables=later, key=0)])]
    return classic_file(103, frames, 777, comp_type=0, randomized=1, blocks=(bw, bh), bgcolor=0x102030,
                        header_extra=b"\x55" * 12), 777


def case_v104():
    """A 4-bit picture in raw blocks three pixels wide (whole bytes copied), and rectangle lists."""
    w, h, bw, bh = 9, 4, 3, 2
    table = palette(16)
    tables = [(-1, 0), (-1, 0), (-2, 0), (-2, 1), (-1, 0), (-1, 0)]
    frame = dict(width=w, height=h, bits=4, table=table, trans=3,
                 rects=([(0, 0, 4, 4), (1, 1, 2, 3)], None),
                 layers=[dict(image=picture(w, h, 4, 12), tables=tables)])
    return classic_file(104, [frame], 5, comp_type=1, blocks=(bw, bh)), 5


def case_v105():
    w, h = 3, 3
    top = picture(w, h, 24, 14)
    layers = [dict(image=picture(w, h, 24, 13), key=picture(w, h, 24, 13).values()[0]), dict(image=top, key=top.values()[4])]
    return classic_file(105, [dict(width=w, height=h, bits=24, trans=-1, layers=layers)], 0, not_fill_bg=1,
                        bgcolor=0xFFFFFF), 0


def case_xml():
    """Count beyond the frames present, an 8-bit table followed by more text, rows shuffled."""
    w, h = 5, 6
    table = palette(256)
    frames = [dict(width=w, height=h, bits=8, table=table, trans=9, rgb_extra="00FF00", name="一",
                   layers=[dict(image=picture(w, h, 8, 15), alpha=mask(w, h, 4, (0, 255)), alpha_on=1),
                           dict(image=picture(w, h, 8, 16), key=3)]),
              dict(width=w, height=h, bits=24, trans=-1, name="二",
                   layers=[dict(image=picture(w, h, 24, 17), opacity=200)])]
    return xml_file(frames, 31337, count=5, randomized=1, bgcolor=0x00FF8040), 31337


def case_xml1():
    """A version 100 document: raw rows stored in the order the code shuffles them."""
    w, h = 4, 6
    frames = [dict(width=w, height=h, bits=24, trans=-1,
                   layers=[dict(image=picture(w, h, 24, 18), alpha=mask(w, h, 5), alpha_on=1)])]
    return xml_file(frames, 2024, major=1, randomized=1, comp_type=1), 2024


def case_jpeg():
    """JPEG image planes (decoded by djpeg) with zlib alpha planes in natural order, though
    Randomized is set."""
    w, h = 13, 9
    frames = [dict(width=w, height=h, bits=24, trans=-1,
                   layers=[dict(image=picture(w, h, 24, 19), alpha=mask(w, h, 6, (0, 100, 255)), alpha_on=1),
                           dict(image=picture(w, h, 24, 20), alpha=mask(w, h, 7), alpha_on=1)])]
    return xml_file(frames, 77, randomized=1, comp_type=2), 77


def case_xml3():
    w, h = 2, 2
    frames = [dict(width=w, height=h, bits=24, trans=-1, layers=[dict(image=picture(w, h, 24, 1))])]
    return xml_file(frames, 0, major=3), 0


CASES = {"v0": case_v0, "v100": case_v100, "v101": case_v101, "v102": case_v102, "v103": case_v103,
         "v104": case_v104, "v105": case_v105, "xml": case_xml, "xml1": case_xml1, "jpeg": case_jpeg, "xml3": case_xml3}


def print_read(data, code):
    try:
        _, frames = read_mira(data, code)
    except ValueError as e:
        print(e)
        return
    for frame in frames:
        print_frame(frame)


def main():
    cmd = sys.argv[1]
    if cmd == "make":
        data, code = CASES[sys.argv[2]]()
        Path(sys.argv[3]).write_bytes(data)
        print(code)
        print_read(data, code)
    elif cmd == "read":
        data = Path(sys.argv[2]).read_bytes()
        header, frames = read_mira(data, int(sys.argv[3]))
        print(" ".join("%s=%d" % (k, header[k]) for k, _ in HEADER_FIELDS))
        for frame in frames:
            print_frame(frame)
    elif cmd == "header":
        data = Path(sys.argv[2]).read_bytes()
        (length,) = struct.unpack_from("<i", data, 8)
        sys.stdout.buffer.write(zlib.decompress(data[12:12 + length]))
    elif cmd == "corpus":
        folder = Path(sys.argv[2])
        folder.mkdir(parents=True, exist_ok=True)
        for name, make in CASES.items():
            data, _ = make()
            (folder / name).write_bytes(data)
            (folder / (name + "-cut")).write_bytes(data[:len(data) * 2 // 3])


if __name__ == "__main__":
    main()
