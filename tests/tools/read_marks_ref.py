#!/usr/bin/env python3
"""The stored form of read marks, written from the format alone.

  read_marks_ref.py sample         prints, as hex, the marks of SAMPLE
  read_marks_ref.py corpus FOLDER  writes SAMPLE, an empty list and damaged variants into FOLDER

A list is an int32 item count; per item its page file name, an int32 entry count M, M command
indexes and M page indexes; then the pending mark: page file, command index, page index and
window name. Strings are an int32 byte count and the bytes (cp932); all little-endian."""
import struct
import sys
from pathlib import Path

# (page file, [(command index, page index), ...]) in insertion order, then the pending mark.
SAMPLE = ([("story.vsb", [(3, 0), (3, 1), (7, 0)]), ("空.vsb", [])],
          ("story.vsb", 7, 1, "MES"))


def string(text):
    data = text.encode("cp932")
    return struct.pack("<i", len(data)) + data


def marks(sample):
    items, (page, command, index, window) = sample
    out = struct.pack("<i", len(items))
    for name, entries in items:
        out += string(name) + struct.pack("<i", len(entries))
        out += b"".join(struct.pack("<i", c) for c, _ in entries)
        out += b"".join(struct.pack("<i", p) for _, p in entries)
    return out + string(page) + struct.pack("<ii", command, index) + string(window)


def corpus(folder):
    folder = Path(folder)
    folder.mkdir(parents=True, exist_ok=True)
    whole = marks(SAMPLE)
    (folder / "sample").write_bytes(whole)
    (folder / "empty").write_bytes(marks(([], ("", 0, 0, ""))))
    (folder / "truncated").write_bytes(whole[:len(whole) // 2])
    # An entry count far beyond the bytes left, and a negative item count.
    (folder / "huge_entries").write_bytes(struct.pack("<i", 1) + string("a") + struct.pack("<i", 0x10000000))
    (folder / "negative_items").write_bytes(struct.pack("<i", -1))


if __name__ == "__main__":
    if sys.argv[1] == "sample":
        print(marks(SAMPLE).hex())
    else:
        corpus(sys.argv[2])
