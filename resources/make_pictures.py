#!/usr/bin/python3
"""Draws Tapwise's pictures and writes them next to this script.

    app.ico        16, 24, 32 and 48 pixels, 16 colours: grey mouse with
                   cable and red "TW"
    uninstall.ico  32x32, 16 colours: opened software box
    tray.ico       16, 20, 24 and 32 pixels, 16 colours: small white mouse
                   for the tray
    about.bmp      110x87, 24 bits: mouse on a pad under a click counter

Everything is plain geometry and byte packing with the standard library,
so the output is the same on every machine and needs no imaging package.
The icons are 4-bit images on purpose: the program dates from the 16-colour
desktop. The program and tray icons carry one image drawn at each size the
shell asks for at 100 to 200 % scaling, so none is a stretched bitmap.

Run:  /usr/bin/python3 resources/make_pictures.py
"""

import math
import os
import struct

HERE = os.path.dirname(os.path.abspath(__file__))

# The standard 16-colour palette of Windows, in its usual index order, so the
# icons look the same on a 16-colour display as in any viewer.
PALETTE = [
    (0x00, 0x00, 0x00),  # 0 black
    (0x80, 0x00, 0x00),  # 1 maroon
    (0x00, 0x80, 0x00),  # 2 green
    (0x80, 0x80, 0x00),  # 3 olive
    (0x00, 0x00, 0x80),  # 4 navy
    (0x80, 0x00, 0x80),  # 5 purple
    (0x00, 0x80, 0x80),  # 6 teal
    (0xC0, 0xC0, 0xC0),  # 7 silver
    (0x80, 0x80, 0x80),  # 8 grey
    (0xFF, 0x00, 0x00),  # 9 red
    (0x00, 0xFF, 0x00),  # 10 lime
    (0xFF, 0xFF, 0x00),  # 11 yellow
    (0x00, 0x00, 0xFF),  # 12 blue
    (0xFF, 0x00, 0xFF),  # 13 fuchsia
    (0x00, 0xFF, 0xFF),  # 14 aqua
    (0xFF, 0xFF, 0xFF),  # 15 white
]
BLACK, MAROON, GREEN, OLIVE, NAVY, PURPLE, TEAL, SILVER = range(8)
GREY, RED, LIME, YELLOW, BLUE, FUCHSIA, AQUA, WHITE = range(8, 16)


# ---------------------------------------------------------------------------
# Palette canvas for the icons

class Canvas:
    """A grid of palette indices; None is a transparent pixel."""

    def __init__(self, size):
        self.w = self.h = size
        self.px = [[None] * size for _ in range(size)]

    def put(self, x, y, c):
        if 0 <= x < self.w and 0 <= y < self.h:
            self.px[y][x] = c

    def paint(self, mask, c):
        for (x, y) in mask:
            self.put(x, y, c)


# Masks are sets of (x, y) pixels, so shapes can be combined, outlined and
# shaded before anything is painted.

def mask_where(size, inside):
    """All pixels whose centre satisfies inside(x, y)."""
    return {(x, y) for y in range(size) for x in range(size)
            if inside(x + 0.5, y + 0.5)}


def outline_of(mask):
    """Pixels of mask that touch the outside (4-neighbourhood)."""
    return {(x, y) for (x, y) in mask
            if any(n not in mask for n in
                   ((x + 1, y), (x - 1, y), (x, y + 1), (x, y - 1)))}


def grow(mask, diagonal=True):
    """The mask widened by one pixel on every side."""
    steps = [(1, 0), (-1, 0), (0, 1), (0, -1)]
    if diagonal:
        steps += [(1, 1), (1, -1), (-1, 1), (-1, -1)]
    out = set(mask)
    for (x, y) in mask:
        for dx, dy in steps:
            out.add((x + dx, y + dy))
    return out


