#!/usr/bin/env python3
"""Self-test of the reference archive tool vfarchive.py: run as `python3 tests/tools/vfarchive_selftest.py`.

Runs the tool's command line on packed folders of every version and placement, compares the written bytes with
layouts built here by hand, and checks that malformed archives are refused cleanly. Exits non-zero on failure."""
import calendar
import os
import struct
import subprocess
import sys
import tempfile
import unittest
import zlib

TOOL = os.path.join(os.path.dirname(os.path.abspath(__file__)), "vfarchive.py")
sys.path.insert(0, os.path.dirname(TOOL))
import vfarchive  # noqa: E402

SEED = 1362598417
KEYS = [SEED, SEED * 6 % 2**32, SEED * 31 % 2**32]   # first keystream values of the scrambling generator
STAMP = calendar.timegm((2001, 2, 3, 4, 5, 7))     # 2001-02-03 04:05:07 UTC
STAMP_DOS = (21 << 25 | 2 << 21 | 3 << 16) | (4 << 11 | 5 << 5 | 3)

WAV = bytes(range(256)) * 3
TEXT = "表示テキスト\r\n".encode("cp932") * 50
# host name -> content; "表" is 0x95 0x5C in cp932, its trail byte the code of "\"
FILES = {"表.txt": TEXT, "sub/empty.bin": b"", "sub/voice.WAV": WAV, "a.dat": b"x"}


def run(*args, ok=True):
    proc = subprocess.run([sys.executable, TOOL, *args], capture_output=True)
    if ok and proc.returncode:
        raise AssertionError(f"{args} failed: {proc.stderr.decode(errors='replace')}")
    if not ok:
        if proc.returncode == 0:
            raise AssertionError(f"{args} was accepted")
        if b"Traceback" in proc.stderr or not proc.stderr:
            raise AssertionError(f"{args} did not fail cleanly: {proc.stderr!r}")
    return proc.stdout


def read(path):
    with open(path, "rb") as f:
        return f.read()


def write(path, data):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as f:
        f.write(data)


def version_0(entries):
    """A version 0 archive of (name, stored bytes) entries, built by hand."""
    index = struct.pack("<i", len(entries)) + b"".join(struct.pack("<i", len(n)) + n for n, _ in entries)
    offsets = [len(index) + 4 * (len(entries) + 1)]
    for _, stored in entries:
        offsets.append(offsets[-1] + len(stored))
    return index + struct.pack(f"<{len(offsets)}I", *offsets) + b"".join(stored for _, stored in entries)


def listing(*args):
    rows = []
    for line in run("list", *args).decode().splitlines():
        name, *numbers = line.split(" ")
        rows.append((bytes.fromhex(name), *map(int, numbers)))
    return rows


class Base(unittest.TestCase):
    def setUp(self):
        self.tmp = tempfile.TemporaryDirectory()
        self.dir = self.tmp.name
        self.src = self.path("src")
        for name, data in FILES.items():
            write(os.path.join(self.src, name), data)
            os.utime(os.path.join(self.src, name), (STAMP, STAMP))

    def tearDown(self):
        self.tmp.cleanup()

    def path(self, name):
        return os.path.join(self.dir, name)


class Keystream(unittest.TestCase):
    def test_first_values(self):
        gen = vfarchive.keystream()
        self.assertEqual([next(gen) for _ in range(3)], KEYS)
        self.assertEqual(KEYS, [1362598417, 3880623206, 3585845263])
        gen = vfarchive.keystream(1)
        self.assertEqual([next(gen) for _ in range(4)], [1, 6, 31, 156])


class Layout(Base):
    """Byte layouts built by hand from the format, for one file "a.dat" holding "x"."""

    def pack_one(self, *options):
        src = self.path("one")
        write(os.path.join(src, "a.dat"), b"x")
        os.utime(os.path.join(src, "a.dat"), (STAMP, STAMP))
        run("pack", self.path("one.bin"), src, *options)
        return read(self.path("one.bin"))

    def test_version_0(self):
        body = zlib.compress(b"x")
        expect = struct.pack("<ii5sII", 1, 5, b"a.dat", 21, 21 + len(body)) + body
        self.assertEqual(self.pack_one("--version", "0"), expect)

    def test_version_100_scrambles_names_and_32_bit_offsets(self):
        body = zlib.compress(b"x")
        name = bytes(b ^ k for b, k in zip(b"a.dat", [0x11, 0x66, 0x0F, 0x5C, 0xDD]))
        end = 2 + 4 + 4 + 9 + 8
        offsets = struct.pack("<II", end ^ KEYS[0], (end + len(body)) ^ KEYS[1])
        expect = b"vf" + struct.pack("<iii", 100, 1, 5) + name + offsets + body
        self.assertEqual(self.pack_one("--version", "100"), expect)

    def test_version_102_sign_extends_the_offset_keys(self):
        name = bytes(b ^ k for b, k in zip(b"a.dat", [0x11, 0x66, 0x0F, 0x5C, 0xDD]))
        end = 2 + 4 + 4 + 9 + 16 + 1 + 4 + 4 + 1
        offsets = struct.pack("<QQ", end ^ KEYS[0], (end + 1) ^ 0xFFFFFFFF_00000000 ^ KEYS[1])
        tables = offsets + b"\x01" + struct.pack("<iI", STAMP_DOS, zlib.crc32(b"x")) + b"\x01"
        expect = b"vf" + struct.pack("<iii", 102, 1, 5) + name + tables + b"x"
        self.assertEqual(self.pack_one("--raw-ext", ".DAT", "--crc-mode", "1"), expect)


