#!/usr/bin/env python3
"""Reference records of the edit and memo objects in game save data, built field by field with
struct.

Usage: edit_records.py edit|memo. Prints one line per save version: the version, the record as
that version stores it (hex), and the record in the newest form of what a reader of that version
gets.

After the control (scene_records.py) both store: flag paused; text, font name (strings: int32
byte count and the bytes); int32 font height; byte font style; int32 font colour, background
colour; flag read-only; the memo only: byte alignment; on-notify; from 142 int32 input-method
mode (the mode in its low byte). Before 142 the mode stays 3, "don't care"."""
import struct
import sys

from scene_records import NEWEST, as_read, control, flag, i32, new, string

VERSIONS = (119, 141, 142, NEWEST)


def field(memo, v, imemode):
    out = flag(True) + string("名前\\表") + string("ＭＳ 明朝") + i32(-16) + struct.pack("<B", 5)
    out += i32(0x102030) + i32(0xF0E0D0) + flag(True)
    if memo:
        out += struct.pack("<B", 2)
    out += string("notify.vsb")
    if v >= 142:
        out += i32(imemode)
    return out


def main():
    memo = sys.argv[1:] == ["memo"]
    obj = new(None, name="name", priority=1, left=4, top=6, width=40, height=30, visible=False)
    for v in VERSIONS:
        stored = control(obj[1], v) + field(memo, v, 6)
        read = control(as_read(obj, v)[1], NEWEST) + field(memo, NEWEST, 6 if v >= 142 else 3)
        print(v, stored.hex(), read.hex())


if __name__ == "__main__":
    main()
