#!/usr/bin/env python3
"""Writes the sample title's MIDI theme, a Standard MIDI File of format 1, with Python's struct module.

    sample/make_midi.py OUT/theme.mid

Division 480, 150 beats a minute (tempo 400000), 4/4. Track 0 holds the track name, the tempo and the
time signature; track 1 a melody of sixteen eighths on a vibraphone (channel 0, program 11); track 2 a
bass of whole-bar notes on a fingered bass (channel 1, program 33). Two bars: about 3.2 seconds.
"""
import os
import struct
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests", "tools"))
from midi_ref import END, header, meta, track  # noqa: E402  (the fixtures' Standard MIDI File writer)

DIVISION = 480
EIGHTH = DIVISION // 2


def notes(channel, program, pitches, length, velocity):
    events = [(0, bytes([0xC0 | channel, program])), (0, bytes([0xB0 | channel, 7, 100]))]
    for pitch in pitches:
        events.append((0, bytes([0x90 | channel, pitch, velocity])))
        events.append((length, bytes([0x80 | channel, pitch, 0x40])))
    return events


def main(out):
    conductor = [(0, meta(0x03, b"Vela theme")), (0, meta(0x51, struct.pack(">I", 400000)[1:])),
                 (0, meta(0x58, bytes([4, 2, 24, 8])))]
    melody = notes(0, 11, [72, 76, 79, 84, 83, 79, 76, 74, 72, 74, 76, 79, 77, 74, 71, 72], EIGHTH, 96)
    bass = notes(1, 33, [48, 43], 8 * EIGHTH, 100)
    with open(out, "wb") as f:
        f.write(header(1, 3, DIVISION) + b"".join(track(*events, (0, END)) for events in (conductor, melody, bass)))


if __name__ == "__main__":
    main(sys.argv[1])
