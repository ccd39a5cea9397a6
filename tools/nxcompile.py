#!/usr/bin/env python3
"""nxcompile: compiles marked-up message text into the compiled text stream that pages carry.

    nxcompile.py INPUT.txt OUTPUT [--delay MS]

INPUT is UTF-8 text; its lines are the lines of one message. OUTPUT receives the "NxWord102" stream:
the style table (one record per distinct combination of style values, in order of first use, its
reference count the number of glyphs using it) and the glyphs. --delay is the default wait of each
character in milliseconds (the script's text delay; 50 unless told).

As a module: compile_text(lines, delay) gives the stream's bytes, build_glyphs(lines, delay) the glyphs
as tuples. Texts inside the stream are Shift-JIS (CP932); a character with no CP932 form is refused.

The markup: text runs and the tags of TAGS (A HREF, B, I, U, S, FONT SIZE COLOR BCOLOR SCOLOR NAME BORDER
SHADOW, NOBR, RUBY VALUE, DIV ALIGN, INDENT, UNDENT, BR CLEAR, CLEAR, EVENT VALUE END, WAIT VALUE, VAR NAME,
IMG SRC ALIGN, HISTCHAR VALUE); tag and attribute names without regard to case; other tags, comments,
SCRIPT and STYLE blocks are skipped. A backslash before one of " % < > \\ { } stands for that character.
Line ends join lines with one space (none after a tag); runs of spaces collapse to one; inside PRE each
line end is a line break.
"""
import argparse
import re
import struct
import sys

VERSION = 102
DEFAULT_DELAY = 50

# Glyph kinds of the stream.
CHAR, ALIGN, RETURN, INDENT, UNDENT, EVENT, VAR, IMG, HISTCHAR = 1, 2, 3, 4, 5, 6, 7, 9, 10

LEFT, RIGHT, CENTER, TOP, BOTTOM = 1, 2, 3, 4, 5
ALIGN_NAMES = {"LEFT": LEFT, "RIGHT": RIGHT, "CENTER": CENTER, "TOP": TOP, "BOTTOM": BOTTOM}

TAGS = ("A /A B /B FONT /FONT I /I S /S U /U NOBR /NOBR RUBY /RUBY DIV /DIV INDENT UNDENT BR CLEAR EVENT "
        "WAIT /WAIT VAR IMG HISTCHAR").split()

ESCAPABLE = '"%<>\\{}'
FULL_WIDTH_SPACE = "\u3000"


class MarkupError(Exception):
    pass


def upper(s):
    """Upper case of the ASCII letters only (the table's names are ASCII)."""
    return s.translate(str.maketrans("abcdefghijklmnopqrstuvwxyz", "ABCDEFGHIJKLMNOPQRSTUVWXYZ"))


def starts_with(s, at, prefix):
    return upper(s[at:at + len(prefix)]) == prefix


# ---- tokens ----

