#!/usr/bin/env python3
"""Reference message-history records of the save data, built with struct.

Without arguments, prints one line per save version (112, 123, 144):
"VERSION LOADED SAVED", LOADED the format list written in that version's form and SAVED the same
list as the newest form writes it after a load (what older forms lack takes its default: no
screens, capacity 0, the history document's settings 12 0 0 0 0 0, range 0 0, no variables).
With "corpus FOLDER", writes fuzz seeds (a little-endian int32 version, then a record) there.
"""
import os
import struct
import sys

NEWEST = 144


def i32(*values):
    return struct.pack("<%di" % len(values), *values)


def s(text):
    data = text.encode("cp932")
    return i32(len(data)) + data


# The default format holds a history of each kind of content; "ログ" holds an empty one.
ENTRIES = [("a.vsb", 1, 0, (640, 480)), ("", 2, -1, (640, 480)), ("B.vsb", 0, 3, (320, 200))]
SCREENS = [[("a.vsb", 1, 0, 9, 40, "x=1"), ("", 2, 0, 3, 30, "")], [("b.vsb", 0, 0, 5, 50, "名=太郎")]]
FULL = dict(entries=ENTRIES, page="c.vsb", command=4, page_index=5, point=(10, 20), window="mes", capacity=7,
            settings=(16, 2, 1, 400, 300, 4), start=2, end=-1, screens=SCREENS, vars="名=花子\r\nn=1")
EMPTY = dict(entries=[], page="", command=0, page_index=0, point=(0, 0), window="", capacity=0,
             settings=(12, 0, 0, 0, 0, 0), start=0, end=0, screens=[], vars="")
FORMATS = [("", (0, 0, 0, 0, 0, 0), FULL), ("ログ", (20, 1, 0, 500, 400, 2), EMPTY)]


def entries(items, version):
    out = i32(len(items))
    if version < 113:
        out += b"".join(s(e[0]) for e in items)
        out += b"".join(i32(e[1]) for e in items)
        out += b"".join(i32(e[2]) for e in items)
        out += b"".join(i32(*e[3]) for e in items)
        return out
    return out + b"".join(s(n) + i32(c, p, *v) for n, c, p, v in items)


def screens(items, version):
    out = i32(len(items))
    for screen in items:
        out += i32(len(screen))
        for name, command, first, last, height, text in screen:
            out += s(name) + i32(command, first, last, height)
            if version >= 124:
                out += s(text)
        out += i32(sum(e[4] for e in screen))
    return out


def history(h, version):
    out = s("old") if version < 113 else b""
    out += entries(h["entries"], version) + s(h["page"]) + i32(h["command"], h["page_index"], *h["point"])
    out += s(h["window"])
    if version >= 113:
        out += i32(h["capacity"], *h["settings"], h["start"], h["end"]) + screens(h["screens"], version)
    if version >= 124:
        out += s(h["vars"])
    return out


def as_loaded(h, version):
    """What a load of the VERSION form keeps of H."""
    kept = dict(h)
    if version < 113:
        for key in ("capacity", "settings", "start", "end", "screens"):
            kept[key] = EMPTY[key]
    if version < 124:
        kept["vars"] = ""
        kept["screens"] = [[e[:5] + ("",) for e in screen] for screen in kept["screens"]]
    return kept


def formats(version, loaded=False):
    out = i32(len(FORMATS))
    for name, settings, h in FORMATS:
        out += s(name) + i32(*settings) + history(as_loaded(h, version) if loaded else h, NEWEST if loaded else version)
    return out


def write_corpus(folder):
    os.makedirs(folder, exist_ok=True)
    seeds = {"v112": (112, formats(112)), "v123": (123, formats(123)), "v144": (NEWEST, formats(NEWEST)),
             "cut": (NEWEST, formats(NEWEST)[:90]), "huge_count": (NEWEST, i32(0x7FFFFFFF))}
    for name, (version, data) in seeds.items():
        with open(os.path.join(folder, name), "wb") as f:
            f.write(i32(version) + data)


def main():
    if sys.argv[1:2] == ["corpus"]:
        write_corpus(sys.argv[2])
        return
    for version in (112, 123, NEWEST):
        print(version, formats(version).hex(), formats(version, loaded=True).hex())


if __name__ == "__main__":
    main()
