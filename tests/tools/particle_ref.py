#!/usr/bin/env python3
"""Independent references for the particle emitter.

  path KIND P1 P2 P3 X Y W H SEED STEPS
      one particle of motion kind KIND with parameters P1..P3, born at (X, Y) inside an emitter
      W x H, its 4 x 4 picture centred (offsets 2, 2), the shared generator seeded with SEED just
      before its birth; one line per 16 ms step: left, top, dead (0/1) and priority. The
      generator: seed := seed * 134775813 + 1 (mod 2^32), a draw in [0, 1) is seed / 2^32.
      Motion set-up draws: falling sway the angular speed (0.02 + 0.02 r), then, when P2 < P3,
      the sway extra r (P3 - P2), with P1 <= 0 taken as 0.1; burst ring the angle 2 pi r, then
      P3 scaled by 0.7 + 0.3 r; thrown P2 += r (P3 - P2); rising spiral the sway
      P2 / 2 (0.95 + 0.05 r), then the angular speed P3 (0.5 + 0.5 r). Rounding is half to even.
  records
      one line per save version: version, record as stored (hex), record in the newest form as
      read (hex). After the control (scene_records.py) the emitter stores its three expressions
      (x, y, interval: int32 operation count, here 0), source, byte motion kind, parameters 1..3
      as 10-byte x87 extended floats, int32 alpha, and from 104 int32 warm-up, on-idle, flag
      paused, int32 duration.
  corpus DIR
      seeds for fuzz/particle_record_read.cpp: a version selector byte (version - 100), then a
      record as stored, for each version and for emitters of each motion kind with a picture or
      a film as source."""
import math
import os
import sys

from image_records import extended
from scene_records import NEWEST, as_read, control, flag, i32, new, string

VERSIONS = (103, 104, NEWEST)
HALF = 2  # centring offset of the 4 x 4 picture
SIZE = 4


class Generator:
    def __init__(self, seed):
        self.seed = seed

    def draw(self):
        self.seed = (self.seed * 134775813 + 1) & 0xFFFFFFFF
        return self.seed / 2 ** 32


def path(kind, p, x, y, w, h, seed, steps):
    rng = Generator(seed)
    p = list(p)
    left, top, priority = x, y, 0
    start_x, start_y = x, y
    angle = sway = speed = radius = reach = acc = pos_x = 0.0
    if kind == 1:
        speed = rng.draw() * 0.02 + 0.02
        if p[0] <= 0:
            p[0] = 0.1
        if p[1] < p[2]:
            sway = rng.draw() * (p[2] - p[1])
    elif kind == 2:
        angle = rng.draw() * 2 * math.pi
        radius = p[0] + 0.1
        left, top = round(math.cos(angle) * radius) + x, round(math.sin(angle) * radius) + y
        tx = w if x < w / 2 else 0
        ty = h if y < h / 2 else 0
        reach = math.hypot(tx - x, ty - y)
        p[2] *= 0.7 + 0.3 * rng.draw()
    elif kind == 3:
        p[1] += rng.draw() * (p[2] - p[1])
        pos_x = x
    elif kind == 4:
        acc = y
        sway = p[1] / 2 * (0.95 + 0.05 * rng.draw())
        speed = p[2] * (0.5 + 0.5 * rng.draw())
    out = []
    for _ in range(steps):
        dead = False
        if kind == 1:
            angle += speed
            acc += p[0]
            if acc >= 1:
                top += int(acc)
                acc -= int(acc)
            left = round(math.sin(angle) * (p[1] + sway)) + start_x
            dead = h <= top - HALF
        elif kind == 2:
            left, top = round(math.cos(angle) * radius) + start_x, round(math.sin(angle) * radius) + start_y
            radius *= p[1]
            dead = reach <= radius
            angle += p[2]
        elif kind == 3:
            pos_x += p[1]
            acc += 1
            left, top = int(pos_x), start_y - int(p[0] * acc * acc)
            if p[1] >= 0:
                dead = w <= left - HALF or top - HALF + SIZE < 0
            else:
                dead = left - HALF + SIZE < 0 or top - HALF + SIZE < 0
        elif kind == 4:
            angle += speed
            if angle > 2 * math.pi:
                angle -= 2 * math.pi
            z = abs(math.cos(angle / 2)) * 0.5 + 0.5
            acc -= p[0]
            left, top = int(math.sin(angle) * sway * z) + start_x, int(acc)
            priority = round((z - 0.5) / 0.5 * 2000 - 1000)
        out.append((left, top, int(dead), priority))
        if dead:
            break
    return out


def emitter(v, source, kind, params, alpha, warmup, onidle, paused, duration):
    out = i32(0) * 3 + string(source) + bytes([kind]) + b"".join(extended(q) for q in params) + i32(alpha)
    if v >= 104:
        out += i32(warmup) + string(onidle) + flag(paused) + i32(duration)
    return out


OBJ = new(None, name="snow", priority=4, left=5, top=6, width=64, height=48, visible=True)


def records():
    obj = OBJ
    fields = ("", 3, (1.5, -0.25, 2.0), 200)
    for v in VERSIONS:
        stored = emitter(v, *fields, 1000, "idle", True, 5000)
        read = emitter(NEWEST, *fields, *((1000, "idle", True, 5000) if v >= 104 else (0, "", False, 0)))
        print(v, (control(obj[1], v) + stored).hex(), (control(as_read(obj, v)[1], NEWEST) + read).hex())


def corpus(folder):
    os.makedirs(folder, exist_ok=True)
    seeds = {"v%d" % v: (v, emitter(v, "", 3, (1.5, -0.25, 2.0), 200, 1000, "idle", True, 5000)) for v in VERSIONS}
    for kind in range(1, 5):
        source = "p.vmt" if kind % 2 else "p.mra"
        seeds["kind%d" % kind] = (NEWEST, emitter(NEWEST, source, kind, (2.0, 1.25, 3.0), 255, 400, "", False, 48))
    for name, (v, record) in seeds.items():
        with open(os.path.join(folder, name), "wb") as f:
            f.write(bytes([v - 100]) + control(OBJ[1], v) + record)


def main():
    if sys.argv[1] == "corpus":
        corpus(sys.argv[2])
    elif sys.argv[1] == "path":
        a = sys.argv[2:]
        for row in path(int(a[0]), [float(q) for q in a[1:4]], *map(int, a[4:10])):
            print(*row)
    else:
        records()


if __name__ == "__main__":
    main()
