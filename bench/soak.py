#!/usr/bin/env python3
"""soak: plays the soak title headless for minutes and watches what the player keeps.

    bench/soak.py [--player build/velaplay] [--title FOLDER] [--minutes 20]

The title is bench/soak/, packed by a tree built with -DVELA_BENCH=ON into <tree>/bench/soak (the
default FOLDER is that of the player's tree). Every second it reads from /proc the player's
resident memory, threads, open descriptors and child processes, and counts the files the player
keeps under a TMPDIR of its own (its private vela-XXXXXX folder and its lock file) and the bytes of
the title's folder. It prints a line a minute and a summary; the player is then ended (SIGTERM, SIGKILL after
5 s). The comparison window is the last 15 minutes, or the last three quarters of a shorter run;
each end of it is read as the highest figure over a minute (a round of the title is shorter), so
the phase of a round does not count. Exit status 1 when the resident memory grows by 2 MB or more
over the window, a count is higher at its end than at its start, or the player ended by itself.
"""
import argparse
import os
import shutil
import signal
import subprocess
import sys
import tempfile
import time

RSS_LIMIT_KB = 2048
WINDOW_SECONDS = 15 * 60
SPAN_SECONDS = 60
COUNTS = ("threads", "descriptors", "children", "temp files")
ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))


def status_fields(pid):
    fields = {}
    with open(f"/proc/{pid}/status") as status:
        for line in status:
            key, _, value = line.partition(":")
            fields[key] = value.split()
    return fields


def children(pid):
    found = set()
    for task in os.listdir(f"/proc/{pid}/task"):
        try:
            with open(f"/proc/{pid}/task/{task}/children") as listed:
                found.update(listed.read().split())
        except FileNotFoundError:
            pass  # the thread ended meanwhile
    return len(found)


def folder_files(folder):
    return sum(len(files) for _, _, files in os.walk(folder))


def folder_bytes(folder):
    total = 0
    for parent, _, files in os.walk(folder):
        for name in files:
            try:
                total += os.path.getsize(os.path.join(parent, name))
            except OSError:
                pass  # replaced meanwhile
    return total


def sample(pid, tmpdir, title):
    fields = status_fields(pid)
    return {
        "rss": int(fields["VmRSS"][0]),
        "threads": int(fields["Threads"][0]),
        "descriptors": len(os.listdir(f"/proc/{pid}/fd")),
        "children": children(pid),
        "temp files": folder_files(tmpdir),
        "title bytes": folder_bytes(title),
    }


def describe(figures):
    return (f"RSS {figures['rss'] / 1024:.1f} MB, threads {figures['threads']}, "
            f"descriptors {figures['descriptors']}, children {figures['children']}, "
            f"temp files {figures['temp files']}, title folder {figures['title bytes'] / 1024:.0f} kB")


def highest(samples, start, end):
    """The highest of each figure over the samples taken from start to end (seconds)."""
    chosen = [figures for at, figures in samples if start <= at <= end] or [samples[-1][1]]
    return {key: max(figures[key] for figures in chosen) for key in chosen[0]}


def stop(player):
    if player.poll() is not None:
        return
    player.send_signal(signal.SIGTERM)
    try:
        player.wait(5)
    except subprocess.TimeoutExpired:
        player.kill()
        player.wait()


def watch(player, tmpdir, title, seconds):
    """Samples (seconds since the start, figures) until the time is up or the player ends."""
    samples = []
    began = time.monotonic()
    next_line = 60
    while True:
        at = time.monotonic() - began
        if at >= seconds:
            return samples, True
        try:
            samples.append((at, sample(player.pid, tmpdir, title)))
        except (FileNotFoundError, ProcessLookupError, KeyError):
            pass  # the player is ending
        if player.poll() is not None:
            return samples, False
        if at >= next_line and samples:
            print(f"{at / 60:5.1f} min  {describe(samples[-1][1])}", flush=True)
            next_line += 60
        time.sleep(max(0.0, 1.0 - (time.monotonic() - began - at)))


def summary(samples, seconds):
    """Prints the comparison of the window's ends; whether the run stayed flat."""
    window_start = max(seconds - WINDOW_SECONDS, seconds / 4)
    span = min(SPAN_SECONDS, (seconds - window_start) / 4)
    first = highest(samples, window_start, window_start + span)
    last = highest(samples, seconds - span, seconds)
    growth = last["rss"] - first["rss"]
    print(f"at {window_start / 60:.1f} min: {describe(first)}")
    print(f"at the end:  {describe(last)}")
    print(f"RSS growth over the last {(seconds - window_start) / 60:.1f} min: {growth / 1024:+.2f} MB "
          f"(limit {RSS_LIMIT_KB / 1024:.0f} MB)")
    grown = [name for name in COUNTS if last[name] > first[name]]
    for name in grown:
        print(f"{name} grew: {first[name]} -> {last[name]}")
    return growth < RSS_LIMIT_KB and not grown


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--player", default=os.path.join(ROOT, "build", "velaplay"))
    parser.add_argument("--title", help="the packed soak title (default: <the player's tree>/bench/soak)")
    parser.add_argument("--minutes", type=float, default=20)
    args = parser.parse_args()
    player_path = os.path.abspath(args.player)
    title = os.path.abspath(args.title or os.path.join(os.path.dirname(player_path), "bench", "soak"))
    if not os.path.isfile(os.path.join(title, "game.dat")):
        sys.exit(f"soak: no packed title in {title} (build the target bench_soak_title)")
    seconds = args.minutes * 60
    # The player makes its private folder under work; the log lies beside work, not counted.
    tmpdir = tempfile.mkdtemp(prefix="vela-soak-")
    work = os.path.join(tmpdir, "player")
    os.mkdir(work)
    env = dict(os.environ, TMPDIR=work, VELA_HEADLESS="1", SDL_AUDIODRIVER="dummy")
    log_path = os.path.join(tmpdir, "player.log")
    print(f"soak: {player_path} {title} for {args.minutes:g} min (player output in {log_path})", flush=True)
    with open(log_path, "w") as log:
        player = subprocess.Popen([player_path, title], env=env, stdout=log, stderr=subprocess.STDOUT)
        try:
            samples, lasted = watch(player, work, title, seconds)
        finally:
            stop(player)
    if not lasted or not samples:
        with open(log_path) as log:
            print(log.read()[-2000:], end="")
        print(f"soak: the player ended by itself (status {player.returncode})")
        return 1
    flat = summary(samples, seconds)
    shutil.rmtree(tmpdir, ignore_errors=True)
    print("soak: flat" if flat else "soak: GREW")
    return 0 if flat else 1


if __name__ == "__main__":
    sys.exit(main())
