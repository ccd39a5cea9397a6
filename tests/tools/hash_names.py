#!/usr/bin/env python3
"""Random distinct names with their hash bucket, for the named-item hash collection.

Usage: hash_names.py COUNT SEED

Prints one line per name: the name in code page 932 as hex ("-" when empty), the same name
with the case of every letter swapped as hex, and the bucket. Names mix ASCII, full-width Latin, Greek and
Cyrillic letters (which have case), hiragana, kanji and half-width katakana (which have none).
No two names are equal without regard to case. The bucket is computed over the name lowered
letter by letter: (length in bytes * 16 + first byte + second-to-last byte) & 255, the two
bytes only for names of two bytes or more."""
import random
import sys

ALPHABET = (
    [chr(c) for c in range(0x20, 0x7F)]
    + [chr(c) for c in range(0xFF21, 0xFF3B)]  # full-width A-Z
    + [chr(c) for c in range(0xFF41, 0xFF5B)]  # full-width a-z
    + [chr(c) for c in range(0x391, 0x3AA) if c != 0x3A2]  # Greek capitals
    + [chr(c) for c in range(0x3B1, 0x3CA) if c != 0x3C2]  # Greek small letters
    + [chr(c) for c in range(0x410, 0x450)] + ["Ё", "ё"]  # Cyrillic
    + list("あいうえおかきくけこ漢字表示変数")
    + [chr(c) for c in range(0xFF61, 0xFFA0)]  # half-width katakana
)


def lower(name):
    return "".join(c.lower() for c in name)


def swapped(name):
    return "".join(c.lower() if c.isupper() else c.upper() for c in name)


def bucket(name):
    b = lower(name).encode("cp932")
    h = len(b) * 16
    if len(b) >= 2:
        h += b[0] + b[-2]
    return h & 255


def main():
    count, seed = int(sys.argv[1]), int(sys.argv[2])
    rng = random.Random(seed)
    seen = set()
    while len(seen) < count:
        name = "".join(rng.choice(ALPHABET) for _ in range(rng.randint(0, 10)))
        if lower(name) in seen:
            continue
        seen.add(lower(name))
        other = swapped(name)
        assert lower(other) == lower(name) and bucket(other) == bucket(name)
        print(name.encode("cp932").hex() or "-", other.encode("cp932").hex() or "-", bucket(name))


if __name__ == "__main__":
    main()
