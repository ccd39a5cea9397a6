#!/usr/bin/env python3
"""Reference results of the typed data tables. Texts are written as x<hex> of their code page 932
bytes, 80-bit extended values as their 10 little-endian bytes in hex (ctypes.c_longdouble).

  dbs_ref.py convert        one line per cell written and read back:
                            "<field> <setter> <value> <int> <real> <bool> <text>": fields 1 int,
                            2 real, 3 bool, 4 string of 5 bytes, 5 string of 20 bytes; setters
                            i r b s; a read no int32 holds is ERR, a refused write leaves 0
  dbs_ref.py stream         the manager's stream form of the fixed tables, game tables then
                            status tables, as two hex lines
  dbs_ref.py tsv PATH       writes a tab-separated file in cp932 to PATH and prints the cells the
                            import must give: a line of field "<name> <type> <size>", then one
                            line of cells per row
  dbs_ref.py corpus DIR      seeds of fuzz/dbs_read.cpp: the stream forms above and the
                            tab-separated file, each behind its mode byte
  dbs_ref.py sort N SEED    N rows "<int> <real> <bool> <text>" (no two with the same keys), a
                            line "--", then the row indexes in the order of the keys
                            bool ascending, int descending, text ascending, and a line "--" and
                            the order by text descending alone
"""
import ctypes
import hashlib
import os
import random
import re
import struct
import sys
from fractions import Fraction

libc = ctypes.CDLL(None)

INT_MIN, INT_MAX = -2 ** 31, 2 ** 31 - 1


def ext_bytes(text):
    """The extended value nearest to decimal text (glibc's scanf), as its 10 bytes."""
    value = ctypes.c_longdouble()
    assert libc.sscanf(text.encode(), b"%Lf", ctypes.byref(value)) == 1
    return bytes(value)[:10]


def ext_value(b):
    mant, sign_exp = struct.unpack("<QH", b)
    exp = sign_exp & 0x7FFF
    v = Fraction(mant) * Fraction(2) ** ((exp or 1) - 16383 - 63)
    return -v if sign_exp & 0x8000 else v


def ext_of(v):
    """An extended value known to be exact (a small integer or a value read back)."""
    if v == 0:
        return bytes(10)
    e = abs(v).numerator.bit_length() - abs(v).denominator.bit_length()
    if Fraction(2) ** e > abs(v):
        e -= 1
    mant = int(abs(v) * Fraction(2) ** (63 - e))
    return struct.pack("<QH", mant, (e + 16383) | (0x8000 if v < 0 else 0))


def float_to_str(v):
    """15 significant digits, ties to even, trailing zeros dropped; fixed or E notation."""
    if v == 0:
        return "0"
    a = abs(v)
    e = len(str(a.numerator)) - len(str(a.denominator))
    while Fraction(10) ** e > a:
        e -= 1
    while Fraction(10) ** (e + 1) <= a:
        e += 1
    n = round(a * Fraction(10) ** (14 - e))
    if n == 10 ** 15:
        n, e = n // 10, e + 1
    digits = str(n).rstrip("0")
    sign = "-" if v < 0 else ""
    if -4 <= e < 15:
        if e >= 0:
            whole = (digits + "0" * 15)[: e + 1]
            frac = digits[e + 1:]
        else:
            whole, frac = "0", "0" * (-e - 1) + digits
        return sign + whole + ("." + frac if frac else "")
    return sign + digits[0] + ("." + digits[1:] if len(digits) > 1 else "") + "E" + str(e)


def str_to_int(s):
    """StrToIntDef(s, 0): spaces, a sign, decimal digits or hexadecimal after $, x or 0x."""
    m = re.fullmatch(r" *([+-]?)(?:(\d+)|(?:\$|0x|x)([0-9a-fA-F]+))", s, re.I)
    if not m:
        return 0
    if m.group(2) is not None:
        v = int(m.group(2)) * (-1 if m.group(1) == "-" else 1)
        return v if INT_MIN <= v <= INT_MAX else 0
    v = int(m.group(3), 16)
    if v > 0xFFFFFFFF:
        return 0
    v = (-v if m.group(1) == "-" else v) & 0xFFFFFFFF
    return v - 2 ** 32 if v > INT_MAX else v


def str_to_real(s):
    """The extended nearest to decimal text; 0 when it is not a number."""
    if not re.fullmatch(r" *[+-]?\d+(\.\d+)?([eE][+-]?\d+)? *", s):
        return Fraction(0)
    return ext_value(ext_bytes(s.strip()))


def round_int(v):
    r = round(v)  # ties to even
    return r if INT_MIN <= r <= INT_MAX else None


