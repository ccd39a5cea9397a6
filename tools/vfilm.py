#!/usr/bin/env python3
"""vfilm: writes film files (.vmt) from JSON descriptions.

    vfilm.py film DESCRIPTION.json OUT.vmt
    vfilm.py tracks DESCRIPTION.json OUT      the track records alone (hex with --hex, OUT "-": stdout)
    vfilm.py corpus OUTDIR                    seeds for the film reader's fuzz harness

A description:

    {"version": 111, "kind": "cinema", "width": 640, "height": 480, "colour": -1,
     "relative": 0, "origin": [0, 0], "loop_back": 0,
     "tracks": [{"kind": 0, "parent": -1, "length": 60, "reserved": 0, "start": 0,
                 "loop_length": 60, "sub_priority": 0, "flip_h": 0, "flip_v": 0,
                 "other_layer": 0, "fields": "hex bytes of the kind's own fields"}]}

Every field may be left out (the values above are the defaults). "kind" is "cinema" or "motion"; the
version (100 to 111) chooses which head fields are written: the relative-positions byte from 102, the
origin from 104, the loop-back time from 106. Times are written as given: files before version 107 hold
them at half scale, so a description for such a version gives the halved values.
"""
import json
import os
import struct
import sys

MAGICS = {"cinema": b"VelaCinema", "motion": b"VelaMotion"}

# Track header: parent index, length, reserved, start, loop length, sub-priority, flip h, flip v,
# other layer.
TRACK_HEADER = struct.Struct("<iiiiiiBBB")


def track_record(track):
    head = TRACK_HEADER.pack(track.get("parent", -1), track.get("length", 60), track.get("reserved", 0),
                             track.get("start", 0), track.get("loop_length", 60), track.get("sub_priority", 0),
                             track.get("flip_h", 0), track.get("flip_v", 0), track.get("other_layer", 0))
    return bytes([track.get("kind", 0)]) + head + bytes.fromhex(track.get("fields", ""))


def track_records(desc):
    return b"".join(track_record(t) for t in desc.get("tracks", []))


def film_bytes(desc):
    version = desc.get("version", 111)
    if not 100 <= version <= 999:
        raise ValueError("version out of range: %d" % version)
    out = MAGICS[desc.get("kind", "cinema")] + b"%03d" % version
    out += struct.pack("<iii", desc.get("width", 640), desc.get("height", 480), desc.get("colour", -1))
    if version >= 102:
        out += bytes([desc.get("relative", 0)])
    if version >= 104:
        out += struct.pack("<ii", *desc.get("origin", [0, 0]))
    if version >= 106:
        out += struct.pack("<i", desc.get("loop_back", 0))
    tracks = desc.get("tracks", [])
    return out + struct.pack("<I", len(tracks)) + track_records(desc)


# Fuzz seeds: a version selector byte (100 + b mod 12), then track records.
SEEDS = {
    "chain_106": (6, [{"length": 30, "start": 15, "loop_length": 4},
                      {"kind": 2, "parent": 0, "length": 10, "flip_h": 1},
                      {"kind": 0x83, "parent": 1, "length": 5, "other_layer": 1}]),
    "loop_111": (11, [{"parent": 1, "length": 20}, {"parent": 0, "length": 7, "start": 3}]),
    "outside_107": (7, [{"parent": 9, "length": 2147483647, "start": 2147483647, "loop_length": -5}]),
}


def main(argv):
    if len(argv) == 3 and argv[1] == "corpus":
        os.makedirs(argv[2], exist_ok=True)
        for name, (selector, tracks) in SEEDS.items():
            with open(os.path.join(argv[2], name), "wb") as f:
                f.write(bytes([selector]) + track_records({"tracks": tracks}))
        return 0
    if len(argv) >= 4 and argv[1] in ("film", "tracks"):
        with open(argv[2], encoding="utf-8") as f:
            desc = json.load(f)
        data = film_bytes(desc) if argv[1] == "film" else track_records(desc)
        if "--hex" in argv[4:]:
            data = data.hex().encode() + b"\n"
        if argv[3] == "-":
            sys.stdout.buffer.write(data)
        else:
            with open(argv[3], "wb") as f:
                f.write(data)
        return 0
    sys.stderr.write(__doc__)
    return 2


if __name__ == "__main__":
    sys.exit(main(sys.argv))