class Splitter:
    """Cuts the joined text into tokens; one Python character is one Shift-JIS character."""

    def __init__(self, text):
        self.text, self.at = text, 0
        self.tokens, self.token = [], ""
        self.tags = self.blocks = self.scripts = 0
        self.quoted = self.pre = self.textarea = False

    def emit(self, always=True):
        if always or self.token:
            self.tokens.append(self.token)
            self.token = ""

    def verbatim(self):
        return self.pre or self.textarea or self.scripts > 0

    def skip_line_end(self):
        if self.text[self.at:self.at + 1] == "\r":
            self.at += 1

    def run(self):
        while self.at < len(self.text):
            self.step()
        self.emit(always=False)
        return self.tokens

    def matched(self, words):
        return next((w for w in words if starts_with(self.text, self.at, w)), None)

    def step(self):
        c = self.text[self.at]
        if self.quoted:
            self.at += 1
            if c not in "\r\n\t":
                self.token += c
                self.quoted = c != '"'
            return
        opener = self.matched(("<!--", "<SCRIPT", "<STYLE"))
        if opener:
            if self.blocks == 0:
                self.emit(always=False)
            self.token += self.text[self.at:self.at + len(opener)]
            self.at += len(opener)
            self.blocks += 1
            return
        closer = self.matched(("-->", "</SCRIPT>", "</STYLE>"))
        if closer:
            self.blocks = max(self.blocks - 1, 0)
            self.token += self.text[self.at:self.at + len(closer)]
            self.at += len(closer)
            if self.blocks == 0:
                self.emit()
            return
        self.at += 1
        if self.blocks:
            self.token += c + ("\n" if c == "\r" else "")
        elif c == "<":
            if self.tags == 0:
                self.emit(always=False)
            self.token += c
            self.tags += 1
        elif c == ">" and self.tags:
            self.tags -= 1
            if self.tags == 0 and self.token:
                self.token += c
                tag = self.token
                self.emit()
                self.after_tag(upper(tag))
        elif c == "\\" and self.at < len(self.text):
            following = self.text[self.at]
            if following in ESCAPABLE:
                self.token += following
                self.at += 1
                if following in "<>":
                    self.emit()
        elif c == "\r":
            if self.tags == 0 and self.verbatim():
                self.emit(always=False)
                if self.pre:
                    self.tokens.append("<BR>")
            elif self.token and not self.token.endswith(" "):
                self.token += " "
        elif c == "\x14" and not self.verbatim():
            if not self.token.endswith(" "):
                self.token += " "
        elif c == "\t":
            if self.verbatim():
                self.token += " " * 8
        elif c == '"':
            self.quoted = True
            self.token += c
        elif c == " ":
            if not self.token.endswith(" "):
                self.token += c
        else:
            self.token += c

    def after_tag(self, tag):
        if not self.textarea and tag.startswith("<PRE"):
            self.skip_line_end()
            self.pre = True
        elif not self.textarea and tag.startswith("</PRE"):
            self.drop_break_before()
            self.pre = False
        elif not self.pre and tag.startswith("<TEXTAREA"):
            self.skip_line_end()
            self.textarea = True
        elif not self.pre and tag.startswith("</TEXTAREA"):
            self.drop_break_before()
            self.textarea = False
        elif tag.startswith("<SCRIPT"):
            self.skip_line_end()
            self.scripts += 1
        elif tag.startswith("</SCRIPT") and self.scripts:
            self.scripts -= 1

    def drop_break_before(self):
        if len(self.tokens) > 1 and self.tokens[-2] == "<BR>":
            del self.tokens[-2]


def split_markup(lines):
    return Splitter("\r".join(lines)).run()


# ---- tags ----

def trim(s):
    return s.strip(" " + FULL_WIDTH_SPACE)


def next_item(s):
    """(item, rest): the first word or NAME=VALUE of s as (name, value or None)."""
    s = trim(s)
    end = min([i for i in (s.find(" "), s.find("=")) if i >= 0] or [len(s)])
    name, s = s[:end], s[end:]
    if s == "=":
        return (name, None), ""
    if len(s) < 2 or s[0] == " ":
        return (name, None), s
    s = s[1:]
    if s[0] in "\"'" and s.find(s[0], 1) >= 0:
        close = s.find(s[0], 1)
        return (name, s[1:close]), s[close + 1:]
    start = 1 if s[0] in "\"'" else 0
    end = s.find(" ", start)
    end = len(s) if end < 0 else end
    return (name, s[start:end]), s[end:]


class Tag:
    def __init__(self, token):
        self.text, self.attrs = token, []
        if len(token) < 2 or token[0] != "<" or token[-1] != ">":
            return
        if any(token.startswith(w) for w in ("<!--", "<SCRIPT", "<STYLE")):
            return
        inner = trim(token[1:-1])
        (name, value), inner = next_item(inner)
        self.text = "<" + name + ("" if value is None else "\r" + value) + ">"
        while inner:
            item, inner = next_item(inner)
            if item != ("", None):
                self.attrs.append(item)

    def code(self):
        """0 text, 1 unknown tag, 2.. the tags of TAGS."""
        if len(self.text) < 3 or self.text[0] != "<" or self.text[-1] != ">":
            return 0
        name = upper(self.text[1:-1])
        return TAGS.index(name) + 2 if name in TAGS else 1

    def has(self, name):
        return any(upper(n) == name for n, _ in self.attrs)

    def get(self, name, default=None):
        for n, value in self.attrs:
            if upper(n) == name:
                return "" if value is None else value
        return default

    def integer(self, name, default):
        value = self.get(name)
        return default if value is None else to_int(value, default)

    def color(self, name, default):
        value = self.get(name, "")
        digits = value[1:7]
        if not value.startswith("#") or not re.fullmatch("[0-9A-Fa-f]+", digits):
            return default
        rgb = int(digits, 16)
        return (rgb & 0xFF) << 16 | rgb & 0xFF00 | rgb >> 16 & 0xFF

    def align(self, allowed, default):
        code = ALIGN_NAMES.get(upper(self.get("ALIGN", "")))
        return code if code in allowed else default


