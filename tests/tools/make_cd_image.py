#!/usr/bin/env python3
"""Writes an audio CD image: a .cue sheet and its .bin of raw CD audio (44100 Hz, 16-bit stereo,
little-endian, 2352 bytes a sector), one track of a sine tone made by sox for each HZ:SECONDS.

Usage: make_cd_image.py OUT.cue HZ:SECONDS [HZ:SECONDS ...]
OUT.bin is written beside OUT.cue; each track starts on a sector of its own (the tone padded with
silence to a whole sector).
"""
import os
import subprocess
import sys

SECTOR = 2352


def tone(hz, seconds):
    """Raw CD audio of a sine tone at half the full scale."""
    return subprocess.run(
        ["sox", "-n", "-r", "44100", "-b", "16", "-c", "2", "-e", "signed-integer", "-L", "-t", "raw", "-",
         "synth", str(seconds), "sine", str(hz), "vol", "0.5"],
        check=True, stdout=subprocess.PIPE).stdout


def main():
    cue_path = sys.argv[1]
    bin_path = os.path.splitext(cue_path)[0] + ".bin"
    sheet = ['FILE "%s" BINARY' % os.path.basename(bin_path)]
    data = bytearray()
    for number, track in enumerate(sys.argv[2:], 1):
        hz, seconds = track.split(":")
        sector = len(data) // SECTOR
        sheet.append("  TRACK %02d AUDIO" % number)
        sheet.append("    INDEX 01 %02d:%02d:%02d" % (sector // 4500, sector // 75 % 60, sector % 75))
        data += tone(float(hz), float(seconds))
        data += bytes(-len(data) % SECTOR)
    with open(bin_path, "wb") as f:
        f.write(data)
    with open(cue_path, "w") as f:
        f.write("\n".join(sheet) + "\n")


if __name__ == "__main__":
    main()
