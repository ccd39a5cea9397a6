#!/usr/bin/env python3
"""Every character of code page 932 as Python's cp932 codec decodes it.

Prints one line per character: the CP932 bytes in hex, then the UTF-8 bytes in hex.
Single bytes that the codec maps to private or control stand-ins (0x80, 0xA0, 0xFD-0xFF)
are left out: hosts disagree on them."""


def main():
    for b in range(0x100):
        if b in (0x80, 0xA0) or b >= 0xFD or 0x81 <= b <= 0x9F or 0xE0 <= b <= 0xFC:
            continue
        print(bytes([b]).hex(), bytes([b]).decode("cp932").encode("utf-8").hex())
    for lead in list(range(0x81, 0xA0)) + list(range(0xE0, 0xFD)):
        for trail in list(range(0x40, 0x7F)) + list(range(0x80, 0xFD)):
            raw = bytes([lead, trail])
            try:
                text = raw.decode("cp932")
            except UnicodeDecodeError:
                continue
            if 0xE000 <= ord(text) <= 0xF8FF:  # user-defined area
                continue
            print(raw.hex(), text.encode("utf-8").hex())


if __name__ == "__main__":
    main()
