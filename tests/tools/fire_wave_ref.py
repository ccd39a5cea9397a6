#!/usr/bin/env python3
"""Independent references for the fire and wave objects.

  cooling POWER ...   one line per power: the 1024-entry cooling table (hex) for the strength
                      (128 - power) / 128 * 1.2825 + 4.2175; a strength at or below 0 counts as
                      0.0001; entry i is round-half-even(i / (s - 0.05 * ((1023 - i) / 1023)**3)),
                      254 above 254, a negative quotient kept as its low 8 bits.
  offsets AMP LEN PHASE ROWS
                      the row offsets: round-half-even(sin(angle) * AMP), angle starting at
                      PHASE * 2 pi / 256 and growing by 2 pi / LEN a row.
  records             one line per save version: version, record as stored (hex), record in the
                      newest form as read (hex). After the control (scene_records.py) the fire
                      stores int32 power, field width, field height, zoom x (from 143 a 10-byte
                      x87 extended, before an int32 in 1/256), from 104 on-idle, flag paused,
                      zoom y; the wave stores int32 amplitude, wave length, delay, from 104
                      on-idle and flag paused."""
import math
import sys

from image_records import extended
from scene_records import NEWEST, as_read, control, flag, i32, new, string

VERSIONS = (103, 104, 142, 143, NEWEST)


def cooling(power):
    s = (128 - power) / 128 * 1.2825 + 4.2175
    if not s > 0:
        s = 0.0001
    out = bytearray()
    for i in range(1024):
        f = (1023 - i) / 1023
        q = round(i / (s - 0.05 * f * f * f))
        out.append(254 if q > 254 else q & 0xFF)
    return bytes(out)


def offsets(amp, length, phase, rows):
    step = 2 * math.pi / length
    return [round(math.sin(phase * 2 * math.pi / 256 + r * step) * amp) for r in range(rows)]


def fire(v, zoomx, zoomy, onidle, paused):
    out = i32(200) + i32(40) + i32(12)
    out += extended(zoomx / 256) if v >= 143 else i32(zoomx)
    if v >= 104:
        out += string(onidle) + flag(paused) + (extended(zoomy / 256) if v >= 143 else i32(zoomy))
    return out


def wave(v, onidle, paused):
    out = i32(-7) + i32(90) + i32(1500)
    if v >= 104:
        out += string(onidle) + flag(paused)
    return out


def records():
    # Zoom x 2.0 and zoom y 1.5, stored in 1/256 before 143; a pre-104 reader keeps zoom y 0.
    for kind in ("fire", "wave"):
        size = (80, 18) if kind == "fire" else (64, 32)
        obj = new(None, name=kind, priority=2, left=10, top=20, width=size[0], height=size[1], visible=True)
        for v in VERSIONS:
            if kind == "fire":
                stored = fire(v, 512, 384, "idle", True)
                read = fire(NEWEST, 512, 384 if v >= 104 else 0, "idle" if v >= 104 else "", v >= 104)
                obj_read = (obj[0], dict(obj[1], height=18 if v >= 104 else 1))
            else:
                stored = wave(v, "idle", True)
                read = wave(NEWEST, "idle" if v >= 104 else "", v >= 104)
                obj_read = obj
            print(kind, v, (control(obj[1], v) + stored).hex(),
                  (control(as_read(obj_read, v)[1], NEWEST) + read).hex())


def main():
    mode = sys.argv[1]
    if mode == "cooling":
        for p in sys.argv[2:]:
            print(cooling(int(p)).hex())
    elif mode == "offsets":
        print(*offsets(*map(int, sys.argv[2:6])))
    else:
        records()


if __name__ == "__main__":
    main()
