#!/usr/bin/env python3
"""Reference sequences of the seeded generator, computed independently of the engine.

  nxrandom_ref.py next SEED COUNT   the first COUNT states (state := state * 5 + seed mod 2^32)
  nxrandom_ref.py draw SEED COUNT   the COUNT draws without replacement from 0 .. COUNT - 1

Prints the values on one line, separated by spaces."""
import sys

MASK = 0xFFFFFFFF


def states(seed):
    state = 0
    while True:
        state = (state * 5 + seed) & MASK
        yield state


def main():
    kind, seed, count = sys.argv[1], int(sys.argv[2]), int(sys.argv[3])
    gen = states(seed)
    if kind == "next":
        values = [next(gen) for _ in range(count)]
    else:
        pool = list(range(count))
        values = [pool.pop(next(gen) % len(pool)) for _ in range(count)]
    print(" ".join(map(str, values)))


if __name__ == "__main__":
    main()
