#!/usr/bin/env python3
"""A small reference writer and reader of the content archive, for cross-checks and fuzz seeds.

  vfarchive_ref.py pack OUT FOLDER [--version {0,100,101,102}] [--raw-ext .wav,.ogg] [--crc-mode {0,1}]
                                   [--ext | --carrier PROGRAM]
  vfarchive_ref.py list ARCHIVE [--ext | --carrier]
  vfarchive_ref.py cat ARCHIVE NAMEHEX [--ext | --carrier]

Index (little-endian): ["vf", int32 version] (not in version 0), int32 N, N names (int32 length and bytes),
N+1 offsets (uint32 below 101, int64 from 101), from 101 N raw flags, N int32 file times, N uint32 CRCs,
from 102 N crc modes; then the data, entry i at [offset i, offset i+1) counted from the index start.
From 100 names and offsets are XORed with the keystream state = state * 5 + 1362598417 (mod 2^32): the low
byte for each name byte (one generator for all names), the value (sign-extended for int64) for each offset
(a fresh generator).

pack: the files under FOLDER, named by their relative path with "\\" separators in cp932, in order of those
bytes. Raw storage from 101 for names ending (any case) in one of --raw-ext; CRC over the stored bytes (mode 0)
or the plain bytes (mode 1). File time: mtime in UTC, DOS-packed. --ext writes the index to OUT with its
extension replaced by ".ext" and only the data to OUT (offsets count from OUT's first byte); --carrier writes
PROGRAM's bytes, the archive and the trailer (int32 index position, "qz").
list: per entry "namehex offset size raw filetime crc crcmode" with the absolute offset in ARCHIVE.
cat: the plain bytes of the entry whose name bytes are NAMEHEX. CRCs are checked (101 and up)."""
import argparse
import os
import struct
import sys
import time
import zlib

SEED = 1362598417


def keys():
    state = 0
    while True:
        state = (state * 5 + SEED) & 0xFFFFFFFF
        yield state


def xor_names(names):
    k = keys()
    return [bytes(b ^ (next(k) & 0xFF) for b in name) for name in names]


def xor_offsets(offsets, wide):
    k = keys()
    out = []
    for value in offsets:
        key = next(k)
        if wide:
            key = key | 0xFFFFFFFF00000000 if key & 0x80000000 else key
            out.append(value ^ key)
        else:
            out.append((value ^ key) & 0xFFFFFFFF)
    return out


def dos_time(mtime):
    t = time.gmtime(mtime)
    if t.tm_year < 1980 or t.tm_year > 2107:
        return -1
    packed = (t.tm_year - 1980) << 25 | t.tm_mon << 21 | t.tm_mday << 16 | t.tm_hour << 11 | t.tm_min << 5 | t.tm_sec // 2
    return packed - (1 << 32) if packed & 0x80000000 else packed


def build(entries, version, crc_mode=0, data_base=None):
    """entries: (name bytes, plain bytes, raw, file time). Returns (index, data); data_base None puts the data
    right after the index (offsets from the index start), else offsets count from data_base."""
    names = [e[0] for e in entries]
    stored = [e[1] if e[2] and version >= 101 else zlib.compress(e[1]) for e in entries]
    n = len(entries)
    wide = version >= 101
    head = (b"vf" + struct.pack("<i", version) if version else b"") + struct.pack("<i", n)
    listed = xor_names(names) if version >= 100 else names
    head += b"".join(struct.pack("<i", len(name)) + name for name in listed)
    tables = n * ((9 if version >= 101 else 0) + (1 if version >= 102 else 0))
    position = len(head) + (n + 1) * (8 if wide else 4) + tables if data_base is None else data_base
    offsets = []
    for s in stored:
        offsets.append(position)
        position += len(s)
    offsets.append(position)
    if version >= 100:
        offsets = xor_offsets(offsets, wide)
    index = head + b"".join(struct.pack("<Q" if wide else "<I", o) for o in offsets)
    if version >= 101:
        index += bytes(1 if e[2] else 0 for e in entries)
        index += b"".join(struct.pack("<i", e[3]) for e in entries)
        crcs = [zlib.crc32(e[1] if crc_mode == 1 and version >= 102 else s) for e, s in zip(entries, stored)]
        index += b"".join(struct.pack("<I", c) for c in crcs)
    if version >= 102:
        index += bytes([crc_mode] * n)
    return index, b"".join(stored)


def side_name(path):
    root, ext = os.path.splitext(path)
    return root + ".ext"


