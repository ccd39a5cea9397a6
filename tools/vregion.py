#!/usr/bin/env python3
"""vregion: writes the region files of image maps from JSON descriptions.

    vregion.py map DESCRIPTION.json OUT     the region file
    vregion.py corpus OUTDIR                seeds for the region reader's fuzz harness

A description lists the regions in file order:

    [{"name": "門", "shape": "rectangle", "box": [0, 0, 9, 9]},
     {"name": "池", "shape": "ellipse", "box": [20, 20, 59, 39]},
     {"name": "塔", "shape": "polygon", "points": [[0, 0], [10, 0], [5, 8]]}]

Boxes are inclusive (left, top, right, bottom), as the file keeps them. "code" writes that shape
byte instead (0 rectangle, 1 ellipse, any other value a polygon). Names are written in code
page 932.

The file, little-endian: u32 region count; per region the name (int32 byte count, then the
bytes), the shape byte, then for a rectangle or an ellipse four int32 (left, top, right,
bottom), for a polygon a u32 point count and an (int32 x, int32 y) pair per point.
"""
import json
import math
import os
import struct
import sys

SHAPES = {"rectangle": 0, "ellipse": 1, "polygon": 2}


def name_bytes(name):
    data = name.encode("cp932")
    return struct.pack("<i", len(data)) + data


def region_bytes(region):
    code = region["code"] if "code" in region else SHAPES[region["shape"]]
    out = name_bytes(region.get("name", "")) + struct.pack("<B", code)
    if code in (0, 1):
        return out + struct.pack("<4i", *region["box"])
    points = region["points"]
    out += struct.pack("<I", len(points))
    return out + b"".join(struct.pack("<ii", x, y) for x, y in points)


def map_bytes(regions):
    return struct.pack("<I", len(regions)) + b"".join(region_bytes(r) for r in regions)


def star(cx, cy, outer, inner, count):
    """A star polygon of 2 * count points, alternating between the two radii."""
    points = []
    for i in range(2 * count):
        r = outer if i % 2 == 0 else inner
        a = math.pi * i / count
        points.append([round(cx + r * math.sin(a)), round(cy - r * math.cos(a))])
    return points


def corpus(folder):
    os.makedirs(folder, exist_ok=True)
    three = [{"name": "門", "shape": "rectangle", "box": [0, 0, 9, 9]},
             {"name": "池", "shape": "ellipse", "box": [20, 20, 59, 39]},
             {"name": "塔", "shape": "polygon", "points": star(40, 40, 30, 12, 5)}]
    good = map_bytes(three)
    seeds = {
        "three.rgn": good,
        "empty.rgn": map_bytes([]),
        "cut_short.rgn": good[:-5],
        # Counts that the bytes left cannot hold.
        "many_regions.rgn": struct.pack("<I", 0x7FFFFFFF) + good[4:],
        "many_points.rgn": struct.pack("<I", 1) + name_bytes("a") + b"\x02" + struct.pack("<I", 0xFFFFFFF0),
        "long_name.rgn": struct.pack("<Ii", 1, 0x40000000),
        # Coordinates at the ends of the int32 range.
        "far.rgn": map_bytes([{"shape": "rectangle", "box": [-2**31, -2**31, 2**31 - 1, 2**31 - 1]},
                              {"shape": "ellipse", "box": [-2**31, 5, 2**31 - 1, 9]},
                              {"code": 200, "points": [[-2**31, 0], [2**31 - 1, 2**31 - 1], [0, -2**31]]}]),
        # A zigzag whose edges each cross every row: more work than any map needs.
        "zigzag.rgn": map_bytes([{"shape": "polygon",
                                  "points": [[i, 0 if i % 2 == 0 else 32767] for i in range(400)]}]),
    }
    for name, data in seeds.items():
        with open(os.path.join(folder, name), "wb") as f:
            f.write(data)


def main():
    if len(sys.argv) == 4 and sys.argv[1] == "map":
        with open(sys.argv[2], encoding="utf-8") as f:
            regions = json.load(f)
        with open(sys.argv[3], "wb") as f:
            f.write(map_bytes(regions))
    elif len(sys.argv) == 3 and sys.argv[1] == "corpus":
        corpus(sys.argv[2])
    else:
        sys.exit(__doc__)


if __name__ == "__main__":
    main()
