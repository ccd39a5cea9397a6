#!/usr/bin/env python3
"""vfilm: writes film files (.vmt) from JSON descriptions.

    vfilm.py film DESCRIPTION.json OUT.vmt
    vfilm.py tracks DESCRIPTION.json OUT      the track records alone (hex with --hex, OUT "-": stdout)
    vfilm.py corpus OUTDIR                    seeds for the film reader's fuzz harness

A description:

    {"version": 111, "kind": "cinema", "width": 640, "height": 480, "colour": -1,
     "relative": 0, "origin": [0, 0], "loop_back": 0,
     "tracks": [{"kind": 3, "parent": -1, "length": 60, "reserved": 0, "start": 0,
                 "loop_length": 60, "sub_priority": 0, "flip_h": 0, "flip_v": 0,
                 "other_layer": 0, "wipe_type": 5, "mask": "MASK.PNG"}]}

Every field may be left out (the values above are the defaults). "kind" is "cinema" or "motion"; the
version (100 to 111) chooses which fields are written: in the head the relative-positions byte from 102,
the origin from 104, the loop-back time from 106; in the tracks the rows each kind's table gates. Times
and volumes are written as given: files before version 107 hold times at half scale and files before 108
hold volumes v with v div 10 + 1000 the per-mille volume, so a description for such a version gives the
stored values.

A track's own fields follow its kind's table in KINDS (the kind byte's top bit is ignored there), each
taken from the track description by name; "fields" (hex bytes) replaces them all for a kind without a
table, or to write bytes no table makes. Strings are written in code page 932.
"""
import json
import os
import struct
import sys

MAGICS = {"cinema": b"VelaCinema", "motion": b"VelaMotion"}

# Track header: parent index, length, reserved, start, loop length, sub-priority, flip h, flip v,
# other layer.
TRACK_HEADER = struct.Struct("<iiiiiiBBB")

# Kind tables: each row (name, format, default, first version, last version or None). A format is a
# struct format (the value a number, or a list for several fields) or "str" (int32 byte count, then
# the bytes).
# The clip block (rows of image, tile and box tracks) and the blur values.
CLIP_ROWS = [("begin_clip_pos", "<ii", [0, 0], 101, None), ("begin_clip_size", "<ii", [0, 0], 101, None),
             ("end_clip_pos", "<ii", [0, 0], 101, None), ("end_clip_size", "<ii", [0, 0], 101, None),
             ("clip_mode_x", "<B", 0, 101, None), ("clip_mode_y", "<B", 0, 101, None)]
BLUR_ROWS = [("begin_blur_span", "<i", 0, 109, None), ("begin_blur_delay", "<i", 0, 109, None),
             ("end_blur_span", "<i", 0, 109, None), ("end_blur_delay", "<i", 0, 109, None)]
# What image, tile and label tracks share: angles are int32 before 110, doubles from 110; the y
# zoom is stored from 105.
IMAGE_ROWS = [
    ("anchor", "<ii", [0, 0], 100, None), ("begin_pos", "<ii", [0, 0], 100, None),
    ("end_pos", "<ii", [0, 0], 100, None), ("mode_x", "<B", 0, 100, None), ("mode_y", "<B", 0, 100, None),
    ("angles", "<ii", [0, 0], 100, 109), ("angles", "<dd", [0, 0], 110, None),
    ("begin_zoom_x", "<d", 1.0, 100, None), ("end_zoom_x", "<d", 1.0, 100, None),
    ("zoom_x_mode", "<B", 0, 100, None), ("begin_alpha", "<i", 0, 100, None), ("end_alpha", "<i", 0, 100, None),
    ("angle_mode", "<B", 0, 100, None)] + CLIP_ROWS + [
    ("begin_zoom_y", "<d", 1.0, 105, None), ("end_zoom_y", "<d", 1.0, 105, None),
    ("zoom_y_mode", "<B", 0, 105, None)] + BLUR_ROWS

# The place, size and clip of particle and fire tracks, stored at every version.
RECT_ROWS = [("begin_pos", "<ii", [0, 0], 100, None), ("end_pos", "<ii", [0, 0], 100, None),
             ("mode_x", "<B", 0, 100, None), ("mode_y", "<B", 0, 100, None),
             ("begin_size", "<ii", [100, 100], 100, None), ("end_size", "<ii", [100, 100], 100, None)] + [
             (name, fmt, default, 100, None) for name, fmt, default, _, _ in CLIP_ROWS]

