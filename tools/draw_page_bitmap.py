#!/usr/bin/env python3
"""Draws setup/page.bmp, the side panel at the left of every wizard page.

Rerun it from the repository's top folder after changing the picture:

    python3 tools/draw_page_bitmap.py            # writes setup/page.bmp
    python3 tools/draw_page_bitmap.py OUT.bmp    # writes elsewhere

The picture is 119 x 260 pixels, 4 bits per pixel with the standard 16-colour
palette, uncompressed and bottom-up, as a Windows 4.0 dialog shows it
through a bitmap static control. Everything is drawn in palette colours;
shades between two of them (the sky, the gold of the seal, the soft edges)
are made with an 8 x 8 ordered (Bayer) dither, so the result is the same on
every machine and redraws byte for byte.

Only the standard library is used.
"""

import math
import struct
import sys

WIDTH, HEIGHT = 119, 260

# The standard 16-colour palette, in its usual order (R, G, B).
PALETTE = [
    (0x00, 0x00, 0x00), (0x80, 0x00, 0x00), (0x00, 0x80, 0x00), (0x80, 0x80, 0x00),
    (0x00, 0x00, 0x80), (0x80, 0x00, 0x80), (0x00, 0x80, 0x80), (0xC0, 0xC0, 0xC0),
    (0x80, 0x80, 0x80), (0xFF, 0x00, 0x00), (0x00, 0xFF, 0x00), (0xFF, 0xFF, 0x00),
    (0x00, 0x00, 0xFF), (0xFF, 0x00, 0xFF), (0x00, 0xFF, 0xFF), (0xFF, 0xFF, 0xFF),
]
BLACK, MAROON, GREEN, OLIVE, NAVY, PURPLE, TEAL, SILVER = range(8)
GRAY, RED, LIME, YELLOW, BLUE, FUCHSIA, AQUA, WHITE = range(8, 16)


