#!/usr/bin/env python3
"""Reference records of the preview menu in game save data, built field by field with struct:
the control's record (scene_records.py) of a menu "pm" of 64 x 32, then the menu's own part at
each side of its three flag gates.

The menu's own part: source; flags auto-scrap, right-click scrap, paused; on-map-in, on-map-out,
on-idle, on-select, on-play-end; the enabled flags (127), the visible flags (132), the down
flags (136), each as an int32 count and one byte per entry. The menu described: source
"menu.xml", right-click scrap on, the handlers "in", "out", "idle", "sel", "end", enabled 1 0 1 1,
visible 1 1 1 0, down 0 0 1 1.

Prints "VERSION HEX" per line.
"""
import struct

import scene_records as sr

NEWEST = sr.NEWEST
VERSIONS = (126, 127, 131, 132, 135, 136, NEWEST)


def flags(values):
    return struct.pack("<i", len(values)) + bytes(values)


def record(version):
    control = sr.new(None, name="pm", width=64, height=32)
    out = sr.record(control, version)
    out += sr.string("menu.xml") + bytes([0, 1, 0])
    out += b"".join(sr.string(t) for t in ("in", "out", "idle", "sel", "end"))
    for gate, values in ((127, [1, 0, 1, 1]), (132, [1, 1, 1, 0]), (136, [0, 0, 1, 1])):
        if version >= gate:
            out += flags(values)
    return out


if __name__ == "__main__":
    for v in VERSIONS:
        print(v, record(v).hex())
