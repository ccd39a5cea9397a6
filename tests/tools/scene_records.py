#!/usr/bin/env python3
"""Reference records of the scene in game save data, built field by field with struct.

Usage: scene_records.py KIND (control, box, timer or root). Prints one line per save version:
the version, the record as that version stores it (hex), and the record in the newest form of
what a reader of that version gets: the fields the version lacks at their values in a new object.
The objects are described below; the tests build the same objects in the player.

Layouts (little-endian; a string is an int32 byte count and the bytes; a flag is one byte):
  base:    name, int32 priority, int32 second order key (104), tag (120)
  control: base; int32 left, top, width, height, offset x, offset y; flag position zoomed;
           int32 film x, film y, plus x, plus y (130); int32 clip left, top, width, height and flag
           animation paused (104); flag visible; int32 colour; int32 x 4 area rectangle; byte
           ignore-mouse; cursor, on-mouse-move; on-mouse-in (102); on-mouse-out, left down, left
           up, right down, right up, wheel down, wheel up; flag handle-key and on-key-down, key up,
           key repeat, focus in, focus out (118); int32 child count, each child as its type code
           byte and its record
  box:     control; int32 border width, border colour, alpha; on-idle, source, flag repeat, flag
           auto-scrap, on-play-end, flag paused, flag animation paused (104); int32 blur span,
           blur delay (140)
  timer:   base; on-notify; int32 delay; flag paused; flag auto-scrap, flag fired (104)
  root:    int32 width, height, current layer; layer 0 and layer 1 as control records; int32
           count of the other objects, each as type code byte and record; the event queue: int32
           count, each record handler, sender name, kind byte, level (uint32 from 114, before
           one byte), int32 argument count and the arguments; focused control's name (119)"""
import struct
import sys

NEWEST = 144
VERSIONS = (101, 103, 113, 117, 119, 129, 139, NEWEST)
BOX, TIMER = 2, 15


def i32(v):
    return struct.pack("<i", v)


def flag(v):
    return struct.pack("<B", 1 if v else 0)


def string(s):
    b = s.encode("cp932")
    return i32(len(b)) + b


# Each field: (name, save version that first holds it, value of a new object).
BASE = [("name", 0, ""), ("priority", 0, 0), ("sub", 104, 0), ("tag", 120, "")]
CONTROL = BASE + [
    ("left", 0, 0), ("top", 0, 0), ("width", 0, 0), ("height", 0, 0), ("offx", 0, 0), ("offy", 0, 0),
    ("poszoomed", 0, False), ("filmx", 130, 0), ("filmy", 130, 0), ("plusx", 130, 0), ("plusy", 130, 0),
    ("clip", 104, (0, 0, 0, 0)), ("anipaused", 104, False), ("visible", 0, True), ("color", 0, 0xFFFFFF),
    ("area", 0, (0, 0, 1, 1)), ("ignoremouse", 0, 0), ("cursor", 0, ""), ("mousemove", 0, ""),
    ("mousein", 102, ""), ("mouseout", 0, ""), ("lbtndown", 0, ""), ("lbtnup", 0, ""), ("rbtndown", 0, ""),
    ("rbtnup", 0, ""), ("wheeldown", 0, ""), ("wheelup", 0, ""), ("handlekey", 118, False),
    ("keydown", 118, ""), ("keyup", 118, ""), ("keyrepeat", 118, ""), ("focusin", 118, ""),
    ("focusout", 118, ""), ("children", 0, ())]
BOX_FIELDS = CONTROL + [
    ("borderwidth", 0, 0), ("bordercolor", 0, 0), ("alpha", 0, 255), ("onidle", 104, ""), ("source", 104, ""),
    ("repeat", 104, False), ("autoscrap", 104, False), ("onplayend", 104, ""), ("paused", 104, False),
    ("blurspan", 140, 0), ("blurdelay", 140, 0)]
TIMER_FIELDS = BASE + [
    ("onnotify", 0, ""), ("delay", 0, 0), ("paused", 0, False), ("autoscrap", 104, False), ("fired", 104, False)]
LAYOUTS = {None: CONTROL, BOX: BOX_FIELDS, TIMER: TIMER_FIELDS}


def new(code, **values):
    """An object of kind code (None: a plain control) with the values given, the rest as new."""
    fields = {name: default for name, _, default in LAYOUTS[code]}
    assert set(values) <= set(fields), set(values) - set(fields)
    fields.update(values)
    return code, fields


def as_read(obj, version):
    """What a reader of version gets from obj: the fields the version lacks stay as new."""
    code, fields = obj
    read = {name: (fields[name] if gate <= version else default) for name, gate, default in LAYOUTS[code]}
    if "children" in read:
        read["children"] = tuple(as_read(child, version) for child in read["children"])
    return code, read


def base(f, v):
    out = string(f["name"]) + i32(f["priority"])
    if v >= 104:
        out += i32(f["sub"])
    if v >= 120:
        out += string(f["tag"])
    return out


def control(f, v):
    out = base(f, v)
    out += b"".join(i32(f[k]) for k in ("left", "top", "width", "height", "offx", "offy"))
    out += flag(f["poszoomed"])
    if v >= 130:
        out += b"".join(i32(f[k]) for k in ("filmx", "filmy", "plusx", "plusy"))
    if v >= 104:
        out += b"".join(i32(c) for c in f["clip"]) + flag(f["anipaused"])
    out += flag(f["visible"]) + i32(f["color"]) + b"".join(i32(c) for c in f["area"])
    out += struct.pack("<B", f["ignoremouse"]) + string(f["cursor"]) + string(f["mousemove"])
    if v >= 102:
        out += string(f["mousein"])
    out += b"".join(string(f[k]) for k in
                    ("mouseout", "lbtndown", "lbtnup", "rbtndown", "rbtnup", "wheeldown", "wheelup"))
    if v >= 118:
        out += flag(f["handlekey"])
        out += b"".join(string(f[k]) for k in ("keydown", "keyup", "keyrepeat", "focusin", "focusout"))
    out += i32(len(f["children"])) + b"".join(coded(child, v) for child in f["children"])
    return out


