#!/usr/bin/env python3
"""Draws the program's pictures into resources/: the icon (5), the preview
window's button strip (131) and the list's state marks (132, 133, 134, 137).

Only the standard library: the pixels are computed here and the BMP and ICO
bytes written by hand. Run it again after changing a picture and commit the
files it writes; the build never runs it.

    python3 scripts/draw_resources.py [output folder]
"""
import math
import os
import struct
import sys

# ---------------------------------------------------------------------------
# File writers.

# The 16-colour palette of the state marks: the classic system colours, so
# the marks look the same on every display depth. White is the list's mask
# colour, so white pixels are transparent.
PALETTE16 = [
    (0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0),
    (0, 0, 128), (128, 0, 128), (0, 128, 128), (192, 192, 192),
    (128, 128, 128), (255, 0, 0), (0, 255, 0), (255, 255, 0),
    (0, 0, 255), (255, 0, 255), (0, 255, 255), (255, 255, 255),
]


def bmp_file(info_and_pixels):
    size = 14 + len(info_and_pixels)
    header_size = struct.unpack_from("<I", info_and_pixels, 0)[0]
    palette_size = struct.unpack_from("<I", info_and_pixels, 32)[0] * 4
    offset = 14 + header_size + palette_size
    return b"BM" + struct.pack("<IHHI", size, 0, 0, offset) + info_and_pixels


def info_header(width, height, bits, colours=0, image_size=0):
    return struct.pack("<IiiHHIIiiII", 40, width, height, 1, bits, 0, image_size,
                       2835, 2835, colours, colours)


