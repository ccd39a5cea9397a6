#!/usr/bin/env python3
"""Draws the sample title's pictures as PNG files (RGB, or RGBA where a picture has an alpha).

    make_pictures.py OUT/NAME.png ...

NAME picks the drawing: gradient (colour ramps across and down), shapes (flat discs, bars and a
triangle over a soft background), noise (smoothed random colours with grain), halo (a soft
light ring in an alpha that fades out from it) or figure0 .. figure3 (the steps of a hopping
figure on a transparent ground), each 96 x 72; petal (a pink petal of 12 x 8 with soft edges,
the film's falling sprite); mapbase and maphover (the menu screen's image map, 240 x 120, black
transparent); or digits (a glyph sheet: the digits 0 to 9 as lit segments in cells
of 16 x 24, five across and two down, on a transparent ground); buttonnormal, buttonhover,
buttonpressed, buttonclicked (the menu screen's button of 120 x 32 in its four looks: a rounded
plate, lighter under the pointer, darker and sunken while pressed, green once clicked). Every picture is drawn from a
fixed seed, so each build writes the same bytes.

The controls screen's strips, cells side by side: ctltrack (the slider's track, 2 cells of 16 x 8:
empty and filled), ctlthumb (its thumb, 3 cells of 12 x 20: normal, hover, pressed), ctlbuttons
(its step buttons, 6 cells of 16 x 16: the left arrow and the right arrow, each normal, hover,
pressed), ctlvtrack, ctlvthumb and ctlvbuttons (the vertical scrollbar's: 2 cells of 12 x 16,
normal and pressed; 3 of 12 x 24; 6 of 12 x 12 with the up and down arrows) and ctlgauge (the
gauge's bar, 2 cells of 16 x 12: the value in green, the lost part in red). The tracks and the bar
have a lighter first column (row) so that their tiling shows.

The selection menu's strips: menustrip (seven cells of 12 x 12 side by side: up arrow, up arrow
pressed, down arrow, down arrow pressed, track, track pressed, thumb) and menucheck (two cells of
10 x 10: a tick on the menu's ground, and on the hover row's highlight).
"""
import math
import os
import random
import struct
import sys
import zlib

WIDTH, HEIGHT = 96, 72  # of every picture but the glyph sheet


def clamp(v):
    return max(0, min(255, int(round(v))))


def gradient(rng):
    return [[(clamp(255 * x / (WIDTH - 1)), clamp(255 * y / (HEIGHT - 1)),
              clamp(255 * (1 - (x + y) / (WIDTH + HEIGHT - 2))))
             for x in range(WIDTH)] for y in range(HEIGHT)]


