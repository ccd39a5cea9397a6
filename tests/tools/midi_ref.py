#!/usr/bin/env python3
"""Standard MIDI File fixtures and an independent reading of them.

  midi_ref.py write FOLDER   writes the fixtures below (struct), one .mid each
  midi_ref.py events FILE    prints the merged events of FILE as mido parses them, one a line:
                             "tick time kind track hex-data"

Events of all tracks are merged by absolute tick, then by track, then by file order. Times are
in ms: each interval between events is its ticks times the ms per tick of the tempo in force,
(1 / division) * tempo / 1000 held in single precision, rounded half to even and added up.
The data is the status byte, then a channel message's data, a meta event's type and bytes (no
length) or an exclusive event's bytes.
"""
import struct
import sys


def varlen(n):
    out = [n & 0x7F]
    n >>= 7
    while n:
        out.insert(0, 0x80 | (n & 0x7F))
        n >>= 7
    return bytes(out)


def header(fmt, ntracks, division, extra=b''):
    return b'MThd' + struct.pack('>IHHH', 6 + len(extra), fmt, ntracks, division) + extra


def track(*events):
    """events: (delta, bytes) pairs; bytes already include status (or none for running status)."""
    body = b''.join(varlen(d) + e for d, e in events)
    return b'MTrk' + struct.pack('>I', len(body)) + body


def meta(kind, data):
    return bytes([0xFF, kind]) + varlen(len(data)) + data


END = meta(0x2F, b'')
GS_RESET = bytes([0xF0, 0x0A, 0x41, 0x10, 0x42, 0x12, 0x40, 0x00, 0x7F, 0x00, 0x41, 0xF7])
GM_ON = bytes([0xF0, 0x05, 0x7E, 0x7F, 0x09, 0x01, 0xF7])


def fixtures():
    yield 'running_status', header(0, 1, 480) + track(
        (0, meta(0x03, b'Solo')),
        (0, bytes([0xC0, 0x05])),
        (0, bytes([0x90, 0x3C, 0x40])),
        (240, bytes([0x3E, 0x40])),          # running status: another note-on
        (240, bytes([0x3C, 0x00])),          # note-on with velocity 0 closes the first note
        (0, meta(0x01, bytes(range(32, 232)))),  # 200 bytes: a two-byte length
        (0, bytes([0xB0, 0x07, 0x64])),
        (1, bytes([0x0A, 0x20])),            # running status after a controller
        (479, bytes([0x80, 0x3E, 0x00])),
        (100, bytes([0xE0, 0x00, 0x40])),
        (0, END))
    yield 'two_tracks', header(1, 2, 480) + track(
        (0, meta(0x58, bytes([3, 2, 24, 8]))),
        (0, meta(0x51, struct.pack('>I', 500000)[1:])),
        (960, meta(0x51, struct.pack('>I', 250000)[1:])),
        (333, meta(0x51, struct.pack('>I', 600001)[1:])),
        (1111, meta(0x06, b'end')),
        (0, END)) + track(
        (0, GS_RESET),
        (0, GM_ON),
        (0, bytes([0xC1, 0x30])),
        (480, bytes([0x91, 0x40, 0x50])),
        (480, bytes([0x91, 0x40, 0x00])),
        (0, bytes([0xA1, 0x40, 0x10])),
        (7, bytes([0xD1, 0x22])),
        (1000, bytes([0x81, 0x40, 0x00])),
        (3, END))
    yield 'header8', header(0, 1, 96, b'\x00\x00') + track(
        (0, bytes([0x92, 0x30, 0x7F])),
        (96, bytes([0x82, 0x30, 0x00])),
        (0, END))


def kind(msg):
    t = msg.type
    if t == 'note_on':
        return 1 if msg.velocity > 0 else 2
    simple = {'note_off': 2, 'polytouch': 3, 'control_change': 4, 'program_change': 5,
              'aftertouch': 6, 'pitchwheel': 7}
    if t in simple:
        return simple[t]
    if t == 'sysex':
        if bytes(msg.data) == GS_RESET[2:-1]:
            return 8
        first = msg.data[0] if msg.data else -1
        return meta_kind(first)
    return meta_kind(data_of(msg)[1])


def meta_kind(type_byte):
    if 0 <= type_byte <= 7:
        return 10 + type_byte
    return {0x2F: 18, 0x51: 9, 0x52: 19, 0x58: 20, 0x59: 21}.get(type_byte, 0)


def data_of(msg):
    raw = bytes(msg.bytes())
    if msg.is_meta:
        i = 2
        while raw[i] & 0x80:
            i += 1
        return raw[:2] + raw[i + 1:]
    return raw


def f32(x):
    return struct.unpack('<f', struct.pack('<f', x))[0]


def events(path):
    # mido is asked for only here, so that the writers above serve without it (the sample's theme).
    try:
        import mido
    except ImportError:  # an interpreter of its own beside the system's, which has mido
        sys.path.append('/usr/lib/python3/dist-packages')
        import mido
    mf = mido.MidiFile(path)
    merged = []
    order = 0
    for index, trk in enumerate(mf.tracks):
        tick = 0
        for msg in trk:
            tick += msg.time
            merged.append((tick, order, index, msg))
            order += 1
    merged.sort(key=lambda e: (e[0], e[1]))
    tempo, prev_tick, prev_time = 500000, 0, 0
    for tick, _, index, msg in merged:
        ms = f32((1 / mf.ticks_per_beat) * tempo / 1000)
        prev_time += round((tick - prev_tick) * ms)
        prev_tick = tick
        print(tick, prev_time, kind(msg), index, data_of(msg).hex().upper())
        if msg.type == 'set_tempo':
            tempo = msg.tempo


def main():
    if sys.argv[1] == 'write':
        for name, data in fixtures():
            with open(f'{sys.argv[2]}/{name}.mid', 'wb') as f:
                f.write(data)
    else:
        events(sys.argv[2])


if __name__ == '__main__':
    main()
