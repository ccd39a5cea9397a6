#!/usr/bin/env python3
"""Reference records of the message window object in game save data.

Prints one line per save version: the version, the record as that version stores it (hex), and
the record in the newest form of what a reader of that version gets (the fields the version lacks
at their values in a new window). With --corpus DIR it writes instead the fuzz seeds: each record
behind its version byte (version - 100), and a window of no message data whose text "ab" was
saved half revealed with the state of its one page. The control part is laid out by scene_records.py; the window
fields follow (little-endian; a string is an int32 byte count and the bytes):
  document settings: int32 origin x, origin y, font size; face; int32 colour, height, width,
  antialias level, row spacing; byte paging; int32 link colour, hover colour, fade time, border
  colour, alpha; byte hold; int32 caret x, caret y, speed; byte events enabled; int32 shadow colour
  (110); int32 border size, shadow size (111); byte whole cell (141);
  message data: int32 n, the n page names, n command indexes, n page indexes, n points (two int32)
  as columns; from 113 the element list: int32 count, per element name, command index, first,
  last, height, variables text (124), then the int32 total height;
  byte build flag; int32 build position (113); text; int32 page index, scroll y, value 2; three
  spare strings; on-playing, on-play-start, on-play-end, on-link, on-notify; bytes paused, text
  paused; int32 text delay; byte source mode; page file; int32 command index; on-idle (104); byte
  capture link (120); int32 N and N bytes of page states."""
import struct
import sys

from scene_records import NEWEST, as_read, control, flag, i32, new, string

VERSIONS = (103, 112, 119, NEWEST)

# Each field: (name, save version that first holds it, value of a new window).
SETTINGS = [("shadowcolor", 110, 0), ("bordersize", 111, 0), ("shadowsize", 111, 0), ("wholecell", 141, 1)]
WINDOW = [("elements", 113, ()), ("buildpos", 113, 0), ("onidle", 104, ""), ("capture", 120, False)]

MES = {"shadowcolor": 0x102030, "bordersize": 2, "shadowsize": 1, "wholecell": 0,
       "entries": (("story.vsb", 3, 0, (320, 96)), ("story.vsb", 5, -1, (320, 96))),
       "elements": (("story.vsb", 3, 0, 12, 40, "name=花子\r\n"), ("", 5, 2, 9, 20, "")),
       "buildflag": 1, "buildpos": -8, "text": "<B>あ</B>い", "index": 1, "scroll": 4, "value2": 7,
       "spare": ("s1", "", "s3"), "onplaying": "playing", "onplaystart": "start", "onplayend": "end",
       "onlink": "link", "onnotify": "notify", "paused": True, "textpaused": False, "delay": 256, "mode": 1,
       "pagefile": "story.vsb", "command": 3, "onidle": "idle", "capture": True, "states": b""}


def settings(f, v):
    out = i32(2) + i32(3) + i32(18) + string("ＭＳ 明朝") + i32(0xFFFFFF) + i32(96) + i32(320) + i32(3) + i32(4)
    out += flag(True) + i32(0xFF0000) + i32(0x008000) + i32(5) + i32(0x808080) + i32(200) + flag(False)
    out += i32(30) + i32(18) + i32(256) + flag(True)
    if v >= 110:
        out += i32(f["shadowcolor"])
    if v >= 111:
        out += i32(f["bordersize"]) + i32(f["shadowsize"])
    if v >= 141:
        out += flag(f["wholecell"])
    return out


def mes_data(f, v):
    entries = f["entries"]
    out = i32(len(entries)) + b"".join(string(e[0]) for e in entries)
    for column in (1, 2):
        out += b"".join(i32(e[column]) for e in entries)
    out += b"".join(i32(e[3][0]) + i32(e[3][1]) for e in entries)
    if v >= 113:
        out += i32(len(f["elements"]))
        for name, command, first, last, height, variables in f["elements"]:
            out += string(name) + i32(command) + i32(first) + i32(last) + i32(height)
            if v >= 124:
                out += string(variables)
        out += i32(sum(e[4] for e in f["elements"]))
    return out


def window(f, v):
    out = settings(f, v) + mes_data(f, v) + flag(f["buildflag"])
    if v >= 113:
        out += i32(f["buildpos"])
    out += string(f["text"]) + i32(f["index"]) + i32(f["scroll"]) + i32(f["value2"])
    out += b"".join(string(s) for s in f["spare"])
    out += b"".join(string(f[k]) for k in ("onplaying", "onplaystart", "onplayend", "onlink", "onnotify"))
    out += flag(f["paused"]) + flag(f["textpaused"]) + i32(f["delay"]) + struct.pack("<B", f["mode"])
    out += string(f["pagefile"]) + i32(f["command"])
    if v >= 104:
        out += string(f["onidle"])
    if v >= 120:
        out += flag(f["capture"])
    return out + i32(len(f["states"])) + f["states"]


def read_as(v):
    """The window fields a reader of version v gets: the fields v lacks as in a new window."""
    read = dict(MES)
    for name, gate, default in SETTINGS + WINDOW:
        if v < gate:
            read[name] = default
    if v < 124:
        read["elements"] = tuple(e[:5] + ("",) for e in read["elements"])
    return read


def page_state(row, glyph, alphas):
    """A page's saved reveal: scroll offset, next row and glyph, done flag, pending events, and
    the alpha of each glyph of its rows."""
    return i32(0) + i32(row) + i32(glyph) + flag(False) + string("") + b"".join(i32(a) for a in alphas)


def write_corpus(folder, stored_control):
    import hashlib
    import os
    half = dict(MES, entries=(), elements=(), text="ab", index=0, states=page_state(0, 1, (255, 0)))
    seeds = [bytes([v - 100]) + control(stored_control[1], v) + window(MES, v) for v in VERSIONS]
    seeds.append(bytes([NEWEST - 100]) + control(stored_control[1], NEWEST) + window(half, NEWEST))
    for seed in seeds:
        with open(os.path.join(folder, hashlib.sha1(seed).hexdigest()), "wb") as f:
            f.write(seed)


def main():
    stored_control = new(None, name="message", priority=1, left=10, top=20, width=320, height=96, visible=True)
    if len(sys.argv) == 3 and sys.argv[1] == "--corpus":
        return write_corpus(sys.argv[2], stored_control)
    for v in VERSIONS:
        stored = control(stored_control[1], v) + window(MES, v)
        read = control(as_read(stored_control, v)[1], NEWEST) + window(read_as(v), NEWEST)
        print(v, stored.hex(), read.hex())


if __name__ == "__main__":
    main()
