#!/usr/bin/env python3
"""Reference "install.dat" files of several versions, built field by field with struct.

Prints one line per file: its name and its bytes in hex. Every file holds the same record
(see RECORD); a version writes only the fields it has."""
import struct

RECORD = {
    "disc": 2,
    "set_id": "ソフト".encode("cp932"),  # the first character's trail byte is 0x5C
    "s3": b"s3", "s4": b"", "s5": b"s5",
    "byte_a": 0x11, "s7": b"s7", "byte_b": 0x22,
    "entries": [(1, -2, 0x123456789, 4), (5, 6, 7, -1)],
    "s10": b"s10", "int11": -7, "byte_c": 0x33, "byte_d": 0x44, "s14": b"s14", "s15": b"s15",
    "values": (17, 0x1122334455667788, -20, 0),
    "byte_e": 0x55, "byte_f": 0x66,
    "entry_names": [b"a.mra", "表.mra".encode("cp932")],
    "fully_installed": 1, "byte_g": 0x77, "byte_h": 0x88,
    "other_names": [b"x", b"", b"y"],
    "s28": b"s28", "s29": b"s29", "s30": "三十".encode("cp932"),
}


def string(b):
    return struct.pack("<i", len(b)) + b


def names(items):
    return struct.pack("<i", len(items)) + b"".join(string(s) for s in items)


def value(v, version):
    # Older files keep only the low 32 bits of each value.
    return struct.pack("<I", v & 0xFFFFFFFF) if version < 100 else struct.pack("<q", v)


def build(version, magic=True, entry_names=None):
    r = RECORD
    out = b"is%03d" % version if magic else b""
    out += struct.pack("<i", r["disc"]) + string(r["set_id"]) + string(r["s3"]) + string(r["s4"]) + string(r["s5"])
    out += struct.pack("<B", r["byte_a"]) + string(r["s7"]) + struct.pack("<B", r["byte_b"])
    out += struct.pack("<i", len(r["entries"])) + string(r["s10"])
    out += struct.pack("<iBB", r["int11"], r["byte_c"], r["byte_d"])
    out += string(r["s14"]) + string(r["s15"])
    out += b"".join(value(v, version) for entry in r["entries"] for v in entry)
    out += b"".join(value(v, version) for v in r["values"])
    out += struct.pack("<B", r["byte_e"])
    if version >= 101:
        out += struct.pack("<B", r["byte_f"])
    if version >= 102:
        out += names(r["entry_names"] if entry_names is None else entry_names)
    if version >= 103:
        out += struct.pack("<B", r["fully_installed"])
    if version >= 104:
        out += struct.pack("<B", r["byte_g"])
    if version >= 105:
        out += struct.pack("<B", r["byte_h"])
    if version >= 106:
        out += names(r["other_names"])
    if version >= 107:
        out += string(r["s28"])
    if version >= 108:
        out += string(r["s29"]) + string(r["s30"])
    return out


def main():
    print("v108", build(108).hex())
    print("v101", build(101).hex())
    print("bare", build(0, magic=False).hex())
    print("v102-empty-name", build(102, entry_names=[b"", b"a.mra", b""]).hex())


if __name__ == "__main__":
    main()
