#!/usr/bin/env python3
"""Reference reader and writer of the content archive, independent of the engine's own code.

  vfarchive.py pack OUT FOLDER [--version {0,100,101,102}] [--raw-ext .wav,.ogg] [--crc-mode {0,1}]
                               [--ext | --carrier PROGRAM]
  vfarchive.py list ARCHIVE [--ext | --carrier]
  vfarchive.py cat ARCHIVE NAMEHEX [--ext | --carrier]
  vfarchive.py extract ARCHIVE OUTFOLDER [--ext | --carrier]

Archive layout (little-endian): ["vf", int32 version] (absent for version 0), int32 N, N names (int32 length,
bytes), N+1 offsets (uint32 below version 101, int64 from 101), then from 101 N raw flags, N int32 file times,
N CRC-32 values, and from 102 N crc modes; then the entries' data. Entry i occupies [offset i, offset i+1).
From version 100 the name bytes and the offsets are scrambled with the keystream of the generator
state := state * 5 + 1362598417 (mod 2^32), a fresh generator for the names and one for the offsets: each name
byte is XORed with the low byte of the next value, each offset with the next value (sign-extended to 64 bits
for int64 offsets).

Where the index lies and what offsets count from:
  plain      the index at position 0 of ARCHIVE, offsets counted from the index start.
  --ext      ARCHIVE holds only the data; the index is in the side file (ARCHIVE with its extension replaced
             by ".ext", as from position 0), its offsets are positions in ARCHIVE.
  --carrier  ARCHIVE ends with six bytes: int32 position of the index in ARCHIVE, then "qz"; offsets count
             from the index start.

pack: the entries are the regular files under FOLDER (symbolic links are skipped), named by their relative path
with "\\" separators, encoded to cp932, in the order of those name bytes. Below version 101 every entry is
zlib-compressed; from 101 an entry whose name ends, case-insensitively, with one of the --raw-ext suffixes
(as given, comma-separated; none by default) is stored raw. CRC-32 over the stored bytes (crc mode 0) or over
the uncompressed bytes (crc mode 1, version 102 only). The file time of an entry is the file's mtime in UTC in
the DOS packed form: (year - 1980) << 25 | month << 21 | day << 16 | hour << 11 | minute << 5 | second // 2,
as a signed int32; times before 1980 become 1980-01-01 00:00:00, times after 2107 become 2107-12-31 23:59:58.

list: one line per entry: name bytes in lower-case hex, absolute offset of the stored data in ARCHIVE, stored
size, raw flag, file time (signed), CRC-32 (unsigned), crc mode. The index alone is checked, no entry is read.
cat: the uncompressed bytes of the entry whose name bytes are exactly NAMEHEX, to standard output.
extract: every entry as a file under OUTFOLDER (cp932 decoded, "\\" as folder separator); names that are
absolute, carry a drive or hold ".." components are refused before anything is written.

Every read entry has its CRC checked (versions 101 and up). Malformed archives end with a message and exit
status 1."""
import argparse
import io
import os
import re
import stat
import struct
import sys
import time
import zlib

SEED = 1362598417
MASK32 = 0xFFFFFFFF
MAGIC = b"vf"
MARK = b"qz"
VERSIONS = (0, 100, 101, 102)


class ArchiveError(Exception):
    pass


def keystream(seed=SEED):
    state = 0
    while True:
        state = (state * 5 + seed) & MASK32
        yield state


def scramble_names(names):
    keys = keystream()
    return [bytes(b ^ (next(keys) & 0xFF) for b in name) for name in names]


def scramble_offsets(offsets, wide):
    """XOR each offset with the next key; offsets are handled as unsigned 32- or 64-bit values."""
    keys = keystream()
    result = []
    for offset in offsets:
        key = next(keys)
        if wide and key & 0x80000000:
            key |= 0xFFFFFFFF00000000
        result.append(offset ^ key)
    return result


