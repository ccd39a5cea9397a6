#!/usr/bin/env python3
"""Sources for the software wave mixer and the blocks it must make of them.

    wavouts_ref.py make FOLDER
        writes with sox one short sound per source format (8 and 16 bits, mono and stereo,
        44100 and 22050 Hz) as FOLDER/<bits>_<channels>_<rate>.wav, and loud.wav, a full-scale
        16-bit stereo square; prints the names

    wavouts_ref.py mix BLOCKSIZE BLOCKS FILE:GAIN:REPEAT:REPEATPOS ...
        prints, one line of hex per block, BLOCKS blocks of BLOCKSIZE bytes (44100 Hz 16-bit
        stereo) mixing the files in the order given: each reads what makes one block from where
        it stopped (wrapping to REPEATPOS when REPEAT is 1), is widened to 16-bit stereo at
        44100 Hz, scaled by GAIN/256 when GAIN < 255 and added with 16-bit saturation
"""
import struct
import subprocess
import sys
import wave

FORMATS = [(bits, channels, rate) for bits in (8, 16) for channels in (1, 2) for rate in (44100, 22050)]


def make(folder):
    names = []
    for bits, channels, rate in FORMATS:
        name = f"{bits}_{channels}_{rate}.wav"
        # A sound of 0.15 s: one and a half blocks of 100 ms.
        subprocess.run(["sox", "-n", "-r", str(rate), "-b", str(bits), "-c", str(channels), f"{folder}/{name}",
                        "synth", "0.15", "sine", str(300 + bits * 10 + rate // 1000), "sine", "500", "vol", "0.9"],
                       check=True)
        names.append(name)
    subprocess.run(["sox", "-n", "-r", "44100", "-b", "16", "-c", "2", f"{folder}/loud.wav",
                    "synth", "0.05", "square", "200"], check=True)
    names.append("loud.wav")
    print("\n".join(names))


class Source:
    def __init__(self, argument):
        path, gain, repeat, repeat_pos = argument.rsplit(":", 3)
        with wave.open(path, "rb") as w:
            self.bits, self.channels, self.rate = w.getsampwidth() * 8, w.getnchannels(), w.getframerate()
            self.data = w.readframes(w.getnframes())
        self.gain, self.repeat, self.repeat_pos = int(gain), repeat == "1", int(repeat_pos)
        self.pos, self.ended = 0, False

    def read(self, count):
        out = b""
        while len(out) < count:
            if self.pos >= len(self.data):
                if not self.repeat:
                    break
                self.pos = self.repeat_pos
            part = self.data[self.pos:self.pos + count - len(out)]
            out += part
            self.pos += len(part)
        self.ended = self.pos >= len(self.data)
        return out

    def fill(self, block, block_size):
        if self.ended:
            return
        growth = (44100 // self.rate) * (2 // self.channels) * (16 // self.bits)
        raw = self.read(block_size // growth)
        width = self.bits // 8
        frame_bytes = width * self.channels
        at = 0
        for i in range(len(raw) // frame_bytes):
            frame = raw[i * frame_bytes:(i + 1) * frame_bytes]
            if self.bits == 8:
                values = [(b - 128) * 256 for b in frame]
            else:
                values = list(struct.unpack(f"<{self.channels}h", frame))
            if self.channels == 1:
                values = values * 2
            for _ in range(44100 // self.rate):
                for v in values:
                    if self.gain < 255:
                        v = (v * self.gain) >> 8
                    block[at] = max(-32768, min(32767, block[at] + v))
                    at += 1


def mix(block_size, blocks, arguments):
    sources = [Source(argument) for argument in arguments]
    for _ in range(blocks):
        block = [0] * (block_size // 2)
        for source in sources:
            source.fill(block, block_size)
        print(struct.pack(f"<{len(block)}h", *block).hex().upper())


if __name__ == "__main__":
    if sys.argv[1] == "make":
        make(sys.argv[2])
    else:
        mix(int(sys.argv[2]), int(sys.argv[3]), sys.argv[4:])
