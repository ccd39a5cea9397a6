#!/usr/bin/env python3
"""Reference records of the single-picture image object in game save data.

Prints one line per save version: the version, the record as that version stores it (hex), and
the record in the newest form of what a reader of that version gets. The control part is laid
out by scene_records.py; the image fields follow (little-endian):
  int32 alpha; zoom x (from 143 a 10-byte x87 extended float, before an int32 in 1/256);
  angle (from 143 extended, in radians; before an int32 in 1/255 of a turn); flag antialias (143);
  flags mirror x, mirror y, capture mask; zoom y (143 extended; 104..142 int32 in 1/256; before
  absent, 1.0); int32 blur span, blur delay (140); int32 capture mask level (144, else 128);
  then the source name (int32 byte count and bytes) and int32 brightness.
Extended floats come from ctypes.c_longdouble for values a double holds, and from their sign,
exponent and 64-bit mantissa for a full turn (2 pi rounded to 64 bits)."""
import ctypes
import struct

from scene_records import NEWEST, as_read, control, flag, i32, new, string

VERSIONS = (103, 139, 143, NEWEST)
TWO_PI = struct.pack("<QH", 0xC90FDAA22168C235, 0x4001)


def extended(value):
    assert ctypes.sizeof(ctypes.c_longdouble) >= 10
    return bytes(ctypes.c_longdouble(value))[:10]


CONTROL = new(None, name="pic", priority=3, left=10, top=20, width=48, height=24, offx=2, offy=3,
              visible=True, ignoremouse=1)
# Stored as integers before 143: zoom x 384, zoom y 192, angle 255 (a full turn).
IMAGE = {"alpha": 300, "zoomx": (384, extended(1.5)), "angle": (255, TWO_PI), "antialias": True,
         "fliph": True, "flipv": False, "capmask": True, "zoomy": (192, extended(0.75)),
         "blurspan": 50, "blurdelay": 300, "caplevel": 77, "source": "pic.mra", "brightness": 200}


def picture(f, v):
    """The fields every picture kind stores after its control part; zooms and the angle are
    (integer form, extended form) pairs."""
    out = i32(f["alpha"])
    out += f["zoomx"][1] if v >= 143 else i32(f["zoomx"][0])
    out += f["angle"][1] if v >= 143 else i32(f["angle"][0])
    if v >= 143:
        out += flag(f["antialias"])
    out += flag(f["fliph"]) + flag(f["flipv"]) + flag(f["capmask"])
    if v >= 143:
        out += f["zoomy"][1]
    elif v >= 104:
        out += i32(f["zoomy"][0])
    if v >= 140:
        out += i32(f["blurspan"]) + i32(f["blurdelay"])
    if v >= 144:
        out += i32(f["caplevel"])
    return out


def image(f, v):
    return picture(f, v) + string(f["source"]) + i32(f["brightness"])


def image_as_read(f, v):
    read = dict(f)
    if v < 143:
        read["antialias"] = False
    if v < 104:
        read["zoomy"] = (256, extended(1.0))
    if v < 140:
        read["blurspan"] = read["blurdelay"] = 0
    if v < 144:
        read["caplevel"] = 128
    return read


def main():
    for v in VERSIONS:
        stored = control(CONTROL[1], v) + image(IMAGE, v)
        read = control(as_read(CONTROL, v)[1], NEWEST) + image(image_as_read(IMAGE, v), NEWEST)
        print(v, stored.hex(), read.hex())


if __name__ == "__main__":
    main()
