#!/usr/bin/env python3
"""Reference byte forms of the stored scalar fields, built with struct and ctypes.

Prints one line per vector: kind, the value as text, the bytes in hex."""
import ctypes
import struct


def extended(value):
    # The x87 80-bit extended value: the first 10 bytes of a C long double on x86-64.
    return bytes(ctypes.c_longdouble(value))[:10]


def main():
    for v in (0, 1, -1, 0x7FFFFFFF, -0x80000000, 123456789):
        print("int32", v, struct.pack("<i", v).hex())
    for v in (0, 1, 0xFFFF, 0x1234):
        print("word", v, struct.pack("<H", v).hex())
    for v in (0, 0x7F, 0xFF):
        print("byte", v, struct.pack("<B", v).hex())
    for v in ("0.0", "1.5", "-2.25", "3.141592653589793", "1e300", "-1e-300"):
        print("double", v, struct.pack("<d", float(v)).hex())
    for v in ("0.0", "1.0", "-1.5", "0.1", "3.141592653589793", "1e300", "-1e-300", "123456789.125"):
        print("extended", v, extended(float(v)).hex())
    for s in (b"", b"abc", "表示".encode("cp932")):
        print("string", s.hex() or "-", (struct.pack("<i", len(s)) + s).hex())


if __name__ == "__main__":
    main()
