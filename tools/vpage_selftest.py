#!/usr/bin/env python3
"""Self-test of the page and project writer vpage.py: `python3 tools/vpage_selftest.py PATH/TO/vexpr`.

Runs the writer's command line and compares what it writes with page and project files built here by hand,
then checks that bad descriptions are refused with a message. Exits non-zero on failure."""
import json
import os
import struct
import subprocess
import sys
import tempfile
import unittest

TOOL = os.path.join(os.path.dirname(os.path.abspath(__file__)), "vpage.py")
VEXPR = None  # from the command line

HYO = "表".encode("cp932")   # 0x95 0x5C: the trail byte is the code of "\"
SO = "ソ".encode("cp932")    # 0x83 0x5C
assert HYO[1] == SO[1] == 0x5C


def u32(*values):
    return struct.pack(f"<{len(values)}I", *values)


def i32(*values):
    return struct.pack(f"<{len(values)}i", *values)


def sz(data):
    return u32(len(data)) + data


def to_result(operand):
    """The compiled form of a one-token expression: one ocTo into ____arg."""
    return u32(1) + b"\x01" + sz(b"____arg") + u32(1) + operand


TRUE = to_result(b"\x03\x01")
ONE = to_result(b"\x01" + i32(1))
THREE_HUNDRED = to_result(b"\x01" + i32(300))
NO_EXPRESSION = u32(0)


def base(opcode, indent, disabled, cont, line):
    return bytes([opcode]) + u32(indent) + bytes([disabled, cont]) + u32(line)


class Base(unittest.TestCase):
    def setUp(self):
        self.dir = tempfile.TemporaryDirectory()
        self.addCleanup(self.dir.cleanup)

    def path(self, name):
        return os.path.join(self.dir.name, name)

    def write_json(self, name, desc):
        with open(self.path(name), "w", encoding="utf-8") as f:
            json.dump(desc, f, ensure_ascii=False)
        return self.path(name)

    def run_tool(self, *args):
        return subprocess.run([sys.executable, TOOL, *args, *(["--vexpr", VEXPR] if args[0] in ("page", "title") else [])],
                              capture_output=True)

    def written(self, kind, desc):
        proc = self.run_tool(kind, self.write_json("in.json", desc), self.path("out"))
        self.assertEqual(proc.returncode, 0, proc.stderr.decode(errors="replace"))
        with open(self.path("out"), "rb") as f:
            return f.read()

    def refused(self, kind, desc, *words):
        proc = self.run_tool(kind, self.write_json("in.json", desc), self.path("out"))
        message = proc.stderr.decode(errors="replace")
        self.assertEqual(proc.returncode, 1, message)
        self.assertNotIn("Traceback", message)
        for word in words:
            self.assertIn(word, message)


PAGE = {"return": "str", "masks": {"Timer": "0100000c"}, "commands": [
    {"cmd": "Call", "page": "表.vsb", "pc": 2, "result": "r", "args": ["1"], "indent": 1, "line": 10},
    {"cmd": "Wait", "time": "300", "hold": None, "continue": False}]}