def box(f, v):
    out = control(f, v) + i32(f["borderwidth"]) + i32(f["bordercolor"]) + i32(f["alpha"])
    if v >= 104:
        out += string(f["onidle"]) + string(f["source"]) + flag(f["repeat"]) + flag(f["autoscrap"])
        out += string(f["onplayend"]) + flag(f["paused"]) + flag(f["anipaused"])
    if v >= 140:
        out += i32(f["blurspan"]) + i32(f["blurdelay"])
    return out


def timer(f, v):
    out = base(f, v) + string(f["onnotify"]) + i32(f["delay"]) + flag(f["paused"])
    if v >= 104:
        out += flag(f["autoscrap"]) + flag(f["fired"])
    return out


WRITERS = {None: control, BOX: box, TIMER: timer}


def record(obj, v):
    code, fields = obj
    return WRITERS[code](fields, v)


def coded(obj, v):
    return struct.pack("<B", obj[0]) + record(obj, v)


# ---- The objects ----

CONTROL_C = new(
    None, name="c", priority=7, sub=3, tag="札", left=11, top=12, width=13, height=14, offx=15, offy=16,
    poszoomed=True, filmx=17, filmy=18, plusx=19, plusy=20, clip=(21, 22, 23, 24), anipaused=True,
    visible=False, color=0x123456, area=(25, 26, 27, 28), ignoremouse=2, cursor="cur", mousemove="mm",
    mousein="mi", mouseout="mo", lbtndown="ld", lbtnup="lu", rbtndown="rd", rbtnup="ru", wheeldown="wd",
    wheelup="wu", handlekey=True, keydown="kd", keyup="ku", keyrepeat="kr", focusin="fi", focusout="fo",
    children=(new(BOX, name="k"),))

BOX_B = new(
    BOX, name="b", priority=-2, sub=1, tag="t", left=-5, top=6, width=70, height=80, offx=1, offy=2,
    filmx=3, filmy=4, plusx=5, plusy=6, clip=(7, 8, 9, 10), anipaused=True, color=0xABCDEF,
    area=(1, 2, 3, 4), ignoremouse=1, cursor="c", mousein="in", handlekey=True, keyup="up", borderwidth=3,
    bordercolor=0x00FF00, alpha=300, onidle="idle", source="pic.bmp", repeat=True, onplayend="end",
    paused=True, blurspan=50, blurdelay=500)

TIMER_T = new(TIMER, name="t", priority=4, sub=9, tag="x", onnotify="n.vsb", delay=100, paused=True, fired=True)


def layer(index, **values):
    return new(None, name="\x01BASE%d" % index, width=640, height=480, **values)


# The scene: layer 1 current; on layer 0 the box "s" holding the box "s2"; a timer; one pending
# event of the timer and one taken event of "s"; "s" focused.
SCENE = {
    "width": 640, "height": 480, "current": 1,
    "layers": (layer(0, children=(new(BOX, name="s", left=1, top=2, width=3, height=4, handlekey=True,
                                      children=(new(BOX, name="s2"),)),)),
               layer(1, color=0x102030, cursor="arrow.cur", lbtndown="click.vsb")),
    "objects": (new(TIMER, name="t", onnotify="n.vsb", delay=100),),
    "events": (("n.vsb", "t", 33, 0, ()), ("h.vsb:l", "s", 36, 2, ("1", "2"))),
    "focus": "s",
}


def scene_as_read(scene, v):
    read = dict(scene)
    read["layers"] = tuple(as_read(obj, v) for obj in scene["layers"])
    read["objects"] = tuple(as_read(obj, v) for obj in scene["objects"])
    if v < 114:  # a one-byte level: taken or not
        read["events"] = tuple((h, s, k, 1 if level else 0, a) for h, s, k, level, a in scene["events"])
    if v < 119:
        read["focus"] = ""
    return read


def root(scene, v):
    out = i32(scene["width"]) + i32(scene["height"]) + i32(scene["current"])
    out += b"".join(record(obj, v) for obj in scene["layers"])
    out += i32(len(scene["objects"])) + b"".join(coded(obj, v) for obj in scene["objects"])
    out += i32(len(scene["events"]))
    for handler, sender, kind, level, args in scene["events"]:
        out += string(handler) + string(sender) + struct.pack("<B", kind)
        out += struct.pack("<I", level) if v >= 114 else struct.pack("<B", level)
        out += i32(len(args)) + b"".join(string(a) for a in args)
    if v >= 119:
        out += string(scene["focus"])
    return out


KINDS = {
    "control": (lambda v: record(CONTROL_C, v), lambda v: record(as_read(CONTROL_C, v), NEWEST)),
    "box": (lambda v: record(BOX_B, v), lambda v: record(as_read(BOX_B, v), NEWEST)),
    "timer": (lambda v: record(TIMER_T, v), lambda v: record(as_read(TIMER_T, v), NEWEST)),
    "root": (lambda v: root(SCENE, v), lambda v: root(scene_as_read(SCENE, v), NEWEST)),
}


def main():
    stored, read = KINDS[sys.argv[1]]
    for v in VERSIONS:
        print(v, stored(v).hex(), read(v).hex())


if __name__ == "__main__":
    main()
