#!/usr/bin/env python3
"""Reference records of the image map in game save data, built field by field with struct.

Prints one line per save version: the version, the record as that version stores it (hex), and
the record in the newest form of what a reader of that version gets.

After the control (scene_records.py) the map stores: source, hover source, map source (strings:
int32 byte count and the bytes); int32 alpha, brightness; on-map-in, on-map-out; flag auto-scrap,
flag right-click scrap; from 104 on-idle, flag paused, on-select; from 115 int32 selection
state."""
from scene_records import NEWEST, as_read, control, flag, i32, new, string

VERSIONS = (103, 104, 114, 115, NEWEST)


def mapimage(v, onidle, paused, onselect, state):
    out = string("") + string("") + string("nowhere.rgn") + i32(200) + i32(128)
    out += string("in") + string("out") + flag(True) + flag(True)
    if v >= 104:
        out += string(onidle) + flag(paused) + string(onselect)
    if v >= 115:
        out += i32(state)
    return out


def main():
    obj = new(None, name="map", priority=3, left=4, top=6, width=40, height=30, visible=True)
    for v in VERSIONS:
        stored = mapimage(v, "idle", True, "sel", 100)
        old = v < 104
        read = mapimage(NEWEST, "" if old else "idle", not old, "" if old else "sel", 100 if v >= 115 else 0)
        print(v, (control(obj[1], v) + stored).hex(), (control(as_read(obj, v)[1], NEWEST) + read).hex())


if __name__ == "__main__":
    main()
