#!/usr/bin/env python3
"""Reference label-list settings records, built with struct.

Without arguments, prints one line per record: the save version, the antialias level stored, the record in hex.
Every record holds margin 2, alpha 200, font size 24, the face "ＭＳ 明朝", colour 0x123456,
border colour 0x654321, style 5, the metrics block of bytes (i * 7) mod 256, and (from version 122
on) shadow size 3 and shadow colour 0x0000FF. With "corpus FOLDER", writes the fuzz seeds there instead."""
import os
import struct
import sys

FACE = "ＭＳ 明朝".encode("cp932")
METRICS = bytes(i * 7 % 256 for i in range(212))


def record(version, level):
    out = struct.pack("<4i", level, 2, 200, 24)
    out += struct.pack("<i", len(FACE)) + FACE
    out += struct.pack("<iiB", 0x123456, 0x654321, 5)
    out += METRICS
    if version >= 122:
        out += struct.pack("<ii", 3, 0x0000FF)
    return out


def write_corpus(folder):
    os.makedirs(folder, exist_ok=True)
    seeds = {
        "old": record(108, 2),
        "current": record(144, 3),
        "short": record(144, 3)[:40],
        "huge_face": struct.pack("<4i", 3, 0, 255, 12) + struct.pack("<i", 0x7FFFFFFF),
    }
    for name, data in seeds.items():
        with open(os.path.join(folder, name), "wb") as f:
            f.write(data)


def main():
    if sys.argv[1:2] == ["corpus"]:
        write_corpus(sys.argv[2])
        return
    for version in (108, 121, 144):
        for level in range(4):
            print(version, level, record(version, level).hex())


if __name__ == "__main__":
    main()
