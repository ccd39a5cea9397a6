#!/usr/bin/env python3
"""Writes the seed corpora of the script harnesses into corpus/<harness>/: the sample title's
pages and project file and variants of them (written by tools/vpage.py), install sets, game.ini
texts, compiled expressions (by the engine's own compiler, vexpr), and save records of the
player's stored forms: whole save data, scenes and event queues, each well formed and damaged.

  make_script_corpus.py VEXPR     (the built tools/vexpr)
"""
import os
import struct
import subprocess
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.join(HERE, "..")
sys.path.insert(0, os.path.join(ROOT, "tools"))
sys.path.insert(0, os.path.join(ROOT, "tests", "tools"))
import edit_records  # noqa: E402
import menu_records  # noqa: E402
import video_records  # noqa: E402
import vpage  # noqa: E402

GAME_SAVE_VERSION = 144
LT_BOX, LT_MENU, LT_VIDEO, LT_TIMER, LT_SOUND, LT_MAPIMG, LT_PREVMENU, LT_PROPMOTION, LT_CABINET = 2, 12, 16, 15, 17, 18, 25, 26, 27
LT_EDIT, LT_MEMO = 5, 11
LT_SLIDER, LT_SCROLLBAR, LT_GAUGE = 21, 22, 23
PT_INT, PT_STR = 1, 4


def i32(*values):
    return struct.pack(f"<{len(values)}i", *values)


def u8(*values):
    return bytes(values)


def s(text):
    data = text.encode("cp932")
    return i32(len(data)) + data


def strings(*texts):
    return i32(len(texts)) + b"".join(s(t) for t in texts)


# ---- scene records ----

def base(name, priority=0):
    return s(name) + i32(priority, 0) + s("")


def control(name, rect, children=b"", count=0, handler=""):
    left, top, width, height = rect
    out = base(name) + i32(left, top, width, height, 0, 0) + u8(0) + i32(0, 0, 0, 0, 0, 0, width, height)
    out += u8(0, 1) + i32(0x00FF00) + i32(0, 0, 0, 0) + u8(0)
    out += s("") + s("") + s("") + s("") + s(handler) + s("") * 5
    out += u8(1) + s("") * 5
    return out + i32(count) + children


def box(name, rect, children=b"", count=0):
    out = control(name, rect, children, count, "h.vsb")
    return out + i32(1, 0xFF, 255) + s("") + s("") + u8(0, 0) + s("") + u8(0, 0) + i32(0, 0)


def timer(name):
    return base(name) + s("h.vsb") + i32(100) + u8(0, 0, 0)


def motion(name, target):
    return base(name) + s(target) + i32(1) + vpage.extended(50, "") + i32(100, 0) + bytes(10) + i32(0) + u8(0)


def sound(name, source, flags=(0, 0, 0, 0, 0), state=0):
    """flags: repeat, autoscrap, paused, anipaused, ended."""
    return base(name) + s(source) + u8(*flags) + i32(1000, 0, 500, 1200) + u8(state) + s("h.vsb") + u8(0, 0) + i32(0)


def mapimage(name, rect, state=0):
    """An image map whose pictures and region file are nowhere: it loads without them."""
    out = control(name, rect) + s("map.mra") + s("hover.mra") + s("map.rgn") + i32(255, 255)
    return out + s("h.vsb") + s("h.vsb") + u8(1, 1) + s("") + u8(0) + s("h.vsb") + i32(state)


def slider(name, rect, orientation=0, large=None):
    """A slider (a scrollbar with large) whose pictures are nowhere: it lays out to nothing."""
    out = control(name, rect) + s("track.bmp") + s("thumb.bmp") + s("buttons.bmp") + i32(0, 100, 140, 1, 255)
    out += u8(0, orientation) + s("h.vsb") + s("") * 3 + u8(1) + i32(30, 128)
    return out + (i32(large) if large is not None else b"")


def gauge(name, rect, value=70):
    return control(name, rect) + s("bar.bmp") + i32(0, 100, value, 255) + u8(0, 1) + i32(500, 300) + u8(1) + s("") + i32(20)


