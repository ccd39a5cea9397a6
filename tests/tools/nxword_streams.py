#!/usr/bin/env python3
"""Reference compiled texts and document settings records, built with struct.

Without arguments, prints one line per compiled text: its name, the offset of its glyph count,
the stream in hex. Every text holds the same glyphs:
  "A" (style 0); "あ" (style 1, link "lk", wait 40); align 3; return with clear; indent; undent;
  event "\\x01fin" (an end event); event "go"; a kind-8 byte (no such glyph, no body);
  image (link "", wait 7, "pic.png", align 4); variable (style 1, from 101 wait 9 and link "v",
  then "  @Name " as text from 102, an empty compiled expression before); "B" with the kind's
  high bit set (style 0); from 102 a history text (style 0, wait 0, link "", "昔の話").
A last line "saved102" holds version 102's text as its glyphs write themselves back.
Style 0: count 2, colour -1, border colour -1, size 0, style 0, no-break 0, border 0 (flag 0 /
size 0), face "", ruby "", shadow 0 and 0. Style 1: count 2, colour 0x0000FF, border colour
0x00FF00, size 20, style 5, no-break 1, border (flag 1 before 100, else 3), face "ＭＳ 明朝",
ruby "るび", from 100 shadow size 2 and shadow colour 0x123456.

"settings" prints one line per save version (109, 110, 111, 141): the version, the document
settings record in hex. "corpus FOLDER" writes the fuzz seeds there."""
import os
import struct
import sys


def sjis(text):
    return text.encode("cp932")


def string(data):
    return struct.pack("<i", len(data)) + data


def style(version, count, colour, border_colour, size, bits, nobreak, border, face, ruby, shadow, shadow_colour):
    out = struct.pack("<4i", count, colour, border_colour, size) + struct.pack("<BB", bits, nobreak)
    out += struct.pack("<B", 1 if border else 0) if version < 100 else struct.pack("<i", border)
    out += string(sjis(face)) + string(sjis(ruby))
    if version >= 100:
        out += struct.pack("<ii", shadow, shadow_colour)
    return out


def char(code, style_index, link=b"", wait=0, kind=1):
    return struct.pack("<B", kind) + string(link) + struct.pack("<iHi", wait, code, style_index)


def variable(version, kind, style_index, text):
    out = struct.pack("<Bi", kind, style_index)
    if version >= 101:
        out += struct.pack("<i", 9) + string(b"v")
    out += string(sjis(text)) if version >= 102 else struct.pack("<i", 0)
    return out


def compiled(version, saved=False):
    """The stream and the offset of its glyph count; saved: as the glyphs write themselves back
    (no kind-8 byte, the plain kind byte, the variable's text trimmed)."""
    out = b"" if version == 0 else b"NxWord%03d" % version
    out += struct.pack("<i", 2)
    out += style(version, 2, -1, -1, 0, 0, 0, 0, "", "", 0, 0)
    out += style(version, 2, 0x0000FF, 0x00FF00, 20, 5, 1, 3, "ＭＳ 明朝", "るび", 2, 0x123456)
    offset = len(out)
    glyphs = [
        char(0x41, 0),
        char(0x82A0, 1, b"lk", 40),
        struct.pack("<BB", 2, 3),
        struct.pack("<BB", 3, 1),
        struct.pack("<B", 4),
        struct.pack("<B", 5),
        struct.pack("<B", 6) + string(b"\x01fin"),
        struct.pack("<B", 6) + string(b"go"),
    ] + ([] if saved else [struct.pack("<B", 8)]) + [
        struct.pack("<B", 9) + string(b"") + struct.pack("<i", 7) + string(b"pic.png") + struct.pack("<B", 4),
        variable(version, 7, 1, "@Name" if saved else "  @Name "),
        char(0x42, 0, kind=1 if saved else 0x81),
    ]
    if version >= 102:
        glyphs.append(struct.pack("<Bi", 10, 0) + struct.pack("<i", 0) + string(b"") + string(sjis("昔の話")))
    out += struct.pack("<I", len(glyphs)) + b"".join(glyphs)
    return out, offset


def settings(version):
    out = struct.pack("<3i", 10, 20, 24) + string(sjis("ＭＳ 明朝"))
    out += struct.pack("<5i", 0x112233, 300, 400, 2, 4) + struct.pack("<B", 1)
    out += struct.pack("<5i", 0x0000FF, 0x00FF00, 50, 0x404040, 300) + struct.pack("<B", 1)
    out += struct.pack("<3i", 33, 44, 128) + struct.pack("<B", 1)
    if version >= 110:
        out += struct.pack("<i", 0x00ABCD)
    if version >= 111:
        out += struct.pack("<ii", 2, 3)
    if version >= 141:
        out += struct.pack("<B", 0)
    return out


def write_corpus(folder):
    os.makedirs(folder, exist_ok=True)
    seeds = {"v%d" % v: compiled(v)[0] for v in (0, 100, 101, 102)}
    seeds["short"] = compiled(102)[0][:60]
    seeds["bad_index"] = b"NxWord102" + struct.pack("<iI", 0, 1) + char(0x41, 5)
    seeds["huge_count"] = b"NxWord102" + struct.pack("<iI", 0, 0xFFFFFFF0) + b"\x04"
    unused = style(102, 0, -1, -1, 0, 0, 0, 0, "", "", 0, -1) + style(102, 1, 0xFF, -1, 0, 0, 0, 0, "", "", 0, -1)
    seeds["unused_style"] = b"NxWord102" + struct.pack("<i", 2) + unused + struct.pack("<I", 1) + char(0x41, 1)
    seeds["bad_digits"] = b"NxWordx1z" + struct.pack("<iI", 0, 0)
    for name, data in seeds.items():
        with open(os.path.join(folder, name), "wb") as f:
            f.write(data)


def main():
    if sys.argv[1:2] == ["corpus"]:
        write_corpus(sys.argv[2])
    elif sys.argv[1:2] == ["settings"]:
        for version in (109, 110, 111, 141):
            print(version, settings(version).hex())
    else:
        for version in (0, 100, 101, 102):
            data, offset = compiled(version)
            print("v%d" % version, offset, data.hex())
        data, offset = compiled(102, saved=True)
        print("saved102", offset, data.hex())


if __name__ == "__main__":
    main()
