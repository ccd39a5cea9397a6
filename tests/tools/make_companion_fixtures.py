#!/usr/bin/env python3
"""Makes the sound fixtures of tests/data/companion: short tones written by Python's wave module,
encoded by oggenc (Ogg Vorbis) and ffmpeg (Windows Media Audio 2 in ASF).

    tests/tools/make_companion_fixtures.py tests/data/companion
"""
import math
import os
import struct
import subprocess
import sys
import tempfile
import wave

SOUNDS = {  # name: (rate, channels, seconds, encoder)
    "stereo.ogg": (44100, 2, 0.5, "oggenc"),
    "mono.ogg": (22050, 1, 0.4, "oggenc"),
    "stereo.wma": (44100, 2, 0.5, "ffmpeg"),
}


def write_tone(path, rate, channels, seconds):
    frames = int(rate * seconds)
    with wave.open(path, "wb") as w:
        w.setnchannels(channels)
        w.setsampwidth(2)
        w.setframerate(rate)
        samples = []
        for i in range(frames):
            for c in range(channels):
                samples.append(int(12000 * math.sin(2 * math.pi * (440 + 220 * c) * i / rate)))
        w.writeframes(struct.pack("<%dh" % len(samples), *samples))


def main(folder):
    os.makedirs(folder, exist_ok=True)
    with tempfile.TemporaryDirectory() as work:
        for name, (rate, channels, seconds, encoder) in SOUNDS.items():
            tone = os.path.join(work, name + ".wav")
            write_tone(tone, rate, channels, seconds)
            out = os.path.join(folder, name)
            if encoder == "oggenc":
                subprocess.run(["oggenc", "-Q", "-q", "0", "--serial", "1", "-o", out, tone], check=True)
            else:
                subprocess.run(["ffmpeg", "-v", "error", "-y", "-i", tone, "-c:a", "wmav2", "-b:a", "64k",
                                "-map_metadata", "-1", "-fflags", "+bitexact", out], check=True)


if __name__ == "__main__":
    main(sys.argv[1])
