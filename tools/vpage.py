#!/usr/bin/env python3
"""vpage: writes script pages (.vsb) and the project file (vela.vpb) from JSON descriptions.

    vpage.py page DESCRIPTION.json OUT.vsb [--vexpr PATH]
    vpage.py project DESCRIPTION.json OUT/vela.vpb
    vpage.py title FOLDER OUT/ [--vexpr PATH]
    vpage.py install DESCRIPTION.json OUT/install.dat
    vpage.py props [COMMAND ...] [--markdown]

A page description:

    {"version": 117, "return": "int", "masks": {"Timer": "0100000c02"},
     "commands": [{"cmd": "WhileInit", "do": "i = 0"},
                  {"cmd": "Wait", "time": "300", "indent": 1, "line": 7}]}

"version" (default 117), "return" (int, float, bool or str; default int) and "masks" (opcode keyword or
number -> hexadecimal bytes; the listed records replace the default masks, unlisted ones are zero) may be
left out. Every command has "cmd" (its keyword), the base fields "indent" (0), "disabled" (false),
"continue" (true; a Comment's defaults are disabled and not continuing) and "line" (its position, counted
from 1), and its own fields as listed in COMMANDS. Expressions are text, compiled by the engine's own
compiler (`vexpr --hex-stream`, given by --vexpr or the environment variable VELA_VEXPR); an optional expression
left out (or null) is stored as an expression of no operations, which gives no result. The command
indexes within the page (While "exit", WhileLoop "head", Break and Continue "target") take a number or the
name of a Label of the page. An object-creating command and the cabinet commands take "props": property
names (with or without "PR_") -> expressions; the record holds one expression for each id of the page's
mask for that command, in id order, and an id the mask lacks is refused. A TextIns's "text" is marked-up
message text (a string, or a list of lines), compiled by nxcompile.py: a "\n" in the string ends a line
as the list does, and the lines join with one space (none after a tag), so a line break is written <BR>.

A project description holds the fields of PROJECT ("title", "width", "height" and "start_page" are
required), "declarations" ([{"name", "type", "value"}]) and "disks" ([{"folder", "disc"}]).

`title` reads FOLDER/project.json and every FOLDER/NAME.page.json and writes OUT/vela.vpb and OUT/NAME.vsb.
`install` writes the install set of a title installed whole: the "install.dat" that lies beside its game.dat
(version 108, disc 0, the project's title as the set identifier, fully installed, every other field empty).
`props` prints the property names each creation command (and cabinet command) takes under the default masks,
in id order: the names its "props" may use unless the page brings masks of its own.
Names and texts inside the files are Shift-JIS (CP932); host file names stay as given.
"""
import argparse
import decimal
import fractions
import json
import os
import struct
import subprocess
import sys

import nxcompile

NEWEST_VERSION = 117

KEYWORDS = (
    "If Elseif Else Label Jump Call Exit Wait BoxNew ImgNew MesNew Timer Movie Flip Calc VarNew VarDel GetProp "
    "SetProp ObjDel TextIns MovieStop ClrHist Cinema Caption Menu MenuClose Comment TextClr CallHist Button While "
    "WhileInit WhileLoop Break Continue ParticleNew FireNew GameSave GameLoad PCReset Reset Sound EditNew MemoNew "
    "Terminate DoEvent ClrRead MapImgNew WaveNew TileNew SliderNew ScrollbarNew GaugeNew CGCaption MediaPlay "
    "PrevMenuNew PropMotion FormatHist SaveCabinet LoadCabinet").split()
MASK_COUNT = len(KEYWORDS)  # one mask record per opcode
MASK_SIZE = 22