def to_int(text, default):
    """An int32 from text: leading spaces, a sign, decimal digits or hexadecimal ones after $, x or 0x."""
    m = re.fullmatch(r" *([+-]?)(?:([$xX]|0[xX])([0-9A-Fa-f]+)|([0-9]+))", text)
    if not m:
        return default
    negative = m.group(1) == "-"
    if m.group(3):
        magnitude = int(m.group(3), 16)
        if magnitude > 0xFFFFFFFF:
            return default
        bits = -magnitude & 0xFFFFFFFF if negative else magnitude
        return bits - (1 << 32) if bits >= 1 << 31 else bits
    magnitude = int(m.group(4))
    if magnitude > (0x80000000 if negative else 0x7FFFFFFF):
        return default
    return -magnitude if negative else magnitude


def decode_escapes(s):
    out, i = "", 0
    while i < len(s):
        if s[i] == "\\" and i + 1 < len(s) and s[i + 1] in '\\"n':
            out += "\r\n" if s[i + 1] == "n" else s[i + 1]
            i += 2
        else:
            out += s[i]
            i += 1
    return out


# ---- glyphs ----

class Style:
    """The interpreter's state: stacks whose top is their default while empty, and plain fields."""

    def __init__(self, delay):
        self.size, self.color, self.bcolor, self.scolor = [0], [-1], [-1], [-1]
        self.face, self.border, self.shadow = [""], [-1], [-1]
        self.wait, self.align = [delay], [LEFT]
        self.bits, self.nobreak, self.ruby, self.link = 0, 0, "", ""

    def decoration(self):
        """The ten values of a style record, in stream order."""
        return (self.color[-1], self.bcolor[-1], self.size[-1], self.bits, self.nobreak, self.border[-1],
                self.face[-1], self.ruby, self.shadow[-1], self.scolor[-1])

    @staticmethod
    def pop(stack):
        if len(stack) > 1:
            stack.pop()


BITS = {"B": 1, "I": 2, "U": 4, "S": 8}


def build_glyphs(lines, delay=DEFAULT_DELAY):
    """The glyphs of marked-up lines: (CHAR, character, style, link, wait), (ALIGN, code), (RETURN, clear),
    (INDENT,), (UNDENT,), (EVENT, text), (VAR or HISTCHAR, style, wait, link, source), (IMG, link, wait, source,
    alignment)."""
    st, glyphs = Style(delay), []
    for token in split_markup(lines):
        tag = Tag(token)
        code = tag.code()
        if code == 0:
            glyphs += [(CHAR, c, st.decoration(), st.link, st.wait[-1]) for c in token]
            continue
        name = TAGS[code - 2] if code >= 2 else ""
        if name == "A":
            href = tag.get("HREF", "")
            if not href:
                raise MarkupError("<A>タグにHREF値がありません")
            st.link = decode_escapes(href)
        elif name == "/A":
            st.link = ""
        elif name and name.lstrip("/") in BITS:
            bit = BITS[name.lstrip("/")]
            st.bits = st.bits & ~bit if name.startswith("/") else st.bits | bit
        elif name == "FONT":
            st.size.append(tag.integer("SIZE", st.size[-1]))
            st.color.append(tag.color("COLOR", st.color[-1]))
            st.bcolor.append(tag.color("BCOLOR", st.bcolor[-1]))
            st.scolor.append(tag.color("SCOLOR", st.scolor[-1]))
            st.face.append(tag.get("NAME", st.face[-1]))
            for attr, stack in (("BORDER", st.border), ("SHADOW", st.shadow)):
                stack.append(max(tag.integer(attr, 1), 0) if tag.has(attr) else stack[-1])
        elif name == "/FONT":
            for stack in (st.size, st.color, st.bcolor, st.scolor, st.face, st.border, st.shadow):
                Style.pop(stack)
        elif name in ("NOBR", "/NOBR"):
            st.nobreak = int(name == "NOBR")
        elif name == "RUBY":
            st.ruby = tag.get("VALUE", "")
        elif name == "/RUBY":
            st.ruby = ""
        elif name == "DIV":
            st.align.append(tag.align((LEFT, RIGHT, CENTER), LEFT))
            glyphs.append((ALIGN, st.align[-1]))
        elif name == "/DIV":
            Style.pop(st.align)
            glyphs.append((ALIGN, st.align[-1]))
        elif name == "INDENT":
            glyphs.append((INDENT,))
        elif name == "UNDENT":
            glyphs.append((UNDENT,))
        elif name in ("BR", "CLEAR"):
            glyphs.append((RETURN, int(name == "CLEAR" or tag.has("CLEAR"))))
        elif name == "EVENT":
            glyphs.append((EVENT, ("\x01" if tag.has("END") else "") + decode_escapes(tag.get("VALUE", ""))))
        elif name == "WAIT":
            st.wait.append(tag.integer("VALUE", st.wait[-1]))
        elif name == "/WAIT":
            Style.pop(st.wait)
        elif name in ("VAR", "HISTCHAR"):
            source = tag.get("NAME" if name == "VAR" else "VALUE", "")
            if source:
                glyphs.append((VAR if name == "VAR" else HISTCHAR, st.decoration(), st.wait[-1], st.link, source))
        elif name == "IMG":
            source = tag.get("SRC", "")
            if source:
                glyphs.append((IMG, st.link, st.wait[-1], source, tag.align((CENTER, TOP, BOTTOM), BOTTOM)))
    return glyphs


