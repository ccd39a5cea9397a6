#!/usr/bin/env python3
"""Reference results of the built-in number, date and string functions, one case per line.
Doubles are written with float.hex, 80-bit extended values as their 10 little-endian bytes in hex.

  funcs_ref.py random SEED RANGE...  the shared generator from SEED, one draw per RANGE (int32)
  funcs_ref.py reals                 "<name> <arg>... <result>" of the real functions (math)
  funcs_ref.py ext TEXT...           the extended nearest to each decimal TEXT
  funcs_ref.py dates N SEED          "<serial> <year> <month> <day> <hour> <min> <sec> <week>" or
                                     "<serial> ERR": the milliseconds rounded as an extended product,
                                     then to an integer (ties to even)
  funcs_ref.py encodes N SEED        "<y> <m> <d> <serial> <h> <m> <s> <time>": the time the extended
                                     quotient rounded again to a double
  funcs_ref.py replace N SEED        "<S> <Old> <New> <all> <ignore> <result>", texts as x<hex>:
                                     StringReplace on decoded code page 932 text; ignoring case
                                     changes only single-byte letters
"""
import ctypes
import datetime
import math
import random
import sys
from fractions import Fraction


def round_bits(f, bits):
    """f rounded to `bits` significant bits, ties to even; with the exponent of its top bit."""
    if f == 0:
        return Fraction(0), 0
    e = abs(f).numerator.bit_length() - abs(f).denominator.bit_length()
    if Fraction(2) ** e > abs(f):
        e -= 1
    scale = Fraction(2) ** (bits - 1 - e)
    return Fraction(round(f * scale)) / scale, e


def ext_hex(f):
    f, e = round_bits(f, 64)
    sign_exp = (0x8000 if f < 0 else 0) | (e + 16383 if f else 0)
    return (int(abs(f) * Fraction(2) ** (63 - e)).to_bytes(8, "little") + sign_exp.to_bytes(2, "little")).hex()


def hexf(x):
    return "nan" if math.isnan(x) else float.hex(x)


def reals():
    xs = [0.0, 0.5, -0.5, 1.0, -3.75, 1e-300, 100.0, 1e10, 2.0 ** 62, math.pi / 3]
    for name, fn in {"Sin": math.sin, "Cos": math.cos, "Tan": math.tan, "ArcTan": math.atan}.items():
        for x in xs:
            print(name, hexf(x), hexf(fn(x)))
    for x in [-1.0, -0.999, 0.0, 1e-10, 0.3, 0.75, 1.0]:
        print("ArcSin", hexf(x), hexf(math.asin(x)))
        print("ArcCos", hexf(x), hexf(math.acos(x)))
    for y, x in [(1.0, -1.0), (0.0, 0.0), (-2.0, -3.0), (3.0, 4.0), (1e300, 1e300), (-0.0, 5.0), (1e-320, 1.0)]:
        print("ArcTan2", hexf(y), hexf(x), hexf(math.atan2(y, x)))
        print("Hypot", hexf(y), hexf(x), hexf(math.hypot(y, x)))


def decode(serial):
    ms = round(round_bits(Fraction(serial) * 86400000, 64)[0])
    if abs(ms) >= 2 ** 63:
        return "ERR"
    days = abs(ms) // 86400000 * (-1 if ms < 0 else 1) + 693594
    t = abs(ms) % 86400000
    week = int(math.fmod(days, 7)) + 1  # the remainder takes the sign of the day number
    y = m = d = 0
    if days > 0:
        date = datetime.date.fromordinal(days)
        y, m, d = date.year, date.month, date.day
        assert week == date.isoweekday() % 7 + 1
    return f"{y} {m} {d} {t // 3600000} {t // 60000 % 60} {t // 1000 % 60} {week}"


def dates(n, rng):
    serials = [0.0, 1.75, -1.25, 36526.0, -693593.0, -693594.0, -693594.5, -693595.25, 2958465.99999, 1e300,
               # just short of a whole second, a minute, noon and midnight: rounded, not truncated
               (1000 - 0.3) / 86400000, -(60000 - 0.4) / 86400000, (43200000 - 0.3) / 86400000,
               1 - 0.2 / 86400000, 36525 - 0.45 / 86400000]
    while len(serials) < n:
        serials.append(rng.uniform(-700000, 2958466) if rng.random() < 0.8 else rng.uniform(-2, 2))
    for s in serials + [float("nan")]:
        print(hexf(s), "ERR" if math.isnan(s) else decode(s))


def encodes(n, rng):
    for _ in range(n):
        date = datetime.date.fromordinal(rng.randrange(1, datetime.date(9999, 12, 31).toordinal() + 1))
        h, m, s = rng.randrange(24), rng.randrange(60), rng.randrange(60)
        q = round_bits(round_bits(Fraction(h * 3600000 + m * 60000 + s * 1000, 86400000), 64)[0], 53)[0]
        print(date.year, date.month, date.day, date.toordinal() - 693594, h, m, s, hexf(float(q)))


def ascii_upper(text):
    """Only single-byte letters change case; full-width ones stay."""
    return "".join(c.upper() if c.isascii() else c for c in text)


def replace(n, rng):
    alphabet = ["a", "A", "b", "\\", "表", "ソ", "ａ", "Ａ", "ー", " "]
    word = lambda lo, hi: "".join(rng.choice(alphabet) for _ in range(rng.randint(lo, hi)))
    for _ in range(n):
        s, old, new = word(0, 12), word(1, 3), word(0, 3)
        replace_all, ignore = rng.random() < 0.5, rng.random() < 0.5
        searched, pattern = (ascii_upper(s), ascii_upper(old)) if ignore else (s, old)
        out, start = "", 0
        while (at := searched.find(pattern, start)) >= 0:
            out, start = out + s[start:at] + new, at + len(pattern)
            if not replace_all:
                break
        texts = ["x" + t.encode("cp932").hex() for t in (s, old, new, out + s[start:])]
        print(*texts[:3], int(replace_all), int(ignore), texts[3])


def main():
    cmd, args = sys.argv[1], sys.argv[2:]
    if cmd == "random":
        seed, out = int(args[0]), []
        for r in map(int, args[1:]):
            seed = (seed * 134775813 + 1) & 0xFFFFFFFF
            out.append(ctypes.c_int32(((r & 0xFFFFFFFF) * seed) >> 32).value)
        print(*out)
    elif cmd == "reals":
        reals()
    elif cmd == "ext":
        print(*(ext_hex(Fraction(text)) for text in args), sep="\n")
    else:
        {"dates": dates, "encodes": encodes, "replace": replace}[cmd](int(args[0]), random.Random(int(args[1])))


if __name__ == "__main__":
    main()
