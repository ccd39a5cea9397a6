#!/usr/bin/env python3
"""Marked-up message texts as Shift-JIS from Python's cp932 codec, and compiled by tools/nxcompile.py.

  markup_ref.py encode HEX...         per argument (UTF-8 text in hex) its CP932 bytes in hex ("-" for none)
  markup_ref.py compile DELAY HEX...  per argument (UTF-8 text in hex, lines separated by LF) a line
                                      "<CP932 hex> <compiled stream hex>", the stream compiled with the
                                      default wait DELAY
"""
import os
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "tools"))
import nxcompile  # noqa: E402


def text_of(hex_text):
    return bytes.fromhex(hex_text).decode("utf-8")


def main():
    if sys.argv[1] == "encode":
        for arg in sys.argv[2:]:
            print(text_of(arg).encode("cp932").hex() or "-")
    else:
        delay = int(sys.argv[2])
        for arg in sys.argv[3:]:
            text = text_of(arg)
            print(text.encode("cp932").hex(), nxcompile.compile_text(text.split("\n"), delay).hex())


if __name__ == "__main__":
    main()