DEFAULT_MASKS = {
    "BoxNew": "7F7F0028FC8B0000800001008800F2004000BF001800",
    "ImgNew": "9F7800ACFC9F0000800001019880F3005000BF009807",
    "MesNew": "7BF87D0EFFCB000000000700A800F20000E0BF012000",
    "Timer": "0100000C020000008000000000000000000080000000",
    "Movie": "9F7800FCFC9B0000800001009880F3005008FF408003",
    "Cinema": "1F700038FC9B0000800001008800F2004008BF400000",
    "Caption": "9FF80FAAFC8B2400800001009800F2005000BF008003",
    "Menu": "1B9FEF0FFC83FEFFFF3F01008A03F200C0E1BF1E0000",
    "Button": "9FF80B8A0E8C04008000F9019880F3007000BF009807",
    "ParticleNew": "7F78000CFC930000000001F0C900F2014000BF000000",
    "FireNew": "9B700008FC8300000000010E9800F2005000BF000003",
    "Sound": "0500007C001800008000000000000000000880400400",
    "EditNew": "7BE10B08028004000000000004000000000080004000",
    "MemoNew": "7BE10B08028024000000000004000000000080004000",
    "MapImgNew": "1F780008FC870000800309008807F2004000BF000000",
    "WaveNew": "7B70000CFC830000000001008818F2004000BF000000",
    "TileNew": "FF180008FC8700000000010088E0FF005000BF001803",
    "SliderNew": "1F780008FE830000000001018800F2FE8001BF200004",
    "ScrollbarNew": "1F780008FE830000000001018800F2FE8101BF200004",
    "GaugeNew": "1F78000CFC830000000001008800F2790002BF200000",
    "CGCaption": "1F780408FC832400000001008800F2004E00BF000000",
    "PrevMenuNew": "1F70000800880000800301000803F2004000BF000000",
    "SaveCabinet": "01000000000000000000000000000000000000000000",
    "LoadCabinet": "01000000000000000000000000000000000000000000",
}

# Property ids in id order; a creation command's "props" names them with or without the "PR_" prefix.
PROPERTIES = (
    "NAME PARENT SOURCE LEFT TOP WIDTH HEIGHT ZOOMX COLOR BORDERWIDTH BORDERCOLOR ALPHA PRIORITY OFFSETX "
    "OFFSETY FONTNAME FONTHEIGHT FONTSTYLE LINESPACE FONTCOLOR FONTLINKCOLOR FONTBORDERCOLOR FONTHOVERCOLOR "
    "FONTHOVERSTYLE HOVERCOLOR ANTIALIAS DELAY PAUSED VOLUME REPEAT BALANCE ANGLE ONPLAYING ONNOTIFY "
    "ONMOUSEMOVE ONMOUSEOUT ONLBTNDOWN ONLBTNUP ONRBTNDOWN ONRBTNUP ONWHEELDOWN ONWHEELUP BRIGHTNESS ONPLAYEND "
    "INDEX COUNT ONLINK VISIBLE COLCOUNT ROWCOUNT TEXT MARGINX MARGINY HALIGN BORDERSOURCETL BORDERSOURCETC "
    "BORDERSOURCETR BORDERSOURCECL BORDERSOURCECC BORDERSOURCECR BORDERSOURCEBL BORDERSOURCEBC BORDERSOURCEBR "
    "BORDERHALIGNT BORDERHALIGNC BORDERHALIGNB BORDERVALIGNL BORDERVALIGNC BORDERVALIGNR SCROLLSOURCE "
    "CHECKSOURCE AUTOSCRAP ONSELECT RCLICKSCRAP ONOPENING ONOPENED ONCLOSING ONCLOSED CARETX CARETY IGNOREMOUSE "
    "TEXTPAUSED TEXTDELAY HOVERSOURCE PRESSEDSOURCE GROUPINDEX ALLOWALLUP SELECTED CAPTUREMASK POWER ORIGWIDTH "
    "ORIGHEIGHT APPEARX APPEARY PARTMOTION PARAM1 PARAM2 TOPINDEX READONLY CURSOR POSZOOMED ONPLAYSTART PARAM3 "
    "ONMOUSEIN ONMAPIN ONMAPOUT MAPSOURCE AMP WAVELEN SCROLLX SCROLLY FLIPH FLIPV ONIDLE DISTANCEX DISTANCEY "
    "CLIPLEFT CLIPTOP CLIPWIDTH CLIPHEIGHT DURATION THUMBSOURCE BUTTONSOURCE MIN MAX VALUE ORIENTATION "
    "SMALLCHANGE LARGECHANGE MAPTEXT GLYPHWIDTH GLYPHHEIGHT ZOOMY CLICKEDSOURCE ANIPAUSED ONHOLD ONRELEASE "
    "REVERSE PLAYING REWINDONLOAD COMPOTYPE FONTSHADOWCOLOR FONTBORDER FONTSHADOW ONKEYDOWN ONKEYUP ONKEYREPEAT "
    "HANDLEKEY ONFOCUSIN ONFOCUSOUT OVERLAY TAG CAPTURELINK FONTHOVERBORDER FONTHOVERBORDERCOLOR "
    "FONTHOVERSHADOW FONTHOVERSHADOWCOLOR BARSIZE MUTEONLOAD PLUSX PLUSY CARETHEIGHT REPEATPOS BLURSPAN "
    "BLURDELAY FONTCHANGEABLED IMEMODE FLOATANGLE FLOATZOOMX FLOATZOOMY CAPMASKLEVEL").split()

