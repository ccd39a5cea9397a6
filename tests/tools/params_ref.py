#!/usr/bin/env python3
"""Reference conversions of script values, one case per line.

  params_ref.py floats N SEED   "<double LE hex> <extended LE hex> <int32 or ERR> <general text>"
      a double converted to an 80-bit extended (ctypes.c_longdouble, its first 10 bytes),
      truncated toward zero to the low 32 bits of the 64-bit result (ERR outside that range,
      for NaN and the infinities), and written in the general 15-digit format.
  params_ref.py ints N SEED     "<text hex> <int32 or FAIL>"
      integer text (blanks, sign, decimal or "$" / "x" / "0x" hexadecimal) and its value.
  params_ref.py texts N SEED    "<text> <general text>"
      decimal float text of at most 15 significant digits and the general format of its value.
"""
import ctypes
import math
import random
import struct
import sys


def general(x):
    """The general format: 15 significant digits, fixed for exponents -4..14, else scientific
    with the exponent written without "+" or leading zeros."""
    if math.isnan(x):
        return "NAN"
    if math.isinf(x):
        return "-INF" if x < 0 else "INF"
    if x == 0:
        return "0"
    text = "%.14e" % x
    sign = "-" if text.startswith("-") else ""
    mantissa, exponent = text.lstrip("-").split("e")
    exponent = int(exponent)
    digits = (mantissa[0] + mantissa[2:]).rstrip("0")
    if exponent >= 15 or exponent < -4:
        body = digits[0] + ("." + digits[1:] if len(digits) > 1 else "") + "E" + str(exponent)
    elif exponent < 0:
        body = "0." + "0" * (-exponent - 1) + digits
    else:
        whole = exponent + 1
        body = digits.ljust(whole, "0") if len(digits) <= whole else digits[:whole] + "." + digits[whole:]
    return sign + body


def truncated(x):
    if math.isnan(x) or math.isinf(x):
        return "ERR"
    t = math.trunc(x)
    if not -(2 ** 63) <= t < 2 ** 63:
        return "ERR"
    return str(ctypes.c_int32(t & 0xFFFFFFFF).value)


def floats(n, rng):
    fixed = [0.0, -0.0, 2.5, 3.0, 1 / 3, -2.7, 0.0001, 0.00001, 0.000099999999999999999, 1e15, 1e15 - 1,
             999999999999999.0, 123456789012345678.0, 2147483647.9, 2147483648.0, -2147483648.5, 4294967295.0,
             4294967301.25, 2.0 ** 63, -(2.0 ** 63), 2.0 ** 63 - 1024, 1e300, -1e-300, 5e-324, math.pi,
             float("inf"), float("-inf"), float("nan"), 0.1, 1.5e-7, 123.456, -0.5]
    values = fixed + []
    while len(values) < n:
        kind = rng.randrange(4)
        if kind == 0:
            values.append(rng.uniform(-1, 1) * 10.0 ** rng.randint(-30, 30))
        elif kind == 1:
            values.append(float(rng.randint(-(2 ** 40), 2 ** 40)) + rng.choice([0, 0.5, 0.25, 0.75]))
        elif kind == 2:
            values.append(struct.unpack("<d", rng.getrandbits(64).to_bytes(8, "little"))[0])
        else:
            values.append(round(rng.uniform(-1000, 1000), rng.randint(0, 6)))
    for x in values:
        extended = bytes(ctypes.c_longdouble(x))[:10]
        print(struct.pack("<d", x).hex(), extended.hex().upper(), truncated(x), general(x))


def ints(n, rng):
    cases = [("0", 0), ("-0", 0), ("+7", 7), ("  42", 42), ("2147483647", 2 ** 31 - 1), ("-2147483648", -(2 ** 31)),
             ("2147483648", None), ("-2147483649", None), ("$FFFFFFFF", -1), ("0xffffffff", -1), ("x10", 16),
             ("X1f", 31), ("-$10", -16), ("$100000000", None), ("$000000001", 1), ("0x", None), ("$", None),
             ("", None), ("   ", None), ("-", None), ("12 ", None), ("1.5", None), ("\t5", None), ("0b1", None),
             ("1e3", None), ("99999999999999999999", None), ("TRUE", None), ("- 5", None), ("+-5", None)]
    while len(cases) < n:
        v = rng.randint(-(2 ** 31), 2 ** 31 - 1)
        form = rng.randrange(6)
        if form == 0:
            cases.append((str(v), v))
        elif form == 1:
            cases.append((" " * rng.randint(1, 3) + str(v), v))
        elif form == 2:
            prefix = rng.choice(["$", "x", "X", "0x", "0X"])
            digits = format(v & 0xFFFFFFFF, rng.choice(["x", "X"]))
            cases.append((prefix + digits, ctypes.c_int32(v & 0xFFFFFFFF).value))
        elif form == 3:
            m = abs(v)
            cases.append(("-0x" + format(m, "x"), ctypes.c_int32(-m).value))
        elif form == 4:
            big = rng.randint(2 ** 31, 2 ** 40)
            cases.append((rng.choice(["", "-"]) + str(big + (1 if rng.random() < 0.5 else 0)), None))
        else:
            cases.append((str(v) + rng.choice(["a", " ", ".", "x"]), None))
    for text, value in cases:
        print(text.encode().hex() or "-", "FAIL" if value is None else value)


def texts(n, rng):
    cases = ["1.5e2", "0.1", "-0.0001", "1e15", "123456789012345", ".5", "5.", "-2.5E-3", "7"]
    while len(cases) < n:
        digits = str(rng.randint(1, 10 ** rng.randint(1, 15) - 1))
        point = rng.randint(0, len(digits))
        mantissa = digits[:point] + "." + digits[point:] if rng.random() < 0.7 else digits
        if mantissa == ".":
            mantissa = "0"
        text = rng.choice(["", "-", "+"]) + mantissa
        if rng.random() < 0.5:
            text += rng.choice(["e", "E"]) + rng.choice(["", "-", "+"]) + str(rng.randint(0, 40))
        cases.append(text)
    for text in cases:
        print(text, general(float(text)))


def main():
    mode, n, seed = sys.argv[1], int(sys.argv[2]), int(sys.argv[3])
    {"floats": floats, "ints": ints, "texts": texts}[mode](n, random.Random(seed))


if __name__ == "__main__":
    main()
