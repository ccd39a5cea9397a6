#!/usr/bin/env python3
"""Reference records of the image button in game save data, built field by field with struct.

Usage: button_records.py            one line per save version, as image_kind_records.py prints:
                                    the version, the record as that version stores it (hex), and
                                    the record in the newest form of what a reader of that version
                                    gets.
       button_records.py corpus DIR writes seeds into the fuzz corpora under DIR: the records
                                    for image_kinds_read, and whole save data holding a
                                    button for save_data.

Layout (little-endian; strings and flags as in scene_records.py):
  button: images (image_kind_records.py); hover source, pressed source; uint32 group index; flag
          selected; flag allow all up; on-notify; on-idle and clicked source (104); the caption's
          label-list settings (137): int32 antialias level, margin, alpha, font size; face; int32
          colour, border colour; byte style; 212 bytes of outline metrics; int32 shadow size,
          shadow colour

The state sources name pictures of no kind the button loads (the normal look has none), so that a
reader needs no files; a lone button is never selected (a button outside a group cannot be), so the
flag is written clear."""
import os
import struct
import sys

import image_kind_records as ik
import scene_records as sr
from scene_records import flag, i32, string

NEWEST = sr.NEWEST
VERSIONS = (103, 104, 136, 137, 143, NEWEST)
BUTTON = 3

DEFAULT_FACE = "ＭＳ Ｐゴシック"
CAPTION_NEW = dict(level=3, margin=0, alpha=255, size=12, face=DEFAULT_FACE, color=0xFFFFFF, border=0, style=0,
                   metrics=bytes(212), shadow=0, shadowcolor=0)


def caption(c):
    return (struct.pack("<4i", c["level"], c["margin"], c["alpha"], c["size"]) + string(c["face"]) +
            struct.pack("<iiB", c["color"], c["border"], c["style"]) + c["metrics"] +
            struct.pack("<ii", c["shadow"], c["shadowcolor"]))


# Each field: (name, save version that first holds it, value of a new button).
FIELDS = [
    ("hover", 0, ""), ("pressed", 0, ""), ("group", 0, 0), ("selected", 0, False), ("allowallup", 0, False),
    ("onnotify", 0, ""), ("onidle", 104, ""), ("clicked", 104, ""), ("caption", 137, CAPTION_NEW)]


def button(images, f, v):
    out = ik.record(images, v) + string(f["hover"]) + string(f["pressed"]) + struct.pack("<I", f["group"])
    out += flag(f["selected"]) + flag(f["allowallup"]) + string(f["onnotify"])
    if v >= 104:
        out += string(f["onidle"]) + string(f["clicked"])
    if v >= 137:
        out += caption(f["caption"])
    return out


def as_read(obj, v):
    images, f = obj
    return ik.as_read(images, v), {name: (f[name] if gate <= v else new) for name, gate, new in FIELDS}


CONTROL = sr.new(None, name="bt", priority=2, left=40, top=30, width=80, height=24, visible=True, ignoremouse=4,
                 lbtnup="up")
IMAGES = ik.new("images", CONTROL, alpha=200, remaining=12, frameindex=1, repeat=True, autoscrap=True,
                onplayend="played", onidle="base idle")
OBJECT = (IMAGES, dict(
    hover="bt_hover.bmp", pressed="bt_pressed.bmp", group=7, selected=False, allowallup=True, onnotify="pushed",
    onidle="idle", clicked="bt_clicked.bmp",
    caption=dict(level=0, margin=2, alpha=180, size=18, face="ＭＳ 明朝", color=0x123456, border=0x654321,
                 style=5, metrics=bytes(i * 7 % 256 for i in range(212)), shadow=3, shadowcolor=0x0000FF)))


def record(obj, v):
    return button(obj[0], obj[1], v)


def write_corpus(root):
    sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "fuzz"))
    import make_script_corpus as msc
    seeds = {}
    for v in (103, 137, NEWEST):
        seeds[("image_kinds_read", f"button_{v}")] = bytes([v - 100, 2]) + record(OBJECT, v)
    seeds[("image_kinds_read", "button_cut")] = bytes([NEWEST - 100, 2]) + record(OBJECT, NEWEST)[:-30]
    status = msc.status_record([msc.int_var("seen", 1, True)])
    scene = msc.scene(objects=[(BUTTON, record(OBJECT, NEWEST))])
    seeds[("save_data", "button")] = msc.save_input(status, msc.game_record(scene, msc.runner()))
    for (harness, name), data in seeds.items():
        with open(os.path.join(root, harness, name), "wb") as out:
            out.write(data)


def main():
    if sys.argv[1:2] == ["corpus"]:
        write_corpus(sys.argv[2])
        return
    for v in VERSIONS:
        print(v, record(OBJECT, v).hex(), record(as_read(OBJECT, v), NEWEST).hex())


if __name__ == "__main__":
    main()