class RoundTrip(Base):
    def check(self, version, placement):
        out = self.path("game.dat")
        options = ["--version", str(version), "--raw-ext", ".wav"]
        read_options = []
        program = b"MZ" + bytes(1000)
        if placement == "ext":
            options.append("--ext")
            read_options.append("--ext")
        elif placement == "carrier":
            write(self.path("prog"), program)
            options += ["--carrier", self.path("prog")]
            read_options.append("--carrier")
        if version == 102:
            options += ["--crc-mode", "1"]
        run("pack", out, self.src, *options)
        archive = read(out)

        rows = listing(out, *read_options)
        expected_names = sorted(name.replace("/", "\\").encode("cp932") for name in FILES)
        self.assertEqual([row[0] for row in rows], expected_names)
        for name, offset, size, raw, ftime, crc, crc_mode in rows:
            data = FILES[name.decode("cp932").replace("\\", "/")]
            stored = archive[offset:offset + size]
            self.assertEqual(len(stored), size)
            self.assertEqual(raw, int(version >= 101 and name.endswith(b".WAV")))
            self.assertEqual(stored if raw else zlib.decompress(stored), data)
            self.assertEqual(ftime, STAMP_DOS if version >= 101 else 0)
            self.assertEqual(crc_mode, int(version == 102))
            self.assertEqual(crc, zlib.crc32(data if crc_mode else stored) if version >= 101 else 0)
            self.assertEqual(run("cat", out, name.hex(), *read_options), data)
        # entries follow each other without gaps, up to the end of the data
        for a, b in zip(rows, rows[1:]):
            self.assertEqual(a[1] + a[2], b[1])
        end = rows[-1][1] + rows[-1][2]
        if placement == "ext":
            self.assertEqual(rows[0][1], 0)
            self.assertEqual(end, len(archive))
            self.assertTrue(os.path.exists(self.path("game.ext")))
        elif placement == "carrier":
            self.assertEqual(archive[:len(program)], program)
            self.assertEqual(archive[-6:], struct.pack("<i", len(program)) + b"qz")
            self.assertEqual(end, len(archive) - 6)
        else:
            self.assertEqual(end, len(archive))

        target = self.path("out")
        run("extract", out, target, *read_options)
        for name, data in FILES.items():
            self.assertEqual(read(os.path.join(target, name)), data)

    def test_all_versions_and_placements(self):
        for version in vfarchive.VERSIONS:
            for placement in ("plain", "ext", "carrier"):
                with self.subTest(version=version, placement=placement):
                    self.check(version, placement)


class ForeignArchives(Base):
    def test_empty_stored_entry_reads_as_empty(self):
        write(self.path("v0.dat"), version_0([(b"e", b""), (b"f", zlib.compress(b"f"))]))
        self.assertEqual(run("cat", self.path("v0.dat"), b"e".hex()), b"")
        self.assertEqual(run("cat", self.path("v0.dat"), b"f".hex()), b"f")


class Refusals(Base):
    def packed(self, *options):
        out = self.path("game.dat")
        run("pack", out, self.src, "--raw-ext", ".wav", *options)
        return out, bytearray(read(out))

    def test_truncated_archive(self):
        out, data = self.packed()
        for cut in (1, len(data) // 2, len(data) - 1):
            write(out, data[:cut])
            run("list", out, ok=False)

    def test_crc_mismatch_of_a_raw_entry(self):
        out, data = self.packed()
        row = next(r for r in listing(out) if r[3])
        data[row[1] + 10] ^= 1
        write(out, data)
        run("cat", out, row[0].hex(), ok=False)
        run("extract", out, self.path("x"), ok=False)

    def test_bad_zlib_data_without_crc(self):
        out, data = self.packed("--version", "0")
        row = next(r for r in listing(out) if r[0].endswith(b".txt"))
        data[row[1] + row[2] // 2] ^= 0xFF
        write(out, data)
        run("cat", out, row[0].hex(), ok=False)

    def test_zlib_stream_cut_short_or_followed_by_bytes(self):
        body = zlib.compress(b"some text")
        for stored in (body[:-2], body + b"\0"):
            write(self.path("v0.dat"), version_0([(b"t", stored)]))
            run("cat", self.path("v0.dat"), b"t".hex(), ok=False)

    def test_absurd_entry_count(self):
        out, data = self.packed()
        data[6:10] = struct.pack("<i", 0x7FFFFFFF)
        write(out, data)
        run("list", out, ok=False)

    def test_decreasing_and_outside_offsets(self):
        names = struct.pack("<i1si1s", 1, b"a", 1, b"b")
        for offsets in ((30, 25, 31), (22, 31, 40), (10, 22, 22)):
            with self.subTest(offsets=offsets):
                write(self.path("bad.dat"), struct.pack("<i", 2) + names + struct.pack("<3I", *offsets) + bytes(9))
                run("list", self.path("bad.dat"), ok=False)

    def test_missing_trailer_and_side_file(self):
        out, _ = self.packed()
        run("list", out, "--carrier", ok=False)
        run("list", out, "--ext", ok=False)

    def test_extract_refuses_escaping_names(self):
        body = zlib.compress(b"evil")
        for name in (b"..\\evil", b"a\\..\\..\\evil", b"\\evil", b"C:evil", b"/evil"):
            with self.subTest(name=name):
                write(self.path("bad.dat"), version_0([(b"ok", body), (name, body)]))
                run("extract", self.path("bad.dat"), self.path("deep/out"), ok=False)
                self.assertFalse(os.path.exists(self.path("deep")))
                self.assertFalse(os.path.exists(self.path("evil")))


if __name__ == "__main__":
    unittest.main()