# ---- the stream ----

def sjis(text):
    try:
        return text.encode("cp932")
    except UnicodeEncodeError as e:
        raise MarkupError(f"{text[e.start:e.end]!r} has no Shift-JIS (CP932) form") from None


def string(text):
    data = sjis(text)
    return struct.pack("<i", len(data)) + data


def char_code(c):
    data = sjis(c)
    return data[0] if len(data) == 1 else data[0] << 8 | data[1]


def compile_text(lines, delay=DEFAULT_DELAY):
    glyphs = build_glyphs(lines, delay)
    styles = {}  # decoration -> [index, references]
    for glyph in glyphs:
        if glyph[0] in (CHAR, VAR, HISTCHAR):
            entry = styles.setdefault(glyph[2] if glyph[0] == CHAR else glyph[1], [len(styles), 0])
            entry[1] += 1
    out = b"NxWord%03d" % VERSION + struct.pack("<i", len(styles))
    for (color, bcolor, size, bits, nobreak, border, face, ruby, shadow, scolor), (_, refs) in styles.items():
        out += struct.pack("<iiiiBBi", refs, color, bcolor, size, bits, nobreak, border)
        out += string(face) + string(ruby) + struct.pack("<ii", shadow, scolor)
    out += struct.pack("<I", len(glyphs))
    for glyph in glyphs:
        kind = glyph[0]
        out += bytes([kind])
        if kind == CHAR:
            _, c, decoration, link, wait = glyph
            out += string(link) + struct.pack("<iHi", wait, char_code(c), styles[decoration][0])
        elif kind in (ALIGN, RETURN):
            out += bytes([glyph[1]])
        elif kind == EVENT:
            out += string(glyph[1])
        elif kind in (VAR, HISTCHAR):
            _, decoration, wait, link, source = glyph
            out += struct.pack("<ii", styles[decoration][0], wait) + string(link) + string(trim(source))
        elif kind == IMG:
            _, link, wait, source, align = glyph
            out += string(link) + struct.pack("<i", wait) + string(source) + bytes([align])
    return out


def main():
    parser = argparse.ArgumentParser(description="Compiles marked-up message text into a NxWord102 stream.")
    parser.add_argument("input", help="marked-up text (UTF-8)")
    parser.add_argument("output", help="the compiled stream")
    parser.add_argument("--delay", type=int, default=DEFAULT_DELAY, help="default wait per character in ms")
    args = parser.parse_args()
    try:
        with open(args.input, encoding="utf-8") as f:
            text = f.read().replace("\r\n", "\n")
        lines = text.removesuffix("\n").split("\n")
        data = compile_text(lines, args.delay)
        with open(args.output, "wb") as f:
            f.write(data)
    except (OSError, UnicodeDecodeError, MarkupError) as e:
        sys.exit(f"nxcompile: {e}")


if __name__ == "__main__":
    main()