def line_pixels(x0, y0, x1, y1):
    """Bresenham: the pixels of a one-pixel line, both ends included."""
    pts = []
    dx, dy = abs(x1 - x0), -abs(y1 - y0)
    sx = 1 if x0 < x1 else -1
    sy = 1 if y0 < y1 else -1
    err = dx + dy
    while True:
        pts.append((x0, y0))
        if x0 == x1 and y0 == y1:
            return pts
        e2 = 2 * err
        if e2 >= dy:
            err += dy
            x0 += sx
        if e2 <= dx:
            err += dx
            y0 += sy


def point_in_polygon(x, y, poly):
    inside = False
    n = len(poly)
    for i in range(n):
        (ax, ay), (bx, by) = poly[i], poly[(i + 1) % n]
        if (ay > y) != (by > y):
            t = (y - ay) / (by - ay)
            if x < ax + t * (bx - ax):
                inside = not inside
    return inside


def polygon_mask(size, poly):
    return mask_where(size, lambda x, y: point_in_polygon(x, y, poly))


def bezier(p0, p1, p2, p3, steps):
    pts = []
    for i in range(steps + 1):
        t = i / steps
        a, b, c, d = (1 - t) ** 3, 3 * (1 - t) ** 2 * t, 3 * (1 - t) * t * t, t ** 3
        pts.append((a * p0[0] + b * p1[0] + c * p2[0] + d * p3[0],
                    a * p0[1] + b * p1[1] + c * p2[1] + d * p3[1]))
    return pts


def curve_pixels(points):
    """A connected one-pixel path through the rounded points."""
    out = []
    pts = [(int(round(x)), int(round(y))) for (x, y) in points]
    for a, b in zip(pts, pts[1:]):
        for p in line_pixels(a[0], a[1], b[0], b[1]):
            if not out or out[-1] != p:
                out.append(p)
    return out


class MouseShape:
    """A computer mouse seen from above: an egg, narrower at the cable end,
    optionally turned. Coordinates u (across) and v (along, -1 at the cable
    end) run from -1 to 1 over the body."""

    def __init__(self, cx, cy, rx, ry, angle_deg, taper=0.12):
        self.cx, self.cy, self.rx, self.ry = cx, cy, rx, ry
        a = math.radians(angle_deg)
        self.cos, self.sin = math.cos(a), math.sin(a)
        self.taper = taper

    def local(self, x, y):
        dx, dy = x - self.cx, y - self.cy
        # Turn the point back into the mouse's own frame.
        lx = dx * self.cos + dy * self.sin
        ly = -dx * self.sin + dy * self.cos
        v = ly / self.ry
        # The cable end is slimmer than the palm end.
        u = lx / (self.rx * (1 - self.taper * (1 - v) / 2))
        return u, v

    def to_canvas(self, u, v):
        lx = u * self.rx * (1 - self.taper * (1 - v) / 2)
        ly = v * self.ry
        return (self.cx + lx * self.cos - ly * self.sin,
                self.cy + lx * self.sin + ly * self.cos)

    def inside(self, x, y):
        u, v = self.local(x, y)
        return u * u + v * v <= 1.0


def mouse_icon(canvas, shape, body, light, shade, outline, seam):
    """Paints a mouse body: outline, a bright inner rim towards the upper
    left, a two-pixel shaded rim towards the lower right, and the seams
    between the two buttons."""
    size = canvas.w
    m = mask_where(size, shape.inside)
    rim = outline_of(m)
    ring1 = outline_of(m - rim)
    ring2 = outline_of(m - rim - ring1)

    def facing(x, y):
        # Light comes from the upper left of the screen.
        gx = (x + 0.5 - shape.cx) / shape.rx
        gy = (y + 0.5 - shape.cy) / shape.ry
        g = math.hypot(gx, gy) or 1.0
        return -(gx + gy) / (g * math.sqrt(2.0))

    canvas.paint(m, body)
    for (x, y) in ring1:
        f = facing(x, y)
        if f > 0.25:
            canvas.put(x, y, light)
        elif f < -0.05:
            canvas.put(x, y, shade)
    for (x, y) in ring2:
        if facing(x, y) < -0.55:
            canvas.put(x, y, shade)
    # Seam across the body, and the split between the buttons above it.
    v_seam = -0.22
    pts = [shape.to_canvas(u / 10.0, v_seam) for u in range(-10, 11)]
    inner = m - rim
    for p in curve_pixels(pts):
        if p in inner:
            canvas.put(p[0], p[1], seam)
    pts = [shape.to_canvas(0.0, v_seam - t / 10.0 * (1 - v_seam))
           for t in range(0, 11)]
    for p in curve_pixels(pts):
        if p in inner:
            canvas.put(p[0], p[1], seam)
    canvas.paint(rim, outline)
    return m


