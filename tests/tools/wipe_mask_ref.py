#!/usr/bin/env python3
"""Reference masks of the mask transitions, computed independently of the engine.

  wipe_mask_ref.py mask CASE...
      CASE is RULE:W:H:P0:P1:REVERSE:ELAPSED,...:LENGTH[:SEED or IMAGE]. For each case and each
      ELAPSED, the mask one step builds on a fresh transition over a W x H screen: a line
      "<hard edge 0/1> <lines>", then one line of hexadecimal bytes per mask row. P0 and P1 are
      the parameters as given (the rule clamps them). SEED is the shared generator's seed
      (blockrandom); IMAGE the mask image of shadow (its colours, as written by "image").
  wipe_mask_ref.py image PATH SEED IW IH
      writes an IW x IH picture of random colours from SEED as a 24-bit BMP or an RGB PNG (by
      PATH's extension).

RULE is one of blindh blindv curtainh curtainv grid gridh gridv dither shadow clockhand fan
wfan circle blockcoil blockrandom."""
import math
import random
import struct
import sys
import zlib


def trunc_div(a, b):
    q = abs(a) // abs(b)
    return q if (a >= 0) == (b >= 0) else -q


def level(elapsed, scale, length):
    return max(0, trunc_div(elapsed * scale, length))


