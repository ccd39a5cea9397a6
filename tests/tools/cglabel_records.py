#!/usr/bin/env python3
"""Reference records of the character-image label in game save data, built field by field with
struct.

Usage: cglabel_records.py. Prints one line per save version, as scene_records.py does: the version,
the record as that version stores it (hex), and the record in the newest form of what a reader of
that version gets.

Layout (little-endian; strings and flags as in scene_records.py):
  cglabel: control; source, text, map text; int32 glyph width, glyph height, line space; flag
           paused; byte horizontal alignment; int32 alpha; on-idle (125)"""
import struct

import scene_records as sr
from scene_records import flag, i32, string

NEWEST = sr.NEWEST
VERSIONS = (103, 124, 125, NEWEST)

# Each field: (name, save version that first holds it, value of a new object).
FIELDS = [
    ("source", 0, ""), ("text", 0, ""), ("maptext", 0, ""), ("glyphwidth", 0, 1), ("glyphheight", 0, 1),
    ("linespace", 0, 0), ("paused", 0, False), ("halign", 0, 0), ("alpha", 0, 0), ("onidle", 125, "")]


def cglabel(f, v):
    out = string(f["source"]) + string(f["text"]) + string(f["maptext"])
    out += i32(f["glyphwidth"]) + i32(f["glyphheight"]) + i32(f["linespace"])
    out += flag(f["paused"]) + struct.pack("<B", f["halign"]) + i32(f["alpha"])
    if v >= 125:
        out += string(f["onidle"])
    return out


def record(control, fields, v):
    return sr.record(control, v) + cglabel(fields, v)


# Two lines of two and five characters (one of them double-byte) in 8 x 10 cells with 3 pixels
# between the lines: the size the label takes again on loading is 40 x 23.
CONTROL = sr.new(None, name="score", priority=2, left=30, top=40, width=40, height=23, anipaused=True)
LABEL = dict(
    source="digits.png", text="12\r\n3４5:9", maptext="0123456789:４", glyphwidth=8, glyphheight=10, linespace=3,
    paused=True, halign=1, alpha=200, onidle="count.vsb")


def main():
    for v in VERSIONS:
        read = {name: (LABEL[name] if gate <= v else default) for name, gate, default in FIELDS}
        print(v, record(CONTROL, LABEL, v).hex(), record(sr.as_read(CONTROL, v), read, NEWEST).hex())


if __name__ == "__main__":
    main()