# ---------------------------------------------------------------------------
# The three icons

def letters_at(glyphs, x0, y0, gap):
    """The pixels of glyph rows placed side by side from (x0, y0)."""
    out = set()
    for rows in glyphs:
        for dy, row in enumerate(rows):
            for dx, ch in enumerate(row):
                if ch == '#':
                    out.add((x0 + dx, y0 + dy))
        x0 += len(rows[0]) + gap
    return out


# The initials at two sizes: the tall pair from 32 pixels up, a five-row
# pair below, where seven rows would cover the mouse.
TW_TALL = (
    ["######", "######", "..##..", "..##..", "..##..", "..##..", "..##.."],
    ["##...##", "##...##", "##.#.##", "##.#.##", "#######", "###.###", ".#...#."],
)
TW_SHORT = (
    ["###", ".#.", ".#.", ".#.", ".#."],
    ["#...#", "#...#", "#.#.#", "#.#.#", ".#.#."],
)


def draw_app_icon(size=32):
    c = Canvas(size)
    k = size / 32.0
    shape = MouseShape(cx=12.5 * k, cy=20.0 * k, rx=8.2 * k, ry=10.6 * k,
                       angle_deg=0, taper=0.16)
    # Cable first, so the body covers its root. It leaves the nose of the
    # mouse and swings up to the left edge.
    cable = bezier((12.5 * k, 10.0 * k), (12.5 * k, 3.0 * k), (5.0 * k, 7.0 * k),
                   (1.0 * k, 0.0), 40)
    for (x, y) in curve_pixels(cable):
        c.put(x, y, BLACK)
        if size >= 24:
            c.put(x + 1, y, GREY)
    mouse_icon(c, shape, body=SILVER, light=WHITE, shade=GREY,
               outline=BLACK, seam=GREY)
    # The product's initials, red with a dark rim so they read on any
    # desktop colour; each size keeps them in its top right corner.
    if size >= 32:
        f = size / 32.0
        glyphs = [[''.join(row[int(x / f)] for x in range(int(round(len(row) * f))))
                   for row in (rows[int(y / f)] for y in range(int(round(len(rows) * f))))]
                  for rows in TW_TALL]
        letters = letters_at(glyphs, size - int(round(16 * f)), 1, 1)
    else:
        letters = letters_at(TW_SHORT, size - 9, 0 if size < 24 else 1, 1)
    c.paint(grow(letters, diagonal=False) - letters, MAROON)
    c.paint(letters, RED)
    return c