def bayer(n):
    """The n x n ordered-dither matrix (n a power of two), values 0..n*n-1."""
    m = [[0]]
    size = 1
    while size < n:
        m = [[4 * m[y % size][x % size] + [[0, 2], [3, 1]][y // size][x // size]
              for x in range(2 * size)] for y in range(2 * size)]
        size *= 2
    return m


BAYER = bayer(8)


def threshold(x, y):
    """The dither threshold of a pixel, in (0, 1)."""
    return (BAYER[y % 8][x % 8] + 0.5) / 64.0


def mix(x, y, a, b, t):
    """Colour a or b, so that a region of amount t (0..1) shows that much b."""
    return b if t > threshold(x, y) else a


def ramp(x, y, stops, level):
    """A dithered ramp over a list of palette colours; level runs 0..len-1."""
    level = max(0.0, min(len(stops) - 1.0, level))
    i = min(int(level), len(stops) - 2)
    return mix(x, y, stops[i], stops[i + 1], level - i)


class Canvas:
    def __init__(self):
        self.px = [[BLACK] * WIDTH for _ in range(HEIGHT)]

    def paint(self, inside, colour, box=None, samples=4):
        """Paints where inside(fx, fy) holds, sampled samples^2 times a pixel.

        colour is a palette index or a function (x, y) -> index. A pixel
        that the shape covers in part takes the shape's colour with that
        probability, through the dither threshold, which softens the edge.
        """
        x0, y0, x1, y1 = box if box else (0, 0, WIDTH, HEIGHT)
        x0, y0 = max(0, int(x0)), max(0, int(y0))
        x1, y1 = min(WIDTH, int(math.ceil(x1))), min(HEIGHT, int(math.ceil(y1)))
        step = 1.0 / samples
        for y in range(y0, y1):
            for x in range(x0, x1):
                hits = 0
                for sy in range(samples):
                    for sx in range(samples):
                        if inside(x + (sx + 0.5) * step, y + (sy + 0.5) * step):
                            hits += 1
                if not hits:
                    continue
                cover = hits / float(samples * samples)
                if cover >= 1.0 or cover > threshold(x, y):
                    self.px[y][x] = colour(x, y) if callable(colour) else colour

    def rect(self, x0, y0, x1, y1, colour):
        self.paint(lambda fx, fy: x0 <= fx < x1 and y0 <= fy < y1, colour,
                   (x0, y0, x1, y1), samples=1)

    def polygon(self, points, colour, samples=4):
        xs = [p[0] for p in points]
        ys = [p[1] for p in points]
        self.paint(lambda fx, fy: inside_polygon(points, fx, fy), colour,
                   (min(xs) - 1, min(ys) - 1, max(xs) + 1, max(ys) + 1), samples)

    def disc(self, cx, cy, r, colour):
        self.paint(lambda fx, fy: (fx - cx) ** 2 + (fy - cy) ** 2 < r * r, colour,
                   (cx - r - 1, cy - r - 1, cx + r + 1, cy + r + 1))

    def ring(self, cx, cy, r_in, r_out, colour):
        def inside(fx, fy):
            d = (fx - cx) ** 2 + (fy - cy) ** 2
            return r_in * r_in <= d < r_out * r_out
        self.paint(inside, colour, (cx - r_out - 1, cy - r_out - 1, cx + r_out + 1, cy + r_out + 1))

    def stroke(self, points, width, colour):
        """A thick polyline with round joints."""
        half = width / 2.0

        def inside(fx, fy):
            for (ax, ay), (bx, by) in zip(points, points[1:]):
                if segment_distance(fx, fy, ax, ay, bx, by) < half:
                    return True
            return False
        xs = [p[0] for p in points]
        ys = [p[1] for p in points]
        self.paint(inside, colour, (min(xs) - half - 1, min(ys) - half - 1,
                                    max(xs) + half + 1, max(ys) + half + 1))


def inside_polygon(points, fx, fy):
    inside = False
    j = len(points) - 1
    for i in range(len(points)):
        xi, yi = points[i]
        xj, yj = points[j]
        if (yi > fy) != (yj > fy) and fx < (xj - xi) * (fy - yi) / (yj - yi) + xi:
            inside = not inside
        j = i
    return inside


def segment_distance(px, py, ax, ay, bx, by):
    dx, dy = bx - ax, by - ay
    length = dx * dx + dy * dy
    t = 0.0 if length == 0 else max(0.0, min(1.0, ((px - ax) * dx + (py - ay) * dy) / length))
    return math.hypot(px - (ax + t * dx), py - (ay + t * dy))


# ---- The product's initials: bold letters with small serifs ----

# Each letter is a list of polygons on a grid 24 units high.
LETTERS = {
    "T": (22, [
        [(0, 0), (22, 0), (22, 6), (20, 6), (19, 4), (14, 4), (14, 21), (17, 21), (17, 24),
         (5, 24), (5, 21), (8, 21), (8, 4), (3, 4), (2, 6), (0, 6)],
    ]),
    "N": (22, [
        [(0, 0), (7, 0), (16, 15), (16, 3), (14, 3), (14, 0), (22, 0), (22, 3), (20, 3),
         (20, 24), (16, 24), (5, 7), (5, 21), (7, 21), (7, 24), (0, 24), (0, 21), (2, 21),
         (2, 3), (0, 3)],
    ]),
    "M": (28, [
        [(0, 0), (7, 0), (14, 14), (21, 0), (28, 0), (28, 3), (26, 3), (26, 21), (28, 21),
         (28, 24), (20, 24), (20, 21), (22, 21), (22, 8), (15.5, 20), (12.5, 20), (6, 8),
         (6, 21), (8, 21), (8, 24), (0, 24), (0, 21), (2, 21), (2, 3), (0, 3)],
    ]),
}


def initials(canvas, text, x, y, scale, colour, shadow):
    gap = 3
    for ox, oy, col in ((2, 2, shadow), (0, 0, colour)):
        cx = x
        for ch in text:
            width, polys = LETTERS[ch]
            for poly in polys:
                canvas.polygon([(cx + ox + px * scale, y + oy + py * scale) for px, py in poly], col)
            cx += (width + gap) * scale


# ---- A small pixel font for the captions ----

FONT = {
    "V": ["10001", "10001", "10001", "10001", "01010", "01010", "00100"],
    "E": ["11111", "10000", "10000", "11110", "10000", "10000", "11111"],
    "R": ["11110", "10001", "10001", "11110", "10100", "10010", "10001"],
    "I": ["111", "010", "010", "010", "010", "010", "111"],
    "F": ["11111", "10000", "10000", "11110", "10000", "10000", "10000"],
    "1": ["010", "110", "010", "010", "010", "010", "111"],
    "K": ["10001", "10010", "10100", "11000", "10100", "10010", "10001"],
    "L": ["10000", "10000", "10000", "10000", "10000", "10000", "11111"],
    "O": ["01110", "10001", "10001", "10001", "10001", "10001", "01110"],
    "N": ["10001", "11001", "10101", "10011", "10001", "10001", "10001"],
    "D": ["11110", "10001", "10001", "10001", "10001", "10001", "11110"],
    "2": ["01110", "10001", "00001", "00110", "01000", "10000", "11111"],
    ".": ["0", "0", "0", "0", "0", "0", "1"],
    " ": ["000", "000", "000", "000", "000", "000", "000"],
}


def caption_width(text, scale):
    return sum((len(FONT[c][0]) + 1) * scale for c in text) - scale


def caption(canvas, text, x, y, scale, colour, shadow=None):
    for ox, oy, col in (((1, 1, shadow),) if shadow is not None else ()) + ((0, 0, colour),):
        cx = x
        for ch in text:
            rows = FONT[ch]
            for ry, row in enumerate(rows):
                for rx, bit in enumerate(row):
                    if bit == "1":
                        canvas.rect(cx + ox + rx * scale, y + oy + ry * scale,
                                    cx + ox + (rx + 1) * scale, y + oy + (ry + 1) * scale, col)
            cx += (len(rows[0]) + 1) * scale


# ---- The picture ----

def draw():
    c = Canvas()

    # Sky: black at the top through navy to blue at the foot, a little
    # brighter in a soft glow behind the document.
    for y in range(HEIGHT):
        for x in range(WIDTH):
            level = 0.3 + 1.5 * (y / (HEIGHT - 1)) ** 0.9
            glow = 1.0 - math.hypot(x - 56, (y - 152) * 0.8) / 70.0
            if glow > 0:
                level += 0.55 * glow
            c.px[y][x] = ramp(x, y, [BLACK, NAVY, BLUE], level)

    # The initials and the product's name.
    letters_w = (22 + 3 + 22 + 3 + 28) * 1.25
    initials(c, "TNM", (WIDTH - letters_w) / 2.0, 16, 1.25, WHITE, BLACK)
    name = "VERIFIER"
    caption(c, name, (WIDTH - caption_width(name, 2)) // 2, 56, 2, YELLOW, BLACK)
    version = "1.2"
    caption(c, version, (WIDTH - caption_width(version, 1)) // 2, 76, 1, SILVER)
    c.rect(22, 88, WIDTH - 22, 89, lambda x, y: mix(x, y, NAVY, AQUA, 0.5))

    # The document: a sheet with a folded corner and its lines of text.
    left, top, right, bottom, fold = 24, 104, 86, 196, 14
    sheet = [(left, top), (right - fold, top), (right, top + fold), (right, bottom), (left, bottom)]
    c.polygon([(px + 4, py + 4) for px, py in sheet], BLACK, samples=1)
    c.polygon(sheet, WHITE, samples=1)
    c.polygon([(right - fold, top), (right - fold, top + fold), (right, top + fold)], SILVER, samples=1)
    c.stroke([(right - fold, top), (right - fold, top + fold), (right, top + fold)], 1.0, GRAY)
    c.stroke([(right - fold + 0.5, top + 0.5), (right - 0.5, top + fold - 0.5)], 1.0, GRAY)
    # A title line and paragraphs of grey text.
    c.rect(left + 6, top + 8, left + 34, top + 11, NAVY)
    widths = [48, 44, 50, 30, 0, 46, 50, 38, 0, 24]
    y = top + 18
    for w in widths:
        if w:
            c.rect(left + 6, y, left + 6 + w, y + 2, lambda x, yy: mix(x, yy, SILVER, GRAY, 0.6))
        y += 6
    # A signature line at the foot of the sheet.
    c.stroke([(left + 7, bottom - 14), (left + 12, bottom - 19), (left + 16, bottom - 12),
              (left + 21, bottom - 18), (left + 26, bottom - 13)], 1.2, NAVY)
    c.rect(left + 6, bottom - 9, left + 32, bottom - 8, GRAY)

    # The seal: ribbon tails, a gold star-edged rosette, a red disc, a check.
    sx, sy = 84, 190
    for dx, colour, shade in ((-7, RED, MAROON), (5, RED, MAROON)):
        tail = [(sx + dx - 2, sy + 6), (sx + dx + 6, sy + 6), (sx + dx + 8 + dx * 0.6, sy + 40),
                (sx + dx + 3 + dx * 0.6, sy + 34), (sx + dx - 2 + dx * 0.6, sy + 41)]
        c.polygon(tail, lambda x, y, a=colour, b=shade, x0=sx + dx: mix(x, y, a, b, 0.55 if x > x0 + 3 else 0.1))
    spikes = 18
    outer, inner = 21.0, 17.5
    star = []
    for k in range(spikes * 2):
        r = outer if k % 2 == 0 else inner
        a = math.pi * k / spikes
        star.append((sx + r * math.sin(a), sy - r * math.cos(a)))

    def gold(x, y):
        # Light from the top left: yellow there, olive towards the foot.
        t = ((x - sx) + (y - sy)) / (2 * outer) + 0.5
        return ramp(x, y, [YELLOW, OLIVE], max(0.0, min(1.0, t * 1.2 - 0.35)))
    c.polygon([(px + 2, py + 2) for px, py in star], BLACK)
    c.polygon(star, gold)
    c.disc(sx, sy, 15.0, MAROON)

    def red(x, y):
        t = ((x - sx) + (y - sy)) / 26.0 + 0.5
        return ramp(x, y, [RED, MAROON], max(0.0, min(1.0, t - 0.15)))
    c.disc(sx, sy, 13.5, red)
    c.ring(sx, sy, 11.0, 12.0, lambda x, y: mix(x, y, c.px[y][x], YELLOW, 0.6))
    check = [(sx - 6.5, sy + 0.5), (sx - 2, sy + 5), (sx + 6.5, sy - 5.5)]
    c.stroke([(px + 1, py + 1) for px, py in check], 3.2, MAROON)
    c.stroke(check, 3.2, WHITE)

    # The maker's name at the foot, between two rules.
    maker = "KELVORIND"
    mw = caption_width(maker, 1)
    mx = (WIDTH - mw) // 2
    caption(c, maker, mx, 246, 1, SILVER, BLACK)
    c.rect(8, 249, mx - 5, 250, GRAY)
    c.rect(mx + mw + 5, 249, WIDTH - 8, 250, GRAY)

    # A few stars in the sky.
    for x, y, big in ((12, 8, False), (104, 12, True), (9, 95, True), (108, 94, False),
                      (15, 226, False), (106, 232, True), (62, 4, False), (30, 238, True)):
        c.px[y][x] = WHITE
        if big:
            for dx, dy in ((1, 0), (-1, 0), (0, 1), (0, -1)):
                c.px[y + dy][x + dx] = AQUA if x < 60 else SILVER
    return c.px


def write_bmp(path, px):
    stride = ((WIDTH * 4 + 31) // 32) * 4
    pixels = bytearray()
    for y in range(HEIGHT - 1, -1, -1):  # bottom-up
        row = bytearray(stride)
        for x in range(WIDTH):
            if x % 2 == 0:
                row[x // 2] |= px[y][x] << 4
            else:
                row[x // 2] |= px[y][x]
        pixels += row
    palette = b"".join(struct.pack("<BBBB", b, g, r, 0) for r, g, b in PALETTE)
    offset = 14 + 40 + len(palette)
    info = struct.pack("<IiiHHIIiiII", 40, WIDTH, HEIGHT, 1, 4, 0, len(pixels), 2835, 2835, 16, 16)
    header = struct.pack("<2sIHHI", b"BM", offset + len(pixels), 0, 0, offset)
    with open(path, "wb") as f:
        f.write(header + info + palette + pixels)


if __name__ == "__main__":
    write_bmp(sys.argv[1] if len(sys.argv) > 1 else "setup/page.bmp", draw())