VALUE_TYPES = {"int": 1, "float": 2, "bool": 3, "str": 4}
SCOPES = {"global": 0, "auto": 1, "local": 2, "status": 3}

# Field kinds.
EXPR = "expression"         # compiled expression; None = no operations
EXPRS = "expression list"   # u32 count, then the expressions
STR = "string"              # u32 byte count, then the CP932 bytes
U32 = "u32"
I32 = "i32"
FLAG = "flag"               # one byte, 0 or 1
U32_PC = "command index"    # u32: a number or the name of a Label of this page
I32_PC = "command index or negative"
VALUE_TYPE = "value type"  # one byte: int, float, bool or str
SCOPE = "scope"            # one byte: global, auto, local or status
PROPS = "properties"       # property name -> expression, one expression per id of the opcode's mask
TEXT = "message text"      # u32 byte count, then the text compiled by nxcompile.py; null = no bytes
REQUIRED = object()


def field(name, kind, default=REQUIRED, since=0):
    return (name, kind, default, since)


# Own fields of each command in record order; `since` = first page version that stores the field.
RESET_FIELDS = [field("page", STR), field("pc", U32, 0), field("all", FLAG, False)]
LOOP_EXIT_FIELDS = [field("cond", EXPR, "TRUE"), field("target", I32_PC)]
COMMANDS = {
    "If": [field("cond", EXPR)],
    "Elseif": [field("cond", EXPR)],
    "Else": [],
    "Label": [field("name", STR)],
    "Comment": [field("text", STR, "")],
    "Jump": [field("page", STR), field("pc", U32, 0), field("cond", EXPR, "TRUE")],
    "Call": [field("page", STR), field("pc", U32, 0), field("result", STR, ""), field("cond", EXPR, "TRUE"),
             field("args", EXPRS, [])],
    "Exit": [field("cond", EXPR, "TRUE")],
    "Break": LOOP_EXIT_FIELDS,
    "Continue": LOOP_EXIT_FIELDS,
    "While": [field("cond", EXPR), field("exit", U32_PC)],
    "WhileInit": [field("do", EXPR)],
    "WhileLoop": [field("do", EXPR), field("head", U32_PC)],
    "Wait": [field("cond", EXPR, None), field("time", EXPR, None), field("hold", EXPR, None, 107)],
    "MovieStop": [field("name", EXPR), field("fade", EXPR, None), field("wait", EXPR, None),
                  field("hold", EXPR, None, 107)],
    "DoEvent": [],
    "TextIns": [field("text", TEXT), field("window", EXPR), field("read", EXPR, None), field("wait", EXPR, None),
                field("hold", EXPR, None, 107)],
    "TextClr": [field("window", EXPR)],
    "CallHist": [field("window", EXPR), field("first", EXPR, None), field("count", EXPR, None),
                 field("flag", EXPR, None), field("format", EXPR, None, 111)],
    "ClrHist": [],
    "FormatHist": [field("object", EXPR, None), field("format", EXPR, None, 111)],
    "ClrRead": [],
    "GameSave": [field("slot", EXPR, None), field("page", STR, ""), field("pc", U32, 0, 105),
                 field("caption", EXPR, None)],
    "GameLoad": [field("slot", EXPR, None)],
    "MenuClose": [field("name", EXPR)],
    "MediaPlay": [field("name", EXPR)],
    "PCReset": RESET_FIELDS,
    "Reset": RESET_FIELDS,
    "Terminate": [],
    "Calc": [field("do", EXPR)],
    "VarNew": [field("name", STR), field("type", VALUE_TYPE, "int"), field("value", EXPR, None),
               field("scope", SCOPE, "global")],
    "VarDel": [field("name", STR)],
    "GetProp": [field("object", EXPR), field("prop", EXPR), field("dest", STR, "")],
    "SetProp": [field("object", EXPR), field("prop", EXPR), field("value", EXPR, None)],
    "ObjDel": [field("object", EXPR)],
    "PropMotion": [field("name", EXPR, None), field("object", EXPR, None), field("prop", EXPR),
                   field("value", EXPR, None), field("time", EXPR, None), field("type", EXPR, None),
                   field("paused", EXPR, None, 108)],
    "Flip": [field("wipe", EXPR, None), field("time", EXPR, None), field("reverse", EXPR, None),
             field("keep", EXPR, None), field("names", EXPRS, []), field("clear", EXPR, None),
             field("param0", EXPR, None), field("param1", EXPR, None), field("mask", EXPR, None, 101),
             field("hold", EXPR, None, 107), field("option", EXPR, None, 117)],
    "SaveCabinet": [field("props", PROPS, {}), field("mode", EXPR, None), field("names", EXPRS, [])],
    "LoadCabinet": [field("props", PROPS, {}), field("mode", EXPR, None), field("names", EXPRS, [])],
}
CREATION_COMMANDS = ("BoxNew ImgNew MesNew Timer Movie Cinema Caption Menu Button ParticleNew FireNew Sound EditNew "
                     "MemoNew MapImgNew WaveNew TileNew SliderNew ScrollbarNew GaugeNew CGCaption PrevMenuNew").split()