def prevmenu(name, source, enabled=(), visible=(), down=()):
    out = control(name, (0, 0, 0, 0)) + s(source) + u8(0, 1, 0) + s("in") + s("out") + s("") + s("sel") + s("end")
    return out + b"".join(i32(len(flags)) + u8(*flags) for flags in (enabled, visible, down))


def events(*records):
    out = i32(len(records))
    for handler, sender, kind, level, args in records:
        out += s(handler) + s(sender) + u8(kind) + i32(level) + strings(*args)
    return out


def scene(objects=(), queue=events(), focus="", width=64, height=48, layer0=None):
    out = i32(width, height, 0)
    out += layer0 if layer0 is not None else control("", (0, 0, width, height))
    out += control("", (0, 0, width, height))
    out += i32(len(objects)) + b"".join(u8(code) + record for code, record in objects)
    return out + queue + s(focus)


def scenes():
    inner = box("inner", (2, 2, 8, 8))
    children = u8(LT_BOX) + box("outer", (4, 4, 40, 30), u8(LT_BOX) + inner, 1) + u8(LT_CABINET) + control("c", (0, 0, 1, 1))
    full = scene(objects=[(LT_TIMER, timer("t")), (LT_PROPMOTION, motion("m", "outer"))],
                 queue=events(("h.vsb", "outer", 6, 0, ["1", "x"]), ("h.vsb:l", "", 7, 2, [])), focus="outer",
                 layer0=control("", (0, 0, 64, 48), children, 2))
    return {
        "empty": scene(),
        "zero-size": scene(width=0, height=0),
        "full": full,
        "broken-huge-count": scene()[:-8] + i32(0x7FFFFFFF) + s(""),
        "broken-unknown-kind": scene(objects=[(99, base("x"))]),
        "broken-layer": i32(64, 48, 1) + control("", (0, 0, 64, 48))[:30],
        "sounds": scene(objects=[(LT_SOUND, sound("bgm", "bgm.ogg", (1, 0, 0, 0, 0))),
                                 (LT_SOUND, sound("se", "se.wav", (0, 1, 1, 1, 1))),
                                 (LT_SOUND, sound("fade", "CD_02", state=3))]),
        "broken-sound-state": scene(objects=[(LT_SOUND, sound("x", "x.ogg", state=9))]),
        "mapimage": scene(layer0=control("", (0, 0, 64, 48), u8(LT_MAPIMG) + mapimage("map", (4, 4, 40, 30), 100), 1)),
        "controls": scene(layer0=control("", (0, 0, 64, 48), u8(LT_SLIDER) + slider("sl", (4, 4, 40, 8)) +
                                          u8(LT_SCROLLBAR) + slider("sb", (4, 14, 8, 30), 1, 10) +
                                          u8(LT_GAUGE) + gauge("g", (50, 4, 8, 20), -7), 3)),
    }


# ---- whole save data: status record, then the game record ----

def int_var(name, value, status=False):
    return u8(PT_INT) + s(name) + i32(0, 1, value) + u8(int(status), 0) + i32(-1) + u8(0)


def status_record(variables=(), header=b"Status103"):
    out = header + i32(len(variables)) + b"".join(variables)
    out += i32(0) + s("") + i32(0, 0) + s("")  # no read marks, no pending mark
    return out + u8(0) + i32(100, 0)  # image mode, no status tables


def frame(page, pc, state=b""):
    return s(page) + i32(pc) + u8(0, 1) + s("") + strings() + s("") + i32(len(state)) + state + u8(0)


def game_record(scene_bytes, runner, variables=(), version=GAME_SAVE_VERSION, caption="c", page="", pc=0):
    out = i32(version) + s(caption) + s(page) + i32(pc) + scene_bytes + i32(0) + runner
    out += i32(len(variables)) + b"".join(variables)
    out += i32(50) + s("") + s("") + i32(0) + s("") + i32(0)
    return out + i32(100, 0) + s("")


