#!/usr/bin/env python3
"""Checks the wall between the engine and the host system.

Only platform/ (and the companion library) may talk to the host's libraries and services. The
engine folders are compiled with the host libraries' headers in reach (they sit in
/usr/include), so nothing but this check stops an engine file from using them. It fails when an
engine file
  - includes a header of a host library or of the operating system (SDL, FreeType, fontconfig,
    iconv, dlopen, sockets, POSIX headers, FluidSynth, libcdio, FFmpeg, X11, ICU, libwebsockets),
    <filesystem> or <chrono>;
  - reads the environment, the host file system through std::filesystem, the host clock or the
    kernel's /proc, /sys or /dev files;
and when a file of platform/, core/ or graphics/ includes a header of a folder above its own
(platform <- core <- graphics <- text, media, net <- objects <- script <- app).

Usage: platform_wall.py SOURCE_ROOT
"""
import pathlib
import re
import sys

ENGINE = ["core", "script", "app", "objects", "graphics", "text", "media", "net"]
LAYER = {"platform": 0, "core": 1, "graphics": 2, "text": 3, "media": 3, "net": 3,
         "objects": 4, "script": 5, "app": 6}
# The folders whose upward includes are refused.
LAYERED = ["platform", "core", "graphics"]

HOST_HEADER = re.compile(
    r"""(SDL2?/|SDL[_\w]*\.h$|ft2build\.h|freetype2?/|fontconfig/|iconv\.h|dlfcn\.h|sys/|unistd\.h|
         fcntl\.h|netinet/|arpa/|netdb\.h|poll\.h|dirent\.h|pwd\.h|spawn\.h|pthread\.h|termios\.h|
         fluidsynth|cdio/|libav\w*/|libsw\w*/|X11/|unicode/|libwebsockets|filesystem$|chrono$)""", re.X)
INCLUDE = re.compile(r'^[ \t]*#[ \t]*include\s*(?:<([^>]+)>|"([^"]+)"|([A-Z_]\w*))', re.M)
HOST_CALL = re.compile(
    r"""\b(getenv|secure_getenv|setenv|unsetenv|putenv|popen|clock_gettime|gettimeofday|
           localtime(_r)?|gmtime(_r)?|getcwd|chdir)\s*\(|\btime\s*\(\s*(nullptr|NULL|0)\s*\)|
       \bstd::filesystem\b|"/(proc|sys|dev)/""", re.X)


def code_only(text):
    """The text with its comments blanked out (newlines kept), string literals kept."""
    out, i, n = [], 0, len(text)
    while i < n:
        c = text[i]
        if text.startswith("//", i):
            while i < n and text[i] != "\n":
                i += 1
        elif text.startswith("/*", i):
            end = text.find("*/", i + 2)
            end = n if end < 0 else end + 2
            out.append("\n" * text.count("\n", i, end))
            i = end
        elif c in "\"'":
            j = i + 1
            while j < n and text[j] != c and text[j] != "\n":
                j += 2 if text[j] == "\\" else 1
            out.append(text[i:j + 1])
            i = j + 1
        else:
            out.append(c)
            i += 1
    return "".join(out)


def line_of(text, pos):
    return text.count("\n", 0, pos) + 1


def check(root):
    faults, scanned = [], 0
    for folder in sorted(LAYER):
        for path in sorted((root / folder).glob("*")):
            if path.suffix not in (".h", ".cpp"):
                continue
            scanned += 1
            name = f"{folder}/{path.name}"
            text = code_only(path.read_text(encoding="utf-8", errors="replace"))
            for m in INCLUDE.finditer(text):
                header = m.group(1) or m.group(2) or m.group(3)
                where = f"{name}:{line_of(text, m.start())}"
                if folder in ENGINE and (m.group(3) or HOST_HEADER.search(header)):
                    faults.append(f"{where}: includes the host header {header}")
                top = header.split("/")[0] if "/" in header else None
                if folder in LAYERED and top in LAYER and LAYER[top] > LAYER[folder]:
                    faults.append(f"{where}: {folder}/ includes {header} from a folder above it")
            if folder in ENGINE:
                for m in HOST_CALL.finditer(text):
                    faults.append(f"{name}:{line_of(text, m.start())}: uses the host directly: {m.group(0)}")
    if scanned == 0:
        faults.append(f"no sources found under {root}")
    return faults


def main():
    faults = check(pathlib.Path(sys.argv[1]))
    for fault in faults:
        print(fault)
    return 1 if faults else 0


if __name__ == "__main__":
    sys.exit(main())
