#!/usr/bin/env python3
"""Adds to a committed corpus the few inputs of a fuzzing run that cover most of what it found:
libFuzzer's merge measures the code each input reaches, then inputs are taken greedily, the one
reaching most code not yet reached first, until the corpus holds MAX files or nothing new is
reached. Every file already in the corpus stays.

  pick_corpus.py HARNESS CORPUS FOUND [MAX]     (MAX defaults to 40)

HARNESS is the libFuzzer build of the harness (build-fuzz/fuzz/fuzz_NAME), CORPUS the committed
corpus (corpus/NAME), FOUND the folder the fuzzing run grew.
"""
import concurrent.futures
import os
import shutil
import subprocess
import sys
import tempfile


def reached_by(harness, path):
    """The edges one input reaches: a merge of that input alone lists every edge as new."""
    with tempfile.TemporaryDirectory() as work:
        control, single, out = (os.path.join(work, n) for n in ("control", "single", "out"))
        os.mkdir(single)
        os.mkdir(out)
        os.symlink(os.path.abspath(path), os.path.join(single, "input"))
        subprocess.run([harness, "-merge=1", "-use_counters=0", f"-merge_control_file={control}", out, single],
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        if not os.path.exists(control):
            return set()  # an empty input, which libFuzzer does not run
        with open(control) as f:
            for line in f:
                words = line.split()
                if words and words[0] == "COV":
                    return set(words[2:])
    return set()


def coverage(harness, folders):
    paths = [os.path.join(folder, name) for folder in folders for name in sorted(os.listdir(folder))]
    with concurrent.futures.ThreadPoolExecutor(3) as pool:
        return dict(zip(paths, pool.map(lambda p: reached_by(harness, p), paths)))


def main():
    if len(sys.argv) not in (4, 5):
        sys.exit(__doc__)
    harness, corpus, found = sys.argv[1:4]
    limit = int(sys.argv[4]) if len(sys.argv) == 5 else 40
    edges = coverage(harness, [corpus, found])
    kept = [p for p in edges if os.path.dirname(p) == corpus]
    reached = set().union(*(edges[p] for p in kept))
    candidates = [p for p in edges if p not in kept]
    for _ in range(limit - len(kept)):
        best = max(candidates, key=lambda p: (len(edges[p] - reached), -os.path.getsize(p)), default=None)
        if best is None or not edges[best] - reached:
            break
        reached |= edges[best]
        candidates.remove(best)
        shutil.copy(best, os.path.join(corpus, os.path.basename(best)))
    print(f"{len(os.listdir(corpus))} files reach {len(reached)} of {len(set().union(*edges.values()))} edges")


if __name__ == "__main__":
    main()
