#!/usr/bin/python3
"""TGA and icon files written by ImageMagick and netpbm, for the image-surface tests.

    /usr/bin/python3 make_tool_tga_icons.py [DIR]     (DIR: tests/data/tga_icon by default)

The pictures: ImageMagick's built-in rose scaled to 16 x 12, and the same with an opacity that
is 0 in the four left columns and rises from about 0.3 to 0.9 elsewhere. Written:
  TGAs by ImageMagick: grey, colour-mapped, 24 and 32 bits (the opacity picture), each raw and
  run-length, one of the two with the bottom-left origin and the other with the top-left one;
  icons by ImageMagick: 1, 4 and 8 bits (AND mask where the opacity is below one half) and
  32 bits with the opacity (ImageMagick writes no 24-bit icons);
  icons by netpbm: ppmtowinicon with an AND mask from -andpgms at 1, 4 (12 colours, leaving
  entries free for the key colour of the masked pixels, which here keep their colours: no
  -truetransparent) and 8 bits, and pamtowinicon's 32 bits (it sets the AND mask on every pixel
  that is less than opaque).
Each file's header is checked for the type, depth and origin meant.

Needs ImageMagick 6 at /usr/bin/convert (the `convert` first on PATH may be another program) and
netpbm's ppmtowinicon and pamtowinicon; the tests only read the files.
"""
import os
import struct
import subprocess
import sys
import tempfile

IM = "/usr/bin/convert"
ROSE = ["rose:", "-resize", "16x12!"]
FADED = ROSE + ["-alpha", "set", "-channel", "A", "-fx", "i<4 ? 0 : 0.3+(i+j)/40", "+channel"]

# name: (source, ImageMagick options, TGA type, depth, descriptor)
TGAS = {
    "grey.tga": (ROSE, ["-type", "Grayscale"], 3, 8, 0x00),
    "grey-rle-top.tga": (ROSE, ["-type", "Grayscale", "-compress", "RLE", "-orient", "TopLeft"], 11, 8, 0x20),
    "map-top.tga": (ROSE, ["-type", "Palette", "-orient", "TopLeft"], 1, 8, 0x20),
    "map-rle.tga": (ROSE, ["-type", "Palette", "-compress", "RLE"], 9, 8, 0x00),
    "rgb.tga": (ROSE, ["-type", "TrueColor"], 2, 24, 0x00),
    "rgb-rle-top.tga": (ROSE, ["-type", "TrueColor", "-compress", "RLE", "-orient", "TopLeft"], 10, 24, 0x20),
    "rgba-top.tga": (FADED, ["-type", "TrueColorAlpha", "-orient", "TopLeft"], 2, 32, 0x28),
    "rgba-rle.tga": (FADED, ["-type", "TrueColorAlpha", "-compress", "RLE"], 10, 32, 0x08),
}

# name: (ImageMagick options on the opacity picture, bits per pixel)
MAGICK_ICONS = {
    "im-mono.ico": (["-channel", "A", "-threshold", "50%", "+channel", "-colors", "2"], 1),
    "im-four.ico": (["-channel", "A", "-threshold", "50%", "+channel", "-colors", "16"], 4),
    "im-map.ico": (["-channel", "A", "-threshold", "50%", "+channel", "-type", "Palette"], 8),
    "im-rgba.ico": (["-type", "TrueColorAlpha"], 32),
}

# name: (colours, ppmtowinicon options, bits per pixel)
NETPBM_ICONS = {
    "pbm-mono.ico": (2, ["-truetransparent"], 1),
    "pbm-four.ico": (12, [], 4),
    "pbm-map.ico": (256, ["-truetransparent"], 8),
}


def magick(*args):
    return subprocess.run([IM, *args], check=True, stdout=subprocess.PIPE).stdout


def check(name, data, offsets, expected):
    found = tuple(struct.unpack_from("<" + f, data, o)[0] for o, f in offsets)
    if found != expected:
        sys.exit("%s: header %r, meant %r" % (name, found, expected))


def check_icon(name, data, bits):
    # an icon directory of one image in BMP form, at the depth meant
    check(name, data, ((0, "I"), (4, "H"), (22, "I"), (36, "H")), (0x10000, 1, 40, bits))


def main(folder):
    os.makedirs(folder, exist_ok=True)
    files = {}
    for name, (source, options, kind, depth, descriptor) in TGAS.items():
        files[name] = magick(*source, *options, "TGA:-")
        check(name, files[name], ((2, "B"), (16, "B"), (17, "B")), (kind, depth, descriptor))

    for name, (options, bits) in MAGICK_ICONS.items():
        files[name] = magick(*FADED, *options, "ICO:-")
        check_icon(name, files[name], bits)

    with tempfile.TemporaryDirectory() as work:
        mask = os.path.join(work, "mask.pgm")  # white where opaque
        magick(*FADED, "-alpha", "extract", "-threshold", "50%", "PGM:" + mask)
        for name, (colours, options, bits) in NETPBM_ICONS.items():
            picture = os.path.join(work, "rose.ppm")
            magick(*ROSE, "+dither", "-colors", str(colours), "PPM:" + picture)
            files[name] = subprocess.run(["ppmtowinicon", "-andpgms", *options, picture, mask],
                                         check=True, stdout=subprocess.PIPE).stdout
            check_icon(name, files[name], bits)
        faded = magick(*FADED, "PAM:-")
        files["pam-rgba.ico"] = subprocess.run(["pamtowinicon"], input=faded, check=True,
                                               stdout=subprocess.PIPE, stderr=subprocess.DEVNULL).stdout
        check_icon("pam-rgba.ico", files["pam-rgba.ico"], 32)

    for name, data in files.items():
        with open(os.path.join(folder, name), "wb") as f:
            f.write(data)


if __name__ == "__main__":
    main(sys.argv[1] if len(sys.argv) > 1 else
         os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "data", "tga_icon"))
