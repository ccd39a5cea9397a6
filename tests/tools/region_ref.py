#!/usr/bin/env python3
"""The pixels of image-map regions, worked out pixel by pixel: the reference of the region rule.

    region_ref.py DESCRIPTION.json W H

DESCRIPTION is what tools/vregion.py takes (regions in file order, inclusive boxes). Prints H
lines of W characters: for each pixel the index of the first region holding it (0-9, then a-z),
"." for none.

The rule, for the pixel (x, y) and its centre (x + 1/2, y + 1/2):
- rectangle (l, t, r, b): l <= x <= r and t <= y <= b;
- ellipse (l, t, r, b): the centre lies inside or on the ellipse inscribed in the box from
  (l, t) to (r + 1, b + 1);
- polygon (the points closed): the sum, over the edges that cross the centre's row, of +1 for an
  edge running downwards and -1 for one running upwards, counting only the crossings at or left
  of the centre, is not 0.
Only pixels with 0 <= x, y < 32767 belong to any region."""
import json
import sys
from fractions import Fraction

PLANE = 32767
DIGITS = "0123456789abcdefghijklmnopqrstuvwxyz"


def in_ellipse(box, x, y):
    l, t, r, b = box[0], box[1], box[2] + 1, box[3] + 1
    if r <= l or b <= t:
        return False
    cx, cy = Fraction(l + r, 2), Fraction(t + b, 2)
    ax, ay = Fraction(r - l, 2), Fraction(b - t, 2)
    dx, dy = x + Fraction(1, 2) - cx, y + Fraction(1, 2) - cy
    return (dx / ax) ** 2 + (dy / ay) ** 2 <= 1


def winding(points, x, y):
    px, py = x + Fraction(1, 2), y + Fraction(1, 2)
    total = 0
    for i, (x0, y0) in enumerate(points):
        x1, y1 = points[(i + 1) % len(points)]
        if min(y0, y1) < py < max(y0, y1):
            cross = x0 + Fraction(x1 - x0) * (py - y0) / (y1 - y0)
            if cross <= px:
                total += 1 if y1 > y0 else -1
    return total


def holds(region, x, y):
    if not (0 <= x < PLANE and 0 <= y < PLANE):
        return False
    code = region["code"] if "code" in region else {"rectangle": 0, "ellipse": 1}.get(region["shape"], 2)
    if code == 0:
        l, t, r, b = region["box"]
        return l <= x <= r and t <= y <= b
    if code == 1:
        return in_ellipse(region["box"], x, y)
    return winding(region["points"], x, y) != 0


def main():
    with open(sys.argv[1], encoding="utf-8") as f:
        regions = json.load(f)
    w, h = int(sys.argv[2]), int(sys.argv[3])
    for y in range(h):
        line = []
        for x in range(w):
            first = next((i for i, r in enumerate(regions) if holds(r, x, y)), None)
            line.append("." if first is None else DIGITS[first])
        print("".join(line))


if __name__ == "__main__":
    main()