KINDS = {
    # 0: image.
    0: IMAGE_ROWS + [("file", "str", "", 100, None)],
    # 1: label; the line space is stored at every version (read only from 103).
    1: IMAGE_ROWS + [("text", "str", "", 100, None), ("antialias", "<B", 0, 100, None),
                     ("font_name", "str", "", 100, None), ("font_height", "<i", 12, 100, None),
                     ("line_space", "<i", 0, 100, None), ("font_style", "<B", 0, 100, None),
                     ("font_color", "<i", 0xFFFFFF, 100, None), ("h_align", "<B", 0, 103, None)],
    # 2: box; "colors", "border_widths" and "border_colors" are [begin, end] pairs.
    2: [("begin_pos", "<ii", [0, 0], 100, None), ("end_pos", "<ii", [0, 0], 100, None),
        ("mode_x", "<B", 0, 100, None), ("mode_y", "<B", 0, 100, None), ("begin_alpha", "<i", 0, 100, None),
        ("end_alpha", "<i", 0, 100, None), ("begin_size", "<ii", [100, 100], 100, None),
        ("end_size", "<ii", [100, 100], 100, None), ("colors", "<ii", [0, 0], 100, None),
        ("border_widths", "<ii", [0, 0], 100, None), ("border_colors", "<ii", [0, 0], 100, None)] + CLIP_ROWS +
       [("begin_blur_span", "<i", 0, 109, None), ("begin_blur_delay", "<i", 0, 109, None),
        ("end_blur_span", "<i", 0, 109, None), ("end_blur_delay", "<i", 0, 109, None)],
    # 5: tile; the clip block is stored a second time (the same values here).
    5: IMAGE_ROWS + [("file", "str", "", 100, None), ("begin_size", "<ii", [0, 0], 100, None),
                     ("end_size", "<ii", [0, 0], 100, None), ("begin_scroll", "<ii", [0, 0], 100, None),
                     ("end_scroll", "<ii", [0, 0], 100, None), ("scroll_mode_x", "<B", 0, 100, None),
                     ("scroll_mode_y", "<B", 0, 100, None), ("distance", "<ii", [0, 0], 100, None)] + CLIP_ROWS,
    # 3: wipe.
    3: [("wipe_type", "<B", 1, 100, None),
        ("mask", "str", "", 101, None),
        ("wipe_param1", "<i", 0, 101, None),
        ("wipe_param2", "<i", 0, 101, None),
        ("reverse", "<B", 0, 101, None),
        ("wipe_flag", "<B", 0, 111, None)],
    # 4: sound.
    4: [("file", "str", "", 100, None),
        ("begin_volume", "<i", 1000, 100, None),
        ("end_volume", "<i", 1000, 100, None),
        ("begin_pan", "<i", 0, 100, None),
        ("end_pan", "<i", 0, 100, None),
        ("volume_mode", "<B", 0, 100, None),
        ("pan_mode", "<B", 0, 100, None)],
    # 6: particle (no version gates); "center", "spread" and "alphas" are [begin, end] pairs, "emit12"
    # and "emit34" [begin 1, begin 2, end 1, end 2] (3 and 4 alike), the parameters three doubles.
    6: [("sprite", "str", "", 100, None), ("part_motion", "<B", 0, 100, None), ("part_index", "<i", 0, 100, None),
        ("center", "<ii", [100, 100], 100, None), ("spread", "<ii", [1, 1], 100, None),
        ("emit12", "<iiii", [0, 0, 0, 0], 100, None), ("emit34", "<iiii", [1, 1, 1, 1], 100, None),
        ("emit_modes", "<BB", [0, 0], 100, None), ("begin_params", "<ddd", [0, 0, 0], 100, None),
        ("end_params", "<ddd", [0, 0, 0], 100, None)] + RECT_ROWS + [("alphas", "<ii", [0, 0], 100, None)],
    # 7: fire (no version gates); "begin_zoom" and "end_zoom" are [x, y].
    7: RECT_ROWS + [("begin_zoom", "<dd", [4.0, 4.0], 100, None), ("end_zoom", "<dd", [4.0, 4.0], 100, None),
                    ("zoom_mode_x", "<B", 0, 100, None), ("zoom_mode_y", "<B", 0, 100, None),
                    ("power", "<i", 100, 100, None)],
}


