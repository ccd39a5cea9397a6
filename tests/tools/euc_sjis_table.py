#!/usr/bin/env python3
"""EUC-JP characters and their Shift-JIS bytes as Python's euc_jp and cp932 codecs see them.

Prints one line per character: the EUC-JP bytes in hex, then the code page 932 bytes in hex.
Covers every JIS X 0208 pair that euc_jp decodes and cp932 encodes back to the same character,
the half-width katakana (0x8E and a byte), and the ASCII bytes 0x01..0x7F."""


def convert(euc):
    try:
        text = euc.decode("euc_jp")
        sjis = text.encode("cp932")
    except (UnicodeDecodeError, UnicodeEncodeError):
        return None
    # A character cp932 holds under another code (the NEC and IBM duplicates) is not a pair
    # both define.
    return sjis if sjis.decode("cp932") == text else None


def main():
    candidates = [bytes([b]) for b in range(0x01, 0x80)]
    candidates += [bytes([0x8E, b]) for b in range(0xA1, 0xE0)]
    candidates += [bytes([c1 | 0x80, c2 | 0x80]) for c1 in range(0x21, 0x7F) for c2 in range(0x21, 0x7F)]
    for euc in candidates:
        sjis = convert(euc)
        if sjis is not None:
            print(euc.hex(), sjis.hex())


if __name__ == "__main__":
    main()
