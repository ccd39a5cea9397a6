#!/usr/bin/env python3
"""vprevmenu: writes preview-menu files from JSON descriptions.

    vprevmenu.py xml DESCRIPTION.json OUT       the XML form (version 200 on), code page 932
    vprevmenu.py binary DESCRIPTION.json OUT    the "VelaPrevMenu" binary form (versions 100 to 200)
    vprevmenu.py corpus OUTDIR                  seeds for the preview-menu reader's fuzz harness

OUT "-" writes to standard output (as hex with --hex). A description:

    {"Version": 200, "BGFile": "bg.mra", "Width": 640, "Height": 480,
     "Button": [{"Name": "Start", "Left": 10, "Top": 20, "Path": "start.mra", "Group": 1,
                 "InImagePath": "start_in.mra", "DownOnPrevRepeat": true}]}

XML form: the document element holds Version, BGFile, Width, Height (each written only when the
description has it) and a Button element (written when the description has "Button"), whose Item
children hold the elements a button description names, in its order: so a field left out is an
element left out. Booleans are written "1" or "0". "Extra" (a list of [name, text] pairs) adds
elements of those names to the Button element after the items.

Binary form: the magic, the version as three ASCII digits ("VersionDigits" writes other text),
Width, Height and the button count as int32, then each button's record with the fields the
version carries: Left, Top, Path, CapMask (a byte), Name, InImagePath, OutImagePath,
SettleImagePath, DisImagePath (101), DisInImagePath and DisOutImagePath (103), InPrevPath,
OutPrevPath, SettlePrevPath, DisInPrevPath and DisOutPrevPath (102), PrevLeft, PrevTop, CursorPath,
DownImagePath, DownInImagePath, DownOutImagePath, DownInPrevPath and DownOutPrevPath (104), Group
(104), DownOnPrevPath (105), DownOffPrevPath (106). Integers are little-endian int32, a string an
int32 byte count and its code page 932 bytes. A field left out is written as 0 or "".
"""
import json
import os
import struct
import sys

MAGIC = b"VelaPrevMenu"

# The binary record: (field, kind, first version); kind "i" int32, "b" byte, "s" string.
RECORD = [
    ("Left", "i", 100), ("Top", "i", 100), ("Path", "s", 100), ("CapMask", "b", 100), ("Name", "s", 100),
    ("InImagePath", "s", 100), ("OutImagePath", "s", 100), ("SettleImagePath", "s", 100),
    ("DisImagePath", "s", 101), ("DisInImagePath", "s", 103), ("DisOutImagePath", "s", 103),
    ("InPrevPath", "s", 100), ("OutPrevPath", "s", 100), ("SettlePrevPath", "s", 100),
    ("DisInPrevPath", "s", 102), ("DisOutPrevPath", "s", 102),
    ("PrevLeft", "i", 100), ("PrevTop", "i", 100), ("CursorPath", "s", 100),
    ("DownImagePath", "s", 104), ("DownInImagePath", "s", 104), ("DownOutImagePath", "s", 104),
    ("DownInPrevPath", "s", 104), ("DownOutPrevPath", "s", 104), ("Group", "i", 104),
    ("DownOnPrevPath", "s", 105), ("DownOffPrevPath", "s", 106),
]


def escape(text):
    return (text.replace("&", "&amp;").replace("<", "&lt;").replace(">", "&gt;")
            .replace('"', "&quot;"))


def xml_text(value):
    if isinstance(value, bool):
        return "1" if value else "0"
    return escape(str(value))


def write_xml(desc):
    lines = ['<?xml version="1.0" encoding="Shift_JIS"?>', "<PreviewMenu>"]
    for key in ("Version", "BGFile", "Width", "Height"):
        if key in desc:
            lines.append("  <%s>%s</%s>" % (key, xml_text(desc[key]), key))
    if "Button" in desc:
        lines.append("  <Button>")
        for button in desc["Button"]:
            lines.append("    <Item>")
            for key, value in button.items():
                lines.append("      <%s>%s</%s>" % (key, xml_text(value), key))
            lines.append("    </Item>")
        for name, text in desc.get("Extra", []):
            lines.append("    <%s>%s</%s>" % (name, xml_text(text), name))
        lines.append("  </Button>")
    lines.append("</PreviewMenu>")
    return ("\r\n".join(lines) + "\r\n").encode("cp932")


