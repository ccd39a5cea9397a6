#!/usr/bin/env python3
"""Makes the sample title's sounds in OUT: tones written by Python's wave module, the theme encoded
by oggenc (Ogg Vorbis) and the jingle by ffmpeg (Windows Media Audio 2 in ASF).

    sample/make_sounds.py OUT

theme.ogg   2 s of 330 Hz, 44100 Hz stereo: a whole number of periods, so it loops without a seam
click.wav   40 ms of 1500 Hz fading out, 22050 Hz 16-bit mono
jingle.wma  three notes of 0.2 s, 660, 880 and 990 Hz, 44100 Hz stereo
"""
import math
import os
import struct
import subprocess
import sys
import tempfile
import wave


def write_wave(path, rate, channels, samples):
    """samples: one value (-1..1) per frame, the same on every channel."""
    with wave.open(path, "wb") as w:
        w.setnchannels(channels)
        w.setsampwidth(2)
        w.setframerate(rate)
        data = [int(round(12000 * s)) for s in samples for _ in range(channels)]
        w.writeframes(struct.pack("<%dh" % len(data), *data))


def tone(rate, hz, seconds, fade_out=False):
    n = int(rate * seconds)
    return [math.sin(2 * math.pi * hz * i / rate) * ((n - i) / n if fade_out else 1) for i in range(n)]


def main(out):
    os.makedirs(out, exist_ok=True)
    write_wave(os.path.join(out, "click.wav"), 22050, 1, tone(22050, 1500, 0.04, fade_out=True))
    with tempfile.TemporaryDirectory() as work:
        theme = os.path.join(work, "theme.wav")
        write_wave(theme, 44100, 2, tone(44100, 330, 2.0))
        subprocess.run(["oggenc", "-Q", "-q", "2", "--serial", "1", "-o", os.path.join(out, "theme.ogg"), theme],
                       check=True)
        jingle = os.path.join(work, "jingle.wav")
        write_wave(jingle, 44100, 2, sum((tone(44100, hz, 0.2, fade_out=True) for hz in (660, 880, 990)), []))
        subprocess.run(["ffmpeg", "-v", "error", "-y", "-i", jingle, "-c:a", "wmav2", "-b:a", "64k",
                        "-map_metadata", "-1", "-fflags", "+bitexact", os.path.join(out, "jingle.wma")], check=True)


if __name__ == "__main__":
    main(sys.argv[1])
