#!/usr/bin/env python3
"""Reference records of the list box and the selection menu in game save data, built field by
field with struct.

Usage: menu_records.py list|menu. Prints one line per save version, as scene_records.py does: the
version, the record as that version stores it (hex), and the record in the newest form of what a
reader of that version gets. With "corpus FOLDER", writes the fuzz seeds of menu_record_read
there instead (the first byte of each picks the save version: 100 + byte % 45).

Layouts (little-endian; strings and flags as in scene_records.py):
  label settings: int32 antialias level (before 109 0/1 read as 0, others as 3), margin, alpha,
                  font size; face; int32 colour, border colour; byte style; 212 bytes of outline
                  metrics; int32 shadow size, shadow colour (122)
  list: control; normal label settings, hover label settings; text; int32 line space, alpha,
        margin x, margin y, border width, border colour, row count; nine times border source,
        byte horizontal and byte vertical alignment; scroll source, check source; int32 top
        index; one byte skipped (before 104); byte alignment; one byte per item (its check
        mark); on-select; flag paused; int32 index, open state; on-idle (131); on-map-in,
        on-map-out (134)
  menu: list; int32 delay, hover colour; flags auto-scrap, right-click scrap; byte play state;
        on-opening, on-opened, on-closing, on-closed
The reader lays the list out again: in the test's font service (12-pixel glyphs advancing 8, each
character 2 wider per pixel of border) the three items with the normal border 1 are 50 wide at
most and a row is 14 high, so the list is 60 x 45 with the margins and widths below; the record
holds that size."""
import os
import struct
import sys

import scene_records as sr
from scene_records import flag, i32, string

NEWEST = sr.NEWEST
VERSIONS = (103, 104, 108, 109, 121, 122, 130, 131, 133, 134, NEWEST)
METRICS = bytes(i * 5 % 251 for i in range(212))


def u8(v):
    return struct.pack("<B", v)


def settings(f, v):
    out = i32(f["level"]) + i32(f["margin"]) + i32(f["alpha"]) + i32(f["size"]) + string(f["face"])
    out += i32(f["color"]) + i32(f["bordercolor"]) + u8(f["style"]) + METRICS
    if v >= 122:
        out += i32(f["shadow"]) + i32(f["shadowcolor"])
    return out


def settings_as_read(f, v):
    read = dict(f)
    if v < 109:
        read["level"] = 0 if f["level"] in (0, 1) else 3
    if v < 122:
        read["shadow"], read["shadowcolor"] = 0, 0
    return read


NORMAL = dict(level=2, margin=1, alpha=200, size=12, face="ＭＳ ゴシック", color=0x123456, bordercolor=0x654321,
              style=1, shadow=0, shadowcolor=0x00FF00)
HOVER = dict(level=1, margin=0, alpha=200, size=12, face="ＭＳ ゴシック", color=0x00FFFF, bordercolor=0,
             style=4, shadow=0, shadowcolor=0x0000FF)
SOURCES = ["tl.png", "", "tr.png", "", "c.png", "", "", "bc.png", ""]
LIST = dict(
    normal=NORMAL, hover=HOVER, text="Yes\r\nNo\r\nMaybe", ints=(5, 200, 3, 4, 2, 0xFF, 2),
    pieces=[(s, i % 3, (i + 1) % 3) for i, s in enumerate(SOURCES)], scroll="scroll.png", check="check.png",
    top=1, halign=1, flags=(1, 0, 1), onselect="sel.vsb", paused=False, index=2, openstate=0,
    onidle="idle.vsb", onmapin="in.vsb", onmapout="out.vsb")
MENU = dict(delay=250, hovercolor=0x00FF00, autoscrap=True, rclickscrap=True, playstate=1,
            handlers=("opening", "opened", "closing", "closed"))
CONTROL = sr.new(None, name="menu", priority=3, left=10, top=20, width=60, height=45, handlekey=True)


def list_fields(f, v):
    out = settings(f["normal"], v) + settings(f["hover"], v) + string(f["text"])
    out += b"".join(i32(x) for x in f["ints"])
    out += b"".join(string(s) + u8(h) + u8(va) for s, h, va in f["pieces"])
    out += string(f["scroll"]) + string(f["check"]) + i32(f["top"])
    if v < 104:
        out += u8(0x5A)
    out += u8(f["halign"]) + bytes(f["flags"]) + string(f["onselect"]) + flag(f["paused"])
    out += i32(f["index"]) + i32(f["openstate"])
    if v >= 131:
        out += string(f["onidle"])
    if v >= 134:
        out += string(f["onmapin"]) + string(f["onmapout"])
    return out


def list_as_read(f, v):
    read = dict(f, normal=settings_as_read(f["normal"], v), hover=settings_as_read(f["hover"], v))
    if v < 131:
        read["onidle"] = ""
    if v < 134:
        read["onmapin"] = read["onmapout"] = ""
    return read


def menu_fields(m):
    out = i32(m["delay"]) + i32(m["hovercolor"]) + flag(m["autoscrap"]) + flag(m["rclickscrap"])
    return out + u8(m["playstate"]) + b"".join(string(h) for h in m["handlers"])


def record(kind, control, fields, v):
    out = sr.record(control, v) + list_fields(fields, v)
    return out + menu_fields(MENU) if kind == "menu" else out


def lines(kind):
    for v in VERSIONS:
        stored = record(kind, CONTROL, LIST, v)
        read = record(kind, sr.as_read(CONTROL, v), list_as_read(LIST, v), NEWEST)
        yield v, stored, read


def write_corpus(folder):
    os.makedirs(folder, exist_ok=True)
    newest = record("menu", CONTROL, LIST, NEWEST)
    seeds = {
        "v103": u8(3) + record("menu", CONTROL, LIST, 103),
        "v131": u8(31) + record("menu", CONTROL, LIST, 131),
        "newest": u8(NEWEST - 100) + newest,
        "closing": u8(NEWEST - 100) + record("menu", CONTROL, dict(LIST, openstate=201), NEWEST),
        "cut-in-flags": u8(NEWEST - 100) + newest[:len(newest) // 2],
        "huge-text": u8(NEWEST - 100) + sr.record(CONTROL, NEWEST) + settings(NORMAL, NEWEST) * 2 + i32(0x7FFFFFFF),
    }
    for name, data in seeds.items():
        with open(os.path.join(folder, name), "wb") as out:
            out.write(data)


def main():
    if sys.argv[1:2] == ["corpus"]:
        write_corpus(sys.argv[2])
        return
    for v, stored, read in lines(sys.argv[1]):
        print(v, stored.hex(), read.hex())


if __name__ == "__main__":
    main()