def draw_uninstall_icon():
    c = Canvas(32)
    # An open carton seen from the front and a little above. FL, FR, BR, BL
    # are the corners of the opening; the walls reach down to y = BOTTOM.
    FL, FR, BR, BL = (3.0, 16.0), (20.0, 16.0), (27.0, 10.0), (10.0, 10.0)
    BOTTOM = 30.5

    def shift(p, dx, dy):
        return (p[0] + dx, p[1] + dy)

    def solid(poly, fill, edge=BLACK):
        m = polygon_mask(32, poly)
        c.paint(m, fill)
        c.paint(outline_of(m), edge)
        return m

    # Back to front. The flaps show their pale inner sides, the walls the
    # brown outside of the carton.
    solid([BL, BR, shift(BR, 1.0, -8.0), shift(BL, 1.0, -8.0)], SILVER)
    solid([FL, FR, BR, BL], BLACK)
    # A floppy disk stands in the box: a software box should hold software.
    disk = solid([(12.5, 5.0), (22.0, 5.0), (22.0, 17.0), (12.5, 17.0)], NAVY)
    inner = disk - outline_of(disk)
    c.paint({(x, y) for (x, y) in inner if 15 <= x <= 19 and y <= 8}, SILVER)
    c.put(18, 6, NAVY)
    c.put(18, 7, NAVY)
    c.paint({(x, y) for (x, y) in inner if 14 <= x <= 20 and y >= 11}, WHITE)
    front = solid([FL, FR, (FR[0], BOTTOM), (FL[0], BOTTOM)], YELLOW)
    solid([FR, BR, (BR[0], BOTTOM - 6.0), (FR[0], BOTTOM)], OLIVE)
    # A product label with a red band on the front.
    label = {(x, y) for (x, y) in front if 6 <= x <= 16 and 22 <= y <= 26}
    c.paint(label, WHITE)
    c.paint({(x, y) for (x, y) in label if y == 24}, RED)
    c.paint({(x, y) for (x, y) in label if y == 26 or x == 16}, SILVER)
    # The side flaps fold outwards and down, the front one hangs over the
    # front wall.
    solid([BL, FL, shift(FL, -4.5, -1.0), shift(BL, -4.5, -1.0)], WHITE)
    solid([FR, BR, shift(BR, 4.5, 2.0), shift(FR, 4.5, 2.0)], SILVER)
    solid([FL, FR, shift(FR, -0.5, 3.0), shift(FL, -0.5, 3.0)], WHITE)
    return c


def draw_tray_icon(size=16):
    c = Canvas(size)
    k = size / 16.0
    shape = MouseShape(cx=8.0 * k, cy=9.6 * k, rx=4.9 * k, ry=6.3 * k,
                       angle_deg=0, taper=0.10)
    # Short cable stub out of the nose so the shape reads as a mouse even at
    # the smallest size.
    nose = int(round(shape.cy - shape.ry))
    for y in range(0, nose + 1):
        c.put(int(round((7 if y else 8) * k)), y, BLACK)
    m = mask_where(size, shape.inside)
    rim = outline_of(m)
    for (x, y) in m:
        u, v = shape.local(x + 0.5, y + 0.5)
        c.put(x, y, SILVER if (u > 0.45 and v > -0.2) or v > 0.72 else WHITE)
    # Button seam and split.
    seam = int(round(7 * k))
    for x in range(size):
        if (x, seam) in m:
            c.put(x, seam, GREY)
    for y in range(int(round(4 * k)), seam):
        c.put(int(round(7 * k + (k - 1) / 2)), y, GREY)
    c.paint(rim, BLACK)
    return c


# ---------------------------------------------------------------------------
# The about picture, drawn in full colour with 4x4 supersampling

def clamp8(v):
    return max(0, min(255, int(round(v))))


def mix(a, b, t):
    return tuple(a[i] + (b[i] - a[i]) * t for i in range(3))


def dist_to_segment(px, py, ax, ay, bx, by):
    dx, dy = bx - ax, by - ay
    t = ((px - ax) * dx + (py - ay) * dy) / (dx * dx + dy * dy or 1.0)
    t = max(0.0, min(1.0, t))
    return math.hypot(px - ax - t * dx, py - ay - t * dy)


def sd_convex(px, py, poly):
    """Signed distance to a convex polygon given clockwise on screen
    (negative inside)."""
    inside = True
    best = 1e9
    n = len(poly)
    for i in range(n):
        (ax, ay), (bx, by) = poly[i], poly[(i + 1) % n]
        best = min(best, dist_to_segment(px, py, ax, ay, bx, by))
        # Cross product sign tells which side of the edge we are on.
        if (bx - ax) * (py - ay) - (by - ay) * (px - ax) < 0:
            inside = False
    return -best if inside else best