def shapes(rng):
    rows = [[(clamp(40 + y), clamp(60 + x // 2), 120) for x in range(WIDTH)] for y in range(HEIGHT)]
    for _ in range(6):
        cx, cy, r = rng.randrange(WIDTH), rng.randrange(HEIGHT), rng.randrange(6, 20)
        color = (rng.randrange(256), rng.randrange(256), rng.randrange(256))
        for y in range(max(0, cy - r), min(HEIGHT, cy + r + 1)):
            for x in range(max(0, cx - r), min(WIDTH, cx + r + 1)):
                if (x - cx) ** 2 + (y - cy) ** 2 <= r * r:
                    rows[y][x] = color
    for i in range(4):  # bars
        for y in range(8 + 16 * i, 12 + 16 * i):
            for x in range(4, WIDTH // 3):
                rows[y][x] = (255, 255 - 60 * i, 60 * i)
    for y in range(HEIGHT // 2, HEIGHT):  # a triangle standing on the bottom edge
        half = (y - HEIGHT // 2) * 2 // 3
        for x in range(WIDTH * 3 // 4 - half, WIDTH * 3 // 4 + half + 1):
            if 0 <= x < WIDTH:
                rows[y][x] = (250, 250, 240)
    return rows


def noise(rng):
    cell = 12
    gw, gh = WIDTH // cell + 2, HEIGHT // cell + 2
    grid = [[[rng.randrange(256) for _ in range(3)] for _ in range(gw)] for _ in range(gh)]

    def smooth(t):
        return t * t * (3 - 2 * t)

    rows = []
    for y in range(HEIGHT):
        gy, fy = divmod(y, cell)
        ty = smooth(fy / cell)
        row = []
        for x in range(WIDTH):
            gx, fx = divmod(x, cell)
            tx = smooth(fx / cell)
            pixel = []
            for c in range(3):
                top = grid[gy][gx][c] * (1 - tx) + grid[gy][gx + 1][c] * tx
                bottom = grid[gy + 1][gx][c] * (1 - tx) + grid[gy + 1][gx + 1][c] * tx
                pixel.append(clamp(top * (1 - ty) + bottom * ty + rng.gauss(0, 10)))
            row.append(tuple(pixel))
        rows.append(row)
    return rows


def halo(rng):
    """A warm ring, opaque on its line and fading to nothing within 14 pixels of it."""
    cx, cy, radius = WIDTH / 2, HEIGHT / 2, 24
    rows = []
    for y in range(HEIGHT):
        row = []
        for x in range(WIDTH):
            off = abs(math.hypot(x - cx, y - cy) - radius)
            row.append((255, clamp(230 - 4 * off), clamp(150 - 6 * off), clamp(255 * (1 - off / 14))))
        rows.append(row)
    return rows


def figure(step):
    """A hopping figure (a head, a body and two legs) at the height of its step in four, with a
    shadow on the ground; transparent around it."""
    def draw(rng):
        lift = (0, 10, 16, 10)[step]
        clear, body, head, shade = (0, 0, 0, 0), (40, 90, 200, 255), (250, 210, 170, 255), (30, 30, 30, 255)
        rows = [[clear] * WIDTH for _ in range(HEIGHT)]
        cx, feet = WIDTH // 2, HEIGHT - 6 - lift
        for y in range(HEIGHT):
            for x in range(WIDTH):
                if ((x - cx) / (12 - lift / 3)) ** 2 + ((y - (HEIGHT - 4)) / 2) ** 2 <= 1:
                    rows[y][x] = shade
                elif (x - cx) ** 2 + (y - (feet - 36)) ** 2 <= 36:
                    rows[y][x] = head
                elif abs(x - cx) <= 6 and feet - 30 <= y <= feet - 12:
                    rows[y][x] = body
                elif feet - 12 < y <= feet and (abs(x - cx + 3) <= 1 or abs(x - cx - 3) <= 1):
                    rows[y][x] = body
        return rows
    return draw


# The segments of a digit cell as (left, top, right, bottom), right and bottom exclusive: top,
# upper right, lower right, bottom, lower left, upper left, middle.
SEGMENTS = ((3, 2, 13, 5), (11, 3, 14, 12), (11, 12, 14, 21), (3, 19, 13, 22), (2, 12, 5, 21), (2, 3, 5, 12),
            (3, 10, 13, 13))
LIT = ("012345", "12", "01346", "01236", "1256", "02356", "023456", "012", "0123456", "012356")
CELL_W, CELL_H = 16, 24


def digits(rng):
    """Ten cells in digit order, each lit segment orange with a darker rim; clear elsewhere."""
    rows = [[(0, 0, 0, 0)] * (CELL_W * 5) for _ in range(CELL_H * 2)]
    for digit, lit in enumerate(LIT):
        ox, oy = digit % 5 * CELL_W, digit // 5 * CELL_H
        for segment in lit:
            left, top, right, bottom = SEGMENTS[int(segment)]
            for y in range(top, bottom):
                for x in range(left, right):
                    rim = x in (left, right - 1) or y in (top, bottom - 1)
                    rows[oy + y][ox + x] = (200, 110, 20, 255) if rim else (255, 190, 60, 255)
    return rows


def petal(rng):
    """A pink petal, 12 x 8: an ellipse paler towards its tip, with soft edges; clear elsewhere."""
    rows = []
    for y in range(8):
        row = []
        for x in range(12):
            d = ((x - 5.5) / 6) ** 2 + ((y - 3.5) / 4) ** 2
            row.append((255, clamp(150 + 8 * x), clamp(190 + 5 * x), clamp(255 * min(1, 3 * (1 - d)))))
        rows.append(row)
    return rows


BUTTON_W, BUTTON_H = 120, 32
BUTTON_LOOKS = {"normal": ((70, 90, 160), 0), "hover": ((110, 140, 220), 0), "pressed": ((40, 50, 110), 1),
                "clicked": ((60, 160, 90), 1)}


def button(look):
    """A plate with corners cut round (transparent), a light upper and a dark lower rim, swapped
    when the look is sunken."""
    face, sunken = BUTTON_LOOKS[look]

    def draw(rng):
        radius = 6
        rows = []
        for y in range(BUTTON_H):
            row = []
            for x in range(BUTTON_W):
                dx = max(radius - x, x - (BUTTON_W - 1 - radius), 0)
                dy = max(radius - y, y - (BUTTON_H - 1 - radius), 0)
                if dx * dx + dy * dy > radius * radius:
                    row.append((0, 0, 0, 0))
                    continue
                rim = y < 3 or x < 3
                low = y >= BUTTON_H - 3 or x >= BUTTON_W - 3
                shade = 60 if rim != bool(sunken) and (rim or low) else -40 if (rim or low) else 0
                row.append(tuple(clamp(c + shade) for c in face) + (255,))
            rows.append(row)
        return rows
    return draw


# The image map of the menu screen, 240 x 120: a gate, a pond and a tower on green ground, as the
# regions of menu_map.rgn.json lie (boxes inclusive); the hover picture shows the three lit.
MAP_W, MAP_H = 240, 120
MAP_PLACES = (("gate", (20, 20, 79, 89)), ("pond", (100, 20, 169, 89)), ("tower", ((180, 110), (205, 10), (230, 110))))


def map_place(x, y):
    """The place under the pixel centre (x + 1/2, y + 1/2), or None."""
    px, py = x + 0.5, y + 0.5
    (_, (gl, gt, gr, gb)), (_, (pl, pt, pr, pb)), (_, ((ax, ay), (bx, by), (cx, cy))) = MAP_PLACES
    if gl <= x <= gr and gt <= y <= gb:
        return "gate"
    if ((px - (pl + pr + 1) / 2) / ((pr + 1 - pl) / 2)) ** 2 + ((py - (pt + pb + 1) / 2) / ((pb + 1 - pt) / 2)) ** 2 <= 1:
        return "pond"
    side = [(qx - px) * (ry - py) - (qy - py) * (rx - px) for (qx, qy), (rx, ry) in
            (((ax, ay), (bx, by)), ((bx, by), (cx, cy)), ((cx, cy), (ax, ay)))]
    return "tower" if all(v <= 0 for v in side) or all(v >= 0 for v in side) else None


def image_map(colours):
    def draw(rng):
        return [[colours.get(map_place(x, y), colours[None]) for x in range(MAP_W)] for y in range(MAP_H)]
    return draw


DRAWINGS = {"gradient": gradient, "shapes": shapes, "noise": noise, "halo": halo, "digits": digits, "petal": petal,
            **{f"figure{step}": figure(step) for step in range(4)},
            **{f"button{look}": button(look) for look in BUTTON_LOOKS},
            "mapbase": image_map({None: (60, 110, 70), "gate": (150, 150, 160), "pond": (40, 80, 170),
                                  "tower": (140, 90, 60)}),
            "maphover": image_map({None: (0, 0, 0), "gate": (250, 215, 90), "pond": (120, 220, 255),
                                   "tower": (255, 150, 60)})}
# Drawings whose black is their transparent colour.
KEYED_BLACK = {"mapbase", "maphover"}


def png(rows, keyed=False):
    """A PNG file of rows of (red, green, blue) or (red, green, blue, alpha) pixels, unfiltered;
    keyed, black is its transparent colour."""
    height, width, channels = len(rows), len(rows[0]), len(rows[0][0])

    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))

    header = struct.pack(">IIBBBBB", width, height, 8, 6 if channels == 4 else 2, 0, 0, 0)
    pixels = b"".join(b"\0" + bytes(v for pixel in row for v in pixel) for row in rows)
    key = chunk(b"tRNS", bytes(6)) if keyed else b""
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) + key + chunk(b"IDAT", zlib.compress(pixels, 9)) +
            chunk(b"IEND", b""))


STRIP_CELL, CHECK_CELL = 12, 10
MENU_GROUND, MENU_HIGHLIGHT = (24, 40, 72), (40, 96, 160)


def menustrip(rng):
    """Arrows as triangles on plates (lighter while pressed), a dark track, a light thumb."""
    rows = [[(0, 0, 0)] * (STRIP_CELL * 7) for _ in range(STRIP_CELL)]
    for cell in range(7):
        for y in range(STRIP_CELL):
            for x in range(STRIP_CELL):
                edge = x in (0, STRIP_CELL - 1) or y in (0, STRIP_CELL - 1)
                if cell < 4:
                    pressed = cell % 2
                    tip = y - 3 if cell < 2 else STRIP_CELL - 4 - y  # the arrow's row from its tip
                    inside = 0 <= tip <= 5 and abs(x - 5.5) <= tip * 0.9 + 0.5
                    colour = (230, 230, 240) if inside else (90 + 50 * pressed, 100 + 50 * pressed, 140 + 50 * pressed)
                elif cell < 6:
                    colour = (40 + 40 * (cell - 4), 50 + 40 * (cell - 4), 80 + 40 * (cell - 4))
                else:
                    colour = (170, 190, 230)
                rows[y][cell * STRIP_CELL + x] = (60, 60, 80) if edge and cell != 4 and cell != 5 else colour
    return rows


def menucheck(rng):
    """A tick of three pixels' width, on the ground and on the highlight."""
    rows = []
    for y in range(CHECK_CELL):
        row = []
        for cell, ground in enumerate((MENU_GROUND, MENU_HIGHLIGHT)):
            for x in range(CHECK_CELL):
                on = (x <= 4 and abs(y - (x + 4)) <= 1) or (x >= 4 and abs(y - (12 - x)) <= 1)
                row.append((120, 240, 120) if on and 1 <= y <= 8 else ground)
        rows.append(row)
    return rows


DRAWINGS.update(menustrip=menustrip, menucheck=menucheck)

# The controls screen's strips: (cells, cell width, cell height).
CONTROL_STRIPS = {"ctltrack": (2, 16, 8), "ctlthumb": (3, 12, 20), "ctlbuttons": (6, 16, 16), "ctlvtrack": (2, 12, 16),
                  "ctlvthumb": (3, 12, 24), "ctlvbuttons": (6, 12, 12), "ctlgauge": (2, 16, 12)}


def control_pixel(name, cell, x, y, w, h):
    """Pixel (x, y) of cell of one of the control strips."""
    vertical = name.startswith("ctlv")
    along, across, length, width = (y, x, h, w) if vertical else (x, y, w, h)
    if name.endswith("track") or name == "ctlgauge":
        base = ((16, 18, 26), (70, 120, 200)) if name.endswith("track") else ((60, 190, 90), (200, 60, 50))
        colour = base[cell]
        lift = 40 if along == 0 else 25 if name == "ctlgauge" and across < width // 3 else 0
        return tuple(min(255, c + lift) for c in colour)
    edge = x in (0, w - 1) or y in (0, h - 1)
    state = cell % 3
    plate = ((110, 110, 130), (150, 150, 180), (80, 80, 100))[state]
    if name.endswith("thumb"):
        return (50, 50, 70) if edge else plate
    # An arrow pointing to the start (buttons 0) or the end (buttons 1) of the axis.
    tip = along - 3 if cell < 3 else length - 4 - along
    inside = 0 <= tip <= length - 7 and abs(across - (width - 1) / 2) <= tip * 0.8 + 0.5
    return (50, 50, 70) if edge else (235, 235, 240) if inside else plate


def control_strip(name):
    cells, w, h = CONTROL_STRIPS[name]
    return lambda rng: [[control_pixel(name, x // w, x % w, y, w, h) for x in range(cells * w)] for y in range(h)]


DRAWINGS.update({name: control_strip(name) for name in CONTROL_STRIPS})


def main(paths):
    if not paths:
        sys.exit(__doc__)
    for path in paths:
        name = os.path.splitext(os.path.basename(path))[0]
        if name not in DRAWINGS:
            sys.exit(f"make_pictures: no drawing named {name!r} (known: {', '.join(DRAWINGS)})")
        rng = random.Random(f"vela sample {name}")
        with open(path, "wb") as f:
            f.write(png(DRAWINGS[name](rng), name in KEYED_BLACK))


if __name__ == "__main__":
    main(sys.argv[1:])