COMMANDS.update({keyword: [field("props", PROPS, {})] for keyword in CREATION_COMMANDS})

# The project file's settings in file order; `since` = first project version that stores the field.
PROJECT = [
    field("title", STR), field("width", I32), field("height", I32),
    field("full_width", I32, None), field("full_height", I32, None),  # default: width and height
    field("start_page", STR), field("closing_page", STR, "", 110),
    field("registry_name", STR, ""), field("frame_list_param", I32, 0),
    field("save_enabled", FLAG, False, 104), field("flag106", FLAG, False, 106),
    field("media_extensions", STR, ".wav.wma.ogg.mid", 109),
    field("pause_in_background", FLAG, False, 113), field("disc_check", FLAG, False, 114),
    field("toolbar_visible", FLAG, True, 116),
    field("disc_prompt", STR, "ディスク%dを入れてから[OK]をクリックしてください"),
    field("quit_text", STR, "終了します"),
]


class DescriptionError(Exception):
    pass


# ---- encoders ----

def sjis(text, where):
    if not isinstance(text, str):
        raise DescriptionError(f"{where}: must be a string")
    try:
        return text.encode("cp932")
    except UnicodeEncodeError:
        raise DescriptionError(f"{where}: {text!r} has no Shift-JIS (CP932) form") from None


def string(text, where):
    data = sjis(text, where)
    return struct.pack("<I", len(data)) + data


def integer(value, lo, hi, where):
    if isinstance(value, bool) or not isinstance(value, int):
        raise DescriptionError(f"{where}: must be an integer")
    if not lo <= value <= hi:
        raise DescriptionError(f"{where}: {value} is outside {lo}..{hi}")
    return value


def flag(value, where):
    if not isinstance(value, bool):
        raise DescriptionError(f"{where}: must be true or false")
    return bytes([value])


def extended(value, where):
    """The 80-bit extended form of a number, rounded to nearest (ties to even)."""
    if isinstance(value, bool) or not isinstance(value, (int, decimal.Decimal)):
        raise DescriptionError(f"{where}: must be a number")
    x = fractions.Fraction(value)
    if x == 0:
        return bytes(10)
    sign, x = (0x8000, -x) if x < 0 else (0, x)
    exponent = x.numerator.bit_length() - x.denominator.bit_length()
    if x < fractions.Fraction(2) ** exponent:
        exponent -= 1
    mantissa = round(x * fractions.Fraction(2) ** (63 - exponent))
    if mantissa == 1 << 64:
        mantissa, exponent = mantissa >> 1, exponent + 1
    biased = exponent + 16383
    if not 0 < biased < 0x7FFF:
        raise DescriptionError(f"{where}: {value} is out of the range of an extended number")
    return struct.pack("<QH", mantissa, sign | biased)


