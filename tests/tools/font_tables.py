#!/usr/bin/env python3
"""Reference numbers of fonts and character codes, read by fontTools and Python's cp932 codec.

font_tables.py FILE: the tables of a TrueType file as "name value" lines: unitsPerEm, the OS/2
usWinAscent, usWinDescent, yStrikeoutSize and yStrikeoutPosition, the post underlineThickness
and underlinePosition.
font_tables.py --codes TEXT: one line per character of TEXT (UTF-8): its code page 932 bytes in
hex and its code point in hex."""
import sys


def tables(path):
    from fontTools.ttLib import TTFont
    font = TTFont(path, fontNumber=0, lazy=True)
    os2, post = font["OS/2"], font["post"]
    for name, value in (("unitsPerEm", font["head"].unitsPerEm), ("usWinAscent", os2.usWinAscent),
                        ("usWinDescent", os2.usWinDescent), ("yStrikeoutSize", os2.yStrikeoutSize),
                        ("yStrikeoutPosition", os2.yStrikeoutPosition),
                        ("underlineThickness", post.underlineThickness),
                        ("underlinePosition", post.underlinePosition)):
        print(name, value)


def codes(text):
    for ch in text:
        print(ch.encode("cp932").hex(), "%x" % ord(ch))


if __name__ == "__main__":
    if sys.argv[1] == "--codes":
        codes(sys.argv[2])
    else:
        tables(sys.argv[1])