def pack(args):
    raw_exts = [e.lower() for e in args.raw_ext.split(",") if e]
    entries = []
    for folder, _, files in os.walk(args.folder):
        for f in files:
            path = os.path.join(folder, f)
            if os.path.islink(path):
                continue
            name = os.path.relpath(path, args.folder).replace(os.sep, "\\").encode("cp932")
            with open(path, "rb") as src:
                data = src.read()
            raw = any(f.lower().endswith(e) for e in raw_exts)
            entries.append((name, data, raw, dos_time(os.stat(path).st_mtime)))
    entries.sort(key=lambda e: e[0])
    if args.ext:
        index, data = build(entries, args.version, args.crc_mode, data_base=0)
        with open(side_name(args.out), "wb") as f:
            f.write(index)
        with open(args.out, "wb") as f:
            f.write(data)
        return
    index, data = build(entries, args.version, args.crc_mode)
    prefix = b""
    if args.carrier:
        with open(args.carrier, "rb") as f:
            prefix = f.read()
    trailer = struct.pack("<i", len(prefix)) + b"qz" if args.carrier else b""
    with open(args.out, "wb") as f:
        f.write(prefix + index + data + trailer)


class Reader:
    def __init__(self, blob, pos):
        self.blob, self.pos = blob, pos

    def take(self, count):
        if count < 0 or self.pos + count > len(self.blob):
            sys.exit("vfarchive_ref.py: truncated index")
        part = self.blob[self.pos:self.pos + count]
        self.pos += count
        return part

    def values(self, code, count):
        size = struct.calcsize(code)
        return list(struct.unpack("<%d%s" % (count, code), self.take(size * count)))


def read_entries(args):
    """Returns (data bytes, entries as (name, offset, size, raw, time, crc, crc mode))."""
    with open(args.archive, "rb") as f:
        data = f.read()
    start = 0
    if args.ext:
        with open(side_name(args.archive), "rb") as f:
            index = f.read()
    else:
        index = data
        if args.carrier:
            if data[-2:] != b"qz":
                sys.exit("vfarchive_ref.py: no trailer")
            start = struct.unpack("<i", data[-6:-2])[0]
    r = Reader(index, start)
    version = 0
    if index[start:start + 2] == b"vf":
        r.take(2)
        version = r.values("i", 1)[0]
    n = r.values("i", 1)[0]
    names = [r.take(r.values("i", 1)[0]) for _ in range(n)]
    if version >= 100:
        names = xor_names(names)
    offsets = r.values("Q" if version >= 101 else "I", n + 1)
    if version >= 100:
        offsets = xor_offsets(offsets, version >= 101)
    raws, times, crcs, modes = [0] * n, [0] * n, [0] * n, [0] * n
    if version >= 101:
        raws, times, crcs = r.values("B", n), r.values("i", n), r.values("I", n)
    if version >= 102:
        modes = r.values("B", n)
    base = 0 if args.ext else start
    entries = [(names[i], base + offsets[i], offsets[i + 1] - offsets[i], raws[i], times[i], crcs[i], modes[i])
               for i in range(n)]
    if any(e[2] < 0 or e[1] + e[2] > len(data) for e in entries):
        sys.exit("vfarchive_ref.py: offsets outside the archive")
    return data, entries, version


def plain_bytes(data, entry, version):
    name, offset, size, raw, _, crc, mode = entry
    stored = data[offset:offset + size]
    plain = stored if raw else zlib.decompress(stored)
    if version >= 101 and zlib.crc32(plain if mode == 1 else stored) != crc:
        sys.exit("vfarchive_ref.py: CRC mismatch in " + name.hex())
    return plain


def main():
    p = argparse.ArgumentParser()
    sub = p.add_subparsers(dest="command", required=True)
    pk = sub.add_parser("pack")
    pk.add_argument("out")
    pk.add_argument("folder")
    pk.add_argument("--version", type=int, choices=(0, 100, 101, 102), default=102)
    pk.add_argument("--raw-ext", default="")
    pk.add_argument("--crc-mode", type=int, choices=(0, 1), default=0)
    where = pk.add_mutually_exclusive_group()
    where.add_argument("--ext", action="store_true")
    where.add_argument("--carrier")
    for command in ("list", "cat"):
        c = sub.add_parser(command)
        c.add_argument("archive")
        if command == "cat":
            c.add_argument("namehex")
        where = c.add_mutually_exclusive_group()
        where.add_argument("--ext", action="store_true")
        where.add_argument("--carrier", action="store_true")
    args = p.parse_args()
    if args.command == "pack":
        pack(args)
        return
    data, entries, version = read_entries(args)
    if args.command == "list":
        for e in entries:
            plain_bytes(data, e, version)
            print(e[0].hex(), *e[1:])
        return
    for e in entries:
        if e[0].hex() == args.namehex.lower():
            sys.stdout.buffer.write(plain_bytes(data, e, version))
            return
    sys.exit("vfarchive_ref.py: no such entry")


if __name__ == "__main__":
    main()