def dos_time(mtime):
    t = time.gmtime(mtime // 1)
    if t.tm_year < 1980:
        fields = (1980, 1, 1, 0, 0, 0)
    elif t.tm_year > 2107:
        fields = (2107, 12, 31, 23, 59, 58)
    else:
        fields = (t.tm_year, t.tm_mon, t.tm_mday, t.tm_hour, t.tm_min, t.tm_sec)
    year, month, day, hour, minute, second = fields
    packed = (year - 1980) << 25 | month << 21 | day << 16 | hour << 11 | minute << 5 | second // 2
    return packed - (1 << 32) if packed & 0x80000000 else packed


def side_index_path(path):
    """The path with its extension (from the last dot of the file name) replaced by ".ext"."""
    head, tail = os.path.split(path)
    dot = tail.rfind(".")
    return os.path.join(head, (tail[:dot] if dot >= 0 else tail) + ".ext")


# ---------------------------------------------------------------- writing

def collect_files(folder):
    """[(cp932 name, text name, data, file time)] of the regular files under folder, in name-byte order."""
    if not os.path.isdir(folder):
        raise ArchiveError(f"{folder}: not a folder")

    def walk_error(exc):
        raise exc

    files = []
    for dirpath, _, filenames in os.walk(folder, onerror=walk_error):
        for filename in filenames:
            path = os.path.join(dirpath, filename)
            info = os.lstat(path)
            if not stat.S_ISREG(info.st_mode):
                continue
            parts = os.path.relpath(path, folder).split(os.sep)
            if any("\\" in part for part in parts):
                raise ArchiveError(f"{path}: a backslash in a file name")
            text = "\\".join(parts)
            try:
                name = text.encode("cp932")
            except UnicodeEncodeError:
                raise ArchiveError(f"{path}: the name has no cp932 form") from None
            with open(path, "rb") as f:
                files.append((name, text, f.read(), dos_time(info.st_mtime)))
    files.sort(key=lambda item: item[0])
    for a, b in zip(files, files[1:]):
        if a[0] == b[0]:
            raise ArchiveError(f"{a[1]} and {b[1]} have the same cp932 name")
    return files


def build_archive(files, version, raw_exts, crc_mode, data_base):
    """The index and data bytes. data_base is the offset given to the first data byte (0 for data in a file
    of its own), or None when the data follows the index and offsets count from the index start."""
    n = len(files)
    names, stored, raws, crcs = [], [], [], []
    for name, text, data, _ in files:
        raw = version >= 101 and text.lower().endswith(raw_exts)
        body = data if raw else zlib.compress(data)
        names.append(name)
        stored.append(body)
        raws.append(int(raw))
        crcs.append(zlib.crc32(data if crc_mode else body))

    head = (MAGIC + struct.pack("<i", version) if version else b"") + struct.pack("<i", n)
    if head[:2] == MAGIC and not version:
        raise ArchiveError(f"{n} entries cannot be told from the magic in a version 0 archive")
    if version >= 100:
        names = scramble_names(names)
    name_part = b"".join(struct.pack("<i", len(name)) + name for name in names)
    wide = version >= 101
    tables = (n + 1) * (8 if wide else 4) + (9 * n if wide else 0) + (n if version >= 102 else 0)
    index_size = len(head) + len(name_part) + tables
    offsets = [index_size if data_base is None else data_base]
    for body in stored:
        offsets.append(offsets[-1] + len(body))
    if not wide and offsets[-1] > MASK32:
        raise ArchiveError(f"version {version} offsets are 32-bit; the data is too large")
    if version >= 100:
        offsets = scramble_offsets(offsets, wide)
    index = head + name_part + struct.pack(f"<{n + 1}{'Q' if wide else 'I'}", *offsets)
    if wide:
        index += bytes(raws) + struct.pack(f"<{n}i{n}I", *(f[3] for f in files), *crcs)
    if version >= 102:
        index += bytes([crc_mode] * n)
    assert len(index) == index_size
    return index, b"".join(stored)


def pack(args):
    if args.crc_mode and args.version < 102:
        raise ArchiveError("crc mode 1 is stored from version 102 on")
    raw_exts = tuple(ext.strip().lower() for ext in args.raw_ext.split(",") if ext.strip())
    files = collect_files(args.folder)
    if args.ext:
        if side_index_path(args.out) == args.out:
            raise ArchiveError(f"{args.out}: the data file cannot have the extension .ext")
        index, data = build_archive(files, args.version, raw_exts, args.crc_mode, 0)
        write_file(args.out, data)
        write_file(side_index_path(args.out), index)
        return
    index, data = build_archive(files, args.version, raw_exts, args.crc_mode, None)
    program = b""
    if args.carrier:
        with open(args.carrier, "rb") as f:
            program = f.read()
        if len(program) > 0x7FFFFFFF:
            raise ArchiveError("the carrying program is too large for an int32 index position")
    trailer = struct.pack("<i", len(program)) + MARK if args.carrier else b""
    write_file(args.out, program + index + data + trailer)


def write_file(path, data):
    with open(path, "wb") as f:
        f.write(data)


# ---------------------------------------------------------------- reading

class Source:
    """Bounded reads from the region [pos, end) of a binary file."""

    def __init__(self, f, pos, end):
        self.f, self.pos, self.end = f, pos, end

    def left(self):
        return self.end - self.pos

    def take(self, count, what):
        if count < 0 or count > self.left():
            raise ArchiveError(f"truncated or corrupt archive: {what} of {count} bytes does not fit")
        self.f.seek(self.pos)
        data = self.f.read(count)
        if len(data) != count:
            raise ArchiveError(f"truncated archive: short read of {what}")
        self.pos += count
        return data

    def array(self, code, count, what):
        return list(struct.unpack(f"<{count}{code}", self.take(count * struct.calcsize(code), what)))


class Entry:
    __slots__ = ("name", "offset", "size", "raw", "time", "crc", "crc_mode")


class Archive:
    """An opened archive: its version, its entries (sentinel excluded) and the file holding their data."""

    def __init__(self, path, mode):
        self.data = open(path, "rb")
        try:
            self._open(path, mode)
        except BaseException:
            self.data.close()
            raise

    def close(self):
        self.data.close()

    def __enter__(self):
        return self

    def __exit__(self, *_):
        self.close()

    def _open(self, path, mode):
        size = os.fstat(self.data.fileno()).st_size
        if mode == "ext":
            with open(side_index_path(path), "rb") as f:
                side = f.read()
            index = Source(io.BytesIO(side), 0, len(side))
            base, data_end = 0, size
        elif mode == "carrier":
            if size < 6:
                raise ArchiveError("too short for a carrying-file trailer")
            self.data.seek(size - 6)
            start, mark = struct.unpack("<i2s", self.data.read(6))
            if mark != MARK:
                raise ArchiveError('no "qz" trailer')
            if not 0 <= start <= size - 6:
                raise ArchiveError(f"index position {start} outside the file")
            index = Source(self.data, start, size - 6)
            base, data_end = start, size - 6
        else:
            index = Source(self.data, 0, size)
            base, data_end = 0, size
        self._read_index(index)
        self._place(base, 0 if mode == "ext" else index.pos, data_end)

    def _read_index(self, src):
        if src.take(2, "magic") == MAGIC:
            self.version = src.array("i", 1, "version")[0]
            if self.version not in VERSIONS[1:]:
                raise ArchiveError(f"unknown archive version {self.version}")
        else:
            src.pos -= 2
            self.version = 0
        n = src.array("i", 1, "entry count")[0]
        if n < 0 or n > src.left() // 4:
            raise ArchiveError(f"entry count {n} beyond the file")
        names = [src.take(src.array("i", 1, "name length")[0], "name") for _ in range(n)]
        wide = self.version >= 101
        offsets = src.array("Q" if wide else "I", n + 1, "offsets")
        if self.version >= 100:
            names = scramble_names(names)
            offsets = scramble_offsets(offsets, wide)
        if wide:
            raws = src.take(n, "raw flags")
            times = src.array("i", n, "file times")
            crcs = src.array("I", n, "CRC values")
        else:
            raws, times, crcs = bytes(n), [0] * n, [0] * n
        modes = src.take(n, "crc modes") if self.version >= 102 else bytes(n)
        if any(flag > 1 for flag in raws) or any(mode > 1 for mode in modes):
            raise ArchiveError("raw flag or crc mode other than 0 and 1")
        self.offsets = offsets
        self.entries = []
        for i in range(n):
            e = Entry()
            e.name, e.raw, e.time, e.crc, e.crc_mode = names[i], raws[i], times[i], crcs[i], modes[i]
            self.entries.append(e)

    def _place(self, base, data_start, data_end):
        """Turn the offsets into absolute positions and sizes, checking that they stay in the data."""
        positions = [base + offset for offset in self.offsets]
        if positions[0] < data_start:
            raise ArchiveError(f"first offset {self.offsets[0]} lies inside the index")
        if positions[-1] > data_end:
            raise ArchiveError(f"end offset {self.offsets[-1]} beyond the data")
        for i, e in enumerate(self.entries):
            if positions[i + 1] < positions[i]:
                raise ArchiveError(f"offsets decrease at entry {i}")
            e.offset, e.size = positions[i], positions[i + 1] - positions[i]

    def find(self, name):
        for e in self.entries:
            if e.name == name:
                return e
        raise ArchiveError(f"no entry {name.hex()}")

    def read(self, e):
        self.data.seek(e.offset)
        stored = self.data.read(e.size)
        if len(stored) != e.size:
            raise ArchiveError(f"entry {e.name.hex()}: short read")
        data = stored if e.raw or not stored else inflate(stored, e.name)
        if self.version >= 101 and zlib.crc32(data if e.crc_mode else stored) != e.crc:
            raise ArchiveError(f"entry {e.name.hex()}: CRC mismatch")
        return data


def inflate(stored, name):
    d = zlib.decompressobj()
    try:
        data = d.decompress(stored) + d.flush()
    except zlib.error as exc:
        raise ArchiveError(f"entry {name.hex()}: bad zlib data ({exc})") from None
    if not d.eof or d.unused_data:
        raise ArchiveError(f"entry {name.hex()}: bad zlib data (truncated or followed by other bytes)")
    return data


def mode_of(args):
    return "ext" if args.ext else "carrier" if args.carrier else "plain"


def list_entries(args):
    with Archive(args.archive, mode_of(args)) as arc:
        for e in arc.entries:
            print(e.name.hex(), e.offset, e.size, e.raw, e.time, e.crc, e.crc_mode)


def cat(args):
    try:
        name = bytes.fromhex(args.namehex)
    except ValueError:
        raise ArchiveError(f"{args.namehex}: not hexadecimal") from None
    with Archive(args.archive, mode_of(args)) as arc:
        data = arc.read(arc.find(name))
    sys.stdout.buffer.write(data)
    sys.stdout.buffer.flush()


def host_parts(name):
    """The path components of an entry name, refusing names that would leave the target folder."""
    try:
        text = name.decode("cp932")
    except UnicodeDecodeError:
        raise ArchiveError(f"entry {name.hex()}: not a cp932 name") from None
    if text.startswith(("\\", "/")) or re.match(r"[A-Za-z]:", text):
        raise ArchiveError(f"entry {text!r}: absolute name or drive")
    parts = text.replace("/", "\\").split("\\")
    if ".." in parts or "" in parts or "\0" in text:
        raise ArchiveError(f"entry {text!r}: '..', empty or NUL component")
    return parts


def extract(args):
    with Archive(args.archive, mode_of(args)) as arc:
        targets = [(e, os.path.join(args.outfolder, *host_parts(e.name))) for e in arc.entries]
        for e, path in targets:
            data = arc.read(e)
            os.makedirs(os.path.dirname(path), exist_ok=True)
            write_file(path, data)


def parse_args(argv):
    parser = argparse.ArgumentParser(prog="vfarchive.py", description=__doc__.split("\n")[0])
    commands = parser.add_subparsers(dest="command", required=True)

    p = commands.add_parser("pack", help="pack the files of FOLDER into OUT")
    p.add_argument("out")
    p.add_argument("folder")
    p.add_argument("--version", type=int, choices=VERSIONS, default=102)
    p.add_argument("--raw-ext", default="", help="comma-separated name suffixes stored raw (from version 101)")
    p.add_argument("--crc-mode", type=int, choices=(0, 1), default=0)
    where = p.add_mutually_exclusive_group()
    where.add_argument("--ext", action="store_true", help="index in a side file with the extension .ext")
    where.add_argument("--carrier", metavar="PROGRAM", help="append the archive and trailer to PROGRAM's bytes")
    p.set_defaults(run=pack)

    for name, run, extra in (("list", list_entries, ()), ("cat", cat, ("namehex",)),
                             ("extract", extract, ("outfolder",))):
        p = commands.add_parser(name)
        p.add_argument("archive")
        for arg in extra:
            p.add_argument(arg)
        where = p.add_mutually_exclusive_group()
        where.add_argument("--ext", action="store_true", help="the index is in the side file with extension .ext")
        where.add_argument("--carrier", action="store_true", help="the archive ends with the qz trailer")
        p.set_defaults(run=run)
    return parser.parse_args(argv)


def main(argv=None):
    args = parse_args(argv)
    try:
        args.run(args)
    except (ArchiveError, OSError) as exc:
        print(f"vfarchive.py: {exc}", file=sys.stderr)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
