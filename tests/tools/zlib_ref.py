#!/usr/bin/env python3
"""Reference zlib streams made and read by Python's zlib module.

  zlib_ref.py deflate FILE LEVEL   prints the zlib stream of FILE's bytes at LEVEL (-1 = default)
  zlib_ref.py inflate FILE         prints the bytes the zlib stream in FILE inflates to
"""
import sys
import zlib


def main():
    command, path = sys.argv[1], sys.argv[2]
    with open(path, "rb") as f:
        data = f.read()
    if command == "deflate":
        out = zlib.compress(data, int(sys.argv[3]))
    elif command == "inflate":
        out = zlib.decompress(data)
    else:
        sys.exit("unknown command " + command)
    sys.stdout.buffer.write(out)


if __name__ == "__main__":
    main()
