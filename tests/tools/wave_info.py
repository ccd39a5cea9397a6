#!/usr/bin/env python3
"""What two independent readers make of a RIFF WAVE file: Python's wave module prints
"channels sample-width rate frames" and the frames in hex, then sox prints its --i channels,
rate, bits and sample count, and the PCM it decodes in hex.

    wave_info.py FILE
"""
import subprocess
import sys
import wave

path = sys.argv[1]
with wave.open(path, "rb") as w:
    print(w.getnchannels(), w.getsampwidth(), w.getframerate(), w.getnframes())
    print(w.readframes(w.getnframes()).hex().upper())
info = [subprocess.run(["sox", "--i", flag, path], check=True, capture_output=True, text=True).stdout.strip()
        for flag in ("-c", "-r", "-b", "-s")]
print(" ".join(info))
print(subprocess.run(["sox", path, "-t", "raw", "-"], check=True, capture_output=True).stdout.hex().upper())