def pack_string(text):
    data = text.encode("cp932")
    return struct.pack("<i", len(data)) + data


def write_binary(desc):
    version = desc.get("Version", 106)
    digits = desc.get("VersionDigits", "%03d" % version).encode("ascii")
    buttons = desc.get("Button", [])
    out = MAGIC + digits + struct.pack("<iii", desc.get("Width", 640), desc.get("Height", 480), len(buttons))
    for button in buttons:
        for name, kind, first in RECORD:
            if version < first:
                continue
            value = button.get(name)
            if kind == "i":
                out += struct.pack("<i", value or 0)
            elif kind == "b":
                out += struct.pack("<B", 1 if value else 0)
            else:
                out += pack_string(value or "")
    return out


# Seeds: both forms, every binary gate, the newer-version warning, a file cut inside a record.
def corpus():
    full = {"Name": "ボタン", "Left": 4, "Top": 8, "Path": "a.mra", "CapMask": True, "Group": 1,
            "InImagePath": "..\\in.mra", "OutImagePath": "out.mra", "SettleImagePath": "set.vmt",
            "DisImagePath": "dis.mra", "DisInImagePath": "di.mra", "DisOutImagePath": "do.mra",
            "InPrevPath": "ip.mra", "OutPrevPath": "op.mra", "SettlePrevPath": "sp.mra",
            "DisInPrevPath": "dip.mra", "DisOutPrevPath": "dop.mra", "PrevLeft": 100, "PrevTop": 50,
            "CursorPath": "c.cur", "DownImagePath": "d.mra", "DownInImagePath": "dI.mra",
            "DownOutImagePath": "dO.mra", "DownInPrevPath": "dip.mra", "DownOutPrevPath": "dop.mra",
            "DownOnPrevPath": "on.mra", "DownOffPrevPath": "off.mra"}
    seeds = {}
    for version in (100, 101, 102, 103, 104, 105, 106, 200):
        seeds["binary_%d" % version] = write_binary({"Version": version, "Button": [full, {"Name": "b"}]})
    seeds["binary_cut"] = seeds["binary_106"][:-3]
    seeds["binary_digits"] = write_binary({"VersionDigits": "abc", "Button": []})
    xml_button = dict(full, CapMaskLevel=64, DownOnPrevRepeat=True, DownOffPrevRepeat=False)
    seeds["xml_200"] = write_xml({"Version": 200, "BGFile": "bg.mra", "Width": 320, "Height": 240,
                                  "Button": [xml_button, {"Left": 1}], "Extra": [["Other", "x"]]})
    seeds["xml_empty"] = write_xml({"Version": 200})
    seeds["xml_old"] = write_xml({"Version": 199})
    seeds["xml_newer"] = write_xml({"Version": 201, "Button": [{"Name": "n"}]})
    return seeds


def emit(data, out, as_hex):
    if out == "-":
        if as_hex:
            sys.stdout.write(data.hex() + "\n")
        else:
            sys.stdout.buffer.write(data)
        return
    with open(out, "wb") as f:
        f.write(data)


def main(argv):
    args = [a for a in argv[1:] if a != "--hex"]
    as_hex = "--hex" in argv
    if len(args) == 2 and args[0] == "corpus":
        os.makedirs(args[1], exist_ok=True)
        for name, data in corpus().items():
            emit(data, os.path.join(args[1], name), False)
        return 0
    if len(args) != 3 or args[0] not in ("xml", "binary"):
        sys.stderr.write(__doc__)
        return 2
    with open(args[1], encoding="utf-8") as f:
        desc = json.load(f)
    emit((write_xml if args[0] == "xml" else write_binary)(desc), args[2], as_hex)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