def runner(page="m.vsb", pc=0, begun=0, frames=(), state=b""):
    out = s(page) + i32(pc) + u8(0, begun) + i32(0) + s("") + strings()
    out += frame("", 0) + i32(len(frames)) + b"".join(frames)
    return out + i32(2) + state


def save_input(status, game):
    return struct.pack("<H", len(status)) + status + game


def saves():
    wait_state = b"vela100" + i32(300, 1) + u8(1)
    status = status_record([int_var("seen", 7, True)])
    plain = game_record(scene(), runner())
    menu = menu_records.record("menu", menu_records.CONTROL, menu_records.LIST, GAME_SAVE_VERSION)
    video = video_records.record(video_records.VIDEO, GAME_SAVE_VERSION)
    textfields = (u8(LT_EDIT) + control("name", (4, 4, 40, 20)) + edit_records.field(False, GAME_SAVE_VERSION, 6) +
                  u8(LT_MEMO) + control("note", (4, 26, 40, 20)) + edit_records.field(True, GAME_SAVE_VERSION, 6))
    return {
        "plain": save_input(status, plain),
        "no-status-header": save_input(i32(0) + i32(0) + s("") + i32(0, 0) + s(""), plain),
        "waiting": save_input(status, game_record(scene(), runner(begun=1, state=wait_state),
                                                  [int_var("g", 5)])),
        "called": save_input(status, game_record(scenes()["full"], runner("h.vsb", 1, 1, [frame("m.vsb", 1)],
                                                                          wait_state))),
        "continue": save_input(status, game_record(scene(), runner(), page="h.vsb", pc=1)),
        "prevmenu": save_input(status, game_record(scene(objects=[(LT_PREVMENU, prevmenu("pm", "menu.xml", (1, 0),
                                                                                        (1, 1), (0, 1)))]),
                                                   runner())),
        "old-version-136": save_input(status, game_record(scene(), runner(), version=136)),
        "broken-version-106": save_input(status, game_record(scene(), runner(), version=106)),
        "menu": save_input(status, game_record(scene(layer0=control("", (0, 0, 64, 48), u8(LT_MENU) + menu, 1)),
                                               runner())),
        "controls": save_input(status, game_record(scenes()["controls"], runner())),
        "video": save_input(status, game_record(scene(layer0=control("", (0, 0, 64, 48), u8(LT_VIDEO) + video, 1)),
                                                runner())),
        "textfields": save_input(status, game_record(scene(layer0=control("", (0, 0, 64, 48), textfields, 2),
                                                           focus="note"), runner())),
        "broken-missing-page": save_input(status, game_record(scene(), runner("gone.vsb"))),
        "broken-cut": save_input(status, plain[:len(plain) // 2]),
        "broken-status": save_input(b"Status103" + i32(0x40000000), plain),
    }


# ---- the rest ----

def vexpr_hex(vexpr, text):
    return bytes.fromhex(subprocess.run([vexpr, "--hex", text], check=True, capture_output=True, text=True).stdout)


EXPRESSIONS = ['a = 1 + 2 * 3', 'b = Length("abc") + Pos("b", "abc")', 'c = 1.5 / 0.25 - Sin(@Pi)',
               'd = "x" + IntToStr(10 % 3)', 'e = (1 < 2) & (3 >= 4) | TRUE', 'Random(6)', 'x[3] = 1',
               'f = StringOfChar("*", 4)', 'g = Copy("日本語", 1, 2)', 'h = -7 / 2', 'y = x[1]']

GAME_INIS = {
    "all": b"[Sound]\r\nDirectSound=0\r\nDelayTime=250\r\n[Video]\r\nUseWMP=1\r\n[Font]\r\nDefaultOnly=1\r\n",
    "hex-and-spaces": b"  [ sound ]  \nDelayTime = 0x1F4\n",
    "negative": b"[Sound]\nDelayTime=-2147483648\n",
    "sjis-section": b"[\x83\x5d]\n[Sound\x83]\nDelayTime=300\n",
    "empty": b"",
}


def pages(vexpr):
    sample = os.path.join(ROOT, "sample")
    compile_expr = vpage.Compiler(vexpr)
    out = {}
    for name in sorted(os.listdir(sample)):
        if name.endswith(".page.json"):
            out[name[:-len(".page.json")]] = vpage.build_page(vpage.load(os.path.join(sample, name)), compile_expr)
    start = out["start"]
    out["old-version-102"] = i32(102) + start[4:]
    out["newer-version"] = i32(118) + start[4:]
    out["broken-mask-count"] = start[:5] + i32(0x7FFFFFFF) + start[9:]
    out["empty-mask-records"] = i32(117) + u8(1) + i32(0x7FFFFFFF, 0, 0)
    out["broken-command-count"] = vpage.build_page({"commands": []}, compile_expr)[:-4] + i32(1 << 30)
    out["broken-opcode"] = vpage.build_page({"commands": []}, compile_expr)[:-4] + i32(1) + u8(99) + bytes(10)
    # A flip's name list: a count far beyond the bytes left (six empty expressions follow it).
    flip = vpage.build_page({"commands": [{"cmd": "Flip"}]}, compile_expr)
    at = len(flip) - 6 * len(compile_expr(None, "")) - 4
    out["broken-flip-name-count"] = flip[:at] + i32(0x7FFFFFFF) + flip[at + 4:]
    return out


def projects():
    desc = vpage.load(os.path.join(ROOT, "sample", "project.json"))
    out = {"sample": vpage.build_project(desc)}
    for version in (100, 104, 110, 113, 116):
        # An older project stores fewer fields: the sample's newer ones are left out.
        older = {k: v for k, v in desc.items() if all(f[0] != k or f[3] <= version for f in vpage.PROJECT)}
        out[f"v{version}"] = vpage.build_project(dict(older, version=version))
    out["disks"] = vpage.build_project(dict(desc, disks=[{"folder": "movie", "disc": 1}],
                                            declarations=[{"name": "s", "type": "str", "value": "v"},
                                                          {"name": "f", "type": "float", "value": 2},
                                                          {"name": "b", "type": "bool", "value": True}]))
    out["broken-version"] = vpage.build_project(dict(desc, version=118))
    out["broken-declaration-count"] = out["v100"][:-8] + i32(0x7FFFFFFF) + i32(0)
    out["broken-bad-name"] = vpage.build_project(dict(desc, declarations=[{"name": "a b", "type": "int"}]))
    return out


def installs():
    whole = vpage.build_install({"title": "t"})
    return {"whole": whole, "old-v100": b"is100" + whole[5:], "no-header": whole[5:],
            "broken-entries": whole[:40] + i32(0x7FFFFFFF) + whole[44:], "broken-cut": whole[:30]}


def write_corpora(corpora):
    """Writes each harness's seeds (name -> bytes) into corpus/<harness>/."""
    for harness, seeds in corpora.items():
        folder = os.path.join(HERE, "corpus", harness)
        os.makedirs(folder, exist_ok=True)
        for name, data in seeds.items():
            with open(os.path.join(folder, name), "wb") as f:
                f.write(data)


def main():
    if len(sys.argv) != 2:
        sys.exit(__doc__)
    vexpr = sys.argv[1]
    corpora = {
        "page_read": pages(vexpr),
        "project_read": projects(),
        "install_read": installs(),
        "gameini_read": GAME_INIS,
        "expression_read": {f"expr{i}": vexpr_hex(vexpr, text) for i, text in enumerate(EXPRESSIONS)},
        "save_data": saves(),
        # The first byte picks the save version: 100 + byte % 45.
        "scene_read": {name: u8(44) + data for name, data in scenes().items()},
        "event_queue": {"two": u8(44) + events(("h.vsb", "a", 6, 0, ["1"]), ("p:l", "gone", 7, 3, [])),
                        "v113": u8(13) + i32(1) + s("h") + s("b") + u8(6, 9) + i32(0),
                        "broken-count": u8(44) + i32(0x10000000)},
    }
    corpora["expression_read"]["broken-count"] = i32(0x7FFFFFFF)
    write_corpora(corpora)


if __name__ == "__main__":
    main()
