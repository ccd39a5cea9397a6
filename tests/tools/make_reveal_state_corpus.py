#!/usr/bin/env python3
"""Seeds for fuzz/reveal_state_read: reveal states of its two-row page ("ab", a line break;
"c" and a variable showing "xy").

A state is: scroll offset, row index, glyph index (int32 each), done flag (byte), pending event
text (int32 length and bytes), then per glyph of the rows in order: an int32 alpha for each
character, nothing for a line break or a character a variable inserted, an int32 alpha for the
variable.

usage: make_reveal_state_corpus.py FOLDER
"""
import os
import struct
import sys


def state(scroll, row, glyph, done, events, alphas):
    data = struct.pack("<iiiB", scroll, row, glyph, done)
    data += struct.pack("<i", len(events)) + events
    return data + b"".join(struct.pack("<i", a) for a in alphas)


SEEDS = {
    "start": state(0, 0, 0, 0, b"", [0, 0, 0, 0]),
    "middle": state(0, 1, 1, 0, b"one\ttwo", [255, 255, 255, 128]),
    "done": state(0, 2, 0, 1, b"", [255, 255, 255, 255]),
    "past_row": state(0, 0, 9, 0, b"", [0, 0, 0, 0]),
    "short": state(0, 1, 0, 0, b"", [255, 255])[:-2],
}


def main():
    folder = sys.argv[1]
    os.makedirs(folder, exist_ok=True)
    for name, data in SEEDS.items():
        with open(os.path.join(folder, name), "wb") as f:
            f.write(data)


if __name__ == "__main__":
    main()