def message_text(value, where):
    """A TextIns's compiled text from marked-up text (a string, or a list of lines); null stores none."""
    if value is None:
        return struct.pack("<I", 0)
    lines = value.split("\n") if isinstance(value, str) else value
    if not isinstance(lines, list) or not all(isinstance(line, str) for line in lines):
        raise DescriptionError(f"{where}: must be marked-up text, a list of lines or null")
    try:
        data = nxcompile.compile_text(lines)
    except nxcompile.MarkupError as e:
        raise DescriptionError(f"{where}: {e}") from None
    return struct.pack("<I", len(data)) + data


class Compiler:
    """Compiles expression texts, each distinct text once, with one `vexpr --hex-stream` process
    started at the first: a process each would cost most of the time of writing a title."""

    EMPTY = bytes(4)  # no operations

    def __init__(self, vexpr):
        self.vexpr = vexpr
        self.done = {}
        self.proc = None

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        if self.proc:
            self.proc.stdin.close()
            self.proc.wait()

    def compiled(self, text):
        """vexpr's line for the text: the stored form in hexadecimal, or "error: ..."."""
        try:
            if not self.proc:
                self.proc = subprocess.Popen([self.vexpr, "--hex-stream"], stdin=subprocess.PIPE,
                                             stdout=subprocess.PIPE)
            self.proc.stdin.write(text.encode("utf-8").hex().encode("ascii") + b"\n")
            self.proc.stdin.flush()
        except OSError as e:
            raise DescriptionError(f"cannot run {self.vexpr}: {e.strerror}") from None
        line = self.proc.stdout.readline()
        if not line.endswith(b"\n"):
            raise DescriptionError(f"{self.vexpr} ended without compiling {text!r}")
        return line.decode("utf-8", "replace").strip()

    def __call__(self, text, where):
        if text is None:
            return self.EMPTY
        if not isinstance(text, str):
            raise DescriptionError(f"{where}: an expression must be text (or null)")
        if text not in self.done:
            sjis(text, where)
            if not self.vexpr:
                raise DescriptionError(f"{where}: no expression compiler: give --vexpr PATH or set VELA_VEXPR")
            out = self.compiled(text)
            if out.startswith("error: "):
                raise DescriptionError(f"{where}: expression {text!r}: {out.removeprefix('error: ')}")
            try:
                self.done[text] = bytes.fromhex(out)
            except ValueError:
                raise DescriptionError(f"{self.vexpr} printed no hexadecimal stream for {text!r}") from None
        return self.done[text]


# ---- descriptions ----

def take_fields(desc, fields, version, where, encode):
    """The bytes of the fields, in order, present for the version; `encode(kind, value, where)` writes one."""
    out = b""
    for name, kind, default, since in fields:
        here = f"{where}: field '{name}'"
        if name in desc and version < since:
            raise DescriptionError(f"{here} is stored only from version {since} (this one is {version})")
        if version < since:
            continue
        if name not in desc and default is REQUIRED:
            raise DescriptionError(f"{here} is missing")
        out += encode(kind, desc.get(name, default), here)
    return out


def check_keys(desc, known, where):
    if not isinstance(desc, dict):
        raise DescriptionError(f"{where}: must be a JSON object")
    unknown = sorted(set(desc) - set(known))
    if unknown:
        raise DescriptionError(f"{where}: unknown field '{unknown[0]}' (known: {', '.join(known)})")


def choose(value, options, where):
    if not isinstance(value, str) or value not in options:
        raise DescriptionError(f"{where}: must be one of {', '.join(options)}")
    return value


def opcode_of(key, where):
    if key in KEYWORDS:
        return KEYWORDS.index(key)
    if isinstance(key, str) and key.isdigit() and int(key) < MASK_COUNT:
        return int(key)
    raise DescriptionError(f"{where}: unknown command keyword '{key}'")