SEGMENTS = {  # seven-segment patterns: a b c d e f g
    '0': 'abcdef', '1': 'bc', '2': 'abdeg', '3': 'abcdg', '4': 'bcfg',
    '5': 'acdfg', '6': 'acdefg', '7': 'abc', '8': 'abcdefg', '9': 'abcdfg',
}


def segment_boxes(x, y, w, h, t):
    """Rectangles (x0, y0, x1, y1) of the seven segments of one digit."""
    m = h / 2.0
    return {
        'a': (x + t, y, x + w - t, y + t),
        'b': (x + w - t, y + t * 0.6, x + w, y + m - t * 0.3),
        'c': (x + w - t, y + m + t * 0.3, x + w, y + h - t * 0.6),
        'd': (x + t, y + h - t, x + w - t, y + h),
        'e': (x, y + m + t * 0.3, x + t, y + h - t * 0.6),
        'f': (x, y + t * 0.6, x + t, y + m - t * 0.3),
        'g': (x + t, y + m - t / 2, x + w - t, y + m + t / 2),
    }


class AboutScene:
    W, H = 110, 87

    def __init__(self):
        # The pad: a tilted blue rectangle in perspective.
        self.pad = [(17.0, 44.0), (103.0, 40.0), (96.0, 82.0), (5.0, 83.0)]
        self.mouse = MouseShape(cx=53.0, cy=60.0, rx=13.0, ry=17.5,
                                angle_deg=-14, taper=0.14)
        nose = self.mouse.to_canvas(0.0, -1.0)
        # The cable climbs off the top of the pad and leaves on the left,
        # clear of the counter and of the click marks.
        self.cable = bezier(nose, (nose[0] + 2, nose[1] - 22),
                            (24.0, 4.0), (-2.0, 10.0), 48)
        # The counter: a small desk display.
        self.lcd_box = (57.0, 4.0, 106.0, 34.0)
        self.lcd_glass = (61.0, 8.0, 102.0, 24.0)
        self.digits = []
        text = "04271"
        dw, dh, gap = 6.0, 11.5, 2.2
        x = 63.0
        for ch in text:
            for seg in SEGMENTS[ch]:
                self.digits.append(segment_boxes(x, 10.3, dw, dh, 1.5)[seg])
            x += dw + gap
        self.ghosts = []
        x = 63.0
        for ch in text:
            self.ghosts.extend(segment_boxes(x, 10.3, dw, dh, 1.5).values())
            x += dw + gap
        # Little strokes that say "click" at the left button.
        self.rays = [((40.5, 42.5), (36.0, 38.0)), ((44.5, 40.0), (43.5, 34.5)),
                     ((38.5, 46.5), (32.5, 44.5))]

    def background(self, x, y):
        top, bottom = (214, 228, 246), (164, 188, 226)
        return mix(top, bottom, y / self.H)

    def colour(self, x, y):
        # Counter display on top of everything.
        bx0, by0, bx1, by1 = self.lcd_box
        if bx0 <= x <= bx1 and by0 <= y <= by1:
            gx0, gy0, gx1, gy1 = self.lcd_glass
            if gx0 <= x <= gx1 and gy0 <= y <= gy1:
                for (sx0, sy0, sx1, sy1) in self.digits:
                    if sx0 <= x <= sx1 and sy0 <= y <= sy1:
                        return (40, 255, 120)
                for (sx0, sy0, sx1, sy1) in self.ghosts:
                    if sx0 <= x <= sx1 and sy0 <= y <= sy1:
                        return (18, 60, 36)
                return (10, 32, 22)
            # Bezel with a light top edge.
            if y < by0 + 1.2 or x < bx0 + 1.2:
                return (150, 154, 162)
            if y > by1 - 1.2 or x > bx1 - 1.2:
                return (36, 38, 44)
            return (70, 74, 84)
        for (a, b) in self.rays:
            if dist_to_segment(x, y, a[0], a[1], b[0], b[1]) < 0.9:
                return (232, 60, 40)
        u, v = self.mouse.local(x, y)
        r2 = u * u + v * v
        if r2 <= 1.0:
            return self.mouse_colour(u, v, r2)
        for i in range(len(self.cable) - 1):
            (ax, ay), (bx, by) = self.cable[i], self.cable[i + 1]
            if min(ax, bx) - 2 <= x <= max(ax, bx) + 2 and \
                    min(ay, by) - 2 <= y <= max(ay, by) + 2:
                d = dist_to_segment(x, y, ax, ay, bx, by)
                if d < 1.1:
                    return mix((90, 92, 100), (40, 42, 48), d / 1.1)
        d = sd_convex(x, y, self.pad)
        if d < 1.6:
            if d > -0.1:
                # The pad's rubber edge.
                return (20, 28, 60)
            base = (46, 70, 150)
            # A soft sheen across the cloth.
            base = mix(base, (80, 110, 190), max(0.0, 1 - abs((x - y * 1.3) - 20) / 40) * 0.6)
            # The mouse's shadow, down and to the right.
            su, sv = self.mouse.local(x - 3.0, y - 3.0)
            s2 = su * su + sv * sv
            if s2 < 1.15:
                base = mix(base, (14, 20, 46), 0.55 * min(1.0, (1.15 - s2) / 0.3))
            return base
        # The pad's shadow on the desk.
        if sd_convex(x - 2.0, y - 2.5, self.pad) < 0:
            return mix(self.background(x, y), (60, 70, 100), 0.45)
        return self.background(x, y)

    def mouse_colour(self, u, v, r2):
        # Treat the body as half an ellipsoid lit from the upper left.
        nz = math.sqrt(max(0.0, 1.0 - r2 * 0.92))
        n = (u * 0.8, v * 0.8, nz)
        ln = math.sqrt(n[0] ** 2 + n[1] ** 2 + n[2] ** 2)
        n = (n[0] / ln, n[1] / ln, n[2] / ln)
        light = (-0.45, -0.55, 0.70)
        lm = math.sqrt(sum(c * c for c in light))
        light = tuple(c / lm for c in light)
        diffuse = max(0.0, sum(n[i] * light[i] for i in range(3)))
        half = (light[0], light[1], light[2] + 1.0)
        hm = math.sqrt(sum(c * c for c in half))
        specular = max(0.0, sum(n[i] * half[i] / hm for i in range(3))) ** 28
        base = (198, 200, 206)
        col = tuple(base[i] * (0.35 + 0.75 * diffuse) + 255 * 0.55 * specular
                    for i in range(3))
        # Button seam and the split between the buttons.
        seam_v = -0.25 + 0.12 * u * u
        if abs(v - seam_v) < 0.035 or (v < seam_v and abs(u) < 0.035):
            col = mix(col, (70, 72, 80), 0.8)
        # Dark rim so the body stands off the pad.
        if r2 > 0.93:
            col = mix(col, (60, 62, 70), (r2 - 0.93) / 0.07)
        return col

    def render(self, ss=4):
        rows = []
        for y in range(self.H):
            row = []
            for x in range(self.W):
                acc = [0.0, 0.0, 0.0]
                for j in range(ss):
                    for i in range(ss):
                        col = self.colour(x + (i + 0.5) / ss, y + (j + 0.5) / ss)
                        acc[0] += col[0]
                        acc[1] += col[1]
                        acc[2] += col[2]
                n = ss * ss
                row.append((clamp8(acc[0] / n), clamp8(acc[1] / n), clamp8(acc[2] / n)))
            rows.append(row)
        # The counter's caption, set pixel by pixel: text this small only
        # stays sharp on the pixel grid.
        x = 70
        for ch in "CLICKS":
            for dy, bits in enumerate(TINY_FONT[ch]):
                for dx, bit in enumerate(bits):
                    if bit == '#':
                        rows[27 + dy][x + dx] = (214, 218, 226)
            x += len(TINY_FONT[ch][0]) + 1
        return rows


