#!/usr/bin/env python3
"""Reference data for the Shift-JIS string routines, from Python's cp932 codec and unicodedata.

  jstrm_reference.py hanzen   one line per half-width input (every single byte that has a
                              full-width form or is dropped, and every half-width katakana
                              followed by a voiced or semi-voiced mark): input hex, output hex
                              ("-" for an empty output)
  jstrm_reference.py zenhan   one line per full-width character that has a half-width form:
                              its two bytes in hex, the half-width bytes in hex
  jstrm_reference.py strings  random mixed Shift-JIS strings with their character view:
                              "S <hex> <characters> <byte position of each character...>",
                              then lines "C <index> <count> <hex or ->" for copies of it
"""
import random
import sys
import unicodedata

LEAD_BYTES = set(range(0x81, 0xA0)) | set(range(0xE0, 0xFD))
VOICED, SEMI_VOICED = "\uff9e", "\uff9f"

# Where the player's conversion deliberately differs from the Unicode compatibility forms.
ASCII_EXCEPTIONS = {
    " ": "\u3000",   # space becomes the ideographic space (no full-width form in U+FF01..U+FF5E)
    '"': "\u201d",   # the right double quotation mark, not U+FF02
    "'": "\u2019",   # the right single quotation mark, not U+FF07
    "\\": "\uffe5",  # backslash shows as the yen sign on Japanese systems
    "`": "\u2018",   # the left single quotation mark, not U+FF40
}
KANA_EXCEPTIONS = {
    VOICED: "\u309b",       # a lone mark becomes the spacing mark, not the combining one NFKC gives
    SEMI_VOICED: "\u309c",
}
NOT_JOINED = {"\uff73" + VOICED}  # ｳﾞ stays two characters instead of ヴ
# ZenToHan folds the left double quotation mark onto the ASCII quote too.
EXTRA_ZEN_TO_HAN = {"\u201c".encode("cp932"): b'"'}

FULL_WIDTH_ASCII = {unicodedata.normalize("NFKC", chr(c)): chr(c) for c in range(0xFF01, 0xFF5F)}


def zen_of_char(ch):
    """The full-width form of one half-width character, None when it is dropped."""
    if ch in ASCII_EXCEPTIONS:
        return ASCII_EXCEPTIONS[ch]
    if ch in KANA_EXCEPTIONS:
        return KANA_EXCEPTIONS[ch]
    if ch in FULL_WIDTH_ASCII:
        return FULL_WIDTH_ASCII[ch]
    if "\uff61" <= ch <= "\uff9f":
        return unicodedata.normalize("NFKC", ch)
    return None


def han_to_zen(data):
    """Expected conversion of a string of single-byte characters (no lead bytes)."""
    text = data.decode("cp932")
    out, i = "", 0
    while i < len(text):
        pair = text[i:i + 2]
        joined = unicodedata.normalize("NFKC", pair)
        if len(pair) == 2 and pair[1] in (VOICED, SEMI_VOICED) and len(joined) == 1 and pair not in NOT_JOINED:
            try:
                joined.encode("cp932")
                out += joined
                i += 2
                continue
            except UnicodeEncodeError:
                pass
        out += zen_of_char(text[i]) or ""
        i += 1
    return out.encode("cp932")


def han_inputs():
    # 0x80, 0xA0 and 0xFD-0xFF are no characters of the code page: the codec's stand-ins for them
    # differ between hosts, so they are spelled out as dropped.
    for b in range(0x100):
        if b not in LEAD_BYTES:
            yield bytes([b])
    for kana in range(0xA1, 0xE0):
        for mark in (0xDE, 0xDF):
            yield bytes([kana, mark])


def han_to_zen_pairs():
    for data in han_inputs():
        if data[0] in (0x80, 0xA0) or data[0] >= 0xFD:
            yield data, b""
        else:
            yield data, han_to_zen(data)


def hex_or_dash(data):
    return data.hex() if data else "-"


def print_hanzen():
    for data, zen in han_to_zen_pairs():
        print(data.hex(), hex_or_dash(zen))


def print_zenhan():
    table = dict(EXTRA_ZEN_TO_HAN)
    for data, zen in han_to_zen_pairs():
        if len(zen) == 2:  # one full-width character
            assert zen not in table, zen.hex()
            table[zen] = data
    assert len(table) == 184, len(table)
    for zen, han in sorted(table.items()):
        print(zen.hex(), han.hex())


def random_character(rng):
    kind = rng.randrange(6)
    if kind == 0:
        return bytes([rng.randrange(0x20, 0x7F)])
    if kind == 1:
        return bytes([rng.randrange(0xA1, 0xE0)])
    if kind == 2:  # trail bytes that look like a backslash or like lead bytes
        return rng.choice(["表", "ソ", "能", "ｂ", "ぁ", "漢"]).encode("cp932")
    if kind == 3:
        return bytes([rng.randrange(0x00, 0x20)])
    while True:
        raw = bytes([rng.choice(sorted(LEAD_BYTES)), rng.randrange(0x40, 0xFD)])
        try:
            raw.decode("cp932")
            return raw
        except UnicodeDecodeError:
            pass


def print_strings():
    rng = random.Random(20240)
    for _ in range(300):
        data = b"".join(random_character(rng) for _ in range(rng.randrange(0, 25)))
        # Python's view of the characters, cut out of the original bytes (re-encoding could pick
        # the other code of a character the code page holds twice).
        chars, starts, position = [], [], 0
        for c in data.decode("cp932"):
            size = len(c.encode("cp932"))
            chars.append(data[position:position + size])
            starts.append(position + 1)
            position += size
        print("S", hex_or_dash(data), len(chars), *starts)
        for _ in range(6):
            index, count = rng.randrange(1, len(chars) + 3), rng.randrange(1, len(chars) + 3)
            print("C", index, count, hex_or_dash(b"".join(chars[index - 1:index - 1 + count])))


def main():
    {"hanzen": print_hanzen, "zenhan": print_zenhan, "strings": print_strings}[sys.argv[1]]()


if __name__ == "__main__":
    main()
