#!/usr/bin/env python3
"""Eased film values: for each case "mode from n i to child", the int value (the sine curve's product
rounded half to even) and the float value (repr), one line each."""
import math

CASES = [(m, f, n, i, t, c) for m in (0, 1, 2) for (f, n, i, t, c) in
         [(10, 11, 3, 20, 0), (10, 11, 3, 20, 1), (-300, 37, 11, 1000, 0), (500, 90, 61, -250, 1),
          (0, 7, 2, 1, 0), (7, 61, 59, 7007, 0)]]


def ease_int(mode, f, n, i, t):
    if i == 0:
        return f
    if i == n - 1:
        return t
    if mode == 0:
        return f + int((t - f) * i / (n - 1))
    if mode == 1:
        return t - round(math.sin((n - i - 1) * (math.pi / 2) / n) * (t - f))
    return f + round(math.sin(i * (math.pi / 2) / n) * (t - f))


def ease_float(mode, f, n, i, t):
    if i == 0:
        return float(f)
    if i == n - 1:
        return float(t)
    if mode == 0:
        return f + (t - f) * i / n
    if mode == 1:
        return t - math.sin((n - i - 1) * (math.pi / 2) / n) * (t - f)
    return f + math.sin(i * (math.pi / 2) / n) * (t - f)


for (m, f, n, i, t, c) in CASES:
    k = n + c
    print(m, f, n, i, t, c, ease_int(m, f, k, i, t), repr(ease_float(m, f, k, i, t)))
