#!/usr/bin/env python3
"""Reference records of the slider, the scrollbar and the gauge in game save data, built field
by field with struct.

Usage: control_records.py KIND (slider, scrollbar or gauge). Prints one line per save version, as
scene_records.py does: the version, the record as that version stores it (hex), and the record in
the newest form of what a reader of that version gets.

Layouts (little-endian; strings and flags as in scene_records.py):
  slider:    control; source, thumb source, button source; int32 min, max, value, small change,
             alpha; flag paused; byte orientation; on-notify, on-hold, on-release, on-idle; flag
             capture mask (119); int32 bar size (128); int32 capture mask level (144, before 128)
  scrollbar: slider; int32 large change
  gauge:     control; source; int32 min, max, value, alpha; flag paused; byte orientation; int32
             delay, duration; flag reverse; on-idle (125); int32 bar size (128)

The pictures named are nowhere, so a slider lays itself out to 0 x 0, and the vertical gauge
takes the bar size as its height once the version holds it."""
import struct
import sys

from scene_records import NEWEST, control, flag, i32, new, string

VERSIONS = {"slider": (118, 119, 127, 128, 143, NEWEST), "gauge": (124, 125, 127, 128, NEWEST)}
VERSIONS["scrollbar"] = VERSIONS["slider"]


def slider(v, capmask, barsize, caplevel, large=None):
    out = string("no-track.bmp") + string("no-thumb.bmp") + string("no-buttons.bmp")
    out += i32(-5) + i32(50) + i32(70) + i32(3) + i32(200) + flag(True) + struct.pack("<B", 2)
    out += string("n") + string("h") + string("r") + string("i")
    if v >= 119:
        out += flag(capmask)
    if v >= 128:
        out += i32(barsize)
    if v >= 144:
        out += i32(caplevel)
    if large is not None:
        out += i32(large)
    return out


def gauge(v, onidle, barsize):
    out = string("no-bar.bmp") + i32(0) + i32(100) + i32(150) + i32(128) + flag(False) + struct.pack("<B", 2)
    out += i32(500) + i32(300) + flag(True)
    if v >= 125:
        out += string(onidle)
    if v >= 128:
        out += i32(barsize)
    return out


def main():
    kind = sys.argv[1]
    for v in VERSIONS[kind]:
        if kind == "gauge":
            stored = gauge(v, "idle", 30)
            read = gauge(NEWEST, "idle" if v >= 125 else "", 30 if v >= 128 else 0)
            height = 30 if v >= 128 else 0
        else:
            large = 10 if kind == "scrollbar" else None
            stored = slider(v, True, 40, 90, large)
            read = slider(NEWEST, v >= 119, 40 if v >= 128 else 0, 90 if v >= 144 else 128, large)
            height = 0
        fields = dict(name="c", priority=1, left=4, top=6, visible=True)
        stored_control = control(new(None, width=0, height=30, **fields)[1], v)
        read_control = control(new(None, width=0, height=height, **fields)[1], NEWEST)
        print(v, (stored_control + stored).hex(), (read_control + read).hex())


if __name__ == "__main__":
    main()
