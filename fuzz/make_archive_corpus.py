#!/usr/bin/env python3
"""Writes the seed corpus of the archive index harness into corpus/archive_index/: tiny valid
archives of every index version (plain and carried by a program), and damaged ones. Archives
come from the reference packer of the test tools.

  make_archive_corpus.py
"""
import os
import struct
import sys
import zlib

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "tests", "tools"))
from vfarchive import build_archive  # noqa: E402

# (cp932 name, text name, data, file time); ".wav" entries are stored raw from version 101.
ENTRIES = [
    (b"a.txt", "a.txt", b"hello hello hello", 0x5A2B3C4D),
    (b"sub\\b.wav", "sub\\b.wav", b"RIFF....WAVE", 0),
    (b"\x95\x5c\\\x83\x5c.wav", "表\\ソ.wav", b"", -1),  # trail bytes 0x5C in both parts
]


def archive(version, crc_mode=0):
    index, data = build_archive(ENTRIES, version, (".wav",), crc_mode, None)
    return index + data


def int32(v):
    return struct.pack("<i", v)


def main():
    out = os.path.join(HERE, "corpus", "archive_index")
    os.makedirs(out, exist_ok=True)
    seeds = {f"v{v}": archive(v) for v in (0, 100, 101)}
    seeds["v102-crc-mode-1"] = archive(102, 1)
    program = b"\x7fELF" + bytes(60)
    seeds["carrier-v102"] = program + archive(102) + int32(len(program)) + b"qz"
    seeds["empty-v102"] = b"vf" + int32(102) + int32(0) + struct.pack("<Q", 1362598417 ^ 18)
    good = archive(0)
    seeds["broken-negative-count"] = int32(-1) + good[4:]
    seeds["broken-huge-count"] = int32(0x7FFFFFFF) + good[4:]
    seeds["broken-name-length"] = good[:4] + int32(1 << 30) + good[8:]
    seeds["broken-offsets-decrease"] = int32(1) + int32(1) + b"a" + int32(20) + int32(17) + bytes(8)
    seeds["broken-version-103"] = b"vf" + int32(103) + archive(102)[6:]
    seeds["broken-cut-tables"] = archive(101)[:40]
    seeds["broken-cut-zlib"] = int32(1) + int32(1) + b"a" + int32(17) + int32(21) + b"x\x9c\xcbH"
    seeds["broken-trailer-outside"] = archive(102) + int32(1 << 20) + b"qz"
    bomb = zlib.compress(bytes(2 << 20), 9)  # twice the harness's memory budget once inflated
    seeds["broken-inflates-past-budget"] = int32(1) + int32(1) + b"a" + int32(17) + int32(17 + len(bomb)) + bomb
    for name, data in seeds.items():
        with open(os.path.join(out, name), "wb") as f:
            f.write(data)


if __name__ == "__main__":
    main()
