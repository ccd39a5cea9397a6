#!/usr/bin/env python3
"""Reference records of the sound object in game save data, built field by field with struct.

Usage: sound_records.py [SOURCE] (the sound's file, "bgm.ogg" unless given). Prints one line per
save version, as scene_records.py does: the version, the record as that version stores it (hex),
and the record in the newest form of what a reader of that version gets when the file exists,
is 10 s long and its item stays where it is put.

After the base record (scene_records.py) the sound stores: source (int32 byte count and the
bytes); flags repeat, auto-scrap, paused, animation paused, ended; int32 volume, balance (read
clamped to -10000..10000), delay, position; byte play state (0 playing, 1 fading in, 2 stopped,
3 fading out); on-play-end; flag rewind-on-load (108; on, the position reads 0); flag
mute-on-load (129, else off; on, the volume reads 0); int32 repeat position (138)."""
import struct
import sys

import scene_records as sr
from scene_records import NEWEST, flag, i32, string

VERSIONS = (107, 108, 120, 129, 138, NEWEST)

SOUND = {"name": "bgm", "priority": 3, "sub": 1, "tag": "曲", "source": "bgm.ogg", "repeat": True,
         "autoscrap": False, "paused": True, "anipaused": False, "ended": False, "volume": 800,
         "balance": -12000, "delay": 400, "position": 1500, "state": 0, "onplayend": "end", "rewind": True,
         "mute": True, "repeatpos": 250}


def sound(f, v):
    out = sr.base(f, v) + string(f["source"])
    out += b"".join(flag(f[k]) for k in ("repeat", "autoscrap", "paused", "anipaused", "ended"))
    out += b"".join(i32(f[k]) for k in ("volume", "balance", "delay", "position"))
    out += struct.pack("<B", f["state"]) + string(f["onplayend"])
    if v >= 108:
        out += flag(f["rewind"])
    if v >= 129:
        out += flag(f["mute"])
    if v >= 138:
        out += i32(f["repeatpos"])
    return out


def sound_as_read(f, v):
    read = dict(f, tag=f["tag"] if v >= 120 else "", balance=max(-10000, min(10000, f["balance"])),
                rewind=f["rewind"] and v >= 108, mute=f["mute"] and v >= 129,
                repeatpos=f["repeatpos"] if v >= 138 else 0)
    if read["rewind"]:
        read["position"] = 0
    if read["mute"]:
        read["volume"] = 0
    return read


def main():
    f = dict(SOUND, source=sys.argv[1]) if len(sys.argv) > 1 else SOUND
    for v in VERSIONS:
        print(v, sound(f, v).hex(), sound(sound_as_read(f, v), NEWEST).hex())


if __name__ == "__main__":
    main()
