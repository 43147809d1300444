#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""Draws the Linkvet main-window toolbar images, the link cursor and the
program's own icon.

Writes NAME.png (16x16) and NAME@2x.png (32x32) for every toolbar command into
the directory given on the command line (default: the directory of this
script), and hand_cursor.png, the 32x32 black-and-white pointing hand shown
over a link (hot spot at its top-left corner), and linkvet-SIZE.png, the
program's icon at the sizes a desktop asks for.  Only the Python standard library is used, so the images can be
remade anywhere:

    python3 res/icons/make_icons.py

Every shape is a signed distance function in a 16 x 16 design grid (y grows
downwards).  A pixel well inside or well outside a shape is decided from the
distance at its centre; pixels near an edge are supersampled, which gives
antialiased edges while edges on whole design units stay crisp.
"""

import math
import os
import struct
import sys
import zlib

SUPERSAMPLE = 8  # samples per pixel side near edges

# ---------------------------------------------------------------------------
# Shapes: functions (x, y) -> signed distance, negative inside.


def circle(cx, cy, r):
    return lambda x, y: math.hypot(x - cx, y - cy) - r


def box(x0, y0, x1, y1, r=0.0):
    """Axis-aligned rectangle with corner radius r."""
    cx, cy = (x0 + x1) / 2, (y0 + y1) / 2
    hx, hy = (x1 - x0) / 2 - r, (y1 - y0) / 2 - r

    def f(x, y):
        qx = abs(x - cx) - hx
        qy = abs(y - cy) - hy
        return math.hypot(max(qx, 0.0), max(qy, 0.0)) + min(max(qx, qy), 0.0) - r

    return f


def segment(ax, ay, bx, by, r):
    """Line from a to b, r wide on either side, with round caps."""
    dx, dy = bx - ax, by - ay
    length2 = dx * dx + dy * dy

    def f(x, y):
        t = ((x - ax) * dx + (y - ay) * dy) / length2 if length2 else 0.0
        t = min(1.0, max(0.0, t))
        return math.hypot(x - ax - t * dx, y - ay - t * dy) - r

    return f


def polyline(points, r):
    return union(*(segment(*a, *b, r) for a, b in zip(points, points[1:])))


def polygon(points):
    pts = list(points)
    n = len(pts)

    def f(x, y):
        d = (x - pts[0][0]) ** 2 + (y - pts[0][1]) ** 2
        sign = 1.0
        j = n - 1
        for i in range(n):
            ax, ay = pts[i]
            bx, by = pts[j]
            ex, ey = bx - ax, by - ay
            wx, wy = x - ax, y - ay
            t = max(0.0, min(1.0, (wx * ex + wy * ey) / (ex * ex + ey * ey)))
            px, py = wx - ex * t, wy - ey * t
            d = min(d, px * px + py * py)
            c1 = y >= ay
            c2 = y < by
            c3 = ex * wy > ey * wx
            if (c1 and c2 and c3) or not (c1 or c2 or c3):
                sign = -sign
            j = i
        return sign * math.sqrt(d)

    return f


def regular_polygon(cx, cy, apothem, sides, turn=0.0):
    radius = apothem / math.cos(math.pi / sides)
    step = 2 * math.pi / sides
    return polygon(
        (cx + radius * math.cos(turn + step * (k + 0.5)), cy + radius * math.sin(turn + step * (k + 0.5)))
        for k in range(sides)
    )


def union(*fs):
    return lambda x, y: min(f(x, y) for f in fs)


def intersect(*fs):
    return lambda x, y: max(f(x, y) for f in fs)


def subtract(a, *bs):
    return lambda x, y: max(a(x, y), *(-b(x, y) for b in bs))


def inset(f, w):
    """The shape shrunk by w on every side."""
    return lambda x, y: f(x, y) + w


def grow(f, w):
    return lambda x, y: f(x, y) - w


def rotated(f, degrees, cx=8.0, cy=8.0):
    """The shape turned clockwise (on screen) about (cx, cy)."""
    c, s = math.cos(math.radians(degrees)), math.sin(math.radians(degrees))

    def g(x, y):
        dx, dy = x - cx, y - cy
        return f(cx + c * dx + s * dy, cy - s * dx + c * dy)

    return g


def polar_repeat(f, count, cx=8.0, cy=8.0):
    """Copies of the shape drawn around (cx, cy); f is given for the copy
    pointing right (along +x)."""
    sector = 2 * math.pi / count

    def g(x, y):
        dx, dy = x - cx, y - cy
        r = math.hypot(dx, dy)
        a = (math.atan2(dy, dx) + sector / 2) % sector - sector / 2
        return f(cx + r * math.cos(a), cy + r * math.sin(a))

    return g


# ---------------------------------------------------------------------------
# Canvas


def rgba(hex_colour, alpha=1.0):
    h = hex_colour.lstrip("#")
    return (int(h[0:2], 16) / 255, int(h[2:4], 16) / 255, int(h[4:6], 16) / 255, alpha)


class Canvas:
    def __init__(self, size):
        self.size = size
        self.scale = size / 16.0  # pixels per design unit
        self.pixels = [[0.0, 0.0, 0.0, 0.0] for _ in range(size * size)]  # premultiplied

    def fill(self, shape, colour, alpha=1.0):
        r, g, b, a = rgba(colour, alpha)
        k = self.scale
        n = SUPERSAMPLE
        offsets = [(i + 0.5) / n for i in range(n)]
        for py in range(self.size):
            for px in range(self.size):
                d = shape((px + 0.5) / k, (py + 0.5) / k) * k  # distance in pixels
                if d > 1.0:
                    continue
                if d < -1.0:
                    cover = 1.0
                else:
                    hits = 0
                    for oy in offsets:
                        y = (py + oy) / k
                        for ox in offsets:
                            if shape((px + ox) / k, y) <= 0.0:
                                hits += 1
                    if not hits:
                        continue
                    cover = hits / (n * n)
                sa = a * cover
                dst = self.pixels[py * self.size + px]
                keep = 1.0 - sa
                dst[0] = r * sa + dst[0] * keep
                dst[1] = g * sa + dst[1] * keep
                dst[2] = b * sa + dst[2] * keep
                dst[3] = sa + dst[3] * keep

    def outlined(self, shape, body, line, width=1.0):
        """Fills the shape with the line colour and its inside with body."""
        self.fill(shape, line)
        self.fill(inset(shape, width), body)

    def rgba_rows(self):
        rows = []
        for py in range(self.size):
            row = bytearray()
            for px in range(self.size):
                r, g, b, a = self.pixels[py * self.size + px]
                if a <= 0.0:
                    row += b"\0\0\0\0"
                    continue
                row += bytes(
                    (
                        round(min(1.0, r / a) * 255),
                        round(min(1.0, g / a) * 255),
                        round(min(1.0, b / a) * 255),
                        round(min(1.0, a) * 255),
                    )
                )
            rows.append(bytes(row))
        return rows


def write_png(path, rows):
    height = len(rows)
    width = len(rows[0]) // 4

    def chunk(kind, data):
        body = kind + data
        return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body) & 0xFFFFFFFF)

    raw = b"".join(b"\0" + row for row in rows)
    with open(path, "wb") as out:
        out.write(b"\x89PNG\r\n\x1a\n")
        out.write(chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 6, 0, 0, 0)))
        out.write(chunk(b"IDAT", zlib.compress(raw, 9)))
        out.write(chunk(b"IEND", b""))


# ---------------------------------------------------------------------------
# The images.  Each function draws into a canvas of either size; the design
# grid is always 16 units across.


def draw_select(c):
    """Open folder with a magnifying glass: choose files to test."""
    back = polygon([(0, 2), (5, 2), (6, 3), (12, 3), (12, 12), (0, 12)])
    c.outlined(back, "#d9951c", "#6b4300")
    sheet = box(2, 5, 10, 12)
    c.outlined(sheet, "#ffffff", "#6b4300")
    front = polygon([(2.5, 6), (14, 6), (11.5, 12), (0, 12)])
    c.outlined(front, "#f6c343", "#6b4300")
    # magnifier
    handle = segment(11.6, 11.6, 14.5, 14.5, 1.6)
    c.outlined(handle, "#8d98a4", "#2a2a2a", 0.9)
    c.fill(circle(9.5, 9.5, 4.0), "#2a2a2a")
    c.fill(circle(9.5, 9.5, 2.8), "#bfe3ff")
    c.fill(circle(8.8, 8.8, 1.0), "#ffffff", 0.9)


def draw_export(c):
    """Document with an arrow leaving it to the right."""
    page = polygon([(1, 0), (8, 0), (12, 4), (12, 16), (1, 16)])
    c.outlined(page, "#fbfbfb", "#4a4a4a")
    ear = polygon([(8, 0), (8, 4), (12, 4)])
    c.outlined(ear, "#d6d6d6", "#4a4a4a")
    for y in (3, 6):
        c.fill(box(3, y, 7 if y == 3 else 10, y + 1), "#8a8a8a")
    c.fill(box(3, 13, 10, 14), "#8a8a8a")
    arrow = polygon([(4, 8), (10, 8), (10, 5.5), (16, 10.5), (10, 15.5), (10, 13), (4, 13)])
    c.outlined(arrow, "#3aa64a", "#1d5e26")


def draw_repair(c):
    """Open-end wrench lying across the image."""
    head = subtract(
        circle(11.3, 4.7, 4.5),
        rotated(box(11.3, 3.1, 17.5, 6.3), -45, 11.3, 4.7),
    )
    handle = segment(2.5, 13.5, 10.0, 6.0, 2.1)
    wrench = union(head, handle)
    c.outlined(wrench, "#aeb9c4", "#2f3a45")
    c.fill(circle(3.2, 12.8, 0.8), "#2f3a45")


def draw_print(c):
    """Printer with a sheet going in at the top and coming out at the front."""
    c.outlined(box(4, 0, 12, 6), "#ffffff", "#3f4650")
    c.outlined(box(0, 5, 16, 12, 1.5), "#a3adb8", "#3f4650")
    c.fill(box(1, 6, 15, 7), "#d4dae0")
    c.fill(box(12, 8, 14, 9), "#36c24a")
    c.outlined(box(3, 9, 13, 16), "#ffffff", "#3f4650")
    c.fill(box(5, 11, 11, 12), "#8a8a8a")
    c.fill(box(5, 13, 9, 14), "#8a8a8a")


def draw_preferences(c):
    """Gear wheel."""
    tooth = polygon([(12, 6.0), (16, 6.7), (16, 9.3), (12, 10.0)])
    gear = subtract(union(circle(8, 8, 5.7), polar_repeat(tooth, 8)), circle(8, 8, 2.0))
    c.outlined(gear, "#9aa6b2", "#2f3a45")


def draw_stop(c):
    """Red octagon with a white square: stop the test."""
    octagon = regular_polygon(8, 8, 8, 8)
    c.outlined(octagon, "#e03a30", "#7a1410")
    c.fill(box(5, 5, 11, 11, 0.5), "#ffffff")


def draw_about(c):
    """White letter i in a blue disc."""
    c.outlined(circle(8, 8, 7.5), "#2f78d6", "#163f7a")
    c.fill(box(7, 3, 9, 5, 0.6), "#ffffff")
    c.fill(union(box(7, 7, 9, 12), box(6, 7, 8, 8), box(6, 11, 10, 13)), "#ffffff")


def draw_hand_cursor(c):
    """Pointing hand, index finger up, its tip at the top-left corner (the hot
    spot); the other fingers folded to its right above the palm."""
    c.outlined(box(0.0, 8.0, 12.0, 15.5, 2.0), "#ffffff", "#000000", 0.5)
    for x0, x1, top in ((3.5, 6.3, 5.5), (6.3, 9.1, 6.0), (9.1, 12.0, 6.8)):
        c.outlined(box(x0, top, x1, 11.0, 1.3), "#ffffff", "#000000", 0.5)
    c.outlined(box(0.0, 0.0, 3.5, 11.0, 1.6), "#ffffff", "#000000", 0.5)
    c.fill(box(0.5, 10.5, 11.5, 15.0, 1.0), "#ffffff")


def ring(f, w):
    """The outline of a shape, w wide on either side of its edge."""
    return lambda x, y: abs(f(x, y)) - w


# The program's own icon, two chain links with a check mark.  linkvet.svg beside
# this script draws the same shapes at the same places, so keep the two alike.
CHAIN_TURN = -45
LINK_LEFT = rotated(box(1.0, 5.0, 9.5, 9.8, 2.4), CHAIN_TURN, 8.0, 7.4)
LINK_RIGHT = rotated(box(6.5, 5.0, 15.0, 9.8, 2.4), CHAIN_TURN, 8.0, 7.4)


def draw_linkvet(c):
    """Two chain links across the image, a green check disc over their end."""
    # The disc hides the lower crossing, so the left link drawn last reads as
    # passing over the right one at the upper crossing and under it there.
    for link in (LINK_RIGHT, LINK_LEFT):
        c.outlined(ring(link, 0.95), "#5b9be6", "#17407a", 0.4)
    c.outlined(circle(11.6, 11.6, 4.2), "#3dbb4f", "#1b6a27", 0.5)
    c.fill(polyline([(9.5, 11.7), (11.0, 13.2), (13.7, 10.1)], 0.8), "#ffffff")


APP_ICON_SIZES = (16, 32, 48, 64, 128, 256)


def monochrome(rows):
    """Each pixel black, white or clear, as a cursor's two bit planes allow."""
    out = []
    for row in rows:
        mono = bytearray()
        for i in range(0, len(row), 4):
            r, g, b, a = row[i : i + 4]
            if a < 128:
                mono += b"\0\0\0\0"
            else:
                mono += b"\xff\xff\xff\xff" if r + g + b >= 3 * 128 else b"\0\0\0\xff"
        out.append(bytes(mono))
    return out


ICONS = [
    ("select", draw_select),
    ("export", draw_export),
    ("repair", draw_repair),
    ("print", draw_print),
    ("preferences", draw_preferences),
    ("stop", draw_stop),
    ("about", draw_about),
]


def render(draw, size):
    canvas = Canvas(size)
    draw(canvas)
    return canvas.rgba_rows()


def main(argv):
    out_dir = argv[1] if len(argv) > 1 else os.path.dirname(os.path.abspath(__file__))
    for name, draw in ICONS:
        for size, suffix in ((16, ""), (32, "@2x")):
            path = os.path.join(out_dir, f"{name}{suffix}.png")
            write_png(path, render(draw, size))
            print(path)
    for size in APP_ICON_SIZES:
        path = os.path.join(out_dir, f"linkvet-{size}.png")
        write_png(path, render(draw_linkvet, size))
        print(path)
    path = os.path.join(out_dir, "hand_cursor.png")
    write_png(path, monochrome(render(draw_hand_cursor, 32)))
    print(path)


if __name__ == "__main__":
    main(sys.argv)
