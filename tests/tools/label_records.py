#!/usr/bin/env python3
"""Reference records of the text label object in game save data.

Prints one line per save version: the version, the record as that version stores it (hex), and
the record in the newest form of what a reader of that version gets. The control part is laid
out by scene_records.py; the label fields follow (little-endian):
  font name (int32 byte count and bytes); int32 font height, line space; byte style; int32 alpha,
  font colour; flags alignment, antialias, mirror x, mirror y; angle (from 143 a 10-byte x87
  extended float in radians, before an int32 in 1/255 of a turn); zoom x (143 extended, before
  an int32 in 1/256); the text, every line ended by CR LF; from 104: on-idle, source, flags
  repeat and auto-scrap, on-play-end, flag paused, zoom y (143 extended, before an int32 in
  1/256); before 104 zoom y stays 1.0.
The reader lays the text out again, so the control's size as read is the laid-out size times the
zoom: NATURAL is the size of TEXT in the test's font service (12-pixel glyphs advancing 8, two
lines 12 + 2 apart). Extended floats are built as image_records.py builds them (ctypes.c_longdouble,
and the full turn from its sign, exponent and 64-bit mantissa)."""
import struct

from image_records import TWO_PI, extended
from scene_records import NEWEST, as_read, control, flag, i32, new, string

VERSIONS = (103, 124, 142, 143, NEWEST)
TEXT = "AB\r\nC\r\n"
NATURAL = (16, 28)


# Zoom x 384 (1.5), zoom y 192 (0.75), angle 255 (a full turn) as integers before 143.
LABEL = {"font": "ＭＳ 明朝", "height": 12, "linespace": 2, "style": 5, "alpha": 300, "color": 0x3366CC,
         "halign": 1, "antialias": True, "fliph": True, "flipv": False, "angle": (255, TWO_PI),
         "zoomx": (384, extended(1.5)), "text": TEXT, "onidle": "idle", "source": "move.vmt", "repeat": True,
         "autoscrap": False, "onplayend": "ended", "paused": True, "zoomy": (192, extended(0.75))}
NEW_LABEL = {"onidle": "", "source": "", "repeat": False, "autoscrap": False, "onplayend": "", "paused": False,
             "zoomy": (256, extended(1.0))}


def zoomed(natural, zoom):
    return max(1, round(natural * zoom))


def control_of(zoomy):
    return new(None, name="caption", priority=2, left=10, top=20, width=zoomed(NATURAL[0], 1.5),
               height=zoomed(NATURAL[1], zoomy), offx=3, offy=4, visible=True, ignoremouse=1)


def label(f, v):
    out = string(f["font"]) + i32(f["height"]) + i32(f["linespace"]) + struct.pack("<B", f["style"])
    out += i32(f["alpha"]) + i32(f["color"]) + struct.pack("<B", f["halign"])
    out += flag(f["antialias"]) + flag(f["fliph"]) + flag(f["flipv"])
    out += f["angle"][1] if v >= 143 else i32(f["angle"][0])
    out += f["zoomx"][1] if v >= 143 else i32(f["zoomx"][0])
    out += string(f["text"])
    if v >= 104:
        out += string(f["onidle"]) + string(f["source"]) + flag(f["repeat"]) + flag(f["autoscrap"])
        out += string(f["onplayend"]) + flag(f["paused"])
        out += f["zoomy"][1] if v >= 143 else i32(f["zoomy"][0])
    return out


def main():
    stored_control = control_of(0.75)
    for v in VERSIONS:
        read_label = dict(LABEL, **(NEW_LABEL if v < 104 else {}))
        read_control = control_of(0.75 if v >= 104 else 1.0)
        stored = control(stored_control[1], v) + label(LABEL, v)
        read = control(as_read(read_control, v)[1], NEWEST) + label(read_label, NEWEST)
        print(v, stored.hex(), read.hex())


if __name__ == "__main__":
    main()
