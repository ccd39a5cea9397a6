#!/usr/bin/env python3
"""Reference records of the animated image object and the tile in game save data, built field
by field with struct (and ctypes for the 10-byte extended floats).

Usage: image_kind_records.py KIND (images or tile). Prints one line per save version, as
scene_records.py does: the version, the record as that version stores it (hex), and the record in
the newest form of what a reader of that version gets.

Layouts (little-endian; strings and flags as in scene_records.py; ext = 80-bit extended float):
  picture: control; int32 alpha; zoom x (ext from 143, before int32 in 1/256); angle (ext from
           143, before int32 in 1/255 turns); flag antialias (143); flags flip h, flip v, capture
           mask; zoom y (ext from 143, int32 in 1/256 from 104, absent before); int32 blur span,
           blur delay (140); int32 capture mask level (144)
  frames:  picture; int32 time left, frame index, brightness; flag paused; the last-frame wait as a
           compiled expression (uint32 operation count, then each operation)
  images:  frames; flag repeat, flag auto-scrap; source, on-play-end; on-idle (104)
  tile:    frames; int32 scroll x, scroll y; source, on-idle; int32 distance x, distance y"""
import struct
import sys

import image_records
import scene_records as sr
from image_records import extended
from scene_records import flag, i32, string

NEWEST = sr.NEWEST
VERSIONS = (103, 104, 139, 140, 142, 143, NEWEST)


# "____arg = 40": one assignment of the int literal 40 to the expression's result.
WAIT_40 = struct.pack("<I", 1) + struct.pack("<B", 1) + string("____arg") + struct.pack("<I", 1) + b"\x01" + i32(40)
EMPTY_EXPR = struct.pack("<I", 0)

# Each field: (name, save version that first holds it, value of a new object).
PICTURE = [
    ("alpha", 0, 255), ("zoomx", 0, 1.0), ("angle", 0, 0), ("antialias", 143, False), ("fliph", 0, False),
    ("flipv", 0, False), ("capturemask", 0, False), ("zoomy", 104, 1.0), ("blurspan", 140, 0),
    ("blurdelay", 140, 0), ("capmasklevel", 144, 128)]
FRAMES = PICTURE + [
    ("remaining", 0, 0), ("frameindex", 0, -1), ("brightness", 0, 0), ("paused", 0, False),
    ("lastframewait", 0, EMPTY_EXPR)]
IMAGES_FIELDS = FRAMES + [
    ("repeat", 0, False), ("autoscrap", 0, False), ("source", 0, ""), ("onplayend", 0, ""), ("onidle", 104, "")]
TILE_FIELDS = FRAMES + [
    ("scrollx", 0, 0), ("scrolly", 0, 0), ("source", 0, ""), ("onidle", 0, ""), ("distancex", 0, 0),
    ("distancey", 0, 0)]
KIND_FIELDS = {"images": IMAGES_FIELDS, "tile": TILE_FIELDS}


def picture(f, v):
    z = {k: (int(f[k] * 256), extended(f[k])) for k in ("zoomx", "zoomy")}
    angle = (f["angle"], extended(f["angle"]))  # angles kept at 0: exact either way
    return image_records.picture(dict(f, **z, angle=angle, capmask=f["capturemask"], caplevel=f["capmasklevel"]), v)


def frames(f, v):
    return (picture(f, v) + i32(f["remaining"]) + i32(f["frameindex"]) + i32(f["brightness"]) +
            flag(f["paused"]) + f["lastframewait"])


def images(f, v):
    out = frames(f, v) + flag(f["repeat"]) + flag(f["autoscrap"]) + string(f["source"]) + string(f["onplayend"])
    if v >= 104:
        out += string(f["onidle"])
    return out


def tile(f, v):
    return (frames(f, v) + i32(f["scrollx"]) + i32(f["scrolly"]) + string(f["source"]) + string(f["onidle"]) +
            i32(f["distancex"]) + i32(f["distancey"]))


WRITERS = {"images": images, "tile": tile}


def new(kind, control, **values):
    """An object of kind with the control fields of control (a scene_records object) and the
    values given, the rest as new."""
    fields = {name: default for name, _, default in KIND_FIELDS[kind]}
    assert set(values) <= set(fields), set(values) - set(fields)
    fields.update(values)
    return kind, control, fields


def as_read(obj, v):
    kind, control, fields = obj
    read = {name: (fields[name] if gate <= v else default) for name, gate, default in KIND_FIELDS[kind]}
    return kind, sr.as_read(control, v), read


def record(obj, v):
    kind, control, fields = obj
    return sr.record(control, v) + WRITERS[kind](fields, v)


CONTROL_I = sr.new(None, name="im", priority=3, left=10, top=20, width=30, height=40, visible=True)
IMAGES_I = new(
    "images", CONTROL_I, alpha=300, zoomx=2.0, zoomy=1.5, antialias=True, fliph=True, capturemask=True,
    blurspan=50, blurdelay=300, capmasklevel=77, remaining=40, frameindex=2, brightness=-20, paused=True,
    lastframewait=WAIT_40, repeat=True, autoscrap=True, onplayend="end", onidle="idle")

CONTROL_T = sr.new(None, name="ti", priority=-1, left=5, top=6, width=200, height=100)
TILE_T = new(
    "tile", CONTROL_T, alpha=128, zoomx=0.5, zoomy=2.0, flipv=True, blurspan=20, blurdelay=100,
    remaining=7, frameindex=1, brightness=30, lastframewait=WAIT_40, scrollx=-7, scrolly=12, onidle="ti",
    distancex=60, distancey=150)

OBJECTS = {"images": IMAGES_I, "tile": TILE_T}


def main():
    obj = OBJECTS[sys.argv[1]]
    for v in VERSIONS:
        print(v, record(obj, v).hex(), record(as_read(obj, v), NEWEST).hex())


if __name__ == "__main__":
    main()