def field_bytes(fmt, value):
    if fmt == "str":
        data = value.encode("cp932")
        return struct.pack("<i", len(data)) + data
    return struct.pack(fmt, *value) if isinstance(value, (list, tuple)) else struct.pack(fmt, value)


def kind_fields(track, version):
    if "fields" in track:
        return bytes.fromhex(track["fields"])
    out = b""
    for name, fmt, default, first, last in KINDS.get(track.get("kind", 0) & 0x7F, []):
        if version >= first and (last is None or version <= last):
            out += field_bytes(fmt, track.get(name, default))
    return out


def track_record(track, version=111):
    head = TRACK_HEADER.pack(track.get("parent", -1), track.get("length", 60), track.get("reserved", 0),
                             track.get("start", 0), track.get("loop_length", 60), track.get("sub_priority", 0),
                             track.get("flip_h", 0), track.get("flip_v", 0), track.get("other_layer", 0))
    return bytes([track.get("kind", 0)]) + head + kind_fields(track, version)


def track_records(desc):
    version = desc.get("version", 111)
    return b"".join(track_record(t, version) for t in desc.get("tracks", []))


def film_bytes(desc):
    version = desc.get("version", 111)
    if not 100 <= version <= 999:
        raise ValueError("version out of range: %d" % version)
    out = MAGICS[desc.get("kind", "cinema")] + b"%03d" % version
    out += struct.pack("<iii", desc.get("width", 640), desc.get("height", 480), desc.get("colour", -1))
    if version >= 102:
        out += bytes([desc.get("relative", 0)])
    if version >= 104:
        out += struct.pack("<ii", *desc.get("origin", [0, 0]))
    if version >= 106:
        out += struct.pack("<i", desc.get("loop_back", 0))
    tracks = desc.get("tracks", [])
    return out + struct.pack("<I", len(tracks)) + track_records(desc)


# Fuzz seeds: whole films.
SEEDS = {
    "chain_106": {"version": 106, "loop_back": 30, "origin": [4, 5], "relative": 1, "tracks": [
        {"kind": 4, "length": 30, "start": 15, "file": "..\\SE\\A.WAV", "begin_volume": -2000},
        {"kind": 4, "parent": 0, "length": 10, "flip_h": 1, "end_pan": -300},
        {"kind": 0x83, "parent": 1, "length": 5, "other_layer": 1, "wipe_type": 7, "mask": "M.PNG"}]},
    "loop_111": {"kind": "motion", "tracks": [
        {"kind": 3, "parent": 1, "length": 20, "wipe_flag": 1}, {"kind": 3, "parent": 0, "length": 7, "start": 3}]},
    "outside_107": {"version": 107, "colour": 0x102030, "tracks": [
        {"kind": 4, "parent": 9, "length": 2147483647, "start": 2147483647, "loop_length": -5}]},
}
# A film of each version: two wipes, the second flagged, and a chain of sounds.
for _version in range(100, 112):
    SEEDS["version_%d" % _version] = {
        "version": _version, "kind": ("cinema", "motion")[_version % 2], "relative": 1, "origin": [3, 4],
        "loop_back": 8, "tracks": [
            {"kind": 3, "start": 5, "length": 10, "wipe_type": 3, "mask": "M.PNG", "wipe_param1": 9, "reverse": 1},
            {"kind": 3, "start": 20, "length": 4, "other_layer": 1, "wipe_flag": 1},
            {"kind": 4, "length": 12, "file": "A.WAV", "begin_volume": -500, "volume_mode": 2},
            {"kind": 4, "parent": 2, "length": 30, "end_pan": 100}]}


def main(argv):
    if len(argv) == 3 and argv[1] == "corpus":
        os.makedirs(argv[2], exist_ok=True)
        for name, desc in SEEDS.items():
            with open(os.path.join(argv[2], name), "wb") as f:
                f.write(film_bytes(desc))
        return 0
    if len(argv) >= 4 and argv[1] in ("film", "tracks"):
        with open(argv[2], encoding="utf-8") as f:
            desc = json.load(f)
        data = film_bytes(desc) if argv[1] == "film" else track_records(desc)
        if "--hex" in argv[4:]:
            data = data.hex().encode() + b"\n"
        if argv[3] == "-":
            sys.stdout.buffer.write(data)
        else:
            with open(argv[3], "wb") as f:
                f.write(data)
        return 0
    sys.stderr.write(__doc__)
    return 2


if __name__ == "__main__":
    sys.exit(main(sys.argv))