class Page(Base):
    def test_two_commands(self):
        masks = [bytes(22)] * 61
        masks[11] = bytes.fromhex("0100000c").ljust(22, b"\0")
        expected = (i32(117) + b"\x04" + i32(61, 22) + b"".join(masks) + i32(2)
                    + base(5, 1, 0, 1, 10) + sz(HYO + b".vsb") + u32(2) + sz(b"r") + TRUE + u32(1) + ONE
                    + base(7, 0, 0, 0, 2) + NO_EXPRESSION + THREE_HUNDRED + NO_EXPRESSION)
        self.assertEqual(self.written("page", PAGE), expected)

    def test_older_version_leaves_out_later_fields_and_keeps_default_masks(self):
        data = self.written("page", {"version": 104, "commands": [
            {"cmd": "GameSave", "slot": "1", "page": "a"}, {"cmd": "Wait"}]})
        commands = data[13 + 61 * 22:]
        self.assertEqual(data[:13], i32(104) + b"\x01" + i32(61, 22))
        self.assertEqual(data[13 + 8 * 22:13 + 9 * 22].hex().upper(), "7F7F0028FC8B0000800001008800F2004000BF001800")
        self.assertEqual(data[13 + 60 * 22:13 + 61 * 22], b"\x01" + bytes(21))
        self.assertEqual(commands, i32(2) + base(38, 0, 0, 1, 1) + ONE + sz(b"a") + NO_EXPRESSION
                         + base(7, 0, 0, 1, 2) + NO_EXPRESSION + NO_EXPRESSION)

    def test_labels_give_command_indexes(self):
        data = self.written("page", {"commands": [
            {"cmd": "Label", "name": "top"}, {"cmd": "Break", "target": "end"}, {"cmd": "Label", "name": "end"}]})
        self.assertIn(base(34, 0, 0, 1, 2) + TRUE + i32(2), data)

    def test_property_motion_stores_its_paused_expression_from_version_108(self):
        motion = {"cmd": "PropMotion", "prop": "1", "time": "300", "paused": "TRUE"}
        fields = NO_EXPRESSION * 2 + ONE + NO_EXPRESSION + THREE_HUNDRED + NO_EXPRESSION
        data = self.written("page", {"commands": [motion]})
        self.assertEqual(data[13 + 61 * 22:], i32(1) + base(57, 0, 0, 1, 1) + fields + TRUE)
        del motion["paused"]
        data = self.written("page", {"version": 107, "commands": [motion]})
        self.assertEqual(data[13 + 61 * 22:], i32(1) + base(57, 0, 0, 1, 1) + fields)
        self.refused("page", {"commands": [{"cmd": "PropMotion"}]}, "'prop'", "missing")

    def test_text_insertion_stores_its_compiled_text(self):
        style = i32(1, -1, -1, 0) + b"\0\0" + i32(-1) + sz(b"") + sz(b"") + i32(-1, -1)
        text = (b"NxWord102" + i32(1) + style + u32(2)
                + b"\x01" + sz(b"") + i32(50) + bytes([0x5C, 0x95]) + i32(0) + b"\x03\x00")
        command = {"cmd": "TextIns", "text": "表<BR>", "window": "1"}
        data = self.written("page", {"commands": [command]})
        self.assertEqual(data[13 + 61 * 22:], i32(1) + base(20, 0, 0, 1, 1) + sz(text) + ONE + NO_EXPRESSION * 3)
        data = self.written("page", {"version": 106, "commands": [dict(command, text=None)]})
        self.assertEqual(data[13 + 61 * 22:], i32(1) + base(20, 0, 0, 1, 1) + u32(0) + ONE + NO_EXPRESSION * 2)
        self.refused("page", {"commands": [dict(command, text="<A>x")]}, "'text'", "HREF")

    def test_bad_descriptions(self):
        self.refused("page", {"commands": [{"cmd": "Jmp", "page": "a"}]}, "command 0", "Jmp")
        self.refused("page", {"commands": [{"cmd": "While", "cond": "1"}]}, "command 0 (While)", "'exit'", "missing")
        self.refused("page", {"version": 106, "commands": [{"cmd": "Wait", "hold": "1"}]}, "'hold'", "107")
        self.refused("page", {"version": 116, "commands": [{"cmd": "Flip", "option": "1"}]}, "'option'", "117")
        self.refused("page", {"commands": [{"cmd": "Exit", "cond": "i +"}]}, "'cond'", "i +")
        self.refused("page", {"commands": [{"cmd": "Exit", "when": "1"}]}, "'when'")
        self.refused("page", {"commands": [{"cmd": "Continue", "target": "nowhere"}]}, "nowhere")


    def test_one_compiler_process_answers_each_line_as_a_run_of_its_own_would(self):
        texts = ["1 + 2", '"表" ++ "a\nb"', "i +", "", "3 * 4"]
        lines = "".join(t.encode("utf-8").hex() + "\n" for t in texts) + "zz\n" + "1\n"
        proc = subprocess.run([VEXPR, "--hex-stream"], input=lines.encode("ascii"), capture_output=True)
        self.assertEqual(proc.returncode, 0, proc.stderr)
        answers = proc.stdout.decode("utf-8").splitlines()
        for text, answer in zip(texts, answers):
            alone = subprocess.run([VEXPR, "--hex", text], capture_output=True).stdout.decode("utf-8").strip()
            self.assertEqual(answer, alone, text)
        self.assertTrue(answers[2].startswith("error: "), answers[2])
        self.assertEqual(answers[5:], ["error: not a line of hexadecimal"] * 2)