def masks(desc, where):
    table = DEFAULT_MASKS if desc is None else desc
    if not isinstance(table, dict):
        raise DescriptionError(f"{where}: must map command keywords to hexadecimal masks")
    records = [bytes(MASK_SIZE)] * MASK_COUNT
    for key, text in table.items():
        here = f"{where}: '{key}'"
        try:
            mask = bytes.fromhex(text)
        except (TypeError, ValueError):
            raise DescriptionError(f"{here}: not hexadecimal bytes") from None
        if len(mask) > MASK_SIZE:
            raise DescriptionError(f"{here}: longer than {MASK_SIZE} bytes")
        records[opcode_of(key, here)] = mask.ljust(MASK_SIZE, b"\0")
    return b"".join(records)


def mask_ids(mask):
    """The property ids whose bit a mask record sets, ascending."""
    return [i for i in range(len(PROPERTIES)) if mask[i // 8] >> (i % 8) & 1]


def props_listing(keywords, markdown):
    """The property names each command takes under the default masks, as lines (or Markdown table rows)."""
    for keyword in keywords:
        if keyword not in DEFAULT_MASKS:
            raise DescriptionError(f"'{keyword}' takes no properties (those that do: {', '.join(DEFAULT_MASKS)})")
    names = {k: [PROPERTIES[i] for i in mask_ids(bytes.fromhex(DEFAULT_MASKS[k]))] for k in keywords}
    if not markdown:
        return [f"{k}: {' '.join(v)}" for k, v in names.items()]
    return ["| command | properties |", "|---|---|"] + [f"| `{k}` | {', '.join(v)} |" for k, v in names.items()]


def build_page(desc, compile_expr, where="page"):
    check_keys(desc, ["version", "return", "masks", "commands"], where)
    version = integer(desc.get("version", NEWEST_VERSION), -2**31, 2**31 - 1, f"{where}: version")
    returns = choose(desc.get("return", "int"), VALUE_TYPES, f"{where}: return")
    commands = desc.get("commands", [])
    if not isinstance(commands, list):
        raise DescriptionError(f"{where}: commands must be a list")
    labels = {}
    for index, command in enumerate(commands):
        if isinstance(command, dict) and command.get("cmd") == "Label" and isinstance(command.get("name"), str):
            labels.setdefault(command["name"], index)

    def command_index(value, lo, where):
        if isinstance(value, str):
            if value not in labels:
                raise DescriptionError(f"{where}: no Label '{value}' in this page")
            value = labels[value]
        return integer(value, lo, 2**32 - 1 if lo == 0 else 2**31 - 1, where)

    def encode(kind, value, where):
        if kind == EXPR:
            return compile_expr(value, where)
        if kind == EXPRS:
            if not isinstance(value, list):
                raise DescriptionError(f"{where}: must be a list of expressions")
            return struct.pack("<I", len(value)) + b"".join(
                compile_expr(text, f"{where}[{i}]") for i, text in enumerate(value))
        if kind == STR:
            return string(value, where)
        if kind == TEXT:
            return message_text(value, where)
        if kind == FLAG:
            return flag(value, where)
        if kind == VALUE_TYPE:
            return bytes([VALUE_TYPES[choose(value, VALUE_TYPES, where)]])
        if kind == SCOPE:
            return bytes([SCOPES[choose(value, SCOPES, where)]])
        if kind == U32:
            return struct.pack("<I", integer(value, 0, 2**32 - 1, where))
        if kind == U32_PC:
            return struct.pack("<I", command_index(value, 0, where))
        return struct.pack("<i", command_index(value, -2**31, where))  # I32_PC

    out = struct.pack("<iBii", version, VALUE_TYPES[returns], MASK_COUNT, MASK_SIZE)
    mask_bytes = masks(desc.get("masks"), f"{where}: masks")
    out += mask_bytes

    def encode_props(opcode, value, where):
        """One expression per id set in the opcode's mask, ascending; ids not given store no operations."""
        if not isinstance(value, dict):
            raise DescriptionError(f"{where}: must map property names to expressions")
        present = mask_ids(mask_bytes[opcode * MASK_SIZE:(opcode + 1) * MASK_SIZE])
        given = {}
        for name, text in value.items():
            short = name[3:] if name.startswith("PR_") else name
            if short not in PROPERTIES:
                raise DescriptionError(f"{where}: unknown property '{name}'")
            if PROPERTIES.index(short) not in present:
                raise DescriptionError(f"{where}: property '{name}' is not in the page's mask for this command")
            given[PROPERTIES.index(short)] = text
        return b"".join(compile_expr(given.get(i), f"{where}: {PROPERTIES[i]}") for i in present)

    out += struct.pack("<i", len(commands))
    for index, command in enumerate(commands):
        here = f"{where}: command {index}"
        if not isinstance(command, dict) or "cmd" not in command:
            raise DescriptionError(f"{here}: must be an object with a 'cmd' keyword")
        keyword = command["cmd"]
        if not isinstance(keyword, str) or keyword not in COMMANDS:
            what = "not supported" if keyword in KEYWORDS else "unknown"
            raise DescriptionError(f"{here}: {what} command keyword '{keyword}' (supported: {', '.join(COMMANDS)})")
        here += f" ({keyword})"
        own = COMMANDS[keyword]
        check_keys(command, ["cmd", "indent", "disabled", "continue", "line"] + [f[0] for f in own], here)
        comment = keyword == "Comment"
        out += bytes([KEYWORDS.index(keyword)])
        out += struct.pack("<I", integer(command.get("indent", 0), 0, 2**32 - 1, f"{here}: indent"))
        out += flag(command.get("disabled", comment), f"{here}: disabled")
        out += flag(command.get("continue", not comment), f"{here}: continue")
        out += struct.pack("<I", integer(command.get("line", index + 1), 0, 2**32 - 1, f"{here}: line"))
        opcode = KEYWORDS.index(keyword)
        out += take_fields(command, own, version, here,
                           lambda kind, value, where: encode_props(opcode, value, where) if kind == PROPS
                           else encode(kind, value, where))
    return out


def build_project(desc, where="project"):
    declared = ["version"] + [f[0] for f in PROJECT] + ["declarations", "disks"]
    check_keys(desc, declared, where)
    version = integer(desc.get("version", NEWEST_VERSION), 0, 2**32 - 1, f"{where}: version")
    desc = dict(desc)
    for size in ("width", "height"):
        desc.setdefault("full_" + size, desc.get(size))

    def encode(kind, value, where):
        if kind == STR:
            return string(value, where)
        if kind == FLAG:
            return flag(value, where)
        return struct.pack("<i", integer(value, -2**31, 2**31 - 1, where))  # I32

    out = struct.pack("<I", version) + take_fields(desc, PROJECT, version, where, encode)
    declarations = desc.get("declarations", [])
    if not isinstance(declarations, list):
        raise DescriptionError(f"{where}: declarations must be a list")
    out += struct.pack("<i", len(declarations))
    for index, decl in enumerate(declarations):
        here = f"{where}: declaration {index}"
        check_keys(decl, ["name", "type", "value"], here)
        if "name" not in decl or "type" not in decl:
            raise DescriptionError(f"{here}: needs 'name' and 'type'")
        kind = choose(decl["type"], VALUE_TYPES, f"{here}: type")
        value = decl.get("value", {"int": 0, "float": 0, "bool": False, "str": ""}[kind])
        out += bytes([VALUE_TYPES[kind]]) + string(decl["name"], f"{here}: name")
        vwhere = f"{here}: value"
        if kind == "int":
            out += struct.pack("<i", integer(value, -2**31, 2**31 - 1, vwhere))
        elif kind == "float":
            out += extended(value, vwhere)
        elif kind == "bool":
            out += flag(value, vwhere)
        else:
            out += string(value, vwhere)
    disks = desc.get("disks", [])
    if not isinstance(disks, list):
        raise DescriptionError(f"{where}: disks must be a list")
    out += struct.pack("<i", len(disks))
    for index, disk in enumerate(disks):
        here = f"{where}: disk {index}"
        check_keys(disk, ["folder", "disc"], here)
        if "folder" not in disk or "disc" not in disk:
            raise DescriptionError(f"{here}: needs 'folder' and 'disc'")
        out += string(disk["folder"], f"{here}: folder")
        out += struct.pack("<i", integer(disk["disc"], -2**31, 2**31 - 1, f"{here}: disc"))
    return out


def build_install(desc, where="project"):
    set_id = string(desc.get("title", ""), f"{where}: title")
    empty, zero = struct.pack("<i", 0), bytes(1)
    out = b"is108" + struct.pack("<i", 0) + set_id + empty * 3  # disc, set, three strings
    out += zero + empty + zero + struct.pack("<i", 0) + empty  # byte, string, byte, no entries, string
    out += struct.pack("<iBB", 0, 0, 0) + empty * 2 + struct.pack("<4q", 0, 0, 0, 0)
    out += zero * 2 + empty + b"\x01" + zero * 2 + empty  # bytes, no entry names, fully installed, bytes, no names
    return out + empty * 3


# ---- files ----

def load(path):
    try:
        with open(path, encoding="utf-8") as f:
            return json.load(f, parse_float=decimal.Decimal)
    except OSError as e:
        raise DescriptionError(f"{path}: {e.strerror}") from None
    except (json.JSONDecodeError, UnicodeDecodeError) as e:
        raise DescriptionError(f"{path}: not a JSON description: {e}") from None


def save(path, data):
    try:
        with open(path, "wb") as f:
            f.write(data)
    except OSError as e:
        raise DescriptionError(f"{path}: {e.strerror}") from None


PAGE_SUFFIX = ".page.json"


def build_title(folder, out, compile_expr):
    """Writes vela.vpb and one .vsb per page description of the folder into out."""
    project_path = os.path.join(folder, "project.json")
    project = load(project_path)
    project_bytes = build_project(project, project_path)
    names = sorted(n for n in os.listdir(folder) if n.endswith(PAGE_SUFFIX) and len(n) > len(PAGE_SUFFIX))
    pages = {name[:-len(PAGE_SUFFIX)] + ".vsb": os.path.join(folder, name) for name in names}
    known = {name.lower() for name in pages}
    for key in ("start_page", "closing_page"):
        page = project.get(key, "")
        if page and page.lower() not in known:
            raise DescriptionError(f"{project_path}: {key} '{page}' is none of the pages of {folder}")
    written = {name: build_page(load(path), compile_expr, path) for name, path in pages.items()}
    os.makedirs(out, exist_ok=True)
    save(os.path.join(out, "vela.vpb"), project_bytes)
    for name, data in written.items():
        save(os.path.join(out, name), data)


def main(argv=None):
    parser = argparse.ArgumentParser(description="Writes script pages and the project file of a title.")
    commands = parser.add_subparsers(dest="command", required=True)
    page = commands.add_parser("page", help="one page description -> a .vsb page file")
    page.add_argument("description")
    page.add_argument("output")
    project = commands.add_parser("project", help="a project description -> vela.vpb")
    project.add_argument("description")
    project.add_argument("output")
    title = commands.add_parser("title", help="project.json and *.page.json of a folder -> vela.vpb and .vsb files")
    title.add_argument("folder")
    title.add_argument("output")
    install = commands.add_parser("install", help="a project description -> install.dat of the whole title")
    install.add_argument("description")
    install.add_argument("output")
    props = commands.add_parser("props", help="the property names the creation commands take under the default masks")
    props.add_argument("keywords", nargs="*", metavar="COMMAND", help="BoxNew, ImgNew ... (default: every one)")
    props.add_argument("--markdown", action="store_true", help="as the rows of a Markdown table")
    for sub in (page, title):
        sub.add_argument("--vexpr", default=os.environ.get("VELA_VEXPR"),
                         help="the expression compiler (default: $VELA_VEXPR)")
    args = parser.parse_args(argv)
    try:
        if args.command == "page":
            with Compiler(args.vexpr) as compiler:
                save(args.output, build_page(load(args.description), compiler, args.description))
        elif args.command == "project":
            save(args.output, build_project(load(args.description), args.description))
        elif args.command == "install":
            save(args.output, build_install(load(args.description), args.description))
        elif args.command == "props":
            print("\n".join(props_listing(args.keywords or list(DEFAULT_MASKS), args.markdown)))
        else:
            with Compiler(args.vexpr) as compiler:
                build_title(args.folder, args.output, compiler)
    except DescriptionError as e:
        print(f"vpage: {e}", file=sys.stderr)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