def xhex(b):
    return "x" + b.hex()


# Cells: (kind, value) with kind "i" int, "r" real (Fraction, exact extended), "b" bool,
# "s" text (bytes, already cut).
def store(field, setter, v):
    length = {4: 5, 5: 20}.get(field)
    if field == 1:
        if setter == "r":
            r = round_int(v)
            return 0 if r is None else r
        return str_to_int(v.decode("cp932")) if setter == "s" else int(v)
    if field == 2:
        if setter == "s":
            return str_to_real(v.decode("cp932"))
        return Fraction(int(v) if setter == "b" else v)
    if field == 3:
        if setter == "s":
            return v == b"TRUE"
        return v != 0
    if setter == "s":
        text = v
    elif setter == "b":
        text = b"TRUE" if v else b"FALSE"
    else:
        text = (float_to_str(v) if setter == "r" else str(v)).encode()
    return text[:length]


def reads(field, cell):
    if field == 1:
        return str(cell), ext_of(Fraction(cell)).hex(), int(cell != 0), xhex(str(cell).encode())
    if field == 2:
        r = round_int(cell)
        return ("ERR" if r is None else str(r)), ext_of(cell).hex(), int(cell != 0), xhex(float_to_str(cell).encode())
    if field == 3:
        return str(int(cell)), ext_of(Fraction(int(cell))).hex(), int(cell), xhex(b"TRUE" if cell else b"FALSE")
    text = cell.decode("cp932", errors="replace")
    return (str(str_to_int(text)), ext_of(str_to_real(text)).hex(), int(cell == b"TRUE"), xhex(cell))


def convert():
    ints = [0, 7, -12, 123456, INT_MAX, INT_MIN]
    reals = ["2.5", "3.5", "-2.5", "0.1", "123456.789", "1e-5", "1e20", "2147483647.5", "-2147483648.4",
             "0.0001", "1e15", "999999999999999.5"]
    texts = ["12", "-7", "2.5", "3.5", "abc", "TRUE", "true", "$1F", " 42", "1e3", "1234567", "",
             "表示です", "2147483648"]
    for field in range(1, 6):
        for v in ints:
            print(field, "i", v, *reads(field, store(field, "i", v)))
        for t in reals:
            b = ext_bytes(t)
            print(field, "r", b.hex(), *reads(field, store(field, "r", ext_value(b))))
        for v in (0, 1):
            print(field, "b", v, *reads(field, store(field, "b", v)))
        for t in texts:
            b = t.encode("cp932")
            print(field, "s", xhex(b), *reads(field, store(field, "s", b)))


# ---- Stream form ----

def s32(v):
    return struct.pack("<i", v)


def sstr(b):
    return s32(len(b)) + b


def field_bytes(name, ftype, length=0):
    size = {1: 4, 2: 10, 3: 1, 4: length + 1}[ftype]
    return size, s32(size) + sstr(name.encode("cp932")) + bytes([ftype])


def cell_bytes(ftype, size, v):
    if ftype == 1:
        return s32(v)
    if ftype == 2:
        return v if isinstance(v, bytes) else ext_bytes(v)
    if ftype == 3:
        return bytes([int(v)])
    b = v.encode("cp932")[: size - 1]
    return b + bytes(size - len(b))


def table_bytes(name, kind, fields, rows, recno):
    out = sstr(name.encode("cp932")) + bytes([kind]) + s32(len(fields))
    sizes = []
    for f in fields:
        size, b = field_bytes(*f)
        sizes.append(size)
        out += b
    out += struct.pack("<I", len(rows))
    for row in rows:
        for f, size, v in zip(fields, sizes, row):
            out += cell_bytes(f[1], size, v)
    return out + s32(recno)


# The fixed tables (the C++ test builds the same through the table interface).
GAME = [("品目", 0, [("id", 1), ("price", 2), ("ok", 3), ("名前", 4, 8)],
         [(1, "2.5", True, "りんご"), (-5, "0.1", False, "banana-long")], 1),
        ("empty", 0, [], [], -1)]
STATUS = [("runs", 1, [("count", 1)], [(3,)], 0)]


def manager_bytes(tables, kind, active):
    out = struct.pack("<II", 100, len(tables))
    for t in tables:
        out += b"\0" + table_bytes(*t)
    if kind == 0:
        out += sstr(active.encode("cp932"))
    return out


def stream():
    print(manager_bytes(GAME, 0, "品目").hex())
    print(manager_bytes(STATUS, 1, "").hex())


# ---- Tab-separated text ----