PROJECT = {"title": "ソフト", "width": 800, "height": 600, "start_page": "表.vsb", "closing_page": "end.vsb",
           "registry_name": "reg", "frame_list_param": 3, "save_enabled": True, "disc_prompt": "disc %d",
           "quit_text": "quit", "declarations": [
               {"name": "表示", "type": "int", "value": -5}, {"name": "f", "type": "float", "value": 0.1},
               {"name": "b", "type": "bool", "value": True}, {"name": "s", "type": "str", "value": "表"}],
           "disks": [{"folder": "C:\\表\\", "disc": 2}]}


class Project(Base):
    def test_newest_version(self):
        expected = (u32(117) + sz(SO + "フト".encode("cp932")) + i32(800, 600, 800, 600) + sz(HYO + b".vsb")
                    + sz(b"end.vsb") + sz(b"reg") + i32(3) + b"\x01\x00" + sz(b".wav.wma.ogg.mid") + b"\x00\x00\x01"
                    + sz(b"disc %d") + sz(b"quit") + i32(4)
                    + b"\x01" + sz("表示".encode("cp932")) + i32(-5)
                    + b"\x02" + sz(b"f") + bytes.fromhex("cdccccccccccccccfb3f")
                    + b"\x03" + sz(b"b") + b"\x01"
                    + b"\x04" + sz(b"s") + sz(HYO)
                    + i32(1) + sz(b"C:\\" + HYO + b"\\") + i32(2))
        self.assertEqual(self.written("project", PROJECT), expected)

    def test_version_108_stores_no_later_fields(self):
        desc = {"version": 108, "title": "t", "width": 1, "height": 2, "full_width": 3, "start_page": "s"}
        expected = (u32(108) + sz(b"t") + i32(1, 2, 3, 2) + sz(b"s") + sz(b"") + i32(0) + b"\x00\x00"
                    + sz("ディスク%dを入れてから[OK]をクリックしてください".encode("cp932"))
                    + sz("終了します".encode("cp932")) + i32(0, 0))
        self.assertEqual(self.written("project", desc), expected)
        self.refused("project", dict(desc, closing_page="c"), "'closing_page'", "110")
        self.refused("project", {"title": "t", "width": 1, "start_page": "s"}, "'height'", "missing")


class Title(Base):
    def test_folder_to_files(self):
        os.mkdir(self.path("src"))
        self.write_json("src/project.json", dict(PROJECT, closing_page="表.vsb"))
        self.write_json("src/表.page.json", PAGE)
        proc = self.run_tool("title", self.path("src"), self.path("built"))
        self.assertEqual(proc.returncode, 0, proc.stderr.decode(errors="replace"))
        self.assertEqual(sorted(os.listdir(self.path("built"))), ["vela.vpb", "表.vsb"])
        with open(self.path("built/表.vsb"), "rb") as f:
            self.assertEqual(f.read(), self.written("page", PAGE))

        self.write_json("src/project.json", dict(PROJECT, start_page="other.vsb"))
        proc = self.run_tool("title", self.path("src"), self.path("built"))
        self.assertEqual(proc.returncode, 1)
        self.assertIn("other.vsb", proc.stderr.decode(errors="replace"))


class Props(Base):
    def test_names_from_the_default_masks_and_the_readme_table(self):
        # Timer's mask 01 00 00 0C 02 .. 80 (byte 8) .. 80 (byte 18): ids 0, 26, 27, 33, 71, 151.
        proc = self.run_tool("props", "Timer")
        self.assertEqual(proc.stdout.decode(), "Timer: NAME DELAY PAUSED ONNOTIFY AUTOSCRAP TAG\n")
        self.assertEqual(self.run_tool("props", "Wait").returncode, 1)
        with open(os.path.join(os.path.dirname(TOOL), "..", "README.md"), encoding="utf-8") as f:
            self.assertIn(self.run_tool("props", "--markdown").stdout.decode(), f.read())


if __name__ == "__main__":
    if len(sys.argv) != 2:
        sys.exit("usage: vpage_selftest.py PATH/TO/vexpr")
    VEXPR = sys.argv[1]
    unittest.main(argv=sys.argv[:1])