def write_bmp4(path, rows):
    """rows: top-down lists of palette indices."""
    height = len(rows)
    width = len(rows[0])
    stride = ((width * 4 + 31) // 32) * 4
    pixels = bytearray()
    for row in reversed(rows):
        line = bytearray(stride)
        for x, index in enumerate(row):
            if x % 2 == 0:
                line[x // 2] |= index << 4
            else:
                line[x // 2] |= index
        pixels += line
    palette = b"".join(struct.pack("<BBBB", b, g, r, 0) for (r, g, b) in PALETTE16)
    data = info_header(width, height, 4, 16, len(pixels)) + palette + bytes(pixels)
    with open(path, "wb") as out:
        out.write(bmp_file(data))


def write_bmp24(path, rows):
    """rows: top-down lists of (r, g, b)."""
    height = len(rows)
    width = len(rows[0])
    stride = ((width * 24 + 31) // 32) * 4
    pixels = bytearray()
    for row in reversed(rows):
        line = bytearray()
        for (r, g, b) in row:
            line += bytes((b, g, r))
        line += bytes(stride - len(line))
        pixels += line
    data = info_header(width, height, 24, 0, len(pixels)) + bytes(pixels)
    with open(path, "wb") as out:
        out.write(bmp_file(data))


def write_ico(path, images):
    """images: list of top-down rows of (r, g, b, a), one per size."""
    entries = b""
    blobs = b""
    offset = 6 + 16 * len(images)
    for rows in images:
        size = len(rows)
        pixels = bytearray()
        for row in reversed(rows):
            for (r, g, b, a) in row:
                pixels += bytes((b, g, r, a))
        mask_stride = ((size + 31) // 32) * 4
        mask = bytearray()
        for row in reversed(rows):
            line = bytearray(mask_stride)
            for x, (_, _, _, a) in enumerate(row):
                if a == 0:
                    line[x // 8] |= 0x80 >> (x % 8)
            mask += line
        blob = info_header(size, size * 2, 32, 0, len(pixels) + len(mask)) + pixels + mask
        entries += struct.pack("<BBBBHHII", size % 256, size % 256, 0, 0, 1, 32, len(blob),
                               offset)
        blobs += blob
        offset += len(blob)
    with open(path, "wb") as out:
        out.write(struct.pack("<HHH", 0, 1, len(images)) + entries + blobs)


# ---------------------------------------------------------------------------
# Drawing helpers: shapes are functions of a point that give a colour with
# coverage; pictures are sampled several times per pixel for smooth edges.

def clamp(value, low=0.0, high=1.0):
    return max(low, min(high, value))


def mix(a, b, t):
    return tuple(a[i] + (b[i] - a[i]) * t for i in range(len(a)))


def over(top, bottom):
    """Porter-Duff 'over' of two premultiplied-free RGBA tuples in 0..1."""
    ta = top[3]
    ba = bottom[3]
    alpha = ta + ba * (1 - ta)
    if alpha <= 0:
        return (0.0, 0.0, 0.0, 0.0)
    rgb = tuple((top[i] * ta + bottom[i] * ba * (1 - ta)) / alpha for i in range(3))
    return rgb + (alpha,)


def render(width, height, shade, samples=4):
    """shade(x, y) -> (r, g, b, a) in 0..1 at a point; returns rows of
    8-bit RGBA averaged over samples x samples points per pixel."""
    rows = []
    for py in range(height):
        row = []
        for px in range(width):
            acc = [0.0, 0.0, 0.0, 0.0]
            for sy in range(samples):
                for sx in range(samples):
                    x = px + (sx + 0.5) / samples
                    y = py + (sy + 0.5) / samples
                    r, g, b, a = shade(x, y)
                    acc[0] += r * a
                    acc[1] += g * a
                    acc[2] += b * a
                    acc[3] += a
            n = samples * samples
            alpha = acc[3] / n
            if alpha > 0:
                colour = tuple(acc[i] / acc[3] for i in range(3))
            else:
                colour = (0.0, 0.0, 0.0)
            row.append(tuple(int(round(clamp(c) * 255)) for c in colour) +
                       (int(round(clamp(alpha) * 255)),))
        rows.append(row)
    return rows


def rgb(hex_text):
    value = int(hex_text.lstrip("#"), 16)
    return ((value >> 16) / 255.0, ((value >> 8) & 255) / 255.0, (value & 255) / 255.0)


# ---------------------------------------------------------------------------
# Icon 5: an oak cask with iron hoops, seen slightly from above.

def cask_shade(size):
    s = size / 32.0
    cx = 16.0 * s
    top = 4.5 * s
    bottom = 29.0 * s
    lid_ry = 2.6 * s
    belly = 12.2 * s  # half width at the middle
    rim = 9.6 * s     # half width at the ends
    oak_light = rgb("#d9a35b")
    oak_mid = rgb("#b07434")
    oak_dark = rgb("#6b3d17")
    iron_light = rgb("#9aa3ab")
    iron_dark = rgb("#2f3438")
    lid_colour = rgb("#e3b874")
    lid_ring = rgb("#7a4a1e")
    outline = rgb("#3a2410")
    hoops = [(0.13, 0.075), (0.34, 0.06), (0.66, 0.06), (0.87, 0.075)]
    if size < 24:
        # Four hoops blur together at the small size: two read better.
        hoops = [(0.2, 0.1), (0.8, 0.1)]

    def half_width(y):
        t = (y - top) / (bottom - top)  # 0 at the lid, 1 at the foot
        bulge = 1.0 - (2.0 * t - 1.0) ** 2
        return rim + (belly - rim) * bulge

    def shade(x, y):
        colour = None
        # Body: between the lid ellipse and the foot ellipse.
        if top <= y <= bottom + lid_ry:
            hw = half_width(clamp(y, top, bottom))
            dx = (x - cx) / hw
            foot_ok = y <= bottom or ((x - cx) / rim) ** 2 + ((y - bottom) / lid_ry) ** 2 <= 1
            if abs(dx) <= 1 and foot_ok:
                # Cylinder light from the upper left.
                angle = math.asin(clamp(dx, -1, 1))
                light = clamp(0.55 + 0.55 * math.cos(angle + 0.55))
                base = mix(oak_dark, oak_light, light)
                # Staves: darker seams at fixed angles.
                seam = math.sin((angle + 1.5708) * 3.5)
                if abs(seam) < 0.13:
                    base = mix(base, oak_dark, 0.55)
                t = (y - top) / (bottom - top)
                # The curved hoop bands follow the body's perspective.
                for centre, half in hoops:
                    curve = 0.05 * math.sqrt(max(0.0, 1 - dx * dx))
                    if abs(t - centre - curve) < half:
                        band = (t - centre - curve) / half
                        metal = mix(iron_light, iron_dark, clamp(0.5 + 0.5 * band))
                        base = mix(iron_dark, metal, clamp(0.35 + 0.65 * light))
                # A thin outline along the sides.
                if abs(dx) > 1 - 0.9 / hw:
                    base = mix(base, outline, 0.8)
                colour = base + (1.0,)
        # Lid on top of everything.
        lid = ((x - cx) / rim) ** 2 + ((y - top) / lid_ry) ** 2
        if lid <= 1:
            inner = ((x - cx) / (rim - 1.3 * s)) ** 2 + ((y - top) / (lid_ry - 0.8 * s)) ** 2
            if inner <= 1:
                grain = 0.06 * math.sin((x - cx) * 1.9 / s)
                lid_fill = mix(lid_colour, rgb("#c28a48"), clamp(0.3 + grain + (y - top) / (4 * lid_ry)))
                colour = lid_fill + (1.0,)
            else:
                colour = lid_ring + (1.0,)
        if colour is None:
            return (0.0, 0.0, 0.0, 0.0)
        return colour

    return shade


def draw_icon():
    return [render(size, size, cask_shade(size), samples=6) for size in (48, 32, 16)]


# ---------------------------------------------------------------------------
# Bitmap 131: three rounded buttons, prev, next and write. The preview window
# draws the strip at (2, 2) and hit-tests x 3..43, 46..87 and 90..131, y 3..21,
# so the buttons sit at 1..41, 44..85 and 88..129, rows 1..19, of the strip.

BUTTONS = [("prev", 1, 41), ("next", 44, 85), ("write", 88, 129)]
STRIP_WIDTH = 130
STRIP_HEIGHT = 20

# A small lower-case pixel font: rows from the ascender line (0) down to the
# descender line (8); the baseline is under row 6.
GLYPHS = {
    "p": ["....", "....", "###.", "#..#", "#..#", "#..#", "###.", "#...", "#..."],
    "r": ["...", "...", "#.#", "##.", "#..", "#..", "#..", "...", "..."],
    "e": ["....", "....", ".##.", "#..#", "####", "#...", ".###", "....", "...."],
    "v": [".....", ".....", "#...#", "#...#", ".#.#.", ".#.#.", "..#..", ".....", "....."],
    "n": ["....", "....", "###.", "#..#", "#..#", "#..#", "#..#", "....", "...."],
    "x": ["....", "....", "#..#", "#..#", ".##.", "#..#", "#..#", "....", "...."],
    "t": [".#.", ".#.", "###", ".#.", ".#.", ".#.", "..#", "...", "..."],
    "w": [".....", ".....", "#...#", "#...#", "#.#.#", "#.#.#", ".#.#.", ".....", "....."],
    "i": ["#", ".", "#", "#", "#", "#", "#", ".", "."],
}


def text_mask(word):
    columns = []
    for index, letter in enumerate(word):
        glyph = GLYPHS[letter]
        width = len(glyph[0])
        for x in range(width):
            columns.append([glyph[y][x] == "#" for y in range(9)])
        if index + 1 < len(word):
            columns.append([False] * 9)
    return columns


def draw_button_strip():
    page = rgb("#ffffff")
    face_top = rgb("#fdfdfd")
    face_bottom = rgb("#d5dde6")
    border = rgb("#6f7f90")
    text = rgb("#1f2a36")
    radius = 4.0
    y0, y1 = 1.0, 20.0  # rows 1..19 inclusive

    def rounded_inside(x, y, x0, x1, inset):
        # Signed distance to a rounded rectangle, negative inside.
        rx0, rx1 = x0 + inset, x1 - inset
        ry0, ry1 = y0 + inset, y1 - inset
        r = max(0.5, radius - inset)
        qx = max(rx0 + r - x, 0.0, x - (rx1 - r))
        qy = max(ry0 + r - y, 0.0, y - (ry1 - r))
        return math.hypot(qx, qy) - r

    def shade(x, y):
        for _, left, right in BUTTONS:
            x0, x1 = float(left), float(right + 1)
            if x0 - 1 <= x <= x1 + 1:
                if rounded_inside(x, y, x0, x1, 0.0) <= 0:
                    if rounded_inside(x, y, x0, x1, 1.0) <= 0:
                        t = (y - y0) / (y1 - y0)
                        face = mix(face_top, face_bottom, clamp(t * 1.1))
                        return face + (1.0,)
                    return border + (1.0,)
        return page + (1.0,)

    rows = render(STRIP_WIDTH, STRIP_HEIGHT, shade, samples=5)
    rows = [[(r, g, b) for (r, g, b, _) in row] for row in rows]
    ink = tuple(int(round(c * 255)) for c in text)
    for word, left, right in BUTTONS:
        columns = text_mask(word)
        start_x = left + (right - left + 1 - len(columns)) // 2
        start_y = 5  # x-height rows 7..11: centred on the face; descenders below
        for dx, column in enumerate(columns):
            for dy, on in enumerate(column):
                if on:
                    rows[start_y + dy][start_x + dx] = ink
    return rows


# ---------------------------------------------------------------------------
# State marks, 16 x 16 at 16 colours, drawn pixel by pixel. Letters name
# palette entries; "." is white, which the list treats as transparent.

MARK_COLOURS = {
    ".": 15, "K": 0, "r": 1, "g": 2, "o": 3, "S": 7, "G": 8, "R": 9, "L": 10, "Y": 11,
    "M": 13,
}

# 132: a yellow pencil writing towards the lower left.
PENCIL = [
    "................",
    "...........KK...",
    "..........KMMK..",
    ".........KMMMMK.",
    "........KSKMMK..",
    ".......KYoSKK...",
    "......KYYYoK....",
    ".....KYYYoK.....",
    "....KYYYoK......",
    "...KYYYoK.......",
    "..KSYYoK........",
    "..KSSoK.........",
    ".KGSSK..........",
    ".KKGK...........",
    ".KKK............",
    "................",
]

# 133: a green plus sign.
PLUS = [
    "................",
    "................",
    "......gggg......",
    "......gLLg......",
    "......gLLg......",
    "......gLLg......",
    "..gggggLLggggg..",
    "..gLLLLLLLLLLg..",
    "..gLLLLLLLLLLg..",
    "..gggggLLggggg..",
    "......gLLg......",
    "......gLLg......",
    "......gLLg......",
    "......gggg......",
    "................",
    "................",
]

# 134: a dark red cross.
CROSS = [
    "................",
    "................",
    "..rr........rr..",
    "..rrr......rrr..",
    "...rrr....rrr...",
    "....rrr..rrr....",
    ".....rrrrrr.....",
    "......rrrr......",
    "......rrrr......",
    ".....rrrrrr.....",
    "....rrr..rrr....",
    "...rrr....rrr...",
    "..rrr......rrr..",
    "..rr........rr..",
    "................",
    "................",
]

BLANK = ["." * 16] * 16


def mark_rows(art):
    assert len(art) == 16 and all(len(line) == 16 for line in art), art
    return [[MARK_COLOURS[c] for c in line] for line in art]


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    out = sys.argv[1] if len(sys.argv) > 1 else os.path.join(here, "..", "resources")
    os.makedirs(out, exist_ok=True)
    write_ico(os.path.join(out, "caskwright.ico"), draw_icon())
    write_bmp24(os.path.join(out, "preview_buttons.bmp"), draw_button_strip())
    write_bmp4(os.path.join(out, "mark_replaced.bmp"), mark_rows(PENCIL))
    write_bmp4(os.path.join(out, "mark_new.bmp"), mark_rows(PLUS))
    write_bmp4(os.path.join(out, "mark_deleted.bmp"), mark_rows(CROSS))
    write_bmp4(os.path.join(out, "mark_none.bmp"), mark_rows(BLANK))


if __name__ == "__main__":
    main()