TSV_HEADER = ["番号 int", "名前 str 6", "値  float", "フラグ bool", "メモ", "表 Int 3"]
TSV_ROWS = [["1", "表示テスト", "2.5", "TRUE", "a\\nb\\\\c\\\"d", "xyz9"],
            ["-3", "ab", "x", "true", ""],
            [],
            ["7", "", "1e3", "FALSE", "ソ\\n", "12", "extra"]]
# The fields the header makes: name, type and size.
TSV_FIELDS = [("番号", 1, 4), ("名前", 4, 7), ("値", 4, 81), ("フラグ", 3, 1), ("メモ", 4, 81), ("表", 4, 4)]


def tsv_bytes():
    lines = ["\t".join(TSV_HEADER)] + ["\t".join(r) for r in TSV_ROWS]
    return "\r\n".join(lines).encode("cp932") + b"\r\n"


def tsv(path):
    with open(path, "wb") as f:
        f.write(tsv_bytes())
    for name, t, size in TSV_FIELDS:
        print(xhex(name.encode("cp932")), t, size)
    for r in TSV_ROWS:
        if r:
            print(" ".join(tsv_cells(TSV_FIELDS, r)))


def decode_escapes(b):
    out, i = b"", 0
    while i < len(b):
        if b[i] == 0x5C and i + 1 < len(b) and b[i + 1] in b'\\"n':
            out += {ord("\\"): b"\\", ord('"'): b'"', ord("n"): b"\r\n"}[b[i + 1]]
            i += 2
        elif 0x81 <= b[i] <= 0x9F or 0xE0 <= b[i] <= 0xFC:
            out += b[i:i + 2]
            i += 2
        else:
            out += b[i:i + 1]
            i += 1
    return out


def tsv_cells(fields, row):
    cells = decode_escapes("\t".join(row).encode("cp932")).split(b"\t")
    out = []
    for i, (name, t, size) in enumerate(fields):
        b = cells[i] if i < len(cells) else b""
        if t == 4:
            out.append(xhex(b[: size - 1]))
        else:
            out.append(reads(t, store(t, "s", b))[3])
    return out


# ---- Sort ----

def sort(n, seed):
    rnd = random.Random(seed)
    rows, seen = [], set()
    while len(rows) < n:
        row = (rnd.randint(-2, 2) * 1000000000, rnd.choice(["0.5", "-1.25", "1e10", "3"]), rnd.random() < 0.5,
               "".join(rnd.choice(["a", "B", "z", "表", "ア", "~"]) for _ in range(rnd.randint(0, 4))))
        key = (row[2], row[0], row[3])
        if key in seen or row[3] in {r[3] for r in rows}:
            continue
        seen.add(key)
        rows.append(row)
    for r in rows:
        print(r[0], r[1], int(r[2]), xhex(r[3].encode("cp932")))
    print("--")
    order = sorted(range(n), key=lambda i: (rows[i][2], -rows[i][0], rows[i][3].encode("cp932")))
    print(" ".join(map(str, order)))
    print("--")
    order = sorted(range(n), key=lambda i: rows[i][3].encode("cp932"), reverse=True)
    print(" ".join(map(str, order)))


def corpus(folder):
    text = tsv_bytes()
    # The last stream holds extended values no arithmetic makes: an unnormal, a pseudo-infinity, a
    # pseudo-NaN, a pseudo-denormal and the largest finite value.
    odd = [("odd", 0, [("r", 2)], [(bytes.fromhex(h),) for h in (
        "0000000000000040ff3f", "0000000000000000ff7f", "0100000000000000ff7f", "00000000000000800000",
        "fffffffffffffffffe7f")], 4)]
    seeds = [b"\0" + manager_bytes(GAME, 0, "品目"), b"\1" + manager_bytes(STATUS, 1, ""), b"\2" + text,
             b"\x1e" + text, b"\0" + manager_bytes(odd, 0, "odd"), b"\x0b" + b"a int\tb bool\n3\tTRUE\n-1\tFALSE\n"]
    os.makedirs(folder, exist_ok=True)
    for seed in seeds:
        with open(os.path.join(folder, hashlib.sha1(seed).hexdigest()), "wb") as f:
            f.write(seed)


def main():
    mode = sys.argv[1]
    if mode == "convert":
        convert()
    elif mode == "stream":
        stream()
    elif mode == "tsv":
        tsv(sys.argv[2])
    elif mode == "corpus":
        corpus(sys.argv[2])
    elif mode == "sort":
        sort(int(sys.argv[2]), int(sys.argv[3]))


if __name__ == "__main__":
    main()
