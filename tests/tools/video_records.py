#!/usr/bin/env python3
"""Reference records of the video object in game save data, built field by field with struct.

Prints one line per save version, as scene_records.py does: the version, the record as that
version stores it (hex), and the record in the newest form of what a reader of that version gets
when the film's file does not exist (the object stays without a film, so its position reads 0).

After the picture fields (image_records.py) the video stores: source (int32 byte count and the
bytes); flags repeat, auto-scrap, paused; int32 volume, balance, delay, position; byte play state;
on-play-end, on-idle; flag rewind-on-load (108); flag overlay (112, else on); flag mute-on-load
(129, else off; on, the volume reads 0)."""
import struct

import image_records
import scene_records as sr
from image_records import extended
from scene_records import NEWEST, flag, i32, string

VERSIONS = (107, 111, 128, 129)

CONTROL = sr.new(None, name="film", priority=2, left=8, top=6, width=160, height=120, visible=True)
PICTURE = {"alpha": 128, "zoomx": (384, extended(1.5)), "angle": (0, extended(0.0)), "antialias": False,
           "fliph": False, "flipv": True, "capmask": False, "zoomy": (256, extended(1.0)), "blurspan": 0,
           "blurdelay": 0, "caplevel": 128}
VIDEO = {"source": "gone.mpg", "repeat": True, "autoscrap": True, "paused": True, "volume": 700, "balance": -3000,
         "delay": 500, "position": 1234, "state": 0, "onplayend": "end", "onidle": "idle", "rewind": True,
         "overlay": False, "mute": True}


def video(f, v):
    out = string(f["source"]) + flag(f["repeat"]) + flag(f["autoscrap"]) + flag(f["paused"])
    out += i32(f["volume"]) + i32(f["balance"]) + i32(f["delay"]) + i32(f["position"])
    out += struct.pack("<B", f["state"]) + string(f["onplayend"]) + string(f["onidle"])
    if v >= 108:
        out += flag(f["rewind"])
    if v >= 112:
        out += flag(f["overlay"])
    if v >= 129:
        out += flag(f["mute"])
    return out


def video_as_read(f, v):
    read = dict(f, position=0, rewind=f["rewind"] and v >= 108, overlay=f["overlay"] or v < 112,
                mute=f["mute"] and v >= 129)
    if read["mute"]:
        read["volume"] = 0
    return read


def record(f, v, control=CONTROL, picture=PICTURE):
    return sr.record(control, v) + image_records.picture(picture, v) + video(f, v)


def main():
    for v in VERSIONS:
        read = record(video_as_read(VIDEO, v), NEWEST, sr.as_read(CONTROL, v),
                      image_records.image_as_read(PICTURE, v))
        print(v, record(VIDEO, v).hex(), read.hex())


if __name__ == "__main__":
    main()
