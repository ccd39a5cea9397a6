#!/usr/bin/env python3
"""Makes the RIFF WAVE fixtures of tests/data/wave and the seeds of fuzz/corpus/wave_read.

Each sound is written by sox (a short sine, an odd number of frames), and beside it X.raw, the
PCM sox itself reads back out of that file. Two files are then rearranged here: an odd-sized
LIST chunk (with its pad byte) is put before "data", and "data" is moved before "fmt ".

    tests/tools/make_wave_fixtures.py tests/data/wave fuzz/corpus/wave_read
"""
import os
import struct
import subprocess
import sys

SOUNDS = {  # name: (bits, channels)
    "u8_mono": (8, 1),
    "u8_stereo": (8, 2),
    "s16_mono": (16, 1),
    "s16_stereo": (16, 2),
}
RATE = 11025
FRAMES = 37


def sox_wave(path, bits, channels):
    subprocess.run(["sox", "-r", str(RATE), "-n", "-b", str(bits), "-c", str(channels), path,
                    "synth", f"{FRAMES}s", "sine", "440", "sine", "660"], check=True)
    raw = subprocess.run(["sox", path, "-t", "raw", "-"], check=True, capture_output=True).stdout
    return open(path, "rb").read(), raw


def chunks(riff):
    """The (id, body) chunks of a RIFF WAVE file, pad bytes dropped."""
    assert riff[:4] == b"RIFF" and riff[8:12] == b"WAVE"
    at, out = 12, []
    while at + 8 <= len(riff):
        cid, size = struct.unpack_from("<4sI", riff, at)
        out.append((cid, riff[at + 8:at + 8 + size]))
        at += 8 + size + (size & 1)
    return out


def riff(parts):
    body = b"WAVE"
    for cid, data in parts:
        body += struct.pack("<4sI", cid, len(data)) + data + (b"\0" if len(data) & 1 else b"")
    return b"RIFF" + struct.pack("<I", len(body)) + body


def main():
    data_dir, corpus_dir = sys.argv[1], sys.argv[2]
    os.makedirs(data_dir, exist_ok=True)
    os.makedirs(corpus_dir, exist_ok=True)
    made = {}
    for name, (bits, channels) in SOUNDS.items():
        path = os.path.join(data_dir, name + ".wav")
        made[name] = sox_wave(path, bits, channels)
        open(os.path.join(data_dir, name + ".raw"), "wb").write(made[name][1])

    wave, raw = made["s16_stereo"]
    parts = dict(chunks(wave))
    listed = riff([(b"fmt ", parts[b"fmt "]), (b"LIST", b"INFOx"), (b"data", parts[b"data"])])
    wave, raw8 = made["u8_mono"]
    parts = dict(chunks(wave))
    reordered = riff([(b"data", parts[b"data"]), (b"fmt ", parts[b"fmt "])])
    for name, content, pcm in (("list_before_data", listed, raw), ("data_before_fmt", reordered, raw8)):
        open(os.path.join(data_dir, name + ".wav"), "wb").write(content)
        open(os.path.join(data_dir, name + ".raw"), "wb").write(pcm)

    for name in list(SOUNDS) + ["list_before_data", "data_before_fmt"]:
        content = open(os.path.join(data_dir, name + ".wav"), "rb").read()
        open(os.path.join(corpus_dir, name), "wb").write(content)
    # A data chunk that claims more than is there.
    open(os.path.join(corpus_dir, "data_past_end"), "wb").write(listed[:-9])


if __name__ == "__main__":
    main()