# A 3x5 font for the few capitals the about picture needs.
TINY_FONT = {
    'C': ["###", "#..", "#..", "#..", "###"],
    'L': ["#..", "#..", "#..", "#..", "###"],
    'I': ["###", ".#.", ".#.", ".#.", "###"],
    'K': ["#.#", "##.", "#..", "##.", "#.#"],
    'S': ["###", "#..", "###", "..#", "###"],
}


# ---------------------------------------------------------------------------
# File formats

def icon_image(canvas):
    """One 4-bit image: header, a palette of the colours it uses (in the
    standard palette's order; no entry is stored for one it does not use),
    XOR bitmap and AND mask, both bottom-up, each row padded to 32 bits."""
    w, h = canvas.w, canvas.h
    used = sorted({c for row in canvas.px for c in row if c is not None} | {0})
    index = {c: i for i, c in enumerate(used)}
    xor_stride = ((w * 4 + 31) // 32) * 4
    and_stride = ((w + 31) // 32) * 4
    xor = bytearray()
    andm = bytearray()
    for y in range(h - 1, -1, -1):
        row = bytearray(xor_stride)
        bits = bytearray(and_stride)
        for x in range(w):
            c = canvas.px[y][x]
            if c is None:
                bits[x // 8] |= 0x80 >> (x % 8)
                c = 0  # transparent pixels stay black in the XOR image
            c = index[c]
            row[x // 2] |= c << 4 if x % 2 == 0 else c
        xor += row
        andm += bits
    palette = b''.join(struct.pack('<BBBB', b, g, r, 0) for (r, g, b) in (PALETTE[c] for c in used))
    header = struct.pack('<IiiHHIIiiII', 40, w, h * 2, 1, 4, 0,
                         len(xor) + len(andm), 0, 0, len(used), 0)
    return header + palette + bytes(xor) + bytes(andm)


def ico_bytes(*canvases):
    """An .ico of one 16-colour image per size, each drawn at that size: 16
    colours keep the program small and look the same on every desktop."""
    images = [icon_image(c) for c in canvases]
    offset = 6 + 16 * len(images)
    directory = struct.pack('<HHH', 0, 1, len(images))
    for c, image in zip(canvases, images):
        directory += struct.pack('<BBBBHHII', c.w, c.h, 16, 0, 1, 4, len(image), offset)
        offset += len(image)
    return directory + b''.join(images)


def bmp_bytes(rows):
    """24-bit BI_RGB .bmp, bottom-up, rows padded to 32 bits."""
    h, w = len(rows), len(rows[0])
    stride = (w * 3 + 3) & ~3
    pixels = bytearray()
    for y in range(h - 1, -1, -1):
        line = bytearray()
        for (r, g, b) in rows[y]:
            line += bytes((b, g, r))
        line += bytes(stride - len(line))
        pixels += line
    info = struct.pack('<IiiHHIIiiII', 40, w, h, 1, 24, 0, len(pixels),
                       2835, 2835, 0, 0)
    offset = 14 + len(info)
    head = struct.pack('<2sIHHI', b'BM', offset + len(pixels), 0, 0, offset)
    return head + info + bytes(pixels)


def write(name, data):
    path = os.path.join(HERE, name)
    with open(path, 'wb') as f:
        f.write(data)
    print("wrote %s (%d bytes)" % (path, len(data)))


def main():
    write("app.ico", ico_bytes(*(draw_app_icon(n) for n in (16, 24, 32, 48))))
    write("uninstall.ico", ico_bytes(draw_uninstall_icon()))
    write("tray.ico", ico_bytes(*(draw_tray_icon(n) for n in (16, 20, 24, 32))))
    write("about.bmp", bmp_bytes(AboutScene().render()))


if __name__ == "__main__":
    main()