def ramp(lvl, delay, p1):
    return 0 if delay > lvl else min(255, (lvl - delay) * 255 // p1)


def nearest(x):
    return round(x)  # halves to even


class Mask:
    def __init__(self, w, h, value=0):
        self.w, self.h = w, h
        self.rows = [[value] * w for _ in range(h)]
        self.hard = False

    def fill_rect(self, left, top, right, bottom, v):
        for y in range(max(top, 0), min(bottom, self.h)):
            for x in range(max(left, 0), min(right, self.w)):
                self.rows[y][x] = v


def stripes(w, h, p0, p1, rev, e, n, vertical):
    p0, p1 = max(p0, 2), max(p1, 1)
    lvl = level(e, (p0 - 1) * 2 + p1, n)
    m = Mask(w, min(p0, h) if vertical else 1)
    values = []
    for i in range(m.h if vertical else w):
        j = i % p0
        v = ramp(lvl, 2 * (p0 - 1 - j if rev else j), p1)
        values.append(v)
        if vertical:
            m.rows[i] = [v] * w
        else:
            m.rows[0][i] = v
    m.hard = p1 < 2 and (not vertical or all(v in (0, 255) for v in values))
    return m


def curtains(w, h, p0, p1, rev, e, n, vertical):
    p0, p1 = max(p0, 1), max(p1, 1)
    count = h if vertical else w
    groups = (count + p0 - 1) // p0
    lvl = level(e, ((groups - 1) + (p0 - 1)) * 16 + p1, n)
    m = Mask(w, h if vertical else 1)
    for pos in range(count):
        i = count - 1 - pos if rev else pos
        v = ramp(lvl, (i // p0 + i % p0) * 16, p1)
        if vertical:
            m.rows[pos] = [v] * w
        else:
            m.rows[0][pos] = v
    m.hard = p1 < 2
    return m


def grid(w, h, p0, p1, rev, e, n, kind):
    p0, p1 = max(p0, 2), max(p1, 1)
    lines = min(p0, h) if kind == "gridh" else h
    cols, rows = (w + p0 - 1) // p0, (lines + p0 - 1) // p0
    if kind == "gridh":
        ranks, rank = cols, lambda cx, cy: cols - 1 - cx if rev else cx
    elif kind == "gridv":
        ranks, rank = rows, lambda cx, cy: rows - 1 - cy if rev else cy
    else:
        ranks = nearest(math.hypot(cols - 1, rows - 1))
        rank = (lambda cx, cy: nearest(math.hypot(cols - 1 - cx, rows - 1 - cy))) if rev else \
            (lambda cx, cy: nearest(math.hypot(cx, cy)))
    lvl = level(e, (ranks - 1) * 4 + p1, n)
    m = Mask(w, lines)
    for cy in range(rows):
        for cx in range(cols):
            d = 4 * rank(cx, cy)
            if d > lvl:
                continue
            v = min(255, (lvl - d) * 255 // p1)
            s = min(p0, (lvl - d) * p0 // p1)
            if v > 0 and s > 0:
                x0, y0 = cx * p0 + (p0 - s) // 2, cy * p0 + (p0 - s) // 2
                m.fill_rect(x0, y0, x0 + s, y0 + s, v)
    m.hard = p1 < 2
    return m


def dither(w, e, n):
    state, pool, order = 0, list(range(4096)), []
    for _ in range(4096):
        state = (state * 5 + 12341) & 0xFFFFFFFF
        order.append(pool.pop(state % len(pool)))
    k = min(level(e, 4096, n), 4096)
    tile = [255 if k >= 2048 else 0] * 4096
    for dot in (order[k:] if k >= 2048 else order[:k]):
        tile[dot] = 0 if k >= 2048 else 255
    m = Mask(w, 64)
    for y in range(64):
        m.rows[y] = [tile[y * 64 + x % 64] for x in range(w)]
    m.hard = True
    return m


def read_image(path):
    """The colours of a picture written by write_image, rows from the top."""
    data = open(path, "rb").read()
    if path.lower().endswith(".bmp"):
        iw, ih = struct.unpack_from("<ii", data, 18)
        stride = (iw * 3 + 3) & ~3
        off = struct.unpack_from("<I", data, 10)[0]
        rows = []
        for y in range(ih):
            row = data[off + (ih - 1 - y) * stride:]
            rows.append([(row[3 * x + 2], row[3 * x + 1], row[3 * x]) for x in range(iw)])
        return rows
    iw, ih = struct.unpack(">II", data[16:24])
    pos, idat = 8, b""
    while pos < len(data):
        length, kind = struct.unpack(">I4s", data[pos:pos + 8])
        if kind == b"IDAT":
            idat += data[pos + 8:pos + 8 + length]
        pos += 12 + length
    raw = zlib.decompress(idat)
    stride = iw * 3 + 1
    return [[tuple(raw[y * stride + 1 + 3 * x:y * stride + 4 + 3 * x]) for x in range(iw)] for y in range(ih)]


def nearest_grey(c):
    r, g, b = c
    best, best_d = 0, None
    for i in range(256):
        d = (r - i) ** 2 + (g - i) ** 2 + (b - i) ** 2
        if best_d is None or d < best_d:
            best, best_d = i, d
    return best


def shadow(w, h, rev, e, n, image):
    greys = [[0] * w for _ in range(h)]
    if image:
        colours = read_image(image)
        ih, iw = len(colours), len(colours[0])
        cache = {}
        for y in range(h):
            for x in range(w):
                c = colours[y % ih][x % iw]
                if rev:
                    c = tuple(255 - v for v in c)
                if c not in cache:
                    cache[c] = nearest_grey(c)
                greys[y][x] = cache[c]
    k = min(level(e, 512, n), 512) + 255
    m = Mask(w, h)
    m.rows = [[max(0, min(255, k + g - 511)) for g in row] for row in greys]
    return m


def inside_ellipse(l, t, r, b, x, y):
    # doubled coordinates from the box centre, y upwards
    a2, b2 = r - l, b - t
    dx, dy = 2 * x + 1 - (l + r), (t + b) - 2 * y - 1
    return dx * dx * b2 * b2 + dy * dy * a2 * a2 <= a2 * a2 * b2 * b2, (dx, dy)


def angle_of(v):
    return math.atan2(v[1], v[0]) % (2 * math.pi)


def fill_shape(m, box, radials, v):
    l, t, r, b = (nearest(c) for c in box)
    if r <= l or b <= t:
        return
    if radials:
        def ray(px, py):
            d = (2 * nearest(px) - (l + r), (t + b) - 2 * nearest(py))
            return d if d != (0, 0) else (1, 0)
        u, w = ray(*radials[0]), ray(*radials[1])
    for y in range(max(t, 0), min(b, m.h)):
        for x in range(max(l, 0), min(r, m.w)):
            ok, p = inside_ellipse(l, t, r, b, x, y)
            if ok and radials:
                # counter-clockwise from u to w (y upwards), compared as exact cross products
                cross = lambda a, c: a[0] * c[1] - a[1] * c[0]
                dot = lambda a, c: a[0] * c[0] + a[1] * c[1]
                if cross(u, w) == 0 and dot(u, w) > 0:
                    ok = cross(u, p) == 0 and dot(u, p) >= 0
                elif cross(u, w) >= 0:
                    ok = cross(u, p) >= 0 and cross(p, w) >= 0
                else:
                    ok = not (cross(w, p) > 0 and cross(p, u) > 0)
            if ok:
                m.rows[y][x] = v


def pie(m, a1, a2):
    cx, cy = m.w // 2, m.h // 2
    rad = math.hypot(cx, cy)
    fill_shape(m, (cx - rad, cy - rad, cx + rad, cy + rad),
               [(cx + rad * math.cos(a1), cy + rad * math.sin(a1)),
                (cx + rad * math.cos(a2), cy + rad * math.sin(a2))], 255)


def to_angle(deg):
    return deg / 360 * 2 * math.pi - math.pi / 2


def clockhand(w, h, p0, rev, e, n):
    start = to_angle(p0)
    a = start + (-1 if rev else 1) * (e / n * 2 * math.pi)
    m = Mask(w, h)
    if a == start:  # the angle it was prepared with: nothing built
        return m
    m.hard = True
    if (a >= start) if rev else (a <= start):
        m.rows = [[255] * w for _ in range(h)]
    elif rev:
        pie(m, start, a)
    else:
        pie(m, a, start)
    return m


def fans(w, h, p0, e, n, double):
    c, f = to_angle(p0), e / n
    half = math.pi / 2 if double else math.pi
    m = Mask(w, h)
    if f == 0:  # the angle it was prepared with: nothing built
        return m
    m.hard = True
    if f * half <= -f * half:
        m.rows = [[255] * w for _ in range(h)]
        return m
    for centre in ((c, c + math.pi) if double else (c,)):
        pie(m, centre + f * half, centre - f * half)
    return m


def circle(w, h, rev, e, n):
    cx, cy = w // 2, h // 2
    rad = nearest(math.hypot(cx, cy) * ((n - e) if rev else e) / n)
    if rad == 0:  # the radius it was prepared with: nothing built
        return Mask(w, h)
    m = Mask(w, h, 255 if rev else 0)
    m.hard = True
    if rad > 0:
        fill_shape(m, (cx - rad, cy - rad, cx + rad, cy + rad), None, 0 if rev else 255)
    return m


def block_side(w, h, p0):
    return min(w, h, max(10, p0))


def coil_blocks(w, h, s):
    out, lim = [], [0, 0, w, h]
    x, y, heading = 0, 0, 0
    steps = [(s, 0), (0, s), (-s, 0), (0, -s)]
    while lim[0] < lim[2] and lim[1] < lim[3]:
        out.append((x, y))
        if heading == 0 and x + s >= lim[2]:
            lim[1] = y + s
        elif heading == 1 and y + s >= lim[3]:
            lim[2] = x
        elif heading == 2 and x <= lim[0]:
            lim[3] = y
        elif heading == 3 and y <= lim[1]:
            lim[0] = x + s
        else:
            x, y = x + steps[heading][0], y + steps[heading][1]
            continue
        heading = (heading + 1) % 4
        x, y = x + steps[heading][0], y + steps[heading][1]
    return out


def random_blocks(w, h, s, seed):
    left = [(x, y) for y in range(0, h, s) for x in range(0, w, s)]
    out = []
    while left:
        seed = (seed * 134775813 + 1) & 0xFFFFFFFF
        out.append(left.pop((len(left) * seed) >> 32))
    return out


def blocks(w, h, p0, rev, e, n, seed):
    s = block_side(w, h, p0)
    order = coil_blocks(w, h, s) if seed is None else random_blocks(w, h, s, seed)
    last = len(order) - 1
    m = Mask(w, h)
    m.hard = True
    if rev and seed is None:
        k = min(last * (n - e) // n, last)
        chosen = order[k:]
    else:
        k = min(level(e, last, n), last)
        chosen = order[:k + 1]
    for x, y in chosen:
        m.fill_rect(x, y, x + s, y + s, 255)
    return m


def build(rule, w, h, p0, p1, rev, e, n, extra):
    if rule in ("blindh", "blindv"):
        return stripes(w, h, p0, p1, rev, e, n, rule == "blindv")
    if rule in ("curtainh", "curtainv"):
        return curtains(w, h, p0, p1, rev, e, n, rule == "curtainv")
    if rule.startswith("grid"):
        return grid(w, h, p0, p1, rev, e, n, rule)
    if rule == "dither":
        return dither(w, e, n)
    if rule == "shadow":
        return shadow(w, h, rev, e, n, extra[0] if extra else None)
    if rule == "clockhand":
        return clockhand(w, h, p0, rev, e, n)
    if rule in ("fan", "wfan"):
        return fans(w, h, p0, e, n, rule == "wfan")
    if rule == "circle":
        return circle(w, h, rev, e, n)
    if rule == "blockcoil":
        return blocks(w, h, p0, rev, e, n, None)
    return blocks(w, h, p0, rev, e, n, int(extra[0]))


def write_image(path, seed, iw, ih):
    rng = random.Random(seed)
    rows = [[tuple(rng.randrange(256) for _ in range(3)) for _ in range(iw)] for _ in range(ih)]
    if path.lower().endswith(".bmp"):
        stride = (iw * 3 + 3) & ~3
        pixels = b"".join(bytes(v for c in row for v in (c[2], c[1], c[0])).ljust(stride, b"\0")
                          for row in reversed(rows))
        head = struct.pack("<IiiHHIIiiII", 40, iw, ih, 1, 24, 0, len(pixels), 2835, 2835, 0, 0)
        data = b"BM" + struct.pack("<IHHI", 14 + len(head) + len(pixels), 0, 0, 14 + len(head)) + head + pixels
    else:
        def chunk(kind, body):
            return struct.pack(">I", len(body)) + kind + body + struct.pack(">I", zlib.crc32(kind + body))
        raw = b"".join(b"\0" + bytes(v for c in row for v in c) for row in rows)
        data = (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", iw, ih, 8, 2, 0, 0, 0)) +
                chunk(b"IDAT", zlib.compress(raw)) + chunk(b"IEND", b""))
    open(path, "wb").write(data)


def main():
    if sys.argv[1] == "image":
        write_image(sys.argv[2], int(sys.argv[3]), int(sys.argv[4]), int(sys.argv[5]))
        return
    for case in sys.argv[2:]:
        rule, *fields = case.split(":")
        w, h, p0, p1, rev = (int(v) for v in fields[:5])
        for e in map(int, fields[5].split(",")):
            m = build(rule, w, h, p0, p1, bool(rev), e, int(fields[6]), fields[7:])
            print(int(m.hard), m.h)
            for row in m.rows:
                print(bytes(row).hex())


if __name__ == "__main__":
    main()
