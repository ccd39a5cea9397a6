#!/usr/bin/env python3
"""Independent references for the cinema object, built field by field with struct.

  film WIDTH HEIGHT COLOUR [START LENGTH ...]
              a "VelaCinema111" film (hex): the stage, its background colour, loop-back 0, and one
              fade wipe track (type 1, no mask, parameters 0, not reversed) per START LENGTH pair.
              Track header: parent -1, length, reserved 0, start, loop length = length,
              sub-priority 0, flip h, flip v, other layer 0 (int32 x 6, byte x 3).
  records     one line per save version: version, record as stored (hex), record in the newest
              form as read (hex). After the control (scene_records.py) the cinema stores source,
              flag repeat, flag paused, flag auto-scrap, on-play-end; from 104 on-idle; from 117
              uint32 frame and flag rewind-on-load; from 129 uint32 volume and flag mute-on-load;
              from 133 flag ended. The source names FILM (32 x 16, colour 0x0000FF, one wipe over
              120 ticks), which the test provides. Read back: the frame only from 117 (rewind-on-
              load clear); mute-on-load makes the volume 0; older saves keep volume 1000."""
import struct
import sys

from scene_records import NEWEST, as_read, control, flag, i32, new, string

VERSIONS = (103, 104, 116, 117, 128, 129, 132, 133, NEWEST)
FILM = "film.vmt"
STAGE = (32, 16)


def film(width, height, colour, wipes):
    out = b"VelaCinema111" + struct.pack("<iii", width, height, colour)
    out += b"\x00" + struct.pack("<ii", 0, 0) + i32(0)
    out += struct.pack("<I", len(wipes))
    for start, length in wipes:
        out += b"\x03" + struct.pack("<iiiiiiBBB", -1, length, 0, start, length, 0, 0, 0, 0)
        out += b"\x01" + i32(0) + i32(0) + i32(0) + b"\x00" + b"\x00"
    return out


def cinema(v, frame, rewind, volume, mute, ended, onidle):
    out = string(FILM) + flag(True) + flag(True) + flag(True) + string("end.vsb")
    if v >= 104:
        out += string(onidle)
    if v >= 117:
        out += struct.pack("<I", frame) + flag(rewind)
    if v >= 129:
        out += struct.pack("<I", volume) + flag(mute)
    if v >= 133:
        out += flag(ended)
    return out


def records():
    obj = new(None, name="cin", priority=3, left=5, top=6, width=STAGE[0], height=STAGE[1], visible=True)
    for v in VERSIONS:
        stored = cinema(v, 30, False, 700, True, True, "idle.vsb")
        read = cinema(NEWEST, 30 if v >= 117 else 0, False, 0 if v >= 129 else 1000, v >= 129, v >= 133,
                      "idle.vsb" if v >= 104 else "")
        print(v, (control(obj[1], v) + stored).hex(), (control(as_read(obj, v)[1], NEWEST) + read).hex())


def main():
    if sys.argv[1] == "film":
        args = [int(a, 0) for a in sys.argv[2:]]
        wipes = list(zip(args[3::2], args[4::2]))
        print(film(args[0], args[1], args[2], wipes).hex())
    else:
        records()


if __name__ == "__main__":
    main()
