#!/usr/bin/env python3
"""Writes the seed corpora of the record harnesses that read one scene object into
corpus/<harness>/, from the reference records of tests/tools (each printed as "VERSION HEX ...":
the seed is the version's byte, version - 100, and the stored record; the slider harness takes
the kind's byte first), and EUC-JP texts made by Python's codec for euc_to_sjis.

  make_record_corpus.py
"""
import os
import subprocess
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
TOOLS = os.path.join(HERE, "..", "tests", "tools")
from make_script_corpus import write_corpora  # noqa: E402

# harness: (kind byte or None, the tool and its arguments)
RECORDS = {
    "gauge_record_read": [(None, ["control_records.py", "gauge"])],
    "slider_record_read": [(0, ["control_records.py", "slider"]), (1, ["control_records.py", "scrollbar"])],
    "box_record_read": [(None, ["scene_records.py", "box"])],
    "mapimage_record_read": [(None, ["mapimage_records.py"])],
    "prevmenu_record_read": [(None, ["prevmenu_records.py"])],
    "timer_record_read": [(None, ["scene_records.py", "timer"])],
    "video_record_read": [(None, ["video_records.py"])],
    "sound_record_read": [(None, ["sound_records.py"]), (None, ["sound_records.py", "song.mid"]),
                          (None, ["sound_records.py", "voice.wma"]), (None, ["sound_records.py", "CD_2"])],
    "listbox_record_read": [(None, ["menu_records.py", "list"])],
}

TEXTS = ["plain ASCII", "かな漢字まじり", "ｶﾀｶﾅ and 半角", "表\\示", "補助漢字 丂"]


def records(kind, command):
    lines = subprocess.run([sys.executable, os.path.join(TOOLS, command[0])] + command[1:], check=True,
                           capture_output=True, text=True).stdout.split("\n")
    seeds = {}
    for line in filter(None, lines):
        version, stored = line.split()[:2]
        head = bytes([int(version) - 100]) if kind is None else bytes([kind, int(version) - 100])
        seeds[f"{command[-1].removesuffix('.py').removesuffix('_records')}-v{version}"] = head + bytes.fromhex(stored)
    return seeds


def main():
    corpora = {harness: {} for harness in RECORDS}
    for harness, sources in RECORDS.items():
        for kind, command in sources:
            corpora[harness].update(records(kind, command))
    corpora["euc_to_sjis"] = {f"text{i}": text.encode("euc_jp") for i, text in enumerate(TEXTS)}
    corpora["euc_to_sjis"]["lead-last"] = "終".encode("euc_jp")[:1]
    write_corpora(corpora)


if __name__ == "__main__":
    main()
